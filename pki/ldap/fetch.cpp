// One fetch over the socket seam: connect within the limit, bind, search, read the replies,
// unbind. TCP is a stream, so every read gathers its bytes chunk by chunk; the whole read, not
// each chunk, must arrive within kLdapWaitSeconds, so that a server dripping a byte now and then
// cannot hold the caller.

#include <chrono>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/random/random.h"
#include "pki/ldap/internal.h"
#include "platform/net/net.h"

namespace v7 {
namespace ldap {
namespace {

// The socket, closed on every path out of the fetch.
struct Connection {
  Socket s = kInvalidSocket;
  ~Connection() {
    if (s != kInvalidSocket) net_close(s);
  }
};

// The socket layer, started for the fetch and released after it.
struct NetSession {
  bool started = false;
  NetSession() {
    uint16_t granted = 0;
    started = net_startup(net_version(2, 2), &granted) == 0;
  }
  ~NetSession() {
    if (started) net_cleanup();
  }
};

using Clock = std::chrono::steady_clock;

// Waits for one of the events on s until the deadline; false on a time-out or a failed wait.
bool wait_for(Socket s, unsigned wanted, Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return false;
  int seconds = int((left + 999) / 1000);
  unsigned ready = 0;
  return net_select(s, wanted, seconds, &ready) > 0 && (ready & wanted) != 0;
}

Clock::time_point deadline_from_now() { return Clock::now() + std::chrono::seconds(kLdapWaitSeconds); }

class SocketSource : public ByteSource {
 public:
  explicit SocketSource(Socket s) : s_(s) {}
  int pull(uint8_t *out, size_t n) override {
    size_t got = 0;
    const Clock::time_point deadline = deadline_from_now();
    while (got < n) {
      if (!wait_for(s_, kNetReadable, deadline)) return kErrLdapRecv;
      size_t chunk = n - got < 0x10000 ? n - got : 0x10000;
      int r = net_recv(s_, out + got, int(chunk));
      if (r == 0) return kErrLdapRecv;  // the peer closed before the message was whole
      if (r < 0) {
        if (net_last_error() == kNetWouldBlock || net_last_error() == kNetInterrupted) continue;
        return kErrLdapRecv;
      }
      got += size_t(r);
    }
    return 0;
  }

 private:
  Socket s_;
};

int send_all(Socket s, const uint8_t *data, size_t n) {
  size_t sent = 0;
  const Clock::time_point deadline = deadline_from_now();
  while (sent < n) {
    if (!wait_for(s, kNetWritable, deadline)) return kErrLdapSend;
    size_t chunk = n - sent < 0x10000 ? n - sent : 0x10000;
    int r = net_send(s, data + sent, int(chunk));
    if (r < 0 && (net_last_error() == kNetWouldBlock || net_last_error() == kNetInterrupted)) continue;
    if (r <= 0) return kErrLdapSend;
    sent += size_t(r);
  }
  return 0;
}

// The search id from the OS random source; a drawn 0, reserved for notices of the server, is
// drawn again.
int draw_message_id(uint8_t id[4], size_t *id_len) {
  RANDOM_CTX *rng = rng_new(RNG_TYPE_SYSTEM);
  if (rng == nullptr) return errno;
  uint8_t raw[4] = {0};
  int rc = 0;
  do {
    if (rng_fill_bytes(raw, rng, sizeof(raw)) != sizeof(raw)) rc = errno != 0 ? errno : kErrRandomContext;
    *id_len = shape_message_id(raw, id);
  } while (rc == 0 && *id_len == 1 && id[0] == 0);
  rng_free(rng);
  return rc;
}

int connect_to(const LDAP_URL *url, Connection *c) {
  uint32_t addr = 0;
  if (net_resolve(url->host, &addr) != 0) return kErrLdapResolve;
  c->s = net_tcp_socket();
  if (c->s == kInvalidSocket) return kErrLdapConnect;
  const LDAP_ADDRESS address{addr, uint16_t(url->port)};
  return connect_with_timeout(c->s, &address, sizeof(address)) == 0 ? 0 : kErrLdapConnect;
}

int bind_anonymously(Connection *c) {
  int rc = send_all(c->s, kBindRequest, sizeof(kBindRequest));
  if (rc != 0) return rc;
  SocketSource source(c->s);
  Bytes reply;
  rc = read_message(&source, &reply);
  if (rc != 0) return rc;
  return check_bind_response(reply);
}

void *fetch(const LDAP_URL *url, int kind, int *code) {
  uint8_t id[4];
  size_t id_len = 0;
  if ((*code = draw_message_id(id, &id_len)) != 0) return nullptr;
  NetSession net;
  if (!net.started) return *code = kErrLdapConnect, nullptr;
  Connection c;
  Bytes search;
  if ((*code = connect_to(url, &c)) != 0 || (*code = bind_anonymously(&c)) != 0 ||
      (*code = encode_search(url, id, id_len, &search)) != 0 ||
      (*code = send_all(c.s, search.data(), search.size())) != 0)
    return nullptr;
  SocketSource source(c.s);
  void *value = read_search_replies(&source, url, kind, id, id_len, code);
  // The unbind is a courtesy: the connection closes right after it whatever happens.
  Bytes unbind;
  if (encode_unbind(id, id_len, &unbind) == 0) send_all(c.s, unbind.data(), unbind.size());
  return value;
}

}  // namespace
}  // namespace ldap
}  // namespace v7

int connect_with_timeout(v7::Socket s, const LDAP_ADDRESS *address, size_t address_len) {
  using namespace v7;
  if (s == kInvalidSocket || address == nullptr || address_len != sizeof(LDAP_ADDRESS))
    return with_errno(kErrInvalidParameter, -1);
  if (net_set_nonblocking(s, true) != 0) return with_errno(net_last_error(), -1);
  if (net_connect(s, address->ipv4, address->port) != 0) {
    int e = net_last_error();
    if (e != kNetWouldBlock && e != kNetInProgress) return with_errno(e, -1);
    unsigned ready = 0;
    int n = net_select(s, kNetReadable | kNetWritable | kNetExcept, kLdapWaitSeconds, &ready);
    if (n == 0) return with_errno(kErrConnectTimeout, -1);
    if (n < 0) return with_errno(net_last_error(), -1);
    // Writable only says the attempt has ended; its outcome is the socket's pending error.
    int pending = net_socket_error(s);
    if (pending == 0 && (ready & kNetExcept) != 0) pending = kNetNotConnected;
    if (pending != 0) return with_errno(pending, -1);
  }
  if (net_set_nonblocking(s, false) != 0) return with_errno(net_last_error(), -1);
  return 0;
}

void *ldap_fetch(const LDAP_URL *url, int kind) {
  if (url == nullptr || url->host == nullptr || url->dn == nullptr || url->port > 65535 ||
      v7::ldap::value_template(kind) == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, (void *)nullptr);
  int code = 0;
  void *value = v7::ldap::fetch(url, kind, &code);
  if (value == nullptr) return v7::with_errno(code, value);
  return value;
}
