#include "platform/classlib/property_sheet.h"

#include <memory>

#include "platform/classlib/app.h"

namespace v7 {
namespace classlib {
namespace {

// The sheet whose PropertySheet call is running on this thread: the creation callback carries
// no argument of its own.
thread_local CPropertySheet *t_creating_sheet = nullptr;

}  // namespace

CPropertyPage::CPropertyPage(UINT template_id, const wchar_t *caption) : CDialog(template_id) {
  if (caption != nullptr) caption_ = caption, has_caption_ = true;
  ZeroMemory(&m_psp, sizeof m_psp);
}

BOOL CPropertyPage::OnSetActive() {
  if (first_set_active_) {
    first_set_active_ = false;
  } else {
    UpdateData(FALSE);
  }
  return TRUE;
}

BOOL CPropertyPage::OnKillActive() { return UpdateData(TRUE); }

INT_PTR CALLBACK CPropertyPage::PageProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_INITDIALOG) {
    // The sheet hands the page its copy of PROPSHEETPAGE; the object rides in its lParam.
    const PROPSHEETPAGEW *page = reinterpret_cast<const PROPSHEETPAGEW *>(lparam);
    lparam = page != nullptr ? page->lParam : 0;
  }
  return DialogProc(hwnd, message, wparam, lparam);
}

bool CPropertyPage::HandleNotify(NMHDR *header, LRESULT &result) {
  switch (header->code) {
    case PSN_SETACTIVE:
      result = OnSetActive() ? 0 : -1;
      return true;
    case PSN_KILLACTIVE:
      result = OnKillActive() ? FALSE : TRUE;
      return true;
    case PSN_WIZNEXT:
      result = OnWizardNext();
      return true;
    case PSN_WIZBACK:
      result = OnWizardBack();
      return true;
    case PSN_WIZFINISH:
      if (OnWizardFinish()) {
        if (sheet_ != nullptr) sheet_->result_ = ID_WIZFINISH;
        result = FALSE;
      } else {
        result = TRUE;
      }
      return true;
    case PSN_APPLY:
      if (sheet_ != nullptr) sheet_->result_ = IDOK;
      result = PSNRET_NOERROR;
      return true;
    case PSN_QUERYCANCEL:
      result = OnQueryCancel() ? FALSE : TRUE;
      return true;
    case PSN_RESET:
      OnReset();
      result = 0;
      return true;
    default:
      return false;
  }
}

bool CPropertyPage::DefaultMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT &result) {
  if (message == WM_NOTIFY) {
    NMHDR *header = reinterpret_cast<NMHDR *>(lparam);
    if (header != nullptr && header->hwndFrom == ::GetParent(m_hWnd) && HandleNotify(header, result)) return true;
  }
  // IDOK and IDCANCEL belong to the sheet, not to the page.
  if (message == WM_COMMAND) return false;
  return CDialog::DefaultMessage(message, wparam, lparam, result);
}

CPropertySheet::CPropertySheet(const wchar_t *caption, HWND parent, UINT start_page)
    : parent_(parent), start_page_(start_page) {
  if (caption != nullptr) title_ = caption;
}

CPropertySheet::~CPropertySheet() {
  if (m_hWnd != nullptr && ::IsWindow(m_hWnd)) {
    HWND hwnd = UnsubclassWindow();
    if (hwnd != nullptr) ::DestroyWindow(hwnd);
  }
}

HPROPSHEETPAGE CPropertySheet::CreatePage(CPropertyPage *page) {
  page->sheet_ = this;
  PROPSHEETPAGEW &psp = page->m_psp;
  ZeroMemory(&psp, sizeof psp);
  psp.dwSize = sizeof psp;
  psp.dwFlags = PSP_DEFAULT;
  psp.hInstance = AfxGetResourceHandle();
  psp.pszTemplate = MAKEINTRESOURCEW(page->m_nIDTemplate);
  psp.pfnDlgProc = CPropertyPage::PageProc;
  psp.lParam = LPARAM(page);
  if (page->has_caption_) {
    psp.dwFlags |= PSP_USETITLE;
    psp.pszTitle = page->caption_.c_str();
  }
  return ::CreatePropertySheetPageW(&psp);
}

void CPropertySheet::AddPage(CPropertyPage *page) {
  if (page == nullptr) return;
  pages_.push_back(page);
  if (running_ && m_hWnd != nullptr) {
    HPROPSHEETPAGE handle = CreatePage(page);
    if (handle == nullptr || !PropSheet_AddPage(m_hWnd, handle)) {
      if (handle != nullptr) ::DestroyPropertySheetPage(handle);
      pages_.pop_back();
    }
  }
}

void CPropertySheet::RemovePage(int index) {
  if (index < 0 || index >= int(pages_.size())) return;
  if (running_ && m_hWnd != nullptr) PropSheet_RemovePage(m_hWnd, index, nullptr);
  pages_[size_t(index)]->sheet_ = nullptr;
  pages_.erase(pages_.begin() + index);
}

