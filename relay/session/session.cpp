#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "platform/fs/library_folders.h"
#include "platform/locale/process_words.h"
#include "relay/record.h"
#include "relay/session/internal.h"

namespace {

// The certificate policies a relay session accepts, in the order and with the repetitions that
// deployed sessions use (the repeats are harmless: whole identifiers are compared).
const char *const kAcceptedPolicies[] = {
    "1.2.410.200005.1.1.5",       "1.2.410.200005.1.1.55",       "1.2.410.200005.1.1.2",
    "1.2.410.200005.1.1.5.1",     "1.2.410.200005.1.1.5.11",     "1.2.410.200005.1.1.2.1",
    "1.2.410.200005.1.1.1",       "1.2.410.200005.1.1.4",        "1.2.410.200005.1.1.1.1",
    "1.2.410.200005.1.1.4.1",     "1.2.410.200005.1.1.3",        "1.2.410.200005.1.1.6.9",
    "1.2.410.200005.1.1.6.99",    "1.2.410.200005.1.1.6.0",      "1.2.410.200005.1.1.6.00",
    "1.2.410.200005.1.1.6.7",     "1.2.410.200005.1.1.6.6",      "1.2.410.200005.1.1.6.8",
    "1.2.410.200005.1.1.6.4",     "1.2.410.200005.1.1.6.5",      "1.2.410.200005.1.1.6.1",
    "1.2.410.200005.1.1.6.3",     "1.2.410.200005.1.1.6.9",      "1.2.410.200005.1.1.6.99",
    "1.2.410.200005.1.1.6.0",     "1.2.410.200005.1.1.6.00",     "1.2.410.200005.1.1.7.1",
    "1.2.410.200004.5.1.1.9",     "1.2.410.200004.5.1.1.10",     "1.2.410.200004.5.1.1.5",
    "1.2.410.200004.5.1.1.7",     "1.2.410.200004.5.1.1.12.903", "1.2.410.200004.5.4.1.1",
    "1.2.410.200004.5.4.1.2",     "1.2.410.200004.5.4.1.101",    "1.2.410.200004.5.4.2.80",
    "1.2.410.200004.5.2.1.2",     "1.2.410.200004.5.2.1.1",      "1.2.410.200004.5.2.1.7.1",
    "1.2.410.200004.5.2.1.6.248", "1.2.410.200012.1.1.1",        "1.2.410.200012.1.1.3",
    "1.2.410.200012.1.1.101",     "1.2.410.200012.5.19.1.1",     "1.2.410.200004.5.1.1.12.903",
    "1.2.410.200004.5.4.2.80",    "1.2.410.200004.5.2.1.6.248",  "1.2.410.200012.5.19.1.1",
};

constexpr size_t kCertDirMax = 260;

std::string accepted_policies() {
  std::string list;
  for (const char *oid : kAcceptedPolicies) {
    if (!list.empty()) list += ';';
    list += oid;
  }
  return list;
}

// 0 when the settings are set and finished.
bool build_settings(VALIDATION_SETTINGS *settings) {
  const char *dir = char_encoding_is_utf8() ? lib_data_folder_utf8() : lib_data_folder();
  if (dir == nullptr || strlen(dir) > kCertDirMax) dir = "";
  return valcfg_set("Validation", settings, "CRL") == 0 &&
         valcfg_set("Policy", settings, accepted_policies().c_str()) == 0 &&
         valcfg_set("StoreCerts", settings, "TRY_STORING") == 0 &&
         valcfg_set("CertDir", settings, dir) == 0 && valcfg_finish(settings) == 0;
}

void release_settings(VALIDATION_SETTINGS *settings) {
  if (settings == nullptr) return;
  cert_nodes_free(settings->roots);
  free(settings);
}

void release_error(ERROR_CTX *error) {
  if (error == nullptr) return;
  err_ctx_clear(error);
  free(error);
}

// Mode word to role and own version.
void apply_mode(RelaySession *s, RelayModeWord mode) {
  static const RelayModeWord kShorthands[] = {0x80000002u, 0x88000002u, 0x80000001u, 0x88000001u,
                                              0x84000002u};
  if (mode < sizeof kShorthands / sizeof kShorthands[0]) mode = kShorthands[mode];
  s->role = (mode & kRelayModeRecipient) != 0 ? kRelayRoleRecipient : kRelayRoleSender;
  switch (mode & 0xf) {
    case 2:
      s->own_version = relay_version(2, 0);
      break;
    case 3:
      s->own_version = relay_version(3, 0);
      break;
    default:
      s->own_version = relay_version(1, 0);
  }
  s->cur_version = s->own_version;
}

uint8_t **item_slot(ReceivedCertRecord *items, int tag, size_t **len) {
  switch (tag) {
    case kRelayItemSignCert:
      *len = &items->sign_cert_len;
      return &items->sign_cert;
    case kRelayItemSignKey:
      *len = &items->sign_key_len;
      return &items->sign_key;
    case kRelayItemKmKey:
      *len = &items->km_key_len;
      return &items->km_key;
    case kRelayItemKmCert:
      *len = &items->km_cert_len;
      return &items->km_cert;
    default:
      return nullptr;
  }
}

}  // namespace

