// The VID random attribute: reading it from the test PKI's keys, building it, and the refusals.
#include <gtest/gtest.h>

#include "pki/asn1/cms_types.h"
#include "pki/keys/vid_random.h"
#include "tests/pki/keys/pkcs8/pkcs8_test_util.h"

namespace {

using namespace pkcs8test;

struct ListDeleter {
  void operator()(ASN1_LIST *l) const { asn1_release(&asn1_tmpl_attributes, l); }
};
using List = std::unique_ptr<ASN1_LIST, ListDeleter>;

std::string vid_hex(const ASN1_LIST *attributes, int *err = nullptr) {
  uint8_t out[64];
  errno = 0;
  int n = pkey_get_vid_random(attributes, out, sizeof out);
  if (err != nullptr) *err = errno;
  return n > 0 ? to_hex(out, size_t(n)) : "";
}

TEST(VidRandom, ReadsTheValuesOfTheFixtureKeys) {
  struct Case {
    const char *file;
    bool sealed;
    const char *random;
  } cases[] = {
      {"user_sign_plain.der", false, kUserRandom},   {"user_km_plain.der", false, kUserRandom},
      {"user2_sign_plain.der", false, kUser2Random}, {"signPri.key", true, kUserRandom},
      {"user2_signPri.key", true, kUser2Random},     {"user_sign_kisa_seed.key", true, kUserRandom},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.file);
    Key key = c.sealed ? open(fixture(c.file)).key : decode_plain(fixture(c.file));
    ASSERT_NE(nullptr, key);
    EXPECT_EQ(c.random, vid_hex(key->attributes));
    ASN1_BIT_STRING *rec = pkey_get_vid_random_rec(key.get());
    ASSERT_NE(nullptr, rec);
    EXPECT_EQ(c.random, to_hex(rec->data, rec->len));
    EXPECT_EQ(0u, rec->unused_bits);
    asn1_release(&asn1_tmpl_bit_string, rec);
  }
}

TEST(VidRandom, CapacityAndLengthQuery) {
  Key key = decode_plain(fixture("user_sign_plain.der"));
  ASSERT_NE(nullptr, key);
  uint8_t out[20];
  errno = 0;
  EXPECT_EQ(20, pkey_get_vid_random(key->attributes, nullptr, 0));
  EXPECT_EQ(0, pkey_get_vid_random(key->attributes, out, 19));
  EXPECT_EQ(1002, errno);
  EXPECT_EQ(20, pkey_get_vid_random(key->attributes, out, 20));
}

TEST(VidRandom, AbsentValues) {
  Key novid = decode_plain(fixture("user_sign_novid_plain.der"));
  ASSERT_NE(nullptr, novid);
  int err = 0;
  EXPECT_EQ("", vid_hex(nullptr, &err));
  EXPECT_EQ(1001, err);
  errno = 0;
  EXPECT_EQ(nullptr, pkey_get_vid_random_rec(novid.get()));
  EXPECT_EQ(1401, errno);
  errno = 0;
  EXPECT_EQ(nullptr, pkey_get_vid_random_rec(nullptr));
  EXPECT_EQ(1001, errno);

  // Another attribute type only (1.2.410.200004.10.1.1.4): the list is there, the value is not.
  Bytes other = fixture("user_sign_plain.der");
  size_t at = other.size() - 26;  // last OID byte: ... 06 0a ... 03 | 31 17 03 15 00 <20 bytes>
  ASSERT_EQ(0x03, other[at]);
  other[at] = 0x04;
  Key key = decode_plain(other);
  ASSERT_NE(nullptr, key);
  EXPECT_EQ("", vid_hex(key->attributes, &err));
  EXPECT_EQ(1400, err);
  errno = 0;
  EXPECT_EQ(nullptr, pkey_get_vid_random_rec(key.get()));
  EXPECT_EQ(1401, errno);
}

TEST(VidRandom, AValueThatOverrunsItsBitString) {
  List list(vid_random_attr_new(from_hex("0102").data(), 2));
  ASSERT_NE(nullptr, list);
  auto *value = static_cast<ASN1_BYTES *>(static_cast<Attribute *>(list->element)->attr_values.element);
  value->data[1] = 0x10;  // 03 10 00 01 02: claims more than it holds
  int err = 0;
  EXPECT_EQ("", vid_hex(list.get(), &err));
  EXPECT_EQ(1114, err);  // the codec: a length beyond the bytes left
}

TEST(VidRandom, AddEncodesExactlyAsTheFixture) {
  Key key = decode_plain(fixture("user_sign_plain.der"));
  ASSERT_NE(nullptr, key);
  pkey_clear_attributes(key.get());
  EXPECT_EQ(nullptr, key->attributes);
  EXPECT_EQ(to_hex(fixture("user_sign_novid_plain.der")), to_hex(encode_key(key.get())));
  Bytes random = from_hex(kUserRandom);
  ASSERT_EQ(1, pkey_add_vid_random(random.size(), random.data(), key.get()));
  EXPECT_EQ(to_hex(fixture("user_sign_plain.der")), to_hex(encode_key(key.get())));
  // Adding again replaces the whole list.
  Bytes other = from_hex(kUser2Random);
  ASSERT_EQ(1, pkey_add_vid_random(other.size(), other.data(), key.get()));
  EXPECT_EQ(nullptr, key->attributes->next);
  EXPECT_EQ(kUser2Random, vid_hex(key->attributes));
  pkey_clear_attributes(nullptr);
}

TEST(VidRandom, AttributeValueEncodingAndItsBounds) {
  for (size_t n : {size_t(0), size_t(1), size_t(20), size_t(126)}) {
    SCOPED_TRACE(n);
    Bytes bytes(n);
    for (size_t i = 0; i < n; i++) bytes[i] = uint8_t(0xA0 + i);
    List list(vid_random_attr_new(bytes.data(), n));
    ASSERT_NE(nullptr, list);
    auto *attr = static_cast<Attribute *>(list->element);
    EXPECT_EQ("2a831a8c9a440a010103", to_hex(attr->attr_type.data, attr->attr_type.len));
    auto *value = static_cast<ASN1_BYTES *>(attr->attr_values.element);
    Bytes expected = cat({Bytes{0x03, uint8_t(n + 1), 0x00}, bytes});
    EXPECT_EQ(to_hex(expected), to_hex(value->data, value->len));
    EXPECT_EQ(nullptr, attr->attr_values.next);
    EXPECT_EQ(nullptr, list->next);
    errno = 0;
    uint8_t out[126];
    EXPECT_EQ(int(n), pkey_get_vid_random(list.get(), out, sizeof out));
    EXPECT_EQ(0, errno);
    EXPECT_EQ(to_hex(bytes), to_hex(out, n));
  }
  Bytes big(127);
  errno = 0;
  EXPECT_EQ(nullptr, vid_random_attr_new(big.data(), big.size()));
  EXPECT_EQ(1001, errno);
  errno = 0;
  EXPECT_EQ(nullptr, vid_random_attr_new(nullptr, 4));
  EXPECT_EQ(1001, errno);

  Key key = decode_plain(fixture("user_sign_plain.der"));
  ASSERT_NE(nullptr, key);
  errno = 0;
  EXPECT_EQ(0, pkey_add_vid_random(big.size(), big.data(), key.get()));
  EXPECT_EQ(1001, errno);
  EXPECT_EQ(kUserRandom, vid_hex(key->attributes));  // unchanged on failure
  EXPECT_EQ(0, pkey_add_vid_random(1, big.data(), nullptr));
}

}  // namespace
