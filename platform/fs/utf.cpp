#include "platform/fs/utf.h"

#include <cstdint>

namespace v7 {

bool utf16_to_utf8(const char16_t *text, std::string *out) {
  out->clear();
  for (const char16_t *p = text; *p != 0; p++) {
    uint32_t c = *p;
    if (c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (*++p - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x80) {
      *out += char(c);
    } else if (c < 0x800) {
      *out += char(0xC0 | c >> 6), *out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      *out += char(0xE0 | c >> 12), *out += char(0x80 | (c >> 6 & 0x3F)), *out += char(0x80 | (c & 0x3F));
    } else {
      *out += char(0xF0 | c >> 18), *out += char(0x80 | (c >> 12 & 0x3F));
      *out += char(0x80 | (c >> 6 & 0x3F)), *out += char(0x80 | (c & 0x3F));
    }
  }
  return true;
}

bool utf8_to_utf16(const char *text, std::u16string *out) {
  out->clear();
  const uint8_t *p = reinterpret_cast<const uint8_t *>(text);
  while (*p != 0) {
    uint32_t c = *p++;
    int more = c < 0x80                   ? 0
               : (c >= 0xC2 && c <= 0xDF) ? 1
               : (c >= 0xE0 && c <= 0xEF) ? 2
               : (c >= 0xF0 && c <= 0xF4) ? 3
                                          : -1;
    if (more < 0) return false;
    if (more > 0) c &= 0x3F >> more;
    for (int i = 0; i < more; i++, p++) {
      if ((*p & 0xC0) != 0x80) return false;  // also stops at the terminator
      c = c << 6 | (*p & 0x3F);
    }
    static const uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (c < kMin[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      *out += char16_t(0xD800 + ((c - 0x10000) >> 10));
      c = 0xDC00 + ((c - 0x10000) & 0x3FF);
    }
    *out += char16_t(c);
  }
  return true;
}

}  // namespace v7
