// The raw operations against OpenSSL's results (tests/vectors/rsa_raw.txt), the refusals of the four
// operations, and the blinding of the private ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "platform/errors/errno_util.h"
#include "crypto/random/random.h"
#include "crypto/rsa/rsa.h"
#include "tests/crypto/rsa/rsa_test_util.h"

namespace {

using rsatest::Bytes;
using rsatest::code_of;
using rsatest::fixture;
using rsatest::Rsa;

// Identity encodings: the block is the message, so the operations expose the bare exponentiation.
int identity_encode(const void *, int, const uint8_t *msg, size_t len, uint8_t *out, size_t) {
  std::memcpy(out, msg, len);
  return int(len);
}
int identity_verify(const void *, int, const uint8_t *msg, size_t len, const uint8_t *block,
                    size_t block_len) {
  if (len == block_len && std::memcmp(msg, block, len) == 0) return 1;
  errno = v7::kErrVerifySignature;
  return 0;
}
int identity_decode(const void *, int, const uint8_t *block, size_t len, uint8_t *out, size_t) {
  std::memcpy(out, block, len);
  return int(len);
}
const RSA_PADDING kRawSign = {identity_encode, identity_verify, nullptr, nullptr};
const RSA_PADDING kRawCrypt = {identity_encode, nullptr, identity_decode, nullptr};

TEST(RsaRaw, MatchesOpenSsl) {
  for (const auto &c : v7test::load_vectors("rsa_raw.txt")) {
    SCOPED_TRACE(c.where());
    Rsa priv = rsatest::private_key(c.text("key")), pub = rsatest::public_key(c.text("key"));
    Bytes in = c.bytes("in"), expect_private = c.bytes("private"), expect_public = c.bytes("public");
    size_t k = in.size();
    Bytes out(k);
    ASSERT_EQ(int(k), rsa_private_encrypt(k, priv.get(), in.data(), k, &kRawSign, out.data()));
    EXPECT_EQ(expect_private, out);
    EXPECT_EQ(1, rsa_public_decrypt(pub.get(), in.data(), k, &kRawSign, expect_private.data(), k));
    ASSERT_EQ(int(k), rsa_public_encrypt(pub.get(), k, in.data(), k, &kRawCrypt, out.data()));
    EXPECT_EQ(expect_public, out);
    ASSERT_EQ(int(k), rsa_private_decrypt(priv.get(), expect_public.data(), k, &kRawCrypt, out.data(), k));
    EXPECT_EQ(in, out);
  }
}

TEST(RsaRaw, RefusalsOfTheFourOperations) {
  const auto &key = fixture("k2048");
  Rsa priv_key = rsatest::private_key(key), pub_key = rsatest::public_key(key), empty_key(rsa_new());
  RSA_CTX *priv = priv_key.get(), *pub = pub_key.get(), *empty = empty_key.get();
  const size_t k = 256;
  Bytes msg = {'a', 'b', 'c'}, out(k + 1), sig(k), ct(k), big(k + 1, 0);
  ASSERT_EQ(int(k), rsa_private_encrypt(k, priv, msg.data(), msg.size(), nullptr, sig.data()));
  ASSERT_EQ(int(k), rsa_public_encrypt(pub, k, msg.data(), msg.size(), nullptr, ct.data()));
  Bytes short_sig(sig.begin() + 1, sig.end()), long_sig(k + 1, 0);
  std::copy(sig.begin(), sig.end(), long_sig.begin() + 1);
  auto decrypt = [&](RSA_CTX *ctx, const Bytes &in, size_t in_len, const RSA_PADDING *enc, size_t cap) {
    return rsa_private_decrypt(ctx, in.data(), in_len, enc, out.data(), cap);
  };
  auto sign = [&](RSA_CTX *ctx, size_t cap, const RSA_PADDING *enc) {
    return rsa_private_encrypt(cap, ctx, msg.data(), msg.size(), enc, out.data());
  };
  auto encrypt = [&](RSA_CTX *ctx, size_t cap, const RSA_PADDING *enc) {
    return rsa_public_encrypt(ctx, cap, msg.data(), msg.size(), enc, out.data());
  };
  auto verify = [&](RSA_CTX *ctx, const Bytes &s, const RSA_PADDING *enc, size_t msg_len) {
    return rsa_public_decrypt(ctx, msg.data(), msg_len, enc, s.data(), s.size());
  };
  const struct {
    const char *what;
    int code;
    std::function<int()> call;
  } cases[] = {
      {"decrypt k + 1 bytes", v7::kErrRsaTooLongData,
       [&] { return decrypt(priv, big, big.size(), nullptr, k); }},
      {"decrypt n itself", v7::kErrRsaTooLongData, [&] { return decrypt(priv, key.n, k, nullptr, k); }},
      {"decrypt with a public key", v7::kErrRsaDecryptNoPrivateKey,
       [&] { return decrypt(pub, ct, k, nullptr, k); }},
      {"decrypt into k - 1 bytes", v7::kErrInsufficientBuffer,
       [&] { return decrypt(priv, ct, k, nullptr, k - 1); }},
      {"decrypt 0 bytes", v7::kErrInvalidParameter, [&] { return decrypt(priv, ct, 0, nullptr, k); }},
      {"decrypt with a signature encoding", v7::kErrInvalidParameter,
       [&] { return decrypt(priv, ct, k, &RSA_PAD_PSS, k); }},
      {"sign with a public key", v7::kErrRsaSignNoPrivateKey, [&] { return sign(pub, k, nullptr); }},
      {"sign with no key", v7::kErrRsaSignNoPrivateKey, [&] { return sign(empty, k, nullptr); }},
      {"sign into k - 1 bytes", v7::kErrInsufficientBuffer, [&] { return sign(priv, k - 1, nullptr); }},
      {"sign with an encryption encoding", v7::kErrInvalidParameter,
       [&] { return sign(priv, k, &RSA_PAD_OAEP); }},
      {"encrypt into k - 1 bytes", v7::kErrInsufficientBuffer, [&] { return encrypt(pub, k - 1, nullptr); }},
      {"encrypt with no key", v7::kErrRsaNoKey, [&] { return encrypt(empty, k, nullptr); }},
      {"encrypt with a signature encoding", v7::kErrInvalidParameter,
       [&] { return encrypt(pub, k, &RSA_PAD_PKCS1_SIGN); }},
      {"verify with no key", v7::kErrRsaNoKey, [&] { return verify(empty, sig, nullptr, msg.size()); }},
      {"verify k - 1 bytes (another number)", v7::kErrVerifySignature,
       [&] { return verify(pub, short_sig, nullptr, msg.size()); }},
      {"verify k + 1 bytes (leading zero)", v7::kErrVerifySignature,
       [&] { return verify(pub, long_sig, nullptr, msg.size()); }},
      {"verify a value not below n", v7::kErrVerifySignature,
       [&] { return verify(pub, key.n, nullptr, msg.size()); }},
      {"verify with an encryption encoding", v7::kErrInvalidParameter,
       [&] { return verify(pub, sig, &RSA_PAD_PKCS1_ENCRYPT, msg.size()); }},
      {"verify a changed message", v7::kErrVerifySignature, [&] { return verify(pub, sig, nullptr, 2); }},
  };
  for (const auto &c : cases) EXPECT_EQ(c.code, code_of(c.call)) << c.what;

  // The defaults: PKCS#1 v1.5 type 1 with SHA-1, and type 2; a private key also verifies.
  ASSERT_EQ(int(k), sign(priv, k, &RSA_PAD_PKCS1_SIGN));
  EXPECT_EQ(sig, Bytes(out.begin(), out.begin() + k));
  EXPECT_EQ(1, verify(priv, sig, nullptr, msg.size()));
  ASSERT_EQ(int(msg.size()), decrypt(priv, ct, k, &RSA_PAD_PKCS1_ENCRYPT, k));
  EXPECT_EQ(0, std::memcmp(msg.data(), out.data(), msg.size()));
}

// A key whose CRT numbers do not belong to its modulus must not hand out the faulty result: with
// it, gcd(s^e - m, n) would give away a prime.
TEST(RsaRaw, InconsistentKeyFailsInsteadOfLeakingAFactor) {
  rsatest::FixtureKey k = fixture("k2048");
  k.dp.back() ^= 0x02;
  Rsa bad = rsatest::private_key(k);
  Bytes msg = {'x'}, out(256, 0xAA);
  EXPECT_EQ(v7::kErrRsaIncorrectKey, code_of([&] {
              return rsa_private_encrypt(out.size(), bad.get(), msg.data(), 1, nullptr, out.data());
            }));
  EXPECT_EQ(Bytes(256, 0), out);
  Bytes ct(256);
  Rsa pub = rsatest::public_key(k);
  ASSERT_EQ(256, rsa_public_encrypt(pub.get(), ct.size(), msg.data(), 1, nullptr, ct.data()));
  EXPECT_EQ(v7::kErrRsaIncorrectKey, code_of([&] {
              return rsa_private_decrypt(bad.get(), ct.data(), ct.size(), nullptr, out.data(), out.size());
            }));
}

}  // namespace

