// Key objects: signing and decrypting through a table of operations, so that the relay protocol
// and the dialogs treat a key file, a security token, the secure disk and a phone's stored
// signature alike; and the public-key object that verifies and encrypts.
//
// PRIVATE_KEY_CTX kinds: 1 key file (this toolkit holds the RSA key), 3 stored signature (a phone
// module signed once; the object hands that value back). Kinds 2 (PKCS#11 token) and 4 (secure
// disk) build on the same record and the building blocks at the end of this header: each kind is
// one constant PRIVATE_KEY_METHOD and a constructor, and keeps its own fields behind kind_data.
//
// Results: the operations that do something return 0 or the code (also left in errno); accessors
// return the field, or null / 0 for a null object. Codes: kErrOutOfMemory, kErrInvalidParameter,
// kErrInsufficientBuffer a value too long, kErrUnsupportedPublicKeyAlgorithm an algorithm or scheme
// without an RSA encoding, kErrNoCryptoContext no RSA key ("No Crypto Context"),
// kErrKeyCtxUnsupportedKeyFormat unsupported key or credential format,
// kErrKeyCtxUnsupportedKeyRefer a credential whose check word does not match its kind,
// kErrKeyCtxUnsupportedOption an unsupported format word on sign, kErrKeyCtxPasswordRequired a
// missing password or PIN, kErrPubKeyUnsupportedOption-kErrPubKeyUnsupportedKeyRefer the public-key
// object's own option, format and source codes; and the codes of the key-file, codec and RSA
// layers, passed on unchanged.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/rsa/rsa.h"
#include "pki/asn1/x509_types.h"

enum : int {
  KEYOBJ_KIND_FILE = 1,
  KEYOBJ_KIND_TOKEN = 2,
  KEYOBJ_KIND_SIGNATURE = 3,
  KEYOBJ_KIND_SECURE_DISK = 4,
};

// The format word of set key, sign, decrypt and the public-key operations: 1 is the only format
// the callers use (the scheme id chooses the encoding).
enum : int { KEYOBJ_FORMAT_DEFAULT = 1 };

// The key algorithm id of an object that holds an RSA key (the rsaEncryption object id).
enum : int { KEYOBJ_ALG_RSA = 4608 };

// A random value longer than this is refused with kErrInsufficientBuffer. Real VID random values
// are 20 bytes; tokens and phone modules have larger buffers of their own, so a 41-byte value that
// another store hands over does not fit here.
constexpr size_t KEYOBJ_MAX_RANDOM = 40;
// The largest RSAPrivateKey a key file may hold (its privateKey octets); kErrInsufficientBuffer
// above.
constexpr size_t KEYOBJ_MAX_PRIVATE_KEY = 4096;

// The credential of set key: {1, 1, password} for an encrypted key file; {2, any, unused} when the
// key data is a plain RSAPrivateKey DER; {3, 3, PIN} for the secure disk. The check word must
// repeat the kind (11932), a password or PIN must be a non-empty text (11934), other kinds
// kErrKeyCtxUnsupportedKeyFormat.
enum : int {
  KEY_CREDENTIAL_PASSWORD = 1,
  KEY_CREDENTIAL_RSA_DER = 2,
  KEY_CREDENTIAL_PIN = 3,
};
struct KEY_CREDENTIAL {
  int kind;
  int check;
  const char *text;
};

// A borrowed byte range, for control operations that take one.
struct KEYOBJ_BYTES {
  const uint8_t *data;
  size_t length;
};

// Control ids of the stored-signature kind: in = const KEYOBJ_BYTES * with the signature.
enum : int { KEYOBJ_CTRL_SET_SIGNATURE = 1 };

struct PRIVATE_KEY_CTX;

