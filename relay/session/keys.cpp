#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "pki/x509/algorithms.h"
#include "relay/record.h"
#include "relay/session/internal.h"

namespace {

using v7::relay_fail;
using v7::relay_fail0;

const int kOaepScheme = ENC_SCHEME_OAEP;

// A new session key object keyed with key and IV, or null with the toolkit's code in *code.
SESSION_CTX *new_session_key(RelaySession *s, const uint8_t *key, size_t key_len, const uint8_t *iv,
                             size_t iv_len, int *code) {
  SESSION_CTX *ctx = symkey_new(s->error);
  if (ctx == nullptr) {
    *code = v7::kErrRelayNoMemory;
    return nullptr;
  }
  // The object pushes its own failures onto the session's error context.
  *code = symkey_set(ctx, key, key_len, iv, iv_len);
  if (*code != 0) {
    symkey_free(ctx);
    *code = v7::kErrRelaySessionKey;
    return nullptr;
  }
  return ctx;
}

SESSION_CTX **session_slot(RelaySession *s, int type) {
  switch (RelayRecordType(type)) {
    case RelayRecordType::RecipientServerKey:
    case RelayRecordType::SenderServerKey:
      return &s->server_session;
    case RelayRecordType::RecipientKeys:
      return &s->item_session;
    default:
      return nullptr;
  }
}

bool draw(RelaySession *s, uint8_t *out, size_t len) { return rng_fill_bytes(out, s->rng, len) == len; }

}  // namespace

size_t relay_session_key_make(RelaySession *s, int type, uint8_t *out, size_t out_cap) {
  if (s == nullptr) return v7::with_errno<size_t>(v7::kErrRelayMissing, 0);
  SESSION_CTX **slot = session_slot(s, type);
  if (slot == nullptr) return relay_fail0(s, v7::kErrRelayMalformed, type);
  if (out == nullptr || out_cap < kSessionKeyBodyLen) return relay_fail0(s, v7::kErrRelayShortRecord, type);
  uint8_t key[kSessionKeyLen], iv[kSessionKeyLen];
  int code = 0;
  SESSION_CTX *ctx = nullptr;
  size_t pos = 0;
  if (!draw(s, key, sizeof key) || !draw(s, iv, sizeof iv)) {
    code = v7::kErrRelayKeyMaterial;
  } else if ((ctx = new_session_key(s, key, sizeof key, iv, sizeof iv, &code)) == nullptr) {
    // code set
  } else if (relay_session_key_body_write(out, out_cap, &pos, key, iv) != 0) {
    code = v7::kErrRelaySessionKeyBody;
  }
  v7::secure_wipe(key, sizeof key);
  v7::secure_wipe(iv, sizeof iv);
  if (code != 0) {
    symkey_free(ctx);
    return relay_fail0(s, code, type);
  }
  symkey_free(*slot);
  *slot = ctx;
  return pos;
}

int relay_session_key_open(RelaySession *s, const uint8_t *in, size_t in_len, size_t *pos, int step) {
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  SessionKeyBody body;
  if (in == nullptr || pos == nullptr || relay_session_key_body_parse(in, in_len, pos, &body) != 0)
    return relay_fail(s, v7::kErrRelayShortRecord, step);
  int code = 0;
  SESSION_CTX *ctx = new_session_key(s, body.key, body.key_len, body.iv, body.iv_len, &code);
  if (ctx == nullptr) return relay_fail(s, code, step);
  symkey_free(s->item_session);
  s->item_session = ctx;
  return 0;
}

int relay_mac_key_make(RelaySession *s, int step) {
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  if (!draw(s, s->mac_key, kRelayMacKeyLen)) {
    v7::secure_wipe(s->mac_key, sizeof s->mac_key);
    s->mac_key_len = 0;
    return relay_fail(s, v7::kErrRelayMacKey, step);
  }
  s->mac_key_len = kRelayMacKeyLen;
  return 0;
}

