// A property page of a control, for the frame a container shows (OleCreatePropertyFrame): the
// page's dialog template is created as a child of the frame's window; its data exchange runs
// when the frame applies.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include "platform/classlib/dialog.h"

namespace v7 {
namespace ole {

class COlePropertyPage : public IPropertyPage, public classlib::CDialog {
 public:
  // template_id: the page's dialog; caption_id: the string resource of its title.
  COlePropertyPage(UINT template_id, UINT caption_id);
  ~COlePropertyPage() override;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IPropertyPage
  HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite *site) override;
  HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  HRESULT STDMETHODCALLTYPE Deactivate() override;
  HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO *info) override;
  HRESULT STDMETHODCALLTYPE SetObjects(ULONG count, IUnknown **objects) override;
  HRESULT STDMETHODCALLTYPE Show(UINT command) override;
  HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE IsPageDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Apply() override;
  HRESULT STDMETHODCALLTYPE Help(LPCOLESTR help_dir) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG *msg) override;

 protected:
  // The base post-processing of a page's data exchange: nothing of the page's own.
  void DoDataExchange(classlib::CDataExchange *dx) override {}

 private:
  void ReleaseObjects();
  LONG refs_ = 1;
  UINT caption_id_;
  IPropertyPageSite *site_ = nullptr;
  IUnknown **objects_ = nullptr;
  ULONG object_count_ = 0;
};

}  // namespace ole
}  // namespace v7
