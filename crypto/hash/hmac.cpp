// HMAC: H((K ^ opad) || H((K ^ ipad) || message)).
#include "crypto/hash/hmac.h"

#include <cstdlib>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/hash/internal.h"

namespace {

constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kOuterPad = 0x5c;

}  // namespace

HMAC_CTX *hmac_new(int type) {
  if (v7::hash_algorithm(type) == nullptr)
    return v7::with_errno<HMAC_CTX *>(v7::kErrUnsupportedHash, nullptr);
  // calloc: owners that release the record themselves do so with free().
  HMAC_CTX *ctx = static_cast<HMAC_CTX *>(std::calloc(1, sizeof(HMAC_CTX)));
  if (ctx != nullptr) ctx->hash = hash_new(type);
  if (ctx == nullptr || ctx->hash == nullptr) {
    std::free(ctx);
    return v7::with_errno<HMAC_CTX *>(v7::kErrOutOfMemory, nullptr);
  }
  return ctx;
}

int hmac_init(HMAC_CTX *ctx, const void *key, size_t key_len) {
  if (ctx == nullptr || (key == nullptr && key_len != 0)) return v7::with_errno(v7::kErrInvalidParameter, 0);
  const v7::HashAlgorithm *alg = ctx->hash != nullptr ? v7::hash_algorithm(ctx->hash->type) : nullptr;
  if (alg == nullptr) return v7::with_errno(v7::kErrNoHmacKey, 0);
  const size_t block = size_t(alg->block_len);
  const size_t digest = size_t(alg->digest_len);

  // Whatever was fed before (a message left unfinished) must not end up in front of the pad.
  v7::hash_reset(ctx->hash);
  size_t n;
  if (key_len > block) {
    alg->update(ctx->hash, static_cast<const uint8_t *>(key), key_len);
    alg->final(ctx->hash, ctx->pad);
    for (size_t i = 0; i < digest; i++) ctx->pad[i] ^= kInnerPad;
    n = digest;
  } else {
    const uint8_t *k = static_cast<const uint8_t *>(key);
    for (size_t i = 0; i < key_len; i++) ctx->pad[i] = uint8_t(k[i] ^ kInnerPad);
    n = key_len;
  }
  std::memset(ctx->pad + n, kInnerPad, block - n);
  alg->update(ctx->hash, ctx->pad, block);
  // Turn the inner pad into the outer one in place, so the key is never held in the clear.
  for (size_t i = 0; i < n; i++) ctx->pad[i] ^= kInnerPad ^ kOuterPad;
  std::memset(ctx->pad + n, kOuterPad, block - n);
  ctx->keyed = 1;
  return int(digest);
}

void hmac_update(HMAC_CTX *ctx, const void *data, size_t len) {
  if (ctx == nullptr || ctx->hash == nullptr || !ctx->keyed) return;
  hash_update(ctx->hash, data, len);
}

int hmac_final(HMAC_CTX *ctx, uint8_t *out) {
  if (ctx == nullptr || out == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  const v7::HashAlgorithm *alg = ctx->hash != nullptr ? v7::hash_algorithm(ctx->hash->type) : nullptr;
  // After a final the hash is back in its initial state with no inner pad fed, so a further
  // update and final would return a plain, unkeyed digest as if it were a MAC. Such a context is
  // refused until hmac_init keys it again, rather than rekeyed behind the caller's back: callers
  // that follow the documented order (init before every message) never see the difference.
  if (alg == nullptr || !ctx->keyed) return v7::with_errno(v7::kErrNoHmacKey, 0);
  const size_t digest = size_t(alg->digest_len);

  alg->final(ctx->hash, out);  // the inner digest, kept in out until the outer hash reads it
  alg->update(ctx->hash, ctx->pad, size_t(alg->block_len));
  alg->update(ctx->hash, out, digest);
  alg->final(ctx->hash, out);
  ctx->keyed = 0;
  return int(digest);
}

void hmac_free(HMAC_CTX *ctx) {
  if (ctx == nullptr) return;
  hash_free(ctx->hash);
  v7::secure_wipe(ctx, sizeof *ctx);
  std::free(ctx);
}

int hmac_oneshot(int type, const void *key, uint8_t *out, size_t key_len, const void *data, size_t data_len,
                 size_t capacity) {
  if (key == nullptr || data == nullptr || out == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  const v7::HashAlgorithm *alg = v7::hash_algorithm(type);
  if (alg == nullptr) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  if (capacity < size_t(alg->digest_len)) return v7::with_errno(v7::kErrInsufficientBuffer, 0);

  HMAC_CTX *ctx = hmac_new(type);
  if (ctx == nullptr) return v7::with_errno(v7::kErrOutOfMemory, 0);
  int len = 0;
  if (hmac_init(ctx, key, key_len) != 0) {
    hmac_update(ctx, data, data_len);
    len = hmac_final(ctx, out);
  }
  int code = errno;
  hmac_free(ctx);
  return len != 0 ? len : v7::with_errno(code, 0);
}
