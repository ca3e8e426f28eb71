// Turning the certificate chosen in the selection dialog into key objects that sign and decrypt:
// an encrypted key file (folders, smart card, USB key), a plain key with its VID random value, a
// token key and a secure-disk key. The password (or the medium's PIN) is proven on the way.
//
// Every failure pushes its code onto the record's error context, deletes the half-made object and
// returns null with the code in errno. The record's password and PIN are read, never kept: the
// objects take their own copies.
#pragma once

#include <cstddef>
#include <cstdint>

struct CERT_ENTRY;
struct CertListRecord;
struct PRIVATE_KEY_CTX;

// Which pair of the entry is loaded.
enum : int {
  kKeyLoadSignPair = 2,
  kKeyLoadKmPair = 3,
  // The pair of a request that forces a medium of its own: folders and cards load their
  // key-management files, tokens and the secure disk their signing objects.
  kKeyLoadRequestPair = 5,
};

// What the request's forced medium asks of the token and secure-disk loading.
enum : unsigned {
  // The secure disk is opened without a password.
  kKeyLoadNoPassword = 0x1,
  // The object is only bound to its store (module, PIN and path, or handle): no key, certificate
  // or random value is read yet.
  kKeyLoadBindOnly = 0x2,
};

// A key-file object from the certificate and the encrypted key bytes, opened with the record's
// password. A key that does not open gives kErrKeyNotOpened; when the password was wrong the
// newest error entry carries the wrong-password text in the user's language and the setting's
// narrow encoding.
PRIVATE_KEY_CTX *LoadSoftKeyWithPassword(CertListRecord *record, const uint8_t *cert, size_t cert_len,
                                         const uint8_t *key, size_t key_len);
// A key-file object from a plain RSAPrivateKey DER and its VID random value.
PRIVATE_KEY_CTX *LoadSoftKeyWithRandom(CertListRecord *record, const uint8_t *cert, size_t cert_len,
                                       const uint8_t *rsa_der, size_t rsa_len, const uint8_t *random,
                                       size_t random_len);

// The key object of the entry's pair for the load mode: kind 1 from a folder or a smart card, 2
// from a token, 4 from the secure disk. kErrInvalidParameter for a null record or entry, a mode
// other than the three, a missing folder, PIN or module or a token id that is empty or longer than
// its 32-byte buffer; kErrNoPartReader for a medium without key loading. Codes of the file reader,
// the card (kErrCardLoadCert, kErrCardLoadKey, kErrCardLoadRandom), the token and the secure disk
// (kErrSdKeyObject, kErrKeyCtxPasswordRequired without a password, kErrSdKeyNoHandle without the
// record's handle; the module's own text goes with its failures) as they come. flags: kKeyLoad*
// from the request.
PRIVATE_KEY_CTX *keyload_read_pair(const CERT_ENTRY *entry, CertListRecord *record, int mode, unsigned flags);

// 0 when the entry's key-management pair is present and readable, else the code (also pushed onto
// the record's error context and left in errno): a folder's "kmCert.der" must read, a card's F400
// certificate and key records must read with the list's PIN and the certificate must decode.
int ReadKmPairForEntry(CertListRecord *record, const CERT_ENTRY *entry);

// The wrong-password text for the current language and encoding setting (static storage).
const char *keyload_wrong_password_text();
