// The messages of a fetch as bytes: framing, the three requests, and the reading of a search's
// replies. Nothing here touches the network, so the fuzz target drives the same code with a
// buffer that the fetch drives with its socket.

#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1_owned.h"
#include "pki/asn1/x509_types.h"
#include "pki/ldap/internal.h"

namespace v7 {
namespace ldap {

const uint8_t kBindRequest[14] = {0x30, 0x0C, 0x02, 0x01, 0x01, 0x60, 0x07,
                                  0x02, 0x01, 0x03, 0x04, 0x00, 0x80, 0x00};

const ASN1_TEMPLATE *value_template(int kind) {
  switch (kind) {
    case LDAP_KIND_USER_CERT:
    case LDAP_KIND_CA_CERT:
      return &asn1_tmpl_certificate;
    case LDAP_KIND_CRL:
      return &asn1_tmpl_certificate_list;
    case LDAP_KIND_TRUST_LIST:
    case LDAP_KIND_USER_CERTS:
      return &asn1_tmpl_ldap_values;
    default:
      return nullptr;
  }
}

int element_frame(const uint8_t *p, size_t have, uint64_t *total) {
  if (have < 2) return *total = 2, 1;
  const uint8_t first = p[1];
  if (first < 0x80) return *total = 2u + first, 0;
  const size_t count = first & 0x7F;
  if (count == 0 || count > 4) return kErrLdapRecv;
  if (have < 2 + count) return *total = 2 + count, 1;
  uint64_t len = 0;
  for (size_t i = 0; i < count; ++i) len = (len << 8) | p[2 + i];
  *total = 2 + count + len;
  return 0;
}

int read_message(ByteSource *source, Bytes *message) {
  uint8_t head[6];
  size_t have = 0;
  uint64_t total = 0;
  int rc;
  source->message_begins();
  while ((rc = element_frame(head, have, &total)) == 1) {
    int pulled = source->pull(head + have, size_t(total) - have);
    if (pulled != 0) return pulled;
    have = size_t(total);
  }
  if (rc != 0) return rc;
  if (total > kLdapMaxMessage) return kErrLdapRecv;
  message->assign(head, head + have);
  message->resize(size_t(total));
  return total > have ? source->pull(message->data() + have, size_t(total) - have) : 0;
}

size_t shape_message_id(const uint8_t raw[4], uint8_t out[4]) {
  uint8_t b[4] = {uint8_t(raw[0] & 0x7F), raw[1], raw[2], raw[3]};
  size_t skip = 0;
  while (skip < 3 && b[skip] == 0 && (b[skip + 1] & 0x80) == 0) ++skip;
  std::memcpy(out, b + skip, 4 - skip);
  return 4 - skip;
}

namespace {

// Records that point into the caller's texts: encoded, never freed.
ASN1_BYTES view(const void *p, size_t n) {
  return ASN1_BYTES{n != 0 ? static_cast<uint8_t *>(const_cast<void *>(p)) : nullptr, uint32_t(n), 0};
}

int encode_message(const LDAPMessage &message, Bytes *out) {
  uint8_t *der = nullptr;
  size_t len = 0;
  if (der_encode_alloc(&asn1_tmpl_ldap_message, &message, &der, &len) == 0) return errno;
  out->assign(der, der + len);
  std::free(der);
  return 0;
}

bool is_one_byte(const ASN1_BYTES &b, uint8_t value) { return b.len == 1 && b.data[0] == value; }

bool same_id(const LDAPMessage &m, const uint8_t *id, size_t id_len) {
  return m.message_id.len == id_len && m.message_id.dropped_zeros == 0 &&
         std::memcmp(m.message_id.data, id, id_len) == 0;
}

struct Decoded : Asn1Owned<LDAPMessage> {
  Decoded() : Asn1Owned<LDAPMessage>(&asn1_tmpl_ldap_message) {}
};

// Every reply is decoded strictly: a BER-only form from the server fails.
int decode(const Bytes &bytes, Decoded *d) {
  return d->decode(ASN1_MODE_DER, bytes.data(), bytes.size()) ? 0 : errno;
}

bool starts_with_ignoring_case(const ASN1_BYTES &type, const char *lower) {
  size_t n = std::strlen(lower);
  if (type.len < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = char(type.data[i]);
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != lower[i]) return false;
  }
  return true;
}

bool type_matches(const ASN1_BYTES &type, const LDAP_URL *url, int kind) {
  if (url->attribute != nullptr) return true;
  switch (kind) {
    case LDAP_KIND_USER_CERT:
    case LDAP_KIND_USER_CERTS:
      return starts_with_ignoring_case(type, "usercertificate");
    case LDAP_KIND_CA_CERT:
      return starts_with_ignoring_case(type, "cacertificate");
    case LDAP_KIND_CRL:
      return starts_with_ignoring_case(type, "certificaterevocationlist") ||
             starts_with_ignoring_case(type, "authorityrevocationlist");
    case LDAP_KIND_TRUST_LIST:
      return starts_with_ignoring_case(type, "certificatetrustlist");
    default:
      return false;
  }
}

// A value that is one whole element of the template, with nothing after it.
void *decode_value(const ASN1_BYTES &value, const ASN1_TEMPLATE *tmpl, int *code) {
  if (value.len == 0 || value.data[0] != 0x30) return *code = kErrAsn1Decode, nullptr;
  void *record = nullptr;
  const ASN1_ITEM item{0, tmpl};
  ASN1_DECODE_STATE state{&item, ASN1_MODE_DER, value.data, value.len, &record};
  ASN1_EXTENT extent{};
  int rc = asn1_decode(&state, &extent);
  if (rc == 0 && uint64_t(extent.header_len) + extent.content_len != value.len) rc = kErrAsn1Decode;
  if (rc != 0) {
    asn1_release(tmpl, record);
    return *code = rc, nullptr;
  }
  return record;
}

// All values of one attribute as a record of their own.
void *copy_values(const ASN1_LIST &vals, int *code) {
  uint8_t *der = nullptr;
  size_t len = 0;
  void *copy = nullptr;
  if (der_encode_alloc(&asn1_tmpl_ldap_values, &vals, &der, &len) != 0)
    copy = asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_ldap_values, len);
  if (copy == nullptr) *code = errno;
  std::free(der);
  return copy;
}

}  // namespace

