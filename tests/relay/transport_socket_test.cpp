// The transport over real sockets (native): local socket pairs stand in for the relay server.
// A SOCK_SEQPACKET pair delivers each send as one recv, so a test decides exactly which pieces
// the reader gets; a SOCK_STREAM pair behaves like TCP.
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors/errno_util.h"
#include "relay/transport.h"
#include "tests/harness/vectors.h"

using v7test::Bytes;

namespace {

struct Pair {
  int client = -1, peer = -1;
  explicit Pair(int type) {
    int fds[2];
    if (socketpair(AF_UNIX, type | SOCK_CLOEXEC, 0, fds) == 0) client = fds[0], peer = fds[1];
  }
  ~Pair() {
    if (client >= 0) close(client);
    close_peer();
  }
  void close_peer() {
    if (peer >= 0) close(peer);
    peer = -1;
  }
  void send_pieces(const std::string &text, const std::vector<size_t> &cuts) {
    size_t from = 0;
    std::vector<size_t> ends = cuts;
    ends.push_back(text.size());
    for (size_t to : ends) {
      if (to > from) {
        ASSERT_EQ(send(peer, text.data() + from, to - from, 0), ssize_t(to - from));
      }
      from = to;
    }
  }
};

struct Received {
  int rc;
  int error;
  std::string record;
};

// Receives one reply; rest_ms 0 leaves the transport its own limit for the rest of it.
Received receive(int client, bool http, int rest_ms = 0) {
  int len = 0;
  uint8_t *record = nullptr;
  Received out;
  if (rest_ms == 0) {
    out.rc = http ? relay_recv_response(&len, client, &record) : relay_recv_record(&len, client, &record);
  } else {
    out.rc = http ? relay_recv_response_within(&len, client, &record, rest_ms)
                  : relay_recv_record_within(&len, client, &record, rest_ms);
  }
  out.error = errno;
  if (out.rc == 0) out.record.assign(reinterpret_cast<char *>(record), size_t(len));
  relay_free(record);
  return out;
}

std::string raw_record(size_t body_len) {
  std::string r = {'\x0b', '\x03', '\x00', char(body_len >> 8), char(body_len)};
  for (size_t i = 0; i < body_len; i++) r += char('a' + i % 26);
  return r;
}

std::string http_response(const std::string &record) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(record.size()) + "\r\n\r\n" + record;
}

TEST(RelayTransport, ResponseSplitAtEveryOffset) {
  const std::string record = raw_record(20), text = http_response(record);
  for (size_t cut = 0; cut <= text.size(); cut++) {
    Pair p(SOCK_SEQPACKET);
    p.send_pieces(text, {cut});
    Received r = receive(p.client, true);
    ASSERT_EQ(r.rc, 0) << "cut at " << cut;
    ASSERT_EQ(r.record, record) << "cut at " << cut;
  }
  std::vector<size_t> every;
  for (size_t i = 1; i < text.size(); i++) every.push_back(i);
  Pair p(SOCK_SEQPACKET);
  p.send_pieces(text, every);
  EXPECT_EQ(receive(p.client, true).record, record);
}

TEST(RelayTransport, RawHeaderInPieces) {
  const std::string record = raw_record(3);
  // Each piece must fit the read it meets: a packet longer than the read would be cut.
  const std::vector<std::vector<size_t>> splits = {{1, 5}, {2, 5},          {3, 5},
                                                   {4, 5}, {1, 2, 3, 4, 5}, {5, 6, 7}};
  for (const auto &cuts : splits) {
    Pair p(SOCK_SEQPACKET);
    p.send_pieces(record, cuts);
    Received r = receive(p.client, false);
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record, record);
  }
}

TEST(RelayTransport, PeerClosesEarly) {
  struct Case {
    const char *what;
    bool http;
    std::string sent;
    int error;
  };
  const std::string record = raw_record(100);
  const std::string response = http_response(record);
  const Case cases[] = {
      {"raw: nothing", false, "", v7::kErrRelayRecvFailed},
      {"raw: 4 header bytes", false, record.substr(0, 4), v7::kErrRelayRecvFailed},
      {"raw: mid-body", false, record.substr(0, 50), v7::kErrRelayRecvFailed},
      {"raw: zero length field", false, record.substr(0, 3) + std::string(2, '\0'), v7::kErrRelayMalformed},
      {"http: nothing", true, "", v7::kErrRelayRecvFailed},
      {"http: mid-head", true, response.substr(0, 20), v7::kErrRelayRecvFailed},
      {"http: mid-body", true, response.substr(0, response.size() - 1), v7::kErrRelayRecvFailed},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Pair p(SOCK_STREAM);
    p.send_pieces(c.sent, {});
    p.close_peer();
    Received r = receive(p.client, c.http);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.error, c.error);
  }
}

