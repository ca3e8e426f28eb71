// The fixed encoding records and the helpers the encodings share.
#include <cerrno>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "crypto/random/random.h"
#include "crypto/rsa/internal.h"

namespace {

const int kHashSha1 = HASH_SHA1;
const int kHashSha256 = HASH_SHA256;

const PSS_PARAMS kPssSha256Mgf1Sha1 = {&MGF1_SHA1, HASH_SHA256, nullptr, 20, 0xBC};
const PSS_PARAMS kPssSha256 = {&MGF1_SHA256, HASH_SHA256, nullptr, 20, 0xBC};
const OAEP_PARAMS kOaepMgf1Sha256 = {&MGF1_SHA256, HASH_SHA1, nullptr, 0, nullptr};
const OAEP_PARAMS kOaepSha256Mgf1Sha1 = {&MGF1_SHA1, HASH_SHA256, nullptr, 0, nullptr};
const OAEP_PARAMS kOaepSha256 = {&MGF1_SHA256, HASH_SHA256, nullptr, 0, nullptr};

}  // namespace

const RSA_MGF MGF1_SHA1 = {rsa_mgf1, &kHashSha1};
const RSA_MGF MGF1_SHA256 = {rsa_mgf1, &kHashSha256};

namespace v7 {

const PSS_PARAMS kRsaPssDefault = {&MGF1_SHA1, HASH_SHA1, nullptr, 20, 0xBC};
const OAEP_PARAMS kRsaOaepDefault = {&MGF1_SHA1, HASH_SHA1, nullptr, 0, nullptr};

size_t rsa_hash_len(int hash_type) {
  if (hash_type < HASH_SHA1 || hash_type > HASH_MD5) return 0;
  int saved = errno;
  int len = hash_digest_len(hash_type);
  errno = saved;
  return len > 0 ? size_t(len) : 0;
}

int rsa_random_bytes(uint8_t *out, size_t count) {
  if (count == 0) return 0;
  RANDOM_CTX *rng = rng_new(RNG_TYPE_SYSTEM);
  if (rng == nullptr) return errno != 0 ? errno : kErrOutOfMemory;
  int code = rng_fill_bytes(out, rng, count) == count ? 0 : errno;
  rng_free(rng);
  if (code != 0) secure_wipe(out, count);
  return code;
}

int rsa_given_or_random(uint8_t *out, const uint8_t *given, size_t count) {
  if (given == nullptr) return rsa_random_bytes(out, count);
  if (count != 0) std::memcpy(out, given, count);
  return 0;
}

}  // namespace v7

const RSA_PADDING RSA_PAD_PKCS1_SIGN = {rsa_pad_pkcs1_sign, rsa_verify_pkcs1_sign, nullptr, nullptr};
const RSA_PADDING RSA_PAD_PKCS1_SIGN_SHA256 = {rsa_pad_pkcs1_sign, rsa_verify_pkcs1_sign, nullptr,
                                               &kHashSha256};
const RSA_PADDING RSA_PAD_PSS = {rsa_pad_pss, rsa_verify_pss, nullptr, &v7::kRsaPssDefault};
const RSA_PADDING RSA_PAD_PSS_SHA256_MGF1_SHA1 = {rsa_pad_pss, rsa_verify_pss, nullptr, &kPssSha256Mgf1Sha1};
const RSA_PADDING RSA_PAD_PSS_SHA256 = {rsa_pad_pss, rsa_verify_pss, nullptr, &kPssSha256};
const RSA_PADDING RSA_PAD_PKCS1_ENCRYPT = {rsa_pad_pkcs1_encrypt, nullptr, rsa_unpad_pkcs1_encrypt, nullptr};
const RSA_PADDING RSA_PAD_OAEP = {rsa_pad_oaep, nullptr, rsa_unpad_oaep, &v7::kRsaOaepDefault};
const RSA_PADDING RSA_PAD_OAEP_MGF1_SHA256 = {rsa_pad_oaep, nullptr, rsa_unpad_oaep, &kOaepMgf1Sha256};
const RSA_PADDING RSA_PAD_OAEP_SHA256_MGF1_SHA1 = {rsa_pad_oaep, nullptr, rsa_unpad_oaep,
                                                   &kOaepSha256Mgf1Sha1};
const RSA_PADDING RSA_PAD_OAEP_SHA256 = {rsa_pad_oaep, nullptr, rsa_unpad_oaep, &kOaepSha256};
