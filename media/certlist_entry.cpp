// One certificate as a list entry: its display texts, the unconverted names the duplicate rule
// compares, and the policy filter that decides whether it is listed at all.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "crypto/base/wipe.h"
#include "media/certlist.h"
#include "media/internal.h"
#include "pki/asn1/asn1.h"
#include "pki/oid/oid.h"
#include "pki/text/misc.h"
#include "pki/x509/cert.h"
#include "pki/x509/name.h"
#include "platform/errors/errno_util.h"

namespace {

// These two policies are never offered, whatever the caller accepts.
constexpr const char *kRefusedPolicies[] = {"1.2.410.200005.1.1.3", "1.2.410.200005.1.3.2"};

char *dup_text(const char *text, size_t len) {
  char *copy = static_cast<char *>(malloc(len + 1));
  if (copy == nullptr) return v7::with_errno(v7::kErrOutOfMemory, static_cast<char *>(nullptr));
  memcpy(copy, text, len);
  copy[len] = 0;
  return copy;
}

// The first value of a name text: from its fourth character (after "cn=") up to the first comma.
// A text whose comma comes before that has no first value to take.
int first_value(const char *text, char **out) {
  const char *comma = strchr(text, ',');
  if (comma == nullptr || comma - text < 3) return v7::kErrInvalidDnFormat;
  *out = dup_text(text + 3, size_t(comma - text - 3));
  return *out != nullptr ? 0 : v7::kErrOutOfMemory;
}

int organisation(const char *issuer, char **out) {
  const char *o = strstr(issuer, "o=");
  const char *comma = o != nullptr ? strchr(o + 2, ',') : nullptr;
  if (comma == nullptr) return v7::kErrInvalidDnFormat;
  *out = dup_text(o + 2, size_t(comma - o - 2));
  return *out != nullptr ? 0 : v7::kErrOutOfMemory;
}

int name_text_unconverted(const Name *name, char **out) {
  int size = name_to_text_comma(name, nullptr, 0);
  if (size <= 0) return errno != 0 ? errno : v7::kErrInvalidDnFormat;
  char *text = static_cast<char *>(malloc(size_t(size)));
  if (text == nullptr) return v7::kErrOutOfMemory;
  if (name_to_text_comma(name, text, size_t(size)) <= 0 && errno != 0) {
    int code = errno;
    free(text);
    return code;
  }
  *out = text;
  return 0;
}

int converted_name(const Name *name, char **out) {
  errno = 0;
  if (cert_name_to_text(name, out) < 0) return errno != 0 ? errno : v7::kErrInvalidDnFormat;
  return 0;
}

// The first policy's display text; oid_name_to_buf already gives it in the setting's encoding.
int first_policy(const Certificate *cert, char **out) {
  const Extension *ext = cert_find_extension(cert, OID_EXT_CERT_POLICIES);
  if (ext == nullptr || ext->extn_value.data == nullptr) return v7::kErrNoPoliciesExtension;
  errno = 0;
  auto *policies = static_cast<ASN1_LIST *>(asn1_decode_alloc(
      ASN1_MODE_DER, ext->extn_value.data, &asn1_tmpl_certificate_policies, ext->extn_value.len));
  if (policies == nullptr) return errno == v7::kErrAsn1Decode ? v7::kErrAsn1Decode : v7::kErrNoCertPolicies;
  int code = v7::kErrNoCertPolicies;
  const auto *info = static_cast<const PolicyInformation *>(policies->element);
  if (info != nullptr) {
    char text[256];
    int n = oid_name_to_buf(sizeof(text), &info->policy_identifier, text);
    if (n > 0) {
      *out = dup_text(text, size_t(n));
      code = *out != nullptr ? 0 : v7::kErrOutOfMemory;
    }
  }
  asn1_release(&asn1_tmpl_certificate_policies, policies);
  return code;
}

int date_text(int64_t t, char **out) {
  struct tm parts {};
  if (t < 0 || gmtime_copy(&parts, t) == nullptr) return v7::kErrInvalidCertFormat;
  char text[32];
  size_t n = strftime(text, sizeof(text), "%Y-%m-%d", &parts);
  if (n == 0) return v7::kErrInvalidCertFormat;
  *out = dup_text(text, n);
  return *out != nullptr ? 0 : v7::kErrOutOfMemory;
}

int serial_fields(const ASN1_BYTES &serial, CERT_ENTRY *entry) {
  const uint8_t *p = serial.data;
  size_t len = serial.len;
  // The text reads the serial's content bytes as they were encoded, leading zeros included.
  uint32_t value = 0;
  if (size_t(serial.len) + serial.dropped_zeros <= 4) {
    for (size_t i = 0; i < len; i++) value = (value << 8) | p[i];
  }
  char text[16];
  snprintf(text, sizeof(text), "%" PRIu32, value);
  entry->serial = dup_text(text, strlen(text));
  if (entry->serial == nullptr) return v7::kErrOutOfMemory;
  while (len > 0 && *p == 0) {
    p++;
    len--;
  }
  entry->serial_length = len;
  if (len == 0) return 0;
  entry->serial_bytes = v7::certlist::copy_bytes(p, len);
  return entry->serial_bytes != nullptr ? 0 : v7::kErrOutOfMemory;
}

// Fills every field from the decoded certificate; 0 or the code, and -1 for an unknown signature
// algorithm (the entry is dropped without a code of its own).
int fill_entry(const Certificate *cert, CERT_ENTRY *e) {
  const TBSCertificate &tbs = cert->tbs;
  int code = converted_name(&tbs.subject, &e->subject);
  if (code == 0) code = converted_name(&tbs.issuer, &e->issuer);
  if (code == 0) code = first_value(e->subject, &e->subject_cn);
  if (code == 0) code = organisation(e->issuer, &e->issuer_org);
  if (code == 0) code = first_policy(cert, &e->policy);
  if (code != 0) return code;
  errno = 0;
  e->not_before = cert_not_before(cert);
  if (errno != 0) return errno;
  e->not_after = cert_not_after(cert);
  if (errno != 0) return errno;
  code = date_text(e->not_before, &e->not_before_text);
  if (code == 0) code = date_text(e->not_after, &e->not_after_text);
  if (code == 0) code = serial_fields(tbs.serial_number, e);
  if (code == 0) code = name_text_unconverted(&tbs.subject, &e->subject_dn);
  if (code == 0) code = name_text_unconverted(&tbs.issuer, &e->issuer_dn);
  if (code == 0) code = first_value(e->subject_dn, &e->subject_dn_cn);
  if (code != 0) return code;
  int saved = errno;
  e->sig_alg = oid_to_id(&cert->signature_algorithm.algorithm);
  errno = saved;
  if (e->sig_alg == 0) return -1;
  int bits = cert_rsa_key_bits(cert);
  e->key_bits = bits > 0 ? uint32_t(bits) : 0;
  errno = 0;
  return 0;
}

void free_medium_data(CERT_ENTRY *entry) {
  void *data = entry->medium_data;
  entry->medium_data = nullptr;
  if (data == nullptr) return;
  switch (entry->media_code) {
    case kMediumSmartCard:
      v7::certlist::wipe_free_text(static_cast<char *>(data));
      break;
    case kMediumHardDisk:
    case kMediumRemovable:
    case 32:
    case 64:
    case 128:
      free(data);
      break;
    case kMediumToken: {
      auto *id = static_cast<TokenEntryId *>(data);
      free(id->id);
      free(id);
      break;
    }
    case kMediumUsbKey:
    case kMediumMemory: {
      auto *pair = static_cast<MemoryCertPair *>(data);
      // The USB-key pair holds a private key.
      if (pair->second != nullptr) v7::secure_wipe(pair->second, pair->second_length);
      free(pair->first);
      free(pair->second);
      free(pair);
      break;
    }
    default:  // the secure disk's slot id is a number, not a buffer
      break;
  }
}

}  // namespace

