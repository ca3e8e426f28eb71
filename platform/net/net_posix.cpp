// BSD-socket side of the socket seam. Errors are kept per thread as Windows numbers, so callers
// written against Winsock read the same codes here.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/net/last_error.h"
#include "platform/net/net.h"

namespace v7 {
namespace {

thread_local int t_socket_error = 0;
thread_local uint32_t t_last_error = 0;

int winsock_error(int e) {
  switch (e) {
    case 0:
      return 0;
    case EINTR:
      return kNetInterrupted;
    case EFAULT:
      return kNetBadAddress;
    case EMFILE:
    case ENFILE:
      return kNetTooManySockets;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
      return kNetWouldBlock;
    case EALREADY:
      return kNetAlreadyInProgress;
    case EBADF:
    case ENOTSOCK:
      return kNetNotSocket;
    case EMSGSIZE:
      return kNetMessageSize;
    case EADDRINUSE:
      return kNetAddressInUse;
    case EADDRNOTAVAIL:
      return kNetAddressNotAvailable;
    case ENETDOWN:
      return kNetNetworkDown;
    case ENETUNREACH:
      return kNetNetworkUnreachable;
    case ECONNABORTED:
      return kNetConnectionAborted;
    // Writing to a connection the peer has dropped is a reset to a Winsock caller.
    case EPIPE:
    case ECONNRESET:
      return kNetConnectionReset;
    case ENOBUFS:
    case ENOMEM:
      return kNetNoBuffers;
    case EISCONN:
      return kNetIsConnected;
    case ENOTCONN:
      return kNetNotConnected;
    case ESHUTDOWN:
      return kNetShutdown;
    case ETIMEDOUT:
      return kNetTimedOut;
    case ECONNREFUSED:
      return kNetConnectionRefused;
    case EHOSTDOWN:
      return kNetHostDown;
    case EHOSTUNREACH:
      return kNetHostUnreachable;
    default:
      return kNetInvalidArgument;
  }
}

int fail(int e) {
  t_socket_error = winsock_error(e);
  return -1;
}

int fd_of(Socket s) { return s >= 0 && s <= 0x7fffffff ? int(s) : -1; }

}  // namespace

int net_startup(uint16_t requested, uint16_t *answered) {
  // Nothing to start; answer as Winsock does: the version asked for, at most 2.2.
  int major = requested & 0xff, minor = requested >> 8;
  if (major == 0) {
    if (answered != nullptr) *answered = 0;
    return kNetVersionNotSupported;
  }
  if (major > 2 || (major == 2 && minor > 2)) requested = net_version(2, 2);
  if (answered != nullptr) *answered = requested;
  return 0;
}

void net_cleanup() {}

Socket net_tcp_socket() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return fail(errno), kInvalidSocket;
  return fd;
}

int net_close(Socket s) {
  int fd = fd_of(s);
  if (fd < 0) return fail(EBADF);
  return close(fd) == 0 ? 0 : fail(errno);
}

int net_resolve(const char *host, uint32_t *addr) {
  if (host == nullptr || addr == nullptr) return fail(EFAULT);
  in_addr dotted;
  if (inet_pton(AF_INET, host, &dotted) == 1) {
    *addr = dotted.s_addr;
    return 0;
  }
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo *found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
    t_socket_error = kNetHostNotFound;
    return -1;
  }
  *addr = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return 0;
}

int net_connect(Socket s, uint32_t addr, uint16_t port) {
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = addr;
  return connect(fd_of(s), reinterpret_cast<const sockaddr *>(&to), sizeof(to)) == 0 ? 0 : fail(errno);
}

int net_set_nonblocking(Socket s, bool on) {
  int fd = fd_of(s);
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0) return fail(errno);
  flags = on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
  return fcntl(fd, F_SETFL, flags) == 0 ? 0 : fail(errno);
}

int net_select(Socket s, unsigned wanted, int seconds, unsigned *ready) {
  const int kMaxSeconds = 24 * 3600;  // keeps the milliseconds within an int
  return net_select_ms(s, wanted, seconds > 0 ? (seconds < kMaxSeconds ? seconds : kMaxSeconds) * 1000 : -1,
                       ready);
}

int net_select_ms(Socket s, unsigned wanted, int milliseconds, unsigned *ready) {
  // poll, not select: select cannot take a descriptor at or above FD_SETSIZE.
  pollfd p = {fd_of(s), 0, 0};
  if (wanted & kNetReadable) p.events |= POLLIN;
  if (wanted & kNetWritable) p.events |= POLLOUT;
  if (ready != nullptr) *ready = 0;
  if (p.fd < 0) return fail(EBADF);
  const int limit_ms = milliseconds >= 0 ? milliseconds : -1;
  // A signal does not end a Winsock select early; wait out the rest of the time instead.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit_ms);
  int n, wait_ms = limit_ms;
  while ((n = poll(&p, 1, wait_ms)) < 0 && errno == EINTR) {
    if (limit_ms < 0) continue;
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    wait_ms = left.count() > 0 ? int(left.count()) : 0;
  }
  if (n < 0) return fail(errno);
  if (p.revents & POLLNVAL) return fail(EBADF);
  // Winsock reports a failed connect in the exception set only; POSIX marks the socket readable
  // and writable as well. Report it the Winsock way so callers cannot take it for a connection.
  // A caller that does not watch the exception set learns of the error from its next recv or
  // send, as on Winsock, where a reset connection reads as readable.
  unsigned events = 0;
  if ((p.revents & POLLERR) && (wanted & kNetExcept)) {
    events = kNetExcept;
  } else {
    if ((wanted & kNetReadable) && (p.revents & (POLLIN | POLLHUP | POLLERR))) events |= kNetReadable;
    if ((wanted & kNetWritable) && (p.revents & (POLLOUT | POLLERR))) events |= kNetWritable;
  }
  if (ready != nullptr) *ready = events;
  return __builtin_popcount(events);
}

int net_send(Socket s, const void *data, int len) {
  if (len < 0) return fail(EINVAL);
  ssize_t n;
  do n = send(fd_of(s), data, size_t(len), MSG_NOSIGNAL);
  while (n < 0 && errno == EINTR);
  return n < 0 ? fail(errno) : int(n);
}

int net_recv(Socket s, void *data, int len) {
  if (len < 0) return fail(EINVAL);
  ssize_t n;
  do n = recv(fd_of(s), data, size_t(len), 0);
  while (n < 0 && errno == EINTR);
  return n < 0 ? fail(errno) : int(n);
}

int net_socket_error(Socket s) {
  int error = 0;
  socklen_t len = sizeof(error);
  if (getsockopt(fd_of(s), SOL_SOCKET, SO_ERROR, &error, &len) != 0) return fail(errno), t_socket_error;
  return winsock_error(error);
}

int net_last_error() { return t_socket_error; }

void set_thread_last_error(uint32_t code) { t_last_error = code; }
uint32_t thread_last_error() { return t_last_error; }

}  // namespace v7
