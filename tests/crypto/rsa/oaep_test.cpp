// EME-OAEP and MGF1: fixed-seed ciphertexts built independently and encrypted by OpenSSL, OpenSSL's
// own OAEP and type-2 ciphertexts, the published MGF1 masks, and the decoder's single failure code.
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

TEST(Mgf1, PublishedMasks) {
  for (const auto &c : v7test::load_vectors("rsa_mgf1.txt")) {
    SCOPED_TRACE(c.where());
    int hash = int(c.number("hash"));
    Bytes seed = c.bytes("seed"), mask = c.bytes("mask"), out(mask.size());
    ASSERT_EQ(1, rsa_mgf1(&hash, seed.data(), seed.size(), out.data(), out.size()));
    EXPECT_EQ(mask, out);
    // In place: output = input XOR mask.
    Bytes data(mask.size(), 0xA5), expect(mask.size());
    for (size_t i = 0; i < mask.size(); i++) expect[i] = uint8_t(mask[i] ^ 0xA5);
    RSA_MGF record = {rsa_mgf1, &hash};
    ASSERT_EQ(1, rsa_mgf_xor(&record, data.size(), seed.data(), seed.size(), data.data(), data.data()));
    EXPECT_EQ(expect, data);
  }
  const int unknown = 8;
  Bytes out(4);
  EXPECT_EQ(v7::kErrUnsupportedHash,
            code_of([&] { return rsa_mgf1(&unknown, out.data(), 1, out.data(), 4); }));
}

TEST(Oaep, FixedSeedCiphertextsAndOpenSslCiphertexts) {
  for (const auto &c : v7test::load_vectors("rsa_oaep.txt")) {
    SCOPED_TRACE(c.where());
    Rsa priv = rsatest::private_key(c.text("key")), pub = rsatest::public_key(c.text("key"));
    Bytes msg = c.bytes("msg"), theirs = c.bytes("openssl_ct"), out(theirs.size());
    bool pkcs1 = c.text("record") == "pkcs1";
    const RSA_PADDING *record = pkcs1 ? nullptr : rsatest::oaep_record(c.number("record"));
    errno = 0;
    EXPECT_EQ(int(msg.size()),
              rsa_private_decrypt(priv.get(), theirs.data(), theirs.size(), record, out.data(), out.size()));
    EXPECT_EQ(0, errno);
    EXPECT_EQ(msg, Bytes(out.begin(), out.begin() + long(msg.size())));
    if (pkcs1) continue;
    Bytes seed = c.bytes("seed"), ct = c.bytes("ct");
    OAEP_PARAMS params = *static_cast<const OAEP_PARAMS *>(record->params);
    params.seed = seed.data();
    RSA_PADDING fixed = {rsa_pad_oaep, nullptr, rsa_unpad_oaep, &params};
    ASSERT_EQ(int(ct.size()),
              rsa_public_encrypt(pub.get(), out.size(), msg.data(), msg.size(), &fixed, out.data()));
    EXPECT_EQ(ct, out);
  }
}

TEST(Oaep, MessageLengthLimits) {
  Bytes msg(256, 7), out(256);
  auto pad = [&](const RSA_PADDING &rec, size_t len) {
    return code_of([&] { return rsa_pad_oaep(rec.params, 2048, msg.data(), len, out.data(), out.size()); });
  };
  EXPECT_EQ(0, pad(RSA_PAD_OAEP, 214));
  EXPECT_EQ(v7::kErrEncodeEme, pad(RSA_PAD_OAEP, 215));
  EXPECT_EQ(0, pad(RSA_PAD_OAEP_SHA256, 190));
  EXPECT_EQ(v7::kErrEncodeEme, pad(RSA_PAD_OAEP_SHA256, 191));
  EXPECT_EQ(v7::kErrInsufficientBuffer,
            code_of([&] { return rsa_pad_oaep(nullptr, 2048, msg.data(), 10, out.data(), 255); }));
  // A SHA-256 OAEP block needs k >= 66 bytes; SHA-1 fits in 42.
  EXPECT_EQ(v7::kErrEncodeEme, code_of([&] {
              return rsa_pad_oaep(RSA_PAD_OAEP_SHA256.params, 65 * 8, msg.data(), 0, out.data(), 256);
            }));
}

TEST(Oaep, LabelsMustAgreeWithTheirLength) {
  const uint8_t label[] = {'l', 'a', 'b'};
  OAEP_PARAMS with_label = *static_cast<const OAEP_PARAMS *>(RSA_PAD_OAEP.params), other = with_label;
  with_label.label = label;
  with_label.label_len = 3;
  other.label = label;
  other.label_len = 2;
  OAEP_PARAMS pointer_only = with_label, length_only = with_label;
  pointer_only.label_len = 0;
  length_only.label = nullptr;
  Bytes msg = {'m'}, block(128), out(128);
  for (const OAEP_PARAMS *bad : {&pointer_only, &length_only}) {
    EXPECT_EQ(v7::kErrIncorrectOaepParameter,
              code_of([&] { return rsa_pad_oaep(bad, 1024, msg.data(), 1, block.data(), 128); }));
    EXPECT_EQ(v7::kErrIncorrectOaepParameter,
              code_of([&] { return rsa_unpad_oaep(bad, 1024, block.data(), 128, out.data(), 128); }));
  }
  ASSERT_EQ(128, rsa_pad_oaep(&with_label, 1024, msg.data(), 1, block.data(), 128));
  EXPECT_EQ(1, rsa_unpad_oaep(&with_label, 1024, block.data(), 128, out.data(), 128));
  EXPECT_EQ(v7::kErrDecodeEme,
            code_of([&] { return rsa_unpad_oaep(&other, 1024, block.data(), 128, out.data(), 128); }));
  EXPECT_EQ(v7::kErrDecodeEme,
            code_of([&] { return rsa_unpad_oaep(nullptr, 1024, block.data(), 128, out.data(), 128); }));
}

