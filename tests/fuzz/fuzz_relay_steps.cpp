// The protocol steps of both roles on arbitrary records. The first byte chooses the step and the
// session's version; where a step reads an envelope, the rest of the input is its inner record
// (or the plaintext of RecipientKeys, or the items block), sealed here under the session's keys,
// so that the fuzzer reaches the parsing behind the cipher. Besides memory safety: a failing step
// leaves no record to send, and a step returns only 0, -1 or -2.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pki/keys/symkey.h"
#include "pki/x509/algorithms.h"
#include "platform/fs/fs.h"
#include "relay/record.h"
#include "relay/steps/steps.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes fixture(const char *name) {
  std::string path = __FILE__;
  path = path.substr(0, path.find_last_of("/\\")) + "/../fixtures/pki/" + name;
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool answer(const char *text, char *out, size_t cap) { return snprintf(out, cap, "%s", text) < int(cap); }
bool answer_w(const char *text, char16_t *out, size_t cap) {
  size_t n = strlen(text);
  if (n + 1 > cap) return false;
  for (size_t i = 0; i <= n; i++) out[i] = char16_t(text[i]);
  return true;
}

// Keys made once: the signing and key-management key objects, borrowed by every session.
struct Keys {
  PRIVATE_KEY_CTX *sign = nullptr, *km = nullptr;
  Bytes sign_cert = fixture("signCert.der"), km_cert = fixture("kmCert.der");
  Keys() {
    static const FsFolderHooks hooks = {
        [](char16_t *out, size_t cap) { return answer_w("C:\\WINDOWS", out, cap); },
        [](char *out, size_t cap) { return answer("C:\\WINDOWS", out, cap); },
        [](int, char16_t *out, size_t cap) { return answer_w("C:\\fuzz", out, cap); },
        [](int, char *out, size_t cap) { return answer("C:\\fuzz", out, cap); },
    };
    platform_fs_set_folder_hooks(&hooks);
    sign = load("signPri.key", sign_cert);
    km = load("kmPri.key", km_cert);
  }
  static PRIVATE_KEY_CTX *load(const char *file, const Bytes &cert) {
    Bytes key = fixture(file);
    const KEY_CREDENTIAL password = {KEY_CREDENTIAL_PASSWORD, KEY_CREDENTIAL_PASSWORD, "Fixture1!"};
    PRIVATE_KEY_CTX *obj = keyobj_new_type1();
    if (keyobj_set_key(obj, key.data(), key.size(), KEYOBJ_FORMAT_DEFAULT, &password) != 0 ||
        keyobj_set_certificate(obj, cert.data(), cert.size(), 0) != 0)
      abort();
    return obj;
  }
};

const Keys &keys() {
  static Keys k;
  return k;
}

SESSION_CTX *fixed_key(RelaySession *s, uint8_t fill) {
  uint8_t key[16], iv[16];
  memset(key, fill, sizeof key);
  memset(iv, fill ^ 0x5a, sizeof iv);
  SESSION_CTX *ctx = symkey_new(s->error);
  if (ctx == nullptr || symkey_set(ctx, key, 16, iv, 16) != 0) abort();
  return ctx;
}

// A session in the middle of a transfer: keys with the server and of the items, a digest and a
// MAC key, and for a sender its pairs.
RelaySession *session(bool recipient, int major) {
  RelaySession *s = relay_session_new((recipient ? 0x88000000u : 0x80000000u) | uint32_t(major));
  if (s == nullptr) abort();
  s->server_session = fixed_key(s, 0x11);
  s->item_session = fixed_key(s, 0x22);
  memset(s->digest, 0x33, sizeof s->digest);
  s->digest_len = kRelayDigestLen;
  memset(s->mac_key, 0x44, sizeof s->mac_key);
  s->mac_key_len = kRelayMacKeyLen;
  if (!recipient) {
    const Keys &k = keys();
    s->sign_key = k.sign;
    s->open_key = k.km;
    relay_session_keep_item(s, kRelayItemSignCert, k.sign_cert.data(), k.sign_cert.size());
    relay_session_keep_item(s, kRelayItemSignKey, k.sign_cert.data(), 16);
    relay_session_keep_item(s, kRelayItemKmCert, k.km_cert.data(), k.km_cert.size());
    relay_session_keep_item(s, kRelayItemKmKey, k.km_cert.data(), 16);
  }
  return s;
}

