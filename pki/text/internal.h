// Helpers shared by the text and file utilities; not for callers outside pki/text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace v7 {

// The built-in CP949 table (generated from glibc iconv, see tools/gen-cp949-table).
enum : unsigned {
  kCp949LeadFirst = 0x81,
  kCp949LeadLast = 0xFE,
  kCp949TrailFirst = 0x41,
  kCp949TrailLast = 0xFE,
  kCp949Trails = kCp949TrailLast - kCp949TrailFirst + 1,
  kCp949Cells = (kCp949LeadLast - kCp949LeadFirst + 1) * kCp949Trails,
  kCp949Mapped = 17048,
};
extern const uint16_t kCp949Decode[kCp949Cells];
extern const uint16_t kCp949ByUnicode[kCp949Mapped];

// The three encodings the converters move between. Narrow ones count bytes, wide counts UTF-16
// units.
enum class Codec { kUtf8, kCp949, kUtf16 };

// Converts in_len units of `in` into `out` and returns the number of output units the whole text
// needs (no terminator), writing only the units that fit in out_cap; out may be null. Returns
// kTranscodeFailed for malformed input or a character the target cannot hold: nothing is ever
// replaced.
constexpr size_t kTranscodeFailed = static_cast<size_t>(-1);
size_t transcode(Codec from, const void *in, size_t in_len, Codec to, void *out, size_t out_cap);

// The narrow codec that CharEncodingMode names.
Codec setting_codec();

size_t wide_length(const char16_t *text);

}  // namespace v7
