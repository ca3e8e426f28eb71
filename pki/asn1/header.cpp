// The one tag-and-length reader and writer of the toolkit. Everything that walks DER by hand
// goes through asn1_read_header, so that lengths and tags are read the same way as the codec does.

#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/internal.h"

namespace v7 {
namespace asn1 {
namespace {

// Universal identifier bytes (below 0x40) a mode accepts; other classes are checked by the items.
bool universal_tag_allowed(int mode, uint8_t tag) {
  if (tag <= 0x06 || tag == 0x0A || tag == 0x0C || (tag >= 0x12 && tag <= 0x1E) || tag == 0x30 || tag == 0x31)
    return true;
  if (mode != ASN1_MODE_BER) return false;
  return tag == 0x23 || tag == 0x24 || tag == 0x2C || (tag >= 0x32 && tag <= 0x3E);
}

// The identifier octets: the first byte, and for the high-tag-number form (low five bits all set)
// the base-128 number after it. Numbers below 31 in that form, a leading 0x80 byte, or more than
// four number bytes are refused: none has a use, and each would give one tag two encodings.
int read_identifier(const uint8_t *in, size_t available, ASN1_HEADER *h, size_t *used) {
  h->tag = in[0];
  h->constructed = in[0] & 0x20;
  if ((in[0] & 0x1F) != 0x1F) {
    h->tag_number = in[0] & 0x1F;
    *used = 1;
    return 0;
  }
  uint32_t number = 0;
  size_t i = 1;
  for (;;) {
    if (i >= available) return kErrAsn1Decode;
    uint8_t b = in[i];
    if ((i == 1 && b == 0x80) || i > 4) return kErrAsn1InvalidTag;
    number = (number << 7) | (b & 0x7F);
    ++i;
    if ((b & 0x80) == 0) break;
  }
  if (number < 31) return kErrAsn1InvalidTag;
  h->tag_number = number;
  *used = i;
  return 0;
}

// Finds the end of an indefinite-length element's contents: the nested elements are skipped one
// by one (each nested indefinite one by the same walk, one level deeper) up to the 00 00 pair.
int walk_indefinite(int mode, const uint8_t *contents, size_t available, int depth, size_t *content_len) {
  size_t pos = 0;
  for (;;) {
    if (available - pos < 2) return kErrAsn1Decode;
    if (contents[pos] == 0) {
      if (contents[pos + 1] != 0) return kErrAsn1Eoc;
      *content_len = pos;
      return 0;
    }
    ASN1_HEADER nested;
    int rc = read_header(mode, contents + pos, available - pos, &nested, depth + 1);
    if (rc != 0) return rc;
    pos += size_t(element_size(nested));
  }
}

}  // namespace

int read_header(int mode, const uint8_t *in, size_t available, ASN1_HEADER *h, int depth) {
  std::memset(h, 0, sizeof(*h));
  if (depth > kAsn1MaxDepth) return kErrAsn1TooDeep;
  if (available < 2) return kErrAsn1Decode;
  if (in[0] < 0x40 && !universal_tag_allowed(mode, in[0])) return kErrAsn1TagNotAllowed;
  size_t pos = 0;
  int rc = read_identifier(in, available, h, &pos);
  if (rc != 0) return rc;
  if (pos >= available) return kErrAsn1Decode;

  uint8_t first = in[pos++];
  uint64_t content_len = 0;
  if (first > 0x84) return kErrAsn1LengthTooLong;
  if (first == 0x80) {
    if (mode != ASN1_MODE_BER || h->constructed == 0) return kErrAsn1Indefinite;
    size_t len = 0;
    rc = walk_indefinite(mode, in + pos, available - pos, depth, &len);
    if (rc != 0) return rc;
    if (len > UINT32_MAX) return kErrAsn1LengthTooLong;
    h->header_len = uint32_t(pos);
    h->content_len = uint32_t(len);
    h->eoc_count = 1;
    return 0;
  }
  if (first < 0x80) {
    content_len = first;
  } else {
    // Every length byte is checked against the input before it is read.
    size_t count = first & 0x7F;
    if (available - pos < count) return kErrAsn1BadLength;
    if (count == 1) {
      if (mode == ASN1_MODE_DER && in[pos] < 0x80) return kErrAsn1NoShortForm;
    } else if (in[pos] == 0) {
      return kErrAsn1BadLength;
    }
    for (size_t i = 0; i < count; ++i) content_len = (content_len << 8) | in[pos + i];
    pos += count;
  }
  // 64-bit arithmetic: a four-byte length near 2^32 must not wrap where size_t has 32 bits.
  if (content_len > uint64_t(available - pos)) return kErrAsn1BadLength;
  h->header_len = uint32_t(pos);
  h->content_len = uint32_t(content_len);
  return 0;
}

}  // namespace asn1
}  // namespace v7

int asn1_read_header(int mode, const uint8_t *input, size_t available, ASN1_HEADER *header) {
  if (input == nullptr || header == nullptr || (mode != ASN1_MODE_DER && mode != ASN1_MODE_BER))
    return v7::with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  int rc = v7::asn1::read_header(mode, input, available, header, 0);
  if (rc != 0) return v7::with_errno(rc, rc);
  return 0;
}

size_t asn1_put_tag_len(uint8_t *output, uint32_t length, uint8_t tag) {
  size_t count = length < 0x80 ? 0 : length < 0x100 ? 1 : length < 0x10000 ? 2 : length < 0x1000000 ? 3 : 4;
  if (output != nullptr) {
    output[0] = tag;
    if (count == 0) {
      output[1] = uint8_t(length);
    } else {
      output[1] = uint8_t(0x80 | count);
      for (size_t i = 0; i < count; ++i) output[2 + i] = uint8_t(length >> (8 * (count - 1 - i)));
    }
  }
  return 2 + count;
}
