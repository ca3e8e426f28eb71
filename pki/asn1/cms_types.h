// Records and templates of PKCS#7 / CMS: content info, signed data and encrypted data, and the
// attribute type they share with PKCS#8 and PKCS#12.
#pragma once

#include "pki/asn1/asn1.h"
#include "pki/asn1/x509_types.h"

struct Attribute {
  ASN1_BYTES attr_type;
  ASN1_LIST attr_values;  // SET OF ANY
};

// content [0] EXPLICIT ANY, mandatory: the inner element, tag first.
struct ContentInfo {
  ASN1_BYTES content_type;
  ASN1_BYTES content;
};

// CMS wraps every content in an OCTET STRING; a PKCS#7 v1.5 signature whose non-data content
// stands in [0] as it is does not decode.
struct EncapsulatedContentInfo {
  ASN1_BYTES e_content_type;
  ASN1_BYTES *e_content;  // [0] EXPLICIT OCTET STRING OPTIONAL: the octets
};

struct IssuerAndSerialNumber {
  Name issuer;
  ASN1_BYTES serial_number;
};

// SignerIdentifier ::= CHOICE { IssuerAndSerialNumber, [0] IMPLICIT SubjectKeyIdentifier }
struct SignerIdentifier {
  IssuerAndSerialNumber *issuer_and_serial_number;
  ASN1_BYTES *subject_key_identifier;
};

struct SignerInfo {
  ASN1_BYTES version;
  SignerIdentifier sid;
  AlgorithmIdentifier digest_algorithm;
  ASN1_LIST *signed_attrs;  // [0] IMPLICIT OPTIONAL, of Attribute
  AlgorithmIdentifier signature_algorithm;
  ASN1_BYTES signature;
  ASN1_LIST *unsigned_attrs;  // [1] IMPLICIT OPTIONAL, of Attribute
};

struct OtherFormat {
  ASN1_BYTES format;
  ASN1_BYTES value;  // ANY
};

// CertificateChoices ::= CHOICE { Certificate, [3] IMPLICIT OtherCertificateFormat }
struct CertificateChoice {
  Certificate *certificate;
  OtherFormat *other;
};

// RevocationInfoChoice ::= CHOICE { CertificateList, [1] IMPLICIT OtherRevocationInfoFormat }
struct RevocationInfoChoice {
  CertificateList *crl;
  OtherFormat *other;
};

struct SignedData {
  ASN1_BYTES version;
  ASN1_LIST digest_algorithms;  // SET OF AlgorithmIdentifier
  EncapsulatedContentInfo encap_content_info;
  ASN1_LIST *certificates;  // [0] IMPLICIT OPTIONAL, SET OF CertificateChoice
  ASN1_LIST *crls;          // [1] IMPLICIT OPTIONAL, SET OF RevocationInfoChoice
  ASN1_LIST signer_infos;   // SET OF SignerInfo
};

struct EncryptedContentInfo {
  ASN1_BYTES content_type;
  AlgorithmIdentifier content_encryption_algorithm;
  ASN1_BYTES *encrypted_content;  // [0] IMPLICIT OCTET STRING OPTIONAL
};

struct EncryptedData {
  ASN1_BYTES version;
  EncryptedContentInfo encrypted_content_info;
  ASN1_LIST *unprotected_attrs;  // [1] IMPLICIT OPTIONAL, of Attribute
};

extern const ASN1_TEMPLATE asn1_tmpl_attribute;
extern const ASN1_TEMPLATE asn1_tmpl_attributes;  // SET OF Attribute
extern const ASN1_TEMPLATE asn1_tmpl_content_info;
extern const ASN1_TEMPLATE asn1_tmpl_encapsulated_content_info;
extern const ASN1_TEMPLATE asn1_tmpl_issuer_and_serial_number;
extern const ASN1_TEMPLATE asn1_tmpl_signer_identifier;
extern const ASN1_TEMPLATE asn1_tmpl_signer_info;
extern const ASN1_TEMPLATE asn1_tmpl_certificate_choice;
extern const ASN1_TEMPLATE asn1_tmpl_revocation_info_choice;
extern const ASN1_TEMPLATE asn1_tmpl_signed_data;
extern const ASN1_TEMPLATE asn1_tmpl_encrypted_content_info;
extern const ASN1_TEMPLATE asn1_tmpl_encrypted_data;
