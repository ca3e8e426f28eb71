// Internals of the multi-precision arithmetic shared between its source files. The kernels here
// check nothing: the public entry points validate and then call them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "crypto/bignum/bignum.h"

#if defined(__GNUC__)
#define V7_BN_INLINE inline __attribute__((always_inline))
#else
#define V7_BN_INLINE inline
#endif

namespace v7 {

inline void bn_zero(uint32_t *a, size_t n) {
  if (n) std::memset(a, 0, n * sizeof(uint32_t));
}
inline void bn_copy(uint32_t *out, const uint32_t *a, size_t n) {
  if (n && out != a) std::memmove(out, a, n * sizeof(uint32_t));
}

// acc[0..n) += a[0..n) * w; returns the carry word and leaves acc[n] alone. The sum
// acc + a*w + carry never exceeds 64 bits: (2^32-1)^2 + 2 (2^32-1) = 2^64 - 1.
V7_BN_INLINE uint32_t bn_mul_add_row(uint32_t *acc, const uint32_t *a, size_t n, uint32_t w) {
  uint64_t carry = 0;
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    uint64_t p0 = (uint64_t)a[i] * w + acc[i] + carry;
    acc[i] = (uint32_t)p0;
    uint64_t p1 = (uint64_t)a[i + 1] * w + acc[i + 1] + (p0 >> 32);
    acc[i + 1] = (uint32_t)p1;
    uint64_t p2 = (uint64_t)a[i + 2] * w + acc[i + 2] + (p1 >> 32);
    acc[i + 2] = (uint32_t)p2;
    uint64_t p3 = (uint64_t)a[i + 3] * w + acc[i + 3] + (p2 >> 32);
    acc[i + 3] = (uint32_t)p3;
    carry = p3 >> 32;
  }
  for (; i < n; i++) {
    uint64_t p = (uint64_t)a[i] * w + acc[i] + carry;
    acc[i] = (uint32_t)p;
    carry = p >> 32;
  }
  return (uint32_t)carry;
}

// Adds `add` into the words of r from the start of r up to (not including) r_end, and runs the
// carry on. The caller knows the exact sum fits, so the carry dies before r_end.
V7_BN_INLINE void bn_add_carry_run(uint32_t *r, size_t r_words, uint32_t add) {
  for (size_t i = 0; add && i < r_words; i++) {
    uint32_t x = r[i] + add;
    add = x < add;
    r[i] = x;
  }
}

// The combining step of Karatsuba products and squares, in one pass: with lo = r[0..n) and
// hi = r[n..2n) (n even, h = n / 2), r += (lo + hi + d) W^h, or (lo + hi - d) W^h when subtract
// is set. The caller knows the middle term is nonnegative. Word i of the pass overwrites r[h+i],
// which for i < h is lo[h+i], still to be read; those h words are kept in `saved` first.
V7_BN_INLINE void bn_karatsuba_combine(uint32_t *r, size_t n, const uint32_t *d, bool subtract,
                                       uint32_t *saved) {
  size_t h = n / 2;
  // Subtraction adds the two's complement ~d + 1 = W^n - d; the W^n comes off the carry below.
  const uint32_t flip = subtract ? 0xFFFFFFFFu : 0;
  uint64_t acc = subtract ? 1 : 0;
  for (size_t i = 0; i < h; i++) {
    uint32_t cur = r[h + i];
    saved[i] = cur;
    acc += (uint64_t)cur + r[i] + r[n + i] + (d[i] ^ flip);
    r[h + i] = (uint32_t)acc;
    acc >>= 32;
  }
  for (size_t i = h; i < n; i++) {
    acc += (uint64_t)r[h + i] + saved[i - h] + r[n + i] + (d[i] ^ flip);
    r[h + i] = (uint32_t)acc;
    acc >>= 32;
  }
  bn_add_carry_run(r + h + n, h, (uint32_t)(acc - (subtract ? 1 : 0)));
}

// The recursive kernels behind bn_mul_karatsuba and bn_sqr: 2n-word out, scratch as documented
// in bignum.h, no argument checks.
void bn_karatsuba_core(uint32_t *out, const uint32_t *a, const uint32_t *b, size_t n, uint32_t *scratch);
void bn_sqr_core(uint32_t *out, const uint32_t *a, size_t n, uint32_t *scratch);
// The dispatch behind bn_mul, any sizes.
void bn_mul_core(uint32_t *out, const uint32_t *a, size_t a_words, const uint32_t *b, size_t b_words,
                 uint32_t *scratch);

// Unrolled products and squares of 1..8 words (2n-word out).
void bn_mul_comba(size_t n, uint32_t *out, const uint32_t *a, const uint32_t *b);
void bn_sqr_comba(size_t n, uint32_t *out, const uint32_t *a);

// bn_divmod with a counter of the add-back corrections (the rare case where the two-word
// estimate of a quotient word is still one too large), so tests can prove they reach it.
// add_backs may be null.
int bn_divmod_counted(size_t q_words, uint32_t *q, uint32_t *r, const uint32_t *a, size_t a_words,
                      const uint32_t *m, size_t m_words, uint32_t *scratch, unsigned *add_backs);

// Montgomery reduction of the 2n-word t in place (t is destroyed); the n-word result goes to out,
// which must not overlap t. Requires t < m * R; then out < m.
void bn_mont_reduce_core(uint32_t *t, const uint32_t *m, size_t n, uint32_t m_prime, uint32_t *out);

// The exponentiation's window width for an exponent of this many bits.
inline size_t bn_window_width(size_t bits) {
  return bits >= 672 ? 6 : bits >= 240 ? 5 : bits >= 80 ? 4 : bits >= 24 ? 3 : 1;
}

}  // namespace v7
