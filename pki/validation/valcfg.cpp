#include <cstring>

#include "platform/errors/errno_util.h"
#include "platform/fs/library_folders.h"
#include "pki/validation/internal.h"
#include "pki/validation/valcfg.h"
#include "v7config/deployment.h"

namespace {

// The accredited certificate policies, in the order the validation context tries them.
constexpr char kDefaultPolicy[] =
    "1.2.410.200005.1.1.1;1.2.410.200005.1.1.5;1.2.410.200005.1.1.55"
    ";1.2.410.200005.1.1.2;1.2.410.200005.1.1.4"
    ";1.2.410.200005.1.1.6.1;1.2.410.200005.1.1.6.2;1.2.410.200005.1.1.6.3;1.2.410.200005.1.1.6.9;"
    "1.2.410.200005.1.1.6.99;1.2.410.200005.1.1.6.4;1.2.410.200005.1.1.6.5;1.2.410.200005.1.1.6.6;"
    "1.2.410.200005.1.1.6.7"
    ";1.2.410.200005.1.1.3"
    ";1.2.410.200005.1.3.1"
    ";1.2.410.200004.5.1.1.5;1.2.410.200004.5.1.1.7"
    ";1.2.410.200004.5.2.1.2;1.2.410.200004.5.2.1.1;1.2.410.200004.5.2.1.7.1"
    ";1.2.410.200004.5.3.1.1;1.2.410.200004.5.3.1.2;1.2.410.200004.5.3.1.9"
    ";1.2.410.200004.5.4.1.1;1.2.410.200004.5.4.1.2;1.2.410.200004.5.4.1.101"
    ";1.2.410.200012.1.1.1;1.2.410.200012.1.1.3;1.2.410.200012.1.1.101"
    ";1.2.410.200004.2.1";
constexpr char kDefaultCtlDn[] = "cn=KISA-CTL,ou=ROOTCA,o=KISA,c=KR";
constexpr int kDefaultLdapPort = 389;

static_assert(sizeof(kDefaultPolicy) <= kValcfgPolicyCapacity, "default policy list fits");
static_assert(sizeof(V7_DIRECTORY_SERVER) <= kValcfgLdapAddrCapacity, "directory server fits");
static_assert(sizeof(kDefaultCtlDn) <= kValcfgCtlDnCapacity, "trust-list DN fits");

// Room that RootCertDir must leave for the "/" that finishing appends.
constexpr size_t kRootDirMaxLength = kValcfgDirCapacity - 2;

enum class Kind { kText, kMode, kStore, kPort, kTimeCheck, kIgnored };

struct Word {
  const char *text;
  int value;
};
constexpr Word kModeWords[] = {{"CRL", VALCFG_MODE_CRL},
                               {"NOCRL", VALCFG_MODE_NOCRL},
                               {"OCSP", VALCFG_MODE_OCSP},
                               {"CHAIN", VALCFG_MODE_CHAIN}};
constexpr Word kStoreWords[] = {
    {"TRUE", VALCFG_STORE_TRUE}, {"FALSE", VALCFG_STORE_FALSE}, {"TRY_STORING", VALCFG_STORE_TRY}};
// The switch is "no time check": FALSE and NO turn the check off.
constexpr Word kTimeCheckWords[] = {{"FALSE", 1}, {"NO", 1}, {"TRUE", 0}, {"YES", 0}};

struct KeyRule {
  const char *key;
  Kind kind;
  size_t offset;      // of the field in VALIDATION_SETTINGS
  size_t max_length;  // texts: the longest value accepted
};

constexpr KeyRule kKeys[] = {
    {"Validation", Kind::kMode, offsetof(VALIDATION_SETTINGS, mode), 0},
    {"CertDir", Kind::kText, offsetof(VALIDATION_SETTINGS, cert_dir), kValcfgDirCapacity - 1},
    {"RootCertDir", Kind::kText, offsetof(VALIDATION_SETTINGS, root_cert_dir), kRootDirMaxLength},
    {"Policy", Kind::kText, offsetof(VALIDATION_SETTINGS, policy), kValcfgPolicyCapacity - 1},
    {"StoreCerts", Kind::kStore, offsetof(VALIDATION_SETTINGS, store_certs), 0},
    {"OCSPAddr", Kind::kIgnored, 0, 0},
    {"OCSPTimeout", Kind::kIgnored, 0, 0},
    {"OCSPPort", Kind::kIgnored, 0, 0},
    {"LDAPAddr", Kind::kText, offsetof(VALIDATION_SETTINGS, ldap_addr), kValcfgLdapAddrCapacity - 1},
    {"LDAPPort", Kind::kPort, offsetof(VALIDATION_SETTINGS, ldap_port), 0},
    {"CtlDN", Kind::kText, offsetof(VALIDATION_SETTINGS, ctl_dn), kValcfgCtlDnCapacity - 1},
    {"CHECKTimeout", Kind::kTimeCheck, offsetof(VALIDATION_SETTINGS, no_time_check), 0},
};

// ASCII-only case folding: keys and values must not depend on the C locale.
bool ascii_iequal(const char *a, const char *b) {
  auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  for (; *a != 0 && fold(*a) == fold(*b); a++, b++) {
  }
  return fold(*a) == fold(*b);
}

template <size_t N>
const Word *find_word(const Word (&words)[N], const char *value) {
  for (const Word &w : words) {
    if (ascii_iequal(w.text, value)) return &w;
  }
  return nullptr;
}

// Strict decimal: digits only, 1..65535. "389x", "+389", " 389" and "65536" are refused.
bool parse_port(const char *text, int32_t *port) {
  int32_t n = 0;
  if (*text == 0) return false;
  for (; *text != 0; text++) {
    if (*text < '0' || *text > '9') return false;
    n = n * 10 + (*text - '0');
    if (n > 65535) return false;
  }
  *port = n;
  return n > 0;
}

int set_value(const KeyRule &rule, VALIDATION_SETTINGS *settings, const char *value) {
  char *field = reinterpret_cast<char *>(settings) + rule.offset;
  int32_t number = 0;
  const Word *word = nullptr;
  switch (rule.kind) {
    case Kind::kIgnored:
      return 0;
    case Kind::kText: {
      size_t n = strnlen(value, rule.max_length + 1);
      if (n > rule.max_length) return v7::kErrConfigInvalidValue;
      memcpy(field, value, n + 1);
      return 0;
    }
    case Kind::kPort:
      if (!parse_port(value, &number)) return v7::kErrConfigInvalidValue;
      break;
    case Kind::kMode:
      if ((word = find_word(kModeWords, value)) == nullptr) return v7::kErrConfigInvalidValue;
      number = word->value;
      break;
    case Kind::kStore:
      if ((word = find_word(kStoreWords, value)) == nullptr) return v7::kErrConfigInvalidValue;
      number = word->value;
      break;
    case Kind::kTimeCheck:
      // Any other word is accepted and leaves the switch as it is.
      if ((word = find_word(kTimeCheckWords, value)) == nullptr) return 0;
      number = word->value;
      break;
  }
  memcpy(field, &number, sizeof(number));
  return 0;
}

bool terminated(const char *field, size_t capacity) { return memchr(field, 0, capacity) != nullptr; }

}  // namespace

