// Long division by the classical method (normalise, estimate each quotient word from the top two
// words, correct with the second divisor word, multiply-subtract, add back on a borrow).
#include "platform/errors/errno_util.h"
#include "crypto/bignum/internal.h"

namespace {

// u[0..n] -= q * v[0..n); returns 1 when the result went negative.
uint32_t mul_sub_row(uint32_t *u, const uint32_t *v, size_t n, uint32_t q) {
  // carry holds the high product word plus the borrow; it stays below 2^32 (a full product word
  // of all ones comes with a zero low word, which cannot borrow).
  uint64_t carry = 0;
  for (size_t i = 0; i < n; i++) {
    uint64_t p = (uint64_t)q * v[i] + carry;
    uint32_t lo = (uint32_t)p, x = u[i];
    u[i] = x - lo;
    carry = (p >> 32) + (x < lo);
  }
  uint32_t top = u[n];
  u[n] = top - (uint32_t)carry;
  return top < carry;
}

void write_out(uint32_t *out, size_t out_words, const uint32_t *value, size_t value_words) {
  if (!out) return;
  size_t k = value_words < out_words ? value_words : out_words;
  v7::bn_copy(out, value, k);
  v7::bn_zero(out + k, out_words - k);
}

}  // namespace

namespace v7 {

int bn_divmod_counted(size_t q_words, uint32_t *q, uint32_t *r, const uint32_t *a, size_t a_words,
                      const uint32_t *m, size_t m_words, uint32_t *scratch, unsigned *add_backs) {
  if ((a_words && !a) || (m_words && !m)) {
    return with_errno(kErrInvalidParameter, 0);
  }
  if (!q) q_words = 0;
  size_t na = mp_word_count(a_words, a), nm = mp_word_count(m_words, m);
  if (nm == 0) {
    write_out(q, q_words, nullptr, 0);
    write_out(r, m_words, nullptr, 0);
    return with_errno(kErrInvalidParameter, 0);
  }
  if (na < nm || (na == nm && mp_cmp(a, m, na) < 0)) {
    write_out(r, m_words, a, na);
    write_out(q, q_words, nullptr, 0);
    return 1;
  }
  // The quotient has na - nm words, plus one when the top nm words of a are not below m.
  size_t q_len = na - nm + (mp_cmp(a + na - nm, m, nm) >= 0 ? 1 : 0);
  if (q && q_words < q_len) return with_errno(kErrInsufficientBuffer, 0);
  if (!scratch) return with_errno(kErrInvalidParameter, 0);

  if (na == nm && mp_bit_length(na, a) == mp_bit_length(nm, m)) {
    // Same top bit: a < 2m, so the quotient is 1 (equal numbers give a zero remainder).
    uint32_t *diff = scratch;
    mp_sub(m, diff, a, nm);
    write_out(r, m_words, diff, nm);
    if (q) {
      write_out(q, q_words, nullptr, 0);
      q[0] = 1;
    }
    return 1;
  }

  uint32_t *u = scratch;  // na + 1 words: the running remainder, normalised
  if (nm == 1) {
    // Short division; the two-word estimate below needs a second divisor word.
    uint32_t v = m[0];
    uint64_t rem = 0;
    for (size_t i = na; i-- > 0;) {
      uint64_t num = (rem << 32) | a[i];
      u[i] = (uint32_t)(num / v);
      rem = num % v;
    }
    uint32_t rw = (uint32_t)rem;
    write_out(q, q_words, u, q_len);
    write_out(r, m_words, &rw, 1);
    return 1;
  }

  uint32_t *v = scratch + na + 1;  // nm words: the normalised divisor
  unsigned shift = (unsigned)(32 - mp_word_bits(m[nm - 1]));
  bn_shift_left(u, na + 1, shift, a, na);
  bn_shift_left(v, nm, shift, m, nm);
  // From here on only the normalised copies are read, so q and r may be a or m.
  const uint32_t v1 = v[nm - 1], v2 = v[nm - 2];
  for (size_t j = na - nm + 1; j-- > 0;) {
    uint32_t *uj = u + j;
    uint32_t top = uj[nm], next = uj[nm - 1], third = uj[nm - 2];
    uint64_t qhat, rhat;
    if (top == v1) {
      // The true estimate would be at least 2^32: take all ones, with rhat = top*W + next - qhat*v1.
      qhat = 0xFFFFFFFFu;
      rhat = (uint64_t)next + v1;
    } else {
      uint64_t num = ((uint64_t)top << 32) | next;
      qhat = num / v1;
      rhat = num % v1;
    }
    while (rhat <= 0xFFFFFFFFu && qhat * v2 > ((rhat << 32) | third)) {
      qhat--;
      rhat += v1;
    }
    if (mul_sub_row(uj, v, nm, (uint32_t)qhat)) {
      // Still one too large: the third divisor word tipped it. Add the divisor back.
      qhat--;
      uj[nm] += mp_add(uj, uj, v, nm);
      if (add_backs) ++*add_backs;
    }
    // The quotient word goes to the slot just vacated: u[j + nm] is zero now, and the quotient
    // words collect in the top of u, above the remainder.
    uj[nm] = (uint32_t)qhat;
  }
  // u now holds the remainder in words [0, nm) and the quotient in words [nm, na + 1).
  if (q) write_out(q, q_words, u + nm, q_len);
  if (r) {
    bn_shift_right(shift, nm, u, nm, u);
    write_out(r, m_words, u, nm);
  }
  return 1;
}

}  // namespace v7

int bn_divmod(size_t q_words, uint32_t *q, uint32_t *r, const uint32_t *a, size_t a_words, const uint32_t *m,
              size_t m_words, uint32_t *scratch) {
  return v7::bn_divmod_counted(q_words, q, r, a, a_words, m, m_words, scratch, nullptr);
}
