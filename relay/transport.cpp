#include "relay/transport.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "platform/net/last_error.h"
#include "platform/ui/message_box.h"
#include "relay/record.h"
#include "v7config/deployment.h"

namespace {

constexpr uint16_t kWinsock11 = v7::net_version(1, 1);

bool valid_port(int port) { return port > 0 && port <= 0xffff; }

// Where a receive stands on its one deadline: none until the first byte of the reply has come,
// then that moment + rest_ms for everything after it, however the peer splits it.
struct ReplyClock {
  int rest_ms;
  bool begun;
  int64_t deadline;
};

// One recv: without bound before the reply has begun, else only until its deadline. The bytes
// received, or -1 with errno kErrRelayNetworkTimeout (the deadline passed) or kErrRelayRecvFailed
// (the peer closed or the socket failed).
int recv_some(v7::Socket socket, uint8_t *out, size_t len, ReplyClock *clock) {
  int n = clock->begun ? v7::net_recv_before(socket, out, int(len), clock->deadline)
                       : v7::net_recv(socket, out, int(len));
  if (n < 0 && v7::net_last_error() == v7::kNetTimedOut) {
    return v7::with_errno(v7::kErrRelayNetworkTimeout, -1);
  }
  if (n <= 0) return v7::with_errno(v7::kErrRelayRecvFailed, -1);
  if (!clock->begun) {
    clock->begun = true;
    clock->deadline = v7::net_clock_ms() + clock->rest_ms;
  }
  return n;
}

// Receives exactly len bytes: 0, or -1 with errno as recv_some.
int recv_exactly(v7::Socket socket, uint8_t *out, size_t len, ReplyClock *clock) {
  size_t have = 0;
  while (have < len) {
    int n = recv_some(socket, out + have, len - have, clock);
    if (n < 0) return -1;
    have += size_t(n);
  }
  return 0;
}

}  // namespace

const char *relay_host() { return V7_RELAY_HOST; }

void relay_free(void *buffer) { free(buffer); }

v7::Socket relay_connect(int port) { return relay_connect_within(port, kRelayConnectMs); }

v7::Socket relay_connect_within(int port, int ms) {
  if (!valid_port(port) || ms <= 0) {
    v7::set_thread_last_error(v7::kNetInvalidArgument);
    return v7::with_errno(v7::kErrInvalidParameter, v7::kInvalidSocket);
  }
  uint16_t answered = 0;
  int error = v7::net_startup(kWinsock11, &answered);
  if (error != 0) {
    v7::set_thread_last_error(uint32_t(error));
    return v7::with_errno(error, v7::kInvalidSocket);
  }
  uint32_t addr = 0;
  v7::Socket s = v7::net_tcp_socket();
  if (s != v7::kInvalidSocket && v7::net_resolve(relay_host(), &addr) == 0 &&
      v7::net_connect_within(s, addr, uint16_t(port), ms) == 0) {
    return s;
  }
  error = v7::net_last_error();
  // A silent host is the same time-out the probe reports.
  if (error == v7::kNetTimedOut) error = v7::kErrRelayNetworkTimeout;
  if (s != v7::kInvalidSocket) v7::net_close(s);
  v7::net_cleanup();
  v7::set_thread_last_error(uint32_t(error));
  return v7::with_errno(error, v7::kInvalidSocket);
}

int relay_send_all(int length, v7::Socket socket, const uint8_t *bytes) {
  if (socket == v7::kInvalidSocket || length < 0 || (bytes == nullptr && length != 0)) {
    return v7::with_errno(v7::kErrInvalidParameter, -1);
  }
  uint8_t piece[2048];
  int sent = 0;
  while (sent < length) {
    int n = length - sent < int(sizeof(piece)) ? length - sent : int(sizeof(piece));
    memcpy(piece, bytes + sent, size_t(n));
    int done = v7::net_send(socket, piece, n);
    v7::secure_wipe(piece, sizeof(piece));
    if (done < 0) return v7::with_errno(v7::net_last_error(), -1);
    sent += done;  // a short send goes on from the first byte that did not leave
  }
  return 0;
}

uint8_t *relay_frame_post(const uint8_t *record, int length, const char *host, int *out_len) {
  if (record == nullptr || length <= 0 || host == nullptr || out_len == nullptr) {
    return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  }
  char digits[64];
  int digits_len = snprintf(digits, sizeof(digits), "%d", length);
  size_t host_len = strlen(host);
  if (digits_len <= 0 || size_t(digits_len) >= sizeof(digits) || host_len > 0xffff) {
    return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  }
  const size_t size = size_t(length) + host_len + size_t(digits_len) + 90;
  if (size > size_t(INT_MAX)) return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  uint8_t *frame = static_cast<uint8_t *>(malloc(size + 1));  // + the zero snprintf ends with
  if (frame == nullptr) return v7::with_errno(v7::kErrOutOfMemory, nullptr);
  int head = snprintf(reinterpret_cast<char *>(frame), size + 1,
                      "POST /relay HTTP/1.1\r\nHost: %s\r\nContent-Type: application/octet-stream\r\n"
                      "Content-Length: %s\r\n\r\n",
                      host, digits);
  memcpy(frame + head, record, size_t(length));
  *out_len = int(size);
  return frame;
}

