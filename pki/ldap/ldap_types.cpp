#include "pki/ldap/ldap_types.h"

#include "pki/asn1/template_def.h"

using v7::asn1::kOpt;

namespace {

constexpr uint32_t application(uint32_t n) { return 0x40 | n | ASN1_FLAG_IMPLICIT; }

const ASN1_ITEM kOctetStringListItems[] = {{0, &asn1_tmpl_octet_string}};
V7_ASN1_LIST_TEMPLATE(kOctetStringSequence, ASN1_KIND_SEQUENCE_OF, kOctetStringListItems)

const ASN1_ITEM kResultItems[] = {{0, &asn1_tmpl_enumerated},
                                  {0, &asn1_tmpl_octet_string},
                                  {0, &asn1_tmpl_octet_string},
                                  {asn1_implicit(3) | kOpt, &kOctetStringSequence}};

const ASN1_ITEM kSaslItems[] = {{0, &asn1_tmpl_octet_string}, {kOpt, &asn1_tmpl_octet_string}};
V7_ASN1_TEMPLATE(kSaslCredentials, ASN1_KIND_SEQUENCE, SaslCredentials, kSaslItems)
const ASN1_ITEM kAuthenticationItems[] = {{asn1_implicit(0), &asn1_tmpl_octet_string},
                                          {asn1_implicit(3), &kSaslCredentials}};
V7_ASN1_TEMPLATE(kAuthenticationChoice, ASN1_KIND_CHOICE, AuthenticationChoice, kAuthenticationItems)

const ASN1_ITEM kBindRequestItems[] = {
    {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_octet_string}, {0, &kAuthenticationChoice}};
const ASN1_ITEM kBindResponseItems[] = {{0, &asn1_tmpl_enumerated},
                                        {0, &asn1_tmpl_octet_string},
                                        {0, &asn1_tmpl_octet_string},
                                        {asn1_implicit(3) | kOpt, &kOctetStringSequence},
                                        {asn1_implicit(7) | kOpt, &asn1_tmpl_octet_string}};

const ASN1_ITEM kAvaItems[] = {{0, &asn1_tmpl_octet_string}, {0, &asn1_tmpl_octet_string}};
V7_ASN1_TEMPLATE(kAttributeValueAssertion, ASN1_KIND_SEQUENCE, AttributeValueAssertion, kAvaItems)

const ASN1_ITEM kSubstringItems[] = {{asn1_implicit(0), &asn1_tmpl_octet_string},
                                     {asn1_implicit(1), &asn1_tmpl_octet_string},
                                     {asn1_implicit(2), &asn1_tmpl_octet_string}};
V7_ASN1_TEMPLATE(kSubstring, ASN1_KIND_CHOICE, LDAPSubstring, kSubstringItems)
const ASN1_ITEM kSubstringListItems[] = {{0, &kSubstring}};
V7_ASN1_LIST_TEMPLATE(kSubstringList, ASN1_KIND_SEQUENCE_OF, kSubstringListItems)
const ASN1_ITEM kSubstringFilterItems[] = {{0, &asn1_tmpl_octet_string}, {0, &kSubstringList}};
V7_ASN1_TEMPLATE(kSubstringFilter, ASN1_KIND_SEQUENCE, SubstringFilter, kSubstringFilterItems)

const ASN1_ITEM kMatchingRuleAssertionItems[] = {{asn1_implicit(1) | kOpt, &asn1_tmpl_octet_string},
                                                 {asn1_implicit(2) | kOpt, &asn1_tmpl_octet_string},
                                                 {asn1_implicit(3), &asn1_tmpl_octet_string},
                                                 {asn1_implicit(4) | kOpt, &asn1_tmpl_boolean}};
V7_ASN1_TEMPLATE(kMatchingRuleAssertion, ASN1_KIND_SEQUENCE, MatchingRuleAssertion,
                 kMatchingRuleAssertionItems)

// and/or hold filters themselves; the codec's depth limit bounds the recursion.
const ASN1_ITEM kFilterSetItems[] = {{0, &asn1_tmpl_ldap_filter}};
V7_ASN1_LIST_TEMPLATE(kFilterSet, ASN1_KIND_SET_OF, kFilterSetItems)
const ASN1_ITEM kFilterItems[] = {
    {asn1_implicit(0), &kFilterSet},
    {asn1_implicit(1), &kFilterSet},
    {asn1_explicit(2), &asn1_tmpl_ldap_filter},
    {asn1_implicit(3), &kAttributeValueAssertion},
    {asn1_implicit(4), &kSubstringFilter},
    {asn1_implicit(5), &kAttributeValueAssertion},
    {asn1_implicit(6), &kAttributeValueAssertion},
    {asn1_implicit(7), &asn1_tmpl_octet_string},
    {asn1_implicit(8), &kAttributeValueAssertion},
    {asn1_implicit(9), &kMatchingRuleAssertion},
};

const ASN1_ITEM kSearchRequestItems[] = {
    {0, &asn1_tmpl_octet_string}, {0, &asn1_tmpl_enumerated}, {0, &asn1_tmpl_enumerated},
    {0, &asn1_tmpl_integer},      {0, &asn1_tmpl_integer},    {0, &asn1_tmpl_boolean},
    {0, &asn1_tmpl_ldap_filter},  {0, &kOctetStringSequence},
};

const ASN1_ITEM kValuesItems[] = {{0, &asn1_tmpl_octet_string}};
const ASN1_ITEM kPartialAttributeItems[] = {{0, &asn1_tmpl_octet_string}, {0, &asn1_tmpl_ldap_values}};
const ASN1_ITEM kPartialAttributeListItems[] = {{0, &asn1_tmpl_ldap_partial_attribute}};
V7_ASN1_LIST_TEMPLATE(kPartialAttributeList, ASN1_KIND_SEQUENCE_OF, kPartialAttributeListItems)
const ASN1_ITEM kSearchResultEntryItems[] = {{0, &asn1_tmpl_octet_string}, {0, &kPartialAttributeList}};

const ASN1_ITEM kProtocolOpItems[] = {
    {application(0), &asn1_tmpl_ldap_bind_request},
    {application(1), &asn1_tmpl_ldap_bind_response},
    {application(2), &asn1_tmpl_null},
    {application(3), &asn1_tmpl_ldap_search_request},
    {application(4), &asn1_tmpl_ldap_search_result_entry},
    {application(5), &asn1_tmpl_ldap_result},
    {application(19), &kOctetStringSequence},
};

const ASN1_ITEM kControlItems[] = {
    {0, &asn1_tmpl_octet_string}, {kOpt, &asn1_tmpl_boolean}, {kOpt, &asn1_tmpl_octet_string}};
V7_ASN1_TEMPLATE(kControl, ASN1_KIND_SEQUENCE, LDAPControl, kControlItems)
const ASN1_ITEM kControlListItems[] = {{0, &kControl}};
V7_ASN1_LIST_TEMPLATE(kControls, ASN1_KIND_SEQUENCE_OF, kControlListItems)

const ASN1_ITEM kMessageItems[] = {
    {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_ldap_protocol_op}, {asn1_implicit(0) | kOpt, &kControls}};

}  // namespace

