// Helpers the Windows side of the tooltip renderer shares between its files.
#pragma once

#include <windows.h>

namespace v7::htmltip::win32::internal {

// A program or library mapped for its resources only: its code never runs, its DllMain is never
// called. Systems without the image-resource mapping still take the plain data-file one. The
// caller frees it with FreeLibrary; null when it cannot be read.
inline HMODULE MapResourceModule(const wchar_t *path) {
  HMODULE module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  return module;
}

}  // namespace v7::htmltip::win32::internal
