#include "uninstall/removal_rules.h"

namespace v7 {
namespace uninstall {

const char16_t kControlFileName[] = u"velmoraCertRelay.ocx";
const char16_t kControlClassId[] = u"{648BFFBF-DB89-4088-92EE-CD1E4C88F95F}";
const char16_t kControlTypeLibId[] = u"{6BBE0AE9-7A8E-4732-A2EC-0F0DCA9D167C}";
const char16_t kUninstallEntryKey[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\velmoraRelayActiveX";
const char16_t kUninstallProgram[] = u"velmoraRelayClear.exe";
const char16_t *const kOwnTypeLibPlatform = sizeof(void *) == 8 ? u"win64" : u"win32";
const char16_t *const kOtherTypeLibPlatform = sizeof(void *) == 8 ? u"win32" : u"win64";

namespace {

const char16_t kPropPageClassId[] = u"{167FAC1B-1DFA-44CA-B8C8-6DCC501CAD4E}";
const char16_t kDispatchInterfaceId[] = u"{29471C0E-361F-46C7-8E5B-541B23F04ABE}";
const char16_t kEventInterfaceId[] = u"{CFB347CF-01B3-4FA8-9A22-2AD342C23CD8}";

bool EndsWith(const std::u16string &text, const std::u16string &tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::u16string WithSlash(std::u16string folder) {
  if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
  return folder;
}

// A folder the removal may work in: a full path ("X:\..." or "\\server\...") within the length.
bool UsableFolder(const std::u16string &folder) {
  if (folder.size() < 3 || folder.size() > kMaxPathLength) return false;
  bool drive = folder[1] == u':' && folder[2] == u'\\';
  bool unc = folder[0] == u'\\' && folder[1] == u'\\';
  return drive || unc;
}

}  // namespace

std::u16string AsciiLower(std::u16string text) {
  for (char16_t &c : text) {
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
  }
  return text;
}

std::u16string TemporaryInternetFilesOf(const std::u16string &temp) {
  std::u16string folder = temp;
  while (!folder.empty() && folder.back() == u'\\') folder.pop_back();
  size_t cut = folder.rfind(u'\\');
  // "C:\Temp" has the parent "C:"; "C:" and "Temp" have none that could be named.
  if (cut == std::u16string::npos || cut == 0) return std::u16string();
  std::u16string cache = folder.substr(0, cut) + u"\\Temporary Internet Files";
  if (!UsableFolder(WithSlash(cache))) return std::u16string();
  return cache;
}

bool ComputeFolders(const PlatformFolders &platform, MachineFolders *out) {
  MachineFolders folders;
  folders.system = WithSlash(platform.system);
  folders.windows = WithSlash(platform.windows);
  folders.activex = folders.windows + u"Downloaded Program Files\\";
  if (!UsableFolder(folders.system) || !UsableFolder(folders.windows) || !UsableFolder(folders.activex))
    return false;
  std::u16string from_temp = TemporaryInternetFilesOf(platform.temp);
  if (!from_temp.empty()) folders.caches.push_back(WithSlash(from_temp));
  // The formula above names the cache of the older systems only; later ones keep it elsewhere,
  // where the shell says.
  std::u16string shell = WithSlash(platform.internet_cache);
  if (UsableFolder(shell) && (folders.caches.empty() || AsciiLower(shell) != AsciiLower(folders.caches[0]))) {
    folders.caches.push_back(shell);
  }
  *out = folders;
  return true;
}

FileLists BuildFileLists(unsigned platform_id) {
  (void)platform_id;  // the 9x family once added the system's smart-card library: never again
  FileLists lists;
  lists.system_delete = {u"v7certrelaywin.dll", u"v7certselect.dll", u"v7relay.dll"};
  lists.windows_unregister = {u"v5writeCOM.dll"};
  lists.activex = {u"velmoraCertRelay.inf", kControlFileName};
  lists.own_file = kUninstallProgram;
  return lists;
}

bool IsActiveXServer(const std::u16string &path) {
  return AsciiLower(path).find(u".ocx") != std::u16string::npos;
}

bool IsOwnCabinet(const std::u16string &name) {
  std::u16string lower = AsciiLower(name);
  return lower.find(u"velmora7") != std::u16string::npos && EndsWith(lower, u".cab");
}

ScanAction DecideEntry(const std::u16string &folder, const std::u16string &name, EntryKind kind, int depth) {
  if (name.empty() || name == u"." || name == u".." || name.find(u'\\') != std::u16string::npos ||
      name.find(u'/') != std::u16string::npos) {
    return ScanAction::kSkip;
  }
  if (folder.size() + name.size() + 1 > kMaxPathLength) return ScanAction::kSkip;
  switch (kind) {
    case EntryKind::kFile:
      return IsOwnCabinet(name) ? ScanAction::kDelete : ScanAction::kSkip;
    case EntryKind::kFolder:
      // A certificate store is never the browser's cache, wherever it turns up.
      if (AsciiLower(name) == u"npki") return ScanAction::kSkip;
      return depth < kMaxScanDepth ? ScanAction::kEnter : ScanAction::kSkip;
    case EntryKind::kLink:
      break;
  }
  return ScanAction::kSkip;
}

bool ValueNamesFile(const std::u16string &value, const std::u16string &file_name) {
  const std::u16string text = AsciiLower(value), file = AsciiLower(file_name);
  if (file.empty()) return false;
  for (size_t at = text.find(file); at != std::u16string::npos; at = text.find(file, at + 1)) {
    bool starts = at == 0 || text[at - 1] == u'\\' || text[at - 1] == u'/' || text[at - 1] == u'"';
    size_t end = at + file.size();
    bool ends = end == text.size() || text[end] == u'"' || text[end] == u' ' || text[end] == u',';
    if (starts && ends) return true;
  }
  return false;
}

const std::vector<OwnedKey> &ControlRegistration() {
  using Proof = OwnedKey::Proof;
  const std::u16string control_class = std::u16string(u"CLSID\\") + kControlClassId;
  const std::u16string page_class = std::u16string(u"CLSID\\") + kPropPageClassId;
  const std::u16string typelib = std::u16string(u"TypeLib\\") + kControlTypeLibId;
  const std::u16string own_part = std::u16string(u"1.0\\0\\") + kOwnTypeLibPlatform;
  const std::u16string other_part = std::u16string(u"1.0\\0\\") + kOtherTypeLibPlatform;
  static const std::vector<OwnedKey> keys = {
      {control_class, {u"InprocServer32"}, Proof::kNamesControlFile, {}, {}, {}, {}},
      {page_class, {u"InprocServer32"}, Proof::kNamesControlFile, {}, {}, {}, {}},
      // Proven only by this platform's registration: the other platform's control names a file
      // of the same name, and its registration is not this build's to remove.
      {typelib, {own_part}, Proof::kNamesControlFile, {}, {}, own_part, other_part},
      {u"CERTRELAYACTIVEX.CertRelayActiveXCtrl.1",
       {u"CLSID"},
       Proof::kRefersToOwnKey,
       kControlClassId,
       control_class,
       {},
       {}},
      {u"CERTRELAYACTIVEX.CertRelayActiveXPropPage.1",
       {u"CLSID"},
       Proof::kRefersToOwnKey,
       kPropPageClassId,
       page_class,
       {},
       {}},
      {std::u16string(u"Interface\\") + kDispatchInterfaceId,
       {u"TypeLib"},
       Proof::kRefersToOwnKey,
       kControlTypeLibId,
       typelib,
       {},
       {}},
      {std::u16string(u"Interface\\") + kEventInterfaceId,
       {u"TypeLib"},
       Proof::kRefersToOwnKey,
       kControlTypeLibId,
       typelib,
       {},
       {}},
  };
  return keys;
}

}  // namespace uninstall
}  // namespace v7
