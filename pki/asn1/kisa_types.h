// Records and templates of the accredited-certificate scheme's own types: the subject identity
// value, its hash input, the identity data of the subjectAltName, and the signed approval file
// of security-token modules.
#pragma once

#include "pki/asn1/asn1.h"
#include "pki/asn1/cms_types.h"
#include "pki/asn1/x509_types.h"

// VID ::= SEQUENCE { hashAlg AlgorithmIdentifier, virtualID [0] EXPLICIT OCTET STRING }
struct VID {
  AlgorithmIdentifier hash_alg;
  ASN1_BYTES virtual_id;
};

// HashContent ::= SEQUENCE { idn PrintableString, randomNum BIT STRING }
struct HashContent {
  ASN1_BYTES idn;
  ASN1_BIT_STRING random_num;
};

// IdentifyData ::= SEQUENCE { realName UTF8String, userInfo SEQUENCE OF AttributeTypeAndValue
// OPTIONAL }
struct IdentifyData {
  ASN1_BYTES real_name;
  ASN1_LIST *user_info;
};

struct ApprovedFile {
  ASN1_BYTES file_name;  // PrintableString
  AlgorithmIdentifier digest_algorithm;
  ASN1_BYTES digest;
};

struct TokenModuleApproval {
  ASN1_LIST files;  // of ApprovedFile
  AlgorithmIdentifier signature_algorithm;
  IssuerAndSerialNumber signer;
  ASN1_BYTES signature;
};

extern const ASN1_TEMPLATE asn1_tmpl_vid;
extern const ASN1_TEMPLATE asn1_tmpl_hash_content;
extern const ASN1_TEMPLATE asn1_tmpl_identify_data;
extern const ASN1_TEMPLATE asn1_tmpl_approved_file;
extern const ASN1_TEMPLATE asn1_tmpl_token_module_approval;
