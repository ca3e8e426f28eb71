// The session engine of the test relay server: it opens what each client sends it (the session
// key records with its RSA key, envelopes with that client's session key), pairs a sender with a
// recipient by the authorization code it issued, and hands the inner records of one to the other,
// enveloped again for the other side: the transcript digest covers those bytes, so they must
// arrive as they were sent. Alerts travel raw.
//
// Each connection runs its own engine on its own thread; the pairs are the only shared state.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>

#include "crypto/base/wipe.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/symkey.h"
#include "pki/x509/algorithms.h"
#include "relay/record.h"
#include "tools/relayd/relayd.h"

namespace relayd {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
using v7::SecureBytes;

enum Side { kSender = 0, kRecipient = 1, kNoRole = 2 };

// A record on its way to one side: an inner record still to be enveloped for it, or an alert
// that goes as it stands.
struct Message {
  bool raw;
  Bytes bytes;
};

struct Pair {
  std::string code;
  Clock::time_point expiry;
  bool used = false;
  std::deque<Message> inbox[2];  // by Side
  bool gone[2] = {false, false};
};

std::mutex g_lock;  // guards every Pair and g_codes
std::condition_variable g_changed;
std::map<std::string, std::shared_ptr<Pair>> g_codes;  // used and expired codes stay, for alerts 1, 2
std::mutex g_key_lock;                                 // one private key object for every thread

const uint8_t kAlert = uint8_t(RelayRecordType::Alert);
const uint8_t kEnvelope = uint8_t(RelayRecordType::Envelope);
const uint8_t kNoSuchType = 12;

void wipe_free(uint8_t *p, size_t len) {
  v7::secure_wipe(p, len);
  free(p);
}

void log_line(const char *what, const std::string &detail) {
  fprintf(stderr, "relayd: %s %s\n", what, detail.c_str());
}

Bytes make_record(uint8_t type, uint16_t version, const uint8_t *body, size_t len) {
  Bytes out(kRelayHeaderLen + len);
  size_t pos = 0;
  relay_record_header_write(out.data(), out.size(), &pos, type, version, len);
  if (len != 0) memcpy(out.data() + pos, body, len);
  return out;
}

Bytes alert_record(uint16_t version, uint16_t code) {
  uint8_t body[2] = {uint8_t(code >> 8), uint8_t(code)};
  return make_record(kAlert, version, body, sizeof body);
}

void set_version(Bytes *record, uint16_t version) {
  (*record)[1] = uint8_t(version >> 8);
  (*record)[2] = uint8_t(version);
}

// Fresh digits, unlike every code issued before (held under g_lock).
std::string new_code(size_t digits) {
  static std::mt19937_64 rng{std::random_device{}()};
  std::string code;
  do {
    code.clear();
    for (size_t i = 0; i < digits; i++) code += char('0' + rng() % 10);
  } while (g_codes.count(code) != 0);
  return code;
}

}  // namespace

struct Engine::State {
  const ServerConfig &config;
  const Faults &faults;
  uint16_t version = 0;  // the client's own version, from its latest record to the server
  Side side = kNoRole;
  ERROR_CTX error = {};
  SESSION_CTX *key = nullptr;
  std::shared_ptr<Pair> pair;

  State(const ServerConfig &c, const Faults &f) : config(c), faults(f) {}
  ~State() {
    symkey_free(key);
    err_ctx_clear(&error);
  }

  const PointFault *fault_at(char side_name, uint8_t type) const {
    for (const PointFault &p : faults.points) {
      if (p.type == type && (p.side == 0 || p.side == side_name)) return &p;
    }
    return nullptr;
  }
  char side_name() const { return side == kSender ? 's' : 'r'; }

  Outcome hello(const RelayRecordHeader &h);
  Outcome recipient_key(const Bytes &record);
  Outcome sender_key(const Bytes &record, Link *link);
  Outcome envelope(const Bytes &record, Link *link);
  Outcome alert(const Bytes &record);

  bool open_rsa(const Bytes &record, SecureBytes *plain);
  bool take_session_key(const SecureBytes &plain, size_t *pos);
  bool seal(const Bytes &inner, uint16_t version, bool bad_padding, Bytes *out);
  Outcome wait_for_peer(Link *link);
  // The reply at a point (the type the client reads there), faults applied.
  Outcome deliver(Message m, uint8_t point);
};

// ---- Records to the server ---------------------------------------------------------------------

