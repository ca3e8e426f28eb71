// The connection to the relay server. Records travel raw (back to back) or one per HTTP request
// ("POST /relay HTTP/1.1" on one kept-alive connection, each reply record the body of one
// response). The relay host is the deployment's; callers choose the port.
//
// Every receive reads until the bytes it needs have arrived, the peer has closed, the socket
// has failed or the reply's deadline has passed: TCP delivers a record in whatever pieces it
// likes. The wait for the first byte of a reply has no bound here (a long poll may take as long as
// the user lets it; the caller's own wait on the socket decides), but once a reply has begun, the
// rest of it must arrive within one deadline for the whole record or response, so a peer that
// stalls half-way, or announces more than it sends, cannot hold the reader for ever.
#pragma once

#include <cstdint>

#include "platform/net/net.h"
#include "relay/http_response.h"

// Transport kinds.
enum : int { kRelayTransportRaw = 1, kRelayTransportHttp = 2 };

// How long a connect may take, and how long the rest of a reply may take once its first byte has
// come (one record, or one HTTP response with its head), in milliseconds.
constexpr int kRelayConnectMs = 10000;
constexpr int kRelayReplyRestMs = 30000;

// The relay host of this deployment: the name or dotted address used for the probe, the
// connection and the HTTP Host header.
const char *relay_host();

// Starts the socket layer (version 1.1) and connects a stream socket to the relay host, giving up
// after kRelayConnectMs (relay_connect_within: after `ms`, which must be positive). The socket, or
// -1 with errno and the thread's last error set to the socket error, kErrRelayNetworkTimeout for
// a host that did not answer in time (errno 1001 for a port outside 1..65535); a failed attempt
// ends the socket layer again. The caller closes the socket and ends the socket layer
// (net_close, net_cleanup) when the transfer ends.
v7::Socket relay_connect(int port);
v7::Socket relay_connect_within(int port, int ms);

// Sends `length` bytes in pieces of at most 2048, each through a 2048-byte buffer that is cleared
// after the send. 0 (also for length 0), or -1 with errno kErrInvalidParameter (invalid socket or
// arguments) or the socket error of the failed send.
int relay_send_all(int length, v7::Socket socket, const uint8_t *bytes);

// Sends one record framed as an HTTP request (relay_frame_post). 0 or -1 with errno.
int relay_send_post(const uint8_t *record, const char *host, v7::Socket socket, int length);

// The request for one record: "POST /relay HTTP/1.1", Host, Content-Type
// "application/octet-stream" and Content-Length heads, then the record. Its size is the record
// length + the host length + the digits of the record length + 90. A new buffer (relay_free)
// with its size in *out_len, or null with errno kErrInvalidParameter or kErrOutOfMemory.
uint8_t *relay_frame_post(const uint8_t *record, int length, const char *host, int *out_len);

// Receives one raw record: its 5-byte header, then a body of the length the header gives (a
// length of 0 is refused). The whole record in a new buffer (relay_free) and its length: 0, or
// -1 with errno kErrInvalidParameter (invalid socket), 12 (zero length), kErrRelayRecvFailed
// (closed or failed before the record was complete), kErrRelayNetworkTimeout (the rest of the
// record did not come within kRelayReplyRestMs of its first byte) or kErrOutOfMemory.
// The _within form takes that limit as `rest_ms` (positive).
int relay_recv_record(int *out_length, v7::Socket socket, uint8_t **out_record);
int relay_recv_record_within(int *out_length, v7::Socket socket, uint8_t **out_record, int rest_ms);

// Receives one HTTP response and returns its body, one relay record, in a new buffer (relay_free):
// 0, or -1 with errno kErrInvalidParameter (invalid socket), 12 (head too long or unusable),
// kErrOutOfMemory (negative length or no memory), kErrRelayRecvFailed (closed or failed before
// the response was complete) or kErrRelayNetworkTimeout (the rest of the response, head and body,
// did not come within kRelayReplyRestMs, or `rest_ms`, of its first byte).
int relay_recv_response(int *out_length, v7::Socket socket, uint8_t **out_record);
int relay_recv_response_within(int *out_length, v7::Socket socket, uint8_t **out_record, int rest_ms);

// Whether the relay host accepts a connection on `port` within `seconds` (none when <= 0): 1
// reachable, 0 not. The thread's last error is 0 after success, kErrRelayNetworkTimeout after a
// time-out, and the socket error after any other failure (10061 for a refused port, at once). A
// connect call that fails outright, or a failed select, also shows "code 1 : %d" or "code 2 : %d"
// with the socket error in a message box.
int RelayProbeServer(int seconds, int port);

// Frees a buffer returned by this transport; null does nothing.
void relay_free(void *buffer);
