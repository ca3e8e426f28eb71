// The session key object: known answers, re-keying, output lengths and the error context entries.
#include "pki/keys/symkey.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/errors/errno_util.h"
#include "tests/harness/vectors.h"

namespace {

using v7test::Bytes;

struct Session {
  ERROR_CTX errors{};
  SESSION_CTX *ctx = symkey_new(&errors);
  ~Session() {
    symkey_free(ctx);
    err_ctx_clear(&errors);
  }
  int set(const Bytes &key, const Bytes &iv) {
    return symkey_set(ctx, key.data(), key.size(), iv.data(), iv.size());
  }
  // The newest node's codes, newest entry first as pushed: the code and then its cause.
  std::vector<int> newest_codes() const {
    std::vector<int> out;
    if (errors.newest != nullptr)
      for (const ERROR_SUBNODE *s = errors.newest->first; s != nullptr; s = s->next) out.push_back(s->code);
    return out;
  }
};

struct Result {
  int code;
  Bytes out;
};

Result run(SESSION_CTX *ctx, bool encrypt, const Bytes &in) {
  uint8_t *out = nullptr;
  size_t len = 0;
  int code = encrypt ? symkey_encrypt(ctx, in.data(), in.size(), &out, &len)
                     : symkey_decrypt(ctx, in.data(), in.size(), &out, &len);
  Result r{code, out == nullptr ? Bytes{} : Bytes(out, out + len)};
  free(out);
  return r;
}

const Bytes kKey = v7test::from_hex("0f0e0d0c0b0a09080706050403020100");
const Bytes kIv = v7test::from_hex("101112131415161718191a1b1c1d1e1f");

TEST(SessionKey, KnownAnswers) {
  for (const auto &c : v7test::load_vectors("symkey.txt")) {
    SCOPED_TRACE(c.where());
    Session s;
    ASSERT_EQ(0, s.set(c.bytes("key"), c.bytes("iv")));
    EXPECT_EQ(SYMKEY_ALG_SEED_CBC, s.ctx->algorithm);
    Result e = run(s.ctx, true, c.bytes("plain"));
    ASSERT_EQ(0, e.code);
    EXPECT_EQ(c.bytes("cipher"), e.out);
    Result d = run(s.ctx, false, e.out);
    ASSERT_EQ(0, d.code);
    EXPECT_EQ(c.bytes("plain"), d.out);
  }
}

TEST(SessionKey, KeyingTwiceReplacesTheCipher) {
  const Bytes other_key(16, 0x5a), data = v7test::to_bytes("relay envelope");
  Session twice, once;
  ASSERT_EQ(0, twice.set(kKey, kIv));
  Result first = run(twice.ctx, true, data);
  ASSERT_EQ(0, twice.set(other_key, kIv));
  ASSERT_EQ(0, once.set(other_key, kIv));
  Result second = run(twice.ctx, true, data);
  EXPECT_EQ(run(once.ctx, true, data).out, second.out);
  EXPECT_NE(first.out, second.out);
  // A keying that fails leaves no cipher behind, not the earlier one.
  EXPECT_EQ(v7::kErrCrtSetKey, twice.set(Bytes(15, 1), kIv));
  EXPECT_EQ(v7::kErrNullCrtContext, run(twice.ctx, true, data).code);
  EXPECT_EQ(0, twice.ctx->algorithm);
}

TEST(SessionKey, OutputIsAtMostOneBlockLonger) {
  Session s;
  ASSERT_EQ(0, s.set(kKey, kIv));
  for (size_t n : {1u, 15u, 16u, 17u, 31u, 32u, 1000u}) {
    SCOPED_TRACE(n);
    Bytes data(n, 0xA5);
    Result e = run(s.ctx, true, data);
    ASSERT_EQ(0, e.code);
    EXPECT_LE(e.out.size(), n + 16);
    EXPECT_EQ((n / 16 + 1) * 16, e.out.size());
    EXPECT_EQ(data, run(s.ctx, false, e.out).out);
  }
}

TEST(SessionKey, ErrorsArePushedWithTheCipherCode) {
  Session s;
  const Bytes data = {1, 2, 3};
  struct Case {
    const char *name;
    int (*call)(Session &);
    int code;
    bool has_cause;
  } cases[] = {
      {"encrypt before keying", [](Session &t) { return run(t.ctx, true, {1}).code; }, 11320, false},
      {"missing key", [](Session &t) { return symkey_set(t.ctx, nullptr, 16, kIv.data(), 16); }, 1001, false},
      {"missing IV", [](Session &t) { return symkey_set(t.ctx, kKey.data(), 16, nullptr, 0); }, 1001, false},
      {"short key", [](Session &t) { return t.set(Bytes(8, 1), kIv); }, 10112, true},
      {"short IV", [](Session &t) { return t.set(kKey, Bytes(8, 1)); }, 10111, true},
      {"ragged ciphertext",
       [](Session &t) {
         t.set(kKey, kIv);
         return run(t.ctx, false, Bytes(17, 1)).code;
       },
       10114, true},
      {"bad padding",
       [](Session &t) {
         t.set(kKey, kIv);
         return run(t.ctx, false, Bytes(32, 1)).code;
       },
       10114, true},
      {"overflowing length",
       [](Session &t) {
         t.set(kKey, kIv);
         uint8_t byte = 0, *out = nullptr;
         size_t len = 0;
         return symkey_encrypt(t.ctx, &byte, SIZE_MAX - 3, &out, &len);
       },
       1013, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    int code = c.call(s);
    EXPECT_EQ(c.code, code);
    EXPECT_EQ(c.code, errno);
    std::vector<int> codes = s.newest_codes();
    ASSERT_EQ(c.has_cause ? 2u : 1u, codes.size());
    EXPECT_EQ(c.code, codes[0]);
    if (c.has_cause) {
      EXPECT_NE(0, codes[1]);
    }
  }
}

TEST(SessionKey, ObjectsThatCannotReport) {
  uint8_t *out = nullptr;
  size_t len = 0;
  EXPECT_EQ(v7::kErrNullSessionContext, symkey_set(nullptr, kKey.data(), 16, kIv.data(), 16));
  EXPECT_EQ(v7::kErrNullSessionContext, symkey_encrypt(nullptr, kKey.data(), 16, &out, &len));
  SESSION_CTX *lone = symkey_new(nullptr);
  ASSERT_NE(nullptr, lone);
  EXPECT_EQ(v7::kErrNoErrorContext, symkey_set(lone, kKey.data(), 16, kIv.data(), 16));
  EXPECT_EQ(v7::kErrNoErrorContext, symkey_decrypt(lone, kKey.data(), 16, &out, &len));
  EXPECT_EQ(nullptr, out);
  symkey_free(lone);
  symkey_free(nullptr);
}

}  // namespace
