// A PKCS#11 library bound by path, with one read-write session and the token objects this system
// reads and writes: signing and key-management certificates, RSA key pairs, the VID data object,
// and signing and decrypting with a key on the token.
//
// Results: 0 or a code (also left in errno). A PKCS#11 call that fails gives its CKR_ value plus
// kP11CodeOffset; an answer whose length lies past the buffer it was given, or past what the
// object can be, is refused with kErrP11BadAnswer before anything is copied.
//
// Each library is initialised once per process however many modules share it, and finalised by
// the last one: two users of one library keep their sessions.
//
// Buffers returned through out parameters are new (malloc) and owned by the caller; a decrypted
// value is a secret the caller wipes before freeing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/token/pkcs11_types.h"
#include "platform/module/module.h"

// The largest value read from a token: a certificate, an id, the VID random value, and the
// signature or decryption output.
constexpr size_t P11_MAX_CERT = 4096;
constexpr size_t P11_MAX_ID = 64;
constexpr size_t P11_MAX_RANDOM = 64;
constexpr size_t P11_MAX_OUTPUT = 512;
constexpr size_t P11_KEY_ID_LEN = 20;
// A holder's objects on one token: two pairs of three objects and their VID objects, with room
// for the sets that replacing never removed.
constexpr size_t P11_MAX_HOLDER_OBJECTS = 256;
// A PIN is sent as its bytes; a longer one is refused before any call (the dialogs' PIN fields
// hold 128 bytes with the terminator).
constexpr size_t P11_MAX_PIN = 127;

struct P11_MODULE {
  v7::LoadedModule *library;
  CK_SESSION_HANDLE session;    // 0 when none
  CK_SLOT_ID slot;              // of the session
  CK_FUNCTION_LIST *functions;  // null until bound
  int logged_in;
  char *path;
  int refs;  // from 1; 0 or less marks a module that must not be taken again
  int initialized;  // holds one of its library's initialisation references
  // A PIN the token refused, as its SHA-256: the same PIN is refused again without a call, so a
  // wrong PIN costs one try however many operations ask for it.
  uint8_t refused_pin[32];
  int has_refused_pin;
  CK_RV refused_rv;
};

// The library loaded by full path (platform/module), reference count 1. Null with
// kErrInvalidParameter (no path), kErrOutOfMemory, kErrModuleRelativePath or kErrModuleLoad.
P11_MODULE *p11_module_load(const char *path);
// Binds C_GetFunctionList (kErrModuleNoSymbol when missing, kErrP11NoFunctionList for no list),
// initialises the library (shared), lists all slots (kErrP11NoSlot for none) and opens a
// read-write serial session on the first slot that takes one (else the last code). 0 at once
// for a module already open.
int p11_module_open(P11_MODULE *module);
// One more reference, or null for a dead module (count 0 or less).
P11_MODULE *p11_module_retain(P11_MODULE *module);
// Drops a reference and frees the module at zero.
void p11_module_release(P11_MODULE *module);
// Logs out when logged in, closes the session, drops the library's initialisation reference
// (C_Finalize by the last user), unloads the library and frees the module. Null is ignored.
void p11_module_free(P11_MODULE *module);

// Logs the user in: kErrP11NoFunctionList unbound, 0 when already logged in, kErrP11NoPin
// without a PIN or with one past P11_MAX_PIN. CKR_USER_ALREADY_LOGGED_IN counts as success for
// this call (the token's own login, which this module must not log out).
int p11_login(const char *pin, P11_MODULE *module);

// How the token's user PIN stands, for the dialogs to tell the user before and after a try (the
// standard's flags, not a count): P11_PIN_OK, P11_PIN_COUNT_LOW (a wrong PIN was given),
// P11_PIN_FINAL_TRY or P11_PIN_LOCKED; -1 with the code in errno when the module has no session
// or the token cannot say.
enum : int { P11_PIN_OK = 0, P11_PIN_COUNT_LOW = 1, P11_PIN_FINAL_TRY = 2, P11_PIN_LOCKED = 3 };
int p11_pin_state(P11_MODULE *module);