void CPropertySheet::RemovePage(CPropertyPage *page) { RemovePage(GetPageIndex(page)); }

CPropertyPage *CPropertySheet::GetPage(int index) const {
  return index >= 0 && index < int(pages_.size()) ? pages_[size_t(index)] : nullptr;
}

int CPropertySheet::GetPageIndex(const CPropertyPage *page) const {
  for (size_t i = 0; i < pages_.size(); i++) {
    if (pages_[i] == page) return int(i);
  }
  return -1;
}

int CPropertySheet::GetActiveIndex() const {
  if (m_hWnd == nullptr) return int(start_page_);
  HWND current = PropSheet_GetCurrentPageHwnd(m_hWnd);
  for (size_t i = 0; i < pages_.size(); i++) {
    if (pages_[i]->m_hWnd == current && current != nullptr) return int(i);
  }
  return -1;
}

CPropertyPage *CPropertySheet::GetActivePage() const { return GetPage(GetActiveIndex()); }

BOOL CPropertySheet::SetActivePage(int index) {
  if (index < 0 || index >= int(pages_.size())) return FALSE;
  if (m_hWnd == nullptr) {
    start_page_ = UINT(index);
    return TRUE;
  }
  return PropSheet_SetCurSel(m_hWnd, nullptr, index);
}

BOOL CPropertySheet::SetActivePage(CPropertyPage *page) { return SetActivePage(GetPageIndex(page)); }

void CPropertySheet::SetTitle(const std::wstring &title) {
  title_ = title;
  if (m_hWnd != nullptr) ::SetWindowTextW(m_hWnd, title_.c_str());
}

void CPropertySheet::SetWizardButtons(DWORD flags) {
  if (m_hWnd != nullptr) ::SendMessageW(m_hWnd, PSM_SETWIZBUTTONS, 0, LPARAM(flags));
}

void CPropertySheet::PressButton(int button) {
  // Posted: a handler that presses a button finishes before the sheet acts on it.
  if (m_hWnd != nullptr) ::PostMessageW(m_hWnd, PSM_PRESSBUTTON, WPARAM(button), 0);
}

int CALLBACK CPropertySheet::SheetCallback(HWND hwnd, UINT message, LPARAM) {
  if (message == PSCB_INITIALIZED) {
    CPropertySheet *sheet = t_creating_sheet;
    if (sheet != nullptr && sheet->SubclassWindow(hwnd)) sheet->OnInitDialog();
  }
  return 0;
}

INT_PTR CPropertySheet::DoModal() {
  if (pages_.empty() || m_hWnd != nullptr) return -1;
  AfxInitCommonControls();
  std::vector<HPROPSHEETPAGE> handles;
  for (CPropertyPage *page : pages_) {
    HPROPSHEETPAGE handle = CreatePage(page);
    if (handle == nullptr) {
      for (HPROPSHEETPAGE made : handles) ::DestroyPropertySheetPage(made);
      return -1;
    }
    handles.push_back(handle);
  }

  HWND owner = parent_ != nullptr ? parent_ : ::GetActiveWindow();
  if (owner != nullptr) owner = ::GetAncestor(owner, GA_ROOT);
  PROPSHEETHEADERW header;
  ZeroMemory(&header, sizeof header);
  header.dwSize = sizeof header;
  header.dwFlags = PSH_MODELESS | PSH_USECALLBACK | m_dwExtraFlags | (wizard_ ? PSH_WIZARD : 0);
  header.hwndParent = owner;
  header.hInstance = AfxGetResourceHandle();
  header.pszCaption = title_.c_str();
  header.nPages = UINT(handles.size());
  header.nStartPage = start_page_ < handles.size() ? start_page_ : 0;
  header.phpage = handles.data();
  header.pfnCallback = SheetCallback;

  const bool disable_owner = owner != nullptr && ::IsWindowEnabled(owner);
  result_ = IDCANCEL;
  CPropertySheet *outer = t_creating_sheet;
  t_creating_sheet = this;
  running_ = true;
  HWND hwnd = HWND(::PropertySheetW(&header));
  t_creating_sheet = outer;
  if (hwnd == nullptr || hwnd == HWND(-1)) {
    running_ = false;
    return -1;
  }
  if (disable_owner) ::EnableWindow(owner, FALSE);
  // A modeless sheet stays on screen after Finish or Cancel with no current page: that is the
  // end of the run.
  CDialog::RunModalLoop(
      hwnd, [hwnd] { return PropSheet_GetCurrentPageHwnd(hwnd) == nullptr; },
      [](HWND sheet, MSG *msg) -> BOOL { return PropSheet_IsDialogMessage(sheet, msg); });
  if (disable_owner) ::EnableWindow(owner, TRUE);
  if (owner != nullptr && ::GetActiveWindow() == hwnd) ::SetActiveWindow(owner);
  OnRunEnd();
  UnsubclassWindow();
  ::DestroyWindow(hwnd);
  running_ = false;
  for (CPropertyPage *page : pages_) page->first_set_active_ = true;
  return result_;
}

}  // namespace classlib
}  // namespace v7
