// The web addresses the first-generation tooltip opens: a page with a query text appended. The
// query comes from a certificate on disk, so it is percent-encoded whole (every byte outside the
// unreserved characters): nothing in it can add a parameter or leave the query.
#pragma once

#include <string>
#include <string_view>

namespace v7::htmltip {

// `page` followed by the query as UTF-8, every byte outside the unreserved characters
// (letters, digits, "-", ".", "_", "~") written as %XX. A lone surrogate becomes U+FFFD.
std::u16string AppendQuery(std::u16string_view page, std::u16string_view query);

}  // namespace v7::htmltip
