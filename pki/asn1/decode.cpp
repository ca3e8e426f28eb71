// The template-driven decoder. Every element's header is read by the one header reader, which
// has already checked that the element lies within the bytes its parent gives; so the decoding
// below never reads past its input. Whatever the decoder allocates is linked into the record
// before it is filled, so that a failure half way leaves nothing unreachable for asn1_release.

#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "platform/errors/errno_util.h"
#include "pki/asn1/internal.h"

namespace v7 {
namespace asn1 {
namespace {

int match_item(int mode, const ASN1_ITEM &item, const ASN1_HEADER &h);
int decode_matched(int mode, const ASN1_ITEM &item, const ASN1_HEADER &h, const uint8_t *element,
                   void *record, int depth);

bool single_byte_tag(const ASN1_HEADER &h) { return (h.tag & 0x1F) != 0x1F; }

// An identifier byte equal to the expected one, or in BER its constructed variant for a string.
bool tag_fits(int mode, uint32_t kind, uint8_t expected, const ASN1_HEADER &h) {
  if (!single_byte_tag(h)) return false;
  if (h.tag == expected) return true;
  return mode == ASN1_MODE_BER && is_string_kind(kind) && h.tag == (expected | 0x20u);
}

int match_untagged_choice(int mode, const ASN1_TEMPLATE &choice, const ASN1_HEADER &h) {
  for (uint32_t i = 0; i < choice.item_count; ++i) {
    const ASN1_ITEM &alt = choice.items[i];
    if (item_tag_byte(alt) == 0 && alt.tmpl->kind == ASN1_KIND_CHOICE) return kErrAsn1InvalidTag;
    if (match_item(mode, alt, h) == 0) return 0;
  }
  return kErrAsn1InvalidTag;
}

// 0 when the element with header h can be the item's value, else the code of the mismatch.
int match_item(int mode, const ASN1_ITEM &item, const ASN1_HEADER &h) {
  if (h.tag == 0) return kErrAsn1Eoc;
  const uint32_t kind = item.tmpl->kind;
  const uint32_t tag_byte = item_tag_byte(item);
  if (tag_byte != 0) {
    if (!single_byte_tag(h)) return kErrAsn1InvalidTag;
    if (item_explicit(item)) return h.tag == (tag_byte | 0x20) ? 0 : kErrAsn1InvalidTag;
    if (kind == ASN1_KIND_ANY) return kErrAsn1InvalidTag;
    uint8_t expected = uint8_t((tag_byte & ~0x20u) | constructed_bit(kind));
    return tag_fits(mode, kind, expected, h) ? 0 : kErrAsn1InvalidTag;
  }
  if (kind == ASN1_KIND_ANY) return h.tag < 0x40 ? 0 : kErrAsn1InvalidTag;
  if (kind == ASN1_KIND_CHOICE) return match_untagged_choice(mode, *item.tmpl, h);
  uint8_t expected = universal_tag(kind);
  if (expected == 0) return kErrAsn1InvalidTag;
  return tag_fits(mode, kind, expected, h) ? 0 : kErrAsn1InvalidTag;
}

// Copies n bytes with the zero byte after them; an empty value keeps null data.
int store_copy(uint8_t **data, uint32_t *len, const uint8_t *p, size_t n) {
  if (n == 0) return 0;
  if (n > UINT32_MAX - 1) return kErrAsn1LengthTooLong;
  uint8_t *copy = static_cast<uint8_t *>(alloc_zeroed(n + 1));
  if (copy == nullptr) return kErrInsufficientMemory;
  std::memcpy(copy, p, n);
  *data = copy;
  *len = uint32_t(n);
  return 0;
}

int store_bytes(ASN1_BYTES *dst, const uint8_t *p, size_t n) {
  return store_copy(&dst->data, &dst->len, p, n);
}

int check_oid(const uint8_t *c, size_t n) {
  if (n == 0) return kErrAsn1EmptyOid;
  size_t pos = 0;
  uint32_t subid;
  while (pos < n)
    if (!oid_next_subid(c, n, &pos, &subid)) return kErrAsn1Oid;
  return 0;
}

// A BER string built from segments: each a primitive element of the string's own universal tag,
// concatenated in order. A BIT STRING's segments each carry an unused-bits octet, and only the
// last may have unused bits.
int decode_segments(int mode, uint32_t kind, const uint8_t *c, size_t len, void *record, int depth) {
  const bool bits = kind == ASN1_KIND_BIT_STRING;
  const int bad_segment = bits ? kErrAsn1BitString : kErrAsn1StringSegments;
  // The joined contents are never longer than the outer contents.
  if (len > UINT32_MAX - 1) return kErrAsn1LengthTooLong;
  uint8_t *joined = static_cast<uint8_t *>(alloc_zeroed(len + 1));
  if (joined == nullptr) return kErrInsufficientMemory;
  size_t pos = 0, out = 0;
  uint32_t unused = 0;
  int rc = 0;
  while (rc == 0 && pos < len) {
    ASN1_HEADER seg;
    rc = read_header(mode, c + pos, len - pos, &seg, depth + 1);
    if (rc != 0) break;
    if (seg.tag == 0) {
      rc = kErrAsn1Eoc;
    } else if (seg.tag == (universal_tag(kind) | 0x20u)) {
      rc = bad_segment;
    } else if (seg.tag != universal_tag(kind)) {
      rc = kErrAsn1InvalidTag;
    } else {
      const uint8_t *s = c + pos + seg.header_len;
      size_t n = seg.content_len;
      if (bits) {
        if (n == 0) {
          rc = kErrAsn1StringSegments;
        } else if (unused != 0 || s[0] > 7 || (s[0] != 0 && n == 1)) {
          rc = kErrAsn1BitString;
        } else {
          unused = s[0];
          ++s;
          --n;
        }
      }
      if (rc == 0 && n != 0) {
        std::memcpy(joined + out, s, n);
        out += n;
      }
    }
    pos += size_t(element_size(seg));
  }
  if (rc == 0 && bits && pos == 0) rc = kErrAsn1StringSegments;  // no unused-bits octet at all
  if (rc != 0 || out == 0) {
    // The segments may be key bytes (a PKCS#8 key in a PKCS#12 bag) even when a later one fails.
    v7::secure_wipe(joined, out);
    std::free(joined);
    if (rc != 0) return rc;
    joined = nullptr;
  }
  if (bits) {
    ASN1_BIT_STRING *b = static_cast<ASN1_BIT_STRING *>(record);
    b->data = joined;
    b->len = uint32_t(out);
    b->unused_bits = unused;
  } else {
    ASN1_BYTES *b = static_cast<ASN1_BYTES *>(record);
    b->data = joined;
    b->len = uint32_t(out);
  }
  return 0;
}

int decode_primitive(int mode, uint32_t kind, const uint8_t *c, size_t n, void *record) {
  ASN1_BYTES *bytes = static_cast<ASN1_BYTES *>(record);
  switch (kind) {
    case ASN1_KIND_BOOLEAN:
      if (n != 1) return kErrAsn1BooleanLength;
      if (mode == ASN1_MODE_DER && c[0] != 0x00 && c[0] != 0xFF) return kErrAsn1Boolean;
      *static_cast<ASN1_BOOLEAN *>(record) = c[0];
      return 0;
    case ASN1_KIND_INTEGER: {
      if (n == 0) return kErrAsn1EmptyInteger;
      if (n > 1 && c[0] == 0xFF && (c[1] & 0x80) != 0) return kErrAsn1Integer;
      size_t dropped = asn1_integer_skip_zeros(&c, &n);
      int rc = store_bytes(bytes, c, n);
      if (rc == 0) bytes->dropped_zeros = uint32_t(dropped);
      return rc;
    }
    case ASN1_KIND_ENUMERATED:
      if (n == 0) return kErrAsn1EmptyEnumerated;
      if (n > 1 && ((c[0] == 0x00 && (c[1] & 0x80) == 0) || (c[0] == 0xFF && (c[1] & 0x80) != 0)))
        return kErrAsn1Enumerated;
      return store_bytes(bytes, c, n);
    case ASN1_KIND_OID: {
      int rc = check_oid(c, n);
      return rc != 0 ? rc : store_bytes(bytes, c, n);
    }
    case ASN1_KIND_NULL:
      if (n != 0) return kErrAsn1Null;
      *static_cast<ASN1_NULL *>(record) = nullptr;
      return 0;
    case ASN1_KIND_UTC_TIME:
    case ASN1_KIND_GENERALIZED_TIME:
      if (n == 0) return kErrAsn1BadLength;
      return store_bytes(bytes, c, n);
    case ASN1_KIND_BIT_STRING: {
      if (n == 0) return kErrAsn1StringSegments;
      if (c[0] > 7 || (c[0] != 0 && n == 1)) return kErrAsn1BitString;
      ASN1_BIT_STRING *b = static_cast<ASN1_BIT_STRING *>(record);
      int rc = store_copy(&b->data, &b->len, c + 1, n - 1);
      if (rc == 0) b->unused_bits = c[0];
      return rc;
    }
    default:
      if (!is_string_kind(kind)) return kErrAsn1InvalidTag;
      return store_bytes(bytes, c, n);
  }
}

int decode_fields(int mode, const ASN1_TEMPLATE &t, const uint8_t *c, size_t len, uint8_t *record,
                  int depth) {
  size_t pos = 0, cursor = 0;
  for (uint32_t i = 0; i < t.item_count; ++i) {
    const ASN1_ITEM &item = t.items[i];
    uint8_t *field = record + next_field_offset(item, &cursor);
    if (cursor > t.record_size) return kErrAsn1Template;
    if (pos == len) {
      if (item_optional(item)) continue;
      return kErrAsn1Decode;
    }
    ASN1_HEADER h;
    int rc = read_header(mode, c + pos, len - pos, &h, depth + 1);
    if (rc != 0) return rc;
    rc = match_item(mode, item, h);
    if (rc != 0) {
      if (item_optional(item)) continue;
      return rc;
    }
    void *target = field;
    if (item_optional(item)) {
      target = alloc_zeroed(item.tmpl->record_size);
      if (target == nullptr) return kErrInsufficientMemory;
      *reinterpret_cast<void **>(field) = target;
    }
    rc = decode_matched(mode, item, h, c + pos, target, depth + 1);
    if (rc != 0) return rc;
    pos += size_t(element_size(h));
  }
  return pos == len ? 0 : kErrAsn1Decode;
}

int decode_list(int mode, const ASN1_TEMPLATE &t, const uint8_t *c, size_t len, ASN1_LIST *node, int depth) {
  const ASN1_ITEM &item = t.items[0];
  size_t pos = 0;
  bool first = true;
  while (pos < len) {
    ASN1_HEADER h;
    int rc = read_header(mode, c + pos, len - pos, &h, depth + 1);
    if (rc == 0) rc = match_item(mode, item, h);
    if (rc != 0) return rc;
    if (!first) {
      ASN1_LIST *next = static_cast<ASN1_LIST *>(alloc_zeroed(sizeof(ASN1_LIST)));
      if (next == nullptr) return kErrInsufficientMemory;
      node->next = next;
      node = next;
    }
    first = false;
    node->element = alloc_zeroed(item.tmpl->record_size);
    if (node->element == nullptr) return kErrInsufficientMemory;
    rc = decode_matched(mode, item, h, c + pos, node->element, depth + 1);
    if (rc != 0) return rc;
    pos += size_t(element_size(h));
  }
  return 0;
}

int decode_choice(int mode, const ASN1_TEMPLATE &t, const ASN1_HEADER &h, const uint8_t *element,
                  void *record, int depth) {
  void **slots = static_cast<void **>(record);
  for (uint32_t i = 0; i < t.item_count; ++i) {
    const ASN1_ITEM &alt = t.items[i];
    if (item_tag_byte(alt) == 0 && alt.tmpl->kind == ASN1_KIND_CHOICE) return kErrAsn1InvalidTag;
    if (match_item(mode, alt, h) != 0) continue;
    slots[i] = alloc_zeroed(alt.tmpl->record_size);
    if (slots[i] == nullptr) return kErrInsufficientMemory;
    // The chosen alternative is the same element, not a nested one.
    return decode_matched(mode, alt, h, element, slots[i], depth);
  }
  return kErrAsn1InvalidTag;
}

// Decodes the element (header h, already matched) by the template, ignoring item tags.
int decode_contents(int mode, const ASN1_TEMPLATE &t, const ASN1_HEADER &h, const uint8_t *element,
                    void *record, int depth) {
  const uint8_t *c = element + h.header_len;
  const size_t len = h.content_len;
  if (!record_fits(t)) return kErrAsn1Template;
  switch (t.kind) {
    case ASN1_KIND_ANY:
      return store_bytes(static_cast<ASN1_BYTES *>(record), element, size_t(element_size(h)));
    case ASN1_KIND_CHOICE:
      return decode_choice(mode, t, h, element, record, depth);
    case ASN1_KIND_SEQUENCE:
    case ASN1_KIND_SET:
      return decode_fields(mode, t, c, len, static_cast<uint8_t *>(record), depth);
    case ASN1_KIND_SEQUENCE_OF:
    case ASN1_KIND_SET_OF:
      return decode_list(mode, t, c, len, static_cast<ASN1_LIST *>(record), depth);
    default:
      if (h.constructed != 0) {
        if (!is_string_kind(t.kind)) return kErrAsn1Indefinite;
        return decode_segments(mode, t.kind, c, len, record, depth);
      }
      return decode_primitive(mode, t.kind, c, len, record);
  }
}

int decode_matched(int mode, const ASN1_ITEM &item, const ASN1_HEADER &h, const uint8_t *element,
                   void *record, int depth) {
  if (!item_explicit(item)) return decode_contents(mode, *item.tmpl, h, element, record, depth);
  const uint8_t *c = element + h.header_len;
  ASN1_HEADER inner;
  int rc = read_header(mode, c, h.content_len, &inner, depth + 1);
  if (rc != 0) return rc;
  if (item.tmpl->kind == ASN1_KIND_ANY) {
    // Inside an explicit tag the wrapped element is taken whatever its tag.
    if (inner.tag == 0) return kErrAsn1Eoc;
  } else {
    rc = match_item(mode, ASN1_ITEM{0, item.tmpl}, inner);
    if (rc != 0) return rc;
  }
  if (element_size(inner) != h.content_len) return kErrAsn1BadLength;
  return decode_contents(mode, *item.tmpl, inner, c, record, depth + 1);
}

int decode_entry(ASN1_DECODE_STATE *state, ASN1_EXTENT *extent) {
  if (state->item == nullptr || state->item->tmpl == nullptr || state->input == nullptr ||
      state->result == nullptr || (state->mode != ASN1_MODE_DER && state->mode != ASN1_MODE_BER))
    return kErrInvalidParameter;
  const ASN1_ITEM item{state->item->flags & ~ASN1_FLAG_OPTIONAL, state->item->tmpl};
  ASN1_HEADER h;
  int rc = read_header(state->mode, state->input, state->length, &h, 0);
  if (rc == 0) rc = match_item(state->mode, item, h);
  if (rc != 0) return rc;
  if (*state->result == nullptr) {
    *state->result = alloc_zeroed(item.tmpl->record_size);
    if (*state->result == nullptr) return kErrInsufficientMemory;
  }
  rc = decode_matched(state->mode, item, h, state->input, *state->result, 0);
  if (rc == 0 && extent != nullptr) {
    extent->header_len = h.header_len;
    extent->content_len = h.content_len;
    extent->constructed = h.constructed;
    extent->eoc_count = h.eoc_count;
  }
  return rc;
}

}  // namespace
}  // namespace asn1
}  // namespace v7

int asn1_decode(ASN1_DECODE_STATE *state, ASN1_EXTENT *extent) {
  int rc = state == nullptr ? v7::kErrInvalidParameter : v7::asn1::decode_entry(state, extent);
  if (rc != 0) return v7::with_errno(rc, rc);
  return 0;
}

void *asn1_decode_alloc(int mode, const uint8_t *data, const ASN1_TEMPLATE *tmpl, size_t length) {
  if ((mode != ASN1_MODE_DER && mode != ASN1_MODE_BER) || data == nullptr || tmpl == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, static_cast<void *>(nullptr));
  void *record = asn1_new(tmpl);
  if (record == nullptr) return nullptr;
  const ASN1_ITEM item{0, tmpl};
  ASN1_DECODE_STATE state{&item, mode, data, length, &record};
  ASN1_EXTENT extent{};
  int rc = v7::asn1::decode_entry(&state, &extent);
  if (rc == 0 && uint64_t(extent.header_len) + extent.content_len + 2u * uint64_t(extent.eoc_count) > length)
    rc = v7::kErrAsn1Decode;
  if (rc != 0) {
    asn1_release(tmpl, record);
    return v7::with_errno(rc, static_cast<void *>(nullptr));
  }
  return record;
}
