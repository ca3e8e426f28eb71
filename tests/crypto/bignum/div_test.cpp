#include <cerrno>

#include "platform/errors/errno_util.h"
#include "crypto/bignum/internal.h"
#include "tests/crypto/bignum/bn_test_util.h"

using bntest::Guarded;
using bntest::Num;

namespace {

struct Result {
  int ok;
  Num q, r;
  unsigned add_backs;
};

// Divides with guarded outputs of the caller's sizes and a scratch of exactly the documented size.
Result divide(const Num &a, const Num &m, size_t q_words) {
  Guarded q(q_words), r(m.size()), scratch(bn_divmod_scratch_words(a.size(), m.size()));
  Result res{};
  res.ok = v7::bn_divmod_counted(q_words, q.data(), r.data(), a.data(), a.size(), m.data(), m.size(),
                                 scratch.data(), &res.add_backs);
  EXPECT_TRUE(q.intact() && r.intact() && scratch.intact());
  res.q = q.value();
  res.r = r.value();
  return res;
}

void expect_matches_reference(const Num &a, const Num &m, const Result &res) {
  Num q, r;
  bntest::ref_divmod(a, m, &q, &r);
  ASSERT_EQ(res.ok, 1);
  EXPECT_TRUE(bntest::same_value(res.q, q)) << bntest::hex(a) << " / " << bntest::hex(m);
  EXPECT_TRUE(bntest::same_value(res.r, r)) << bntest::hex(a) << " / " << bntest::hex(m);
}

struct Case {
  const char *name;
  Num a, m;
  bool needs_add_back;
};

TEST(BignumDivmod, EdgeCases) {
  const Case cases[] = {
      {"one-word divisor", {0x89ABCDEF, 0x01234567, 0xFEDCBA98}, {0x10001}, false},
      {"one-word divisor, all ones", {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF}, {0xFFFFFFFF}, false},
      {"one-word divisor with leading zero words", {7, 0, 0}, {3, 0, 0}, false},
      {"equal numbers", {0x11111111, 0x80000001, 0x5}, {0x11111111, 0x80000001, 0x5}, false},
      {"dividend one less than divisor", {0x11111110, 0x80000001, 0x5}, {0x11111111, 0x80000001, 0x5}, false},
      {"same bit length, quotient 1", {0xFFFFFFFF, 0xFFFFFFFF}, {0x00000001, 0x80000000}, false},
      {"shorter dividend", {0x5}, {0x1, 0x1}, false},
      {"zero dividend", {0, 0}, {0x1, 0x1}, false},
      // Quotient estimates from the top two words that are one too large even after the
      // second-word correction (Knuth's step D6): the divisor must be added back.
      {"add back (a)", {0x80000000, 0xFFFFFFFE, 0x00000000, 0x7FFFFFFF}, {0xFFFFFFFF, 1, 0x80000000}, true},
      {"add back (b)",
       {0x00000000, 0xFFFFFFFF, 0x7FFFFFFF, 0x80000000},
       {0x00000001, 0x00000001, 0x80000001},
       true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Result res = divide(c.a, c.m, c.a.size());
    expect_matches_reference(c.a, c.m, res);
    EXPECT_EQ(res.add_backs > 0, c.needs_add_back);
  }
}

// In random inputs add-back happens about once in 2^31 quotient words; build many where the
// three top words of the running remainder sit just under the divisor's.
TEST(BignumDivmod, RandomAndNearBoundaryInputs) {
  std::mt19937 rng(6);
  unsigned add_backs = 0;
  for (int i = 0; i < 3000; i++) {
    size_t nm = 2 + rng() % 9, na = nm + rng() % 9;
    Num m = bntest::random_num(rng, nm), a = bntest::random_num(rng, na);
    if (m.back() == 0) m.back() = 1;
    if (i % 2) {
      // Top words of a equal to the divisor's top words with small perturbations.
      for (size_t k = 0; k < 3 && k < nm && k < na; k++) a[na - 1 - k] = m[nm - 1 - k] - (rng() % 2);
    }
    Result res = divide(a, m, na);
    expect_matches_reference(a, m, res);
    add_backs += res.add_backs;
  }
  EXPECT_GT(add_backs, 0u);
}

TEST(BignumDivmod, OutputsCanBeOmittedOrAliased) {
  std::mt19937 rng(8);
  Num a = bntest::random_num(rng, 9), m = bntest::random_full(rng, 4, false);
  Num q, r;
  bntest::ref_divmod(a, m, &q, &r);
  Num scratch(bn_divmod_scratch_words(9, 4));

  Num rem(4);
  ASSERT_EQ(bn_divmod(0, nullptr, rem.data(), a.data(), 9, m.data(), 4, scratch.data()), 1);
  EXPECT_TRUE(bntest::same_value(rem, r));
  Num quo(9);
  ASSERT_EQ(bn_divmod(9, quo.data(), nullptr, a.data(), 9, m.data(), 4, scratch.data()), 1);
  EXPECT_TRUE(bntest::same_value(quo, q));

  // Remainder over the dividend, quotient over the divisor.
  Num a2 = a, m2 = m;
  m2.resize(9);
  ASSERT_EQ(bn_divmod(9, m2.data(), a2.data(), a2.data(), 9, m2.data(), 4, scratch.data()), 1);
  a2.resize(4);
  EXPECT_TRUE(bntest::same_value(a2, r));
  EXPECT_TRUE(bntest::same_value(m2, q));
}

TEST(BignumDivmod, Failures) {
  Num a = {1, 2, 3}, zero = {0, 0}, scratch(16);
  Num q = {9, 9, 9}, r = {9, 9};
  errno = 0;
  EXPECT_EQ(bn_divmod(3, q.data(), r.data(), a.data(), 3, zero.data(), 2, scratch.data()), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(q, (Num{0, 0, 0}));
  EXPECT_EQ(r, (Num{0, 0}));

  // The quotient of {1,2,6} / {5} has three words, two do not hold it; {1,2,3} / {1,2,4} has
  // none, {1,2,3} / {1,2,1} one.
  Num five = {5}, a6 = {1, 2, 6};
  errno = 0;
  EXPECT_EQ(bn_divmod(2, q.data(), nullptr, a6.data(), 3, five.data(), 1, scratch.data()), 0);
  EXPECT_EQ(errno, v7::kErrInsufficientBuffer);
  Num big = {1, 2, 4}, r3(3);
  EXPECT_EQ(bn_divmod(0, q.data(), r3.data(), a.data(), 3, big.data(), 3, scratch.data()), 1);
  EXPECT_EQ(r3, a);
  Num m3 = {1, 2, 1}, q1(1);
  EXPECT_EQ(bn_divmod(1, q1.data(), nullptr, a.data(), 3, m3.data(), 3, scratch.data()), 1);
  EXPECT_EQ(q1, (Num{2}));
}

}  // namespace
