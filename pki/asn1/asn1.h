// The toolkit's one ASN.1 codec: constant type descriptions (templates) drive a decoder from DER
// (strict) or BER (lenient) into trees of plain records, an encoder from such trees to DER, and a
// walker that frees them. Beside it stand the small DER helpers the rest of the toolkit shares:
// the one tag-and-length reader and writer, INTEGER to int, OID contents to dotted text and the
// two ASN.1 time types.
//
// Every function leaves its failure code in errno (platform/errors/errno_util.h, the kErrAsn1
// block, plus kErrOutOfMemory in the entry points, kErrInsufficientMemory out of memory inside the
// decoder, kErrInvalidParameter bad arguments and kErrInsufficientBuffer a short output buffer).
//
// Limits that hostile input cannot move: nesting of constructed elements, explicit tags and
// indefinite lengths together is at most kAsn1MaxDepth levels deep (deeper input fails with
// kErrAsn1TooDeep); lengths are read with at most four length bytes and never wrap, also where
// size_t has 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>

// Kinds of a template: universal tag numbers for the primitives, then the constructed kinds.
// The low byte of the two list kinds is the tag byte of their encoding.
enum : uint32_t {
  ASN1_KIND_ANY = 0,
  ASN1_KIND_BOOLEAN = 1,
  ASN1_KIND_INTEGER = 2,
  ASN1_KIND_BIT_STRING = 3,
  ASN1_KIND_OCTET_STRING = 4,
  ASN1_KIND_NULL = 5,
  ASN1_KIND_OID = 6,
  ASN1_KIND_ENUMERATED = 10,
  ASN1_KIND_UTF8_STRING = 12,
  ASN1_KIND_NUMERIC_STRING = 18,
  ASN1_KIND_PRINTABLE_STRING = 19,
  ASN1_KIND_T61_STRING = 20,
  ASN1_KIND_VIDEOTEX_STRING = 21,
  ASN1_KIND_IA5_STRING = 22,
  ASN1_KIND_UTC_TIME = 23,
  ASN1_KIND_GENERALIZED_TIME = 24,
  ASN1_KIND_GRAPHIC_STRING = 25,
  ASN1_KIND_VISIBLE_STRING = 26,
  ASN1_KIND_GENERAL_STRING = 27,
  ASN1_KIND_UNIVERSAL_STRING = 28,
  ASN1_KIND_BMP_STRING = 30,
  ASN1_KIND_SEQUENCE = 48,
  ASN1_KIND_SET = 49,
  ASN1_KIND_SEQUENCE_OF = 304,
  ASN1_KIND_SET_OF = 305,
  ASN1_KIND_CHOICE = 544,
};

// The tag/flags word of an item. The low byte is a tag byte as it is encoded (class bits 0x80
// context-specific, 0x40 APPLICATION; low five bits the number, 0 to 30); a nonzero tag byte is
// EXPLICIT unless ASN1_FLAG_IMPLICIT is set. IMPLICIT on a CHOICE is treated as EXPLICIT.
enum : uint32_t {
  ASN1_FLAG_IMPLICIT = 0x100,
  ASN1_FLAG_OPTIONAL = 0x1000,  // the parent holds a pointer, null when absent
};
constexpr uint32_t asn1_explicit(uint32_t n) { return 0xA0 | n; }
constexpr uint32_t asn1_implicit(uint32_t n) { return 0x80 | n | ASN1_FLAG_IMPLICIT; }

enum : int {
  ASN1_MODE_DER = 0,  // strict
  ASN1_MODE_BER = 1,  // lenient: indefinite lengths, constructed strings, any BOOLEAN byte
};

constexpr int kAsn1MaxDepth = 32;

struct ASN1_ITEM;

// A constant description of one type. record_size is the size of its decoded record (sizeof of the
// C record that mirrors it).
struct ASN1_TEMPLATE {
  uint32_t kind;
  uint32_t item_count;  // rows of items; 0 for primitives, 1 for the list kinds (the element)
  uint32_t record_size;
  const ASN1_ITEM *items;
};

