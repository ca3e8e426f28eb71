// Web pages opened in a browser window of their own, behind one seam, so that unattended tests can
// answer in place of the browser. Every page of the library and of its tooltips goes through here,
// never through the shell or a command line.
#pragma once

namespace v7 {

// Opens `address`, an http or https address its caller has already checked and percent-encoded:
// 0 when it was handed to the opener, else a code. Any other text (null, empty, another scheme,
// a blank, a quote, a control or a non-ASCII character left in it) is refused with kErrInvalidParameter and
// never reaches the opener.
int open_web_page_address(const char16_t *address);

// The page opener: shows the address; 0 or a code. The built-in one drives Internet Explorer
// through COM in a 450 by 400 window without bars, topmost. Test code may swap it; null restores
// the built-in one. Never set from outside input.
using WebPageOpener = int (*)(const char16_t *address);
void set_web_page_opener(WebPageOpener opener);

// The built-in opener.
int open_in_internet_explorer(const char16_t *address);

}  // namespace v7
