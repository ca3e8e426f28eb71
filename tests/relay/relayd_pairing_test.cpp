// The test relay server's session engine, driven by records that the session functions build:
// pairing by the code it issues, relaying end-to-end records byte for byte under each side's own
// session key, forwarding alerts, and the protocol faults it can script. Natively and under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "platform/errors/errno_util.h"
#include "tests/relay/relayd_client.h"

using namespace relaytest;
using relaydtest::Client;
using relaydtest::from;

namespace {

::testing::Environment *const g_folders = ::testing::AddGlobalTestEnvironment(new FolderEnvironment);

const uint16_t k10 = relay_version(1, 0), k20 = relay_version(2, 0), k30 = relay_version(3, 0);
const uint32_t kSender30 = 0x80000003u, kRecipient30 = 0x88000003u;

Bytes hello(uint16_t version) {
  uint8_t out[8];
  size_t len = 0;
  relay_hello_write(out, sizeof out, &len, version);
  return from(out, len);
}

Bytes alert(uint16_t version, uint16_t code) {
  return record(1, version, {uint8_t(code >> 8), uint8_t(code)});
}

Bytes seal(RelaySession *s, const Bytes &inner) {
  Buffer b;
  b.n = relay_envelope_seal(s, int(RelayRecordType::Envelope), inner.data(), inner.size(), &b.p, inner[0]);
  EXPECT_NE(b.n, 0u) << s->last_error;
  return b.bytes();
}

// The inner record of an envelope, or empty with the session's code in *code.
Bytes open_envelope(RelaySession *s, const Bytes &rec, int *code = nullptr) {
  Buffer b;
  int rc = relay_envelope_open(s, int(RelayRecordType::Envelope), rec.data(), rec.size(), &b.p, &b.n, 5);
  if (code != nullptr) *code = rc == 0 ? 0 : s->last_error;
  EXPECT_TRUE(rc == 0 || code != nullptr) << s->last_error;
  return b.bytes();
}

// One side of a transfer: its session (with the relay server's key) and its connection.
struct Party {
  SessionPtr s;
  Client c;
  Party(uint32_t mode, int port, bool http) : s(make_session(mode)), c(port, http) {}
  uint16_t v() const { return s->own_version; }

  // Hello and the relay certificate.
  Bytes greet() {
    c.send(hello(v()));
    return c.recv();
  }
  // RecipientServerKey; the server's answer as it stands.
  Bytes send_key() {
    uint8_t skb[kSessionKeyBodyLen];
    EXPECT_EQ(relay_session_key_make(s.get(), 4, skb, sizeof skb), sizeof skb);
    Buffer rec;
    rec.n = relay_rsa_seal(s.get(), 4, skb, sizeof skb, &rec.p);
    c.send(rec.bytes());
    return c.recv();
  }
  // The code the server shows.
  std::string ask_code() {
    Bytes auth = open_envelope(s.get(), send_key());
    // AuthCode at the recipient's version: [len][code] and nothing after.
    if (auth.size() < 7 || auth[0] != 5 || relay_version(auth[1], auth[2]) != v()) {
      ADD_FAILURE() << "no AuthCode";
      return "";
    }
    EXPECT_EQ(size_t(auth[5] << 8 | auth[6]) + 7, auth.size());
    return std::string(auth.begin() + 7, auth.end());
  }
  // SenderServerKey with a typed code; the server's answer.
  Bytes join(const std::string &code) {
    Bytes plain(kSessionKeyBodyLen);
    EXPECT_EQ(relay_session_key_make(s.get(), 6, plain.data(), plain.size()), plain.size());
    plain = cat({plain, lv(Bytes(code.begin(), code.end()))});
    Buffer rec;
    rec.n = relay_rsa_seal(s.get(), 6, plain.data(), plain.size(), &rec.p);
    c.send(rec.bytes());
    return c.recv();
  }
};

class RelaydPairing : public testing::Test {
 protected:
  static void SetUpTestSuite() { ports() = relaydtest::read_ports(); }
  void SetUp() override {
    if (ports().empty()) GTEST_SKIP() << "no test relay server (V7_RELAYD_PORTS)";
  }
  static std::map<std::string, int> &ports() {
    static std::map<std::string, int> p;
    return p;
  }
  static int port(const std::string &name) {
    EXPECT_EQ(ports().count(name), 1u) << name;
    return ports()[name];
  }