struct ASN1_ITEM {
  uint32_t flags;  // tag byte | ASN1_FLAG_IMPLICIT | ASN1_FLAG_OPTIONAL
  const ASN1_TEMPLATE *tmpl;
};

// Decoded records. Fields of a SEQUENCE or SET record follow the template's items in order with
// the C layout rules: a mandatory item's record inline, an OPTIONAL item's as a pointer.
//
// INTEGER, OCTET STRING, OID, ENUMERATED, the strings and times: the contents octets, copied with
// one zero byte after them (text kinds read as zero-terminated text); an empty value has null
// data. ANY: the whole element, tag to end-of-contents. A decoded INTEGER is stored minimal;
// dropped_zeros counts the redundant leading zero bytes the input carried (the encoder writes
// them back, so that a re-encoding a signature is checked over equals the signed bytes). Records
// built by callers leave it 0.
struct ASN1_BYTES {
  uint8_t *data;
  uint32_t len;
  uint32_t dropped_zeros;
};

// The contents after the unused-bits octet; null data and len 0 for an empty string.
struct ASN1_BIT_STRING {
  uint8_t *data;
  uint32_t len;
  uint32_t unused_bits;
};

typedef uint32_t ASN1_BOOLEAN;  // the contents octet: 0 false, nonzero true
typedef void *ASN1_NULL;        // always null

// SEQUENCE OF and SET OF: the first node lies in the parent's record, later nodes are allocated.
// An empty list is one node with a null element; nodes keep the input's order.
struct ASN1_LIST {
  void *element;
  ASN1_LIST *next;
};

// A CHOICE record is one pointer per alternative (record_size = count * sizeof(void *)); exactly
// the chosen one is non-null.

struct ASN1_DECODE_STATE {
  const ASN1_ITEM *item;
  int mode;  // ASN1_MODE_DER or ASN1_MODE_BER
  const uint8_t *input;
  size_t length;
  void **result;  // the record to fill; allocated (zero-filled) when *result is null
};

// Where an element lies: header + content + 2 * eoc_count bytes from its first byte.
struct ASN1_EXTENT {
  uint32_t header_len;
  uint32_t content_len;
  uint32_t constructed;  // 0 or 0x20
  uint32_t eoc_count;
};

// A zero-filled record of the template's size; null with kErrInvalidParameter (no template) or
// kErrOutOfMemory.
void *asn1_new(const ASN1_TEMPLATE *tmpl);

// Decodes one element by state->item and fills the extent. Returns 0 or the code (also in errno).
// A failure may leave a partly filled record in *state->result: release it with asn1_release.
// Callers that decode a part of a larger buffer check the extent themselves.
int asn1_decode(ASN1_DECODE_STATE *state, ASN1_EXTENT *extent);

// Decodes a whole buffer into a new record; bytes after the element are accepted. Null on failure
// with the code in errno and nothing left allocated.
void *asn1_decode_alloc(int mode, const uint8_t *data, const ASN1_TEMPLATE *tmpl, size_t length);

// Releases everything the record owns (secret or not, data is wiped first) and zero-fills it; the
// record itself stays. asn1_release also frees the record. Both do nothing for a null record.
void asn1_free(const ASN1_TEMPLATE *tmpl, void *record);
void asn1_release(const ASN1_TEMPLATE *tmpl, void *record);

// DER encoding of the item's value. With a null output only the size is computed; otherwise the
// output must hold that many bytes. 0 on failure with the code in errno.
size_t asn1_encode(const ASN1_ITEM *item, const void *record, uint8_t *output);
size_t asn1_encoded_size(const ASN1_TEMPLATE *tmpl, const void *record);
// A null output returns the size; a capacity below it fails with kErrInsufficientBuffer.
size_t asn1_encode_into(const ASN1_TEMPLATE *tmpl, uint8_t *output, const void *record, size_t capacity);
// Encodes into a new buffer that the caller frees with free(); returns its length, 0 on failure.
size_t der_encode_alloc(const ASN1_TEMPLATE *tmpl, const void *record, uint8_t **buffer, size_t *length);