Outcome Engine::State::hello(const RelayRecordHeader &h) {
  uint16_t v = h.version;
  if (faults.hello_version != 0 && faults.hello_version < v) v = faults.hello_version;
  const Bytes &cert = config.cert_der;
  // Below 3.0 the body is [length][certificate]; from 3.0 [length][items]: tag 0 the certificate,
  // tags 1 and 3 the chain.
  Bytes inner;
  if (v >= relay_version(3, 0)) {
    const uint8_t tags[] = {kRelayItemSignCert, kRelayItemSignKey, kRelayItemKmCert};
    const Bytes *parts[] = {&cert, config.chain.size() > 0 ? &config.chain[0] : nullptr,
                            config.chain.size() > 1 ? &config.chain[1] : nullptr};
    for (int i = 0; i < 3; i++) {
      if (parts[i] == nullptr) continue;
      size_t pos = inner.size();
      inner.resize(pos + 3 + parts[i]->size());
      relay_item_append(inner.data(), inner.size(), &pos, tags[i], parts[i]->data(), parts[i]->size());
    }
  } else {
    inner = cert;
  }
  Bytes body(2 + inner.size());
  size_t pos = 0;
  relay_lv_write(body.data(), body.size(), &pos, inner.data(), inner.size());
  Outcome o = {Outcome::Reply, make_record(uint8_t(RelayRecordType::ServerCertificate), v, body.data(), pos)};
  if (const PointFault *f = fault_at(0, 3)) {
    if (f->tamper == Tamper::Close) return {Outcome::Close, {}};
    if (f->tamper == Tamper::Alert) o.record = alert_record(v, f->value);
    if (f->tamper == Tamper::BadVersion) set_version(&o.record, uint16_t(v + 1));
    if (f->tamper == Tamper::BadType) o.record[0] = kNoSuchType;
  }
  return o;
}

bool Engine::State::open_rsa(const Bytes &record, SecureBytes *plain) {
  const uint8_t *body = nullptr;
  size_t body_len = 0;
  if (relay_record_body(record.data(), record.size(), &body, &body_len) != 0 || body_len == 0) return false;
  const int scheme = ENC_SCHEME_OAEP;
  uint8_t *out = nullptr;
  size_t out_len = 0;
  std::lock_guard<std::mutex> hold(g_key_lock);
  int code = keyobj_decrypt(config.key, body, body_len, &out, &out_len, KEYOBJ_FORMAT_DEFAULT, &scheme);
  if (code == 0) *plain = SecureBytes(out, out_len);
  if (out != nullptr) keyobj_free_buffer(config.key, out, out_len);
  if (code != 0) log_line("RSA decryption failed, code", std::to_string(code));
  return code == 0;
}

bool Engine::State::take_session_key(const SecureBytes &plain, size_t *pos) {
  SessionKeyBody skb;
  if (relay_session_key_body_parse(plain.data(), plain.size(), pos, &skb) != 0) return false;
  symkey_free(key);
  key = symkey_new(&error);
  return key != nullptr && symkey_set(key, skb.key, skb.key_len, skb.iv, skb.iv_len) == 0;
}

Outcome Engine::State::recipient_key(const Bytes &record) {
  SecureBytes plain;
  size_t pos = 0;
  if (side != kNoRole || !open_rsa(record, &plain) || !take_session_key(plain, &pos)) {
    log_line("unusable RecipientServerKey:", "closing");
    return {Outcome::Close, {}};
  }
  side = kRecipient;
  // The pages show 8 digits to a 1.0 client, 12 to later ones.
  std::string code;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    code = new_code(version == relay_version(1, 0) ? 8 : 12);
    pair = std::make_shared<Pair>();
    pair->code = code;
    long ms = faults.code_ms >= 0 ? faults.code_ms : config.code_ms;
    pair->expiry = Clock::now() + std::chrono::milliseconds(ms);
    g_codes[code] = pair;
  }
  log_line("issued code", code);
  Bytes body(2 + code.size());
  size_t at = 0;
  relay_lv_write(body.data(), body.size(), &at, reinterpret_cast<const uint8_t *>(code.data()), code.size());
  const uint8_t type = uint8_t(RelayRecordType::AuthCode);
  return deliver({false, make_record(type, version, body.data(), at)}, type);
}

