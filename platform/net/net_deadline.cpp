// The waits in whole seconds, connecting and receiving against a deadline, for either side of
// the socket seam: all are built on net_wait, so the Winsock and BSD builds give up at the same
// moments.
#include <chrono>
#include <climits>

#include "platform/net/internal.h"
#include "platform/net/net.h"

namespace v7 {

int64_t net_clock_ms() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

int net_select(Socket s, unsigned wanted, int seconds, unsigned *ready) {
  const int kMaxSeconds = 24 * 3600;  // keeps the milliseconds within an int
  const int ms = seconds > 0 ? (seconds < kMaxSeconds ? seconds : kMaxSeconds) * 1000 : -1;
  return net_wait(s, wanted, ms, ready);
}

int net_connect_within(Socket s, uint32_t addr, uint16_t port, int ms) {
  if (net_set_nonblocking(s, true) != 0) return -1;
  int error = net_connect(s, addr, port) == 0 ? 0 : net_last_error();
  if (error == kNetWouldBlock || error == kNetInProgress) {
    // A refused attempt shows in the exception set and leaves its reason in SO_ERROR; a silent
    // one shows nowhere until the time is up.
    unsigned ready = 0;
    int n = net_wait(s, kNetWritable | kNetExcept, ms, &ready);
    if (n == 0) {
      error = kNetTimedOut;
    } else if (n < 0) {
      error = net_last_error();
    } else {
      error = net_socket_error(s);
      if (error == 0 && (ready & kNetExcept)) error = kNetConnectionRefused;
    }
  }
  // Everything after the connect expects a blocking socket.
  if (net_set_nonblocking(s, false) != 0 && error == 0) error = net_last_error();
  if (error == 0) return 0;
  net_set_last_error(error);
  return -1;
}

int net_recv_before(Socket s, void *data, int len, int64_t deadline) {
  for (;;) {
    int64_t left = deadline - net_clock_ms();
    if (left < 0) left = 0;
    unsigned ready = 0;
    int n = net_wait(s, kNetReadable, left < INT_MAX ? int(left) : INT_MAX, &ready);
    if (n < 0) return -1;
    // Readable: data, the peer's close or a pending error, none of which makes recv block.
    if (n > 0) return net_recv(s, data, len);
    if (left == 0) {
      net_set_last_error(kNetTimedOut);
      return -1;
    }
  }
}

}  // namespace v7
