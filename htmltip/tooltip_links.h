// The web addresses the tooltips open: a page with a query text appended, and the one argument a
// browser's command line gets. The query comes from a certificate on disk, so it is percent-
// encoded whole and the address is quoted: nothing in it can end the argument or add another.
#pragma once

#include <string>
#include <string_view>

namespace v7::htmltip {

// True for an address that starts with "http://" or "https://" (either case) and holds no control
// character, blank or quote: the only addresses a tooltip opens.
bool IsWebAddress(std::u16string_view address);

// `page` followed by the query as UTF-8, every byte outside the unreserved characters
// (letters, digits, "-", ".", "_", "~") written as %XX. A lone surrogate becomes U+FFFD.
std::u16string AppendQuery(std::u16string_view page, std::u16string_view query);

// The address between double quotes, as one command-line argument; empty when it is not a web
// address.
std::u16string QuotedWebArgument(std::u16string_view address);

}  // namespace v7::htmltip
