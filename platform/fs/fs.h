// Files and folders behind one seam: the Win32 side uses the A and W APIs as named, the POSIX side
// converts wide paths to UTF-8 and reads '\' as a separator (the toolkit builds Windows paths).
// Narrow paths are passed to the narrow API unchanged; choosing the encoding is the caller's job.
#pragma once

#include <cstddef>
#include <cstdint>

enum FsResult : int {
  kFsOk = 0,
  kFsNotFound,    // the file does not exist
  kFsOpenFailed,  // it exists but cannot be opened (or created, for a write)
  kFsReadFailed,
  kFsShortWrite,
  kFsNoMemory,
  kFsBadPath,  // a wide path that is not valid UTF-16, or too long for the platform
};

// The whole file into a new buffer (malloc; null when the file is empty). *len gets its size.
int platform_fs_read_all(const char *path, uint8_t **data, size_t *len);
int platform_fs_read_all_w(const char16_t *path, uint8_t **data, size_t *len);

// Replaces the file with len bytes. The data goes to a temporary file beside it first, which then
// takes the file's place, so a failed write leaves the old contents (a certificate's private key)
// intact.
int platform_fs_write_all(const char *path, const void *data, size_t len);
int platform_fs_write_all_w(const char16_t *path, const void *data, size_t len);

// True when a file or folder of that name exists.
bool platform_fs_exists(const char *path);
bool platform_fs_exists_w(const char16_t *path);
bool platform_fs_is_dir(const char *path);
bool platform_fs_is_dir_w(const char16_t *path);

// Removes one file; true when it is gone (or never was).
bool platform_fs_remove(const char *path);
bool platform_fs_remove_w(const char16_t *path);

// Overwrites the file's bytes where they lie with zeros and flushes them to the disk; its length
// stays. For a copy of a secret before it is removed: a removed file's old bytes would stay in the
// free space. True when done, or when there is no such file.
bool platform_fs_overwrite(const char *path);
bool platform_fs_overwrite_w(const char16_t *path);

// Removes one empty folder; true when it is gone (or never was).
bool platform_fs_remove_dir(const char *path);
bool platform_fs_remove_dir_w(const char16_t *path);

// Creates one folder; true when it was made or already is a folder.
bool platform_fs_make_dir(const char *path);
bool platform_fs_make_dir_w(const char16_t *path);

// Calls visit for each entry of the folder ("." and ".." left out) in the platform's order until it
// returns false. False when the folder cannot be opened.
typedef bool (*FsVisit)(const char16_t *name, bool is_dir, void *ctx);
bool platform_fs_walk_w(const char16_t *dir, FsVisit visit, void *ctx);
// The narrow form: names in the narrow API's encoding (the ANSI code page; bytes on POSIX).
typedef bool (*FsVisitNarrow)(const char *name, bool is_dir, void *ctx);
bool platform_fs_walk(const char *dir, FsVisitNarrow visit, void *ctx);

// What decides whether the browser's low-integrity process may write a path itself.
struct FsDriveInfo {
  bool removable;        // removable or CD-ROM drive
  bool persistent_acls;  // its volume keeps access-control lists
};
bool platform_fs_drive_info(const char16_t *root, FsDriveInfo *out);
// The user's profile folder, terminated, into cap units; false when there is none or it is longer.
bool platform_fs_profile_folder(char16_t *out, size_t cap);
// Narrow text in the system's ANSI code page to wide text, terminated, into cap units (strict).
bool platform_fs_ansi_to_wide(const char *text, char16_t *out, size_t cap);

// The system's message text for an error code, terminated, into cap bytes; false when it has none.
bool platform_system_message(uint32_t code, char *out, size_t cap);

// Test seam, set by test code only: answers the drive and profile queries in place of the platform
// (a member left null keeps the platform's answer). Null restores the platform.
struct FsQueryHooks {
  bool (*drive_info)(const char16_t *root, FsDriveInfo *out);
  bool (*profile_folder)(char16_t *out, size_t cap);
};
void platform_fs_set_query_hooks(const FsQueryHooks *hooks);

// The folders the library's own folder texts start from: the Windows folder, and a shell folder
// by its CSIDL number (40 the user profile, 5 the documents), never created. Each writes the
// terminated text into cap units; false when the platform has none or it does not fit. The narrow
// forms are in the ANSI code page. There is no Windows folder and no shell folder on POSIX.
bool platform_fs_windows_folder(char16_t *out, size_t cap);
bool platform_fs_windows_folder_a(char *out, size_t cap);
bool platform_fs_shell_folder(int csidl, char16_t *out, size_t cap);
bool platform_fs_shell_folder_a(int csidl, char *out, size_t cap);
// The system folder ("C:\Windows\System32"), where token vendors put their configuration file;
// none on POSIX. Not hooked: its callers take the folder as an argument in their tests.
bool platform_fs_system_folder_a(char *out, size_t cap);
enum : int { kShellFolderDocuments = 5, kShellFolderProfile = 40 };

// Test seam, set by test code only: answers the folder queries above in place of the platform
// (a member left null keeps the platform's answer). Null restores the platform.
struct FsFolderHooks {
  bool (*windows_folder)(char16_t *out, size_t cap);
  bool (*windows_folder_a)(char *out, size_t cap);
  bool (*shell_folder)(int csidl, char16_t *out, size_t cap);
  bool (*shell_folder_a)(int csidl, char *out, size_t cap);
};
void platform_fs_set_folder_hooks(const FsFolderHooks *hooks);