int relay_mac_key_set(RelaySession *s, const uint8_t *key, size_t len, int step) {
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  if (key == nullptr || len != kRelayMacKeyLen) return relay_fail(s, v7::kErrRelayShortRecord, step);
  memcpy(s->mac_key, key, kRelayMacKeyLen);
  s->mac_key_len = kRelayMacKeyLen;
  return 0;
}

size_t relay_rsa_seal(RelaySession *s, int type, const uint8_t *body, size_t len, uint8_t **out) {
  if (out != nullptr) *out = nullptr;
  if (s == nullptr) return v7::with_errno<size_t>(v7::kErrRelayMissing, 0);
  PUBLIC_KEY_CTX *key = nullptr;
  uint16_t version = s->own_version;
  switch (RelayRecordType(type)) {
    case RelayRecordType::RecipientServerKey:
    case RelayRecordType::SenderServerKey:
      key = s->server_key;
      break;
    case RelayRecordType::RecipientKeys:
      key = s->target_key;
      version = s->cur_version;
      break;
    default:
      return relay_fail0(s, v7::kErrRelayMalformed, type);
  }
  if (key == nullptr || out == nullptr || body == nullptr || len == 0)
    return relay_fail0(s, v7::kErrRelayMissing, type);
  uint8_t *cipher = nullptr;
  size_t cipher_len = 0;
  int code = pubkey_encrypt(key, body, len, &cipher, &cipher_len, KEYOBJ_FORMAT_DEFAULT, &kOaepScheme);
  if (code != 0) {
    free(cipher);
    v7::relay_push_toolkit(s, code);
    return relay_fail0(s, v7::kErrRelayRsaEncrypt, type);
  }
  size_t rec_len = v7::relay_wrap(uint8_t(type), version, cipher, cipher_len, out);
  free(cipher);
  if (rec_len == 0) return relay_fail0(s, v7::kErrRelayRsaEncrypt, type);
  return rec_len;
}

int relay_rsa_open(RelaySession *s, const uint8_t *rec, size_t len, uint8_t **out, size_t *out_len) {
  const int step = int(RelayRecordType::RecipientKeys);
  if (out != nullptr) *out = nullptr;
  if (out_len != nullptr) *out_len = 0;
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  if (rec == nullptr || out == nullptr || out_len == nullptr)
    return relay_fail(s, v7::kErrRelayMissing, step);
  RelayRecordHeader h;
  if (relay_record_header_read(rec, len, &h) != 0) return relay_fail(s, v7::kErrRelayShortRecord, step);
  if (h.type != step || h.version != s->cur_version) return relay_fail(s, v7::kErrRelayVersionBytes, step);
  const uint8_t *body = nullptr;
  size_t body_len = 0;
  if (relay_record_body(rec, len, &body, &body_len) != 0 || body_len == 0)
    return relay_fail(s, v7::kErrRelayShortRecord, step);
  if (s->open_key == nullptr) return relay_fail(s, v7::kErrRelayMissing, step);
  uint8_t *plain = nullptr;
  size_t plain_len = 0;
  int code =
      keyobj_decrypt(s->open_key, body, body_len, &plain, &plain_len, KEYOBJ_FORMAT_DEFAULT, &kOaepScheme);
  if (code != 0 || plain_len == 0) {
    if (plain != nullptr) keyobj_free_buffer(s->open_key, plain, plain_len);
    v7::relay_push_toolkit(s, code);
    return relay_fail(s, v7::kErrRelayRsaDecrypt, step);
  }
  // Hand over a plain malloc buffer: the caller does not know which kind of key made it.
  uint8_t *copy = static_cast<uint8_t *>(malloc(plain_len));
  if (copy != nullptr) memcpy(copy, plain, plain_len);
  keyobj_free_buffer(s->open_key, plain, plain_len);
  if (copy == nullptr) return relay_fail(s, v7::kErrRelayNoMemory, step);
  *out = copy;
  *out_len = plain_len;
  return 0;
}
