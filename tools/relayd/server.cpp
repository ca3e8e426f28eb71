// Connections of the test relay server: reading raw records and HTTP requests, answering Hello
// with the canned relay certificate, and sending replies through the listener's faults.
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

#include "relay/record.h"
#include "tools/relayd/relayd.h"

namespace relayd {
namespace {

constexpr size_t kMaxRequestHead = 8192;

bool parse_number(const std::string &text, long *out) {
  char *end = nullptr;
  long value = strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != 0 || value < 0) return false;
  *out = value;
  return true;
}

bool parse_fault(const std::string &item, Faults *f) {
  size_t eq = item.find('=');
  std::string key = item.substr(0, eq), value = eq == std::string::npos ? "" : item.substr(eq + 1);
  long n = 0;
  if (key == "split") {
    std::stringstream offsets(value);
    for (std::string part; std::getline(offsets, part, '+');) {
      if (!parse_number(part, &n)) return false;
      f->split.push_back(size_t(n));
    }
    std::sort(f->split.begin(), f->split.end());
    return !f->split.empty();
  }
  if (key == "content-length") return !(f->content_length = value).empty();
  if (key == "zero-record") return f->zero_record = true;
  if (key == "head-oversize") return f->head_oversize = true;
  if (key == "head-malformed") return f->head_malformed = true;
  if (key == "no-content-length") return f->no_content_length = true;
  if (!parse_number(value, &n) || n > 600000) return false;
  if (key == "pause-ms") return f->pause_ms = int(n), true;
  if (key == "stall-at") return f->stall_at = n, true;
  if (key == "stall-ms") return f->stall_ms = int(n), true;
  if (key == "close-after") return f->close_after = n, true;
  return false;
}

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

// The reply record to a client's record, or none (empty) when nothing is to be answered.
// Returns false for a record this stage of the server does not handle.
bool answer(const std::vector<uint8_t> &record, const std::vector<uint8_t> &cert_der, const Faults &f,
            std::vector<uint8_t> *reply) {
  RelayRecordHeader header;
  reply->clear();
  if (relay_record_header_read(record.data(), record.size(), &header) != 0) return false;
  if (header.type == uint8_t(RelayRecordType::Alert)) return true;
  if (header.type != uint8_t(RelayRecordType::Hello)) return false;
  if (f.zero_record) {
    *reply = {uint8_t(RelayRecordType::ServerCertificate), uint8_t(header.version >> 8),
              uint8_t(header.version), 0, 0};
    return true;
  }
  // Below 3.0 the body is [length][certificate]; from 3.0 [length][items], tag 0 the certificate.
  std::vector<uint8_t> inner(3 + cert_der.size());
  size_t inner_len = 0;
  if (header.version >= relay_version(3, 0)) {
    relay_item_append(inner.data(), inner.size(), &inner_len, kRelayItemSignCert, cert_der.data(),
                      cert_der.size());
  } else {
    inner.assign(cert_der.begin(), cert_der.end());
    inner_len = inner.size();
  }
  reply->resize(kRelayHeaderLen + 2 + inner_len);
  size_t pos = 0;
  return relay_record_header_write(reply->data(), reply->size(), &pos,
                                   uint8_t(RelayRecordType::ServerCertificate), header.version,
                                   2 + inner_len) == 0 &&
         relay_lv_write(reply->data(), reply->size(), &pos, inner.data(), inner_len) == 0;
}

void serve_raw(int fd, const Listener &l, const std::vector<uint8_t> &cert_der) {
  std::vector<uint8_t> record(kRelayHeaderLen), reply;
  // A Hello below 3.0 has no body, so a zero length field is a record here.
  while (recv_exactly(fd, record.data(), kRelayHeaderLen)) {
    size_t body_len = size_t(record[3]) << 8 | record[4];
    record.resize(kRelayHeaderLen + body_len);
    if (!recv_exactly(fd, record.data() + kRelayHeaderLen, body_len)) return;
    if (!answer(record, cert_der, l.faults, &reply)) return;
    if (!reply.empty() && !send_reply(fd, reply, l.faults)) return;
    record.resize(kRelayHeaderLen);
  }
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

void serve_http(int fd, const Listener &l, const std::vector<uint8_t> &cert_der) {
  std::string pending;  // bytes received and not yet used
  std::vector<uint8_t> record, reply;
  char buf[4096];
  for (;;) {
    size_t end;
    while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
      if (pending.size() > kMaxRequestHead) return;
      ssize_t k = recv(fd, buf, sizeof(buf), 0);
      if (k <= 0) return;
      pending.append(buf, size_t(k));
    }
    std::string head = pending.substr(0, end + 2);
    pending.erase(0, end + 4);
    long length = 0;
    if (head.compare(0, 22, "POST /relay HTTP/1.1\r\n") != 0 ||
        !parse_number(header_value(head, "Content-Length"), &length) || length < long(kRelayHeaderLen) ||
        size_t(length) > kRelayMaxRecord) {
      return;
    }
    while (pending.size() < size_t(length)) {
      ssize_t k = recv(fd, buf, sizeof(buf), 0);
      if (k <= 0) return;
      pending.append(buf, size_t(k));
    }
    record.assign(pending.begin(), pending.begin() + length);
    pending.erase(0, size_t(length));
    const uint8_t *body;
    size_t body_len;
    // The body is exactly one record.
    if (relay_record_body(record.data(), record.size(), &body, &body_len) != 0 ||
        kRelayHeaderLen + body_len != record.size() || !answer(record, cert_der, l.faults, &reply)) {
      return;
    }
    if (!reply.empty() && !send_reply(fd, http_wrap(reply, l.faults), l.faults)) return;
  }
}

}  // namespace

bool parse_listener(const std::string &spec, Listener *out, std::string *error) {
  std::vector<std::string> fields;
  std::stringstream in(spec);
  for (std::string field; fields.size() < 3 && std::getline(in, field, ':');) fields.push_back(field);
  std::string faults;
  std::getline(in, faults);
  long port = 0;
  Listener l;
  bool ok = fields.size() == 3 && !fields[0].empty() && parse_number(fields[2], &port) && port <= 0xffff;
  if (ok) {
    l.name = fields[0];
    l.port = int(port);
    const std::string &m = fields[1];
    if (m == "raw")
      l.mode = Mode::Raw;
    else if (m == "http")
      l.mode = Mode::Http;
    else if (m == "silent")
      l.mode = Mode::Silent;
    else if (m == "refused")
      l.mode = Mode::Refused;
    else
      ok = false;
  }
  std::stringstream items(faults);
  for (std::string item; ok && std::getline(items, item, ',');) ok = parse_fault(item, &l.faults);
  if (!ok) {
    *error = "bad listener \"" + spec + "\" (NAME:raw|http|silent|refused:PORT[:FAULT,...])";
    return false;
  }
  *out = l;
  return true;
}

void serve_connection(int fd, const Listener &listener, const std::vector<uint8_t> &cert_der) {
  if (listener.mode == Mode::Raw) serve_raw(fd, listener, cert_der);
  if (listener.mode == Mode::Http) serve_http(fd, listener, cert_der);
  close(fd);
}

}  // namespace relayd
