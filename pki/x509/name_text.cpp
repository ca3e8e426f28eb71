#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/errors/errno_util.h"
#include "pki/oid/oid.h"
#include "pki/text/codepage.h"
#include "platform/locale/process_words.h"
#include "pki/x509/internal.h"
#include "pki/x509/name.h"

namespace v7 {
namespace x509 {

bool tlv_contents(const ASN1_BYTES &tlv, uint8_t *tag, const uint8_t **contents, size_t *length) {
  if (tlv.data == nullptr || tlv.len == 0) return false;
  ASN1_HEADER h;
  if (asn1_read_header(ASN1_MODE_DER, tlv.data, tlv.len, &h) != 0) return false;
  if (uint64_t(h.header_len) + h.content_len != tlv.len) return false;
  *tag = tlv.data[0];
  *contents = tlv.data + h.header_len;
  *length = h.content_len;
  return true;
}

}  // namespace x509
}  // namespace v7

using v7::with_errno;

namespace {

const char *short_name(int oid_id) {
  switch (oid_id) {
    case OID_AT_COMMON_NAME:
      return "cn";
    case OID_AT_SURNAME:
      return "sn";
    case OID_AT_COUNTRY:
      return "c";
    case OID_AT_LOCALITY:
      return "l";
    case OID_AT_STATE:
      return "s";
    case OID_AT_ORGANIZATION:
      return "o";
    case OID_AT_ORG_UNIT:
      return "ou";
    case OID_AT_EMAIL:
      return "e";
    case OID_AT_SERIAL_NUMBER:
      return "serial";
    case OID_AT_STREET:
      return "street";
    case OID_AT_POSTAL_CODE:
      return "postalCode";
    default:
      return nullptr;
  }
}

const char *atv_short_name(const AttributeTypeAndValue &atv) {
  return atv.type.data != nullptr ? short_name(oid_to_id(&atv.type)) : nullptr;
}

// The RDNs of a sequence in DER order, without the empty node of an empty list.
std::vector<const ASN1_LIST *> rdn_list(const ASN1_LIST *rdn_sequence) {
  std::vector<const ASN1_LIST *> rdns;
  for (const ASN1_LIST *node = rdn_sequence; node != nullptr; node = node->next)
    if (node->element != nullptr) rdns.push_back(static_cast<const ASN1_LIST *>(node->element));
  return rdns;
}

// The text of a UTF8String or PrintableString value; 0 or the code.
int value_text(const ASN1_BYTES &value, const uint8_t **text, size_t *length) {
  uint8_t tag;
  if (!v7::x509::tlv_contents(value, &tag, text, length)) return v7::kErrAsn1Decode;
  if (tag != ASN1_KIND_UTF8_STRING && tag != ASN1_KIND_PRINTABLE_STRING) return v7::kErrAsn1InvalidTag;
  // A NUL inside a value would cut the text short wherever it is used as a C string, and let a
  // name pass for another: such a value is refused like an unreadable one.
  if (*length != 0 && memchr(*text, 0, *length) != nullptr) return v7::kErrAsn1InvalidTag;
  return 0;
}

// Counts the text and writes what fits; the caller checks the count against the capacity.
struct TextSink {
  char *out;
  size_t capacity;
  size_t used = 0;
  void add(const void *bytes, size_t n) {
    if (out != nullptr && used + n <= capacity) memcpy(out + used, bytes, n);
    used += n;
  }
  void add(const char *text) { add(text, strlen(text)); }
};

}  // namespace

int dn_attr_value_text(const ASN1_BYTES *value, char *out, size_t capacity) {
  if (value == nullptr || out == nullptr) return with_errno(v7::kErrInvalidParameter, 0);
  const uint8_t *text;
  size_t length;
  int code = value_text(*value, &text, &length);
  if (code != 0) return with_errno(code, 0);
  if (length >= capacity) return with_errno(v7::kErrInsufficientBuffer, 0);
  memcpy(out, text, length);
  out[length] = '\0';
  return with_errno(0, int(length));
}

