// The public-key object: an RSA public key taken from a certificate, an RSAPublicKey or a
// SubjectPublicKeyInfo, verifying signatures and encrypting by scheme id.
#include <cerrno>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/keyobj_internal.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"

namespace {

using v7::keyobj::done;
using v7::keyobj::fail;
using v7::keyobj::fail_errno;

void drop_key(PUBLIC_KEY_CTX *ctx) {
  rsa_free(ctx->rsa);
  ctx->rsa = nullptr;
  ctx->key_alg = 0;
  asn1_release(&asn1_tmpl_certificate, ctx->cert);
  ctx->cert = nullptr;
  free(ctx->cert_der);
  ctx->cert_der = nullptr;
  ctx->cert_der_len = 0;
}

void pub_destroy(PUBLIC_KEY_CTX *ctx) {
  if (ctx == nullptr) return;
  drop_key(ctx);
  free(ctx);
}

int pub_get_kind(const PUBLIC_KEY_CTX *ctx) {
  return ctx == nullptr ? fail(v7::kErrInvalidParameter) : ctx->kind;
}

int pub_key_algorithm(const PUBLIC_KEY_CTX *ctx) {
  return ctx == nullptr ? fail(v7::kErrInvalidParameter) : ctx->key_alg;
}

const Certificate *pub_certificate(const PUBLIC_KEY_CTX *ctx) { return ctx == nullptr ? nullptr : ctx->cert; }

int load_rsa_public(PUBLIC_KEY_CTX *ctx, const uint8_t *der, size_t length) {
  int code = v7::keyobj::decode_rsa_key(der, length, RSA_DER_PUBLIC, &ctx->rsa);
  if (code == 0) ctx->key_alg = KEYOBJ_ALG_RSA;
  return fail(code);
}

// The RSAPublicKey inside a SubjectPublicKeyInfo; only rsaEncryption keys are taken.
int load_spki(PUBLIC_KEY_CTX *ctx, const SubjectPublicKeyInfo *spki) {
  if (oid_to_id(&spki->algorithm.algorithm) != OID_RSA_ENCRYPTION)
    return fail(v7::kErrUnsupportedPublicKeyAlgorithm);
  const ASN1_BIT_STRING &key = spki->subject_public_key;
  if (key.data == nullptr || key.len == 0 || key.unused_bits != 0) return fail(v7::kErrAsn1Decode);
  return load_rsa_public(ctx, key.data, key.len);
}

int load_spki_der(PUBLIC_KEY_CTX *ctx, const uint8_t *der, size_t length) {
  auto *spki = static_cast<SubjectPublicKeyInfo *>(
      asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_subject_public_key_info, length));
  if (spki == nullptr) return fail_errno(v7::kErrAsn1Decode);
  int code = load_spki(ctx, spki);
  asn1_release(&asn1_tmpl_subject_public_key_info, spki);
  return fail(code);
}

int load_certificate(PUBLIC_KEY_CTX *ctx, const uint8_t *der, size_t length) {
  auto *cert =
      static_cast<Certificate *>(asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_certificate, length));
  if (cert == nullptr) return fail_errno(v7::kErrAsn1Decode);
  int code = load_spki(ctx, &cert->tbs.subject_public_key_info);
  if (code == 0 && (ctx->cert_der = v7::keyobj::copy_bytes(der, length)) == nullptr)
    code = v7::kErrOutOfMemory;
  if (code != 0) {
    asn1_release(&asn1_tmpl_certificate, cert);
    drop_key(ctx);
    return fail(code);
  }
  ctx->cert = cert;
  ctx->cert_der_len = length;
  return done();
}

int pub_set_key(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, int format,
                const PUBLIC_KEY_SOURCE *source) {
  if (ctx == nullptr || data == nullptr || length == 0 || source == nullptr)
    return fail(v7::kErrInvalidParameter);
  drop_key(ctx);
  if (format != KEYOBJ_FORMAT_DEFAULT) return fail(v7::kErrPubKeyUnsupportedOption);
  switch (source->kind) {
    case PUBKEY_SOURCE_CERTIFICATE:
      if (source->check != 1) return fail(v7::kErrPubKeyUnsupportedKeyRefer);
      return load_certificate(ctx, data, length);
    case PUBKEY_SOURCE_RSA_PUBLIC_KEY:
      return load_rsa_public(ctx, data, length);
    case PUBKEY_SOURCE_SPKI:
      return load_spki_der(ctx, data, length);
  }
  return fail(v7::kErrPubKeyUnsupportedKeyFormat);
}

