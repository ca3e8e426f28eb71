// The HTTP response reader on arbitrary bytes: the head-end search, the Content-Length rules
// and the body assembly. The first byte chooses how the rest is cut into deliveries; however it
// is cut, the outcome must equal that of one delivery of the whole.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "relay/http_response.h"
#include "relay/transport.h"

namespace {

struct Outcome {
  int rc;
  int error;
  std::string body;
};

Outcome run(const uint8_t *data, size_t size, size_t piece) {
  HttpResponseReader *r = new HttpResponseReader;
  http_response_init(r);
  Outcome out = {0, 0, ""};
  for (size_t at = 0; at < size && out.rc == 0;) {
    size_t n = size - at < piece ? size - at : piece;
    if (n > http_response_wanted(r)) n = http_response_wanted(r);
    out.rc = http_response_feed(r, data + at, n);
    out.error = out.rc < 0 ? errno : 0;
    at += n;
  }
  if (out.rc == 1) {
    int len = 0;
    uint8_t *body = http_response_take_body(r, &len);
    if (body == nullptr || len <= 0) abort();
    out.body.assign(reinterpret_cast<char *>(body), size_t(len));
    relay_free(body);
  }
  http_response_cleanup(r);
  delete r;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  size_t piece = size_t(data[0] % 17) + 1;
  data++, size--;

  std::string head(reinterpret_cast<const char *>(data), size);
  int value = 0;
  if (response_content_length(&value, head.c_str()) == 0 && (value == 0 || value == 2147483647)) abort();

  Outcome whole = run(data, size, size + 1), cut = run(data, size, piece);
  if (whole.rc != cut.rc || whole.error != cut.error || whole.body != cut.body) abort();
  return 0;
}