namespace v7 {
namespace certlist {

void wipe_free_text(char *text) {
  if (text == nullptr) return;
  secure_wipe(text, strlen(text));
  free(text);
}

uint8_t *copy_bytes(const uint8_t *data, size_t len) {
  auto *copy = static_cast<uint8_t *>(malloc(len == 0 ? 1 : len));
  if (copy == nullptr) return with_errno(kErrOutOfMemory, static_cast<uint8_t *>(nullptr));
  if (len > 0) memcpy(copy, data, len);
  return copy;
}

}  // namespace certlist
}  // namespace v7

StrListNode *strlist_split(const char *text) {
  if (text == nullptr || text[0] == 0) return nullptr;
  StrListNode *first = nullptr;
  StrListNode **tail = &first;
  for (const char *p = text;;) {
    const char *end = strchr(p, ';');
    size_t len = end == nullptr ? strlen(p) : size_t(end - p);
    auto *node = static_cast<StrListNode *>(calloc(1, sizeof(StrListNode)));
    char *piece = node != nullptr ? dup_text(p, len) : nullptr;
    if (piece == nullptr) {
      free(node);
      strlist_free(first);
      return v7::with_errno(v7::kErrOutOfMemory, static_cast<StrListNode *>(nullptr));
    }
    node->text = piece;
    *tail = node;
    tail = &node->next;
    if (end == nullptr) break;
    p = end + 1;
  }
  return first;
}

