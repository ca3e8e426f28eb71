#include "htmltip/win32/pptooltip.h"

#include "htmltip/system_colors_win32.h"
#include "htmltip/tooltip_links.h"
#include "htmltip/win32/gdi_canvas.h"
#include "platform/classlib/app.h"
#include "v7config/deployment.h"

namespace v7::htmltip::win32 {
namespace {

std::u16string U16(const std::wstring &text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

CPPToolTip::CPPToolTip()
    : renewalPage(u"" V7_CERT_RENEWAL_PAGE),
      phoneSignSite(u"" V7_PHONE_SIGN_SITE),
      phoneUsbKeySite(u"" V7_PHONE_USBKEY_SITE),
      loadPairText([](UINT id) { return U16(classlib::LoadPairText(id)); }),
      drawer_(HtmlGeneration::kFirst, HtmlWindowsSystemColor) {
  // This generation's dialect has no string tag; its drawer still answers GetResourceTipText.
  drawer_.loadString = [this](int id) { return LoadTipString(id); };
}

CPPToolTip::~CPPToolTip() {
  if (m_hWnd != nullptr) DestroyWindow();
}

BOOL CPPToolTip::Create(HWND owner, BOOL windowBackground) {
  if (!CreatePopup(owner)) return FALSE;
  corner_ = SIZE{0, 0};
  marginLeft_ = marginTop_ = 10;
  if (windowBackground) {
    corner_ = SIZE{12, 10};
    marginLeft_ = marginTop_ = 7;
    backgroundColor_ = ::GetSysColor(COLOR_WINDOW);
  }
  return TRUE;
}

void CPPToolTip::ShowTip(const wchar_t *query, POINT anchor, const std::u16string &html) {
  query_ = query != nullptr ? U16(query) : std::u16string();
  // Only a tip that has a query opens the renewal page; the others have nothing to open.
  linkMode_ = query_.empty() ? kNoLink : kLinkTip;
  ShowRecord(html, anchor, 0);
}

void CPPToolTip::ShowRecord(const std::u16string &html, POINT anchor, UINT extraFlags) {
  if (state_ == 1) {
    ::KillTimer(m_hWnd, 257);
    state_ = 0;
  }
  html_ = html;
  anchor_ = anchor;
  ::KillTimer(m_hWnd, 256);
  state_ = 1;
  LayOut(extraFlags);
}

void CPPToolTip::LayOut(UINT extraFlags) {
  hot_ = false;
  if (m_hWnd == nullptr) return;
  if (html_.empty()) {
    ::ShowWindow(m_hWnd, SW_HIDE);
    return;
  }
  HtmlSize size;
  {
    MemoryDc dc(nullptr);
    if (!dc) return;
    HtmlGdiCanvas canvas(dc.get(), &manager_, resources());
    if (drawer_.MeasureHtml(canvas, html_, &size) != 0) return;
  }
  textRect_ = RECT{marginLeft_, marginTop_, marginLeft_ + size.cx, marginTop_ + size.cy};
  const int width = size.cx + 2 * marginLeft_, height = size.cy + 2 * marginTop_;
  ReleaseShape();
  region_.reset(::CreateRoundRectRgn(0, 0, width + 1, height + 1, corner_.cx, corner_.cy));
  background_.reset(CreateSurface(width, height));
  bool ok = region_ && background_;
  if (ok) {
    MemoryDc dc(nullptr);
    Selection selected(dc.get(), background_.get());
    GdiObject<HBRUSH> brush(::CreateSolidBrush(backgroundColor_));
    const RECT all{0, 0, width, height};
    ok = selected.ok() && brush && ::FillRect(dc.get(), &all, brush.get());
  }
  if (!ok) {
    ReleaseShape();
    return;
  }
  ApplyShapeAndShow(RECT{anchor_.x, anchor_.y, anchor_.x + width, anchor_.y + height}, region_.get(), extraFlags);
}

void CPPToolTip::Hide() {
  state_ = 0;
  linkMode_ = kNoLink;
  hot_ = false;
  if (m_hWnd == nullptr) return;
  ::KillTimer(m_hWnd, 256);
  ::KillTimer(m_hWnd, 257);
  if (::IsWindowVisible(m_hWnd)) ::ShowWindow(m_hWnd, SW_HIDE);
}

BOOL CPPToolTip::DestroyWindow() {
  if (m_hWnd == nullptr) return FALSE;
  Hide();
  HWND hwnd = UnsubclassWindow();
  ReleaseShape();
  return ::DestroyWindow(hwnd);
}

bool CPPToolTip::UnderCursor() const {
  POINT cursor{};
  return ::IsWindowVisible(m_hWnd) && ::GetCursorPos(&cursor) && ::WindowFromPoint(cursor) == m_hWnd;
}

HtmlRect CPPToolTip::HotRect() const {
  // The lines are those of the text drawn into textRect_ by the paint, so the area is where the
  // link is on screen whatever fonts it was laid out with.
  if (linkMode_ != kLinkTip) return HtmlRect{};
  return drawer_.LineBox(FirstTooltipLinkLine(drawer_.lines()),
                         HtmlRect{textRect_.left, textRect_.top, textRect_.right, textRect_.bottom});
}

void CPPToolTip::ShowMenuItemTips(HMENU menu, UINT itemId, UINT flags) {
  if (flags == 0xFFFF || (flags & MF_POPUP) || (flags & MF_SEPARATOR)) {
    // The menu closed over the tip: the click was meant for the service it describes.
    if (linkMode_ == kMenuTip && UnderCursor()) OpenWebPage(service_ == 1 ? phoneSignSite : phoneUsbKeySite);
    Hide();
    return;
  }
  if (itemId == 0 || menu == nullptr) return;
  HWND menuWindow = ::FindWindowW(L"#32768", nullptr);
  RECT menuRect{};
  if (menuWindow == nullptr || !::GetWindowRect(menuWindow, &menuRect)) {
    Hide();
    return;
  }
  int y = menuRect.top + ::GetSystemMetrics(SM_CYEDGE) + 1;
  int width = 0;
  bool found = false;
  const int count = ::GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    RECT item{};
    if (!::GetMenuItemRect(nullptr, menu, UINT(i), &item)) break;
    if (::GetMenuItemID(menu, i) == itemId) {
      width = item.right - item.left;
      found = true;
      break;
    }
    y += item.bottom - item.top;
  }
  if (!found || (::GetMenuState(menu, itemId, MF_BYCOMMAND) & MF_DISABLED)) {
    Hide();
    return;
  }
  UINT pair;
  if (itemId == kPhoneSignMenuItem) {
    pair = 13;
    service_ = 1;
  } else if (itemId == kPhoneUsbKeyMenuItem) {
    pair = 17;
    service_ = 0;
  } else {
    Hide();
    return;
  }
  const std::u16string text = loadPairText ? loadPairText(pair) : std::u16string();
  ShowRecord(text, POINT{menuRect.left + width + 10, y}, SWP_NOZORDER);
  linkMode_ = kMenuTip;
}

bool CPPToolTip::PaintTo(HDC dc) {
  const int width = windowRect_.right - windowRect_.left, height = windowRect_.bottom - windowRect_.top;
  Dib32 surface;
  if (dc == nullptr || !background_ || !region_ || !surface.Create(dc, width, height)) return false;
  {
    MemoryDc from(dc);
    Selection selected(from.get(), background_.get());
    if (!selected.ok() || !::BitBlt(surface.dc(), 0, 0, width, height, from.get(), 0, 0, SRCCOPY)) return false;
  }
  {
    HtmlGdiCanvas canvas(surface.dc(), &manager_, resources());
    drawer_.DrawHtml(canvas, HtmlRect{textRect_.left, textRect_.top, textRect_.right, textRect_.bottom});
  }
  FrameRegion(surface.dc());
  const int saved = ::SaveDC(dc);
  ::SelectClipRgn(dc, region_.get());
  ::BitBlt(dc, 0, 0, width, height, surface.dc(), 0, 0, SRCCOPY);
  if (saved > 0) ::RestoreDC(dc, saved);
  return true;
}

bool CPPToolTip::Dispatch(UINT message, WPARAM wparam, LPARAM lparam, LRESULT *result) {
  switch (message) {
    case WM_PAINT: {
      PaintScope paint(m_hWnd);
      if (paint.dc() != nullptr) PaintTo(paint.dc());
      *result = 0;
      return true;
    }
    case WM_ERASEBKGND:
      *result = 1;
      return true;
    case WM_MOUSEACTIVATE:
      *result = MA_NOACTIVATE;
      return true;
    case WM_TIMER:
      if (wparam == 256) {
        state_ = 1;
        LayOut(0);
      } else if (wparam == 257) {
        Hide();
      } else {
        return false;
      }
      *result = 0;
      return true;
    case WM_DESTROY:
      Hide();
      return false;
    case WM_LBUTTONDOWN: {
      const HtmlPoint p{short(LOWORD(lparam)), short(HIWORD(lparam))};
      if (PixelInside(HotRect(), p)) OpenWebPage(AppendQuery(renewalPage, query_));
      return false;
    }
    case WM_MOUSEMOVE: {
      const HtmlPoint p{short(LOWORD(lparam)), short(HIWORD(lparam))};
      // The hand shows exactly where a click opens the page.
      hot_ = PixelInside(HotRect(), p);
      ::SendMessageW(m_hWnd, WM_SETCURSOR, WPARAM(m_hWnd), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      return false;
    }
    case WM_SETCURSOR:
      if (!hot_) return false;
      {
        HCURSOR cursor = ::LoadCursorW(resources(), MAKEINTRESOURCEW(kHotCursorResource));
        ::SetCursor(cursor != nullptr ? cursor : ::LoadCursor(nullptr, IDC_HAND));
      }
      *result = TRUE;
      return true;
    default:
      return false;
  }
}

}  // namespace v7::htmltip::win32
