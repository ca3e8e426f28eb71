// The revocation check of one certificate, and the check of a revocation list against the
// certificate's issuer.
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/oid/oid.h"
#include "pki/validation/path_internal.h"
#include "pki/validation/revocation.h"
#include "pki/x509/name.h"

namespace v7 {
namespace path {
namespace {

bool uri_in(const ASN1_BYTES *uri, const ASN1_LIST *names) {
  for (const ASN1_LIST *n = names; n != nullptr; n = n->next) {
    const auto *name = static_cast<const GeneralName *>(n->element);
    if (name != nullptr && bytes_equal(name->uniform_resource_identifier, uri)) return true;
  }
  return false;
}

bool directory_name_in(const Name *dn, const ASN1_LIST *names) {
  for (const ASN1_LIST *n = names; n != nullptr; n = n->next) {
    const auto *name = static_cast<const GeneralName *>(n->element);
    if (name != nullptr && name->directory_name != nullptr && name_compare(name->directory_name, dn) == 0)
      return true;
  }
  return false;
}

// The list's issuingDistributionPoint names the certificate's first distribution point.
bool idp_matches(const IssuingDistributionPoint *idp, const DistributionPoint *point) {
  const ASN1_LIST *listed = idp->distribution_point->full_name;
  if (point->distribution_point != nullptr && point->distribution_point->full_name != nullptr) {
    for (const ASN1_LIST *n = point->distribution_point->full_name; n != nullptr; n = n->next) {
      const auto *name = static_cast<const GeneralName *>(n->element);
      if (name != nullptr && name->uniform_resource_identifier != nullptr &&
          uri_in(name->uniform_resource_identifier, listed))
        return true;
    }
    return false;
  }
  for (const ASN1_LIST *n = point->crl_issuer; n != nullptr; n = n->next) {
    const auto *name = static_cast<const GeneralName *>(n->element);
    if (name != nullptr && name->directory_name != nullptr && directory_name_in(name->directory_name, listed))
      return true;
  }
  return false;
}

int check_names(VALIDATION_CTX *ctx, const CertificateList *crl, const Certificate *cert, bool national) {
  const DistributionPoint *point = nullptr;
  ASN1_LIST *cdp = cert_cdp(cert, &point);
  if (point == nullptr) {
    asn1_release(&asn1_tmpl_crl_distribution_points, cdp);
    return push(ctx, kErrInvalidCdp);
  }
  const bool same_issuer = name_compare(&cert->tbs.issuer, &crl->tbs.issuer) == 0;
  int code = 0;
  if (point->crl_issuer == nullptr && !same_issuer) code = push(ctx, kErrCrlIssuer);
  const auto *idp_ext =
      static_cast<const Extension *>(ext_list_find(crl->tbs.crl_extensions, OID_EXT_ISSUING_DIST_POINT));
  auto *idp = static_cast<IssuingDistributionPoint *>(
      decode_extension(idp_ext, &asn1_tmpl_issuing_distribution_point));
  if (code == 0 && idp_ext != nullptr && idp == nullptr) code = push(ctx, kErrInvalidCrlIdp);
  if (code == 0 && idp != nullptr && idp->distribution_point != nullptr && !idp_matches(idp, point))
    code = push(ctx, kErrInvalidCrlIdp);
  if (code == 0 && idp_ext == nullptr && !national) code = push(ctx, kErrCrlIssuer);
  // An indirect list (cRLIssuer above) still ends here: the certificate's issuer must have issued it.
  if (code == 0 && !same_issuer) code = push(ctx, kErrCrlIssuer);
  asn1_release(&asn1_tmpl_issuing_distribution_point, idp);
  asn1_release(&asn1_tmpl_crl_distribution_points, cdp);
  return code;
}

}  // namespace

int crl_check_issuer(VALIDATION_CTX *ctx, const CertificateList *crl, const Certificate *cert,
                     const Certificate *issuer) {
  char dn[512];
  if (name_to_text_comma(&crl->tbs.issuer, dn, sizeof(dn)) < 0) return push(ctx, kErrCrlIssuer);
  // The national root's lists are told by this plain substring of the issuer text, which is how
  // the directory's publishers have always been recognised; the signature below still decides.
  const bool national =
      strstr(dn, "o=KISA") != nullptr || strstr(dn, "o=Kisa") != nullptr || strstr(dn, "o=kisa") != nullptr;
  int code = check_names(ctx, crl, cert, national);
  if (code != 0) return code;
  if (!national) {
    const Extension *ext = cert_find_extension(issuer, OID_EXT_KEY_USAGE);
    auto *ku = static_cast<ASN1_BIT_STRING *>(decode_extension(ext, &asn1_tmpl_bit_string));
    if (ku == nullptr) return push(ctx, kErrNoKeyUsage);
    int ok = cert_key_usage_ok(KU_CHECK_CRL_SIGN, ku);
    asn1_release(&asn1_tmpl_bit_string, ku);
    if (ok != 1) return push(ctx, kErrKeyUsage);
  }
  if (!same_algorithm(&crl->signature_algorithm, &crl->tbs.signature))
    return push(ctx, kErrCrlSignatureAlgMismatch);
  if (verify_signed(issuer, &crl->signature_algorithm, &crl->tbs, &asn1_tmpl_tbs_cert_list,
                    &crl->signature_value) != 0)
    return push(ctx, kErrCrlSignature);
  return 0;
}

}  // namespace path
}  // namespace v7

