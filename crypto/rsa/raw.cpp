// The raw RSA operations and the four operations that wrap them in a block encoding.
#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/bignum/bignum.h"
#include "crypto/rsa/internal.h"

namespace {

// Hands out consecutive pieces of one scratch area.
struct Carver {
  uint32_t *next;
  uint32_t *take(size_t words) {
    uint32_t *p = next;
    next += words;
    return p;
  }
};

// A byte buffer that is wiped before it is released; null when memory is exhausted.
struct SecretBlock {
  explicit SecretBlock(size_t n) : len(n), p(static_cast<uint8_t *>(std::malloc(n ? n : 1))) {}
  ~SecretBlock() {
    v7::secure_wipe(p, len);
    std::free(p);
  }
  SecretBlock(const SecretBlock &) = delete;
  SecretBlock &operator=(const SecretBlock &) = delete;
  size_t len;
  uint8_t *p;
};

// The kind checks shared by the operations that accept a public or a private key.
int public_key_code(const RSA_CTX *ctx) {
  if (ctx->kind == RSA_KIND_EMPTY) return v7::kErrRsaNoKey;
  if (ctx->kind != RSA_KIND_PUBLIC && ctx->kind != RSA_KIND_PRIVATE) return v7::kErrRsaContext;
  if (ctx->words == nullptr) return v7::kErrRsaContext;
  return 0;
}

typedef int (*RawOperation)(const v7::RsaView &, const uint8_t *, size_t, uint8_t *, size_t);

// The encoder writes its block into out, and the raw operation replaces it with the k-byte result.
// On failure the block (a plaintext, or a signature's input) is wiped. Returns k or 0 with errno.
int encode_then(RawOperation raw, const v7::RsaView &v, size_t k, const RSA_PADDING *enc, const uint8_t *msg,
                size_t msg_len, uint8_t *out, size_t out_capacity) {
  int len = enc->encode(enc->params, int(v7::rsa_bits(v)), msg, msg_len, out, out_capacity);
  int code = errno;
  if (len > 0 && size_t(len) <= k) {
    code = raw(v, out, size_t(len), out, k);
    if (code == 0) return int(k);
  } else if (len > 0) {
    code = v7::kErrInvalidParameter;  // an encoder that overran the modulus length
  }
  v7::secure_wipe(out, k);
  return v7::with_errno(code, 0);
}

}  // namespace

