// The DER encoder. Each level computes its contents size first (a pass without output) and then
// writes header and contents; the records' shapes bound the depth, so the repeated size passes
// stay linear in the depth. What decoded re-encodes to the same bytes: ANY values are copied as
// they were read, INTEGERs get back the redundant zeros they came with, lists keep their order.

#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "pki/asn1/internal.h"

namespace v7 {
namespace asn1 {
namespace {

// Writes to out when it is not null and counts in every case.
struct Sink {
  uint8_t *out;
  uint64_t size = 0;

  void put(const void *p, size_t n) {
    if (out != nullptr && n != 0) std::memcpy(out + size, p, n);
    size += n;
  }
  void fill(uint8_t byte, size_t n) {
    if (out != nullptr) std::memset(out + size, byte, n);
    size += n;
  }
  void header(uint8_t tag, uint32_t len) {
    size += asn1_put_tag_len(out != nullptr ? out + size : nullptr, len, tag);
  }
  Sink child() const { return Sink{out != nullptr ? out + size : nullptr}; }
  void advance(const Sink &child) { size += child.size; }
};

int encode_item(const ASN1_ITEM &item, const void *record, Sink *sink, int depth);

bool integer_minimal(const uint8_t *d, size_t n) {
  return n < 2 || !((d[0] == 0x00 && (d[1] & 0x80) == 0) || (d[0] == 0xFF && (d[1] & 0x80) != 0));
}

int encode_fields(const ASN1_TEMPLATE &t, const uint8_t *record, Sink *sink, int depth) {
  size_t cursor = 0;
  for (uint32_t i = 0; i < t.item_count; ++i) {
    const ASN1_ITEM &item = t.items[i];
    const uint8_t *field = record + next_field_offset(item, &cursor);
    if (cursor > t.record_size) return kErrAsn1Template;
    const void *value = field;
    if (item_optional(item)) {
      value = *reinterpret_cast<void *const *>(field);
      if (value == nullptr) continue;
    }
    int rc = encode_item(item, value, sink, depth + 1);
    if (rc != 0) return rc;
  }
  return 0;
}

int encode_list(const ASN1_TEMPLATE &t, const ASN1_LIST *node, Sink *sink, int depth) {
  for (; node != nullptr; node = node->next) {
    if (node->element == nullptr) continue;
    int rc = encode_item(t.items[0], node->element, sink, depth + 1);
    if (rc != 0) return rc;
  }
  return 0;
}

// The contents of kinds that carry their own universal header.
int encode_contents(const ASN1_TEMPLATE &t, const void *record, Sink *sink, int depth) {
  const ASN1_BYTES *bytes = static_cast<const ASN1_BYTES *>(record);
  switch (t.kind) {
    case ASN1_KIND_BOOLEAN:
      sink->fill(*static_cast<const ASN1_BOOLEAN *>(record) != 0 ? 0xFF : 0x00, 1);
      return 0;
    case ASN1_KIND_NULL:
      return 0;
    case ASN1_KIND_INTEGER:
      if (bytes->data == nullptr || bytes->len == 0 || !integer_minimal(bytes->data, bytes->len))
        return kErrAsn1Integer;
      // Zeros before a negative value would change it; only a decoded non-negative one has them.
      if (bytes->dropped_zeros != 0 && (bytes->data[0] & 0x80) != 0) return kErrAsn1Integer;
      sink->fill(0x00, bytes->dropped_zeros);
      sink->put(bytes->data, bytes->len);
      return 0;
    case ASN1_KIND_BIT_STRING: {
      const ASN1_BIT_STRING *b = static_cast<const ASN1_BIT_STRING *>(record);
      if (b->unused_bits > 7 || (b->len != 0 && b->data == nullptr) || (b->len == 0 && b->unused_bits != 0))
        return kErrAsn1EncodeBitString;
      uint8_t unused = uint8_t(b->unused_bits);
      sink->put(&unused, 1);
      sink->put(b->data, b->len);
      return 0;
    }
    case ASN1_KIND_OID:
    case ASN1_KIND_ENUMERATED:
    case ASN1_KIND_UTC_TIME:
    case ASN1_KIND_GENERALIZED_TIME:
      if (bytes->data == nullptr || bytes->len == 0) return kErrAsn1EncodeValue;
      sink->put(bytes->data, bytes->len);
      return 0;
    case ASN1_KIND_SEQUENCE:
    case ASN1_KIND_SET:
      return encode_fields(t, static_cast<const uint8_t *>(record), sink, depth);
    case ASN1_KIND_SEQUENCE_OF:
    case ASN1_KIND_SET_OF:
      return encode_list(t, static_cast<const ASN1_LIST *>(record), sink, depth);
    default:
      if (!is_string_kind(t.kind)) return kErrAsn1EncodeKind;
      // An empty string decodes (null data), so it must encode: its header alone.
      if (bytes->len != 0 && bytes->data == nullptr) return kErrAsn1EncodeValue;
      sink->put(bytes->data, bytes->len);
      return 0;
  }
}

// An ANY value must be one whole element, so that the bytes around it keep their meaning.
int encode_any(const ASN1_BYTES *value, Sink *sink) {
  if (value->data == nullptr || value->len == 0) return kErrAsn1EncodeAny;
  ASN1_HEADER h;
  if (read_header(ASN1_MODE_BER, value->data, value->len, &h, 0) != 0 || element_size(h) != value->len)
    return kErrAsn1EncodeAny;
  sink->put(value->data, value->len);
  return 0;
}

// The item's value without an explicit wrapper, tagged implicitly when the item says so.
int encode_untagged(const ASN1_ITEM &item, const void *record, Sink *sink, int depth) {
  const ASN1_TEMPLATE &t = *item.tmpl;
  if (t.kind == ASN1_KIND_ANY) {
    if (item_tag_byte(item) != 0) return kErrAsn1EncodeAny;  // an implicit tag would cut into the element
    return encode_any(static_cast<const ASN1_BYTES *>(record), sink);
  }
  if (t.kind == ASN1_KIND_CHOICE) {
    void *const *slots = static_cast<void *const *>(record);
    for (uint32_t i = 0; i < t.item_count; ++i)
      if (slots[i] != nullptr) return encode_item(t.items[i], slots[i], sink, depth);
    return kErrAsn1EncodeChoice;
  }
  if (!is_known_kind(t.kind)) return kErrAsn1EncodeKind;
  Sink sizing{nullptr};
  int rc = encode_contents(t, record, &sizing, depth);
  if (rc != 0) return rc;
  if (sizing.size > UINT32_MAX) return kErrAsn1EncodeKind;
  uint32_t tag_byte = item_tag_byte(item);
  uint8_t tag =
      tag_byte != 0 ? uint8_t((tag_byte & ~0x20u) | constructed_bit(t.kind)) : universal_tag(t.kind);
  sink->header(tag, uint32_t(sizing.size));
  if (sink->out == nullptr) {
    sink->size += sizing.size;
    return 0;
  }
  Sink contents = sink->child();
  rc = encode_contents(t, record, &contents, depth);
  sink->advance(contents);
  return rc;
}

int encode_item(const ASN1_ITEM &item, const void *record, Sink *sink, int depth) {
  if (depth > kAsn1MaxDepth) return kErrAsn1EncodeKind;
  if (item.tmpl == nullptr || record == nullptr) return kErrInvalidParameter;
  if (!record_fits(*item.tmpl)) return kErrAsn1Template;
  if (!item_explicit(item)) return encode_untagged(item, record, sink, depth);
  const ASN1_ITEM inner{0, item.tmpl};
  Sink sizing{nullptr};
  int rc = encode_untagged(inner, record, &sizing, depth + 1);
  if (rc != 0) return rc;
  if (sizing.size > UINT32_MAX) return kErrAsn1EncodeKind;
  sink->header(uint8_t(item_tag_byte(item) | 0x20), uint32_t(sizing.size));
  if (sink->out == nullptr) {
    sink->size += sizing.size;
    return 0;
  }
  Sink contents = sink->child();
  rc = encode_untagged(inner, record, &contents, depth + 1);
  sink->advance(contents);
  return rc;
}

// 0 on failure (code in *rc); the size of the encoding, written when out is not null.
size_t encode_top(const ASN1_ITEM &item, const void *record, uint8_t *out, int *rc) {
  Sink sink{out};
  *rc = encode_item(item, record, &sink, 0);
  if (*rc == 0 && sink.size > UINT32_MAX) *rc = kErrAsn1EncodeKind;
  return *rc == 0 ? size_t(sink.size) : 0;
}

}  // namespace
}  // namespace asn1
}  // namespace v7

