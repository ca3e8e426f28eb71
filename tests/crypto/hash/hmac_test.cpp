#include "crypto/hash/hmac.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/crypto/hash/hash_names.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;
using v7test::to_hex;

Bytes mac_of(int type, const Bytes &key, const Bytes &data) {
  Bytes out(HASH_MAX_DIGEST_LEN);
  // data() of an empty vector may be null, which the one-shot refuses: point at something.
  static const uint8_t nothing = 0;
  int n = hmac_oneshot(type, key.empty() ? &nothing : key.data(), out.data(), key.size(),
                       data.empty() ? &nothing : data.data(), data.size(), out.size());
  EXPECT_EQ(hash_digest_len(type), n);
  out.resize(size_t(n > 0 ? n : 0));
  return out;
}

std::string prefix(const Bytes &mac, size_t n) { return to_hex(mac.data(), std::min(n, mac.size())); }

TEST(Hmac, PublishedVectorsByOneShotAndByContext) {
  for (const auto &c : v7test::load_vectors("hmac.txt")) {
    SCOPED_TRACE(c.where());
    int type = hash_type_named(c.text("alg"));
    ASSERT_NE(0, type);
    Bytes key = c.bytes("key"), data = c.bytes("data"), want = c.bytes("mac");
    EXPECT_EQ(to_hex(want), prefix(mac_of(type, key, data), want.size()));

    // The same context twice: keyed again before each message, the data fed in two pieces.
    HMAC_CTX *ctx = hmac_new(type);
    ASSERT_NE(nullptr, ctx);
    for (int round = 0; round < 2; round++) {
      ASSERT_EQ(hash_digest_len(type), hmac_init(ctx, key.data(), key.size()));
      size_t half = data.size() / 2;
      hmac_update(ctx, data.data(), half);
      hmac_update(ctx, data.data() + half, data.size() - half);
      Bytes out(size_t(hash_digest_len(type)));
      ASSERT_EQ(int(out.size()), hmac_final(ctx, out.data()));
      EXPECT_EQ(to_hex(want), prefix(out, want.size()));
    }
    hmac_free(ctx);
  }
}

// HMAC-HAS-160 has no published vector: check it against the definition,
// H((K ^ opad) || H((K ^ ipad) || m)), built from the published-vector-checked digest.
TEST(Hmac, Has160FollowsTheDefinition) {
  const Bytes msg = v7test::to_bytes("what do ya want for nothing?");
  for (size_t key_len : {0, 20, 63, 64, 65, 131}) {
    SCOPED_TRACE("key length " + std::to_string(key_len));
    Bytes key(key_len);
    for (size_t i = 0; i < key_len; i++) key[i] = uint8_t(i * 13 + 1);
    Bytes k(64, 0);
    if (key_len > 64)
      hash_digest(k.size(), k.data(), HASH_HAS160, key.data(), key.size());
    else
      std::copy(key.begin(), key.end(), k.begin());
    Bytes inner_in, outer_in;
    for (uint8_t b : k) inner_in.push_back(b ^ 0x36);
    for (uint8_t b : k) outer_in.push_back(b ^ 0x5c);
    inner_in.insert(inner_in.end(), msg.begin(), msg.end());
    uint8_t inner[20], want[20];
    hash_digest(20, inner, HASH_HAS160, inner_in.data(), inner_in.size());
    outer_in.insert(outer_in.end(), inner, inner + 20);
    hash_digest(20, want, HASH_HAS160, outer_in.data(), outer_in.size());
    EXPECT_EQ(to_hex(want, 20), to_hex(mac_of(HASH_HAS160, key, msg)));
  }
}

TEST(Hmac, EmptyKeyIsTheAllZeroKey) {
  const Bytes msg = v7test::to_bytes("message");
  for (int type = 1; type <= 7; type++) {
    SCOPED_TRACE("type " + std::to_string(type));
    Bytes zeros(size_t(hash_block_len(type)), 0);
    std::string want = to_hex(mac_of(type, zeros, msg));
    EXPECT_EQ(want, to_hex(mac_of(type, {}, msg)));
    // hmac_init takes a null key of length 0 as the empty key.
    HMAC_CTX *ctx = hmac_new(type);
    ASSERT_NE(nullptr, ctx);
    ASSERT_NE(0, hmac_init(ctx, nullptr, 0));
    hmac_update(ctx, msg.data(), msg.size());
    uint8_t out[HASH_MAX_DIGEST_LEN];
    ASSERT_NE(0, hmac_final(ctx, out));
    EXPECT_EQ(want, to_hex(out, size_t(hash_digest_len(type))));
    hmac_free(ctx);
  }
}

