#include "wizard/dialogs/web_page.h"

#include <string>

#include "platform/errors/error_codes.h"
#include "wizard/dialogs/dialog_logic.h"

namespace v7 {
namespace dialogs {
namespace {

// Hands an address that has passed its checks to the page opener.
int hand_to_opener(const std::u16string &address) { return open_web_page_address(address.c_str()); }

}  // namespace

int open_web_page(const RelayRequestRecord *request, int kind) {
  const char *page = install_page_for(request, kind);
  if (page == nullptr) return kErrInvalidParameter;
  return open_page_address(page);
}

int open_page_address(const char *page) {
  std::u16string address;
  const int rc = page != nullptr ? page_address(page, &address) : int(kErrInvalidParameter);
  return rc != 0 ? rc : hand_to_opener(address);
}

int open_link(const char *address) {
  std::u16string checked;
  const int rc = link_address(address, &checked);
  return rc != 0 ? rc : hand_to_opener(checked);
}

}  // namespace dialogs
}  // namespace v7
