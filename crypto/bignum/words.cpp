// Word primitives: counts, comparisons, byte conversions, additions, word products and shifts.
#include "platform/errors/errno_util.h"
#include "crypto/bignum/internal.h"

namespace {

// Bit length of each byte value.
constexpr uint8_t kByteBits[256] = {
    0, 1, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5,
    6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
};

}  // namespace

size_t mp_word_count(size_t n, const uint32_t *a) {
  while (n > 0 && a[n - 1] == 0) n--;
  return n;
}

int mp_word_bits(uint32_t w) {
  if (w >> 16) return w >> 24 ? 24 + kByteBits[w >> 24] : 16 + kByteBits[w >> 16];
  return w >> 8 ? 8 + kByteBits[w >> 8] : kByteBits[w];
}

size_t mp_bit_length(size_t n, const uint32_t *a) {
  n = mp_word_count(n, a);
  return n == 0 ? 0 : 32 * (n - 1) + (size_t)mp_word_bits(a[n - 1]);
}

int mp_cmp(const uint32_t *a, const uint32_t *b, size_t n) {
  while (n-- > 0) {
    if (a[n] != b[n]) return a[n] > b[n] ? 1 : -1;
  }
  return 0;
}

int mp_is_zero(const uint32_t *a, size_t n) { return mp_word_count(n, a) == 0; }

int mp_is_one(const uint32_t *a, size_t n) { return n > 0 && a[0] == 1 && mp_word_count(n - 1, a + 1) == 0; }

void mp_from_bytes(size_t n, uint32_t *a, const uint8_t *bytes, size_t length) {
  v7::bn_zero(a, n);
  size_t take = length < 4 * n ? length : 4 * n;
  const uint8_t *end = bytes + length;
  for (size_t i = 0; i < take; i++) a[i / 4] |= (uint32_t)end[-1 - (ptrdiff_t)i] << (8 * (i % 4));
}

int mp_to_bytes(const uint32_t *a, size_t length, size_t n, uint8_t *out) {
  size_t needed = (mp_bit_length(n, a) + 7) / 8;
  for (size_t i = 0; i < length; i++) {
    out[length - 1 - i] = i < 4 * n ? (uint8_t)(a[i / 4] >> (8 * (i % 4))) : 0;
  }
  return needed > length ? 1 : 0;
}

uint32_t mp_add(const uint32_t *a, uint32_t *out, const uint32_t *b, size_t n) {
  uint64_t carry = 0;
  for (size_t i = 0; i < n; i++) {
    carry += (uint64_t)a[i] + b[i];
    out[i] = (uint32_t)carry;
    carry >>= 32;
  }
  return (uint32_t)carry;
}

uint32_t mp_sub(const uint32_t *b, uint32_t *out, const uint32_t *a, size_t n) {
  uint32_t borrow = 0;
  for (size_t i = 0; i < n; i++) {
    uint64_t d = (uint64_t)a[i] - b[i] - borrow;
    out[i] = (uint32_t)d;
    borrow = (uint32_t)(d >> 63);
  }
  return borrow;
}

void mp_mul_word(const uint32_t *a, uint32_t *out, uint32_t w, size_t n) {
  uint64_t carry = 0;
  for (size_t i = 0; i < n; i++) {
    carry += (uint64_t)a[i] * w;
    out[i] = (uint32_t)carry;
    carry >>= 32;
  }
  out[n] = (uint32_t)carry;
}

uint32_t mp_mul_word_add(size_t n, uint32_t *acc, const uint32_t *a, uint32_t w) {
  acc[n] = v7::bn_mul_add_row(acc, a, n, w);
  return acc[n];
}

void bn_shift_left(uint32_t *out, size_t out_words, size_t bits, const uint32_t *a, size_t a_words) {
  size_t words = bits / 32;
  unsigned s = (unsigned)(bits % 32);
  // From the top down, so that out may be a.
  for (size_t i = out_words; i-- > 0;) {
    uint32_t w = 0;
    if (i >= words) {
      size_t j = i - words;
      uint32_t hi = j < a_words ? a[j] : 0;
      uint32_t lo = (j >= 1 && j - 1 < a_words) ? a[j - 1] : 0;
      w = s ? (hi << s) | (lo >> (32 - s)) : hi;
    }
    out[i] = w;
  }
}

void bn_shift_right(size_t bits, size_t a_words, uint32_t *out, size_t out_words, const uint32_t *a) {
  size_t words = bits / 32;
  unsigned s = (unsigned)(bits % 32);
  // From the bottom up, so that out may be a.
  for (size_t i = 0; i < out_words; i++) {
    uint32_t w = 0;
    if (words < a_words && i < a_words - words) {
      size_t j = i + words;
      uint32_t lo = a[j];
      uint32_t hi = j + 1 < a_words ? a[j + 1] : 0;
      w = s ? (lo >> s) | (hi << (32 - s)) : lo;
    }
    out[i] = w;
  }
}

uint32_t bn_mod_word_1024(const uint32_t *a, uint32_t w) {
  if (w == 0 || a == nullptr) return v7::with_errno(v7::kErrInvalidParameter, (uint32_t)0);
  uint64_t r = 0;
  for (size_t i = 32; i-- > 0;) r = ((r << 32) | a[i]) % w;
  return (uint32_t)r;
}
