// The PKCS#12 file's password while the selection dialog is open: OK imports the file a second
// time, so the password typed at the search is kept, but never as plain text. It is sealed with
// SEED-CBC under a key and an IV drawn from the OS random source for this one seal, and the key,
// IV and ciphertext are wiped when the record is freed.
#pragma once

#include <cstddef>
#include <cstdint>

namespace v7 {
namespace select {

struct SealedPassword {
  uint8_t key[16];
  uint8_t iv[16];
  uint8_t *sealed;  // owned: the password's length + up to 16 bytes of padding
  size_t sealed_length;
};

// Seals text (at most capacity - 1 bytes are ever unsealed, so a longer one is refused): 0,
// kErrInvalidParameter for null arguments, an empty text or one of 128 bytes or more,
// kErrRandomContextCreate when the OS source gives nothing, kErrOutOfMemory, or the cipher's code.
// On failure the record holds nothing.
int seal_password(const char *text, SealedPassword *out);
// The text into out (capacity bytes, terminated): 0, kErrInvalidParameter for null arguments or an
// empty record, kErrInsufficientBuffer when it does not fit, or the cipher's code (out wiped).
int unseal_password(const SealedPassword *record, char *out, size_t capacity);
// Wipes the key, the IV and the ciphertext and frees it. Null is accepted.
void wipe_sealed_password(SealedPassword *record);

// What a PKCS#12 search leaves for OK: the sealed password and the file's bytes.
struct Pkcs12ImportRecord {
  SealedPassword password;
  uint8_t *file;  // owned
  size_t file_length;
};
void free_pkcs12_import(Pkcs12ImportRecord *record);

}  // namespace select
}  // namespace v7
