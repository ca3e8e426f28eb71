#include "tests/pki/asn1/test_templates.h"

#include <cstring>

#define V7_COUNT(items) uint32_t(sizeof(items) / sizeof((items)[0]))
#define V7_TEMPLATE(name, kind, record, items) \
  const ASN1_TEMPLATE name = {kind, V7_COUNT(items), uint32_t(sizeof(record)), items};

namespace asn1test {

constexpr uint32_t kOpt = ASN1_FLAG_OPTIONAL;

extern const ASN1_TEMPLATE kRdn, kRdnSequence, kAttributeTypeAndValue, kValidity, kSubjectPublicKeyInfo,
    kExtension, kRevokedEntry, kOtherPrimeInfos, kAttribute, kAttributes, kEncapsulatedContentInfo,
    kIssuerAndSerialNumber, kSignerIdentifier, kSignerInfo, kSignerInfos, kAlgorithmIdentifiers,
    kCertificateChoice, kCertificateSet, kAnySet, kAnySequenceOf;

// X.509.
const ASN1_ITEM kAlgorithmIdentifierItems[] = {{0, &asn1_tmpl_oid}, {kOpt, &asn1_tmpl_any}};
V7_TEMPLATE(kAlgorithmIdentifier, ASN1_KIND_SEQUENCE, AlgorithmIdentifier, kAlgorithmIdentifierItems)

const ASN1_ITEM kAtvItems[] = {{0, &asn1_tmpl_oid}, {0, &asn1_tmpl_any}};
V7_TEMPLATE(kAttributeTypeAndValue, ASN1_KIND_SEQUENCE, AttributeTypeAndValue, kAtvItems)
const ASN1_ITEM kRdnItems[] = {{0, &kAttributeTypeAndValue}};
V7_TEMPLATE(kRdn, ASN1_KIND_SET_OF, ASN1_LIST, kRdnItems)
const ASN1_ITEM kRdnSequenceItems[] = {{0, &kRdn}};
V7_TEMPLATE(kRdnSequence, ASN1_KIND_SEQUENCE_OF, ASN1_LIST, kRdnSequenceItems)
const ASN1_ITEM kNameItems[] = {{0, &kRdnSequence}};
V7_TEMPLATE(kName, ASN1_KIND_CHOICE, Name, kNameItems)

const ASN1_ITEM kTimeItems[] = {{0, &asn1_tmpl_utc_time}, {0, &asn1_tmpl_generalized_time}};
V7_TEMPLATE(kTime, ASN1_KIND_CHOICE, Time, kTimeItems)
const ASN1_ITEM kValidityItems[] = {{0, &kTime}, {0, &kTime}};
V7_TEMPLATE(kValidity, ASN1_KIND_SEQUENCE, Validity, kValidityItems)

const ASN1_ITEM kSpkiItems[] = {{0, &kAlgorithmIdentifier}, {0, &asn1_tmpl_bit_string}};
V7_TEMPLATE(kSubjectPublicKeyInfo, ASN1_KIND_SEQUENCE, SubjectPublicKeyInfo, kSpkiItems)

const ASN1_ITEM kExtensionItems[] = {
    {0, &asn1_tmpl_oid}, {kOpt, &asn1_tmpl_boolean}, {0, &asn1_tmpl_octet_string}};
V7_TEMPLATE(kExtension, ASN1_KIND_SEQUENCE, Extension, kExtensionItems)
const ASN1_ITEM kExtensionsItems[] = {{0, &kExtension}};
V7_TEMPLATE(kExtensions, ASN1_KIND_SEQUENCE_OF, ASN1_LIST, kExtensionsItems)

const ASN1_ITEM kTbsCertificateItems[] = {
    {asn1_explicit(0) | kOpt, &asn1_tmpl_integer},
    {0, &asn1_tmpl_integer},
    {0, &kAlgorithmIdentifier},
    {0, &kName},
    {0, &kValidity},
    {0, &kName},
    {0, &kSubjectPublicKeyInfo},
    {asn1_implicit(1) | kOpt, &asn1_tmpl_bit_string},
    {asn1_implicit(2) | kOpt, &asn1_tmpl_bit_string},
    {asn1_explicit(3) | kOpt, &kExtensions},
};
V7_TEMPLATE(kTbsCertificate, ASN1_KIND_SEQUENCE, TbsCertificate, kTbsCertificateItems)
const ASN1_ITEM kCertificateItems[] = {
    {0, &kTbsCertificate}, {0, &kAlgorithmIdentifier}, {0, &asn1_tmpl_bit_string}};
V7_TEMPLATE(kCertificate, ASN1_KIND_SEQUENCE, Certificate, kCertificateItems)

// CRLs; the revoked list is kept raw and decoded on its own, as a CRL search does.
const ASN1_ITEM kTbsCertListItems[] = {
    {kOpt, &asn1_tmpl_integer},
    {0, &kAlgorithmIdentifier},
    {0, &kName},
    {0, &kTime},
    {0, &kTime},
    {kOpt, &asn1_tmpl_any},
    {asn1_explicit(0) | kOpt, &kExtensions},
};
V7_TEMPLATE(kTbsCertList, ASN1_KIND_SEQUENCE, TbsCertList, kTbsCertListItems)
const ASN1_ITEM kCertificateListItems[] = {
    {0, &kTbsCertList}, {0, &kAlgorithmIdentifier}, {0, &asn1_tmpl_bit_string}};
V7_TEMPLATE(kCertificateList, ASN1_KIND_SEQUENCE, CertificateList, kCertificateListItems)
const ASN1_ITEM kRevokedEntryItems[] = {{0, &asn1_tmpl_integer}, {0, &kTime}, {kOpt, &kExtensions}};
V7_TEMPLATE(kRevokedEntry, ASN1_KIND_SEQUENCE, RevokedEntry, kRevokedEntryItems)
const ASN1_ITEM kRevokedListItems[] = {{0, &kRevokedEntry}};
V7_TEMPLATE(kRevokedList, ASN1_KIND_SEQUENCE_OF, ASN1_LIST, kRevokedListItems)

// PKCS#1.
const ASN1_ITEM kRsaPublicKeyItems[] = {{0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer}};
V7_TEMPLATE(kRsaPublicKey, ASN1_KIND_SEQUENCE, RsaPublicKey, kRsaPublicKeyItems)
const ASN1_ITEM kOtherPrimeInfoItems[] = {{0, &kRsaPublicKey}};  // stands in for the triple
V7_TEMPLATE(kOtherPrimeInfos, ASN1_KIND_SEQUENCE_OF, ASN1_LIST, kOtherPrimeInfoItems)
const ASN1_ITEM kRsaPrivateKeyItems[] = {
    {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer},   {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer},
    {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer},   {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer},
    {0, &asn1_tmpl_integer}, {kOpt, &kOtherPrimeInfos},
};
V7_TEMPLATE(kRsaPrivateKey, ASN1_KIND_SEQUENCE, RsaPrivateKey, kRsaPrivateKeyItems)

// PKCS#8.
const ASN1_ITEM kAnySetItems[] = {{0, &asn1_tmpl_any}};
V7_TEMPLATE(kAnySet, ASN1_KIND_SET_OF, ASN1_LIST, kAnySetItems)
V7_TEMPLATE(kAnySequenceOf, ASN1_KIND_SEQUENCE_OF, ASN1_LIST, kAnySetItems)
const ASN1_ITEM kAttributeItems[] = {{0, &asn1_tmpl_oid}, {0, &kAnySet}};
V7_TEMPLATE(kAttribute, ASN1_KIND_SEQUENCE, Attribute, kAttributeItems)
const ASN1_ITEM kAttributesItems[] = {{0, &kAttribute}};
V7_TEMPLATE(kAttributes, ASN1_KIND_SET_OF, ASN1_LIST, kAttributesItems)
const ASN1_ITEM kPrivateKeyInfoItems[] = {
    {0, &asn1_tmpl_integer},
    {0, &kAlgorithmIdentifier},
    {0, &asn1_tmpl_octet_string},
    {asn1_implicit(0) | kOpt, &kAttributes},
};
V7_TEMPLATE(kPrivateKeyInfo, ASN1_KIND_SEQUENCE, PrivateKeyInfo, kPrivateKeyInfoItems)
const ASN1_ITEM kEncryptedPrivateKeyInfoItems[] = {{0, &kAlgorithmIdentifier}, {0, &asn1_tmpl_octet_string}};
V7_TEMPLATE(kEncryptedPrivateKeyInfo, ASN1_KIND_SEQUENCE, EncryptedPrivateKeyInfo,
            kEncryptedPrivateKeyInfoItems)

// CMS.
const ASN1_ITEM kContentInfoItems[] = {{0, &asn1_tmpl_oid}, {asn1_explicit(0), &asn1_tmpl_any}};
V7_TEMPLATE(kContentInfo, ASN1_KIND_SEQUENCE, ContentInfo, kContentInfoItems)
const ASN1_ITEM kEncapItems[] = {{0, &asn1_tmpl_oid}, {asn1_explicit(0) | kOpt, &asn1_tmpl_octet_string}};
V7_TEMPLATE(kEncapsulatedContentInfo, ASN1_KIND_SEQUENCE, EncapsulatedContentInfo, kEncapItems)
const ASN1_ITEM kIssuerAndSerialItems[] = {{0, &kName}, {0, &asn1_tmpl_integer}};
V7_TEMPLATE(kIssuerAndSerialNumber, ASN1_KIND_SEQUENCE, IssuerAndSerialNumber, kIssuerAndSerialItems)
const ASN1_ITEM kSignerIdentifierItems[] = {{0, &kIssuerAndSerialNumber},
                                            {asn1_implicit(0), &asn1_tmpl_octet_string}};
V7_TEMPLATE(kSignerIdentifier, ASN1_KIND_CHOICE, SignerIdentifier, kSignerIdentifierItems)
const ASN1_ITEM kSignerInfoItems[] = {
    {0, &asn1_tmpl_integer},
    {0, &kSignerIdentifier},
    {0, &kAlgorithmIdentifier},
    {asn1_implicit(0) | kOpt, &kAttributes},
    {0, &kAlgorithmIdentifier},
    {0, &asn1_tmpl_octet_string},
    {asn1_implicit(1) | kOpt, &kAttributes},
};
V7_TEMPLATE(kSignerInfo, ASN1_KIND_SEQUENCE, SignerInfo, kSignerInfoItems)
const ASN1_ITEM kSignerInfosItems[] = {{0, &kSignerInfo}};
V7_TEMPLATE(kSignerInfos, ASN1_KIND_SET_OF, ASN1_LIST, kSignerInfosItems)
const ASN1_ITEM kAlgorithmIdentifiersItems[] = {{0, &kAlgorithmIdentifier}};
V7_TEMPLATE(kAlgorithmIdentifiers, ASN1_KIND_SET_OF, ASN1_LIST, kAlgorithmIdentifiersItems)
const ASN1_ITEM kCertificateChoiceItems[] = {{0, &kCertificate}, {asn1_implicit(3), &kAnySequenceOf}};
V7_TEMPLATE(kCertificateChoice, ASN1_KIND_CHOICE, CertificateChoice, kCertificateChoiceItems)
const ASN1_ITEM kCertificateSetItems[] = {{0, &kCertificateChoice}};
V7_TEMPLATE(kCertificateSet, ASN1_KIND_SET_OF, ASN1_LIST, kCertificateSetItems)
const ASN1_ITEM kSignedDataItems[] = {
    {0, &asn1_tmpl_integer},
    {0, &kAlgorithmIdentifiers},
    {0, &kEncapsulatedContentInfo},
    {asn1_implicit(0) | kOpt, &kCertificateSet},
    {asn1_implicit(1) | kOpt, &kAnySet},
    {0, &kSignerInfos},
};
V7_TEMPLATE(kSignedData, ASN1_KIND_SEQUENCE, SignedData, kSignedDataItems)

static_assert(sizeof(Name) == sizeof(void *), "a one-alternative CHOICE is one pointer");
static_assert(sizeof(Time) == 2 * sizeof(void *), "a CHOICE is one pointer per alternative");

namespace {

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
V7_TEMPLATE(kSeqOpt, ASN1_KIND_SEQUENCE, SeqOpt, kSeqOptItems)

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
V7_TEMPLATE(kMixed, ASN1_KIND_SEQUENCE, Mixed, kMixedItems)

struct AnyThenTagged {
  ASN1_BYTES *any;     // ANY OPTIONAL
  ASN1_BYTES *tagged;  // [0] EXPLICIT INTEGER OPTIONAL
};
const ASN1_ITEM kAnyThenTaggedItems[] = {{kOpt, &asn1_tmpl_any},
                                         {asn1_explicit(0) | kOpt, &asn1_tmpl_integer}};
V7_TEMPLATE(kAnyThenTagged, ASN1_KIND_SEQUENCE, AnyThenTagged, kAnyThenTaggedItems)

const ASN1_ITEM kIntListItems[] = {{0, &asn1_tmpl_integer}};
V7_TEMPLATE(kSeqOfInt, ASN1_KIND_SEQUENCE_OF, ASN1_LIST, kIntListItems)
V7_TEMPLATE(kSetOfInt, ASN1_KIND_SET_OF, ASN1_LIST, kIntListItems)

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
V7_TEMPLATE(kAlternatives, ASN1_KIND_CHOICE, Alternatives, kAlternativesItems)

const ASN1_ITEM kChoiceInChoiceItems[] = {{0, &kTime}};
V7_TEMPLATE(kChoiceInChoice, ASN1_KIND_CHOICE, void *, kChoiceInChoiceItems)

// Nested ::= SEQUENCE { inner Nested OPTIONAL }, for depth.
extern const ASN1_TEMPLATE kNested;
struct Nested {
  Nested *inner;
};
const ASN1_ITEM kNestedItems[] = {{kOpt, &kNested}};
V7_TEMPLATE(kNested, ASN1_KIND_SEQUENCE, Nested, kNestedItems)

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
    {"time", {0, &kTime}},
    {"alternatives", {0, &kAlternatives}},
    {"explicit_alternatives", {asn1_explicit(5), &kAlternatives}},
    {"choice_in_choice", {0, &kChoiceInChoice}},
    {"nested", {0, &kNested}},
    {"unknown_kind", {asn1_implicit(0), &kUnknownKind}},
    {"name", {0, &kName}},
    {"extensions", {0, &kExtensions}},
    {"certificate", {0, &kCertificate}},
    {"crl", {0, &kCertificateList}},
    {"revoked_list", {0, &kRevokedList}},
    {"rsa_public", {0, &kRsaPublicKey}},
    {"rsa_private", {0, &kRsaPrivateKey}},
    {"pkcs8", {0, &kPrivateKeyInfo}},
    {"pkcs8_encrypted", {0, &kEncryptedPrivateKeyInfo}},
    {"content_info", {0, &kContentInfo}},
    {"signed_data", {0, &kSignedData}},
    {"implicit_choice", {asn1_implicit(5), &kAlternatives}},
};

}  // namespace

const NamedItem *named_items(size_t *count) {
  *count = V7_COUNT(kNamed);
  return kNamed;
}

const ASN1_ITEM *find_item(const char *name) {
  for (const NamedItem &n : kNamed)
    if (std::strcmp(n.name, name) == 0) return &n.item;
  return nullptr;
}

}  // namespace asn1test
