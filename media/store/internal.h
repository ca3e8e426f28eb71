// Helpers shared by the store's files: the set as it will be written, the holder folder, the
// medium writers and the test seam of the folder writes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "crypto/base/wipe.h"
#include "media/store/store.h"
#include "pki/asn1/x509_types.h"

namespace v7 {
namespace store {

// One pair as the medium keeps it: the certificate (borrowed from the caller) and the key (a copy:
// sealed for disks and cards, the plain RSAPrivateKey for a token).
struct Pair {
  const uint8_t *cert = nullptr;
  size_t cert_len = 0;
  SecureBytes key;
  bool present() const { return cert != nullptr; }
};

// A whole set, made ready before anything is written.
struct PreparedSet {
  Pair sign, km;
  SecureBytes random;  // the VID random value, when one goes apart from the key
};

// What a medium writer failed on: the pair, so that the caller can name it, and the medium's own
// code beneath the writer's; and what it left behind that the user must be told of, failed or not.
enum class FailedPair { kNone, kSign, kKm };
struct Failure {
  FailedPair pair = FailedPair::kNone;
  int cause = 0;
  // The medium could not all be given its old bytes back after the failure: the old set is then
  // whole only in the backup folder.
  bool not_restored = false;
  // The backup folder of the old set, which stays after a failure: the caller names it. Empty when
  // the medium has none (nothing was there before, or the store failed before it was made).
  std::string backup;
  // A copy of old keys that was no longer needed and could not be wiped and removed: the backup
  // after the new set was stored, or the partial copy of a backup that failed (the old set is then
  // whole where it was). Never the only copy of the old set; the user may delete it.
  std::string left_copy;
};

// The folder of the holder's set: "<base>\NPKI\<CA folder>\USER\<holder>", or without the base
// for the broker-relative kind; *holder_name gets the holder folder's own name. kErrInvalidParameter
// (missing medium text), kErrFilePathTooLong (base or path of 261 characters or more), the
// decoder's code, kErrInvalidCertFormat (issuer without an organisation), kErrUnsafeHolderName.
int holder_folder(const uint8_t *cert, size_t cert_len, const StoreMedium *medium, std::string *path,
                  std::string *holder_name);
// The holder folder name: the subject DN joined with ",", in UTF-8 under the UTF-8 setting and
// in EUC-KR otherwise, refused as check_holder_name refuses it.
int cert_subject_folder_name(const Certificate *cert, std::string *name);
// 0 when the holder folder name (narrow, in the setting's encoding) may be one folder name, else
// kErrUnsafeHolderName: separators, "..", drive colons, device names, control characters, trailing
// dots and blanks are refused before any folder is made.
int check_holder_name(const char *name);
// The CA folder for an issuer DN text (joined with ","): its last organisation value compared
// case-blind by prefix; null when the text has no "o=" value.
const char *ca_folder_for(const char *issuer_text);

// The set onto a folder medium, one transaction: the old files are read (and backed up when the
// holder folder already holds a set), then each file is written and read back; after a failed
// write the files written so far get their old bytes back (or go, when there were none). The
// backup is wiped and removed once the new set reads back; after a failure it stays, and
// failed->backup names it. A copy that could not be removed when it was no longer needed is named
// by failed->left_copy, whatever the result.
int folder_store(const StoreMedium *medium, const PreparedSet &set, Failure *failed);
// The set onto an IC card. probe is the presence probe taken without the PIN; the PIN is proven
// before the first write, and after a failed write the card's old objects are written back.
int card_store(const StoreMedium *medium, const PreparedSet &set, int probe, Failure *failed);

// The set onto a PKCS#11 token (the arguments of store_pair_on_token). After a failed write what
// was made is destroyed again; when that fails, failed->not_restored is set and failed->cause
// holds the token's code for it.
int token_store(const StoreMedium *medium, const uint8_t *sign_cert, size_t sign_cert_len,
                const uint8_t *sign_key, size_t sign_key_len, const uint8_t *random, size_t random_len,
                const uint8_t *km_cert, size_t km_cert_len, const uint8_t *km_key, size_t km_key_len,
                Failure *failed);

// Test seam, set by test code only: the writes of folder media (null restores the file utilities).
struct StoreFileOps {
  size_t (*write_all)(const char *path, const uint8_t *data, size_t length);
  int (*make_dirs)(const char *path);
  int (*remove)(const char *path);
  int (*overwrite)(const char *path);  // zeros in place, before a copy of old keys is removed
  int (*remove_dir)(const char *path);
};
void set_file_ops(const StoreFileOps *ops);

}  // namespace store
}  // namespace v7
