// The validation context and the entry points of path validation.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/validation/path_internal.h"
#include "pki/validation/validate.h"

namespace {

using v7::with_errno;

// Copies a terminated text into a field; false when it does not fit.
bool copy_field(char *field, size_t capacity, const char *text, size_t text_capacity) {
  size_t len = strnlen(text, text_capacity);
  if (len >= capacity || len == text_capacity) return false;
  memcpy(field, text, len);
  field[len] = 0;
  return true;
}

}  // namespace

VALIDATION_CTX *valctx_create(const VALIDATION_SETTINGS *settings, ERROR_CTX *err) {
  if (settings == nullptr || err == nullptr) return with_errno(v7::kErrInvalidParameter, nullptr);
  auto *ctx = static_cast<VALIDATION_CTX *>(calloc(1, sizeof(VALIDATION_CTX)));
  if (ctx == nullptr) return with_errno(v7::kErrOutOfMemory, nullptr);
  ctx->mode = settings->mode;
  // A directory text that does not fit the context is refused, never cut: a shortened folder
  // names another folder, and the cache would then read and write there.
  bool ok =
      copy_field(ctx->policy, sizeof(ctx->policy), settings->policy, sizeof(settings->policy)) &&
      copy_field(ctx->second_dir, sizeof(ctx->second_dir), settings->second_dir,
                 sizeof(settings->second_dir)) &&
      copy_field(ctx->cert_dir, sizeof(ctx->cert_dir), settings->cert_dir, sizeof(settings->cert_dir)) &&
      copy_field(ctx->root_cert_dir, sizeof(ctx->root_cert_dir), settings->root_cert_dir,
                 sizeof(settings->root_cert_dir)) &&
      copy_field(ctx->ldap_addr, sizeof(ctx->ldap_addr), settings->ldap_addr, sizeof(settings->ldap_addr)) &&
      copy_field(ctx->ctl_dn, sizeof(ctx->ctl_dn), settings->ctl_dn, sizeof(settings->ctl_dn));
  if (!ok) {
    free(ctx);
    return with_errno(v7::kErrConfigInvalidValue, nullptr);
  }
  ctx->roots = settings->roots;
  ctx->ldap_port = settings->ldap_port;
  ctx->err = err;
  ctx->store_certs = settings->store_certs;
  ctx->no_time_check = settings->no_time_check;
  return with_errno(0, ctx);
}

void valctx_free(VALIDATION_CTX *ctx) {
  if (ctx == nullptr) return;
  cert_nodes_free(ctx->own_roots);
  free(ctx);
}

int cert_validate(const Certificate *cert, VALIDATION_CTX *ctx, int usage) {
  if (ctx == nullptr) return with_errno(v7::kErrNoValidationCtx, v7::kErrNoValidationCtx);
  if (ctx->err == nullptr) return with_errno(v7::kErrNoErrorContext, v7::kErrNoErrorContext);
  if (strcmp(ctx->second_dir, "NOT_AVAILABLE") == 0) {
    v7::path::push(ctx, v7::kErrProfileDir);
    return with_errno(v7::kErrProfileDir, v7::kErrProfileDir);
  }
  if (cert == nullptr) {
    v7::path::push(ctx, v7::kErrInvalidParameter);
    return with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  }
  CERT_NODE *chain = nullptr;
  int code = v7::path::chain_build(ctx, cert, &chain);
  if (code == 0) code = v7::path::path_check(ctx, chain, cert, usage);
  cert_nodes_free(chain);
  return with_errno(code, code);
}

int cert_validate_der(const uint8_t *der, size_t length, VALIDATION_CTX *ctx) {
  if (ctx == nullptr) return with_errno(v7::kErrNoValidationCtx, v7::kErrNoValidationCtx);
  if (ctx->err == nullptr) return with_errno(v7::kErrNoErrorContext, v7::kErrNoErrorContext);
  if (der == nullptr || length == 0) {
    v7::path::push(ctx, v7::kErrInvalidParameter);
    return with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  }
  auto *cert =
      static_cast<Certificate *>(asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_certificate, length));
  if (cert == nullptr) {
    int code = errno != 0 ? errno : v7::kErrDecodeFailed;
    v7::path::push(ctx, code);
    return with_errno(code, code);
  }
  int code = cert_validate(cert, ctx, KU_CHECK_KEY_ENCIPHERMENT);
  asn1_release(&asn1_tmpl_certificate, cert);
  return with_errno(code, code);
}

int cert_validate_der_with_crls(size_t length, const uint8_t *der, VALIDATION_CTX *ctx, const uint8_t *arl,
                                size_t arl_len, const uint8_t *crl, size_t crl_len) {
  if (ctx == nullptr) return with_errno(v7::kErrNoValidationCtx, v7::kErrNoValidationCtx);
  auto *lists = static_cast<VALIDATION_CRLS *>(calloc(1, sizeof(VALIDATION_CRLS)));
  if (lists == nullptr) return with_errno(v7::kErrOutOfMemory, v7::kErrOutOfMemory);
  *lists = VALIDATION_CRLS{arl, arl_len, crl, crl_len};
  ctx->crls = lists;
  int code = cert_validate_der(der, length, ctx);
  ctx->crls = nullptr;
  free(lists);
  return with_errno(code, code);
}

int cert_validate_der_with_issuers(const uint8_t *der, size_t length, VALIDATION_CTX *ctx,
                                   const uint8_t *const *issuer_ders, const size_t *issuer_lens,
                                   size_t count) {
  if (ctx == nullptr) return with_errno(v7::kErrNoValidationCtx, v7::kErrNoValidationCtx);
  if (count != 0 && (issuer_ders == nullptr || issuer_lens == nullptr))
    return with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  if (count > size_t(kValidateMaxDepth)) count = size_t(kValidateMaxDepth);
  CERT_NODE *extra = nullptr;
  CERT_NODE **tail = &extra;
  for (size_t i = 0; i < count; ++i) {
    if (issuer_ders[i] == nullptr || issuer_lens[i] == 0) continue;
    auto *cert = static_cast<Certificate *>(
        asn1_decode_alloc(ASN1_MODE_DER, issuer_ders[i], &asn1_tmpl_certificate, issuer_lens[i]));
    if (cert == nullptr) continue;
    auto *node = static_cast<CERT_NODE *>(calloc(1, sizeof(CERT_NODE)));
    if (node == nullptr) {
      asn1_release(&asn1_tmpl_certificate, cert);
      cert_nodes_free(extra);
      return with_errno(v7::kErrOutOfMemory, v7::kErrOutOfMemory);
    }
    node->cert = cert;
    *tail = node;
    tail = &node->next;
  }
  CERT_NODE *saved = ctx->extra_issuers;
  ctx->extra_issuers = extra;
  int code = cert_validate_der(der, length, ctx);
  ctx->extra_issuers = saved;
  cert_nodes_free(extra);
  return with_errno(code, code);
}
