// The connection to the relay server. Records travel raw (back to back) or one per HTTP request
// ("POST /relay HTTP/1.1" on one kept-alive connection, each reply record the body of one
// response). The relay host is the deployment's; callers choose the port.
//
// Every receive reads until the bytes it needs have arrived, the peer has closed or the socket
// has failed: TCP delivers a record in whatever pieces it likes. Once a connection is open no
// time-out applies; the caller's own wait on the socket bounds how long it looks away.
#pragma once

#include <cstdint>

#include "platform/net/net.h"
#include "relay/http_response.h"

// Transport kinds.
enum : int { kRelayTransportRaw = 1, kRelayTransportHttp = 2 };

// The relay host of this deployment: the name or dotted address used for the probe, the
// connection and the HTTP Host header.
const char *relay_host();

// Starts the socket layer (version 1.1) and connects a stream socket to the relay host. The
// socket, or -1 with errno and the thread's last error set to the socket error (1001 for a
// port outside 1..65535); a failed attempt ends the socket layer again. The caller closes the
// socket and ends the socket layer (net_close, net_cleanup) when the transfer ends.
v7::Socket relay_connect(int port);

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
// (closed or failed before the record was complete) or kErrOutOfMemory.
int relay_recv_record(int *out_length, v7::Socket socket, uint8_t **out_record);

// Receives one HTTP response and returns its body, one relay record, in a new buffer (relay_free):
// 0, or -1 with errno kErrInvalidParameter (invalid socket), 12 (head too long or unusable),
// kErrOutOfMemory (negative length or no memory) or kErrRelayRecvFailed (closed or failed before
// the response was complete).
int relay_recv_response(int *out_length, v7::Socket socket, uint8_t **out_record);

// Whether the relay host accepts a connection on `port` within `seconds` (none when <= 0): 1
// reachable, 0 not. The thread's last error is 0 after success, kErrRelayNetworkTimeout after a
// time-out, and the socket error after any other failure (10061 for a refused port, at once). A
// connect call that fails outright, or a failed select, also shows "code 1 : %d" or "code 2 : %d"
// with the socket error in a message box.
int RelayProbeServer(int seconds, int port);

// Frees a buffer returned by this transport; null does nothing.
void relay_free(void *buffer);