namespace {

// Numbers that pass the loader's checks but make no key: every operation must end in a clear code.
TEST(RsaRaw, DegenerateKeysFailCleanly) {
  const Bytes n = {0x00, 0xC5}, e = {0x03}, one = {0x01}, big_q = {0xC3};
  const struct {
    const char *what;
    const Bytes &p, &q;
  } keys[] = {{"p = q = 1", one, one}, {"q not a factor", one, big_q}};
  for (const auto &key : keys) {
    Rsa ctx(rsa_new());
    ASSERT_EQ(8, rsa_set_private_key(ctx.get(), n.data(), n.size(), e.data(), e.size(), one.data(), 1,
                                     key.p.data(), key.p.size(), key.q.data(), key.q.size(), one.data(), 1,
                                     one.data(), 1, one.data(), 1))
        << key.what;
    Bytes in = {0x42}, out(1);
    // The blinding factor is random, and with a one-byte modulus a wrong key now and then gives a
    // value that does map back onto the input: that value is a right answer for this modulus. What
    // must never leave is a value that does not.
    const auto refused_or_maps_back = [&](int code) {
      if (code == 0) {
        const unsigned y = out[0];
        EXPECT_EQ(0x42u, y * y % 0xC5 * y % 0xC5) << key.what << ": a value that does not map back";
      } else {
        EXPECT_EQ(v7::kErrRsaIncorrectKey, code) << key.what;
      }
    };
    refused_or_maps_back(
        code_of([&] { return rsa_private_encrypt(1, ctx.get(), in.data(), 1, &kRawSign, out.data()); }));
    refused_or_maps_back(
        code_of([&] { return rsa_private_decrypt(ctx.get(), in.data(), 1, &kRawCrypt, out.data(), 1); }));
    EXPECT_EQ(v7::kErrSignatureEncode,
              code_of([&] { return rsa_private_encrypt(1, ctx.get(), in.data(), 1, nullptr, out.data()); }))
        << key.what;
  }
}

}  // namespace

