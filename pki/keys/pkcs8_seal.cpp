// Sealing a PrivateKeyInfo under a password, in the two forms stored key files and the relay's
// key items carry: PBES2 {PBKDF2 {salt, 1024}, SEED-CBC {IV}} and the KISA scheme {salt, 1024}.
//
// Salt and IV come from the operating system's random source: the signing key and the
// key-management key are sealed one right after the other under the same password, and must not
// share a salt (or a key). The encoded form is the same as with any other source.

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/cipher/cipher.h"
#include "crypto/random/random.h"
#include "pki/keys/pkcs8.h"
#include "pki/keys/pkcs8_internal.h"
#include "pki/oid/oid.h"

namespace {

using v7::pkcs8::kBlockLen;
using v7::pkcs8::kSaltLen;

// Everything a seal draws, derives and writes; the secrets are wiped when it goes.
struct SealState {
  uint8_t random[kSaltLen + kBlockLen] = {};  // salt, then (PBES2) the IV
  uint8_t key[16] = {};
  uint8_t iv[16] = {};
  v7::pkcs8::WipedBuffer plain;  // the PrivateKeyInfo DER
  std::vector<uint8_t> kdf_der;  // PBKDF2-params / the KISA parameters
  std::vector<uint8_t> iv_der;
  std::vector<uint8_t> pbes2_der;
  std::vector<uint8_t> cipher_text;
  ~SealState() {
    v7::secure_wipe(key, sizeof key);
    v7::secure_wipe(iv, sizeof iv);
  }
};

// The record's DER appended to a new vector; 0 or the codec's code.
int encode(const ASN1_TEMPLATE *tmpl, const void *record, std::vector<uint8_t> *out) {
  size_t size = asn1_encode_into(tmpl, nullptr, record, 0);
  if (size == 0) return errno;
  out->assign(size, 0);
  return asn1_encode_into(tmpl, out->data(), record, size) == size ? 0 : errno;
}

ASN1_BYTES bytes_of(std::vector<uint8_t> &v) { return ASN1_BYTES{v.data(), uint32_t(v.size()), 0}; }

// An AlgorithmIdentifier's OID field; oid_id_contents only fails for ids outside the table.
bool set_oid(AlgorithmIdentifier *alg, int id) {
  size_t len = 0;
  const uint8_t *contents = oid_id_contents(id, &len);
  alg->algorithm = ASN1_BYTES{const_cast<uint8_t *>(contents), uint32_t(len), 0};
  return contents != nullptr;
}

int draw_random(uint8_t *out, size_t count) {
  RANDOM_CTX system = {RNG_TYPE_SYSTEM, 0, nullptr};
  return rng_fill_bytes(out, &system, count) == count ? 0 : errno;
}

// The encryption AlgorithmIdentifier of the scheme, over state->kdf_der (and the IV).
int build_algorithm(int scheme, SealState *state, AlgorithmIdentifier *alg, ASN1_BYTES *params) {
  uint8_t count[2];
  der_int_1024(count);
  ASN1_BYTES salt{state->random, uint32_t(kSaltLen), 0};
  PBKDF2Params kdf{};
  kdf.salt.specified = &salt;
  kdf.iteration_count = ASN1_BYTES{count, sizeof count, 0};
  int code = encode(&asn1_tmpl_pbkdf2_params, &kdf, &state->kdf_der);
  if (code != 0) return code;
  ASN1_BYTES kdf_any = bytes_of(state->kdf_der);
  if (scheme == PKEY_SCHEME_KISA_SEED) {
    *params = kdf_any;
    alg->parameters = params;
    return set_oid(alg, OID_PBE_SHA1_SEED_CBC) ? 0 : errno;
  }
  ASN1_BYTES iv{state->iv, uint32_t(kBlockLen), 0};
  code = encode(&asn1_tmpl_octet_string, &iv, &state->iv_der);
  if (code != 0) return code;
  ASN1_BYTES iv_any = bytes_of(state->iv_der);
  PBES2Params pbes2{};
  pbes2.key_derivation_func.parameters = &kdf_any;
  pbes2.encryption_scheme.parameters = &iv_any;
  if (!set_oid(&pbes2.key_derivation_func, OID_PBKDF2) || !set_oid(&pbes2.encryption_scheme, OID_SEED_CBC))
    return errno;
  code = encode(&asn1_tmpl_pbes2_params, &pbes2, &state->pbes2_der);
  if (code != 0) return code;
  *params = bytes_of(state->pbes2_der);
  alg->parameters = params;
  return set_oid(alg, OID_PBES2) ? 0 : errno;
}

size_t seal(const PrivateKeyInfo *key, const char *password, int scheme, uint8_t **out_der, int *code) {
  if (key == nullptr || password == nullptr || out_der == nullptr ||
      (scheme != PKEY_SCHEME_PBES2_SEED && scheme != PKEY_SCHEME_KISA_SEED)) {
    *code = v7::kErrInvalidParameter;
    return 0;
  }
  SealState state;
  if (der_encode_alloc(&asn1_tmpl_private_key_info, key, &state.plain.data, &state.plain.len) == 0) {
    *code = errno;
    return 0;
  }
  const uint8_t *pw = reinterpret_cast<const uint8_t *>(password);
  size_t pw_len = std::strlen(password);
  bool pbes2 = scheme == PKEY_SCHEME_PBES2_SEED;
  *code = draw_random(state.random, pbes2 ? kSaltLen + kBlockLen : kSaltLen);
  if (*code == 0 && pbes2) {
    std::memcpy(state.iv, state.random + kSaltLen, kBlockLen);
    *code = pbkdf2_sha1(pw, pw_len, state.random, kSaltLen, v7::pkcs8::kSealIterations, state.key, 16);
  } else if (*code == 0) {
    *code = kisa_pbkdf1(pw, pw_len, state.random, kSaltLen, v7::pkcs8::kSealIterations, state.key, state.iv);
  }
  if (*code != 0) return 0;

  state.cipher_text.assign(state.plain.len / kBlockLen * kBlockLen + kBlockLen, 0);
  size_t sealed = cipher_seed_cbc_encrypt(state.key, state.iv, state.plain.data, state.plain.len,
                                          state.cipher_text.data(), state.cipher_text.size());
  if (sealed == 0) {
    *code = errno;
    return 0;
  }
  EncryptedPrivateKeyInfo blob{};
  ASN1_BYTES params{};
  *code = build_algorithm(scheme, &state, &blob.encryption_algorithm, &params);
  if (*code != 0) return 0;
  blob.encrypted_data = ASN1_BYTES{state.cipher_text.data(), uint32_t(sealed), 0};
  size_t length = 0;
  if (der_encode_alloc(&asn1_tmpl_encrypted_private_key_info, &blob, out_der, &length) == 0) *code = errno;
  return length;
}

}  // namespace

size_t pkey_encrypt(const PrivateKeyInfo *key, const char *password, int scheme, uint8_t **out_der) {
  int code = 0;
  size_t length = seal(key, password, scheme, out_der, &code);
  if (length == 0) return v7::with_errno(code != 0 ? code : int(v7::kErrInvalidParameter), length);
  return length;
}
