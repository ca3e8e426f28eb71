// The error tables as data, for the lookups and for the tests that hold the two Korean encodings
// together; not for callers outside pki/errors.
#pragma once

#include <cstddef>
#include <cstdint>

namespace v7 {

struct ErrTextRow {
  uint32_t code;   // the int code read as unsigned, so that vendor codes sort after the rest
  const char *en;  // empty for a code with a Korean text only
  const char *ko;  // UTF-8
};

struct ErrKoRow {
  uint32_t code;
  const char *ko;  // EUC-KR
};

// Both arrays are in ascending code order and hold the same codes in the same order.
extern const ErrTextRow kErrTextRows[];
extern const size_t kErrTextRowCount;
extern const ErrKoRow kErrKoEuckrRows[];
extern const size_t kErrKoEuckrRowCount;

// The Korean text of a code in UTF-8 (utf8) or EUC-KR, whatever CharEncodingMode says.
const char *err_text_ko_in(int code, bool utf8);

}  // namespace v7
