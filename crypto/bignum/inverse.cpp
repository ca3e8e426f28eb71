// Modular inverse by the extended Euclidean algorithm on unsigned numbers.
//
// With r0 = m, r1 = a mod m and r(i+1) = r(i-1) mod r(i), the coefficients t0 = 0, t1 = 1,
// t(i+1) = t(i-1) + q(i) t(i) satisfy t(i) a = (-1)^(i+1) r(i) mod m, so the signs need not be
// stored: the parity of the last index decides whether the inverse is t or m - t. Every t(i)
// stays at or below m, so n words hold them.
#include "platform/errors/errno_util.h"
#include "crypto/bignum/internal.h"

int bn_mod_inverse(size_t n, uint32_t *out, const uint32_t *a, size_t a_words, const uint32_t *m,
                   uint32_t *scratch) {
  if (n == 0 || !out || !m || !scratch || (a_words && !a) || mp_is_zero(m, n)) {
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  uint32_t *r[3] = {scratch, scratch + n, scratch + 2 * n};
  uint32_t *t[3] = {scratch + 3 * n, scratch + 4 * n, scratch + 5 * n};
  uint32_t *q = scratch + 6 * n, *prod = scratch + 7 * n, *ds = scratch + 9 * n;

  v7::bn_copy(r[0], m, n);
  if (!bn_divmod(0, nullptr, r[1], a, a_words, m, n, ds)) return 0;
  v7::bn_zero(t[0], n);
  v7::bn_zero(t[1], n);
  t[1][0] = 1;
  size_t index = 0;  // the index i of r[0] in the sequence above
  while (!mp_is_zero(r[1], n)) {
    if (!bn_divmod(n, q, r[2], r[0], n, r[1], n, ds)) return 0;
    size_t qn = mp_word_count(n, q), tn = mp_word_count(n, t[1]);
    // Quotients are mostly one word, where rows beat any faster product.
    bn_mul_schoolbook(qn, prod, q, t[1], tn);
    v7::bn_zero(prod + qn + tn, 2 * n - qn - tn);
    uint32_t carry = mp_add(t[0], t[2], prod, n);
    if (carry || !mp_is_zero(prod + n, n)) return v7::with_errno(v7::kErrInvalidParameter, 0);
    std::swap(r[0], r[1]);
    std::swap(r[1], r[2]);
    std::swap(t[0], t[1]);
    std::swap(t[1], t[2]);
    index++;
  }
  // r[0] is the gcd and t[0] a = (-1)^(index+1) r[0]. With a gcd above 1 the value below is no
  // inverse and the caller's check against 1 fails, as it must.
  // m is copied first: out may be m itself.
  uint32_t *mod = prod;
  v7::bn_copy(mod, m, n);
  if (index % 2 == 0) {
    mp_sub(t[0], out, mod, n);  // m - t; for t = 0 (a = 0 mod m) this is m, reduced below
  } else {
    v7::bn_copy(out, t[0], n);
  }
  if (mp_cmp(out, mod, n) >= 0) mp_sub(mod, out, out, n);
  return 1;
}
