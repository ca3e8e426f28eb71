#include "crypto/hash/hash.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/crypto/hash/hash_names.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

Bytes digest_in_pieces(int type, const Bytes &msg, size_t piece) {
  HASH_CTX *ctx = hash_new(type);
  EXPECT_NE(nullptr, ctx);
  if (ctx == nullptr) return {};
  for (size_t at = 0; at < msg.size(); at += piece)
    hash_update(ctx, msg.data() + at, std::min(piece, msg.size() - at));
  Bytes out(size_t(hash_digest_len(type)));
  EXPECT_EQ(int(out.size()), hash_final(ctx, out.data()));
  hash_free(ctx);
  return out;
}

Bytes one_shot(int type, const Bytes &msg) {
  Bytes out(HASH_MAX_DIGEST_LEN);
  int n = hash_digest(out.size(), out.data(), type, msg.data(), msg.size());
  EXPECT_EQ(hash_digest_len(type), n);
  out.resize(size_t(n > 0 ? n : 0));
  return out;
}

Bytes random_bytes(std::mt19937 &rng, size_t n) {
  Bytes b(n);
  for (auto &x : b) x = uint8_t(rng());
  return b;
}

// Published digests, hashed in one piece and in pieces that straddle the block boundaries.
class PublishedDigests : public ::testing::TestWithParam<const char *> {};

