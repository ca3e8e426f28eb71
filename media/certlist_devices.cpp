// The lists and part readers of the device media: PKCS#11 tokens, IC smart cards and the secure
// disk.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "media/certlist.h"
#include "media/internal.h"
#include "media/securedisk/securedisk.h"
#include "media/smartcard/smartcard.h"
#include "media/token/p11.h"
#include "pki/x509/cert.h"
#include "platform/errors/errno_util.h"

namespace {

char *dup_text(const char *text) {
  size_t n = strlen(text);
  char *copy = static_cast<char *>(malloc(n + 1));
  if (copy != nullptr) memcpy(copy, text, n + 1);
  return copy;
}

enum : int { kMaxTokenObjects = 4096 };

CERT_ENTRY *fail_entry(int code) { return v7::with_errno(code, static_cast<CERT_ENTRY *>(nullptr)); }

// One token certificate as an entry of the list, when it decodes and its policy is accepted; the
// code of a certificate that does not decode, else 0.
int add_token_cert(CERTLIST_CTX *list, const uint8_t *value, size_t value_len, uint8_t *id, size_t id_len) {
  CERT_ENTRY *entry = nullptr;
  if (!certentry_from_der(value, value_len, &entry)) {
    free(id);
    return errno != 0 ? errno : v7::kErrAsn1Decode;
  }
  if (!cert_policy_accepted(list->policy_filter, entry->policy)) {
    free(id);
    certentry_free(entry);
    return 0;
  }
  auto *record = static_cast<TokenEntryId *>(calloc(1, sizeof(TokenEntryId)));
  if (record == nullptr) {
    free(id);
    certentry_free(entry);
    return v7::kErrOutOfMemory;
  }
  record->id = id;
  record->length = id_len;
  entry->medium_data = record;
  entry->media_code = kMediumToken;
  entry->parts = kPartSignCert;
  v7::certlist::push_front(list, entry, kMediumToken);
  return 0;
}

int read_card_object(const char *pin, int part, uint8_t **out, size_t *len) {
  const int file = part < 2 ? kScFileSign : kScFileKm;
  const bool cert = part == 0 || part == 2;
  return cert ? sc_read_cert(pin, out, len, file) : sc_read_key(pin, out, len, file);
}

// A buffer of the card's (wiped on free) copied into a plain malloc buffer of the caller's.
size_t card_result(int rc, uint8_t *data, size_t len, uint8_t **out) {
  if (rc != 0) return v7::with_errno(errno != 0 ? errno : rc, size_t(0));
  *out = v7::certlist::copy_bytes(data, len);
  sc_free(data, len);
  return *out != nullptr ? v7::with_errno(0, len) : 0;
}

}  // namespace

