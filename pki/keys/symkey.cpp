#include "pki/keys/symkey.h"

#include <cerrno>
#include <cstdint>

#include "platform/errors/errno_util.h"
#include "pki/keys/keyobj_internal.h"

namespace {

using v7::keyobj::done;
using v7::keyobj::fail;
using v7::keyobj::wipe_free;

// Pushes the code, with the cipher's own code beneath it when there is one, and returns it.
int report(SESSION_CTX *ctx, int code, int cause) {
  err_push(ctx->error, code, nullptr);
  if (cause != 0) err_add_detail(ctx->error, cause, nullptr);
  return fail(code);
}

int cause_of_failure() { return errno != 0 ? errno : v7::kErrCrtContext; }

// 0 when the object can report, else the code that cannot be pushed.
int unusable(const SESSION_CTX *ctx) {
  if (ctx == nullptr) return v7::kErrNullSessionContext;
  return ctx->error == nullptr ? v7::kErrNoErrorContext : 0;
}

void drop_cipher(SESSION_CTX *ctx) {
  cipher_free(ctx->cipher);
  ctx->cipher = nullptr;
  ctx->algorithm = 0;
  wipe_free(ctx->key, ctx->key_len);
  ctx->key = nullptr;
  ctx->key_len = 0;
  wipe_free(ctx->iv, ctx->iv_len);
  ctx->iv = nullptr;
  ctx->iv_len = 0;
}

int run(SESSION_CTX *ctx, bool encrypt, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len) {
  if (int code = unusable(ctx)) return fail(code);
  if (data == nullptr || length == 0 || out == nullptr || out_len == nullptr)
    return report(ctx, v7::kErrInvalidParameter, 0);
  *out = nullptr;
  *out_len = 0;
  if (ctx->cipher == nullptr) return report(ctx, v7::kErrNullCrtContext, 0);
  const size_t block = size_t(cipher_block_len(kCrtCipherSeed));
  if (encrypt && length > SIZE_MAX - block) return report(ctx, v7::kErrInternal, 0);
  const size_t capacity = encrypt ? length + block : length;
  auto *buffer = static_cast<uint8_t *>(malloc(capacity));
  if (buffer == nullptr) return report(ctx, v7::kErrOutOfMemory, 0);
  errno = 0;
  size_t got = encrypt ? cipher_encrypt(ctx->cipher, data, length, buffer, capacity)
                       : cipher_decrypt(ctx->cipher, data, length, buffer, capacity);
  // Decrypting a message of padding only yields nothing, and no code.
  if (got == 0 && (encrypt || errno != 0)) {
    int cause = cause_of_failure();
    wipe_free(buffer, capacity);
    return report(ctx, encrypt ? v7::kErrCrtEncrypt : v7::kErrCrtDecrypt, cause);
  }
  *out = buffer;
  *out_len = got;
  return done();
}

}  // namespace

SESSION_CTX *symkey_new(ERROR_CTX *error) {
  auto *ctx = static_cast<SESSION_CTX *>(calloc(1, sizeof(SESSION_CTX)));
  if (ctx == nullptr) return v7::with_errno(v7::kErrOutOfMemory, nullptr);
  ctx->error = error;
  return ctx;
}

int symkey_set(SESSION_CTX *ctx, const uint8_t *key, size_t key_len, const uint8_t *iv, size_t iv_len) {
  if (int code = unusable(ctx)) return fail(code);
  // An object whose keying failed must not go on with the earlier key.
  drop_cipher(ctx);
  if (key == nullptr || key_len == 0 || iv == nullptr || iv_len == 0)
    return report(ctx, v7::kErrInvalidParameter, 0);
  if ((ctx->key = v7::keyobj::copy_bytes(key, key_len)) == nullptr ||
      (ctx->iv = v7::keyobj::copy_bytes(iv, iv_len)) == nullptr) {
    drop_cipher(ctx);
    return report(ctx, v7::kErrOutOfMemory, 0);
  }
  ctx->key_len = key_len;
  ctx->iv_len = iv_len;
  int code = 0;
  int cause = 0;
  errno = 0;
  if ((ctx->cipher = cipher_new(kCrtCipherSeed)) == nullptr)
    code = v7::kErrCrtCreate;
  else if (cipher_set_key(ctx->cipher, key, key_len) == 0)
    code = v7::kErrCrtSetKey;
  else if (cipher_set_mode(kCrtPaddingPkcs7, ctx->cipher, kCrtModeCbc, iv, iv_len) == 0)
    code = v7::kErrCrtSetMode;
  if (code != 0) {
    cause = cause_of_failure();
    drop_cipher(ctx);
    return report(ctx, code, cause);
  }
  ctx->algorithm = SYMKEY_ALG_SEED_CBC;
  return done();
}

int symkey_encrypt(SESSION_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len) {
  return run(ctx, true, data, length, out, out_len);
}

int symkey_decrypt(SESSION_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len) {
  return run(ctx, false, data, length, out, out_len);
}

void symkey_free(SESSION_CTX *ctx) {
  if (ctx == nullptr) return;
  drop_cipher(ctx);
  free(ctx);
}
