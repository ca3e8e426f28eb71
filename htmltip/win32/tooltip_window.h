// What both tooltip generations share: the "CPPToolTip" window class, the popup created under the
// owner and routed through the class layer's subclassing, a message dispatch no exception leaves,
// the shaped region and the background bitmap, the strings of the texts and the opening of web
// pages.
#pragma once

#include <windows.h>

#include <string>

#include "htmltip/tooltip_geometry.h"
#include "htmltip/win32/gdi_objects.h"
#include "platform/classlib/window.h"

namespace v7::htmltip::win32 {

extern const wchar_t kTooltipClassName[];

// Registers the class in `instance` unless it is there already (whichever generation comes first
// registers it); false when it is neither found nor registered.
bool EnsureTooltipClass(HINSTANCE instance);

// Where a balloon pointing at `point` must stay: the work area of the monitor nearest the point
// (no balloon hides under a task bar or straddles two monitors), or the virtual screen when the
// system cannot say.
HtmlRect TooltipScreenArea(POINT point);

class TooltipWindow : public classlib::CWnd {
 public:
  TooltipWindow();
  ~TooltipWindow() override;
  TooltipWindow(const TooltipWindow &) = delete;
  TooltipWindow &operator=(const TooltipWindow &) = delete;

  // The module whose resources the texts name (images, cursors, strings); null: the class
  // layer's resource instance.
  void SetResourceModule(HMODULE module) { resources_ = module; }
  HMODULE resources() const;
  // The string `id` of the resource module in the process language: id N in Korean, N + 1 in
  // English; empty when there is none. The drawers' string tags and tip texts read it.
  std::u16string LoadTipString(int id) const;

  // The bounds of the current layout in screen coordinates, and its shape in window coordinates
  // (owned by the tooltip; null before a layout).
  const RECT &windowRect() const { return windowRect_; }
  HRGN region() const { return region_.get(); }

  // Every message of the window passes here; a handler that throws leaves the message handled
  // with a result of 0, so nothing unwinds through the system's window procedure.
  bool ProcessWindowMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT &result) final;

 protected:
  // The popup: WS_EX_TOOLWINDOW, WS_POPUP, empty title, no size, under `owner`. False when the class
  // cannot be registered or the window not made.
  bool CreatePopup(HWND owner);
  // The message map of a generation: true when handled, with its result.
  virtual bool Dispatch(UINT message, WPARAM wparam, LPARAM lparam, LRESULT *result) = 0;

  // The DC of a WM_PAINT, ended however the paint leaves: a paint that never ends would leave
  // the window invalid and bring the message back without end.
  class PaintScope {
   public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &ps_)) {}
    PaintScope(const PaintScope &) = delete;
    PaintScope &operator=(const PaintScope &) = delete;
    ~PaintScope() { ::EndPaint(hwnd_, &ps_); }
    HDC dc() const { return dc_; }

   private:
    HWND hwnd_;
    PAINTSTRUCT ps_{};
    HDC dc_;
  };
  // The window's DC outside WM_PAINT, released on every path.
  class WindowDc {
   public:
    explicit WindowDc(HWND hwnd) : hwnd_(hwnd), dc_(hwnd != nullptr ? ::GetDC(hwnd) : nullptr) {}
    WindowDc(const WindowDc &) = delete;
    WindowDc &operator=(const WindowDc &) = delete;
    ~WindowDc() {
      if (dc_ != nullptr) ::ReleaseDC(hwnd_, dc_);
    }
    HDC dc() const { return dc_; }

   private:
    HWND hwnd_;
    HDC dc_;
  };

  // A window-sized 32-bit bitmap (null when GDI refuses), and the one kept for painting.
  static HBITMAP CreateSurface(int width, int height);
  // Gives the window a copy of `shape` (the window owns what it is given) and shows it at
  // `bounds` without activating it.
  bool ApplyShapeAndShow(const RECT &bounds, HRGN shape, UINT extraFlags);
  // Copies `surface` onto the window DC (clipped to the region by the window itself).
  void CopyToWindow(HDC windowDc, HDC surface) const;
  // Frames the region with the border brush.
  void FrameRegion(HDC dc) const;
  // Opens `address` through the page-opening seam once it is checked and percent-encoded as an
  // http or https address: 0, or a code (kErrHtmlLinkAddress for any other text).
  static int OpenWebPage(const std::u16string &address);
  // GetCursorPos in client coordinates of this window.
  HtmlPoint CursorInClient() const;
  // Frees the region and the background.
  void ReleaseShape();

  HMODULE resources_ = nullptr;
  GdiObject<HRGN> region_;
  GdiObject<HBITMAP> background_;
  GdiObject<HBRUSH> border_;
  int frameWidth_ = 1;
  int frameHeight_ = 1;
  RECT windowRect_{};
};

}  // namespace v7::htmltip::win32
