// The base of an ActiveX control on our own COM layer: one object that implements the interfaces
// a script host and a browser ask a control for. The derived control gives its dispatch table and
// its members' bodies (InvokeMember), its drawing (OnDraw) and its identity; the base unpacks
// arguments, keeps the object alive for the length of every call, serves type information from
// the module's type library, and answers the embedding interfaces.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include "control/ole/connection_point.h"
#include "control/ole/dispatch_table.h"

namespace v7 {
namespace ole {

struct ControlIdentity {
  GUID clsid;
  GUID dispatch_iid;
  GUID event_iid;
  GUID typelib;
  WORD major, minor;
  DWORD misc_status;
  const GUID *property_pages;
  ULONG property_page_count;
};

class COleControl : public IDispatch,
                    public IProvideClassInfo2,
                    public ISpecifyPropertyPages,
                    public IPersistStreamInit,
                    public IPersistPropertyBag,
                    public IOleControl,
                    public IOleObject,
                    public IOleInPlaceObject,
                    public IOleInPlaceActiveObject,
                    public IViewObject2,
                    public IConnectionPointContainer {
 public:
  COleControl(const ControlIdentity &identity, const DispatchTable &table);
  virtual ~COleControl();
  COleControl(const COleControl &) = delete;
  COleControl &operator=(const COleControl &) = delete;

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo **info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID lcid, DISPID *ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS *params, VARIANT *result,
                                   EXCEPINFO *exception, UINT *arg_error) override;

  // IProvideClassInfo2
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo **info) override;
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID *guid) override;

  // ISpecifyPropertyPages
  HRESULT STDMETHODCALLTYPE GetPages(CAUUID *pages) override;

  // IPersistStreamInit and IPersistPropertyBag: the control keeps no persistent properties; a
  // stream or a page's <param> values are accepted and left as they are (a value the control does
  // not know must never make its creation fail), and nothing is written back.
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID *clsid) override;
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(IStream *stream) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Save(IStream *stream, BOOL clear_dirty) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER *size) override;
  HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Load(IPropertyBag *bag, IErrorLog *log) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Save(IPropertyBag *bag, BOOL clear_dirty, BOOL save_all) override { return S_OK; }

  // IOleControl
  HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO *info) override;
  HRESULT STDMETHODCALLTYPE OnMnemonic(MSG *msg) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override { return S_OK; }

  // IOleObject
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite *site) override;
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite **site) override;
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR app, LPCOLESTR object) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close(DWORD save_option) override;
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker *moniker) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker **moniker) override;
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject *data, BOOL creation, DWORD reserved) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject **data) override;
  HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG msg, IOleClientSite *site, LONG index, HWND parent,
                                   LPCRECT rect) override;
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB **verbs) override;
  HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID *clsid) override { return GetClassID(clsid); }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR *type) override;
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL *size) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL *size) override;
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink *sink, DWORD *connection) override;
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA **advise) override;
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD *status) override;
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE *palette) override { return E_NOTIMPL; }

  // IOleWindow / IOleInPlaceObject
  HRESULT STDMETHODCALLTYPE GetWindow(HWND *hwnd) override;
  HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
  HRESULT STDMETHODCALLTYPE UIDeactivate() override;
  HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
  HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return INPLACE_E_NOTUNDOABLE; }

  // IOleInPlaceActiveObject: what the container's frame calls on the UI-active object. The control
  // has no accelerators, menus or tool space of its own.
  HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow *window, BOOL frame) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override { return S_OK; }

  // IConnectionPointContainer: the event interface's point only.
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints **points) override;
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint **point) override;

  // IViewObject / IViewObject2
  HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void *aspect_info, DVTARGETDEVICE *device, HDC target_dc,
                                 HDC dc, LPCRECTL bounds, LPCRECTL wbounds, BOOL(STDMETHODCALLTYPE *cont)(ULONG_PTR),
                                 ULONG_PTR cont_arg) override;
  HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void *aspect_info, DVTARGETDEVICE *device,
                                        HDC target_dc, LOGPALETTE **colors) override;
  HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void *aspect_info, DWORD *freeze) override;
  HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override { return OLE_E_NOCONNECTION; }
  HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink *sink) override;
  HRESULT STDMETHODCALLTYPE GetAdvise(DWORD *aspects, DWORD *flags, IAdviseSink **sink) override;
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE *device, LPSIZEL size) override;

 protected:
  // The body of one member, its arguments checked and coerced; *result is null when the caller
  // wants none.
  virtual HRESULT InvokeMember(const DispatchMember &member, const DispatchArgs &args, VARIANT *result) = 0;
  // Paints the control into bounds.
  virtual void OnDraw(HDC dc, const RECT &bounds) = 0;

  HWND ControlWindow() const { return window_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  HRESULT TypeInfoOf(const GUID &guid, ITypeInfo **info);
  HRESULT InPlaceActivate(IOleClientSite *site, HWND parent, LPCRECT rect);
  HRESULT UIActivate();

  const ControlIdentity &identity_;
  const DispatchTable &table_;
  LONG refs_ = 1;
  IOleClientSite *site_ = nullptr;
  IOleInPlaceSite *inplace_site_ = nullptr;
  // The container's frame and document window, kept while in place to tell them which object is
  // UI-active; ui_active_ says whether the control told them so.
  IOleInPlaceFrame *frame_ = nullptr;
  IOleInPlaceUIWindow *document_ = nullptr;
  bool ui_active_ = false;
  IAdviseSink *view_sink_ = nullptr;
  IOleAdviseHolder *advise_holder_ = nullptr;
  HWND window_ = nullptr;
  CEventConnectionPoint events_;
  SIZEL extent_ = {2540, 2540};  // HIMETRIC: one inch square until the container says otherwise
};

}  // namespace ole
}  // namespace v7