RelaySession *relay_session_new(RelayModeWord mode) {
  RelaySession *s = static_cast<RelaySession *>(calloc(1, sizeof(RelaySession)));
  if (s == nullptr) return v7::with_errno<RelaySession *>(v7::kErrRelayNoMemory, nullptr);
  apply_mode(s, mode);
  int code = 0;
  s->settings = static_cast<VALIDATION_SETTINGS *>(calloc(1, sizeof(VALIDATION_SETTINGS)));
  if (s->settings == nullptr) {
    code = v7::kErrRelayNoMemory;
  } else if (!build_settings(s->settings)) {
    code = v7::kErrRelaySettings;
  } else if ((s->error = static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX)))) == nullptr) {
    code = v7::kErrRelayNoErrorContext;
  } else if ((s->validation = valctx_create(s->settings, s->error)) == nullptr) {
    code = v7::kErrRelayValidationContext;
  } else if ((s->rng = rng_new(RNG_TYPE_SYSTEM)) == nullptr) {
    code = v7::kErrRelayRandom;
  }
  if (code != 0) {
    relay_session_free(s);
    return v7::with_errno<RelaySession *>(code, nullptr);
  }
  return s;
}

void relay_session_free(RelaySession *s) {
  if (s == nullptr) return;
  keyobj_delete(s->sign_key);
  keyobj_delete(s->open_key);
  pubkey_delete(s->server_key);
  pubkey_delete(s->target_key);
  symkey_free(s->server_session);
  symkey_free(s->item_session);
  for (int tag = 0; tag < kRelayItemTagCount; tag++) {
    size_t *len = nullptr;
    uint8_t **slot = item_slot(&s->items, tag, &len);
    v7::wipe_free(*slot, *len);
  }
  if (s->id_text != nullptr) v7::wipe_free(s->id_text, strlen(s->id_text));
  // The context borrows the settings' roots and the error context: it goes first.
  valctx_free(s->validation);
  release_settings(s->settings);
  rng_free(s->rng);
  release_error(s->error);
  free(s->failure_text);
  v7::secure_wipe(s, sizeof *s);
  free(s);
}

int relay_session_set_id_text(const char *text, RelaySession *s) {
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  const bool keep = s->cur_version == relay_version(1, 0);
  if (keep && text == nullptr) {
    if (s->last_error != 0) s->prev_error = s->last_error;
    s->last_error = v7::kErrRelayMissing;
    return v7::with_errno(v7::kErrRelayMissing, -1);
  }
  const char *source = keep ? text : "";
  size_t n = strlen(source);
  char *copy = static_cast<char *>(malloc(n + 1));
  if (copy == nullptr) return v7::with_errno(v7::kErrRelayNoMemory, -1);
  memcpy(copy, source, n + 1);
  if (s->id_text != nullptr) v7::wipe_free(s->id_text, strlen(s->id_text));
  s->id_text = copy;
  return 0;
}

int relay_session_keep_item(RelaySession *s, int tag, const uint8_t *data, size_t len) {
  size_t *slot_len = nullptr;
  uint8_t **slot = s != nullptr ? item_slot(&s->items, tag, &slot_len) : nullptr;
  if (slot == nullptr || data == nullptr || len == 0) return v7::with_errno(v7::kErrRelayMissing, -1);
  uint8_t *copy = static_cast<uint8_t *>(malloc(len));
  if (copy == nullptr) return v7::with_errno(v7::kErrRelayNoMemory, -1);
  memcpy(copy, data, len);
  v7::wipe_free(*slot, *slot_len);
  *slot = copy;
  *slot_len = len;
  return 0;
}

const uint8_t *relay_session_item(const RelaySession *s, int tag, size_t *len) {
  size_t *slot_len = nullptr;
  uint8_t **slot =
      s != nullptr ? item_slot(const_cast<ReceivedCertRecord *>(&s->items), tag, &slot_len) : nullptr;
  if (len != nullptr) *len = slot != nullptr ? *slot_len : 0;
  return slot != nullptr ? *slot : nullptr;
}

namespace v7 {

void wipe_free(void *p, size_t len) {
  if (p == nullptr) return;
  secure_wipe(p, len);
  free(p);
}

size_t relay_wrap(uint8_t type, uint16_t version, const uint8_t *body, size_t len, uint8_t **out) {
  *out = nullptr;
  if (len > kRelayMaxBody) return 0;
  uint8_t *rec = static_cast<uint8_t *>(malloc(kRelayHeaderLen + len));
  size_t pos = 0;
  if (rec == nullptr ||
      relay_record_header_write(rec, kRelayHeaderLen + len, &pos, type, version, len) != 0) {
    free(rec);
    return 0;
  }
  if (len != 0) memcpy(rec + pos, body, len);
  *out = rec;
  return kRelayHeaderLen + len;
}

}  // namespace v7
