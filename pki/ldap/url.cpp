// Directory URLs: "scheme://host[:port]/dn[?attribute]". The DN is percent-decoded and the
// attribute ends at a further '?', as RFC 4516 writes them; a URL without either form reads as
// it always did.

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "pki/ldap/ldap.h"

namespace {

char *copy_text(const char *text, size_t len) {
  char *copy = static_cast<char *>(std::malloc(len + 1));
  if (copy == nullptr) return nullptr;
  if (len != 0) std::memcpy(copy, text, len);
  copy[len] = '\0';
  return copy;
}

bool equals_ignoring_case(const char *text, size_t len, const char *lower) {
  size_t i = 0;
  for (; i < len && lower[i] != '\0'; ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return i == len && lower[i] == '\0';
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%XX" becomes its byte; a '%' not followed by two hex digits stays as it is. false for "%00",
// which would cut the text short.
bool percent_decode(const char *text, size_t len, std::string *out) {
  for (size_t i = 0; i < len; ++i) {
    int high = i + 2 < len && text[i] == '%' ? hex_digit(text[i + 1]) : -1;
    int low = high >= 0 ? hex_digit(text[i + 2]) : -1;
    if (low < 0) {
      out->push_back(text[i]);
      continue;
    }
    if (high == 0 && low == 0) return false;
    out->push_back(char(high * 16 + low));
    i += 2;
  }
  return true;
}

// Default port of a scheme, or 0 for one the client does not take.
uint32_t scheme_port(const char *text, size_t len) {
  if (equals_ignoring_case(text, len, "ldap")) return 389;
  if (equals_ignoring_case(text, len, "http")) return 80;
  if (equals_ignoring_case(text, len, "https")) return 443;
  return 0;
}

LDAP_URL *parse(const char *text, size_t n, int *code) {
  *code = v7::kErrLdapUrl;
  if (n <= 6) return nullptr;
  const char *end = text + n;
  const char *sep = static_cast<const char *>(std::memchr(text, ':', n));
  if (sep == nullptr || end - sep < 3 || sep[1] != '/' || sep[2] != '/') return nullptr;
  uint32_t port = scheme_port(text, size_t(sep - text));
  if (port == 0) return nullptr;
  const char *host = sep + 3, *p = host;
  while (p < end && *p != ':' && *p != '/') ++p;
  const char *host_end = p;
  if (host_end == host || p == end) return nullptr;
  if (*p == ':') {
    const char *digits = ++p;
    while (p < end && *p != '/') ++p;
    if (p == digits || p - digits > 5 || p == end) return nullptr;
    port = 0;
    for (const char *d = digits; d < p; ++d) {
      if (*d < '0' || *d > '9') return nullptr;
      port = port * 10 + uint32_t(*d - '0');
    }
    if (port > 65535) return nullptr;
  }
  const char *dn = ++p;
  while (p < end && *p != '?') ++p;
  std::string dn_text;
  if (p == dn || !percent_decode(dn, size_t(p - dn), &dn_text)) return nullptr;
  const char *attribute = nullptr, *attribute_end = nullptr;
  if (p < end) {
    attribute = ++p;
    while (p < end && *p != '?') ++p;
    attribute_end = p;
    if (attribute_end == attribute) return nullptr;
  }
  LDAP_URL *url = ldap_url_new(host, size_t(host_end - host), port, dn_text.data(), dn_text.size(), attribute,
                               attribute != nullptr ? size_t(attribute_end - attribute) : 0);
  *code = url == nullptr ? errno : 0;
  return url;
}

}  // namespace

LDAP_URL *ldap_url_parse(size_t length, const char *text) {
  if (text == nullptr || length == 0) return v7::with_errno(v7::kErrInvalidParameter, (LDAP_URL *)nullptr);
  const char *zero = static_cast<const char *>(std::memchr(text, '\0', length));
  const size_t n = zero != nullptr ? size_t(zero - text) : length;
  if (n == 0) return v7::with_errno(v7::kErrInvalidParameter, (LDAP_URL *)nullptr);
  int code;
  LDAP_URL *url = parse(text, n, &code);
  if (url == nullptr) return v7::with_errno(code, url);
  return url;
}

LDAP_URL *ldap_url_new(const char *host, size_t host_len, uint32_t port, const char *dn, size_t dn_len,
                       const char *attribute, size_t attribute_len) {
  if (host == nullptr || host_len == 0 || dn == nullptr || dn_len == 0 || port > 65535 ||
      std::memchr(host, '\0', host_len) != nullptr || std::memchr(dn, '\0', dn_len) != nullptr ||
      (attribute != nullptr && std::memchr(attribute, '\0', attribute_len) != nullptr))
    return v7::with_errno(v7::kErrLdapUrl, (LDAP_URL *)nullptr);
  LDAP_URL *url = static_cast<LDAP_URL *>(std::calloc(1, sizeof(LDAP_URL)));
  bool ok = url != nullptr && (url->host = copy_text(host, host_len)) != nullptr &&
            (url->dn = copy_text(dn, dn_len)) != nullptr &&
            (attribute == nullptr || attribute_len == 0 ||
             (url->attribute = copy_text(attribute, attribute_len)) != nullptr);
  if (!ok) {
    ldap_url_free(url);
    return v7::with_errno(v7::kErrOutOfMemory, (LDAP_URL *)nullptr);
  }
  url->port = port;
  return url;
}

void ldap_url_free(LDAP_URL *url) {
  if (url == nullptr) return;
  std::free(url->host);
  std::free(url->dn);
  std::free(url->attribute);
  v7::secure_wipe(url, sizeof(*url));
  std::free(url);
}

int ldap_url_set_dn(const char *text, LDAP_URL *url, size_t length) {
  if (text == nullptr || url == nullptr || length == 0 || std::memchr(text, '\0', length) != nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  char *copy = copy_text(text, length);
  if (copy == nullptr) return v7::with_errno(v7::kErrOutOfMemory, 0);
  std::free(url->dn);
  url->dn = copy;
  return 1;
}

int ldap_url_set_ca_attr(LDAP_URL *url) {
  if (url == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  char *copy = copy_text("cacertificate", 13);
  if (copy == nullptr) return v7::with_errno(v7::kErrOutOfMemory, 0);
  std::free(url->attribute);
  url->attribute = copy;
  return 1;
}
