#include <cstring>
#include <utility>
#include <vector>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/cipher/cipher.h"
#include "crypto/hash/hash.h"
#include "crypto/hash/hmac.h"
#include "pki/asn1/asn1_owned.h"
#include "pki/asn1/cms_types.h"
#include "pki/keys/pkcs12.h"
#include "pki/oid/oid.h"
#include "pki/text/codepage.h"
#include "pki/text/strings.h"

namespace {

using v7::Asn1Owned;
using v7::SecureBytes;
using Bytes = std::vector<uint8_t>;

// Counts above this come only from hostile files: each derived block costs that many hash
// compressions, and a file is imported on the user-interface thread.
constexpr int32_t kMaxIterations = 10000000;

// localKeyId (1.2.840.113549.1.9.21) has no object id: only this reader looks for it.
constexpr uint8_t kLocalKeyIdOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x15};

// The PKCS#12 SHA-1 schemes this toolkit decrypts. The two RC4 schemes (pbeWithSHAAnd128BitRC4
// and ...40BitRC4) are refused with 1202 before anything is derived.
struct PbeScheme {
  int oid_id;
  int32_t cipher_id;
  size_t key_len;
};
constexpr PbeScheme kPbeSchemes[] = {
    {OID_P12_PBE_SHA_3DES_CBC, kCrtCipherTripleDesAlt, 24},
    {OID_P12_PBE_SHA_2DES_CBC, kCrtCipherTripleDes, 16},
    {OID_P12_PBE_SHA_RC2_128_CBC, kCrtCipherRc2, 16},
    {OID_P12_PBE_SHA_RC2_40_CBC, kCrtCipherRc2Bits40, 5},
};
constexpr size_t kPbeIvLen = 8;

enum { kKindOther = 0, kKindSign = 1, kKindKm = 2 };

// Decodes one element into out; 0, 1000 without memory, or fail_code for anything else the
// decoder refuses (the callers fold every malformed part of a file into one code).
template <typename T>
int decode(Asn1Owned<T> *out, int mode, const uint8_t *data, size_t len, int fail_code) {
  if (data == nullptr || len == 0) return fail_code;
  if (out->decode(mode, data, len)) return 0;
  return errno == v7::kErrOutOfMemory ? v7::kErrOutOfMemory : fail_code;
}
template <typename T>
int decode(Asn1Owned<T> *out, int mode, const ASN1_BYTES &value, int fail_code) {
  return decode(out, mode, value.data, value.len, fail_code);
}

bool bytes_equal(const ASN1_BYTES &a, const uint8_t *b, size_t len) {
  return a.len == len && (len == 0 || std::memcmp(a.data, b, len) == 0);
}

// A MAC or PBE iteration count; an absent one is the DEFAULT 1.
int iteration_count(const ASN1_BYTES *value, int32_t *out) {
  *out = value == nullptr ? 1 : asn1_integer_to_int(value);
  return *out >= 1 && *out <= kMaxIterations ? 0 : v7::kErrPkcs12Format;
}

// The specified password form: each byte b of the text becomes 00 b, then 00 00 ends it.
SecureBytes bmp_bytewise(const char *password) {
  size_t n = std::strlen(password);
  SecureBytes out(2 * n + 2);
  for (size_t i = 0; i < n; ++i) out.bytes[2 * i + 1] = uint8_t(password[i]);
  return out;
}

// UTF-16BE of the characters, as OpenSSL and other writers form it; empty when the text does not
// convert from the setting's encoding.
SecureBytes bmp_utf16(const char *password) {
  SecureBytes out;
  char16_t *wide = nullptr;
  if (setting_to_wide(password, &wide) != 0) return out;
  size_t n = 0;
  while (wide[n] != 0) ++n;
  out.bytes.resize(2 * n + 2);
  for (size_t i = 0; i < n; ++i) {
    out.bytes[2 * i] = uint8_t(wide[i] >> 8);
    out.bytes[2 * i + 1] = uint8_t(wide[i]);
  }
  wstr_wipe_free(wide);
  return out;
}

bool is_ascii(const char *text) {
  for (; *text != 0; ++text) {
    if (uint8_t(*text) >= 0x80) return false;
  }
  return true;
}

