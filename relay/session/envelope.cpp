#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "crypto/hash/hmac.h"
#include "relay/record.h"
#include "relay/session/internal.h"

namespace {

using v7::relay_fail;
using v7::relay_fail0;

const int kItemsStep = int(RelayRecordType::Items);

// The session key and header version of an envelope type; false for another type.
bool envelope_params(RelaySession *s, int type, SESSION_CTX **key, uint16_t *version) {
  switch (RelayRecordType(type)) {
    case RelayRecordType::Envelope:
      *key = s->server_session;
      *version = s->own_version;
      return true;
    case RelayRecordType::Items:
      *key = s->item_session;
      *version = s->cur_version;
      return true;
    default:
      return false;
  }
}

}  // namespace

size_t relay_envelope_seal(RelaySession *s, int type, const uint8_t *in, size_t len, uint8_t **out,
                           int step) {
  if (out != nullptr) *out = nullptr;
  if (s == nullptr) return v7::with_errno<size_t>(v7::kErrRelayMissing, 0);
  SESSION_CTX *key = nullptr;
  uint16_t version = 0;
  if (!envelope_params(s, type, &key, &version)) return relay_fail0(s, v7::kErrRelayMalformed, step);
  if (key == nullptr || in == nullptr || len == 0 || out == nullptr)
    return relay_fail0(s, v7::kErrRelayMissing, step);
  uint8_t *cipher = nullptr;
  size_t cipher_len = 0;
  size_t rec_len = 0;
  if (symkey_encrypt(key, in, len, &cipher, &cipher_len) == 0)
    rec_len = v7::relay_wrap(uint8_t(type), version, cipher, cipher_len, out);
  free(cipher);
  if (rec_len == 0) return relay_fail0(s, v7::kErrRelayEnvelopeEncrypt, step);
  return rec_len;
}

int relay_envelope_open(RelaySession *s, int type, const uint8_t *rec, size_t len, uint8_t **out,
                        size_t *out_len, int step) {
  if (out != nullptr) *out = nullptr;
  if (out_len != nullptr) *out_len = 0;
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  SESSION_CTX *key = nullptr;
  uint16_t version = 0;
  if (!envelope_params(s, type, &key, &version)) return relay_fail(s, v7::kErrRelayMalformed, step);
  if (rec == nullptr || out == nullptr || out_len == nullptr)
    return relay_fail(s, v7::kErrRelayMissing, step);
  RelayRecordHeader h;
  if (relay_record_header_read(rec, len, &h) != 0) return relay_fail(s, v7::kErrRelayShortRecord, step);
  if (h.type != type) return relay_fail(s, v7::kErrRelayUnexpectedType, step);
  if (h.version != version) return relay_fail(s, v7::kErrRelayVersionBytes, step);
  const uint8_t *body = nullptr;
  size_t body_len = 0;
  if (relay_record_body(rec, len, &body, &body_len) != 0)
    return relay_fail(s, v7::kErrRelayShortRecord, step);
  if (key == nullptr) return relay_fail(s, v7::kErrRelayMissing, step);
  uint8_t *plain = nullptr;
  size_t plain_len = 0;
  // Whatever the cipher found (a wrong length, bad padding, an empty message), the peer and the
  // caller learn one code: telling them apart would hand out a padding oracle.
  if (body_len == 0 || symkey_decrypt(key, body, body_len, &plain, &plain_len) != 0 || plain_len == 0) {
    v7::wipe_free(plain, plain_len);
    return relay_fail(s, v7::kErrRelayEnvelopeDecrypt, step);
  }
  *out = plain;
  *out_len = plain_len;
  return 0;
}

int relay_transcript_digest(RelaySession *s, const uint8_t *rec, size_t len, int step) {
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  const uint8_t *body = nullptr;
  size_t body_len = 0;
  if (rec == nullptr || relay_record_body(rec, len, &body, &body_len) != 0)
    return relay_fail(s, v7::kErrRelayShortRecord, step);
  // An empty body is hashed as it stands: the digest is over whatever the record carries.
  static const uint8_t kNothing = 0;
  if (hash_digest(sizeof s->digest, s->digest, HASH_SHA256, body_len != 0 ? body : &kNothing, body_len) !=
      int(kRelayDigestLen)) {
    s->digest_len = 0;
    return relay_fail(s, v7::kErrRelayDigest, step);
  }
  s->digest_len = kRelayDigestLen;
  return 0;
}

