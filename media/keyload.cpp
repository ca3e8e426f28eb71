#include "media/keyload.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "crypto/base/wipe.h"
#include "media/certlist.h"
#include "media/securedisk/sd_key_binding.h"
#include "media/securedisk/securedisk.h"
#include "media/selection_record.h"
#include "media/smartcard/smartcard.h"
#include "media/token/p11.h"
#include "media/token/p11_key_binding.h"
#include "pki/asn1/asn1.h"
#include "pki/asn1/x509_types.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/keyobj_securedisk.h"
#include "pki/keys/keyobj_token.h"
#include "pki/text/files.h"
#include "pki/x509/cert.h"
#include "platform/errors/errno_util.h"
#include "platform/locale/process_words.h"

namespace {

// A token's CKA_ID as the key object is given it.
constexpr size_t kTokenIdCapacity = 32;

const char kWrongPasswordEnglish[] =
    "The certificate password is not correct.\r\n"
    "[ The certificate password is distinguished between lowercase and uppercase letters.]";
const char kWrongPasswordUtf8[] = "인증서 암호가 맞지 않음\r\n[ 인증서 암호는 대소문자를 구별합니다.]";
// The EUC-KR form has no space after the bracket; spelled as bytes so that no conversion can
// fail or differ on the way.
const char kWrongPasswordEuckr[] =
    "\xc0\xce\xc1\xf5\xbc\xad \xbe\xcf\xc8\xa3\xb0\xa1 \xb8\xc2\xc1\xf6 \xbe\xca\xc0\xbd\r\n"
    "[\xc0\xce\xc1\xf5\xbc\xad \xbe\xcf\xc8\xa3\xb4\xc2 \xb4\xeb\xbc\xd2\xb9\xae\xc0\xda\xb8\xa6 "
    "\xb1\xb8\xba\xb0\xc7\xd5\xb4\xcf\xb4\xd9.]";

ERROR_CTX *errors_of(const CertListRecord *record) { return record != nullptr ? record->errors : nullptr; }

// The internal steps return the code after pushing it, and the public functions set errno last:
// the wiping and freeing of the medium's bytes on the way out must not overwrite it.
int push(const CertListRecord *record, int code, const char *detail = nullptr) {
  err_push(errors_of(record), code, detail);
  return code;
}

// Pushes code with the lower layer's code beneath it, so the user sees what the medium said.
int push_over(const CertListRecord *record, int code, int cause) {
  err_push(errors_of(record), code, nullptr);
  if (cause != 0 && cause != code) err_add_detail(errors_of(record), cause, nullptr);
  return code;
}

// Deletes the half-made object and pushes the code.
int discard(PRIVATE_KEY_CTX *key, const CertListRecord *record, int code) {
  keyobj_delete(key);
  return push(record, code);
}

PRIVATE_KEY_CTX *result(int code, PRIVATE_KEY_CTX *key) {
  return v7::with_errno(code, code == 0 ? key : static_cast<PRIVATE_KEY_CTX *>(nullptr));
}

bool has_text(const char *text) { return text != nullptr && text[0] != '\0'; }

// An owned buffer of the medium's bytes that is wiped before it is freed.
struct Bytes {
  uint8_t *data = nullptr;
  size_t length = 0;
  Bytes() = default;
  Bytes(const Bytes &) = delete;
  Bytes &operator=(const Bytes &) = delete;
  ~Bytes() {
    if (data != nullptr) {
      v7::secure_wipe(data, length);
      free(data);
    }
  }
};

// The kind-1 object from a key file: 1453 when the key does not open (the wrong-password text
// under the file layer's 1246), then the certificate.
int open_key_file(CertListRecord *record, const uint8_t *cert, size_t cert_len, const uint8_t *key, size_t key_len,
                  PRIVATE_KEY_CTX **out) {
  PRIVATE_KEY_CTX *obj = keyobj_new_type1();
  if (obj == nullptr) return push(record, v7::kErrOutOfMemory);
  KEY_CREDENTIAL credential{KEY_CREDENTIAL_PASSWORD, 1, record->password};
  int code = keyobj_set_key(obj, key, key_len, KEYOBJ_FORMAT_DEFAULT, &credential);
  if (code != 0) {
    keyobj_delete(obj);
    err_push(record->errors, v7::kErrKeyNotOpened, nullptr);
    err_add_detail(record->errors, code, code == v7::kErrSymmetricDecrypt ? keyload_wrong_password_text() : nullptr);
    return v7::kErrKeyNotOpened;
  }
  code = keyobj_set_certificate(obj, cert, cert_len, 0);
  if (code != 0) return discard(obj, record, code);
  *out = obj;
  return 0;
}

// ---- Folders ------------------------------------------------------------------------------------

// Reads "<folder><separator><name>"; a failure pushes the reader's code with the path as detail.
int read_folder_file(const CertListRecord *record, const char *folder, const char *name, char separator,
                     Bytes *out) {
  std::string path(folder);
  path += separator;
  path += name;
  errno = 0;
  out->length = file_read_all(path.c_str(), &out->data);
  if (out->data != nullptr) return 0;
  return push(record, errno != 0 ? errno : v7::kErrFileRead, path.c_str());  // an empty file holds no part
}

int load_folder(const CERT_ENTRY *entry, CertListRecord *record, int mode, PRIVATE_KEY_CTX **out) {
  const char *folder = static_cast<const char *>(entry->medium_data);
  if (!has_text(folder)) return push(record, v7::kErrInvalidParameter);
  const bool sign = mode == kKeyLoadSignPair;
  Bytes key, cert;
  int code = read_folder_file(record, folder, sign ? "signPri.key" : "kmPri.key", '\\', &key);
  if (code == 0) code = read_folder_file(record, folder, sign ? "signCert.der" : "kmCert.der", '\\', &cert);
  if (code == 0) code = open_key_file(record, cert.data, cert.length, key.data, key.length, out);
  return code;
}

// ---- Smart card ---------------------------------------------------------------------------------

bool decodes_as_certificate(const uint8_t *der, size_t length) {
  void *cert = asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_certificate, length);
  if (cert == nullptr) return false;
  asn1_release(&asn1_tmpl_certificate, cert);
  return true;
}

