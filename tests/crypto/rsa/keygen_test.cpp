// Prime generation and key generation: Miller-Rabin on known primes, composites and strong
// pseudoprimes, the shape of sieved candidates, the properties of generated keys, and the refusal
// to generate anything when the system random source fails.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "platform/errors/errno_util.h"
#include "crypto/bignum/bignum.h"
#include "crypto/random/random.h"
#include "crypto/rsa/rsa.h"
#include "tests/crypto/rsa/rsa_test_util.h"

namespace {

using rsatest::Bytes;
using rsatest::code_of;
using rsatest::Rsa;
using Words = std::vector<uint32_t>;

struct RngDeleter {
  void operator()(RANDOM_CTX *ctx) const { rng_free(ctx); }
};
using Rng = std::unique_ptr<RANDOM_CTX, RngDeleter>;

// An n-word Montgomery modulus (2n + 1 words) from big-endian bytes.
Words montgomery(const Bytes &bytes, size_t n) {
  Words m(2 * n + 1), scratch(bn_mont_setup_scratch_words(n));
  mp_from_bytes(n, m.data(), bytes.data(), bytes.size());
  EXPECT_EQ(1, bn_mont_setup(scratch.data(), m.data(), n));
  return m;
}

Words montgomery(uint32_t value) {
  Bytes b = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
  return montgomery(b, 1);
}

// One round with the given base on a one-word candidate.
int round_with_base(uint32_t candidate, uint32_t base) {
  Words m = montgomery(candidate), scratch(bn_mr_round_scratch_words(1));
  uint32_t odd = candidate - 1;
  size_t s = 0;
  for (; (odd & 1) == 0; s++) odd >>= 1;
  return bn_mr_round(1, m.data(), &base, &odd, 1, s, scratch.data());
}

TEST(MillerRabin, RoundsOnSmallNumbers) {
  const struct {
    uint32_t n, base;
    int verdict;
  } cases[] = {
      {2047, 2, 1},        {2047, 3, 0},  // 23 * 89, a strong pseudoprime to base 2
      {3215031751u, 2, 1}, {3215031751u, 3, 1},  {3215031751u, 5, 1},
      {3215031751u, 7, 1}, {3215031751u, 11, 0},  // strong pseudoprime to 2, 3, 5 and 7
      {561, 2, 0},                                // Carmichael: reaches 1 without passing -1
      {1000003, 2, 1},     {1000003, 3, 1},      {1000003, 1000001, 1},
      {4294967291u, 2, 1},  // the largest 32-bit prime
  };
  for (const auto &c : cases) EXPECT_EQ(c.verdict, round_with_base(c.n, c.base)) << c.n << " base " << c.base;
}

TEST(MillerRabin, FixturePrimesAndComposites) {
  Rng rng(rng_new(RNG_TYPE_SYSTEM));
  Words scratch(bn_miller_rabin_scratch_words());
  const auto &k2048 = rsatest::fixture("k2048");
  const auto &k1024 = rsatest::fixture("k1024");
  EXPECT_EQ(1, bn_miller_rabin(rng.get(), montgomery(k2048.p, 32).data(), 8, scratch.data()));
  EXPECT_EQ(1, bn_miller_rabin(rng.get(), montgomery(k2048.q, 32).data(), 8, scratch.data()));
  // n of the 1024-bit key is a product of two primes.
  EXPECT_EQ(0, bn_miller_rabin(rng.get(), montgomery(k1024.n, 32).data(), 3, scratch.data()));
  Words even(RSA_PRIME_BUFFER_WORDS, 0);
  even[0] = 4;
  EXPECT_EQ(0, bn_miller_rabin(rng.get(), even.data(), 3, scratch.data()));
  even[0] = 2;
  EXPECT_EQ(1, bn_miller_rabin(rng.get(), even.data(), 3, scratch.data()));
  rsatest::FailingRandom failing;
  errno = 0;
  EXPECT_EQ(-1, bn_miller_rabin(rng.get(), montgomery(k2048.p, 32).data(), 3, scratch.data()));
  EXPECT_EQ(v7::kErrRandomContext, errno);
}

// Odd primes below 17864 (the first 2048 primes, without 2), by trial division.
std::vector<uint32_t> table_primes() {
  std::vector<uint32_t> primes;
  for (uint32_t x = 3; primes.size() < 2047; x += 2) {
    bool prime = true;
    for (uint32_t p : primes) {
      if (p * p > x) break;
      if (x % p == 0) prime = false;
    }
    if (prime) primes.push_back(x);
  }
  return primes;
}

TEST(PrimeCandidate, SievedAgainstTheTableForNumberAndNumberMinusOne) {
  std::vector<uint32_t> primes = table_primes();
  ASSERT_EQ(17863u, primes.back());
  Rng rng(rng_new(RNG_TYPE_SYSTEM));
  Words c(RSA_PRIME_BUFFER_WORDS);
  for (int i = 0; i < 4; i++) {
    ASSERT_EQ(0, bn_prime_candidate(rng.get(), c.data()));
    EXPECT_EQ(1024u, mp_bit_length(32, c.data()));
    EXPECT_EQ(3u, c[31] >> 30);
    EXPECT_EQ(1u, c[0] & 1);
    for (uint32_t r : primes) {
      uint32_t residue = bn_mod_word_1024(c.data(), r);
      ASSERT_GT(residue, 1u) << "r = " << r;  // r divides neither c nor c - 1
    }
  }
  rsatest::FailingRandom failing;
  EXPECT_EQ(v7::kErrRandomContext, bn_prime_candidate(rng.get(), c.data()));
  EXPECT_EQ(v7::kErrRandomContext, bn_gen_prime(c.data(), Words(bn_gen_prime_scratch_words()).data()));
}

TEST(PrimeGeneration, GivesAProbablePrimeWithItsMontgomeryValues) {
  Words prime(RSA_PRIME_BUFFER_WORDS), scratch(bn_gen_prime_scratch_words());
  ASSERT_EQ(0, bn_gen_prime(prime.data(), scratch.data()));
  EXPECT_EQ(1024u, mp_bit_length(32, prime.data()));
  EXPECT_EQ(0xFFFFFFFFu, prime[0] * prime[64]);
  Rng rng(rng_new(RNG_TYPE_SYSTEM));
  Words mr(bn_miller_rabin_scratch_words());
  EXPECT_EQ(1, bn_miller_rabin(rng.get(), prime.data(), 20, mr.data()));
  EXPECT_EQ(v7::kErrInvalidParameter, bn_gen_prime(nullptr, scratch.data()));
}

Words key_number(const RSA_CTX *ctx, int which) {
  size_t words = 0;
  const uint32_t *p = rsa_key_number(ctx, which, &words);
  return p ? Words(p, p + words) : Words();
}

// a * b mod m == 1, by the toolkit's product and division (checked elsewhere against OpenSSL).
bool product_is_one_mod(const Words &a, const Words &b, const Words &m) {
  Words prod(a.size() + b.size()), r(m.size());
  Words scratch(bn_mul_scratch_words(a.size(), b.size()) + bn_divmod_scratch_words(prod.size(), m.size()));
  return bn_mul(prod.data(), a.data(), a.size(), b.data(), b.size(), scratch.data()) &&
         bn_divmod(0, nullptr, r.data(), prod.data(), prod.size(), m.data(), m.size(), scratch.data()) &&
         mp_is_one(r.data(), r.size());
}

Words minus_one(Words x) {
  x[0] -= 1;  // odd primes
  return x;
}

TEST(KeyGeneration, GeneratedKeysHaveTheRequiredShape) {
  // One key: generation is slow under the sanitizers, and the OpenSSL tests check two more.
  {
    Rsa ctx(rsa_new());
    ASSERT_EQ(RSA_GENERATED_PRIME_BITS, rsa_generate_key(ctx.get()));
    EXPECT_EQ(RSA_KIND_PRIVATE, rsa_key_kind(ctx.get()));
    Words n = key_number(ctx.get(), RSA_NUMBER_N), e = key_number(ctx.get(), RSA_NUMBER_E);
    Words p = key_number(ctx.get(), RSA_NUMBER_P), q = key_number(ctx.get(), RSA_NUMBER_Q);
    Words d = key_number(ctx.get(), RSA_NUMBER_D), dp = key_number(ctx.get(), RSA_NUMBER_DP);
    Words dq = key_number(ctx.get(), RSA_NUMBER_DQ), qinv = key_number(ctx.get(), RSA_NUMBER_QINV);
    ASSERT_EQ(64u, n.size());
    ASSERT_EQ(32u, p.size());
    ASSERT_EQ(32u, q.size());
    EXPECT_EQ(Words{65535}, e);
    EXPECT_EQ(2048u, mp_bit_length(n.size(), n.data()));
    EXPECT_EQ(3u, p[31] >> 30);
    EXPECT_EQ(3u, q[31] >> 30);
    EXPECT_NE(p, q);
    Words phi(64), scratch(bn_mul_scratch_words(32, 32));
    ASSERT_EQ(1, bn_mul(phi.data(), minus_one(p).data(), 32, minus_one(q).data(), 32, scratch.data()));
    EXPECT_TRUE(product_is_one_mod(e, d, phi));
    EXPECT_TRUE(product_is_one_mod(e, dp, minus_one(p)));
    EXPECT_TRUE(product_is_one_mod(e, dq, minus_one(q)));
    EXPECT_TRUE(product_is_one_mod(q, qinv, p));

    Bytes msg = {'k', 'e', 'y'}, sig(256), ct(256), out(256);
    ASSERT_EQ(256,
              rsa_private_encrypt(256, ctx.get(), msg.data(), msg.size(), &RSA_PAD_PSS_SHA256, sig.data()));
    EXPECT_EQ(1, rsa_public_decrypt(ctx.get(), msg.data(), msg.size(), &RSA_PAD_PSS_SHA256, sig.data(), 256));
    ASSERT_EQ(256, rsa_public_encrypt(ctx.get(), 256, msg.data(), msg.size(), &RSA_PAD_OAEP, ct.data()));
    ASSERT_EQ(3, rsa_private_decrypt(ctx.get(), ct.data(), 256, &RSA_PAD_OAEP, out.data(), 256));
  }
}

TEST(KeyGeneration, FailsClosedWithoutTheSystemSource) {
  Rsa ctx = rsatest::private_key("k1024");
  rsatest::FailingRandom failing;
  EXPECT_EQ(v7::kErrRandomContext, code_of([&] { return rsa_generate_key(ctx.get()); }));
  EXPECT_EQ(RSA_KIND_EMPTY, ctx->kind);
  EXPECT_EQ(nullptr, ctx->words);
  EXPECT_EQ(v7::kErrInvalidParameter, code_of([] { return rsa_generate_key(nullptr); }));
}

}  // namespace
