#include "htmltip/win32/pptooltip2.h"

#include <commctrl.h>

#include <algorithm>

#include "htmltip/system_colors_win32.h"
#include "htmltip/win32/gdi_canvas.h"
#include "platform/ui/web_page.h"

namespace v7::htmltip::win32 {
namespace {

// Copies a kept bitmap onto a DC; false when it cannot be selected.
bool CopyBitmap(HDC to, HBITMAP bitmap, int width, int height) {
  MemoryDc from(to);
  Selection selected(from.get(), bitmap);
  return selected.ok() && ::BitBlt(to, 0, 0, width, height, from.get(), 0, 0, SRCCOPY);
}

}  // namespace

CPPToolTip2::CPPToolTip2() : drawer_(HtmlGeneration::kSecond, HtmlWindowsSystemColor), machine_(this) {
  defaults.beginColor = defaults.midColor = defaults.endColor = ::GetSysColor(COLOR_INFOBK);
  // The drawer hands over only checked, encoded web addresses.
  drawer_.openLink = [](const std::u16string &address) { return open_web_page_address(address.c_str()); };
  drawer_.loadString = [this](int id) { return LoadTipString(id); };
  // A change of the hot link repaints the tip through its own redraw message.
  drawer_.redrawRequest = [this](int hotLink) {
    if (m_hWnd != nullptr) ::SendMessageW(m_hWnd, kTooltipRedrawMessage, WPARAM(hotLink), 0);
  };
}

CPPToolTip2::~CPPToolTip2() {
  if (m_hWnd != nullptr) DestroyWindow();
}

BOOL CPPToolTip2::Create(HWND owner) {
  if (!CreatePopup(owner)) return FALSE;
  ::KillTimer(m_hWnd, kTooltipTimerAnimate);
  ::SetTimer(m_hWnd, kTooltipTimerAnimate, kTooltipAnimatePeriodMs, nullptr);
  return TRUE;
}

void CPPToolTip2::ShowHelpTip(POINT anchor, const std::u16string &html) {
  TooltipToolRecord record;
  record.html = html;
  record.setMask = kTipSetBehaviour;
  record.behaviour = defaults.behaviour | kTipNoAutoHide;
  current_ = std::move(record);
  target_ = nullptr;
  machine_.ShowHelpTip(HtmlPoint{anchor.x, anchor.y}, current_.behaviour);
}

void CPPToolTip2::OnTimer(UINT_PTR id) { machine_.OnTimer(int(id)); }

void CPPToolTip2::Hide() { machine_.Hide(); }

BOOL CPPToolTip2::DestroyWindow() {
  if (m_hWnd == nullptr) return FALSE;
  Hide();
  ::KillTimer(m_hWnd, kTooltipTimerAnimate);
  HWND hwnd = UnsubclassWindow();
  ReleaseShape();
  backdrop_.reset();
  tools_.clear();
  toolCount_ = 0;
  toolBars_.clear();
  return ::DestroyWindow(hwnd);
}

// ---- the tool map

bool CPPToolTip2::AddTool(const TooltipToolRecord &record) {
  if (record.target == nullptr || toolCount_ >= kMaxTooltipTools) return false;
  tools_[record.target].push_back(record);
  ++toolCount_;
  return true;
}

void CPPToolTip2::RemoveTools(HWND target) {
  const auto found = tools_.find(target);
  if (found == tools_.end()) return;
  toolCount_ -= found->second.size();
  tools_.erase(found);
  if (target_ == target) target_ = nullptr;
}

bool CPPToolTip2::AddToolBar(HWND toolBar) {
  if (toolBar == nullptr) return false;
  if (std::find(toolBars_.begin(), toolBars_.end(), toolBar) != toolBars_.end()) return true;
  if (toolBars_.size() >= kMaxTooltipToolBars) return false;
  toolBars_.push_back(toolBar);
  return true;
}

void CPPToolTip2::RemoveToolBar(HWND toolBar) {
  toolBars_.erase(std::remove(toolBars_.begin(), toolBars_.end(), toolBar), toolBars_.end());
  if (target_ == toolBar) target_ = nullptr;
}

bool CPPToolTip2::FindToolBarButton(HWND window, POINT screen, TooltipToolRecord *button) const {
  if (window == nullptr || std::find(toolBars_.begin(), toolBars_.end(), window) == toolBars_.end()) return false;
  POINT p = screen;
  ::ScreenToClient(window, &p);
  // A negative answer is a separator or the space between buttons.
  const int index = int(::SendMessageW(window, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&p)));
  TBBUTTON pressed{};
  RECT rect{};
  if (index < 0 || !::SendMessageW(window, TB_GETBUTTON, WPARAM(index), reinterpret_cast<LPARAM>(&pressed)) ||
      (pressed.fsStyle & BTNS_SEP) ||
      !::SendMessageW(window, TB_GETITEMRECT, WPARAM(index), reinterpret_cast<LPARAM>(&rect)))
    return false;
  std::u16string text = drawer_.GetResourceTipText(pressed.idCommand);
  if (text.empty()) return false;
  *button = TooltipToolRecord{};
  button->target = window;
  button->hotRect = rect;  // each button is a tip of its own
  button->html = std::move(text);
  return true;
}