// What the file holds, in file order: at most two certificates and two keys with their
// localKeyId values.
struct ImportState {
  SecureBytes password;  // the BMPString the bags are opened with
  Certificate *certs[2] = {};
  Bytes cert_ids[2];
  size_t cert_count = 0;
  PrivateKeyInfo *keys[2] = {};
  Bytes key_ids[2];
  size_t key_count = 0;

  ~ImportState() {
    for (Certificate *c : certs) asn1_release(&asn1_tmpl_certificate, c);
    for (PrivateKeyInfo *k : keys) asn1_release(&asn1_tmpl_private_key_info, k);
  }
};

int mac_matches(int hash_type, int32_t iterations, const SecureBytes &password, const MacData &mac,
                const ASN1_BYTES &content, bool *match) {
  const size_t len = size_t(hash_digest_len(hash_type));
  uint8_t key[HASH_MAX_DIGEST_LEN];
  uint8_t computed[HASH_MAX_DIGEST_LEN];
  int code = pkcs12_kdf(3, hash_type, uint32_t(iterations), password.data(), password.size(),
                        mac.mac_salt.data, mac.mac_salt.len, key, len);
  if (code == 0 &&
      hmac_oneshot(hash_type, key, computed, len, content.data, content.len, sizeof(computed)) == 0) {
    code = errno;
  }
  *match = code == 0 && v7::ct_memeq(computed, mac.mac.digest.data, len) == 1;
  v7::secure_wipe(key, sizeof(key));
  v7::secure_wipe(computed, sizeof(computed));
  return code;
}

// Checks the MAC over the authSafe octets. The byte-wise password form comes first, as stored
// files of this system expect; a non-ASCII password that fails is tried as the UTF-16 of its
// characters, which is what other writers use, and then also opens the bags.
int check_mac(const MacData &mac, const ASN1_BYTES &content, const char *password, ImportState *state) {
  int32_t iterations = 0;
  if (iteration_count(mac.iterations, &iterations) != 0) return v7::kErrPkcs12Format;
  int id = oid_to_id(&mac.mac.digest_algorithm.algorithm);
  int hash_type = id >= OID_SHA1 && id <= OID_HAS160 ? hash_type_from_alg_id(id) : 0;
  if (hash_type == 0) return v7::kErrUnsupportedHash;
  if (mac.mac.digest.len != uint32_t(hash_digest_len(hash_type))) return v7::kErrPkcs12MacLength;
  bool match = false;
  int code = mac_matches(hash_type, iterations, state->password, mac, content, &match);
  if (code != 0 || match) return code;
  if (is_ascii(password)) return v7::kErrPkcs12VerifyMac;
  SecureBytes utf16 = bmp_utf16(password);
  if (utf16.size() == 0) return v7::kErrPkcs12VerifyMac;
  code = mac_matches(hash_type, iterations, utf16, mac, content, &match);
  if (code != 0) return code;
  if (!match) return v7::kErrPkcs12VerifyMac;
  state->password = std::move(utf16);
  return 0;
}

// Decrypts a shrouded key or an encrypted bag into plain (which wipes itself).
int pbe_decrypt(const AlgorithmIdentifier &alg, const ASN1_BYTES &ciphertext, const SecureBytes &password,
                SecureBytes *plain) {
  int id = oid_to_id(&alg.algorithm);
  if (id == OID_P12_PBE_SHA_RC4_128 || id == OID_P12_PBE_SHA_RC4_40) return v7::kErrUnsupportedCipher;
  const PbeScheme *scheme = nullptr;
  for (const PbeScheme &s : kPbeSchemes) {
    if (s.oid_id == id) scheme = &s;
  }
  if (scheme == nullptr) return v7::kErrUnknownOid;
  Asn1Owned<Pkcs12PbeParams> params(&asn1_tmpl_pkcs12_pbe_params);
  int32_t iterations = 0;
  int code = alg.parameters == nullptr
                 ? v7::kErrPkcs12Format
                 : decode(&params, ASN1_MODE_BER, *alg.parameters, v7::kErrPkcs12Format);
  if (code == 0) code = iteration_count(&params->iterations, &iterations);
  if (code == 0 && (ciphertext.data == nullptr || ciphertext.len == 0)) code = v7::kErrPkcs12Format;
  if (code != 0) return code;

  uint8_t key[24];
  uint8_t iv[kPbeIvLen];
  const ASN1_BYTES &salt = params->salt;
  code = pkcs12_kdf(1, HASH_SHA1, uint32_t(iterations), password.data(), password.size(), salt.data, salt.len,
                    key, scheme->key_len);
  if (code == 0) {
    code = pkcs12_kdf(2, HASH_SHA1, uint32_t(iterations), password.data(), password.size(), salt.data,
                      salt.len, iv, sizeof(iv));
  }
  if (code == 0) {
    plain->bytes.resize(ciphertext.len);
    errno = 0;
    size_t n = cipher_decrypt_oneshot(scheme->cipher_id, key, scheme->key_len, iv, sizeof(iv),
                                      ciphertext.data, ciphertext.len, plain->data(), plain->size());
    code = n == 0 ? errno : 0;
    plain->bytes.resize(n);  // shrinking keeps the capacity, which the wipe covers
  }
  v7::secure_wipe(key, sizeof(key));
  v7::secure_wipe(iv, sizeof(iv));
  return code;
}

