// The uninstaller's dialog on a prepared Wine prefix, driven by the UI robot: the control
// registered by regsvr32 (a stand-in with the control's keys), the maker's older module, the
// library's files, its uninstall entry, cached cabinets nested and in capitals with decoys beside
// them and behind a link, the user's NPKI certificates and settings. Yes removes the targets and
// leaves everything else byte-identical; No changes nothing at all.
//
// The temporary folder of this process points into the build folder, so that the cache beside it
// holds the link a setup step made there (Wine cannot make one itself); the shell's own cache is
// the prefix's.
#include <windows.h>

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "crypto/hash/hash.h"
#include "platform/osver/os_version_query.h"
#include "tests/modules/uninstall/stub_control_keys.h"
#include "tests/ui/robot.h"
#include "uninstall/res/string_ids.h"
#include "uninstall/res/uninstall_ids.h"
#include "uninstall/uninstall_dlg.h"

namespace {

using v7::uninstall::CUninstallDlg;
using v7::uninstall::RemovalOutcome;
using v7test::RunWithRobot;
using v7test::UiRobot;

std::wstring Env(const char *name) {
  const char *value = std::getenv(name);
  std::wstring text = value != nullptr ? v7test::WideFromUtf8(value) : std::wstring();
  // Folders come from the build in its own spelling ("Z:/work/...").
  for (wchar_t &c : text) {
    if (c == L'/') c = L'\\';
  }
  return text;
}

std::wstring Text(unsigned id) {
  std::u16string text = v7::uninstall::Text(id);
  return std::wstring(text.begin(), text.end());
}

std::wstring SystemFolder() {
  wchar_t path[MAX_PATH];
  ::GetSystemDirectoryW(path, MAX_PATH);
  return path;
}
std::wstring WindowsFolder() {
  wchar_t path[MAX_PATH];
  ::GetWindowsDirectoryW(path, MAX_PATH);
  return path;
}
std::wstring ShellFolder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  ::SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
  return path;
}

void MakeFolders(const std::wstring &path) {
  for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    ::CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  }
  ::CreateDirectoryW(path.c_str(), nullptr);
}

void WriteFile(const std::wstring &path, const std::string &contents) {
  MakeFolders(path.substr(0, path.rfind(L'\\')));
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot write the fixture file";
  DWORD written = 0;
  ::WriteFile(file, contents.data(), DWORD(contents.size()), &written, nullptr);
  ::CloseHandle(file);
}

bool Exists(const std::wstring &path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// "sha256:<hex>" of the file, or "missing".
std::string Digest(const std::wstring &path) {
  HANDLE file =
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "missing";
  HASH_CTX *hash = sha256_new();
  char buffer[65536];
  DWORD got = 0;
  while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) hash_update(hash, buffer, got);
  ::CloseHandle(file);
  uint8_t digest[32];
  hash_final(hash, digest);
  hash_free(hash);
  std::string hex = "sha256:";
  for (uint8_t b : digest) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", b);
    hex += two;
  }
  return hex;
}

std::string Utf8(const std::wstring &text) {
  int length =
      ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(length > 0 ? length : 0), '\0');
  if (length > 0)
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &out[0], length, nullptr, nullptr);
  return out;
}

// The key with every value and sub-key, as text ("" when it does not exist).
std::string DumpKey(HKEY root, const std::wstring &path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
  std::string out = "[" + Utf8(path) + "]\n";
  for (DWORD i = 0;; i++) {
    wchar_t name[512];
    BYTE data[4096];
    DWORD name_length = 512, data_length = sizeof data, type = 0;
    if (::RegEnumValueW(key, i, name, &name_length, nullptr, &type, data, &data_length) != ERROR_SUCCESS)
      break;
    out += Utf8(std::wstring(name, name_length)) + " " + std::to_string(type) + " ";
    for (DWORD b = 0; b < data_length; b++)
      out += "0123456789abcdef"[data[b] >> 4], out += "0123456789abcdef"[data[b] & 15];
    out += "\n";
  }
  std::vector<std::wstring> subs;
  for (DWORD i = 0;; i++) {
    wchar_t name[256];
    DWORD length = 256;
    if (::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    subs.push_back(name);
  }
  ::RegCloseKey(key);
  for (const std::wstring &sub : subs) out += DumpKey(root, path + L"\\" + sub);
  return out;
}

bool KeyExists(HKEY root, const std::wstring &path) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  ::RegCloseKey(key);
  return true;
}

