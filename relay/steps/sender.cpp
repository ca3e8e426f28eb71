#include <cstring>

#include "pki/cms/cms.h"
#include "pki/keys/rsa_key_der.h"
#include "pki/x509/algorithms.h"
#include "relay/record.h"
#include "relay/session/internal.h"
#include "relay/steps/internal.h"
#include "relay/steps/steps.h"

namespace {

using v7::HeapBytes;
using v7::step_fail;
using v7::step_failed;

// The identity check found no VID random value on the signing key.

bool km_pair_loaded(const RelaySession *s) {
  return s->items.km_cert != nullptr && s->items.km_key != nullptr;
}

// A fresh 2048-bit key pair: the private key object that will open RecipientKeys, and the
// RSAPublicKey DER that the target names. 0 or the code.
int fresh_key(RelaySession *s, PRIVATE_KEY_CTX **key, HeapBytes *public_der) {
  RSA_CTX *rsa = rsa_new();
  int code = rsa == nullptr || rsa_generate_key(rsa) == 0 ? int(v7::kErrRelayPrivateKey) : 0;
  HeapBytes private_der(true);
  if (code == 0) {
    size_t priv_n = rsa_key_to_der(rsa, RSA_DER_PRIVATE, nullptr, 0);
    size_t pub_n = rsa_key_to_der(rsa, RSA_DER_PUBLIC, nullptr, 0);
    private_der.p = static_cast<uint8_t *>(malloc(priv_n != 0 ? priv_n : 1));
    public_der->p = static_cast<uint8_t *>(malloc(pub_n != 0 ? pub_n : 1));
    private_der.n = priv_n;
    public_der->n = pub_n;
    if (priv_n == 0 || pub_n == 0 || private_der.p == nullptr || public_der->p == nullptr ||
        rsa_key_to_der(rsa, RSA_DER_PRIVATE, private_der.p, priv_n) != priv_n ||
        rsa_key_to_der(rsa, RSA_DER_PUBLIC, public_der->p, pub_n) != pub_n)
      code = v7::kErrRelayPrivateKey;
  }
  rsa_free(rsa);
  PRIVATE_KEY_CTX *obj = nullptr;
  if (code == 0) {
    const KEY_CREDENTIAL raw = {KEY_CREDENTIAL_RSA_DER, KEY_CREDENTIAL_RSA_DER, nullptr};
    obj = keyobj_new_type1();
    int toolkit = obj == nullptr
                      ? int(v7::kErrRelayNoMemory)
                      : keyobj_set_key(obj, private_der.p, private_der.n, KEYOBJ_FORMAT_DEFAULT, &raw);
    if (toolkit != 0) {
      v7::relay_push_toolkit(s, toolkit);
      keyobj_delete(obj);
      obj = nullptr;
      code = v7::kErrRelayPrivateKey;
    }
  }
  *key = obj;
  return code;
}

// The signature of the signing key over the fresh public key. A stored-signature key (a phone
// module's) hands back one fixed value whatever it is asked to sign, which no recipient could
// verify: it is refused here rather than sent.
int sign_fresh_key(RelaySession *s, const HeapBytes &public_der, HeapBytes *signature) {
  PRIVATE_KEY_CTX *signer = s->sign_key;
  if (!keyobj_usable(signer) || signer->ops->get_kind(signer) == KEYOBJ_KIND_SIGNATURE)
    return v7::kErrRelaySignFreshKey;
  const int scheme = SIG_SCHEME_PKCS1_SHA256;
  uint8_t *sig = nullptr;
  size_t sig_len = 0;
  int toolkit =
      keyobj_sign(signer, public_der.p, public_der.n, &sig, &sig_len, KEYOBJ_FORMAT_DEFAULT, &scheme);
  if (toolkit != 0 || sig == nullptr || sig_len == 0) {
    if (sig != nullptr) keyobj_free_buffer(signer, sig, sig_len);
    v7::relay_push_toolkit(s, toolkit);
    return v7::kErrRelaySignFreshKey;
  }
  signature->p = static_cast<uint8_t *>(malloc(sig_len));
  if (signature->p != nullptr) memcpy(signature->p, sig, sig_len);
  signature->n = signature->p != nullptr ? sig_len : 0;
  keyobj_free_buffer(signer, sig, sig_len);
  return signature->p != nullptr ? 0 : int(v7::kErrRelayNoMemory);
}

// The EncryptionTarget record (current version): with a key-management pair below 3.0 its
// certificate; otherwise the signing certificate with a fresh public key and its signature.
int build_target(RelaySession *s, HeapBytes *rec) {
  const int step = int(RelayRecordType::EncryptionTarget);
  HeapBytes public_der, signature;
  const uint8_t *cert = nullptr;
  size_t cert_len = 0;
  if (km_pair_loaded(s) && s->cur_version < relay_version(3, 0) && s->open_key != nullptr) {
    cert = relay_session_item(s, kRelayItemKmCert, &cert_len);
  } else {
    keyobj_delete(s->open_key);
    s->open_key = nullptr;
    cert = relay_session_item(s, kRelayItemSignCert, &cert_len);
    if (cert == nullptr || s->sign_key == nullptr) return step_fail(s, v7::kErrRelayMissing, step);
    PRIVATE_KEY_CTX *fresh = nullptr;
    int code = fresh_key(s, &fresh, &public_der);
    if (code == 0) code = sign_fresh_key(s, public_der, &signature);
    if (code != 0) {
      keyobj_delete(fresh);
      return step_fail(s, code, step);
    }
    s->open_key = fresh;
  }
  if (cert == nullptr) return step_fail(s, v7::kErrRelayMissing, step);
  const size_t body_len = 6 + cert_len + public_der.n + signature.n;
  if (body_len > kRelayMaxBody) return step_fail(s, v7::kErrRelayMissing, step);
  rec->n = kRelayHeaderLen + body_len;
  rec->p = static_cast<uint8_t *>(malloc(rec->n));
  size_t pos = 0;
  if (rec->p == nullptr ||
      relay_record_header_write(rec->p, rec->n, &pos, uint8_t(step), s->cur_version, body_len) != 0 ||
      relay_lv_write(rec->p, rec->n, &pos, cert, cert_len) != 0 ||
      relay_lv_write(rec->p, rec->n, &pos, public_der.p, public_der.n) != 0 ||
      relay_lv_write(rec->p, rec->n, &pos, signature.p, signature.n) != 0)
    return step_fail(s, v7::kErrRelayNoMemory, step);
  if (relay_transcript_digest(s, rec->p, rec->n, step) != 0) return step_failed(s);
  return 0;
}

// The identity check of RecipientKeys: the signing key must carry its VID random value, and at
// 1.0 the recipient's registration number must be the certificate's.
int check_identity(RelaySession *s, const uint8_t *text, size_t text_len) {
  PRIVATE_KEY_CTX *key = s->sign_key;
  const uint8_t *random = keyobj_usable(key) ? key->ops->buffer(key) : nullptr;
  size_t random_len = keyobj_usable(key) ? key->ops->buffer_length(key) : 0;
  if (random == nullptr || random_len == 0) {
    err_push(s->error, v7::kErrNoVidRandomR, nullptr);
    return v7::kErrRelayIdentity;
  }
  if (s->cur_version != relay_version(1, 0)) return 0;
  const Certificate *cert = key->ops->certificate(key);
  std::string idn(reinterpret_cast<const char *>(text), text_len);
  int code = cert == nullptr || idn.size() != strlen(idn.c_str())
                 ? int(v7::kErrRelayIdentity)
                 : cms_check_identity(idn.c_str(), random, s->error, cert, idn.size(), random_len);
  v7::secure_wipe(&idn[0], idn.size());
  return code == 0 ? 0 : int(v7::kErrRelayIdentity);
}

// Reads the RecipientKeys plaintext: the recipient's item session, its identity text and the
// MAC key. 0 or the step's failure result.
int read_recipient_keys(RelaySession *s, const uint8_t *plain, size_t plain_len, int step) {
  size_t pos = 0;
  const uint8_t *text = nullptr, *mac_key = nullptr;
  size_t text_len = 0, mac_key_len = 0;
  if (relay_session_key_open(s, plain, plain_len, &pos, step) != 0) return step_failed(s);
  if (relay_lv_read(plain, plain_len, &pos, &text, &text_len) != 0 ||
      relay_lv_read(plain, plain_len, &pos, &mac_key, &mac_key_len) != 0)
    return step_fail(s, v7::kErrRelayShortRecord, step);
  if (relay_mac_key_set(s, mac_key, mac_key_len, step) != 0) return step_failed(s);
  int code = check_identity(s, text, text_len);
  return code == 0 ? 0 : step_fail(s, code, step);
}

// The items a sender hands over: with a key-management pair 1, 2, 3 from 3.0 on and 0, 1, 2
// below it (the recipient already holds the key-management certificate as the target); without
// one the signing key alone (the recipient holds the signing certificate).
int build_items(RelaySession *s, HeapBytes *block) {
  int tags[3];
  size_t count = 0;
  if (!km_pair_loaded(s)) {
    tags[count++] = kRelayItemSignKey;
  } else if (s->cur_version >= relay_version(3, 0)) {
    tags[count++] = kRelayItemSignKey, tags[count++] = kRelayItemKmKey, tags[count++] = kRelayItemKmCert;
  } else {
    tags[count++] = kRelayItemSignCert, tags[count++] = kRelayItemSignKey, tags[count++] = kRelayItemKmKey;
  }
  size_t total = 0;
  for (size_t i = 0; i < count; i++) {
    size_t n = 0;
    if (relay_session_item(s, tags[i], &n) == nullptr) return v7::kErrRelayMissing;
    total += 3 + n;
  }
  if (total > kRelayMaxBody) return v7::kErrRelayMissing;
  block->p = static_cast<uint8_t *>(malloc(total));
  block->n = total;
  if (block->p == nullptr) return v7::kErrRelayNoMemory;
  size_t pos = 0;
  for (size_t i = 0; i < count; i++) {
    size_t n = 0;
    const uint8_t *data = relay_session_item(s, tags[i], &n);
    if (relay_item_append(block->p, block->n, &pos, uint8_t(tags[i]), data, n) != 0)
      return v7::kErrRelayMissing;
  }
  return 0;
}

}  // namespace