// One element's header as the codec reads it, for callers that walk DER by hand.
struct ASN1_HEADER {
  uint32_t tag;         // the first identifier byte (class, constructed bit, low five bits)
  uint32_t tag_number;  // the full tag number, also in the high-tag-number form
  uint32_t header_len;  // identifier and length bytes
  uint32_t content_len;
  uint32_t constructed;  // 0 or 0x20
  uint32_t eoc_count;    // 1 for an indefinite length (its contents end with 00 00), else 0
};

// Reads the header at input; 0 or the code. The whole element (header_len + content_len +
// 2 * eoc_count) is known to lie within the available bytes. An indefinite length (BER only) is
// resolved by walking the nested elements to their end-of-contents pair.
int asn1_read_header(int mode, const uint8_t *input, size_t available, ASN1_HEADER *header);

// Writes a tag byte and a DER length (short form below 128, then 0x81 to 0x84) and returns the
// header size, 2 to 6; a null output only counts.
size_t asn1_put_tag_len(uint8_t *output, uint32_t length, uint8_t tag);

// The minimal two's-complement form of INTEGER contents, as the decoder stores it: leading zero
// bytes before a byte with its top bit clear are skipped. Returns the number skipped; 0 with no
// change for empty contents.
size_t asn1_integer_skip_zeros(const uint8_t **contents, size_t *len);

// An INTEGER of at most 4 contents bytes, sign-extended. 0 with kErrAsn1IntegerTooLong for longer
// contents, 0 with kErrInvalidParameter for an absent value; a result of 0 clears errno.
int32_t asn1_integer_to_int(const ASN1_BYTES *value);

// Writes the INTEGER contents of 1024 (04 00) when output is not null; returns 2.
int der_int_1024(uint8_t *output);

// Dotted-decimal text of OID contents, zero-terminated. A null output returns the text length. 0
// with kErrInsufficientBuffer when the length is not smaller than capacity, kErrAsn1OidText on
// malformed contents, kErrInvalidParameter on absent or empty contents.
int oid_to_text(char *output, const ASN1_BYTES *oid, size_t capacity);

// Seconds since 1970 UTC of a UTCTime (YYMMDDhhmmssZ; YY below 70 is 20YY) or GeneralizedTime
// (YYYYMMDDhhmmss[.fraction]Z) text. -1 with kErrInvalidParameter for no input, kErrAsn1UtcTime /
// kErrAsn1GeneralizedTime for a bad format; on success errno is 0, so that a time of -1
// (GeneralizedTime before 1970) is told apart.
int64_t asn1_utctime_to_time(const char *text, size_t length);
int64_t asn1_gentime_to_time(const char *text, size_t length);

// Templates of the primitive kinds, to be used as the sub-templates of items.
extern const ASN1_TEMPLATE asn1_tmpl_any;
extern const ASN1_TEMPLATE asn1_tmpl_boolean;
extern const ASN1_TEMPLATE asn1_tmpl_integer;
extern const ASN1_TEMPLATE asn1_tmpl_bit_string;
extern const ASN1_TEMPLATE asn1_tmpl_octet_string;
extern const ASN1_TEMPLATE asn1_tmpl_null;
extern const ASN1_TEMPLATE asn1_tmpl_oid;
extern const ASN1_TEMPLATE asn1_tmpl_enumerated;
extern const ASN1_TEMPLATE asn1_tmpl_utf8_string;
extern const ASN1_TEMPLATE asn1_tmpl_numeric_string;
extern const ASN1_TEMPLATE asn1_tmpl_printable_string;
extern const ASN1_TEMPLATE asn1_tmpl_t61_string;
extern const ASN1_TEMPLATE asn1_tmpl_videotex_string;
extern const ASN1_TEMPLATE asn1_tmpl_ia5_string;
extern const ASN1_TEMPLATE asn1_tmpl_utc_time;
extern const ASN1_TEMPLATE asn1_tmpl_generalized_time;
extern const ASN1_TEMPLATE asn1_tmpl_graphic_string;
extern const ASN1_TEMPLATE asn1_tmpl_visible_string;
extern const ASN1_TEMPLATE asn1_tmpl_general_string;
extern const ASN1_TEMPLATE asn1_tmpl_universal_string;
extern const ASN1_TEMPLATE asn1_tmpl_bmp_string;
