#include "tests/relay/steps/steps_test_util.h"

#include <cstring>

#include "pki/asn1/key_types.h"
#include "pki/keys/symkey.h"
#include "pki/x509/algorithms.h"

namespace stepstest {

namespace {

using relaytest::Buffer;
using relaytest::lv;
using relaytest::read_fixture;
using relaytest::record;

Bytes base64(const std::string &text) {
  Bytes out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    int v = c >= 'A' && c <= 'Z'   ? c - 'A'
            : c >= 'a' && c <= 'z' ? c - 'a' + 26
            : c >= '0' && c <= '9' ? c - '0' + 52
            : c == '+'             ? 62
            : c == '/'             ? 63
                                   : -1;
    if (v < 0) continue;
    acc = (acc << 6) | uint32_t(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(uint8_t(acc >> bits));
    }
  }
  return out;
}

// The RSAPrivateKey DER inside an unencrypted PKCS#8 PEM file.
Bytes pem_rsa_key(const std::string &fixture) {
  Bytes pem = read_fixture(fixture);
  std::string text(pem.begin(), pem.end()), body;
  size_t start = text.find("-----\n"), end = text.find("-----END");
  if (start == std::string::npos || end == std::string::npos) return {};
  Bytes der = base64(text.substr(start + 6, end - start - 6));
  auto *info = static_cast<PrivateKeyInfo *>(
      asn1_decode_alloc(ASN1_MODE_DER, der.data(), &asn1_tmpl_private_key_info, der.size()));
  if (info == nullptr) return {};
  Bytes key(info->private_key.data, info->private_key.data + info->private_key.len);
  asn1_release(&asn1_tmpl_private_key_info, info);
  return key;
}

void write_file(const std::string &path, const Bytes &data) {
  std::filesystem::create_directories(std::filesystem::u8path(path).parent_path());
  std::ofstream out(std::filesystem::u8path(path), std::ios::binary);
  out.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

SESSION_CTX *session_key(ERROR_CTX *err, const uint8_t *in, size_t len, size_t *pos) {
  SessionKeyBody body;
  if (relay_session_key_body_parse(in, len, pos, &body) != 0) return nullptr;
  SESSION_CTX *key = symkey_new(err);
  if (key != nullptr && symkey_set(key, body.key, body.key_len, body.iv, body.iv_len) != 0) {
    symkey_free(key);
    key = nullptr;
  }
  return key;
}

Bytes take(uint8_t *p, size_t n) {
  Bytes b(p, p + n);
  free(p);
  return b;
}

}  // namespace

const CachedList kRelayPathLists[2] = {
    {"cn=dp1p1,ou=dp,ou=AccreditedCA,o=TestCA,c=KR.crl", "pki/crl_good.der"},
    {"ou=ARL,ou=Korea Certification Authority Central,o=KISA,c=KR.crl", "pki/arl_good.der"},
};

void write_relay_path_lists(const std::string &cert_dir) {
  for (const CachedList &list : kRelayPathLists) write_file(cert_dir + "/CRL/" + list.file, read_fixture(list.fixture));
}

void StepsEnvironment::SetUp() {
  FolderEnvironment::SetUp();
  write_relay_path_lists(kCertDir);
}

SessionPtr new_session(uint32_t mode) {
  SessionPtr s(relay_session_new(mode));
  if (s) snprintf(s->validation->cert_dir, sizeof s->validation->cert_dir, "%s", kCertDir);
  return s;
}

bool load_pairs(RelaySession *s, bool with_km, const char *new_password) {
  Bytes cert = read_fixture("pki/signCert.der"), key = read_fixture("pki/signPri.key");
  if (relay_load_sign_pair(kPassword, s, cert.data(), cert.size(), key.data(), key.size(), nullptr, 0,
                           new_password) != 0)
    return false;
  if (!with_km) return true;
  Bytes km_cert = read_fixture("pki/kmCert.der"), km_key = read_fixture("pki/kmPri.key");
  return relay_load_km_pair(kPassword, s, km_cert.data(), km_cert.size(), km_key.data(), km_key.size(),
                            new_password) == 0;
}

MiniRelay::MiniRelay() {
  Bytes der = pem_rsa_key("pki/keys/relay.pem");
  key_ = keyobj_new_type1();
  const KEY_CREDENTIAL raw = {KEY_CREDENTIAL_RSA_DER, KEY_CREDENTIAL_RSA_DER, nullptr};
  EXPECT_EQ(keyobj_set_key(key_, der.data(), der.size(), KEYOBJ_FORMAT_DEFAULT, &raw), 0);
}

MiniRelay::~MiniRelay() {
  keyobj_delete(key_);
  symkey_free(sender_);
  symkey_free(recipient_);
  err_ctx_clear(&err_);
}

Bytes MiniRelay::server_certificate(uint16_t version) const {
  Bytes cert = read_fixture("pki/relay.der");
  Bytes list = version < ver(3) ? cert : relaytest::cat({item(0, cert), item(1, read_fixture("pki/ca.der"))});
  return record(3, version, lv(list));
}

namespace {

// The plaintext of an RSA record to the relay server.
Bytes rsa_open(PRIVATE_KEY_CTX *key, const Bytes &rec) {
  if (rec.size() <= kRelayHeaderLen) return {};
  const int scheme = ENC_SCHEME_OAEP;
  uint8_t *plain = nullptr;
  size_t n = 0;
  if (keyobj_decrypt(key, rec.data() + 5, rec.size() - 5, &plain, &n, KEYOBJ_FORMAT_DEFAULT, &scheme) != 0)
    return {};
  Bytes out(plain, plain + n);
  keyobj_free_buffer(key, plain, n);
  return out;
}

}  // namespace

bool MiniRelay::take_recipient_key(const Bytes &rec, Bytes *reply) {
  if (rec.size() < 5 || rec[0] != 4) return false;
  recipient_version_ = uint16_t(rec[1] << 8 | rec[2]);
  Bytes plain = rsa_open(key_, rec);
  size_t pos = 0;
  symkey_free(recipient_);
  recipient_ = session_key(&err_, plain.data(), plain.size(), &pos);
  if (recipient_ == nullptr) return false;
  *reply = seal(record(5, recipient_version_, lv(Bytes(code.begin(), code.end()))), false);
  return true;
}

bool MiniRelay::take_sender_key(const Bytes &rec) {
  if (rec.size() < 5 || rec[0] != 6) return false;
  sender_version_ = uint16_t(rec[1] << 8 | rec[2]);
  Bytes plain = rsa_open(key_, rec);
  size_t pos = 0;
  symkey_free(sender_);
  sender_ = session_key(&err_, plain.data(), plain.size(), &pos);
  const uint8_t *typed = nullptr;
  size_t typed_len = 0;
  return sender_ != nullptr && relay_lv_read(plain.data(), plain.size(), &pos, &typed, &typed_len) == 0 &&
         std::string(reinterpret_cast<const char *>(typed), typed_len) == code;
}

Bytes MiniRelay::open(const Bytes &env, bool from_sender) const {
  SESSION_CTX *key = from_sender ? sender_ : recipient_;
  if (key == nullptr || env.size() <= kRelayHeaderLen || env[0] != 11) return {};
  uint8_t *plain = nullptr;
  size_t n = 0;
  if (symkey_decrypt(key, env.data() + 5, env.size() - 5, &plain, &n) != 0) return {};
  return take(plain, n);
}

Bytes MiniRelay::seal(const Bytes &inner, bool to_sender) const {
  SESSION_CTX *key = to_sender ? sender_ : recipient_;
  uint8_t *cipher = nullptr;
  size_t n = 0;
  if (key == nullptr || symkey_encrypt(key, inner.data(), inner.size(), &cipher, &n) != 0) return {};
  return record(11, to_sender ? sender_version_ : recipient_version_, take(cipher, n));
}

Bytes MiniRelay::to_sender(const Bytes &from_recipient) const {
  return seal(open(from_recipient, false), true);
}
Bytes MiniRelay::to_recipient(const Bytes &from_sender) const { return seal(open(from_sender, true), false); }

Outcome run_transfer(RelaySession *sender, RelaySession *recipient, MiniRelay *relay, const Tamper &tamper) {
  Outcome o;
  uint8_t *out = nullptr;
  size_t n = 0;
  auto hook = [&](const char *point, Bytes *rec) {
    if (tamper) tamper(point, rec);
  };
  auto failed = [&](const char *where, int result, RelaySession *s) {
    o.failed_at = where;
    o.result = result;
    Buffer alert;
    alert.n = relay_alert_record(s, &alert.p);
    o.alert = alert.bytes();
    return o;
  };
  int r = 0;

  if ((r = relay_step_hello(recipient, &out, &n)) != 0) return failed("recipient hello", r, recipient);
  Bytes hello = take(out, n);
  Bytes rec = relay->server_certificate(uint16_t(hello[1] << 8 | hello[2]));
  hook("recipient server certificate", &rec);
  if ((r = relay_recipient_step1(recipient, rec.data(), rec.size(), &out, &n)) != 0)
    return failed("recipient step1", r, recipient);
  Bytes auth;
  if (!relay->take_recipient_key(take(out, n), &auth)) return failed("relay recipient key", -1, recipient);
  hook("auth code", &auth);
  char *code = nullptr;
  if ((r = relay_recipient_step2(recipient, auth.data(), auth.size(), &code, &out, &n)) != 0)
    return failed("recipient step2", r, recipient);
  o.auth_code = code;
  free(code);
  Bytes notice = take(out, n);

  if ((r = relay_step_hello(sender, &out, &n)) != 0) return failed("sender hello", r, sender);
  hello = take(out, n);
  rec = relay->server_certificate(uint16_t(hello[1] << 8 | hello[2]));
  hook("sender server certificate", &rec);
  if ((r = relay_sender_step1(sender, rec.data(), rec.size(), o.auth_code.c_str(), &out, &n)) != 0)
    return failed("sender step1", r, sender);
  Bytes sender_key = take(out, n);
  rec = relay->take_sender_key(sender_key) ? relay->to_sender(notice)
                                           : Bytes{1, sender_key[1], sender_key[2], 0, 2, 0, 1};
  hook("notice", &rec);
  if ((r = relay_sender_step2(sender, rec.data(), rec.size(), &out, &n)) != 0)
    return failed("sender step2", r, sender);
  Bytes target = relay->open(take(out, n), true);
  hook("target", &target);
  rec = relay->seal(target, false);
  char *subject = nullptr;
  if ((r = relay_recipient_step3(recipient, rec.data(), rec.size(), &subject, &out, &n)) != 0)
    return failed("recipient step3", r, recipient);
  o.subject = subject;
  free(subject);
  rec = relay->to_sender(take(out, n));
  hook("recipient keys", &rec);
  if ((r = relay_sender_step3(sender, rec.data(), rec.size(), &out, &n)) != 0)
    return failed("sender step3", r, sender);
  rec = relay->to_recipient(take(out, n));
  hook("items", &rec);
  if ((r = relay_recipient_step4(recipient, rec.data(), rec.size())) != 0)
    return failed("recipient step4", r, recipient);
  if ((r = relay_recipient_close(recipient, &out, &n)) != 0) return failed("recipient close", r, recipient);
  rec = take(out, n);
  hook("close", &rec);
  if ((r = relay_sender_finish(sender, rec.data(), rec.size())) != 0)
    return failed("sender finish", r, sender);
  return o;
}

}  // namespace stepstest
