#include "relay/http_response.h"

#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "relay/record.h"

namespace {

constexpr int kHeadComplete = 4;

// Tracks the tail of CR LF CR LF. A CR that breaks the pattern still starts it again, so
// "CR CR LF CR LF" ends the head as well.
int next_end_state(int state, uint8_t c) {
  if (c == '\r') return state == 2 ? 3 : 1;
  if (c == '\n') return state == 1 ? 2 : state == 3 ? kHeadComplete : 0;
  return 0;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

bool equals_ignoring_case(const char *a, size_t a_len, const char *b) {
  size_t b_len = strlen(b);
  if (a_len != b_len) return false;
  for (size_t i = 0; i < a_len; i++) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// A decimal number as atoi reads it: an optional sign, then digits up to the first other
// character; no digits read as 0. At most 7 characters reach here, so it cannot overflow.
long parse_decimal(const char *p, size_t len) {
  size_t i = 0;
  bool negative = false;
  if (i < len && (p[i] == '+' || p[i] == '-')) negative = p[i++] == '-';
  long value = 0;
  for (; i < len && p[i] >= '0' && p[i] <= '9'; i++) value = value * 10 + (p[i] - '0');
  return negative ? -value : value;
}

int fail(HttpResponseReader *r, int code) {
  free(r->body);
  r->body = nullptr;
  r->body_len = r->body_have = 0;
  r->end_state = -1;  // stays failed
  return v7::with_errno(code, -1);
}

int start_body(HttpResponseReader *r) {
  r->head[r->head_len] = 0;
  int length = 0;
  if (response_content_length(&length, reinterpret_cast<const char *>(r->head)) != 0) {
    return fail(r, v7::kErrRelayMalformed);
  }
  if (length < 0) return fail(r, v7::kErrOutOfMemory);
  // The body is one relay record: a larger length is a broken or hostile peer, not a reason to
  // allocate megabytes.
  if (size_t(length) > kRelayMaxRecord) return fail(r, v7::kErrRelayMalformed);
  r->body = static_cast<uint8_t *>(malloc(size_t(length)));
  if (r->body == nullptr) return fail(r, v7::kErrOutOfMemory);
  r->body_len = size_t(length);
  return 0;
}

}  // namespace

int response_content_length(int *out_value, const char *head) {
  if (out_value == nullptr || head == nullptr) return v7::with_errno(v7::kErrInvalidParameter, -1);
  // The status line: "HTTP/" in any case, a space somewhere after it, CR LF at its end.
  const char *line_end = strchr(head, '\n');
  if (strnlen(head, 5) < 5 || !equals_ignoring_case(head, 5, "HTTP/") || line_end == nullptr ||
      line_end[-1] != '\r' || memchr(head + 5, ' ', size_t(line_end - (head + 5))) == nullptr) {
    return v7::with_errno(v7::kErrRelayMalformed, -1);
  }

  const char *p = line_end + 1;
  while (*p != 0) {
    size_t line_len = strcspn(p, "\r\n");
    const char *line = p;
    p += line_len;
    p += strspn(p, "\r\n");
    while (line_len > 0 && is_blank(*line)) line++, line_len--;
    const char *colon = static_cast<const char *>(memchr(line, ':', line_len));
    if (colon == nullptr || !equals_ignoring_case(line, size_t(colon - line), "Content-Length")) continue;
    const char *value = colon + 1;
    size_t value_len = line_len - size_t(value - line);
    while (value_len > 0 && is_blank(*value)) value++, value_len--;
    long n = value_len > 7 ? 0 : parse_decimal(value, value_len);
    if (n == 0 || n == 2147483647L || n == -2147483647L - 1) {
      return v7::with_errno(v7::kErrRelayMalformed, -1);
    }
    *out_value = int(n);
    return 0;
  }
  return v7::with_errno(v7::kErrRelayMalformed, -1);
}

void http_response_init(HttpResponseReader *r) { memset(r, 0, sizeof(*r)); }

void http_response_cleanup(HttpResponseReader *r) {
  free(r->body);
  http_response_init(r);
}

int http_response_feed(HttpResponseReader *r, const uint8_t *data, size_t len) {
  if (r->end_state < 0) return v7::with_errno(v7::kErrRelayMalformed, -1);
  size_t i = 0;
  while (!r->head_done && i < len) {
    if (r->head_len >= kHttpMaxHead) return fail(r, v7::kErrRelayMalformed);
    uint8_t c = data[i++];
    r->head[r->head_len++] = c;
    r->end_state = next_end_state(r->end_state, c);
    if (r->end_state == kHeadComplete) {
      r->head_done = true;
      if (start_body(r) != 0) return -1;
    }
  }
  if (!r->head_done) return 0;
  size_t take = len - i;
  if (take > r->body_len - r->body_have) take = r->body_len - r->body_have;
  if (take != 0) memcpy(r->body + r->body_have, data + i, take);
  r->body_have += take;
  return r->body_have == r->body_len ? 1 : 0;
}

size_t http_response_wanted(const HttpResponseReader *r) {
  if (!r->head_done) return kHttpChunk;
  size_t missing = r->body_len - r->body_have;
  return missing < kHttpChunk ? missing : kHttpChunk;
}

uint8_t *http_response_take_body(HttpResponseReader *r, int *out_len) {
  if (!r->head_done || r->body == nullptr || r->body_have != r->body_len) return nullptr;
  uint8_t *body = r->body;
  if (out_len != nullptr) *out_len = int(r->body_len);
  r->body = nullptr;
  r->body_len = r->body_have = 0;
  return body;
}
