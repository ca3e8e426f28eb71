#include <cstdlib>
#include <cstring>

#include "crypto/base/endian.h"
#include "pki/x509/name.h"
#include "relay/record.h"
#include "relay/session/internal.h"
#include "relay/steps/internal.h"
#include "relay/steps/steps.h"
#include "v7config/deployment.h"

namespace {

const int kServerCertStep = int(RelayRecordType::ServerCertificate);

// Whether the certificate names the deployment's relay server. The decoded subject is compared
// with the configured name attribute by attribute, never its rendered text with the configured
// text: values are not escaped in that text, so a certificate from any trusted CA with the one CN
// value "relay.test,ou=Test,o=Test" would render as the relay's name. The values are compared as
// the UTF-8 they are, whatever the narrow-text setting says.
bool subject_matches(const Certificate *cert) {
  return name_compare_text(&cert->tbs.subject, V7_RELAY_SUBJECT_NAME) == 0;
}

// The relay certificate DER (and, from 3.0 on, its chain) out of the ServerCertificate body, and
// its validation. 0 or the code.
int validate_server_cert(RelaySession *s, const uint8_t *list, size_t list_len, const uint8_t **cert,
                         size_t *cert_len) {
  if (s->own_version < relay_version(3, 0)) {
    *cert = list;
    *cert_len = list_len;
    return cert_validate_der(list, list_len, s->validation) == 0 ? 0 : v7::kErrRelayServerCert;
  }
  RelayItems items;
  if (relay_items_parse(list, list_len, &items) != RelayItemError::None ||
      items.data[kRelayItemSignCert] == nullptr) {
    err_push(s->error, v7::kErrRelayMalformed, "ServerCertificate");
    return v7::kErrRelayMalformed;
  }
  // Tags 1 and 3 are the chain the server sends along; tag 2 has no use here.
  const uint8_t *chain[2];
  size_t chain_len[2];
  size_t count = 0;
  for (int tag : {int(kRelayItemSignKey), int(kRelayItemKmCert)}) {
    if (items.data[tag] == nullptr) continue;
    chain[count] = items.data[tag];
    chain_len[count++] = items.len[tag];
  }
  *cert = items.data[kRelayItemSignCert];
  *cert_len = items.len[kRelayItemSignCert];
  return cert_validate_der_with_issuers(*cert, *cert_len, s->validation, chain, chain_len, count) == 0
             ? 0
             : v7::kErrRelayServerCert;
}

}  // namespace

bool relay_version_known(uint16_t v) {
  return v == relay_version(1, 0) || v == relay_version(2, 0) || v == relay_version(3, 0);
}

int relay_accept_version(uint16_t record_version, uint16_t *version) {
  if (version == nullptr) return v7::with_errno(v7::kErrInvalidParameter, -1);
  if (record_version == *version) return 0;
  if (record_version < *version && relay_version_known(record_version)) {
    *version = record_version;
    return 0;
  }
  return v7::with_errno(v7::kErrRelayVersion, -1);
}

int relay_accept_lower_version(uint16_t record_version, uint16_t *version) {
  if (version == nullptr) return v7::with_errno(v7::kErrInvalidParameter, -1);
  uint16_t lower = record_version < *version ? record_version : *version;
  if (!relay_version_known(lower)) return v7::with_errno(v7::kErrRelayVersion, -1);
  *version = lower;
  return 0;
}

