// The template codec on arbitrary bytes. The first byte picks a test template (by its index in
// tests/pki/asn1/test_templates.cpp, shifted left by one) and the mode (its low bit, 1 for BER);
// the rest is the input. Besides memory safety: whatever decodes must re-encode, in DER to
// exactly the bytes of the element it came from, in BER to an encoding that decodes again to the
// same encoding. The header reader, OID text and the time texts see the same bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pki/asn1/asn1.h"
#include "tests/pki/asn1/test_templates.h"

namespace {

std::vector<uint8_t> encode(const ASN1_ITEM *item, const void *record) {
  size_t size = asn1_encode(item, record, nullptr);
  if (size == 0) abort();
  std::vector<uint8_t> out(size);
  if (asn1_encode(item, record, out.data()) != size) abort();
  return out;
}

void check_codec(const ASN1_ITEM *item, int mode, const uint8_t *in, size_t len) {
  void *record = nullptr;
  ASN1_DECODE_STATE state{item, mode, in, len, &record};
  ASN1_EXTENT extent{};
  int rc = asn1_decode(&state, &extent);
  if (rc != 0) {
    asn1_release(item->tmpl, record);
    return;
  }
  uint64_t used = uint64_t(extent.header_len) + extent.content_len + 2u * uint64_t(extent.eoc_count);
  if (used > len) abort();
  std::vector<uint8_t> der = encode(item, record);
  asn1_release(item->tmpl, record);
  if (mode == ASN1_MODE_DER) {
    if (der.size() != used || !std::equal(der.begin(), der.end(), in)) abort();
    return;
  }
  void *again = nullptr;
  ASN1_DECODE_STATE second{item, mode, der.data(), der.size(), &again};
  if (asn1_decode(&second, &extent) != 0) abort();
  if (encode(item, again) != der) abort();
  asn1_release(item->tmpl, again);
}

void check_helpers(const uint8_t *in, size_t len) {
  ASN1_HEADER h;
  for (int mode : {ASN1_MODE_DER, ASN1_MODE_BER}) {
    if (asn1_read_header(mode, in, len, &h) == 0 &&
        uint64_t(h.header_len) + h.content_len + 2u * uint64_t(h.eoc_count) > len)
      abort();
  }
  if (len != 0) {
    ASN1_BYTES oid{const_cast<uint8_t *>(in), uint32_t(len), 0};
    int n = oid_to_text(nullptr, &oid, 0);
    if (n > 0) {
      std::vector<char> text(size_t(n) + 1);
      if (oid_to_text(text.data(), &oid, text.size()) != n || text[size_t(n)] != '\0') abort();
    }
  }
  asn1_utctime_to_time(reinterpret_cast<const char *>(in), len);
  asn1_gentime_to_time(reinterpret_cast<const char *>(in), len);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  size_t count;
  const asn1test::NamedItem *items = asn1test::named_items(&count);
  const ASN1_ITEM *item = &items[(data[0] >> 1) % count].item;
  int mode = (data[0] & 1) != 0 ? ASN1_MODE_BER : ASN1_MODE_DER;
  check_codec(item, mode, data + 1, size - 1);
  check_helpers(data + 1, size - 1);
  return 0;
}
