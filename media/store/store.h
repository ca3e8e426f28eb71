// Storing a received certificate set: the signing certificate and its encrypted private key, and
// optionally the key-management pair, written onto the medium the recipient chose (a disk's NPKI
// store, a folder, an IC card, a PKCS#11 token or the secure disk), and a private key sealed again
// under a new password.
//
// A store never loses the set the medium already holds: every key is opened and sealed before the
// first write, the password and PIN are proven and the target checked; on a disk an existing
// holder folder is copied to a backup folder of the library's data folder first (wiped and
// removed once the new set reads back; after a failure it stays and the error context names it),
// on a token or the secure disk the old objects go only after the new ones are complete, on a card
// the old key-management pair stays until the password is proven. After any failure the old set is
// left byte for byte as it was.
//
// Results: 0 or a code (the kErr... codes of platform/errors/error_codes.h); codes of the card, of
// the token (plus kP11CodeOffset) and of the secure disk (plus kSdCodeOffset) pass through.
// store_cert_pairs and store_reencrypt_key also push their failures onto the context's ERROR_CTX.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct ERROR_CTX;
struct P11_MODULE;
struct SecureDiskHandle;

// What a StoreMedium names (bit values, as the media codes of media/certlist.h).
enum StoreMediumKind : uint32_t {
  kStoreHardDisk = 1,         // the NPKI store of the hard disk; no data
  kStoreRemovable = 2,        // a removable disk; `text` its drive ("E:")
  kStoreSecurityToken = 4,    // a PKCS#11 token; `module_path`, `pin`, `module` when one is open
  kStoreIcCard = 8,           // an IC card; `pin`
  kStoreBrokerRelative = 64,  // the NPKI layout written relative to the broker's root; no data
  kStoreFolder = 128,         // a folder medium; `text` its root folder
  kStoreSecureDisk = 512,     // the secure disk; `secure_disk`
};

// The VID random value a key may carry is at most this many bytes on every medium (the token's
// data object, the card's record, the phone's transfer); a longer one is refused with
// kErrVidRandomTooLong before anything is written.
constexpr size_t kStoreVidRandomMax = 40;

// The storage target the recipient chose on the media page. It owns what it holds: the PIN is
// wiped when the medium goes, the secure-disk handle and the token module give back the one
// reference each holds. Narrow texts are in the encoding CharEncodingMode names.
struct StoreMedium {
  StoreMedium() = default;
  StoreMedium(const StoreMedium &) = delete;
  StoreMedium &operator=(const StoreMedium &) = delete;
  ~StoreMedium();

  // Replaces the PIN, wiping the one held before.
  void SetPin(const char *text);
  void WipePin();

  StoreMediumKind kind = kStoreHardDisk;
  std::string text;         // removable: the drive ("E:"); folder medium: its root folder
  std::string module_path;  // token: the PKCS#11 library's full path
  std::string pin;          // IC card and token; wiped on destruction
  P11_MODULE *module = nullptr;             // token: an open module, one reference held, or null
  SecureDiskHandle *secure_disk = nullptr;  // secure disk: one reference held
};

// One store's context: its error context (owned), the scheme keys are sealed under (the scheme of
// pkey_encrypt; 0 when made, the card store sets it) and the card's presence probe taken at the
// start of a card store (0 failure, 1 no certificate on the card, 2 a certificate present).
struct STORE_CTX {
  ERROR_CTX *errors;
  int scheme;
  int card_probe;
  // After a failed store on a disk whose old set stays in a backup folder: that folder (narrow,
  // in the setting's encoding), for the message that tells the user where it is; else null.
  char *kept_backup;
  // A copy of the old set's keys that could not be wiped and removed once it was no longer needed
  // (after the set was stored, or after a backup that failed part-way): that folder, likewise, for
  // the notice that the user may delete it; else null.
  char *left_copy;
};

// A new context; null with kErrOutOfMemory in errno. store_ctx_free clears and frees its error
// context and the record; null is ignored.
STORE_CTX *store_ctx_new();
void store_ctx_free(STORE_CTX *ctx);

