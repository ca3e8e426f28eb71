// The token objects: certificate searches, writing key pairs, certificates and the VID data
// object, and signing and decrypting with a key on the token.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "crypto/rsa/rsa.h"
#include "media/token/internal.h"
#include "pki/asn1/asn1.h"
#include "pki/asn1/x509_types.h"
#include "pki/keys/rsa_key_der.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"
#include "pki/x509/cert.h"

namespace v7 {
namespace p11 {

uint8_t *copy_out(const uint8_t *data, size_t length) {
  auto *copy = static_cast<uint8_t *>(malloc(length == 0 ? 1 : length));
  if (copy != nullptr && length != 0) memcpy(copy, data, length);
  return copy;
}

int find_one(P11_MODULE *m, CK_ATTRIBUTE *tmpl, CK_ULONG count, CK_OBJECT_HANDLE *object) {
  CK_RV rv = m->functions->C_FindObjectsInit(m->session, tmpl, count);
  if (rv != CKR_OK) return token_code(rv);
  CK_OBJECT_HANDLE found[1] = {CK_INVALID_HANDLE};
  CK_ULONG n = 0;
  rv = m->functions->C_FindObjects(m->session, found, 1, &n);
  m->functions->C_FindObjectsFinal(m->session);
  if (rv != CKR_OK) return token_code(rv);
  if (n > 1) return fail(kErrP11BadAnswer);
  if (n == 0) return fail(kErrNoObject);
  *object = found[0];
  return done();
}

int read_attribute(P11_MODULE *m, CK_OBJECT_HANDLE object, CK_ATTRIBUTE_TYPE type, size_t capacity,
                   uint8_t **out, size_t *out_len) {
  std::vector<uint8_t> buffer(capacity);
  CK_ATTRIBUTE attr{type, buffer.data(), CK_ULONG(capacity)};
  CK_RV rv = m->functions->C_GetAttributeValue(m->session, object, &attr, 1);
  int code = 0;
  if (rv != CKR_OK) code = token_code(rv);
  else if (attr.ulValueLen == CK_UNAVAILABLE_INFORMATION || attr.ulValueLen > capacity) code = kErrP11BadAnswer;
  else if ((*out = copy_out(buffer.data(), attr.ulValueLen)) == nullptr) code = kErrOutOfMemory;
  else *out_len = attr.ulValueLen;
  v7::secure_wipe(buffer.data(), buffer.size());
  return code == 0 ? done() : fail(code);
}

bool vid_label(const uint8_t *id, size_t id_len, std::string *out) {
  if (id == nullptr || id_len == 0 || id_len > P11_MAX_ID) return false;
  static const char kHex[] = "0123456789abcdef";
  *out = "R4VID=";
  for (size_t i = 0; i < id_len; ++i) {
    out->push_back(kHex[id[i] >> 4]);
    out->push_back(kHex[id[i] & 15]);
  }
  return true;
}

}  // namespace p11
}  // namespace v7

using namespace v7::p11;
using v7::with_errno;

namespace {

CK_OBJECT_CLASS kClassCert = CKO_CERTIFICATE, kClassPublic = CKO_PUBLIC_KEY, kClassPrivate = CKO_PRIVATE_KEY,
                kClassData = CKO_DATA;
CK_CERTIFICATE_TYPE kX509 = CKC_X_509;
CK_KEY_TYPE kRsa = CKK_RSA;
CK_BBOOL kTrue = CK_TRUE, kFalse = CK_FALSE;

CK_ATTRIBUTE attr(CK_ATTRIBUTE_TYPE type, const void *value, size_t len) {
  return CK_ATTRIBUTE{type, const_cast<void *>(value), CK_ULONG(len)};
}
template <typename T>
CK_ATTRIBUTE attr(CK_ATTRIBUTE_TYPE type, T *value) {
  return attr(type, value, sizeof(*value));
}

// The labels of the objects this system writes, each zero-padded to 32 bytes.
struct Label {
  char text[32];
  explicit Label(const char *s) {
    memset(text, 0, sizeof(text));
    memcpy(text, s, strlen(s));
  }
};
const char kApplication[] = "Accredited PKI Application";

bool usable(const P11_MODULE *m) { return m != nullptr && m->functions != nullptr && m->session != 0; }

// The decoded certificate's key usage against a check code; 0 when it has none.
int key_usage_allows(const uint8_t *der, size_t len, int check) {
  auto *cert = static_cast<Certificate *>(asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_certificate, len));
  if (cert == nullptr) return 0;
  int ok = 0;
  const Extension *ext = cert_find_extension(cert, OID_EXT_KEY_USAGE);
  if (ext != nullptr) {
    auto *ku = static_cast<ASN1_BIT_STRING *>(
        asn1_decode_alloc(ASN1_MODE_DER, ext->extn_value.data, &asn1_tmpl_bit_string, ext->extn_value.len));
    if (ku != nullptr) ok = cert_key_usage_ok(check, ku);
    asn1_release(&asn1_tmpl_bit_string, ku);
  }
  asn1_release(&asn1_tmpl_certificate, cert);
  return ok;
}

