#include "wizard/dialogs/web_page.h"

#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>

#include <atomic>
#include <string>

#include "platform/errors/error_codes.h"
#include "wizard/dialogs/dialog_logic.h"

namespace v7 {
namespace dialogs {
namespace {

std::atomic<WebPageOpener> g_opener{nullptr};

// The client area the install pages are laid out for.
const int kPageWidth = 450;
const int kPageHeight = 400;

// Hands an address that has passed its checks to the opener test code set, or to the browser.
int hand_to_opener(const std::u16string &address) {
  WebPageOpener opener = g_opener.load();
  return opener != nullptr ? opener(address.c_str()) : open_in_internet_explorer(address.c_str());
}

}  // namespace

void set_web_page_opener(WebPageOpener opener) { g_opener.store(opener); }

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

int open_in_internet_explorer(const char16_t *address) {
  IWebBrowser2 *browser = nullptr;
  HRESULT hr = ::CoCreateInstance(CLSID_InternetExplorer, nullptr, CLSCTX_LOCAL_SERVER, IID_IWebBrowser2,
                                  reinterpret_cast<void **>(&browser));
  if (FAILED(hr) || browser == nullptr) return kErrInvalidParameter;
  RECT frame = {0, 0, kPageWidth, kPageHeight};
  ::AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  browser->put_ToolBar(FALSE);
  browser->put_StatusBar(VARIANT_FALSE);
  browser->put_AddressBar(VARIANT_FALSE);
  browser->put_MenuBar(VARIANT_FALSE);
  browser->put_Resizable(VARIANT_FALSE);
  browser->put_Width(frame.right - frame.left);
  browser->put_Height(frame.bottom - frame.top);
  browser->put_Visible(VARIANT_TRUE);
  SHANDLE_PTR window = 0;
  if (SUCCEEDED(browser->get_HWND(&window)) && window != 0) {
    ::SetWindowPos(reinterpret_cast<HWND>(window), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  }
  // The page goes into the window just configured; asking for a new window would leave this one
  // blank and open an ordinary browser window beside it.
  BSTR url = ::SysAllocString(reinterpret_cast<const OLECHAR *>(address));
  VARIANT flags, target, empty;
  ::VariantInit(&flags);
  ::VariantInit(&target);
  ::VariantInit(&empty);
  flags.vt = VT_I4;
  flags.lVal = 0;
  target.vt = VT_BSTR;
  target.bstrVal = ::SysAllocString(L"_top");
  hr = url != nullptr ? browser->Navigate(url, &flags, &target, &empty, &empty) : E_OUTOFMEMORY;
  ::VariantClear(&target);
  ::SysFreeString(url);
  browser->Release();
  return SUCCEEDED(hr) ? 0 : int(kErrInvalidParameter);
}

}  // namespace dialogs
}  // namespace v7
