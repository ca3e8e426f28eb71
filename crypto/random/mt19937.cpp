#include "crypto/random/internal.h"

namespace v7 {
namespace {

constexpr int kN = 624;
constexpr int kM = 397;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr uint32_t kMatrixA = 0x9908B0DFu;

void regenerate(MtState *s) {
  if (!s->seeded) {
    // The generator's older seeding rule, kept for a state that was never seeded.
    s->mt[0] = 4357;
    for (int i = 1; i < kN; i++) s->mt[i] = 69069u * s->mt[i - 1];
    s->seeded = 1;
  }
  for (int i = 0; i < kN; i++) {
    uint32_t y = (s->mt[i] & kUpperMask) | (s->mt[(i + 1) % kN] & kLowerMask);
    s->mt[i] = s->mt[(i + kM) % kN] ^ (y >> 1) ^ ((y & 1) ? kMatrixA : 0);
  }
  s->index = 0;
}

}  // namespace

void mt_seed(MtState *s, uint32_t seed) {
  s->mt[0] = seed;
  for (int i = 1; i < kN; i++) s->mt[i] = 1812433253u * (s->mt[i - 1] ^ (s->mt[i - 1] >> 30)) + uint32_t(i);
  s->seeded = 1;
  regenerate(s);
}

uint32_t mt_next(MtState *s) {
  if (!s->seeded || s->index >= kN) regenerate(s);
  uint32_t y = s->mt[s->index++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

}  // namespace v7
