// What the kinds are, how records are laid out and allocated, and the primitive templates.

#include <atomic>
#include <cstdlib>

#include "platform/errors/errno_util.h"
#include "pki/asn1/internal.h"

namespace v7 {
namespace asn1 {
namespace {

std::atomic<long> g_alloc_countdown{0};

// Alignment of a template's record as the mirroring C struct has it.
size_t record_align(const ASN1_TEMPLATE *t) {
  switch (t->kind) {
    case ASN1_KIND_BOOLEAN:
      return alignof(ASN1_BOOLEAN);
    case ASN1_KIND_SEQUENCE:
    case ASN1_KIND_SET: {
      size_t align = 1;
      for (uint32_t i = 0; i < t->item_count; ++i) {
        const ASN1_ITEM &item = t->items[i];
        size_t a = item_optional(item) ? alignof(void *) : record_align(item.tmpl);
        if (a > align) align = a;
      }
      return align;
    }
    default:
      return alignof(void *);
  }
}

}  // namespace

bool is_string_kind(uint32_t kind) {
  return kind == ASN1_KIND_BIT_STRING || kind == ASN1_KIND_OCTET_STRING || kind == ASN1_KIND_UTF8_STRING ||
         (kind >= ASN1_KIND_NUMERIC_STRING && kind <= ASN1_KIND_IA5_STRING) ||
         (kind >= ASN1_KIND_GRAPHIC_STRING && kind <= ASN1_KIND_BMP_STRING && kind != 29);
}

bool is_known_kind(uint32_t kind) {
  switch (kind) {
    case ASN1_KIND_ANY:
    case ASN1_KIND_BOOLEAN:
    case ASN1_KIND_INTEGER:
    case ASN1_KIND_NULL:
    case ASN1_KIND_OID:
    case ASN1_KIND_ENUMERATED:
    case ASN1_KIND_UTC_TIME:
    case ASN1_KIND_GENERALIZED_TIME:
    case ASN1_KIND_SEQUENCE:
    case ASN1_KIND_SET:
    case ASN1_KIND_SEQUENCE_OF:
    case ASN1_KIND_SET_OF:
    case ASN1_KIND_CHOICE:
      return true;
    default:
      return is_string_kind(kind);
  }
}

uint8_t universal_tag(uint32_t kind) {
  if (kind == ASN1_KIND_ANY || kind == ASN1_KIND_CHOICE || !is_known_kind(kind)) return 0;
  return uint8_t(kind & 0xFF);
}

uint8_t constructed_bit(uint32_t kind) {
  return (kind == ASN1_KIND_SEQUENCE || kind == ASN1_KIND_SET || kind == ASN1_KIND_SEQUENCE_OF ||
          kind == ASN1_KIND_SET_OF)
             ? 0x20
             : 0;
}

bool record_fits(const ASN1_TEMPLATE &t) {
  size_t need;
  switch (t.kind) {
    case ASN1_KIND_BOOLEAN:
      need = sizeof(ASN1_BOOLEAN);
      break;
    case ASN1_KIND_NULL:
      need = sizeof(ASN1_NULL);
      break;
    case ASN1_KIND_BIT_STRING:
      need = sizeof(ASN1_BIT_STRING);
      break;
    case ASN1_KIND_SEQUENCE:
    case ASN1_KIND_SET:
      return true;
    case ASN1_KIND_SEQUENCE_OF:
    case ASN1_KIND_SET_OF:
      need = sizeof(ASN1_LIST);
      if (t.item_count != 1) return false;
      break;
    case ASN1_KIND_CHOICE:
      need = size_t(t.item_count) * sizeof(void *);
      break;
    default:
      need = sizeof(ASN1_BYTES);
      break;
  }
  return t.record_size >= need;
}

size_t next_field_offset(const ASN1_ITEM &item, size_t *cursor) {
  bool pointer = item_optional(item);
  size_t align = pointer ? alignof(void *) : record_align(item.tmpl);
  size_t size = pointer ? sizeof(void *) : item.tmpl->record_size;
  size_t offset = (*cursor + align - 1) / align * align;
  *cursor = offset + size;
  return offset;
}

void *alloc_zeroed(size_t n) {
  long left = g_alloc_countdown.load(std::memory_order_relaxed);
  if (left > 0) {
    g_alloc_countdown.store(left - 1, std::memory_order_relaxed);
    if (left == 1) return nullptr;
  }
  // calloc(0) may return null; every record and copy gets at least one byte.
  return std::calloc(n == 0 ? 1 : n, 1);
}

void set_alloc_failure_countdown(long n) { g_alloc_countdown.store(n, std::memory_order_relaxed); }

}  // namespace asn1
}  // namespace v7

void *asn1_new(const ASN1_TEMPLATE *tmpl) {
  if (tmpl == nullptr) return v7::with_errno(v7::kErrInvalidParameter, static_cast<void *>(nullptr));
  void *record = v7::asn1::alloc_zeroed(tmpl->record_size);
  if (record == nullptr) return v7::with_errno(v7::kErrOutOfMemory, static_cast<void *>(nullptr));
  return record;
}

#define V7_PRIMITIVE_TEMPLATE(name, kind, record) \
  const ASN1_TEMPLATE name = {kind, 0, uint32_t(sizeof(record)), nullptr};

V7_PRIMITIVE_TEMPLATE(asn1_tmpl_any, ASN1_KIND_ANY, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_boolean, ASN1_KIND_BOOLEAN, ASN1_BOOLEAN)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_integer, ASN1_KIND_INTEGER, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_bit_string, ASN1_KIND_BIT_STRING, ASN1_BIT_STRING)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_octet_string, ASN1_KIND_OCTET_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_null, ASN1_KIND_NULL, ASN1_NULL)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_oid, ASN1_KIND_OID, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_enumerated, ASN1_KIND_ENUMERATED, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_utf8_string, ASN1_KIND_UTF8_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_numeric_string, ASN1_KIND_NUMERIC_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_printable_string, ASN1_KIND_PRINTABLE_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_t61_string, ASN1_KIND_T61_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_videotex_string, ASN1_KIND_VIDEOTEX_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_ia5_string, ASN1_KIND_IA5_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_utc_time, ASN1_KIND_UTC_TIME, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_generalized_time, ASN1_KIND_GENERALIZED_TIME, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_graphic_string, ASN1_KIND_GRAPHIC_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_visible_string, ASN1_KIND_VISIBLE_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_general_string, ASN1_KIND_GENERAL_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_universal_string, ASN1_KIND_UNIVERSAL_STRING, ASN1_BYTES)
V7_PRIMITIVE_TEMPLATE(asn1_tmpl_bmp_string, ASN1_KIND_BMP_STRING, ASN1_BYTES)
