// The first-generation tooltip: an HTML text in a plain or rounded rectangle whose top-left corner
// sits at its anchor, shown at once and kept until its owner hides it. Two features of its own: a
// hot link line that opens the renewal page with a query (the expiry tip), and tips beside
// the items of an open popup menu (the phone menu).
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "htmltip/html_drawer.h"
#include "htmltip/win32/draw_manager.h"
#include "htmltip/win32/tooltip_window.h"

namespace v7::htmltip::win32 {

// The menu items that have tips, and the cursor shown over the link line.
enum : UINT { kPhoneSignMenuItem = 2870, kPhoneUsbKeyMenuItem = 2871 };
enum : int { kHotCursorResource = 8051 };

class CPPToolTip : public TooltipWindow {
 public:
  CPPToolTip();
  ~CPPToolTip() override;

  // windowBackground FALSE: square corners, margins 10, white; TRUE: corners 12 x 10, margins 7,
  // the window colour.
  BOOL Create(HWND owner, BOOL windowBackground);
  // Shows `html` with its top-left corner at `anchor` (screen coordinates). A non-empty query
  // makes it a link tip: a click on its link line opens the renewal page with the query.
  void ShowTip(const wchar_t *query, POINT anchor, const std::u16string &html);
  // For each WM_MENUSELECT of the owner.
  void ShowMenuItemTips(HMENU menu, UINT itemId, UINT flags);
  void Hide();
  BOOL DestroyWindow();

  // Paints the tip onto `dc` in window coordinates, clipped to its shape; false when GDI refuses.
  bool PaintTo(HDC dc);

  int state() const { return state_; }
  int linkMode() const { return linkMode_; }
  bool hot() const { return hot_; }
  HtmlDrawer &drawer() { return drawer_; }
  const RECT &textRect() const { return textRect_; }
  int marginLeft() const { return marginLeft_; }
  int marginTop() const { return marginTop_; }
  // Where a link tip answers the mouse, in client coordinates: its link line as it is drawn
  // (empty when the tip is no link tip or nothing is laid out).
  HtmlRect HotRect() const;

  // The page a link tip opens (the query is appended, percent-encoded) and the sites of the two
  // phone services; deployment values unless set. They open through the page-opening seam.
  std::u16string renewalPage;
  std::u16string phoneSignSite;
  std::u16string phoneUsbKeySite;
  // The text of a string pair in the process language; by default the class layer's.
  std::function<std::u16string(UINT koreanId)> loadPairText;

 private:
  enum LinkMode { kNoLink = 0, kLinkTip = 1, kMenuTip = 2 };
  bool Dispatch(UINT message, WPARAM wparam, LPARAM lparam, LRESULT *result) override;
  void ShowRecord(const std::u16string &html, POINT anchor, UINT extraFlags);
  void LayOut(UINT extraFlags);
  bool UnderCursor() const;

  HtmlDrawer drawer_;
  CPPDrawManager2 manager_;
  COLORREF backgroundColor_ = 0xFFFFFF;
  SIZE corner_{0, 0};
  int marginLeft_ = 10, marginTop_ = 10;
  int state_ = 0;
  int linkMode_ = kNoLink;
  std::u16string html_;
  std::u16string query_;
  POINT anchor_{};
  bool hot_ = false;
  int service_ = 0;  // of the last menu tip: 1 phone signing, 0 USB key
  RECT textRect_{};
};

}  // namespace v7::htmltip::win32