int relay_sender_step1(RelaySession *s, const uint8_t *rec, size_t len, const char *auth_code, uint8_t **out,
                       size_t *out_len) {
  const int step = int(RelayRecordType::SenderServerKey);
  if (!v7::step_outputs(out, out_len) || s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  if (relay_read_server_certificate(s, rec, len) != 0) return step_failed(s);
  if (auth_code == nullptr) return step_fail(s, v7::kErrRelayMissing, step);
  const size_t code_len = strnlen(auth_code, kRelayMaxAuthCode);
  uint8_t body[kSessionKeyBodyLen + 2 + kRelayMaxAuthCode];
  size_t pos = relay_session_key_make(s, step, body, sizeof body);
  int result = 0;
  if (pos == 0) {
    result = step_failed(s);
  } else if (relay_lv_write(body, sizeof body, &pos, reinterpret_cast<const uint8_t *>(auth_code),
                            code_len) != 0) {
    result = step_fail(s, v7::kErrRelayMissing, step);
  } else if ((*out_len = relay_rsa_seal(s, step, body, pos, out)) == 0) {
    result = step_failed(s);
  }
  v7::secure_wipe(body, sizeof body);
  return result;
}

int relay_sender_step2(RelaySession *s, const uint8_t *rec, size_t len, uint8_t **out, size_t *out_len) {
  const int read_step = int(RelayRecordType::VersionNotice);
  const int step = int(RelayRecordType::EncryptionTarget);
  if (!v7::step_outputs(out, out_len) || s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  HeapBytes inner(true);
  RelayRecordHeader h;
  int result = v7::step_read_enveloped(s, rec, len, read_step, &inner, &h);
  if (result != 0) return result;
  if (relay_accept_lower_version(h.version, &s->cur_version) != 0)
    return step_fail(s, v7::kErrRelayVersion, read_step);
  HeapBytes target;
  if ((result = build_target(s, &target)) != 0) return result;
  return v7::step_send_enveloped(s, target.p, target.n, step, out, out_len);
}

int relay_sender_step3(RelaySession *s, const uint8_t *rec, size_t len, uint8_t **out, size_t *out_len) {
  const int read_step = int(RelayRecordType::RecipientKeys);
  const int step = int(RelayRecordType::Items);
  if (!v7::step_outputs(out, out_len) || s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  HeapBytes inner(true), plain(true);
  RelayRecordHeader h;
  int result = v7::step_read_enveloped(s, rec, len, read_step, &inner, &h);
  if (result != 0) return result;
  if (relay_rsa_open(s, inner.p, inner.n, &plain.p, &plain.n) != 0) return step_failed(s);
  if ((result = read_recipient_keys(s, plain.p, plain.n, read_step)) != 0) return result;
  HeapBytes block(true), items(true);
  int code = build_items(s, &block);
  if (code != 0) return step_fail(s, code, step);
  if ((items.n = relay_items_seal(s, block.p, block.n, &items.p)) == 0) return step_failed(s);
  return v7::step_send_enveloped(s, items.p, items.n, step, out, out_len);
}

int relay_sender_finish(RelaySession *s, const uint8_t *rec, size_t len) {
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  if (relay_check_alert(s, rec, len, int(RelayRecordType::Alert)) < 0)
    return v7::with_errno(int(s->last_error), -1);
  return 0;
}
