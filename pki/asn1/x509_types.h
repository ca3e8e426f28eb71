// Records and templates of X.509 certificates, CRLs and the extensions the toolkit reads.
//
// Each record mirrors its template field for field (pki/asn1/asn1.h explains the layout rules);
// a static_assert beside each template pins the template's record size to the struct. Fields
// named after ASN.1 components, in snake case.
#pragma once

#include "pki/asn1/asn1.h"

struct AlgorithmIdentifier {
  ASN1_BYTES algorithm;
  ASN1_BYTES *parameters;  // ANY OPTIONAL
};

struct AttributeTypeAndValue {
  ASN1_BYTES type;
  ASN1_BYTES value;  // ANY: the whole TLV, tag byte first
};

// Name ::= CHOICE { rdnSequence RDNSequence }. RDNSequence is a list of RDNs in DER order, each
// RDN a list of AttributeTypeAndValue.
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
  ASN1_BOOLEAN *critical;  // OPTIONAL
  ASN1_BYTES extn_value;   // OCTET STRING contents: the extension's own DER
};

struct TBSCertificate {
  ASN1_BYTES *version;  // [0] EXPLICIT OPTIONAL
  ASN1_BYTES serial_number;
  AlgorithmIdentifier signature;
  Name issuer;
  Validity validity;
  Name subject;
  SubjectPublicKeyInfo subject_public_key_info;
  ASN1_BIT_STRING *issuer_unique_id;   // [1] IMPLICIT OPTIONAL
  ASN1_BIT_STRING *subject_unique_id;  // [2] IMPLICIT OPTIONAL
  ASN1_LIST *extensions;               // [3] EXPLICIT OPTIONAL, of Extension
};

struct Certificate {
  TBSCertificate tbs;
  AlgorithmIdentifier signature_algorithm;
  ASN1_BIT_STRING signature_value;
};

// CRLs. The revoked list is kept as raw DER and walked entry by entry (asn1_tmpl_revoked_list),
// so that a large CRL is searched without building every entry.
struct TBSCertList {
  ASN1_BYTES *version;  // OPTIONAL
  AlgorithmIdentifier signature;
  Name issuer;
  Time this_update;
  Time next_update;
  ASN1_BYTES *revoked_certificates;  // ANY OPTIONAL
  ASN1_LIST *crl_extensions;         // [0] EXPLICIT OPTIONAL, of Extension
};

struct CertificateList {
  TBSCertList tbs;
  AlgorithmIdentifier signature_algorithm;
  ASN1_BIT_STRING signature_value;
};

struct RevokedCertificate {
  ASN1_BYTES user_certificate;
  Time revocation_date;
  ASN1_LIST *crl_entry_extensions;  // OPTIONAL, of Extension
};

// DirectoryString ::= CHOICE { teletexString, printableString, universalString, utf8String,
// bmpString }.
struct DirectoryString {
  ASN1_BYTES *teletex_string;
  ASN1_BYTES *printable_string;
  ASN1_BYTES *universal_string;
  ASN1_BYTES *utf8_string;
  ASN1_BYTES *bmp_string;
};

struct OtherName {
  ASN1_BYTES type_id;
  ASN1_BYTES value;  // [0] EXPLICIT ANY: the inner element
};

struct EDIPartyName {
  DirectoryString *name_assigner;  // [0] OPTIONAL
  DirectoryString party_name;      // [1]
};

// x400Address is described down to its built-in standard attributes, whose country and
// administration-domain names are APPLICATION-tagged kinds the codec has no rule for: a name
// holding one does not decode.
struct BuiltInStandardAttributes {
  ASN1_BYTES *country_name;
  ASN1_BYTES *administration_domain_name;
};
struct ORAddress {
  BuiltInStandardAttributes built_in_standard_attributes;
};

// GeneralName: nine IMPLICIT context alternatives [0] to [8]; directoryName [4] is a CHOICE and
// so explicit.
struct GeneralName {
  OtherName *other_name;
  ASN1_BYTES *rfc822_name;
  ASN1_BYTES *dns_name;
  ORAddress *x400_address;
  Name *directory_name;
  EDIPartyName *edi_party_name;
  ASN1_BYTES *uniform_resource_identifier;
  ASN1_BYTES *ip_address;
  ASN1_BYTES *registered_id;
};

struct AuthorityKeyIdentifier {
  ASN1_BYTES *key_identifier;                // [0] IMPLICIT OPTIONAL
  ASN1_LIST *authority_cert_issuer;          // [1] IMPLICIT OPTIONAL, of GeneralName
  ASN1_BYTES *authority_cert_serial_number;  // [2] IMPLICIT OPTIONAL
};

struct AccessDescription {
  ASN1_BYTES access_method;
  GeneralName access_location;
};

struct DistributionPointName {
  ASN1_LIST *full_name;                    // [0] IMPLICIT, of GeneralName
  ASN1_LIST *name_relative_to_crl_issuer;  // [1] IMPLICIT, of AttributeTypeAndValue
};

struct DistributionPoint {
  DistributionPointName *distribution_point;  // [0] OPTIONAL (a CHOICE: explicit)
  ASN1_BIT_STRING *reasons;                   // [1] IMPLICIT OPTIONAL
  ASN1_LIST *crl_issuer;                      // [2] IMPLICIT OPTIONAL, of GeneralName
};