  // A recipient that has its code and has sent its VersionNotice, and a sender paired with it
  // that has received that notice.
  struct Transfer {
    Party r, s;
    std::string code;
    Bytes notice;
    Transfer(int r_port, bool r_http, int s_port, bool s_http, uint32_t r_mode = kRecipient30,
             uint32_t s_mode = kSender30)
        : r(r_mode, r_port, r_http), s(s_mode, s_port, s_http) {}
  };
  static void start(Transfer *t) {
    ASSERT_TRUE(t->r.c.open() && t->s.c.open());
    ASSERT_FALSE(t->r.greet().empty());
    t->code = t->r.ask_code();
    t->notice = record(7, t->r.v(), {});
    t->r.c.send(seal(t->r.s.get(), t->notice));
    ASSERT_FALSE(t->s.greet().empty());
    Bytes answer = t->s.join(t->code);
    ASSERT_EQ(answer.size() > 0 ? answer[0] : 0, 11) << "sender got no envelope";
    EXPECT_EQ(open_envelope(t->s.s.get(), answer), t->notice);
  }
};

TEST_F(RelaydPairing, CodesOfEightOrTwelveDigits) {
  const struct {
    uint32_t mode;
    size_t digits;
  } cases[] = {{kRecipient10, 8}, {kRecipient20, 12}, {kRecipient30, 12}};
  std::string earlier;
  for (const auto &c : cases) {
    Party r(c.mode, port("pair"), false);
    ASSERT_TRUE(r.c.open());
    ASSERT_FALSE(r.greet().empty());
    std::string code = r.ask_code();
    SCOPED_TRACE(code);
    EXPECT_EQ(code.size(), c.digits);
    EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_NE(code, earlier);
    earlier = code;
  }
}

// The whole exchange: every end-to-end record arrives as it was sent, under the other side's key;
// the recipient's closing alert reaches the sender as it stands. Raw, HTTP and a mix of both.
TEST_F(RelaydPairing, RelaysEveryRecordByteForByte) {
  const struct {
    const char *r, *s;
    bool r_http, s_http;
  } cases[] = {{"pair", "pair", false, false},
               {"pair_http", "pair_http", true, true},
               {"pair", "pair_http", false, true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.r) + " / " + c.s);
    Transfer t(port(c.r), c.r_http, port(c.s), c.s_http);
    start(&t);
    const Bytes target =
        record(8, k30, cat({lv(read_fixture("pki/user_sign.der")), lv(Bytes{1, 2, 3}), lv(Bytes{4})}));
    Bytes sent = seal(t.s.s.get(), target);
    t.s.c.send(sent);
    Bytes got = t.r.c.recv();
    EXPECT_NE(got, sent);  // enveloped again, under the recipient's key
    EXPECT_EQ(open_envelope(t.r.s.get(), got), target);

    const Bytes keys = record(9, k30, Bytes(256, 0x5a));
    t.r.c.send(seal(t.r.s.get(), keys));
    EXPECT_EQ(open_envelope(t.s.s.get(), t.s.c.recv()), keys);

    const Bytes items = record(10, k30, Bytes(100, 0xa5));
    t.s.c.send(seal(t.s.s.get(), items));
    EXPECT_EQ(open_envelope(t.r.s.get(), t.r.c.recv()), items);

    t.r.c.send(alert(k30, 0));
    EXPECT_EQ(t.s.c.recv(), alert(k30, 0));
  }
}

TEST_F(RelaydPairing, WrongUsedAndExpiredCodes) {
  Transfer t(port("pair"), false, port("pair"), false);
  start(&t);
  // Alert 1 for an unknown code and for one already used, at the sender's own version.
  const struct {
    uint32_t mode;
    std::string code;
  } wrong[] = {{kSender20, "000000000000"}, {kSender30, t.code}, {kSender10, ""}};
  for (const auto &w : wrong) {
    SCOPED_TRACE(w.code);
    Party late(w.mode, port("pair"), false);
    ASSERT_FALSE(late.greet().empty());
    EXPECT_EQ(late.join(w.code), alert(late.v(), 1));
  }
}

