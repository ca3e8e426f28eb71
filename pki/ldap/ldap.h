// A minimal, synchronous LDAP version 3 client and the file cache beside it. Path validation reads
// CA certificates, CRLs and the certificate trust list from the directory that the certification
// authorities publish, and keeps what it fetched under a cache folder for the next run.
//
// A fetch binds anonymously, sends one base-object search, takes the wanted value from the first
// entry, reads to the end of the search and unbinds; it owns everything it opens. Every message
// (and the connect) must be whole within its own deadline and the fetch within its budget, so that
// a server that drips its replies cannot hold the caller; callers that try several addresses share
// one budget among them. Nothing is retried: callers fall back to their cache.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/net/net.h"

struct LDAP_URL {
  uint32_t port;    // at most 65,535
  char *host;       // owned, terminated
  char *dn;         // owned, terminated; the search base
  char *attribute;  // owned, terminated, or null: what followed "?" in the URL
};

// What ldap_fetch returns for each kind, and the template that releases it (asn1_release):
//   1 first "usercertificate..." value that decodes as a certificate   asn1_tmpl_certificate
//   2 first "cacertificate..." value that decodes as a certificate     asn1_tmpl_certificate
//   3 first "certificaterevocationlist..." or "authorityrevocationlist..." value that decodes as a
//     CRL                                                              asn1_tmpl_certificate_list
//   4 all values of "certificatetrustlist..."                          asn1_tmpl_ldap_values
//   5 all values of "usercertificate..."                               asn1_tmpl_ldap_values
// With an attribute in the URL the server sends only that attribute, and every attribute of the
// entry is taken, whatever its type.
enum : int {
  LDAP_KIND_USER_CERT = 1,
  LDAP_KIND_CA_CERT = 2,
  LDAP_KIND_CRL = 3,
  LDAP_KIND_TRUST_LIST = 4,
  LDAP_KIND_USER_CERTS = 5,
};

// Cache kinds: subfolder and extension under the caller's folder.
//   6 "/CA" ".der" (read back as a certificate)   7 "/" ".der" (written only)
//   16, 32 "/CRL" ".crl" (read back as a CRL)     64 "/CA" ".stl" (written only)
enum : int {
  CACHE_KIND_CA_CERT = 6,
  CACHE_KIND_ROOT_CERT = 7,
  CACHE_KIND_CRL = 16,
  CACHE_KIND_ARL = 32,
  CACHE_KIND_TRUST_LIST = 64,
};

constexpr int kLdapWaitSeconds = 5;

// The time limits of the directory client, in milliseconds.
struct LDAP_LIMITS {
  uint32_t message_ms;  // the connect, each request sent and each reply received, whole
  uint32_t fetch_ms;    // one fetch, from the connect to the last reply
  uint32_t lookup_ms;   // all fetches of one lookup that tries several addresses
};
// What the product uses: 5 s a message, 15 s a fetch, 30 s a lookup (room for the four addresses
// path validation tries per issuer when each is refused or answers at once, while a stalled server
// costs at most two of them).
constexpr LDAP_LIMITS kLdapLimits = {uint32_t(kLdapWaitSeconds) * 1000, 15000, 30000};
// Test seam: the limits of every later fetch and lookup, copied; null restores kLdapLimits. Set by
// test code only, never from outside input.
void ldap_set_limits_hook(const LDAP_LIMITS *limits);

// The time left to the fetches of one lookup; started by ldap_budget_start, read by
// ldap_fetch_within. A plain record on the caller's stack.
struct LDAP_BUDGET {
  int64_t end_ms;  // on the monotonic clock of the fetches
};
void ldap_budget_start(LDAP_BUDGET *budget);
// The largest message a fetch accepts; a header that claims more is refused (1503) before
// anything is allocated for it.
constexpr uint32_t kLdapMaxMessage = 4u << 20;
// Cache names hold at most this many bytes, folders fewer than kCacheMaxFolder, whole paths fewer
// than kCacheMaxPath.
constexpr size_t kCacheMaxName = 512;
constexpr size_t kCacheMaxFolder = 260;
constexpr size_t kCacheMaxPath = 261;

