// Small helpers: the four-byte random fill, the UTC time conversion and the platform error box.
#pragma once

#include <cstdint>
#include <ctime>

// Fills 4 bytes from the process-wide generator, which reads the operating system's random source
// (the identifiers it makes must not be predictable). 0, kErrInvalidParameter for a null output,
// kErrRandomContextCreate when the generator cannot be made, or the generator's code; the code is
// also left in errno.
int rand_u32_fill(uint8_t *out);

// The broken-down UTC time of a 64-bit time value (seconds since 1970) in *dst, computed without
// the C library (whose 32-bit and msvcrt forms differ); returns dst, unchanged when the value lies
// outside years 1 to 9999; null for a null dst.
struct tm *gmtime_copy(struct tm *dst, int64_t t);

// Shows the "CoGetObject Error" box with the result code, the last error and their system
// messages.
void win32_error_box(int32_t result, uint32_t last_error);