// After a final the hash holds no inner pad: what follows must not come out as a MAC.
TEST(Hmac, FinishedContextRefusesUntilKeyedAgain) {
  const Bytes key = v7test::to_bytes("Jefe"), msg = v7test::to_bytes("what do ya want for nothing?");
  const std::string want = "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843";  // RFC 4231
  HMAC_CTX *ctx = hmac_new(HASH_SHA256);
  ASSERT_NE(nullptr, ctx);
  uint8_t out[32];
  errno = 0;
  EXPECT_EQ(0, hmac_final(ctx, out));  // never keyed
  EXPECT_EQ(1260, errno);

  ASSERT_EQ(32, hmac_init(ctx, key.data(), key.size()));
  hmac_update(ctx, msg.data(), msg.size());
  ASSERT_EQ(32, hmac_final(ctx, out));
  EXPECT_EQ(want, to_hex(out, 32));

  hmac_update(ctx, msg.data(), msg.size());
  errno = 0;
  EXPECT_EQ(0, hmac_final(ctx, out));
  EXPECT_EQ(1260, errno);

  // Keying again starts afresh, even over a message left unfinished.
  ASSERT_EQ(32, hmac_init(ctx, key.data(), key.size()));
  hmac_update(ctx, "left over", 9);
  ASSERT_EQ(32, hmac_init(ctx, key.data(), key.size()));
  hmac_update(ctx, msg.data(), msg.size());
  ASSERT_EQ(32, hmac_final(ctx, out));
  EXPECT_EQ(want, to_hex(out, 32));
  hmac_free(ctx);
}

TEST(Hmac, ContextErrors) {
  for (int type : {0, 8}) {
    errno = 0;
    EXPECT_EQ(nullptr, hmac_new(type));
    EXPECT_EQ(1200, errno);
  }
  uint8_t out[HASH_MAX_DIGEST_LEN];
  errno = 0;
  EXPECT_EQ(0, hmac_init(nullptr, "k", 1));
  EXPECT_EQ(1001, errno);
  errno = 0;
  EXPECT_EQ(0, hmac_final(nullptr, out));
  EXPECT_EQ(1001, errno);
  hmac_update(nullptr, "x", 1);

  HMAC_CTX *ctx = hmac_new(HASH_SHA1);
  ASSERT_NE(nullptr, ctx);
  errno = 0;
  EXPECT_EQ(0, hmac_init(ctx, nullptr, 4));
  EXPECT_EQ(1001, errno);
  ASSERT_EQ(20, hmac_init(ctx, "key", 3));
  errno = 0;
  EXPECT_EQ(0, hmac_final(ctx, nullptr));
  EXPECT_EQ(1001, errno);

  // A record without its hash context, as an owner leaves it after releasing that context.
  hash_free(ctx->hash);
  ctx->hash = nullptr;
  hmac_update(ctx, "x", 1);
  errno = 0;
  EXPECT_EQ(0, hmac_init(ctx, "key", 3));
  EXPECT_EQ(1260, errno);
  errno = 0;
  EXPECT_EQ(0, hmac_final(ctx, out));
  EXPECT_EQ(1260, errno);
  hmac_free(ctx);
  hmac_free(nullptr);
}

TEST(Hmac, OneShotArgumentsAndCapacity) {
  const uint8_t key[] = {1, 2, 3}, data[] = {4, 5, 6};
  uint8_t out[HASH_MAX_DIGEST_LEN];
  struct Case {
    int type;
    bool with_key, with_out, with_data;
    size_t key_len, data_len, capacity;
    int result, code;
  } const cases[] = {
      {HASH_SHA256, true, true, true, 3, 3, 31, 0, 1002},  // one byte short: nothing written
      {HASH_SHA256, true, true, true, 3, 3, 32, 32, 0},
      {HASH_SHA256, true, true, false, 3, 0, 32, 0, 1001},  // null data, even of length 0
      {HASH_SHA256, false, true, true, 0, 3, 32, 0, 1001},  // null key, even of length 0
      {HASH_SHA256, true, false, true, 3, 3, 32, 0, 1001},
      {8, true, true, true, 3, 3, 64, 0, 1200},
      {0, true, true, true, 3, 3, 64, 0, 1200},
      {HASH_MD5, true, true, true, 3, 3, 16, 16, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " capacity " + std::to_string(c.capacity));
    std::memset(out, 0xee, sizeof out);
    errno = 0;
    int n = hmac_oneshot(c.type, c.with_key ? key : nullptr, c.with_out ? out : nullptr, c.key_len,
                         c.with_data ? data : nullptr, c.data_len, c.capacity);
    EXPECT_EQ(c.result, n);
    if (n == 0) {
      EXPECT_EQ(c.code, errno);
      EXPECT_EQ(std::string(sizeof out * 2, 'e'), to_hex(out, sizeof out));
    }
  }
}

}  // namespace
