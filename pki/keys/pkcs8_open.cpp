// Opening an EncryptedPrivateKeyInfo with a password.
//
// Callers tell a wrong password by the code left in errno: the cipher's padding failure (1246) or
// the code of a plaintext that does not decode as PrivateKeyInfo. Everything below therefore
// carries its code back up explicitly, and errno is set once, after every wipe and free.

#include <cerrno>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/cipher/cipher.h"
#include "pki/asn1/asn1_owned.h"
#include "pki/keys/pkcs8.h"
#include "pki/keys/pkcs8_internal.h"
#include "pki/oid/oid.h"

size_t v7::pkcs8::kisa_trim(const uint8_t *plain, size_t len) {
  if (len < 4 || plain[0] != 0x30 || plain[1] != 0x82) return len;
  size_t end = ((size_t(plain[2]) << 8) | plain[3]) + 4;
  if (end < len && len == end + plain[end]) return end;
  return len;
}

namespace {

using v7::Asn1Owned;

// What the parameters of a blob give the cipher.
struct CipherInput {
  int32_t cipher = kCrtCipherSeed;
  uint8_t key[24] = {};
  size_t key_len = 16;
  uint8_t iv[16] = {};
  size_t iv_len = 16;
  bool tried_as_seed = false;  // an unknown PBES2 scheme with a 16-byte IV
  ~CipherInput() {
    v7::secure_wipe(key, sizeof key);
    v7::secure_wipe(iv, sizeof iv);
  }
};

// {salt, iterationCount, keyLength OPTIONAL, prf OPTIONAL}: only a specified salt, no prf and a
// count of 1 to kMaxIterations are accepted. A keyLength is ignored: the cipher fixes the length.
int read_kdf_params(const ASN1_BYTES *params, Asn1Owned<PBKDF2Params> *kdf, uint32_t *iterations) {
  kdf->reset(v7::pkcs8::decode_any<PBKDF2Params>(params, &asn1_tmpl_pbkdf2_params));
  if (!*kdf) return v7::kErrInvalidPkcs5Format;
  const PBKDF2Params &p = **kdf;
  if (p.salt.specified == nullptr || p.prf != nullptr) return v7::kErrInvalidPkcs5Format;
  errno = 0;
  int32_t count = asn1_integer_to_int(&p.iteration_count);
  if (errno != 0 || count <= 0 || count > v7::pkcs8::kMaxIterations) return v7::kErrInvalidPkcs5Format;
  *iterations = uint32_t(count);
  return 0;
}

// PBES2 {keyDerivationFunc PBKDF2, encryptionScheme {OID, IV}}.
int pbes2_cipher_input(const AlgorithmIdentifier &alg, const char *password, CipherInput *in) {
  Asn1Owned<PBES2Params> pbes2(&asn1_tmpl_pbes2_params);
  pbes2.reset(v7::pkcs8::decode_any<PBES2Params>(alg.parameters, &asn1_tmpl_pbes2_params));
  if (!pbes2 || oid_to_id(&pbes2->key_derivation_func.algorithm) != OID_PBKDF2)
    return v7::kErrInvalidPkcs5Format;
  Asn1Owned<PBKDF2Params> kdf(&asn1_tmpl_pbkdf2_params);
  uint32_t iterations = 0;
  int code = read_kdf_params(pbes2->key_derivation_func.parameters, &kdf, &iterations);
  if (code != 0) return code;

  const AlgorithmIdentifier &scheme = pbes2->encryption_scheme;
  Asn1Owned<ASN1_BYTES> iv(&asn1_tmpl_octet_string);
  iv.reset(v7::pkcs8::decode_any<ASN1_BYTES>(scheme.parameters, &asn1_tmpl_octet_string));
  if (!iv) return v7::kErrUnsupportedCipher;
  int id = oid_to_id(&scheme.algorithm);
  size_t iv_len = iv->len;
  if (id == OID_SEED_CBC && iv_len == 16) {
    in->cipher = kCrtCipherSeed;
  } else if (id == OID_KR_100001_1_20 && iv_len == 16) {
    in->cipher = kCrtCipherAria;
  } else if (id == OID_DES_EDE3_CBC && iv_len == 8) {
    in->cipher = kCrtCipherTripleDesAlt;
    in->key_len = 24;
  } else if (id != OID_SEED_CBC && id != OID_KR_100001_1_20 && id != OID_DES_EDE3_CBC && iv_len == 16) {
    in->cipher = kCrtCipherSeed;
    in->tried_as_seed = true;
  } else {
    return v7::kErrUnsupportedCipher;
  }
  std::memcpy(in->iv, iv->data, iv_len);
  in->iv_len = iv_len;
  const ASN1_BYTES &salt = *kdf->salt.specified;
  return pbkdf2_sha1(reinterpret_cast<const uint8_t *>(password), std::strlen(password), salt.data, salt.len,
                     iterations, in->key, in->key_len);
}

// The KISA schemes: {salt, iterationCount} under the top-level OID, SEED-CBC.
int kisa_cipher_input(const AlgorithmIdentifier &alg, bool fixed_iv, const char *password, CipherInput *in) {
  Asn1Owned<PBKDF2Params> kdf(&asn1_tmpl_pbkdf2_params);
  uint32_t iterations = 0;
  int code = read_kdf_params(alg.parameters, &kdf, &iterations);
  if (code != 0) return code;
  const ASN1_BYTES &salt = *kdf->salt.specified;
  code = kisa_pbkdf1(reinterpret_cast<const uint8_t *>(password), std::strlen(password), salt.data, salt.len,
                     iterations, in->key, in->iv);
  if (code == 0 && fixed_iv) std::memcpy(in->iv, v7::pkcs8::kFixedIv, 16);
  return code;
}

PrivateKeyInfo *open_blob(const uint8_t *der, size_t length, const char *password, int *code) {
  if (der == nullptr || length == 0 || password == nullptr) {
    *code = v7::kErrInvalidParameter;
    return nullptr;
  }
  Asn1Owned<EncryptedPrivateKeyInfo> blob(&asn1_tmpl_encrypted_private_key_info);
  if (!blob.decode(ASN1_MODE_DER, der, length)) {
    *code = errno;
    return nullptr;
  }
  const AlgorithmIdentifier &alg = blob->encryption_algorithm;
  const ASN1_BYTES &data = blob->encrypted_data;
  CipherInput in;
  int id = oid_to_id(&alg.algorithm);
  bool kisa = id == OID_PBE_SHA1_SEED_CBC || id == OID_SEED_CBC;
  if (id == OID_PBES2) {
    *code = pbes2_cipher_input(alg, password, &in);
  } else if (kisa) {
    *code = kisa_cipher_input(alg, id == OID_SEED_CBC, password, &in);
  } else {
    *code = v7::kErrUnknownOid;
  }
  if (*code != 0) return nullptr;
  if (data.len == 0) {
    *code = v7::kErrInvalidCipherText;
    return nullptr;
  }

  v7::SecureBytes plain(data.len);
  errno = 0;
  size_t plain_len = cipher_decrypt_oneshot(in.cipher, in.key, in.key_len, in.iv, in.iv_len, data.data,
                                            data.len, plain.data(), plain.size());
  if (plain_len == 0) {
    // Nothing but padding decrypts to nothing, which is no PrivateKeyInfo either.
    int cipher_code = errno != 0 ? errno : v7::kErrAsn1Decode;
    *code = in.tried_as_seed && errno != 0 ? v7::kErrUnsupportedCipherDecrypt : cipher_code;
    return nullptr;
  }
  if (kisa) plain_len = v7::pkcs8::kisa_trim(plain.data(), plain_len);
  auto *key = static_cast<PrivateKeyInfo *>(
      asn1_decode_alloc(ASN1_MODE_DER, plain.data(), &asn1_tmpl_private_key_info, plain_len));
  *code = key == nullptr ? errno : 0;
  return key;
}

}  // namespace

PrivateKeyInfo *pkey_decrypt(const uint8_t *der, size_t length, const char *password) {
  int code = 0;
  PrivateKeyInfo *key = open_blob(der, length, password, &code);
  if (key == nullptr) return v7::with_errno(code != 0 ? code : int(v7::kErrAsn1Decode), key);
  return key;
}