namespace {

// x + n over the same number of bytes, or empty when the sum needs one more.
Bytes plus_modulus(const Bytes &x, const Bytes &n) {
  Bytes sum(x.size());
  unsigned carry = 0;
  for (size_t i = x.size(); i-- > 0;) {
    size_t from_end = x.size() - 1 - i;
    unsigned v = x[i] + carry + (from_end < n.size() ? n[n.size() - 1 - from_end] : 0);
    sum[i] = uint8_t(v);
    carry = v >> 8;
  }
  return carry ? Bytes() : sum;
}

// s + n and c + n are the same residues as s and c: accepted, they would make signatures
// malleable and let a ciphertext be replayed in another form.
TEST(RsaRaw, ValuesAboveTheModulusAreRefused) {
  const auto &key = fixture("k2048");
  Rsa priv = rsatest::private_key(key), pub = rsatest::public_key(key);
  int found = 0;
  for (uint8_t i = 0; i < 40 && found < 3; i++) {
    Bytes msg = {'m', i}, sig(256), ct(256), out(256);
    ASSERT_EQ(256, rsa_private_encrypt(256, priv.get(), msg.data(), msg.size(), nullptr, sig.data()));
    ASSERT_EQ(256, rsa_public_encrypt(pub.get(), 256, msg.data(), msg.size(), nullptr, ct.data()));
    Bytes sig_n = plus_modulus(sig, key.n), ct_n = plus_modulus(ct, key.n);
    if (sig_n.empty() || ct_n.empty()) continue;
    found++;
    EXPECT_EQ(v7::kErrVerifySignature, code_of([&] {
                return rsa_public_decrypt(pub.get(), msg.data(), msg.size(), nullptr, sig_n.data(),
                                          sig_n.size());
              }));
    EXPECT_EQ(v7::kErrRsaTooLongData, code_of([&] {
                return rsa_private_decrypt(priv.get(), ct_n.data(), ct_n.size(), nullptr, out.data(),
                                           out.size());
              }));
  }
  EXPECT_EQ(3, found);
}

}  // namespace

