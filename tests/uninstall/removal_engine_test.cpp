// The removal's steps on a machine of the test's own: a file tree and a registry in memory, a
// control whose unregistration removes what its registration wrote (or, when told, nothing).
#include "uninstall/removal_engine.h"

#include <gtest/gtest.h>

#include <map>
#include <new>
#include <set>

#include "platform/fs/utf.h"
#include "uninstall/res/string_ids.h"

namespace v7 {
namespace uninstall {
namespace {

std::string Narrow(const std::u16string &text) {
  std::string out;
  return utf16_to_utf8(text.c_str(), &out) ? out : "?";
}

const std::u16string kSystem = u"C:\\windows\\system32\\";
const std::u16string kWindows = u"C:\\windows\\";
const std::u16string kActiveX = u"C:\\windows\\Downloaded Program Files\\";
const std::u16string kCache = u"C:\\users\\kim\\Temporary Internet Files\\";
const std::u16string kShellCache = u"C:\\users\\kim\\AppData\\Local\\Microsoft\\Windows\\INetCache\\";
const std::u16string kClassId = u"CLSID\\{648BFFBF-DB89-4088-92EE-CD1E4C88F95F}";
const std::u16string kPageClassId = u"CLSID\\{167FAC1B-1DFA-44CA-B8C8-6DCC501CAD4E}";
const std::u16string kProgId = u"CERTRELAYACTIVEX.CertRelayActiveXCtrl.1";
const std::u16string kTypeLib = u"TypeLib\\{6BBE0AE9-7A8E-4732-A2EC-0F0DCA9D167C}";
const std::u16string kInterface = u"Interface\\{29471C0E-361F-46C7-8E5B-541B23F04ABE}";
// The type library's platform sub-key of this build, and of the other kind of build.
const std::u16string kOwnPlatform = sizeof(void *) == 8 ? u"win64" : u"win32";
const std::u16string kOtherPlatform = sizeof(void *) == 8 ? u"win32" : u"win64";
const std::u16string kCategory = u"Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}";

class FakeMachine : public RemovalSystem {
 public:
  // Files and folders by full path (folders end in "\"), with their kind.
  std::map<std::u16string, EntryKind> files;
  std::set<std::u16string> undeletable, unlistable;
  std::set<std::u16string> throwing;  // folders whose listing throws, as an allocation that fails
  // Keys "<root>|<path>" with their values.
  std::map<std::u16string, std::map<std::u16string, std::u16string>> keys;
  bool answer_yes = true;
  bool control_unregisters = true;
  std::vector<std::string> log;
  std::map<int, bool> steps;
  std::u16string last_status;

  void AddFile(const std::u16string &path, EntryKind kind = EntryKind::kFile) {
    files[path] = kind;
    // Every folder on the way exists too.
    for (size_t at = path.find(u'\\', 3); at != std::u16string::npos && at + 1 < path.size();
         at = path.find(u'\\', at + 1)) {
      files.emplace(path.substr(0, at + 1), EntryKind::kFolder);
    }
  }
  static std::u16string Key(RegistryRoot root, const std::u16string &key) {
    return (root == RegistryRoot::kClassesRoot ? u"HKCR|" : u"HKLM|") + key;
  }
  void SetValue(RegistryRoot root, const std::u16string &key, const std::u16string &name,
                const std::u16string &value) {
    keys[Key(root, key)][name] = value;
  }
  void RegisterControl(const std::u16string &file) {
    const RegistryRoot cr = RegistryRoot::kClassesRoot;
    SetValue(cr, kClassId, u"", u"velmora7 CertRelay Control");
    SetValue(cr, kClassId + u"\\InprocServer32", u"", file);
    SetValue(cr, kClassId + u"\\ToolboxBitmap32", u"", file + u", 1");
    SetValue(cr, kClassId + u"\\Implemented Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}", u"", u"");
    SetValue(cr, kPageClassId + u"\\InprocServer32", u"", file);
    SetValue(cr, kProgId + u"\\CLSID", u"", u"{648BFFBF-DB89-4088-92EE-CD1E4C88F95F}");
    SetValue(cr, kTypeLib + u"\\1.0\\0\\" + kOwnPlatform, u"", file);
    SetValue(cr, kInterface + u"\\TypeLib", u"", u"{6BBE0AE9-7A8E-4732-A2EC-0F0DCA9D167C}");
    SetValue(cr, kCategory, u"949", u"Controls that are safely scriptable");
  }
  bool HasKey(RegistryRoot root, const std::u16string &key) { return KeyExists(root, key); }

