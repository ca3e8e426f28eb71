// A revocation list for a certificate from the cache folder or the directory named by the
// certificate's distribution point. A list is used, and cached, only after it has been checked
// against its issuer.
#include <cerrno>
#include <cstdlib>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/ldap/ldap.h"
#include "pki/oid/oid.h"
#include "pki/validation/path_internal.h"

namespace v7 {
namespace path {
namespace {

constexpr size_t kDetailLimit = 500;

void release(CertificateList *crl) { asn1_release(&asn1_tmpl_certificate_list, crl); }

// A cached list that matches, is current and verifies; its failures are not the caller's.
CertificateList *from_cache(VALIDATION_CTX *ctx, const LDAP_URL *url, const Certificate *cert,
                            const Certificate *issuer) {
  auto *crl = static_cast<CertificateList *>(cache_read(url->dn, ctx->cert_dir, CACHE_KIND_CRL));
  if (crl == nullptr) return nullptr;
  ERROR_CTX quiet{};
  ERROR_CTX *caller = ctx->err;
  ctx->err = &quiet;
  bool usable =
      crl_match(ctx, crl, cert) == 0 && crl_current(crl) && crl_check_issuer(ctx, crl, cert, issuer) == 0;
  ctx->err = caller;
  err_ctx_clear(&quiet);
  if (usable) return crl;
  release(crl);
  return nullptr;
}

int store(VALIDATION_CTX *ctx, const LDAP_URL *url, const CertificateList *crl) {
  if (ctx->store_certs == VALCFG_STORE_FALSE) return 0;
  const bool must = ctx->store_certs == VALCFG_STORE_TRUE;
  uint8_t *der = nullptr;
  size_t len = 0;
  if (der_encode_alloc(&asn1_tmpl_certificate_list, crl, &der, &len) == 0) {
    if (!must) return 0;
    push(ctx, kErrEncodeFailed, "CertificateList");
    return push(ctx, kErrStoreCrl);
  }
  int written = cache_write(der, url->dn, CACHE_KIND_CRL, ctx->cert_dir, len);
  free(der);
  if (written != 0 && must) return push(ctx, kErrStoreCrl);
  return 0;
}

CertificateList *from_directory(VALIDATION_CTX *ctx, const LDAP_URL *url, const Certificate *cert,
                                const Certificate *issuer, int *code) {
  auto *crl = static_cast<CertificateList *>(ldap_fetch(url, LDAP_KIND_CRL));
  if (crl == nullptr) {
    push_directory_failure(ctx, errno != 0 ? errno : kErrLdapSearch, url->host, url->port, url->dn,
                           kDetailLimit, true);
    *code = push(ctx, kErrGetCrl);
    return nullptr;
  }
  int failure = crl_match(ctx, crl, cert);
  if (failure == 0) {
    char *text = nullptr;
    int when = crl_validity_text(&crl->tbs, &text);
    if (when != 0)
      failure = push_owned(ctx, when == 1 ? kErrCrlExpired : when == -1 ? kErrCrlNotYetValid : errno, text);
    else
      free(text);
  }
  if (failure != 0) {
    release(crl);
    *code = push(ctx, kErrGetCrl);
    return nullptr;
  }
  if (crl_check_issuer(ctx, crl, cert, issuer) != 0) {
    release(crl);
    *code = push(ctx, kErrValidateCrl);
    return nullptr;
  }
  if ((*code = store(ctx, url, crl)) != 0) {
    release(crl);
    return nullptr;
  }
  return crl;
}

}  // namespace

CertificateList *crl_fetch(VALIDATION_CTX *ctx, const Certificate *cert, const Certificate *issuer,
                           int *code) {
  *code = kErrGetCrl;
  auto *cdp = static_cast<ASN1_LIST *>(
      decode_cert_extension(cert, OID_EXT_CRL_DIST_POINTS, &asn1_tmpl_crl_distribution_points, nullptr));
  const ASN1_BYTES *uri = first_cdp_uri(cdp);
  LDAP_URL *url =
      uri == nullptr ? nullptr : ldap_url_parse(uri->len, reinterpret_cast<const char *>(uri->data));
  int parse_error = errno;
  asn1_release(&asn1_tmpl_crl_distribution_points, cdp);
  if (uri == nullptr) {
    push(ctx, kErrInvalidCdp);
    push(ctx, kErrGetCrl);
    return nullptr;
  }
  if (url == nullptr) {
    push(ctx, parse_error);
    push(ctx, kErrGetCrl);
    return nullptr;
  }
  CertificateList *crl = from_cache(ctx, url, cert, issuer);
  if (crl == nullptr) crl = from_directory(ctx, url, cert, issuer, code);
  ldap_url_free(url);
  if (crl != nullptr) *code = 0;
  return crl;
}

}  // namespace path
}  // namespace v7
