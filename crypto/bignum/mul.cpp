// Products: schoolbook rows, Karatsuba on even sizes, and the size-driven dispatch of bn_mul.
#include "platform/errors/errno_util.h"
#include "crypto/bignum/internal.h"

namespace {

size_t round_up(size_t n, size_t c) { return (n + c - 1) / c * c; }

// The chunk size of the dispatch: c = 2^(bit length of n - 3), so that n / c lies in [4, 8).
size_t chunk_of(size_t n) {
  int bits = 0;
  while ((n >> bits) != 0) bits++;
  return bits >= 3 ? (size_t)1 << (bits - 3) : 1;
}

// r[0..r_words) += p[0..p_words) with the carry run to the end of r.
void add_into(uint32_t *r, size_t r_words, const uint32_t *p, size_t p_words) {
  uint32_t carry = mp_add(r, r, p, p_words);
  v7::bn_add_carry_run(r + p_words, r_words - p_words, carry);
}

// Zero-extends a and b to `padded` words in scratch, multiplies them by Karatsuba and keeps the
// low out_words words of the product. The padded product is longer than out, which is why it is
// formed in scratch: writing it to out would run past out's end.
void mul_padded(uint32_t *out, size_t out_words, const uint32_t *a, size_t a_words, const uint32_t *b,
                size_t b_words, size_t padded, uint32_t *scratch) {
  uint32_t *pa = scratch, *pb = scratch + padded, *p = scratch + 2 * padded;
  v7::bn_copy(pa, a, a_words);
  v7::bn_zero(pa + a_words, padded - a_words);
  v7::bn_copy(pb, b, b_words);
  v7::bn_zero(pb + b_words, padded - b_words);
  v7::bn_karatsuba_core(p, pa, pb, padded, scratch + 4 * padded);
  v7::bn_copy(out, p, out_words);
}

// Two equal sizes above 8 words.
void mul_equal(uint32_t *r, const uint32_t *a, const uint32_t *b, size_t n, uint32_t *scratch) {
  size_t c = chunk_of(n);
  if (n % c == 0) {
    v7::bn_karatsuba_core(r, a, b, n, scratch);
  } else if (n % c == 1) {
    // (a' + x W^k)(b' + y W^k) = a'b' + (x b') W^k + (y a) W^k. The rows go in this order
    // because each one sets (not adds) the word above its end: first r[2k], then r[2k + 1].
    size_t k = n - 1;
    v7::bn_karatsuba_core(r, a, b, k, scratch);
    mp_mul_word_add(k, r + k, b, a[k]);
    mp_mul_word_add(n, r + k, a, b[k]);
  } else {
    mul_padded(r, 2 * n, a, n, b, n, round_up(n, c), scratch);
  }
}

// Unequal sizes, a the longer (la > lb >= 4).
void mul_unequal(uint32_t *r, const uint32_t *a, size_t la, const uint32_t *b, size_t lb, uint32_t *scratch) {
  size_t c = chunk_of(lb);
  if (lb % c <= 1) {
    // Low k words of both by Karatsuba, the rest of a times b's low k words recursively, and
    // for lb = k + 1 one more row for b's top word.
    size_t k = lb % c == 0 ? lb : lb - 1;
    v7::bn_karatsuba_core(r, a, b, k, scratch);
    uint32_t *hi = scratch;  // la words
    v7::bn_mul_core(hi, a + k, la - k, b, k, scratch + la);
    uint32_t carry = mp_add(r + k, r + k, hi, k);
    for (size_t i = k; i < la; i++) {
      uint32_t x = hi[i] + carry;
      carry = x < carry;
      r[k + i] = x;
    }
    if (lb != k) mp_mul_word_add(la, r + k, a, b[k]);
    return;
  }
  size_t chunk = round_up(lb, c);
  if (la < chunk) {
    // Not even one whole chunk of a: chunking would recurse on the same sizes for ever.
    mul_padded(r, la + lb, a, la, b, lb, chunk, scratch);
    return;
  }
  size_t whole = la / chunk, rest = la % chunk, top = whole * chunk;
  if (rest) {
    v7::bn_mul_core(r + top, a + top, rest, b, lb, scratch);
  } else {
    v7::bn_zero(r + top, lb);
  }
  v7::bn_zero(r, top);
  uint32_t *pb = scratch, *p = scratch + chunk;
  v7::bn_copy(pb, b, lb);
  v7::bn_zero(pb + lb, chunk - lb);
  for (size_t i = 0; i < top; i += chunk) {
    v7::bn_karatsuba_core(p, a + i, pb, chunk, scratch + 3 * chunk);
    // Only chunk + lb words of the product can be nonzero; the full 2 * chunk would pass the end
    // of r at the last chunk.
    add_into(r + i, la + lb - i, p, chunk + lb);
  }
}

size_t mul_scratch(size_t la, size_t lb);

size_t equal_scratch(size_t n) {
  if (n <= 8) return 0;
  size_t c = chunk_of(n);
  if (n % c == 0) return bn_mul_karatsuba_scratch_words(n);
  if (n % c == 1) return bn_mul_karatsuba_scratch_words(n - 1);
  size_t padded = round_up(n, c);
  return 4 * padded + bn_mul_karatsuba_scratch_words(padded);
}

size_t mul_scratch(size_t la, size_t lb) {
  if (la < lb) std::swap(la, lb);
  if (lb == 0) return 0;
  if (la == lb) return equal_scratch(la);
  if (lb < 4) return 0;
  size_t c = chunk_of(lb);
  if (lb % c <= 1) {
    size_t k = lb % c == 0 ? lb : lb - 1;
    size_t kara = bn_mul_karatsuba_scratch_words(k), rec = la + mul_scratch(la - k, k);
    return kara > rec ? kara : rec;
  }
  size_t chunk = round_up(lb, c);
  if (la < chunk) return 4 * chunk + bn_mul_karatsuba_scratch_words(chunk);
  size_t rest = la % chunk;
  size_t rec = rest ? mul_scratch(rest, lb) : 0, chunks = 3 * chunk + bn_mul_karatsuba_scratch_words(chunk);
  return rec > chunks ? rec : chunks;
}

}  // namespace

