#include "pki/asn1/x509_types.h"

#include "pki/asn1/cms_types.h"
#include "pki/asn1/template_def.h"

using v7::asn1::kOpt;

namespace {

const ASN1_ITEM kAlgorithmIdentifierItems[] = {{0, &asn1_tmpl_oid}, {kOpt, &asn1_tmpl_any}};
const ASN1_ITEM kAtvItems[] = {{0, &asn1_tmpl_oid}, {0, &asn1_tmpl_any}};
const ASN1_ITEM kRdnItems[] = {{0, &asn1_tmpl_attribute_type_and_value}};
const ASN1_ITEM kRdnSequenceItems[] = {{0, &asn1_tmpl_rdn}};
const ASN1_ITEM kNameItems[] = {{0, &asn1_tmpl_rdn_sequence}};
const ASN1_ITEM kTimeItems[] = {{0, &asn1_tmpl_utc_time}, {0, &asn1_tmpl_generalized_time}};
const ASN1_ITEM kValidityItems[] = {{0, &asn1_tmpl_time}, {0, &asn1_tmpl_time}};
const ASN1_ITEM kSpkiItems[] = {{0, &asn1_tmpl_algorithm_identifier}, {0, &asn1_tmpl_bit_string}};
const ASN1_ITEM kExtensionItems[] = {
    {0, &asn1_tmpl_oid}, {kOpt, &asn1_tmpl_boolean}, {0, &asn1_tmpl_octet_string}};
const ASN1_ITEM kExtensionsItems[] = {{0, &asn1_tmpl_extension}};

const ASN1_ITEM kTbsCertificateItems[] = {
    {asn1_explicit(0) | kOpt, &asn1_tmpl_integer},
    {0, &asn1_tmpl_integer},
    {0, &asn1_tmpl_algorithm_identifier},
    {0, &asn1_tmpl_name},
    {0, &asn1_tmpl_validity},
    {0, &asn1_tmpl_name},
    {0, &asn1_tmpl_subject_public_key_info},
    {asn1_implicit(1) | kOpt, &asn1_tmpl_bit_string},
    {asn1_implicit(2) | kOpt, &asn1_tmpl_bit_string},
    {asn1_explicit(3) | kOpt, &asn1_tmpl_extensions},
};
const ASN1_ITEM kCertificateItems[] = {
    {0, &asn1_tmpl_tbs_certificate}, {0, &asn1_tmpl_algorithm_identifier}, {0, &asn1_tmpl_bit_string}};

const ASN1_ITEM kTbsCertListItems[] = {
    {kOpt, &asn1_tmpl_integer},
    {0, &asn1_tmpl_algorithm_identifier},
    {0, &asn1_tmpl_name},
    {0, &asn1_tmpl_time},
    {0, &asn1_tmpl_time},
    {kOpt, &asn1_tmpl_any},
    {asn1_explicit(0) | kOpt, &asn1_tmpl_extensions},
};
const ASN1_ITEM kCertificateListItems[] = {
    {0, &asn1_tmpl_tbs_cert_list}, {0, &asn1_tmpl_algorithm_identifier}, {0, &asn1_tmpl_bit_string}};
const ASN1_ITEM kRevokedItems[] = {
    {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_time}, {kOpt, &asn1_tmpl_extensions}};
const ASN1_ITEM kRevokedListItems[] = {{0, &asn1_tmpl_revoked_certificate}};

const ASN1_ITEM kDirectoryStringItems[] = {{0, &asn1_tmpl_t61_string},
                                           {0, &asn1_tmpl_printable_string},
                                           {0, &asn1_tmpl_universal_string},
                                           {0, &asn1_tmpl_utf8_string},
                                           {0, &asn1_tmpl_bmp_string}};
const ASN1_ITEM kOtherNameItems[] = {{0, &asn1_tmpl_oid}, {asn1_explicit(0), &asn1_tmpl_any}};
const ASN1_ITEM kEdiPartyNameItems[] = {{asn1_explicit(0) | kOpt, &asn1_tmpl_directory_string},
                                        {asn1_explicit(1), &asn1_tmpl_directory_string}};

// APPLICATION 1 and 2: kinds the codec has no rule for, so that an x400Address never decodes.
const ASN1_TEMPLATE kCountryName = {97, 0, uint32_t(sizeof(ASN1_BYTES)), nullptr};
const ASN1_TEMPLATE kAdministrationDomainName = {98, 0, uint32_t(sizeof(ASN1_BYTES)), nullptr};
const ASN1_ITEM kBuiltInStandardAttributesItems[] = {{kOpt, &kCountryName},
                                                     {kOpt, &kAdministrationDomainName}};
V7_ASN1_TEMPLATE(kBuiltInStandardAttributes, ASN1_KIND_SEQUENCE, BuiltInStandardAttributes,
                 kBuiltInStandardAttributesItems)
const ASN1_ITEM kOrAddressItems[] = {{0, &kBuiltInStandardAttributes}};
V7_ASN1_TEMPLATE(kOrAddress, ASN1_KIND_SEQUENCE, ORAddress, kOrAddressItems)

const ASN1_ITEM kGeneralNameItems[] = {
    {asn1_implicit(0), &asn1_tmpl_other_name}, {asn1_implicit(1), &asn1_tmpl_ia5_string},
    {asn1_implicit(2), &asn1_tmpl_ia5_string}, {asn1_implicit(3), &kOrAddress},
    {asn1_explicit(4), &asn1_tmpl_name},       {asn1_implicit(5), &asn1_tmpl_edi_party_name},
    {asn1_implicit(6), &asn1_tmpl_ia5_string}, {asn1_implicit(7), &asn1_tmpl_octet_string},
    {asn1_implicit(8), &asn1_tmpl_oid},
};
const ASN1_ITEM kGeneralNamesItems[] = {{0, &asn1_tmpl_general_name}};
const ASN1_ITEM kAkiItems[] = {{asn1_implicit(0) | kOpt, &asn1_tmpl_octet_string},
                               {asn1_implicit(1) | kOpt, &asn1_tmpl_general_names},
                               {asn1_implicit(2) | kOpt, &asn1_tmpl_integer}};
const ASN1_ITEM kAccessDescriptionItems[] = {{0, &asn1_tmpl_oid}, {0, &asn1_tmpl_general_name}};
const ASN1_ITEM kAiaItems[] = {{0, &asn1_tmpl_access_description}};
const ASN1_ITEM kDpNameItems[] = {{asn1_implicit(0), &asn1_tmpl_general_names},
                                  {asn1_implicit(1), &asn1_tmpl_rdn}};
const ASN1_ITEM kDistributionPointItems[] = {{asn1_explicit(0) | kOpt, &asn1_tmpl_distribution_point_name},
                                             {asn1_implicit(1) | kOpt, &asn1_tmpl_bit_string},
                                             {asn1_implicit(2) | kOpt, &asn1_tmpl_general_names}};
const ASN1_ITEM kCrlDistributionPointsItems[] = {{0, &asn1_tmpl_distribution_point}};
const ASN1_ITEM kIdpItems[] = {{asn1_explicit(0) | kOpt, &asn1_tmpl_distribution_point_name},
                               {asn1_implicit(1) | kOpt, &asn1_tmpl_boolean},
                               {asn1_implicit(2) | kOpt, &asn1_tmpl_boolean},
                               {asn1_implicit(3) | kOpt, &asn1_tmpl_bit_string},
                               {asn1_implicit(4) | kOpt, &asn1_tmpl_boolean},
                               {asn1_implicit(5) | kOpt, &asn1_tmpl_boolean}};

const ASN1_ITEM kDisplayTextItems[] = {{0, &asn1_tmpl_ia5_string},
                                       {0, &asn1_tmpl_visible_string},
                                       {0, &asn1_tmpl_bmp_string},
                                       {0, &asn1_tmpl_utf8_string}};
const ASN1_ITEM kIntegerListItems[] = {{0, &asn1_tmpl_integer}};
V7_ASN1_LIST_TEMPLATE(kIntegerList, ASN1_KIND_SEQUENCE_OF, kIntegerListItems)
const ASN1_ITEM kNoticeReferenceItems[] = {{0, &asn1_tmpl_display_text}, {0, &kIntegerList}};
const ASN1_ITEM kUserNoticeItems[] = {{kOpt, &asn1_tmpl_notice_reference}, {kOpt, &asn1_tmpl_display_text}};
const ASN1_ITEM kPolicyQualifierInfoItems[] = {{0, &asn1_tmpl_oid}, {0, &asn1_tmpl_any}};
const ASN1_ITEM kPolicyQualifiersItems[] = {{0, &asn1_tmpl_policy_qualifier_info}};
V7_ASN1_LIST_TEMPLATE(kPolicyQualifiers, ASN1_KIND_SEQUENCE_OF, kPolicyQualifiersItems)
const ASN1_ITEM kPolicyInformationItems[] = {{0, &asn1_tmpl_oid}, {kOpt, &kPolicyQualifiers}};
const ASN1_ITEM kCertificatePoliciesItems[] = {{0, &asn1_tmpl_policy_information}};
const ASN1_ITEM kBasicConstraintsItems[] = {{kOpt, &asn1_tmpl_boolean}, {kOpt, &asn1_tmpl_integer}};
const ASN1_ITEM kPolicyConstraintsItems[] = {{asn1_implicit(0) | kOpt, &asn1_tmpl_integer},
                                             {asn1_implicit(1) | kOpt, &asn1_tmpl_integer}};
const ASN1_ITEM kOidListItems[] = {{0, &asn1_tmpl_oid}};

const ASN1_ITEM kAttributeListItems[] = {{0, &asn1_tmpl_attribute}};
V7_ASN1_LIST_TEMPLATE(kAttributeList, ASN1_KIND_SEQUENCE_OF, kAttributeListItems)
const ASN1_ITEM kTrustedSubjectItems[] = {{0, &asn1_tmpl_octet_string}, {kOpt, &kAttributeList}};
const ASN1_ITEM kTrustedSubjectsItems[] = {{0, &asn1_tmpl_trusted_subject}};
V7_ASN1_LIST_TEMPLATE(kTrustedSubjects, ASN1_KIND_SEQUENCE_OF, kTrustedSubjectsItems)
const ASN1_ITEM kCtlItems[] = {
    {kOpt, &asn1_tmpl_integer},
    {0, &asn1_tmpl_oid_list},
    {kOpt, &asn1_tmpl_octet_string},
    {0, &asn1_tmpl_integer},
    {0, &asn1_tmpl_time},
    {0, &asn1_tmpl_time},
    {0, &asn1_tmpl_algorithm_identifier},
    {0, &kTrustedSubjects},
    {kOpt, &asn1_tmpl_extensions},
};

}  // namespace