struct IssuingDistributionPoint {
  DistributionPointName *distribution_point;    // [0] OPTIONAL
  ASN1_BOOLEAN *only_contains_user_certs;       // [1] IMPLICIT OPTIONAL
  ASN1_BOOLEAN *only_contains_ca_certs;         // [2]
  ASN1_BIT_STRING *only_some_reasons;           // [3]
  ASN1_BOOLEAN *indirect_crl;                   // [4]
  ASN1_BOOLEAN *only_contains_attribute_certs;  // [5]
};

// DisplayText ::= CHOICE { ia5String, visibleString, bmpString, utf8String }.
struct DisplayText {
  ASN1_BYTES *ia5_string;
  ASN1_BYTES *visible_string;
  ASN1_BYTES *bmp_string;
  ASN1_BYTES *utf8_string;
};

struct NoticeReference {
  DisplayText organization;
  ASN1_LIST notice_numbers;  // of INTEGER
};

struct UserNotice {
  NoticeReference *notice_ref;  // OPTIONAL
  DisplayText *explicit_text;   // OPTIONAL
};

struct PolicyQualifierInfo {
  ASN1_BYTES policy_qualifier_id;
  ASN1_BYTES qualifier;  // ANY
};

struct PolicyInformation {
  ASN1_BYTES policy_identifier;
  ASN1_LIST *policy_qualifiers;  // OPTIONAL, of PolicyQualifierInfo
};

struct BasicConstraints {
  ASN1_BOOLEAN *ca;                 // OPTIONAL
  ASN1_BYTES *path_len_constraint;  // OPTIONAL
};

struct PolicyConstraints {
  ASN1_BYTES *require_explicit_policy;  // [0] IMPLICIT OPTIONAL
  ASN1_BYTES *inhibit_policy_mapping;   // [1] IMPLICIT OPTIONAL
};

// The certificate trust list of the national root.
struct TrustedSubject {
  ASN1_BYTES subject_identifier;
  ASN1_LIST *attributes;  // OPTIONAL, of Attribute (pki/asn1/cms_types.h)
};

struct CertificateTrustList {
  ASN1_BYTES *version;          // OPTIONAL
  ASN1_LIST subject_usage;      // of OBJECT IDENTIFIER
  ASN1_BYTES *list_identifier;  // OPTIONAL
  ASN1_BYTES sequence_number;
  Time this_update;
  Time next_update;
  AlgorithmIdentifier subject_algorithm;
  ASN1_LIST trusted_subjects;  // of TrustedSubject
  ASN1_LIST *extensions;       // OPTIONAL, of Extension
};

extern const ASN1_TEMPLATE asn1_tmpl_algorithm_identifier;
extern const ASN1_TEMPLATE asn1_tmpl_attribute_type_and_value;
extern const ASN1_TEMPLATE asn1_tmpl_rdn;           // SET OF AttributeTypeAndValue
extern const ASN1_TEMPLATE asn1_tmpl_rdn_sequence;  // SEQUENCE OF RDN
extern const ASN1_TEMPLATE asn1_tmpl_name;
extern const ASN1_TEMPLATE asn1_tmpl_time;
extern const ASN1_TEMPLATE asn1_tmpl_validity;
extern const ASN1_TEMPLATE asn1_tmpl_subject_public_key_info;
extern const ASN1_TEMPLATE asn1_tmpl_extension;
extern const ASN1_TEMPLATE asn1_tmpl_extensions;
extern const ASN1_TEMPLATE asn1_tmpl_tbs_certificate;
extern const ASN1_TEMPLATE asn1_tmpl_certificate;
extern const ASN1_TEMPLATE asn1_tmpl_tbs_cert_list;
extern const ASN1_TEMPLATE asn1_tmpl_certificate_list;
extern const ASN1_TEMPLATE asn1_tmpl_revoked_certificate;
extern const ASN1_TEMPLATE asn1_tmpl_revoked_list;  // SEQUENCE OF RevokedCertificate
extern const ASN1_TEMPLATE asn1_tmpl_directory_string;
extern const ASN1_TEMPLATE asn1_tmpl_other_name;
extern const ASN1_TEMPLATE asn1_tmpl_edi_party_name;
extern const ASN1_TEMPLATE asn1_tmpl_general_name;
extern const ASN1_TEMPLATE asn1_tmpl_general_names;
extern const ASN1_TEMPLATE asn1_tmpl_authority_key_identifier;
extern const ASN1_TEMPLATE asn1_tmpl_access_description;
extern const ASN1_TEMPLATE asn1_tmpl_authority_info_access;
extern const ASN1_TEMPLATE asn1_tmpl_distribution_point_name;
extern const ASN1_TEMPLATE asn1_tmpl_distribution_point;
extern const ASN1_TEMPLATE asn1_tmpl_crl_distribution_points;
extern const ASN1_TEMPLATE asn1_tmpl_issuing_distribution_point;
extern const ASN1_TEMPLATE asn1_tmpl_display_text;
extern const ASN1_TEMPLATE asn1_tmpl_notice_reference;
extern const ASN1_TEMPLATE asn1_tmpl_user_notice;
extern const ASN1_TEMPLATE asn1_tmpl_policy_qualifier_info;
extern const ASN1_TEMPLATE asn1_tmpl_policy_information;
extern const ASN1_TEMPLATE asn1_tmpl_certificate_policies;
extern const ASN1_TEMPLATE asn1_tmpl_basic_constraints;
extern const ASN1_TEMPLATE asn1_tmpl_policy_constraints;
extern const ASN1_TEMPLATE asn1_tmpl_oid_list;  // SEQUENCE OF OBJECT IDENTIFIER
extern const ASN1_TEMPLATE asn1_tmpl_trusted_subject;
extern const ASN1_TEMPLATE asn1_tmpl_certificate_trust_list;
