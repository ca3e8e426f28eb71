// The identity check of the accredited-certificate scheme: the subjectAltName carries, as an
// otherName of type identifyData, a VID whose virtualID is H(H(DER of HashContent {idn,
// randomNum})). Only the holder knows the random value, so a match ties the number to the key.

#include <cerrno>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "pki/asn1/asn1_owned.h"
#include "pki/asn1/kisa_types.h"
#include "pki/cms/cms.h"
#include "pki/cms/internal.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"

namespace v7 {
namespace cms {

int fail(ERROR_CTX *ctx, int code, const char *detail, int sub_code) {
  err_push(ctx, code, detail);
  if (sub_code != 0) err_add_detail(ctx, sub_code, nullptr);
  return with_errno(code, code);
}

size_t double_hash(int hash_type, const uint8_t *data, size_t length, uint8_t *out) {
  uint8_t inner[HASH_MAX_DIGEST_LEN];
  int n = hash_digest(sizeof inner, inner, hash_type, data, length);
  int m = n > 0 ? hash_digest(HASH_MAX_DIGEST_LEN, out, hash_type, inner, size_t(n)) : 0;
  secure_wipe(inner, sizeof inner);
  return m > 0 ? size_t(m) : 0;
}

bool oid_equals(const ASN1_BYTES &oid, const uint8_t *contents, size_t length) {
  return oid.len == length && oid.data != nullptr && std::memcmp(oid.data, contents, length) == 0;
}

}  // namespace cms
}  // namespace v7

namespace {

using v7::Asn1Owned;
using v7::cms::fail;

// The HashContent DER of the scheme is small; anything longer is not a registration number and
// random value.
constexpr size_t kMaxHashContent = 128;

// Compares the VID with the number and random value. 0 on a match, else the pushed code.
int check_vid(const VID &vid, const char *idn, size_t idn_len, const uint8_t *random, size_t random_len,
              ERROR_CTX *ctx) {
  HashContent content{};
  content.idn.data = const_cast<uint8_t *>(reinterpret_cast<const uint8_t *>(idn));
  content.idn.len = uint32_t(idn_len);
  content.random_num.data = const_cast<uint8_t *>(random);
  content.random_num.len = uint32_t(random_len);
  uint8_t der[kMaxHashContent];
  errno = 0;
  size_t der_len = asn1_encode_into(&asn1_tmpl_hash_content, der, &content, sizeof der);
  if (der_len == 0) return fail(ctx, v7::kErrEncodeFailed, "HashContent", errno);

  int hash_type = hash_oid_type(&vid.hash_alg.algorithm);
  if (hash_type == 0) {
    v7::secure_wipe(der, sizeof der);
    return fail(ctx, v7::kErrUnsupportedHash);
  }
  uint8_t digest[HASH_MAX_DIGEST_LEN];
  size_t digest_len = v7::cms::double_hash(hash_type, der, der_len, digest);
  v7::secure_wipe(der, sizeof der);
  if (digest_len == 0) return fail(ctx, v7::kErrHashContextCreate);
  bool same = vid.virtual_id.len == digest_len && v7::ct_memeq(vid.virtual_id.data, digest, digest_len);
  if (!same) return fail(ctx, v7::kErrInconsistentHash);
  return 0;
}

// The check itself; the decoded names it holds are released before the caller sets errno.
int check_identity(const char *idn, const uint8_t *random, ERROR_CTX *ctx, const Certificate *cert,
                   size_t idn_len, size_t random_len) {
  // Each length is bounded on its own: a peer's huge length must not wrap the sum into range.
  if (idn == nullptr || cert == nullptr || (random == nullptr && random_len != 0) ||
      idn_len > kMaxHashContent || random_len > kMaxHashContent - idn_len)
    return fail(ctx, v7::kErrInvalidParameter);

  const Extension *san = cert_find_extension(cert, OID_EXT_SUBJECT_ALT_NAME);
  if (san == nullptr) return fail(ctx, v7::kErrNoSubjectAltName);
  Asn1Owned<ASN1_LIST> names(&asn1_tmpl_general_names);
  if (!names.decode(ASN1_MODE_DER, san->extn_value))
    return fail(ctx, v7::kErrInvalidSubjectAltName, nullptr, errno);

  for (const ASN1_LIST *n = names.get(); n != nullptr; n = n->next) {
    const auto *name = static_cast<const GeneralName *>(n->element);
    if (name == nullptr || name->other_name == nullptr) continue;
    if (oid_to_id(&name->other_name->type_id) != OID_KISA_IDENTIFY_DATA) continue;
    Asn1Owned<IdentifyData> data(&asn1_tmpl_identify_data);
    if (!data.decode(ASN1_MODE_DER, name->other_name->value))
      return fail(ctx, v7::kErrInvalidSubjectAltName, "IdentifyData", errno);
    for (const ASN1_LIST *u = data->user_info; u != nullptr; u = u->next) {
      const auto *entry = static_cast<const AttributeTypeAndValue *>(u->element);
      if (entry == nullptr || oid_to_id(&entry->type) != OID_KISA_VID) continue;
      Asn1Owned<VID> vid(&asn1_tmpl_vid);
      if (!vid.decode(ASN1_MODE_DER, entry->value)) return fail(ctx, v7::kErrDecodeFailed, "VID", errno);
      return check_vid(*vid, idn, idn_len, random, random_len, ctx);
    }
  }
  return fail(ctx, v7::kErrNoVid);
}

}  // namespace

int cms_check_identity(const char *idn, const uint8_t *random, ERROR_CTX *ctx, const Certificate *cert,
                       size_t idn_len, size_t random_len) {
  if (ctx == nullptr) return v7::with_errno(v7::kErrNoErrorContext, int(v7::kErrNoErrorContext));
  int code = check_identity(idn, random, ctx, cert, idn_len, random_len);
  return v7::with_errno(code, code);
}
