// EMSA-PSS: fixed-salt signatures against blocks built independently and signed by OpenSSL,
// OpenSSL's own random-salt signatures, and the bounds of the verifier.
#include <gtest/gtest.h>

#include <cerrno>

#include "platform/errors/errno_util.h"
#include "crypto/hash/hash.h"
#include "crypto/rsa/rsa.h"
#include "tests/crypto/rsa/rsa_test_util.h"

namespace {

using rsatest::Bytes;
using rsatest::code_of;
using rsatest::Rsa;

TEST(Pss, FixedSaltSignaturesAndOpenSslSignatures) {
  for (const auto &c : v7test::load_vectors("rsa_pss.txt")) {
    SCOPED_TRACE(c.where());
    Rsa priv = rsatest::private_key(c.text("key")), pub = rsatest::public_key(c.text("key"));
    const RSA_PADDING *record = rsatest::pss_record(c.number("record"));
    Bytes msg = c.bytes("msg"), salt = c.bytes("salt"), sig = c.bytes("sig"), theirs = c.bytes("openssl_sig");
    PSS_PARAMS params = *static_cast<const PSS_PARAMS *>(record->params);
    params.salt = salt.data();
    RSA_PADDING fixed = {rsa_pad_pss, rsa_verify_pss, nullptr, &params};
    Bytes out(sig.size());
    ASSERT_EQ(int(sig.size()),
              rsa_private_encrypt(out.size(), priv.get(), msg.data(), msg.size(), &fixed, out.data()));
    EXPECT_EQ(sig, out);
    EXPECT_EQ(1, rsa_public_decrypt(pub.get(), msg.data(), msg.size(), record, sig.data(), sig.size()));
    EXPECT_EQ(1, rsa_public_decrypt(pub.get(), msg.data(), msg.size(), record, theirs.data(), theirs.size()));
    msg.back() ^= 1;
    EXPECT_EQ(v7::kErrVerifySignature, code_of([&] {
                return rsa_public_decrypt(pub.get(), msg.data(), msg.size(), record, sig.data(), sig.size());
              }));
  }
}

Bytes pss_block(int bits, const Bytes &msg, uint8_t salt_byte, const PSS_PARAMS *base = nullptr) {
  PSS_PARAMS p = base ? *base : *static_cast<const PSS_PARAMS *>(RSA_PAD_PSS.params);
  Bytes salt(p.salt_len, salt_byte);
  p.salt = salt.data();
  Bytes out(600);
  int len = rsa_pad_pss(&p, bits, msg.data(), msg.size(), out.data(), out.size());
  EXPECT_GT(len, 0);
  out.resize(size_t(len > 0 ? len : 0));
  return out;
}

int verify(int bits, const Bytes &msg, const Bytes &block, const PSS_PARAMS *p = nullptr) {
  return code_of([&] { return rsa_verify_pss(p, bits, msg.data(), msg.size(), block.data(), block.size()); });
}

TEST(Pss, TopBitsByModulusSize) {
  Bytes msg = {'m'};
  bool saw_top_bit_2049 = false;
  for (uint8_t s = 0; s < 16; s++) {
    Bytes b2048 = pss_block(2048, msg, s), b2049 = pss_block(2049, msg, s);
    ASSERT_EQ(256u, b2048.size());
    ASSERT_EQ(256u, b2049.size());
    EXPECT_EQ(0, b2048[0] & 0x80) << int(s);
    saw_top_bit_2049 |= (b2049[0] & 0x80) != 0;  // 2049 bits: emBits = 2048, nothing cleared
    EXPECT_EQ(0, verify(2048, msg, b2048));
    EXPECT_EQ(0, verify(2049, msg, b2049));
    // The k-byte rendering of a 2049-bit modulus adds one zero byte in front.
    Bytes padded = b2049, not_zero = b2049;
    padded.insert(padded.begin(), 0x00);
    not_zero.insert(not_zero.begin(), 0x01);
    EXPECT_EQ(0, verify(2049, msg, padded));
    EXPECT_EQ(v7::kErrVerifySignature, verify(2049, msg, not_zero));
    // A leading zero byte is not dropped where emLen = k.
    Bytes b2048_padded = b2048;
    b2048_padded.insert(b2048_padded.begin(), 0x00);
    EXPECT_EQ(v7::kErrVerifySignature, verify(2048, msg, b2048_padded));
  }
  EXPECT_TRUE(saw_top_bit_2049);
}

TEST(Pss, MalformedBlocks) {
  Bytes msg = {'a', 'b', 'c'}, good = pss_block(2048, msg, 0x33);
  Bytes top_bit = good, trailer = good, masked_db = good, hash = good;
  top_bit[0] |= 0x80;
  trailer.back() = 0xBD;
  masked_db[5] ^= 0x10;
  hash[256 - 2] ^= 0x01;
  PSS_PARAMS no_salt = *static_cast<const PSS_PARAMS *>(RSA_PAD_PSS.params), long_salt = no_salt;
  no_salt.salt_len = 0;
  long_salt.salt_len = 32;
  const struct {
    const char *what;
    Bytes block;
    const PSS_PARAMS *params;
  } cases[] = {
      {"truncated by one byte", Bytes(good.begin() + 1, good.end()), nullptr},
      {"truncated to the hash", Bytes(good.end() - 21, good.end()), nullptr},
      {"wrong trailer", trailer, nullptr},
      {"top bit set", top_bit, nullptr},
      {"changed masked DB", masked_db, nullptr},
      {"changed H", hash, nullptr},
      {"other salt length (0)", good, &no_salt},
      {"other salt length (32)", good, &long_salt},
  };
  EXPECT_EQ(0, verify(2048, msg, good));
  for (const auto &c : cases)
    EXPECT_EQ(v7::kErrVerifySignature, verify(2048, msg, c.block, c.params)) << c.what;
}

// A modulus too small for H, the salt and the 01 byte: the verifier must refuse before it computes
// a position of the 01 byte below the start of the block.
TEST(Pss, ModulusTooSmallForTheParameters) {
  const PSS_PARAMS *sha256 = static_cast<const PSS_PARAMS *>(RSA_PAD_PSS_SHA256.params);
  Bytes msg = {'m'}, out(64);
  for (int bits : {8, 100, 300, 425}) {
    size_t em_len = size_t(bits + 6) / 8;
    Bytes block(em_len, 0x00);
    block.back() = 0xBC;
    EXPECT_EQ(v7::kErrVerifySignature, verify(bits, msg, block, sha256)) << bits;
    EXPECT_EQ(v7::kErrSignatureEncode, code_of([&] {
                return rsa_pad_pss(sha256, bits, msg.data(), msg.size(), out.data(), out.size());
              }))
        << bits;
  }
  // emLen = 54 bytes (from 426 bits) is the least that holds SHA-256, a 20-byte salt, 01 and the
  // trailer.
  EXPECT_EQ(0, verify(426, msg, pss_block(426, msg, 1, sha256), sha256));
}

TEST(Pss, Parameters) {
  Bytes msg = {'m'}, out(256);
  PSS_PARAMS md5 = *static_cast<const PSS_PARAMS *>(RSA_PAD_PSS.params), unknown = md5;
  md5.hash_type = HASH_MD5;
  unknown.hash_type = 8;
  EXPECT_EQ(0, verify(2048, msg, pss_block(2048, msg, 9, &md5), &md5));
  EXPECT_EQ(v7::kErrUnsupportedHash, code_of([&] {
              return rsa_pad_pss(&unknown, 2048, msg.data(), msg.size(), out.data(), out.size());
            }));
  EXPECT_EQ(v7::kErrInsufficientMemory,
            code_of([&] { return rsa_pad_pss(nullptr, 2048, msg.data(), msg.size(), out.data(), 255); }));
  // Random salts come from the system source and differ between signatures.
  Bytes a(256), b(256);
  ASSERT_EQ(256, rsa_pad_pss(nullptr, 2048, msg.data(), msg.size(), a.data(), a.size()));
  ASSERT_EQ(256, rsa_pad_pss(nullptr, 2048, msg.data(), msg.size(), b.data(), b.size()));
  EXPECT_NE(a, b);
  EXPECT_EQ(0, verify(2048, msg, a));
  rsatest::FailingRandom failing;
  EXPECT_EQ(v7::kErrRandomContext, code_of([&] {
              return rsa_pad_pss(nullptr, 2048, msg.data(), msg.size(), out.data(), out.size());
            }));
}

}  // namespace
