// What every kind of private-key object shares: the record's life, its certificate and random
// value, the accessors, the credential rules and the null-accepting dispatch.
#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "pki/asn1/asn1.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/keyobj_internal.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"
#include "platform/errors/errno_util.h"

using v7::keyobj::copy_bytes;
using v7::keyobj::done;
using v7::keyobj::fail;
using v7::keyobj::fail_errno;
using v7::keyobj::wipe_free;

int v7::keyobj::decode_rsa_key(const uint8_t *der, size_t length, int kind, RSA_CTX **out) {
  *out = nullptr;
  RSA_CTX *rsa = rsa_new();
  if (rsa == nullptr) return fail(v7::kErrOutOfMemory);
  if (rsa_key_decode(der, length, kind, rsa) == 0) {
    int code = fail_errno(v7::kErrRsaIncorrectKey);
    rsa_free(rsa);
    return fail(code);
  }
  *out = rsa;
  return done();
}

PRIVATE_KEY_CTX *keyobj_alloc(const PRIVATE_KEY_METHOD *ops, int kind) {
  auto *ctx = static_cast<PRIVATE_KEY_CTX *>(calloc(1, sizeof(PRIVATE_KEY_CTX)));
  if (ctx == nullptr) return v7::with_errno(v7::kErrOutOfMemory, nullptr);
  ctx->ops = ops;
  ctx->kind = kind;
  return ctx;
}

void keyobj_drop_key(PRIVATE_KEY_CTX *ctx) {
  if (ctx == nullptr) return;
  rsa_free(ctx->rsa);
  ctx->rsa = nullptr;
  ctx->key_alg = 0;
}

void keyobj_free_common(PRIVATE_KEY_CTX *ctx) {
  if (ctx == nullptr) return;
  keyobj_drop_key(ctx);
  asn1_release(&asn1_tmpl_certificate, ctx->cert);
  free(ctx->cert_der);
  wipe_free(ctx->buffer, ctx->buffer_len);
  wipe_free(ctx->signature, ctx->signature_len);
  v7::secure_wipe(ctx, sizeof(*ctx));
  free(ctx);
}

int keyobj_check_credential(const KEY_CREDENTIAL *credential) {
  if (credential == nullptr) return v7::kErrInvalidParameter;
  switch (credential->kind) {
    case KEY_CREDENTIAL_RSA_DER:
      return 0;
    case KEY_CREDENTIAL_PASSWORD:
    case KEY_CREDENTIAL_PIN:
      if (credential->check != credential->kind) return v7::kErrKeyCtxUnsupportedKeyRefer;
      if (credential->text == nullptr || credential->text[0] == '\0') return v7::kErrKeyCtxPasswordRequired;
      return 0;
  }
  return v7::kErrKeyCtxUnsupportedKeyFormat;
}

int keyobj_keep_certificate(PRIVATE_KEY_CTX *ctx, const uint8_t *der, size_t length) {
  if (ctx == nullptr || der == nullptr || length == 0) return fail(v7::kErrInvalidParameter);
  auto *cert =
      static_cast<Certificate *>(asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_certificate, length));
  if (cert == nullptr) {
    return fail_errno(v7::kErrAsn1Decode);
  }
  int sig_alg = oid_to_id(&cert->signature_algorithm.algorithm);
  uint8_t *copy = sig_alg == 0 ? nullptr : copy_bytes(der, length);
  if (copy == nullptr) {
    asn1_release(&asn1_tmpl_certificate, cert);
    return fail(sig_alg == 0 ? v7::kErrUnsupportedPublicKeyAlgorithm : v7::kErrOutOfMemory);
  }
  asn1_release(&asn1_tmpl_certificate, ctx->cert);
  free(ctx->cert_der);
  ctx->cert = cert;
  ctx->cert_der = copy;
  ctx->cert_der_len = length;
  ctx->cert_sig_alg = sig_alg;
  ctx->public_key_len = cert->tbs.subject_public_key_info.subject_public_key.len;
  return done();
}

int keyobj_keep_buffer(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length) {
  if (ctx == nullptr || (data == nullptr && length != 0)) return fail(v7::kErrInvalidParameter);
  if (length > KEYOBJ_MAX_RANDOM) return fail(v7::kErrVidRandomTooLong);
  uint8_t *copy = nullptr;
  if (length != 0 && (copy = copy_bytes(data, length)) == nullptr) return fail(v7::kErrOutOfMemory);
  wipe_free(ctx->buffer, ctx->buffer_len);
  ctx->buffer = copy;
  ctx->buffer_len = length;
  return done();
}

int keyobj_base_set_certificate(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int) {
  return keyobj_keep_certificate(ctx, data, length);
}

// ---- Accessors ---------------------------------------------------------------------------------

