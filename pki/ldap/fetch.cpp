// One fetch over the socket seam: connect within the limit, bind, search, read the replies,
// unbind. TCP is a stream, so every message is gathered read by read, chunk by chunk; the whole
// message, not each read, must arrive within the message limit, and the whole fetch within its
// budget, so that a server dripping a piece now and then cannot hold the caller for long.

#include <atomic>
#include <cerrno>
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
using Milliseconds = std::chrono::milliseconds;

// The limits in force; the test seam swaps them while fetches may run on other threads.
std::atomic<uint32_t> g_message_ms{kLdapLimits.message_ms};
std::atomic<uint32_t> g_fetch_ms{kLdapLimits.fetch_ms};
std::atomic<uint32_t> g_lookup_ms{kLdapLimits.lookup_ms};

Clock::time_point after(uint32_t ms) { return Clock::now() + Milliseconds(ms); }

// When one step (a connect, a request, a reply) must be done, and the code of missing that: its
// own when its own deadline comes first, kErrLdapTimeLimit when the fetch's end does.
struct Step {
  Clock::time_point at;
  int late_code;
};

class Deadlines {
 public:
  Deadlines(uint32_t message_ms, Clock::time_point fetch_end) : message_ms_(message_ms), end_(fetch_end) {}
  Step step(int own_code) const {
    const Clock::time_point own = after(message_ms_);
    return own < end_ ? Step{own, own_code} : Step{end_, kErrLdapTimeLimit};
  }
  bool spent() const { return Clock::now() >= end_; }

 private:
  uint32_t message_ms_;
  Clock::time_point end_;
};

enum class Wait { kReady, kLate, kFailed };

// Waits for one of the events on s until the deadline. A select that ends early without an event
// (a coarse timer) is waited again, so only the clock says when the step is late.
Wait wait_for(Socket s, unsigned wanted, Clock::time_point deadline, unsigned *ready) {
  for (;;) {
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return Wait::kLate;
    const auto left = std::chrono::ceil<Milliseconds>(deadline - now).count();
    const int ms = left < 0x7FFFFFFF ? int(left) : 0x7FFFFFFF;
    *ready = 0;
    const int n = net_wait(s, wanted, ms, ready);
    if (n < 0) return Wait::kFailed;
    if (n > 0) return (*ready & wanted) != 0 ? Wait::kReady : Wait::kFailed;
  }
}

// The bytes of one message, pulled by read_message in up to three reads: the whole message, not
// each read, must arrive by the deadline set when it begins. The seam's receive waits against
// that deadline on the same monotonic clock; missing it gives the step's late code.
class SocketSource : public ByteSource {
 public:
  SocketSource(Socket s, const Deadlines &deadlines)
      : s_(s), deadlines_(deadlines), step_(deadlines.step(kErrLdapRecv)) {}
  void message_begins() override { step_ = deadlines_.step(kErrLdapRecv); }
  int pull(uint8_t *out, size_t n) override {
    const int64_t deadline = std::chrono::ceil<Milliseconds>(step_.at.time_since_epoch()).count();
    size_t got = 0;
    while (got < n) {
      size_t chunk = n - got < 0x10000 ? n - got : 0x10000;
      int r = net_recv_before(s_, out + got, int(chunk), deadline);
      if (r == 0) return kErrLdapRecv;  // the peer closed before the message was whole
      if (r < 0) {
        const int e = net_last_error();
        if (e == kNetTimedOut) return step_.late_code;
        if (e == kNetWouldBlock || e == kNetInterrupted) continue;
        return kErrLdapRecv;
      }
      got += size_t(r);
    }
    return 0;
  }

 private:
  Socket s_;
  const Deadlines &deadlines_;
  Step step_;
};

int send_all(Socket s, const uint8_t *data, size_t n, const Deadlines &deadlines) {
  size_t sent = 0;
  const Step step = deadlines.step(kErrLdapSend);
  while (sent < n) {
    unsigned ready = 0;
    const Wait w = wait_for(s, kNetWritable, step.at, &ready);
    if (w != Wait::kReady) return w == Wait::kLate ? step.late_code : kErrLdapSend;
    size_t chunk = n - sent < 0x10000 ? n - sent : 0x10000;
    int r = net_send(s, data + sent, int(chunk));
    if (r < 0 && (net_last_error() == kNetWouldBlock || net_last_error() == kNetInterrupted)) continue;
    if (r <= 0) return kErrLdapSend;
    sent += size_t(r);
  }
  return 0;
}

