// Probable primes of 1024 bits: sieved random candidates and Miller-Rabin.
#include <cerrno>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/bignum/bignum.h"
#include "crypto/random/random.h"
#include "crypto/rsa/internal.h"

namespace {

constexpr size_t kTablePrimes = 2048;            // the first 2048 primes, up to 17863
constexpr size_t kOddPrimes = kTablePrimes - 1;  // 2 is not sieved: candidates are odd
constexpr int kPrimeBits = RSA_GENERATED_PRIME_BITS;
constexpr uint64_t kMaxOffset = 0xFFFFFFFEu;
// Bounds that only a broken random source can reach; they turn a hang into an error.
constexpr int kMaxBaseDraws = 64;
constexpr int kMaxCandidates = 100000;

struct PrimeTable {
  uint16_t primes[kOddPrimes];
  // Products of neighbouring table primes, each below 2^32, so that one remainder of the
  // candidate serves two primes.
  uint32_t pairs[(kOddPrimes + 1) / 2];
};

PrimeTable make_table() {
  PrimeTable t = {};
  size_t count = 0;
  for (uint32_t x = 3; count < kOddPrimes; x += 2) {
    bool prime = true;
    for (size_t i = 0; i < count && uint32_t(t.primes[i]) * t.primes[i] <= x; i++) {
      if (x % t.primes[i] == 0) {
        prime = false;
        break;
      }
    }
    if (prime) t.primes[count++] = uint16_t(x);
  }
  for (size_t i = 0; i < kOddPrimes; i += 2) {
    t.pairs[i / 2] = i + 1 < kOddPrimes ? uint32_t(t.primes[i]) * t.primes[i + 1] : t.primes[i];
  }
  return t;
}

const PrimeTable &table() {
  static const PrimeTable t = make_table();
  return t;
}

// The smallest even s for which no table prime r divides c + s or c + s - 1, given the residues
// of c; kMaxOffset + 2 when there is none in range.
uint64_t sieve_offset(const uint16_t *residues) {
  const PrimeTable &t = table();
  for (uint64_t s = 0; s <= kMaxOffset; s += 2) {
    size_t i = 0;
    for (; i < kOddPrimes; i++) {
      uint32_t r = (uint32_t)((residues[i] + s) % t.primes[i]);
      if (r <= 1) break;
    }
    if (i == kOddPrimes) return s;
  }
  return kMaxOffset + 2;
}

// The Miller-Rabin work areas of a 32-word candidate: n - 1, its odd part, a base, the round.
constexpr size_t kN = RSA_PRIME_WORDS;

}  // namespace

size_t bn_mr_round_scratch_words(size_t n) { return 2 * n + bn_mod_exp_max_scratch_words(n); }

int bn_mr_round(size_t n, const uint32_t *candidate, const uint32_t *base, const uint32_t *odd,
                size_t odd_words, size_t s, uint32_t *scratch) {
  if (n == 0 || candidate == nullptr || base == nullptr || odd == nullptr || scratch == nullptr || s == 0 ||
      !(candidate[0] & 1)) {
    return v7::with_errno(v7::kErrInvalidParameter, -1);
  }
  uint32_t *y = scratch, *n_minus_1 = scratch + n, *work = scratch + 2 * n;
  std::memcpy(n_minus_1, candidate, n * sizeof(uint32_t));
  n_minus_1[0] -= 1;  // odd, so no borrow
  static const uint32_t kTwo = 2;
  if (!bn_mod_exp(work, n, y, base, n, odd, odd_words, candidate)) return -1;  // errno set
  if (mp_is_one(y, n) || mp_cmp(y, n_minus_1, n) == 0) return 1;
  for (size_t j = 1; j < s; j++) {
    if (!bn_mod_exp(work, n, y, y, n, &kTwo, 1, candidate)) return -1;
    if (mp_cmp(y, n_minus_1, n) == 0) return 1;
    // 1 reached by squaring something other than -1: a nontrivial square root of 1.
    if (mp_is_one(y, n)) return 0;
  }
  return 0;
}

size_t bn_miller_rabin_scratch_words() { return 3 * kN + bn_mr_round_scratch_words(kN); }

