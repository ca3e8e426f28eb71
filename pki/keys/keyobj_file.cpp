// The key-file kind: the private key opened from the user's password-protected key file (or
// handed over as a plain RSAPrivateKey) and held in an RSA_CTX for signing and decrypting.
#include <cerrno>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "pki/asn1/key_types.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/keyobj_internal.h"
#include "pki/keys/pkcs8.h"
#include "pki/keys/vid_random.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"

namespace {

using v7::keyobj::done;
using v7::keyobj::fail;
using v7::keyobj::fail_errno;

// The RSAPrivateKey DER into a fresh key; the object keeps it only when it loads.
int load_rsa_der(PRIVATE_KEY_CTX *ctx, const uint8_t *der, size_t length) {
  int code = v7::keyobj::decode_rsa_key(der, length, RSA_DER_PRIVATE, &ctx->rsa);
  if (code == 0) ctx->key_alg = KEYOBJ_ALG_RSA;
  return fail(code);
}

// The opened PrivateKeyInfo: its key, and the VID random value when it carries one.
int load_key_info(PRIVATE_KEY_CTX *ctx, const PrivateKeyInfo *info) {
  if (info->private_key.len > KEYOBJ_MAX_PRIVATE_KEY) return fail(v7::kErrInsufficientBuffer);
  v7::SecureBytes work(info->private_key.data, info->private_key.len);

  uint8_t random[KEYOBJ_MAX_RANDOM];
  size_t random_len = 0;
  int code = 0;
  if (info->attributes != nullptr) {
    // A value longer than the buffer fails with 1002; an absent or empty one leaves none.
    errno = 0;
    int got = pkey_get_vid_random(info->attributes, random, sizeof(random));
    if (got > 0)
      random_len = size_t(got);
    else if (errno != 0 && errno != v7::kErrNoVidRandom)
      code = errno;
  }
  if (code == 0 && oid_to_id(&info->private_key_algorithm.algorithm) != OID_RSA_ENCRYPTION)
    code = v7::kErrUnsupportedPublicKeyAlgorithm;
  if (code == 0) code = load_rsa_der(ctx, work.data(), work.size());
  if (code == 0 && random_len != 0 && (code = keyobj_keep_buffer(ctx, random, random_len)) != 0)
    keyobj_drop_key(ctx);
  v7::secure_wipe(random, sizeof(random));
  return fail(code);
}

int open_key_file(PRIVATE_KEY_CTX *ctx, const uint8_t *der, size_t length, const char *password) {
  PrivateKeyInfo *info = pkey_decrypt(der, length, password);
  // A wrong password shows as the decryption's own code; the caller tells it apart by that code.
  if (info == nullptr) return fail_errno(v7::kErrSymmetricDecrypt);
  int code = load_key_info(ctx, info);
  asn1_release(&asn1_tmpl_private_key_info, info);
  return fail(code);
}

int file_set_key(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int format,
                 const KEY_CREDENTIAL *credential) {
  if (ctx == nullptr || data == nullptr || length == 0 || credential == nullptr)
    return fail(v7::kErrInvalidParameter);
  // Loading over an earlier key, or failing to, must not leave that key behind.
  keyobj_drop_key(ctx);
  if (format != KEYOBJ_FORMAT_DEFAULT) return fail(v7::kErrKeyCtxUnsupportedKeyFormat);
  // A PIN opens no key file.
  if (credential->kind != KEY_CREDENTIAL_PASSWORD && credential->kind != KEY_CREDENTIAL_RSA_DER)
    return fail(v7::kErrKeyCtxUnsupportedKeyFormat);
  int code = keyobj_check_credential(credential);
  if (code != 0) return fail(code);
  if (credential->kind == KEY_CREDENTIAL_PASSWORD) return open_key_file(ctx, data, length, credential->text);
  return load_rsa_der(ctx, data, length);
}

int file_key_length(const PRIVATE_KEY_CTX *ctx) {
  if (ctx == nullptr || ctx->rsa == nullptr || ctx->key_alg != KEYOBJ_ALG_RSA) return 0;
  int k = rsa_modulus_bytes(ctx->rsa);
  return k > 0 ? k : 0;
}

// The checks sign and decrypt share; on success the output is cleared and the key's length known.
int start_private_op(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                     size_t *k) {
  if (ctx == nullptr || out == nullptr || out_len == nullptr || (data == nullptr && length != 0))
    return v7::kErrInvalidParameter;
  *out = nullptr;
  *out_len = 0;
  if (ctx->rsa == nullptr || ctx->key_alg != KEYOBJ_ALG_RSA) return v7::kErrNoCryptoContext;
  int bytes = rsa_modulus_bytes(ctx->rsa);
  if (bytes <= 0) return errno != 0 ? errno : v7::kErrNoCryptoContext;
  *k = size_t(bytes);
  return 0;
}

int file_sign(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
              int format, const int *scheme) {
  size_t k = 0;
  int code = start_private_op(ctx, data, length, out, out_len, &k);
  if (code != 0) return fail(code);
  if (format != KEYOBJ_FORMAT_DEFAULT) return fail(v7::kErrKeyCtxUnsupportedOption);
  if (scheme == nullptr) return fail(v7::kErrInvalidParameter);
  const RSA_PADDING *encoding = sig_padding_by_id(*scheme);
  if (encoding == nullptr) return fail(v7::kErrUnsupportedPublicKeyAlgorithm);
  auto *signature = static_cast<uint8_t *>(malloc(k));
  if (signature == nullptr) return fail(v7::kErrOutOfMemory);
  static const uint8_t kEmpty = 0;
  int got = rsa_private_encrypt(k, ctx->rsa, data == nullptr ? &kEmpty : data, length, encoding, signature);
  if (got <= 0) {
    code = fail_errno(v7::kErrSignatureEncode);
    v7::keyobj::wipe_free(signature, k);
    return fail(code);
  }
  *out = signature;
  *out_len = size_t(got);
  return done();
}

int file_decrypt(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                 int format, const int *scheme) {
  size_t k = 0;
  int code = start_private_op(ctx, data, length, out, out_len, &k);
  if (code != 0) return fail(code);
  const RSA_PADDING *encoding = nullptr;  // PKCS#1 v1.5 type 2
  if (format == KEYOBJ_FORMAT_DEFAULT) {
    if (scheme == nullptr) return fail(v7::kErrInvalidParameter);
    if ((encoding = enc_padding_by_id(*scheme)) == nullptr)
      return fail(v7::kErrUnsupportedPublicKeyAlgorithm);
  }
  auto *plain = static_cast<uint8_t *>(malloc(k));
  if (plain == nullptr) return fail(v7::kErrOutOfMemory);
  errno = 0;
  int got = rsa_private_decrypt(ctx->rsa, data, length, encoding, plain, k);
  if (got <= 0 && errno != 0) {
    code = errno;
    v7::keyobj::wipe_free(plain, k);
    return fail(code);
  }
  *out = plain;
  *out_len = size_t(got);
  return done();
}

int file_control(PRIVATE_KEY_CTX *, int, void *, void *) { return done(); }

const PRIVATE_KEY_METHOD kKeyFileMethod = {
    keyobj_free_common,
    keyobj_base_get_kind,
    file_set_key,
    keyobj_base_set_certificate,
    keyobj_keep_buffer,
    keyobj_base_key_algorithm,
    file_key_length,
    keyobj_base_certificate_der,
    keyobj_base_certificate_der_length,
    keyobj_base_certificate_signature_algorithm,
    keyobj_base_certificate,
    keyobj_base_buffer,
    keyobj_base_buffer_length,
    file_sign,
    file_decrypt,
    file_control,
    keyobj_base_free_buffer,
};

}  // namespace

PRIVATE_KEY_CTX *keyobj_new_type1() { return keyobj_alloc(&kKeyFileMethod, KEYOBJ_KIND_FILE); }