// The card's code of a failed read: its errno, or the result itself (15308 for no card).
int card_cause(int rc) { return rc > 0 ? rc : (errno != 0 ? errno : v7::kErrCardRead); }

// The certificate and key records of a file; for F400 the certificate must decode. The code
// pushed is the loader's, over the card's own.
int read_card_pair(const CertListRecord *record, const char *pin, int file, Bytes *cert, Bytes *key) {
  errno = 0;
  int rc = sc_read_cert(pin, &cert->data, &cert->length, file);
  if (rc != 0) return push_over(record, v7::kErrCardLoadCert, card_cause(rc));
  errno = 0;
  rc = sc_read_key(pin, &key->data, &key->length, file);
  if (rc != 0) return push_over(record, v7::kErrCardLoadKey, card_cause(rc));
  if (file == kScFileKm && !decodes_as_certificate(cert->data, cert->length))
    return push(record, v7::kErrCardLoadKey);
  return 0;
}

int load_smartcard(CertListRecord *record, int mode, PRIVATE_KEY_CTX **out) {
  const char *pin = certlist_get_pin(record->list);
  if (!has_text(pin)) return push(record, v7::kErrInvalidParameter);
  Bytes cert, key, random;
  int code = read_card_pair(record, pin, mode == kKeyLoadSignPair ? kScFileSign : kScFileKm, &cert, &key);
  if (code != 0) return code;
  // A card without the presence record keeps the VID random value in a record of its own; one
  // with it has the value inside the key file.
  const int probe = sc_probe_card(pin);
  // A card that cannot tell whether it keeps the value apart gives no key without it.
  if (probe == 0) return push_over(record, v7::kErrCardLoadRandom, card_cause(-1));
  if (probe == 1) {
    errno = 0;
    const int rc = sc_read_random(pin, &random.data, &random.length);
    if (rc != 0) return push_over(record, v7::kErrCardLoadRandom, card_cause(rc));
  }
  PRIVATE_KEY_CTX *obj = nullptr;
  code = open_key_file(record, cert.data, cert.length, key.data, key.length, &obj);
  if (code != 0) return code;
  if (probe != 2 && (code = keyobj_set_buffer(obj, random.data, random.length)) != 0)
    return discard(obj, record, code);
  *out = obj;
  return 0;
}

// ---- Token --------------------------------------------------------------------------------------