// The localKeyId value of a bag; false when it has none.
int find_local_key_id(const SafeBag &bag, Bytes *id, bool *found) {
  *found = false;
  for (const ASN1_LIST *node = bag.bag_attributes; node != nullptr; node = node->next) {
    const Attribute *attr = static_cast<const Attribute *>(node->element);
    if (attr == nullptr || !bytes_equal(attr->attr_type, kLocalKeyIdOid, sizeof(kLocalKeyIdOid))) continue;
    const ASN1_BYTES *value = static_cast<const ASN1_BYTES *>(attr->attr_values.element);
    if (value == nullptr) return v7::kErrPkcs12Format;
    Asn1Owned<ASN1_BYTES> octets(&asn1_tmpl_octet_string);
    int code = decode(&octets, ASN1_MODE_BER, *value, v7::kErrPkcs12Format);
    if (code != 0) return code;
    id->assign(octets->data, octets->data + octets->len);
    *found = true;
    return 0;
  }
  return 0;
}

int read_key(const uint8_t *der, size_t len, Bytes *id, ImportState *state) {
  Asn1Owned<PrivateKeyInfo> key(&asn1_tmpl_private_key_info);
  int code = decode(&key, ASN1_MODE_BER, der, len, v7::kErrPkcs12Format);
  if (code != 0) return code;
  state->keys[state->key_count] = key.release();
  state->key_ids[state->key_count++] = std::move(*id);
  return 0;
}

int read_shrouded_key(const ASN1_BYTES &value, Bytes *id, ImportState *state) {
  Asn1Owned<EncryptedPrivateKeyInfo> info(&asn1_tmpl_encrypted_private_key_info);
  SecureBytes plain;
  int code = decode(&info, ASN1_MODE_BER, value, v7::kErrPkcs12Format);
  if (code == 0)
    code = pbe_decrypt(info->encryption_algorithm, info->encrypted_data, state->password, &plain);
  if (code == 0) code = read_key(plain.data(), plain.size(), id, state);
  return code;
}

int read_cert(const ASN1_BYTES &value, Bytes *id, ImportState *state) {
  Asn1Owned<CertBag> bag(&asn1_tmpl_cert_bag);
  int code = decode(&bag, ASN1_MODE_BER, value, v7::kErrPkcs12Format);
  if (code != 0) return code;
  if (oid_to_id(&bag->cert_id) != OID_CERT_TYPE_X509) return v7::kErrUnknownOid;
  Asn1Owned<ASN1_BYTES> octets(&asn1_tmpl_octet_string);
  Asn1Owned<Certificate> cert(&asn1_tmpl_certificate);
  code = decode(&octets, ASN1_MODE_BER, bag->cert_value, v7::kErrPkcs12Format);
  if (code == 0) code = decode(&cert, ASN1_MODE_DER, *octets, v7::kErrPkcs12Format);
  if (code != 0) return code;
  state->certs[state->cert_count] = cert.release();
  state->cert_ids[state->cert_count++] = std::move(*id);
  return 0;
}