namespace v7 {
namespace certlist {

CERT_ENTRY *load_token(CERTLIST_CTX *list, const char *path, P11_MODULE *open_module) {
  if (list == nullptr || (path == nullptr && open_module == nullptr)) return fail_entry(kErrInvalidParameter);
  P11_MODULE *module = nullptr;
  if (open_module != nullptr) {
    module = p11_module_retain(open_module);
    if (module == nullptr) return fail_entry(kErrP11ModuleGone);
  } else {
    module = p11_module_load(path);
    if (module == nullptr) return nullptr;
    int rc = p11_module_open(module);
    if (rc != 0) {
      p11_module_release(module);
      return fail_entry(rc);
    }
  }
  int rc = p11_find_certs_init(module);
  int last_error = 0;
  // A search the token broke off is told by the token's own code, which the reader leaves in
  // errno; what follows (closing the search, releasing the module) must not lose it.
  int search_code = 0;
  bool added = false;
  // A module that never reports the end of its objects still ends the search.
  for (int objects = 0; rc == 0; objects++) {
    if (objects == kMaxTokenObjects) {
      rc = search_code = kErrP11FindObjects;
      break;
    }
    uint8_t *value = nullptr, *id = nullptr;
    size_t value_len = 0, id_len = 0;
    rc = p11_find_next_cert(module, &value, &value_len, &id, &id_len);
    if (rc == kErrP11FindObjects) search_code = errno != 0 ? errno : rc;
    if (rc == 0) {
      CERT_ENTRY *before = list->first;
      int code = add_token_cert(list, value, value_len, id, id_len);
      free(value);
      if (code != 0) last_error = code;
      added = added || list->first != before;
    } else if (rc != kErrNoObject && rc != kErrInvalidParameter && rc != kErrP11FindObjects) {
      last_error = rc;
      rc = 0;  // an object that cannot be read is passed over
    }
  }
  p11_find_certs_final(module);
  int code = rc;
  if (rc == kErrNoObject && (added || last_error == 0)) {
    char *copy = dup_text(module->path != nullptr ? module->path : "");
    if (copy == nullptr) {
      code = kErrOutOfMemory;
    } else {
      certlist_clear_medium(list);
      list->medium_data = copy;
      list->media_code = kMediumToken;
      code = 0;
    }
  } else if (rc == kErrNoObject) {
    code = last_error;
  } else if (rc == kErrP11FindObjects) {
    code = search_code;
  }
  p11_module_release(module);
  return with_errno(code, code == 0 ? list->first : nullptr);
}

CERT_ENTRY *load_smartcard(CERTLIST_CTX *list, const char *pin) {
  if (list == nullptr) return fail_entry(kErrInvalidParameter);
  uint8_t *der = nullptr;
  size_t len = 0;
  int rc = sc_read_cert(pin, &der, &len, kScFileSign);
  if (rc != 0) return fail_entry(rc == -1 ? errno : rc);
  CERT_ENTRY *entry = nullptr;
  int made = certentry_from_der(der, len, &entry);
  sc_free(der, len);
  if (!made) return nullptr;
  if (!cert_policy_accepted(list->policy_filter, entry->policy)) {
    certentry_free(entry);
    return fail_entry(0);
  }
  char *list_pin = pin != nullptr ? dup_text(pin) : nullptr;
  char *entry_pin = pin != nullptr ? dup_text(pin) : nullptr;
  if (pin != nullptr && (list_pin == nullptr || entry_pin == nullptr)) {
    wipe_free_text(list_pin);
    wipe_free_text(entry_pin);
    certentry_free(entry);
    return fail_entry(kErrOutOfMemory);
  }
  certlist_clear_medium(list);
  list->media_code = kMediumSmartCard;
  list->medium_data = list_pin;
  entry->medium_data = entry_pin;
  entry->parts = kPartSignCert;
  push_front(list, entry, kMediumSmartCard);
  if (pin != nullptr) {
    static const struct {
      int part;
      uint32_t flag;
    } kParts[] = {{1, kPartSignKey}, {2, kPartKmCert}, {3, kPartKmKey}};
    for (const auto &p : kParts) {
      uint8_t *data = nullptr;
      size_t n = 0;
      if (read_card_object(pin, p.part, &data, &n) == 0) {
        entry->parts |= p.flag;
        sc_free(data, n);
      }
    }
  } else {
    entry->parts |= kPartSignKey;
    uint8_t *data = nullptr;
    size_t n = 0;
    if (sc_read_cert(nullptr, &data, &n, kScFileKm) == 0) {
      entry->parts |= kPartKmCert | kPartKmKey;
      sc_free(data, n);
    }
  }
  return with_errno(0, list->first);
}

size_t read_token_part(const CERT_ENTRY *entry, int part, uint8_t **out) {
  // A token's keys never leave it: its key objects sign and decrypt inside. Answering a key part
  // with the certificate would hand the certificate on as if it were the encrypted key.
  if (part == 1 || part == 3) return with_errno(kErrInternal, size_t(0));
  const CERTLIST_CTX *list = entry->list;
  if (list == nullptr || list->media_code != kMediumToken) return with_errno(kErrInvalidParameter, size_t(0));
  if (list->medium_data == nullptr) return with_errno(kErrP11NoModulePath, size_t(0));
  const auto *id = static_cast<const TokenEntryId *>(entry->medium_data);
  if (id == nullptr || id->length > P11_MAX_ID) return with_errno(kErrInvalidParameter, size_t(0));
  P11_MODULE *module = p11_module_load(static_cast<const char *>(list->medium_data));
  if (module == nullptr) return 0;
  int rc = p11_module_open(module);
  uint8_t *value = nullptr;
  size_t value_len = 0;
  if (rc == 0) rc = p11_find_read_value(module, id->id, id->length, &value, &value_len);
  if (rc == 0 && part == 2) {
    uint8_t *subject = nullptr;
    size_t subject_len = 0;
    if (cert_subject_der(value, value_len, &subject, &subject_len) == 0)
      rc = errno != 0 ? errno : kErrAsn1Decode;
    free(value);
    value = nullptr;
    if (rc == 0) rc = p11_find_km_cert(module, subject, subject_len, &value, &value_len, nullptr, nullptr);
    free(subject);
  }
  p11_module_free(module);
  if (rc != 0) {
    free(value);
    return with_errno(rc, size_t(0));
  }
  *out = value;
  return with_errno(0, value_len);
}

size_t read_securedisk_part(const CERT_ENTRY *entry, int part, uint8_t **out) {
  SecureDiskHandle *handle = nullptr;
  // A handle of its own, from a file whose signature is checked before it is loaded.
  int rc = sd_module_load(&handle);
  if (rc == 0) rc = sd_open(handle);
  uint8_t *der = nullptr;
  size_t len = 0;
  // The keys never leave the secure disk: its key objects sign and decrypt inside.
  if (rc == 0 && (part == 1 || part == 3)) rc = kErrInternal;
  if (rc == 0) rc = sd_get_cert(handle, certentry_slot(entry), part == 0 ? 2 : 3, &der, &len);
  // An empty part is no certificate: never a success with nothing in it.
  if (rc == 0 && der == nullptr) rc = kErrSdKeyReadCert;
  sd_handle_release(handle);
  if (rc != 0) return with_errno(rc, size_t(0));
  *out = der;
  return with_errno(0, len);
}

size_t read_card_part(const CERT_ENTRY *entry, int part, uint8_t **out) {
  uint8_t *data = nullptr;
  size_t len = 0;
  int rc = read_card_object(static_cast<const char *>(entry->medium_data), part, &data, &len);
  return card_result(rc, data, len, out);
}

}  // namespace certlist
}  // namespace v7

