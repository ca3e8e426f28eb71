#include "pki/text/codepage.h"

#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "pki/text/internal.h"
#include "platform/locale/process_words.h"

namespace v7 {
namespace {

constexpr uint32_t kBad = 0xFFFFFFFF;

// Each reader takes one character from [*p, end) and returns its code point, or kBad.
uint32_t read_utf8(const uint8_t *&p, const uint8_t *end) {
  uint32_t c = *p++;
  if (c < 0x80) return c;
  int more;
  uint32_t min;
  if (c >= 0xC2 && c <= 0xDF) {
    more = 1, min = 0x80, c &= 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    more = 2, min = 0x800, c &= 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    more = 3, min = 0x10000, c &= 0x07;
  } else {
    return kBad;  // a continuation byte, an overlong lead (C0, C1) or beyond U+10FFFF
  }
  if (end - p < more) return kBad;
  for (int i = 0; i < more; i++) {
    if ((p[i] & 0xC0) != 0x80) return kBad;
    c = c << 6 | (p[i] & 0x3F);
  }
  p += more;
  if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kBad;
  return c;
}

uint32_t read_cp949(const uint8_t *&p, const uint8_t *end) {
  uint32_t lead = *p++;
  if (lead < 0x80) return lead;
  if (lead < kCp949LeadFirst || lead > kCp949LeadLast || p == end) return kBad;
  uint32_t trail = *p;
  if (trail < kCp949TrailFirst || trail > kCp949TrailLast) return kBad;
  uint16_t u = kCp949Decode[(lead - kCp949LeadFirst) * kCp949Trails + (trail - kCp949TrailFirst)];
  if (u == 0) return kBad;
  p++;
  return u;
}

uint32_t read_utf16(const char16_t *&p, const char16_t *end) {
  uint32_t c = *p++;
  if (c < 0xD800 || c > 0xDFFF) return c;
  if (c > 0xDBFF || p == end || *p < 0xDC00 || *p > 0xDFFF) return kBad;
  return 0x10000 + ((c - 0xD800) << 10) + (*p++ - 0xDC00);
}

// The code of a character in the table, or 0 when CP949 has none for it.
uint16_t cp949_code(uint32_t c) {
  if (c > 0xFFFF) return 0;
  size_t lo = 0, hi = kCp949Mapped;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    uint16_t u = kCp949Decode[kCp949ByUnicode[mid]];
    if (u == c) {
      unsigned cell = kCp949ByUnicode[mid];
      return uint16_t((kCp949LeadFirst + cell / kCp949Trails) << 8 |
                      (kCp949TrailFirst + cell % kCp949Trails));
    }
    if (u < c) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return 0;
}

// Writes the units of c from out[pos] on, as far as cap allows; returns their number, 0 when the
// codec cannot hold c.
template <typename Unit>
size_t put(Unit *out, size_t pos, size_t cap, const Unit *units, size_t n) {
  for (size_t i = 0; i < n; i++) {
    if (out != nullptr && pos + i < cap) out[pos + i] = units[i];
  }
  return n;
}

size_t write_narrow(Codec to, uint32_t c, char *out, size_t pos, size_t cap) {
  char u[4];
  size_t n;
  if (c < 0x80) {
    u[0] = char(c), n = 1;
  } else if (to == Codec::kCp949) {
    uint16_t code = cp949_code(c);
    if (code == 0) return 0;
    u[0] = char(code >> 8), u[1] = char(code & 0xFF), n = 2;
  } else if (c < 0x800) {
    u[0] = char(0xC0 | c >> 6), u[1] = char(0x80 | (c & 0x3F)), n = 2;
  } else if (c < 0x10000) {
    u[0] = char(0xE0 | c >> 12), u[1] = char(0x80 | (c >> 6 & 0x3F)), u[2] = char(0x80 | (c & 0x3F)), n = 3;
  } else {
    u[0] = char(0xF0 | c >> 18), u[1] = char(0x80 | (c >> 12 & 0x3F));
    u[2] = char(0x80 | (c >> 6 & 0x3F)), u[3] = char(0x80 | (c & 0x3F)), n = 4;
  }
  size_t r = put(out, pos, cap, u, n);
  secure_wipe(u, sizeof(u));  // passwords pass through here
  return r;
}

size_t write_wide(uint32_t c, char16_t *out, size_t pos, size_t cap) {
  char16_t u[2];
  size_t n = 1;
  if (c < 0x10000) {
    u[0] = char16_t(c);
  } else {
    u[0] = char16_t(0xD800 + ((c - 0x10000) >> 10)), u[1] = char16_t(0xDC00 + ((c - 0x10000) & 0x3FF)), n = 2;
  }
  return put(out, pos, cap, u, n);
}

}  // namespace

size_t transcode(Codec from, const void *in, size_t in_len, Codec to, void *out, size_t out_cap) {
  const uint8_t *p8 = static_cast<const uint8_t *>(in), *end8 = p8 + (from == Codec::kUtf16 ? 0 : in_len);
  const char16_t *p16 = static_cast<const char16_t *>(in),
                 *end16 = p16 + (from == Codec::kUtf16 ? in_len : 0);
  size_t pos = 0;
  for (;;) {
    uint32_t c;
    if (from == Codec::kUtf16) {
      if (p16 == end16) break;
      c = read_utf16(p16, end16);
    } else {
      if (p8 == end8) break;
      c = from == Codec::kUtf8 ? read_utf8(p8, end8) : read_cp949(p8, end8);
    }
    if (c == kBad) return kTranscodeFailed;
    size_t n = to == Codec::kUtf16 ? write_wide(c, static_cast<char16_t *>(out), pos, out_cap)
                                   : write_narrow(to, c, static_cast<char *>(out), pos, out_cap);
    if (n == 0) return kTranscodeFailed;
    pos += n;
  }
  return pos;
}

Codec setting_codec() { return char_encoding_is_utf8() ? Codec::kUtf8 : Codec::kCp949; }

size_t wide_length(const char16_t *text) {
  size_t n = 0;
  while (text[n] != 0) n++;
  return n;
}

namespace {

size_t unit_size(Codec c) { return c == Codec::kUtf16 ? sizeof(char16_t) : 1; }

size_t source_length(Codec c, const void *text) {
  return c == Codec::kUtf16 ? wide_length(static_cast<const char16_t *>(text))
                            : strlen(static_cast<const char *>(text));
}

// A new terminated text converted from a terminated one. Returns 0 or the code; *length gets the
// unit count.
int convert_new(Codec from, const void *text, Codec to, void **out, size_t *length, int fail_code) {
  if (out != nullptr) *out = nullptr;
  if (text == nullptr || out == nullptr) return kErrInvalidParameter;
  size_t in_len = source_length(from, text);
  size_t need = transcode(from, text, in_len, to, nullptr, 0);
  if (need == kTranscodeFailed) return fail_code;
  void *buf = malloc((need + 1) * unit_size(to));
  if (buf == nullptr) return kErrOutOfMemory;
  transcode(from, text, in_len, to, buf, need);
  if (to == Codec::kUtf16) {
    static_cast<char16_t *>(buf)[need] = 0;
  } else {
    static_cast<char *>(buf)[need] = 0;
  }
  *out = buf;
  if (length != nullptr) *length = need;
  return 0;
}

int convert_buf(Codec from, const void *text, Codec to, void *buf, size_t capacity, int fail_code) {
  if (text == nullptr || buf == nullptr || capacity == 0) return kErrInvalidParameter;
  size_t in_len = source_length(from, text);
  size_t need = transcode(from, text, in_len, to, nullptr, 0);
  int code = need == kTranscodeFailed ? fail_code : need >= capacity ? kErrInsufficientBuffer : 0;
  if (code == 0) transcode(from, text, in_len, to, buf, need);
  size_t end = code == 0 ? need : 0;
  if (to == Codec::kUtf16) {
    static_cast<char16_t *>(buf)[end] = 0;
  } else {
    static_cast<char *>(buf)[end] = 0;
  }
  return code;
}

int wide_new(Codec from, const char *text, char16_t **out, int fail_code) {
  void *p = nullptr;
  int code = convert_new(from, text, Codec::kUtf16, &p, nullptr, fail_code);
  if (out != nullptr) *out = static_cast<char16_t *>(p);
  return with_errno(code, code);
}

int narrow_new(Codec to, const char16_t *text, char **out, int fail_code) {
  void *p = nullptr;
  int code = convert_new(Codec::kUtf16, text, to, &p, nullptr, fail_code);
  if (out != nullptr) *out = static_cast<char *>(p);
  return with_errno(code, code);
}

int wide_fail_code(Codec to) { return to == Codec::kUtf8 ? kErrWideToUtf8 : kErrWideToEuckr; }
int narrow_fail_code(Codec from) { return from == Codec::kUtf8 ? kErrUtf8ToWide : kErrEuckrToWide; }

size_t narrow_pair_new(Codec from, const char *text, Codec to, char **out) {
  if (out != nullptr) *out = nullptr;
  if (text == nullptr || out == nullptr || text[0] == 0) return with_errno(kErrInvalidParameter, size_t(0));
  void *p = nullptr;
  size_t length = 0;
  int code = convert_new(from, text, to, &p, &length, kErrUnicodeTranslation);
  *out = static_cast<char *>(p);
  return with_errno(code, code == 0 ? length : 0);
}

size_t narrow_pair_buf(Codec from, const char *in, size_t in_len, Codec to, char *out, size_t capacity,
                       int short_code) {
  if (in == nullptr || in_len == 0 || (out == nullptr && capacity != 0)) {
    return with_errno(kErrInvalidParameter, size_t(0));
  }
  size_t need = transcode(from, in, in_len, to, nullptr, 0);
  if (need == kTranscodeFailed) return with_errno(kErrUnicodeTranslation, size_t(0));
  if (out == nullptr) return with_errno(0, need);
  if (need > capacity) return with_errno(short_code, size_t(0));
  transcode(from, in, in_len, to, out, capacity);
  return with_errno(0, need);
}

int plain_copy(const char *text, char **out) {
  size_t n = strlen(text);
  *out = static_cast<char *>(malloc(n + 1));
  if (*out == nullptr) return kErrOutOfMemory;
  memcpy(*out, text, n + 1);
  return 0;
}

int euckr_copy(const char *text, char **out, bool copy_on_failure) {
  if (out != nullptr) *out = nullptr;
  if (text == nullptr || out == nullptr) return with_errno(kErrInvalidParameter, kErrInvalidParameter);
  int code;
  if (!char_encoding_is_utf8() || text[0] == 0) {
    code = plain_copy(text, out);
  } else {
    void *p = nullptr;
    code = convert_new(Codec::kUtf8, text, Codec::kCp949, &p, nullptr, kErrUnicodeTranslation);
    *out = static_cast<char *>(p);
    if (code == kErrUnicodeTranslation && copy_on_failure) code = plain_copy(text, out);
  }
  return with_errno(code, code);
}

}  // namespace
}  // namespace v7

