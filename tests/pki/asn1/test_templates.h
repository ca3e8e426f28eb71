// Small templates of the standard structures the codec tests decode: enough of X.509, CRLs,
// PKCS#1, PKCS#8 and CMS to walk real files field by field. Each record mirrors its template,
// and a static_assert in the .cpp pins that the template's record size is the struct's.
#pragma once

#include "pki/asn1/asn1.h"

namespace asn1test {

struct AlgorithmIdentifier {
  ASN1_BYTES algorithm;
  ASN1_BYTES *parameters;  // ANY OPTIONAL
};

struct AttributeTypeAndValue {
  ASN1_BYTES type;
  ASN1_BYTES value;  // ANY
};

// Name ::= CHOICE { rdnSequence RDNSequence }; RDNSequence ::= SEQUENCE OF SET OF ATV.
struct Name {
  ASN1_LIST *rdn_sequence;
};

struct Time {
  ASN1_BYTES *utc_time;
  ASN1_BYTES *generalized_time;
};

struct Validity {
  Time not_before;
  Time not_after;
};

struct SubjectPublicKeyInfo {
  AlgorithmIdentifier algorithm;
  ASN1_BIT_STRING subject_public_key;
};

struct Extension {
  ASN1_BYTES extn_id;
  ASN1_BOOLEAN *critical;
  ASN1_BYTES extn_value;
};

struct TbsCertificate {
  ASN1_BYTES *version;  // [0] EXPLICIT OPTIONAL
  ASN1_BYTES serial_number;
  AlgorithmIdentifier signature;
  Name issuer;
  Validity validity;
  Name subject;
  SubjectPublicKeyInfo subject_public_key_info;
  ASN1_BIT_STRING *issuer_unique_id;   // [1] IMPLICIT OPTIONAL
  ASN1_BIT_STRING *subject_unique_id;  // [2] IMPLICIT OPTIONAL
  ASN1_LIST *extensions;               // [3] EXPLICIT OPTIONAL
};

struct Certificate {
  TbsCertificate tbs;
  AlgorithmIdentifier signature_algorithm;
  ASN1_BIT_STRING signature;
};

struct TbsCertList {
  ASN1_BYTES *version;
  AlgorithmIdentifier signature;
  Name issuer;
  Time this_update;
  Time next_update;
  ASN1_BYTES *revoked_certificates;  // ANY OPTIONAL, walked entry by entry
  ASN1_LIST *crl_extensions;         // [0] EXPLICIT OPTIONAL
};

struct CertificateList {
  TbsCertList tbs;
  AlgorithmIdentifier signature_algorithm;
  ASN1_BIT_STRING signature;
};

struct RevokedEntry {
  ASN1_BYTES user_certificate;
  Time revocation_date;
  ASN1_LIST *crl_entry_extensions;
};

struct RsaPublicKey {
  ASN1_BYTES modulus;
  ASN1_BYTES public_exponent;
};

struct RsaPrivateKey {
  ASN1_BYTES version, modulus, public_exponent, private_exponent, prime1, prime2, exponent1, exponent2,
      coefficient;
  ASN1_LIST *other_prime_infos;
};

struct Attribute {
  ASN1_BYTES type;
  ASN1_LIST values;  // SET OF ANY
};

struct PrivateKeyInfo {
  ASN1_BYTES version;
  AlgorithmIdentifier algorithm;
  ASN1_BYTES private_key;
  ASN1_LIST *attributes;  // [0] IMPLICIT OPTIONAL
};

struct EncryptedPrivateKeyInfo {
  AlgorithmIdentifier algorithm;
  ASN1_BYTES encrypted_data;
};

struct ContentInfo {
  ASN1_BYTES content_type;
  ASN1_BYTES content;  // [0] EXPLICIT ANY
};

struct EncapsulatedContentInfo {
  ASN1_BYTES content_type;
  ASN1_BYTES *content;  // [0] EXPLICIT OCTET STRING OPTIONAL
};

struct IssuerAndSerialNumber {
  Name issuer;
  ASN1_BYTES serial_number;
};

// SignerIdentifier ::= CHOICE { IssuerAndSerialNumber, [0] IMPLICIT SubjectKeyIdentifier }
struct SignerIdentifier {
  IssuerAndSerialNumber *issuer_and_serial;
  ASN1_BYTES *subject_key_id;
};

struct SignerInfo {
  ASN1_BYTES version;
  SignerIdentifier sid;
  AlgorithmIdentifier digest_algorithm;
  ASN1_LIST *signed_attrs;  // [0] IMPLICIT OPTIONAL
  AlgorithmIdentifier signature_algorithm;
  ASN1_BYTES signature;
  ASN1_LIST *unsigned_attrs;  // [1] IMPLICIT OPTIONAL
};

// CertificateChoices ::= CHOICE { Certificate, [3] IMPLICIT OtherCertificateFormat }
struct CertificateChoice {
  Certificate *certificate;
  ASN1_LIST *other;
};

struct SignedData {
  ASN1_BYTES version;
  ASN1_LIST digest_algorithms;
  EncapsulatedContentInfo encap_content_info;
  ASN1_LIST *certificates;  // [0] IMPLICIT SET OF CertificateChoice OPTIONAL
  ASN1_LIST *crls;          // [1] IMPLICIT SET OF ANY OPTIONAL
  ASN1_LIST signer_infos;
};

extern const ASN1_TEMPLATE kAlgorithmIdentifier;
extern const ASN1_TEMPLATE kName;
extern const ASN1_TEMPLATE kTime;
extern const ASN1_TEMPLATE kExtensions;
extern const ASN1_TEMPLATE kTbsCertificate;
extern const ASN1_TEMPLATE kCertificate;
extern const ASN1_TEMPLATE kTbsCertList;
extern const ASN1_TEMPLATE kCertificateList;
extern const ASN1_TEMPLATE kRevokedList;  // SEQUENCE OF RevokedEntry
extern const ASN1_TEMPLATE kRsaPublicKey;
extern const ASN1_TEMPLATE kRsaPrivateKey;
extern const ASN1_TEMPLATE kPrivateKeyInfo;
extern const ASN1_TEMPLATE kEncryptedPrivateKeyInfo;
extern const ASN1_TEMPLATE kContentInfo;
extern const ASN1_TEMPLATE kSignedData;

// Every template above and a few small ones by name, for the tests and the fuzzer.
struct NamedItem {
  const char *name;
  ASN1_ITEM item;
};
const NamedItem *named_items(size_t *count);
const ASN1_ITEM *find_item(const char *name);

}  // namespace asn1test
