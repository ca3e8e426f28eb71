// Connections of the test relay server: reading raw records and HTTP requests (one record per
// POST on a kept-alive connection), handing them to the session engine and sending its replies
// through the listener's faults.
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "relay/record.h"
#include "tools/relayd/relayd.h"

namespace relayd {
namespace {

constexpr size_t kMaxRequestHead = 8192;

bool send_bytes(int fd, const uint8_t *p, size_t n) {
  while (n > 0) {
    ssize_t k = send(fd, p, n, MSG_NOSIGNAL);
    if (k <= 0) return false;
    p += k;
    n -= size_t(k);
  }
  return true;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Sends a reply through the faults; false when the connection is to end.
bool send_reply(int fd, const std::vector<uint8_t> &reply, const Faults &f) {
  size_t limit = reply.size();
  if (f.close_after >= 0 && size_t(f.close_after) < limit) limit = size_t(f.close_after);
  std::vector<size_t> cuts;
  for (size_t at : f.split) {
    if (at > 0 && at < limit) cuts.push_back(at);
  }
  if (f.stall_at > 0 && size_t(f.stall_at) < limit) cuts.push_back(size_t(f.stall_at));
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  cuts.push_back(limit);
  size_t from = 0;
  if (f.stall_at == 0) sleep_ms(f.stall_ms);  // a reply that is late as a whole
  for (size_t to : cuts) {
    if (from != 0) sleep_ms(long(from) == f.stall_at ? f.stall_ms : f.pause_ms);
    if (!send_bytes(fd, reply.data() + from, to - from)) return false;
    from = to;
  }
  return limit == reply.size();
}

bool recv_exactly(int fd, uint8_t *p, size_t n) {
  while (n > 0) {
    ssize_t k = recv(fd, p, n, 0);
    if (k <= 0) return false;
    p += k;
    n -= size_t(k);
  }
  return true;
}

std::string header_value(const std::string &head, const char *name) {
  size_t len = strlen(name);
  for (size_t at = head.find("\r\n"); at != std::string::npos; at = head.find("\r\n", at + 2)) {
    if (strncasecmp(head.c_str() + at + 2, name, len) == 0 && head.compare(at + 2 + len, 1, ":") == 0) {
      size_t from = head.find_first_not_of(" \t", at + 3 + len);
      return head.substr(from, head.find("\r\n", from) - from);
    }
  }
  return "";
}

bool parse_length(const std::string &text, long *out) {
  char *end = nullptr;
  long value = strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || value < 0) return false;
  *out = value;
  return true;
}

std::vector<uint8_t> http_wrap(const std::vector<uint8_t> &record, const Faults &f) {
  std::string head = f.head_malformed ? "HTPT/1.1 200 OK\r\n" : "HTTP/1.1 200 OK\r\n";
  head += "Content-Type: application/octet-stream\r\n";
  if (f.head_oversize) head += "X-Padding: " + std::string(4100, 'a') + "\r\n";
  if (!f.no_content_length) {
    head +=
        "Content-Length: " + (f.content_length.empty() ? std::to_string(record.size()) : f.content_length) +
        "\r\n";
  }
  head += "\r\n";
  std::vector<uint8_t> out(head.begin(), head.end());
  out.insert(out.end(), record.begin(), record.end());
  return out;
}

// One client connection in either transport.
class Connection : public Link {
 public:
  Connection(int fd, const Listener &l) : fd_(fd), l_(l) {}

  // The next record the client sent; false when it closed or sent something unusable.
  bool read_record(std::vector<uint8_t> *record) {
    return l_.mode == Mode::Http ? read_request(record) : read_raw(record);
  }

  bool send_record(const std::vector<uint8_t> &record) {
    std::vector<uint8_t> out = record;
    if (l_.faults.zero_record) out = {record[0], record[1], record[2], 0, 0};
    if (l_.mode == Mode::Http) out = http_wrap(out, l_.faults);
    return send_reply(fd_, out, l_.faults);
  }

  bool client_stirred() override {
    if (!pending_.empty()) return true;
    pollfd p = {fd_, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
  }

 private:
  // A Hello below 3.0 has no body, so a zero length field is a record here.
  bool read_raw(std::vector<uint8_t> *record) {
    record->resize(kRelayHeaderLen);
    if (!recv_exactly(fd_, record->data(), kRelayHeaderLen)) return false;
    size_t body_len = size_t((*record)[3]) << 8 | (*record)[4];
    record->resize(kRelayHeaderLen + body_len);
    return recv_exactly(fd_, record->data() + kRelayHeaderLen, body_len);
  }

  bool fill(size_t want) {
    char buf[4096];
    while (pending_.size() < want) {
      ssize_t k = recv(fd_, buf, sizeof(buf), 0);
      if (k <= 0) return false;
      pending_.append(buf, size_t(k));
    }
    return true;
  }

  bool read_request(std::vector<uint8_t> *record) {
    size_t end;
    while ((end = pending_.find("\r\n\r\n")) == std::string::npos) {
      if (pending_.size() > kMaxRequestHead || !fill(pending_.size() + 1)) return false;
    }
    std::string head = pending_.substr(0, end + 2);
    pending_.erase(0, end + 4);
    long length = 0;
    if (head.compare(0, 22, "POST /relay HTTP/1.1\r\n") != 0 ||
        !parse_length(header_value(head, "Content-Length"), &length) || length < long(kRelayHeaderLen) ||
        size_t(length) > kRelayMaxRecord || !fill(size_t(length))) {
      return false;
    }
    record->assign(pending_.begin(), pending_.begin() + length);
    pending_.erase(0, size_t(length));
    // The body is exactly one record.
    const uint8_t *body;
    size_t body_len;
    return relay_record_body(record->data(), record->size(), &body, &body_len) == 0 &&
           kRelayHeaderLen + body_len == record->size();
  }

  int fd_;
  const Listener &l_;
  std::string pending_;  // HTTP: bytes received and not yet used
};

}  // namespace

void serve_connection(int fd, const Listener &listener, const ServerConfig &config) {
  {
    Connection c(fd, listener);
    Engine engine(config, listener.faults);
    std::vector<uint8_t> record;
    while (c.read_record(&record)) {
      Outcome o = engine.handle(record, &c);
      if (o.kind == Outcome::Close) break;
      bool sending = o.kind == Outcome::Reply || o.kind == Outcome::LastReply;
      if (sending && !c.send_record(o.record)) break;
      if (o.kind == Outcome::LastReply) break;
    }
  }
  close(fd);
}

}  // namespace relayd
