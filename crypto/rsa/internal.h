// Internals shared by the RSA sources: the word layout of RSA_CTX, wiped scratch buffers, the raw
// operations and the helpers of the encodings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "crypto/base/wipe.h"
#include "crypto/rsa/rsa.h"

namespace v7 {

// A zeroed heap area of 32-bit words that is wiped before it is released. Allocation failure
// leaves it empty (ok() false) instead of throwing: the toolkit reports kErrOutOfMemory.
class SecureWords {
 public:
  explicit SecureWords(size_t count)
      : count_(count), p_(count ? static_cast<uint32_t *>(std::calloc(count, sizeof(uint32_t))) : nullptr) {}
  ~SecureWords() { reset(); }
  SecureWords(const SecureWords &) = delete;
  SecureWords &operator=(const SecureWords &) = delete;

  bool ok() const { return p_ != nullptr; }
  uint32_t *get() const { return p_; }
  size_t size() const { return count_; }
  // Hands the area to a new owner, who wipes it before freeing it.
  uint32_t *release() {
    uint32_t *p = p_;
    p_ = nullptr;
    count_ = 0;
    return p;
  }
  void reset() {
    if (p_ != nullptr) {
      secure_wipe(p_, count_ * sizeof(uint32_t));
      std::free(p_);
    }
    p_ = nullptr;
    count_ = 0;
  }

 private:
  size_t count_;
  uint32_t *p_;
};

// Where each number of a context lies in its word array. The Montgomery moduli (n, p, q) point
// at their 2 * count + 1 words.
struct RsaView {
  size_t nw, ew, pw, qw, dpw, dqw, qiw, dw;
  const uint32_t *n, *e, *p, *q, *dp, *dq, *qinv, *d;  // null where the kind has none
};

// The word-array size of a layout (kind 1 uses only nw and ew).
size_t rsa_layout_words(int kind, size_t nw, size_t ew, size_t pw, size_t qw, size_t dpw, size_t dqw,
                        size_t qiw, size_t dw);
// The view of a context of kind 1 or 2 with a word array (the caller has checked both).
RsaView rsa_view(const RSA_CTX *ctx);
// Bit length of n and k = (bits + 7) / 8 for a context of kind 1 or 2.
size_t rsa_bits(const RsaView &v);
inline size_t rsa_bytes(const RsaView &v) { return (rsa_bits(v) + 7) / 8; }

// The raw operations on a k-byte rendering. in holds in_len <= k bytes; out receives exactly
// out_len bytes (out_len >= k) and may be in. Return the code itself: 0, kErrRsaTooLongData
// when the input is not below n, kErrOutOfMemory, or (private) kErrRsaIncorrectKey when the
// result fails the check with the public exponent and the random generator's code
// (kErrRandomContext) when no blinding factor could be drawn.
int rsa_raw_public(const RsaView &v, const uint8_t *in, size_t in_len, uint8_t *out, size_t out_len);
int rsa_raw_private(const RsaView &v, const uint8_t *in, size_t in_len, uint8_t *out, size_t out_len);

// The parameters that a null PSS_PARAMS or OAEP_PARAMS stands for (those of RSA_PAD_PSS and
// RSA_PAD_OAEP).
extern const PSS_PARAMS kRsaPssDefault;
extern const OAEP_PARAMS kRsaOaepDefault;

// The digest length of a hash type 1..7, or 0 (no errno) for any other value.
size_t rsa_hash_len(int hash_type);

// count random bytes from a new OS-source generator, released before returning. Returns the code
// itself: 0, or the generator's code (1000, kErrRandomContext). out is wiped on failure.
int rsa_random_bytes(uint8_t *out, size_t count);
// The caller's fixed bytes (a known-answer salt or seed) when given, else fresh random ones.
// Returns the code itself, as rsa_random_bytes.
int rsa_given_or_random(uint8_t *out, const uint8_t *given, size_t count);

// Branch-free helpers for the decoders: all-ones or all-zero masks of size_t.
inline size_t ct_mask_nonzero(size_t x) { return 0 - ((x | (0 - x)) >> (sizeof(size_t) * 8 - 1)); }
inline size_t ct_mask_zero(size_t x) { return ~ct_mask_nonzero(x); }
inline size_t ct_mask_eq(size_t a, size_t b) { return ct_mask_zero(a ^ b); }
// a < b for values below 2^(bits - 1), as all block lengths are.
inline size_t ct_mask_lt(size_t a, size_t b) { return 0 - ((a - b) >> (sizeof(size_t) * 8 - 1)); }
inline size_t ct_select(size_t mask, size_t a, size_t b) { return (mask & a) | (~mask & b); }

}  // namespace v7