namespace v7 {

int rsa_raw_public(const RsaView &v, const uint8_t *in, size_t in_len, uint8_t *out, size_t out_len) {
  size_t nw = v.nw;
  if (in_len > 4 * nw) return kErrRsaTooLongData;
  SecureWords area(2 * nw + bn_mod_exp_scratch_words(v.ew, v.e, nw));
  if (!area.ok()) return kErrOutOfMemory;
  Carver c{area.get()};
  uint32_t *x = c.take(nw), *y = c.take(nw);
  mp_from_bytes(nw, x, in, in_len);
  if (mp_cmp(x, v.n, nw) >= 0) return kErrRsaTooLongData;
  if (!bn_mod_exp(c.next, nw, y, x, nw, v.e, v.ew, v.n)) return kErrRsaContext;
  mp_to_bytes(y, out_len, nw, out);
  return 0;
}

namespace {

// The number of draws a blinding factor may take. A uniform r in [0, n) fails to be invertible
// with a probability of about (p + q) / n, so a source that keeps failing is broken, like one stuck
// at zero.
constexpr int kBlindingDraws = 8;

// out = a * b mod n for nw-word a and b; prod holds 2 nw words, scratch the larger of
// bn_mul_scratch_words(nw, nw) and bn_divmod_scratch_words(2 nw, nw).
bool mod_mul(const RsaView &v, uint32_t *out, const uint32_t *a, const uint32_t *b, uint32_t *prod,
             uint32_t *scratch) {
  return bn_mul(prod, a, v.nw, b, v.nw, scratch) &&
         bn_divmod(0, nullptr, out, prod, 2 * v.nw, v.n, v.nw, scratch);
}

size_t mod_mul_scratch_words(size_t nw) {
  return std::max(bn_mul_scratch_words(nw, nw), bn_divmod_scratch_words(2 * nw, nw));
}

// The blinding factor of one private operation: r drawn afresh from the OS source and reduced mod
// n (two extra words make the reduction's bias negligible), with its inverse. An r without an
// inverse is drawn again. Returns the code itself: 0, the generator's code, or kErrRandomContext
// when no draw gives an invertible r.
int blinding_factor(const RsaView &v, uint32_t *r, uint32_t *r_inv, uint32_t *work) {
  const size_t nw = v.nw, dw = nw + 2;
  Carver c{work};
  uint32_t *drawn = c.take(dw), *prod = c.take(2 * nw), *one = c.take(nw);
  uint8_t *bytes = reinterpret_cast<uint8_t *>(c.take(dw));
  uint32_t *scratch = c.next;
  for (int i = 0; i < kBlindingDraws; i++) {
    int code = rsa_random_bytes(bytes, 4 * dw);
    if (code != 0) return code;
    mp_from_bytes(dw, drawn, bytes, 4 * dw);
    if (!bn_divmod(0, nullptr, r, drawn, dw, v.n, nw, scratch)) return kErrRsaContext;
    if (mp_is_zero(r, nw)) continue;
    // bn_mod_inverse gives some value when r has no inverse: only the product tells.
    if (bn_mod_inverse(nw, r_inv, r, nw, v.n, scratch) && mod_mul(v, one, r, r_inv, prod, scratch) &&
        mp_is_one(one, nw))
      return 0;
  }
  return kErrRandomContext;
}

size_t blinding_scratch_words(size_t nw) {
  return 2 * (nw + 2) + 3 * nw +
         std::max({bn_divmod_scratch_words(nw + 2, nw), bn_mod_inverse_scratch_words(nw, nw),
                   mod_mul_scratch_words(nw)});
}

}  // namespace

// c^d mod n, blinded: the exponentiation works on c r^e for a fresh random r and the result is
// multiplied by r^-1, so that its timing and power trace do not follow the input an attacker
// chose. The arithmetic itself is not constant-time; blinding only keeps what leaks apart from c.
// The exponentiation is by the Chinese remainder theorem (Garner): m1 = c^dP mod p, m2 = c^dQ mod
// q, h = qInv (m1 - m2) mod p, m = m2 + h q. The unblinded result is raised to e and compared with
// c before it leaves: a fault in the key or the arithmetic would otherwise hand out a value from
// which gcd(m^e - c, n) reveals a prime.
int rsa_raw_private(const RsaView &v, const uint8_t *in, size_t in_len, uint8_t *out, size_t out_len) {
  const size_t nw = v.nw, pw = v.pw, qw = v.qw, hqw = pw + qw, mw = std::max(nw, hqw) + 1;
  if (in_len > 4 * nw) return kErrRsaTooLongData;
  size_t scratch = std::max(
      {bn_divmod_scratch_words(nw, std::max(pw, qw)), bn_mod_exp_scratch_words(v.dpw, v.dp, pw),
       bn_mod_exp_scratch_words(v.dqw, v.dq, qw), bn_divmod_scratch_words(qw, pw),
       bn_mul_scratch_words(v.qiw, pw), bn_divmod_scratch_words(v.qiw + pw, pw), bn_mul_scratch_words(pw, qw),
       bn_mod_exp_scratch_words(v.ew, v.e, nw), blinding_scratch_words(nw), mod_mul_scratch_words(nw)});
  // Everything derived from r, the key or the result lies in this area, wiped when it goes.
  SecureWords area(nw + 6 * pw + 2 * qw + v.qiw + hqw + mw + nw + 6 * nw + scratch);
  if (!area.ok()) return kErrOutOfMemory;
  Carver c{area.get()};
  uint32_t *x = c.take(nw), *cp = c.take(pw), *cq = c.take(qw), *m1 = c.take(pw), *m2 = c.take(qw);
  uint32_t *m2p = c.take(pw), *diff = c.take(pw), *h = c.take(pw), *prod = c.take(v.qiw + pw);
  uint32_t *hq = c.take(hqw), *m = c.take(mw), *check = c.take(nw);
  uint32_t *r = c.take(nw), *r_inv = c.take(nw), *blinded = c.take(nw), *wide = c.take(2 * nw),
           *y = c.take(nw);
  uint32_t *work = c.next;

  mp_from_bytes(nw, x, in, in_len);
  if (mp_cmp(x, v.n, nw) >= 0) return kErrRsaTooLongData;
  if (int code = blinding_factor(v, r, r_inv, work)) return code;
  // blinded = x r^e mod n; r itself is no longer needed once r^e is taken.
  bool ok =
      bn_mod_exp(work, nw, blinded, r, nw, v.e, v.ew, v.n) && mod_mul(v, blinded, x, blinded, wide, work);
  secure_wipe(r, nw * sizeof(uint32_t));
  ok = ok && bn_divmod(0, nullptr, cp, blinded, nw, v.p, pw, work) &&
       bn_divmod(0, nullptr, cq, blinded, nw, v.q, qw, work) &&
       bn_mod_exp(work, pw, m1, cp, pw, v.dp, v.dpw, v.p) &&
       bn_mod_exp(work, qw, m2, cq, qw, v.dq, v.dqw, v.q) &&
       bn_divmod(0, nullptr, m2p, m2, qw, v.p, pw, work);
  if (!ok) return kErrRsaContext;
  // m1 - (m2 mod p), plus p when that borrows: the sum then wraps back into [0, p).
  if (mp_sub(m2p, diff, m1, pw)) mp_add(diff, diff, v.p, pw);
  ok = bn_mul(prod, v.qinv, v.qiw, diff, pw, work) &&
       bn_divmod(0, nullptr, h, prod, v.qiw + pw, v.p, pw, work) && bn_mul(hq, h, pw, v.q, qw, work);
  if (!ok) return kErrRsaContext;
  std::fill(m, m + mw, 0u);
  std::copy(hq, hq + hqw, m);
  uint32_t carry = mp_add(m, m, m2, qw);
  for (size_t i = qw; carry && i < mw; i++) carry = (++m[i] == 0);
  // The result must be a residue mod n that, unblinded, maps back onto the input.
  bool consistent = mp_word_count(mw, m) <= nw && mp_cmp(m, v.n, nw) < 0 &&
                    mod_mul(v, y, m, r_inv, wide, work) &&
                    bn_mod_exp(work, nw, check, y, nw, v.e, v.ew, v.n) && mp_cmp(check, x, nw) == 0;
  secure_wipe(r_inv, nw * sizeof(uint32_t));
  if (!consistent) return kErrRsaIncorrectKey;
  mp_to_bytes(y, out_len, nw, out);
  return 0;
}

}  // namespace v7

