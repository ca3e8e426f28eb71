#include <cstring>
#include <vector>

#include "platform/errors/errno_util.h"
#include "pki/x509/internal.h"
#include "pki/x509/name.h"

using v7::with_errno;

namespace {

bool same_bytes(const ASN1_BYTES &a, const ASN1_BYTES &b) {
  return a.len == b.len && (a.len == 0 || memcmp(a.data, b.data, a.len) == 0);
}

char ascii_lower(uint8_t c) { return char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); }

// Same type, same string tag, same length, same value; PrintableString ignores ASCII case. A
// value that is not exactly one DER element matches nothing.
bool same_attribute(const AttributeTypeAndValue &a, const AttributeTypeAndValue &b) {
  if (!same_bytes(a.type, b.type)) return false;
  uint8_t tag_a, tag_b;
  const uint8_t *va, *vb;
  size_t la, lb;
  if (!v7::x509::tlv_contents(a.value, &tag_a, &va, &la) ||
      !v7::x509::tlv_contents(b.value, &tag_b, &vb, &lb))
    return false;
  if (tag_a != tag_b || la != lb) return false;
  if (tag_a != ASN1_KIND_PRINTABLE_STRING) return la == 0 || memcmp(va, vb, la) == 0;
  for (size_t i = 0; i < la; ++i)
    if (ascii_lower(va[i]) != ascii_lower(vb[i])) return false;
  return true;
}

std::vector<const AttributeTypeAndValue *> attributes(const ASN1_LIST *rdn) {
  std::vector<const AttributeTypeAndValue *> out;
  for (; rdn != nullptr; rdn = rdn->next)
    if (rdn->element != nullptr) out.push_back(static_cast<const AttributeTypeAndValue *>(rdn->element));
  return out;
}

const ASN1_LIST *next_rdn(const ASN1_LIST *node) {
  while (node != nullptr && node->element == nullptr) node = node->next;
  return node;
}

}  // namespace

int rdn_compare(const ASN1_LIST *a, const ASN1_LIST *b) {
  if (a == nullptr || b == nullptr) return with_errno(v7::kErrInvalidParameter, 1);
  std::vector<const AttributeTypeAndValue *> left = attributes(a), right = attributes(b);
  if (left.size() != right.size()) return 1;
  // Each attribute of b partners one attribute of a only, so {x, x} never equals {x, y}.
  std::vector<bool> taken(right.size(), false);
  for (const AttributeTypeAndValue *x : left) {
    bool found = false;
    for (size_t j = 0; j < right.size() && !found; ++j) {
      if (!taken[j] && same_attribute(*x, *right[j])) taken[j] = found = true;
    }
    if (!found) return 1;
  }
  return 0;
}

int rdn_list_compare(const ASN1_LIST *a, const ASN1_LIST *b) {
  const ASN1_LIST *x = next_rdn(a), *y = next_rdn(b);
  while (x != nullptr && y != nullptr) {
    if (rdn_compare(static_cast<const ASN1_LIST *>(x->element), static_cast<const ASN1_LIST *>(y->element)) !=
        0)
      return 1;
    x = next_rdn(x->next);
    y = next_rdn(y->next);
  }
  return x == nullptr && y == nullptr ? 0 : 1;
}

int name_compare(const Name *a, const Name *b) {
  if (a == nullptr && b == nullptr) return 0;
  if (a == nullptr || b == nullptr) return 1;
  return rdn_list_compare(a->rdn_sequence, b->rdn_sequence);
}
