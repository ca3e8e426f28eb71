// Helpers of the multi-precision tests: seeded random numbers, buffers with guard words (they
// catch overruns in the Windows builds, where no AddressSanitizer runs), and slow reference
// arithmetic that shares no code with the routines under test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crypto/bignum/bignum.h"

namespace bntest {

using Num = std::vector<uint32_t>;

// Random words; every fifth number is all ones or has long runs of ones and zeros, where carries
// and borrows travel furthest.
inline Num random_num(std::mt19937 &rng, size_t n) {
  Num a(n);
  switch (rng() % 5) {
    case 0:
      for (auto &w : a) w = 0xFFFFFFFFu;
      break;
    case 1:
      for (auto &w : a) w = (rng() & 1) ? 0xFFFFFFFFu : (rng() & 3) ? 0 : rng();
      break;
    default:
      for (auto &w : a) w = rng();
  }
  return a;
}

// A random n-word number with its top bit set (odd when asked).
inline Num random_full(std::mt19937 &rng, size_t n, bool odd) {
  Num a(n);
  for (auto &w : a) w = rng();
  a[n - 1] |= 0x80000000u;
  if (odd) a[0] |= 1;
  return a;
}

// A random number of exactly `bits` bits (bits > 0) in ceil(bits / 32) words.
inline Num random_bits(std::mt19937 &rng, size_t bits) {
  Num a((bits + 31) / 32);
  for (auto &w : a) w = rng();
  unsigned top = (unsigned)((bits - 1) % 32);
  a.back() &= top == 31 ? 0xFFFFFFFFu : (2u << top) - 1;
  a.back() |= 1u << top;
  return a;
}

// n words with `guard` words of a known pattern on each side.
class Guarded {
 public:
  explicit Guarded(size_t n, size_t guard = 8) : n_(n), g_(guard), v_(n + 2 * guard, kPattern) {}
  uint32_t *data() { return v_.data() + g_; }
  size_t size() const { return n_; }
  Num value() const { return Num(v_.begin() + g_, v_.begin() + g_ + n_); }
  bool intact() const {
    for (size_t i = 0; i < g_; i++) {
      if (v_[i] != kPattern || v_[g_ + n_ + i] != kPattern) return false;
    }
    return true;
  }
  void fill(uint32_t w) { std::fill(v_.begin() + g_, v_.begin() + g_ + n_, w); }

 private:
  static constexpr uint32_t kPattern = 0xA5C3A5C3u;
  size_t n_, g_;
  Num v_;
};

inline Num trimmed(Num a) {
  while (!a.empty() && a.back() == 0) a.pop_back();
  return a;
}

inline std::string hex(const Num &a) {
  static const char digits[] = "0123456789abcdef";
  Num t = trimmed(a);
  if (t.empty()) return "0";
  std::string s;
  for (size_t i = t.size(); i-- > 0;) {
    for (int k = 28; k >= 0; k -= 4) s += digits[(t[i] >> k) & 15];
  }
  return s.substr(s.find_first_not_of('0'));
}

// Equality of values regardless of leading zero words.
inline ::testing::AssertionResult same_value(const Num &got, const Num &want) {
  if (trimmed(got) == trimmed(want)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "got " << hex(got) << "\nwant " << hex(want);
}

// Reference arithmetic: word-by-word schoolbook and bit-by-bit shift-and-subtract division.
inline Num ref_mul(const Num &a, const Num &b) {
  Num r(a.size() + b.size(), 0);
  for (size_t i = 0; i < a.size(); i++) {
    uint64_t carry = 0;
    for (size_t j = 0; j < b.size(); j++) {
      uint64_t t = (uint64_t)a[i] * b[j] + r[i + j] + carry;
      r[i + j] = (uint32_t)t;
      carry = t >> 32;
    }
    for (size_t k = i + b.size(); carry; k++) {
      uint64_t t = (uint64_t)r[k] + carry;
      r[k] = (uint32_t)t;
      carry = t >> 32;
    }
  }
  return r;
}

inline int ref_cmp(const Num &a, const Num &b) {
  Num x = trimmed(a), y = trimmed(b);
  if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
  for (size_t i = x.size(); i-- > 0;) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

inline void ref_sub_in_place(Num &a, const Num &b) {  // a -= b, a >= b
  int64_t borrow = 0;
  for (size_t i = 0; i < a.size(); i++) {
    int64_t t = (int64_t)a[i] - (i < b.size() ? b[i] : 0) - borrow;
    borrow = t < 0;
    a[i] = (uint32_t)t;
  }
}

// q and r of a / m (m nonzero).
inline void ref_divmod(const Num &a, const Num &m, Num *q, Num *r) {
  Num rem(trimmed(m).size() + 1, 0), quo(a.size(), 0);
  for (size_t bit = 32 * a.size(); bit-- > 0;) {
    for (size_t i = rem.size(); i-- > 1;) rem[i] = (rem[i] << 1) | (rem[i - 1] >> 31);
    rem[0] = (rem[0] << 1) | ((a[bit / 32] >> (bit % 32)) & 1);
    if (ref_cmp(rem, m) >= 0) {
      ref_sub_in_place(rem, m);
      quo[bit / 32] |= 1u << (bit % 32);
    }
  }
  if (q) *q = quo;
  if (r) *r = rem;
}

inline Num ref_mod(const Num &a, const Num &m) {
  Num r;
  ref_divmod(a, m, nullptr, &r);
  r.resize(m.size());
  return r;
}

// base^e mod m by plain left-to-right square-and-multiply.
inline Num ref_mod_exp(const Num &base, const Num &e, const Num &m) {
  Num acc(m.size(), 0);
  acc[0] = 1;
  acc = ref_mod(acc, m);
  Num b = ref_mod(base, m);
  for (size_t bit = 32 * e.size(); bit-- > 0;) {
    acc = ref_mod(ref_mul(acc, acc), m);
    if ((e[bit / 32] >> (bit % 32)) & 1) acc = ref_mod(ref_mul(acc, b), m);
  }
  return acc;
}

// A Montgomery modulus (2n + 1 words) for the n-word odd m.
inline Num mont_modulus(const Num &m) {
  size_t n = m.size();
  Num mm(2 * n + 1, 0), scratch(bn_mont_setup_scratch_words(n));
  std::copy(m.begin(), m.end(), mm.begin());
  EXPECT_EQ(bn_mont_setup(scratch.data(), mm.data(), n), 1);
  return mm;
}

// base^e mod m through bn_mod_exp with a guarded scratch of exactly the advertised size.
inline Num mod_exp(const Num &base, const Num &e, const Num &mm, size_t n) {
  Guarded scratch(bn_mod_exp_scratch_words(e.size(), e.data(), n));
  Num out(n, 0xDEADBEEFu);
  EXPECT_EQ(
      bn_mod_exp(scratch.data(), n, out.data(), base.data(), base.size(), e.data(), e.size(), mm.data()), 1);
  EXPECT_TRUE(scratch.intact());
  return out;
}

}  // namespace bntest
