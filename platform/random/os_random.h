// The operating system's random source: the only source of key material in the system.
#pragma once

#include <cstddef>

// Fills len bytes from the OS generator (RtlGenRandom, or CryptGenRandom where that is missing,
// on Windows; getrandom elsewhere). Returns true when every byte was filled. It never falls back
// to anything weaker: on false the caller must fail.
bool platform_random_bytes(void *out, size_t len);
