#include "pki/asn1/cms_types.h"

#include "pki/asn1/template_def.h"

using v7::asn1::kOpt;

namespace {

const ASN1_ITEM kAnyItems[] = {{0, &asn1_tmpl_any}};
V7_ASN1_LIST_TEMPLATE(kAnySet, ASN1_KIND_SET_OF, kAnyItems)
const ASN1_ITEM kAttributeItems[] = {{0, &asn1_tmpl_oid}, {0, &kAnySet}};
const ASN1_ITEM kAttributesItems[] = {{0, &asn1_tmpl_attribute}};
const ASN1_ITEM kContentInfoItems[] = {{0, &asn1_tmpl_oid}, {asn1_explicit(0), &asn1_tmpl_any}};
const ASN1_ITEM kEncapItems[] = {{0, &asn1_tmpl_oid}, {asn1_explicit(0) | kOpt, &asn1_tmpl_octet_string}};
const ASN1_ITEM kIssuerAndSerialItems[] = {{0, &asn1_tmpl_name}, {0, &asn1_tmpl_integer}};
const ASN1_ITEM kSignerIdentifierItems[] = {{0, &asn1_tmpl_issuer_and_serial_number},
                                            {asn1_implicit(0), &asn1_tmpl_octet_string}};
const ASN1_ITEM kSignerInfoItems[] = {
    {0, &asn1_tmpl_integer},
    {0, &asn1_tmpl_signer_identifier},
    {0, &asn1_tmpl_algorithm_identifier},
    {asn1_implicit(0) | kOpt, &asn1_tmpl_attributes},
    {0, &asn1_tmpl_algorithm_identifier},
    {0, &asn1_tmpl_octet_string},
    {asn1_implicit(1) | kOpt, &asn1_tmpl_attributes},
};
const ASN1_ITEM kSignerInfosItems[] = {{0, &asn1_tmpl_signer_info}};
V7_ASN1_LIST_TEMPLATE(kSignerInfos, ASN1_KIND_SET_OF, kSignerInfosItems)
const ASN1_ITEM kAlgorithmIdentifiersItems[] = {{0, &asn1_tmpl_algorithm_identifier}};
V7_ASN1_LIST_TEMPLATE(kAlgorithmIdentifiers, ASN1_KIND_SET_OF, kAlgorithmIdentifiersItems)
const ASN1_ITEM kOtherFormatItems[] = {{0, &asn1_tmpl_oid}, {0, &asn1_tmpl_any}};
V7_ASN1_TEMPLATE(kOtherFormat, ASN1_KIND_SEQUENCE, OtherFormat, kOtherFormatItems)
const ASN1_ITEM kCertificateChoiceItems[] = {{0, &asn1_tmpl_certificate}, {asn1_implicit(3), &kOtherFormat}};
const ASN1_ITEM kCertificateSetItems[] = {{0, &asn1_tmpl_certificate_choice}};
V7_ASN1_LIST_TEMPLATE(kCertificateSet, ASN1_KIND_SET_OF, kCertificateSetItems)
const ASN1_ITEM kRevocationChoiceItems[] = {{0, &asn1_tmpl_certificate_list},
                                            {asn1_implicit(1), &kOtherFormat}};
const ASN1_ITEM kRevocationSetItems[] = {{0, &asn1_tmpl_revocation_info_choice}};
V7_ASN1_LIST_TEMPLATE(kRevocationSet, ASN1_KIND_SET_OF, kRevocationSetItems)
const ASN1_ITEM kSignedDataItems[] = {
    {0, &asn1_tmpl_integer},
    {0, &kAlgorithmIdentifiers},
    {0, &asn1_tmpl_encapsulated_content_info},
    {asn1_implicit(0) | kOpt, &kCertificateSet},
    {asn1_implicit(1) | kOpt, &kRevocationSet},
    {0, &kSignerInfos},
};
const ASN1_ITEM kEncryptedContentInfoItems[] = {{0, &asn1_tmpl_oid},
                                                {0, &asn1_tmpl_algorithm_identifier},
                                                {asn1_implicit(0) | kOpt, &asn1_tmpl_octet_string}};
const ASN1_ITEM kEncryptedDataItems[] = {{0, &asn1_tmpl_integer},
                                         {0, &asn1_tmpl_encrypted_content_info},
                                         {asn1_implicit(1) | kOpt, &asn1_tmpl_attributes}};

}  // namespace

V7_ASN1_TEMPLATE(asn1_tmpl_attribute, ASN1_KIND_SEQUENCE, Attribute, kAttributeItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_attributes, ASN1_KIND_SET_OF, kAttributesItems)
V7_ASN1_TEMPLATE(asn1_tmpl_content_info, ASN1_KIND_SEQUENCE, ContentInfo, kContentInfoItems)
V7_ASN1_TEMPLATE(asn1_tmpl_encapsulated_content_info, ASN1_KIND_SEQUENCE, EncapsulatedContentInfo,
                 kEncapItems)
V7_ASN1_TEMPLATE(asn1_tmpl_issuer_and_serial_number, ASN1_KIND_SEQUENCE, IssuerAndSerialNumber,
                 kIssuerAndSerialItems)
V7_ASN1_TEMPLATE(asn1_tmpl_signer_identifier, ASN1_KIND_CHOICE, SignerIdentifier, kSignerIdentifierItems)
V7_ASN1_TEMPLATE(asn1_tmpl_signer_info, ASN1_KIND_SEQUENCE, SignerInfo, kSignerInfoItems)
V7_ASN1_TEMPLATE(asn1_tmpl_certificate_choice, ASN1_KIND_CHOICE, CertificateChoice, kCertificateChoiceItems)
V7_ASN1_TEMPLATE(asn1_tmpl_revocation_info_choice, ASN1_KIND_CHOICE, RevocationInfoChoice,
                 kRevocationChoiceItems)
V7_ASN1_TEMPLATE(asn1_tmpl_signed_data, ASN1_KIND_SEQUENCE, SignedData, kSignedDataItems)
V7_ASN1_TEMPLATE(asn1_tmpl_encrypted_content_info, ASN1_KIND_SEQUENCE, EncryptedContentInfo,
                 kEncryptedContentInfoItems)
V7_ASN1_TEMPLATE(asn1_tmpl_encrypted_data, ASN1_KIND_SEQUENCE, EncryptedData, kEncryptedDataItems)
