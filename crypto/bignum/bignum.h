// Unsigned multi-precision arithmetic on caller-owned arrays of 32-bit words, least significant
// word first, with explicit word counts (leading zero words are allowed everywhere).
//
// Nothing here allocates. Routines that need working space take a caller-provided scratch area;
// its size in words is given by the *_scratch_words function beside each routine. Scratch areas
// end up holding values derived from the inputs: a caller working on key material wipes them
// (v7::secure_wipe) before releasing them.
//
// A Montgomery modulus of n words is one array of 2n + 1 words: the odd modulus m, then R^2 mod m
// (R = 2^(32n)), then the word m' with m * m' = -1 mod 2^32. bn_mont_setup fills the last n + 1
// words; a number is thereby always followed by its own Montgomery values.
//
// The argument orders are historical and unusual (mp_sub (b, out, a, n) computes a - b); they are
// kept because other layers are written against them. Read the parameter names.
//
// Failure convention: the word primitives cannot fail and do not check their pointers (non-null
// for a nonzero count is their precondition). The routines that return int validate their
// arguments and return 1 on success, 0 on failure with errno set to kErrInvalidParameter (1001)
// or kErrInsufficientBuffer (1002); on failure their outputs are unspecified.
//
// Timing: comparisons, the division and the sliding-window exponentiation take data-dependent
// time. None of this is constant-time.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- Word primitives --------------------------------------------------------------------------

// Number of significant words: n minus the leading zero words (0 for zero).
size_t mp_word_count(size_t n, const uint32_t *a);

// Bit length of one word (0 for 0).
int mp_word_bits(uint32_t w);

// Bit length of the n-word number (0 for zero).
size_t mp_bit_length(size_t n, const uint32_t *a);

// 1, 0 or -1 as a > b, a = b, a < b; both n words.
int mp_cmp(const uint32_t *a, const uint32_t *b, size_t n);

// 1 or 0. A zero-word number is zero and not one.
int mp_is_zero(const uint32_t *a, size_t n);
int mp_is_one(const uint32_t *a, size_t n);

// Big-endian bytes into n words. Shorter input is zero-extended; longer input keeps only its
// last 4n bytes (the caller checks the length when silent truncation would matter). bytes may be
// null when length is 0.
void mp_from_bytes(size_t n, uint32_t *a, const uint8_t *bytes, size_t length);

// Exactly `length` big-endian bytes, zero-filled on the left. Returns 1 when the number needed
// more than `length` bytes (then only its low `length` bytes are written), else 0.
int mp_to_bytes(const uint32_t *a, size_t length, size_t n, uint8_t *out);

// out = a + b over n words; returns the carry (0 or 1). out may be a or b.
uint32_t mp_add(const uint32_t *a, uint32_t *out, const uint32_t *b, size_t n);

// out = a - b over n words (note the order); returns the borrow (0 or 1). out may be a or b.
uint32_t mp_sub(const uint32_t *b, uint32_t *out, const uint32_t *a, size_t n);

// out (n + 1 words) = a * w. out may be a (when a has room for n + 1 words).
void mp_mul_word(const uint32_t *a, uint32_t *out, uint32_t w, size_t n);

// acc (n words) += a * w, and acc[n] is SET to the carry word (overwritten, not added to);
// returns that carry word. acc must not overlap a.
uint32_t mp_mul_word_add(size_t n, uint32_t *acc, const uint32_t *a, uint32_t w);

// out = a << bits, truncated to out_words (zero when bits >= 32 * out_words). out may be a
// (same address), not a partial overlap.
void bn_shift_left(uint32_t *out, size_t out_words, size_t bits, const uint32_t *a, size_t a_words);

// out = a >> bits, zero-extended to out_words. out may be a (same address).
void bn_shift_right(size_t bits, size_t a_words, uint32_t *out, size_t out_words, const uint32_t *a);

// The remainder of a 32-word (1024-bit) number by w. w = 0 gives 0 with errno kErrInvalidParameter.
uint32_t bn_mod_word_1024(const uint32_t *a, uint32_t w);

// ---- Products and squares ---------------------------------------------------------------------
// No product or square output may overlap its inputs.

// out (a_words + b_words words) = a * b, by the size-driven dispatch over comba, Karatsuba and
// schoolbook rows. scratch: bn_mul_scratch_words(a_words, b_words) words (null when that is 0).
int bn_mul(uint32_t *out, const uint32_t *a, size_t a_words, const uint32_t *b, size_t b_words,
           uint32_t *scratch);
size_t bn_mul_scratch_words(size_t a_words, size_t b_words);

// out (2n words) = a * b for two n-word numbers. Even n above 8 recurse on halves; 1..8 words use
// the comba products and odd sizes schoolbook rows. scratch: bn_mul_karatsuba_scratch_words(n)
// words, always below 4n.
int bn_mul_karatsuba(uint32_t *out, const uint32_t *a, const uint32_t *b, size_t n, uint32_t *scratch);
constexpr size_t bn_mul_karatsuba_scratch_words(size_t n) {
  size_t words = 0;
  for (; n > 8 && n % 2 == 0; n /= 2) words += 2 * n;
  return words;
}