void SetString(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &value) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                   DWORD((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
}

std::wstring ReadString(HKEY root, const std::wstring &path, const wchar_t *name) {
  wchar_t value[512] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  HKEY key = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return L"";
  ::RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(value), &size);
  ::RegCloseKey(key);
  return value;
}

int RunAndWait(const std::wstring &command) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring line = command;
  if (!::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  ::WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 1;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return int(code);
}

const wchar_t kForeignClass[] = L"CLSID\\{0D1E2F30-4152-6374-8596-A7B8C9DAEBFC}";
const wchar_t kUninstallEntry[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\velmoraRelayActiveX";
const wchar_t kOlderMark[] = L"Software\\v7test\\older_module";
// The user's settings keys, as far up as a fresh profile may lack them.
const wchar_t *const kSettingsRoots[] = {L"SOFTWARE\\TAVN", L"SOFTWARE\\AppDataLow"};

class UninstallPrefix : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = Env("V7_UNINSTALL_HOME");
    modules_ = Env("V7_UNINSTALL_MODULES");
    ASSERT_FALSE(home_.empty());
    ASSERT_FALSE(modules_.empty());
    // The temporary folder, and so the cache beside it, of this process only.
    ::SetEnvironmentVariableW(L"TMP", (home_ + L"\\Temp").c_str());
    ::SetEnvironmentVariableW(L"TEMP", (home_ + L"\\Temp").c_str());
    ::SetEnvironmentVariableW(L"V7_STUB_CONTROL_KEEPS_KEYS", nullptr);
    MakeFolders(home_ + L"\\Temp");
    cache_ = home_ + L"\\Temporary Internet Files";
    shell_cache_ = ShellFolder(CSIDL_INTERNET_CACHE);
    system_ = SystemFolder();
    windows_ = WindowsFolder();
    activex_ = windows_ + L"\\Downloaded Program Files";
    ASSERT_FALSE(shell_cache_.empty());

    // The link the setup step made: a folder of the cache that leads outside it.
    DWORD link = ::GetFileAttributesW((cache_ + L"\\Content.IE5\\linked").c_str());
    ASSERT_NE(link, INVALID_FILE_ATTRIBUTES) << "the setup step did not make the cache's link";
    ASSERT_NE(link & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

    // What goes.
    targets_ = {system_ + L"\\v7certrelaywin.dll",
                system_ + L"\\v7certselect.dll",
                system_ + L"\\v7relay.dll",
                system_ + L"\\velmoraRelayClear.exe",
                windows_ + L"\\v5writeCOM.dll",
                activex_ + L"\\velmoraCertRelay.inf",
                activex_ + L"\\velmoraCertRelay.ocx",
                cache_ + L"\\Content.IE5\\AB12CD34\\VELMORA7RELAY[1].CAB",
                cache_ + L"\\velmora7.cab",
                shell_cache_ + L"\\Content.IE5\\Q1W2E3R4\\velmora7relay[2].cab",
                shell_cache_ + L"\\Low\\Content.IE5\\ZX\\Velmora7Setup[1].Cab"};
    for (const std::wstring &path : targets_) {
      if (path.find(L"velmoraCertRelay.ocx") == std::wstring::npos &&
          path.find(L"v5writeCOM") == std::wstring::npos) {
        WriteFile(path, "target " + Utf8(path));
      }
    }
    ASSERT_TRUE(Copy(modules_ + L"\\velmoraCertRelay.ocx", activex_ + L"\\velmoraCertRelay.ocx"));
    ASSERT_TRUE(Copy(modules_ + L"\\v5writeCOM.dll", windows_ + L"\\v5writeCOM.dll"));

    // What stays: decoys beside the targets, behind the link, a system library, another
    // program's control, the user's certificates, token configuration and settings.
    const std::wstring profile = ShellFolder(CSIDL_PROFILE);
    const std::wstring npki_low = profile + L"\\AppData\\LocalLow\\NPKI\\yessign\\USER\\cn=kim()0011";
    const std::wstring npki_program = ShellFolder(CSIDL_PROGRAM_FILES) + L"\\NPKI\\SignKorea\\USER\\cn=lee";
    kept_ = {cache_ + L"\\Content.IE5\\AB12CD34\\other.cab",
             cache_ + L"\\Content.IE5\\AB12CD34\\velmora7.txt",
             cache_ + L"\\Content.IE5\\AB12CD34\\velmora7.cab.txt",
             cache_ + L"\\NPKI\\velmora7.cab",
             shell_cache_ + L"\\Content.IE5\\Q1W2E3R4\\other[1].cab",
             activex_ + L"\\other.ocx",
             home_ + L"\\outside\\velmora7relay[1].cab"};
    npki_holders_ = {npki_low, npki_program};
    for (const char *name : {"signCert.der", "signPri.key", "kmCert.der", "kmPri.key"}) {
      kept_.push_back(npki_low + L"\\" + v7test::WideFromUtf8(name));
      kept_.push_back(npki_program + L"\\" + v7test::WideFromUtf8(name));
    }
    for (const std::wstring &path : kept_) WriteFile(path, "keep " + Utf8(path));
    // The system's own smart-card library (Wine's) and another system library.
    kept_.push_back(system_ + L"\\winscard.dll");
    kept_.push_back(system_ + L"\\ole32.dll");

    // The control registered as the browser registers it; another program's control beside it.
    ASSERT_EQ(RunAndWait(L"regsvr32.exe /s \"" + activex_ + L"\\velmoraCertRelay.ocx\""), 0);
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, stubcontrol::ClassKey(stubcontrol::kClass)));
    SetString(HKEY_CLASSES_ROOT, std::wstring(kForeignClass) + L"\\InprocServer32", nullptr,
              activex_ + L"\\other.ocx");
    SetString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"DisplayName", L"velmora7 CertRelay");
    SetString(HKEY_LOCAL_MACHINE, kUninstallEntry, L"UninstallString", system_ + L"\\velmoraRelayClear.exe");
    for (const wchar_t *key : kSettingsRoots) settings_existed_.push_back(KeyExists(HKEY_CURRENT_USER, key));
    SetString(HKEY_CURRENT_USER, L"SOFTWARE\\TAVN\\velmora7", L"Last Access", L"yessign");
    SetString(HKEY_CURRENT_USER, L"SOFTWARE\\TAVN\\velmora7\\velmoraRelay", L"TRANSFER", L"1");
    SetString(HKEY_CURRENT_USER, L"SOFTWARE\\AppDataLow\\Software\\TAVN\\velmora7", L"Last Access",
              L"SignKorea");
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kOlderMark);
    for (const std::wstring &path : targets_) ASSERT_TRUE(Exists(path)) << Utf8(path);
    ASSERT_TRUE(Exists(system_ + L"\\winscard.dll"));
  }

  // The prefix is shared with the other Wine tests: what this test made that may still be there
  // goes again (the test runs alone, see CMakeLists.txt).
  void TearDown() override {
    for (const std::wstring &path : targets_) ::DeleteFileW(path.c_str());
    for (const std::wstring &path : kept_) {
      if (path.rfind(system_, 0) != 0) ::DeleteFileW(path.c_str());
    }
    for (const std::wstring &folder : npki_holders_) {
      // The holder folder and its parents up to NPKI, as far as they are empty.
      for (std::wstring at = folder; at.size() > 3 && at.find(L"\\NPKI") != std::wstring::npos;
           at = at.substr(0, at.rfind(L'\\'))) {
        if (!::RemoveDirectoryW(at.c_str())) break;
      }
    }
    for (const std::wstring &key : stubcontrol::UnregisteredKeys())
      ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kForeignClass);
    ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, kUninstallEntry);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\v7test");
    for (size_t i = 0; i < settings_existed_.size(); i++) {
      if (!settings_existed_[i]) ::RegDeleteTreeW(HKEY_CURRENT_USER, kSettingsRoots[i]);
    }
    ::SetEnvironmentVariableW(L"V7_STUB_CONTROL_KEEPS_KEYS", nullptr);
  }

  static bool Copy(const std::wstring &from, const std::wstring &to) {
    MakeFolders(to.substr(0, to.rfind(L'\\')));
    return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
  }

  // Everything that must not change, files by digest and keys by their whole contents.
  std::map<std::string, std::string> Snapshot(bool with_targets) const {
    std::map<std::string, std::string> shot;
    for (const std::wstring &path : kept_) shot[Utf8(path)] = Digest(path);
    if (with_targets) {
      for (const std::wstring &path : targets_) shot[Utf8(path)] = Digest(path);
    }
    const std::vector<std::pair<HKEY, std::wstring>> keys = {
        {HKEY_CURRENT_USER, L"SOFTWARE\\TAVN"},
        {HKEY_CURRENT_USER, L"SOFTWARE\\AppDataLow\\Software\\TAVN"},
        {HKEY_CLASSES_ROOT, stubcontrol::CategoryKey(stubcontrol::kScripting)},
        {HKEY_CLASSES_ROOT, stubcontrol::CategoryKey(stubcontrol::kInitialising)},
        {HKEY_CLASSES_ROOT, kForeignClass},
    };
    for (const auto &key : keys) shot["key " + Utf8(key.second)] = DumpKey(key.first, key.second);
    if (with_targets) {
      for (const std::wstring &key : stubcontrol::UnregisteredKeys())
        shot["key " + Utf8(key)] = DumpKey(HKEY_CLASSES_ROOT, key);
      shot["key uninstall"] = DumpKey(HKEY_LOCAL_MACHINE, kUninstallEntry);
      shot["key older"] = DumpKey(HKEY_CURRENT_USER, kOlderMark);
    }
    return shot;
  }

  void ExpectTargetsGone() const {
    for (const std::wstring &path : targets_) {
      // The running program is not the one in the system folder here, so that one goes too.
      EXPECT_FALSE(Exists(path)) << Utf8(path);
    }
    for (const std::wstring &key : stubcontrol::UnregisteredKeys())
      EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << Utf8(key);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
    EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kOlderMark, L"unregistered"), L"1");
  }

  std::string Language() const {
    std::wstring language = Env("V7_UI_LANGUAGE");
    return language.empty() ? "ko" : Utf8(language);
  }

  std::wstring home_, modules_, cache_, shell_cache_, system_, windows_, activex_;
  std::vector<std::wstring> targets_, kept_, npki_holders_;
  std::vector<bool> settings_existed_;
};

