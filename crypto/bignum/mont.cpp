// Montgomery setup and reduction.
#include "platform/errors/errno_util.h"
#include "crypto/bignum/internal.h"

namespace {

// -m0^-1 mod 2^32 for odd m0. Newton's iteration doubles the correct low bits each step (m0 is its
// own inverse mod 8), giving the same word as the extended Euclidean algorithm without branches.
uint32_t neg_inverse_word(uint32_t m0) {
  uint32_t x = m0;
  for (int i = 0; i < 4; i++) x *= 2 - m0 * x;
  return 0u - x;
}

// The reduction runs column by column (product scanning) rather than row by row: column k sums
// t[k], the products u[i] m[k - i] and the carry in a 96-bit accumulator, and the quotient digit
// u[k] = (column sum) m' mod 2^32 is the same digit the row order would pick, so the result is
// the same. The rows' long carry chains are gone, which is most of the reduction's time. The
// digits u[k] replace t[k] once column k has consumed it, and the result words replace t[n..2n).
struct Acc {
  uint64_t lo = 0;
  uint32_t hi = 0;
};

V7_BN_INLINE void acc_add(Acc &c, uint64_t x) {
  c.lo += x;
  c.hi += c.lo < x;
}

V7_BN_INLINE uint32_t acc_shift(Acc &c) {
  uint32_t w = (uint32_t)c.lo;
  c.lo = (c.lo >> 32) | ((uint64_t)c.hi << 32);
  c.hi = 0;
  return w;
}

// Returns the carry word above t[2n) (0 or 1 for t < m R).
uint32_t reduce_columns(uint32_t *t, const uint32_t *m, size_t n, uint32_t m_prime) {
  Acc c;
  for (size_t k = 0; k < n; k++) {
    acc_add(c, t[k]);
    for (size_t i = 0; i < k; i++) acc_add(c, (uint64_t)t[i] * m[k - i]);
    uint32_t u = (uint32_t)c.lo * m_prime;
    t[k] = u;
    acc_add(c, (uint64_t)u * m[0]);
    acc_shift(c);
  }
  for (size_t k = n; k < 2 * n; k++) {
    acc_add(c, t[k]);
    for (size_t i = k - n + 1; i < n; i++) acc_add(c, (uint64_t)t[i] * m[k - i]);
    t[k] = acc_shift(c);
  }
  return (uint32_t)c.lo;
}

// The same with a compile-time size, every column unrolled: the 1024-bit primes of RSA.
template <size_t N, size_t K, size_t First, size_t... I>
V7_BN_INLINE void column_products(Acc &c, const uint32_t *t, const uint32_t *m, std::index_sequence<I...>) {
  (acc_add(c, (uint64_t)t[First + I] * m[K - First - I]), ...);
}

template <size_t N, size_t K>
V7_BN_INLINE void low_column(Acc &c, uint32_t *t, const uint32_t *m, uint32_t m_prime) {
  acc_add(c, t[K]);
  column_products<N, K, 0>(c, t, m, std::make_index_sequence<K>());
  uint32_t u = (uint32_t)c.lo * m_prime;
  t[K] = u;
  acc_add(c, (uint64_t)u * m[0]);
  acc_shift(c);
}

template <size_t N, size_t K>
V7_BN_INLINE void high_column(Acc &c, uint32_t *t, const uint32_t *m) {
  acc_add(c, t[K]);
  column_products<N, K, K - N + 1>(c, t, m, std::make_index_sequence<2 * N - 1 - K>());
  t[K] = acc_shift(c);
}

template <size_t N, size_t... K>
V7_BN_INLINE uint32_t reduce_fixed(uint32_t *t, const uint32_t *m, uint32_t m_prime,
                                   std::index_sequence<K...>) {
  Acc c;
  (low_column<N, K>(c, t, m, m_prime), ...);
  (high_column<N, N + K>(c, t, m), ...);
  return (uint32_t)c.lo;
}

// The layout checks every Montgomery routine can afford: an odd modulus, m' matching it, and
// R^2 mod m below m. They catch a modulus that was never set up.
bool layout_ok(const uint32_t *m, size_t n) {
  return n > 0 && (m[0] & 1) && m[0] * m[2 * n] == 0xFFFFFFFFu && mp_cmp(m + n, m, n) < 0;
}

}  // namespace

namespace v7 {

void bn_mont_reduce_core(uint32_t *t, const uint32_t *m, size_t n, uint32_t m_prime, uint32_t *out) {
  // The carry out of word 2n is kept in `top` rather than in a 2n+1st word of t.
  uint32_t top = n == 32 ? reduce_fixed<32>(t, m, m_prime, std::make_index_sequence<32>())
                         : reduce_columns(t, m, n, m_prime);
  const uint32_t *u = t + n;
  if (top || mp_cmp(u, m, n) >= 0) {
    mp_sub(m, out, u, n);
  } else {
    bn_copy(out, u, n);
  }
}

}  // namespace v7

int bn_mont_setup(uint32_t *scratch, uint32_t *m, size_t n) {
  if (!scratch || !m || n == 0 || !(m[0] & 1)) return v7::with_errno(v7::kErrInvalidParameter, 0);
  // R^2 mod m as the remainder of 2^(64n) by m.
  uint32_t *r2 = scratch;
  v7::bn_zero(r2, 2 * n);
  r2[2 * n] = 1;
  if (!bn_divmod(0, nullptr, m + n, r2, 2 * n + 1, m, n, scratch + 2 * n + 1)) return 0;
  m[2 * n] = neg_inverse_word(m[0]);
  return 1;
}

int bn_mont_reduce(const uint32_t *t, size_t t_words, uint32_t *scratch, uint32_t *out, const uint32_t *m,
                   size_t n) {
  if (!scratch || !out || !m || (t_words && !t) || t_words > 2 * n || !layout_ok(m, n)) {
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  uint32_t *w = scratch;
  v7::bn_copy(w, t, t_words);
  v7::bn_zero(w + t_words, 2 * n + 1 - t_words);
  uint32_t top = reduce_columns(w, m, n, m[2 * n]);
  // For t < m R the value (t + k m) / R is below 2m and one subtraction suffices. A larger t is
  // caught here instead of being returned unreduced.
  uint32_t *u = w + n;
  if (top || mp_cmp(u, m, n) >= 0) top -= mp_sub(m, u, u, n);
  if (top || mp_cmp(u, m, n) >= 0) return v7::with_errno(v7::kErrInvalidParameter, 0);
  v7::bn_copy(out, u, n);
  return 1;
}
