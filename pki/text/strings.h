// Bounded copy, append and format operations, and small text helpers.
//
// The argument orders differ from one function to the next (and are kept, since every caller of
// the toolkit is written against them): read each signature before calling.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// Copy at most capacity - 1 characters, terminate when capacity is not 0, and return the length of
// the whole source (so a result >= capacity means the copy was cut). A null source counts as empty.
size_t str_lcopy(size_t capacity, char *dst, const char *src);
size_t wstr_lcopy(size_t capacity, char16_t *dst, const char16_t *src);

// Copy with terminator. 0, or 22 for a null destination, a zero capacity, a capacity above
// 0x0FFFFFFF or a null source (the destination is emptied), or 34 when the text does not fit (the
// destination is emptied). The code is also left in errno.
int str_copy_s(size_t capacity, const char *src, char *dst);
int wstr_copy_s(size_t capacity, const char16_t *src, char16_t *dst);

// Appends src to the text in buf. 0, 22 for bad arguments or a buf with no terminator within the
// capacity, 34 when the result does not fit; on failure buf is emptied.
int str_cat_s(const char *src, size_t capacity, char *buf);
int wstr_cat_s(const char16_t *src, size_t capacity, char16_t *buf);

enum : size_t { kWidePathCapacity = 261 };
// Appends "\AppData\LocalLow" to a wide buffer of kWidePathCapacity characters, as wstr_cat_s.
int append_low_folder(char16_t *buf);

// C99 formatting on every platform (msvcrt's own is not). Returns the length the whole text
// needs; writes at most capacity - 1 characters and always terminates, so a cut text is not an
// error. A null format, or a null buffer with nonzero capacity, gives -1 with errno 22.
// In the wide form %s and %c take wide (char16_t) arguments and %hs, %hc narrow ones, as in
// Windows' wide formatters.
int safe_snprintf(char *buf, size_t capacity, const char *format, ...);
int safe_vsnprintf(char *buf, size_t capacity, const char *format, va_list args);
int safe_swprintf(char16_t *buf, size_t capacity, const char16_t *format, ...);
int safe_vswprintf(char16_t *buf, size_t capacity, const char16_t *format, va_list args);

// Removes leading and trailing blanks and tabs in place; returns text (null stays null).
char *str_trim(char *text);

// Zeroes the characters of a text (a password), then frees it; null is accepted.
void str_wipe_free(char *text);
void wstr_wipe_free(char16_t *text);

// Lowercase hexadecimal of length bytes. With a null output returns 2 * length; otherwise the
// capacity must exceed 2 * length (room for the terminator). -1 with errno kErrInvalidParameter
// (null input, length 0 or above 0x3FFFFFFF) or kErrInsufficientBuffer.
int hex_encode_lower(size_t length, char *out, const uint8_t *in, size_t capacity);

// Dotted decimal versions, field by field as unsigned numbers; any one character after a number
// separates it from the next. -1, 0 or 1; when the shared fields are equal, more fields is higher.
int version_compare(const char *a, const char *b);
