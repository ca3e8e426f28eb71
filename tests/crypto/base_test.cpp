#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"

namespace {

TEST(Endian, StoresAndLoadsInBothOrders) {
  uint8_t b[8];
  v7::store_be32(b, 0x01020304);
  EXPECT_EQ(0, std::memcmp(b, "\x01\x02\x03\x04", 4));
  v7::store_le32(b, 0x01020304);
  EXPECT_EQ(0, std::memcmp(b, "\x04\x03\x02\x01", 4));
  v7::store_be64(b, 0x0102030405060708ull);
  EXPECT_EQ(0x0102030405060708ull, v7::load_be64(b));
  EXPECT_EQ(0x0807060504030201ull, v7::load_le64(b));
  EXPECT_EQ(0x0102, v7::load_be16(b));
  EXPECT_EQ(0x0201, v7::load_le16(b));
}

TEST(ConstantTimeCompare, EqualOnlyWhenEveryByteIs) {
  const uint8_t a[4] = {1, 2, 3, 4};
  const uint8_t same[4] = {1, 2, 3, 4};
  const uint8_t last_differs[4] = {1, 2, 3, 5};
  const uint8_t high_bit[4] = {0x81, 2, 3, 4};
  EXPECT_EQ(1, v7::ct_memeq(a, same, 4));
  EXPECT_EQ(0, v7::ct_memeq(a, last_differs, 4));
  EXPECT_EQ(0, v7::ct_memeq(a, high_bit, 4));
  EXPECT_EQ(1, v7::ct_memeq(a, last_differs, 0));
}

TEST(SecureWipe, ZeroesAndAcceptsNull) {
  uint8_t secret[16];
  std::memset(secret, 0xA5, sizeof secret);
  v7::secure_wipe(secret, sizeof secret);
  for (uint8_t b : secret) EXPECT_EQ(0, b);
  v7::secure_wipe(nullptr, 10);
}

TEST(ErrnoHelper, SetsTheCodeAndReturnsTheResult) {
  errno = 0;
  EXPECT_EQ(-1, v7::with_errno(1001, -1));
  EXPECT_EQ(1001, errno);
  EXPECT_EQ(nullptr, v7::with_errno<void *>(1000, nullptr));
  EXPECT_EQ(1000, errno);
}

}  // namespace