int read_bag(const SafeBag &bag, ImportState *state) {
  Bytes id;
  bool has_id = false;
  int code = find_local_key_id(bag, &id, &has_id);
  if (code != 0 || !has_id) return code;
  // A third key or certificate is dropped before it is decrypted or decoded, so that a file
  // with many bags costs no more than one with two of each.
  switch (oid_to_id(&bag.bag_id)) {
    case OID_P12_KEY_BAG:
      return state->key_count == 2 ? 0 : read_key(bag.bag_value.data, bag.bag_value.len, &id, state);
    case OID_P12_SHROUDED_KEY_BAG:
      return state->key_count == 2 ? 0 : read_shrouded_key(bag.bag_value, &id, state);
    case OID_P12_CERT_BAG:
      return state->cert_count == 2 ? 0 : read_cert(bag.bag_value, &id, state);
    default:
      return v7::kErrUnknownOid;
  }
}

int read_safe_contents(const uint8_t *der, size_t len, ImportState *state) {
  Asn1Owned<ASN1_LIST> bags(&asn1_tmpl_safe_contents);
  int code = decode(&bags, ASN1_MODE_BER, der, len, v7::kErrPkcs12Format);
  for (const ASN1_LIST *node = bags.get(); code == 0 && node != nullptr; node = node->next) {
    if (node->element != nullptr) code = read_bag(*static_cast<const SafeBag *>(node->element), state);
  }
  return code;
}

int read_content_info(const ContentInfo &info, ImportState *state) {
  switch (oid_to_id(&info.content_type)) {
    case OID_PKCS7_DATA: {
      Asn1Owned<ASN1_BYTES> octets(&asn1_tmpl_octet_string);
      int code = decode(&octets, ASN1_MODE_BER, info.content, v7::kErrPkcs12Format);
      return code != 0 ? code : read_safe_contents(octets->data, octets->len, state);
    }
    case OID_PKCS7_ENCRYPTED: {
      Asn1Owned<EncryptedData> data(&asn1_tmpl_encrypted_data);
      int code = decode(&data, ASN1_MODE_BER, info.content, v7::kErrPkcs12Format);
      if (code != 0) return code;
      const EncryptedContentInfo &eci = data->encrypted_content_info;
      if (oid_to_id(&eci.content_type) != OID_PKCS7_DATA || eci.encrypted_content == nullptr) {
        return v7::kErrPkcs12Format;
      }
      SecureBytes plain;
      code = pbe_decrypt(eci.content_encryption_algorithm, *eci.encrypted_content, state->password, &plain);
      return code != 0 ? code : read_safe_contents(plain.data(), plain.size(), state);
    }
    case OID_PKCS7_ENVELOPED:
      return 0;  // sealed to a recipient's key, which a password cannot open
    default:
      return v7::kErrPkcs12Format;
  }
}

// The octets of the authSafe: the AuthenticatedSafe's DER, and what the MAC covers. A signedData
// authSafe (public-key integrity mode) carries them as its eContent, an OCTET STRING; its
// signature is not checked, just as a file without macData is read unchecked.
int auth_safe_octets(const ContentInfo &info, Asn1Owned<ASN1_BYTES> *octets,
                     Asn1Owned<SignedData> *signed_data, const ASN1_BYTES **out) {
  int code = v7::kErrPkcs12Format;
  switch (oid_to_id(&info.content_type)) {
    case OID_PKCS7_DATA:
      code = decode(octets, ASN1_MODE_BER, info.content, v7::kErrPkcs12Format);
      if (code == 0) *out = octets->get();
      break;
    case OID_PKCS7_SIGNED: {
      code = decode(signed_data, ASN1_MODE_BER, info.content, v7::kErrPkcs12Format);
      if (code != 0) break;
      const EncapsulatedContentInfo &encap = signed_data->get()->encap_content_info;
      if (oid_to_id(&encap.e_content_type) != OID_PKCS7_DATA || encap.e_content == nullptr) {
        code = v7::kErrPkcs12Format;
      }
      *out = encap.e_content;
      break;
    }
    default:
      break;
  }
  if (code == 0 && ((*out)->data == nullptr || (*out)->len == 0)) code = v7::kErrPkcs12Format;
  return code;
}

