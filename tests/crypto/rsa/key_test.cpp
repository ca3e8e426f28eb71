// Key loading: the accepted forms, the refused ones with their codes, and the layout read back.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/errors/errno_util.h"
#include "crypto/bignum/bignum.h"
#include "crypto/rsa/rsa.h"
#include "tests/crypto/rsa/rsa_test_util.h"

namespace {

using rsatest::Bytes;
using rsatest::fixture;
using rsatest::Rsa;

Bytes with_leading_zeros(const Bytes &b, size_t zeros) {
  Bytes out(zeros, 0);
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// An odd number of exactly `bits` bits: 1, then zeros, then a low 1.
Bytes odd_number_of_bits(int bits) {
  Bytes b(size_t(bits + 7) / 8, 0);
  b[0] = uint8_t(1u << ((bits - 1) % 8));
  b.back() |= 1;
  return b;
}

std::vector<uint32_t> number(const RSA_CTX *ctx, int which) {
  size_t words = 0;
  const uint32_t *p = rsa_key_number(ctx, which, &words);
  EXPECT_NE(nullptr, p) << "number " << which;
  return p ? std::vector<uint32_t>(p, p + words) : std::vector<uint32_t>();
}

TEST(RsaKey, LeadingZeroBytesLoadTheSameKey) {
  const auto &k = fixture("k2048");
  Rsa plain = rsatest::public_key(k);
  Bytes n = with_leading_zeros(k.n, 3), e = with_leading_zeros(k.e, 5);
  Rsa padded(rsa_new());
  EXPECT_EQ(2048, rsa_set_public_key(padded.get(), n.data(), n.size(), e.data(), e.size()));
  EXPECT_EQ(number(plain.get(), RSA_NUMBER_N), number(padded.get(), RSA_NUMBER_N));
  EXPECT_EQ(number(plain.get(), RSA_NUMBER_E), number(padded.get(), RSA_NUMBER_E));
  EXPECT_EQ(1u, padded->e_words);
  EXPECT_EQ(64u, padded->n_words);
  // The Montgomery values follow n in the array: R^2 mod n, then n' with n * n' = -1 mod 2^32.
  EXPECT_EQ(0xFFFFFFFFu, padded->words[0] * padded->words[2 * 64]);
}

TEST(RsaKey, PublicKeyRefusals) {
  const auto &k = fixture("k1024");
  Bytes even_n = k.n, even_e = {0x01, 0x00, 0x00}, zero = {0, 0}, one = {1};
  even_n.back() &= 0xFE;
  Bytes n4096 = odd_number_of_bits(4096), n4097 = odd_number_of_bits(4097);
  Bytes e_equal_n = k.n, e_above_n = with_leading_zeros(k.n, 0);
  e_above_n.insert(e_above_n.begin(), 0x01);
  struct Case {
    const char *what;
    const Bytes *n, *e;
    int code;
  } cases[] = {
      {"zero n", &zero, &k.e, v7::kErrRsaIncorrectKey},
      {"even n", &even_n, &k.e, v7::kErrRsaIncorrectKey},
      {"zero e", &k.n, &zero, v7::kErrRsaIncorrectKey},
      {"even e", &k.n, &even_e, v7::kErrRsaIncorrectKey},
      {"e = 1", &k.n, &one, v7::kErrRsaIncorrectKey},
      {"e = n", &k.n, &e_equal_n, v7::kErrRsaIncorrectKey},
      {"e longer than n", &k.n, &e_above_n, v7::kErrRsaIncorrectKey},
      {"4097-bit n", &n4097, &k.e, v7::kErrRsaIncorrectKey},
  };
  for (const Case &c : cases) {
    Rsa ctx = rsatest::public_key(k);  // a loaded key, which the failure must empty
    errno = 0;
    EXPECT_EQ(0, rsa_set_public_key(ctx.get(), c.n->data(), c.n->size(), c.e->data(), c.e->size())) << c.what;
    EXPECT_EQ(c.code, errno) << c.what;
    EXPECT_EQ(0, rsa_key_kind(ctx.get())) << c.what;
    EXPECT_EQ(v7::kErrRsaNoKey, errno) << c.what;
  }
  Rsa ctx(rsa_new());
  EXPECT_EQ(4096, rsa_set_public_key(ctx.get(), n4096.data(), n4096.size(), k.e.data(), k.e.size()));
  errno = 0;
  EXPECT_EQ(0, rsa_set_public_key(nullptr, k.n.data(), k.n.size(), k.e.data(), k.e.size()));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
  EXPECT_EQ(0, rsa_set_public_key(ctx.get(), nullptr, 0, k.e.data(), k.e.size()));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
  // A missing number fails like a bad one: the key loaded before is gone.
  struct Missing {
    const char *what;
    const uint8_t *n, *e;
  } missing[] = {{"null n", nullptr, k.e.data()}, {"null e", k.n.data(), nullptr}, {"both null", nullptr, nullptr}};
  for (const Missing &m : missing) {
    Rsa loaded = rsatest::public_key(k);
    errno = 0;
    EXPECT_EQ(0, rsa_set_public_key(loaded.get(), m.n, k.n.size(), m.e, k.e.size())) << m.what;
    EXPECT_EQ(v7::kErrInvalidParameter, errno) << m.what;
    EXPECT_EQ(RSA_KIND_EMPTY, loaded->kind) << m.what;
    EXPECT_EQ(nullptr, loaded->words) << m.what;
    EXPECT_EQ(0, rsa_key_kind(loaded.get())) << m.what;
    EXPECT_EQ(v7::kErrRsaNoKey, errno) << m.what;
  }
}

TEST(RsaKey, PrivateKeyRefusals) {
  const auto &k = fixture("k1024");
  Bytes zero = {0}, even_p = k.p, long_dp = with_leading_zeros(k.dp, 0), long_d = k.d;
  even_p.back() &= 0xFE;
  long_dp.insert(long_dp.begin(), 0x01);                                // one byte longer than p
  long_d.insert(long_d.begin(), k.n.size() - long_d.size() + 1, 0x01);  // one byte longer than n
  // Component index: 0 n, 1 e, 2 d, 3 p, 4 q, 5 dP, 6 dQ, 7 qInv.
  struct Case {
    const char *what;
    int index;
    const Bytes *value;  // null: the component is missing
    int code;
  } cases[] = {
      {"missing n", 0, nullptr, v7::kErrInvalidParameter},
      {"missing qInv", 7, nullptr, v7::kErrInvalidParameter},
      {"zero d", 2, &zero, v7::kErrInvalidParameter},
      {"zero dQ", 6, &zero, v7::kErrInvalidParameter},
      {"even p", 3, &even_p, v7::kErrInvalidParameter},
      {"dP longer than p", 5, &long_dp, v7::kErrRsaIncorrectKey},
      {"d longer than n", 2, &long_d, v7::kErrRsaIncorrectKey},
  };
  for (const Case &c : cases) {
    const Bytes *parts[8] = {&k.n, &k.e, &k.d, &k.p, &k.q, &k.dp, &k.dq, &k.qinv};
    parts[c.index] = c.value;
    auto ptr = [&](int i) { return parts[i] ? parts[i]->data() : nullptr; };
    auto len = [&](int i) { return parts[i] ? parts[i]->size() : size_t(0); };
    Rsa ctx = rsatest::private_key(k);
    errno = 0;
    EXPECT_EQ(0, rsa_set_private_key(ctx.get(), ptr(0), len(0), ptr(1), len(1), ptr(2), len(2), ptr(3),
                                     len(3), ptr(4), len(4), ptr(5), len(5), ptr(6), len(6), ptr(7), len(7)))
        << c.what;
    EXPECT_EQ(c.code, errno) << c.what;
    EXPECT_EQ(RSA_KIND_EMPTY, ctx->kind) << c.what;
    EXPECT_EQ(nullptr, ctx->words) << c.what;
  }
}

TEST(RsaKey, KindCodes) {
  errno = 0;
  EXPECT_EQ(0, rsa_key_kind(nullptr));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
  Rsa ctx(rsa_new());
  EXPECT_EQ(0, rsa_key_kind(ctx.get()));
  EXPECT_EQ(v7::kErrRsaNoKey, errno);
  ctx->kind = 7;
  EXPECT_EQ(0, rsa_key_kind(ctx.get()));
  EXPECT_EQ(v7::kErrRsaContext, errno);
  ctx->kind = RSA_KIND_EMPTY;
  EXPECT_EQ(RSA_KIND_PUBLIC, rsa_key_kind(rsatest::public_key("k1024").get()));
  EXPECT_EQ(RSA_KIND_PRIVATE, rsa_key_kind(rsatest::private_key("k1024").get()));
  rsa_clear(nullptr);
  rsa_free(nullptr);
}

TEST(RsaKey, NumbersReadBackInTheirOwnOrder) {
  const auto &k = fixture("k2049");
  Rsa ctx = rsatest::private_key(k);
  const Bytes *expected[8] = {&k.n, &k.e, &k.d, &k.p, &k.q, &k.dp, &k.dq, &k.qinv};
  for (int which = RSA_NUMBER_N; which <= RSA_NUMBER_QINV; which++) {
    std::vector<uint32_t> words = number(ctx.get(), which);
    Bytes back(expected[which]->size());
    ASSERT_EQ(0, mp_to_bytes(words.data(), back.size(), words.size(), back.data())) << which;
    EXPECT_EQ(*expected[which], back) << which;
  }
  // A public key has no private numbers; an empty context none at all.
  size_t words = 0;
  errno = 0;
  EXPECT_EQ(nullptr, rsa_key_number(rsatest::public_key(k).get(), RSA_NUMBER_D, &words));
  EXPECT_EQ(v7::kErrRsaNoKey, errno);
  Rsa empty(rsa_new());
  EXPECT_EQ(nullptr, rsa_key_number(empty.get(), RSA_NUMBER_N, &words));
  EXPECT_EQ(v7::kErrRsaNoKey, errno);
  rsa_clear(ctx.get());
  EXPECT_EQ(RSA_KIND_EMPTY, ctx->kind);
  EXPECT_EQ(0u, ctx->n_words);
}

}  // namespace