// The private key of that id with the given use allowed.
int find_private_key(P11_MODULE *m, const uint8_t *id, size_t id_len, CK_ATTRIBUTE_TYPE use, int none_code,
                     CK_OBJECT_HANDLE *key) {
  CK_ATTRIBUTE tmpl[] = {attr(CKA_CLASS, &kClassPrivate), attr(use, &kTrue), attr(CKA_ID, id, id_len)};
  int code = find_one(m, tmpl, 3, key);
  return code == v7::kErrNoObject ? fail(none_code) : code;
}

typedef CK_RV (*InitFn)(CK_SESSION_HANDLE, CK_MECHANISM *, CK_OBJECT_HANDLE);
typedef CK_RV (*RunFn)(CK_SESSION_HANDLE, CK_BYTE *, CK_ULONG, CK_BYTE *, CK_ULONG *);

int private_operation(P11_MODULE *m, const char *pin, const uint8_t *id, size_t id_len, const uint8_t *data,
                      size_t length, uint8_t **out, size_t *out_len, bool sign) {
  if (!usable(m) || id == nullptr || id_len == 0 || data == nullptr || out == nullptr || out_len == nullptr)
    return fail(v7::kErrInvalidParameter);
  int code = p11_login(pin, m);
  if (code != 0) return code;
  CK_OBJECT_HANDLE key = CK_INVALID_HANDLE;
  code = find_private_key(m, id, id_len, sign ? CKA_SIGN : CKA_DECRYPT,
                          sign ? v7::kErrNoPrivateKey : v7::kErrP11NoDecryptKey, &key);
  if (code != 0) return code;
  CK_MECHANISM mechanism{CKM_RSA_PKCS, nullptr, 0};
  InitFn init = sign ? m->functions->C_SignInit : m->functions->C_DecryptInit;
  RunFn run = sign ? m->functions->C_Sign : m->functions->C_Decrypt;
  CK_RV rv = init(m->session, &mechanism, key);
  if (rv != CKR_OK) return token_code(rv);
  uint8_t buffer[P11_MAX_OUTPUT];
  CK_ULONG got = sizeof(buffer);
  std::vector<uint8_t> input(data, data + length);  // the call's argument is not const
  rv = run(m->session, input.data(), CK_ULONG(length), buffer, &got);
  v7::secure_wipe(input.data(), input.size());
  if (rv != CKR_OK) code = token_value(rv);
  else if (got > sizeof(buffer)) code = v7::kErrP11BadAnswer;
  else if ((*out = copy_out(buffer, got)) == nullptr) code = v7::kErrOutOfMemory;
  else *out_len = got;
  v7::secure_wipe(buffer, sizeof(buffer));
  return code == 0 ? done() : fail(code);
}