int pub_verify(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, const uint8_t *signature,
               size_t signature_length, int format, const int *scheme) {
  if (ctx == nullptr || signature == nullptr || scheme == nullptr || (data == nullptr && length != 0))
    return fail(v7::kErrInvalidParameter);
  if (format != KEYOBJ_FORMAT_DEFAULT) return fail(v7::kErrPubKeyUnsupportedOption);
  if (ctx->rsa == nullptr) return fail(v7::kErrNoCryptoContext);
  const RSA_PADDING *encoding = sig_padding_by_id(*scheme);
  if (encoding == nullptr) return fail(v7::kErrUnsupportedPublicKeyAlgorithm);
  static const uint8_t kEmpty = 0;
  if (rsa_public_decrypt(ctx->rsa, data == nullptr ? &kEmpty : data, length, encoding, signature,
                         signature_length) != 1)
    return fail_errno(v7::kErrVerifySignature);
  return done();
}

int pub_encrypt(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                int format, const int *scheme) {
  if (ctx == nullptr || out == nullptr || out_len == nullptr || (data == nullptr && length != 0))
    return fail(v7::kErrInvalidParameter);
  *out = nullptr;
  *out_len = 0;
  if (ctx->rsa == nullptr) return fail(v7::kErrNoCryptoContext);
  const RSA_PADDING *encoding = nullptr;  // PKCS#1 v1.5 type 2
  if (format == KEYOBJ_FORMAT_DEFAULT) {
    int id = scheme == nullptr || *scheme == 0 ? ENC_SCHEME_PKCS1 : *scheme;
    if ((encoding = enc_padding_by_id(id)) == nullptr) return fail(v7::kErrUnsupportedPublicKeyAlgorithm);
  }
  int k = rsa_modulus_bytes(ctx->rsa);
  if (k <= 0) return fail_errno(v7::kErrNoCryptoContext);
  auto *cipher = static_cast<uint8_t *>(malloc(size_t(k)));
  if (cipher == nullptr) return fail(v7::kErrOutOfMemory);
  static const uint8_t kEmpty = 0;
  int got =
      rsa_public_encrypt(ctx->rsa, size_t(k), data == nullptr ? &kEmpty : data, length, encoding, cipher);
  if (got <= 0) {
    int code = fail_errno(v7::kErrEncodeEme);
    free(cipher);
    return fail(code);
  }
  *out = cipher;
  *out_len = size_t(got);
  return done();
}

const PUBLIC_KEY_METHOD kRsaPublicKeyMethod = {
    pub_destroy, pub_get_kind, pub_set_key, pub_key_algorithm, pub_certificate, pub_verify, pub_encrypt,
};

}  // namespace

PUBLIC_KEY_CTX *pubkey_new() {
  auto *ctx = static_cast<PUBLIC_KEY_CTX *>(calloc(1, sizeof(PUBLIC_KEY_CTX)));
  if (ctx == nullptr) return v7::with_errno(v7::kErrOutOfMemory, nullptr);
  ctx->ops = &kRsaPublicKeyMethod;
  ctx->kind = PUBKEY_KIND_RSA;
  return ctx;
}

void pubkey_delete(PUBLIC_KEY_CTX *ctx) {
  if (ctx != nullptr && ctx->ops != nullptr) ctx->ops->destroy(ctx);
}

int pubkey_set_key(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, int format,
                   const PUBLIC_KEY_SOURCE *source) {
  if (ctx == nullptr || ctx->ops == nullptr) return fail(v7::kErrInvalidParameter);
  return ctx->ops->set_key(ctx, data, length, format, source);
}

int pubkey_verify(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, const uint8_t *signature,
                  size_t signature_length, int format, const int *scheme) {
  if (ctx == nullptr || ctx->ops == nullptr) return fail(v7::kErrInvalidParameter);
  return ctx->ops->verify(ctx, data, length, signature, signature_length, format, scheme);
}

int pubkey_encrypt(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                   int format, const int *scheme) {
  if (ctx == nullptr || ctx->ops == nullptr) return fail(v7::kErrInvalidParameter);
  return ctx->ops->encrypt(ctx, data, length, out, out_len, format, scheme);
}
