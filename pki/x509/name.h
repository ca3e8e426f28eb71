// Distinguished names as text, and name comparison.
#pragma once

#include <cstddef>

#include "pki/asn1/x509_types.h"

// Writes the RDNs last first, separated by the separator (a single "," when null); the attributes
// of one RDN as short name "=" value joined by "+". NUL-terminates and returns the length; a null
// output returns the size needed (with the NUL). kErrInsufficientBuffer when capacity is short,
// kErrInvalidDnType for an attribute without a short name, kErrAsn1InvalidTag for a value that is
// neither UTF8String nor PrintableString.
int name_to_text(const ASN1_LIST *rdn_sequence, const char *separator, char *out, size_t capacity);
int name_to_text_comma(const Name *name, char *out, size_t capacity);

// The DN as "," text in a new buffer (free()), converted to EUC-KR when CharEncodingMode is not
// 1. Returns the text length, -1 on failure.
int cert_name_to_text(const Name *name, char **out_text);

// 0 when the name is the one the "," text spells, 1 otherwise: the decoded attributes are compared
// with the text's, type by short name and value byte for byte, so that a value holding "," "+" or
// "=" (which the text form does not escape) matches no text. kErrInvalidParameter for null.
int name_compare_text(const Name *name, const char *text);

// A UTF8String or PrintableString value TLV copied unchanged plus NUL; returns the length.
int dn_attr_value_text(const ASN1_BYTES *value, char *out, size_t capacity);

// A directoryName as "," text, else the uniformResourceIdentifier bytes; kErrInvalidDnFormat for
// neither.
int name_field_text(const GeneralName *name, char *out, size_t capacity);

// 0 equal, 1 different.
int rdn_compare(const ASN1_LIST *a, const ASN1_LIST *b);
int rdn_list_compare(const ASN1_LIST *a, const ASN1_LIST *b);
int name_compare(const Name *a, const Name *b);
