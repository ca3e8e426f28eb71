#include "tools/phone/phone.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "platform/errors/error_codes.h"
#include "relay/transport.h"

namespace phone {

namespace {

Bytes take(uint8_t *p, size_t n) {
  Bytes b(p, p + n);
  free(p);
  return b;
}

int send_record(Link *link, const Bytes &record) {
  if (link->transport == kRelayTransportHttp)
    return relay_send_post(record.data(), relay_host(), link->socket, int(record.size()));
  return relay_send_all(int(record.size()), link->socket, record.data());
}

// The time-out in milliseconds, -1 for none; a day at most, which keeps it within an int.
int timeout_ms(int seconds) {
  const int kMaxSeconds = 24 * 3600;
  return seconds <= 0 ? -1 : (seconds < kMaxSeconds ? seconds : kMaxSeconds) * 1000;
}

// A step's failure: the pending alert goes out without waiting for anything.
Result failed(RelaySession *s, Link *link, const char *where, int code) {
  Result r;
  r.code = code;
  r.where = where;
  if (code == -2) {
    uint8_t *alert = nullptr;
    size_t n = relay_alert_record(s, &alert);
    if (n != 0) send_record(link, take(alert, n));
  }
  const char *text = relay_failure_text(s, 2);
  if (code == -10) r.text = "Disconnected from relay server.";
  if (code == -3) r.text = "No reply from relay server.";
  if (code != -10 && code != -3 && text != nullptr) r.text = text;
  return r;
}

// Runs one step that builds a record from the last reply, then exchanges that record.
// 0 or the failing result.
template <typename Step>
int step_and_exchange(RelaySession *s, Link *link, Step step, Bytes *reply, bool want_reply, Result *result,
                      const char *where) {
  uint8_t *out = nullptr;
  size_t n = 0;
  int r = step(&out, &n);
  if (r != 0) {
    *result = failed(s, link, where, r);
    return r;
  }
  Bytes rec = take(out, n);
  reply->clear();
  r = link_exchange(link, rec, want_reply ? reply : nullptr);
  if (r != 0) *result = failed(s, link, where, r);
  return r;
}

}  // namespace

bool link_open(Link *link, int transport, int port, int timeout_seconds) {
  link->transport = transport;
  link->timeout_seconds = timeout_seconds;
  const int ms = timeout_ms(timeout_seconds);
  link->socket = relay_connect_within(port, ms > 0 ? ms : kRelayConnectMs);
  return link->socket != v7::kInvalidSocket;
}

void link_close(Link *link) {
  if (link->socket == v7::kInvalidSocket) return;
  v7::net_close(link->socket);
  v7::net_cleanup();
  link->socket = v7::kInvalidSocket;
}

int link_exchange(Link *link, const Bytes &record, Bytes *reply) {
  if (link->socket == v7::kInvalidSocket || send_record(link, record) != 0) return -10;
  if (reply == nullptr) return 0;
  // The time-out bounds the whole reply: the wait for its first byte and the rest of it alike.
  const int limit = timeout_ms(link->timeout_seconds);
  const int64_t deadline = v7::net_clock_ms() + limit;
  unsigned ready = 0;
  int events = v7::net_wait(link->socket, v7::kNetReadable | v7::kNetExcept, limit, &ready);
  if (events == 0) return -3;
  if (events < 0) return -10;
  const int64_t left = deadline - v7::net_clock_ms();
  const int rest_ms = limit < 0 ? kRelayReplyRestMs : left > 0 ? int(left) : 1;
  uint8_t *rec = nullptr;
  int n = 0;
  int r = link->transport == kRelayTransportHttp ? relay_recv_response_within(&n, link->socket, &rec, rest_ms)
                                                 : relay_recv_record_within(&n, link->socket, &rec, rest_ms);
  if (r != 0) return errno == v7::kErrRelayNetworkTimeout ? -3 : -10;
  *reply = take(rec, size_t(n));
  return 0;
}

Result run_sender(RelaySession *s, Link *link, const std::string &auth_code) {
  Result result;
  Bytes reply;
  auto hello = [&](uint8_t **o, size_t *n) { return relay_step_hello(s, o, n); };
  auto step1 = [&](uint8_t **o, size_t *n) {
    return relay_sender_step1(s, reply.data(), reply.size(), auth_code.c_str(), o, n);
  };
  auto step2 = [&](uint8_t **o, size_t *n) {
    return relay_sender_step2(s, reply.data(), reply.size(), o, n);
  };
  auto step3 = [&](uint8_t **o, size_t *n) {
    return relay_sender_step3(s, reply.data(), reply.size(), o, n);
  };
  if (step_and_exchange(s, link, hello, &reply, true, &result, "Hello") != 0 ||
      step_and_exchange(s, link, step1, &reply, true, &result, "Step1") != 0 ||
      step_and_exchange(s, link, step2, &reply, true, &result, "Step2") != 0 ||
      step_and_exchange(s, link, step3, &reply, true, &result, "Step3") != 0)
    return result;
  int r = relay_sender_finish(s, reply.data(), reply.size());
  return r == 0 ? result : failed(s, link, "Finish", r);
}

Result run_recipient(RelaySession *s, Link *link, const std::function<void(const std::string &)> &shown,
                     const std::function<bool(const std::string &)> &confirm) {
  Result result;
  Bytes reply;
  std::string code, subject;
  auto hello = [&](uint8_t **o, size_t *n) { return relay_step_hello(s, o, n); };
  auto step1 = [&](uint8_t **o, size_t *n) {
    return relay_recipient_step1(s, reply.data(), reply.size(), o, n);
  };
  // The code is shown before the notice goes out: the reply comes only once a sender has typed it.
  auto step2 = [&](uint8_t **o, size_t *n) {
    char *text = nullptr;
    int r = relay_recipient_step2(s, reply.data(), reply.size(), &text, o, n);
    if (r == 0) {
      code = text;
      v7::secure_wipe(text, strlen(text));
      free(text);
      if (shown) shown(code);
    }
    return r;
  };
  auto step3 = [&](uint8_t **o, size_t *n) {
    char *text = nullptr;
    int r = relay_recipient_step3(s, reply.data(), reply.size(), &text, o, n);
    if (r == 0) {
      subject = text;
      free(text);
    }
    return r;
  };
  if (step_and_exchange(s, link, hello, &reply, true, &result, "Hello") != 0 ||
      step_and_exchange(s, link, step1, &reply, true, &result, "Step1") != 0 ||
      step_and_exchange(s, link, step2, &reply, true, &result, "Step2") != 0)
    return result;
  uint8_t *out = nullptr;
  size_t n = 0;
  int r = step3(&out, &n);
  if (r != 0) return failed(s, link, "Step3", r);
  Bytes keys = take(out, n);
  if (confirm && !confirm(subject)) {
    result.code = -1;
    result.where = "Step3";
    result.text = "The user refused the certificate.";
    return result;
  }
  if ((r = link_exchange(link, keys, &reply)) != 0) return failed(s, link, "Step3", r);
  if ((r = relay_recipient_step4(s, reply.data(), reply.size())) != 0) return failed(s, link, "Step4", r);
  if ((r = relay_recipient_close(s, &out, &n)) != 0) return failed(s, link, "Finish", r);
  if (link_exchange(link, take(out, n), nullptr) != 0) return failed(s, link, "Finish", -10);
  return result;
}

}  // namespace phone
