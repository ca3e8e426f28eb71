// Texts of the HTML vector files: UTF-8 in the file, with escapes for what a quoted vector text
// cannot hold: \n \r \t \\ \0, \xHH and \uHHHH (one UTF-16 unit, so a lone surrogate can be
// written). A double quote is \x22.
#pragma once

#include <string>

#include "tests/harness/vectors.h"

namespace v7test {

std::u16string DecodeHtmlVectorText(const Bytes &utf8);
inline std::u16string HtmlText(const VectorCase &c, const std::string &key) { return DecodeHtmlVectorText(c.bytes(key)); }
// A UTF-16 text as the vector files write it, for failure messages and comparisons.
std::string EncodeHtmlVectorText(const std::u16string &text);

}  // namespace v7test
