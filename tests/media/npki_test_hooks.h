// What the NPKI loader tests answer in place of the platform: the Windows version, and the Windows
// and profile folders that the library's folder texts are built from (once per process, so set
// them before the first list is loaded).
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/fs/fs.h"
#include "platform/osver/os_version_query.h"

namespace npkitest {

inline OsVersionRecord &os() {
  static OsVersionRecord record = {2, 6, 1};
  return record;
}

// The user's profile folder; the Windows folder is always C:\Windows.
inline std::filesystem::path &profile() {
  static std::filesystem::path folder;
  return folder;
}

inline bool answer_os(OsVersionRecord *out) {
  *out = os();
  return true;
}

template <typename Char>
bool answer(const std::basic_string<Char> &text, Char *out, size_t cap) {
  if (text.empty() || text.size() >= cap) return false;
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = 0;
  return true;
}

inline const FsFolderHooks *folder_hooks() {
  static const FsFolderHooks hooks = {
      [](char16_t *out, size_t cap) { return answer(std::u16string(u"C:\\Windows"), out, cap); },
      [](char *out, size_t cap) { return answer(std::string("C:\\Windows"), out, cap); },
      [](int csidl, char16_t *out, size_t cap) {
        return csidl == kShellFolderProfile && answer(profile().u16string(), out, cap);
      },
      [](int csidl, char *out, size_t cap) {
        return csidl == kShellFolderProfile && answer(profile().string(), out, cap);
      },
  };
  return &hooks;
}

// Both hooks in place (profile() set first) or both gone.
inline void set_hooks(bool on) {
  platform_set_os_version_hook(on ? answer_os : nullptr);
  platform_fs_set_folder_hooks(on ? folder_hooks() : nullptr);
}

}  // namespace npkitest