// The entries that differ, one a line ("" when none does).
std::string Differences(const std::map<std::string, std::string> &before,
                        const std::map<std::string, std::string> &after) {
  std::string out;
  for (const auto &entry : before) {
    auto found = after.find(entry.first);
    std::string now = found != after.end() ? found->second : "(gone from the snapshot)";
    if (now != entry.second) out += entry.first + ": " + entry.second + " -> " + now + "\n";
  }
  return out;
}

// A message box of the UI thread (a dialog without the uninstaller's status text).
HWND WaitForMessageBox(UiRobot &robot, int button) {
  return robot.WaitForWindow([&](HWND window) {
    return v7test::ClassName(window) == L"#32770" && ::GetDlgItem(window, IDC_STATUS) == nullptr &&
           ::GetDlgItem(window, button) != nullptr;
  });
}

BOOL CALLBACK CollectChild(HWND child, LPARAM list) {
  reinterpret_cast<std::vector<HWND> *>(list)->push_back(child);
  return TRUE;
}

// Every text inside the window, one a line.
std::wstring TextsOf(UiRobot &robot, HWND window) {
  std::vector<HWND> children;
  ::EnumChildWindows(window, CollectChild, LPARAM(&children));
  std::wstring texts;
  for (HWND child : children) texts += robot.Text(child) + L"\n";
  return texts;
}

