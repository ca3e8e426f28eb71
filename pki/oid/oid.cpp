#include "pki/oid/oid.h"

#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/oid/internal.h"
#include "platform/locale/process_words.h"

int oid_to_id(const ASN1_BYTES *oid) {
  if (oid == nullptr || oid->data == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  const v7::OidEntry *e = v7::oid_entry_by_contents(oid->data, oid->len);
  if (e == nullptr) return v7::with_errno(v7::kErrUnknownOid, 0);
  return e->id;
}

const char *oid_id_name(int id) {
  const v7::OidEntry *e = v7::oid_entry_by_id(id);
  if (e == nullptr) return nullptr;
  if (e->name != nullptr) return e->name;
  if (e->title_en == nullptr) return nullptr;
  if (!language_is_korean()) return e->title_en;
  return char_encoding_is_utf8() ? e->title_ko : e->title_ko_euckr;
}

int oid_name_to_buf(size_t capacity, const ASN1_BYTES *oid, char *output) {
  if (oid == nullptr || oid->data == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  const v7::OidEntry *e = v7::oid_entry_by_contents(oid->data, oid->len);
  const char *name = e != nullptr ? oid_id_name(e->id) : nullptr;
  // Without a name the dotted text is the answer, with oid_to_text's own size rules and codes.
  if (name == nullptr) return oid_to_text(output, oid, capacity);
  size_t len = std::strlen(name);
  if (output == nullptr) return int(len);
  if (len >= capacity) return v7::with_errno(v7::kErrInsufficientBuffer, 0);
  std::memcpy(output, name, len + 1);
  return int(len);
}

const uint8_t *oid_id_contents(int id, size_t *len) {
  if (len == nullptr) return v7::with_errno(v7::kErrInvalidParameter, static_cast<const uint8_t *>(nullptr));
  const v7::OidEntry *e = v7::oid_entry_by_id(id);
  if (e == nullptr) return v7::with_errno(v7::kErrUnknownOid, static_cast<const uint8_t *>(nullptr));
  *len = e->len;
  return e->contents;
}
