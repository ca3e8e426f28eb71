// Column-wise (comba) products and squares of 1..8 words. They are the leaves of every Karatsuba
// and squaring recursion (a 32-word product ends in 9 of them), so they are straight-line code:
// the columns are expanded at compile time from index sequences, with no loop left at run time.
//
// A column sum is kept in 96 bits (a 64-bit low part and a 32-bit high part): at most eight
// 64-bit products plus the carry from the previous column.
#include "crypto/bignum/internal.h"

namespace {

struct Acc {
  uint64_t lo = 0;
  uint32_t hi = 0;
};

V7_BN_INLINE void mac(Acc &c, uint32_t x, uint32_t y) {
  uint64_t p = (uint64_t)x * y;
  c.lo += p;
  c.hi += c.lo < p;
}

V7_BN_INLINE void add(Acc &c, const Acc &x) {
  c.lo += x.lo;
  c.hi += x.hi + (c.lo < x.lo);
}

// Emits the low word of the column and moves the accumulator down by one word.
V7_BN_INLINE uint32_t shift_out(Acc &c) {
  uint32_t w = (uint32_t)c.lo;
  c.lo = (c.lo >> 32) | ((uint64_t)c.hi << 32);
  c.hi = 0;
  return w;
}

// Column k of an n x n product holds a[i] * b[k - i] for first(k) <= i <= last(k).
constexpr size_t first(size_t n, size_t k) { return k < n ? 0 : k - n + 1; }
constexpr size_t last(size_t n, size_t k) { return k < n ? k : n - 1; }

template <size_t N, size_t K, size_t... I>
V7_BN_INLINE void mul_column(Acc &c, const uint32_t *a, const uint32_t *b, std::index_sequence<I...>) {
  (mac(c, a[first(N, K) + I], b[K - first(N, K) - I]), ...);
}

template <size_t N, size_t K>
V7_BN_INLINE void mul_column_out(Acc &c, uint32_t *out, const uint32_t *a, const uint32_t *b) {
  mul_column<N, K>(c, a, b, std::make_index_sequence<last(N, K) - first(N, K) + 1>());
  out[K] = shift_out(c);
}

template <size_t N, size_t... K>
V7_BN_INLINE void comba_mul(uint32_t *out, const uint32_t *a, const uint32_t *b, std::index_sequence<K...>) {
  Acc c;
  (mul_column_out<N, K>(c, out, a, b), ...);
  out[2 * N - 1] = (uint32_t)c.lo;
}

// Squares: the cross products a[i] * a[k - i] with i < k - i are summed once and doubled, then
// the diagonal a[k/2]^2 of an even column is added.
constexpr size_t cross_count(size_t n, size_t k) {
  return (k + 1) / 2 > first(n, k) ? (k + 1) / 2 - first(n, k) : 0;
}

template <size_t N, size_t K, size_t... I>
V7_BN_INLINE void sqr_column(Acc &c, const uint32_t *a, std::index_sequence<I...>) {
  Acc x;
  (mac(x, a[first(N, K) + I], a[K - first(N, K) - I]), ...);
  x.hi = (x.hi << 1) | (uint32_t)(x.lo >> 63);
  x.lo <<= 1;
  add(c, x);
  if (K % 2 == 0) mac(c, a[K / 2], a[K / 2]);
}

template <size_t N, size_t K>
V7_BN_INLINE void sqr_column_out(Acc &c, uint32_t *out, const uint32_t *a) {
  sqr_column<N, K>(c, a, std::make_index_sequence<cross_count(N, K)>());
  out[K] = shift_out(c);
}

template <size_t N, size_t... K>
V7_BN_INLINE void comba_sqr(uint32_t *out, const uint32_t *a, std::index_sequence<K...>) {
  Acc c;
  (sqr_column_out<N, K>(c, out, a), ...);
  out[2 * N - 1] = (uint32_t)c.lo;
}

template <size_t N>
void mul_n(uint32_t *out, const uint32_t *a, const uint32_t *b) {
  comba_mul<N>(out, a, b, std::make_index_sequence<2 * N - 1>());
}

template <size_t N>
void sqr_n(uint32_t *out, const uint32_t *a) {
  comba_sqr<N>(out, a, std::make_index_sequence<2 * N - 1>());
}

void mul_1(uint32_t *out, const uint32_t *a, const uint32_t *b) {
  uint64_t p = (uint64_t)a[0] * b[0];
  out[0] = (uint32_t)p;
  out[1] = (uint32_t)(p >> 32);
}

}  // namespace

void bn_mul_comba2(uint32_t *out, const uint32_t *a, const uint32_t *b) { mul_n<2>(out, a, b); }
void bn_mul_comba3(uint32_t *out, const uint32_t *a, const uint32_t *b) { mul_n<3>(out, a, b); }
void bn_mul_comba4(uint32_t *out, const uint32_t *a, const uint32_t *b) { mul_n<4>(out, a, b); }
void bn_mul_comba5(uint32_t *out, const uint32_t *a, const uint32_t *b) { mul_n<5>(out, a, b); }
void bn_mul_comba6(uint32_t *out, const uint32_t *a, const uint32_t *b) { mul_n<6>(out, a, b); }
void bn_mul_comba7(uint32_t *out, const uint32_t *a, const uint32_t *b) { mul_n<7>(out, a, b); }
void bn_mul_comba8(uint32_t *out, const uint32_t *a, const uint32_t *b) { mul_n<8>(out, a, b); }

namespace v7 {

void bn_mul_comba(size_t n, uint32_t *out, const uint32_t *a, const uint32_t *b) {
  using Fn = void (*)(uint32_t *, const uint32_t *, const uint32_t *);
  static constexpr Fn kByWords[9] = {nullptr,       mul_1,         bn_mul_comba2,
                                     bn_mul_comba3, bn_mul_comba4, bn_mul_comba5,
                                     bn_mul_comba6, bn_mul_comba7, bn_mul_comba8};
  kByWords[n](out, a, b);
}

void bn_sqr_comba(size_t n, uint32_t *out, const uint32_t *a) {
  using Fn = void (*)(uint32_t *, const uint32_t *);
  static constexpr Fn kByWords[9] = {nullptr,  sqr_n<1>, sqr_n<2>, sqr_n<3>, sqr_n<4>,
                                     sqr_n<5>, sqr_n<6>, sqr_n<7>, sqr_n<8>};
  kByWords[n](out, a);
}

}  // namespace v7
