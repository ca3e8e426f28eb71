// The certificate list of one storage medium: what every medium looks like to the selection
// dialog, the key loading and the sending side.
//
// Each loader fills a list with one entry per certificate found; the selection dialog sorts it and
// reads the parts of the chosen entry through the part readers. Results follow the toolkit's rule:
// a pointer, a count or 1 on success, null or 0 with the code in errno.
#pragma once

#include <cstddef>
#include <cstdint>

// Medium codes (bit values; a list and its entries carry the same code unless said).
enum : uint32_t {
  kMediumHardDisk = 1,
  kMediumRemovable = 2,
  kMediumToken = 4,
  kMediumSmartCard = 8,
  kMediumPhone = 16,
  kMediumUsbKey = 256,
  kMediumSecureDisk = 512,
  kMediumMemory = 1024,
  kMediumTokenModule = 4096,  // a token given as an open module; its list becomes kMediumToken
  kMediumTokenVariant = 8192,
};

// One piece of a split ";"-list.
struct StrListNode {
  char *text;  // owned
  StrListNode *next;
};

struct CERT_ENTRY;
struct CERTLIST_CTX;
struct P11_MODULE;
struct SecureDiskHandle;

// Part flags of an entry.
enum : uint32_t {
  kPartSignCert = 1,
  kPartSignKey = 2,
  kPartKmCert = 4,
  kPartKmKey = 8,
};

// The medium data of a token entry: the certificate object's CKA_ID.
struct TokenEntryId {
  uint8_t *id;  // owned
  size_t length;
};

// Two owned buffers: (certificate, key) of a USB-key entry, (signing certificate, key-management
// certificate or null) of a memory entry.
struct MemoryCertPair {
  uint8_t *first;
  size_t first_length;
  uint8_t *second;
  size_t second_length;
};

// What the USB-key module delivers.
enum : size_t { kUsbKeyAreaSize = 4096 };
struct UsbKeyBuffers {
  uint8_t cert[kUsbKeyAreaSize];
  uint32_t cert_length;
  uint8_t key[kUsbKeyAreaSize];
  uint32_t key_length;
};

// One certificate on a medium. Every text is owned and freed with the entry.
struct CERT_ENTRY {
  CERTLIST_CTX *list;
  uint32_t media_code;
  uint32_t parts;         // kPart* bits
  char *subject;          // the subject DN joined with ",", in the setting's narrow encoding
  char *subject_cn;       // its first value (the common name after "cn=")
  char *issuer;           // as subject
  char *issuer_org;       // the text after the issuer's first "o=" up to the next comma
  char *policy;           // the first certificate policy as display text
  char *not_before_text;  // "%Y-%m-%d", UTC
  char *not_after_text;
  char *serial;         // "%u" of a serial of at most 4 content bytes, else "0"
  char *subject_dn;     // the subject DN as stored (UTF-8, not converted)
  char *subject_dn_cn;  // its first value
  char *issuer_dn;      // unconverted
  int64_t not_before;
  int64_t not_after;
  uint32_t key_bits;  // 0 when the key is not RSA
  int sig_alg;        // object id of the signature algorithm
  void *medium_data;  // owned; by media code: folder path text, TokenEntryId, PIN text,
                      // MemoryCertPair, or the slot id (secure disk, not owned)
  char *id;           // unique id text, owned; null unless the list's id flag is 1
  CERT_ENTRY *next;
  // The serial number's magnitude (leading zero bytes dropped), owned: duplicates are told apart
  // by the whole number, since the serial text reads every long serial as "0".
  uint8_t *serial_bytes;
  size_t serial_length;
};

// The list of one medium; created zeroed and freed by the selection record.
struct CERTLIST_CTX {
  uint32_t media_code;  // 0 while empty
  // Owned, by media code: the module path text of a token list, the PIN text of a smart-card list
  // (wiped before it is freed), else null.
  void *medium_data;
  CERT_ENTRY *first;
  StrListNode *policy_filter;  // null: no filter
  uint32_t id_flag;            // 1: every entry added gets a unique id text
};

// A split ";"-list, one node per piece in order (empty pieces give empty texts); null for a null or
// empty text, and null with kErrOutOfMemory when memory runs out.
StrListNode *strlist_split(const char *text);
void strlist_free(StrListNode *list);

// Fills the list from the medium the code names and returns its first entry; null with the code in
// errno on failure (kErrInvalidParameter for a code no loader knows). medium: null (hard disk), the
// drive text (removable), the module path (token), the PIN or null (smart card), UsbKeyBuffers,
// the SecureDiskHandle, a MemoryCertPair, or an open P11_MODULE (kMediumTokenModule). Under the
// UTF-8 setting it hands over to certlist_load_w, which walks the folder media wide.
CERT_ENTRY *certlist_load(CERTLIST_CTX *list, uint32_t media_code, const void *medium);
CERT_ENTRY *certlist_load_w(CERTLIST_CTX *list, uint32_t media_code, const void *medium);

