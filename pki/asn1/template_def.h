// Helpers for defining constant templates: one line per type, with the record size taken from
// the C record that mirrors it.
#pragma once

#include <cstdint>

#include "pki/asn1/asn1.h"

#define V7_ASN1_COUNT(items) uint32_t(sizeof(items) / sizeof((items)[0]))

// Defines `name` of `kind` whose decoded record is `record` and whose rows are `items`.
#define V7_ASN1_TEMPLATE(name, kind, record, items) \
  const ASN1_TEMPLATE name = {kind, V7_ASN1_COUNT(items), uint32_t(sizeof(record)), items};

// SEQUENCE OF / SET OF `element`: one row, record a list node.
#define V7_ASN1_LIST_TEMPLATE(name, kind, element_items) \
  const ASN1_TEMPLATE name = {kind, 1, uint32_t(sizeof(ASN1_LIST)), element_items};

namespace v7 {
namespace asn1 {
constexpr uint32_t kOpt = ASN1_FLAG_OPTIONAL;
}  // namespace asn1
}  // namespace v7
