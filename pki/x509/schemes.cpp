#include <cstdio>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/hash/hash.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"

using v7::with_errno;

namespace {

// Scheme 13 as an encoding record, so that the key objects drive it like the others.
int raw_type1_encode(const void *, int bits, const uint8_t *msg, size_t msg_len, uint8_t *out,
                     size_t capacity) {
  return pkcs1_type1_raw_pad(bits, msg, msg_len, out, capacity);
}

int raw_type1_verify(const void *, int bits, const uint8_t *msg, size_t msg_len, const uint8_t *block,
                     size_t block_len) {
  return pkcs1_type1_raw_verify(bits, msg, msg_len, block, block_len) == 0 ? 1 : 0;
}

const RSA_PADDING kRawType1 = {raw_type1_encode, raw_type1_verify, nullptr, nullptr};

const int kHashSha1 = HASH_SHA1;
// PKCS#1 v1.5 that takes a SHA-1 DigestInfo only: the scheme's own record takes any hash of its
// table, so a sha1WithRSAEncryption label would not bind the hash.
const RSA_PADDING kPkcs1Sha1Only = {rsa_pad_pkcs1_sign, rsa_verify_pkcs1_sign, nullptr, &kHashSha1};

// Hash strengths by digest id. The larger SHA-2 digests rank with or above SHA-256, never below.
int hash_strength(int id) {
  switch (id) {
    case OID_SHA1:
    case OID_HAS160:
      return 3;
    case OID_SHA256:
    case OID_SHA224:
      return 4;
    case OID_SHA384:
    case OID_SHA512:
      return 5;
    default:
      return 0;
  }
}

}  // namespace

const RSA_PADDING *sig_padding_by_id(int id) {
  switch (id) {
    case SIG_SCHEME_PKCS1:
      return &RSA_PAD_PKCS1_SIGN;
    case SIG_SCHEME_PKCS1_SHA256:
      return &RSA_PAD_PKCS1_SIGN_SHA256;
    case SIG_SCHEME_PSS:
      return &RSA_PAD_PSS;
    case SIG_SCHEME_PSS_SHA256_MGF1_SHA1:
      return &RSA_PAD_PSS_SHA256_MGF1_SHA1;
    case SIG_SCHEME_PSS_SHA256:
      return &RSA_PAD_PSS_SHA256;
    case SIG_SCHEME_PKCS1_RAW:
      return &kRawType1;
    default:
      return nullptr;
  }
}

const RSA_PADDING *sig_padding_for_label(int id) {
  switch (id) {
    case OID_SHA1_WITH_RSA:
      return &kPkcs1Sha1Only;
    case OID_SHA256_WITH_RSA:
      return &RSA_PAD_PKCS1_SIGN_SHA256;
    default:
      return nullptr;
  }
}

const RSA_PADDING *enc_padding_by_id(int id) {
  switch (id) {
    case ENC_SCHEME_PKCS1:
      return &RSA_PAD_PKCS1_ENCRYPT;
    case ENC_SCHEME_OAEP:
      return &RSA_PAD_OAEP;
    case ENC_SCHEME_OAEP_SHA256_MGF1_SHA1:
      return &RSA_PAD_OAEP_SHA256_MGF1_SHA1;
    case ENC_SCHEME_OAEP_SHA256:
      return &RSA_PAD_OAEP_SHA256;
    case ENC_SCHEME_OAEP_SHA1_MGF1_SHA256:
      return &RSA_PAD_OAEP_MGF1_SHA256;
    default:
      return nullptr;
  }
}

int pkcs1_type1_raw_pad(int bits, const uint8_t *data, size_t length, uint8_t *out, size_t capacity) {
  if (bits <= 0 || out == nullptr || (data == nullptr && length != 0))
    return with_errno(v7::kErrInvalidParameter, 0);
  const size_t k = (size_t(bits) + 7) / 8;
  if (k < 11 || length > k - 11) return with_errno(v7::kErrSignatureEncode, 0);
  if (capacity < k) return with_errno(v7::kErrInsufficientMemory, 0);
  out[0] = 0x00;
  out[1] = 0x01;
  memset(out + 2, 0xFF, k - length - 3);
  out[k - length - 1] = 0x00;
  if (length != 0) memcpy(out + k - length, data, length);
  return with_errno(0, int(k));
}

int pkcs1_type1_raw_verify(int bits, const uint8_t *data, size_t length, const uint8_t *block,
                           size_t block_length) {
  if (bits <= 0 || block == nullptr || (data == nullptr && length != 0))
    return with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  const size_t k = (size_t(bits) + 7) / 8;
  // The padding's length follows from the data's: 00 01, k - length - 3 bytes FF (at least 8), 00.
  bool ok = block_length == k && k >= 11 && length <= k - 11 && block[0] == 0x00 && block[1] == 0x01 &&
            block[k - length - 1] == 0x00;
  for (size_t i = 2; ok && i < k - length - 1; ++i) ok = block[i] == 0xFF;
  if (ok && length != 0) ok = memcmp(block + k - length, data, length) == 0;
  if (!ok) return with_errno(v7::kErrVerifySignature, v7::kErrVerifySignature);
  return with_errno(0, 0);
}

int hash_oid_to_type(const ASN1_BYTES *oid, int *out_type) {
  if (oid == nullptr || out_type == nullptr || oid->data == nullptr)
    return with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  switch (oid_to_id(oid)) {
    case OID_SHA1:
      *out_type = 1;
      break;
    case OID_SHA256:
      *out_type = 2;
      break;
    case OID_HAS160:
      *out_type = 6;
      break;
    default:
      return with_errno(v7::kErrUnsupportedAlgorithm, v7::kErrUnsupportedAlgorithm);
  }
  return with_errno(0, 0);
}

int hash_oid_type(const ASN1_BYTES *oid) {
  int type = 0;
  if (hash_oid_to_type(oid, &type) != 0) return 0;
  return type;
}

int hash_strength_compare(int criterion_id, int target_id) {
  const int criterion = hash_strength(criterion_id);
  if (criterion == 0) return with_errno(v7::kErrUnsupportedCriteriaHash, v7::kErrUnsupportedCriteriaHash);
  if (target_id == 0) return with_errno(v7::kErrUnsupportedTargetHash, v7::kErrUnsupportedTargetHash);
  return with_errno(0, hash_strength(target_id) < criterion ? -1 : 0);
}

int hash_strength_check(ERROR_CTX *ctx, int target_id, int criterion_id) {
  if (ctx == nullptr) return with_errno(v7::kErrNoErrorContext, v7::kErrNoErrorContext);
  const int result = hash_strength_compare(criterion_id, target_id);
  if (result == 0) return with_errno(0, 0);
  char criterion_name[16], target_name[16];
  const char *criterion_text = oid_id_name(criterion_id);
  const char *target_text = oid_id_name(target_id);
  // An id without a display name is shown as its number.
  if (criterion_text == nullptr) {
    snprintf(criterion_name, sizeof criterion_name, "%d", criterion_id);
    criterion_text = criterion_name;
  }
  if (target_text == nullptr) {
    snprintf(target_name, sizeof target_name, "%d", target_id);
    target_text = target_name;
  }
  char detail[512];
  snprintf(detail, sizeof detail, "Criteria Hash Alg : %s, Sign Hash Alg : %s\n", criterion_text,
           target_text);
  err_push(ctx, v7::kErrHashStrength, nullptr);
  err_add_detail(ctx, result, detail);
  return with_errno(v7::kErrHashStrength, v7::kErrHashStrength);
}