int encode_search(const LDAP_URL *url, const uint8_t *id, size_t id_len, Bytes *out) {
  static const uint8_t kZero = 0;
  static const char kObjectClass[] = "objectclass";
  ASN1_BYTES present = view(kObjectClass, sizeof(kObjectClass) - 1);
  ASN1_BYTES attribute = {};
  SearchRequest search = {};
  search.base_object = view(url->dn, std::strlen(url->dn));
  search.scope = view(&kZero, 1);
  search.deref_aliases = view(&kZero, 1);
  search.size_limit = view(&kZero, 1);
  search.time_limit = view(&kZero, 1);
  search.filter.present = &present;
  if (url->attribute != nullptr) {
    attribute = view(url->attribute, std::strlen(url->attribute));
    search.attributes.element = &attribute;
  }
  LDAPMessage message = {};
  message.message_id = view(id, id_len);
  message.protocol_op.search_request = &search;
  int rc = encode_message(message, out);
  return rc != 0 ? kErrLdapSearch : 0;
}

int encode_unbind(const uint8_t *id, size_t id_len, Bytes *out) {
  ASN1_NULL unbind = nullptr;
  LDAPMessage message = {};
  message.message_id = view(id, id_len);
  message.protocol_op.unbind_request = &unbind;
  return encode_message(message, out);
}

int check_bind_response(const Bytes &bytes) {
  static const uint8_t kBindId = 1;
  Decoded d;
  if (decode(bytes, &d) != 0) return kErrLdapBind;
  const BindResponse *response = d->protocol_op.bind_response;
  bool ok = response != nullptr && same_id(*d, &kBindId, 1) && is_one_byte(response->result_code, 0);
  return ok ? 0 : kErrLdapBind;
}

void *pick_value(const SearchResultEntry *entry, const LDAP_URL *url, int kind, int *code) {
  const ASN1_TEMPLATE *tmpl = value_template(kind);
  const bool all_values = tmpl == &asn1_tmpl_ldap_values;
  for (const ASN1_LIST *a = &entry->attributes; a != nullptr; a = a->next) {
    const PartialAttribute *attribute = static_cast<const PartialAttribute *>(a->element);
    if (attribute == nullptr || !type_matches(attribute->type, url, kind)) continue;
    if (all_values) {
      if (attribute->vals.element == nullptr) continue;
      void *values = copy_values(attribute->vals, code);
      if (values == nullptr) return nullptr;
      return values;
    }
    for (const ASN1_LIST *v = &attribute->vals; v != nullptr; v = v->next) {
      if (v->element == nullptr) continue;
      int ignored;
      void *record = decode_value(*static_cast<const ASN1_BYTES *>(v->element), tmpl, &ignored);
      if (record != nullptr) return record;
    }
  }
  *code = kErrLdapSearch;
  return nullptr;
}

void *read_search_replies(ByteSource *source, const LDAP_URL *url, int kind, const uint8_t *id, size_t id_len,
                          int *code) {
  Bytes bytes;
  int rc = read_message(source, &bytes);
  if (rc != 0) return *code = rc, nullptr;
  void *value = nullptr;
  bool done = false;
  {
    Decoded d;
    rc = decode(bytes, &d);
    if (rc != 0) return *code = rc, nullptr;
    const LDAPProtocolOp &op = d->protocol_op;
    done = op.search_res_done != nullptr;
    if (!same_id(*d, id, id_len) || op.search_res_entry == nullptr)
      rc = kErrLdapSearch;
    else
      value = pick_value(op.search_res_entry, url, kind, &rc);
  }
  // The search ends with its SearchResultDone; until then the stream holds our replies.
  for (int i = 0; !done && i <= kMaxTrailingMessages; ++i) {
    int read = i < kMaxTrailingMessages ? read_message(source, &bytes) : kErrLdapRecv;
    if (read != 0) {
      if (rc == 0) rc = read;
      break;
    }
    Decoded d;
    done = decode(bytes, &d) == 0 && same_id(*d, id, id_len) && d->protocol_op.search_res_done != nullptr;
  }
  if (rc != 0) {
    asn1_release(value_template(kind), value);
    return *code = rc, nullptr;
  }
  return value;
}

}  // namespace ldap
}  // namespace v7
