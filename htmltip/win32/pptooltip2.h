// The second-generation tooltip: an HTML balloon with an anchor pointing at its target, shown and
// hidden by the timer steps of tooltip_timers.h, optionally fading and casting a shadow.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "htmltip/html_drawer.h"
#include "htmltip/tooltip_timers.h"
#include "htmltip/win32/draw_manager.h"
#include "htmltip/win32/hand_cursor.h"
#include "htmltip/win32/tooltip_window.h"

namespace v7::htmltip::win32 {

// Which fields of a tip its caller set; the others take the tooltip's defaults at layout.
enum : unsigned {
  kTipSetReserved = 0x1,
  kTipSetEffect = 0x2,
  kTipSetColors = 0x4,
  kTipSetAnchorStyle = 0x8,
  kTipSetBehaviour = 0x10,
  kTipSetTransparency = 0x20,
};

struct TooltipToolRecord {
  HWND target = nullptr;
  RECT hotRect{};  // in the target's client coordinates; empty: the whole window
  std::u16string html;
  unsigned setMask = 0;
  unsigned reserved = 0;
  int anchorStyle = kDefaultAnchorStyle;
  int effect = 0;
  int behaviour = 0;
  int granularity = 0;
  int transparency = 0;  // percent, 0 opaque
  COLORREF beginColor = 0, midColor = 0, endColor = 0;
};

// The drawer's redraw request to its tooltip.
constexpr UINT kTooltipRedrawMessage = 0x465;
// Tips the tool map holds at most, over all its windows, and tool-bar windows listed at most.
constexpr size_t kMaxTooltipTools = 1024;
constexpr size_t kMaxTooltipToolBars = 64;

class CPPToolTip2 : public TooltipWindow, private TooltipTimerHost {
 public:
  CPPToolTip2();
  ~CPPToolTip2() override;

  BOOL Create(HWND owner);
  // Shows `html` at once beside `anchor` (screen coordinates) until it is hidden.
  void ShowHelpTip(POINT anchor, const std::u16string &html);
  void OnTimer(UINT_PTR id);
  void Hide();
  BOOL DestroyWindow();

  // A tip of a window (its hot rectangle in the window's client coordinates, empty: the whole
  // window), shown after the initial delay when the mouse rests there. The owner relays its
  // messages through PreTranslateMessage. False for a record without a target or a full map.
  bool AddTool(const TooltipToolRecord &record);
  void RemoveTools(HWND target);
  // A tool-bar window whose buttons show tips: the tip line of the string resource of the
  // button's command id (GetResourceTipText), looked up before the tool map. False for no window
  // or a full list; a window listed already stays listed once.
  bool AddToolBar(HWND toolBar);
  void RemoveToolBar(HWND toolBar);
  // The owner's relay: mouse moves over its windows find their tips.
  BOOL PreTranslateMessage(MSG *msg) override;

  // Paints the tip at transparency t (0 opaque, at most 100) onto `dc`, which holds what lies under
  // the window, in window coordinates: the shadow darkens it and the tip is blended onto it,
  // clipped to the balloon. False, with nothing drawn, when GDI refuses a bitmap or a DC.
  bool PaintTo(HDC dc, int transparency);

  TooltipState state() const { return machine_.state(); }
  int transparency() const { return machine_.transparency(); }
  const BalloonPlacement &placement() const { return placement_; }
  // The tip laid out last, its defaults filled in.
  const TooltipToolRecord &shownTool() const { return shown_; }
  HtmlDrawer &drawer() { return drawer_; }

  // Settings, as constructed: the timings of the timer steps, the defaults of unset tip fields,
  // the balloon's geometry and the shadow (offsets 0: none).
  TooltipTimings &timings() { return machine_.timings; }
  TooltipToolRecord defaults;
  BalloonGeometry geometry;
  int shadowOffsetX = 0, shadowOffsetY = 0;
  int shadowDarkness = 50;  // percent
  bool shadowSoft = true;
  int shadowBlurX = 7, shadowBlurY = 7;
  bool redrawEnabled = true;
  // Links follow the drawer's seams (drawer().openLink, drawer().linkMessage); a web link goes to
  // the page-opening seam unless the owner sets another. The string tags and the tool-bar tips
  // read the strings of the resource module in the process language (drawer().loadString).

 private:
  bool Dispatch(UINT message, WPARAM wparam, LPARAM lparam, LRESULT *result) override;
  void PaintWindow(HDC windowDc, int transparency);
  void OnLeftButtonDown();
  void OnRelayMouseMove();
  const TooltipToolRecord *FindTool(HWND window, POINT screen) const;
  bool FindToolBarButton(HWND window, POINT screen, TooltipToolRecord *button) const;

  // The host of the timer steps.
  void StartTimer(int id, int periodMs) override;
  void StopTimer(int id) override;
  HtmlPoint CursorPosition() override;
  void LayOutTip() override;
  void Repaint(int transparency) override;
  void HideWindow() override;
  bool WindowVisible() override;
  void ForgetTarget() override;
  bool AdvanceAnimations() override;

  HtmlDrawer drawer_;
  CPPDrawManager2 manager_;
  HtmlHandCursor hand_;
  TooltipTimerMachine machine_;
  TooltipToolRecord current_;  // the record asked for last
  TooltipToolRecord shown_;    // the record on screen, its defaults filled in
  HWND target_ = nullptr;
  BalloonPlacement placement_;
  GdiObject<HBITMAP> backdrop_;
  std::map<HWND, std::vector<TooltipToolRecord>> tools_;
  size_t toolCount_ = 0;
  std::vector<HWND> toolBars_;
};

}  // namespace v7::htmltip::win32
