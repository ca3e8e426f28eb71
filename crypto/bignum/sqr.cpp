// Squares: about half the word products of a general product, which is why every squaring of the
// exponentiation comes here rather than to bn_mul.
#include "platform/errors/errno_util.h"
#include "crypto/bignum/internal.h"

void bn_sqr_schoolbook(const uint32_t *a, uint32_t *out, size_t n, uint32_t *scratch) {
  (void)scratch;
  if (n <= 8) {
    if (n) v7::bn_sqr_comba(n, out, a);
    return;
  }
  // Cross products a[i] a[j] (i < j): row i lands at word 2i + 1 and sets the word after its end,
  // which the previous row left unwritten.
  out[0] = 0;
  mp_mul_word(a + 1, out + 1, a[0], n - 1);
  for (size_t i = 1; i + 1 < n; i++) mp_mul_word_add(n - 1 - i, out + 2 * i + 1, a + i + 1, a[i]);
  out[2 * n - 1] = 0;
  // The cross sum is below W^(2n) / 2, so doubling it cannot overflow out.
  bn_shift_left(out, 2 * n, 1, out, 2 * n);
  uint32_t carry = 0;
  for (size_t i = 0; i < n; i++) {
    uint64_t p = (uint64_t)a[i] * a[i];
    uint64_t s = (uint64_t)out[2 * i] + (uint32_t)p + carry;
    out[2 * i] = (uint32_t)s;
    s = (uint64_t)out[2 * i + 1] + (uint32_t)(p >> 32) + (s >> 32);
    out[2 * i + 1] = (uint32_t)s;
    carry = (uint32_t)(s >> 32);
  }
}

namespace v7 {

void bn_sqr_core(uint32_t *r, const uint32_t *a, size_t n, uint32_t *t) {
  if (n <= 8) {
    if (n) bn_sqr_comba(n, r, a);
    return;
  }
  if (n % 2) {
    bn_sqr_schoolbook(a, r, n, nullptr);
    return;
  }
  // (a0 + a1 W^h)^2 = a0^2 + (a0^2 + a1^2 - (a0 - a1)^2) W^h + a1^2 W^n.
  // t: |a0 - a1| (h words, the rest of the first n words unused), its square (n words), then the
  // recursion's scratch: the same layout as the Karatsuba product.
  size_t h = n / 2;
  const uint32_t *a0 = a, *a1 = a + h;
  if (mp_cmp(a0, a1, h) >= 0) {
    mp_sub(a1, t, a0, h);
  } else {
    mp_sub(a0, t, a1, h);
  }
  uint32_t *d = t + n, *rest = t + 2 * n;
  bn_sqr_core(d, t, h, rest);
  bn_sqr_core(r, a0, h, rest);
  bn_sqr_core(r + n, a1, h, rest);
  bn_karatsuba_combine(r, n, d, true, t);
}

}  // namespace v7

int bn_sqr(uint32_t *out, const uint32_t *a, size_t n, uint32_t *scratch) {
  if (n && (!out || !a || (!scratch && bn_sqr_scratch_words(n)))) {
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  v7::bn_sqr_core(out, a, n, scratch);
  return 1;
}