void release(RelaySession *s) {
  // The key objects are borrowed (a step may have replaced open_key with its own).
  if (s->sign_key == keys().sign) s->sign_key = nullptr;
  if (s->open_key == keys().km) s->open_key = nullptr;
  relay_session_free(s);
}

Bytes enveloped(RelaySession *s, const Bytes &inner) {
  uint8_t *out = nullptr;
  size_t n = inner.empty() ? 0
                           : relay_envelope_seal(s, int(RelayRecordType::Envelope), inner.data(),
                                                 inner.size(), &out, 0);
  Bytes r(out, out + n);
  free(out);
  return r;
}

// RecipientKeys under the key-management key, from its plaintext.
Bytes recipient_keys(RelaySession *s, const Bytes &plain) {
  PUBLIC_KEY_CTX *key = pubkey_new();
  const PUBLIC_KEY_SOURCE source = {PUBKEY_SOURCE_CERTIFICATE, 1};
  const int scheme = ENC_SCHEME_OAEP;
  uint8_t *cipher = nullptr;
  size_t n = 0;
  Bytes rec;
  if (!plain.empty() &&
      pubkey_set_key(key, keys().km_cert.data(), keys().km_cert.size(), KEYOBJ_FORMAT_DEFAULT, &source) ==
          0 &&
      pubkey_encrypt(key, plain.data(), plain.size(), &cipher, &n, KEYOBJ_FORMAT_DEFAULT, &scheme) == 0) {
    rec = {9, uint8_t(s->cur_version >> 8), uint8_t(s->cur_version), uint8_t(n >> 8), uint8_t(n)};
    rec.insert(rec.end(), cipher, cipher + n);
  }
  free(cipher);
  pubkey_delete(key);
  return rec;
}

void check(int result, uint8_t *out, size_t out_len) {
  if (result != 0 && result != -1 && result != -2) abort();
  if (result != 0 && (out != nullptr || out_len != 0)) abort();
  free(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  keys();  // the folder answers must be in place before the first session
  if (size < 1) return 0;
  const int which = data[0] & 7;
  const int major = 1 + (data[0] >> 3) % 3;
  const Bytes in(data + 1, data + size);
  const bool recipient = which >= 4;
  // Below 3.0 a sender with a key-management pair targets its certificate: no fresh key per run.
  RelaySession *s = session(recipient, recipient ? major : (major == 3 ? 2 : major));
  uint8_t *out = nullptr;
  size_t n = 0;
  char *text = nullptr;
  Bytes rec;
  switch (which) {
    case 0:
      check(relay_sender_step1(s, in.data(), in.size(), "123456", &out, &n), out, n);
      break;
    case 1:
      rec = enveloped(s, in);
      check(relay_sender_step2(s, rec.data(), rec.size(), &out, &n), out, n);
      break;
    case 2:
      rec = enveloped(s, recipient_keys(s, in));
      check(relay_sender_step3(s, rec.data(), rec.size(), &out, &n), out, n);
      break;
    case 3:
      check(relay_sender_finish(s, in.data(), in.size()), nullptr, 0);
      break;
    case 4:
      check(relay_recipient_step1(s, in.data(), in.size(), &out, &n), out, n);
      break;
    case 5:
      rec = enveloped(s, in);
      check(relay_recipient_step2(s, rec.data(), rec.size(), &text, &out, &n), out, n);
      break;
    case 6:
      rec = enveloped(s, in);
      check(relay_recipient_step3(s, rec.data(), rec.size(), &text, &out, &n), out, n);
      break;
    default: {
      uint8_t *items = nullptr;
      size_t m = in.empty() ? 0 : relay_items_seal(s, in.data(), in.size(), &items);
      rec = enveloped(s, Bytes(items, items + m));
      free(items);
      check(relay_recipient_step4(s, rec.data(), rec.size()), nullptr, 0);
    }
  }
  free(text);
  release(s);
  return 0;
}