// The signing certificates: init, then next until kErrNoObject, then final. Only certificates
// whose key usage has digitalSignature and nonRepudiation are returned; kErrP11FindObjects when
// the search fails (the token's code in errno).
int p11_find_certs_init(P11_MODULE *module);
int p11_find_next_cert(P11_MODULE *module, uint8_t **value, size_t *value_len, uint8_t **id, size_t *id_len);
void p11_find_certs_final(P11_MODULE *module);

// The certificate with that CKA_ID (kErrNoObject when none).
int p11_find_read_value(P11_MODULE *module, const uint8_t *id, size_t id_len, uint8_t **value, size_t *value_len);
// The first certificate of that subject whose key usage allows keyEncipherment, and its CKA_ID
// when id is not null (kErrNoObject when none).
int p11_find_km_cert(P11_MODULE *module, const uint8_t *subject, size_t subject_len, uint8_t **value,
                     size_t *value_len, uint8_t **id, size_t *id_len);
// The signing certificate of that id and the key-management certificate of its subject; either
// output may be null.
int p11_read_cert_and_id(P11_MODULE *module, const uint8_t *id, size_t id_len, uint8_t **sign_cert,
                         size_t *sign_len, uint8_t **km_cert, size_t *km_len);

// SHA-1 of the RSAPublicKey DER: the CKA_ID of a key pair and of its certificate.
int p11_key_id(const uint8_t *rsa_public_der, size_t length, uint8_t out[P11_KEY_ID_LEN]);

// Writes an RSA key pair (RSAPrivateKey DER) as a signing (km 0) or key-management (km 1) pair;
// *id_out a new P11_KEY_ID_LEN-byte buffer. kErrRsaIncorrectKey for a key that does not split or
// whose modulus is below 64 bytes. A failed private key destroys the public key this call made.
int p11_put_keypair(P11_MODULE *module, const char *pin, const uint8_t *key_der, size_t key_len, int km,
                    const uint8_t *subject, size_t subject_len, uint8_t **id_out);
// Writes a certificate with the given CKA_ID, or, without one, the key id of its own public key
// (so that it always meets its key).
int p11_put_cert(P11_MODULE *module, const char *pin, const uint8_t *cert, size_t cert_len, const uint8_t *id,
                 size_t id_len);
// Writes the VID data object "R4VID=<hex of the signing key's id>".
int p11_put_vid_object(const char *pin, const uint8_t *id, P11_MODULE *module, const uint8_t *random,
                       size_t random_len, size_t id_len);
// The objects of one holder's set: certificates and keys whose CKA_SUBJECT is the subject DER,
// and the VID data objects of those private keys' ids. *handles a new array (free) of *count
// handles, null when there are none; more than P11_MAX_HOLDER_OBJECTS is kErrP11BadAnswer.
int p11_find_holder_objects(P11_MODULE *module, const char *pin, const uint8_t *subject, size_t subject_len,
                            CK_OBJECT_HANDLE **handles, size_t *count);
// Destroys the objects; one already gone counts as destroyed. Every handle is tried; the first
// failure's code is returned.
int p11_destroy_objects(P11_MODULE *module, const CK_OBJECT_HANDLE *handles, size_t count);
// The VID random value of that key id (kErrNoVidRandomR when there is no object).
int p11_read_vid_random(P11_MODULE *module, const char *pin, const uint8_t *id, size_t id_len, uint8_t **value,
                        size_t *value_len);

// CKM_RSA_PKCS with the private key of that id: sign the prepared data (kErrNoPrivateKey without
// a signing key), or decrypt (kErrP11NoDecryptKey without a decryption key).
int p11_sign(P11_MODULE *module, const char *pin, const uint8_t *id, size_t id_len, const uint8_t *data,
             size_t length, uint8_t **out, size_t *out_len);
int p11_decrypt(P11_MODULE *module, const char *pin, const uint8_t *id, size_t id_len, const uint8_t *data,
                size_t length, uint8_t **out, size_t *out_len);