size_t asn1_encode(const ASN1_ITEM *item, const void *record, uint8_t *output) {
  if (item == nullptr || item->tmpl == nullptr || record == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  int rc;
  size_t size = v7::asn1::encode_top(*item, record, output, &rc);
  if (rc != 0) return v7::with_errno(rc, size_t(0));
  return size;
}

size_t asn1_encoded_size(const ASN1_TEMPLATE *tmpl, const void *record) {
  if (tmpl == nullptr || record == nullptr) return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  const ASN1_ITEM item{0, tmpl};
  return asn1_encode(&item, record, nullptr);
}

size_t asn1_encode_into(const ASN1_TEMPLATE *tmpl, uint8_t *output, const void *record, size_t capacity) {
  size_t size = asn1_encoded_size(tmpl, record);
  if (size == 0 || output == nullptr) return size;
  if (capacity < size) return v7::with_errno(v7::kErrInsufficientBuffer, size_t(0));
  const ASN1_ITEM item{0, tmpl};
  return asn1_encode(&item, record, output);
}

size_t der_encode_alloc(const ASN1_TEMPLATE *tmpl, const void *record, uint8_t **buffer, size_t *length) {
  if (tmpl == nullptr || record == nullptr || buffer == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  size_t size = asn1_encoded_size(tmpl, record);
  if (size == 0) return 0;
  uint8_t *out = static_cast<uint8_t *>(std::calloc(size, 1));
  if (out == nullptr) return v7::with_errno(v7::kErrOutOfMemory, size_t(0));
  const ASN1_ITEM item{0, tmpl};
  int rc;
  size_t written = v7::asn1::encode_top(item, record, out, &rc);
  if (rc != 0) {
    v7::secure_wipe(out, size);  // a key record may have been partly written
    std::free(out);
    return v7::with_errno(rc, size_t(0));
  }
  *buffer = out;
  if (length != nullptr) *length = written;
  return written;
}
