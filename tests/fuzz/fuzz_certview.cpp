// The certificate viewer's texts on arbitrary bytes. The first byte chooses the language, the
// encoding and the buffer size; the rest is the certificate. Besides memory safety: a buffer text
// never reaches its capacity, a cut one is a prefix of the whole text, and the whole text is
// reported whole; the general page's short names are part of the names they come from, and every
// policy text has a usage.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pki/oid/oid.h"
#include "platform/locale/process_words.h"
#include "wizard/certview/certview.h"
#include "wizard/certview/viewer_tables.h"

namespace {

constexpr int kExtensions[] = {OID_EXT_SUBJECT_KEY_ID,   OID_EXT_KEY_USAGE,     OID_EXT_SUBJECT_ALT_NAME,
                               OID_EXT_CRL_DIST_POINTS,  OID_EXT_CERT_POLICIES, OID_EXT_AUTHORITY_KEY_ID,
                               OID_EXT_EXT_KEY_USAGE,    OID_EXT_AUTHORITY_INFO_ACCESS};
constexpr size_t kWhole = 1 << 16;
constexpr char kGuard = '\x5a';

void release(char *text) {
  if (text != nullptr && strlen(text) > kWhole * 16) abort();
  free(text);
}

// Renders into `capacity` bytes followed by guard bytes, and checks the cut against the whole.
void check_extension(const Certificate *cert, int ext, int mode, size_t capacity) {
  std::vector<char> whole(kWhole);
  errno = 0;
  const size_t whole_length = certview_ext_text(cert, ext, whole.data(), whole.size(), mode);
  if (errno != 0 || whole_length >= whole.size()) return;  // failed, or too long to compare
  std::vector<char> small(capacity + 8, kGuard);
  errno = 0;
  const size_t length = certview_ext_text(cert, ext, small.data(), capacity, mode);
  for (size_t i = capacity; i < small.size(); i++) {
    if (small[i] != kGuard) abort();  // written past the buffer
  }
  if (length >= capacity && capacity != 0) abort();
  if (capacity == 0) return;
  if (small[length] != 0 || memcmp(small.data(), whole.data(), length) != 0) abort();
  if (errno == 0 && length != whole_length) abort();  // a cut text reported as whole
}

// The short name of a name text lies within it; the text is released.
void check_short_name(char *name) {
  if (name != nullptr && strstr(name, v7::certview::short_name(name).c_str()) == nullptr) abort();
  release(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint8_t choice = data[0];
  set_language_id((choice & 1) != 0 ? 18 : 9);
  set_char_encoding_mode((choice & 2) != 0 ? 1 : 0);
  const size_t capacity = size_t(choice >> 2) * 3;

  char hex[64];
  certview_hex_form(data + 1, size - 1, hex, (choice % sizeof hex) + 1);

  Certificate *cert = certview_decode(data + 1, size - 1);
  if (cert == nullptr) return 0;
  release(certview_serial_text(cert, 0));
  release(certview_serial_text(cert, 1));
  release(certview_sigalg_text(cert));
  check_short_name(certview_issuer_text(cert));
  check_short_name(certview_subject_text(cert));
  release(certview_not_before_text(cert));
  release(certview_not_after_text(cert));
  release(certview_pubkey_text(cert));
  release(certview_pubkey_hex(cert));
  std::vector<char> policies(kWhole);
  errno = 0;
  certview_ext_text(cert, OID_EXT_CERT_POLICIES, policies.data(), policies.size(), CERTVIEW_PLAIN);
  const std::string raw(reinterpret_cast<const char *>(data + 1), size - 1);
  if (UsageTextW(policies.data()).empty() || UsageTextW(raw.c_str()).empty()) abort();
  for (int ext : kExtensions) {
    for (int mode = CERTVIEW_PLAIN; mode <= CERTVIEW_CPS; mode++) check_extension(cert, ext, mode, capacity);
  }
  certview_free(cert);
  return 0;
}