  void Inform(const std::u16string &text) override { log.push_back("inform " + Narrow(text)); }
  bool AskYesNo(const std::u16string &text) override {
    log.push_back("ask " + Narrow(text));
    return answer_yes;
  }
  void ShowStatus(const std::u16string &status) override { last_status = status; }
  void ShowStep(int step, bool done) override { steps[step] = done; }
  void SetBusy(bool) override {}
  bool QueryFolders(PlatformFolders *out) override {
    *out = {u"C:\\windows\\system32", u"C:\\windows", u"C:\\users\\kim\\Temp\\", kShellCache};
    return true;
  }
  bool ListFolder(const std::u16string &folder, std::vector<FolderEntry> *entries) override {
    if (throwing.count(folder) != 0) throw std::bad_alloc();
    if (files.count(folder) == 0 || unlistable.count(folder) != 0) return false;
    for (const auto &file : files) {
      const std::u16string &path = file.first;
      if (path.size() <= folder.size() || path.compare(0, folder.size(), folder) != 0) continue;
      std::u16string rest = path.substr(folder.size());
      if (!rest.empty() && rest.back() == u'\\') rest.pop_back();
      if (rest.find(u'\\') != std::u16string::npos) continue;
      entries->push_back({rest, file.second});
    }
    return true;
  }
  void RemoveFile(const std::u16string &path) override {
    log.push_back("delete " + Narrow(path));
    if (undeletable.count(path) == 0) files.erase(path);
  }
  bool Exists(const std::u16string &path) override { return files.count(path) != 0; }
  void Unregister(const std::u16string &path) override {
    log.push_back("unregister " + Narrow(path));
    if (files.count(path) == 0 || !control_unregisters) return;
    if (path == kActiveX + u"velmoraCertRelay.ocx") {
      for (const std::u16string &key : {kClassId, kPageClassId, kProgId, kTypeLib, kInterface}) {
        Erase(RegistryRoot::kClassesRoot, key);
      }
    }
  }
  bool KeyExists(RegistryRoot root, const std::u16string &key) override {
    std::u16string prefix = Key(root, key);
    for (const auto &entry : keys) {
      if (entry.first == prefix || entry.first.compare(0, prefix.size() + 1, prefix + u"\\") == 0)
        return true;
    }
    return false;
  }
  bool ReadString(RegistryRoot root, const std::u16string &key, const std::u16string &name,
                  std::u16string *value) override {
    auto found = keys.find(Key(root, key));
    if (found == keys.end() || found->second.count(name) == 0) return false;
    *value = found->second.at(name);
    return true;
  }
  bool RemoveKeyTree(RegistryRoot root, const std::u16string &key) override {
    log.push_back("remove key " + Narrow(key));
    Erase(root, key);
    return true;
  }
  void Erase(RegistryRoot root, const std::u16string &key) {
    std::u16string prefix = Key(root, key);
    for (auto it = keys.begin(); it != keys.end();) {
      bool under = it->first == prefix || it->first.compare(0, prefix.size() + 1, prefix + u"\\") == 0;
      it = under ? keys.erase(it) : std::next(it);
    }
  }
};

// A machine with everything the product installs, and beside it what is not the product's.
void Prepare(FakeMachine &m) {
  for (const char16_t *name :
       {u"v7certrelaywin.dll", u"v7certselect.dll", u"v7relay.dll", u"velmoraRelayClear.exe"}) {
    m.AddFile(kSystem + name);
  }
  m.AddFile(kSystem + u"winscard.dll");  // the system's own smart-card library
  m.AddFile(kWindows + u"v5writeCOM.dll");
  m.AddFile(kActiveX + u"velmoraCertRelay.inf");
  m.AddFile(kActiveX + u"velmoraCertRelay.ocx");
  m.AddFile(kActiveX + u"other.ocx");
  m.AddFile(kCache + u"Content.IE5\\AB12\\VELMORA7RELAY[1].CAB");
  m.AddFile(kCache + u"Content.IE5\\AB12\\other.cab");
  m.AddFile(kCache + u"Content.IE5\\AB12\\velmora7.txt");
  m.AddFile(kCache + u"velmora7.cab.txt");
  m.AddFile(kShellCache + u"Content.IE5\\ZZ99\\velmora7relay[2].cab");
  m.AddFile(kCache + u"NPKI\\yessign\\USER\\kim\\velmora7.cab");  // never a cache, whatever it holds
  m.RegisterControl(kActiveX + u"velmoraCertRelay.ocx");
  m.SetValue(RegistryRoot::kLocalMachine, kUninstallEntryKey, u"UninstallString",
             kSystem + u"velmoraRelayClear.exe");
  m.SetValue(RegistryRoot::kClassesRoot, u"CLSID\\{00000000-1111-2222-3333-444444444444}\\InprocServer32",
             u"", kActiveX + u"other.ocx");
}

std::u16string Texts(std::initializer_list<unsigned> ids) {
  std::u16string out;
  for (unsigned id : ids) out += Text(id);
  return out;
}

TEST(RemovalEngine, DecliningTouchesNothing) {
  FakeMachine m;
  Prepare(m);
  auto files = m.files;
  auto keys = m.keys;
  m.answer_yes = false;
  RemovalEngine engine(m, BuildFileLists(2));
  EXPECT_EQ(engine.Run(), RemovalOutcome::kDeclined);
  EXPECT_EQ(m.log, (std::vector<std::string>{"inform " + Narrow(Text(IDS_CLOSE_BROWSERS)),
                                             "ask " + Narrow(Text(IDS_CONFIRM_REMOVAL))}));
  EXPECT_EQ(m.files, files);
  EXPECT_EQ(m.keys, keys);
  EXPECT_TRUE(m.steps.empty());
}

TEST(RemovalEngine, RemovesWhatIsItsOwnAndNothingElse) {
  FakeMachine m;
  Prepare(m);
  RemovalEngine engine(m, BuildFileLists(1));  // even the 9x family keeps the system's libraries
  ASSERT_EQ(engine.Run(), RemovalOutcome::kCompleted);
  EXPECT_EQ(engine.status(), Text(IDS_REMOVAL_COMPLETED));
  EXPECT_EQ(m.steps, (std::map<int, bool>{{1, true}, {2, true}, {3, true}, {4, true}}));

  std::set<std::u16string> left;
  for (const auto &file : m.files) {
    if (file.second == EntryKind::kFile) left.insert(file.first);
  }
  EXPECT_EQ(left, (std::set<std::u16string>{
                      kSystem + u"winscard.dll", kActiveX + u"other.ocx",
                      kCache + u"Content.IE5\\AB12\\other.cab", kCache + u"Content.IE5\\AB12\\velmora7.txt",
                      kCache + u"velmora7.cab.txt", kCache + u"NPKI\\yessign\\USER\\kim\\velmora7.cab"}));
  for (const std::u16string &key : {kClassId, kPageClassId, kProgId, kTypeLib, kInterface}) {
    EXPECT_FALSE(m.HasKey(RegistryRoot::kClassesRoot, key)) << Narrow(key);
  }
  EXPECT_TRUE(m.HasKey(RegistryRoot::kClassesRoot, kCategory));
  EXPECT_TRUE(m.HasKey(RegistryRoot::kClassesRoot, u"CLSID\\{00000000-1111-2222-3333-444444444444}"));
  EXPECT_FALSE(m.HasKey(RegistryRoot::kLocalMachine, kUninstallEntryKey));

  // The control and the older module are unregistered while their files are still there.
  auto at = [&](const std::string &line) {
    return std::find(m.log.begin(), m.log.end(), line) - m.log.begin();
  };
  const std::string ocx = Narrow(kActiveX) + "velmoraCertRelay.ocx", v5 = Narrow(kWindows) + "v5writeCOM.dll";
  EXPECT_LT(at("unregister " + ocx), at("delete " + ocx));
  EXPECT_LT(at("unregister " + v5), at("delete " + v5));
  EXPECT_LT(at("unregister " + v5), at("delete " + Narrow(kSystem) + "v7relay.dll"));
  EXPECT_EQ(at("unregister " + Narrow(kActiveX) + "velmoraCertRelay.inf"), ptrdiff_t(m.log.size()));
  // The control removed its own registration: nothing was left to delete directly.
  EXPECT_EQ(at("remove key " + Narrow(kClassId)), ptrdiff_t(m.log.size()));
}

TEST(RemovalEngine, ARegistrationTheControlLeftIsRemovedWhenItNamesTheControl) {
  FakeMachine m;
  Prepare(m);
  m.control_unregisters = false;  // its library gone, it no longer loads
  // Another program's class under the property page's id: not ours, it stays, and so does a
  // ProgID that points there.
  m.keys.erase(FakeMachine::Key(RegistryRoot::kClassesRoot, kPageClassId + u"\\InprocServer32"));
  m.SetValue(RegistryRoot::kClassesRoot, kPageClassId + u"\\InprocServer32", u"", u"C:\\other\\page.dll");
  m.SetValue(RegistryRoot::kClassesRoot, u"CERTRELAYACTIVEX.CertRelayActiveXPropPage.1\\CLSID", u"",
             u"{167FAC1B-1DFA-44CA-B8C8-6DCC501CAD4E}");
  RemovalEngine engine(m, BuildFileLists(2));
  ASSERT_EQ(engine.Run(), RemovalOutcome::kCompleted);
  for (const std::u16string &key : {kClassId, kProgId, kTypeLib, kInterface}) {
    EXPECT_FALSE(m.HasKey(RegistryRoot::kClassesRoot, key)) << Narrow(key);
  }
  EXPECT_TRUE(m.HasKey(RegistryRoot::kClassesRoot, kPageClassId));
  EXPECT_TRUE(m.HasKey(RegistryRoot::kClassesRoot, u"CERTRELAYACTIVEX.CertRelayActiveXPropPage.1"));
  EXPECT_TRUE(m.HasKey(RegistryRoot::kClassesRoot, kCategory));
}

TEST(RemovalEngine, AClassThatNamesAnotherFileIsNotOurs) {
  FakeMachine m;
  Prepare(m);
  m.control_unregisters = false;
  m.keys.clear();
  m.RegisterControl(u"C:\\Program Files\\Someone\\their.ocx");
  auto keys = m.keys;
  RemovalEngine engine(m, BuildFileLists(2));
  ASSERT_EQ(engine.Run(), RemovalOutcome::kCompleted);
  EXPECT_EQ(m.keys, keys);
}

TEST(RemovalEngine, AFileThatStaysFailsItsStepAndStopsTheRemoval) {
  FakeMachine m;
  Prepare(m);
  m.undeletable.insert(kSystem + u"v7certselect.dll");
  RemovalEngine engine(m, BuildFileLists(2));
  ASSERT_EQ(engine.Run(), RemovalOutcome::kFailed);
  EXPECT_EQ(engine.failed_step(), 2);
  EXPECT_EQ(m.steps, (std::map<int, bool>{{1, true}, {2, false}}));
  EXPECT_EQ(engine.status(), kSystem + u"v7certselect.dll" +
                                 Texts({IDS_DELETE_TRYING, IDS_DELETE_FAILED, IDS_REMOVAL_FAILED}));
  EXPECT_EQ(m.last_status, engine.status());
  // The later steps did not run: the ActiveX files, the rest of the modules and the entry stay.
  EXPECT_TRUE(m.Exists(kSystem + u"v7relay.dll"));
  EXPECT_TRUE(m.Exists(kActiveX + u"velmoraCertRelay.ocx"));
  EXPECT_TRUE(m.HasKey(RegistryRoot::kLocalMachine, kUninstallEntryKey));
}

TEST(RemovalEngine, ACabinetThatStaysFailsTheFirstStep) {
  FakeMachine m;
  Prepare(m);
  m.undeletable.insert(kCache + u"Content.IE5\\AB12\\VELMORA7RELAY[1].CAB");
  RemovalEngine engine(m, BuildFileLists(2));
  ASSERT_EQ(engine.Run(), RemovalOutcome::kFailed);
  EXPECT_EQ(engine.failed_step(), 1);
  EXPECT_EQ(m.steps, (std::map<int, bool>{{1, false}}));
  EXPECT_TRUE(m.Exists(kSystem + u"v7relay.dll"));
  EXPECT_TRUE(m.HasKey(RegistryRoot::kClassesRoot, kClassId));
}

TEST(RemovalEngine, TheCacheScanFollowsNoLinkAndStopsAtItsDepth) {
  FakeMachine m;
  Prepare(m);
  std::u16string deep = kCache, deeper;
  for (int depth = 1; depth <= kMaxScanDepth; depth++) deep += u"d\\";
  deeper = deep + u"d\\";
  m.AddFile(deep + u"velmora7[1].cab");    // at the deepest level scanned
  m.AddFile(deeper + u"velmora7[1].cab");  // one below it
  m.AddFile(kCache + u"linked\\", EntryKind::kLink);
  m.AddFile(kCache + u"linked\\velmora7.cab");  // what the link points at: never reached
  m.AddFile(kCache + u"velmora7link.cab", EntryKind::kLink);
  m.AddFile(kCache + u"locked\\velmora7.cab");
  m.unlistable.insert(kCache + u"locked\\");  // a folder that cannot be read counts as done
  RemovalEngine engine(m, BuildFileLists(2));
  ASSERT_EQ(engine.Run(), RemovalOutcome::kCompleted);
  EXPECT_FALSE(m.Exists(deep + u"velmora7[1].cab"));
  EXPECT_TRUE(m.Exists(deeper + u"velmora7[1].cab"));
  EXPECT_TRUE(m.Exists(kCache + u"linked\\velmora7.cab"));
  EXPECT_TRUE(m.Exists(kCache + u"velmora7link.cab"));
  EXPECT_TRUE(m.Exists(kCache + u"locked\\velmora7.cab"));
}

// A cache folder put in place as a link (a junction to the user's documents) leads nowhere: only
// a cache its parent lists as a plain folder is scanned.
TEST(RemovalEngine, ACacheThatIsItselfALinkIsNotScanned) {
  FakeMachine m;
  Prepare(m);
  m.AddFile(kShellCache + u"velmora7.cab");
  m.files[kShellCache] = EntryKind::kLink;
  m.AddFile(kCache + u"velmora7.cab");
  RemovalEngine engine(m, BuildFileLists(2));
  ASSERT_EQ(engine.Run(), RemovalOutcome::kCompleted);
  EXPECT_TRUE(m.Exists(kShellCache + u"velmora7.cab"));
  EXPECT_FALSE(m.Exists(kCache + u"velmora7.cab"));
}

// The dialog runs the removal inside its window procedure: nothing may unwind out of it. A step
// that throws ends the removal as failed at that step, with nothing after it done.
TEST(RemovalEngine, AStepThatThrowsFailsTheRemoval) {
  FakeMachine m;
  Prepare(m);
  m.throwing.insert(kCache + u"Content.IE5\\");
  RemovalEngine engine(m, BuildFileLists(2));
  RemovalOutcome outcome = RemovalOutcome::kCompleted;
  ASSERT_NO_THROW(outcome = engine.Run());
  EXPECT_EQ(outcome, RemovalOutcome::kFailed);
  EXPECT_EQ(engine.failed_step(), 1);
  EXPECT_EQ(m.steps, (std::map<int, bool>{{1, false}}));
  EXPECT_TRUE(m.Exists(kSystem + u"v7relay.dll"));
  EXPECT_TRUE(m.HasKey(RegistryRoot::kClassesRoot, kClassId));
}

// One type library key carries the registrations of both platforms (and both registry views
// share it): the other platform's control keeps its own, and never proves the key ours.
TEST(RemovalEngine, TheTypeLibraryOfTheOtherPlatformStays) {
  FakeMachine m;
  Prepare(m);
  m.control_unregisters = false;  // what it left behind is removed by the uninstaller itself
  const std::u16string other = kTypeLib + u"\\1.0\\0\\" + kOtherPlatform;
  m.SetValue(RegistryRoot::kClassesRoot, other, u"", u"C:\\Program Files\\velmora\\velmoraCertRelay.ocx");
  RemovalEngine engine(m, BuildFileLists(2));
  ASSERT_EQ(engine.Run(), RemovalOutcome::kCompleted);
  EXPECT_TRUE(m.HasKey(RegistryRoot::kClassesRoot, other));
  EXPECT_FALSE(m.HasKey(RegistryRoot::kClassesRoot, kTypeLib + u"\\1.0\\0\\" + kOwnPlatform));
  EXPECT_FALSE(m.HasKey(RegistryRoot::kClassesRoot, kClassId));
  // Only the other platform's registration: not ours at all.
  FakeMachine only;
  Prepare(only);
  only.control_unregisters = false;
  only.Erase(RegistryRoot::kClassesRoot, kTypeLib);
  only.SetValue(RegistryRoot::kClassesRoot, other, u"", u"C:\\Program Files\\velmora\\velmoraCertRelay.ocx");
  RemovalEngine again(only, BuildFileLists(2));
  ASSERT_EQ(again.Run(), RemovalOutcome::kCompleted);
  EXPECT_TRUE(only.HasKey(RegistryRoot::kClassesRoot, other));
}

TEST(RemovalEngine, AMissingModuleCountsAsDeleted) {
  FakeMachine m;
  Prepare(m);
  m.files.erase(kWindows + u"v5writeCOM.dll");
  m.files.erase(kSystem + u"v7certrelaywin.dll");
  RemovalEngine engine(m, BuildFileLists(2));
  ASSERT_EQ(engine.Run(), RemovalOutcome::kCompleted);
  auto deleted = std::find(m.log.begin(), m.log.end(), "delete " + Narrow(kWindows) + "v5writeCOM.dll");
  EXPECT_NE(deleted, m.log.end());
  EXPECT_EQ(m.steps.at(2), true);
}

TEST(RemovalEngine, AnUninstallEntryOfAnotherProgramStays) {
  FakeMachine m;
  Prepare(m);
  m.SetValue(RegistryRoot::kLocalMachine, kUninstallEntryKey, u"UninstallString", u"C:\\Other\\remove.exe");
  RemovalEngine engine(m, BuildFileLists(2));
  ASSERT_EQ(engine.Run(), RemovalOutcome::kCompleted);
  EXPECT_TRUE(m.HasKey(RegistryRoot::kLocalMachine, kUninstallEntryKey));
}

TEST(RemovalEngine, AKeyThatCannotGoFailsItsStep) {
  struct Stubborn : FakeMachine {
    bool RemoveKeyTree(RegistryRoot root, const std::u16string &key) override {
      FakeMachine::RemoveKeyTree(root, key);
      return root != RegistryRoot::kLocalMachine;
    }
  } m;
  Prepare(m);
  RemovalEngine engine(m, BuildFileLists(2));
  ASSERT_EQ(engine.Run(), RemovalOutcome::kFailed);
  EXPECT_EQ(engine.failed_step(), 4);
  EXPECT_EQ(engine.status(), u"HKEY_LOCAL_MACHINE\\" + std::u16string(kUninstallEntryKey) +
                                 Texts({IDS_DELETE_TRYING, IDS_DELETE_FAILED, IDS_REMOVAL_FAILED}));
}

}  // namespace
}  // namespace uninstall
}  // namespace v7