// The loaders of the media other than the folders (those are in media/npki.h).
CERT_ENTRY *certlist_load_memory(CERTLIST_CTX *list, const MemoryCertPair *pair);
CERT_ENTRY *certlist_load_usbkey(CERTLIST_CTX *list, const UsbKeyBuffers *buffers);
// The signing certificates of a PKCS#11 token, by its module's path (loaded and opened for the
// listing) or as an open module (kErrP11ModuleGone for one whose last reference has gone); both
// give a token list (code 4) holding the module path. An object that cannot be read is passed
// over; the listing fails only when nothing was listed and something failed.
CERT_ENTRY *certlist_load_token(CERTLIST_CTX *list, const char *module_path);
CERT_ENTRY *certlist_load_token_module(CERTLIST_CTX *list, P11_MODULE *module);
// The card's signing certificate. With a PIN the list and the entry keep copies of it (wiped when
// freed) and the parts are those that read; without one the key parts are assumed with the
// certificates found. A card whose certificate cannot be read leaves the list as it was.
CERT_ENTRY *certlist_load_smartcard(CERTLIST_CTX *list, const char *pin);
// A smart-card entry's VID random value, read with the list's PIN, into a new buffer (free());
// its length, or 0 with errno (kErrInvalidParameter for another medium).
size_t certentry_read_card(const CERT_ENTRY *entry, uint8_t **out);
// The signing certificate of every slot of the secure disk, each an entry whose medium data is its
// slot id, put in front of the list; slots whose certificate cannot be read or decoded are passed
// over. The list's own code stays as it was. Returns the list's first entry, with errno holding
// the last slot's read (or the slot list's failure); null list or handle: null with
// kErrInvalidParameter.
CERT_ENTRY *certlist_load_securedisk(CERTLIST_CTX *list, SecureDiskHandle *handle);
// The slot id of a secure-disk entry.
inline int certentry_slot(const CERT_ENTRY *entry) {
  return int(reinterpret_cast<intptr_t>(entry->medium_data));
}

// Releases the medium data, sets the code to 0, frees every entry; the filter and id flag stay.
// Null is accepted.
void certlist_free(CERTLIST_CTX *list);
// Frees the list's medium data (a smart card's PIN is wiped first) and sets it to null.
void certlist_clear_medium(CERTLIST_CTX *list);
// Frees the entry, its texts and its medium data by its code. Null is accepted.
void certentry_free(CERT_ENTRY *entry);

// Moves the entries whose subject equals preferred_subject to the front, then pulls the entries of
// each policy of the ";"-list, in the list's order, ahead of the rest. Returns the new first entry;
// null for a null or empty list. Either preference may be null.
CERT_ENTRY *certlist_sort(const char *preferred_subject, CERTLIST_CTX *list, const char *preferred_policies);

// The PIN of a smart-card list; null with kErrInvalidParameter for any other list.
const char *certlist_get_pin(const CERTLIST_CTX *list);
// Copies a token entry's id into buffer (capacity bytes) and returns its length; a null buffer
// only asks for it. 0 with kErrInsufficientBuffer when it does not fit, kErrInvalidParameter for
// a null record.
size_t certentry_copy_id(uint8_t *buffer, const TokenEntryId *id, size_t capacity);

// The four parts of an entry into a new buffer (free()); the byte count, or 0 with errno:
// kErrInvalidParameter for null arguments, kErrNoSignCertPart..kErrNoKmKeyPart when the entry
// lacks the part, kErrNoPartReader for a medium without a reader, or the reader's code. A token
// or secure disk holds no readable key: its key parts answer kErrInternal (the medium keeps no
// such part). The secure disk's parts are read through a module handle loaded and started for
// the read (kErrSdKeyReadCert when the slot holds no such certificate).
size_t cert_read_sign_cert(const CERT_ENTRY *entry, uint8_t **out);
size_t cert_read_sign_key(const CERT_ENTRY *entry, uint8_t **out);
size_t cert_read_km_cert(const CERT_ENTRY *entry, uint8_t **out);
size_t cert_read_km_key(const CERT_ENTRY *entry, uint8_t **out);

// A new entry from a DER certificate (no owner, code 0, no parts). 1, or 0 with errno:
// kErrAsn1Decode (the encoding runs past length), kErrInvalidDnFormat (a subject without a comma
// after its first value, an issuer without "o=" and a comma after it), kErrNoPoliciesExtension,
// kErrNoCertPolicies (unreadable or empty policies), a conversion code, or 0 when the signature
// algorithm is unknown.
int certentry_from_der(const uint8_t *der, size_t length, CERT_ENTRY **out);

// 1 when the list's policy filter lets the policy through; two policies are never listed.
int cert_policy_accepted(const StrListNode *filter, const char *policy);

// Adds a folder entry under the duplicate rule: of two entries with the same stored subject DN the
// one with the greater serial stays, and at equal serials the later one replaces the earlier (in
// its place) unless it is signed with SHA-1 with RSA. The list owns the entry in every case (a
// dropped one is freed). Gives it an id when the id flag is 1.
void certlist_add_unique(CERTLIST_CTX *list, CERT_ENTRY *entry);
// Gives the entry a unique id among the list's entries: 0, -1 when 32 draws all clashed, or
// kErrOutOfMemory.
int certentry_assign_id(CERT_ENTRY *first, CERT_ENTRY *entry);