V7_ASN1_TEMPLATE(asn1_tmpl_algorithm_identifier, ASN1_KIND_SEQUENCE, AlgorithmIdentifier,
                 kAlgorithmIdentifierItems)
V7_ASN1_TEMPLATE(asn1_tmpl_attribute_type_and_value, ASN1_KIND_SEQUENCE, AttributeTypeAndValue, kAtvItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_rdn, ASN1_KIND_SET_OF, kRdnItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_rdn_sequence, ASN1_KIND_SEQUENCE_OF, kRdnSequenceItems)
V7_ASN1_TEMPLATE(asn1_tmpl_name, ASN1_KIND_CHOICE, Name, kNameItems)
V7_ASN1_TEMPLATE(asn1_tmpl_time, ASN1_KIND_CHOICE, Time, kTimeItems)
V7_ASN1_TEMPLATE(asn1_tmpl_validity, ASN1_KIND_SEQUENCE, Validity, kValidityItems)
V7_ASN1_TEMPLATE(asn1_tmpl_subject_public_key_info, ASN1_KIND_SEQUENCE, SubjectPublicKeyInfo, kSpkiItems)
V7_ASN1_TEMPLATE(asn1_tmpl_extension, ASN1_KIND_SEQUENCE, Extension, kExtensionItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_extensions, ASN1_KIND_SEQUENCE_OF, kExtensionsItems)
V7_ASN1_TEMPLATE(asn1_tmpl_tbs_certificate, ASN1_KIND_SEQUENCE, TBSCertificate, kTbsCertificateItems)
V7_ASN1_TEMPLATE(asn1_tmpl_certificate, ASN1_KIND_SEQUENCE, Certificate, kCertificateItems)
V7_ASN1_TEMPLATE(asn1_tmpl_tbs_cert_list, ASN1_KIND_SEQUENCE, TBSCertList, kTbsCertListItems)
V7_ASN1_TEMPLATE(asn1_tmpl_certificate_list, ASN1_KIND_SEQUENCE, CertificateList, kCertificateListItems)
V7_ASN1_TEMPLATE(asn1_tmpl_revoked_certificate, ASN1_KIND_SEQUENCE, RevokedCertificate, kRevokedItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_revoked_list, ASN1_KIND_SEQUENCE_OF, kRevokedListItems)
V7_ASN1_TEMPLATE(asn1_tmpl_directory_string, ASN1_KIND_CHOICE, DirectoryString, kDirectoryStringItems)
V7_ASN1_TEMPLATE(asn1_tmpl_other_name, ASN1_KIND_SEQUENCE, OtherName, kOtherNameItems)
V7_ASN1_TEMPLATE(asn1_tmpl_edi_party_name, ASN1_KIND_SEQUENCE, EDIPartyName, kEdiPartyNameItems)
V7_ASN1_TEMPLATE(asn1_tmpl_general_name, ASN1_KIND_CHOICE, GeneralName, kGeneralNameItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_general_names, ASN1_KIND_SEQUENCE_OF, kGeneralNamesItems)
V7_ASN1_TEMPLATE(asn1_tmpl_authority_key_identifier, ASN1_KIND_SEQUENCE, AuthorityKeyIdentifier, kAkiItems)
V7_ASN1_TEMPLATE(asn1_tmpl_access_description, ASN1_KIND_SEQUENCE, AccessDescription, kAccessDescriptionItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_authority_info_access, ASN1_KIND_SEQUENCE_OF, kAiaItems)
V7_ASN1_TEMPLATE(asn1_tmpl_distribution_point_name, ASN1_KIND_CHOICE, DistributionPointName, kDpNameItems)
V7_ASN1_TEMPLATE(asn1_tmpl_distribution_point, ASN1_KIND_SEQUENCE, DistributionPoint, kDistributionPointItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_crl_distribution_points, ASN1_KIND_SEQUENCE_OF, kCrlDistributionPointsItems)
V7_ASN1_TEMPLATE(asn1_tmpl_issuing_distribution_point, ASN1_KIND_SEQUENCE, IssuingDistributionPoint,
                 kIdpItems)
