// Products and squares of every size from 1 to 70 words against schoolbook rows and an
// independent reference, with output and scratch guarded at exactly their documented sizes.
#include <cerrno>

#include "platform/errors/errno_util.h"
#include "tests/crypto/bignum/bn_test_util.h"

using bntest::Guarded;
using bntest::Num;

namespace {

constexpr size_t kMaxWords = 70;

Num schoolbook(const Num &a, const Num &b) {
  Guarded out(a.size() + b.size());
  bn_mul_schoolbook(a.size(), out.data(), a.data(), b.data(), b.size());
  EXPECT_TRUE(out.intact());
  return out.value();
}

Num mul(const Num &a, const Num &b) {
  Guarded out(a.size() + b.size());
  Guarded scratch(bn_mul_scratch_words(a.size(), b.size()));
  EXPECT_EQ(bn_mul(out.data(), a.data(), a.size(), b.data(), b.size(), scratch.data()), 1);
  EXPECT_TRUE(out.intact()) << a.size() << "x" << b.size();
  EXPECT_TRUE(scratch.intact()) << a.size() << "x" << b.size();
  return out.value();
}

TEST(BignumMul, SchoolbookMatchesReference) {
  std::mt19937 rng(1);
  for (size_t n = 0; n <= 12; n++) {
    for (size_t m = 0; m <= 12; m++) {
      Num a = bntest::random_num(rng, n), b = bntest::random_num(rng, m);
      EXPECT_EQ(schoolbook(a, b), bntest::ref_mul(a, b)) << n << "x" << m;
    }
  }
}

TEST(BignumMul, CombaProducts) {
  using Fn = void (*)(uint32_t *, const uint32_t *, const uint32_t *);
  const Fn comba[] = {bn_mul_comba2, bn_mul_comba3, bn_mul_comba4, bn_mul_comba5,
                      bn_mul_comba6, bn_mul_comba7, bn_mul_comba8};
  std::mt19937 rng(2);
  for (size_t k = 2; k <= 8; k++) {
    for (int i = 0; i < 50; i++) {
      Num a = bntest::random_num(rng, k), b = bntest::random_num(rng, k);
      Guarded out(2 * k);
      comba[k - 2](out.data(), a.data(), b.data());
      EXPECT_EQ(out.value(), schoolbook(a, b)) << k;
      EXPECT_TRUE(out.intact());
    }
  }
}

// Equal sizes cover n mod c = 0 (Karatsuba at once), 1 (two rows on top) and the padded sizes;
// with all ones among the inputs the middle term's carry word reaches its maximum.
TEST(BignumMul, EqualSizesOneToSeventy) {
  std::mt19937 rng(3);
  for (size_t n = 1; n <= kMaxWords; n++) {
    for (int i = 0; i < 4; i++) {
      Num a = bntest::random_num(rng, n), b = bntest::random_num(rng, n);
      Num want = schoolbook(a, b);
      EXPECT_EQ(mul(a, b), want) << n;

      Guarded out(2 * n), scratch(bn_mul_karatsuba_scratch_words(n));
      ASSERT_EQ(bn_mul_karatsuba(out.data(), a.data(), b.data(), n, scratch.data()), 1);
      EXPECT_EQ(out.value(), want) << n;
      EXPECT_TRUE(out.intact() && scratch.intact()) << n;
      EXPECT_LT(bn_mul_karatsuba_scratch_words(n), 4 * n);
    }
  }
}

TEST(BignumMul, UnequalSizesOneToSeventy) {
  std::mt19937 rng(4);
  for (size_t la = 1; la <= kMaxWords; la++) {
    for (size_t lb = 1; lb < la; lb++) {
      Num a = bntest::random_num(rng, la), b = bntest::random_num(rng, lb);
      Num want = schoolbook(a, b);
      ASSERT_EQ(mul(a, b), want) << la << "x" << lb;
      ASSERT_EQ(mul(b, a), want) << lb << "x" << la;
    }
  }
}

TEST(BignumMul, ZeroLengthAndBadArguments) {
  Num a = {5, 6};
  Guarded out(2);
  EXPECT_EQ(bn_mul(out.data(), a.data(), 2, nullptr, 0, nullptr), 1);
  EXPECT_EQ(out.value(), (Num{0, 0}));
  EXPECT_TRUE(out.intact());

  errno = 0;
  EXPECT_EQ(bn_mul(out.data(), a.data(), 2, nullptr, 2, nullptr), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  Num big(20, 1), out40(40);
  errno = 0;
  EXPECT_EQ(bn_mul(out40.data(), big.data(), 20, big.data(), 20, nullptr), 0);  // scratch needed
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  errno = 0;
  EXPECT_EQ(bn_mul_karatsuba(out40.data(), big.data(), big.data(), 20, nullptr), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST(BignumSqr, SquaresOneToSeventy) {
  std::mt19937 rng(5);
  for (size_t n = 1; n <= kMaxWords; n++) {
    for (int i = 0; i < 4; i++) {
      Num a = bntest::random_num(rng, n);
      Num want = schoolbook(a, a);

      Guarded out(2 * n), scratch(bn_sqr_scratch_words(n));
      ASSERT_EQ(bn_sqr(out.data(), a.data(), n, scratch.data()), 1);
      EXPECT_EQ(out.value(), want) << n;
      EXPECT_TRUE(out.intact() && scratch.intact()) << n;

      Guarded rows(2 * n);
      bn_sqr_schoolbook(a.data(), rows.data(), n, nullptr);
      EXPECT_EQ(rows.value(), want) << n;
      EXPECT_TRUE(rows.intact()) << n;
    }
  }
  errno = 0;
  EXPECT_EQ(bn_sqr(nullptr, nullptr, 4, nullptr), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

}  // namespace
