// Helpers the Windows side of the tooltip renderer shares between its files.
#pragma once

#include <windows.h>

#include <string>

namespace v7::htmltip::win32::internal {

// A program or library mapped for its resources only: its code never runs, its DllMain is never
// called. Systems without the image-resource mapping still take the plain data-file one. The
// caller frees it with FreeLibrary; null when it cannot be read.
inline HMODULE MapResourceModule(const wchar_t *path) {
  HMODULE module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  return module;
}

// Whether a file or library name a text gives is one the drawers may open: a name starting with
// two slashes (a share on another machine, "\\?\" or "\\.\" device names) is not, nor one in
// the object manager's own form ("\??\UNC\server\...", which CreateFile takes as it stands), so
// that no text can make the process reach out over the network, and hand its credentials to a
// server, merely by being drawn.
inline bool IsLocalName(const std::u16string &name) {
  auto slash = [](char16_t c) { return c == u'\\' || c == u'/'; };
  return !name.empty() && !(name.size() >= 2 && slash(name[0]) && (slash(name[1]) || name[1] == u'?'));
}

}  // namespace v7::htmltip::win32::internal
