// The library's client of the secure-disk module: loading and binding it by full path, starting it,
// listing slots, reading certificates, logging in, signing, decrypting, reading the VID random
// value, importing a received set and exporting keys.
//
// Every operation returns 0 or a code (also left in errno). A module failure v comes back as
// v + kSdCodeOffset after the module's message for it has been cached in the handle; every
// operation first drops the cached message. Private keys never leave the module except through
// sd_export_pkcs8.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/securedisk/sd_interface.h"

struct ERROR_CTX;
namespace v7 {
struct LoadedModule;
}

constexpr int kSdCodeOffset = 0x20000;
constexpr uint32_t kSdHandleMagic = 0x9EC824;
constexpr int kSdMediaCode = 512;
constexpr size_t kSdPathCapacity = 2048;
// The module's file in the system folder.
#define SD_MODULE_FILE_NAME "npki_securedisk.dll"

struct SecureDiskHandle {
  uint32_t magic;
  int refs;
  SecureDiskFunctionTable *functions;
  char drive[2];         // the system folder's drive letter as a one-character text
  char *backup_drive;    // never set
  int media_code;
  v7::LoadedModule *module;
  char path[kSdPathCapacity];
  int login_slot;
  int session;
  int logged_in;
  char *error_text;        // the module's last message as it gave it (UTF-8)
  char *error_text_euckr;  // its EUC-KR form, or null when it has none
};

// Loads "<system folder>\npki_securedisk.dll" once its file's signature verifies (its signer is
// not asked): as sd_module_load_checked without a signer check, a refused module is never loaded.
// 0, or 1013 (null out), 10001 (system folder path unusable), the check's code (1003, 33010,
// 33373, 33762, 33768), 32950 (not loaded), 32951 (an entry point missing), 1000.
int sd_module_load(SecureDiskHandle **out);
// Makes the loaders look in folder instead of the system folder (a copy is kept; null goes back
// to the system folder). For tests, which cannot install into the system folder; not thread-safe.
void sd_set_module_folder(const char *folder);
// Loads and binds the module of a folder the caller names (a full path, as the module loader
// demands) once the file's signature (and, with check_signer, its signer) is checked, while the
// file is held against writes until the load returns: a refused module is never loaded and none
// of its code runs. The check's failures are pushed on ctx and returned. Every load of the
// library's goes through here.
int sd_module_load_verified(ERROR_CTX *ctx, const char *folder, int check_signer, SecureDiskHandle **out);
// sd_module_load's file (the system folder's, or the folder set for tests), checked as
// sd_module_load_verified checks it before it is loaded.
int sd_module_load_checked(ERROR_CTX *ctx, int check_signer, SecureDiskHandle **out);
// The module path the loaders use for a folder: folder + "\" + the file name. 0 or 10001.
int sd_module_path(const char *folder, char *out, size_t capacity);

SecureDiskHandle *sd_handle_addref(SecureDiskHandle *handle);
void sd_handle_release(SecureDiskHandle *handle);

int sd_open(SecureDiskHandle *handle);
const char *sd_last_error_text(SecureDiskHandle *handle);

// Slot ids into a new array (free()); 0 slots gives no array.
int sd_get_slot_list(SecureDiskHandle *handle, int **out_slots, int *out_count);
// part 2 signing, 3 key-management; the DER into a new buffer (free()).
int sd_get_cert(SecureDiskHandle *handle, int slot, int part, uint8_t **out, size_t *out_len);
int sd_login(SecureDiskHandle *handle, int slot, const char *password);
int sd_require_login(SecureDiskHandle *handle);
int sd_check_login_slot(SecureDiskHandle *handle, int slot);
int sd_sign(SecureDiskHandle *handle, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len);
int sd_decrypt(SecureDiskHandle *handle, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len);
int sd_get_r(SecureDiskHandle *handle, uint8_t **out, size_t *out_len);
// Any of the four outputs (signing certificate, signing key, km certificate, km key) may be null,
// but each buffer and its length together. The key buffers are secrets: the caller wipes them.
int sd_export_pkcs8(SecureDiskHandle *handle, const char *password, uint8_t **sign_cert, size_t *sign_cert_len,
                    uint8_t **sign_key, size_t *sign_key_len, uint8_t **km_cert, size_t *km_cert_len,
                    uint8_t **km_key, size_t *km_key_len);
// The slot that holds a set of the certificate's subject (*out_slot 0: none), the slot that
// sd_import_pair replaces for that certificate. 0, or the decoder's code, or the module's.
int sd_find_cert_slot(SecureDiskHandle *handle, const uint8_t *cert, size_t cert_len, int *out_slot);
// What a successful import could not do: the slot that held the holder's set before could not be
// removed (old_slot 0: nothing left over), with the module's failure (code, its message cached
// in the handle until the next operation).
struct SdImportNotice {
  int old_slot = 0;
  int code = 0;
};
// Imports a set: a signing pair into a new slot, which replaces the holder's old slot once it holds
// the set; a key-management pair alone into the holder's slot. 0 when the set is stored, even when
// the old slot could not be removed afterwards: then *notice (when given) names it.
int sd_import_pair(SecureDiskHandle *handle, const uint8_t *sign_cert, size_t sign_cert_len,
                   const uint8_t *sign_key, size_t sign_key_len, const uint8_t *km_cert, size_t km_cert_len,
                   const uint8_t *km_key, size_t km_key_len, const char *password,
                   SdImportNotice *notice = nullptr);
int sd_get_current_pin_count(SecureDiskHandle *handle, int slot, int *out_count);
// "%d,%d,%d" of the version bytes into a new text (free()).
int sd_get_version_text(SecureDiskHandle *handle, char **out_text);
// The signature check of a loaded module's file (see sd_module_load_verified for the order that
// keeps a refused module from running).
int sd_verify_module_signature(ERROR_CTX *ctx, SecureDiskHandle *handle, int check_signer);
