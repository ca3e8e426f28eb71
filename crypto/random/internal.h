// The generators' algorithms, shared by the byte producers and the record functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace v7 {

constexpr uint64_t kLcgMask = (uint64_t(1) << 48) - 1;
constexpr size_t kSha1GeneratorStateSize = 20;

// One LCG step, state = state * 0x5DEECE66D + 11 mod 2^48; yields the low 32 bits of the new state.
inline uint32_t lcg_step(uint64_t *state) {
  *state = (*state * 0x5DEECE66Dull + 11) & kLcgMask;
  return uint32_t(*state);
}

struct MtState {
  uint32_t mt[624];
  int index;   // next word to temper; 624 means the block is used up
  int seeded;
};

void mt_seed(MtState *s, uint32_t seed);
uint32_t mt_next(MtState *s);

// One round of the FIPS 186-2 generator: g = SHA-1 compression of x || 0^44 from the initial
// chaining values, x = x + g + 1 mod 2^160. False when no hash context could be made.
bool sha1_generator_round(uint8_t *x, uint8_t *g);

}  // namespace v7
