#include "platform/ui/web_page.h"

#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>

#include <atomic>

#include "platform/errors/error_codes.h"

namespace v7 {
namespace {

std::atomic<WebPageOpener> g_opener{nullptr};

// The client area the pages are laid out for.
const int kPageWidth = 450;
const int kPageHeight = 400;

bool starts_with_nocase(const char16_t *text, const char *prefix) {
  for (; *prefix != 0; ++text, ++prefix) {
    char16_t c = *text;
    if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
    if (c != char16_t(*prefix)) return false;
  }
  return true;
}

// What every caller's checks leave: a web scheme, a host, and only printable ASCII without blanks
// or quotes (the rest percent-encoded), so nothing can end the address wherever it is handed on.
bool web_address(const char16_t *address) {
  if (address == nullptr) return false;
  const char16_t *host = starts_with_nocase(address, "https://") ? address + 8
                         : starts_with_nocase(address, "http://") ? address + 7
                                                                  : nullptr;
  if (host == nullptr || *host == 0 || *host == u'/' || *host == u'?' || *host == u'#') return false;
  for (const char16_t *p = address; *p != 0; ++p) {
    if (*p <= 0x20 || *p >= 0x7F || *p == u'"') return false;
  }
  return true;
}

}  // namespace

void set_web_page_opener(WebPageOpener opener) { g_opener.store(opener); }

int open_web_page_address(const char16_t *address) {
  if (!web_address(address)) return kErrInvalidParameter;
  WebPageOpener opener = g_opener.load();
  return opener != nullptr ? opener(address) : open_in_internet_explorer(address);
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

}  // namespace v7