using v7::Codec;

int utf8_to_wide(const char *text, char16_t **out) {
  return v7::wide_new(Codec::kUtf8, text, out, v7::kErrUtf8ToWide);
}
int euckr_to_wide(const char *text, char16_t **out) {
  return v7::wide_new(Codec::kCp949, text, out, v7::kErrEuckrToWide);
}
int wide_to_utf8(const char16_t *text, char **out) {
  return v7::narrow_new(Codec::kUtf8, text, out, v7::kErrWideToUtf8);
}
int wide_to_euckr(const char16_t *text, char **out) {
  return v7::narrow_new(Codec::kCp949, text, out, v7::kErrWideToEuckr);
}

int wide_to_utf8_buf(const char16_t *text, char *buf, size_t capacity) {
  int code = v7::convert_buf(Codec::kUtf16, text, Codec::kUtf8, buf, capacity, v7::kErrWideToUtf8);
  return v7::with_errno(code, code);
}
int wide_to_euckr_buf(const char16_t *text, char *buf, size_t capacity) {
  int code = v7::convert_buf(Codec::kUtf16, text, Codec::kCp949, buf, capacity, v7::kErrWideToEuckr);
  return v7::with_errno(code, code);
}

int setting_to_wide(const char *text, char16_t **out) {
  Codec c = v7::setting_codec();
  return v7::wide_new(c, text, out, v7::narrow_fail_code(c));
}
int wide_to_setting(const char16_t *text, char **out) {
  Codec c = v7::setting_codec();
  return v7::narrow_new(c, text, out, v7::wide_fail_code(c));
}

