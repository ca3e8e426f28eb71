// Pieces the decoder, encoder and free walker share: what a kind is, where a field lies in its
// parent's record, the header reader with its nesting depth, and the allocator.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/asn1.h"

namespace v7 {
namespace asn1 {

// Kinds the codec has rules for; any other kind fails to decode (1111) and to encode (1102).
bool is_known_kind(uint32_t kind);
// Kinds whose BER form may be constructed from segments.
bool is_string_kind(uint32_t kind);
// The identifier byte of the kind's own (untagged) encoding; 0 for ANY, CHOICE and unknown kinds.
uint8_t universal_tag(uint32_t kind);
// 0x20 for the kinds that encode as constructed elements.
uint8_t constructed_bit(uint32_t kind);

inline uint32_t item_tag_byte(const ASN1_ITEM &item) { return item.flags & 0xFF; }
inline bool item_optional(const ASN1_ITEM &item) { return (item.flags & ASN1_FLAG_OPTIONAL) != 0; }
// A tag byte that wraps the item's own encoding in an outer element.
inline bool item_explicit(const ASN1_ITEM &item) {
  return item_tag_byte(item) != 0 &&
         ((item.flags & ASN1_FLAG_IMPLICIT) == 0 || item.tmpl->kind == ASN1_KIND_CHOICE);
}

// Whether the template's record size holds the record its kind writes (SEQUENCE and SET check each
// field as they go). A template that does not fails with kErrAsn1Template instead of overrunning.
bool record_fits(const ASN1_TEMPLATE &t);

// Fields of a SEQUENCE or SET record are laid out as a C compiler lays out the mirroring struct:
// each at the next offset aligned for its type. *cursor is the end of the previous field (start
// with 0); returns this field's offset and moves the cursor past it.
size_t next_field_offset(const ASN1_ITEM &item, size_t *cursor);

// The header reader behind asn1_read_header; depth counts the elements that enclose this one.
int read_header(int mode, const uint8_t *input, size_t available, ASN1_HEADER *header, int depth);

inline uint64_t element_size(const ASN1_HEADER &h) {
  return uint64_t(h.header_len) + h.content_len + 2u * uint64_t(h.eoc_count);
}

// Reads one subidentifier of OID contents at *pos: base 128, at most four bytes, no leading 0x80
// byte. false for malformed contents.
bool oid_next_subid(const uint8_t *contents, size_t len, size_t *pos, uint32_t *value);

// Zero-filled memory for records and copies. Tests can make the n-th following allocation fail
// (set_alloc_failure_countdown(n); 0 turns it off) to walk every out-of-memory path.
void *alloc_zeroed(size_t n);
void set_alloc_failure_countdown(long n);

}  // namespace asn1
}  // namespace v7
