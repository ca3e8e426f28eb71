// Verifying a CMS / PKCS#7 SignedData: structure, content, signed attributes, the signature under
// the signer certificate's key, hash strength, the HashContent unsigned attribute with its
// identity check, and optionally the signer's certificate path.
//
// Only the first SignerInfo is verified: the directory's trust lists and the relay's signed data
// carry one signer.

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "pki/asn1/asn1_owned.h"
#include "pki/asn1/kisa_types.h"
#include "pki/cms/cms.h"
#include "pki/cms/internal.h"
#include "pki/keys/keyobj.h"
#include "pki/oid/oid.h"
#include "pki/validation/validate.h"
#include "pki/x509/algorithms.h"

namespace {

using v7::Asn1Owned;
using v7::cms::fail;

// PKCS#9 attribute types, as OID contents.
const uint8_t kContentTypeAttr[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
const uint8_t kMessageDigestAttr[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};

const void *first_value(const Attribute &attr) { return attr.attr_values.element; }

// The bytes a signature over the content covers, and what the caller gets back: the octets of the
// eContent OCTET STRING, for data and for any other content type alike.
struct Content {
  const uint8_t *data = nullptr;
  size_t length = 0;
};

// Step 6: contentType and messageDigest; on success *covered holds the DER the signature covers
// (the signed attributes re-encoded as a SET OF).
int check_signed_attrs(const SignerInfo &signer, const EncapsulatedContentInfo &encap, const Content &content,
                       bool relaxed, uint8_t **covered, size_t *covered_len, ERROR_CTX *ctx) {
  bool has_type = false, has_digest = false;
  for (const ASN1_LIST *n = signer.signed_attrs; n != nullptr; n = n->next) {
    const auto *attr = static_cast<const Attribute *>(n->element);
    if (attr == nullptr) continue;
    if (attr->attr_type.len == 0) return fail(ctx, v7::kErrCmsSignedAttrs);
    if (v7::cms::oid_equals(attr->attr_type, kContentTypeAttr, sizeof kContentTypeAttr)) {
      has_type = true;
      if (relaxed) continue;
      const auto *value = static_cast<const ASN1_BYTES *>(first_value(*attr));
      Asn1Owned<ASN1_BYTES> oid(&asn1_tmpl_oid);
      if (value == nullptr || !oid.decode(ASN1_MODE_DER, *value))
        return fail(ctx, v7::kErrCmsAttrValue, "PKCS9 Content Type");
      if (asn1_bytes_compare(oid.get(), &encap.e_content_type) != 0)
        return fail(ctx, v7::kErrCmsContentTypeAttr);
    } else if (v7::cms::oid_equals(attr->attr_type, kMessageDigestAttr, sizeof kMessageDigestAttr)) {
      has_digest = true;
      const auto *value = static_cast<const ASN1_BYTES *>(first_value(*attr));
      if (value == nullptr) return fail(ctx, v7::kErrCmsAttrValue);
      int hash_type = hash_oid_type(&signer.digest_algorithm.algorithm);
      uint8_t digest[HASH_MAX_DIGEST_LEN];
      int digest_len =
          hash_type == 0 ? 0 : hash_digest(sizeof digest, digest, hash_type, content.data, content.length);
      if (digest_len <= 0) return fail(ctx, v7::kErrUnsupportedHash);
      Asn1Owned<ASN1_BYTES> stored(&asn1_tmpl_octet_string);
      if (!stored.decode(ASN1_MODE_DER, *value))
        return fail(ctx, v7::kErrDecodeFailed, "SignedAttributes.MessageDigest.OctetString", errno);
      if (stored->len != uint32_t(digest_len) || std::memcmp(stored->data, digest, size_t(digest_len)) != 0)
        return fail(ctx, v7::kErrCmsMessageDigest);
    }
  }
  if (!has_digest) return fail(ctx, v7::kErrCmsNoMessageDigest);
  if (!has_type && !relaxed) return fail(ctx, v7::kErrCmsNoContentType);
  ASN1_LIST *attrs = signer.signed_attrs;
  if (der_encode_alloc(&asn1_tmpl_attributes, attrs, covered, covered_len) == 0)
    return fail(ctx, v7::kErrEncodeFailed, "SignedAttributes", errno);
  return 0;
}

// Step 8: the RSA signature over the covered bytes under the certificate's key.
int check_signature(const SignerInfo &signer, const Certificate &cert, const uint8_t *covered,
                    size_t covered_len, ERROR_CTX *ctx) {
  if (oid_to_id(&signer.signature_algorithm.algorithm) != OID_RSA_ENCRYPTION)
    return fail(ctx, v7::kErrUnsupportedPublicKeyAlgorithm);
  int label = 0;
  switch (hash_oid_type(&signer.digest_algorithm.algorithm)) {
    case HASH_SHA1:
      label = OID_SHA1_WITH_RSA;
      break;
    case HASH_SHA256:
      label = OID_SHA256_WITH_RSA;
      break;
    default:
      return fail(ctx, v7::kErrUnsupportedPublicKeyAlgorithm);
  }
  PUBLIC_KEY_CTX *key = pubkey_new();
  if (key == nullptr) return fail(ctx, v7::kErrPubkeyNew);
  const ASN1_BIT_STRING &spk = cert.tbs.subject_public_key_info.subject_public_key;
  const PUBLIC_KEY_SOURCE source = {PUBKEY_SOURCE_RSA_PUBLIC_KEY, 1};
  int code = pubkey_set_key(key, spk.data, spk.len, KEYOBJ_FORMAT_DEFAULT, &source);
  if (code != 0) {
    pubkey_delete(key);
    return fail(ctx, v7::kErrPubkeySetKey, nullptr, code);
  }
  // Not pubkey_verify: its SHA-1 scheme takes whatever hash the block's DigestInfo names, and the
  // digest algorithm must bind the hash the signature was made with.
  errno = 0;
  if (rsa_public_decrypt(key->rsa, covered, covered_len, sig_padding_for_label(label), signer.signature.data,
                         signer.signature.len) != 1)
    code = errno != 0 ? errno : v7::kErrVerifySignature;
  pubkey_delete(key);
  if (code != 0) return fail(ctx, v7::kErrPubkeyVerify, nullptr, code);
  return 0;
}

// Step 9: the signer's digest must be at least as strong as the hash that signed its certificate.
int check_hash_strength(const SignerInfo &signer, const Certificate &cert, ERROR_CTX *ctx) {
  int criterion = 0;
  switch (oid_to_id(&cert.signature_algorithm.algorithm)) {
    case OID_SHA1:
    case OID_SHA1_WITH_RSA:
      criterion = OID_SHA1;
      break;
    case OID_SHA256:
    case OID_SHA256_WITH_RSA:
      criterion = OID_SHA256;
      break;
    case OID_MD5_WITH_RSA:
      criterion = OID_MD5;
      break;
    default:
      return fail(ctx, v7::kErrUnsupportedPublicKeyAlgorithm);
  }
  int target = oid_to_id(&signer.digest_algorithm.algorithm);
  int code = hash_strength_check(ctx, target, criterion);
  return code == 0 ? 0 : v7::with_errno(code, code);
}

// Step 10: the HashContent attribute with its identity check, and the attribute that ends
// verification.
int check_unsigned_attrs(const SignerInfo &signer, const Certificate &cert, CMS_VERIFY_INFO *info,
                         ERROR_CTX *ctx) {
  for (const ASN1_LIST *n = signer.unsigned_attrs; n != nullptr; n = n->next) {
    const auto *attr = static_cast<const Attribute *>(n->element);
    if (attr == nullptr) continue;
    int id = oid_to_id(&attr->attr_type);
    if (id == OID_KR_200005_1_10_2) return fail(ctx, v7::kErrCmsUnsignedAttr);
    if (id != OID_KR_200005_1_10_1) continue;
    const auto *value = static_cast<const ASN1_BYTES *>(first_value(*attr));
    Asn1Owned<ASN1_BYTES> octets(&asn1_tmpl_octet_string);
    Asn1Owned<HashContent> content(&asn1_tmpl_hash_content);
    if (value == nullptr || !octets.decode(ASN1_MODE_DER, *value) || !content.decode(ASN1_MODE_DER, *octets))
      return fail(ctx, v7::kErrDecodeFailed, "Velmora HashContent", errno);
    const HashContent &hc = *content;
    if (hc.idn.len == 0) return fail(ctx, v7::kErrCmsEmptyIdn);
    if (hc.random_num.len == 0) return fail(ctx, v7::kErrCmsEmptyRandom);
    if (!info->skip_identity &&
        cms_check_identity(reinterpret_cast<const char *>(hc.idn.data), hc.random_num.data, ctx, &cert,
                           hc.idn.len, hc.random_num.len) != 0)
      return fail(ctx, v7::kErrIdentifySsn);
    free(info->idn);
    info->idn = static_cast<char *>(calloc(hc.idn.len + 1, 1));
    if (info->idn == nullptr) return fail(ctx, v7::kErrOutOfMemory);
    std::memcpy(info->idn, hc.idn.data, hc.idn.len);
    if (info->flags & CMS_FLAG_RETURN_RANDOM) {
      if (info->random != nullptr) v7::secure_wipe(info->random, info->random_len);
      free(info->random);
      info->random = static_cast<uint8_t *>(malloc(hc.random_num.len));
      if (info->random == nullptr) return fail(ctx, v7::kErrOutOfMemory);
      std::memcpy(info->random, hc.random_num.data, hc.random_num.len);
      info->random_len = hc.random_num.len;
    }
  }
  return 0;
}

// Step 11: the signer's path, with the caller's mode for this call only.
int validate_signer(const Certificate &cert, VALIDATION_CTX *vctx, const CMS_VERIFY_INFO &info,
                    ERROR_CTX *ctx) {
  int saved = vctx->mode;
  vctx->mode = info.validation_mode;
  int code = cert_validate(&cert, vctx, KU_CHECK_SIGNING);
  vctx->mode = saved;
  return code == 0 ? 0 : fail(ctx, v7::kErrValidateCert, nullptr, code);
}

uint8_t *copy_bytes(const uint8_t *data, size_t length) {
  auto *out = static_cast<uint8_t *>(malloc(length == 0 ? 1 : length));
  if (out != nullptr && length != 0) std::memcpy(out, data, length);
  return out;
}

// Step 12.
int fill_results(const SignerInfo &signer, const EncapsulatedContentInfo &encap, const Certificate &cert,
                 const Content &content, CMS_VERIFY_INFO *info, uint8_t **out_content,
                 size_t *out_content_len, ERROR_CTX *ctx) {
  free(info->content_type);
  info->content_type = copy_bytes(encap.e_content_type.data, encap.e_content_type.len);
  if (info->content_type == nullptr) return fail(ctx, v7::kErrOutOfMemory);
  info->content_type_len = encap.e_content_type.len;
  info->digest_alg_id = oid_to_id(&signer.digest_algorithm.algorithm);
  info->signature_alg_id = oid_to_id(&signer.signature_algorithm.algorithm);
  if (info->flags & CMS_FLAG_RETURN_SIGNER_CERT) {
    free(info->signer_cert);
    info->signer_cert = nullptr;
    if (der_encode_alloc(&asn1_tmpl_certificate, &cert, &info->signer_cert, &info->signer_cert_len) == 0)
      return fail(ctx, errno, "Certificate");
  }
  if (out_content != nullptr && out_content_len != nullptr) {
    *out_content = copy_bytes(content.data, content.length);
    if (*out_content == nullptr) return fail(ctx, v7::kErrOutOfMemory);
    *out_content_len = content.length;
  }
  return 0;
}

int verify(ERROR_CTX *ctx, VALIDATION_CTX *vctx, const uint8_t *der, size_t length, uint8_t **out_content,
           size_t *out_content_len, CMS_VERIFY_INFO *info) {
  // Steps 2 and 3: the SignedData, alone or inside a ContentInfo.
  Asn1Owned<ContentInfo> wrapper(&asn1_tmpl_content_info);
  const uint8_t *sd_der = der;
  size_t sd_len = length;
  if (info->content_info) {
    if (!wrapper.decode(ASN1_MODE_DER, der, length))
      return fail(ctx, v7::kErrDecodeFailed, "ContentInfo", errno);
    if (oid_to_id(&wrapper->content_type) != OID_PKCS7_SIGNED) return fail(ctx, v7::kErrCmsNotSignedData);
    sd_der = wrapper->content.data;
    sd_len = wrapper->content.len;
  }
  Asn1Owned<SignedData> sd(&asn1_tmpl_signed_data);
  if (!sd.decode(ASN1_MODE_DER, sd_der, sd_len)) return fail(ctx, v7::kErrDecodeFailed, "SignedData", errno);

  // Step 4: structure.
  const auto *signer = static_cast<const SignerInfo *>(sd->signer_infos.element);
  const EncapsulatedContentInfo &encap = sd->encap_content_info;
  if (signer == nullptr) return fail(ctx, v7::kErrCmsSignedDataType, "No SignerInfo");
  bool is_data = oid_to_id(&encap.e_content_type) == OID_PKCS7_DATA;
  if (!info->relaxed_attributes && !is_data && signer->signed_attrs == nullptr)
    return fail(ctx, v7::kErrCmsSignedDataType, "No SignedAttrs");
  if (encap.e_content == nullptr) return fail(ctx, v7::kErrCmsSignedDataType, "No Content");
  if (sd->certificates == nullptr || sd->certificates->element == nullptr)
    return fail(ctx, v7::kErrCmsSignedDataType, "No SingerCert");

  // Step 5: the content.
  const Content content = {encap.e_content->data, encap.e_content->len};
  int code = 0;

  // Step 6: what the signature covers.
  uint8_t *covered_attrs = nullptr;
  size_t covered_attrs_len = 0;
  if (signer->signed_attrs != nullptr) {
    code = check_signed_attrs(*signer, encap, content, info->relaxed_attributes != 0, &covered_attrs,
                              &covered_attrs_len, ctx);
    if (code != 0) return code;
  }
  struct FreeOnExit {
    uint8_t *p;
    ~FreeOnExit() { free(p); }
  } covered_owner{covered_attrs};
  const uint8_t *covered = covered_attrs != nullptr ? covered_attrs : content.data;
  size_t covered_len = covered_attrs != nullptr ? covered_attrs_len : content.length;

  // Steps 7 to 11.
  const Certificate *cert = cms_find_signer_cert(&signer->sid, sd->certificates);
  if (cert == nullptr) return fail(ctx, v7::kErrNoSignerCert);
  if (cert->tbs.subject_public_key_info.subject_public_key.len == 0) return fail(ctx, v7::kErrCmsNoPublicKey);
  if ((code = check_signature(*signer, *cert, covered, covered_len, ctx)) != 0) return code;
  if ((code = check_hash_strength(*signer, *cert, ctx)) != 0) return code;
  if ((code = check_unsigned_attrs(*signer, *cert, info, ctx)) != 0) return code;
  if (info->validation_mode != CMS_VALIDATION_NONE && (code = validate_signer(*cert, vctx, *info, ctx)) != 0)
    return code;

  return fill_results(*signer, encap, *cert, content, info, out_content, out_content_len, ctx);
}

}  // namespace

void cms_verify_info_clear(CMS_VERIFY_INFO *info) {
  if (info == nullptr) return;
  free(info->content_type);
  free(info->signer_cert);
  if (info->random != nullptr) v7::secure_wipe(info->random, info->random_len);
  free(info->random);
  free(info->idn);
  info->content_type = nullptr;
  info->content_type_len = 0;
  info->digest_alg_id = 0;
  info->signature_alg_id = 0;
  info->signer_cert = nullptr;
  info->signer_cert_len = 0;
  info->validation_option = 0;
  info->random = nullptr;
  info->random_len = 0;
  info->idn = nullptr;
}

int cms_verify_signed(ERROR_CTX *ctx, VALIDATION_CTX *vctx, const uint8_t *der, size_t length,
                      uint8_t **out_content, size_t *out_content_len, CMS_VERIFY_INFO *info) {
  if (ctx == nullptr) return v7::with_errno(v7::kErrNoErrorContext, int(v7::kErrNoErrorContext));
  if (der == nullptr || length == 0 || info == nullptr ||
      (info->validation_mode != CMS_VALIDATION_NONE && vctx == nullptr))
    return fail(ctx, v7::kErrInvalidParameter);
  int code = verify(ctx, vctx, der, length, out_content, out_content_len, info);
  return v7::with_errno(code, code);
}
