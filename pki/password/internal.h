// Character classes and the pieces of the strength grade, shared by the rules and the tests.
//
// Classes are explicit byte ranges, never the C library's ctype: those depend on the locale and
// take negative values of a signed char as undefined behaviour, and bytes of Korean text are
// exactly such values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace v7 {
namespace password {

// The longest prefix the grade looks at; longer texts are graded on it.
constexpr size_t kGradedBytes = 255;

// Stands in for a repeated chunk; it is not printable, so it is never anyone's neighbour.
constexpr uint8_t kChunkMark = 0x7F;

inline bool is_digit(uint8_t c) { return c >= 0x30 && c <= 0x39; }
inline bool is_upper(uint8_t c) { return c >= 0x41 && c <= 0x5A; }
inline bool is_lower(uint8_t c) { return c >= 0x61 && c <= 0x7A; }
inline bool is_letter(uint8_t c) { return is_upper(c) || is_lower(c); }
inline bool is_printable(uint8_t c) { return c >= 0x20 && c <= 0x7E; }

// The 33 special characters (the blank and every printable ASCII mark), in their stored order.
extern const char kSpecialChars[34];
bool is_special(uint8_t c);

// The keyboard keys listed as neighbours of a printable character (possibly none), or null for
// any other byte.
const char *keyboard_neighbours(uint8_t c);

// Whether b typed after a counts as a neighbour key.
bool are_neighbours(uint8_t a, uint8_t b);

// n, less (run length - 2) for every maximal run of 3 or more neighbours.
size_t run_shortened_length(const uint8_t *text, size_t n);

// The smallest run-shortened length over the text and every text made from it by replacing the
// repeats of one of its chunks with kChunkMark. The chunk search is for texts of at most
// kGradedBytes; a longer one gets its run-shortened length.
size_t effective_length(const uint8_t *text, size_t n);

// How many of digits, lower-case letters, upper-case letters and specials occur.
int class_count(const uint8_t *text, size_t n);

}  // namespace password
}  // namespace v7
