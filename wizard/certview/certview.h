// Display texts of a certificate's fields for the certificate viewer: version-independent field
// texts, the standard extensions in a readable bilingual form, and their labels.
//
// Every text is narrow text in the encoding CharEncodingMode names (1: UTF-8, else EUC-KR), with
// the labels of LanguageId (18: Korean, else English). Functions that return a new text leave it
// for the caller to free(); on failure they return null with the code in errno: kErrInvalidParameter
// (1001) bad arguments, kErrOutOfMemory (1000), kErrAsn1Decode (1112) an encoding that does not
// decode within its length, kErrInvalidCertFormat (1410) a missing or unreadable time.
//
// Functions that fill a caller's buffer take its capacity and never write past it: a text that does
// not fit is cut after its last whole character (never inside a UTF-8 or EUC-KR sequence) and
// terminated; the result is then the cut length with errno kErrInsufficientBuffer, so a caller can
// tell a cut text from a whole one (errno 0).
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/asn1/x509_types.h"

// A new decoded certificate (release with certview_free). DER is read as DER: the element's header
// and contents must lie within the length (end-of-contents octets are neither needed nor allowed);
// bytes after it are ignored. 1001 for null or empty input, 1112 when it does not decode.
Certificate *certview_decode(const uint8_t *der, size_t length);
void certview_free(Certificate *cert);

// Mode 0: the serial number as plain lower-case hex. Mode 1: "<Decimal> : <n>\r\n<Hexa> : <hex>".
// The serial is read as an unsigned number whatever its length or top bit (a sign byte of zero is
// not shown). 1001 for another mode.
char *certview_serial_text(const Certificate *cert, int mode);

// The signature algorithm's name, or its dotted form when it has none.
char *certview_sigalg_text(const Certificate *cert);

// The names as "," text, last RDN first.
char *certview_issuer_text(const Certificate *cert);
char *certview_subject_text(const Certificate *cert);

// "%Y-%m-%d %H:%M:%S" in UTC, from GeneralizedTime when present, else UTCTime; any year from 1 to
// 9999 renders. 1410 when neither is present or the time is unreadable.
char *certview_not_before_text(const Certificate *cert);
char *certview_not_after_text(const Certificate *cert);

// "RSA ( 2048 Bits )": the key algorithm's name ("rsaEncryption" as "RSA"), with the bit length when
// the RSA key decodes.
char *certview_pubkey_text(const Certificate *cert);

// The subject public key in the hex form (certview_hex_form).
char *certview_pubkey_hex(const Certificate *cert);

// The hex form: each two bytes as four lower-case hex digits, the groups joined by ":"; an odd last
// byte is shown as a final group of two digits. Returns the length written (see the buffer rule
// above); 0 with 1001 for a null pointer or zero capacity.
size_t certview_hex_form(const uint8_t *bytes, size_t length, char *out, size_t capacity);

// The label of an extension by its object id (OID_EXT_SUBJECT_KEY_ID, OID_EXT_KEY_USAGE,
// OID_EXT_SUBJECT_ALT_NAME, OID_EXT_CRL_DIST_POINTS, OID_EXT_CERT_POLICIES,
// OID_EXT_AUTHORITY_KEY_ID, OID_EXT_EXT_KEY_USAGE, OID_EXT_AUTHORITY_INFO_ACCESS); null with 1001
// for any other. The text is new (free()).
char *certview_ext_name(int ext_oid_id);

// Modes of certview_ext_text. The certificate policies also take the two single-item modes.
enum : int {
  CERTVIEW_PLAIN = 0,           // policies: the policy identifiers, joined by ", "
  CERTVIEW_NUMBERED = 1,        // numbered items with their labels
  CERTVIEW_USER_NOTICE = 2,     // policies: the user notice's explicit text only
  CERTVIEW_CPS = 3,             // policies: the CPS address only
};

// The extension of the certificate with that object id, rendered into the buffer. Returns the
// length written; 0 with errno 0 when the certificate does not carry the extension or it renders to
// nothing; 0 with 1001 for an extension without a renderer or bad arguments; 0 with 1112 when its
// value does not decode.
size_t certview_ext_text(const Certificate *cert, int ext_oid_id, char *out, size_t capacity, int mode);
