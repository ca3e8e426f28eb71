// The codec's record shapes and the encoder's own rules, on records read back field by field
// and on records built by hand.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/cms_types.h"
#include "pki/asn1/key_types.h"
#include "pki/asn1/x509_types.h"
#include "tests/pki/asn1/asn1_test_util.h"
#include "tests/pki/asn1/test_templates.h"

namespace asn1test {
namespace {

// SEQUENCE { flag BOOLEAN, n INTEGER, tagged [0] EXPLICIT BOOLEAN OPTIONAL, flag2 BOOLEAN,
//            ids SET OF OBJECT IDENTIFIER, note UTF8String OPTIONAL }
struct Shape {
  ASN1_BOOLEAN flag;
  ASN1_BYTES n;
  ASN1_BOOLEAN *tagged;
  ASN1_BOOLEAN flag2;
  ASN1_LIST ids;
  ASN1_BYTES *note;
};
const ASN1_ITEM kOidSetItems[] = {{0, &asn1_tmpl_oid}};
const ASN1_TEMPLATE kOidSet = {ASN1_KIND_SET_OF, 1, sizeof(ASN1_LIST), kOidSetItems};
const ASN1_ITEM kShapeItems[] = {
    {0, &asn1_tmpl_boolean},
    {0, &asn1_tmpl_integer},
    {asn1_explicit(0) | ASN1_FLAG_OPTIONAL, &asn1_tmpl_boolean},
    {0, &asn1_tmpl_boolean},
    {0, &kOidSet},
    {ASN1_FLAG_OPTIONAL, &asn1_tmpl_utf8_string},
};
const ASN1_TEMPLATE kShape = {ASN1_KIND_SEQUENCE, 6, sizeof(Shape), kShapeItems};
const ASN1_ITEM kShapeItem = {0, &kShape};

const Bytes kShapeDer = v7test::from_hex(
    "301d"
    "0101ff"
    "02020100"
    "a0030101ff"
    "010100"
    "310a 0603550403 0603550406"
    "0c00");

TEST(Asn1Codec, RecordsFollowTheCLayout) {
  DecodeResult r = decode_item(&kShapeItem, ASN1_MODE_DER, kShapeDer);
  ASSERT_EQ(r.code, 0);
  const Shape *s = r.value.as<Shape>();
  EXPECT_EQ(s->flag, 0xFFu);
  EXPECT_EQ(hex(s->n), "0100");
  ASSERT_NE(s->tagged, nullptr);
  EXPECT_EQ(*s->tagged, 0xFFu);
  EXPECT_EQ(s->flag2, 0u);
  ASSERT_NE(s->ids.element, nullptr);
  EXPECT_EQ(hex(*static_cast<ASN1_BYTES *>(s->ids.element)), "550403");
  ASSERT_NE(s->ids.next, nullptr);
  EXPECT_EQ(hex(*static_cast<ASN1_BYTES *>(s->ids.next->element)), "550406");
  EXPECT_EQ(s->ids.next->next, nullptr);
  ASSERT_NE(s->note, nullptr) << "an empty string that is present is not absent";
  EXPECT_EQ(s->note->data, nullptr);
  EXPECT_EQ(hex(encode_item(&kShapeItem, s)), hex(kShapeDer));
}

TEST(Asn1Codec, MissingOptionalFieldsStayNullAndStayAbsent) {
  const Bytes der = v7test::from_hex("300b 010100 020105 0101ff 3100");
  DecodeResult r = decode_item(&kShapeItem, ASN1_MODE_DER, der);
  ASSERT_EQ(r.code, 0);
  const Shape *s = r.value.as<Shape>();
  EXPECT_EQ(s->tagged, nullptr);
  EXPECT_EQ(s->note, nullptr);
  EXPECT_EQ(s->ids.element, nullptr) << "an empty list is one node with a null element";
  EXPECT_EQ(s->ids.next, nullptr);
  EXPECT_EQ(hex(encode_item(&kShapeItem, s)), hex(der));
}

TEST(Asn1Codec, RecordsBuiltByHandEncode) {
  uint8_t n[] = {0x05};
  uint8_t oid1[] = {0x55, 0x04, 0x03};
  ASN1_BYTES first{oid1, 3, 0};
  ASN1_BOOLEAN yes = 1;
  ASN1_LIST second{&first, nullptr};
  Shape s{};
  s.flag = 7;  // any nonzero value is TRUE and is written FF
  s.n = ASN1_BYTES{n, 1, 0};
  s.tagged = &yes;
  s.ids = ASN1_LIST{nullptr, &second};  // nodes without an element are skipped
  EXPECT_EQ(hex(encode_item(&kShapeItem, &s)),
            "3015"
            "0101ff"
            "020105"
            "a0030101ff"
            "010100"
            "3105"
            "0603550403");
}

TEST(Asn1Codec, EncoderRefusesRecordsItCannotWrite) {
  uint8_t zero_7f[] = {0x00, 0x7F}, ff_80[] = {0xFF, 0x80}, neg[] = {0x80}, one[] = {0x01};
  uint8_t broken_element[] = {0x30, 0x05, 0x01}, with_trailer[] = {0x05, 0x00, 0x00};
  struct Case {
    const char *what;
    const ASN1_TEMPLATE *tmpl;
    ASN1_BYTES bytes;
    ASN1_BIT_STRING bits;
    int code;
  } cases[] = {
      {"non-minimal INTEGER", &asn1_tmpl_integer, {zero_7f, 2, 0}, {}, v7::kErrAsn1Integer},
      {"non-minimal negative INTEGER", &asn1_tmpl_integer, {ff_80, 2, 0}, {}, v7::kErrAsn1Integer},
      {"empty INTEGER", &asn1_tmpl_integer, {nullptr, 0, 0}, {}, v7::kErrAsn1Integer},
      {"zeros before a negative INTEGER", &asn1_tmpl_integer, {neg, 1, 1}, {}, v7::kErrAsn1Integer},
      {"empty OID", &asn1_tmpl_oid, {nullptr, 0, 0}, {}, v7::kErrAsn1EncodeValue},
      {"empty ENUMERATED", &asn1_tmpl_enumerated, {nullptr, 0, 0}, {}, v7::kErrAsn1EncodeValue},
      {"empty UTCTime", &asn1_tmpl_utc_time, {nullptr, 0, 0}, {}, v7::kErrAsn1EncodeValue},
      {"length without data", &asn1_tmpl_octet_string, {nullptr, 3, 0}, {}, v7::kErrAsn1EncodeValue},
      {"empty ANY", &asn1_tmpl_any, {nullptr, 0, 0}, {}, v7::kErrAsn1EncodeAny},
      {"ANY that is not an element", &asn1_tmpl_any, {broken_element, 3, 0}, {}, v7::kErrAsn1EncodeAny},
      {"ANY with bytes after its element", &asn1_tmpl_any, {with_trailer, 3, 0}, {}, v7::kErrAsn1EncodeAny},
      {"8 unused bits", &asn1_tmpl_bit_string, {}, {one, 1, 8}, v7::kErrAsn1EncodeBitString},
      {"unused bits of nothing", &asn1_tmpl_bit_string, {}, {nullptr, 0, 1}, v7::kErrAsn1EncodeBitString},
      {"bit length without data", &asn1_tmpl_bit_string, {}, {nullptr, 2, 0}, v7::kErrAsn1EncodeBitString},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const void *record = c.tmpl->kind == ASN1_KIND_BIT_STRING ? static_cast<const void *>(&c.bits) : &c.bytes;
    errno = 0;
    EXPECT_EQ(asn1_encoded_size(c.tmpl, record), 0u);
    EXPECT_EQ(errno, c.code);
  }
}

TEST(Asn1Codec, EncoderRefusesUnsetChoicesAndUnknownKinds) {
  Time none{};
  errno = 0;
  EXPECT_EQ(asn1_encoded_size(&asn1_tmpl_time, &none), 0u);
  EXPECT_EQ(errno, v7::kErrAsn1EncodeChoice);

  ASN1_BYTES value{};
  const ASN1_TEMPLATE high = {97, 0, sizeof(ASN1_BYTES), nullptr};
  errno = 0;
  EXPECT_EQ(asn1_encoded_size(&high, &value), 0u);
  EXPECT_EQ(errno, v7::kErrAsn1EncodeKind);

  uint8_t any[] = {0x05, 0x00};
  ASN1_BYTES element{any, 2, 0};
  const ASN1_ITEM implicit_any = {asn1_implicit(0), &asn1_tmpl_any};
  errno = 0;
  EXPECT_EQ(asn1_encode(&implicit_any, &element, nullptr), 0u);
  EXPECT_EQ(errno, v7::kErrAsn1EncodeAny);
}

TEST(Asn1Codec, LongFormLengthsRoundTripAtEveryBoundary) {
  struct Case {
    size_t len;
    const char *header;
  } cases[] = {{0, "0400"},
               {127, "047f"},
               {128, "048180"},
               {255, "0481ff"},
               {256, "04820100"},
               {65535, "0482ffff"},
               {65536, "0483010000"},
               {0xFFFFFF, "0483ffffff"},
               {0x1000000, "048401000000"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.len);
    Bytes der = v7test::from_hex(c.header);
    size_t header = der.size();
    der.resize(header + c.len, 0x5A);
    for (int mode : {ASN1_MODE_DER, ASN1_MODE_BER}) {
      DecodeResult r = decode_item(find_item("octet_string"), mode, der);
      ASSERT_EQ(r.code, 0);
      EXPECT_EQ(r.extent.header_len, header);
      EXPECT_EQ(r.extent.content_len, c.len);
      EXPECT_EQ(r.value.as<ASN1_BYTES>()->len, c.len);
      EXPECT_TRUE(encode_item(find_item("octet_string"), r.value.record) == der);
    }
  }
}

TEST(Asn1Codec, EncodeIntoAndAllocReportSizes) {
  const Bytes der = v7test::from_hex("3006 020101 020102");
  Record r(&asn1_tmpl_rsa_public_key,
           asn1_decode_alloc(ASN1_MODE_DER, der.data(), &asn1_tmpl_rsa_public_key, der.size()));
  ASSERT_NE(r.record, nullptr);
  EXPECT_EQ(asn1_encoded_size(&asn1_tmpl_rsa_public_key, r.record), der.size());
  EXPECT_EQ(asn1_encode_into(&asn1_tmpl_rsa_public_key, nullptr, r.record, 0), der.size());
  uint8_t out[16] = {};
  errno = 0;
  EXPECT_EQ(asn1_encode_into(&asn1_tmpl_rsa_public_key, out, r.record, der.size() - 1), 0u);
  EXPECT_EQ(errno, v7::kErrInsufficientBuffer);
  EXPECT_EQ(asn1_encode_into(&asn1_tmpl_rsa_public_key, out, r.record, sizeof(out)), der.size());
  EXPECT_EQ(v7test::to_hex(out, der.size()), hex(der));

  uint8_t *buffer = nullptr;
  size_t length = 0;
  EXPECT_EQ(der_encode_alloc(&asn1_tmpl_rsa_public_key, r.record, &buffer, &length), der.size());
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(v7test::to_hex(buffer, length), hex(der));
  std::free(buffer);

  RSAPublicKey empty{};
  buffer = nullptr;
  errno = 0;
  EXPECT_EQ(der_encode_alloc(&asn1_tmpl_rsa_public_key, &empty, &buffer, &length), 0u);
  EXPECT_EQ(errno, v7::kErrAsn1Integer);
  EXPECT_EQ(buffer, nullptr);
}

TEST(Asn1Codec, DecodeFillsACallersRecordAndFreeZeroesIt) {
  const Bytes der = v7test::from_hex("3006 020101 020102");
  RSAPublicKey key{};
  void *slot = &key;
  const ASN1_ITEM item = {0, &asn1_tmpl_rsa_public_key};
  ASN1_DECODE_STATE state{&item, ASN1_MODE_DER, der.data(), der.size(), &slot};
  ASN1_EXTENT extent{};
  ASSERT_EQ(asn1_decode(&state, &extent), 0);
  EXPECT_EQ(slot, &key);
  EXPECT_EQ(extent.header_len, 2u);
  EXPECT_EQ(extent.content_len, 6u);
  EXPECT_EQ(extent.constructed, 0x20u);
  EXPECT_EQ(extent.eoc_count, 0u);
  EXPECT_EQ(hex(key.public_exponent), "02");
  asn1_free(&asn1_tmpl_rsa_public_key, &key);
  const RSAPublicKey zero{};
  EXPECT_EQ(std::memcmp(&key, &zero, sizeof(key)), 0);
}

TEST(Asn1Codec, TemplatesWhoseRecordIsTooSmallAreRefused) {
  const ASN1_ITEM two_integers[] = {{0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer}};
  const ASN1_TEMPLATE short_sequence = {ASN1_KIND_SEQUENCE, 2, sizeof(ASN1_BYTES), two_integers};
  const ASN1_TEMPLATE short_list = {ASN1_KIND_SEQUENCE_OF, 1, sizeof(void *), two_integers};
  const ASN1_TEMPLATE short_bytes = {ASN1_KIND_INTEGER, 0, sizeof(void *), nullptr};
  const Bytes der = v7test::from_hex("3006 020101 020102");
  for (const ASN1_TEMPLATE *t : {&short_sequence, &short_list}) {
    errno = 0;
    EXPECT_EQ(asn1_decode_alloc(ASN1_MODE_DER, der.data(), t, der.size()), nullptr);
    EXPECT_EQ(errno, v7::kErrAsn1Template);
  }
  const Bytes integer = v7test::from_hex("020101");
  errno = 0;
  EXPECT_EQ(asn1_decode_alloc(ASN1_MODE_DER, integer.data(), &short_bytes, integer.size()), nullptr);
  EXPECT_EQ(errno, v7::kErrAsn1Template);
  uint8_t one = 1;
  RSAPublicKey key{{&one, 1, 0}, {&one, 1, 0}};
  errno = 0;
  EXPECT_EQ(asn1_encoded_size(&short_sequence, &key), 0u);
  EXPECT_EQ(errno, v7::kErrAsn1Template);
}

TEST(Asn1Codec, EntryPointsCheckTheirArguments) {
  const uint8_t der[] = {0x05, 0x00};
  errno = 0;
  EXPECT_EQ(asn1_new(nullptr), nullptr);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  for (int mode : {-1, 2}) {
    errno = 0;
    EXPECT_EQ(asn1_decode_alloc(mode, der, &asn1_tmpl_null, sizeof(der)), nullptr);
    EXPECT_EQ(errno, v7::kErrInvalidParameter);
  }
  errno = 0;
  EXPECT_EQ(asn1_decode_alloc(ASN1_MODE_DER, nullptr, &asn1_tmpl_null, 2), nullptr);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(asn1_decode_alloc(ASN1_MODE_DER, der, nullptr, 2), nullptr);
  EXPECT_EQ(asn1_decode(nullptr, nullptr), v7::kErrInvalidParameter);
  void *slot = nullptr;
  ASN1_DECODE_STATE no_item{nullptr, ASN1_MODE_DER, der, 2, &slot};
  EXPECT_EQ(asn1_decode(&no_item, nullptr), v7::kErrInvalidParameter);
  errno = 0;
  EXPECT_EQ(asn1_encoded_size(&asn1_tmpl_null, nullptr), 0u);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(der_encode_alloc(&asn1_tmpl_null, der, nullptr, nullptr), 0u);
  asn1_release(&asn1_tmpl_null, nullptr);
  asn1_free(nullptr, nullptr);
}

}  // namespace
}  // namespace asn1test
