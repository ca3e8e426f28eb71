// A client connection to the test relay server, in either transport, for the tests that drive
// it; and the ports of its listeners, from the file that V7_RELAYD_PORTS names.
#pragma once

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "relay/transport.h"
#include "tests/harness/ports.h"
#include "tests/relay/session/session_test_util.h"

namespace relaydtest {

using relaytest::Bytes;

inline std::map<std::string, int> read_ports() { return v7test::read_ports("V7_RELAYD_PORTS"); }

inline Bytes from(const uint8_t *p, size_t n) { return Bytes(p, p + n); }

// One client connection in either transport.
class Client {
 public:
  Client(int port, bool http) : http_(http), s_(relay_connect(port)) {}
  ~Client() { close(); }
  void close() {
    if (s_ != v7::kInvalidSocket) {
      v7::net_close(s_);
      v7::net_cleanup();
    }
    s_ = v7::kInvalidSocket;
  }
  bool open() const { return s_ != v7::kInvalidSocket; }

  void send(const Bytes &r) {
    int rc = http_ ? relay_send_post(r.data(), relay_host(), s_, int(r.size()))
                   : relay_send_all(int(r.size()), s_, r.data());
    EXPECT_EQ(rc, 0);
  }
  // The next record, or empty with the transport's errno in *error.
  Bytes recv(int *error = nullptr) {
    int len = 0;
    uint8_t *rec = nullptr;
    int rc = http_ ? relay_recv_response(&len, s_, &rec) : relay_recv_record(&len, s_, &rec);
    if (error != nullptr) *error = rc == 0 ? 0 : errno;
    Bytes out = rc == 0 ? from(rec, size_t(len)) : Bytes();
    relay_free(rec);
    return out;
  }

 private:
  bool http_;
  v7::Socket s_;
};

}  // namespace relaydtest
