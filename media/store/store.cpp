#include "media/store/store.h"

#include <cerrno>
#include <cstdlib>

#include "pki/errors/error_ctx.h"
#include "platform/errors/error_codes.h"

using namespace v7;

STORE_CTX *store_ctx_new() {
  STORE_CTX *ctx = static_cast<STORE_CTX *>(calloc(1, sizeof(STORE_CTX)));
  if (ctx != nullptr) ctx->errors = static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX)));
  if (ctx == nullptr || ctx->errors == nullptr) {
    free(ctx);
    errno = kErrOutOfMemory;
    return nullptr;
  }
  return ctx;
}

void store_ctx_free(STORE_CTX *ctx) {
  if (ctx == nullptr) return;
  err_ctx_clear(ctx->errors);
  free(ctx->errors);
  free(ctx);
}

int store_reencrypt_key(STORE_CTX *, const uint8_t *, size_t, const char *, const char *, uint8_t **, size_t *) {
  return errno = kErrStoreUnsupportedMedium;
}

int store_cert_pairs(STORE_CTX *, const char *, const uint8_t *, size_t, const uint8_t *, size_t, const uint8_t *,
                     size_t, const uint8_t *, size_t, const StoreMedium *) {
  return errno = kErrStoreUnsupportedMedium;
}

int store_pair_on_medium(const uint8_t *, size_t, const StoreMedium *, const char *, const uint8_t *, size_t,
                         const uint8_t *, size_t) {
  return errno = kErrStoreUnsupportedMedium;
}

int store_pair_on_token(const StoreMedium *, const uint8_t *, size_t, const uint8_t *, size_t, const uint8_t *, size_t,
                        const uint8_t *, size_t, const uint8_t *, size_t) {
  return errno = kErrStoreUnsupportedMedium;
}
