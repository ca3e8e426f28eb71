// Small DER helpers shared across the toolkit: INTEGER values and OID text.

#include <cerrno>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/internal.h"

namespace v7 {
namespace asn1 {

bool oid_next_subid(const uint8_t *c, size_t len, size_t *pos, uint32_t *value) {
  size_t start = *pos;
  if (start >= len || c[start] == 0x80) return false;
  uint32_t v = 0;
  for (size_t i = start; i < len; ++i) {
    if (i - start >= 4) return false;
    v = (v << 7) | (c[i] & 0x7F);
    if ((c[i] & 0x80) == 0) {
      *pos = i + 1;
      *value = v;
      return true;
    }
  }
  return false;
}

namespace {

// Writes ".123" (or "123" without the dot) into text, returning its length.
size_t format_arc(char *text, uint32_t arc, bool dot) {
  char digits[10];
  size_t n = 0;
  do {
    digits[n++] = char('0' + arc % 10);
    arc /= 10;
  } while (arc != 0);
  size_t len = 0;
  if (dot) text[len++] = '.';
  while (n != 0) text[len++] = digits[--n];
  return len;
}

}  // namespace
}  // namespace asn1
}  // namespace v7

size_t asn1_integer_skip_zeros(const uint8_t **contents, size_t *len) {
  size_t skipped = 0;
  while (*len > 1 && (*contents)[0] == 0x00 && ((*contents)[1] & 0x80) == 0) {
    ++*contents;
    --*len;
    ++skipped;
  }
  return skipped;
}

int32_t asn1_integer_to_int(const ASN1_BYTES *value) {
  if (value == nullptr || value->data == nullptr || value->len == 0)
    return v7::with_errno(v7::kErrInvalidParameter, int32_t(0));
  if (value->len > 4) return v7::with_errno(v7::kErrAsn1IntegerTooLong, int32_t(0));
  uint32_t v = (value->data[0] & 0x80) != 0 ? UINT32_MAX : 0;
  for (uint32_t i = 0; i < value->len; ++i) v = (v << 8) | value->data[i];
  int32_t result = int32_t(v);
  if (result == 0) errno = 0;
  return result;
}

int der_int_1024(uint8_t *output) {
  if (output != nullptr) {
    output[0] = 0x04;
    output[1] = 0x00;
  }
  return 2;
}

int oid_to_text(char *output, const ASN1_BYTES *oid, size_t capacity) {
  if (oid == nullptr || oid->data == nullptr || oid->len == 0)
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  // Two passes over the arcs: count, then write once the text is known to fit.
  char text[16];
  for (int pass = 0; pass < 2; ++pass) {
    size_t pos = 0, n = 0;
    bool first = true;
    while (pos < oid->len) {
      uint32_t subid;
      if (!v7::asn1::oid_next_subid(oid->data, oid->len, &pos, &subid))
        return v7::with_errno(v7::kErrAsn1OidText, 0);
      // The first subidentifier holds the first two arcs; under arc 2 the second may be large.
      uint32_t arcs[2] = {subid, 0};
      int count = 1;
      if (first) {
        arcs[0] = subid < 40 ? 0 : subid < 80 ? 1 : 2;
        arcs[1] = subid - 40 * arcs[0];
        count = 2;
      }
      for (int a = 0; a < count; ++a) {
        size_t len = v7::asn1::format_arc(text, arcs[a], !(first && a == 0));
        if (pass == 1) std::memcpy(output + n, text, len);
        n += len;
      }
      first = false;
    }
    if (pass == 0) {
      if (n > INT32_MAX) return v7::with_errno(v7::kErrAsn1OidText, 0);
      if (output == nullptr) return int(n);
      if (n >= capacity) return v7::with_errno(v7::kErrInsufficientBuffer, 0);
    } else {
      output[n] = '\0';
      return int(n);
    }
  }
  return 0;
}