// The RSAPublicKey DER of a key's numbers, as the toolkit encodes it (and as a certificate of
// that key carries it).
bool public_key_der(const uint8_t *n, size_t n_len, const uint8_t *e, size_t e_len, std::vector<uint8_t> *out) {
  RSA_CTX *rsa = rsa_new();
  bool ok = rsa != nullptr && rsa_set_public_key(rsa, n, n_len, e, e_len) != 0;
  size_t size = ok ? rsa_key_to_der(rsa, RSA_DER_PUBLIC, nullptr, 0) : 0;
  if (size != 0) {
    out->resize(size);
    ok = rsa_key_to_der(rsa, RSA_DER_PUBLIC, out->data(), size) == size;
  } else {
    ok = false;
  }
  rsa_free(rsa);
  return ok;
}

}  // namespace

int p11_find_certs_init(P11_MODULE *m) {
  if (!usable(m)) return fail(v7::kErrInvalidParameter);
  CK_ATTRIBUTE tmpl[] = {attr(CKA_CLASS, &kClassCert), attr(CKA_CERTIFICATE_TYPE, &kX509)};
  CK_RV rv = m->functions->C_FindObjectsInit(m->session, tmpl, 2);
  return rv == CKR_OK ? done() : token_code(rv);
}

void p11_find_certs_final(P11_MODULE *m) {
  if (usable(m)) m->functions->C_FindObjectsFinal(m->session);
}

int p11_find_next_cert(P11_MODULE *m, uint8_t **value, size_t *value_len, uint8_t **id, size_t *id_len) {
  if (!usable(m) || value == nullptr || value_len == nullptr || id == nullptr || id_len == nullptr)
    return fail(v7::kErrInvalidParameter);
  for (;;) {
    CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
    CK_ULONG n = 0;
    CK_RV rv = m->functions->C_FindObjects(m->session, &object, 1, &n);
    if (rv != CKR_OK) {
      return with_errno(token_value(rv), int(v7::kErrP11FindObjects));
    }
    if (n > 1) return fail(v7::kErrP11BadAnswer);
    if (n == 0) return fail(v7::kErrNoObject);
    uint8_t *got_id = nullptr, *got_value = nullptr;
    size_t got_id_len = 0, got_value_len = 0;
    int code = read_attribute(m, object, CKA_ID, P11_MAX_ID, &got_id, &got_id_len);
    if (code == 0) code = read_attribute(m, object, CKA_VALUE, P11_MAX_CERT, &got_value, &got_value_len);
    if (code != 0) {
      free(got_id);
      return fail(code);
    }
    if (key_usage_allows(got_value, got_value_len, KU_CHECK_SIGNING)) {
      *value = got_value;
      *value_len = got_value_len;
      *id = got_id;
      *id_len = got_id_len;
      return done();
    }
    free(got_id);
    free(got_value);
  }
}

int p11_find_read_value(P11_MODULE *m, const uint8_t *id, size_t id_len, uint8_t **value, size_t *value_len) {
  if (!usable(m) || id == nullptr || id_len == 0 || value == nullptr || value_len == nullptr)
    return fail(v7::kErrInvalidParameter);
  CK_ATTRIBUTE tmpl[] = {attr(CKA_CLASS, &kClassCert), attr(CKA_ID, id, id_len)};
  CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
  int code = find_one(m, tmpl, 2, &object);
  if (code != 0) return code;
  return read_attribute(m, object, CKA_VALUE, P11_MAX_CERT, value, value_len);
}

int p11_find_km_cert(P11_MODULE *m, const uint8_t *subject, size_t subject_len, uint8_t **value,
                     size_t *value_len, uint8_t **id, size_t *id_len) {
  if (!usable(m) || subject == nullptr || subject_len == 0 || value == nullptr || value_len == nullptr)
    return fail(v7::kErrInvalidParameter);
  CK_ATTRIBUTE tmpl[] = {attr(CKA_CLASS, &kClassCert), attr(CKA_SUBJECT, subject, subject_len)};
  CK_RV rv = m->functions->C_FindObjectsInit(m->session, tmpl, 2);
  if (rv != CKR_OK) return token_code(rv);
  int code = v7::kErrNoObject;
  for (;;) {
    CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
    CK_ULONG n = 0;
    rv = m->functions->C_FindObjects(m->session, &object, 1, &n);
    if (rv != CKR_OK) {
      code = token_value(rv);
      break;
    }
    if (n != 1) {
      if (n > 1) code = v7::kErrP11BadAnswer;
      break;
    }
    uint8_t *got = nullptr;
    size_t got_len = 0;
    code = read_attribute(m, object, CKA_VALUE, P11_MAX_CERT, &got, &got_len);
    if (code != 0) break;
    if (!key_usage_allows(got, got_len, KU_CHECK_KEY_ENCIPHERMENT)) {
      free(got);
      code = v7::kErrNoObject;
      continue;
    }
    uint8_t *got_id = nullptr;
    size_t got_id_len = 0;
    if (id != nullptr && (code = read_attribute(m, object, CKA_ID, P11_MAX_ID, &got_id, &got_id_len)) != 0) {
      free(got);
      break;
    }
    *value = got;
    *value_len = got_len;
    if (id != nullptr) {
      *id = got_id;
      if (id_len != nullptr) *id_len = got_id_len;
    }
    break;
  }
  m->functions->C_FindObjectsFinal(m->session);
  return code == 0 ? done() : fail(code);
}

