// Outside modules (PKCS#11 libraries and the like) loaded by their full path only. A bare name or a
// relative path would let the loader search the current folder, the program's folder and PATH, so
// that a planted file of the same name ran inside the browser; such paths are refused before the
// loader sees them.
//
// Paths are narrow texts as the configuration files that name the modules hold them: on Windows in
// the process's ANSI code page (converted to UTF-16 for LoadLibraryExW), elsewhere bytes for
// dlopen.
#pragma once

namespace v7 {

struct LoadedModule;

// True when the path names a file by its full path: "/..." natively; on Windows "X:\...",
// "X:/..." or a UNC path "\\server\share\...". Drive-relative ("C:x", "\x") and relative paths,
// and paths with a "." or ".." component, are not full paths.
bool module_path_is_full(const char *path);

// The module at that full path, or null with errno kErrInvalidParameter (null or empty path),
// kErrModuleRelativePath (not a full path), kErrModuleLoad (the loader refused it) or
// kErrOutOfMemory. Loading the same file twice gives two handles on one mapped image; each is
// closed on its own.
LoadedModule *module_load(const char *path);

// The exported symbol, or null (errno kErrModuleNoSymbol; kErrInvalidParameter for null).
void *module_symbol(LoadedModule *module, const char *name);

// Unloads one reference; null is ignored.
void module_close(LoadedModule *module);

}  // namespace v7