// Answers the two questions (notice OK, then Yes or No) and saves what they show.
// The glyphs are looked at only in this process (fonts are a process's own).
void AnswerQuestions(UiRobot &robot, bool yes, const std::string &shots, bool here = true) {
  HWND notice = WaitForMessageBox(robot, IDOK);
  ASSERT_NE(notice, nullptr);
  EXPECT_NE(TextsOf(robot, notice).find(Text(IDS_CLOSE_BROWSERS)), std::wstring::npos);
  if (here) {
    EXPECT_EQ(robot.MissingGlyphs(notice), "");
  }
  if (!shots.empty()) {
    EXPECT_TRUE(robot.Screenshot(notice, shots + "_notice"));
  }
  robot.Click(notice, IDOK);
  ASSERT_TRUE(robot.WaitGone(notice));
  HWND question = WaitForMessageBox(robot, IDYES);
  ASSERT_NE(question, nullptr);
  EXPECT_NE(TextsOf(robot, question).find(Text(IDS_CONFIRM_REMOVAL)), std::wstring::npos);
  if (here) {
    EXPECT_EQ(robot.MissingGlyphs(question), "");
  }
  if (!shots.empty()) {
    EXPECT_TRUE(robot.Screenshot(question, shots + "_question"));
  }
  robot.Click(question, yes ? IDYES : IDNO);
  ASSERT_TRUE(robot.WaitGone(question));
}