Outcome Engine::State::sender_key(const Bytes &record, Link *link) {
  SecureBytes plain;
  size_t pos = 0;
  const uint8_t *typed = nullptr;
  size_t typed_len = 0;
  if (side != kNoRole || !open_rsa(record, &plain) || !take_session_key(plain, &pos) ||
      relay_lv_read(plain.data(), plain.size(), &pos, &typed, &typed_len) != 0) {
    log_line("unusable SenderServerKey:", "closing");
    return {Outcome::Close, {}};
  }
  side = kSender;
  std::string code(reinterpret_cast<const char *>(typed), typed_len);
  uint16_t refusal = 0;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    auto it = g_codes.find(code);
    if (it == g_codes.end() || it->second->used) {
      refusal = 1;
    } else if (Clock::now() >= it->second->expiry) {
      refusal = 2;
    } else {
      pair = it->second;
      pair->used = true;
      g_changed.notify_all();
    }
  }
  if (refusal != 0) {
    log_line(refusal == 1 ? "unknown or used code" : "expired code", code);
    // In place of the VersionNotice the sender waits for.
    return deliver({true, alert_record(version, refusal)}, uint8_t(RelayRecordType::VersionNotice));
  }
  log_line("paired on code", code);
  return wait_for_peer(link);
}

Outcome Engine::State::envelope(const Bytes &record, Link *link) {
  const uint8_t *body = nullptr;
  size_t body_len = 0;
  uint8_t *plain = nullptr;
  size_t plain_len = 0;
  if (key == nullptr || pair == nullptr ||
      relay_record_body(record.data(), record.size(), &body, &body_len) != 0 || body_len == 0 ||
      symkey_decrypt(key, body, body_len, &plain, &plain_len) != 0 || plain_len < kRelayHeaderLen) {
    if (plain != nullptr) wipe_free(plain, plain_len);
    log_line("an envelope that does not open:", "closing");
    return {Outcome::Close, {}};
  }
  Message m = {false, Bytes(plain, plain + plain_len)};
  wipe_free(plain, plain_len);
  {
    std::lock_guard<std::mutex> hold(g_lock);
    pair->inbox[1 - side].push_back(std::move(m));
    g_changed.notify_all();
  }
  return wait_for_peer(link);
}

Outcome Engine::State::alert(const Bytes &record) {
  if (pair != nullptr) {
    std::lock_guard<std::mutex> hold(g_lock);
    pair->inbox[1 - side].push_back({true, record});
    g_changed.notify_all();
  }
  // Nobody reads the answer to an alert.
  return {Outcome::NoReply, {}};
}

// ---- Records to the client ---------------------------------------------------------------------

bool Engine::State::seal(const Bytes &inner, uint16_t v, bool bad_padding, Bytes *out) {
  // Bad padding: zeros to the end of a block are enciphered with a padding block after them,
  // which is then dropped, so the client's last deciphered byte is 0.
  Bytes plain = inner;
  if (bad_padding) plain.resize(plain.size() + 16 - plain.size() % 16, 0);
  uint8_t *cipher = nullptr;
  size_t cipher_len = 0;
  bool ok = symkey_encrypt(key, plain.data(), plain.size(), &cipher, &cipher_len) == 0;
  if (ok && bad_padding) cipher_len = plain.size();
  ok = ok && cipher_len <= kRelayMaxBody;
  if (ok) *out = make_record(kEnvelope, v, cipher, cipher_len);
  free(cipher);
  return ok;
}

Outcome Engine::State::deliver(Message m, uint8_t point) {
  const PointFault *f = fault_at(side_name(), point);
  Tamper t = f != nullptr ? f->tamper : Tamper::Close;
  if (f != nullptr && t == Tamper::Close) return {Outcome::Close, {}};
  if (f != nullptr && t == Tamper::Alert) return {Outcome::Reply, alert_record(version, f->value)};
  if (m.raw) {
    if (f != nullptr && t == Tamper::BadVersion) set_version(&m.bytes, uint16_t(version + 1));
    if (f != nullptr && t == Tamper::BadType) m.bytes[0] = kNoSuchType;
    return {Outcome::Reply, m.bytes};
  }
  if (f != nullptr && t == Tamper::BadInnerVersion) set_version(&m.bytes, relay_version(0, 1));
  if (f != nullptr && t == Tamper::BadType) m.bytes[0] = kNoSuchType;
  // The Items plaintext is enciphered under a key only the two ends know. A flipped byte in the
  // second-to-last cipher block garbles that whole block, which lies in the MAC, and flips the
  // same byte of the last block, the MAC's tail unless padding fills that block.
  if (f != nullptr && t == Tamper::BadMac && m.bytes.size() >= kRelayHeaderLen + 32)
    m.bytes[m.bytes.size() - 32] ^= 0x01;
  uint16_t v = f != nullptr && t == Tamper::BadVersion ? uint16_t(version + 1) : version;
  Outcome o = {Outcome::Reply, {}};
  if (!seal(m.bytes, v, f != nullptr && t == Tamper::BadPadding, &o.record)) return {Outcome::Close, {}};
  return o;
}

