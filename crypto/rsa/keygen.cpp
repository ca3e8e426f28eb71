// Fresh 2048-bit key pairs with e = 65535.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/bignum/bignum.h"
#include "crypto/rsa/internal.h"

namespace {

constexpr size_t kP = RSA_PRIME_WORDS;  // words of p and q
constexpr size_t kN = 2 * kP;           // words of n, (p - 1)(q - 1) and d
// The checks after the inverses cannot fail for primes that passed the sieve; the bound only
// keeps damaged arithmetic from looping for ever.
constexpr int kMaxAttempts = 8;

// (x - 1) mod 65535 for an odd 1024-bit prime x; x - 1 goes to x_minus_1.
uint32_t minus_one_mod_e(const uint32_t *x, uint32_t *x_minus_1) {
  std::memcpy(x_minus_1, x, kP * sizeof(uint32_t));
  x_minus_1[0] -= 1;
  return bn_mod_word_1024(x_minus_1, RSA_GENERATED_EXPONENT);
}

// Draws p and q (q != p, neither with 65535 | x - 1) and builds the key's numbers. Returns the
// code itself; kErrRsaIncorrectKey when a multiply-back check fails.
struct KeyWork {
  uint32_t *p, *q, *n, *pm1, *qm1, *phi, *d, *dp, *dq, *qinv, *check, *scratch;
};

int build_key(KeyWork &w, uint32_t *prime_scratch) {
  const uint32_t e = RSA_GENERATED_EXPONENT;
  int code;
  do {
    if ((code = bn_gen_prime(w.p, prime_scratch)) != 0) return code;
  } while (minus_one_mod_e(w.p, w.pm1) == 0);
  do {
    if ((code = bn_gen_prime(w.q, prime_scratch)) != 0) return code;
  } while (minus_one_mod_e(w.q, w.qm1) == 0 || mp_cmp(w.p, w.q, kP) == 0);
  bool ok = bn_mul(w.n, w.p, kP, w.q, kP, w.scratch) && bn_mont_setup(w.scratch, w.n, kN) &&
            bn_mul(w.phi, w.pm1, kP, w.qm1, kP, w.scratch) &&
            bn_mod_inverse(kN, w.d, &e, 1, w.phi, w.scratch);
  if (!ok) return errno;
  // e d = 1 mod (p - 1)(q - 1)
  ok = bn_mul(w.check, w.d, kN, &e, 1, w.scratch) &&
       bn_divmod(0, nullptr, w.check, w.check, kN + 1, w.phi, kN, w.scratch) && mp_is_one(w.check, kN);
  if (!ok) return v7::kErrRsaIncorrectKey;
  ok = bn_divmod(0, nullptr, w.dp, w.d, kN, w.pm1, kP, w.scratch) &&
       bn_divmod(0, nullptr, w.dq, w.d, kN, w.qm1, kP, w.scratch) &&
       bn_mod_inverse(kP, w.qinv, w.q, kP, w.p, w.scratch);
  if (!ok) return errno;
  // q qInv = 1 mod p
  ok = bn_mul(w.check, w.q, kP, w.qinv, kP, w.scratch) &&
       bn_divmod(0, nullptr, w.check, w.check, kN, w.p, kP, w.scratch) && mp_is_one(w.check, kP);
  return ok ? 0 : v7::kErrRsaIncorrectKey;
}

}  // namespace

int rsa_generate_key(RSA_CTX *ctx) {
  if (ctx == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  rsa_clear(ctx);
  const size_t scratch_words =
      std::max({bn_mul_scratch_words(kP, kP), bn_mul_scratch_words(kN, 1), bn_mont_setup_scratch_words(kN),
                bn_mod_inverse_scratch_words(1, kN), bn_mod_inverse_scratch_words(kP, kP),
                bn_divmod_scratch_words(kN + 1, kN), bn_divmod_scratch_words(kN, kP)});
  const size_t prime_buffer = RSA_PRIME_BUFFER_WORDS, n_buffer = 2 * kN + 1;
  v7::SecureWords area(2 * prime_buffer + n_buffer + 2 * kP + 2 * kN + 3 * kP + (kN + 1) + scratch_words);
  v7::SecureWords prime_scratch(bn_gen_prime_scratch_words());
  if (!area.ok() || !prime_scratch.ok()) return v7::with_errno(v7::kErrOutOfMemory, 0);
  uint32_t *at = area.get();
  auto take = [&at](size_t words) {
    uint32_t *p = at;
    at += words;
    return p;
  };
  KeyWork w;
  w.p = take(prime_buffer);
  w.q = take(prime_buffer);
  w.n = take(n_buffer);
  w.pm1 = take(kP);
  w.qm1 = take(kP);
  w.phi = take(kN);
  w.d = take(kN);
  w.dp = take(kP);
  w.dq = take(kP);
  w.qinv = take(kP);
  w.check = take(kN + 1);
  w.scratch = at;

  int code = v7::kErrRsaIncorrectKey;
  for (int attempt = 0; attempt < kMaxAttempts && code == v7::kErrRsaIncorrectKey; attempt++) {
    code = build_key(w, prime_scratch.get());
  }
  if (code != 0) return v7::with_errno(code, 0);

  size_t dpw = mp_word_count(kP, w.dp), dqw = mp_word_count(kP, w.dq), qiw = mp_word_count(kP, w.qinv),
         dw = mp_word_count(kN, w.d);
  v7::SecureWords array(v7::rsa_layout_words(RSA_KIND_PRIVATE, kN, 1, kP, kP, dpw, dqw, qiw, dw));
  if (!array.ok()) return v7::with_errno(v7::kErrOutOfMemory, 0);
  uint32_t *out = array.get();
  auto put = [&out](const uint32_t *x, size_t words) {
    std::memcpy(out, x, words * sizeof(uint32_t));
    out += words;
  };
  const uint32_t e = RSA_GENERATED_EXPONENT;
  put(w.n, n_buffer);
  put(&e, 1);
  put(w.p, prime_buffer);
  put(w.q, prime_buffer);
  put(w.dp, dpw);
  put(w.dq, dqw);
  put(w.qinv, qiw);
  put(w.d, dw);
  ctx->kind = RSA_KIND_PRIVATE;
  ctx->n_words = uint32_t(kN);
  ctx->e_words = 1;
  ctx->p_words = uint32_t(kP);
  ctx->q_words = uint32_t(kP);
  ctx->dp_words = uint32_t(dpw);
  ctx->dq_words = uint32_t(dqw);
  ctx->qinv_words = uint32_t(qiw);
  ctx->d_words = uint32_t(dw);
  ctx->words = array.release();
  return RSA_GENERATED_PRIME_BITS;
}
