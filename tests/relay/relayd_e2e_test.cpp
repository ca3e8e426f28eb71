// Whole transfers through the test relay server with the library's own steps on both ends: the
// sender's certificate set arrives at the recipient, and scripted faults of the server reach the
// steps as the codes a user would be shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/errors/errno_util.h"
#include "tests/relay/relayd_client.h"
#include "tests/relay/steps/steps_test_util.h"

using relaydtest::Client;
using relaytest::Bytes;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new stepstest::StepsEnvironment);

Bytes take(uint8_t *p, size_t n) {
  Bytes b(p, p + n);
  free(p);
  return b;
}

struct Result {
  std::string failed_at;  // "" when the transfer completed
  std::string subject;
};

// One transfer, both sides driven in turn on their own connections. A step's failure, or a
// connection the server closed, ends it.
Result transfer(RelaySession *snd, RelaySession *rcp, Client *sc, Client *rc) {
  Result res;
  uint8_t *out = nullptr;
  size_t n = 0;
  char *text = nullptr;
  std::string code;
  Bytes rec;
  auto fail = [&](const char *where) {
    res.failed_at = where;
    return res;
  };
  if (relay_step_hello(rcp, &out, &n) != 0) return fail("recipient hello");
  rc->send(take(out, n));
  if ((rec = rc->recv()).empty() || relay_recipient_step1(rcp, rec.data(), rec.size(), &out, &n) != 0)
    return fail("recipient step1");
  rc->send(take(out, n));
  if ((rec = rc->recv()).empty() || relay_recipient_step2(rcp, rec.data(), rec.size(), &text, &out, &n) != 0)
    return fail("recipient step2");
  code = text;
  free(text);
  rc->send(take(out, n));

  if (relay_step_hello(snd, &out, &n) != 0) return fail("sender hello");
  sc->send(take(out, n));
  if ((rec = sc->recv()).empty() ||
      relay_sender_step1(snd, rec.data(), rec.size(), code.c_str(), &out, &n) != 0)
    return fail("sender step1");
  sc->send(take(out, n));
  if ((rec = sc->recv()).empty() || relay_sender_step2(snd, rec.data(), rec.size(), &out, &n) != 0)
    return fail("sender step2");
  sc->send(take(out, n));

  if ((rec = rc->recv()).empty() || relay_recipient_step3(rcp, rec.data(), rec.size(), &text, &out, &n) != 0)
    return fail("recipient step3");
  res.subject = text;
  free(text);
  rc->send(take(out, n));
  if ((rec = sc->recv()).empty() || relay_sender_step3(snd, rec.data(), rec.size(), &out, &n) != 0)
    return fail("sender step3");
  sc->send(take(out, n));
  if ((rec = rc->recv()).empty() || relay_recipient_step4(rcp, rec.data(), rec.size()) != 0)
    return fail("recipient step4");
  if (relay_recipient_close(rcp, &out, &n) != 0) return fail("recipient close");
  rc->send(take(out, n));
  if ((rec = sc->recv()).empty() || relay_sender_finish(snd, rec.data(), rec.size()) != 0)
    return fail("sender finish");
  return res;
}

class RelaydTransfer : public testing::Test {
 protected:
  void SetUp() override {
    ports_ = relaydtest::read_ports();
    if (ports_.empty()) GTEST_SKIP() << "no test relay server (V7_RELAYD_PORTS)";
  }
  int port(const std::string &name) {
    EXPECT_EQ(ports_.count(name), 1u) << name;
    return ports_[name];
  }
  std::map<std::string, int> ports_;
};

TEST_F(RelaydTransfer, CertificateSetArrives) {
  const struct {
    int major;
    bool with_km, r_http, s_http;
  } cases[] = {{3, true, false, false}, {2, true, true, true}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.major * 10 + c.with_km);
    stepstest::SessionPtr snd = stepstest::new_session(stepstest::sender_mode(c.major));
    stepstest::SessionPtr rcp = stepstest::new_session(stepstest::recipient_mode(c.major));
    ASSERT_TRUE(snd && rcp && stepstest::load_pairs(snd.get(), c.with_km));
    Client sc(port(c.s_http ? "pair_http" : "pair"), c.s_http),
        rc(port(c.r_http ? "pair_http" : "pair"), c.r_http);
    Result r = transfer(snd.get(), rcp.get(), &sc, &rc);
    ASSERT_EQ(r.failed_at, "") << "sender " << snd->last_error << ", recipient " << rcp->last_error;
    EXPECT_NE(r.subject.find("Hong Gildong"), std::string::npos) << r.subject;
    EXPECT_EQ(stepstest::kept(rcp.get(), kRelayItemSignKey), stepstest::kept(snd.get(), kRelayItemSignKey));
    EXPECT_EQ(stepstest::kept(rcp.get(), kRelayItemSignCert), stepstest::kept(snd.get(), kRelayItemSignCert));
    if (c.with_km) {
      EXPECT_EQ(stepstest::kept(rcp.get(), kRelayItemKmKey), stepstest::kept(snd.get(), kRelayItemKmKey));
    }
  }
}

// What each side is left with when the server tampers with a reply to it.
TEST_F(RelaydTransfer, ServerFaultsReachTheSteps) {
  const struct {
    const char *r_listener, *s_listener, *failed_at;
    bool sender_fails;
    int last, prev;
  } cases[] = {
      {"tamper_r5_version", "pair", "recipient step2", false, v7::kErrRelayVersionBytes, 0},
      {"tamper_r5_padding", "pair", "recipient step2", false, v7::kErrRelayEnvelopeDecrypt, 0},
      {"pair", "tamper_s", "sender step2", true, v7::kErrRelayVersion, 0},
      {"pair", "tamper_s7_alert", "sender step2", true, v7::kErrRelayPeerAlert, 2},
      {"tamper_r8_close", "pair", "recipient step3", false, 0, 0},
      {"tamper_r10_mac", "pair", "recipient step4", false, v7::kErrRelayMacMismatch, 0},
      {"pair", "tamper_s1_alert", "sender finish", true, v7::kErrRelayPeerAlert, v7::kErrRelayStoreLocation},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.r_listener) + " / " + c.s_listener);
    // At 2.0 with a key-management pair the sender makes no fresh key: the faults, not key
    // generation, are what these cases spend their time on.
    stepstest::SessionPtr snd = stepstest::new_session(stepstest::sender_mode(2));
    stepstest::SessionPtr rcp = stepstest::new_session(stepstest::recipient_mode(2));
    ASSERT_TRUE(snd && rcp && stepstest::load_pairs(snd.get(), true));
    Client sc(port(c.s_listener), false), rc(port(c.r_listener), false);
    Result r = transfer(snd.get(), rcp.get(), &sc, &rc);
    EXPECT_EQ(r.failed_at, c.failed_at);
    const RelaySession *failed = c.sender_fails ? snd.get() : rcp.get();
    EXPECT_EQ(failed->last_error, c.last);
    EXPECT_EQ(failed->prev_error, c.prev);
  }
}

}  // namespace