// 00 || maskedSeed || maskedDB for a DB given whole (SHA-1, MGF1-SHA-1), so that blocks which no
// encoder makes can be tried.
Bytes oaep_block_from_db(const Bytes &db) {
  Bytes seed(20, 0x42), block = {0x00};
  Bytes masked_db(db.size()), masked_seed(20);
  rsa_mgf_xor(nullptr, db.size(), seed.data(), 20, db.data(), masked_db.data());
  rsa_mgf_xor(nullptr, 20, masked_db.data(), masked_db.size(), seed.data(), masked_seed.data());
  block.insert(block.end(), masked_seed.begin(), masked_seed.end());
  block.insert(block.end(), masked_db.begin(), masked_db.end());
  return block;
}

TEST(Oaep, EveryMalformedBlockGivesTheSameCode) {
  const size_t k = 128, db_len = k - 21;
  Bytes l_hash(20);
  hash_digest(20, l_hash.data(), HASH_SHA1, nullptr, 0);
  auto db_with = [&](size_t one_at, uint8_t stray) {
    Bytes db(db_len, 0);
    std::copy(l_hash.begin(), l_hash.end(), db.begin());
    if (one_at < db_len) db[one_at] = 0x01;
    for (size_t i = one_at + 1; i < db_len; i++) db[i] = 0x6D;  // the message
    if (stray) db[20] = stray;
    return db;
  };
  Bytes good = oaep_block_from_db(db_with(40, 0)), first_byte = good, seed = good;
  first_byte[0] = 0x01;
  seed[3] ^= 0x80;
  Bytes wrong_hash_db = db_with(40, 0);
  wrong_hash_db[0] ^= 1;
  const struct {
    const char *what;
    Bytes block;
    int bits;
    size_t capacity;
    int code;
    int len;
  } cases[] = {
      {"well formed", good, 1024, k, 0, int(db_len - 41)},
      {"01 last: empty message", oaep_block_from_db(db_with(db_len - 1, 0)), 1024, k, 0, 0},
      {"nonzero first byte", first_byte, 1024, k, v7::kErrDecodeEme, 0},
      {"damaged seed", seed, 1024, k, v7::kErrDecodeEme, 0},
      {"wrong label hash", oaep_block_from_db(wrong_hash_db), 1024, k, v7::kErrDecodeEme, 0},
      {"no 01 byte", oaep_block_from_db(db_with(db_len, 0)), 1024, k, v7::kErrDecodeEme, 0},
      {"stray byte before 01", oaep_block_from_db(db_with(40, 0x05)), 1024, k, v7::kErrDecodeEme, 0},
      {"block one byte short", Bytes(good.begin() + 1, good.end()), 1024, k, v7::kErrDecodeEme, 0},
      {"modulus below 2 hLen + 2", Bytes(good.begin(), good.begin() + 41), 41 * 8, k, v7::kErrDecodeEme, 0},
      {"message larger than the output", good, 1024, db_len - 42, v7::kErrInsufficientBuffer, 0},
  };
  for (const auto &c : cases) {
    Bytes out(k);
    errno = 12345;
    EXPECT_EQ(c.len, rsa_unpad_oaep(nullptr, c.bits, c.block.data(), c.block.size(), out.data(), c.capacity))
        << c.what;
    EXPECT_EQ(c.code, errno) << c.what;
  }
}

TEST(Oaep, SeedsComeFromTheSystemSource) {
  Rsa pub = rsatest::public_key("k1024");
  Bytes msg = {'k', 'e', 'y'}, a(128), b(128);
  ASSERT_EQ(128, rsa_public_encrypt(pub.get(), 128, msg.data(), msg.size(), &RSA_PAD_OAEP, a.data()));
  ASSERT_EQ(128, rsa_public_encrypt(pub.get(), 128, msg.data(), msg.size(), &RSA_PAD_OAEP, b.data()));
  EXPECT_NE(a, b);
  rsatest::FailingRandom failing;
  a.assign(128, 0xEE);
  EXPECT_EQ(v7::kErrRandomContext, code_of([&] {
              return rsa_public_encrypt(pub.get(), 128, msg.data(), msg.size(), &RSA_PAD_OAEP, a.data());
            }));
  EXPECT_EQ(Bytes(128, 0), a);
  EXPECT_EQ(v7::kErrRandomContext, code_of([&] {
              return rsa_public_encrypt(pub.get(), 128, msg.data(), msg.size(), nullptr, a.data());
            }));
}

}  // namespace
