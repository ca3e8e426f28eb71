#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "crypto/base/wipe.h"
#include "pki/text/strings.h"
#include "platform/errors/error_codes.h"
#include "platform/fs/utf.h"
#include "platform/module/module.h"
#include "platform/ui/message_box.h"
#include "wizard/keyload/internal.h"
#include "wizard/keyload/outside_key_load.h"

namespace v7 {
namespace keyload {

void outside_buffers_wipe(OutsideModuleBuffers *buffers) {
  if (buffers != nullptr) secure_wipe(buffers, sizeof(*buffers));
}

// The fixed numbers rather than the "FileVersion" text: resource scripts often write that text as
// "1, 0, 0, 3", which a dotted comparison cannot read.
int module_file_version(const char *path, char *out, size_t capacity) {
  if (path == nullptr || out == nullptr || capacity == 0) return kErrInvalidParameter;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return kErrModuleLoad;
  std::vector<uint8_t> info(size);
  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT fixed_len = 0;
  if (!::GetFileVersionInfoA(path, 0, size, info.data()) ||
      !::VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &fixed_len) || fixed == nullptr ||
      fixed_len < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
    return kErrModuleLoad;
  const int n = std::snprintf(out, capacity, "%u.%u.%u.%u", unsigned(HIWORD(fixed->dwFileVersionMS)),
                              unsigned(LOWORD(fixed->dwFileVersionMS)), unsigned(HIWORD(fixed->dwFileVersionLS)),
                              unsigned(LOWORD(fixed->dwFileVersionLS)));
  return n > 0 && size_t(n) < capacity ? 0 : kErrInsufficientBuffer;
}

int version_gate(const std::string &path, const char *min_version) {
  if (min_version == nullptr || min_version[0] == '\0') return 0;
  char version[64];
  if (module_file_version(path.c_str(), version, sizeof(version)) != 0) return kErrModuleLoad;
  return version_compare(version, min_version) >= 0 ? 0 : kErrModuleLoad;
}

void show_text(const char *utf8, unsigned flags) {
  std::u16string text;
  if (utf8_to_utf16(utf8, &text)) message_box_w(text.c_str(), nullptr, flags);
}

ModuleHold::~ModuleHold() { module_close(module_); }

void *ModuleHold::symbol(const char *name) const { return module_symbol(module_, name); }

}  // namespace keyload
}  // namespace v7