// The key-management certificate's CKA_ID: the certificate of the entry's id, then the token's
// certificate of the same subject whose key usage allows key encipherment.
int find_km_id(P11_MODULE *module, const uint8_t *sign_id, size_t sign_id_len, uint8_t *id, size_t *id_len) {
  Bytes sign_cert, subject, km_cert, km_id;
  int code = p11_find_read_value(module, sign_id, sign_id_len, &sign_cert.data, &sign_cert.length);
  if (code != 0) return code;
  errno = 0;
  if (cert_subject_der(sign_cert.data, sign_cert.length, &subject.data, &subject.length) == 0)
    return errno != 0 ? errno : v7::kErrAsn1Decode;
  code = p11_find_km_cert(module, subject.data, subject.length, &km_cert.data, &km_cert.length, &km_id.data,
                          &km_id.length);
  if (code != 0) return code;
  if (km_id.length == 0 || km_id.length > kTokenIdCapacity) return v7::kErrInvalidParameter;
  memcpy(id, km_id.data, km_id.length);
  *id_len = km_id.length;
  return 0;
}

// A request's own pair (mode 5) is the signing objects, read without their random value.
int load_token(const CERT_ENTRY *entry, CertListRecord *record, int mode, unsigned flags, PRIVATE_KEY_CTX **out) {
  const char *path = CertListGetTokenModule(record);
  uint8_t id[kTokenIdCapacity] = {};
  size_t id_len = 0;
  const auto *entry_id = static_cast<const TokenEntryId *>(entry->medium_data);
  // The listing keeps ids of up to 64 bytes; only what fits the key's buffer is taken.
  if (entry_id == nullptr || entry_id->length == 0 || (id_len = certentry_copy_id(id, entry_id, sizeof(id))) == 0)
    return push(record, v7::kErrInvalidParameter);
  if (mode == kKeyLoadKmPair) {
    if (record->token_module == nullptr) return push(record, v7::kErrInvalidParameter);
    const int code = find_km_id(record->token_module, id, id_len, id, &id_len);
    if (code != 0) return push(record, code);
  }
  PRIVATE_KEY_CTX *obj = keyobj_new_type2();
  if (obj == nullptr) return push(record, v7::kErrOutOfMemory);
  if (!has_text(record->pin)) return discard(obj, record, v7::kErrInvalidParameter);
  TOKEN_KEY_MODULE module = p11_token_key_module(record->token_module);
  int code = keyobj_control(obj, KEYOBJ_CTRL_TOKEN_SET_MODULE, &module, nullptr);
  if (code == 0) code = keyobj_control(obj, KEYOBJ_CTRL_TOKEN_SET_PIN, record->pin, nullptr);
  if (code == 0) code = keyobj_control(obj, KEYOBJ_CTRL_TOKEN_SET_PATH, const_cast<char *>(path), nullptr);
  if (code == 0 && (flags & kKeyLoadBindOnly) == 0) {
    code = keyobj_set_key(obj, id, id_len, KEYOBJ_FORMAT_DEFAULT, nullptr);
    if (code == 0) code = keyobj_set_certificate(obj, id, id_len, 0);
    if (code == 0 && mode == kKeyLoadSignPair) code = keyobj_set_buffer(obj, id, id_len);
  }
  v7::secure_wipe(id, sizeof(id));
  if (code != 0) return discard(obj, record, code);
  *out = obj;
  return 0;
}

// ---- Secure disk ---------------------------------------------------------------------------------

// The signing objects for modes 2 and 5, the key-management ones for mode 3; the module's own
// text of a failure goes with its code.
int load_secure_disk(const CERT_ENTRY *entry, CertListRecord *record, int mode, unsigned flags,
                     PRIVATE_KEY_CTX **out) {
  const KEYOBJ_SD_SLOT slot = KEYOBJ_SD_SLOT(reinterpret_cast<intptr_t>(entry->medium_data));
  const auto *slot_bytes = reinterpret_cast<const uint8_t *>(&slot);
  PRIVATE_KEY_CTX *obj = keyobj_new_type4();
  if (obj == nullptr) return push(record, v7::kErrSdKeyObject);
  if ((flags & kKeyLoadNoPassword) == 0 && !has_text(record->password))
    return discard(obj, record, v7::kErrKeyCtxPasswordRequired);
  SecureDiskHandle *handle = record->secure_disk;
  if (handle == nullptr) return discard(obj, record, v7::kErrSdKeyNoHandle);
  SECURE_DISK_KEY_HANDLE bound = sd_key_handle(handle);
  int code = keyobj_control(obj, KEYOBJ_CTRL_SD_SET_HANDLE, &bound, nullptr);
  if (code == 0 && (flags & kKeyLoadBindOnly) == 0) {
    KEY_CREDENTIAL credential{KEY_CREDENTIAL_PIN, KEY_CREDENTIAL_PIN, record->password};
    code = keyobj_set_key(obj, slot_bytes, sizeof(slot), KEYOBJ_FORMAT_DEFAULT, &credential);
    if (code == 0) code = keyobj_set_certificate(obj, slot_bytes, sizeof(slot), mode == kKeyLoadKmPair ? 3 : 2);
    if (code == 0 && mode == kKeyLoadSignPair) code = keyobj_set_buffer(obj, nullptr, 0);
  }
  if (code != 0) {
    keyobj_delete(obj);
    return push(record, code, sd_last_error_text(handle));
  }
  *out = obj;
  return 0;
}

}  // namespace

