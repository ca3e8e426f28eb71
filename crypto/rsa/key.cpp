// RSA_CTX lifecycle, key loading and the word layout.
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/bignum/bignum.h"
#include "crypto/rsa/internal.h"

namespace {

// A big-endian number with its leading zero bytes skipped.
struct Number {
  const uint8_t *p;
  size_t len;
  size_t words() const { return (len + 3) / 4; }
  bool odd() const { return len != 0 && (p[len - 1] & 1); }
  size_t bits() const {
    if (len == 0) return 0;
    return (len - 1) * 8 + size_t(mp_word_bits(p[0]));
  }
};

Number strip(const uint8_t *p, size_t len) {
  while (len != 0 && *p == 0) {
    p++;
    len--;
  }
  return {p, len};
}

// e must lie in [3, n - 1]: e = 1 makes every block its own signature, and an exponent longer
// than the modulus only costs the verifier time.
bool exponent_fits(const Number &e, const Number &n) {
  if (e.len == 1 && e.p[0] == 1) return false;
  if (e.len != n.len) return e.len < n.len;
  return std::memcmp(e.p, n.p, e.len) < 0;
}

// Writes the number into its words and, for a modulus, sets up its Montgomery values. Returns
// the words the number takes in the array.
size_t put(uint32_t *at, const Number &x, bool montgomery, uint32_t *scratch) {
  size_t w = x.words();
  mp_from_bytes(w, at, x.p, x.len);
  if (!montgomery) return w;
  bn_mont_setup(scratch, at, w);
  return 2 * w + 1;
}

}  // namespace

namespace v7 {

size_t rsa_layout_words(int kind, size_t nw, size_t ew, size_t pw, size_t qw, size_t dpw, size_t dqw,
                        size_t qiw, size_t dw) {
  size_t words = 2 * nw + 1 + ew;
  if (kind == RSA_KIND_PRIVATE) words += 2 * pw + 1 + 2 * qw + 1 + dpw + dqw + qiw + dw;
  return words;
}

RsaView rsa_view(const RSA_CTX *ctx) {
  RsaView v = {};
  v.nw = ctx->n_words;
  v.ew = ctx->e_words;
  const uint32_t *at = ctx->words;
  v.n = at;
  at += 2 * v.nw + 1;
  v.e = at;
  at += v.ew;
  if (ctx->kind != RSA_KIND_PRIVATE) return v;
  v.pw = ctx->p_words;
  v.qw = ctx->q_words;
  v.dpw = ctx->dp_words;
  v.dqw = ctx->dq_words;
  v.qiw = ctx->qinv_words;
  v.dw = ctx->d_words;
  v.p = at;
  at += 2 * v.pw + 1;
  v.q = at;
  at += 2 * v.qw + 1;
  v.dp = at;
  at += v.dpw;
  v.dq = at;
  at += v.dqw;
  v.qinv = at;
  at += v.qiw;
  v.d = at;
  return v;
}

size_t rsa_bits(const RsaView &v) { return mp_bit_length(v.nw, v.n); }

}  // namespace v7

RSA_CTX *rsa_new() {
  RSA_CTX *ctx = static_cast<RSA_CTX *>(std::calloc(1, sizeof(RSA_CTX)));
  if (ctx == nullptr) return v7::with_errno<RSA_CTX *>(v7::kErrOutOfMemory, nullptr);
  return ctx;
}

void rsa_clear(RSA_CTX *ctx) {
  if (ctx == nullptr) return;
  if (ctx->words != nullptr) {
    size_t words = v7::rsa_layout_words(ctx->kind, ctx->n_words, ctx->e_words, ctx->p_words, ctx->q_words,
                                        ctx->dp_words, ctx->dq_words, ctx->qinv_words, ctx->d_words);
    v7::secure_wipe(ctx->words, words * sizeof(uint32_t));
    std::free(ctx->words);
  }
  v7::secure_wipe(ctx, sizeof *ctx);
}

void rsa_free(RSA_CTX *ctx) {
  if (ctx == nullptr) return;
  rsa_clear(ctx);
  std::free(ctx);
}