Outcome Engine::State::wait_for_peer(Link *link) {
  const Side peer = Side(1 - side);
  Message m;
  {
    std::unique_lock<std::mutex> hold(g_lock);
    while (pair->inbox[side].empty()) {
      if (pair->gone[peer]) {
        log_line("the peer has gone:", "closing");
        return {Outcome::Close, {}};
      }
      // A recipient whose code runs out before any sender typed it would otherwise wait for
      // ever: it learns why, as a sender with that code would, and its connection ends.
      const bool unpaired = side == kRecipient && !pair->used;
      if (unpaired && Clock::now() >= pair->expiry) {
        hold.unlock();
        log_line("code expired while its recipient waited:", pair->code);
        Outcome o = deliver({true, alert_record(version, 2)}, kAlert);
        if (o.kind == Outcome::Reply) o.kind = Outcome::LastReply;
        return o;
      }
      Clock::time_point until = Clock::now() + std::chrono::milliseconds(50);
      if (unpaired && pair->expiry < until) until = pair->expiry;
      g_changed.wait_until(hold, until);
      hold.unlock();
      bool stirred = link->client_stirred();
      hold.lock();
      // The client spoke or closed while waiting: read what it has to say.
      if (stirred && pair->inbox[side].empty()) return {Outcome::NoReply, {}};
    }
    m = std::move(pair->inbox[side].front());
    pair->inbox[side].pop_front();
  }
  const uint8_t point = m.raw ? kAlert : m.bytes[0];
  return deliver(std::move(m), point);
}

// ---- The engine --------------------------------------------------------------------------------

Engine::Engine(const ServerConfig &config, const Faults &faults) : st_(new State(config, faults)) {}

Engine::~Engine() {
  if (st_->pair != nullptr && st_->side != kNoRole) {
    std::lock_guard<std::mutex> hold(g_lock);
    st_->pair->gone[st_->side] = true;
    g_changed.notify_all();
  }
  delete st_;
}

Outcome Engine::handle(const std::vector<uint8_t> &record, Link *link) {
  RelayRecordHeader h;
  const uint8_t *body = nullptr;
  size_t body_len = 0;
  if (relay_record_header_read(record.data(), record.size(), &h) != 0 ||
      relay_record_body(record.data(), record.size(), &body, &body_len) != 0) {
    return {Outcome::Close, {}};
  }
  // Records to the server carry the client's own version, which only goes down.
  if (h.type != kAlert) st_->version = h.version;
  switch (RelayRecordType(h.type)) {
    case RelayRecordType::Hello:
      return st_->hello(h);
    case RelayRecordType::RecipientServerKey:
      return st_->recipient_key(record);
    case RelayRecordType::SenderServerKey:
      return st_->sender_key(record, link);
    case RelayRecordType::Envelope:
      return st_->envelope(record, link);
    case RelayRecordType::Alert:
      return st_->alert(record);
    default:
      log_line("unexpected record type", std::to_string(h.type));
      return {Outcome::Close, {}};
  }
}

PRIVATE_KEY_CTX *load_private_key(const std::vector<uint8_t> &der, std::string *error) {
  PRIVATE_KEY_CTX *key = keyobj_new_type1();
  const KEY_CREDENTIAL plain = {KEY_CREDENTIAL_RSA_DER, KEY_CREDENTIAL_RSA_DER, nullptr};
  int code =
      key == nullptr ? 1000 : keyobj_set_key(key, der.data(), der.size(), KEYOBJ_FORMAT_DEFAULT, &plain);
  if (code != 0) {
    keyobj_delete(key);
    *error = "the key is not an RSAPrivateKey DER (code " + std::to_string(code) + ")";
    return nullptr;
  }
  return key;
}

}  // namespace relayd
