// The stored-signature kind: a phone module signed once and handed over the signature with its
// certificate. The object answers every sign request with that stored value, whatever the data;
// a caller that needs a signature over fresh data cannot get one from this kind.
#include "platform/errors/errno_util.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/keyobj_internal.h"

namespace {

using v7::keyobj::done;
using v7::keyobj::fail;

int signature_set_key(PRIVATE_KEY_CTX *, const uint8_t *, size_t, int, const KEY_CREDENTIAL *) {
  return done();
}

int signature_key_length(const PRIVATE_KEY_CTX *) { return 0; }

int signature_sign(PRIVATE_KEY_CTX *ctx, const uint8_t *, size_t, uint8_t **out, size_t *out_len, int,
                   const int *) {
  if (ctx == nullptr || out == nullptr || out_len == nullptr) return fail(v7::kErrInvalidParameter);
  *out = nullptr;
  *out_len = 0;
  if (ctx->signature == nullptr || ctx->signature_len == 0) return fail(v7::kErrNoCryptoContext);
  if ((*out = v7::keyobj::copy_bytes(ctx->signature, ctx->signature_len)) == nullptr)
    return fail(v7::kErrOutOfMemory);
  *out_len = ctx->signature_len;
  return done();
}

int signature_decrypt(PRIVATE_KEY_CTX *, const uint8_t *, size_t, uint8_t **out, size_t *out_len, int,
                      const int *) {
  if (out != nullptr) *out = nullptr;
  if (out_len != nullptr) *out_len = 0;
  return v7::with_errno(-1, -1);
}

int signature_control(PRIVATE_KEY_CTX *ctx, int id, void *in, void *) {
  if (ctx == nullptr || id != KEYOBJ_CTRL_SET_SIGNATURE || in == nullptr)
    return fail(v7::kErrInvalidParameter);
  const auto *value = static_cast<const KEYOBJ_BYTES *>(in);
  if (value->data == nullptr || value->length == 0) return fail(v7::kErrInvalidParameter);
  uint8_t *copy = v7::keyobj::copy_bytes(value->data, value->length);
  if (copy == nullptr) return fail(v7::kErrOutOfMemory);
  v7::keyobj::wipe_free(ctx->signature, ctx->signature_len);
  ctx->signature = copy;
  ctx->signature_len = value->length;
  return done();
}

const PRIVATE_KEY_METHOD kStoredSignatureMethod = {
    keyobj_free_common,
    keyobj_base_get_kind,
    signature_set_key,
    keyobj_base_set_certificate,
    keyobj_keep_buffer,
    keyobj_base_key_algorithm,
    signature_key_length,
    keyobj_base_certificate_der,
    keyobj_base_certificate_der_length,
    keyobj_base_certificate_signature_algorithm,
    keyobj_base_certificate,
    keyobj_base_buffer,
    keyobj_base_buffer_length,
    signature_sign,
    signature_decrypt,
    signature_control,
    keyobj_base_free_buffer,
};

}  // namespace

PRIVATE_KEY_CTX *keyobj_new_type3() {
  PRIVATE_KEY_CTX *ctx = keyobj_alloc(&kStoredSignatureMethod, KEYOBJ_KIND_SIGNATURE);
  if (ctx != nullptr) ctx->key_alg = KEYOBJ_ALG_RSA;  // the phone's key is RSA from the start
  return ctx;
}
