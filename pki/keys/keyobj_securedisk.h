// The secure-disk kind of PRIVATE_KEY_CTX (kind 4): the private key stays inside the secure-disk
// module; the object holds one counted reference to the module's handle and the slot it logged in
// to.
//
// The module client lives in the media layer, above this toolkit, so the object reaches it only
// through SECURE_DISK_KEY_BINDING: the table of module operations handed over with the handle
// (control KEYOBJ_CTRL_SD_SET_HANDLE). The handle is an opaque pointer that only the binding's
// functions touch.
//
// Calling order: construct; set handle (control 2; before anything else); set key with the slot id
// and the credential {3, 3, password} (logs in); set certificate with the slot id and the part;
// read the random value (slot 4) when needed; sign or decrypt; delete.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/keys/keyobj.h"

// Every function returns 0 or a code and leaves the code in errno; the module's own failures come
// with their offset. Buffers it returns are new (malloc), owned by the object.
struct SECURE_DISK_KEY_BINDING {
  // One more reference (null for a handle that may not be taken again); drops one reference.
  void *(*retain)(void *handle);
  void (*release)(void *handle);
  // Logs in to the slot with the password; the handle keeps the session.
  int (*login)(void *handle, int slot, const char *password);
  // 0 when the handle's session is the slot's.
  int (*check_login_slot)(void *handle, int slot);
  // part 2 signing, 3 key-management; an empty slot part gives 0 and no bytes.
  int (*read_certificate)(void *handle, int slot, int part, uint8_t **der, size_t *der_len);
  // The VID random value of the logged-in slot; empty gives 0 and no bytes.
  int (*read_random)(void *handle, uint8_t **value, size_t *value_len);
  // The module's raw RSA with the logged-in slot's key: sign the prepared block, decrypt the
  // ciphertext (PKCS#1 v1.5).
  int (*sign)(void *handle, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len);
  int (*decrypt)(void *handle, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len);
};

// A handle with its binding: control 2 takes one (in; the object takes a reference), control 1
// fills one (out; the object keeps its reference).
struct SECURE_DISK_KEY_HANDLE {
  const SECURE_DISK_KEY_BINDING *binding;
  void *handle;
};

// Controls of the secure-disk kind.
enum : int {
  KEYOBJ_CTRL_SD_GET_HANDLE = 1,  // out: SECURE_DISK_KEY_HANDLE *
  KEYOBJ_CTRL_SD_SET_HANDLE = 2,  // in: const SECURE_DISK_KEY_HANDLE *
};

// The slot id that set key and set certificate take as their data: data points to it and length
// is its size.
using KEYOBJ_SD_SLOT = int32_t;

// A zeroed secure-disk key object with its table; null with kErrOutOfMemory.
//
// Slot by slot, every one answering kErrSdKeyNoHandle before a handle is set: set key (format 1,
// else kErrKeyCtxUnsupportedKeyFormat; the credential {3, 3, password}, other kinds
// kErrKeyCtxUnsupportedKeyFormat) logs in to the slot and sets the algorithm 4608; set certificate
// reads part 2 or 3 of the slot (kErrSdKeyReadCert when the slot has none or it does not decode);
// set buffer checks that the handle is logged in to the object's slot and reads the random value
// (kErrSdKeyReadRandom when there is none); key length is the certificate's public-key length;
// sign takes schemes 13 (the data as given), 5376 and 5377 (DigestInfo with SHA-1 / SHA-256 over
// the data), other schemes kErrInvalidParameter; decrypt is the module's PKCS#1 v1.5 (format 1
// with a scheme other than 4608 kErrUnsupportedPublicKeyAlgorithm). Sign and decrypt first check
// that the shared handle is still logged in to the object's slot (kErrSdLoginRequired), so that
// another slot's login on the same handle never signs with the wrong key.
PRIVATE_KEY_CTX *keyobj_new_type4();
