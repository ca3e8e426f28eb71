// The transport against the test relay server on 127.0.0.1, natively and under Wine (where the
// same code runs over Winsock). The server's ports come from the file that V7_RELAYD_PORTS
// names; its listeners and their faults are in tests/fixtures/relay/relayd-listeners.txt.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/errors/errno_util.h"
#include "platform/net/last_error.h"
#include "platform/ui/message_box.h"
#include "relay/record.h"
#include "relay/transport.h"
#include "tests/harness/vectors.h"

using v7test::Bytes;

namespace {

std::map<std::string, int> g_ports;
std::vector<std::string> g_boxes;
std::mutex g_boxes_lock;

int record_box(const char *text, const char *, unsigned) {
  std::lock_guard<std::mutex> hold(g_boxes_lock);
  g_boxes.push_back(text != nullptr ? text : "");
  return 1;  // IDOK
}

class RelaydTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    v7::set_message_box_hook(record_box);
    const char *path = std::getenv("V7_RELAYD_PORTS");
    std::ifstream in(path != nullptr ? path : "");
    std::string name;
    int port;
    while (in >> name >> port) g_ports[name] = port;
  }
  static void TearDownTestSuite() { v7::set_message_box_hook(nullptr); }

  void SetUp() override {
    if (g_ports.empty()) GTEST_SKIP() << "no test relay server (V7_RELAYD_PORTS)";
    g_boxes.clear();
  }

  static int port(const std::string &name) {
    EXPECT_EQ(g_ports.count(name), 1u) << name;
    return g_ports[name];
  }
};

std::string fixture(const char *name) {
  std::ifstream in(v7test::fixtures_path(name), std::ios::binary);
  std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(der.empty()) << name;
  return der;
}

std::string item(char tag, const std::string &data) {
  return std::string(1, tag) + char(data.size() >> 8) + char(data.size()) + data;
}

// The reply to a Hello, built by hand: [len][certificate] below 3.0; from 3.0 [len][items], the
// certificate as tag 0 and the CA that issued it (the server's --chain) as tag 1.
std::string server_certificate(uint16_t version) {
  std::string inner = fixture("pki/relay.der");
  if (version >= relay_version(3, 0)) inner = item(0, inner) + item(1, fixture("pki/ca.der"));
  std::string body = std::string(1, char(inner.size() >> 8)) + char(inner.size()) + inner;
  return std::string{'\x03', char(version >> 8), char(version), char(body.size() >> 8), char(body.size())} +
         body;
}

std::string hello(uint16_t version) {
  uint8_t out[8];
  size_t len = 0;
  relay_hello_write(out, sizeof(out), &len, version);
  return std::string(reinterpret_cast<char *>(out), len);
}

struct Exchange {
  int rc;
  int error;
  std::string reply;
};

// Sends a Hello on an open connection and reads one reply record, the rest of it within rest_ms
// of its first byte (0: the transport's own limit).
Exchange exchange(v7::Socket s, bool http, uint16_t version, int rest_ms = 0) {
  const std::string h = hello(version);
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(h.data());
  Exchange out = {0, 0, ""};
  int sent =
      http ? relay_send_post(bytes, relay_host(), s, int(h.size())) : relay_send_all(int(h.size()), s, bytes);
  EXPECT_EQ(sent, 0);
  int len = 0;
  uint8_t *record = nullptr;
  if (rest_ms == 0) {
    out.rc = http ? relay_recv_response(&len, s, &record) : relay_recv_record(&len, s, &record);
  } else {
    out.rc = http ? relay_recv_response_within(&len, s, &record, rest_ms)
                  : relay_recv_record_within(&len, s, &record, rest_ms);
  }
  out.error = errno;
  if (out.rc == 0) out.reply.assign(reinterpret_cast<char *>(record), size_t(len));
  relay_free(record);
  return out;
}

// A limit far below the listeners' stalls and pauses, so that the tests do not wait them out.
constexpr int kShortMs = 200;

void disconnect(v7::Socket s) {
  v7::net_close(s);
  v7::net_cleanup();
}

TEST_F(RelaydTest, HelloAnsweredInBothTransports) {
  const uint16_t versions[] = {relay_version(1, 0), relay_version(2, 0), relay_version(3, 0)};
  for (uint16_t version : versions) {
    SCOPED_TRACE(version);
    v7::Socket s = relay_connect(port("raw"));
    ASSERT_NE(s, v7::kInvalidSocket);
    Exchange e = exchange(s, false, version);
    EXPECT_EQ(e.rc, 0);
    EXPECT_EQ(e.reply, server_certificate(version));
    disconnect(s);
  }
  // HTTP keeps one connection for every request of a transfer.
  v7::Socket s = relay_connect(port("http"));
  ASSERT_NE(s, v7::kInvalidSocket);
  for (uint16_t version : versions) {
    SCOPED_TRACE(version);
    Exchange e = exchange(s, true, version);
    EXPECT_EQ(e.rc, 0);
    EXPECT_EQ(e.reply, server_certificate(version));
  }
  disconnect(s);
}

