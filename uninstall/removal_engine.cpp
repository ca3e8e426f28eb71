#include "uninstall/removal_engine.h"

#include "platform/fs/utf.h"
#include "uninstall/res/string_ids.h"
#include "uninstall/res/string_table.h"

namespace v7 {
namespace uninstall {

namespace {

enum Step : int { kStepCache = 1, kStepModules = 2, kStepActiveX = 3, kStepOther = 4 };

enum class Ownership { kAbsent, kOurs, kForeign };

}  // namespace

std::u16string Text(unsigned id) {
  std::u16string wide;
  const char *utf8 = res::FindString(id);
  if (utf8 == nullptr || !utf8_to_utf16(utf8, &wide)) return std::u16string();
  return wide;
}

RemovalOutcome RemovalEngine::Run() {
  step_ = kStepCache;
  try {
    return RunSteps();
  } catch (...) {
    // The dialog calls this from its window procedure, which nothing may unwind through.
    try {
      return Fail(step_);
    } catch (...) {
      failed_step_ = step_;
      return RemovalOutcome::kFailed;
    }
  }
}

RemovalOutcome RemovalEngine::RunSteps() {
  system_.Inform(Text(IDS_CLOSE_BROWSERS));
  if (!system_.AskYesNo(Text(IDS_CONFIRM_REMOVAL))) return RemovalOutcome::kDeclined;
  system_.SetBusy(true);

  PlatformFolders platform;
  status_ = Text(IDS_STATUS_CACHE);
  Show();
  if (!system_.QueryFolders(&platform) || !ComputeFolders(platform, &folders_)) return Fail(kStepCache);
  for (const std::u16string &cache : folders_.caches) {
    if (IsPlainFolder(cache) && !ScanCache(cache, 0)) return Fail(kStepCache);
  }
  system_.ShowStep(kStepCache, true);
  step_ = kStepModules;

  for (const std::u16string &name : lists_.activex) {
    if (IsActiveXServer(name)) system_.Unregister(folders_.activex + name);
  }
  // The control's own unregistration cannot run when it no longer loads (its library gone, the
  // file damaged): what it left behind that is provably its own goes now, before its file does.
  if (!ClearControlRegistration()) return Fail(kStepModules);
  for (const std::u16string &name : lists_.windows_unregister) {
    system_.Unregister(folders_.windows + name);
    if (!Delete(folders_.windows + name)) return Fail(kStepModules);
  }
  for (const std::u16string &name : lists_.system_delete) {
    if (!Delete(folders_.system + name)) return Fail(kStepModules);
  }
  system_.ShowStep(kStepModules, true);
  step_ = kStepActiveX;

  for (const std::u16string &name : lists_.activex) {
    if (!Delete(folders_.activex + name)) return Fail(kStepActiveX);
  }
  system_.ShowStep(kStepActiveX, true);
  step_ = kStepOther;

  // The running program usually cannot delete itself; that is no failure.
  Delete(folders_.system + lists_.own_file);
  if (!RemoveUninstallEntry()) return Fail(kStepOther);
  system_.ShowStep(kStepOther, true);
  status_ = Text(IDS_REMOVAL_COMPLETED);
  Show();
  system_.SetBusy(false);
  return RemovalOutcome::kCompleted;
}

bool RemovalEngine::IsPlainFolder(const std::u16string &folder) {
  std::u16string path = folder;
  while (!path.empty() && path.back() == u'\\') path.pop_back();
  const size_t cut = path.rfind(u'\\');
  if (cut == std::u16string::npos) return false;
  const std::u16string name = path.substr(cut + 1);
  std::vector<FolderEntry> entries;
  // A parent that cannot be read cannot vouch for the folder: the folder is left alone.
  if (name.empty() || !system_.ListFolder(path.substr(0, cut + 1), &entries)) return false;
  for (const FolderEntry &entry : entries) {
    if (AsciiLower(entry.name) == AsciiLower(name)) return entry.kind == EntryKind::kFolder;
  }
  return false;
}

bool RemovalEngine::ScanCache(const std::u16string &folder, int depth) {
  std::vector<FolderEntry> entries;
  // A cache that is not there (or cannot be read) holds nothing of ours.
  if (!system_.ListFolder(folder, &entries)) return true;
  for (const FolderEntry &entry : entries) {
    switch (DecideEntry(folder, entry.name, entry.kind, depth)) {
      case ScanAction::kDelete:
        if (!Delete(folder + entry.name)) return false;
        break;
      case ScanAction::kEnter:
        status_ += u'.';
        Show();
        if (!ScanCache(folder + entry.name + u'\\', depth + 1)) return false;
        break;
      case ScanAction::kSkip:
        break;
    }
  }
  return true;
}

bool RemovalEngine::Delete(const std::u16string &path) {
  status_ = path + Text(IDS_DELETE_TRYING);
  Show();
  system_.RemoveFile(path);
  // A file that was never there is as gone as one just deleted.
  bool gone = !system_.Exists(path);
  status_ += Text(gone ? IDS_DELETE_SUCCEEDED : IDS_DELETE_FAILED);
  Show();
  return gone;
}

bool RemovalEngine::ClearControlRegistration() {
  const std::vector<OwnedKey> &keys = ControlRegistration();
  std::vector<Ownership> owned(keys.size(), Ownership::kAbsent);
  auto ownership_of = [&](const std::u16string &key) {
    for (size_t i = 0; i < keys.size(); i++) {
      if (keys[i].key == key) return owned[i];
    }
    return Ownership::kForeign;
  };
  // Every key is judged before any goes, so that a ProgID is still proven through its class.
  for (size_t i = 0; i < keys.size(); i++) {
    const OwnedKey &entry = keys[i];
    if (!system_.KeyExists(RegistryRoot::kClassesRoot, entry.key)) continue;
    owned[i] = Ownership::kForeign;
    for (const std::u16string &sub : entry.value_keys) {
      std::u16string value;
      if (!system_.ReadString(RegistryRoot::kClassesRoot, entry.key + u'\\' + sub, u"", &value)) continue;
      bool proven = false;
      if (entry.proof == OwnedKey::Proof::kNamesControlFile) {
        proven = ValueNamesFile(value, kControlFileName);
      } else {
        Ownership ref = ownership_of(entry.ref_key);
        proven = AsciiLower(value) == AsciiLower(entry.ref_value) && ref != Ownership::kForeign;
      }
      if (proven) owned[i] = Ownership::kOurs;
    }
  }
  for (size_t i = 0; i < keys.size(); i++) {
    if (owned[i] != Ownership::kOurs) continue;
    const OwnedKey &entry = keys[i];
    std::u16string target = entry.key;
    if (!entry.other_part.empty() && system_.KeyExists(RegistryRoot::kClassesRoot, entry.key + u'\\' + entry.other_part))
      target = entry.key + u'\\' + entry.own_part;
    if (!DeleteKey(RegistryRoot::kClassesRoot, target)) return false;
  }
  return true;
}

bool RemovalEngine::RemoveUninstallEntry() {
  if (!system_.KeyExists(RegistryRoot::kLocalMachine, kUninstallEntryKey)) return true;
  // The entry is ours by its name; one whose command runs another program is left alone.
  std::u16string command;
  if (system_.ReadString(RegistryRoot::kLocalMachine, kUninstallEntryKey, u"UninstallString", &command) &&
      !ValueNamesFile(command, kUninstallProgram)) {
    return true;
  }
  return DeleteKey(RegistryRoot::kLocalMachine, kUninstallEntryKey);
}

bool RemovalEngine::DeleteKey(RegistryRoot root, const std::u16string &key) {
  status_ = (root == RegistryRoot::kClassesRoot ? u"HKEY_CLASSES_ROOT\\" : u"HKEY_LOCAL_MACHINE\\") + key +
            Text(IDS_DELETE_TRYING);
  Show();
  bool gone = system_.RemoveKeyTree(root, key);
  status_ += Text(gone ? IDS_DELETE_SUCCEEDED : IDS_DELETE_FAILED);
  Show();
  return gone;
}

RemovalOutcome RemovalEngine::Fail(int step) {
  failed_step_ = step;
  status_ += Text(IDS_REMOVAL_FAILED);
  Show();
  system_.ShowStep(step, false);
  system_.SetBusy(false);
  return RemovalOutcome::kFailed;
}

}  // namespace uninstall
}  // namespace v7
