// RANDOM_CTX: the toolkit's random generators.
//
// Types 0 (48-bit LCG), 1 (MT19937) and 2 (the FIPS 186-2 SHA-1 generator) are kept bit-exact for
// known-answer tests, but none of them is fit for secrets: MT19937 and the LCG are linear and
// their outputs reveal their state. Every key, IV, MAC key, prime, padding byte and seed of the
// system comes from type 3, which reads the operating system's random source and fails closed.
// rng_new seeds types 0..2 from the OS source too, never from the clock.
#pragma once

#include <cstddef>
#include <cstdint>

enum RandomType : int {
  RNG_TYPE_LCG = 0,
  RNG_TYPE_MT19937 = 1,
  RNG_TYPE_SHA1 = 2,
  RNG_TYPE_SYSTEM = 3,
};

struct RANDOM_CTX {
  int type;
  uint64_t lcg_state;  // type 0: the low 48 bits are significant
  void *state;         // type 1: MtState; type 2: 20-byte SHA-1 generator state
};

// A new generator of the type; null with kErrInvalidParameter for an unknown type, kErrOutOfMemory
// when memory is exhausted, kErrRandomContext when the OS source cannot seed it.
RANDOM_CTX *rng_new(int type);
// Attaches an MT19937 state to a type-1 record and seeds it from the OS source; on failure
// releases the record and returns null (1000 out of memory, kErrRandomContext no entropy).
RANDOM_CTX *rng_new_mt(RANDOM_CTX *ctx);
// Known-answer and golden-transcript constructor: type 0 takes the big-endian state (up to 8 bytes,
// low 48 bits kept), type 1 the big-endian 32-bit seed of init_genrand (4 bytes), type 2 the
// 20-byte generator state. Null with kErrInvalidParameter for another type or seed length.
RANDOM_CTX *rng_new_seeded(int type, const uint8_t *seed, size_t seed_len);

// count bytes by the context's type; returns count, or 0 with kErrInvalidParameter (null, count 0)
// or kErrRandomContext.
size_t rng_fill_bytes(uint8_t *out, RANDOM_CTX *ctx, size_t count);
// The next 32-bit value: type 1 the next tempered word, the others 4 bytes big-endian.
// 0 with kErrInvalidParameter or kErrRandomContext (errno tells a failure from a zero value).
uint32_t rng_next_u32(RANDOM_CTX *ctx);

size_t rng_lcg_bytes(uint8_t *out, RANDOM_CTX *ctx, size_t count);
size_t rng_mt_bytes(uint8_t *out, RANDOM_CTX *ctx, size_t count);
size_t rng_sha1_bytes(uint8_t *out, RANDOM_CTX *ctx, size_t count);

// A random number of exactly `bits` bits in ceil(bits / 32) words, least significant first; the top
// bits are replaced by top_pattern and, when low_pattern is nonzero, the lowest bits by it. Returns
// the code itself: 0, kErrInvalidParameter (null context, bits below the patterns' lengths
// together), or the code of a failed draw.
int bn_random_bits(uint32_t top_pattern, uint32_t *words, int bits, RANDOM_CTX *ctx, uint32_t low_pattern);

// Wipes and releases the state; the record stays. rng_free also releases the record; null is
// ignored.
void rng_wipe(RANDOM_CTX *ctx);
void rng_free(RANDOM_CTX *ctx);

// 32 bytes for the local sealing seed. Returns the code itself: 0, or kErrRandomContextCreate when
// the generator cannot be made, or the code of the failed fill.
int rand_seed32(uint8_t *out);

// Test seam, set by test code only: while a source is set, type-3 generators draw from it instead
// of the OS (a seeded generator makes golden transcripts). Null restores the OS source.
typedef bool (*RandomSource)(uint8_t *out, size_t len);
void rng_set_system_source(RandomSource source);
