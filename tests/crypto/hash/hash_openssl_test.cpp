// Differential tests against OpenSSL's libcrypto, for every digest it shares with the toolkit,
// and for HMAC over each of them.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "crypto/hash/hash.h"
#include "crypto/hash/hmac.h"
#include "tests/crypto/hash/openssl_oracle.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

const int kShared[] = {HASH_SHA1, HASH_SHA256, HASH_SHA384, HASH_SHA512, HASH_SHA224, HASH_MD5};

// Feeds msg in pieces of the given sizes, cycling through them.
std::string toolkit_digest(int type, const Bytes &msg, const std::vector<size_t> &pieces) {
  HASH_CTX *ctx = hash_new(type);
  EXPECT_NE(nullptr, ctx);
  if (ctx == nullptr) return {};
  size_t at = 0;
  for (size_t i = 0; at < msg.size(); i++) {
    size_t n = std::min(pieces[i % pieces.size()], msg.size() - at);
    hash_update(ctx, msg.data() + at, n);
    at += n;
  }
  uint8_t out[HASH_MAX_DIGEST_LEN];
  int n = hash_final(ctx, out);
  hash_free(ctx);
  return to_hex(out, size_t(n));
}

Bytes random_bytes(std::mt19937 &rng, size_t n) {
  Bytes b(n);
  for (auto &x : b) x = uint8_t(rng());
  return b;
}

TEST(OpenSslDigest, EveryLengthAroundThePaddingBoundaries) {
  std::mt19937 rng(1);
  Bytes msg = random_bytes(rng, 300);
  for (int type : kShared) {
    for (size_t len = 0; len <= msg.size(); len++) {
      Bytes part(msg.begin(), msg.begin() + long(len));
      uint8_t out[HASH_MAX_DIGEST_LEN];
      int n = hash_digest(sizeof out, out, type, part.data(), part.size());
      ASSERT_EQ(openssl_digest(type, part), to_hex(out, size_t(n))) << "type " << type << " length " << len;
    }
  }
}

TEST(OpenSslDigest, SplitUpdatesAcrossBlockBoundaries) {
  std::mt19937 rng(2);
  const std::vector<std::vector<size_t>> splits = {{1},   {63},  {64},  {65},
                                                   {127}, {128}, {129}, {1, 127, 64, 255}};
  for (int type : kShared) {
    for (size_t len : {55, 56, 63, 64, 111, 112, 127, 128, 1000, 4097}) {
      Bytes msg = random_bytes(rng, len);
      std::string want = openssl_digest(type, msg);
      for (const auto &split : splits)
        EXPECT_EQ(want, toolkit_digest(type, msg, split)) << "type " << type << " length " << len;
    }
  }
}

TEST(OpenSslDigest, SeededRandomMessages) {
  std::mt19937 rng(20261210);
  for (int type : kShared) {
    for (int i = 0; i < 200; i++) {
      Bytes msg = random_bytes(rng, rng() % (i < 190 ? 1500 : 70000));
      std::vector<size_t> split = {1 + rng() % 200, 1 + rng() % 300};
      ASSERT_EQ(openssl_digest(type, msg), toolkit_digest(type, msg, split))
          << "type " << type << " length " << msg.size();
    }
  }
}

TEST(OpenSslDigest, Sha1ChainingStateAfterWholeBlocks) {
  std::mt19937 rng(3);
  for (size_t len : {0, 63, 64, 65, 128, 200}) {
    Bytes msg = random_bytes(rng, len);
    HASH_CTX *ctx = sha1_new();
    ASSERT_NE(nullptr, ctx);
    hash_update(ctx, msg.data(), msg.size());
    uint8_t got[20];
    EXPECT_EQ(20, sha1_state_to_bytes(got, ctx));
    EXPECT_EQ(openssl_sha1_state(msg), to_hex(got, 20)) << "length " << len;
    hash_free(ctx);
  }
}

TEST(OpenSslHmac, SeededRandomKeysAndMessages) {
  std::mt19937 rng(4);
  for (int type : kShared) {
    const size_t block = size_t(hash_block_len(type));
    for (int i = 0; i < 150; i++) {
      // Every key length around the block (0, B - 1, B, B + 1) early, then anything up to 3 B.
      size_t key_len =
          i < 8 ? std::vector<size_t>{0, 1, block - 1, block, block + 1, 2 * block, 131, 3}[size_t(i)]
                : rng() % (3 * block + 1);
      Bytes key = random_bytes(rng, key_len), msg = random_bytes(rng, rng() % 1200);
      static const uint8_t nothing = 0;
      uint8_t got[HASH_MAX_DIGEST_LEN];
      int n = hmac_oneshot(type, key.empty() ? &nothing : key.data(), got, key.size(),
                           msg.empty() ? &nothing : msg.data(), msg.size(), sizeof got);
      ASSERT_EQ(openssl_hmac(type, key, msg), to_hex(got, size_t(n)))
          << "type " << type << " key " << key_len << " message " << msg.size();
    }
  }
}

}  // namespace
