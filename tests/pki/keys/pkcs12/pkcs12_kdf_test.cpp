// The PKCS#12 key derivation against fixed values that OpenSSL's PKCS12KDF produced, and its
// argument checks.

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/errors/errno_util.h"
#include "crypto/hash/hash.h"
#include "pki/keys/pkcs12.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;

TEST(Pkcs12Kdf, KnownAnswers) {
  auto cases = v7test::load_vectors("pkcs12_kdf.txt");
  ASSERT_GE(cases.size(), 6u);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.where());
    Bytes password = c.bytes("password");
    Bytes salt = c.bytes("salt");
    Bytes expected = c.bytes("out");
    Bytes out(expected.size() + 1, 0xEE);  // a guard byte after the requested length
    ASSERT_EQ(
        pkcs12_kdf(int(c.number("id")), int(c.number("hash")), uint32_t(c.number("iterations")),
                   password.data(), password.size(), salt.data(), salt.size(), out.data(), expected.size()),
        0);
    EXPECT_EQ(out.back(), 0xEE);
    out.pop_back();
    EXPECT_EQ(v7test::to_hex(out), v7test::to_hex(expected));
  }
}

TEST(Pkcs12Kdf, RefusesBadArguments) {
  const uint8_t password[] = {0, 'a', 0, 0};
  const uint8_t salt[] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t out[24];
  const struct {
    int id, hash_type;
    uint32_t iterations;
    const uint8_t *password;
    size_t password_len;
    uint8_t *out;
    size_t length;
    int code;
  } cases[] = {
      {0, HASH_SHA1, 1, password, 4, out, 24, v7::kErrInvalidParameter},
      {4, HASH_SHA1, 1, password, 4, out, 24, v7::kErrInvalidParameter},
      {1, HASH_SHA1, 0, password, 4, out, 24, v7::kErrInvalidParameter},
      {1, HASH_SHA1, 1, nullptr, 4, out, 24, v7::kErrInvalidParameter},
      {1, HASH_SHA1, 1, password, 4, nullptr, 24, v7::kErrInvalidParameter},
      {1, HASH_SHA1, 1, password, 4, out, 0, v7::kErrInvalidParameter},
      {1, 0, 1, password, 4, out, 24, v7::kErrUnsupportedHash},
      {1, 8, 1, password, 4, out, 24, v7::kErrUnsupportedHash},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << "id " << c.id << " hash " << c.hash_type << " iterations "
                                    << c.iterations);
    errno = 0;
    EXPECT_EQ(pkcs12_kdf(c.id, c.hash_type, c.iterations, c.password, c.password_len, salt, sizeof(salt),
                         c.out, c.length),
              c.code);
    EXPECT_EQ(errno, c.code);
  }
}

// No password at all is allowed (P is then empty), and so is HAS-160, which OpenSSL lacks.
TEST(Pkcs12Kdf, EmptyPasswordAndEveryHashType) {
  const uint8_t salt[] = {9, 8, 7};
  for (int type = HASH_SHA1; type <= HASH_MD5; ++type) {
    SCOPED_TRACE(type);
    uint8_t a[40], b[40];
    ASSERT_EQ(pkcs12_kdf(3, type, 2, nullptr, 0, salt, sizeof(salt), a, sizeof(a)), 0);
    ASSERT_EQ(pkcs12_kdf(3, type, 3, nullptr, 0, salt, sizeof(salt), b, sizeof(b)), 0);
    EXPECT_NE(v7test::to_hex(a, sizeof(a)), v7test::to_hex(b, sizeof(b)));
  }
}

}  // namespace