// Codes of this listener live 300 ms. A recipient still waiting for its sender when the code
// expires is told so with alert 2 at its own version and its connection closed, raw and HTTP;
// a sender that types the code afterwards gets alert 2 as well.
TEST_F(RelaydPairing, AnExpiredCodeEndsTheWaitingRecipient) {
  const struct {
    const char *listener;
    bool http;
    uint32_t mode;
  } cases[] = {{"pair_short", false, kRecipient20}, {"pair_short_http", true, kRecipient30}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.listener);
    Party r(c.mode, port(c.listener), c.http);
    ASSERT_FALSE(r.greet().empty());
    std::string code = r.ask_code();
    r.c.send(seal(r.s.get(), record(7, r.v(), {})));
    ASSERT_TRUE(r.c.readable_within(30)) << "the recipient was left waiting";
    EXPECT_EQ(r.c.recv(), alert(r.v(), 2));
    int error = 0;
    EXPECT_TRUE(r.c.recv(&error).empty());
    EXPECT_EQ(error, v7::kErrRelayRecvFailed);

    Party s(kSender20, port("pair"), false);
    ASSERT_FALSE(s.greet().empty());
    EXPECT_EQ(s.join(code), alert(k20, 2));
  }
}

// A nonzero alert goes to the other side as the answer to its pending request; when a side goes
// away without one, the other side's connection is closed.
TEST_F(RelaydPairing, AlertsForwardedAndDepartureSeen) {
  {
    Transfer t(port("pair"), false, port("pair_http"), true);
    start(&t);
    t.s.c.send(alert(k30, 43));
    EXPECT_EQ(t.r.c.recv(), alert(k30, 43));
  }
  {
    Transfer t(port("pair"), false, port("pair"), false);
    start(&t);
    t.s.c.send(seal(t.s.s.get(), record(8, k30, {0, 0, 0, 0, 0, 0})));
    ASSERT_FALSE(t.r.c.recv().empty());
    t.s.c.close();
    int error = 0;
    t.r.c.send(seal(t.r.s.get(), record(9, k30, {1})));
    EXPECT_TRUE(t.r.c.recv(&error).empty());
    EXPECT_EQ(error, v7::kErrRelayRecvFailed);
  }
}

TEST_F(RelaydPairing, HelloAnsweredWithALowerVersion) {
  Client c(port("hello20"), false);
  ASSERT_TRUE(c.open());
  c.send(hello(k30));
  Bytes sc = c.recv();
  Bytes cert = read_fixture("pki/relay.der");
  // The 2.0 layout: [length][certificate].
  EXPECT_EQ(sc, record(3, k20, lv(cert)));
}

