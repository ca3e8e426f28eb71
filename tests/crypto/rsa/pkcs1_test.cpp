// PKCS#1 v1.5 block types 1 and 2: OpenSSL's signatures byte for byte, the block rules at their
// boundaries, and the random padding.
#include <gtest/gtest.h>

#include <cerrno>
#include <random>

#include "platform/errors/errno_util.h"
#include "crypto/hash/hash.h"
#include "crypto/random/random.h"
#include "crypto/rsa/rsa.h"
#include "tests/crypto/rsa/rsa_test_util.h"

namespace {

using rsatest::Bytes;
using rsatest::code_of;
using rsatest::Rsa;
using v7test::from_hex;

const int kSha1 = HASH_SHA1, kSha256 = HASH_SHA256, kHas160 = HASH_HAS160, kMd5 = HASH_MD5;
const char kSha1Prefix[] = "3021300906052b0e03021a05000414";
const char kSha256Prefix[] = "3031300d060960864801650304020105000420";
const char kHas160Prefix[] = "3024300c06082a831a8c9a44010205000414";

Bytes digest(int type, const Bytes &msg) {
  Bytes out(HASH_MAX_DIGEST_LEN);
  out.resize(size_t(hash_digest(out.size(), out.data(), type, msg.data(), msg.size())));
  return out;
}

// 00 01, ff_count bytes FF, 00, prefix, digest, then `extra`.
Bytes type1_block(size_t ff_count, const char *prefix, const Bytes &dig, const Bytes &extra = {}) {
  Bytes b = {0x00, 0x01};
  b.insert(b.end(), ff_count, 0xFF);
  b.push_back(0x00);
  Bytes p = from_hex(prefix);
  b.insert(b.end(), p.begin(), p.end());
  b.insert(b.end(), dig.begin(), dig.end());
  b.insert(b.end(), extra.begin(), extra.end());
  return b;
}

int verify_block(const int *hash, const Bytes &msg, const Bytes &block) {
  return code_of([&] {
    return rsa_verify_pkcs1_sign(hash, int(block.size() * 8), msg.data(), msg.size(), block.data(),
                                 block.size());
  });
}

TEST(Pkcs1Sign, OpenSslSignaturesByteForByte) {
  for (const auto &c : v7test::load_vectors("rsa_pkcs1.txt")) {
    SCOPED_TRACE(c.where());
    Rsa priv = rsatest::private_key(c.text("key")), pub = rsatest::public_key(c.text("key"));
    int hash = int(c.number("hash"));
    Bytes msg = c.bytes("msg"), sig = c.bytes("sig"), out(sig.size());
    RSA_PADDING enc = {rsa_pad_pkcs1_sign, rsa_verify_pkcs1_sign, nullptr, &hash};
    if (hash == HASH_MD5) {
      // No MD5 DigestInfo here: it neither signs nor verifies.
      EXPECT_EQ(v7::kErrUnsupportedHash, code_of([&] {
                  return rsa_private_encrypt(out.size(), priv.get(), msg.data(), msg.size(), &enc,
                                             out.data());
                }));
      EXPECT_EQ(v7::kErrVerifySignature, code_of([&] {
                  return rsa_public_decrypt(pub.get(), msg.data(), msg.size(), nullptr, sig.data(),
                                            sig.size());
                }));
      continue;
    }
    ASSERT_EQ(int(sig.size()),
              rsa_private_encrypt(out.size(), priv.get(), msg.data(), msg.size(), &enc, out.data()));
    EXPECT_EQ(sig, out);
    EXPECT_EQ(1, rsa_public_decrypt(pub.get(), msg.data(), msg.size(), &enc, sig.data(), sig.size()));
    EXPECT_EQ(1, rsa_public_decrypt(pub.get(), msg.data(), msg.size(), nullptr, sig.data(), sig.size()));
    Bytes other = msg;
    other.push_back('!');
    EXPECT_EQ(0, rsa_public_decrypt(pub.get(), other.data(), other.size(), nullptr, sig.data(), sig.size()));
  }
}

// A signature is a number: one that begins with a zero byte verifies as well when the signer wrote
// it in the fewest bytes, and no longer than the modulus.
TEST(Pkcs1Sign, SignatureWithoutItsLeadingZeroVerifies) {
  int whole_byte_moduli = 0;
  for (const auto &c : v7test::load_vectors("rsa_pkcs1.txt")) {
    Bytes sig = c.bytes("sig");
    if (c.number("hash") == HASH_MD5 || sig.empty() || sig[0] != 0) continue;
    SCOPED_TRACE(c.where());
    Rsa pub = rsatest::public_key(c.text("key"));
    Bytes msg = c.bytes("msg"), stripped(sig.begin() + 1, sig.end()), other = msg;
    other.push_back('!');
    if (c.text("key") != "k2049") ++whole_byte_moduli;
    EXPECT_EQ(1, rsa_public_decrypt(pub.get(), msg.data(), msg.size(), nullptr, stripped.data(), stripped.size()));
    EXPECT_EQ(v7::kErrVerifySignature, code_of([&] {
                return rsa_public_decrypt(pub.get(), other.data(), other.size(), nullptr, stripped.data(),
                                          stripped.size());
              }));
    // Longer than the modulus is refused even when the extra byte is zero.
    Bytes longer = sig;
    longer.insert(longer.begin(), 0x00);
    EXPECT_EQ(v7::kErrVerifySignature, code_of([&] {
                return rsa_public_decrypt(pub.get(), msg.data(), msg.size(), nullptr, longer.data(), longer.size());
              }));
  }
  // The 1024- and 2048-bit keys' own: a modulus of 8j + 1 bits makes every other signature one.
  EXPECT_GE(whole_byte_moduli, 4);
}

TEST(Pkcs1Sign, BlockRules) {
  Bytes msg = {'m', 's', 'g'}, sha1 = digest(HASH_SHA1, msg), sha256 = digest(HASH_SHA256, msg);
  Bytes good = type1_block(8, kSha1Prefix, sha1);
  Bytes no_separator = good, bad_type = good, bad_prefix = good;
  no_separator[10] = 0x01;
  bad_type[1] = 0x02;
  bad_prefix[12] ^= 0x01;
  const struct {
    const char *what;
    const int *hash;
    Bytes block;
    int code;
  } cases[] = {
      {"8 FF bytes", nullptr, good, 0},
      {"7 FF bytes", nullptr, type1_block(7, kSha1Prefix, sha1), v7::kErrVerifySignature},
      {"a byte after the digest", nullptr, type1_block(200, kSha1Prefix, sha1, {0x00}),
       v7::kErrVerifySignature},
      {"no 00 after the FF run", nullptr, no_separator, v7::kErrVerifySignature},
      {"block type 2", nullptr, bad_type, v7::kErrVerifySignature},
      {"damaged DigestInfo", nullptr, bad_prefix, v7::kErrVerifySignature},
      {"another message's digest", nullptr, type1_block(8, kSha1Prefix, digest(HASH_SHA1, {'x'})),
       v7::kErrVerifySignature},
      {"SHA-256 block, any hash", nullptr, type1_block(200, kSha256Prefix, sha256), 0},
      {"SHA-256 block, SHA-1 asked", &kSha1, type1_block(200, kSha256Prefix, sha256),
       v7::kErrSignatureHashMismatch},
      {"SHA-256 block, SHA-256 asked", &kSha256, type1_block(200, kSha256Prefix, sha256), 0},
      {"HAS-160 block", &kHas160, type1_block(100, kHas160Prefix, digest(HASH_HAS160, msg)), 0},
  };
  for (const auto &c : cases) EXPECT_EQ(c.code, verify_block(c.hash, msg, c.block)) << c.what;
}

TEST(Pkcs1Sign, EncodingLimits) {
  Bytes msg = {'m'}, out(256);
  auto pad = [&](const int *hash, int bits, size_t cap) {
    return code_of([&] { return rsa_pad_pkcs1_sign(hash, bits, msg.data(), msg.size(), out.data(), cap); });
  };
  const int sha512 = HASH_SHA512, unknown = 9;
  EXPECT_EQ(v7::kErrUnsupportedHash, pad(&kMd5, 2048, 256));
  EXPECT_EQ(v7::kErrUnsupportedHash, pad(&unknown, 2048, 256));
  EXPECT_EQ(v7::kErrInsufficientMemory, pad(nullptr, 2048, 255));
  EXPECT_EQ(v7::kErrSignatureEncode, pad(&sha512, 93 * 8, 256));  // 19 + 64 + 11 = 94 bytes needed
  EXPECT_EQ(0, pad(&sha512, 94 * 8, 256));
  EXPECT_EQ(v7::kErrInvalidParameter, pad(nullptr, 0, 256));
  // The HAS-160 block carries the DigestInfo of 1.2.410.200004.1.2 with NULL parameters.
  ASSERT_EQ(128, rsa_pad_pkcs1_sign(&kHas160, 1024, msg.data(), msg.size(), out.data(), out.size()));
  out.resize(128);
  EXPECT_EQ(type1_block(128 - 3 - 18 - 20, kHas160Prefix, digest(HASH_HAS160, msg)), out);
}

// A source that yields a zero byte half of the time, so that every zero-replacement path runs.
bool zero_heavy_source(uint8_t *out, size_t len) {
  static std::mt19937 rng(7);
  for (size_t i = 0; i < len; i++) out[i] = (rng() & 1) ? 0 : uint8_t(rng() | 1);
  return true;
}
bool zero_source(uint8_t *out, size_t len) {
  for (size_t i = 0; i < len; i++) out[i] = 0;
  return true;
}

TEST(Pkcs1Encrypt, PaddingIsNonzeroAndFreshFromTheSystemSource) {
  Bytes msg(40, 0x5A), out(256), first;
  rng_set_system_source(zero_heavy_source);
  for (int i = 0; i < 20; i++) {
    ASSERT_EQ(256, rsa_pad_pkcs1_encrypt(nullptr, 2048, msg.data(), msg.size(), out.data(), out.size()));
    EXPECT_EQ(0x00, out[0]);
    EXPECT_EQ(0x02, out[1]);
    for (size_t j = 2; j < 256 - msg.size() - 1; j++) ASSERT_NE(0, out[j]) << "padding byte " << j;
    EXPECT_EQ(0x00, out[256 - msg.size() - 1]);
    EXPECT_EQ(msg, Bytes(out.end() - long(msg.size()), out.end()));
    if (i == 0) first = out;
  }
  EXPECT_NE(first, out);
  // A source stuck at zero is broken: the encoding fails instead of spinning.
  rng_set_system_source(zero_source);
  EXPECT_EQ(v7::kErrRandomContext, code_of([&] {
              return rsa_pad_pkcs1_encrypt(nullptr, 2048, msg.data(), msg.size(), out.data(), 256);
            }));
  rng_set_system_source(nullptr);
  rsatest::FailingRandom failing;
  out.assign(256, 0xEE);
  EXPECT_EQ(v7::kErrRandomContext, code_of([&] {
              return rsa_pad_pkcs1_encrypt(nullptr, 2048, msg.data(), msg.size(), out.data(), 256);
            }));
  EXPECT_EQ(Bytes(256, 0), out);  // no half-built block with the message left behind
}

TEST(Pkcs1Encrypt, LengthLimits) {
  Bytes msg(246, 1), out(256);
  auto pad = [&](size_t len, size_t cap) {
    return code_of([&] { return rsa_pad_pkcs1_encrypt(nullptr, 2048, msg.data(), len, out.data(), cap); });
  };
  EXPECT_EQ(0, pad(245, 256));
  EXPECT_EQ(v7::kErrEncodeEme, pad(246, 256));
  EXPECT_EQ(v7::kErrInsufficientBuffer, pad(10, 255));
}

// 00 02, then nonzero bytes up to the zero separator at `separator`, then the message.
Bytes type2_block(size_t k, size_t separator) {
  Bytes b(k, 0x77);
  b[0] = 0x00;
  b[1] = 0x02;
  if (separator < k) b[separator] = 0x00;
  return b;
}

TEST(Pkcs1Encrypt, DecodingRules) {
  const size_t k = 128;
  Bytes bad_header = type2_block(k, 20), first_byte = type2_block(k, 20), short_block = type2_block(k, 20);
  short_block.erase(short_block.begin());
  bad_header[1] = 0x01;
  first_byte[0] = 0x01;
  const struct {
    const char *what;
    Bytes block;
    size_t capacity;
    int code;
    size_t msg_len;
  } cases[] = {
      {"separator at index 10", type2_block(k, 10), k, 0, k - 11},
      {"separator at index 9", type2_block(k, 9), k, v7::kErrDecodeEme, 0},
      {"separator at index 2", type2_block(k, 2), k, v7::kErrDecodeEme, 0},
      {"no separator", type2_block(k, k), k, v7::kErrDecodeEme, 0},
      {"separator last: empty message", type2_block(k, k - 1), k, 0, 0},
      {"block type 1", bad_header, k, v7::kErrDecodeEme, 0},
      {"nonzero first byte", first_byte, k, v7::kErrDecodeEme, 0},
      {"one byte short", short_block, k, v7::kErrDecodeEme, 0},
      {"message larger than the output", type2_block(k, 20), k - 22, v7::kErrInsufficientBuffer, 0},
  };
  for (const auto &c : cases) {
    Bytes out(k, 0);
    errno = 12345;
    int len =
        rsa_unpad_pkcs1_encrypt(nullptr, int(k * 8), c.block.data(), c.block.size(), out.data(), c.capacity);
    EXPECT_EQ(c.code, errno) << c.what;
    EXPECT_EQ(int(c.msg_len), len) << c.what;
  }
}

}  // namespace