// The encrypted private key opened with the old password and sealed again under the new one with
// the context's scheme; *out a new buffer (free it after wiping). 0, or kErrKeyDoesNotOpen (the
// key does not open), kErrWrongPassword (it did not open because the password is wrong, pushed
// after kErrKeyDoesNotOpen), kErrKeyReseal, kErrOutOfMemory, kErrInvalidParameter.
int store_reencrypt_key(STORE_CTX *ctx, const uint8_t *key, size_t key_len, const char *old_password,
                        const char *new_password, uint8_t **out, size_t *out_len);

// Stores the set on the medium; the keys are sealed under the password. The key-management pair
// is stored only when both its certificate and key are given. kErrInvalidParameter for a null
// context, password, medium or signing part; kErrStorePair when a pair could not be stored (its
// own code follows as the detail); kErrKmSubjectMismatch when the two certificates name different
// holders; kErrUnsafeHolderName when the holder folder name taken from the subject could not be a
// folder name; kErrStoreRestore (pushed after the pair's failure) when after a failed write the
// medium could not all be given its old set back; the codes of store_pair_on_medium and
// store_pair_on_token. A disk's backup folder that stays after a failure ends the context, as an
// entry of its own (code 0, the folder as its text), and is the context's kept_backup.
// 0 always means the set is stored. The context is then empty, or it holds what the user should
// still be told: kErrSdSlotNotRemoved when the secure disk's old slot of the holder stayed beside
// the new one (the module's code and message follow). Whatever the result, kErrStoreBackupLeft
// followed by an entry of its own naming the folder (the context's left_copy) says that a copy
// of the disk's old set could not be wiped and removed once it was no longer needed.
int store_cert_pairs(STORE_CTX *ctx, const char *password, const uint8_t *sign_cert, size_t sign_cert_len,
                     const uint8_t *sign_key, size_t sign_key_len, const uint8_t *km_cert, size_t km_cert_len,
                     const uint8_t *km_key, size_t km_key_len, const StoreMedium *medium);

// One pair ("signCert" or "kmCert") onto a disk, a folder or an IC card, the key as it is given
// (already sealed); the VID random value (or null) goes onto a card without a presence record.
// kErrInvalidParameter for a null name, medium or part and for the token and the secure disk;
// kErrStoreUnsupportedMedium for any other kind; kErrStoreFolder, kErrFilePathTooLong,
// kErrUnsafeHolderName, kErrStoreBackup, kErrKeyWrite, kErrCertWrite, kErrStoreRestore (a failed
// write whose roll-back failed too: the old set is then only in the backup). It has no way to name
// a copy of old keys that could not be removed: the wizard stores through the two calls that do.
int store_pair_on_medium(const uint8_t *cert, size_t cert_len, const StoreMedium *medium, const char *pair_name,
                         const uint8_t *key, size_t key_len, const uint8_t *random, size_t random_len);

// The whole set as it was received (the keys as they came) onto a disk or a folder medium in one
// transaction: one backup, and after a failed write every file of the set gets its old bytes
// back, so a failure at the key-management pair does not leave a new signing pair beside the old
// key-management one. The key-management pair may be absent (null, 0: both parts). The codes of
// store_pair_on_medium; the decoder's code when the key-management certificate does not decode.
// kept_backup (may be null): after a failure whose old set stays in a backup folder, a new text
// (free()) naming that folder as STORE_CTX's kept_backup does; else null. left_copy (may be null):
// whatever the result, a new text naming a copy of old keys that could not be removed, as
// STORE_CTX's left_copy does; else null.
int store_set_on_medium(const StoreMedium *medium, const uint8_t *sign_cert, size_t sign_cert_len,
                        const uint8_t *sign_key, size_t sign_key_len, const uint8_t *km_cert, size_t km_cert_len,
                        const uint8_t *km_key, size_t km_key_len, char **kept_backup = nullptr,
                        char **left_copy = nullptr);

// The set onto a PKCS#11 token, the keys plain (PrivateKeyInfo's RSAPrivateKey DER), the VID random
// value stored under the signing key's id; the key-management pair may be absent (null, 0). The
// token's old objects of that holder go only once the new ones are all written; after a failed
// write the new ones go again, and kErrStoreRestore says that they could not all be destroyed.
int store_pair_on_token(const StoreMedium *medium, const uint8_t *sign_cert, size_t sign_cert_len,
                        const uint8_t *sign_key, size_t sign_key_len, const uint8_t *random, size_t random_len,
                        const uint8_t *km_cert, size_t km_cert_len, const uint8_t *km_key, size_t km_key_len);
