// The hand-built cases of tests/vectors/asn1_decode.txt: each decoded in the modes it names,
// refused with its code or re-encoded to the expected DER.

#include <gtest/gtest.h>

#include <cstring>

#include "platform/errors/errno_util.h"
#include "tests/pki/asn1/asn1_test_util.h"
#include "tests/pki/asn1/test_templates.h"

namespace asn1test {
namespace {

bool holds_bytes(uint32_t kind) {
  return kind != ASN1_KIND_BOOLEAN && kind != ASN1_KIND_NULL && kind != ASN1_KIND_BIT_STRING &&
         kind != ASN1_KIND_SEQUENCE && kind != ASN1_KIND_SET && kind != ASN1_KIND_SEQUENCE_OF &&
         kind != ASN1_KIND_SET_OF && kind != ASN1_KIND_CHOICE;
}

// The stored bytes of a primitive record, and the zero byte the decoder puts after them.
void check_contents(const v7test::VectorCase &c, const ASN1_TEMPLATE &t, const void *record) {
  Bytes want = c.has("contents") ? c.bytes("contents") : Bytes();
  const uint8_t *data = nullptr;
  uint32_t len = 0;
  if (t.kind == ASN1_KIND_BIT_STRING) {
    const ASN1_BIT_STRING *b = static_cast<const ASN1_BIT_STRING *>(record);
    data = b->data;
    len = b->len;
    EXPECT_EQ(b->unused_bits, uint32_t(c.has("unused") ? c.number("unused") : 0));
  } else if (holds_bytes(t.kind)) {
    const ASN1_BYTES *b = static_cast<const ASN1_BYTES *>(record);
    data = b->data;
    len = b->len;
  } else {
    return;
  }
  EXPECT_EQ(v7test::to_hex(data, len), hex(want));
  if (len == 0) {
    EXPECT_EQ(data, nullptr) << "an empty value has null data";
  } else {
    EXPECT_EQ(data[len], 0) << "no zero byte after the contents";
  }
}

TEST(Asn1DecodeVectors, EveryCase) {
  for (const v7test::VectorCase &c : v7test::load_vectors("asn1_decode.txt")) {
    SCOPED_TRACE(c.where());
    const ASN1_ITEM *item = find_item(c.text("item").c_str());
    ASSERT_NE(item, nullptr) << "unknown item " << c.text("item");
    std::string mode = c.text("mode");
    ASSERT_TRUE(mode == "der" || mode == "ber" || mode == "both") << mode;
    Bytes input = c.bytes("input");
    for (int m : {ASN1_MODE_DER, ASN1_MODE_BER}) {
      if ((mode == "der" && m != ASN1_MODE_DER) || (mode == "ber" && m != ASN1_MODE_BER)) continue;
      SCOPED_TRACE(m == ASN1_MODE_DER ? "DER" : "BER");
      DecodeResult r = decode_item(item, m, input);
      if (c.has("code")) {
        int code = int(c.number("code"));
        EXPECT_EQ(r.code, code);
        EXPECT_EQ(r.err, code);
        if (item->flags == 0) {
          errno = 0;
          void *whole =
              asn1_decode_alloc(m, input.empty() ? reinterpret_cast<const uint8_t *>("") : input.data(),
                                item->tmpl, input.size());
          EXPECT_EQ(whole, nullptr);
          EXPECT_EQ(errno, code);
          asn1_release(item->tmpl, whole);
        }
        continue;
      }
      ASSERT_EQ(r.code, 0) << "errno " << r.err;
      uint64_t total = uint64_t(r.extent.header_len) + r.extent.content_len + 2u * r.extent.eoc_count;
      EXPECT_LE(total, input.size());
      check_contents(c, *item->tmpl, r.value.record);
      int code = 0;
      Bytes der = encode_item(item, r.value.record, &code);
      EXPECT_EQ(code, 0);
      EXPECT_EQ(hex(der), hex(c.has("der") ? c.bytes("der") : input));
      if (item->flags == 0) {
        // The whole-buffer entry point accepts the same input, bytes after the element included.
        Record whole(item->tmpl, asn1_decode_alloc(m, input.data(), item->tmpl, input.size()));
        ASSERT_NE(whole.record, nullptr);
        EXPECT_EQ(hex(encode_item(item, whole.record)), hex(der));
      }
    }
  }
}

}  // namespace
}  // namespace asn1test