// connect_with_timeout with the deadline given: 0, or -1 with errno.
int connect_until(Socket s, const LDAP_ADDRESS *address, Clock::time_point deadline) {
  const auto left = std::chrono::ceil<Milliseconds>(deadline - Clock::now()).count();
  if (left <= 0) return with_errno(kErrConnectTimeout, -1);
  if (net_connect_within(s, address->ipv4, address->port, left < 0x7FFFFFFF ? int(left) : 0x7FFFFFFF) == 0)
    return 0;
  const int e = net_last_error();
  return with_errno(e == kNetTimedOut ? kErrConnectTimeout : e, -1);
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

int connect_to(const LDAP_URL *url, Connection *c, const Deadlines &deadlines) {
  uint32_t addr = 0;
  if (net_resolve(url->host, &addr) != 0) return kErrLdapResolve;
  c->s = net_tcp_socket();
  if (c->s == kInvalidSocket) return kErrLdapConnect;
  const LDAP_ADDRESS address{addr, uint16_t(url->port)};
  const Step step = deadlines.step(kErrLdapConnect);
  if (connect_until(c->s, &address, step.at) == 0) return 0;
  return errno == kErrConnectTimeout ? step.late_code : kErrLdapConnect;
}

int bind_anonymously(Connection *c, const Deadlines &deadlines) {
  int rc = send_all(c->s, kBindRequest, sizeof(kBindRequest), deadlines);
  if (rc != 0) return rc;
  SocketSource source(c->s, deadlines);
  Bytes reply;
  rc = read_message(&source, &reply);
  if (rc != 0) return rc;
  return check_bind_response(reply);
}

void *fetch(const LDAP_URL *url, int kind, const LDAP_BUDGET *budget, int *code) {
  Clock::time_point end = after(g_fetch_ms.load());
  if (budget != nullptr && Clock::time_point(Milliseconds(budget->end_ms)) < end)
    end = Clock::time_point(Milliseconds(budget->end_ms));
  const Deadlines deadlines(g_message_ms.load(), end);
  if (deadlines.spent()) return *code = kErrLdapTimeLimit, nullptr;
  uint8_t id[4];
  size_t id_len = 0;
  if ((*code = draw_message_id(id, &id_len)) != 0) return nullptr;
  NetSession net;
  if (!net.started) return *code = kErrLdapConnect, nullptr;
  Connection c;
  Bytes search;
  if ((*code = connect_to(url, &c, deadlines)) != 0 || (*code = bind_anonymously(&c, deadlines)) != 0 ||
      (*code = encode_search(url, id, id_len, &search)) != 0 ||
      (*code = send_all(c.s, search.data(), search.size(), deadlines)) != 0)
    return nullptr;
  SocketSource source(c.s, deadlines);
  void *value = read_search_replies(&source, url, kind, id, id_len, code);
  // The unbind is a courtesy: the connection closes right after it whatever happens.
  Bytes unbind;
  if (encode_unbind(id, id_len, &unbind) == 0) send_all(c.s, unbind.data(), unbind.size(), deadlines);
  return value;
}

}  // namespace
}  // namespace ldap
}  // namespace v7

int connect_with_timeout(v7::Socket s, const LDAP_ADDRESS *address, size_t address_len) {
  using namespace v7;
  if (s == kInvalidSocket || address == nullptr || address_len != sizeof(LDAP_ADDRESS))
    return with_errno(kErrInvalidParameter, -1);
  return ldap::connect_until(s, address, ldap::after(ldap::g_message_ms.load()));
}

void ldap_set_limits_hook(const LDAP_LIMITS *limits) {
  const LDAP_LIMITS &l = limits != nullptr ? *limits : kLdapLimits;
  v7::ldap::g_message_ms = l.message_ms;
  v7::ldap::g_fetch_ms = l.fetch_ms;
  v7::ldap::g_lookup_ms = l.lookup_ms;
}

void ldap_budget_start(LDAP_BUDGET *budget) {
  using namespace std::chrono;
  if (budget == nullptr) return;
  budget->end_ms =
      duration_cast<milliseconds>(v7::ldap::after(v7::ldap::g_lookup_ms.load()).time_since_epoch()).count();
}

void *ldap_fetch_within(const LDAP_URL *url, int kind, const LDAP_BUDGET *budget) {
  if (url == nullptr || url->host == nullptr || url->dn == nullptr || url->port > 65535 ||
      v7::ldap::value_template(kind) == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, (void *)nullptr);
  int code = 0;
  void *value = v7::ldap::fetch(url, kind, budget, &code);
  if (value == nullptr) return v7::with_errno(code, value);
  return value;
}

void *ldap_fetch(const LDAP_URL *url, int kind) { return ldap_fetch_within(url, kind, nullptr); }
