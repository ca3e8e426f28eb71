#include "pki/keys/vid_random.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/keys/pkcs8_internal.h"
#include "pki/oid/oid.h"

namespace {

constexpr size_t kMaxValueLen = 126;  // the BIT STRING's length byte holds length + 1

// The first value of the first VID random attribute that has one, or null.
const ASN1_BYTES *find_value(const ASN1_LIST *attributes) {
  for (const ASN1_LIST *node = attributes; node != nullptr; node = node->next) {
    const auto *attr = static_cast<const Attribute *>(node->element);
    if (attr == nullptr || attr->attr_values.element == nullptr) continue;
    if (oid_to_id(&attr->attr_type) == OID_KISA_RANDOM_NUM) {
      return static_cast<const ASN1_BYTES *>(attr->attr_values.element);
    }
  }
  return nullptr;
}

// A zero-filled copy with the one zero byte after the contents that decoded buffers carry.
uint8_t *copy_with_terminator(const uint8_t *data, size_t len) {
  auto *out = static_cast<uint8_t *>(std::calloc(len + 1, 1));
  if (out != nullptr && len != 0) std::memcpy(out, data, len);
  return out;
}

ASN1_LIST *new_attr_list(const uint8_t *bytes, size_t length, int *code) {
  if ((bytes == nullptr && length != 0) || length > kMaxValueLen) {
    *code = v7::kErrInvalidParameter;
    return nullptr;
  }
  size_t oid_len = 0;
  const uint8_t *oid = oid_id_contents(OID_KISA_RANDOM_NUM, &oid_len);
  auto *list = static_cast<ASN1_LIST *>(std::calloc(1, sizeof(ASN1_LIST)));
  auto *attr = static_cast<Attribute *>(std::calloc(1, sizeof(Attribute)));
  auto *value = static_cast<ASN1_BYTES *>(std::calloc(1, sizeof(ASN1_BYTES)));
  uint8_t *type = oid != nullptr ? copy_with_terminator(oid, oid_len) : nullptr;
  uint8_t *encoded = static_cast<uint8_t *>(std::calloc(length + 4, 1));
  if (list == nullptr || attr == nullptr || value == nullptr || type == nullptr || encoded == nullptr) {
    std::free(list);
    std::free(attr);
    std::free(value);
    std::free(type);
    std::free(encoded);
    *code = oid == nullptr ? errno : int(v7::kErrOutOfMemory);
    return nullptr;
  }
  encoded[0] = 0x03;
  encoded[1] = uint8_t(length + 1);
  encoded[2] = 0x00;  // no unused bits
  if (length != 0) std::memcpy(encoded + 3, bytes, length);
  *value = ASN1_BYTES{encoded, uint32_t(length + 3), 0};
  attr->attr_type = ASN1_BYTES{type, uint32_t(oid_len), 0};
  attr->attr_values.element = value;
  list->element = attr;
  return list;
}

}  // namespace

int pkey_get_vid_random(const ASN1_LIST *attributes, uint8_t *out, size_t capacity) {
  if (attributes == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  const ASN1_BYTES *value = find_value(attributes);
  if (value == nullptr) return v7::with_errno(v7::kErrNoVidRandom, 0);
  auto *bits = v7::pkcs8::decode_any<ASN1_BIT_STRING>(value, &asn1_tmpl_bit_string);
  if (bits == nullptr) return v7::with_errno(errno, 0);
  size_t len = bits->len;
  int code = 0;
  if (out != nullptr && capacity < len) {
    code = v7::kErrInsufficientBuffer;
  } else if (out != nullptr && len != 0) {
    std::memcpy(out, bits->data, len);
  }
  asn1_release(&asn1_tmpl_bit_string, bits);
  return v7::with_errno(code, code == 0 ? int(len) : 0);
}

ASN1_BIT_STRING *pkey_get_vid_random_rec(const PrivateKeyInfo *key) {
  if (key == nullptr) return v7::with_errno<ASN1_BIT_STRING *>(v7::kErrInvalidParameter, nullptr);
  const ASN1_BYTES *value = find_value(key->attributes);
  if (value == nullptr) return v7::with_errno<ASN1_BIT_STRING *>(v7::kErrNoVidRandomInKey, nullptr);
  return v7::pkcs8::decode_any<ASN1_BIT_STRING>(value, &asn1_tmpl_bit_string);
}

ASN1_LIST *vid_random_attr_new(const uint8_t *bytes, size_t length) {
  int code = 0;
  ASN1_LIST *list = new_attr_list(bytes, length, &code);
  return list != nullptr ? list : v7::with_errno<ASN1_LIST *>(code, nullptr);
}

int pkey_add_vid_random(size_t length, const uint8_t *bytes, PrivateKeyInfo *key) {
  if (key == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  int code = 0;
  ASN1_LIST *list = new_attr_list(bytes, length, &code);
  if (list == nullptr) return v7::with_errno(code, 0);
  asn1_release(&asn1_tmpl_attributes, key->attributes);
  key->attributes = list;
  return 1;
}

void pkey_clear_attributes(PrivateKeyInfo *key) {
  if (key == nullptr) return;
  asn1_release(&asn1_tmpl_attributes, key->attributes);
  key->attributes = nullptr;
}
