// Property sheets and their pages, run as wizards by the class layer's own modal loop (the
// sheet is created modeless, so PreTranslateMessage reaches pages and sheet before the dialog
// manager). The sheet window is subclassed once it exists, so messages posted to it (a worker's
// progress, say) reach the sheet object's map.
//
// Page notifications and what the handlers return:
//   PSN_SETACTIVE   OnSetActive    FALSE skips the page (the sheet moves on in the same direction)
//   PSN_KILLACTIVE  OnKillActive   FALSE keeps the page
//   PSN_WIZNEXT     OnWizardNext   0 the next page, -1 stay, a page's template id: go there
//   PSN_WIZBACK     OnWizardBack   likewise
//   PSN_WIZFINISH   OnWizardFinish FALSE keeps the sheet open
//   PSN_QUERYCANCEL OnQueryCancel  FALSE keeps the sheet open
//   PSN_RESET       OnReset        the sheet is closing by Cancel
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "platform/classlib/dialog.h"

// The wizard buttons' ids, which are also what a wizard's modal run returns.
#ifndef ID_WIZFINISH
#define ID_WIZBACK 0x3023
#define ID_WIZNEXT 0x3024
#define ID_WIZFINISH 0x3025
#endif

namespace v7 {
namespace classlib {

class CPropertySheet;

class CPropertyPage : public CDialog {
 public:
  // caption: the page's title in the sheet (null: the template's caption).
  explicit CPropertyPage(UINT template_id, const wchar_t *caption = nullptr);

  // The first activation only notes that it happened (OnInitDialog has filled the controls);
  // every later one runs UpdateData(FALSE). Returns TRUE.
  virtual BOOL OnSetActive();
  // UpdateData(TRUE).
  virtual BOOL OnKillActive();
  virtual LRESULT OnWizardNext() { return 0; }
  virtual LRESULT OnWizardBack() { return 0; }
  virtual BOOL OnWizardFinish() { return TRUE; }
  virtual BOOL OnQueryCancel() { return TRUE; }
  virtual void OnReset() {}

  // The page's title in place of the template's caption; an empty title shows none.
  void SetCaption(const std::wstring &caption) {
    caption_ = caption;
    has_caption_ = true;
  }
  CPropertySheet *GetParentSheet() const { return sheet_; }
  // PROPSHEETPAGEW for CreatePropertySheetPageW: filled from the template id and caption.
  PROPSHEETPAGEW m_psp;

 protected:
  bool DefaultMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT &result) override;

 private:
  friend class CPropertySheet;
  static INT_PTR CALLBACK PageProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  bool HandleNotify(NMHDR *header, LRESULT &result);
  std::wstring caption_;
  bool has_caption_ = false;
  bool first_set_active_ = true;
  CPropertySheet *sheet_ = nullptr;
};

class CPropertySheet : public CWnd {
 public:
  explicit CPropertySheet(const wchar_t *caption = nullptr, HWND parent = nullptr, UINT start_page = 0);
  ~CPropertySheet() override;

  // Before the run the page is kept for it; during the run it is added to the sheet at once.
  void AddPage(CPropertyPage *page);
  // Removes the page at index (before or during the run).
  void RemovePage(int index);
  void RemovePage(CPropertyPage *page);
  int GetPageCount() const { return int(pages_.size()); }
  CPropertyPage *GetPage(int index) const;
  int GetPageIndex(const CPropertyPage *page) const;
  CPropertyPage *GetActivePage() const;
  int GetActiveIndex() const;
  BOOL SetActivePage(int index);
  BOOL SetActivePage(CPropertyPage *page);

  // PSH_WIZARD. Call before DoModal.
  void SetWizardMode() { wizard_ = true; }
  void SetTitle(const std::wstring &title);
  // PSWIZB_BACK | PSWIZB_NEXT | PSWIZB_FINISH | PSWIZB_DISABLEDFINISH.
  void SetWizardButtons(DWORD flags);
  // Presses a sheet button (PSBTN_NEXT, PSBTN_BACK, PSBTN_FINISH, PSBTN_CANCEL) as the user would.
  void PressButton(int button);

  // Runs the sheet modally; ID_WIZFINISH (or IDOK) when it ended by Finish, IDCANCEL when
  // cancelled, -1 when it could not be created.
  virtual INT_PTR DoModal();

  // After the sheet window exists and is subclassed, before the first page shows.
  virtual void OnInitDialog() {}

  // Flags the run adds to PROPSHEETHEADER (e.g. PSH_NOAPPLYNOW).
  DWORD m_dwExtraFlags = 0;

 protected:
  // The run has ended (Finish or Cancel), the window still exists and is still subclassed:
  // the last chance to take what was posted to it.
  virtual void OnRunEnd() {}

 private:
  friend class CPropertyPage;
  static int CALLBACK SheetCallback(HWND hwnd, UINT message, LPARAM lparam);
  HPROPSHEETPAGE CreatePage(CPropertyPage *page);

  std::vector<CPropertyPage *> pages_;
  std::wstring title_;
  HWND parent_;
  UINT start_page_;
  bool wizard_ = false;
  bool running_ = false;
  INT_PTR result_ = IDCANCEL;
};

}  // namespace classlib
}  // namespace v7
