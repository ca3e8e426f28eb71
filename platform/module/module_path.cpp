#include <cstring>

#include "platform/module/module.h"

namespace v7 {

namespace {

bool is_separator(char c) {
#ifdef _WIN32
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// "." and ".." components would let a configured path climb out of the folder it names; a module
// path never needs them.
bool has_dot_component(const char *path) {
  const char *start = path;
  for (const char *p = path;; ++p) {
    if (*p == '\0' || is_separator(*p)) {
      size_t len = size_t(p - start);
      if ((len == 1 && start[0] == '.') || (len == 2 && start[0] == '.' && start[1] == '.')) return true;
      if (*p == '\0') return false;
      start = p + 1;
    }
  }
}

}  // namespace

bool module_path_is_full(const char *path) {
  if (path == nullptr || path[0] == '\0') return false;
#ifdef _WIN32
  const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
                     path[1] == ':' && is_separator(path[2]) && path[3] != '\0';
  const bool unc = is_separator(path[0]) && is_separator(path[1]) && path[2] != '\0' &&
                   !is_separator(path[2]) && path[2] != '?' && path[2] != '.';
  if (!drive && !unc) return false;
#else
  if (path[0] != '/' || path[1] == '\0') return false;
#endif
  return !has_dot_component(path);
}

}  // namespace v7
