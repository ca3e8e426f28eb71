#include "pki/errors/error_tables.h"

#include <cstdint>

#include "pki/errors/internal.h"
#include "platform/locale/process_words.h"

namespace v7 {

constexpr ErrTextRow kErrTextRows[] = {
#define ERR_ROW(code, en, ko) {static_cast<uint32_t>(code), en, ko},
#include "pki/errors/error_texts.inc"
#undef ERR_ROW
};
const size_t kErrTextRowCount = sizeof(kErrTextRows) / sizeof(kErrTextRows[0]);

constexpr ErrKoRow kErrKoEuckrRows[] = {
#define ERR_KO_ROW(code, ko) {static_cast<uint32_t>(code), ko},
#include "pki/errors/error_texts_euckr.inc"
#undef ERR_KO_ROW
};
const size_t kErrKoEuckrRowCount = sizeof(kErrKoEuckrRows) / sizeof(kErrKoEuckrRows[0]);

namespace {

// The lookup is a binary search, so a row out of order would hide codes silently.
template <typename Row, size_t N>
constexpr bool strictly_ascending(const Row (&rows)[N]) {
  for (size_t i = 1; i < N; ++i) {
    if (rows[i - 1].code >= rows[i].code) return false;
  }
  return true;
}

template <size_t N, size_t M>
constexpr bool same_codes(const ErrTextRow (&a)[N], const ErrKoRow (&b)[M]) {
  if (N != M) return false;
  for (size_t i = 0; i < N; ++i) {
    if (a[i].code != b[i].code) return false;
  }
  return true;
}

static_assert(strictly_ascending(kErrTextRows), "error_texts.inc must be in ascending code order");
static_assert(same_codes(kErrTextRows, kErrKoEuckrRows),
              "error_texts_euckr.inc is out of date: run tools/gen-euckr-table");

// Index of the row holding code, or kErrTextRowCount. The twin holds the same codes in the same
// order (checked above), so one index serves both tables.
size_t find_row(int code) {
  const uint32_t key = static_cast<uint32_t>(code);
  size_t lo = 0, hi = kErrTextRowCount;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (kErrTextRows[mid].code < key) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo < kErrTextRowCount && kErrTextRows[lo].code == key ? lo : kErrTextRowCount;
}

}  // namespace

const char *err_text_ko_in(int code, bool utf8) {
  const size_t i = find_row(code);
  if (i == kErrTextRowCount) return "";
  return utf8 ? kErrTextRows[i].ko : kErrKoEuckrRows[i].ko;
}

}  // namespace v7

const char *err_text_en(int code) {
  const size_t i = v7::find_row(code);
  return i < v7::kErrTextRowCount ? v7::kErrTextRows[i].en : "";
}

const char *err_text_ko(int code) { return v7::err_text_ko_in(code, char_encoding_is_utf8()); }