TEST_P(PublishedDigests, OneShotAndPiecewiseGiveThePublishedDigest) {
  for (const auto &c : v7test::load_vectors(GetParam())) {
    SCOPED_TRACE(c.where());
    int type = hash_type_named(c.text("alg"));
    ASSERT_NE(0, type);
    Bytes msg = c.bytes("msg");
    std::string want = to_hex(c.bytes("digest"));
    EXPECT_EQ(want, to_hex(one_shot(type, msg)));
    for (size_t piece : {1, 63, 64, 65, 127, 128, 129}) {
      if (piece == 1 && msg.size() > 4096) continue;  // a million one-byte updates add nothing
      SCOPED_TRACE("pieces of " + std::to_string(piece));
      EXPECT_EQ(want, to_hex(digest_in_pieces(type, msg, piece)));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, PublishedDigests, ::testing::Values("sha.txt", "md5.txt", "has160.txt"));

// Every length over two blocks and more: each remainder passes once, including those that need
// the extra padding block, and uneven update sizes meet every buffer state.
TEST(Digest, UnevenUpdatesMatchOneShotForEveryLength) {
  std::mt19937 rng(20261210);
  for (int type = 1; type <= 7; type++) {
    SCOPED_TRACE("type " + std::to_string(type));
    size_t block = size_t(hash_block_len(type));
    Bytes msg = random_bytes(rng, 3 * block + 2);
    for (size_t len = 0; len <= msg.size(); len++) {
      Bytes part(msg.begin(), msg.begin() + long(len));
      Bytes whole = one_shot(type, part);
      HASH_CTX *ctx = hash_new(type);
      ASSERT_NE(nullptr, ctx);
      for (size_t at = 0; at < len;) {
        size_t n = std::min<size_t>(1 + rng() % (block + 8), len - at);
        hash_update(ctx, part.data() + at, n);
        at += n;
      }
      Bytes out(whole.size());
      hash_final(ctx, out.data());
      hash_free(ctx);
      ASSERT_EQ(to_hex(whole), to_hex(out)) << "length " << len;
    }
  }
}

TEST(Digest, FinalRestartsTheContext) {
  const Bytes abc = v7test::to_bytes("abc");
  for (int type = 1; type <= 7; type++) {
    SCOPED_TRACE("type " + std::to_string(type));
    Bytes empty = one_shot(type, {});
    HASH_CTX *ctx = hash_new(type);
    ASSERT_NE(nullptr, ctx);
    Bytes out(empty.size());
    EXPECT_EQ(int(out.size()), hash_final(ctx, out.data()));
    EXPECT_EQ(to_hex(empty), to_hex(out));
    EXPECT_EQ(int(out.size()), hash_final(ctx, out.data()));
    EXPECT_EQ(to_hex(empty), to_hex(out));
    // A message after a final owes nothing to the one before it.
    for (int round = 0; round < 2; round++) {
      hash_update(ctx, abc.data(), abc.size());
      hash_final(ctx, out.data());
      EXPECT_EQ(to_hex(one_shot(type, abc)), to_hex(out));
    }
    hash_free(ctx);
  }
}

TEST(Digest, ConstructorsMakeTheirTypes) {
  struct {
    HASH_CTX *(*make)();
    int type;
  } const cases[] = {{sha1_new, 1},   {sha256_new, 2}, {sha384_new, 3}, {sha512_new, 4},
                     {sha224_new, 5}, {has160_new, 6}, {md5_new, 7}};
  for (const auto &c : cases) {
    HASH_CTX *ctx = c.make();
    ASSERT_NE(nullptr, ctx);
    EXPECT_EQ(c.type, ctx->type);
    EXPECT_EQ(hash_digest_len(c.type), hash_ctx_digest_len(ctx));
    hash_free(ctx);
  }
}

TEST(Digest, LengthsOfEachType) {
  const int digest[] = {20, 32, 48, 64, 28, 20, 16};
  const int block[] = {64, 64, 128, 128, 64, 64, 64};
  for (int type = 1; type <= 7; type++) {
    EXPECT_EQ(digest[type - 1], hash_digest_len(type));
    EXPECT_EQ(block[type - 1], hash_block_len(type));
  }
  for (int type : {0, 8, -1}) {
    errno = 0;
    EXPECT_EQ(0, hash_digest_len(type));
    EXPECT_EQ(1200, errno);
    errno = 0;
    EXPECT_EQ(0, hash_block_len(type));
    EXPECT_EQ(1200, errno);
  }
}

TEST(Digest, ContextErrors) {
  for (int type : {0, 8}) {
    errno = 0;
    EXPECT_EQ(nullptr, hash_new(type));
    EXPECT_EQ(1200, errno);
  }
  uint8_t out[HASH_MAX_DIGEST_LEN];
  errno = 0;
  EXPECT_EQ(0, hash_final(nullptr, out));
  EXPECT_EQ(1001, errno);
  errno = 0;
  EXPECT_EQ(0, hash_ctx_digest_len(nullptr));
  EXPECT_EQ(1001, errno);

  HASH_CTX *ctx = sha256_new();
  ASSERT_NE(nullptr, ctx);
  errno = 0;
  EXPECT_EQ(0, hash_final(ctx, nullptr));
  EXPECT_EQ(1001, errno);
  // Updates that cannot feed anything change nothing and report nothing.
  errno = 0;
  hash_update(ctx, nullptr, 10);
  hash_update(ctx, "x", 0);
  hash_update(nullptr, "x", 1);
  EXPECT_EQ(0, errno);
  EXPECT_EQ(32, hash_final(ctx, out));
  EXPECT_EQ(to_hex(one_shot(2, {})), to_hex(out, 32));
  // A record whose type was overwritten is refused, not hashed as something else.
  ctx->type = 8;
  errno = 0;
  EXPECT_EQ(0, hash_final(ctx, out));
  EXPECT_EQ(1200, errno);
  hash_free(ctx);
  hash_free(nullptr);
}

TEST(OneShot, SizeQueryCapacityAndArgumentErrors) {
  const Bytes abc = v7test::to_bytes("abc");
  uint8_t out[HASH_MAX_DIGEST_LEN];
  struct Case {
    size_t capacity;
    bool with_out;
    int type;
    bool with_data;
    size_t len;
    int result;
    int code;  // errno after a failure
  } const cases[] = {
      {0, false, 1, true, 3, 20, 0},     // size query
      {0, false, 3, false, 99, 48, 0},   // size query: nothing is read
      {0, false, 8, true, 3, 0, 1200},   // size query of an unknown type
      {20, false, 1, true, 3, 0, 1001},  // capacity without out
      {0, true, 1, true, 3, 0, 1001},    // out without capacity
      {19, true, 1, true, 3, 0, 1002},   // one byte short
      {64, true, 8, true, 3, 0, 1200},  {64, true, 0, true, 3, 0, 1200},
      {64, true, 2, false, 3, 0, 1001},  // null data is not the empty message
      {64, true, 2, false, 0, 32, 0},    // null data of length 0 is
      {20, true, 1, true, 3, 20, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("capacity " + std::to_string(c.capacity) + " type " + std::to_string(c.type));
    std::memset(out, 0xee, sizeof out);
    errno = 0;
    int n = hash_digest(c.capacity, c.with_out ? out : nullptr, c.type, c.with_data ? abc.data() : nullptr,
                        c.len);
    EXPECT_EQ(c.result, n);
    if (c.result == 0) {
      EXPECT_EQ(c.code, errno);
    }
    if (n == 0 || !c.with_out) {
      EXPECT_EQ(std::string(sizeof out * 2, 'e'), to_hex(out, sizeof out));
    }
  }
}

TEST(Sha1State, RawChainingWordsFollowEveryWholeBlock) {
  HASH_CTX *ctx = sha1_new();
  ASSERT_NE(nullptr, ctx);
  uint8_t state[20];
  // The initial value of FIPS 180-4, big-endian.
  EXPECT_EQ(20, sha1_state_to_bytes(state, ctx));
  EXPECT_EQ("67452301efcdab8998badcfe10325476c3d2e1f0", to_hex(state, 20));

  Bytes msg(64, 'a');
  hash_update(ctx, msg.data(), 63);
  sha1_state_to_bytes(state, ctx);
  EXPECT_EQ("67452301efcdab8998badcfe10325476c3d2e1f0", to_hex(state, 20));
  hash_update(ctx, msg.data() + 63, 1);  // completes the block: compressed now, not at final
  sha1_state_to_bytes(state, ctx);
  EXPECT_NE("67452301efcdab8998badcfe10325476c3d2e1f0", to_hex(state, 20));

  // Reading the state leaves the digest alone.
  uint8_t out[20];
  hash_final(ctx, out);
  EXPECT_EQ(to_hex(one_shot(1, msg)), to_hex(out, 20));
  hash_free(ctx);

  errno = 0;
  EXPECT_EQ(0, sha1_state_to_bytes(nullptr, ctx));
  EXPECT_EQ(1001, errno);
  errno = 0;
  EXPECT_EQ(0, sha1_state_to_bytes(state, nullptr));
  EXPECT_EQ(1001, errno);
  HASH_CTX *other = has160_new();  // five words too, but not SHA-1's
  errno = 0;
  EXPECT_EQ(0, sha1_state_to_bytes(state, other));
  EXPECT_EQ(1001, errno);
  hash_free(other);
}

TEST(AlgorithmIds, HashTypeOfEachIdentifier) {
  const std::map<int, int> cases = {
      {0x1100, 1}, {0x1101, 2}, {0x1102, 3}, {0x1103, 4}, {0x1104, 5}, {0x1105, 0}, {0x1106, 0}, {0x1107, 7},
      {0x1108, 6}, {0x1109, 0}, {0x10ff, 0}, {0x1300, 1}, {0x1301, 5}, {0x1302, 2}, {0x1303, 3}, {0x1304, 4},
      {0x1305, 0}, {0x1400, 1}, {0x1403, 1}, {0x1404, 2}, {0x1407, 2}, {0x1408, 6}, {0x140b, 6}, {0x140c, 0},
      {0x1500, 1}, {0x1501, 2}, {0x1502, 3}, {0x1503, 4}, {0x1504, 0}, {0x1505, 0}, {0x1506, 7}, {0x1507, 6},
      {0x1508, 6}, {0x1509, 1}, {0x150a, 2}, {0x150b, 6}, {0x150c, 0}, {0x1600, 0}, {0x1601, 7}, {0x1602, 0},
      {0x1603, 7}, {0x1604, 1}, {0x160b, 1}, {0x160c, 0}, {0, 0},      {-1, 0},
  };
  for (const auto &c : cases) EXPECT_EQ(c.second, hash_type_from_alg_id(c.first)) << std::hex << c.first;
}

}  // namespace
