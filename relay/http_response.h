// Reading one HTTP response whose body is one relay record, without sockets: the transport
// feeds whatever each recv delivered, so the same code runs under a fuzzer and in the tests.
//
// The head ends at the first CR LF CR LF and may take at most 4096 bytes including it. The
// status code is not examined: the relay answers every request it understands with its record,
// and anything else shows up as a malformed record. Bytes after the body in the same delivery
// are dropped: the client never has two requests outstanding.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kHttpMaxHead = 4096;
// Larger reads are split; the socket loop reads at most this much per recv.
constexpr size_t kHttpChunk = 2048;

struct HttpResponseReader {
  uint8_t head[kHttpMaxHead + 1];  // + a terminating zero for the head parser
  size_t head_len;
  int end_state;  // how much of CR LF CR LF has just been seen, 0..3
  bool head_done;
  uint8_t *body;  // malloc'd once the head is parsed
  size_t body_len;
  size_t body_have;
};

void http_response_init(HttpResponseReader *r);
// Frees what the reader still owns; the reader may be initialised again.
void http_response_cleanup(HttpResponseReader *r);

// Feeds `len` received bytes. 1 when the body is complete, 0 when more is needed, -1 with errno
// 12 (head too long or unusable) or kErrOutOfMemory (negative length, or no memory).
int http_response_feed(HttpResponseReader *r, const uint8_t *data, size_t len);

// How many bytes the next recv may ask for without reading past this response.
size_t http_response_wanted(const HttpResponseReader *r);

// Hands the complete body to the caller (free it with relay_free) and its length.
uint8_t *http_response_take_body(HttpResponseReader *r, int *out_len);

// The Content-Length of a response head (zero-terminated text from its status line to the
// blank line). 0 and the value in *out_value, or -1 when the status line does not start with
// "HTTP/" (any case), has no space or does not end in CR LF, when no header is named
// Content-Length (any case), or when the first such value is longer than 7 characters, is not
// a number, or is 0, 2147483647 or -2147483648. A negative value is returned as it is.
int response_content_length(int *out_value, const char *head);
