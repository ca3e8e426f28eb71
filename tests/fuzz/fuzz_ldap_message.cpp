// A fetch's reading of replies on arbitrary bytes: framing, strict decoding of each message, the
// bind check, and the picking of a value by every kind, with and without an attribute in the URL.
// Besides memory safety: a value picked is one the kind's template encodes again, and a failure
// always says why.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"
#include "pki/ldap/internal.h"

namespace {

class InputSource : public v7::ldap::ByteSource {
 public:
  InputSource(const uint8_t *data, size_t len) : data_(data), len_(len) {}
  int pull(uint8_t *out, size_t n) override {
    if (len_ - pos_ < n) return v7::kErrLdapRecv;
    std::memcpy(out, data_ + pos_, n);
    pos_ += n;
    return 0;
  }

 private:
  const uint8_t *data_;
  size_t len_, pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  // The first byte chooses the kind and whether the URL names an attribute; the id is 1 byte.
  const int kind = 1 + data[0] % 5;
  const char *text = (data[0] & 0x80) != 0 ? "ldap://h/c=KR?cACertificate;binary" : "ldap://h/c=KR";
  LDAP_URL *url = ldap_url_parse(std::strlen(text), text);
  if (url == nullptr) return 0;
  const uint8_t id[1] = {uint8_t(data[1] & 0x7F)};

  InputSource bind_source(data + 2, size - 2);
  v7::ldap::Bytes first;
  if (v7::ldap::read_message(&bind_source, &first) == 0) v7::ldap::check_bind_response(first);

  InputSource source(data + 2, size - 2);
  int code = 0;
  void *value = v7::ldap::read_search_replies(&source, url, kind, id, 1, &code);
  if (value != nullptr) {
    const ASN1_TEMPLATE *tmpl = v7::ldap::value_template(kind);
    uint8_t *der = nullptr;
    size_t len = 0;
    if (der_encode_alloc(tmpl, value, &der, &len) == 0) abort();
    std::free(der);
    asn1_release(tmpl, value);
  } else if (code == 0) {
    abort();
  }
  ldap_url_free(url);
  return 0;
}
