// Records and templates of key material: PKCS#1 RSA keys, PKCS#8 private-key info (plain and
// encrypted), the PKCS#5 password-based parameters and the PKCS#12 containers.
#pragma once

#include "pki/asn1/asn1.h"
#include "pki/asn1/cms_types.h"
#include "pki/asn1/x509_types.h"

struct RSAPublicKey {
  ASN1_BYTES modulus;
  ASN1_BYTES public_exponent;
};

struct OtherPrimeInfo {
  ASN1_BYTES prime;
  ASN1_BYTES exponent;
  ASN1_BYTES coefficient;
};

struct RSAPrivateKey {
  ASN1_BYTES version;
  ASN1_BYTES modulus;
  ASN1_BYTES public_exponent;
  ASN1_BYTES private_exponent;
  ASN1_BYTES prime1;
  ASN1_BYTES prime2;
  ASN1_BYTES exponent1;
  ASN1_BYTES exponent2;
  ASN1_BYTES coefficient;
  ASN1_LIST *other_prime_infos;  // OPTIONAL, of OtherPrimeInfo
};

struct PrivateKeyInfo {
  ASN1_BYTES version;
  AlgorithmIdentifier private_key_algorithm;
  ASN1_BYTES private_key;  // OCTET STRING holding an RSAPrivateKey
  ASN1_LIST *attributes;   // [0] IMPLICIT OPTIONAL, SET OF Attribute
};

struct EncryptedPrivateKeyInfo {
  AlgorithmIdentifier encryption_algorithm;
  ASN1_BYTES encrypted_data;
};

// salt ::= CHOICE { specified OCTET STRING, otherSource AlgorithmIdentifier }
struct Pbkdf2Salt {
  ASN1_BYTES *specified;
  AlgorithmIdentifier *other_source;
};

struct PBKDF2Params {
  Pbkdf2Salt salt;
  ASN1_BYTES iteration_count;
  ASN1_BYTES *key_length;    // OPTIONAL
  AlgorithmIdentifier *prf;  // OPTIONAL
};

struct PBES2Params {
  AlgorithmIdentifier key_derivation_func;
  AlgorithmIdentifier encryption_scheme;
};

struct Pkcs12PbeParams {
  ASN1_BYTES salt;
  ASN1_BYTES iterations;
};

struct DigestInfo {
  AlgorithmIdentifier digest_algorithm;
  ASN1_BYTES digest;
};

struct MacData {
  DigestInfo mac;
  ASN1_BYTES mac_salt;
  ASN1_BYTES *iterations;  // OPTIONAL, DEFAULT 1
};

struct PFX {
  ASN1_BYTES version;
  ContentInfo auth_safe;
  MacData *mac_data;  // OPTIONAL
};

struct SafeBag {
  ASN1_BYTES bag_id;
  ASN1_BYTES bag_value;       // [0] EXPLICIT ANY
  ASN1_LIST *bag_attributes;  // OPTIONAL, SET OF Attribute
};

struct CertBag {
  ASN1_BYTES cert_id;
  ASN1_BYTES cert_value;  // [0] EXPLICIT ANY
};

extern const ASN1_TEMPLATE asn1_tmpl_rsa_public_key;
extern const ASN1_TEMPLATE asn1_tmpl_rsa_private_key;
extern const ASN1_TEMPLATE asn1_tmpl_other_prime_info;
extern const ASN1_TEMPLATE asn1_tmpl_private_key_info;
extern const ASN1_TEMPLATE asn1_tmpl_encrypted_private_key_info;
extern const ASN1_TEMPLATE asn1_tmpl_pbkdf2_params;
extern const ASN1_TEMPLATE asn1_tmpl_pbes2_params;
extern const ASN1_TEMPLATE asn1_tmpl_pkcs12_pbe_params;
extern const ASN1_TEMPLATE asn1_tmpl_digest_info;
extern const ASN1_TEMPLATE asn1_tmpl_mac_data;
extern const ASN1_TEMPLATE asn1_tmpl_pfx;
extern const ASN1_TEMPLATE asn1_tmpl_authenticated_safe;  // SEQUENCE OF ContentInfo
extern const ASN1_TEMPLATE asn1_tmpl_safe_bag;
extern const ASN1_TEMPLATE asn1_tmpl_safe_contents;  // SEQUENCE OF SafeBag
extern const ASN1_TEMPLATE asn1_tmpl_cert_bag;