int rsa_private_encrypt(size_t out_capacity, const RSA_CTX *ctx, const uint8_t *msg, size_t msg_len,
                        const RSA_PADDING *encoding, uint8_t *out) {
  if (ctx == nullptr || out == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (ctx->kind != RSA_KIND_PRIVATE) return v7::with_errno(v7::kErrRsaSignNoPrivateKey, 0);
  if (ctx->words == nullptr) return v7::with_errno(v7::kErrRsaContext, 0);
  v7::RsaView v = v7::rsa_view(ctx);
  size_t k = v7::rsa_bytes(v);
  if (out_capacity < k) return v7::with_errno(v7::kErrInsufficientBuffer, 0);
  const RSA_PADDING *enc = encoding != nullptr ? encoding : &RSA_PAD_PKCS1_SIGN;
  if (enc->encode == nullptr || enc->verify == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  return encode_then(v7::rsa_raw_private, v, k, enc, msg, msg_len, out, out_capacity);
}

int rsa_public_decrypt(const RSA_CTX *ctx, const uint8_t *msg, size_t msg_len, const RSA_PADDING *encoding,
                       const uint8_t *sig, size_t sig_len) {
  if (ctx == nullptr || sig == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (int code = public_key_code(ctx)) return v7::with_errno(code, 0);
  const RSA_PADDING *enc = encoding != nullptr ? encoding : &RSA_PAD_PKCS1_SIGN;
  if (enc->verify == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  v7::RsaView v = v7::rsa_view(ctx);
  size_t k = v7::rsa_bytes(v);
  // A signature is a number below n (RSAVP1), whatever its length: a signer that writes it in
  // the fewest bytes drops a leading zero about once in 256 signatures. Nothing longer than k is
  // read, and rsa_raw_public refuses a value not below n, so s, s + n and any prefixed garbage do
  // not verify alike.
  if (sig_len > k) return v7::with_errno(v7::kErrVerifySignature, 0);
  SecretBlock block(k);
  if (block.p == nullptr) return v7::with_errno(v7::kErrOutOfMemory, 0);
  int code = v7::rsa_raw_public(v, sig, sig_len, block.p, k);
  if (code != 0) return v7::with_errno(code == v7::kErrRsaTooLongData ? v7::kErrVerifySignature : code, 0);
  // The k-byte rendering serves both families: PKCS#1 v1.5 wants k bytes, and the PSS verifier
  // drops the one leading zero byte of a modulus of 8j + 1 bits.
  int result = enc->verify(enc->params, int(v7::rsa_bits(v)), msg, msg_len, block.p, k);
  code = errno;
  return result == 1 ? 1 : v7::with_errno(code, 0);
}

int rsa_public_encrypt(const RSA_CTX *ctx, size_t out_capacity, const uint8_t *msg, size_t msg_len,
                       const RSA_PADDING *encoding, uint8_t *out) {
  if (ctx == nullptr || out == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (int code = public_key_code(ctx)) return v7::with_errno(code, 0);
  v7::RsaView v = v7::rsa_view(ctx);
  size_t k = v7::rsa_bytes(v);
  if (out_capacity < k) return v7::with_errno(v7::kErrInsufficientBuffer, 0);
  const RSA_PADDING *enc = encoding != nullptr ? encoding : &RSA_PAD_PKCS1_ENCRYPT;
  if (enc->encode == nullptr || enc->decode == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  return encode_then(v7::rsa_raw_public, v, k, enc, msg, msg_len, out, out_capacity);
}

int rsa_private_decrypt(const RSA_CTX *ctx, const uint8_t *in, size_t in_len, const RSA_PADDING *encoding,
                        uint8_t *out, size_t out_capacity) {
  if (ctx == nullptr || in == nullptr || out == nullptr || in_len == 0) {
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  if (ctx->kind != RSA_KIND_PRIVATE) return v7::with_errno(v7::kErrRsaDecryptNoPrivateKey, 0);
  if (ctx->words == nullptr) return v7::with_errno(v7::kErrRsaContext, 0);
  v7::RsaView v = v7::rsa_view(ctx);
  size_t k = v7::rsa_bytes(v);
  if (in_len > k) return v7::with_errno(v7::kErrRsaTooLongData, 0);
  if (out_capacity < k) return v7::with_errno(v7::kErrInsufficientBuffer, 0);
  const RSA_PADDING *enc = encoding != nullptr ? encoding : &RSA_PAD_PKCS1_ENCRYPT;
  if (enc->decode == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  SecretBlock block(k);
  if (block.p == nullptr) return v7::with_errno(v7::kErrOutOfMemory, 0);
  int code = v7::rsa_raw_private(v, in, in_len, block.p, k);
  if (code != 0) return v7::with_errno(code, 0);
  errno = 0;
  int len = enc->decode(enc->params, int(v7::rsa_bits(v)), block.p, k, out, out_capacity);
  code = errno;
  // An empty message decodes to length 0 with errno 0.
  return len > 0 ? len : v7::with_errno(code, 0);
}