namespace {

// The caller's list for this certificate when it belongs to it and is current; a list that is
// out of date counts as no list, so that a current one is fetched instead. Why a list that
// decodes does not belong stays in the trail until a fetched one serves.
CertificateList *from_context(VALIDATION_CTX *ctx, int usage, const Certificate *cert) {
  const bool ca = usage == KU_CHECK_CERT_SIGN;
  const uint8_t *der = ca ? ctx->crls->arl : ctx->crls->crl;
  size_t len = ca ? ctx->crls->arl_len : ctx->crls->crl_len;
  if (der == nullptr || len == 0) {
    v7::path::push(ctx, v7::kErrInvalidParameter, "CRL is NULL");
    return nullptr;
  }
  auto *crl =
      static_cast<CertificateList *>(asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_certificate_list, len));
  if (crl != nullptr && v7::path::crl_match(ctx, crl, cert) == 0 && v7::path::crl_current(crl)) return crl;
  asn1_release(&asn1_tmpl_certificate_list, crl);
  return nullptr;
}

}  // namespace

int revocation_check(VALIDATION_CTX *ctx, int usage, const Certificate *cert, const Certificate *issuer) {
  using namespace v7::path;
  if (ctx == nullptr || cert == nullptr || issuer == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  // The toolkit has no OCSP client, so OCSP mode checks lists like CRL mode: skipping the end
  // certificate would report a revoked certificate as valid.
  if (ctx->mode != VALCFG_MODE_CRL && ctx->mode != VALCFG_MODE_OCSP) {
    int code = push(ctx, v7::kErrInvalidConfig);
    return v7::with_errno(code, code);
  }
  int code = v7::kErrGetCrl;
  CertificateList *crl = nullptr;
  if (ctx->crls != nullptr) {
    crl = from_context(ctx, usage, cert);
    if (crl != nullptr && crl_check_issuer(ctx, crl, cert, issuer) != 0) {
      asn1_release(&asn1_tmpl_certificate_list, crl);
      code = push(ctx, v7::kErrValidateCrl);
      return v7::with_errno(code, code);
    }
    if (crl == nullptr) {
      push(ctx, -1, "Failed to get CRL from CTX");
      crl = crl_fetch(ctx, cert, issuer, &code);
      if (crl != nullptr) err_ctx_clear(ctx->err);
    }
  } else {
    crl = crl_fetch(ctx, cert, issuer, &code);
  }
  if (crl == nullptr) return v7::with_errno(code, code);
  code = revoked_search(ctx, crl, cert);
  asn1_release(&asn1_tmpl_certificate_list, crl);
  return v7::with_errno(code, code);
}