int key_usage_kind(const Certificate *cert) {
  for (const ASN1_LIST *node = cert->tbs.extensions; node != nullptr; node = node->next) {
    const Extension *ext = static_cast<const Extension *>(node->element);
    if (ext == nullptr || oid_to_id(&ext->extn_id) != OID_EXT_KEY_USAGE) continue;
    const ASN1_BYTES &ku = ext->extn_value;  // the BIT STRING's DER
    static const uint8_t kSigning[] = {0x03, 0x02, 0x06, 0xC0};
    if (bytes_equal(ku, kSigning, sizeof(kSigning))) return kKindSign;
    // digitalSignature 0x80, nonRepudiation 0x40; keyEncipherment 0x20, dataEncipherment 0x10,
    // keyAgreement 0x08.
    if (ku.len == 4 && ku.data[0] == 0x03 && ku.data[1] == 0x02 && (ku.data[3] & 0xC0) == 0 &&
        (ku.data[3] & 0x38) != 0) {
      return kKindKm;
    }
    return kKindOther;
  }
  return kKindOther;
}

// Moves the first certificate of the kind that has a key with its localKeyId, and that key, to
// the slots; a null slot's part is released at once. 1 when a pair was found.
int take_pair(ImportState *state, int kind, Certificate **cert_slot, PrivateKeyInfo **key_slot) {
  if (cert_slot == nullptr && key_slot == nullptr) return 0;
  for (size_t i = 0; i < state->cert_count; ++i) {
    if (state->certs[i] == nullptr || key_usage_kind(state->certs[i]) != kind) continue;
    for (size_t j = 0; j < state->key_count; ++j) {
      if (state->keys[j] == nullptr || state->key_ids[j] != state->cert_ids[i]) continue;
      if (cert_slot != nullptr)
        *cert_slot = state->certs[i];
      else
        asn1_release(&asn1_tmpl_certificate, state->certs[i]);
      if (key_slot != nullptr)
        *key_slot = state->keys[j];
      else
        asn1_release(&asn1_tmpl_private_key_info, state->keys[j]);
      state->certs[i] = nullptr;
      state->keys[j] = nullptr;
      return 1;
    }
  }
  return 0;
}

int import(const PKCS12_OUTPUTS *outputs, const char *password, const uint8_t *der, size_t length,
           int *result) {
  ImportState state;
  state.password = bmp_bytewise(password);
  Asn1Owned<PFX> pfx(&asn1_tmpl_pfx);
  int code = decode(&pfx, ASN1_MODE_BER, der, length, v7::kErrPkcs12Format);
  if (code != 0) return code;
  const ASN1_BYTES &version = pfx->version;
  if (version.len != 1 || version.data[0] != 3 || version.dropped_zeros != 0) return v7::kErrPkcs12Format;

  Asn1Owned<ASN1_BYTES> octets(&asn1_tmpl_octet_string);
  Asn1Owned<SignedData> signed_data(&asn1_tmpl_signed_data);
  const ASN1_BYTES *content = nullptr;
  code = auth_safe_octets(pfx->auth_safe, &octets, &signed_data, &content);
  if (code == 0 && pfx->mac_data != nullptr) code = check_mac(*pfx->mac_data, *content, password, &state);
  Asn1Owned<ASN1_LIST> auth_safe(&asn1_tmpl_authenticated_safe);
  if (code == 0) code = decode(&auth_safe, ASN1_MODE_BER, *content, v7::kErrPkcs12Format);
  for (const ASN1_LIST *node = auth_safe.get(); code == 0 && node != nullptr; node = node->next) {
    if (node->element != nullptr)
      code = read_content_info(*static_cast<const ContentInfo *>(node->element), &state);
  }
  if (code != 0) return code;

  // Nothing fails from here on, so the slots are filled only on success.
  int sign = take_pair(&state, kKindSign, outputs->sign_cert, outputs->sign_key);
  int km = take_pair(&state, kKindKm, outputs->km_cert, outputs->km_key);
  *result = sign | km << 1;
  return 0;
}

}  // namespace

int pkcs12_import(const PKCS12_OUTPUTS *outputs, const char *password, const uint8_t *der, size_t length) {
  if (outputs != nullptr) {
    if (outputs->sign_cert != nullptr) *outputs->sign_cert = nullptr;
    if (outputs->sign_key != nullptr) *outputs->sign_key = nullptr;
    if (outputs->km_cert != nullptr) *outputs->km_cert = nullptr;
    if (outputs->km_key != nullptr) *outputs->km_key = nullptr;
  }
  if (outputs == nullptr || password == nullptr || password[0] == 0 || der == nullptr || length == 0) {
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  }
  int result = 0;
  int code = import(outputs, password, der, length, &result);
  return v7::with_errno(code, code == 0 ? result : 0);
}