V7_ASN1_TEMPLATE(asn1_tmpl_display_text, ASN1_KIND_CHOICE, DisplayText, kDisplayTextItems)
V7_ASN1_TEMPLATE(asn1_tmpl_notice_reference, ASN1_KIND_SEQUENCE, NoticeReference, kNoticeReferenceItems)
V7_ASN1_TEMPLATE(asn1_tmpl_user_notice, ASN1_KIND_SEQUENCE, UserNotice, kUserNoticeItems)
V7_ASN1_TEMPLATE(asn1_tmpl_policy_qualifier_info, ASN1_KIND_SEQUENCE, PolicyQualifierInfo,
                 kPolicyQualifierInfoItems)
V7_ASN1_TEMPLATE(asn1_tmpl_policy_information, ASN1_KIND_SEQUENCE, PolicyInformation, kPolicyInformationItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_certificate_policies, ASN1_KIND_SEQUENCE_OF, kCertificatePoliciesItems)
V7_ASN1_TEMPLATE(asn1_tmpl_basic_constraints, ASN1_KIND_SEQUENCE, BasicConstraints, kBasicConstraintsItems)
V7_ASN1_TEMPLATE(asn1_tmpl_policy_constraints, ASN1_KIND_SEQUENCE, PolicyConstraints, kPolicyConstraintsItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_oid_list, ASN1_KIND_SEQUENCE_OF, kOidListItems)
V7_ASN1_TEMPLATE(asn1_tmpl_trusted_subject, ASN1_KIND_SEQUENCE, TrustedSubject, kTrustedSubjectItems)
V7_ASN1_TEMPLATE(asn1_tmpl_certificate_trust_list, ASN1_KIND_SEQUENCE, CertificateTrustList, kCtlItems)

static_assert(sizeof(Name) == sizeof(void *), "a one-alternative CHOICE is one pointer");
static_assert(sizeof(GeneralName) == 9 * sizeof(void *), "a CHOICE is one pointer per alternative");