int p11_read_cert_and_id(P11_MODULE *m, const uint8_t *id, size_t id_len, uint8_t **sign_cert, size_t *sign_len,
                         uint8_t **km_cert, size_t *km_len) {
  uint8_t *cert = nullptr;
  size_t cert_len = 0;
  int code = p11_find_read_value(m, id, id_len, &cert, &cert_len);
  if (code != 0) return code;
  if (km_cert != nullptr && km_len != nullptr) {
    uint8_t *subject = nullptr;
    size_t subject_len = 0;
    if (cert_subject_der(cert, cert_len, &subject, &subject_len) == 0) code = errno != 0 ? errno : v7::kErrDecodeFailed;
    else code = p11_find_km_cert(m, subject, subject_len, km_cert, km_len, nullptr, nullptr);
    free(subject);
  }
  if (code == 0 && sign_cert != nullptr && sign_len != nullptr) {
    *sign_cert = cert;
    *sign_len = cert_len;
    cert = nullptr;
  }
  free(cert);
  return code == 0 ? done() : fail(code);
}

int p11_key_id(const uint8_t *rsa_public_der, size_t length, uint8_t out[P11_KEY_ID_LEN]) {
  if (rsa_public_der == nullptr || length == 0 || out == nullptr) return fail(v7::kErrInvalidParameter);
  return hash_digest(P11_KEY_ID_LEN, out, HASH_SHA1, rsa_public_der, length) == int(P11_KEY_ID_LEN)
             ? done()
             : fail(errno != 0 ? errno : v7::kErrInternal);
}