int rsa_key_kind(const RSA_CTX *ctx) {
  if (ctx == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (ctx->kind == RSA_KIND_EMPTY) return v7::with_errno(v7::kErrRsaNoKey, 0);
  if (ctx->kind != RSA_KIND_PUBLIC && ctx->kind != RSA_KIND_PRIVATE)
    return v7::with_errno(v7::kErrRsaContext, 0);
  return ctx->kind;
}

int rsa_set_public_key(RSA_CTX *ctx, const uint8_t *n_bytes, size_t n_len, const uint8_t *e_bytes,
                       size_t e_len) {
  if (ctx == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  // Emptied before anything is judged: a caller that ignores the failure must not go on using
  // the key it meant to replace.
  rsa_clear(ctx);
  if (n_bytes == nullptr || e_bytes == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  Number n = strip(n_bytes, n_len), e = strip(e_bytes, e_len);
  if (!n.odd() || !e.odd() || n.bits() > size_t(RSA_MAX_MODULUS_BITS) || !exponent_fits(e, n)) {
    return v7::with_errno(v7::kErrRsaIncorrectKey, 0);
  }
  size_t nw = n.words(), ew = e.words();
  v7::SecureWords array(v7::rsa_layout_words(RSA_KIND_PUBLIC, nw, ew, 0, 0, 0, 0, 0, 0));
  v7::SecureWords scratch(bn_mont_setup_scratch_words(nw));
  if (!array.ok() || !scratch.ok()) return v7::with_errno(v7::kErrOutOfMemory, 0);
  uint32_t *at = array.get();
  at += put(at, n, true, scratch.get());
  put(at, e, false, nullptr);
  ctx->kind = RSA_KIND_PUBLIC;
  ctx->n_words = uint32_t(nw);
  ctx->e_words = uint32_t(ew);
  ctx->words = array.release();
  return int(n.bits());
}

int rsa_set_private_key(RSA_CTX *ctx, const uint8_t *n_bytes, size_t n_len, const uint8_t *e_bytes,
                        size_t e_len, const uint8_t *d_bytes, size_t d_len, const uint8_t *p_bytes,
                        size_t p_len, const uint8_t *q_bytes, size_t q_len, const uint8_t *dp_bytes,
                        size_t dp_len, const uint8_t *dq_bytes, size_t dq_len, const uint8_t *qinv_bytes,
                        size_t qinv_len) {
  if (ctx == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  rsa_clear(ctx);
  const uint8_t *given[8] = {n_bytes, e_bytes, d_bytes, p_bytes, q_bytes, dp_bytes, dq_bytes, qinv_bytes};
  const size_t lengths[8] = {n_len, e_len, d_len, p_len, q_len, dp_len, dq_len, qinv_len};
  Number x[8];
  for (int i = 0; i < 8; i++) {
    if (given[i] == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
    x[i] = strip(given[i], lengths[i]);
    if (x[i].len == 0) return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  const Number &n = x[0], &e = x[1], &d = x[2], &p = x[3], &q = x[4], &dp = x[5], &dq = x[6], &qinv = x[7];
  if (!n.odd() || !e.odd() || !p.odd() || !q.odd()) return v7::with_errno(v7::kErrInvalidParameter, 0);
  // Each number must fit inside the one it belongs to: the CRT reductions and the scratch sizes
  // rely on it, and a hostile key file must not buy oversized work.
  if (n.bits() > size_t(RSA_MAX_MODULUS_BITS) || !exponent_fits(e, n) || d.len > n.len || p.len > n.len ||
      q.len > n.len || dp.len > p.len || qinv.len > p.len || dq.len > q.len) {
    return v7::with_errno(v7::kErrRsaIncorrectKey, 0);
  }
  v7::SecureWords array(v7::rsa_layout_words(RSA_KIND_PRIVATE, n.words(), e.words(), p.words(), q.words(),
                                             dp.words(), dq.words(), qinv.words(), d.words()));
  v7::SecureWords scratch(bn_mont_setup_scratch_words(n.words()));
  if (!array.ok() || !scratch.ok()) return v7::with_errno(v7::kErrOutOfMemory, 0);
  // The array order: n, e, p, q, dP, dQ, qInv, d, with Montgomery values after n, p and q.
  const Number *order[8] = {&n, &e, &p, &q, &dp, &dq, &qinv, &d};
  uint32_t *at = array.get();
  for (int i = 0; i < 8; i++) at += put(at, *order[i], i == 0 || i == 2 || i == 3, scratch.get());
  ctx->kind = RSA_KIND_PRIVATE;
  ctx->n_words = uint32_t(n.words());
  ctx->e_words = uint32_t(e.words());
  ctx->p_words = uint32_t(p.words());
  ctx->q_words = uint32_t(q.words());
  ctx->dp_words = uint32_t(dp.words());
  ctx->dq_words = uint32_t(dq.words());
  ctx->qinv_words = uint32_t(qinv.words());
  ctx->d_words = uint32_t(d.words());
  ctx->words = array.release();
  return int(n.bits());
}

const uint32_t *rsa_key_number(const RSA_CTX *ctx, int which, size_t *words) {
  if (ctx == nullptr || words == nullptr || which < RSA_NUMBER_N || which > RSA_NUMBER_QINV) {
    return v7::with_errno<const uint32_t *>(v7::kErrInvalidParameter, nullptr);
  }
  int kind = rsa_key_kind(ctx);
  if (kind == 0) return nullptr;  // errno set by rsa_key_kind
  if (ctx->words == nullptr) return v7::with_errno<const uint32_t *>(v7::kErrRsaContext, nullptr);
  if (kind == RSA_KIND_PUBLIC && which > RSA_NUMBER_E) {
    return v7::with_errno<const uint32_t *>(v7::kErrRsaNoKey, nullptr);
  }
  v7::RsaView v = v7::rsa_view(ctx);
  const uint32_t *numbers[8] = {v.n, v.e, v.d, v.p, v.q, v.dp, v.dq, v.qinv};
  const size_t counts[8] = {v.nw, v.ew, v.dw, v.pw, v.qw, v.dpw, v.dqw, v.qiw};
  *words = counts[which];
  return numbers[which];
}
