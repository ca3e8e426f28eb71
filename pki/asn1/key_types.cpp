#include "pki/asn1/key_types.h"

#include "pki/asn1/template_def.h"

using v7::asn1::kOpt;

namespace {

const ASN1_ITEM kRsaPublicKeyItems[] = {{0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer}};
const ASN1_ITEM kOtherPrimeInfoItems[] = {
    {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer}};
const ASN1_ITEM kOtherPrimeInfosItems[] = {{0, &asn1_tmpl_other_prime_info}};
V7_ASN1_LIST_TEMPLATE(kOtherPrimeInfos, ASN1_KIND_SEQUENCE_OF, kOtherPrimeInfosItems)
const ASN1_ITEM kRsaPrivateKeyItems[] = {
    {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer},   {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer},
    {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer},   {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_integer},
    {0, &asn1_tmpl_integer}, {kOpt, &kOtherPrimeInfos},
};
const ASN1_ITEM kPrivateKeyInfoItems[] = {
    {0, &asn1_tmpl_integer},
    {0, &asn1_tmpl_algorithm_identifier},
    {0, &asn1_tmpl_octet_string},
    {asn1_implicit(0) | kOpt, &asn1_tmpl_attributes},
};
const ASN1_ITEM kEncryptedPrivateKeyInfoItems[] = {{0, &asn1_tmpl_algorithm_identifier},
                                                   {0, &asn1_tmpl_octet_string}};

const ASN1_ITEM kPbkdf2SaltItems[] = {{0, &asn1_tmpl_octet_string}, {0, &asn1_tmpl_algorithm_identifier}};
V7_ASN1_TEMPLATE(kPbkdf2Salt, ASN1_KIND_CHOICE, Pbkdf2Salt, kPbkdf2SaltItems)
const ASN1_ITEM kPbkdf2ParamsItems[] = {{0, &kPbkdf2Salt},
                                        {0, &asn1_tmpl_integer},
                                        {kOpt, &asn1_tmpl_integer},
                                        {kOpt, &asn1_tmpl_algorithm_identifier}};
const ASN1_ITEM kPbes2ParamsItems[] = {{0, &asn1_tmpl_algorithm_identifier},
                                       {0, &asn1_tmpl_algorithm_identifier}};

const ASN1_ITEM kPkcs12PbeParamsItems[] = {{0, &asn1_tmpl_octet_string}, {0, &asn1_tmpl_integer}};
const ASN1_ITEM kDigestInfoItems[] = {{0, &asn1_tmpl_algorithm_identifier}, {0, &asn1_tmpl_octet_string}};
const ASN1_ITEM kMacDataItems[] = {
    {0, &asn1_tmpl_digest_info}, {0, &asn1_tmpl_octet_string}, {kOpt, &asn1_tmpl_integer}};
const ASN1_ITEM kPfxItems[] = {
    {0, &asn1_tmpl_integer}, {0, &asn1_tmpl_content_info}, {kOpt, &asn1_tmpl_mac_data}};
const ASN1_ITEM kAuthenticatedSafeItems[] = {{0, &asn1_tmpl_content_info}};
const ASN1_ITEM kSafeBagItems[] = {
    {0, &asn1_tmpl_oid}, {asn1_explicit(0), &asn1_tmpl_any}, {kOpt, &asn1_tmpl_attributes}};
const ASN1_ITEM kSafeContentsItems[] = {{0, &asn1_tmpl_safe_bag}};
const ASN1_ITEM kCertBagItems[] = {{0, &asn1_tmpl_oid}, {asn1_explicit(0), &asn1_tmpl_any}};

}  // namespace

V7_ASN1_TEMPLATE(asn1_tmpl_rsa_public_key, ASN1_KIND_SEQUENCE, RSAPublicKey, kRsaPublicKeyItems)
V7_ASN1_TEMPLATE(asn1_tmpl_rsa_private_key, ASN1_KIND_SEQUENCE, RSAPrivateKey, kRsaPrivateKeyItems)
V7_ASN1_TEMPLATE(asn1_tmpl_other_prime_info, ASN1_KIND_SEQUENCE, OtherPrimeInfo, kOtherPrimeInfoItems)
V7_ASN1_TEMPLATE(asn1_tmpl_private_key_info, ASN1_KIND_SEQUENCE, PrivateKeyInfo, kPrivateKeyInfoItems)
V7_ASN1_TEMPLATE(asn1_tmpl_encrypted_private_key_info, ASN1_KIND_SEQUENCE, EncryptedPrivateKeyInfo,
                 kEncryptedPrivateKeyInfoItems)
V7_ASN1_TEMPLATE(asn1_tmpl_pbkdf2_params, ASN1_KIND_SEQUENCE, PBKDF2Params, kPbkdf2ParamsItems)
V7_ASN1_TEMPLATE(asn1_tmpl_pbes2_params, ASN1_KIND_SEQUENCE, PBES2Params, kPbes2ParamsItems)
V7_ASN1_TEMPLATE(asn1_tmpl_pkcs12_pbe_params, ASN1_KIND_SEQUENCE, Pkcs12PbeParams, kPkcs12PbeParamsItems)
V7_ASN1_TEMPLATE(asn1_tmpl_digest_info, ASN1_KIND_SEQUENCE, DigestInfo, kDigestInfoItems)
V7_ASN1_TEMPLATE(asn1_tmpl_mac_data, ASN1_KIND_SEQUENCE, MacData, kMacDataItems)
V7_ASN1_TEMPLATE(asn1_tmpl_pfx, ASN1_KIND_SEQUENCE, PFX, kPfxItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_authenticated_safe, ASN1_KIND_SEQUENCE_OF, kAuthenticatedSafeItems)
V7_ASN1_TEMPLATE(asn1_tmpl_safe_bag, ASN1_KIND_SEQUENCE, SafeBag, kSafeBagItems)
V7_ASN1_LIST_TEMPLATE(asn1_tmpl_safe_contents, ASN1_KIND_SEQUENCE_OF, kSafeContentsItems)
V7_ASN1_TEMPLATE(asn1_tmpl_cert_bag, ASN1_KIND_SEQUENCE, CertBag, kCertBagItems)