int p11_put_keypair(P11_MODULE *m, const char *pin, const uint8_t *key_der, size_t key_len, int km,
                    const uint8_t *subject, size_t subject_len, uint8_t **id_out) {
  if (m == nullptr || key_der == nullptr || key_len == 0 || subject == nullptr || subject_len == 0 ||
      id_out == nullptr || (km != 0 && km != 1))
    return fail(v7::kErrInvalidParameter);
  if (m->functions == nullptr) return fail(v7::kErrP11NoFunctionList);
  int code = p11_login(pin, m);
  if (code != 0) return code;
  const uint8_t *k[RSA_DER_COUNT] = {};
  size_t kl[RSA_DER_COUNT] = {};
  if (rsa_key_from_der(key_len, key_der, k, kl) != 2 || kl[RSA_DER_N] < 64) return fail(v7::kErrRsaIncorrectKey);
  std::vector<uint8_t> public_der;
  uint8_t id[P11_KEY_ID_LEN];
  if (!public_key_der(k[RSA_DER_N], kl[RSA_DER_N], k[RSA_DER_E], kl[RSA_DER_E], &public_der))
    return fail(v7::kErrRsaIncorrectKey);
  if ((code = p11_key_id(public_der.data(), public_der.size(), id)) != 0) return code;

  CK_BBOOL *for_km = km ? &kTrue : &kFalse, *for_sign = km ? &kFalse : &kTrue;
  Label public_label("An RSA public key object"), private_label("An RSA private key object");
  CK_ATTRIBUTE public_tmpl[] = {
      attr(CKA_CLASS, &kClassPublic),       attr(CKA_KEY_TYPE, &kRsa),
      attr(CKA_TOKEN, &kTrue),              attr(CKA_LABEL, public_label.text, 32),
      attr(CKA_ID, id, sizeof(id)),         attr(CKA_WRAP, for_km),
      attr(CKA_ENCRYPT, for_km),            attr(CKA_MODULUS, k[RSA_DER_N], kl[RSA_DER_N]),
      attr(CKA_SUBJECT, subject, subject_len), attr(CKA_PRIVATE, &kFalse),
      attr(CKA_VERIFY, for_sign),           attr(CKA_PUBLIC_EXPONENT, k[RSA_DER_E], kl[RSA_DER_E]),
  };
  CK_ATTRIBUTE private_tmpl[] = {
      attr(CKA_CLASS, &kClassPrivate),
      attr(CKA_KEY_TYPE, &kRsa),
      attr(CKA_TOKEN, &kTrue),
      attr(CKA_LABEL, private_label.text, 32),
      attr(CKA_SUBJECT, subject, subject_len),
      attr(CKA_ID, id, sizeof(id)),
      attr(CKA_SENSITIVE, &kTrue),
      attr(CKA_SIGN, for_sign),
      attr(CKA_UNWRAP, for_km),
      attr(CKA_DECRYPT, for_km),
      attr(CKA_PRIVATE, &kTrue),
      attr(CKA_MODULUS, k[RSA_DER_N], kl[RSA_DER_N]),
      attr(CKA_PUBLIC_EXPONENT, k[RSA_DER_E], kl[RSA_DER_E]),
      attr(CKA_PRIVATE_EXPONENT, k[RSA_DER_D], kl[RSA_DER_D]),
      attr(CKA_PRIME_1, k[RSA_DER_P], kl[RSA_DER_P]),
      attr(CKA_PRIME_2, k[RSA_DER_Q], kl[RSA_DER_Q]),
      attr(CKA_EXPONENT_1, k[RSA_DER_DP], kl[RSA_DER_DP]),
      attr(CKA_EXPONENT_2, k[RSA_DER_DQ], kl[RSA_DER_DQ]),
      attr(CKA_COEFFICIENT, k[RSA_DER_QINV], kl[RSA_DER_QINV]),
  };
  static_assert(sizeof(public_tmpl) / sizeof(public_tmpl[0]) == 12, "public key attributes");
  static_assert(sizeof(private_tmpl) / sizeof(private_tmpl[0]) == 19, "private key attributes");
  CK_OBJECT_HANDLE public_key = CK_INVALID_HANDLE, private_key = CK_INVALID_HANDLE;
  CK_RV rv = m->functions->C_CreateObject(m->session, public_tmpl, 12, &public_key);
  if (rv != CKR_OK) return token_code(rv);
  rv = m->functions->C_CreateObject(m->session, private_tmpl, 19, &private_key);
  if (rv != CKR_OK) {
    // Only what this call made goes: the public key it has just created.
    m->functions->C_DestroyObject(m->session, public_key);
    return token_code(rv);
  }
  if ((*id_out = copy_out(id, sizeof(id))) == nullptr) return fail(v7::kErrOutOfMemory);
  return done();
}