int keyobj_base_get_kind(const PRIVATE_KEY_CTX *ctx) {
  return ctx == nullptr ? fail(v7::kErrInvalidParameter) : ctx->kind;
}
int keyobj_base_key_algorithm(const PRIVATE_KEY_CTX *ctx) {
  return ctx == nullptr ? fail(v7::kErrInvalidParameter) : ctx->key_alg;
}
const uint8_t *keyobj_base_certificate_der(const PRIVATE_KEY_CTX *ctx) {
  return ctx == nullptr ? nullptr : ctx->cert_der;
}
size_t keyobj_base_certificate_der_length(const PRIVATE_KEY_CTX *ctx) {
  return ctx == nullptr ? 0 : ctx->cert_der_len;
}
int keyobj_base_certificate_signature_algorithm(const PRIVATE_KEY_CTX *ctx) {
  return ctx == nullptr ? 0 : ctx->cert_sig_alg;
}
const Certificate *keyobj_base_certificate(const PRIVATE_KEY_CTX *ctx) {
  return ctx == nullptr ? nullptr : ctx->cert;
}
const uint8_t *keyobj_base_buffer(const PRIVATE_KEY_CTX *ctx) {
  return ctx == nullptr ? nullptr : ctx->buffer;
}
size_t keyobj_base_buffer_length(const PRIVATE_KEY_CTX *ctx) { return ctx == nullptr ? 0 : ctx->buffer_len; }

void keyobj_base_free_buffer(PRIVATE_KEY_CTX *, uint8_t *buffer, size_t length) { wipe_free(buffer, length); }

// ---- Dispatch ----------------------------------------------------------------------------------

void keyobj_delete(PRIVATE_KEY_CTX *ctx) {
  if (keyobj_usable(ctx)) ctx->ops->destroy(ctx);
}

int keyobj_set_key(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int format,
                   const KEY_CREDENTIAL *credential) {
  if (!keyobj_usable(ctx)) return fail(v7::kErrInvalidParameter);
  return ctx->ops->set_key(ctx, data, length, format, credential);
}

int keyobj_set_certificate(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int part) {
  if (!keyobj_usable(ctx)) return fail(v7::kErrInvalidParameter);
  return ctx->ops->set_certificate(ctx, data, length, part);
}

int keyobj_set_buffer(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length) {
  if (!keyobj_usable(ctx)) return fail(v7::kErrInvalidParameter);
  return ctx->ops->set_buffer(ctx, data, length);
}

int keyobj_sign(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                int format, const int *scheme) {
  if (!keyobj_usable(ctx)) return fail(v7::kErrInvalidParameter);
  return ctx->ops->sign(ctx, data, length, out, out_len, format, scheme);
}

int keyobj_decrypt(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                   int format, const int *scheme) {
  if (!keyobj_usable(ctx)) return fail(v7::kErrInvalidParameter);
  return ctx->ops->decrypt(ctx, data, length, out, out_len, format, scheme);
}

int keyobj_control(PRIVATE_KEY_CTX *ctx, int id, void *in, void *out) {
  if (!keyobj_usable(ctx)) return fail(v7::kErrInvalidParameter);
  return ctx->ops->control(ctx, id, in, out);
}

void keyobj_free_buffer(PRIVATE_KEY_CTX *ctx, uint8_t *buffer, size_t length) {
  if (keyobj_usable(ctx))
    ctx->ops->free_buffer(ctx, buffer, length);
  else
    wipe_free(buffer, length);
}

PRIVATE_KEY_CTX *keyobj_alloc_with_data(const PRIVATE_KEY_METHOD *ops, int kind, size_t data_size) {
  void *data = calloc(1, data_size);
  if (data == nullptr) return v7::with_errno(v7::kErrOutOfMemory, nullptr);
  PRIVATE_KEY_CTX *ctx = keyobj_alloc(ops, kind);
  if (ctx == nullptr) {
    free(data);
    return nullptr;
  }
  ctx->kind_data = data;
  return ctx;
}

int keyobj_base_certificate_key_length(const PRIVATE_KEY_CTX *ctx) {
  return ctx != nullptr && ctx->cert != nullptr ? int(ctx->public_key_len) : 0;
}

namespace v7 {
namespace keyobj {

int outside_sign(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                 int format, const int *scheme, OutsideOp op) {
  if (ctx == nullptr || ctx->kind_data == nullptr || data == nullptr || out == nullptr ||
      out_len == nullptr || scheme == nullptr)
    return fail(kErrInvalidParameter);
  *out = nullptr;
  *out_len = 0;
  if (format != KEYOBJ_FORMAT_DEFAULT) return fail(kErrKeyCtxUnsupportedOption);
  const uint8_t *block = data;
  size_t block_len = length;
  uint8_t *owned = nullptr;
  if (*scheme != SIG_SCHEME_PKCS1_RAW) {
    int hash_type = *scheme == SIG_SCHEME_PKCS1          ? HASH_SHA1
                    : *scheme == SIG_SCHEME_PKCS1_SHA256 ? HASH_SHA256
                                                         : 0;
    if (hash_type == 0) return fail(kErrInvalidParameter);
    owned = digest_info_new(hash_type, data, length, &block_len);
    if (owned == nullptr) return fail_errno(kErrOutOfMemory);
    block = owned;
  }
  int code = op(ctx, true, block, block_len, out, out_len);
  free(owned);
  return code == 0 ? done() : fail(code);
}

int outside_decrypt(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                    int format, const int *scheme, OutsideOp op) {
  if (ctx == nullptr || ctx->kind_data == nullptr || data == nullptr || out == nullptr || out_len == nullptr)
    return fail(kErrInvalidParameter);
  *out = nullptr;
  *out_len = 0;
  if (format == KEYOBJ_FORMAT_DEFAULT && scheme != nullptr && *scheme != ENC_SCHEME_PKCS1)
    return fail(kErrUnsupportedPublicKeyAlgorithm);
  int code = op(ctx, false, data, length, out, out_len);
  return code == 0 ? done() : fail(code);
}

}  // namespace keyobj
}  // namespace v7
