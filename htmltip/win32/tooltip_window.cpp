#include "htmltip/win32/tooltip_window.h"

#include <cstdint>

#include "htmltip/html_drawer.h"
#include "platform/classlib/app.h"
#include "platform/locale/process_words.h"
#include "platform/ui/web_page.h"

namespace v7::htmltip::win32 {

const wchar_t kTooltipClassName[] = L"CPPToolTip";

namespace {

// The module this code is linked into: the class is registered there, as a DLL's own class.
HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&kTooltipClassName), &module);
  return module;
}

}  // namespace

bool EnsureTooltipClass(HINSTANCE instance) {
  WNDCLASSW existing{};
  if (::GetClassInfoW(instance, kTooltipClassName, &existing)) return true;
  WNDCLASSW wc{};
  wc.style = CS_SAVEBITS;
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kTooltipClassName;
  // Another thread may have registered it between the two calls: that counts as found.
  return ::RegisterClassW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HtmlRect TooltipScreenArea(POINT point) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = ::MonitorFromPoint(point, MONITOR_DEFAULTTONEAREST);
  if (monitor != nullptr && ::GetMonitorInfoW(monitor, &info) && !::IsRectEmpty(&info.rcWork))
    return HtmlRect{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
  const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN), top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
  return HtmlRect{left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                  top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

TooltipWindow::TooltipWindow() : border_(::CreateSolidBrush(::GetSysColor(COLOR_INFOTEXT))) {}

TooltipWindow::~TooltipWindow() {
  // The generations destroy their windows themselves; one still here must not reach a map whose
  // object is half gone.
  if (m_hWnd != nullptr) {
    HWND hwnd = UnsubclassWindow();
    if (hwnd != nullptr) ::DestroyWindow(hwnd);
  }
}

bool TooltipWindow::ProcessWindowMessage(HWND, UINT message, WPARAM wparam, LPARAM lparam, LRESULT &result) {
  try {
    return Dispatch(message, wparam, lparam, &result);
  } catch (...) {
    result = 0;
    return true;
  }
}

HMODULE TooltipWindow::resources() const {
  return resources_ != nullptr ? resources_ : classlib::AfxGetResourceHandle();
}

bool TooltipWindow::CreatePopup(HWND owner) {
  if (m_hWnd != nullptr) return false;
  const HINSTANCE instance = ThisModule();
  if (!EnsureTooltipClass(instance)) return false;
  HWND hwnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, kTooltipClassName, L"", WS_POPUP, 0, 0, 0, 0, owner, nullptr,
                                instance, nullptr);
  if (hwnd == nullptr) return false;
  if (!SubclassWindow(hwnd)) {
    ::DestroyWindow(hwnd);
    return false;
  }
  return true;
}

HBITMAP TooltipWindow::CreateSurface(int width, int height) {
  Dib32 dib;
  return dib.Create(nullptr, width, height) ? dib.ReleaseBitmap() : nullptr;
}

bool TooltipWindow::ApplyShapeAndShow(const RECT &bounds, HRGN shape, UINT extraFlags) {
  if (m_hWnd == nullptr) return false;
  HRGN copy = ::CreateRectRgn(0, 0, 0, 0);
  if (copy == nullptr) return false;
  if (shape == nullptr || ::CombineRgn(copy, shape, nullptr, RGN_COPY) == ERROR ||
      !::SetWindowRgn(m_hWnd, copy, FALSE)) {
    ::DeleteObject(copy);  // the window took nothing
    return false;
  }
  windowRect_ = bounds;
  return ::SetWindowPos(m_hWnd, HWND_TOP, bounds.left, bounds.top, bounds.right - bounds.left,
                        bounds.bottom - bounds.top, SWP_NOACTIVATE | SWP_SHOWWINDOW | extraFlags) != FALSE;
}

void TooltipWindow::CopyToWindow(HDC windowDc, HDC surface) const {
  ::BitBlt(windowDc, 0, 0, windowRect_.right - windowRect_.left, windowRect_.bottom - windowRect_.top, surface, 0, 0,
           SRCCOPY);
}

void TooltipWindow::FrameRegion(HDC dc) const {
  if (border_ && region_) ::FrameRgn(dc, region_.get(), border_.get(), frameWidth_, frameHeight_);
}

int TooltipWindow::OpenWebPage(const std::u16string &address) {
  std::u16string checked;
  const int rc = HtmlDrawer::EncodeLinkAddress(address, &checked);
  return rc != 0 ? rc : open_web_page_address(checked.c_str());
}

std::u16string TooltipWindow::LoadTipString(int id) const {
  // String ids are 16 bits; a tool-bar command may be any number.
  const int64_t which = language_is_korean() ? int64_t(id) : int64_t(id) + 1;
  if (id <= 0 || which > 0xFFFF) return std::u16string();
  const std::wstring text = classlib::LoadText(resources(), UINT(which));
  return std::u16string(text.begin(), text.end());
}

HtmlPoint TooltipWindow::CursorInClient() const {
  POINT p{};
  ::GetCursorPos(&p);
  ::ScreenToClient(m_hWnd, &p);
  return HtmlPoint{p.x, p.y};
}

void TooltipWindow::ReleaseShape() {
  region_.reset();
  background_.reset();
}

}  // namespace v7::htmltip::win32
