// Display texts of the standard extensions and their labels.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pki/asn1/asn1_owned.h"
#include "pki/asn1/kisa_types.h"
#include "pki/oid/oid.h"
#include "pki/text/codepage.h"
#include "pki/x509/cert.h"
#include "platform/errors/errno_util.h"
#include "wizard/certview/certview.h"
#include "wizard/certview/internal.h"
#include "wizard/res/string_ids.h"

using v7::Asn1Owned;
using v7::certview::TextOut;

namespace {

// id-kisa-HSM (1.2.410.200004.10.3), the key purpose of certificates whose key lives in a
// security token.
const uint8_t kKisaHsmPurpose[] = {0x2A, 0x83, 0x1A, 0x8C, 0x9A, 0x44, 0x0A, 0x03};

struct ExtLabel {
  int oid_id;
  unsigned label;
};
const ExtLabel kExtLabels[] = {
    {OID_EXT_SUBJECT_KEY_ID, IDS_EXT_SUBJECT_KEY_ID},
    {OID_EXT_KEY_USAGE, IDS_EXT_KEY_USAGE},
    {OID_EXT_SUBJECT_ALT_NAME, IDS_EXT_SUBJECT_ALT_NAME},
    {OID_EXT_CRL_DIST_POINTS, IDS_EXT_CRL_DIST_POINTS},
    {OID_EXT_CERT_POLICIES, IDS_EXT_CERT_POLICIES},
    {OID_EXT_AUTHORITY_KEY_ID, IDS_EXT_AUTHORITY_KEY_ID},
    {OID_EXT_EXT_KEY_USAGE, IDS_EXT_EXT_KEY_USAGE},
    {OID_EXT_AUTHORITY_INFO_ACCESS, IDS_EXT_AUTHORITY_INFO_ACCESS},
};

// Key-usage items in bit order: the eight bits of the first byte, then decipherOnly (bit 8, the
// top bit of the second byte, RFC 5280 4.2.1.3).
const unsigned kKeyUsageItems[] = {IDS_KU_DIGITAL_SIGNATURE, IDS_KU_NON_REPUDIATION, IDS_KU_KEY_ENCIPHERMENT,
                                   IDS_KU_DATA_ENCIPHERMENT, IDS_KU_KEY_AGREEMENT,  IDS_KU_KEY_CERT_SIGN,
                                   IDS_KU_CRL_SIGN,          IDS_KU_ENCIPHER_ONLY,  IDS_KU_DECIPHER_ONLY};

// The renderers report a value that does not decode (or a text that cannot be converted) by
// returning false with errno set.
bool decode_failed() { return v7::with_errno(v7::kErrAsn1Decode, false); }

template <typename T>
bool decode(Asn1Owned<T> &record, const ASN1_BYTES &value) {
  return record.decode(ASN1_MODE_DER, value) || decode_failed();
}

void put_item(TextOut &out, int number, bool first) {
  out.put(first ? "[" : "\r\n[");
  out.put_number(unsigned(number));
  out.put("]");
}

// The value of a GeneralName that the viewer shows: a directory name as text, any of the IA5String
// forms as they stand.
bool put_general_name(TextOut &out, const GeneralName &name) {
  if (name.directory_name != nullptr) return out.name(name.directory_name);
  const ASN1_BYTES *text = name.uniform_resource_identifier != nullptr ? name.uniform_resource_identifier
                           : name.rfc822_name != nullptr               ? name.rfc822_name
                                                                       : name.dns_name;
  if (text != nullptr) out.put(reinterpret_cast<const char *>(text->data), text->len);
  return true;
}

// DisplayText: BMPString converted from UTF-16, UTF8String converted from UTF-8; IA5String and
// VisibleString are ASCII.
bool put_display_text(TextOut &out, const DisplayText &text) {
  if (text.bmp_string != nullptr) {
    const ASN1_BYTES &b = *text.bmp_string;
    // At most three narrow bytes per UTF-16 unit, whichever encoding.
    std::vector<char> converted(size_t(b.len) / 2 * 3 + 1);
    errno = 0;
    size_t n = bmpstring_to_text(b.data, b.len, converted.data(), converted.size());
    if (n == 0 && errno != 0) return false;
    out.put(converted.data(), n);
    return true;
  }
  if (text.utf8_string != nullptr) return out.put_utf8(text.utf8_string->data, text.utf8_string->len);
  const ASN1_BYTES *ascii = text.ia5_string != nullptr ? text.ia5_string : text.visible_string;
  if (ascii != nullptr) out.put(reinterpret_cast<const char *>(ascii->data), ascii->len);
  return true;
}

bool render_key_id(TextOut &out, const ASN1_BYTES &value) {
  Asn1Owned<ASN1_BYTES> id(&asn1_tmpl_octet_string);
  if (!decode(id, value)) return false;
  out.hex_form(id->data, id->len);
  return true;
}

bool render_authority_key_id(TextOut &out, const ASN1_BYTES &value, int mode) {
  Asn1Owned<AuthorityKeyIdentifier> aki(&asn1_tmpl_authority_key_identifier);
  if (!decode(aki, value)) return false;
  const ASN1_BYTES *key_id = aki->key_identifier;
  if (mode != CERTVIEW_NUMBERED) {
    if (key_id != nullptr) out.hex_form(key_id->data, key_id->len);
    return true;
  }
  int item = 0;
  bool first = true;
  if (key_id != nullptr) {
    put_item(out, item, first);
    out.label(IDS_LABEL_KEY_ID);
    out.put(" = ");
    out.hex_form(key_id->data, key_id->len);
    first = false;
  }
  for (const ASN1_LIST *n = aki->authority_cert_issuer; n != nullptr; n = n->next) {
    if (n->element == nullptr) continue;
    put_item(out, ++item, first);
    out.label(IDS_LABEL_AUTHORITY_CERT_ISSUER);
    out.put(" = ");
    if (!put_general_name(out, *static_cast<const GeneralName *>(n->element))) return false;
    first = false;
  }
  if (const ASN1_BYTES *serial = aki->authority_cert_serial_number) {
    put_item(out, ++item, first);
    out.label(IDS_LABEL_AUTHORITY_CERT_SERIAL);
    out.put(" = 0x");
    const uint8_t *bytes;
    size_t length;
    v7::certview::integer_magnitude(*serial, &bytes, &length);
    out.hex(bytes, length);
  }
  return true;
}

// One policy qualifier: a CPS address (IA5String) or a user notice's explicit text. Another
// qualifier kind, or a user notice without explicit text, shows nothing (false only on failure).
bool put_cps(TextOut &out, const PolicyQualifierInfo &q) {
  Asn1Owned<ASN1_BYTES> uri(&asn1_tmpl_ia5_string);
  if (!decode(uri, q.qualifier)) return false;
  out.put(reinterpret_cast<const char *>(uri->data), uri->len);
  return true;
}

bool put_user_notice(TextOut &out, const PolicyQualifierInfo &q) {
  Asn1Owned<UserNotice> notice(&asn1_tmpl_user_notice);
  if (!decode(notice, q.qualifier)) return false;
  return notice->explicit_text == nullptr || put_display_text(out, *notice->explicit_text);
}

bool render_policies(TextOut &out, const ASN1_BYTES &value, int mode) {
  Asn1Owned<ASN1_LIST> policies(&asn1_tmpl_certificate_policies);
  if (!decode(policies, value)) return false;
  int number = 0;
  for (const ASN1_LIST *p = policies.get(); p != nullptr; p = p->next) {
    const auto *policy = static_cast<const PolicyInformation *>(p->element);
    if (policy == nullptr) continue;
    ++number;
    if (mode == CERTVIEW_PLAIN) {
      if (number > 1) out.put(", ");
      if (!out.oid(policy->policy_identifier)) return false;
      continue;
    }
    if (mode == CERTVIEW_NUMBERED) {
      put_item(out, number, number == 1);
      out.label(IDS_LABEL_CERT_POLICIES);
      out.put("\r\n       ");
      out.label(IDS_LABEL_POLICY_ID);
      out.put(" = ");
      if (!out.oid(policy->policy_identifier)) return false;
    }
    int qualifier = 0;
    for (const ASN1_LIST *q = policy->policy_qualifiers; q != nullptr; q = q->next) {
      const auto *info = static_cast<const PolicyQualifierInfo *>(q->element);
      if (info == nullptr) continue;
      int kind = oid_to_id(&info->policy_qualifier_id);
      if (mode == CERTVIEW_USER_NOTICE || mode == CERTVIEW_CPS) {
        // Only the first qualifier of the asked kind is shown.
        if (kind == (mode == CERTVIEW_CPS ? OID_QT_CPS : OID_QT_UNOTICE))
          return mode == CERTVIEW_CPS ? put_cps(out, *info) : put_user_notice(out, *info);
        continue;
      }
      out.put("\r\n       [");
      out.put_number(unsigned(number));
      out.put(",");
      out.put_number(unsigned(++qualifier));
      out.put("]");
      out.label(IDS_LABEL_POLICY_QUALIFIERS);
      out.put("\r\n              ");
      if (kind == OID_QT_CPS) {
        out.label(IDS_LABEL_ADDITIONAL_INFO);
        out.put(" = ");
        if (!put_cps(out, *info)) return false;
      } else if (kind == OID_QT_UNOTICE) {
        out.label(IDS_LABEL_USER_NOTICE);
        out.put(" = ");
        if (!put_user_notice(out, *info)) return false;
      } else {
        if (!out.oid(info->policy_qualifier_id)) return false;
      }
    }
  }
  return true;
}

bool render_crl_dist_points(TextOut &out, const ASN1_BYTES &value) {
  Asn1Owned<ASN1_LIST> points(&asn1_tmpl_crl_distribution_points);
  if (!decode(points, value)) return false;
  int number = 0;
  for (const ASN1_LIST *p = points.get(); p != nullptr; p = p->next) {
    const auto *point = static_cast<const DistributionPoint *>(p->element);
    if (point == nullptr || point->distribution_point == nullptr) continue;
    for (const ASN1_LIST *n = point->distribution_point->full_name; n != nullptr; n = n->next) {
      if (n->element == nullptr) continue;
      ++number;
      put_item(out, number, number == 1);
      out.label(IDS_LABEL_CRL_DIST_POINTS);
      out.put(" = \r\n         ");
      if (!put_general_name(out, *static_cast<const GeneralName *>(n->element))) return false;
    }
  }
  return true;
}

bool render_info_access(TextOut &out, const ASN1_BYTES &value) {
  Asn1Owned<ASN1_LIST> access(&asn1_tmpl_authority_info_access);
  if (!decode(access, value)) return false;
  int number = 0;
  for (const ASN1_LIST *a = access.get(); a != nullptr; a = a->next) {
    const auto *description = static_cast<const AccessDescription *>(a->element);
    if (description == nullptr) continue;
    out.put("[");
    out.put_number(unsigned(++number));
    out.put("] ");
    out.label(IDS_LABEL_ACCESS_DESCRIPTION);
    out.put("\r\n          ");
    out.label(IDS_LABEL_ACCESS_LOCATION);
    out.put(" = ");
    if (!put_general_name(out, description->access_location)) return false;
    out.put("\r\n");
  }
  return true;
}

bool render_ext_key_usage(TextOut &out, const ASN1_BYTES &value) {
  Asn1Owned<ASN1_LIST> purposes(&asn1_tmpl_oid_list);
  if (!decode(purposes, value)) return false;
  for (const ASN1_LIST *p = purposes.get(); p != nullptr; p = p->next) {
    const auto *oid = static_cast<const ASN1_BYTES *>(p->element);
    if (oid != nullptr && oid->len == sizeof kKisaHsmPurpose &&
        memcmp(oid->data, kKisaHsmPurpose, sizeof kKisaHsmPurpose) == 0) {
      out.put("id-kisa-HSM");
      return true;
    }
  }
  return true;
}

// The identification data of the national scheme: the real name, then per VID its hash algorithm
// and virtual ID.
bool put_identify_data(TextOut &out, const OtherName &other) {
  Asn1Owned<IdentifyData> data(&asn1_tmpl_identify_data);
  if (!decode(data, other.value)) return false;
  out.label(IDS_LABEL_REAL_NAME);
  out.put(" = ");
  if (!out.put_utf8(data->real_name.data, data->real_name.len)) return false;
  for (const ASN1_LIST *u = data->user_info; u != nullptr; u = u->next) {
    const auto *entry = static_cast<const AttributeTypeAndValue *>(u->element);
    if (entry == nullptr || oid_to_id(&entry->type) != OID_KISA_VID) continue;
    Asn1Owned<VID> vid(&asn1_tmpl_vid);
    if (!decode(vid, entry->value)) return false;
    out.put("\r\n     ");
    out.label(IDS_LABEL_HASH_ALGORITHM);
    out.put(" = ");
    if (!out.oid(vid->hash_alg.algorithm)) return false;
    out.put("\r\n     ");
    out.label(IDS_LABEL_VIRTUAL_ID);
    out.put(" = \r\n     ");
    out.hex_form(vid->virtual_id.data, vid->virtual_id.len);
  }
  return true;
}

bool render_subject_alt_name(TextOut &out, const ASN1_BYTES &value) {
  Asn1Owned<ASN1_LIST> names(&asn1_tmpl_general_names);
  if (!decode(names, value)) return false;
  int number = 0;
  for (const ASN1_LIST *n = names.get(); n != nullptr; n = n->next) {
    const auto *name = static_cast<const GeneralName *>(n->element);
    if (name == nullptr) continue;
    if (name->other_name != nullptr && oid_to_id(&name->other_name->type_id) == OID_KISA_IDENTIFY_DATA) {
      ++number;
      put_item(out, number, number == 1);
      if (!put_identify_data(out, *name->other_name)) return false;
    } else if (name->rfc822_name != nullptr) {
      ++number;
      put_item(out, number, number == 1);
      out.label(IDS_LABEL_EMAIL);
      out.put(" = ");
      out.put(reinterpret_cast<const char *>(name->rfc822_name->data), name->rfc822_name->len);
    }
  }
  return true;
}

bool render_key_usage(TextOut &out, const ASN1_BYTES &value) {
  Asn1Owned<ASN1_BIT_STRING> bits(&asn1_tmpl_bit_string);
  if (!decode(bits, value)) return false;
  bool first = true;
  for (size_t i = 0; i < sizeof kKeyUsageItems / sizeof kKeyUsageItems[0]; ++i) {
    size_t byte = i / 8;
    if (byte >= bits->len || (bits->data[byte] & (0x80 >> (i % 8))) == 0) continue;
    // Each item starts with ", "; the first loses it.
    char text[128];
    TextOut item(text, sizeof text);
    item.label(kKeyUsageItems[i]);
    const char *shown = text;
    if (first && strncmp(shown, ", ", 2) == 0) shown += 2;
    out.put(shown);
    first = false;
  }
  return true;
}

}  // namespace

