// Winsock side of the socket seam: the calls map one to one; Winsock already speaks the error
// numbers that callers expect.
// winsock2.h must come before windows.h, which would otherwise bring in the old winsock.h.
#include <winsock2.h>

#include <windows.h>

#include <cstring>

#include "platform/net/last_error.h"
#include "platform/net/net.h"

namespace v7 {

int net_startup(uint16_t requested, uint16_t *answered) {
  WSADATA data;
  int rc = WSAStartup(requested, &data);
  if (answered != nullptr) *answered = rc == 0 ? data.wVersion : 0;
  return rc;
}

void net_cleanup() { WSACleanup(); }

Socket net_tcp_socket() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return s == INVALID_SOCKET ? kInvalidSocket : Socket(s);
}

int net_close(Socket s) { return closesocket(SOCKET(s)) == 0 ? 0 : -1; }

int net_resolve(const char *host, uint32_t *addr) {
  if (host == nullptr || addr == nullptr) {
    WSASetLastError(WSAEFAULT);
    return -1;
  }
  unsigned long dotted = inet_addr(host);
  if (dotted != INADDR_NONE) {
    *addr = uint32_t(dotted);
    return 0;
  }
  const hostent *entry = gethostbyname(host);
  if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_length != 4 ||
      entry->h_addr_list[0] == nullptr) {
    if (entry != nullptr) WSASetLastError(WSANO_DATA);
    return -1;
  }
  memcpy(addr, entry->h_addr_list[0], 4);
  return 0;
}

int net_connect(Socket s, uint32_t addr, uint16_t port) {
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = addr;
  return connect(SOCKET(s), reinterpret_cast<const sockaddr *>(&to), sizeof(to)) == 0 ? 0 : -1;
}

int net_set_nonblocking(Socket s, bool on) {
  u_long mode = on ? 1 : 0;
  return ioctlsocket(SOCKET(s), FIONBIO, &mode) == 0 ? 0 : -1;
}

int net_select(Socket s, unsigned wanted, int seconds, unsigned *ready) {
  const int kMaxSeconds = 24 * 3600;
  return net_select_ms(s, wanted, seconds > 0 ? (seconds < kMaxSeconds ? seconds : kMaxSeconds) * 1000 : -1,
                       ready);
}

int net_select_ms(Socket s, unsigned wanted, int milliseconds, unsigned *ready) {
  fd_set sets[3];
  fd_set *used[3] = {nullptr, nullptr, nullptr};
  const unsigned kinds[3] = {kNetReadable, kNetWritable, kNetExcept};
  for (int i = 0; i < 3; i++) {
    FD_ZERO(&sets[i]);
    if (wanted & kinds[i]) {
      FD_SET(SOCKET(s), &sets[i]);
      used[i] = &sets[i];
    }
  }
  timeval limit = {milliseconds / 1000, (milliseconds % 1000) * 1000};
  int n = select(0, used[0], used[1], used[2], milliseconds >= 0 ? &limit : nullptr);
  unsigned events = 0;
  for (int i = 0; n > 0 && i < 3; i++) {
    if (used[i] != nullptr && FD_ISSET(SOCKET(s), used[i])) events |= kinds[i];
  }
  if (ready != nullptr) *ready = events;
  return n < 0 ? -1 : n;
}

int net_send(Socket s, const void *data, int len) {
  int n = send(SOCKET(s), static_cast<const char *>(data), len, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int net_recv(Socket s, void *data, int len) {
  int n = recv(SOCKET(s), static_cast<char *>(data), len, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int net_socket_error(Socket s) {
  int error = 0;
  int len = sizeof(error);
  if (getsockopt(SOCKET(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&error), &len) != 0) {
    return WSAGetLastError();
  }
  return error;
}

int net_last_error() { return WSAGetLastError(); }

void set_thread_last_error(uint32_t code) { SetLastError(code); }
uint32_t thread_last_error() { return GetLastError(); }

}  // namespace v7
