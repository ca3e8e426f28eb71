// The platform's answers for tests that build the library's folder texts from a tree of their
// own: the system version they set and the profile folder under their tree's root. The folder
// texts are built once per process, so a test executable installs these from its first test on.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/fs/fs.h"
#include "platform/osver/os_version_query.h"

namespace foldertest {

// The system the answers report (Windows 7 unless a test says otherwise) and the tree's root.
inline OsVersionRecord g_os = {2, 6, 1};
inline std::filesystem::path g_root;

inline bool answer_os(OsVersionRecord *out) {
  *out = g_os;
  return true;
}

template <typename Char>
bool answer(const std::basic_string<Char> &text, Char *out, size_t cap) {
  if (text.empty() || text.size() >= cap) return false;
  std::copy(text.begin(), text.end(), out);
  out[text.size()] = 0;
  return true;
}

inline const FsFolderHooks kFolderHooks = {
    [](char16_t *out, size_t cap) { return answer(std::u16string(u"C:\\Windows"), out, cap); },
    [](char *out, size_t cap) { return answer(std::string("C:\\Windows"), out, cap); },
    [](int csidl, char16_t *out, size_t cap) {
      return csidl == kShellFolderProfile && answer((g_root / "profile").u16string(), out, cap);
    },
    [](int csidl, char *out, size_t cap) {
      return csidl == kShellFolderProfile && answer((g_root / "profile").string(), out, cap);
    },
};

}  // namespace foldertest
