// The free walker. Decoded records carry key material (PKCS#8, RSAPrivateKey), so every byte a
// record owns is wiped before its memory goes back, whatever the type.

#include <cstdlib>

#include "crypto/base/wipe.h"
#include "pki/asn1/internal.h"

namespace v7 {
namespace asn1 {
namespace {

void free_owned(const ASN1_TEMPLATE &t, void *record);

void release_data(uint8_t **data, uint32_t *len) {
  if (*data != nullptr) {
    secure_wipe(*data, *len);
    std::free(*data);
  }
  *data = nullptr;
  *len = 0;
}

void free_fields(const ASN1_TEMPLATE &t, uint8_t *record) {
  size_t cursor = 0;
  for (uint32_t i = 0; i < t.item_count; ++i) {
    const ASN1_ITEM &item = t.items[i];
    uint8_t *field = record + next_field_offset(item, &cursor);
    if (cursor > t.record_size) return;  // a broken template; its decode failed with 1125 too
    if (item_optional(item)) {
      void **slot = reinterpret_cast<void **>(field);
      asn1_release(item.tmpl, *slot);
      *slot = nullptr;
    } else {
      free_owned(*item.tmpl, field);
    }
  }
}

void free_list(const ASN1_TEMPLATE &t, ASN1_LIST *first) {
  const ASN1_TEMPLATE *element = t.items[0].tmpl;
  asn1_release(element, first->element);
  ASN1_LIST *node = first->next;
  while (node != nullptr) {
    ASN1_LIST *next = node->next;
    asn1_release(element, node->element);
    secure_wipe(node, sizeof(*node));
    std::free(node);
    node = next;
  }
  first->element = nullptr;
  first->next = nullptr;
}

void free_owned(const ASN1_TEMPLATE &t, void *record) {
  if (!record_fits(t)) return;  // nothing of a broken template was decoded
  switch (t.kind) {
    case ASN1_KIND_BOOLEAN:
    case ASN1_KIND_NULL:
      break;
    case ASN1_KIND_BIT_STRING: {
      ASN1_BIT_STRING *b = static_cast<ASN1_BIT_STRING *>(record);
      release_data(&b->data, &b->len);
      break;
    }
    case ASN1_KIND_SEQUENCE:
    case ASN1_KIND_SET:
      free_fields(t, static_cast<uint8_t *>(record));
      break;
    case ASN1_KIND_SEQUENCE_OF:
    case ASN1_KIND_SET_OF:
      free_list(t, static_cast<ASN1_LIST *>(record));
      break;
    case ASN1_KIND_CHOICE: {
      void **slots = static_cast<void **>(record);
      for (uint32_t i = 0; i < t.item_count; ++i) {
        asn1_release(t.items[i].tmpl, slots[i]);
        slots[i] = nullptr;
      }
      break;
    }
    default:
      if (is_known_kind(t.kind)) {
        ASN1_BYTES *b = static_cast<ASN1_BYTES *>(record);
        release_data(&b->data, &b->len);
      }
      break;
  }
  secure_wipe(record, t.record_size);
}

}  // namespace
}  // namespace asn1
}  // namespace v7

void asn1_free(const ASN1_TEMPLATE *tmpl, void *record) {
  if (tmpl == nullptr || record == nullptr) return;
  v7::asn1::free_owned(*tmpl, record);
}

void asn1_release(const ASN1_TEMPLATE *tmpl, void *record) {
  if (tmpl == nullptr || record == nullptr) return;
  v7::asn1::free_owned(*tmpl, record);
  std::free(record);
}