const TooltipToolRecord *CPPToolTip2::FindTool(HWND window, POINT screen) const {
  if (window == nullptr || !::IsWindowEnabled(window)) return nullptr;
  const auto found = tools_.find(window);
  if (found == tools_.end() || found->second.empty()) return nullptr;
  const std::vector<TooltipToolRecord> &records = found->second;
  if (records.size() == 1 && ::IsRectEmpty(&records[0].hotRect)) return &records[0];
  POINT p = screen;
  ::ScreenToClient(window, &p);
  // A scrolled view's rectangles are in the coordinates of what it scrolls.
  p.x += ::GetScrollPos(window, SB_HORZ);
  p.y += ::GetScrollPos(window, SB_VERT);
  for (const TooltipToolRecord &record : records)
    if (::PtInRect(&record.hotRect, p)) return &record;
  return nullptr;
}

BOOL CPPToolTip2::PreTranslateMessage(MSG *msg) {
  if (msg != nullptr && msg->message == WM_MOUSEMOVE && m_hWnd != nullptr) {
    try {
      OnRelayMouseMove();
    } catch (...) {
      // A tip that cannot be shown leaves the owner's loop running.
    }
  }
  return FALSE;
}

void CPPToolTip2::OnRelayMouseMove() {
  POINT cursor{};
  if (machine_.helpMode() || !::GetCursorPos(&cursor)) return;
  const HtmlPoint point{cursor.x, cursor.y};
  const HtmlPoint last = machine_.lastPosition();
  if (point == last) return;
  machine_.SetLastPosition(point);

  HWND window = ::WindowFromPoint(cursor);
  const bool overTip = window == m_hWnd && WindowVisible();
  if (overTip && !(shown_.behaviour & kTipFollowMouse)) {
    if (shown_.behaviour & kTipKeepOverTip) {
      machine_.RestartAutopop();
    } else {
      machine_.StartHiding();
    }
    return;
  }
  // A button of a listed tool-bar first, then the tool map.
  TooltipToolRecord button;
  const TooltipToolRecord *tool = nullptr;
  if (overTip) {
    tool = &shown_;
  } else if (FindToolBarButton(window, cursor, &button)) {
    tool = &button;
  } else {
    // The edit of a drop-down combo box stands for the combo box.
    wchar_t name[16] = {}, parentName[16] = {};
    if (window != nullptr && ::GetClassNameW(window, name, 16) && ::lstrcmpiW(name, L"Edit") == 0) {
      HWND parent = ::GetParent(window);
      if (parent != nullptr && ::GetClassNameW(parent, parentName, 16) && ::lstrcmpiW(parentName, L"ComboBox") == 0)
        window = parent;
    }
    tool = FindTool(window, cursor);
  }
  if (tool == nullptr) {
    target_ = nullptr;
    StopTimer(kTooltipTimerShow);
    machine_.StartHiding();
    return;
  }
  // The remembered target: a tip without kTipShowAgain stays away until the mouse leaves it.
  if (tool->target == target_ && ::EqualRect(&tool->hotRect, &shown_.hotRect)) {
    if (shown_.behaviour & kTipFollowMouse) {
      machine_.RestartAutopop();
      windowRect_ = RECT{windowRect_.left + point.x - last.x, windowRect_.top + point.y - last.y,
                         windowRect_.right + point.x - last.x, windowRect_.bottom + point.y - last.y};
      ::SetWindowPos(m_hWnd, nullptr, windowRect_.left, windowRect_.top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (shown_.behaviour & kTipKeepOnTarget) {
      machine_.RestartAutopop();
    } else if (!(shown_.behaviour & kTipShowAgain)) {
      machine_.StartHiding();
    }
    return;
  }
  current_ = *tool;
  target_ = tool->target;
  machine_.ShowAfterDelay();
}

// ---- the timer steps' host

void CPPToolTip2::StartTimer(int id, int periodMs) {
  if (m_hWnd != nullptr) ::SetTimer(m_hWnd, UINT_PTR(id), UINT(std::max(periodMs, 1)), nullptr);
}

void CPPToolTip2::StopTimer(int id) {
  if (m_hWnd != nullptr) ::KillTimer(m_hWnd, UINT_PTR(id));
}

HtmlPoint CPPToolTip2::CursorPosition() {
  POINT p{};
  ::GetCursorPos(&p);
  return HtmlPoint{p.x, p.y};
}

void CPPToolTip2::LayOutTip() {
  TooltipToolRecord tip = current_;
  const unsigned set = tip.setMask;
  if (!(set & kTipSetReserved)) tip.reserved = defaults.reserved;
  if (!(set & kTipSetEffect)) {
    tip.effect = defaults.effect;
    tip.granularity = defaults.granularity;
  }
  if (!(set & kTipSetColors)) {
    tip.beginColor = defaults.beginColor;
    tip.midColor = defaults.midColor;
    tip.endColor = defaults.endColor;
  }
  if (!(set & kTipSetAnchorStyle)) tip.anchorStyle = defaults.anchorStyle;
  if (!(set & kTipSetBehaviour)) tip.behaviour = defaults.behaviour;
  if (!(set & kTipSetTransparency)) tip.transparency = defaults.transparency;
  shown_ = std::move(tip);
  machine_.BeginLayout(shown_.behaviour, shown_.transparency);
  target_ = shown_.target;
  if (shown_.html.empty() || m_hWnd == nullptr) return;

  HtmlSize size;
  {
    MemoryDc dc(nullptr);
    if (!dc) return;
    HtmlGdiCanvas canvas(dc.get(), &manager_, resources());
    if (drawer_.MeasureHtml(canvas, shown_.html, &size) != 0) return;
  }
  const HtmlPoint at = machine_.lastPosition();
  placement_ = PlaceBalloon(at, size, shown_.anchorStyle, TooltipScreenArea(POINT{at.x, at.y}), geometry);

  ReleaseShape();
  backdrop_.reset();
  const HtmlRect &body = placement_.body;
  region_.reset(::CreateRoundRectRgn(body.left, body.top, body.right, body.bottom, geometry.cornerWidth,
                                     geometry.cornerHeight));
  HtmlPoint corners[3];
  if (region_ && BalloonAnchorTriangle(placement_, geometry, corners)) {
    POINT points[3];
    for (int i = 0; i < 3; ++i) points[i] = POINT{corners[i].x, corners[i].y};
    GdiObject<HRGN> triangle(::CreatePolygonRgn(points, 3, WINDING));
    if (!triangle || ::CombineRgn(region_.get(), region_.get(), triangle.get(), RGN_OR) == ERROR) region_.reset();
  }
  // A shadow widens the window by its offsets, and the window's shape by a moved copy.
  const int dx = std::max(shadowOffsetX, 0), dy = std::max(shadowOffsetY, 0);
  const bool shadow = shadowOffsetX != 0 || shadowOffsetY != 0;
  RECT bounds{placement_.window.left, placement_.window.top, placement_.window.right + dx,
              placement_.window.bottom + dy};
  const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
  GdiObject<HRGN> shape(::CreateRectRgn(0, 0, 0, 0));
  background_.reset(CreateSurface(width, height));
  bool ok = region_ && shape && background_ && ::CombineRgn(shape.get(), region_.get(), nullptr, RGN_COPY) != ERROR;
  if (ok && shadow) {
    GdiObject<HRGN> moved(::CreateRectRgn(0, 0, 0, 0));
    ok = moved && ::CombineRgn(moved.get(), region_.get(), nullptr, RGN_COPY) != ERROR &&
         ::OffsetRgn(moved.get(), shadowOffsetX, shadowOffsetY) != ERROR &&
         ::CombineRgn(shape.get(), shape.get(), moved.get(), RGN_OR) != ERROR;
  }
  if (ok) {
    MemoryDc dc(nullptr);
    Selection selected(dc.get(), background_.get());
    ok = selected.ok();
    if (ok)
      manager_.FillEffect(dc.get(), placement_.content, shown_.effect, shown_.beginColor, shown_.midColor,
                          shown_.endColor, shown_.granularity, 0);
  }
  if (!ok) {
    ReleaseShape();
    return;
  }
  // What lies under the window, taken from the screen before the window covers it: a window's own
  // surface shows nothing of it where the system composes windows.
  backdrop_.reset(CreateSurface(width, height));
  if (backdrop_) {
    HDC screen = ::GetDC(nullptr);
    MemoryDc dc(screen);
    Selection selected(dc.get(), backdrop_.get());
    if (screen == nullptr || !selected.ok() ||
        !::BitBlt(dc.get(), 0, 0, width, height, screen, bounds.left, bounds.top, SRCCOPY))
      backdrop_.reset();
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
  }
  ApplyShapeAndShow(bounds, shape.get(), 0);
}

void CPPToolTip2::Repaint(int transparency) {
  WindowDc dc(m_hWnd);
  if (dc.dc() != nullptr) PaintWindow(dc.dc(), transparency);
}

void CPPToolTip2::HideWindow() {
  if (m_hWnd != nullptr) ::ShowWindow(m_hWnd, SW_HIDE);
}

bool CPPToolTip2::WindowVisible() { return m_hWnd != nullptr && ::IsWindowVisible(m_hWnd); }

void CPPToolTip2::ForgetTarget() { target_ = nullptr; }

bool CPPToolTip2::AdvanceAnimations() { return drawer_.AdvanceAnimations(); }

// ---- painting

void CPPToolTip2::PaintWindow(HDC windowDc, int transparency) {
  const int width = windowRect_.right - windowRect_.left, height = windowRect_.bottom - windowRect_.top;
  Dib32 surface;
  if (!background_ || !surface.Create(windowDc, width, height)) return;
  if (backdrop_ && !CopyBitmap(surface.dc(), backdrop_.get(), width, height)) return;
  if (PaintTo(surface.dc(), transparency)) CopyToWindow(windowDc, surface.dc());
}

bool CPPToolTip2::PaintTo(HDC dc, int transparency) {
  transparency = std::clamp(transparency, 0, 100);
  const int width = windowRect_.right - windowRect_.left, height = windowRect_.bottom - windowRect_.top;
  Dib32 tip;
  if (dc == nullptr || !background_ || !region_ || !tip.Create(dc, width, height)) return false;
  if (!CopyBitmap(tip.dc(), background_.get(), width, height)) return false;
  {
    HtmlGdiCanvas canvas(tip.dc(), &manager_, resources());
    drawer_.DrawHtml(canvas, placement_.text);
  }
  FrameRegion(tip.dc());

  if (shadowOffsetX != 0 || shadowOffsetY != 0) {
    // The shadow's grey fades with the tip: at transparency 100 it is white and darkens nothing.
    const int g = ::MulDiv(255, 100 - std::clamp(shadowDarkness, 0, 100), 100);
    const int level = g + ::MulDiv(255 - g, transparency, 100);
    Dib32 mask;
    GdiObject<HRGN> moved(::CreateRectRgn(0, 0, 0, 0));
    GdiObject<HBRUSH> grey(::CreateSolidBrush(RGB(level, level, level)));
    if (!mask.Create(dc, width, height) || !moved || !grey ||
        ::CombineRgn(moved.get(), region_.get(), nullptr, RGN_COPY) == ERROR)
      return false;
    const RECT all{0, 0, width, height};
    ::FillRect(mask.dc(), &all, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::OffsetRgn(moved.get(), shadowOffsetX, shadowOffsetY);
    ::FillRgn(mask.dc(), moved.get(), grey.get());
    GdiObject<HBITMAP> silhouette(mask.ReleaseBitmap());
    manager_.DrawShadow(dc, 0, 0, width, height, silhouette.get(), shadowSoft, shadowBlurX, shadowBlurY);
  }

  const int saved = ::SaveDC(dc);
  ::SelectClipRgn(dc, region_.get());
  manager_.AlphaBlend(tip.dc(), dc, 0, 0, width, height, 100 - transparency);
  if (saved > 0) ::RestoreDC(dc, saved);
  return true;
}

// ---- messages

void CPPToolTip2::OnLeftButtonDown() {
  POINT cursor{};
  ::GetCursorPos(&cursor);
  if (WindowVisible() && ::WindowFromPoint(cursor) == m_hWnd) {
    const HtmlPoint p = CursorInClient();
    const int link = drawer_.HitTestLink(p.x, p.y);
    if (link >= 0) drawer_.FollowLink(link);
  }
  Hide();
}

bool CPPToolTip2::Dispatch(UINT message, WPARAM wparam, LPARAM, LRESULT *result) {
  switch (message) {
    case WM_PAINT: {
      PaintScope paint(m_hWnd);
      if (paint.dc() != nullptr) PaintWindow(paint.dc(), machine_.transparency());
      *result = 0;
      return true;
    }
    case WM_ERASEBKGND:
      *result = 1;  // the paint covers everything
      return true;
    case WM_TIMER:
      if (wparam < kTooltipTimerShow || wparam > kTooltipTimerAnimate) return false;
      OnTimer(wparam);
      *result = 0;
      return true;
    case WM_SETCURSOR: {
      const HtmlPoint p = CursorInClient();
      if (!drawer_.OnMouseOverLink(p.x, p.y) || !hand_.Show()) ::SetCursor(::LoadCursor(nullptr, IDC_ARROW));
      *result = TRUE;
      return true;
    }
    case WM_MOUSEACTIVATE:
      *result = MA_NOACTIVATE;  // a tip never takes the focus from its owner
      return true;
    case WM_ACTIVATEAPP:
      if (!wparam) Hide();
      return false;
    case kTooltipRedrawMessage:
      if (redrawEnabled) Repaint(0);
      *result = TRUE;
      return true;
    case WM_LBUTTONDOWN:
      OnLeftButtonDown();
      *result = 0;
      return true;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONDBLCLK:
    case WM_NCMBUTTONDOWN:
    case WM_NCMBUTTONDBLCLK:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
    case WM_MOUSEWHEEL:
      Hide();
      return false;
    default:
      return false;
  }
}

}  // namespace v7::htmltip::win32