int relay_items_mac(RelaySession *s, const uint8_t *block, size_t block_len, uint8_t mac[kRelayMacLen],
                    int step) {
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  if (block == nullptr || mac == nullptr || s->digest_len != kRelayDigestLen ||
      s->mac_key_len != kRelayMacKeyLen)
    return relay_fail(s, v7::kErrRelayMissing, step);
  HMAC_CTX *h = hmac_new(HASH_SHA256);
  bool ok = h != nullptr && hmac_init(h, s->mac_key, s->mac_key_len) == int(kRelayMacLen);
  if (ok) {
    hmac_update(h, s->digest, s->digest_len);
    hmac_update(h, block, block_len);
    ok = hmac_final(h, mac) == int(kRelayMacLen);
  }
  hmac_free(h);
  if (!ok) {
    v7::secure_wipe(mac, kRelayMacLen);
    return relay_fail(s, v7::kErrRelayDigest, step);
  }
  return 0;
}

size_t relay_items_seal(RelaySession *s, const uint8_t *items, size_t items_len, uint8_t **out) {
  if (out != nullptr) *out = nullptr;
  if (s == nullptr) return v7::with_errno<size_t>(v7::kErrRelayMissing, 0);
  if (items == nullptr || items_len == 0 || items_len > kRelayMaxBody)
    return relay_fail0(s, v7::kErrRelayMissing, kItemsStep);
  const size_t block_len = 2 + items_len;
  v7::SecureBytes plain(block_len + 2 + kRelayMacLen);
  size_t pos = 0;
  if (relay_lv_write(plain.data(), plain.size(), &pos, items, items_len) != 0)
    return relay_fail0(s, v7::kErrRelayMissing, kItemsStep);
  uint8_t *mac = plain.data() + block_len + 2;
  if (relay_items_mac(s, plain.data(), block_len, mac, kItemsStep) != 0) return 0;
  v7::store_be16(plain.data() + block_len, uint16_t(kRelayMacLen));
  return relay_envelope_seal(s, kItemsStep, plain.data(), plain.size(), out, kItemsStep);
}

int relay_items_open(RelaySession *s, const uint8_t *rec, size_t len, uint8_t **out, size_t *out_len) {
  if (out != nullptr) *out = nullptr;
  if (out_len != nullptr) *out_len = 0;
  if (s == nullptr) return v7::with_errno(v7::kErrRelayMissing, -1);
  if (out == nullptr || out_len == nullptr) return relay_fail(s, v7::kErrRelayMissing, kItemsStep);
  uint8_t *plain = nullptr;
  size_t plain_len = 0;
  if (relay_envelope_open(s, kItemsStep, rec, len, &plain, &plain_len, kItemsStep) != 0) return -1;
  int code = 0;
  size_t items_len = 0, mac_len = 0;
  uint8_t expected[kRelayMacLen];
  if (plain_len < 2 || (items_len = v7::load_be16(plain)) + 4 > plain_len) {
    code = v7::kErrRelayShortRecord;
  } else if ((mac_len = v7::load_be16(plain + 2 + items_len)) == 0) {
    code = v7::kErrRelayMacMissing;
  } else if (mac_len > plain_len - 4 - items_len) {
    code = v7::kErrRelayShortRecord;
  } else if (relay_items_mac(s, plain, 2 + items_len, expected, kItemsStep) != 0) {
    code = -1;  // recorded
  } else if (mac_len != kRelayMacLen || !v7::ct_memeq(expected, plain + 4 + items_len, kRelayMacLen)) {
    code = v7::kErrRelayMacMismatch;
  }
  v7::secure_wipe(expected, sizeof expected);
  uint8_t *copy = nullptr;
  if (code == 0 && (copy = static_cast<uint8_t *>(malloc(items_len != 0 ? items_len : 1))) == nullptr)
    code = v7::kErrRelayNoMemory;
  if (code == 0 && items_len != 0) memcpy(copy, plain + 2, items_len);
  v7::wipe_free(plain, plain_len);
  if (code == -1) return v7::with_errno(int(s->last_error), -1);
  if (code != 0) return relay_fail(s, code, kItemsStep);
  *out = copy;
  *out_len = items_len;
  return 0;
}
