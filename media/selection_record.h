// The choice of one certificate set on the sending side, shared by the selection dialog, the key
// loading and the relay session: the selection record CertListRecord, and the driver CCertSelect
// that the send export keeps on its stack and that holds the raw parts of the chosen set.
//
// Nothing here reads a binary layout from outside the library, so the fields are typed members in
// their documented order. The PIN and password are the only secrets the record holds itself: they
// live in buffers of exactly kSecretTextCapacity bytes, and the whole buffer is wiped before it is
// freed, not only the text's length, so nothing that was ever typed there survives a shorter text.
#pragma once

#include <cstddef>
#include <cstdint>

struct CERT_ENTRY;
struct CERTLIST_CTX;
struct ERROR_CTX;
struct P11_MODULE;
struct PRIVATE_KEY_CTX;
struct RelayRequestRecord;
struct SecureDiskHandle;

// Password and PIN entry buffers, terminator included.
enum : size_t { kSecretTextCapacity = 128 };

struct CertListRecord {
  CERT_ENTRY *current;                // first entry of the list now shown; the entries belong to `list`
  CERT_ENTRY *chosen;                 // the entry taken at OK
  char *pin;                          // owned, kSecretTextCapacity bytes
  char *password;                     // owned, kSecretTextCapacity bytes
  uint32_t reserved;                  // zero
  CERTLIST_CTX *list;                 // owned, allocated zero-filled with the record
  PRIVATE_KEY_CTX *sign_key;          // owned; released through its delete operation
  ERROR_CTX *errors;                  // the caller's
  const RelayRequestRecord *request;  // the caller's, never written
  uint32_t token_approved;            // 1: the chosen token's module passed its approval check
  PRIVATE_KEY_CTX *km_key;            // owned
  P11_MODULE *token_module;           // one reference held
  SecureDiskHandle *secure_disk;      // one reference held
};

// Accessors. Each returns null for a null record (with kErrInvalidParameter in errno).
// CertListGetTokenModule gives the module path of a token list and null with kErrInvalidParameter
// for any other list.
CERT_ENTRY *CertListGetSelected(const CertListRecord *record);
const char *CertListGetPassword(const CertListRecord *record);
const char *CertListGetPin(const CertListRecord *record);
SecureDiskHandle *CertListGetSecureDisk(const CertListRecord *record);
const char *CertListGetTokenModule(const CertListRecord *record);

// Replace the record's password or PIN with a copy of text: the previous one is wiped and freed
// first. 0; kErrInvalidParameter for a null record or text or a text of kSecretTextCapacity bytes
// or more (the record keeps its previous secret then); kErrOutOfMemory when memory runs out (the
// record then has none).
int CertListSetPassword(CertListRecord *record, const char *text);
int CertListSetPin(CertListRecord *record, const char *text);
// Wipes and frees both secrets; null is accepted.
void CertListClearSecrets(CertListRecord *record);

// Null-safe. Deletes both key objects, wipes and frees the secrets, frees the list with its
// entries and policy filter, drops the token module's and the secure-disk handle's references and
// frees the record.
void CertListFree(CertListRecord *record);

// The five raw parts of the chosen set, in the order the session reads them.
enum CertSelectBuffer : int {
  kSelectSignCert = 0,  // DER
  kSelectSignKey,       // the encrypted key file's bytes
  kSelectKmCert,
  kSelectKmKey,
  kSelectVidRandom,  // the smart card's VID random number
  kSelectBufferCount,
};

struct CertSelectBytes {
  uint8_t *data;  // malloc'd, owned
  uint32_t length;
};

class CCertSelect {
 public:
  // Takes ownership of both: the record (made by CertListCreate from errors and the request) and
  // the error context (allocated zero-filled).
  CCertSelect(CertListRecord *record, ERROR_CTX *errors);
  CCertSelect(const CCertSelect &) = delete;
  CCertSelect &operator=(const CCertSelect &) = delete;
  // Clears and frees the error context, frees the record and wipes and frees the five buffers.
  virtual ~CCertSelect();

  // Takes ownership of len bytes at data (malloc'd) as one part; the part it replaces is wiped and
  // freed. 0, or kErrInvalidParameter for an unknown part, a null data with a nonzero length or a
  // length beyond 32 bits; on failure data stays the caller's and the part is unchanged.
  int TakeBuffer(int which, uint8_t *data, size_t len);
  // Wipes and frees all five parts: a failed read of any required part leaves none behind.
  void FreeBuffers();
  const CertSelectBytes &Buffer(int which) const;

  // Runs the selection dialog and reads the chosen set's parts: 0 when the buffers are filled, 2
  // when the dialog was cancelled, -1 on failure. Built with the dialog (Windows only).
  int Run();

  CertListRecord *record;
  ERROR_CTX *errors;
  CERT_ENTRY *entry;  // the chosen entry

 private:
  CertSelectBytes buffers_[kSelectBufferCount];
};
