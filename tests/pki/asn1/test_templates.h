// The templates the codec tests and the fuzzer reach by name: the primitives, small hand-made
// shapes for the corner cases, and the toolkit's own standard-structure templates
// (pki/asn1/*_types.h) for real files.
#pragma once

#include <cstddef>

#include "pki/asn1/asn1.h"

namespace asn1test {

struct NamedItem {
  const char *name;
  ASN1_ITEM item;
};
// The order is the fuzzer's first-byte index: append, never reorder.
const NamedItem *named_items(size_t *count);
const ASN1_ITEM *find_item(const char *name);

}  // namespace asn1test
