#include <cstring>

#include "pki/x509/algorithms.h"
#include "pki/x509/name.h"
#include "relay/record.h"
#include "relay/session/internal.h"
#include "relay/steps/internal.h"
#include "relay/steps/steps.h"

namespace {

using v7::HeapBytes;
using v7::step_fail;
using v7::step_failed;

// A NUL-terminated copy of text; null when memory runs out.
char *text_copy(const uint8_t *text, size_t len) {
  char *copy = static_cast<char *>(malloc(len + 1));
  if (copy == nullptr) return nullptr;
  if (len != 0) memcpy(copy, text, len);
  copy[len] = 0;
  return copy;
}

struct Target {
  const uint8_t *cert = nullptr;
  size_t cert_len = 0;
  const uint8_t *public_key = nullptr;
  size_t public_key_len = 0;
  const uint8_t *signature = nullptr;
  size_t signature_len = 0;
};

// The target key and the certificate that comes with it, kept as the signing certificate when a
// signed fresh key comes along and as the key-management certificate when the certificate itself
// is the target. The subject text for the user in *subject. 0 or the code.
int take_target(RelaySession *s, const Target &t, char **subject) {
  const int scheme = SIG_SCHEME_PKCS1_SHA256;
  PUBLIC_KEY_CTX *cert_key = v7::step_public_key(s, t.cert, t.cert_len, PUBKEY_SOURCE_CERTIFICATE);
  if (cert_key == nullptr) return v7::kErrRelayPublicKey;
  PUBLIC_KEY_CTX *target = cert_key;
  int code = 0;
  if (t.public_key_len != 0) {
    int toolkit = t.signature_len == 0 ? -1
                                       : pubkey_verify(cert_key, t.public_key, t.public_key_len, t.signature,
                                                       t.signature_len, KEYOBJ_FORMAT_DEFAULT, &scheme);
    if (t.signature_len == 0) {
      code = v7::kErrRelayShortRecord;
    } else if (toolkit != 0) {
      v7::relay_push_toolkit(s, toolkit);
      code = v7::kErrRelayTargetSignature;
    } else if ((target = v7::step_public_key(s, t.public_key, t.public_key_len,
                                             PUBKEY_SOURCE_RSA_PUBLIC_KEY)) == nullptr) {
      code = v7::kErrRelayPublicKey;
    }
  }
  const Certificate *cert = code == 0 ? cert_key->ops->certificate(cert_key) : nullptr;
  if (code == 0 && cert == nullptr) code = v7::kErrRelayBadItems;
  if (code == 0 && cert_name_to_text(&cert->tbs.subject, subject) < 0) code = v7::kErrRelaySubjectText;
  const int tag = t.public_key_len != 0 ? kRelayItemSignCert : kRelayItemKmCert;
  if (code == 0 && relay_session_keep_item(s, tag, t.cert, t.cert_len) != 0) code = v7::kErrRelayNoMemory;
  if (code != 0 && target != cert_key) pubkey_delete(target);
  if (code != 0 || target != cert_key) pubkey_delete(cert_key);
  if (code != 0) {
    free(*subject);
    *subject = nullptr;
    return code;
  }
  pubkey_delete(s->target_key);
  s->target_key = target;
  return 0;
}

// Whether an item repeats a certificate the session already holds, byte for byte; true too when
// none is held.
bool same_as_kept(const RelaySession *s, int tag, const uint8_t *data, size_t len) {
  size_t kept_len = 0;
  const uint8_t *kept = relay_session_item(s, tag, &kept_len);
  return kept == nullptr || (kept_len == len && memcmp(kept, data, len) == 0);
}

// The item rules of a received set. The set is kept only once all of them hold, so that a
// refused set leaves nothing half taken over. 0 or the code.
int take_items(RelaySession *s, const uint8_t *block, size_t block_len) {
  RelayItems items;
  switch (relay_items_parse(block, block_len, &items)) {
    case RelayItemError::None:
      break;
    case RelayItemError::TruncatedHeader:
    case RelayItemError::Overrun:
      return v7::kErrRelayShortRecord;
    default:
      return v7::kErrRelayBadItems;
  }
  // A certificate received as the target may only be repeated unchanged. Below 3.0 nothing follows
  // a key-management certificate.
  for (int tag : {int(kRelayItemSignCert), int(kRelayItemKmCert)})
    if (items.data[tag] != nullptr && !same_as_kept(s, tag, items.data[tag], items.len[tag]))
      return v7::kErrRelayBadItems;
  if (s->cur_version < relay_version(3, 0) && items.data[kRelayItemKmCert] != nullptr)
    for (int tag = 0; tag < kRelayItemTagCount; tag++)
      if (items.data[tag] > items.data[kRelayItemKmCert]) return v7::kErrRelayBadItems;

  auto present = [&](int tag) {
    size_t n = 0;
    return items.data[tag] != nullptr || relay_session_item(s, tag, &n) != nullptr;
  };
  if (!present(kRelayItemSignCert) || !present(kRelayItemSignKey) ||
      present(kRelayItemKmCert) != present(kRelayItemKmKey))
    return v7::kErrRelayBadItems;
  for (int tag = 0; tag < kRelayItemTagCount; tag++)
    if (items.data[tag] != nullptr && relay_session_keep_item(s, tag, items.data[tag], items.len[tag]) != 0)
      return v7::kErrRelayNoMemory;
  return 0;
}

}  // namespace

