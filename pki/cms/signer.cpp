// Finding the signer's certificate among those a SignedData carries.

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1_owned.h"
#include "pki/cms/cms.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"
#include "pki/x509/name.h"

namespace {

// Only the first subjectKeyIdentifier extension of a certificate is looked at.
bool ski_matches(const Certificate &cert, const ASN1_BYTES &wanted) {
  const Extension *ext = cert_find_extension(&cert, OID_EXT_SUBJECT_KEY_ID);
  if (ext == nullptr) return false;
  v7::Asn1Owned<ASN1_BYTES> ski(&asn1_tmpl_octet_string);
  return ski.decode(ASN1_MODE_DER, ext->extn_value) && asn1_bytes_compare(ski.get(), &wanted) == 0;
}

// Serial numbers are stored minimal by the decoder, so equal bytes are equal values.
bool issuer_serial_matches(const Certificate &cert, const IssuerAndSerialNumber &wanted) {
  return rdn_list_compare(wanted.issuer.rdn_sequence, cert.tbs.issuer.rdn_sequence) == 0 &&
         asn1_bytes_compare(&wanted.serial_number, &cert.tbs.serial_number) == 0;
}

}  // namespace

const Certificate *cms_find_signer_cert(const SignerIdentifier *sid, const ASN1_LIST *certificates) {
  if (sid == nullptr) return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  for (const ASN1_LIST *n = certificates; n != nullptr; n = n->next) {
    const auto *choice = static_cast<const CertificateChoice *>(n->element);
    if (choice == nullptr || choice->certificate == nullptr) continue;
    const Certificate &cert = *choice->certificate;
    if (sid->issuer_and_serial_number != nullptr &&
        issuer_serial_matches(cert, *sid->issuer_and_serial_number))
      return &cert;
    if (sid->subject_key_identifier != nullptr && ski_matches(cert, *sid->subject_key_identifier))
      return &cert;
  }
  return nullptr;
}
