// Certificate-validation settings, filled key by key and finished with defaults; the CA
// certificates compiled into the library; the accredited-CA name list of the phone modules.
//
// Functions here return 0 or the code itself, and leave the code in errno as well.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/x509/cert.h"

enum : int {
  VALCFG_MODE_CRL = 0,
  VALCFG_MODE_OCSP = 1,
  VALCFG_MODE_NOCRL = 3,
  VALCFG_MODE_CHAIN = 4,
};

enum : int {
  VALCFG_STORE_TRY = 0,    // store, and ignore a failure to store (a fresh record)
  VALCFG_STORE_TRUE = 1,   // store, and fail when storing fails
  VALCFG_STORE_FALSE = 2,  // never store
};

enum : size_t {
  kValcfgPolicyCapacity = 4096,
  kValcfgDirCapacity = 1024,
  kValcfgLdapAddrCapacity = 64,
  kValcfgCtlDnCapacity = 128,
};

// Allocated zero-filled by the caller. The texts are terminated within their fields.
struct VALIDATION_SETTINGS {
  uint8_t reserved[32];
  char policy[kValcfgPolicyCapacity];  // ";"-separated policy OIDs
  // No key sets this text, so it stays empty; the validation context still copies it and checks
  // it for "NOT_AVAILABLE". Kept for the record's layout and that check.
  char second_dir[kValcfgDirCapacity];
  char cert_dir[kValcfgDirCapacity];
  char root_cert_dir[kValcfgDirCapacity];
  int32_t mode;           // VALCFG_MODE_*
  int32_t no_time_check;  // 1: no validity period is checked
  char ldap_addr[kValcfgLdapAddrCapacity];
  int32_t ldap_port;
  char ctl_dn[kValcfgCtlDnCapacity];
  CERT_NODE *roots;     // the built-in roots, owned: free with cert_nodes_free
  int32_t store_certs;  // VALCFG_STORE_*
  int32_t finished;     // set by valcfg_finish, which refuses to run twice
};

// Sets one key (compared ignoring ASCII case):
//   "Validation"   CRL, NOCRL, OCSP, CHAIN (case ignored)      -> mode
//   "CertDir"      text of at most 1,023 characters
//   "RootCertDir"  text of at most 1,022 characters: valcfg_finish appends "/"
//   "Policy"       text of at most 4,095 characters
//   "StoreCerts"   TRUE, FALSE, TRY_STORING (case ignored)
//   "LDAPAddr"     text of at most 63 characters
//   "LDAPPort"     decimal digits only, 1..65535
//   "CtlDN"        text of at most 127 characters
//   "CHECKTimeout" FALSE or NO: no time check; TRUE or YES: time check; anything else: no change
//   "OCSPAddr", "OCSPTimeout", "OCSPPort": accepted and ignored
// 0; kErrInvalidParameter for a null settings record, key or (where one is read) value;
// kErrConfigUnsupportedKey for another key; kErrConfigInvalidValue for a refused value, which
// leaves the field as it was.
int valcfg_set(const char *key, VALIDATION_SETTINGS *settings, const char *value);

// Fills the defaults and loads the built-in roots into settings->roots: an empty Policy becomes the
// accredited policy list; an empty RootCertDir the national-root folder of the NPKI tree, and "/"
// is appended to RootCertDir in every case (so a text that already ends in "/" ends in two); an
// empty LDAP address becomes the deployment's directory server, a zero port 389, an empty CtlDN the
// national trust list's DN. 0; kErrInvalidParameter for null; kErrInvalidConfig for an empty
// CertDir, when the national-root folder is unknown, or on a second call; kErrConfigInvalidValue
// for a RootCertDir with no room left for the "/" or a text with no terminator in its field;
// kErrConfigTrustAnchors when the roots cannot be loaded. Nothing is changed on failure.
int valcfg_finish(VALIDATION_SETTINGS *settings);

// Appends the national roots of the built-in table (its first two records), in order, each as an
// owning node. A record that does not decode is skipped; with no_time_check 0 a certificate
// outside its validity period (at the clock of platform/clock) is dropped; a node that cannot be
// allocated is left out. 0, also when nothing was kept; kErrInvalidParameter when list is null.
int root_certs_load(CERT_NODE **list, int no_time_check);

// For each accredited CA and each of its policy OIDs, in a fixed order, whose dotted text occurs
// anywhere in policy_list, appends "<CA name>;<OID>;"; the result is "<count>;" and that text, or
// the empty text when nothing matched. *out is a new text (free()).
// 0; kErrInvalidParameter for a null argument; kErrOutOfMemory when memory runs out.
int ca_names_list(const char *policy_list, char **out);

// One certificate of the built-in table. The records are read-only data of the library.
struct BuiltinCaRecord {
  const char *ski_hex;  // subjectKeyIdentifier, 40 lowercase hex digits
  const char *serial;   // serial number in decimal
  size_t der_len;
  const uint8_t *der;
};

// Records 0 and 1 are the national roots; the rest accredited CAs, found by issuer lookup. The
// table is generated at build time from the deployment's folder of CA certificates.
enum : size_t { kBuiltinRootCount = 2 };
extern const BuiltinCaRecord BuiltinCaTable[];
extern const size_t BuiltinCaTableCount;
// SHA-256 of the DER of records 0 and 1, computed with the table from the same bytes.
extern const uint8_t BuiltinRootSha256[kBuiltinRootCount][32];

// The table and its record count.
const BuiltinCaRecord *builtin_ca_table(size_t *count);