V7_ASN1_TEMPLATE(asn1_tmpl_ldap_result, ASN1_KIND_SEQUENCE, LDAPResult, kResultItems)
V7_ASN1_TEMPLATE(asn1_tmpl_ldap_bind_request, ASN1_KIND_SEQUENCE, BindRequest, kBindRequestItems)
V7_ASN1_TEMPLATE(asn1_tmpl_ldap_bind_response, ASN1_KIND_SEQUENCE, BindResponse, kBindResponseItems)
V7_ASN1_TEMPLATE(asn1_tmpl_ldap_filter, ASN1_KIND_CHOICE, LDAPFilter, kFilterItems)
V7_ASN1_TEMPLATE(asn1_tmpl_ldap_search_request, ASN1_KIND_SEQUENCE, SearchRequest, kSearchRequestItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_ldap_values, ASN1_KIND_SET_OF, kValuesItems)
V7_ASN1_TEMPLATE(asn1_tmpl_ldap_partial_attribute, ASN1_KIND_SEQUENCE, PartialAttribute,
                 kPartialAttributeItems)
V7_ASN1_TEMPLATE(asn1_tmpl_ldap_search_result_entry, ASN1_KIND_SEQUENCE, SearchResultEntry,
                 kSearchResultEntryItems)
V7_ASN1_TEMPLATE(asn1_tmpl_ldap_protocol_op, ASN1_KIND_CHOICE, LDAPProtocolOp, kProtocolOpItems)
V7_ASN1_TEMPLATE(asn1_tmpl_ldap_message, ASN1_KIND_SEQUENCE, LDAPMessage, kMessageItems)

static_assert(sizeof(LDAPFilter) == 10 * sizeof(void *), "a CHOICE is one pointer per alternative");
static_assert(sizeof(LDAPProtocolOp) == 7 * sizeof(void *), "a CHOICE is one pointer per alternative");
