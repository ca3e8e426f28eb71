#include <algorithm>
#include <cerrno>

#include "platform/errors/errno_util.h"
#include "tests/crypto/bignum/bn_test_util.h"

using bntest::Guarded;
using bntest::Num;

namespace {

Num inverse(const Num &a, const Num &m) {
  Guarded out(m.size()), scratch(bn_mod_inverse_scratch_words(a.size(), m.size()));
  EXPECT_EQ(bn_mod_inverse(m.size(), out.data(), a.data(), a.size(), m.data(), scratch.data()), 1);
  EXPECT_TRUE(out.intact() && scratch.intact());
  return out.value();
}

bool is_inverse(const Num &x, const Num &a, const Num &m) {
  return bntest::same_value(bntest::ref_mod(bntest::ref_mul(x, a), m), bntest::ref_mod(Num{1}, m));
}

// Binary gcd: shifts and subtractions only, fast enough for 64-word numbers.
Num gcd(Num x, Num y) {
  auto is_zero = [](const Num &v) { return bntest::trimmed(v).empty(); };
  auto halve = [](Num &v) {
    for (size_t i = 0; i < v.size(); i++) v[i] = (v[i] >> 1) | (i + 1 < v.size() ? v[i + 1] << 31 : 0);
  };
  size_t size = std::max(x.size(), y.size()), twos = 0;
  x.resize(size);
  y.resize(size);
  if (is_zero(x)) return y;
  if (is_zero(y)) return x;
  while (((x[0] | y[0]) & 1) == 0) {
    halve(x);
    halve(y);
    twos++;
  }
  while (!is_zero(x)) {
    while ((x[0] & 1) == 0) halve(x);
    while ((y[0] & 1) == 0) halve(y);
    if (bntest::ref_cmp(x, y) >= 0) {
      bntest::ref_sub_in_place(x, y);
    } else {
      bntest::ref_sub_in_place(y, x);
    }
  }
  Num pow2(twos / 32 + 1, 0);
  pow2[twos / 32] = 1u << (twos % 32);
  return bntest::ref_mul(y, pow2);
}

struct Case {
  Num a, m, want;
};

TEST(BignumModInverse, KnownValues) {
  const Case cases[] = {
      {{3}, {11}, {4}},
      {{10}, {17}, {12}},
      {{1}, {97}, {1}},
      {{96}, {97}, {96}},                 // -1 is its own inverse
      {{65535}, {0x10001}, {0x8000}},     // 65535 = -2 mod 65537
      {{0x10001}, {0, 1}, {0xFFFF0001}},  // even modulus 2^32
  };
  for (const Case &c : cases) {
    Num got = inverse(c.a, c.m);
    EXPECT_TRUE(bntest::same_value(got, c.want)) << bntest::hex(c.a) << " mod " << bntest::hex(c.m);
    EXPECT_TRUE(is_inverse(got, c.a, c.m));
  }
  // A dividend longer than the modulus is reduced first: 7 + 4 * 2^64 = 5 mod 11.
  EXPECT_TRUE(bntest::same_value(inverse(Num{7, 0, 4}, Num{11}), Num{9}));
}

// 65535 = 3 * 5 * 17 * 257 has no inverse modulo a multiple of 3: the value returned must fail
// the caller's multiply-back check.
TEST(BignumModInverse, NoInverseFailsTheCheck) {
  std::mt19937 rng(13);
  const Num moduli[] = {
      {3}, {65535}, {0x30000}, bntest::ref_mul(Num{3}, bntest::random_full(rng, 32, false))};
  for (const Num &m : moduli) {
    Num got = inverse(Num{65535}, m);
    EXPECT_FALSE(is_inverse(got, Num{65535}, m)) << bntest::hex(m);
    EXPECT_LT(bntest::ref_cmp(got, m), 0);
  }
  EXPECT_TRUE(bntest::same_value(inverse(Num{0}, Num{97}), Num{0}));
  EXPECT_TRUE(bntest::same_value(inverse(Num{97, 0}, Num{97}), Num{0}));
}

TEST(BignumModInverse, RandomOddAndEvenModuli) {
  std::mt19937 rng(14);
  for (size_t n : {1u, 2u, 7u, 32u, 64u}) {
    for (int i = 0; i < 6; i++) {
      Num m = bntest::random_full(rng, n, i % 2 == 0);
      Num a = bntest::random_num(rng, n + (i % 3));
      a[0] |= 1;
      Num got = inverse(a, m);
      EXPECT_LT(bntest::ref_cmp(got, m), 0);
      EXPECT_EQ(is_inverse(got, a, m), (bool)bntest::same_value(gcd(a, m), Num{1})) << n << " words";
    }
  }
}

TEST(BignumModInverse, OutputOverTheModulusAndBadArguments) {
  Num m = {11, 0}, a = {3};
  Num scratch(bn_mod_inverse_scratch_words(1, 2));
  ASSERT_EQ(bn_mod_inverse(2, m.data(), a.data(), 1, m.data(), scratch.data()), 1);
  EXPECT_EQ(m, (Num{4, 0}));
  Num zero = {0, 0}, out(2);
  errno = 0;
  EXPECT_EQ(bn_mod_inverse(2, out.data(), a.data(), 1, zero.data(), scratch.data()), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(bn_mod_inverse(2, out.data(), a.data(), 1, m.data(), nullptr), 0);
}

}  // namespace