TEST_F(RelaydTest, ScriptedFaults) {
  struct Case {
    const char *listener;
    bool http;
    int rc;
    int error;
  };
  const Case cases[] = {
      {"raw_split", false, 0, 0},
      {"http_split", true, 0, 0},
      {"raw_stall", false, 0, 0},
      {"http_stall", true, 0, 0},
      {"raw_close_head", false, -1, v7::kErrRelayRecvFailed},
      {"raw_close_body", false, -1, v7::kErrRelayRecvFailed},
      {"raw_zero", false, -1, v7::kErrRelayMalformed},
      {"http_close_head", true, -1, v7::kErrRelayRecvFailed},
      {"http_close_body", true, -1, v7::kErrRelayRecvFailed},
      {"http_oversize", true, -1, v7::kErrRelayMalformed},
      {"http_malformed", true, -1, v7::kErrRelayMalformed},
      {"http_badlen", true, -1, v7::kErrRelayMalformed},
      {"http_nolen", true, -1, v7::kErrRelayMalformed},
      {"http_zerolen", true, -1, v7::kErrRelayMalformed},
      {"http_neglen", true, -1, v7::kErrOutOfMemory},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.listener);
    v7::Socket s = relay_connect(port(c.listener));
    ASSERT_NE(s, v7::kInvalidSocket);
    Exchange e = exchange(s, c.http, relay_version(3, 0));
    EXPECT_EQ(e.rc, c.rc);
    if (c.rc == 0) {
      EXPECT_EQ(e.reply, server_certificate(relay_version(3, 0)));
    }
    if (c.rc != 0) {
      EXPECT_EQ(e.error, c.error);
    }
    disconnect(s);
  }
}

// Once a reply has begun, all of it must come within one limit, counted from its first byte:
// a record or head cut and stalled, a body shorter than its Content-Length, or a reply that
// trickles in pieces each well inside the limit all end with the time-out. The wait for the
// first byte is not limited: a reply that starts late, but then comes whole, is taken.
TEST_F(RelaydTest, ReplyThatHasBegunMustFinishInTime) {
  struct Case {
    const char *listener;
    bool http;
    int rest_ms;
    int rc;
    int error;
  };
  const Case cases[] = {
      {"raw_stall_head", false, kShortMs, -1, v7::kErrRelayNetworkTimeout},
      {"raw_stall", false, kShortMs, -1, v7::kErrRelayNetworkTimeout},
      {"http_stall", true, kShortMs, -1, v7::kErrRelayNetworkTimeout},
      {"http_long", true, kShortMs, -1, v7::kErrRelayNetworkTimeout},
      {"raw_trickle", false, kShortMs, -1, v7::kErrRelayNetworkTimeout},
      {"raw_trickle", false, 0, 0, 0},
      {"raw_late", false, kShortMs, 0, 0},
      {"http_late", true, kShortMs, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.listener) + " within " + std::to_string(c.rest_ms));
    v7::Socket s = relay_connect(port(c.listener));
    ASSERT_NE(s, v7::kInvalidSocket);
    Exchange e = exchange(s, c.http, relay_version(3, 0), c.rest_ms);
    ASSERT_EQ(e.rc, c.rc);
    if (c.rc == 0) {
      EXPECT_EQ(e.reply, server_certificate(relay_version(3, 0)));
    } else {
      EXPECT_EQ(e.error, c.error);
    }
    disconnect(s);
  }
}

// A port whose connection attempts get no answer ends the connect with the time-out, and a
// connection made within a limit is an ordinary blocking one.
TEST_F(RelaydTest, ConnectGivesUpOnASilentPort) {
  EXPECT_EQ(relay_connect_within(port("silent"), kShortMs), v7::kInvalidSocket);
  EXPECT_EQ(errno, v7::kErrRelayNetworkTimeout);
  EXPECT_EQ(v7::thread_last_error(), uint32_t(v7::kErrRelayNetworkTimeout));

  v7::Socket s = relay_connect_within(port("raw"), kShortMs);
  ASSERT_NE(s, v7::kInvalidSocket);
  Exchange e = exchange(s, false, relay_version(3, 0));
  EXPECT_EQ(e.rc, 0);
  EXPECT_EQ(e.reply, server_certificate(relay_version(3, 0)));
  disconnect(s);

  EXPECT_EQ(relay_connect_within(port("raw"), 0), v7::kInvalidSocket);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST_F(RelaydTest, ProbeReachableRefusedSilent) {
  using Clock = std::chrono::steady_clock;
  EXPECT_EQ(RelayProbeServer(2, port("raw")), 1);
  EXPECT_EQ(v7::thread_last_error(), 0u);

  // A refused port is known at once, with the socket error for the caller's message.
  Clock::time_point start = Clock::now();
  EXPECT_EQ(RelayProbeServer(8, port("refused")), 0);
  EXPECT_EQ(v7::thread_last_error(), uint32_t(v7::kNetConnectionRefused));
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(900));
  for (const std::string &box : g_boxes) EXPECT_EQ(box, "code 1 : 10061");

  start = Clock::now();
  EXPECT_EQ(RelayProbeServer(1, port("silent")), 0);
  EXPECT_EQ(v7::thread_last_error(), uint32_t(v7::kErrRelayNetworkTimeout));
  Clock::duration waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::seconds(3));

  v7::Socket s = relay_connect(port("refused"));
  EXPECT_EQ(s, v7::kInvalidSocket);
  EXPECT_EQ(v7::thread_last_error(), uint32_t(v7::kNetConnectionRefused));
  EXPECT_EQ(relay_connect(0), v7::kInvalidSocket);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

}  // namespace
