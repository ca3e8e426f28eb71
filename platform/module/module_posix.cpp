#include <dlfcn.h>

#include "platform/errors/errno_util.h"
#include "platform/module/module.h"

namespace v7 {

// The dlopen handle itself stands for the module.
LoadedModule *module_load(const char *path) {
  if (path == nullptr || path[0] == '\0') return with_errno(kErrInvalidParameter, nullptr);
  if (!module_path_is_full(path)) return with_errno(kErrModuleRelativePath, nullptr);
  // RTLD_LOCAL keeps a vendor library's symbols from resolving another library's references.
  void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return with_errno(kErrModuleLoad, nullptr);
  return with_errno(0, static_cast<LoadedModule *>(handle));
}

void *module_symbol(LoadedModule *module, const char *name) {
  if (module == nullptr || name == nullptr) return with_errno(kErrInvalidParameter, nullptr);
  void *symbol = dlsym(module, name);
  if (symbol == nullptr) return with_errno(kErrModuleNoSymbol, nullptr);
  return with_errno(0, symbol);
}

void module_close(LoadedModule *module) {
  if (module != nullptr) dlclose(module);
}

}  // namespace v7