int valcfg_set(const char *key, VALIDATION_SETTINGS *settings, const char *value) {
  if (settings == nullptr || key == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  int code = v7::kErrConfigUnsupportedKey;
  for (const KeyRule &rule : kKeys) {
    if (!ascii_iequal(rule.key, key)) continue;
    if (value == nullptr && rule.kind != Kind::kIgnored) {
      code = v7::kErrInvalidParameter;
    } else {
      code = set_value(rule, settings, value);
    }
    break;
  }
  return v7::with_errno(code, code);
}

int valcfg_finish(VALIDATION_SETTINGS *settings) {
  if (settings == nullptr) return v7::with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  // A second run would append another "/" and load the roots again.
  if (settings->finished != 0) return v7::with_errno(v7::kErrInvalidConfig, v7::kErrInvalidConfig);
  // The record is the caller's to write directly: never read a text past its field.
  if (!terminated(settings->policy, sizeof(settings->policy)) ||
      !terminated(settings->cert_dir, sizeof(settings->cert_dir)) ||
      !terminated(settings->ldap_addr, sizeof(settings->ldap_addr)) ||
      !terminated(settings->ctl_dn, sizeof(settings->ctl_dn)) ||
      strnlen(settings->root_cert_dir, sizeof(settings->root_cert_dir)) > kRootDirMaxLength) {
    return v7::with_errno(v7::kErrConfigInvalidValue, v7::kErrConfigInvalidValue);
  }
  if (settings->cert_dir[0] == 0) return v7::with_errno(v7::kErrInvalidConfig, v7::kErrInvalidConfig);
  // An unknown national-root folder would leave RootCertDir as "/", the root of the file system,
  // where trust-list roots would then be stored.
  const char *root_default = settings->root_cert_dir[0] == 0 ? kisa_folder() : "";
  if (settings->root_cert_dir[0] == 0 && (root_default == nullptr || root_default[0] == 0)) {
    return v7::with_errno(v7::kErrInvalidConfig, v7::kErrInvalidConfig);
  }
  if (root_certs_load(&settings->roots, settings->no_time_check) != 0) {
    return v7::with_errno(v7::kErrConfigTrustAnchors, v7::kErrConfigTrustAnchors);
  }

  if (settings->policy[0] == 0) memcpy(settings->policy, kDefaultPolicy, sizeof(kDefaultPolicy));
  size_t n = strlen(settings->root_cert_dir);
  if (n == 0) {
    n = strnlen(root_default, kRootDirMaxLength);
    memcpy(settings->root_cert_dir, root_default, n);
  }
  settings->root_cert_dir[n] = '/';
  settings->root_cert_dir[n + 1] = 0;
  if (settings->ldap_addr[0] == 0)
    memcpy(settings->ldap_addr, V7_DIRECTORY_SERVER, sizeof(V7_DIRECTORY_SERVER));
  if (settings->ldap_port == 0) settings->ldap_port = kDefaultLdapPort;
  if (settings->ctl_dn[0] == 0) memcpy(settings->ctl_dn, kDefaultCtlDn, sizeof(kDefaultCtlDn));
  settings->finished = 1;
  return v7::with_errno(0, 0);
}