// The 17 operations in their fixed order (the slot numbers are shared by every kind).
struct PRIVATE_KEY_METHOD {
  // 0: frees everything the object owns, secrets wiped, and the record. Null is ignored.
  void (*destroy)(PRIVATE_KEY_CTX *ctx);
  // 1: the kind; kErrInvalidParameter for a null object.
  int (*get_kind)(const PRIVATE_KEY_CTX *ctx);
  // 2: loads the key; format must be 1 (11931). A failure leaves the object without a key.
  int (*set_key)(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int format,
                 const KEY_CREDENTIAL *credential);
  // 3: key files and stored signatures copy and decode the certificate DER (strict; its signature
  // algorithm must have an object id, else kErrUnsupportedPublicKeyAlgorithm and nothing is kept).
  // part is the secure disk's certificate part (2 signing, 3 key-management); the other kinds
  // ignore it.
  int (*set_certificate)(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int part);
  // 4: key files and stored signatures copy the VID random value (at most KEYOBJ_MAX_RANDOM
  // bytes); tokens and the secure disk read it from their store.
  int (*set_buffer)(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length);
  // 5: 4608 once a key is present, else 0; kErrInvalidParameter for a null object.
  int (*key_algorithm)(const PRIVATE_KEY_CTX *ctx);
  // 6: informational only. Key files: modulus bytes, 0 without a key; tokens and the secure disk:
  // the length of the certificate's subjectPublicKey bit string, which is longer than the
  // modulus. Never size a signature with it: sign returns its own length.
  int (*key_length)(const PRIVATE_KEY_CTX *ctx);
  // 7 to 12: the fields, owned by the object.
  const uint8_t *(*certificate_der)(const PRIVATE_KEY_CTX *ctx);
  size_t (*certificate_der_length)(const PRIVATE_KEY_CTX *ctx);
  int (*certificate_signature_algorithm)(const PRIVATE_KEY_CTX *ctx);
  const Certificate *(*certificate)(const PRIVATE_KEY_CTX *ctx);
  const uint8_t *(*buffer)(const PRIVATE_KEY_CTX *ctx);
  size_t (*buffer_length)(const PRIVATE_KEY_CTX *ctx);
  // 13: signs data by the signature scheme id (pki/x509/algorithms.h); format must be 1 (11933).
  // A new buffer in *out (release it through slot 16) of *out_len bytes: for a key file always
  // the modulus length.
  int (*sign)(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
              int format, const int *scheme);
  // 14: decrypts by the encryption scheme id when format is 1, else PKCS#1 v1.5 type 2. A new
  // buffer in *out (release it through slot 16); an empty message gives 0 with *out_len 0.
  int (*decrypt)(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                 int format, const int *scheme);
  // 15: kind-specific requests; in and out as the id says.
  int (*control)(PRIVATE_KEY_CTX *ctx, int id, void *in, void *out);
  // 16: wipes and frees a buffer that slot 13 or 14 returned, with the length it returned.
  void (*free_buffer)(PRIVATE_KEY_CTX *ctx, uint8_t *buffer, size_t length);
};

// Zero-allocated by a kind's constructor; every pointer is owned.
struct PRIVATE_KEY_CTX {
  const PRIVATE_KEY_METHOD *ops;
  int kind;
  uint8_t *cert_der;
  size_t cert_der_len;
  Certificate *cert;
  int cert_sig_alg;       // object id of the certificate's signature algorithm
  size_t public_key_len;  // length of the certificate's subjectPublicKey bit string
  uint8_t *buffer;        // the VID random value, or null
  size_t buffer_len;
  int key_alg;         // KEYOBJ_ALG_RSA once a key is present, 0 before
  RSA_CTX *rsa;        // kind 1: the private key
  uint8_t *signature;  // kind 3: the stored signature value
  size_t signature_len;
  void *kind_data;  // kinds 2 and 4: their own record, released by their destroy
};

// A key-file object and a stored-signature object: zeroed, with their tables; null with
// kErrOutOfMemory.
PRIVATE_KEY_CTX *keyobj_new_type1();
PRIVATE_KEY_CTX *keyobj_new_type3();

// Calling an operation: ctx->ops->sign(ctx, ...). The helpers below do the same and also accept a
// null object (1001, or null / 0 for the accessors; keyobj_delete ignores it).
inline bool keyobj_usable(const PRIVATE_KEY_CTX *ctx) { return ctx != nullptr && ctx->ops != nullptr; }
void keyobj_delete(PRIVATE_KEY_CTX *ctx);
int keyobj_set_key(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int format,
                   const KEY_CREDENTIAL *credential);
int keyobj_set_certificate(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int part);
int keyobj_set_buffer(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length);
int keyobj_sign(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                int format, const int *scheme);
int keyobj_decrypt(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                   int format, const int *scheme);
int keyobj_control(PRIVATE_KEY_CTX *ctx, int id, void *in, void *out);
void keyobj_free_buffer(PRIVATE_KEY_CTX *ctx, uint8_t *buffer, size_t length);

// ---- The public-key object ---------------------------------------------------------------------

// Sources of its set key: kind 2 a certificate DER (check word 1, else
// kErrPubKeyUnsupportedKeyRefer; its key must be RSA, else kErrUnsupportedPublicKeyAlgorithm), kind
// 4 an RSAPublicKey DER, kind 8 a SubjectPublicKeyInfo DER (RSA only,
// kErrUnsupportedPublicKeyAlgorithm); another kind kErrPubKeyUnsupportedKeyFormat.
enum : int {
  PUBKEY_SOURCE_CERTIFICATE = 2,
  PUBKEY_SOURCE_RSA_PUBLIC_KEY = 4,
  PUBKEY_SOURCE_SPKI = 8,
};
struct PUBLIC_KEY_SOURCE {
  int kind;
  int check;
};

enum : int { PUBKEY_KIND_RSA = 1 };

struct PUBLIC_KEY_CTX;

