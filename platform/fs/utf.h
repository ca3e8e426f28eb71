// Strict conversion between UTF-16 and UTF-8 for the seams' own texts (paths, folder names): a
// lone surrogate, a malformed or overlong sequence or a value past U+10FFFF fails; nothing is
// replaced. The toolkit's text family has the full set of conversions with its error codes.
#pragma once

#include <string>

namespace v7 {

bool utf16_to_utf8(const char16_t *text, std::string *out);
bool utf8_to_utf16(const char *text, std::u16string *out);

}  // namespace v7