// Runs the dialog through to its end with Yes; the robot checks the finished window.
RemovalOutcome RunThroughYes(const std::string &shots) {
  CUninstallDlg dialog;
  INT_PTR result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        AnswerQuestions(robot, true, shots);
        HWND main = robot.WaitForDialogWithControl(IDC_STATUS);
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(robot.WaitUntil([&] { return robot.Enabled(main, IDOK); }));
        EXPECT_EQ(robot.ItemText(main, IDC_STATUS), Text(IDS_REMOVAL_COMPLETED));
        for (int id = IDC_STEP_CACHE_ICON; id <= IDC_STEP_OTHER_ICON; id++) {
          EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(main, id))) << id;
          EXPECT_NE(::SendMessageW(::GetDlgItem(main, id), STM_GETICON, 0, 0), 0) << id;
        }
        EXPECT_TRUE(robot.Enabled(main, IDC_SHORTCUT));
        EXPECT_EQ(robot.Text(main), Text(IDS_DIALOG_CAPTION));
        EXPECT_EQ(robot.MissingGlyphs(main), "");
        if (!shots.empty()) {
          EXPECT_TRUE(robot.Screenshot(main, shots + "_done"));
          // The about box, from the item the dialog added to its system menu.
          wchar_t item[128] = {};
          ::GetMenuStringW(::GetSystemMenu(main, FALSE), IDM_ABOUTBOX, item, 128, MF_BYCOMMAND);
          EXPECT_EQ(std::wstring(item), Text(IDS_ABOUTBOX));
          ::PostMessageW(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
          HWND about = robot.WaitForWindow(
              [&](HWND window) { return robot.Text(window) == L"velmoraClear \uC815\uBCF4"; });
          ASSERT_NE(about, nullptr);
          EXPECT_EQ(robot.MissingGlyphs(about), "");
          EXPECT_TRUE(robot.Screenshot(about, shots + "_about"));
          robot.Click(about, IDOK);
          EXPECT_TRUE(robot.WaitGone(about));
        }
        robot.Click(main, IDOK);
      },
      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(result, IDOK);
  return dialog.outcome();
}

TEST_F(UninstallPrefix, DecliningChangesNothing) {
  const auto before = Snapshot(true);
  CUninstallDlg dialog;
  INT_PTR result = 0;
  std::wstring opening;
  const std::string shots = "uninstall_" + Language() + "_declined";
  RunWithRobot(
      [&](UiRobot &robot) {
        // The window stands behind the questions with its opening line.
        HWND main = robot.WaitForDialogWithControl(IDC_STATUS);
        ASSERT_NE(main, nullptr);
        opening = robot.ItemText(main, IDC_STATUS);
        AnswerQuestions(robot, false, shots);
      },
      [&] { result = dialog.DoModal(); });
  EXPECT_EQ(opening, Text(IDS_STATUS_START));
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_EQ(dialog.outcome(), RemovalOutcome::kDeclined);
  EXPECT_EQ(Differences(before, Snapshot(true)), "");
}

bool NoVersion(OsVersionRecord *) { return false; }

// Without the system's version the removal never starts (no question, no step): the window says
// why and lets the user close it.
TEST_F(UninstallPrefix, AVersionThatCannotBeReadRemovesNothing) {
  const auto before = Snapshot(true);
  platform_set_os_version_hook(NoVersion);
  CUninstallDlg dialog;
  INT_PTR result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND main = robot.WaitForDialogWithControl(IDC_STATUS);
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(robot.WaitUntil([&] { return robot.Enabled(main, IDOK); }));
        EXPECT_EQ(robot.ItemText(main, IDC_STATUS), Text(IDS_VERSION_FAILED));
        EXPECT_FALSE(robot.Enabled(main, IDC_SHORTCUT));
        for (int id = IDC_STEP_CACHE_ICON; id <= IDC_STEP_OTHER_ICON; id++) {
          EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(main, id))) << id;
        }
        robot.Click(main, IDOK);
      },
      [&] { result = dialog.DoModal(); });
  platform_set_os_version_hook(nullptr);
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(dialog.outcome(), RemovalOutcome::kDeclined);
  EXPECT_EQ(Differences(before, Snapshot(true)), "");
}