int relay_recipient_step1(RelaySession *s, const uint8_t *rec, size_t len, uint8_t **out, size_t *out_len) {
  const int step = int(RelayRecordType::RecipientServerKey);
  if (!v7::step_outputs(out, out_len) || s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  if (relay_read_server_certificate(s, rec, len) != 0) return step_failed(s);
  uint8_t body[kSessionKeyBodyLen];
  size_t n = relay_session_key_make(s, step, body, sizeof body);
  int result = 0;
  if (n == 0 || (*out_len = relay_rsa_seal(s, step, body, n, out)) == 0) result = step_failed(s);
  v7::secure_wipe(body, sizeof body);
  return result;
}

int relay_recipient_step2(RelaySession *s, const uint8_t *rec, size_t len, char **auth_code, uint8_t **out,
                          size_t *out_len) {
  const int read_step = int(RelayRecordType::AuthCode);
  const int step = int(RelayRecordType::VersionNotice);
  if (auth_code != nullptr) *auth_code = nullptr;
  if (!v7::step_outputs(out, out_len) || s == nullptr || auth_code == nullptr)
    return v7::with_errno(v7::kErrRelayMissing, -1);
  HeapBytes inner(true);  // the authorization code
  RelayRecordHeader h;
  int result = v7::step_read_enveloped(s, rec, len, read_step, &inner, &h);
  if (result != 0) return result;
  const uint8_t *body = nullptr, *code = nullptr;
  size_t body_len = 0, code_len = 0, pos = 0;
  relay_record_body(inner.p, inner.n, &body, &body_len);
  if (body_len == 0 || relay_lv_read(body, body_len, &pos, &code, &code_len) != 0)
    return step_fail(s, v7::kErrRelayShortRecord, read_step);
  char *text = text_copy(code, code_len);
  if (text == nullptr) return step_fail(s, v7::kErrRelayNoMemory, read_step);

  uint8_t notice[kRelayHeaderLen];
  size_t n = 0;
  relay_record_header_write(notice, sizeof notice, &n, uint8_t(step), s->cur_version, 0);
  if ((result = v7::step_send_enveloped(s, notice, n, step, out, out_len)) != 0) {
    v7::secure_wipe(text, code_len);
    free(text);
    return result;
  }
  *auth_code = text;
  return 0;
}

int relay_recipient_step3(RelaySession *s, const uint8_t *rec, size_t len, char **subject, uint8_t **out,
                          size_t *out_len) {
  const int read_step = int(RelayRecordType::EncryptionTarget);
  const int step = int(RelayRecordType::RecipientKeys);
  if (subject != nullptr) *subject = nullptr;
  if (!v7::step_outputs(out, out_len) || s == nullptr || subject == nullptr)
    return v7::with_errno(v7::kErrRelayMissing, -1);
  HeapBytes inner;
  RelayRecordHeader h;
  int result = v7::step_read_enveloped(s, rec, len, read_step, &inner, &h);
  if (result != 0) return result;
  if (relay_accept_version(h.version, &s->cur_version) != 0)
    return step_fail(s, v7::kErrRelayVersion, read_step);
  if (relay_transcript_digest(s, inner.p, inner.n, read_step) != 0) return step_failed(s);
  const uint8_t *body = nullptr;
  size_t body_len = 0, pos = 0;
  relay_record_body(inner.p, inner.n, &body, &body_len);
  Target t;
  if (relay_lv_read(body, body_len, &pos, &t.cert, &t.cert_len) != 0 ||
      relay_lv_read(body, body_len, &pos, &t.public_key, &t.public_key_len) != 0 ||
      relay_lv_read(body, body_len, &pos, &t.signature, &t.signature_len) != 0)
    return step_fail(s, v7::kErrRelayShortRecord, read_step);
  char *text = nullptr;
  int code = take_target(s, t, &text);
  if (code != 0) return step_fail(s, code, read_step);

  // SessionKeyBody, [length][identity text], 00 20 [MAC key].
  const size_t id_len = s->id_text != nullptr ? strlen(s->id_text) : 0;
  v7::SecureBytes body_out(kSessionKeyBodyLen + 2 + id_len + 2 + kRelayMacKeyLen);
  size_t n = relay_session_key_make(s, step, body_out.data(), body_out.size());
  if (n == 0 || relay_mac_key_make(s, step) != 0) {
    free(text);
    return step_failed(s);
  }
  relay_lv_write(body_out.data(), body_out.size(), &n, reinterpret_cast<const uint8_t *>(s->id_text), id_len);
  relay_lv_write(body_out.data(), body_out.size(), &n, s->mac_key, s->mac_key_len);
  HeapBytes keys;
  if ((keys.n = relay_rsa_seal(s, step, body_out.data(), n, &keys.p)) == 0 ||
      (result = v7::step_send_enveloped(s, keys.p, keys.n, step, out, out_len)) != 0) {
    free(text);
    return step_failed(s);
  }
  *subject = text;
  return 0;
}

int relay_recipient_step4(RelaySession *s, const uint8_t *rec, size_t len) {
  const int step = int(RelayRecordType::Items);
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  HeapBytes inner(true), block(true);
  RelayRecordHeader h;
  int result = v7::step_read_enveloped(s, rec, len, step, &inner, &h);
  if (result != 0) return result;
  if (relay_items_open(s, inner.p, inner.n, &block.p, &block.n) != 0) return step_failed(s);
  int code = take_items(s, block.p, block.n);
  return code == 0 ? 0 : step_fail(s, code, step);
}

int relay_recipient_close(RelaySession *s, uint8_t **out, size_t *out_len) {
  const int step = int(RelayRecordType::Alert);
  if (!v7::step_outputs(out, out_len) || s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  uint8_t *rec = static_cast<uint8_t *>(malloc(kRelayAlertRecordLen));
  size_t pos = 0;
  if (rec == nullptr || relay_alert_write(rec, kRelayAlertRecordLen, &pos, s->own_version, 0) != 0) {
    free(rec);
    return step_fail(s, v7::kErrRelayNoMemory, step);
  }
  *out = rec;
  *out_len = pos;
  return 0;
}