// out (2k words) = a * b for k-word a and b; straight-line code.
void bn_mul_comba2(uint32_t *out, const uint32_t *a, const uint32_t *b);
void bn_mul_comba3(uint32_t *out, const uint32_t *a, const uint32_t *b);
void bn_mul_comba4(uint32_t *out, const uint32_t *a, const uint32_t *b);
void bn_mul_comba5(uint32_t *out, const uint32_t *a, const uint32_t *b);
void bn_mul_comba6(uint32_t *out, const uint32_t *a, const uint32_t *b);
void bn_mul_comba7(uint32_t *out, const uint32_t *a, const uint32_t *b);
void bn_mul_comba8(uint32_t *out, const uint32_t *a, const uint32_t *b);

// out (n + m words) = a (n words) * b (m words), row by row. No scratch.
void bn_mul_schoolbook(size_t n, uint32_t *out, const uint32_t *a, const uint32_t *b, size_t m);

// out (2n words) = a^2. Even n above 8 recurse on halves, odd ones use bn_sqr_schoolbook.
// scratch: bn_sqr_scratch_words(n) words, always below 4n.
int bn_sqr(uint32_t *out, const uint32_t *a, size_t n, uint32_t *scratch);
constexpr size_t bn_sqr_scratch_words(size_t n) { return bn_mul_karatsuba_scratch_words(n); }

// out (2n words) = a^2 by cross-product rows, doubling and the diagonal. The result is built in
// out itself: scratch is not used and may be null (0 words).
void bn_sqr_schoolbook(const uint32_t *a, uint32_t *out, size_t n, uint32_t *scratch);

// ---- Division ---------------------------------------------------------------------------------

// Long division a = q * m + r. The quotient is written zero-extended to q_words words, the
// remainder zero-extended to m_words words; either output may be null to omit it. A quotient that
// does not fit in q_words gives kErrInsufficientBuffer. A zero divisor gives kErrInvalidParameter
// (both outputs are zeroed). q and r must not overlap each other; either may be a or m (same
// address), as the inputs are read in full before an output is written. scratch:
// bn_divmod_scratch_words(a_words, m_words) words.
int bn_divmod(size_t q_words, uint32_t *q, uint32_t *r, const uint32_t *a, size_t a_words, const uint32_t *m,
              size_t m_words, uint32_t *scratch);
constexpr size_t bn_divmod_scratch_words(size_t a_words, size_t m_words) { return a_words + m_words + 1; }

// ---- Montgomery arithmetic --------------------------------------------------------------------

// Fills R^2 mod m (words n..2n-1) and m' (word 2n) after the n-word odd modulus m. An even or
// zero modulus gives kErrInvalidParameter. scratch: bn_mont_setup_scratch_words(n) words.
int bn_mont_setup(uint32_t *scratch, uint32_t *m, size_t n);
constexpr size_t bn_mont_setup_scratch_words(size_t n) {
  return 2 * n + 1 + bn_divmod_scratch_words(2 * n + 1, n);
}

// out (n words) = t * R^-1 mod m for a t of t_words <= 2n words with t < m * R; m is a Montgomery
// modulus set up by bn_mont_setup. A t outside that range gives kErrInvalidParameter rather than an
// unreduced result. out may be t. scratch: bn_mont_reduce_scratch_words(n) = 2n + 1 words.
int bn_mont_reduce(const uint32_t *t, size_t t_words, uint32_t *scratch, uint32_t *out, const uint32_t *m,
                   size_t n);
constexpr size_t bn_mont_reduce_scratch_words(size_t n) { return 2 * n + 1; }

// ---- Exponentiation and inverse ---------------------------------------------------------------

// Scratch of bn_mod_exp for this exponent: n * (2^(w-1) + 7) words for the window width w that
// the exponent's bit length gives (39, 23, 15, 11 or 8 times n). 0 when that would overflow.
size_t bn_mod_exp_scratch_words(size_t e_words, const uint32_t *e, size_t n);
// The largest value of bn_mod_exp_scratch_words for any exponent, for fixed-size buffers.
constexpr size_t bn_mod_exp_max_scratch_words(size_t n) { return 39 * n; }

// out (n words) = base^e mod m for a Montgomery modulus m of n words (set up by bn_mont_setup).
// base may be at or above m as long as it has at most n significant words; a longer base gives
// kErrInvalidParameter (reduce it first). e^0 is 1 mod m. out may be base or e. Sliding window: the
// time taken depends on the exponent. scratch: bn_mod_exp_scratch_words(e_words, e, n) words.
int bn_mod_exp(uint32_t *scratch, size_t n, uint32_t *out, const uint32_t *base, size_t base_words,
               const uint32_t *e, size_t e_words, const uint32_t *m);

// out (n words) = a^-1 mod m (m nonzero, n words, odd or even) by the extended Euclidean
// algorithm. When a has no inverse (gcd > 1) the result is a value whose product with a is not 1
// mod m: the caller multiplies back and checks. out may be a or m.
// scratch: bn_mod_inverse_scratch_words(a_words, n) words.
int bn_mod_inverse(size_t n, uint32_t *out, const uint32_t *a, size_t a_words, const uint32_t *m,
                   uint32_t *scratch);
constexpr size_t bn_mod_inverse_scratch_words(size_t a_words, size_t n) {
  return 9 * n + bn_divmod_scratch_words(a_words > n ? a_words : n, n);
}