const char *keyload_wrong_password_text() {
  if (!language_is_korean()) return kWrongPasswordEnglish;
  return char_encoding_is_utf8() ? kWrongPasswordUtf8 : kWrongPasswordEuckr;
}

PRIVATE_KEY_CTX *LoadSoftKeyWithPassword(CertListRecord *record, const uint8_t *cert, size_t cert_len,
                                         const uint8_t *key, size_t key_len) {
  if (record == nullptr) return result(v7::kErrInvalidParameter, nullptr);
  PRIVATE_KEY_CTX *obj = nullptr;
  const int code = open_key_file(record, cert, cert_len, key, key_len, &obj);
  return result(code, obj);
}

PRIVATE_KEY_CTX *LoadSoftKeyWithRandom(CertListRecord *record, const uint8_t *cert, size_t cert_len,
                                       const uint8_t *rsa_der, size_t rsa_len, const uint8_t *random,
                                       size_t random_len) {
  if (record == nullptr) return result(v7::kErrInvalidParameter, nullptr);
  PRIVATE_KEY_CTX *obj = keyobj_new_type1();
  if (obj == nullptr) return result(push(record, v7::kErrOutOfMemory), nullptr);
  KEY_CREDENTIAL credential{KEY_CREDENTIAL_RSA_DER, 1, nullptr};
  int code = keyobj_set_key(obj, rsa_der, rsa_len, KEYOBJ_FORMAT_DEFAULT, &credential);
  if (code == 0) code = keyobj_set_buffer(obj, random, random_len);
  if (code == 0) code = keyobj_set_certificate(obj, cert, cert_len, 0);
  if (code != 0) code = discard(obj, record, code);
  return result(code, obj);
}

PRIVATE_KEY_CTX *keyload_read_pair(const CERT_ENTRY *entry, CertListRecord *record, int mode, unsigned flags) {
  if (record == nullptr) return result(v7::kErrInvalidParameter, nullptr);
  PRIVATE_KEY_CTX *obj = nullptr;
  int code = 0;
  if (entry == nullptr || (mode != kKeyLoadSignPair && mode != kKeyLoadKmPair && mode != kKeyLoadRequestPair)) {
    code = push(record, v7::kErrInvalidParameter);
  } else {
    switch (entry->media_code) {
      case kMediumHardDisk:
      case kMediumRemovable:
        code = load_folder(entry, record, mode, &obj);
        break;
      case kMediumSmartCard:
        code = load_smartcard(record, mode, &obj);
        break;
      case kMediumToken:
        code = load_token(entry, record, mode, flags, &obj);
        break;
      case kMediumSecureDisk:
        code = load_secure_disk(entry, record, mode, flags, &obj);
        break;
      default:
        code = push(record, v7::kErrNoPartReader);
    }
  }
  return result(code, obj);
}

int ReadKmPairForEntry(CertListRecord *record, const CERT_ENTRY *entry) {
  if (record == nullptr || entry == nullptr) return v7::with_errno(v7::kErrInvalidParameter, int(v7::kErrInvalidParameter));
  int code = 0;
  switch (entry->media_code) {
    case kMediumHardDisk:
    case kMediumRemovable: {
      const char *folder = static_cast<const char *>(entry->medium_data);
      Bytes cert;
      code = has_text(folder) ? read_folder_file(record, folder, "kmCert.der", '/', &cert)
                              : push(record, v7::kErrInvalidParameter);
      break;
    }
    case kMediumSmartCard: {
      const char *pin = certlist_get_pin(record->list);
      Bytes cert, key;
      code = has_text(pin) ? read_card_pair(record, pin, kScFileKm, &cert, &key)
                           : push(record, v7::kErrInvalidParameter);
      break;
    }
    default:
      code = push(record, v7::kErrNoPartReader);
  }
  return v7::with_errno(code, code);
}