// Each scripted protocol fault, and what the client's session functions make of it.
TEST_F(RelaydPairing, ProtocolFaultsAsTheClientSeesThem) {
  int code = 0;
  {
    // Toward the recipient: the AuthCode envelope with wrong version bytes, then bad padding.
    Party r(kRecipient30, port("tamper_r5_version"), false);
    ASSERT_FALSE(r.greet().empty());
    Bytes env = r.send_key();
    ASSERT_GE(env.size(), 5u);
    EXPECT_EQ(relay_version(env[1], env[2]), relay_version(3, 1));
    EXPECT_TRUE(open_envelope(r.s.get(), env, &code).empty());
    EXPECT_EQ(code, v7::kErrRelayVersionBytes);
  }
  {
    Party r(kRecipient30, port("tamper_r5_padding"), false);
    ASSERT_FALSE(r.greet().empty());
    EXPECT_TRUE(open_envelope(r.s.get(), r.send_key(), &code).empty());
    EXPECT_EQ(code, v7::kErrRelayEnvelopeDecrypt);
  }
  {
    // Toward the sender: the VersionNotice with another type, then at version 0.1; the
    // recipient's closing alert replaced by 517.
    Transfer t(port("pair"), false, port("tamper_s"), false);
    ASSERT_TRUE(t.r.c.open() && t.s.c.open());
    ASSERT_FALSE(t.r.greet().empty());
    t.code = t.r.ask_code();
    t.r.c.send(seal(t.r.s.get(), record(7, k30, {})));
    ASSERT_FALSE(t.s.greet().empty());
    EXPECT_EQ(open_envelope(t.s.s.get(), t.s.join(t.code)), record(7, relay_version(0, 1), {}));
    t.s.c.send(seal(t.s.s.get(), record(8, k30, {0, 0, 0, 0, 0, 0})));
    ASSERT_FALSE(t.r.c.recv().empty());
    t.r.c.send(seal(t.r.s.get(), record(9, k30, {1})));
    EXPECT_EQ(open_envelope(t.s.s.get(), t.s.c.recv()), record(12, k30, {1}));
    t.s.c.send(seal(t.s.s.get(), record(10, k30, {2})));
    ASSERT_FALSE(t.r.c.recv().empty());
    t.r.c.send(alert(k30, 0));
    EXPECT_EQ(t.s.c.recv(), alert(k30, 517));
  }
  {
    // A right code answered with alert 2 all the same; and a connection closed at r8.
    Transfer t(port("tamper_r8_close"), false, port("tamper_s7_alert"), false);
    ASSERT_FALSE(t.r.greet().empty());
    t.code = t.r.ask_code();
    t.r.c.send(seal(t.r.s.get(), record(7, k30, {})));
    ASSERT_FALSE(t.s.greet().empty());
    EXPECT_EQ(t.s.join(t.code), alert(k30, 2));
  }
  {
    Transfer t(port("tamper_r8_close"), false, port("pair"), false);
    start(&t);
    t.s.c.send(seal(t.s.s.get(), record(8, k30, {0, 0, 0, 0, 0, 0})));
    int error = 0;
    EXPECT_TRUE(t.r.c.recv(&error).empty());
    EXPECT_EQ(error, v7::kErrRelayRecvFailed);
    EXPECT_TRUE(t.s.c.recv(&error).empty());  // its peer gone, the sender is closed too
  }
}

// A flipped MAC byte in Items, checked by the recipient's own Items reader, with the keys and the
// transcript the two sides agree through the relay.
TEST_F(RelaydPairing, BadMacInItems) {
  for (const char *listener : {"pair", "tamper_r10_mac"}) {
    SCOPED_TRACE(listener);
    Transfer t(port(listener), false, port("pair"), false);
    start(&t);
    const Bytes target = record(8, k30, cat({lv(Bytes{1}), lv(Bytes()), lv(Bytes())}));
    t.s.c.send(seal(t.s.s.get(), target));
    ASSERT_EQ(open_envelope(t.r.s.get(), t.r.c.recv()), target);
    ASSERT_EQ(relay_transcript_digest(t.r.s.get(), target.data(), target.size(), 8), 0);
    ASSERT_EQ(relay_transcript_digest(t.s.s.get(), target.data(), target.size(), 8), 0);
    uint8_t skb[kSessionKeyBodyLen];
    ASSERT_EQ(relay_session_key_make(t.r.s.get(), 9, skb, sizeof skb), sizeof skb);
    size_t pos = 0;
    ASSERT_EQ(relay_session_key_open(t.s.s.get(), skb, sizeof skb, &pos, 9), 0);
    ASSERT_EQ(relay_mac_key_make(t.r.s.get(), 9), 0);
    ASSERT_EQ(relay_mac_key_set(t.s.s.get(), t.r.s->mac_key, kRelayMacKeyLen, 9), 0);
    t.r.c.send(seal(t.r.s.get(), record(9, k30, {1})));
    ASSERT_FALSE(t.s.c.recv().empty());

    // 40 bytes of items: the plaintext does not fill its last block.
    Bytes items = cat({Bytes{1, 0, 37}, Bytes(37, 0x33)});
    Buffer sealed;
    sealed.n = relay_items_seal(t.s.s.get(), items.data(), items.size(), &sealed.p);
    ASSERT_NE(sealed.n, 0u);
    t.s.c.send(seal(t.s.s.get(), sealed.bytes()));
    Bytes inner = open_envelope(t.r.s.get(), t.r.c.recv());
    Buffer out;
    int rc = relay_items_open(t.r.s.get(), inner.data(), inner.size(), &out.p, &out.n);
    if (std::string(listener) == "pair") {
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(out.bytes(), items);
    } else {
      EXPECT_EQ(rc, -1);
      EXPECT_EQ(t.r.s->last_error, v7::kErrRelayMacMismatch);
    }
  }
}

}  // namespace
