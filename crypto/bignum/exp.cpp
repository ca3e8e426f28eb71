// Modular exponentiation: left-to-right sliding window over Montgomery products.
//
// The window makes the sequence of squarings and multiplications, and so the time taken, depend
// on the exponent's bits. It is not a constant-time exponentiation.
#include "platform/errors/errno_util.h"
#include "crypto/bignum/internal.h"

namespace {

// The working areas carved out of the caller's scratch: 2^(w-1) table entries of n words, the
// accumulator (n), the double-length product (2n) and the product's own scratch (4n, which covers
// both Karatsuba and squaring at every size).
struct Mont {
  size_t n;
  const uint32_t *m;
  uint32_t m_prime;
  uint32_t *t;
  uint32_t *ks;

  void mul(uint32_t *out, const uint32_t *x, const uint32_t *y) const {
    v7::bn_karatsuba_core(t, x, y, n, ks);
    v7::bn_mont_reduce_core(t, m, n, m_prime, out);
  }
  void sqr(uint32_t *out, const uint32_t *x) const {
    v7::bn_sqr_core(t, x, n, ks);
    v7::bn_mont_reduce_core(t, m, n, m_prime, out);
  }
};

inline unsigned bit(const uint32_t *e, size_t i) { return (e[i / 32] >> (i % 32)) & 1; }

// The window that starts at bit i (a set bit): at most w bits, not below bit 0, ending in a set
// bit. Returns its value and sets low to its lowest bit.
uint32_t window_at(const uint32_t *e, size_t i, size_t w, size_t &low) {
  low = i + 1 >= w ? i + 1 - w : 0;
  while (!bit(e, low)) low++;
  uint32_t value = 0;
  for (size_t k = i + 1; k-- > low;) value = (value << 1) | bit(e, k);
  return value;
}

}  // namespace

size_t bn_mod_exp_scratch_words(size_t e_words, const uint32_t *e, size_t n) {
  size_t bits = e ? mp_bit_length(e_words, e) : 0;
  size_t factor = ((size_t)1 << (v7::bn_window_width(bits) - 1)) + 7;
  return n > SIZE_MAX / factor ? 0 : n * factor;
}

int bn_mod_exp(uint32_t *scratch, size_t n, uint32_t *out, const uint32_t *base, size_t base_words,
               const uint32_t *e, size_t e_words, const uint32_t *m) {
  if (n == 0 || !scratch || !out || !m || (base_words && !base) || (e_words && !e)) {
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  // An even modulus has no Montgomery form; a stale m' or R^2 would give silent garbage.
  if (!(m[0] & 1) || m[0] * m[2 * n] != 0xFFFFFFFFu || mp_cmp(m + n, m, n) >= 0) {
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  size_t base_len = mp_word_count(base_words, base);
  if (base_len > n) return v7::with_errno(v7::kErrInvalidParameter, 0);

  size_t bits = mp_bit_length(e_words, e);
  if (bits == 0) {
    // x^0 = 1, reduced: for the modulus 1 that is 0.
    v7::bn_zero(out, n);
    out[0] = mp_is_one(m, n) ? 0 : 1;
    return 1;
  }
  size_t w = v7::bn_window_width(bits), entries = (size_t)1 << (w - 1);
  uint32_t *table = scratch, *acc = table + entries * n;
  Mont mont{n, m, m[2 * n], acc + n, acc + 3 * n};

  // Entry k holds x^(2k+1) with x the base in Montgomery form; base < R suffices for the first
  // product to be below m R.
  v7::bn_copy(acc, base, base_len);
  v7::bn_zero(acc + base_len, n - base_len);
  mont.mul(table, acc, m + n);
  if (w > 1) {
    mont.sqr(acc, table);
    for (size_t k = 1; k < entries; k++) mont.mul(table + k * n, table + (k - 1) * n, acc);
  }

  size_t low;
  uint32_t value = window_at(e, bits - 1, w, low);
  v7::bn_copy(acc, table + (value >> 1) * n, n);
  for (size_t i = low; i-- > 0;) {
    if (!bit(e, i)) {
      mont.sqr(acc, acc);
      continue;
    }
    value = window_at(e, i, w, low);
    for (size_t k = i + 1; k > low; k--) mont.sqr(acc, acc);
    mont.mul(acc, acc, table + (value >> 1) * n);
    i = low;
  }

  // Out of Montgomery form: reduce acc itself (acc < m, so acc < m R).
  v7::bn_copy(mont.t, acc, n);
  v7::bn_zero(mont.t + n, n);
  v7::bn_mont_reduce_core(mont.t, m, n, mont.m_prime, out);
  return 1;
}