// A peer that sends part of a reply and then neither sends more nor closes: the receive ends with
// the time-out instead of waiting for ever. Sent whole, the same replies are taken within the
// same limit.
TEST(RelayTransport, StalledReplyTimesOut) {
  struct Case {
    const char *what;
    bool http;
    std::string sent;
  };
  const std::string record = raw_record(100);
  const std::string response = http_response(record);
  const std::string longer = "HTTP/1.1 200 OK\r\nContent-Length: 106\r\n\r\n" + record;
  const Case cases[] = {
      {"raw: 3 header bytes", false, record.substr(0, 3)},
      {"raw: mid-body", false, record.substr(0, 50)},
      {"raw: all but the last byte", false, record.substr(0, record.size() - 1)},
      {"http: mid-head", true, response.substr(0, 20)},
      {"http: head without its blank line", true, response.substr(0, response.find("\r\n\r\n") + 2)},
      {"http: mid-body", true, response.substr(0, response.size() - 30)},
      {"http: a Content-Length longer than the body", true, longer},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Pair p(SOCK_STREAM);
    p.send_pieces(c.sent, {});
    Received r = receive(p.client, c.http, 100);
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.error, v7::kErrRelayNetworkTimeout);
  }
  for (bool http : {false, true}) {
    Pair p(SOCK_STREAM);
    p.send_pieces(http ? response : record, {});
    Received r = receive(p.client, http, 100);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.record, record);
  }
}

TEST(RelayTransport, OversizeHeadOverSocket) {
  std::string head = "HTTP/1.1 200 OK\r\nX: " + std::string(4100, 'z') + "\r\nContent-Length: 1\r\n\r\nx";
  Pair q(SOCK_STREAM);
  q.send_pieces(head, {});
  Received r = receive(q.client, true);
  EXPECT_EQ(r.rc, -1);
  EXPECT_EQ(r.error, v7::kErrRelayMalformed);
}

TEST(RelayTransport, LargestBodyBothWays) {
  const std::string record = raw_record(65535);
  for (bool http : {false, true}) {
    SCOPED_TRACE(http ? "http" : "raw");
    Pair p(SOCK_STREAM);
    const std::string sent = http ? http_response(record) : record;
    std::thread writer([&] { p.send_pieces(sent, {1000, 3000, 40000}); });
    Received r = receive(p.client, http);
    writer.join();
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.record.size(), 65540u);
    EXPECT_EQ(r.record, record);
  }
}

TEST(RelayTransport, SendsInPiecesOf2048) {
  Pair p(SOCK_SEQPACKET);
  const std::string record = raw_record(2049 - 5);
  ASSERT_EQ(relay_send_all(int(record.size()), p.client, reinterpret_cast<const uint8_t *>(record.data())),
            0);
  std::vector<char> buf(8192);
  std::string got;
  std::vector<ssize_t> sizes;
  for (int i = 0; i < 2; i++) {
    ssize_t n = recv(p.peer, buf.data(), buf.size(), 0);
    sizes.push_back(n);
    if (n > 0) got.append(buf.data(), size_t(n));
  }
  EXPECT_EQ(sizes, (std::vector<ssize_t>{2048, 1}));
  EXPECT_EQ(got, record);
  EXPECT_EQ(relay_send_all(0, p.client, nullptr), 0);
}

TEST(RelayTransport, PostReachesThePeerWhole) {
  Pair p(SOCK_STREAM);
  const std::string record = raw_record(4000);
  ASSERT_EQ(relay_send_post(reinterpret_cast<const uint8_t *>(record.data()), "relay.test", p.client,
                            int(record.size())),
            0);
  const std::string head =
      "POST /relay HTTP/1.1\r\nHost: relay.test\r\nContent-Type: application/octet-stream\r\n"
      "Content-Length: 4005\r\n\r\n";
  std::string got(head.size() + record.size(), '\0');
  size_t have = 0;
  while (have < got.size()) {
    ssize_t n = recv(p.peer, &got[have], got.size() - have, 0);
    ASSERT_GT(n, 0);
    have += size_t(n);
  }
  EXPECT_EQ(got, head + record);
}

TEST(RelayTransport, FailuresAreReportedNotSignalled) {
  Pair p(SOCK_STREAM);
  p.close_peer();
  const uint8_t bytes[8] = {1, 2, 3};
  // Without MSG_NOSIGNAL this would end the test program with SIGPIPE.
  EXPECT_EQ(relay_send_all(sizeof(bytes), p.client, bytes), -1);
  EXPECT_EQ(errno, v7::kNetConnectionReset);

  int len = 0;
  uint8_t *record = nullptr;
  EXPECT_EQ(relay_recv_record(&len, v7::kInvalidSocket, &record), -1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(relay_recv_response(&len, v7::kInvalidSocket, &record), -1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  // A reply without any limit on its rest is what the limit exists to prevent.
  EXPECT_EQ(relay_recv_record_within(&len, p.client, &record, 0), -1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(relay_recv_response_within(&len, p.client, &record, -1), -1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(relay_send_all(1, v7::kInvalidSocket, bytes), -1);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

}  // namespace