namespace {

// Values are written as they stand: a "," "+" or "=" inside a value is not escaped. This is the
// display form that the directory lookups and the CA folder names are built from, so it stays;
// such a name is ambiguous as text, and only comparisons of the decoded names are exact.
// The code goes back in *code and errno is left to the caller: freeing the list of RDNs may
// touch errno, so it is set after that.
int write_name(const ASN1_LIST *rdn_sequence, const char *separator, char *out, size_t capacity, int *code) {
  *code = 0;
  if (separator == nullptr) separator = ",";
  std::vector<const ASN1_LIST *> rdns = rdn_list(rdn_sequence);

  TextSink sink{out, capacity};
  for (size_t i = rdns.size(); i-- > 0;) {
    if (i + 1 != rdns.size()) sink.add(separator);
    bool first = true;
    for (const ASN1_LIST *a = rdns[i]; a != nullptr; a = a->next) {
      const AttributeTypeAndValue *atv = static_cast<const AttributeTypeAndValue *>(a->element);
      if (atv == nullptr) continue;
      const char *name = atv_short_name(*atv);
      if (name == nullptr) {
        *code = v7::kErrInvalidDnType;
        return 0;
      }
      const uint8_t *text;
      size_t length;
      if ((*code = value_text(atv->value, &text, &length)) != 0) return 0;
      if (!first) sink.add("+");
      first = false;
      sink.add(name);
      sink.add("=");
      sink.add(text, length);
    }
  }
  if (out == nullptr) return int(sink.used + 1);
  if (sink.used >= capacity) {
    *code = v7::kErrInsufficientBuffer;
    return 0;
  }
  out[sink.used] = '\0';
  return int(sink.used);
}

}  // namespace

int name_compare_text(const Name *name, const char *text) {
  if (name == nullptr || text == nullptr) return with_errno(v7::kErrInvalidParameter, 1);
  std::vector<const ASN1_LIST *> rdns = rdn_list(name->rdn_sequence);
  // The text is read in the order write_name writes it. Each value in the text ends at the first
  // separator character, so a decoded value that holds one can never match: such a value is what
  // would let another name render as this text.
  const char *at = text;
  for (size_t i = rdns.size(); i-- > 0;) {
    if (i + 1 != rdns.size() && *at++ != ',') return 1;
    bool first = true;
    for (const ASN1_LIST *a = rdns[i]; a != nullptr; a = a->next) {
      const AttributeTypeAndValue *atv = static_cast<const AttributeTypeAndValue *>(a->element);
      if (atv == nullptr) continue;
      if (!first && *at++ != '+') return 1;
      first = false;
      const char *type = atv_short_name(*atv);
      if (type == nullptr) return 1;
      size_t type_len = strlen(type);
      if (strncmp(at, type, type_len) != 0 || at[type_len] != '=') return 1;
      at += type_len + 1;
      const uint8_t *value;
      size_t value_len;
      if (value_text(atv->value, &value, &value_len) != 0) return 1;
      size_t text_len = strcspn(at, ",+=");
      if (text_len != value_len || (value_len != 0 && memcmp(at, value, value_len) != 0)) return 1;
      at += text_len;
    }
  }
  return *at == '\0' ? 0 : 1;
}

int name_to_text(const ASN1_LIST *rdn_sequence, const char *separator, char *out, size_t capacity) {
  if (rdn_sequence == nullptr) return with_errno(v7::kErrInvalidParameter, 0);
  int code = 0;
  int length = write_name(rdn_sequence, separator, out, capacity, &code);
  return with_errno(code, length);
}

int name_to_text_comma(const Name *name, char *out, size_t capacity) {
  if (name == nullptr) return with_errno(v7::kErrInvalidParameter, 0);
  return name_to_text(name->rdn_sequence, ",", out, capacity);
}

int cert_name_to_text(const Name *name, char **out_text) {
  if (name == nullptr || out_text == nullptr) return with_errno(v7::kErrInvalidParameter, -1);
  *out_text = nullptr;
  int size = name_to_text_comma(name, nullptr, 0);
  if (size == 0) return -1;
  char *text = static_cast<char *>(malloc(size_t(size)));
  if (text == nullptr) return with_errno(v7::kErrOutOfMemory, -1);
  int length = name_to_text_comma(name, text, size_t(size));
  if (length == 0 && errno != 0) {
    int code = errno;
    free(text);
    return with_errno(code, -1);
  }
  if (char_encoding_mode() != kCharEncodingUtf8 && length > 0) {
    char *converted = nullptr;
    size_t n = utf8_to_euckr(text, &converted);
    int code = errno;
    free(text);
    if (n == 0) return with_errno(code, -1);
    *out_text = converted;
    return with_errno(0, int(n));
  }
  *out_text = text;
  return with_errno(0, length);
}

int name_field_text(const GeneralName *name, char *out, size_t capacity) {
  if (name == nullptr) return with_errno(v7::kErrInvalidParameter, 0);
  if (name->directory_name != nullptr) return name_to_text_comma(name->directory_name, out, capacity);
  const ASN1_BYTES *uri = name->uniform_resource_identifier;
  if (uri == nullptr) return with_errno(v7::kErrInvalidDnFormat, 0);
  if (out == nullptr) return with_errno(0, int(uri->len + 1));
  if (uri->len >= capacity) return with_errno(v7::kErrInsufficientBuffer, 0);
  if (uri->len != 0) memcpy(out, uri->data, uri->len);
  out[uri->len] = '\0';
  return with_errno(0, int(uri->len));
}