int bn_miller_rabin(RANDOM_CTX *ctx, const uint32_t *candidate, int rounds, uint32_t *scratch) {
  if (ctx == nullptr || candidate == nullptr || scratch == nullptr || rounds < 0) {
    return v7::with_errno(v7::kErrInvalidParameter, -1);
  }
  if (!(candidate[0] & 1)) {
    bool two = candidate[0] == 2 && mp_word_count(kN, candidate) == 1;
    return two ? 1 : 0;
  }
  // Below 5 there is no base in [2, n - 2]: 1 is not prime, 3 is.
  if (mp_word_count(kN, candidate) <= 1 && candidate[0] < 5) return candidate[0] == 3 ? 1 : 0;
  uint32_t *n_minus_1 = scratch, *odd = scratch + kN, *base = scratch + 2 * kN, *round = scratch + 3 * kN;
  std::memcpy(n_minus_1, candidate, kN * sizeof(uint32_t));
  n_minus_1[0] -= 1;
  size_t s = 0;
  while (((n_minus_1[s / 32] >> (s % 32)) & 1) == 0) s++;
  bn_shift_right(s, kN, odd, kN, n_minus_1);
  size_t bits = mp_bit_length(kN, candidate);
  for (int r = 0; r < rounds; r++) {
    int draws = 0;
    do {
      if (++draws > kMaxBaseDraws) return v7::with_errno(v7::kErrRandomContext, -1);
      std::memset(base, 0, kN * sizeof(uint32_t));
      if (int code = bn_random_bits(0, base, int(bits), ctx, 0)) return v7::with_errno(code, -1);
      if (mp_cmp(base, n_minus_1, kN) >= 0) mp_sub(n_minus_1, base, base, kN);
    } while (mp_word_count(kN, base) == 0 || mp_is_one(base, kN));
    int verdict = bn_mr_round(kN, candidate, base, odd, kN, s, round);
    if (verdict != 1) return verdict;
  }
  return 1;
}

int bn_prime_candidate(RANDOM_CTX *ctx, uint32_t *prime) {
  if (ctx == nullptr || prime == nullptr) return v7::kErrInvalidParameter;
  const PrimeTable &t = table();
  uint16_t residues[kOddPrimes];
  for (;;) {
    if (int code = bn_random_bits(3, prime, kPrimeBits, ctx, 1)) return code;
    for (size_t i = 0; i < kOddPrimes; i += 2) {
      uint32_t rem = bn_mod_word_1024(prime, t.pairs[i / 2]);
      residues[i] = uint16_t(rem % t.primes[i]);
      if (i + 1 < kOddPrimes) residues[i + 1] = uint16_t(rem % t.primes[i + 1]);
    }
    uint64_t s = sieve_offset(residues);
    if (s > kMaxOffset) continue;
    // Adding s must keep the number at 1024 bits with its two top bits set.
    uint32_t carry = uint32_t(s);
    for (size_t i = 0; carry != 0 && i < kN; i++) {
      prime[i] += carry;
      carry = prime[i] < carry ? 1 : 0;
    }
    if (carry == 0 && (prime[kN - 1] >> 30) == 3) break;
  }
  v7::secure_wipe(residues, sizeof residues);
  return 0;
}

size_t bn_gen_prime_scratch_words() {
  size_t setup = bn_mont_setup_scratch_words(kN), mr = bn_miller_rabin_scratch_words();
  return setup > mr ? setup : mr;
}

int bn_gen_prime(uint32_t *prime, uint32_t *scratch) {
  if (prime == nullptr || scratch == nullptr) return v7::kErrInvalidParameter;
  RANDOM_CTX *rng = rng_new(RNG_TYPE_SYSTEM);
  if (rng == nullptr) return v7::kErrOutOfMemory;
  int code = v7::kErrRandomContext;
  for (int attempt = 0; attempt < kMaxCandidates; attempt++) {
    code = bn_prime_candidate(rng, prime);
    if (code != 0) break;
    if (!bn_mont_setup(scratch, prime, kN)) {
      code = errno;
      break;
    }
    int verdict = bn_miller_rabin(rng, prime, RSA_PRIME_MR_ROUNDS, scratch);
    if (verdict == 1) break;
    code = verdict < 0 ? errno : v7::kErrRandomContext;
    if (verdict < 0) break;
  }
  rng_free(rng);
  if (code != 0) v7::secure_wipe(prime, RSA_PRIME_BUFFER_WORDS * sizeof(uint32_t));
  return code;
}
