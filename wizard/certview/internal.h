// Helpers shared by the display-text renderers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "pki/asn1/asn1.h"
#include "pki/asn1/x509_types.h"

namespace v7::certview {

// A bounded text writer. Pieces are appended whole character by whole character in the setting's
// narrow encoding; the first piece that does not fit is cut after its last whole character and
// everything after it is dropped, so a cut text is always a prefix of the whole text. Without a
// buffer it only measures.
class TextOut {
 public:
  TextOut(char *buf, size_t capacity);

  void put(const char *text);
  void put(const char *text, size_t length);
  void put_number(unsigned long long value);
  // The label pair of a string-table id (Korean at id, English at id + 1) in the setting's encoding.
  void label(unsigned id);
  // UTF-8 text from the certificate, converted when the setting is EUC-KR. False (errno set) when it
  // cannot be converted.
  bool put_utf8(const uint8_t *text, size_t length);
  void hex_form(const uint8_t *bytes, size_t length);
  // Plain lower-case hex, two digits a byte.
  void hex(const uint8_t *bytes, size_t length);
  // An object identifier's name, else its dotted form. False (errno set) when it has neither.
  bool oid(const ASN1_BYTES &oid);
  // A Name as "," text (already in the setting's encoding). False (errno set) on failure.
  bool name(const Name *name);

  size_t length() const { return length_; }
  bool cut() const { return cut_; }
  // Sets errno to kErrInsufficientBuffer for a cut text, else 0, and returns the length.
  size_t finish() const;

 private:
  char *buf_;
  size_t capacity_;
  size_t length_ = 0;
  bool cut_ = false;
};

// Renders twice, once to measure and once into a new buffer of the exact size; null (errno set)
// when the renderer fails or memory runs out.
template <typename Render>
char *render_new(Render render) {
  TextOut measure(nullptr, 0);
  if (!render(measure)) return nullptr;
  size_t size = measure.length() + 1;
  char *text = static_cast<char *>(malloc(size));
  if (text == nullptr) return nullptr;
  TextOut out(text, size);
  if (!render(out)) {
    free(text);
    return nullptr;
  }
  return text;
}

// The byte length of the character starting at text, in the setting's encoding (1 for ASCII and
// for bytes that start no sequence), at most `available`.
size_t char_length(const char *text, size_t available);

// The decimal digits of an unsigned big-endian number, most significant first, into out (which
// holds at least 3 * length + 2 bytes). Returns the digit count.
size_t unsigned_decimal(const uint8_t *bytes, size_t length, char *out);

// The magnitude bytes of an INTEGER's contents, leading zero bytes skipped (one byte stays).
void integer_magnitude(const ASN1_BYTES &value, const uint8_t **bytes, size_t *length);

}  // namespace v7::certview