CERT_ENTRY *certlist_load_token(CERTLIST_CTX *list, const char *module_path) {
  return v7::certlist::load_token(list, module_path, nullptr);
}

CERT_ENTRY *certlist_load_token_module(CERTLIST_CTX *list, P11_MODULE *module) {
  if (module == nullptr) return fail_entry(v7::kErrInvalidParameter);
  return v7::certlist::load_token(list, nullptr, module);
}

CERT_ENTRY *certlist_load_smartcard(CERTLIST_CTX *list, const char *pin) {
  return v7::certlist::load_smartcard(list, pin);
}

size_t certentry_read_card(const CERT_ENTRY *entry, uint8_t **out) {
  if (entry == nullptr || out == nullptr) return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  *out = nullptr;
  if (entry->media_code != kMediumSmartCard) return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  const CERTLIST_CTX *list = entry->list;
  const char *pin = list != nullptr ? static_cast<const char *>(list->medium_data) : nullptr;
  uint8_t *data = nullptr;
  size_t len = 0;
  int rc = sc_read_random(pin, &data, &len);
  return card_result(rc, data, len, out);
}

CERT_ENTRY *certlist_load_securedisk(CERTLIST_CTX *list, SecureDiskHandle *handle) {
  if (list == nullptr || handle == nullptr) return fail_entry(v7::kErrInvalidParameter);
  int *slots = nullptr;
  int count = 0;
  int rc = sd_get_slot_list(handle, &slots, &count);
  if (rc != 0) return v7::with_errno(rc, list->first);
  for (int i = 0; i < count; ++i) {
    uint8_t *der = nullptr;
    size_t len = 0;
    rc = sd_get_cert(handle, slots[i], 2, &der, &len);
    CERT_ENTRY *entry = nullptr;
    if (rc == 0 && der != nullptr && certentry_from_der(der, len, &entry)) {
      if (cert_policy_accepted(list->policy_filter, entry->policy)) {
        entry->medium_data = reinterpret_cast<void *>(intptr_t(slots[i]));
        entry->parts = kPartSignCert;
        v7::certlist::push_front(list, entry, kMediumSecureDisk);
      } else {
        certentry_free(entry);
      }
    }
    free(der);
  }
  free(slots);
  return v7::with_errno(rc, list->first);
}