int to_euckr_copy(const char *text, char **out) { return v7::euckr_copy(text, out, false); }
int to_euckr_dup(const char *text, char **out) { return v7::euckr_copy(text, out, true); }

size_t utf8_to_euckr(const char *text, char **out) {
  return v7::narrow_pair_new(Codec::kUtf8, text, Codec::kCp949, out);
}
size_t euckr_to_utf8(const char *text, char **out) {
  return v7::narrow_pair_new(Codec::kCp949, text, Codec::kUtf8, out);
}
size_t utf8_to_euckr_buf(const char *in, size_t in_len, char *out, size_t capacity) {
  return v7::narrow_pair_buf(Codec::kUtf8, in, in_len, Codec::kCp949, out, capacity,
                             v7::kErrInsufficientBuffer);
}
size_t euckr_to_utf8_buf(const char *in, size_t in_len, char *out, size_t capacity) {
  return v7::narrow_pair_buf(Codec::kCp949, in, in_len, Codec::kUtf8, out, capacity,
                             v7::kErrInsufficientMemory);
}

size_t bmpstring_to_text(const uint8_t *contents, size_t length, char *out, size_t capacity) {
  if (out == nullptr || capacity == 0) return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  out[0] = 0;
  if (contents == nullptr || length <= 1) return 0;
  size_t units = length / 2;
  char16_t *wide = static_cast<char16_t *>(malloc(units * sizeof(char16_t)));
  if (wide == nullptr) return v7::with_errno(v7::kErrOutOfMemory, size_t(0));
  for (size_t i = 0; i < units; i++) wide[i] = char16_t(contents[2 * i] << 8 | contents[2 * i + 1]);
  // Whole characters only: grow the prefix while its conversion still fits before the terminator.
  Codec to = v7::setting_codec();
  size_t total = v7::transcode(Codec::kUtf16, wide, units, to, nullptr, 0);
  size_t written = 0;
  if (total != v7::kTranscodeFailed) {
    size_t taken = units;
    if (total > capacity - 1) {
      size_t need = 0;
      taken = 0;
      while (taken < units) {
        size_t step = (wide[taken] >= 0xD800 && wide[taken] <= 0xDBFF && taken + 1 < units) ? 2 : 1;
        size_t n = v7::transcode(Codec::kUtf16, wide + taken, step, to, nullptr, 0);
        if (need + n > capacity - 1) break;
        need += n, taken += step;
      }
    }
    written = v7::transcode(Codec::kUtf16, wide, taken, to, out, capacity - 1);
    out[written] = 0;
  }
  v7::secure_wipe(wide, units * sizeof(char16_t));
  free(wide);
  if (total == v7::kTranscodeFailed) return v7::with_errno(v7::wide_fail_code(to), size_t(0));
  return v7::with_errno(0, written);
}
