// Whether a revocation list belongs to a certificate (the same authority key identifier) and can
// decide its status (its scope covers the certificate, and it is a complete list), and whether
// it is current.
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/oid/oid.h"
#include "pki/validation/path_internal.h"
#include "pki/x509/name.h"

namespace v7 {
namespace path {
namespace {

// deltaCRLIndicator (2.5.29.27): the identifier table has no id for it.
constexpr uint8_t kDeltaCrlIndicator[] = {0x55, 0x1D, 0x1B};

bool asserted(const ASN1_BOOLEAN *flag) { return flag != nullptr && *flag != 0; }

// ReasonFlags naming keyCompromise (bit 1) through aACompromise (bit 8); bit 0 is unused.
bool names_every_reason(const ASN1_BIT_STRING *flags) {
  if (flags->len == 0 || flags->data == nullptr || flags->unused_bits > 7) return false;
  const size_t bits = size_t(flags->len) * 8 - flags->unused_bits;
  for (size_t bit = 1; bit <= 8; ++bit)
    if (bit >= bits || (flags->data[bit / 8] & (0x80u >> (bit % 8))) == 0) return false;
  return true;
}

int match_key_identifiers(const CertificateList *crl, const Certificate *cert) {
  AuthorityKeyIdentifier *cert_id = cert_aki(cert, nullptr);
  if (cert_id == nullptr) return kErrInvalidAki;
  const auto *aki_ext =
      static_cast<const Extension *>(ext_list_find(crl->tbs.crl_extensions, OID_EXT_AUTHORITY_KEY_ID));
  auto *crl_id =
      static_cast<AuthorityKeyIdentifier *>(decode_extension(aki_ext, &asn1_tmpl_authority_key_identifier));
  int code = 0;
  if (aki_ext == nullptr) {
    code = kErrInvalidAki;
  } else if (crl_id == nullptr) {
    code = kErrInvalidCrlAki;
  } else if (crl_id->authority_cert_issuer == nullptr || crl_id->authority_cert_serial_number == nullptr ||
             cert_id->authority_cert_issuer == nullptr || cert_id->authority_cert_serial_number == nullptr) {
    code = kErrInvalidAki;
  } else {
    const Name *a = first_directory_name(crl_id->authority_cert_issuer);
    const Name *b = first_directory_name(cert_id->authority_cert_issuer);
    if (!bytes_equal(crl_id->key_identifier, cert_id->key_identifier) || a == nullptr || b == nullptr ||
        name_compare(a, b) != 0 ||
        !bytes_equal(crl_id->authority_cert_serial_number, cert_id->authority_cert_serial_number))
      code = kErrCrlAkiMismatch;
  }
  asn1_release(&asn1_tmpl_authority_key_identifier, crl_id);
  asn1_release(&asn1_tmpl_authority_key_identifier, cert_id);
  return code;
}

// A delta list holds only what changed since its base list, and a critical extension this check
// does not read may narrow the list in a way it cannot see: neither can say "not revoked".
bool complete_and_understood(const ASN1_LIST *exts) {
  for (const ASN1_LIST *node = exts; node != nullptr; node = node->next) {
    const auto *ext = static_cast<const Extension *>(node->element);
    if (ext == nullptr) continue;
    if (ext->extn_id.len == sizeof(kDeltaCrlIndicator) &&
        memcmp(ext->extn_id.data, kDeltaCrlIndicator, sizeof(kDeltaCrlIndicator)) == 0)
      return false;
    if (!ext_is_critical(ext)) continue;
    const int id = oid_to_id(&ext->extn_id);
    if (id != OID_EXT_ISSUING_DIST_POINT && id != OID_EXT_AUTHORITY_KEY_ID && id != OID_EXT_CRL_NUMBER)
      return false;
  }
  return true;
}

// True when the kinds of certificate and the reasons the list's issuingDistributionPoint limits
// it to include cert and every reason.
bool scope_covers(const IssuingDistributionPoint *idp, const Certificate *cert) {
  const bool ca = cert_is_ca(cert);
  if (asserted(idp->only_contains_user_certs) && ca) return false;
  if (asserted(idp->only_contains_ca_certs) && !ca) return false;
  if (asserted(idp->only_contains_attribute_certs)) return false;
  return idp->only_some_reasons == nullptr || names_every_reason(idp->only_some_reasons);
}

// A first distribution point limited to some reasons names a list that holds only those.
bool names_a_complete_list(const Certificate *cert) {
  const DistributionPoint *point = nullptr;
  ASN1_LIST *cdp = cert_cdp(cert, &point);
  const bool complete = point == nullptr || point->reasons == nullptr || names_every_reason(point->reasons);
  asn1_release(&asn1_tmpl_crl_distribution_points, cdp);
  return complete;
}

}  // namespace

int crl_match(VALIDATION_CTX *ctx, const CertificateList *crl, const Certificate *cert) {
  const ASN1_LIST *exts = crl->tbs.crl_extensions;
  const auto *idp_ext = static_cast<const Extension *>(ext_list_find(exts, OID_EXT_ISSUING_DIST_POINT));
  auto *idp = static_cast<IssuingDistributionPoint *>(
      decode_extension(idp_ext, &asn1_tmpl_issuing_distribution_point));
  int code = 0;
  if (idp_ext != nullptr && idp == nullptr) code = push(ctx, kErrInvalidCrlIdp);
  if (code == 0 && (code = match_key_identifiers(crl, cert)) != 0) push(ctx, code);
  if (code == 0 && !complete_and_understood(exts)) code = push(ctx, kErrCriticalExtension, "CRL");
  if (code == 0 && idp != nullptr && !scope_covers(idp, cert)) code = push(ctx, kErrInvalidCrlIdp);
  if (code == 0 && !names_a_complete_list(cert)) code = push(ctx, kErrInvalidCdp);
  asn1_release(&asn1_tmpl_issuing_distribution_point, idp);
  return code;
}

bool crl_current(const CertificateList *crl) { return crl_validity_state(&crl->tbs) == 0; }

}  // namespace path
}  // namespace v7
