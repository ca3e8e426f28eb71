// Whether a revocation list belongs to a certificate (the same authority key identifier), and
// whether it is current.
#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/oid/oid.h"
#include "pki/validation/path_internal.h"
#include "pki/x509/name.h"

namespace v7 {
namespace path {

int crl_match(const CertificateList *crl, const Certificate *cert) {
  const ASN1_LIST *exts = crl->tbs.crl_extensions;
  const auto *idp_ext = static_cast<const Extension *>(ext_list_find(exts, OID_EXT_ISSUING_DIST_POINT));
  if (idp_ext != nullptr) {
    void *idp = decode_extension(idp_ext, &asn1_tmpl_issuing_distribution_point);
    if (idp == nullptr) return kErrInvalidCrlIdp;
    asn1_release(&asn1_tmpl_issuing_distribution_point, idp);
  }
  AuthorityKeyIdentifier *cert_id = cert_aki(cert, nullptr);
  if (cert_id == nullptr) return kErrInvalidAki;
  const auto *aki_ext = static_cast<const Extension *>(ext_list_find(exts, OID_EXT_AUTHORITY_KEY_ID));
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

bool crl_current(const CertificateList *crl) { return crl_validity_state(&crl->tbs) == 0; }

}  // namespace path
}  // namespace v7
