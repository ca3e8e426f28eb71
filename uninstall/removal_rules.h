// What the uninstaller may remove, as plain decisions over names and folder texts: the files of
// the product and of the maker's older generation, the cached download cabinets, and the
// registry keys of the browser control. Nothing here touches the machine, so every rule is held
// against tables natively; the Win32 side only asks the platform and carries the answers out.
//
// The one principle behind every rule: remove only what is provably the product's own. A file is
// removed by its own fixed name in its own folder, a cabinet by its own name pattern, a registry
// key only when it names the product's own file. System libraries, the user's NPKI certificate
// folders and the user's settings are never touched.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace v7 {
namespace uninstall {

// Longest folder or file path the uninstaller works with (MAX_PATH less the terminator); longer
// texts are refused rather than cut, so a cut path never names some other file.
constexpr size_t kMaxPathLength = 259;
// Sub-folders of the download cache are entered this deep at most (the cache itself is depth 0).
constexpr int kMaxScanDepth = 12;

// The folders the removal works in, each ending in "\".
struct MachineFolders {
  std::u16string system;   // the system folder
  std::u16string windows;  // the Windows folder
  std::u16string activex;  // the Windows folder + "Downloaded Program Files\"
  // The browser's download caches to scan: the parent of the temporary folder + "Temporary
  // Internet Files", and the shell's own internet-cache folder where it is another one.
  std::vector<std::u16string> caches;
};

// What the platform answered (each may be empty when it had no answer).
struct PlatformFolders {
  std::u16string system;
  std::u16string windows;
  std::u16string temp;            // the temporary folder, with or without its trailing "\"
  std::u16string internet_cache;  // the shell's internet-cache folder
};

// The folders from the platform's answers. False when the system or the Windows folder is missing
// or a folder would be longer than kMaxPathLength; a cache folder that cannot be formed (a
// temporary folder without a parent, an overlong text) is left out, not guessed.
bool ComputeFolders(const PlatformFolders &platform, MachineFolders *out);

// The parent of the temporary folder + "\Temporary Internet Files" (no trailing "\"); empty when
// the temporary folder has no parent folder or the result would be too long.
std::u16string TemporaryInternetFilesOf(const std::u16string &temp);

// The file lists.
struct FileLists {
  std::vector<std::u16string> system_delete;       // in the system folder: delete only
  std::vector<std::u16string> windows_unregister;  // in the Windows folder: unregister, then delete
  std::vector<std::u16string> activex;             // in the downloaded program files
  std::u16string own_file;                         // the uninstaller itself, in the system folder
};
// The lists for the platform family the version query reported (1: the 9x family). The system's
// smart-card library is a system library shared with other software and is on no list, whatever
// the family.
FileLists BuildFileLists(unsigned platform_id);

// The ActiveX files that are unregistered before any file goes: those whose path holds ".ocx".
bool IsActiveXServer(const std::u16string &path);

// A cached download of the product: a file whose lower-cased name contains "velmora7" and ends
// in ".cab".
bool IsOwnCabinet(const std::u16string &name);

// What one entry of a cache folder is to the scan.
enum class EntryKind { kFile, kFolder, kLink };  // kLink: a reparse point (symbolic link, junction)
enum class ScanAction { kSkip, kDelete, kEnter };
// kDelete for an own cabinet file, kEnter for a sub-folder that may be scanned at depth + 1
// (within kMaxScanDepth, not an NPKI certificate folder, path within kMaxPathLength), kSkip for
// everything else: links are never followed nor deleted, "." and ".." are not entries.
ScanAction DecideEntry(const std::u16string &folder, const std::u16string &name, EntryKind kind, int depth);

// True when the registry value (a module path, "path, 1", a command line, quoted or not) names a
// file whose own name is `file_name` (compared without regard to ASCII case).
bool ValueNamesFile(const std::u16string &value, const std::u16string &file_name);

// The registry keys of the browser control, under the classes root, and what makes each the
// product's own. The component categories are shared by every safe control and always stay.
struct OwnedKey {
  std::u16string key;  // path below the classes root
  // Sub-keys (relative to key) whose default value proves ownership; any one of them suffices.
  std::vector<std::u16string> value_keys;
  enum class Proof {
    kNamesControlFile,  // the value names the control's own file
    kRefersToOwnKey,    // the value is `ref_value` and the key `ref_key` is ours or already gone
  } proof;
  std::u16string ref_value;
  std::u16string ref_key;
  // For a key that carries the registrations of both platforms (the type library's): this
  // build's sub-key and the other's. While the other's is there, only this build's goes.
  std::u16string own_part;
  std::u16string other_part;
};
// The type library's sub-keys of this build's platform and of the other ("win32", "win64").
extern const char16_t *const kOwnTypeLibPlatform;
extern const char16_t *const kOtherTypeLibPlatform;

// In the order they are examined: the class keys and the type library (proven by the control's
// file) before the ProgIDs and the interfaces (proven through them).
const std::vector<OwnedKey> &ControlRegistration();

// The control's own file name, class id and type library id as the registration writes them.
extern const char16_t kControlFileName[];
extern const char16_t kControlClassId[];
extern const char16_t kControlTypeLibId[];

// The uninstall entry of the control, under the local machine, and the program its command must
// name for the entry to be ours.
extern const char16_t kUninstallEntryKey[];
extern const char16_t kUninstallProgram[];

// Lower-cases ASCII letters only: the names the rules look for are ASCII, and a locale's case
// mapping must not make another name match.
std::u16string AsciiLower(std::u16string text);

}  // namespace uninstall
}  // namespace v7