struct PUBLIC_KEY_METHOD {
  // 0: frees the object; null is ignored.
  void (*destroy)(PUBLIC_KEY_CTX *ctx);
  // 1: PUBKEY_KIND_RSA; kErrInvalidParameter for a null object.
  int (*get_kind)(const PUBLIC_KEY_CTX *ctx);
  // 2: loads the key; format must be 1 (11110). A failure leaves the object without a key.
  int (*set_key)(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, int format,
                 const PUBLIC_KEY_SOURCE *source);
  // 3: 4608 once a key is present, else 0; kErrInvalidParameter for a null object.
  int (*key_algorithm)(const PUBLIC_KEY_CTX *ctx);
  // 4: the decoded certificate when the key came from one, else null.
  const Certificate *(*certificate)(const PUBLIC_KEY_CTX *ctx);
  // 5: 0 when the signature over data verifies under the signature scheme id, else the code;
  // format must be 1 (11110).
  int (*verify)(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, const uint8_t *signature,
                size_t signature_length, int format, const int *scheme);
  // 6: encrypts by the encryption scheme id (0 or a null pointer: PKCS#1 v1.5) when format is 1,
  // else PKCS#1 v1.5 type 2. A new buffer (free()) of the modulus length.
  int (*encrypt)(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                 int format, const int *scheme);
};

struct PUBLIC_KEY_CTX {
  const PUBLIC_KEY_METHOD *ops;
  int kind;
  uint8_t *cert_der;  // owned, when set from a certificate
  size_t cert_der_len;
  Certificate *cert;
  int key_alg;
  RSA_CTX *rsa;
};

// A zeroed public-key object with its table; null with kErrOutOfMemory.
PUBLIC_KEY_CTX *pubkey_new();
// Null-accepting dispatch, as for the private-key objects.
void pubkey_delete(PUBLIC_KEY_CTX *ctx);
int pubkey_set_key(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, int format,
                   const PUBLIC_KEY_SOURCE *source);
int pubkey_verify(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, const uint8_t *signature,
                  size_t signature_length, int format, const int *scheme);
int pubkey_encrypt(PUBLIC_KEY_CTX *ctx, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len,
                   int format, const int *scheme);

// ---- Building blocks of the kinds --------------------------------------------------------------
// What every kind shares, for the tables of this toolkit's kinds. A kind's table takes the
// accessors and these functions where it has nothing of its own to do.

// A zeroed record with the table and kind; null with kErrOutOfMemory.
PRIVATE_KEY_CTX *keyobj_alloc(const PRIVATE_KEY_METHOD *ops, int kind);
// The same with kind_data pointing to a zeroed record of data_size bytes, which the kind's destroy
// frees.
PRIVATE_KEY_CTX *keyobj_alloc_with_data(const PRIVATE_KEY_METHOD *ops, int kind, size_t data_size);
// Frees the common fields (certificate, buffer, RSA key, signature; secrets wiped) and the record.
// A kind's destroy releases kind_data first.
void keyobj_free_common(PRIVATE_KEY_CTX *ctx);
// Frees the RSA key and clears the key algorithm id.
void keyobj_drop_key(PRIVATE_KEY_CTX *ctx);
// 0 when the credential is one of the three kinds with its check word and text; else
// kErrInvalidParameter (null), kErrKeyCtxUnsupportedKeyFormat, kErrKeyCtxUnsupportedKeyRefer or
// kErrKeyCtxPasswordRequired (the code is returned, errno is not touched).
int keyobj_check_credential(const KEY_CREDENTIAL *credential);
// Keeps a copy of a certificate DER with its decoding, signature algorithm id and public-key
// length, replacing any earlier one; on failure the earlier one stays. 0 or the code.
int keyobj_keep_certificate(PRIVATE_KEY_CTX *ctx, const uint8_t *der, size_t length);
// Keeps a copy of the random value (14094 above KEYOBJ_MAX_RANDOM, the bound every medium
// honours), replacing any earlier one.
int keyobj_keep_buffer(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length);

// Slot 3 of the kinds that are handed their certificate DER (part is not used).
int keyobj_base_set_certificate(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int part);
int keyobj_base_get_kind(const PRIVATE_KEY_CTX *ctx);
// Slot 6 of the kinds whose key lies outside: the certificate's public-key length, 0 without one.
int keyobj_base_certificate_key_length(const PRIVATE_KEY_CTX *ctx);
int keyobj_base_key_algorithm(const PRIVATE_KEY_CTX *ctx);
const uint8_t *keyobj_base_certificate_der(const PRIVATE_KEY_CTX *ctx);
size_t keyobj_base_certificate_der_length(const PRIVATE_KEY_CTX *ctx);
int keyobj_base_certificate_signature_algorithm(const PRIVATE_KEY_CTX *ctx);
const Certificate *keyobj_base_certificate(const PRIVATE_KEY_CTX *ctx);
const uint8_t *keyobj_base_buffer(const PRIVATE_KEY_CTX *ctx);
size_t keyobj_base_buffer_length(const PRIVATE_KEY_CTX *ctx);
void keyobj_base_free_buffer(PRIVATE_KEY_CTX *ctx, uint8_t *buffer, size_t length);
