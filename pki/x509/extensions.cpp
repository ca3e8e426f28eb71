#include "platform/errors/errno_util.h"
#include "pki/oid/oid.h"
#include "pki/x509/cert.h"

using v7::with_errno;

const void *ext_list_find(const ASN1_LIST *list, int oid_id) {
  if (list == nullptr) return with_errno(v7::kErrInvalidParameter, nullptr);
  for (const ASN1_LIST *node = list; node != nullptr; node = node->next) {
    // Extensions, attributes and attribute-type-and-values all start with their OID.
    const ASN1_BYTES *oid = static_cast<const ASN1_BYTES *>(node->element);
    if (oid != nullptr && oid->data != nullptr && oid_to_id(oid) == oid_id)
      return with_errno(0, node->element);
  }
  // Not finding it is an answer: the unknown-OID codes of the walk stay inside.
  return with_errno(0, nullptr);
}

const Extension *cert_find_extension(const Certificate *cert, int oid_id) {
  if (cert == nullptr) return with_errno(v7::kErrInvalidParameter, nullptr);
  if (cert->tbs.extensions == nullptr) return with_errno(0, nullptr);
  return static_cast<const Extension *>(ext_list_find(cert->tbs.extensions, oid_id));
}

int ext_is_critical(const Extension *ext) {
  if (ext == nullptr) return with_errno(v7::kErrInvalidParameter, 0);
  return ext->critical != nullptr && *ext->critical != 0 ? 1 : 0;
}

int cert_key_usage_ok(int code, const ASN1_BIT_STRING *key_usage) {
  if (key_usage == nullptr) return with_errno(v7::kErrInvalidParameter, 0);
  enum : uint8_t {
    kDigitalSignature = 0x80,
    kNonRepudiation = 0x40,
    kKeyEncipherment = 0x20,
    kKeyCertSign = 0x04,
    kCrlSign = 0x02,
  };
  const uint8_t bits = key_usage->data != nullptr && key_usage->len > 0 ? key_usage->data[0] : 0;
  uint8_t needed;
  switch (code) {
    case KU_CHECK_SIGNING:
    case KU_CHECK_SIGNING_2:
    case KU_CHECK_SIGNING_3:
      needed = kDigitalSignature | kNonRepudiation;
      break;
    case KU_CHECK_KEY_ENCIPHERMENT:
      needed = kKeyEncipherment;
      break;
    case KU_CHECK_CERT_SIGN:
      needed = kKeyCertSign;
      break;
    case KU_CHECK_CRL_SIGN:
      needed = kCrlSign;
      break;
    case KU_CHECK_ANY:
    case KU_CHECK_ANY_2:
      return 1;
    default:
      return 0;
  }
  return (bits & needed) == needed ? 1 : 0;
}