namespace v7 {

void bn_karatsuba_core(uint32_t *r, const uint32_t *a, const uint32_t *b, size_t n, uint32_t *t) {
  if (n <= 8) {
    if (n) bn_mul_comba(n, r, a, b);
    return;
  }
  if (n % 2) {
    bn_mul_schoolbook(n, r, a, b, n);
    return;
  }
  size_t h = n / 2;
  const uint32_t *a0 = a, *a1 = a + h, *b0 = b, *b1 = b + h;
  // t: |a0 - a1| (h words), |b1 - b0| (h words), their product (n words), then the recursion's
  // own scratch. (a0 - a1)(b1 - b0) = a0 b1 + a1 b0 - a0 b0 - a1 b1.
  bool negative = false;
  if (mp_cmp(a0, a1, h) >= 0) {
    mp_sub(a1, t, a0, h);
  } else {
    mp_sub(a0, t, a1, h);
    negative = !negative;
  }
  if (mp_cmp(b1, b0, h) >= 0) {
    mp_sub(b0, t + h, b1, h);
  } else {
    mp_sub(b1, t + h, b0, h);
    negative = !negative;
  }
  uint32_t *d = t + n, *rest = t + 2 * n;
  bn_karatsuba_core(d, t, t + h, h, rest);
  bn_karatsuba_core(r, a0, b0, h, rest);
  bn_karatsuba_core(r + n, a1, b1, h, rest);
  // The middle term a0 b1 + a1 b0 is nonnegative; t's first h words are free again.
  bn_karatsuba_combine(r, n, d, negative, t);
}

void bn_mul_core(uint32_t *r, const uint32_t *a, size_t la, const uint32_t *b, size_t lb, uint32_t *scratch) {
  if (la < lb) {
    std::swap(a, b);
    std::swap(la, lb);
  }
  if (lb == 0) {
    bn_zero(r, la);
  } else if (la == lb) {
    if (la <= 8) {
      bn_mul_comba(la, r, a, b);
    } else {
      mul_equal(r, a, b, la, scratch);
    }
  } else if (lb < 4) {
    bn_mul_schoolbook(la, r, a, b, lb);
  } else {
    mul_unequal(r, a, la, b, lb, scratch);
  }
}

}  // namespace v7

size_t bn_mul_scratch_words(size_t a_words, size_t b_words) { return mul_scratch(a_words, b_words); }

void bn_mul_schoolbook(size_t n, uint32_t *out, const uint32_t *a, const uint32_t *b, size_t m) {
  if (m == 0) {
    v7::bn_zero(out, n);
    return;
  }
  mp_mul_word(a, out, b[0], n);
  for (size_t j = 1; j < m; j++) mp_mul_word_add(n, out + j, a, b[j]);
}

int bn_mul(uint32_t *out, const uint32_t *a, size_t a_words, const uint32_t *b, size_t b_words,
           uint32_t *scratch) {
  if ((a_words + b_words && !out) || (a_words && !a) || (b_words && !b) ||
      (!scratch && bn_mul_scratch_words(a_words, b_words))) {
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  v7::bn_mul_core(out, a, a_words, b, b_words, scratch);
  return 1;
}

int bn_mul_karatsuba(uint32_t *out, const uint32_t *a, const uint32_t *b, size_t n, uint32_t *scratch) {
  if (n && (!out || !a || !b || (!scratch && bn_mul_karatsuba_scratch_words(n)))) {
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  v7::bn_karatsuba_core(out, a, b, n, scratch);
  return 1;
}
