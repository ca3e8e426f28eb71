// Records and templates of the LDAP version 3 messages (RFC 4511) that the directory client
// sends and reads. The protocol module uses IMPLICIT tags: each APPLICATION tag replaces the
// SEQUENCE (or NULL, OCTET STRING) header of its type. Records mirror the templates field for
// field (pki/asn1/asn1.h explains the layout rules).
#pragma once

#include "pki/asn1/asn1.h"

// LDAPResult: the result of a bind, and of a whole search (SearchResultDone).
struct LDAPResult {
  ASN1_BYTES result_code;         // ENUMERATED; 0 success
  ASN1_BYTES matched_dn;          // OCTET STRING
  ASN1_BYTES diagnostic_message;  // OCTET STRING
  ASN1_LIST *referral;            // [3] IMPLICIT OPTIONAL, of OCTET STRING (URI)
};

// AuthenticationChoice ::= CHOICE { simple [0] OCTET STRING, sasl [3] SaslCredentials }.
struct SaslCredentials {
  ASN1_BYTES mechanism;
  ASN1_BYTES *credentials;  // OPTIONAL
};
struct AuthenticationChoice {
  ASN1_BYTES *simple;
  SaslCredentials *sasl;
};

struct BindRequest {
  ASN1_BYTES version;  // INTEGER 1..127
  ASN1_BYTES name;
  AuthenticationChoice authentication;
};

struct BindResponse {
  ASN1_BYTES result_code;
  ASN1_BYTES matched_dn;
  ASN1_BYTES diagnostic_message;
  ASN1_LIST *referral;            // [3] IMPLICIT OPTIONAL
  ASN1_BYTES *server_sasl_creds;  // [7] IMPLICIT OPTIONAL
};

struct AttributeValueAssertion {
  ASN1_BYTES attribute_desc;
  ASN1_BYTES assertion_value;
};

// SubstringFilter: the type and a SEQUENCE OF CHOICE { initial [0], any [1], final [2] }.
struct LDAPSubstring {
  ASN1_BYTES *initial;
  ASN1_BYTES *any;
  ASN1_BYTES *final_;
};
struct SubstringFilter {
  ASN1_BYTES type;
  ASN1_LIST substrings;  // of LDAPSubstring
};

struct MatchingRuleAssertion {
  ASN1_BYTES *matching_rule;    // [1] IMPLICIT OPTIONAL
  ASN1_BYTES *type;             // [2] IMPLICIT OPTIONAL
  ASN1_BYTES match_value;       // [3] IMPLICIT
  ASN1_BOOLEAN *dn_attributes;  // [4] IMPLICIT, DEFAULT FALSE
};

// Filter ::= CHOICE [0] to [9]; "not" holds a Filter and so is explicitly tagged.
struct LDAPFilter {
  ASN1_LIST *and_;                            // [0] SET OF Filter
  ASN1_LIST *or_;                             // [1] SET OF Filter
  LDAPFilter *not_;                           // [2] Filter
  AttributeValueAssertion *equality_match;    // [3]
  SubstringFilter *substrings;                // [4]
  AttributeValueAssertion *greater_or_equal;  // [5]
  AttributeValueAssertion *less_or_equal;     // [6]
  ASN1_BYTES *present;                        // [7] AttributeDescription
  AttributeValueAssertion *approx_match;      // [8]
  MatchingRuleAssertion *extensible_match;    // [9]
};

struct SearchRequest {
  ASN1_BYTES base_object;
  ASN1_BYTES scope;          // ENUMERATED; 0 baseObject
  ASN1_BYTES deref_aliases;  // ENUMERATED; 0 neverDerefAliases
  ASN1_BYTES size_limit;     // INTEGER
  ASN1_BYTES time_limit;     // INTEGER
  ASN1_BOOLEAN types_only;
  LDAPFilter filter;
  ASN1_LIST attributes;  // SEQUENCE OF OCTET STRING; empty: all user attributes
};

// PartialAttribute: an attribute type (with its options, "userCertificate;binary") and its
// values, each the attribute's own encoding (a certificate's DER for the binary types).
struct PartialAttribute {
  ASN1_BYTES type;
  ASN1_LIST vals;  // SET OF OCTET STRING
};

struct SearchResultEntry {
  ASN1_BYTES object_name;
  ASN1_LIST attributes;  // SEQUENCE OF PartialAttribute
};

// protocolOp: [APPLICATION 0] to [APPLICATION 5] and [APPLICATION 19].
struct LDAPProtocolOp {
  BindRequest *bind_request;
  BindResponse *bind_response;
  ASN1_NULL *unbind_request;
  SearchRequest *search_request;
  SearchResultEntry *search_res_entry;
  LDAPResult *search_res_done;
  ASN1_LIST *search_res_ref;  // SEQUENCE OF OCTET STRING (URI)
};

struct LDAPControl {
  ASN1_BYTES control_type;
  ASN1_BOOLEAN *criticality;  // DEFAULT FALSE
  ASN1_BYTES *control_value;  // OPTIONAL
};

struct LDAPMessage {
  ASN1_BYTES message_id;  // INTEGER 0..2^31-1
  LDAPProtocolOp protocol_op;
  ASN1_LIST *controls;  // [0] IMPLICIT OPTIONAL, of LDAPControl
};

extern const ASN1_TEMPLATE asn1_tmpl_ldap_message;
extern const ASN1_TEMPLATE asn1_tmpl_ldap_protocol_op;
extern const ASN1_TEMPLATE asn1_tmpl_ldap_result;
extern const ASN1_TEMPLATE asn1_tmpl_ldap_bind_request;
extern const ASN1_TEMPLATE asn1_tmpl_ldap_bind_response;
extern const ASN1_TEMPLATE asn1_tmpl_ldap_search_request;
extern const ASN1_TEMPLATE asn1_tmpl_ldap_filter;
extern const ASN1_TEMPLATE asn1_tmpl_ldap_search_result_entry;
extern const ASN1_TEMPLATE asn1_tmpl_ldap_partial_attribute;
// SET OF OCTET STRING: the values of one attribute (record ASN1_LIST of ASN1_BYTES).
extern const ASN1_TEMPLATE asn1_tmpl_ldap_values;