void strlist_free(StrListNode *list) {
  while (list != nullptr) {
    StrListNode *next = list->next;
    free(list->text);
    free(list);
    list = next;
  }
}

int cert_policy_accepted(const StrListNode *filter, const char *policy) {
  if (policy == nullptr) return 0;
  for (const char *refused : kRefusedPolicies) {
    if (strcmp(policy, refused) == 0) return 0;
  }
  if (filter == nullptr) return 1;
  for (; filter != nullptr; filter = filter->next) {
    if (filter->text != nullptr && strcmp(filter->text, policy) == 0) return 1;
  }
  return 0;
}

int certentry_from_der(const uint8_t *der, size_t length, CERT_ENTRY **out) {
  if (out != nullptr) *out = nullptr;
  if (der == nullptr || out == nullptr || length == 0) return v7::with_errno(v7::kErrInvalidParameter, 0);
  ASN1_HEADER header{};
  if (asn1_read_header(ASN1_MODE_DER, der, length, &header) != 0)
    return v7::with_errno(v7::kErrAsn1Decode, 0);
  errno = 0;
  auto *cert =
      static_cast<Certificate *>(asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_certificate, length));
  if (cert == nullptr) return v7::with_errno(errno != 0 ? errno : v7::kErrAsn1Decode, 0);
  auto *entry = static_cast<CERT_ENTRY *>(calloc(1, sizeof(CERT_ENTRY)));
  int code = entry != nullptr ? fill_entry(cert, entry) : v7::kErrOutOfMemory;
  asn1_release(&asn1_tmpl_certificate, cert);
  if (code != 0) {
    certentry_free(entry);
    return v7::with_errno(code < 0 ? 0 : code, 0);
  }
  *out = entry;
  return v7::with_errno(0, 1);
}

void certentry_free(CERT_ENTRY *entry) {
  if (entry == nullptr) return;
  free_medium_data(entry);
  char *texts[] = {entry->subject,    entry->subject_cn,      entry->issuer,         entry->issuer_org,
                   entry->policy,     entry->not_before_text, entry->not_after_text, entry->serial,
                   entry->subject_dn, entry->subject_dn_cn,   entry->issuer_dn,      entry->id};
  for (char *text : texts) free(text);
  free(entry->serial_bytes);
  free(entry);
}