TEST_F(UninstallPrefix, YesRemovesTheProductAndNothingElse) {
  const auto before = Snapshot(false);
  // OLE set up by the caller stays set up: the uninstaller takes down only what it set up.
  ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(RunThroughYes("uninstall_" + Language()), RemovalOutcome::kCompleted);
  EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  ::CoUninitialize();
  ::CoUninitialize();
  ExpectTargetsGone();
  EXPECT_EQ(Differences(before, Snapshot(false)), "");
}

TEST_F(UninstallPrefix, ARegistrationTheControlLeavesBehindIsRemovedToo) {
  const auto before = Snapshot(false);
  // A control whose unregistration does nothing (one that no longer loads does the same).
  ::SetEnvironmentVariableW(L"V7_STUB_CONTROL_KEEPS_KEYS", L"1");
  EXPECT_EQ(RunThroughYes(""), RemovalOutcome::kCompleted);
  ::SetEnvironmentVariableW(L"V7_STUB_CONTROL_KEEPS_KEYS", nullptr);
  ExpectTargetsGone();
  EXPECT_EQ(Differences(before, Snapshot(false)), "");
  // The older module was unregistered with OLE set up for it, and nothing is left set up.
  EXPECT_EQ(ReadString(HKEY_CURRENT_USER, kOlderMark, L"ole"), L"ready");
  EXPECT_EQ(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  ::CoUninitialize();
}

TEST_F(UninstallPrefix, AModuleInUseFailsItsStepAndLeavesTheLaterOnes) {
  // Held open without delete sharing, as a running browser holds the library.
  const std::wstring held = system_ + L"\\v7certselect.dll";
  HANDLE file =
      ::CreateFileW(held.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CUninstallDlg dialog;
  RunWithRobot(
      [&](UiRobot &robot) {
        AnswerQuestions(robot, true, "");
        HWND main = robot.WaitForDialogWithControl(IDC_STATUS);
        ASSERT_NE(main, nullptr);
        ASSERT_TRUE(robot.WaitUntil([&] { return robot.Enabled(main, IDOK); }));
        EXPECT_EQ(robot.ItemText(main, IDC_STATUS),
                  held + Text(IDS_DELETE_TRYING) + Text(IDS_DELETE_FAILED) + Text(IDS_REMOVAL_FAILED));
        HICON failed = HICON(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_STEP_FAILED),
                                          IMAGE_ICON, 16, 16, LR_SHARED));
        EXPECT_TRUE(::IsWindowVisible(::GetDlgItem(main, IDC_STEP_CACHE_ICON)));
        EXPECT_EQ(HICON(::SendMessageW(::GetDlgItem(main, IDC_STEP_MODULES_ICON), STM_GETICON, 0, 0)),
                  failed);
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(main, IDC_STEP_ACTIVEX_ICON)));
        EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(main, IDC_STEP_OTHER_ICON)));
        EXPECT_FALSE(robot.Enabled(main, IDC_SHORTCUT));
        EXPECT_TRUE(robot.Screenshot(main, "uninstall_" + Language() + "_failed"));
        robot.Click(main, IDOK);
      },
      [&] { dialog.DoModal(); });
  ::CloseHandle(file);
  EXPECT_EQ(dialog.outcome(), RemovalOutcome::kFailed);
  // The steps after the failed one did not run.
  EXPECT_TRUE(Exists(held));
  EXPECT_TRUE(Exists(system_ + L"\\v7relay.dll"));
  EXPECT_TRUE(Exists(activex_ + L"\\velmoraCertRelay.ocx"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
}

TEST_F(UninstallPrefix, TheProgramRemovesTheProduct) {
  const auto before = Snapshot(false);
  const std::wstring program = Env("V7_UNINSTALL_PROGRAM");
  ASSERT_FALSE(program.empty());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::wstring line = L"\"" + program + L"\"";
  ASSERT_TRUE(
      ::CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  {
    UiRobot robot(process.dwThreadId);
    AnswerQuestions(robot, true, "", false);
    HWND main = robot.WaitForDialogWithControl(IDC_STATUS);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(robot.WaitUntil([&] { return robot.Enabled(main, IDOK); }));
    EXPECT_EQ(robot.ItemText(main, IDC_STATUS), Text(IDS_REMOVAL_COMPLETED));
    robot.Click(main, IDOK);
  }
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 0u);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  ExpectTargetsGone();
  EXPECT_EQ(Differences(before, Snapshot(false)), "");
}

}  // namespace