int p11_put_cert(P11_MODULE *m, const char *pin, const uint8_t *cert, size_t cert_len, const uint8_t *id,
                 size_t id_len) {
  if (m == nullptr || cert == nullptr || cert_len == 0 || cert_len > P11_MAX_CERT || (id != nullptr && id_len == 0))
    return fail(v7::kErrInvalidParameter);
  if (m->functions == nullptr) return fail(v7::kErrP11NoFunctionList);
  int code = p11_login(pin, m);
  if (code != 0) return code;
  auto *decoded =
      static_cast<Certificate *>(asn1_decode_alloc(ASN1_MODE_DER, cert, &asn1_tmpl_certificate, cert_len));
  if (decoded == nullptr) return fail(errno != 0 ? errno : v7::kErrDecodeFailed);
  uint8_t *subject = nullptr;
  size_t subject_len = 0;
  uint8_t own_id[P11_KEY_ID_LEN];
  if (der_encode_alloc(&asn1_tmpl_name, &decoded->tbs.subject, &subject, &subject_len) == 0) {
    code = errno != 0 ? errno : v7::kErrEncodeFailed;
  } else if (id == nullptr) {
    // The key pair's id rule (SHA-1 of the RSAPublicKey) also names its certificate: an id taken
    // from the subject-key-identifier extension would differ from the key's, and a later sign
    // would find no key for the certificate.
    const ASN1_BIT_STRING &key = decoded->tbs.subject_public_key_info.subject_public_key;
    code = p11_key_id(key.data, key.len, own_id);
    id = own_id;
    id_len = sizeof(own_id);
  }
  asn1_release(&asn1_tmpl_certificate, decoded);
  if (code == 0) {
    Label label("A certificate object");
    CK_ATTRIBUTE tmpl[] = {
        attr(CKA_CLASS, &kClassCert),       attr(CKA_CERTIFICATE_TYPE, &kX509), attr(CKA_TOKEN, &kTrue),
        attr(CKA_LABEL, label.text, 32),    attr(CKA_SUBJECT, subject, subject_len),
        attr(CKA_ID, id, id_len),           attr(CKA_PRIVATE, &kFalse),         attr(CKA_VALUE, cert, cert_len),
    };
    CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
    CK_RV rv = m->functions->C_CreateObject(m->session, tmpl, 8, &object);
    if (rv != CKR_OK) code = token_value(rv);
  }
  free(subject);
  return code == 0 ? done() : fail(code);
}

int p11_put_vid_object(const char *pin, const uint8_t *id, P11_MODULE *m, const uint8_t *random, size_t random_len,
                       size_t id_len) {
  if (m == nullptr || random == nullptr || random_len == 0 || random_len > P11_MAX_RANDOM)
    return fail(v7::kErrInvalidParameter);
  if (m->functions == nullptr) return fail(v7::kErrP11NoFunctionList);
  int code = p11_login(pin, m);
  if (code != 0) return code;
  std::string label;
  if (!vid_label(id, id_len, &label)) return fail(v7::kErrP11InvalidId);
  CK_ATTRIBUTE tmpl[] = {
      attr(CKA_CLASS, &kClassData),          attr(CKA_TOKEN, &kTrue),
      attr(CKA_PRIVATE, &kTrue),             attr(CKA_LABEL, label.data(), label.size()),
      attr(CKA_APPLICATION, kApplication, sizeof(kApplication) - 1), attr(CKA_VALUE, random, random_len),
  };
  CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
  CK_RV rv = m->functions->C_CreateObject(m->session, tmpl, 6, &object);
  return rv == CKR_OK ? done() : token_code(rv);
}

int p11_read_vid_random(P11_MODULE *m, const char *pin, const uint8_t *id, size_t id_len, uint8_t **value,
                        size_t *value_len) {
  if (!usable(m) || value == nullptr || value_len == nullptr) return fail(v7::kErrInvalidParameter);
  int code = p11_login(pin, m);
  if (code != 0) return code;
  std::string label;
  if (!vid_label(id, id_len, &label)) return fail(v7::kErrP11InvalidId);
  CK_ATTRIBUTE tmpl[] = {attr(CKA_CLASS, &kClassData), attr(CKA_LABEL, label.data(), label.size())};
  CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
  code = find_one(m, tmpl, 2, &object);
  if (code == v7::kErrNoObject) return fail(v7::kErrNoVidRandomR);
  if (code != 0) return code;
  return read_attribute(m, object, CKA_VALUE, P11_MAX_RANDOM, value, value_len);
}

int p11_sign(P11_MODULE *m, const char *pin, const uint8_t *id, size_t id_len, const uint8_t *data, size_t length,
             uint8_t **out, size_t *out_len) {
  return private_operation(m, pin, id, id_len, data, length, out, out_len, true);
}

int p11_decrypt(P11_MODULE *m, const char *pin, const uint8_t *id, size_t id_len, const uint8_t *data,
                size_t length, uint8_t **out, size_t *out_len) {
  return private_operation(m, pin, id, id_len, data, length, out, out_len, false);
}
