#include "pki/text/strings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "pki/text/internal.h"

namespace {

constexpr size_t kMaxCapacity = 0x0FFFFFFF;

template <typename Char>
size_t length_of(const Char *s) {
  size_t n = 0;
  while (s[n] != 0) n++;
  return n;
}

// The length of the text in buf, or capacity when no terminator lies within it.
template <typename Char>
size_t bounded_length(const Char *buf, size_t capacity) {
  size_t n = 0;
  while (n < capacity && buf[n] != 0) n++;
  return n;
}

template <typename Char>
size_t lcopy(size_t capacity, Char *dst, const Char *src) {
  size_t n = src != nullptr ? length_of(src) : 0;
  if (dst != nullptr && capacity != 0) {
    size_t k = n < capacity - 1 ? n : capacity - 1;
    if (k != 0) memmove(dst, src, k * sizeof(Char));
    dst[k] = 0;
  }
  return n;
}

// Appends src at offset `at` of dst; the shared body of copy and append.
template <typename Char>
int place(const Char *src, size_t capacity, Char *dst, size_t at) {
  if (dst == nullptr || capacity == 0 || capacity > kMaxCapacity)
    return v7::with_errno(v7::kErrnoInvalid, v7::kErrnoInvalid);
  if (src == nullptr || at >= capacity) {
    dst[0] = 0;
    return v7::with_errno(v7::kErrnoInvalid, v7::kErrnoInvalid);
  }
  size_t n = length_of(src);
  if (n >= capacity - at) {
    dst[0] = 0;
    return v7::with_errno(v7::kErrnoRange, v7::kErrnoRange);
  }
  memmove(dst + at, src, n * sizeof(Char));
  dst[at + n] = 0;
  return 0;
}

template <typename Char>
int copy_s(size_t capacity, const Char *src, Char *dst) {
  return place(src, capacity, dst, 0);
}

template <typename Char>
int cat_s(const Char *src, size_t capacity, Char *buf) {
  if (buf == nullptr || capacity == 0 || capacity > kMaxCapacity)
    return v7::with_errno(v7::kErrnoInvalid, v7::kErrnoInvalid);
  return place(src, capacity, buf, bounded_length(buf, capacity));
}

bool blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

size_t str_lcopy(size_t capacity, char *dst, const char *src) { return lcopy(capacity, dst, src); }
size_t wstr_lcopy(size_t capacity, char16_t *dst, const char16_t *src) { return lcopy(capacity, dst, src); }
int str_copy_s(size_t capacity, const char *src, char *dst) { return copy_s(capacity, src, dst); }
int wstr_copy_s(size_t capacity, const char16_t *src, char16_t *dst) { return copy_s(capacity, src, dst); }
int str_cat_s(const char *src, size_t capacity, char *buf) { return cat_s(src, capacity, buf); }
int wstr_cat_s(const char16_t *src, size_t capacity, char16_t *buf) { return cat_s(src, capacity, buf); }
int append_low_folder(char16_t *buf) { return cat_s(u"\\AppData\\LocalLow", kWidePathCapacity, buf); }

int safe_vsnprintf(char *buf, size_t capacity, const char *format, va_list args) {
  if (format == nullptr || (buf == nullptr && capacity != 0) || capacity > 0x7FFFFFFF) {
    return v7::with_errno(v7::kErrnoInvalid, -1);
  }
  int saved = errno;
#if defined(__MINGW32__)
  int n = __mingw_vsnprintf(buf, capacity, format, args);
#else
  int n = vsnprintf(buf, capacity, format, args);
#endif
  if (n < 0) {
    if (buf != nullptr) buf[0] = 0;
    return v7::with_errno(v7::kErrnoInvalid, -1);
  }
  errno = saved;
  return n;
}

int safe_snprintf(char *buf, size_t capacity, const char *format, ...) {
  va_list args;
  va_start(args, format);
  int n = safe_vsnprintf(buf, capacity, format, args);
  va_end(args);
  return n;
}

char *str_trim(char *text) {
  if (text == nullptr) return nullptr;
  size_t start = 0, end = strlen(text);
  while (start < end && blank(text[start])) start++;
  while (end > start && blank(text[end - 1])) end--;
  memmove(text, text + start, end - start);
  text[end - start] = 0;
  return text;
}

void str_wipe_free(char *text) {
  if (text == nullptr) return;
  v7::secure_wipe(text, strlen(text));
  free(text);
}

void wstr_wipe_free(char16_t *text) {
  if (text == nullptr) return;
  v7::secure_wipe(text, length_of(text) * sizeof(char16_t));
  free(text);
}

int hex_encode_lower(size_t length, char *out, const uint8_t *in, size_t capacity) {
  static const char kDigits[] = "0123456789abcdef";
  if (in == nullptr || length == 0 || length > 0x3FFFFFFF)
    return v7::with_errno(v7::kErrInvalidParameter, -1);
  if (out == nullptr) return int(2 * length);
  if (capacity <= 2 * length) return v7::with_errno(v7::kErrInsufficientBuffer, -1);
  for (size_t i = 0; i < length; i++) {
    out[2 * i] = kDigits[in[i] >> 4];
    out[2 * i + 1] = kDigits[in[i] & 0xF];
  }
  out[2 * length] = 0;
  return int(2 * length);
}

namespace {

// One field of a version text: its number, saturated rather than wrapped so that a huge field
// still compares as huge. False when the text has no more fields.
bool next_field(const char *&p, uint64_t *value) {
  if (p == nullptr || *p == 0) return false;
  uint64_t v = 0;
  while (*p >= '0' && *p <= '9') {
    v = v > (UINT64_MAX - 9) / 10 ? UINT64_MAX : v * 10 + uint64_t(*p - '0');
    p++;
  }
  if (*p != 0) p++;  // the separator, whatever character it is
  *value = v;
  return true;
}

}  // namespace

int version_compare(const char *a, const char *b) {
  for (;;) {
    uint64_t x = 0, y = 0;
    bool has_a = next_field(a, &x), has_b = next_field(b, &y);
    if (!has_a || !has_b) return has_a ? 1 : has_b ? -1 : 0;
    if (x != y) return x < y ? -1 : 1;
  }
}
