// The object-id table and the text settings the display names depend on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace v7 {

// The longest contents of a known identifier (PKCS#12 bag types). Anything longer is unknown
// without a look at the table.
constexpr size_t kOidMaxContents = 11;

struct OidEntry {
  int id;
  const char *dotted;
  const char *name;      // the one short name of both languages, or null
  const char *title_en;  // extension and qualifier titles, or null
  const char *title_ko;  // UTF-8
  const char *title_ko_euckr;
  uint8_t len;  // contents octets, derived from dotted when the table is compiled
  uint8_t contents[kOidMaxContents];
};

// Every known identifier, in id order.
const OidEntry *oid_table(size_t *count);
const OidEntry *oid_entry_by_id(int id);
const OidEntry *oid_entry_by_contents(const uint8_t *contents, size_t len);

}  // namespace v7
