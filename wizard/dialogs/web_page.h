// Opening an outside module's install page in a browser window of its own.
#pragma once

#include "platform/ui/web_page.h"

struct RelayRequestRecord;

namespace v7 {
namespace dialogs {

// Opens the install page the request names for kind (16 phone relay module, 32 USB-key module,
// 512 secure-disk module) through the page opener; any other kind, an empty address or one that
// is not http or https does nothing. 0 when the page was handed to the opener, else a code.
int open_web_page(const RelayRequestRecord *request, int kind);

// Opens an address of the library's own (EUC-KR, http or https) through the page opener, checked
// and encoded as an install page is. 0, or a code.
int open_page_address(const char *address);

// Opens an address taken from a certificate or a link (text in the encoding CharEncodingMode
// names) through the same opener, after the same checks (link_address): only http and https
// reach a browser, never the shell. 0 when it was handed to the opener, else a code.
int open_link(const char *address);

// The page opener and its test seam are the platform's (platform/ui/web_page.h), shared with the
// tooltips' links.
using ::v7::WebPageOpener;
using ::v7::open_in_internet_explorer;
using ::v7::set_web_page_opener;

}  // namespace dialogs
}  // namespace v7
