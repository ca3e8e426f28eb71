// The two key derivations against published and independently computed values.
#include <gtest/gtest.h>

#include "pki/keys/pkcs8.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

TEST(Pbkdf2Sha1, Rfc6070) {
  for (const auto &c : v7test::load_vectors("pbkdf2_sha1.txt")) {
    SCOPED_TRACE(c.where());
    Bytes password = c.bytes("password"), salt = c.bytes("salt"), expected = c.bytes("dk");
    Bytes out(expected.size() + 1, 0xEE);  // a guard byte after the requested length
    ASSERT_EQ(0, pbkdf2_sha1(password.data(), password.size(), salt.data(), salt.size(),
                             uint32_t(c.number("iterations")), out.data(), expected.size()));
    EXPECT_EQ(0xEE, out.back());
    out.pop_back();
    EXPECT_EQ(to_hex(expected), to_hex(out));
  }
}

TEST(Pbkdf2Sha1, RefusesWhatItCannotDerive) {
  const uint8_t pw[] = "pw";
  uint8_t out[20];
  struct Case {
    const uint8_t *password;
    size_t password_len;
    uint32_t iterations;
    uint8_t *out;
    size_t length;
  } cases[] = {
      {pw, 2, 0, out, 20},       // no round at all
      {pw, 2, 1, out, 0},        // nothing asked
      {pw, 2, 1, nullptr, 20},   // nowhere to write
      {nullptr, 2, 1, out, 20},  // a length without a password
  };
  for (const Case &c : cases) {
    EXPECT_EQ(1001, pbkdf2_sha1(c.password, c.password_len, pw, 2, c.iterations, c.out, c.length));
  }
}

TEST(KisaPbkdf1, KnownAnswersFromHashlib) {
  for (const auto &c : v7test::load_vectors("kisa_pbkdf1.txt")) {
    SCOPED_TRACE(c.where());
    Bytes password = c.bytes("password"), salt = c.bytes("salt");
    uint8_t key[16], iv[16];
    ASSERT_EQ(0, kisa_pbkdf1(password.data(), password.size(), salt.data(), salt.size(),
                             uint32_t(c.number("iterations")), key, iv));
    EXPECT_EQ(c.text("key"), to_hex(key, 16));
    EXPECT_EQ(c.text("iv"), to_hex(iv, 16));
  }
}

}  // namespace