// "scheme://host[:port]/dn[?attribute]", scheme LDAP (port 389), HTTP (80) or HTTPS (443) in any
// case. A new URL, or null with kErrInvalidParameter (no text, length 0) or kErrLdapUrl (anything
// malformed, a port of more than 5 digits or above 65,535, an empty host, DN or attribute). length
// counts the bytes of text to read; a zero byte before it ends the text.
LDAP_URL *ldap_url_parse(size_t length, const char *text);
// A URL from its parts (the texts are copied; attribute may be null or empty for none). Null
// with kErrLdapUrl for a missing host or DN or a port above 65,535, kErrOutOfMemory for memory.
LDAP_URL *ldap_url_new(const char *host, size_t host_len, uint32_t port, const char *dn, size_t dn_len,
                       const char *attribute, size_t attribute_len);
void ldap_url_free(LDAP_URL *url);
// Replace the DN with a copy of length bytes of text, or the attribute with "cacertificate".
// 1, or 0 with kErrInvalidParameter (no URL or text) or kErrOutOfMemory.
int ldap_url_set_dn(const char *text, LDAP_URL *url, size_t length);
int ldap_url_set_ca_attr(LDAP_URL *url);

// The decoded value for the kind (see above), or null with errno: kErrInvalidParameter bad
// arguments, kErrLdapConnect the socket layer or every connect failed, kErrLdapResolve the host was
// not resolved, kErrLdapBind the bind was refused or unreadable, kErrLdapSend a send failed or
// timed out, kErrLdapRecv a receive failed, a reply was not whole within its deadline, or a length
// is indefinite, longer than four bytes or above kLdapMaxMessage, kErrLdapTimeLimit the fetch's
// budget ran out, kErrLdapSearch no entry, no matching attribute or no usable value, a decoder code
// for a reply that is not strict DER, or the random source's code.
void *ldap_fetch(const LDAP_URL *url, int kind);
// The same within what is left of the lookup's budget (null: the fetch's own budget only); a
// budget already spent gives kErrLdapTimeLimit without a connect.
void *ldap_fetch_within(const LDAP_URL *url, int kind, const LDAP_BUDGET *budget);

// The IPv4 address and port of a connect, in network byte order and host order.
struct LDAP_ADDRESS {
  uint32_t ipv4;
  uint16_t port;
};

// Connects s to the address within the message limit and leaves it blocking. 0 when connected;
// -1 with errno the socket error of the connect (10061 refused, ...) or kErrConnectTimeout on
// time-out, kErrInvalidParameter when address_len is not sizeof(LDAP_ADDRESS). The caller closes
// the socket on every path.
int connect_with_timeout(v7::Socket s, const LDAP_ADDRESS *address, size_t address_len);

// Reads "<folder><subfolder>\<name><extension>" and decodes it (kinds 6, 16, 32). Null with errno
// kErrInvalidParameter (bad arguments or a kind that is not read back), kErrFilePathTooLong (name,
// folder or path too long), kErrForbiddenFilePath (a name that is not one plain file name:
// separators, "..", drive colons, control characters, device names such as "nul"), the code of
// file_read_all or of the decoder, kErrAsn1Decode when the file holds less than its element claims.
// Release with asn1_release and asn1_tmpl_certificate or asn1_tmpl_certificate_list.
void *cache_read(const char *name, const char *folder, int kind);
// Creates "<folder><subfolder>" and writes "<folder><subfolder>/<name><extension>". Returns 0, or
// the code (also in errno): kErrInvalidParameter, kErrFilePathTooLong, kErrForbiddenFilePath as
// above, kErrDirCreate when the folders cannot be made, the code of file_write_all.
int cache_write(const uint8_t *data, const char *name, int kind, const char *folder, size_t length);