int relay_step_hello(RelaySession *s, uint8_t **out, size_t *out_len) {
  const int step = int(RelayRecordType::Hello);
  if (!v7::step_outputs(out, out_len) || s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  uint8_t *rec = static_cast<uint8_t *>(malloc(kRelayHeaderLen + 2));
  size_t pos = 0;
  if (rec == nullptr || relay_hello_write(rec, kRelayHeaderLen + 2, &pos, s->own_version) != 0) {
    free(rec);
    return v7::step_fail(s, v7::kErrRelayNoMemory, step);
  }
  *out = rec;
  *out_len = pos;
  return 0;
}

int relay_read_server_certificate(RelaySession *s, const uint8_t *rec, size_t len) {
  const int step = kServerCertStep;
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  int result = 0;
  if (v7::step_alert_received(s, rec, len, step, &result)) return result;
  RelayRecordHeader h;
  const uint8_t *body = nullptr;
  size_t body_len = 0;
  if (rec == nullptr || relay_record_header_read(rec, len, &h) != 0)
    return v7::step_fail(s, v7::kErrRelayShortRecord, step);
  if (h.type != step) return v7::step_fail(s, v7::kErrRelayUnexpectedType, step);
  if (len <= 4 || relay_record_body(rec, len, &body, &body_len) != 0 || body_len < 2)
    return v7::step_fail(s, v7::kErrRelayShortRecord, step);
  if (relay_accept_version(h.version, &s->own_version) != 0)
    return v7::step_fail(s, v7::kErrRelayVersion, step);
  // The end-to-end version never stands above the one agreed with the server.
  if (s->cur_version > s->own_version) s->cur_version = s->own_version;

  size_t pos = 0;
  const uint8_t *list = nullptr;
  size_t list_len = 0;
  if (relay_lv_read(body, body_len, &pos, &list, &list_len) != 0 || list_len == 0)
    return v7::step_fail(s, v7::kErrRelayShortRecord, step);
  const uint8_t *cert = nullptr;
  size_t cert_len = 0;
  int code = validate_server_cert(s, list, list_len, &cert, &cert_len);
  if (code != 0) return v7::step_fail(s, code, step);

  PUBLIC_KEY_CTX *key = v7::step_public_key(s, cert, cert_len, PUBKEY_SOURCE_CERTIFICATE);
  if (key == nullptr) return v7::step_fail(s, v7::kErrRelayPublicKey, step);
  const Certificate *decoded = key->ops->certificate(key);
  code = decoded == nullptr ? v7::kErrRelayBadItems : !subject_matches(decoded) ? v7::kErrRelayServerCert : 0;
  if (code != 0) {
    pubkey_delete(key);
    return v7::step_fail(s, code, step);
  }
  pubkey_delete(s->server_key);
  s->server_key = key;
  return 0;
}

namespace v7 {

int step_fail(RelaySession *s, int code, int step) {
  int result = relay_record_error(s, code, step);
  return with_errno(code, result);
}

int step_failed(const RelaySession *s) {
  return with_errno(int(s->last_error), s->alert_code != 0 ? -2 : -1);
}

bool step_alert_received(RelaySession *s, const uint8_t *rec, size_t len, int step, int *result) {
  if (relay_check_alert(s, rec, len, step) >= 0) return false;
  *result = step_failed(s);
  return true;
}

int step_send_enveloped(RelaySession *s, const uint8_t *inner, size_t inner_len, int step, uint8_t **out,
                        size_t *out_len) {
  size_t n = relay_envelope_seal(s, int(RelayRecordType::Envelope), inner, inner_len, out, step);
  if (n == 0) return step_failed(s);
  *out_len = n;
  return 0;
}

int step_read_enveloped(RelaySession *s, const uint8_t *rec, size_t len, int inner_type, HeapBytes *inner,
                        RelayRecordHeader *h) {
  const int step = inner_type;
  int result = 0;
  if (step_alert_received(s, rec, len, step, &result)) return result;
  inner->reset();
  if (relay_envelope_open(s, int(RelayRecordType::Envelope), rec, len, &inner->p, &inner->n, step) != 0)
    return step_failed(s);
  const uint8_t *body = nullptr;
  size_t body_len = 0;
  if (inner->n <= 4 || relay_record_header_read(inner->p, inner->n, h) != 0)
    return step_fail(s, kErrRelayShortRecord, step);
  if (h->type != inner_type) return step_fail(s, kErrRelayUnexpectedType, step);
  if (relay_record_body(inner->p, inner->n, &body, &body_len) != 0)
    return step_fail(s, kErrRelayShortRecord, step);
  return 0;
}

PUBLIC_KEY_CTX *step_public_key(RelaySession *s, const uint8_t *data, size_t len, int source_kind) {
  PUBLIC_KEY_CTX *key = pubkey_new();
  const PUBLIC_KEY_SOURCE source = {source_kind, 1};
  int code = key == nullptr ? int(kErrRelayNoMemory)
                            : pubkey_set_key(key, data, len, KEYOBJ_FORMAT_DEFAULT, &source);
  if (code != 0) {
    relay_push_toolkit(s, code);
    pubkey_delete(key);
    return nullptr;
  }
  return key;
}

}  // namespace v7