int relay_send_post(const uint8_t *record, const char *host, v7::Socket socket, int length) {
  if (socket == v7::kInvalidSocket) return v7::with_errno(v7::kErrInvalidParameter, -1);
  int frame_len = 0;
  uint8_t *frame = relay_frame_post(record, length, host, &frame_len);
  if (frame == nullptr) return -1;
  int rc = relay_send_all(frame_len, socket, frame);
  int error = errno;
  relay_free(frame);
  return v7::with_errno(error, rc);
}

int relay_recv_record(int *out_length, v7::Socket socket, uint8_t **out_record) {
  return relay_recv_record_within(out_length, socket, out_record, kRelayReplyRestMs);
}

int relay_recv_record_within(int *out_length, v7::Socket socket, uint8_t **out_record, int rest_ms) {
  if (socket == v7::kInvalidSocket || out_length == nullptr || out_record == nullptr || rest_ms <= 0) {
    return v7::with_errno(v7::kErrInvalidParameter, -1);
  }
  ReplyClock clock = {rest_ms, false, 0};
  uint8_t header[kRelayHeaderLen];
  if (recv_exactly(socket, header, sizeof(header), &clock) != 0) return -1;
  size_t body_len = v7::load_be16(header + 3);
  if (body_len == 0) return v7::with_errno(v7::kErrRelayMalformed, -1);
  uint8_t *record = static_cast<uint8_t *>(malloc(kRelayHeaderLen + body_len));
  if (record == nullptr) return v7::with_errno(v7::kErrOutOfMemory, -1);
  memcpy(record, header, sizeof(header));
  if (recv_exactly(socket, record + kRelayHeaderLen, body_len, &clock) != 0) {
    int error = errno;
    relay_free(record);
    return v7::with_errno(error, -1);
  }
  *out_record = record;
  *out_length = int(kRelayHeaderLen + body_len);
  return 0;
}

int relay_recv_response(int *out_length, v7::Socket socket, uint8_t **out_record) {
  return relay_recv_response_within(out_length, socket, out_record, kRelayReplyRestMs);
}

int relay_recv_response_within(int *out_length, v7::Socket socket, uint8_t **out_record, int rest_ms) {
  if (socket == v7::kInvalidSocket || out_length == nullptr || out_record == nullptr || rest_ms <= 0) {
    return v7::with_errno(v7::kErrInvalidParameter, -1);
  }
  HttpResponseReader *reader = static_cast<HttpResponseReader *>(malloc(sizeof(HttpResponseReader)));
  if (reader == nullptr) return v7::with_errno(v7::kErrOutOfMemory, -1);
  http_response_init(reader);
  ReplyClock clock = {rest_ms, false, 0};
  uint8_t chunk[kHttpChunk];
  int rc = 0, error = 0;
  while (rc == 0) {
    int n = recv_some(socket, chunk, http_response_wanted(reader), &clock);
    if (n < 0) {
      rc = -1;
      error = errno;
    } else {
      rc = http_response_feed(reader, chunk, size_t(n));
      error = rc < 0 ? errno : 0;
    }
  }
  if (rc > 0) *out_record = http_response_take_body(reader, out_length);
  http_response_cleanup(reader);
  free(reader);
  return rc > 0 ? 0 : v7::with_errno(error, -1);
}

int RelayProbeServer(int seconds, int port) {
  uint16_t answered = 0;
  int error = v7::net_startup(kWinsock11, &answered);
  if (error != 0 || answered != kWinsock11) {
    if (error == 0) v7::net_cleanup();
    v7::set_thread_last_error(uint32_t(error != 0 ? error : v7::kNetVersionNotSupported));
    return 0;
  }
  int reachable = 0;
  char text[64];
  uint32_t addr = 0;
  v7::Socket s = v7::net_tcp_socket();
  if (!valid_port(port)) {
    error = v7::kNetInvalidArgument;
  } else if (s == v7::kInvalidSocket || v7::net_resolve(relay_host(), &addr) != 0 ||
             v7::net_set_nonblocking(s, true) != 0) {
    error = v7::net_last_error();
  } else if (v7::net_connect(s, addr, uint16_t(port)) == 0) {
    reachable = 1;
  } else if ((error = v7::net_last_error()) != v7::kNetWouldBlock) {
    snprintf(text, sizeof(text), "code 1 : %d", error);
    v7::message_box(text, nullptr, 0);
  } else {
    // A refused connection shows in the exception set (Winsock) and leaves its reason in
    // SO_ERROR; without both a refused port would look reachable or wait out the time-out.
    unsigned ready = 0;
    int n = v7::net_select(s, v7::kNetReadable | v7::kNetWritable | v7::kNetExcept, seconds, &ready);
    if (n == 0) {
      error = v7::kErrRelayNetworkTimeout;
    } else if (n < 0) {
      error = v7::net_last_error();
      snprintf(text, sizeof(text), "code 2 : %d", error);
      v7::message_box(text, nullptr, 0);
    } else {
      error = v7::net_socket_error(s);
      if (error == 0 && (ready & v7::kNetExcept)) error = v7::kNetConnectionRefused;
      reachable = error == 0;
    }
  }
  if (s != v7::kInvalidSocket) v7::net_close(s);
  v7::net_cleanup();
  // Last: closing and cleaning up may overwrite the thread's last error.
  v7::set_thread_last_error(reachable ? 0 : uint32_t(error));
  return reachable;
}
