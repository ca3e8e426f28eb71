// Conversions between wide text (UTF-16), UTF-8 and EUC-KR.
//
// EUC-KR is handled as code page 949, the Korean superset that Windows falls back to when it has
// no 51949: it encodes every KS X 1001 character with EUC-KR's bytes and adds the remaining Hangul
// syllables. The table is built in, so a text converts the same way on every platform. Conversion
// is strict: malformed input, a lone surrogate or a character the target cannot hold fails with
// the function's code; nothing is replaced by '?' or U+FFFD.
//
// New texts are allocated with malloc and terminated; the caller releases them with free (or
// str_wipe_free for secrets). Input texts are terminated; the *_buf forms that take a length say
// so.
#pragma once

#include <cstddef>
#include <cstdint>

// These return 0 or the code (also left in errno): kErrInvalidParameter for a null argument,
// kErrOutOfMemory for memory, or the conversion's own code (33002 EUC-KR to wide, kErrWideToEuckr
// wide to EUC-KR, kErrUtf8ToWide UTF-8 to wide, kErrWideToUtf8 wide to UTF-8). *out is null on
// failure.
int utf8_to_wide(const char *text, char16_t **out);
int wide_to_utf8(const char16_t *text, char **out);
int euckr_to_wide(const char *text, char16_t **out);
int wide_to_euckr(const char16_t *text, char **out);

// Into a caller buffer of `capacity` bytes, terminator included; kErrInsufficientBuffer when it is
// too small (the buffer is then emptied).
int wide_to_utf8_buf(const char16_t *text, char *buf, size_t capacity);
int wide_to_euckr_buf(const char16_t *text, char *buf, size_t capacity);

// Narrow text in the encoding that CharEncodingMode names, to and from wide text.
int setting_to_wide(const char *text, char16_t **out);
int wide_to_setting(const char16_t *text, char **out);

// A new EUC-KR text from narrow text in the setting's encoding: converted from UTF-8 when the
// setting is 1, else copied. to_euckr_dup copies the text as it stands when it is not valid UTF-8.
int to_euckr_copy(const char *text, char **out);
int to_euckr_dup(const char *text, char **out);

// New texts; return their length, or 0 with errno kErrInvalidParameter (null or empty input),
// kErrUnicodeTranslation (conversion) or kErrOutOfMemory.
size_t utf8_to_euckr(const char *text, char **out);
size_t euckr_to_utf8(const char *text, char **out);

// in_len bytes into a caller buffer, without terminator; out null with capacity 0 asks for the
// size. Return the byte count, or 0 with errno kErrInvalidParameter, kErrUnicodeTranslation,
// kErrOutOfMemory, or kErrInsufficientBuffer (utf8_to_euckr_buf) / kErrInsufficientMemory
// (euckr_to_utf8_buf) when the capacity is too small.
size_t utf8_to_euckr_buf(const char *in, size_t in_len, char *out, size_t capacity);
size_t euckr_to_utf8_buf(const char *in, size_t in_len, char *out, size_t capacity);

// BMPString contents (UTF-16 big-endian; an odd last byte is ignored) to narrow text in the
// setting's encoding. Copies whole characters only, at most capacity - 1 bytes, and terminates the
// output, so a caller that terminates at out[result] stays inside the buffer. Returns the byte
// count; 0 with an empty output for null or too short contents, and 0 with errno
// kErrWideToUtf8/kErrWideToEuckr when the text cannot be converted.
size_t bmpstring_to_text(const uint8_t *contents, size_t length, char *out, size_t capacity);
