// The token kind of PRIVATE_KEY_CTX (kind 2): the private key stays on a PKCS#11 token; the object
// holds the key's CKA_ID, the PIN, the library path and one counted reference to an open token
// module.
//
// The token binding lives in the media layer, above this toolkit, so the object reaches it only
// through TOKEN_KEY_BINDING: the table of token operations the binding hands over with its
// module (control KEYOBJ_CTRL_TOKEN_SET_MODULE). The object never names the binding's types; a
// module is an opaque pointer that only the binding's functions touch.
//
// Calling order: construct; set module (control 5; before anything else); set key with the key
// id bytes; set the PIN (control 2); set certificate (reads it from the token by the id); read
// the random value (slot 4) when needed; sign or decrypt; delete. An object given a binding but
// no module opens one from the library path (control 1) on first use and keeps it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pki/keys/keyobj.h"

// Every function returns 0 or a code and leaves the code in errno; buffers it returns are new
// (malloc), owned by the object.
struct TOKEN_KEY_BINDING {
  // A new open module for the library at path (one reference), or null with the code in errno.
  void *(*open)(const char *path);
  // One more reference (null for a module that may not be taken again); drops one reference.
  void *(*retain)(void *module);
  void (*release)(void *module);
  int (*login)(void *module, const char *pin);
  // The certificate whose CKA_ID is the id.
  int (*read_certificate)(void *module, const uint8_t *id, size_t id_len, uint8_t **der, size_t *der_len);
  // The VID random value of the key id.
  int (*read_random)(void *module, const char *pin, const uint8_t *id, size_t id_len, uint8_t **value,
                     size_t *value_len);
  // The token's raw RSA (PKCS#1 v1.5) with the key of that id: sign the prepared block's data,
  // decrypt the ciphertext.
  int (*sign)(void *module, const char *pin, const uint8_t *id, size_t id_len, const uint8_t *data, size_t length,
              uint8_t **out, size_t *out_len);
  int (*decrypt)(void *module, const char *pin, const uint8_t *id, size_t id_len, const uint8_t *data,
                 size_t length, uint8_t **out, size_t *out_len);
};

// A module with its binding: control 5 takes one (in), control 4 fills one (out; the object keeps
// its reference).
struct TOKEN_KEY_MODULE {
  const TOKEN_KEY_BINDING *binding;
  void *module;  // may be null with a binding: the object opens one from its path when needed
};

// Controls of the token kind.
enum : int {
  KEYOBJ_CTRL_TOKEN_SET_PATH = 1,    // in: const char * library path
  KEYOBJ_CTRL_TOKEN_SET_PIN = 2,     // in: const char * PIN (copied; wiped on delete)
  KEYOBJ_CTRL_TOKEN_LOGIN = 3,       // logs in with the PIN (opening the module when needed)
  KEYOBJ_CTRL_TOKEN_GET_MODULE = 4,  // out: TOKEN_KEY_MODULE *
  KEYOBJ_CTRL_TOKEN_SET_MODULE = 5,  // in: const TOKEN_KEY_MODULE * (the object takes a reference)
};

// The longest key id the object takes (a token's CKA_ID buffer).
constexpr size_t KEYOBJ_MAX_TOKEN_ID = 64;

// A zeroed token key object with its table; null with kErrOutOfMemory.
//
// Slot by slot: set key copies the id bytes (1 to KEYOBJ_MAX_TOKEN_ID; format 1, else
// kErrKeyCtxUnsupportedKeyFormat) and sets the algorithm 4608; set certificate reads the
// certificate of the id from the token (kErrHsmNullLibraryPath with neither module nor path,
// kErrHsmReadCert when the token has none that decodes); set buffer reads the VID random value
// (kErrHsmReadRandom); key length is the certificate's public-key length; sign takes schemes 13
// (the data as given), 5376 and 5377 (DigestInfo with SHA-1 / SHA-256 over the data), other
// schemes kErrInvalidParameter; decrypt is the token's PKCS#1 v1.5 (format 1 with a scheme other
// than 4608 kErrUnsupportedPublicKeyAlgorithm: the token cannot undo OAEP). Token codes pass
// through with their offset.
PRIVATE_KEY_CTX *keyobj_new_type2();
