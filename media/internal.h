// Helpers shared by the certificate-list files of the media folder; not for callers outside it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "media/certlist.h"

namespace v7 {
namespace certlist {

// The longest folder or file path of the folder media, in characters, without the terminator.
enum : size_t { kMaxPath = 260 };

// Frees a text after overwriting it with zeros over its length (a PIN); null is accepted.
void wipe_free_text(char *text);

// A copy of len bytes (malloc); null with kErrOutOfMemory.
uint8_t *copy_bytes(const uint8_t *data, size_t len);

// Puts the entry in front of the list, sets its owner and code and gives it an id when the id flag
// asks for one (the token, card and memory lists).
void push_front(CERTLIST_CTX *list, CERT_ENTRY *entry, uint32_t media_code);

// The token list from a module path, or from an open module (one more reference is taken and
// dropped again).
CERT_ENTRY *load_token(CERTLIST_CTX *list, const char *path, P11_MODULE *open_module);
CERT_ENTRY *load_smartcard(CERTLIST_CTX *list, const char *pin);
// Parts 0 to 3 (signing certificate, signing key, key-management certificate and key) of a token
// or smart-card entry.
size_t read_token_part(const CERT_ENTRY *entry, int part, uint8_t **out);
size_t read_card_part(const CERT_ENTRY *entry, int part, uint8_t **out);
// The same of a secure-disk entry, through a module handle loaded and started for the read.
size_t read_securedisk_part(const CERT_ENTRY *entry, int part, uint8_t **out);

}  // namespace certlist
}  // namespace v7
