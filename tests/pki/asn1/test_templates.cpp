#include "tests/pki/asn1/test_templates.h"

#include <cstring>

#include "pki/asn1/cms_types.h"
#include "pki/asn1/key_types.h"
#include "pki/asn1/template_def.h"
#include "pki/asn1/x509_types.h"

namespace asn1test {

namespace {

constexpr uint32_t kOpt = ASN1_FLAG_OPTIONAL;

// Small shapes for the hand-built cases.
struct SeqOpt {
  ASN1_BYTES *a;    // INTEGER OPTIONAL
  ASN1_BOOLEAN *b;  // BOOLEAN OPTIONAL
  ASN1_BYTES *c;    // [0] IMPLICIT OCTET STRING OPTIONAL
  ASN1_BYTES d;     // OCTET STRING
};
const ASN1_ITEM kSeqOptItems[] = {{kOpt, &asn1_tmpl_integer},
                                  {kOpt, &asn1_tmpl_boolean},
                                  {asn1_implicit(0) | kOpt, &asn1_tmpl_octet_string},
                                  {0, &asn1_tmpl_octet_string}};
V7_ASN1_TEMPLATE(kSeqOpt, ASN1_KIND_SEQUENCE, SeqOpt, kSeqOptItems)

// Inline fields of mixed alignment: the layout must be the C compiler's.
struct Mixed {
  ASN1_BOOLEAN flag1;
  ASN1_BOOLEAN flag2;
  ASN1_BYTES number;
  ASN1_BOOLEAN flag3;
  ASN1_NULL null;
};
const ASN1_ITEM kMixedItems[] = {{0, &asn1_tmpl_boolean},
                                 {0, &asn1_tmpl_boolean},
                                 {0, &asn1_tmpl_integer},
                                 {0, &asn1_tmpl_boolean},
                                 {0, &asn1_tmpl_null}};
V7_ASN1_TEMPLATE(kMixed, ASN1_KIND_SEQUENCE, Mixed, kMixedItems)

struct AnyThenTagged {
  ASN1_BYTES *any;     // ANY OPTIONAL
  ASN1_BYTES *tagged;  // [0] EXPLICIT INTEGER OPTIONAL
};
const ASN1_ITEM kAnyThenTaggedItems[] = {{kOpt, &asn1_tmpl_any},
                                         {asn1_explicit(0) | kOpt, &asn1_tmpl_integer}};
V7_ASN1_TEMPLATE(kAnyThenTagged, ASN1_KIND_SEQUENCE, AnyThenTagged, kAnyThenTaggedItems)

const ASN1_ITEM kIntListItems[] = {{0, &asn1_tmpl_integer}};
V7_ASN1_TEMPLATE(kSeqOfInt, ASN1_KIND_SEQUENCE_OF, ASN1_LIST, kIntListItems)
V7_ASN1_TEMPLATE(kSetOfInt, ASN1_KIND_SET_OF, ASN1_LIST, kIntListItems)

struct Alternatives {
  ASN1_BYTES *number;  // [0] IMPLICIT INTEGER
  ASN1_BYTES *octets;  // [1] EXPLICIT OCTET STRING
  ASN1_BYTES *oid;     // OBJECT IDENTIFIER
  ASN1_BYTES *app;     // [APPLICATION 2] IMPLICIT UTF8String
};
const ASN1_ITEM kAlternativesItems[] = {{asn1_implicit(0), &asn1_tmpl_integer},
                                        {asn1_explicit(1), &asn1_tmpl_octet_string},
                                        {0, &asn1_tmpl_oid},
                                        {0x42 | ASN1_FLAG_IMPLICIT, &asn1_tmpl_utf8_string}};
V7_ASN1_TEMPLATE(kAlternatives, ASN1_KIND_CHOICE, Alternatives, kAlternativesItems)

const ASN1_ITEM kChoiceInChoiceItems[] = {{0, &asn1_tmpl_time}};
V7_ASN1_TEMPLATE(kChoiceInChoice, ASN1_KIND_CHOICE, void *, kChoiceInChoiceItems)

// Nested ::= SEQUENCE { inner Nested OPTIONAL }, for depth.
extern const ASN1_TEMPLATE kNested;
struct Nested {
  Nested *inner;
};
const ASN1_ITEM kNestedItems[] = {{kOpt, &kNested}};
V7_ASN1_TEMPLATE(kNested, ASN1_KIND_SEQUENCE, Nested, kNestedItems)

const ASN1_TEMPLATE kUnknownKind = {7, 0, sizeof(ASN1_BYTES), nullptr};

const NamedItem kNamed[] = {
    {"any", {0, &asn1_tmpl_any}},
    {"boolean", {0, &asn1_tmpl_boolean}},
    {"integer", {0, &asn1_tmpl_integer}},
    {"bit_string", {0, &asn1_tmpl_bit_string}},
    {"octet_string", {0, &asn1_tmpl_octet_string}},
    {"null", {0, &asn1_tmpl_null}},
    {"oid", {0, &asn1_tmpl_oid}},
    {"enumerated", {0, &asn1_tmpl_enumerated}},
    {"utf8", {0, &asn1_tmpl_utf8_string}},
    {"printable", {0, &asn1_tmpl_printable_string}},
    {"ia5", {0, &asn1_tmpl_ia5_string}},
    {"bmp", {0, &asn1_tmpl_bmp_string}},
    {"utc_time", {0, &asn1_tmpl_utc_time}},
    {"gen_time", {0, &asn1_tmpl_generalized_time}},
    {"explicit_integer", {asn1_explicit(0), &asn1_tmpl_integer}},
    {"explicit_any", {asn1_explicit(0), &asn1_tmpl_any}},
    {"implicit_octets", {asn1_implicit(1), &asn1_tmpl_octet_string}},
    {"implicit_bits", {asn1_implicit(2), &asn1_tmpl_bit_string}},
    {"implicit_any", {asn1_implicit(0), &asn1_tmpl_any}},
    {"implicit_seq_of_int", {asn1_implicit(4), &kSeqOfInt}},
    {"seq_opt", {0, &kSeqOpt}},
    {"mixed", {0, &kMixed}},
    {"any_then_tagged", {0, &kAnyThenTagged}},
    {"seq_of_int", {0, &kSeqOfInt}},
    {"set_of_int", {0, &kSetOfInt}},
    {"time", {0, &asn1_tmpl_time}},
    {"alternatives", {0, &kAlternatives}},
    {"explicit_alternatives", {asn1_explicit(5), &kAlternatives}},
    {"choice_in_choice", {0, &kChoiceInChoice}},
    {"nested", {0, &kNested}},
    {"unknown_kind", {asn1_implicit(0), &kUnknownKind}},
    {"name", {0, &asn1_tmpl_name}},
    {"extensions", {0, &asn1_tmpl_extensions}},
    {"certificate", {0, &asn1_tmpl_certificate}},
    {"crl", {0, &asn1_tmpl_certificate_list}},
    {"revoked_list", {0, &asn1_tmpl_revoked_list}},
    {"rsa_public", {0, &asn1_tmpl_rsa_public_key}},
    {"rsa_private", {0, &asn1_tmpl_rsa_private_key}},
    {"pkcs8", {0, &asn1_tmpl_private_key_info}},
    {"pkcs8_encrypted", {0, &asn1_tmpl_encrypted_private_key_info}},
    {"content_info", {0, &asn1_tmpl_content_info}},
    {"signed_data", {0, &asn1_tmpl_signed_data}},
    {"implicit_choice", {asn1_implicit(5), &kAlternatives}},
};

}  // namespace

const NamedItem *named_items(size_t *count) {
  *count = V7_ASN1_COUNT(kNamed);
  return kNamed;
}

const ASN1_ITEM *find_item(const char *name) {
  for (const NamedItem &n : kNamed)
    if (std::strcmp(n.name, name) == 0) return &n.item;
  return nullptr;
}

}  // namespace asn1test
