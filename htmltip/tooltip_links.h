// The web addresses the first-generation tooltip opens: a page with a query text appended, handed
// to a browser as one argument. The query comes from a certificate on disk, so it is percent-
// encoded whole (every byte outside the unreserved characters), and the address is quoted after
// the drawers' own address check: nothing in it can end the argument or add another.
#pragma once

#include <string>
#include <string_view>

namespace v7::htmltip {

// `page` followed by the query as UTF-8, every byte outside the unreserved characters
// (letters, digits, "-", ".", "_", "~") written as %XX. A lone surrogate becomes U+FFFD.
std::u16string AppendQuery(std::u16string_view page, std::u16string_view query);

// The checked address between double quotes, as one command-line argument; empty when it is not
// an http or https address.
std::u16string QuotedWebArgument(std::u16string_view address);

}  // namespace v7::htmltip
