// Stream sockets behind one Winsock-1.1-shaped interface: Winsock on Windows, BSD sockets
// elsewhere. Callers see the Windows error numbers on every platform, so code that reports or
// tests a socket error (10035 would-block, 10061 refused, ...) behaves the same in both builds.
#pragma once

#include <cstddef>
#include <cstdint>

namespace v7 {

// A SOCKET on Windows, a descriptor elsewhere. Winsock's INVALID_SOCKET is ~0, which is -1 here.
using Socket = intptr_t;
constexpr Socket kInvalidSocket = -1;

// The Winsock numbers, used as they are on Windows and mapped from errno elsewhere.
enum : int {
  kNetInterrupted = 10004,
  kNetBadAddress = 10014,
  kNetInvalidArgument = 10022,
  kNetTooManySockets = 10024,
  // A non-blocking connect that has not finished yet is reported as would-block on every
  // platform (EINPROGRESS natively), as Winsock does.
  kNetWouldBlock = 10035,
  kNetInProgress = 10036,  // also a connect still under way, on some stacks
  kNetAlreadyInProgress = 10037,
  kNetNotSocket = 10038,
  kNetMessageSize = 10040,
  kNetAddressInUse = 10048,
  kNetAddressNotAvailable = 10049,
  kNetNetworkDown = 10050,
  kNetNetworkUnreachable = 10051,
  kNetConnectionAborted = 10053,
  kNetConnectionReset = 10054,
  kNetNoBuffers = 10055,
  kNetIsConnected = 10056,
  kNetNotConnected = 10057,
  kNetShutdown = 10058,
  kNetTimedOut = 10060,
  kNetConnectionRefused = 10061,
  kNetHostDown = 10064,
  kNetHostUnreachable = 10065,
  kNetVersionNotSupported = 10092,
  kNetNotInitialised = 10093,
  kNetHostNotFound = 11001,
};

// Version words as Winsock packs them: major in the low byte, minor in the high byte.
constexpr uint16_t net_version(int major, int minor) { return uint16_t((minor << 8) | major); }

// Starts the socket layer asking for `requested`; `answered` receives the version granted.
// 0, or a socket error number. Every success needs one net_cleanup.
int net_startup(uint16_t requested, uint16_t *answered);
void net_cleanup();

// An IPv4 TCP stream socket, or kInvalidSocket. Writes on it never raise SIGPIPE.
Socket net_tcp_socket();
int net_close(Socket s);

// The IPv4 address of `host` in network byte order: a dotted address first, otherwise a name
// lookup (the first address). 0, or -1 with the last socket error set.
int net_resolve(const char *host, uint32_t *addr);

// 0 or -1 with the last socket error set; a non-blocking connect in progress is kNetWouldBlock.
int net_connect(Socket s, uint32_t addr, uint16_t port);
int net_set_nonblocking(Socket s, bool on);

// Waits on one socket for the events in `wanted` (kNetReadable | kNetWritable | kNetExcept);
// the time-out is in whole seconds and none when `seconds` <= 0. Returns the number of events in
// `ready` (0 on a time-out) or -1 with the last socket error set. A failed connect shows as
// kNetExcept, as Winsock reports it.
enum : unsigned { kNetReadable = 1, kNetWritable = 2, kNetExcept = 4 };
int net_select(Socket s, unsigned wanted, int seconds, unsigned *ready);
// The same with the time-out in milliseconds: none when negative, a look without waiting at 0.
int net_select_ms(Socket s, unsigned wanted, int milliseconds, unsigned *ready);

// The bytes moved (recv: 0 when the peer closed), or -1 with the last socket error set.
int net_send(Socket s, const void *data, int len);
int net_recv(Socket s, void *data, int len);

// The socket's pending error (SO_ERROR) as a Windows number, 0 when none; a socket whose option
// cannot be read gives the last socket error.
int net_socket_error(Socket s);

// The calling thread's last socket error (WSAGetLastError).
int net_last_error();

}  // namespace v7