char *certview_ext_name(int ext_oid_id) {
  for (const ExtLabel &e : kExtLabels) {
    if (e.oid_id != ext_oid_id) continue;
    char *text = v7::certview::render_new([&](TextOut &out) {
      out.label(e.label);
      return true;
    });
    if (text == nullptr) return v7::with_errno(v7::kErrOutOfMemory, nullptr);
    errno = 0;
    return text;
  }
  return v7::with_errno(v7::kErrInvalidParameter, nullptr);
}

size_t certview_ext_text(const Certificate *cert, int ext_oid_id, char *out, size_t capacity, int mode) {
  if (cert == nullptr || out == nullptr || capacity == 0)
    return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  out[0] = '\0';
  bool known = false;
  for (const ExtLabel &e : kExtLabels) known = known || e.oid_id == ext_oid_id;
  if (!known) return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  const Extension *ext = cert_find_extension(cert, ext_oid_id);
  if (ext == nullptr) return v7::with_errno(0, size_t(0));
  const ASN1_BYTES &value = ext->extn_value;
  TextOut text(out, capacity);
  bool ok = false;
  switch (ext_oid_id) {
    case OID_EXT_SUBJECT_KEY_ID: ok = render_key_id(text, value); break;
    case OID_EXT_AUTHORITY_KEY_ID: ok = render_authority_key_id(text, value, mode); break;
    case OID_EXT_CERT_POLICIES: ok = render_policies(text, value, mode); break;
    case OID_EXT_CRL_DIST_POINTS: ok = render_crl_dist_points(text, value); break;
    case OID_EXT_AUTHORITY_INFO_ACCESS: ok = render_info_access(text, value); break;
    case OID_EXT_EXT_KEY_USAGE: ok = render_ext_key_usage(text, value); break;
    case OID_EXT_SUBJECT_ALT_NAME: ok = render_subject_alt_name(text, value); break;
    case OID_EXT_KEY_USAGE: ok = render_key_usage(text, value); break;
    default: break;
  }
  if (!ok) {
    int code = errno != 0 ? errno : int(v7::kErrAsn1Decode);
    out[0] = '\0';
    return v7::with_errno(code, size_t(0));
  }
  return text.finish();
}
