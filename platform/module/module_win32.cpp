#include <windows.h>

#include <string>

#include "platform/errors/errno_util.h"
#include "platform/module/module.h"

namespace v7 {

namespace {

bool ansi_to_wide(const char *text, std::wstring *out) {
  int n = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (n <= 0) return false;
  out->assign(size_t(n), L'\0');
  if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, &(*out)[0], n) != n) return false;
  out->resize(size_t(n - 1));
  return true;
}

}  // namespace

// The HMODULE itself stands for the module.
LoadedModule *module_load(const char *path) {
  if (path == nullptr || path[0] == '\0') return with_errno(kErrInvalidParameter, nullptr);
  if (!module_path_is_full(path)) return with_errno(kErrModuleRelativePath, nullptr);
  std::wstring wide;
  if (!ansi_to_wide(path, &wide)) return with_errno(kErrModuleLoad, nullptr);
  // With a full path, LOAD_WITH_ALTERED_SEARCH_PATH looks for the module's own dependencies in its
  // folder first instead of the host program's folder. No error box for a missing dependency.
  UINT old_mode = ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE module = ::LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ::SetErrorMode(old_mode);
  if (module == nullptr) return with_errno(kErrModuleLoad, nullptr);
  return with_errno(0, reinterpret_cast<LoadedModule *>(module));
}

void *module_symbol(LoadedModule *module, const char *name) {
  if (module == nullptr || name == nullptr) return with_errno(kErrInvalidParameter, nullptr);
  FARPROC symbol = ::GetProcAddress(reinterpret_cast<HMODULE>(module), name);
  if (symbol == nullptr) return with_errno(kErrModuleNoSymbol, nullptr);
  return with_errno(0, reinterpret_cast<void *>(symbol));
}

void module_close(LoadedModule *module) {
  if (module != nullptr) ::FreeLibrary(reinterpret_cast<HMODULE>(module));
}

}  // namespace v7
