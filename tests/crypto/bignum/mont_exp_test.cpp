#include <cerrno>

#include "platform/errors/errno_util.h"
#include "tests/crypto/bignum/bn_test_util.h"
#include "tests/harness/vectors.h"

using bntest::Guarded;
using bntest::Num;

namespace {

Num pow2_words(size_t words) {  // 2^(32 words)
  Num r(words + 1, 0);
  r[words] = 1;
  return r;
}

TEST(BignumMont, SetupFillsRSquaredAndMPrime) {
  std::mt19937 rng(9);
  for (size_t n : {1u, 2u, 5u, 32u, 33u}) {
    Num m = bntest::random_full(rng, n, true);
    if (n == 2) m[1] = 0;  // a leading zero word is allowed
    Num mm = bntest::mont_modulus(m);
    EXPECT_TRUE(
        bntest::same_value(Num(mm.begin() + n, mm.begin() + 2 * n), bntest::ref_mod(pow2_words(2 * n), m)));
    EXPECT_EQ(m[0] * mm[2 * n], 0xFFFFFFFFu);
  }
  Num even = {4, 1, 0, 0, 0}, scratch(bn_mont_setup_scratch_words(2));
  errno = 0;
  EXPECT_EQ(bn_mont_setup(scratch.data(), even.data(), 2), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST(BignumMont, ReductionInvertsMultiplicationByR) {
  std::mt19937 rng(10);
  for (size_t n : {1u, 3u, 8u, 32u, 64u, 65u}) {
    Num m = bntest::random_full(rng, n, true), mm = bntest::mont_modulus(m);
    for (int i = 0; i < 4; i++) {
      Num x = bntest::ref_mod(bntest::random_num(rng, n), m);
      // t = x R mod m, then reduce(t) = x.
      Num xr(n + x.size(), 0);
      std::copy(x.begin(), x.end(), xr.begin() + n);
      Num t = bntest::ref_mod(xr, m);
      Guarded scratch(bn_mont_reduce_scratch_words(n)), out(n);
      ASSERT_EQ(bn_mont_reduce(t.data(), n, scratch.data(), out.data(), mm.data(), n), 1);
      EXPECT_TRUE(bntest::same_value(out.value(), x)) << n;
      EXPECT_TRUE(scratch.intact() && out.intact());

      // A double-length t just below m R: out R = t mod m, out < m.
      Num big = bntest::ref_mul(m, pow2_words(n));
      bntest::ref_sub_in_place(big, Num{1 + (uint32_t)i});
      big.resize(2 * n);
      ASSERT_EQ(bn_mont_reduce(big.data(), 2 * n, scratch.data(), out.data(), mm.data(), n), 1);
      EXPECT_LT(bntest::ref_cmp(out.value(), m), 0);
      EXPECT_TRUE(bntest::same_value(bntest::ref_mod(bntest::ref_mul(out.value(), pow2_words(n)), m),
                                     bntest::ref_mod(big, m)));
    }
  }
}

TEST(BignumMont, ReductionRefusesOutOfRangeInput) {
  // m = 3 in two words (R = 2^64): t = R^2 - 1 is far above m R.
  Num mm = bntest::mont_modulus(Num{3, 0});
  Num t(4, 0xFFFFFFFFu), scratch(bn_mont_reduce_scratch_words(2)), out(2);
  errno = 0;
  EXPECT_EQ(bn_mont_reduce(t.data(), 4, scratch.data(), out.data(), mm.data(), 2), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  Num five(5, 1);  // more than 2n words
  EXPECT_EQ(bn_mont_reduce(five.data(), 5, scratch.data(), out.data(), mm.data(), 2), 0);
  // A modulus whose m' was never set up.
  Num stale = {3, 0, 0, 0, 0};
  EXPECT_EQ(bn_mont_reduce(t.data(), 1, scratch.data(), out.data(), stale.data(), 2), 0);
  // In place.
  Num x = {7, 0, 0, 0};
  ASSERT_EQ(bn_mont_reduce(x.data(), 4, scratch.data(), x.data(), mm.data(), 2), 1);
}

// The window widths change at 24, 80, 240 and 672 bits; each side of each boundary. The RSA
// sizes are covered by the known answers below and by the differential tests.
TEST(BignumModExp, WindowBoundariesAgreeWithSquareAndMultiply) {
  const size_t kBits[] = {1, 2, 23, 24, 79, 80, 239, 240, 671, 672, 700};
  std::mt19937 rng(11);
  for (size_t n : {1u, 4u, 9u}) {
    Num m = bntest::random_full(rng, n, true), mm = bntest::mont_modulus(m);
    for (size_t bits : kBits) {
      Num e = bntest::random_bits(rng, bits), base = bntest::random_num(rng, n);
      EXPECT_TRUE(bntest::same_value(bntest::mod_exp(base, e, mm, n), bntest::ref_mod_exp(base, e, m)))
          << n << " words, " << bits << "-bit exponent";
    }
  }
}

TEST(BignumModExp, KnownAnswers) {
  for (const auto &c : v7test::load_vectors("bignum_modexp.txt")) {
    SCOPED_TRACE(c.where());
    v7test::Bytes mb = c.bytes("m"), bb = c.bytes("base"), eb = c.bytes("e"), rb = c.bytes("result");
    size_t n = (mb.size() + 3) / 4, ne = (eb.size() + 3) / 4;
    Num m(n), base(n), e(ne), want(n);
    mp_from_bytes(n, m.data(), mb.data(), mb.size());
    mp_from_bytes(n, base.data(), bb.data(), bb.size());
    mp_from_bytes(ne, e.data(), eb.data(), eb.size());
    mp_from_bytes(n, want.data(), rb.data(), rb.size());
    Num mm = bntest::mont_modulus(m);
    EXPECT_EQ(bntest::mod_exp(base, e, mm, n), want);
  }
}

TEST(BignumModExp, SmallCasesAndAliasing) {
  Num mm = bntest::mont_modulus(Num{1000003});
  Num zero = {0}, one = {1};
  EXPECT_EQ(bntest::mod_exp(Num{12345}, zero, mm, 1), (Num{1}));  // x^0
  EXPECT_EQ(bntest::mod_exp(Num{0}, zero, mm, 1), (Num{1}));      // 0^0 = 1 too
  EXPECT_EQ(bntest::mod_exp(Num{0}, Num{5}, mm, 1), (Num{0}));
  EXPECT_EQ(bntest::mod_exp(Num{2}, Num{20}, mm, 1), (Num{(1u << 20) % 1000003}));
  EXPECT_EQ(bntest::mod_exp(Num{1000004}, Num{3}, mm, 1), (Num{1}));  // base above m
  // The modulus 1: everything, x^0 included, is 0.
  Num unit = bntest::mont_modulus(Num{1});
  EXPECT_EQ(bntest::mod_exp(Num{5}, zero, unit, 1), (Num{0}));
  EXPECT_EQ(bntest::mod_exp(Num{5}, Num{3}, unit, 1), (Num{0}));
  // Longer base with leading zero words, and an empty exponent.
  EXPECT_EQ(bntest::mod_exp(Num{3, 0, 0}, Num{4, 0}, mm, 1), (Num{81}));
  EXPECT_EQ(bntest::mod_exp(Num{3}, Num{}, mm, 1), (Num{1}));

  // out over base, out over e.
  Num scratch(bn_mod_exp_max_scratch_words(1)), x = {7}, e = {3};
  ASSERT_EQ(bn_mod_exp(scratch.data(), 1, x.data(), x.data(), 1, e.data(), 1, mm.data()), 1);
  EXPECT_EQ(x, (Num{343}));
  x = {7};
  ASSERT_EQ(bn_mod_exp(scratch.data(), 1, e.data(), x.data(), 1, e.data(), 1, mm.data()), 1);
  EXPECT_EQ(e, (Num{343}));
}

TEST(BignumModExp, RefusesBadModuliAndLongBases) {
  Num mm = bntest::mont_modulus(Num{1000003}), scratch(64), out(1);
  Num base2 = {1, 1}, e = {3};
  errno = 0;
  EXPECT_EQ(bn_mod_exp(scratch.data(), 1, out.data(), base2.data(), 2, e.data(), 1, mm.data()), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  Num even = {1000004, 0, 0};
  errno = 0;
  EXPECT_EQ(bn_mod_exp(scratch.data(), 1, out.data(), e.data(), 1, e.data(), 1, even.data()), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  Num not_set_up = {1000003, 0, 0};
  errno = 0;
  EXPECT_EQ(bn_mod_exp(scratch.data(), 1, out.data(), e.data(), 1, e.data(), 1, not_set_up.data()), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(bn_mod_exp(scratch.data(), 0, out.data(), e.data(), 1, e.data(), 1, mm.data()), 0);
  EXPECT_EQ(bn_mod_exp(nullptr, 1, out.data(), e.data(), 1, e.data(), 1, mm.data()), 0);
}

TEST(BignumModExp, ScratchFollowsTheWindowWidth) {
  struct {
    size_t bits, factor;
  } const cases[] = {{0, 8},    {1, 8},    {23, 8},   {24, 11},  {79, 11},  {80, 15},
                     {239, 15}, {240, 23}, {671, 23}, {672, 39}, {2048, 39}};
  std::mt19937 rng(12);
  for (const auto &c : cases) {
    Num e = c.bits ? bntest::random_bits(rng, c.bits) : Num{0};
    e.push_back(0);  // leading zero words do not count
    EXPECT_EQ(bn_mod_exp_scratch_words(e.size(), e.data(), 32), 32 * c.factor) << c.bits;
  }
  EXPECT_EQ(bn_mod_exp_max_scratch_words(64), 39u * 64);
  EXPECT_EQ(bn_mod_exp_scratch_words(0, nullptr, 5), 40u);
}

}  // namespace