namespace {

// The random source of the blinding tests: the forced values first, each right-aligned in the
// draw (so that it is the blinding factor whatever the draw's length), then a seeded stream or,
// when zeros is set, nothing but zeros. Every draw is counted and kept.
struct BlindingScript {
  std::vector<Bytes> forced;
  bool zeros = false;
  std::vector<Bytes> draws;
  std::mt19937 stream{11};
};
BlindingScript *g_script = nullptr;

bool scripted_source(uint8_t *out, size_t len) {
  BlindingScript &s = *g_script;
  Bytes draw(len, 0);
  size_t i = s.draws.size();
  if (i < s.forced.size()) {
    const Bytes &v = s.forced[i];
    std::copy(v.begin(), v.end(), draw.end() - long(v.size()));
  } else if (!s.zeros) {
    for (uint8_t &b : draw) b = uint8_t(s.stream());
  }
  s.draws.push_back(draw);
  std::copy(draw.begin(), draw.end(), out);
  return true;
}

struct ScriptedRandom {
  explicit ScriptedRandom(BlindingScript *s) {
    g_script = s;
    rng_set_system_source(scripted_source);
  }
  ~ScriptedRandom() {
    rng_set_system_source(nullptr);
    g_script = nullptr;
  }
};

// Each private operation draws its own blinding factor, one the result does not depend on; a
// factor without an inverse (a prime of the key, zero) is drawn again, and a source that never
// gives an invertible one fails the operation instead of leaving it unblinded.
TEST(RsaRaw, PrivateOperationsAreBlindedWithAFreshFactor) {
  const auto &key = fixture("k2048");
  Rsa priv = rsatest::private_key(key), pub = rsatest::public_key(key);
  const size_t k = 256;
  Bytes m(k), c(k);
  for (size_t i = 0; i < k; i++) m[i] = uint8_t(i * 7 + 1);
  m[0] = 0x01;  // below n
  ASSERT_EQ(int(k), rsa_public_encrypt(pub.get(), k, m.data(), k, &kRawCrypt, c.data()));
  Bytes n_minus_1 = key.n;
  n_minus_1.back() -= 1;  // n is odd
  const struct {
    const char *what;
    std::vector<Bytes> forced;
    bool zeros;
    int code;
    size_t draws;
  } cases[] = {
      {"a seeded stream", {}, false, 0, 1},
      {"r = 1", {{0x01}}, false, 0, 1},
      {"r = n - 1", {n_minus_1}, false, 0, 1},
      {"r = p, then the stream", {key.p}, false, 0, 2},
      {"r = q, r = 0, then the stream", {key.q, {0x00}}, false, 0, 3},
      {"r = n, which reduces to 0, then the stream", {key.n}, false, 0, 2},
      {"a source stuck at zero", {}, true, v7::kErrRandomContext, 8},
  };
  for (const auto &cs : cases) {
    SCOPED_TRACE(cs.what);
    BlindingScript script;
    script.forced = cs.forced;
    script.zeros = cs.zeros;
    ScriptedRandom seam(&script);
    Bytes out(k, 0xEE);
    EXPECT_EQ(cs.code, code_of([&] {
                return rsa_private_decrypt(priv.get(), c.data(), k, &kRawCrypt, out.data(), k);
              }));
    EXPECT_EQ(cs.draws, script.draws.size());
    if (cs.code == 0) {
      EXPECT_EQ(m, out);
    }
  }

  // The same input twice: two draws, two different factors, the same answer.
  BlindingScript script;
  ScriptedRandom seam(&script);
  Bytes first(k), second(k);
  ASSERT_EQ(int(k), rsa_private_encrypt(k, priv.get(), m.data(), k, &kRawSign, first.data()));
  ASSERT_EQ(int(k), rsa_private_encrypt(k, priv.get(), m.data(), k, &kRawSign, second.data()));
  ASSERT_EQ(2u, script.draws.size());
  EXPECT_NE(script.draws[0], script.draws[1]);
  EXPECT_EQ(first, second);
  EXPECT_EQ(1, rsa_public_decrypt(pub.get(), m.data(), k, &kRawSign, first.data(), k));
}

// Without random bytes there is no blinding factor: both private operations fail closed, and
// the signature's output holds nothing of its block.
TEST(RsaRaw, PrivateOperationsFailWithoutTheRandomSource) {
  const auto &key = fixture("k2048");
  Rsa priv = rsatest::private_key(key), pub = rsatest::public_key(key);
  const size_t k = 256;
  Bytes msg = {'a', 'b', 'c'}, ct(k), out(k, 0xEE);
  ASSERT_EQ(int(k), rsa_public_encrypt(pub.get(), k, msg.data(), msg.size(), nullptr, ct.data()));
  rsatest::FailingRandom failing;
  EXPECT_EQ(v7::kErrRandomContext,
            code_of([&] { return rsa_private_encrypt(k, priv.get(), msg.data(), msg.size(), nullptr, out.data()); }));
  EXPECT_EQ(Bytes(k, 0), out);
  EXPECT_EQ(v7::kErrRandomContext,
            code_of([&] { return rsa_private_decrypt(priv.get(), ct.data(), k, nullptr, out.data(), k); }));
}

}  // namespace
