#include "pki/asn1/kisa_types.h"

#include "pki/asn1/template_def.h"

using v7::asn1::kOpt;

namespace {

const ASN1_ITEM kVidItems[] = {{0, &asn1_tmpl_algorithm_identifier},
                               {asn1_explicit(0), &asn1_tmpl_octet_string}};
const ASN1_ITEM kHashContentItems[] = {{0, &asn1_tmpl_printable_string}, {0, &asn1_tmpl_bit_string}};
const ASN1_ITEM kUserInfoItems[] = {{0, &asn1_tmpl_attribute_type_and_value}};
V7_ASN1_LIST_TEMPLATE(kUserInfo, ASN1_KIND_SEQUENCE_OF, kUserInfoItems)
const ASN1_ITEM kIdentifyDataItems[] = {{0, &asn1_tmpl_utf8_string}, {kOpt, &kUserInfo}};
const ASN1_ITEM kApprovedFileItems[] = {
    {0, &asn1_tmpl_printable_string}, {0, &asn1_tmpl_algorithm_identifier}, {0, &asn1_tmpl_octet_string}};
const ASN1_ITEM kApprovedFilesItems[] = {{0, &asn1_tmpl_approved_file}};
V7_ASN1_LIST_TEMPLATE(kApprovedFiles, ASN1_KIND_SEQUENCE_OF, kApprovedFilesItems)
const ASN1_ITEM kApprovalItems[] = {{0, &kApprovedFiles},
                                    {0, &asn1_tmpl_algorithm_identifier},
                                    {0, &asn1_tmpl_issuer_and_serial_number},
                                    {0, &asn1_tmpl_octet_string}};

}  // namespace

V7_ASN1_TEMPLATE(asn1_tmpl_vid, ASN1_KIND_SEQUENCE, VID, kVidItems)
V7_ASN1_TEMPLATE(asn1_tmpl_hash_content, ASN1_KIND_SEQUENCE, HashContent, kHashContentItems)
V7_ASN1_TEMPLATE(asn1_tmpl_identify_data, ASN1_KIND_SEQUENCE, IdentifyData, kIdentifyDataItems)
V7_ASN1_TEMPLATE(asn1_tmpl_approved_file, ASN1_KIND_SEQUENCE, ApprovedFile, kApprovedFileItems)
V7_ASN1_TEMPLATE(asn1_tmpl_token_module_approval, ASN1_KIND_SEQUENCE, TokenModuleApproval, kApprovalItems)
