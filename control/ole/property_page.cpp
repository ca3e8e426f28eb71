#include "control/ole/property_page.h"

#include <cstring>
#include <new>

#include "control/ole/class_factory.h"
#include "platform/classlib/app.h"

namespace v7 {
namespace ole {

COlePropertyPage::COlePropertyPage(UINT template_id, UINT caption_id)
    : classlib::CDialog(template_id), caption_id_(caption_id) {
  ModuleAddRef();
}

COlePropertyPage::~COlePropertyPage() {
  if (IsWindow()) DestroyWindow();
  ReleaseObjects();
  if (site_ != nullptr) site_->Release();
  ModuleRelease();
}

HRESULT STDMETHODCALLTYPE COlePropertyPage::QueryInterface(REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyPage)) {
    *out = static_cast<IPropertyPage *>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE COlePropertyPage::AddRef() { return ULONG(::InterlockedIncrement(&refs_)); }

ULONG STDMETHODCALLTYPE COlePropertyPage::Release() {
  const LONG left = ::InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return ULONG(left);
}

HRESULT STDMETHODCALLTYPE COlePropertyPage::SetPageSite(IPropertyPageSite *site) {
  if (site != nullptr) site->AddRef();
  if (site_ != nullptr) site_->Release();
  site_ = site;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COlePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (rect == nullptr) return E_POINTER;
  if (IsWindow()) return E_UNEXPECTED;
  classlib::CModuleStateGuard module_state;
  // The template is a child dialog (DS_CONTROL | WS_CHILD), so it lives inside the frame.
  if (!Create(parent)) return E_FAIL;
  Move(rect);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COlePropertyPage::Deactivate() {
  if (IsWindow()) DestroyWindow();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COlePropertyPage::GetPageInfo(PROPPAGEINFO *info) {
  if (info == nullptr) return E_POINTER;
  classlib::CModuleStateGuard module_state;
  const std::wstring title = classlib::LoadText(caption_id_);
  std::memset(info, 0, sizeof *info);
  info->cb = sizeof *info;
  info->pszTitle = static_cast<LPOLESTR>(::CoTaskMemAlloc((title.size() + 1) * sizeof(wchar_t)));
  if (info->pszTitle == nullptr) return E_OUTOFMEMORY;
  std::memcpy(info->pszTitle, title.c_str(), (title.size() + 1) * sizeof(wchar_t));
  // The template's size in pixels, as the frame lays the page out.
  info->size.cx = 250;
  info->size.cy = 62;
  HRSRC found = ::FindResourceW(classlib::AfxGetResourceHandle(), MAKEINTRESOURCEW(m_nIDTemplate), MAKEINTRESOURCEW(5));  // RT_DIALOG
  if (found != nullptr) {
    HGLOBAL loaded = ::LoadResource(classlib::AfxGetResourceHandle(), found);
    const auto *words = static_cast<const WORD *>(::LockResource(loaded));
    // DLGTEMPLATE (or the extended form, which begins 1, 0xFFFF) in dialog units.
    if (words != nullptr) {
      const bool extended = words[0] == 1 && words[1] == 0xFFFF;
      const auto *size_words = reinterpret_cast<const short *>(words) + (extended ? 11 : 7);
      const LONG base = ::GetDialogBaseUnits();
      info->size.cx = ::MulDiv(size_words[0], LOWORD(base), 4);
      info->size.cy = ::MulDiv(size_words[1], HIWORD(base), 8);
    }
  }
  return S_OK;
}

void COlePropertyPage::ReleaseObjects() {
  for (ULONG i = 0; i < object_count_; ++i) {
    if (objects_[i] != nullptr) objects_[i]->Release();
  }
  delete[] objects_;
  objects_ = nullptr;
  object_count_ = 0;
}

HRESULT STDMETHODCALLTYPE COlePropertyPage::SetObjects(ULONG count, IUnknown **objects) {
  if (count != 0 && objects == nullptr) return E_POINTER;
  ReleaseObjects();
  if (count == 0) return S_OK;
  objects_ = new (std::nothrow) IUnknown *[count];
  if (objects_ == nullptr) return E_OUTOFMEMORY;
  for (ULONG i = 0; i < count; ++i) {
    objects_[i] = objects[i];
    if (objects_[i] != nullptr) objects_[i]->AddRef();
  }
  object_count_ = count;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COlePropertyPage::Show(UINT command) {
  if (!IsWindow()) return E_UNEXPECTED;
  ShowWindow(int(command));
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COlePropertyPage::Move(LPCRECT rect) {
  if (rect == nullptr) return E_POINTER;
  if (!IsWindow()) return E_UNEXPECTED;
  MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COlePropertyPage::Apply() {
  if (IsWindow()) UpdateData(TRUE);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COlePropertyPage::TranslateAccelerator(MSG *msg) {
  if (msg == nullptr) return E_POINTER;
  return IsWindow() && ::IsDialogMessageW(m_hWnd, msg) ? S_OK : S_FALSE;
}

}  // namespace ole
}  // namespace v7
