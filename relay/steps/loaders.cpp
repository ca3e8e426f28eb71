#include <cstring>

#include "pki/asn1/asn1.h"
#include "pki/keys/pkcs8.h"
#include "pki/keys/vid_random.h"
#include "relay/record.h"
#include "relay/session/internal.h"
#include "relay/steps/internal.h"
#include "relay/steps/steps.h"

namespace {

struct PairSlots {
  PRIVATE_KEY_CTX **key_object;
  int key_tag;
  int cert_tag;
};

// Loading happens before anything is exchanged: a failure is kept for the failure text, but no
// alert is pended, since there is no peer to tell.
int load_failed(RelaySession *s, int code) {
  if (s->last_error != 0) s->prev_error = s->last_error;
  s->last_error = code;
  return v7::with_errno(code, -1);
}

// Empties an item slot (wiped).
void drop_item(RelaySession *s, int tag) {
  ReceivedCertRecord &r = s->items;
  uint8_t **slot = tag == kRelayItemSignCert  ? &r.sign_cert
                   : tag == kRelayItemSignKey ? &r.sign_key
                   : tag == kRelayItemKmKey   ? &r.km_key
                                              : &r.km_cert;
  size_t *len = tag == kRelayItemSignCert  ? &r.sign_cert_len
                : tag == kRelayItemSignKey ? &r.sign_key_len
                : tag == kRelayItemKmKey   ? &r.km_key_len
                                           : &r.km_cert_len;
  v7::wipe_free(*slot, *len);
  *slot = nullptr;
  *len = 0;
}

// The re-encrypted key file: the key opened with password, given the random value when there is
// one, sealed again under the password it is to travel with. 0 or the code.
int reencrypt(const uint8_t *key, size_t key_len, const char *password, const uint8_t *vid, size_t vid_len,
              const char *travel_password, v7::HeapBytes *out) {
  PrivateKeyInfo *info = pkey_decrypt(key, key_len, password);
  if (info == nullptr) return v7::kErrRelayKeyPassword;
  int code = 0;
  if (vid != nullptr && vid_len != 0 && pkey_add_vid_random(vid_len, vid, info) != 1)
    code = v7::kErrRelayKeyReencrypt;
  uint8_t *der = nullptr;
  size_t n = code == 0 ? pkey_encrypt(info, travel_password, PKEY_SCHEME_PBES2_SEED, &der) : 0;
  asn1_release(&asn1_tmpl_private_key_info, info);
  if (code == 0 && n == 0) code = v7::kErrRelayKeyReencrypt;
  if (code != 0) {
    free(der);
    return code;
  }
  out->p = der;
  out->n = n;
  return 0;
}

int load_pair(const char *password, RelaySession *s, const uint8_t *cert, size_t cert_len, const uint8_t *key,
              size_t key_len, const uint8_t *vid, size_t vid_len, const char *new_password,
              const PairSlots &slots) {
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  drop_item(s, slots.key_tag);
  drop_item(s, slots.cert_tag);
  if (password == nullptr || cert == nullptr || cert_len == 0 || key == nullptr || key_len == 0)
    return load_failed(s, v7::kErrRelayMissing);
  const char *travel = new_password != nullptr && new_password[0] != 0 ? new_password : password;

  const KEY_CREDENTIAL credential = {KEY_CREDENTIAL_PASSWORD, KEY_CREDENTIAL_PASSWORD, password};
  PRIVATE_KEY_CTX *obj = keyobj_new_type1();
  int toolkit = obj == nullptr ? int(v7::kErrRelayNoMemory)
                               : keyobj_set_key(obj, key, key_len, KEYOBJ_FORMAT_DEFAULT, &credential);
  if (toolkit == 0) toolkit = keyobj_set_certificate(obj, cert, cert_len, 0);
  if (toolkit == 0 && vid != nullptr && vid_len != 0) toolkit = keyobj_set_buffer(obj, vid, vid_len);
  int code = toolkit != 0 ? int(v7::kErrRelayPrivateKey) : 0;
  if (toolkit != 0) v7::relay_push_toolkit(s, toolkit);

  v7::HeapBytes file(true);
  if (code == 0) code = reencrypt(key, key_len, password, vid, vid_len, travel, &file);
  if (code == 0 && (relay_session_keep_item(s, slots.key_tag, file.p, file.n) != 0 ||
                    relay_session_keep_item(s, slots.cert_tag, cert, cert_len) != 0))
    code = v7::kErrRelayNoMemory;
  if (code != 0) {
    keyobj_delete(obj);
    drop_item(s, slots.key_tag);
    drop_item(s, slots.cert_tag);
    return load_failed(s, code);
  }
  keyobj_delete(*slots.key_object);
  *slots.key_object = obj;
  return 0;
}

}  // namespace

int relay_load_sign_pair(const char *password, RelaySession *s, const uint8_t *cert, size_t cert_len,
                         const uint8_t *key, size_t key_len, const uint8_t *vid_random, size_t vid_random_len,
                         const char *new_password) {
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  const PairSlots slots = {&s->sign_key, kRelayItemSignKey, kRelayItemSignCert};
  return load_pair(password, s, cert, cert_len, key, key_len, vid_random, vid_random_len, new_password,
                   slots);
}

int relay_load_km_pair(const char *password, RelaySession *s, const uint8_t *cert, size_t cert_len,
                       const uint8_t *key, size_t key_len, const char *new_password) {
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  const PairSlots slots = {&s->open_key, kRelayItemKmKey, kRelayItemKmCert};
  return load_pair(password, s, cert, cert_len, key, key_len, nullptr, 0, new_password, slots);
}
