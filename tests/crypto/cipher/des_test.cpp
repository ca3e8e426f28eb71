#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/cipher/internal.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

Bytes concat(const Bytes &a, const Bytes &b) {
  Bytes r = a;
  r.insert(r.end(), b.begin(), b.end());
  return r;
}

// ECB over whole blocks with one of the block functions.
Bytes ecb(void (*block)(const void *, const uint8_t *, uint8_t *), const void *schedule, const Bytes &in) {
  Bytes out(in.size());
  for (size_t i = 0; i + 8 <= in.size(); i += 8) block(schedule, in.data() + i, out.data() + i);
  return out;
}

struct BlockCipher {
  int (*set_key)(const uint8_t *, size_t, void *);
  void (*encrypt)(const void *, const uint8_t *, uint8_t *);
  void (*decrypt)(const void *, const uint8_t *, uint8_t *);
};
const BlockCipher kDes = {des_set_key, des_encrypt_block, des_decrypt_block};
const BlockCipher kTdes = {tdes_set_key, tdes_encrypt_block, tdes_decrypt_block};

void expect_ecb(const BlockCipher &c, const Bytes &key, const Bytes &pt, const Bytes &ct) {
  uint32_t schedule[kTdesScheduleSize / 4];
  ASSERT_EQ(8, c.set_key(key.data(), key.size(), schedule));
  EXPECT_EQ(to_hex(ct), to_hex(ecb(c.encrypt, schedule, pt)));
  EXPECT_EQ(to_hex(pt), to_hex(ecb(c.decrypt, schedule, ct)));
}

TEST(Des, KnownAnswers) {
  for (const auto &v : v7test::load_vectors("des.txt")) {
    SCOPED_TRACE(v.where());
    Bytes key = v.bytes("key"), pt = v.bytes("plaintext"), ct = v.bytes("ciphertext");
    expect_ecb(kDes, key, pt, ct);
    // Triple DES with one key three times over is single DES, for both key forms.
    expect_ecb(kTdes, concat(key, key), pt, ct);
    expect_ecb(kTdes, concat(concat(key, key), key), pt, ct);
  }
}

TEST(Des, BlockFunctionsWorkInPlace) {
  const Bytes key = v7test::from_hex("0123456789abcdef");
  uint8_t block[8];
  std::memcpy(block, "Now is t", 8);
  uint32_t schedule[kDesScheduleSize / 4];
  ASSERT_EQ(8, des_set_key(key.data(), key.size(), schedule));
  des_encrypt_block(schedule, block, block);
  EXPECT_EQ("3fa40e8a984d4815", to_hex(block, 8));
  des_decrypt_block(schedule, block, block);
  EXPECT_EQ(0, std::memcmp(block, "Now is t", 8));
}

TEST(TripleDes, KnownAnswers) {
  for (const auto &v : v7test::load_vectors("tdes.txt")) {
    SCOPED_TRACE(v.where());
    Bytes key = v.bytes("key"), pt = v.bytes("plaintext"), ct = v.bytes("ciphertext");
    expect_ecb(kTdes, key, pt, ct);
  }
}

TEST(TripleDes, TwoKeyFormIsK1K2K1) {
  const Bytes k1 = v7test::from_hex("0123456789abcdef"), k2 = v7test::from_hex("23456789abcdef01");
  const Bytes pt = v7test::to_bytes("The qufck brown fox jump");
  uint32_t two[kTdesScheduleSize / 4], three[kTdesScheduleSize / 4];
  Bytes key16 = concat(k1, k2), key24 = concat(key16, k1);
  ASSERT_EQ(8, tdes_set_key(key16.data(), 16, two));
  ASSERT_EQ(8, tdes_set_key(key24.data(), 24, three));
  Bytes ct = ecb(tdes_encrypt_block, three, pt);
  EXPECT_EQ(to_hex(ct), to_hex(ecb(tdes_encrypt_block, two, pt)));
  EXPECT_EQ(to_hex(pt), to_hex(ecb(tdes_decrypt_block, two, ct)));
  // With distinct keys it is not single DES under K1.
  uint32_t single[kDesScheduleSize / 4];
  ASSERT_EQ(8, des_set_key(k1.data(), 8, single));
  EXPECT_NE(to_hex(ct), to_hex(ecb(des_encrypt_block, single, pt)));
}

TEST(Des, RefusesKeysOfOtherLengths) {
  struct Case {
    int (*set_key)(const uint8_t *, size_t, void *);
    size_t len;
  } cases[] = {{des_set_key, 7},  {des_set_key, 16},  {des_set_key, 0},
               {tdes_set_key, 8}, {tdes_set_key, 15}, {tdes_set_key, 32}};
  uint8_t key[32] = {1};
  uint32_t schedule[kTdesScheduleSize / 4];
  for (const Case &c : cases) {
    SCOPED_TRACE(c.len);
    errno = 0;
    EXPECT_EQ(0, c.set_key(key, c.len, schedule));
    EXPECT_EQ(v7::kErrIncorrectKey, errno);
  }
  errno = 0;
  EXPECT_EQ(0, des_set_key(nullptr, 8, schedule));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
  EXPECT_EQ(0, tdes_set_key(key, 24, nullptr));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
}

}  // namespace
