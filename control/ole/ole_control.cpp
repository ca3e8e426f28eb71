#include "control/ole/ole_control.h"

#include "control/ole/class_factory.h"
#include "control/ole/registration.h"
#include "platform/classlib/app.h"

namespace v7 {
namespace ole {
namespace {

const wchar_t kWindowClass[] = L"V7OleControlWindow";

template <typename T>
void ReleaseAndClear(T *&pointer) {
  if (pointer != nullptr) pointer->Release();
  pointer = nullptr;
}

}  // namespace

COleControl::COleControl(const ControlIdentity &identity, const DispatchTable &table)
    : identity_(identity), table_(table), events_(this, identity.event_iid) {
  ModuleAddRef();
}

COleControl::~COleControl() {
  if (window_ != nullptr) ::DestroyWindow(window_);
  ReleaseAndClear(frame_);
  ReleaseAndClear(document_);
  ReleaseAndClear(inplace_site_);
  ReleaseAndClear(site_);
  ReleaseAndClear(view_sink_);
  ReleaseAndClear(advise_holder_);
  ModuleRelease();
}

HRESULT STDMETHODCALLTYPE COleControl::QueryInterface(REFIID iid, void **out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, identity_.dispatch_iid)) {
    *out = static_cast<IDispatch *>(this);
  } else if (IsEqualIID(iid, IID_IProvideClassInfo) || IsEqualIID(iid, IID_IProvideClassInfo2)) {
    *out = static_cast<IProvideClassInfo2 *>(this);
  } else if (IsEqualIID(iid, IID_ISpecifyPropertyPages)) {
    *out = static_cast<ISpecifyPropertyPages *>(this);
  } else if (IsEqualIID(iid, IID_IPersist) || IsEqualIID(iid, IID_IPersistStreamInit)) {
    *out = static_cast<IPersistStreamInit *>(this);
  } else if (IsEqualIID(iid, IID_IPersistPropertyBag)) {
    *out = static_cast<IPersistPropertyBag *>(this);
  } else if (IsEqualIID(iid, IID_IOleControl)) {
    *out = static_cast<IOleControl *>(this);
  } else if (IsEqualIID(iid, IID_IOleObject)) {
    *out = static_cast<IOleObject *>(this);
  } else if (IsEqualIID(iid, IID_IOleWindow) || IsEqualIID(iid, IID_IOleInPlaceObject)) {
    *out = static_cast<IOleInPlaceObject *>(this);
  } else if (IsEqualIID(iid, IID_IOleInPlaceActiveObject)) {
    *out = static_cast<IOleInPlaceActiveObject *>(this);
  } else if (IsEqualIID(iid, IID_IViewObject) || IsEqualIID(iid, IID_IViewObject2)) {
    *out = static_cast<IViewObject2 *>(this);
  } else if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
    *out = static_cast<IConnectionPointContainer *>(this);
  } else {
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

ULONG STDMETHODCALLTYPE COleControl::AddRef() { return ULONG(::InterlockedIncrement(&refs_)); }

ULONG STDMETHODCALLTYPE COleControl::Release() {
  const LONG left = ::InterlockedDecrement(&refs_);
  if (left == 0) delete this;
  return ULONG(left);
}

HRESULT COleControl::TypeInfoOf(const GUID &guid, ITypeInfo **info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  ITypeLib *typelib = nullptr;
  HRESULT hr = ::LoadRegTypeLib(identity_.typelib, identity_.major, identity_.minor, 0, &typelib);
  if (FAILED(hr)) {
    // Not registered (a host that creates the object straight from the module): the module
    // carries its library.
    const std::wstring path = ModulePath(classlib::AfxGetResourceHandle());
    hr = path.empty() ? E_FAIL : ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &typelib);
  }
  if (FAILED(hr)) return hr;
  hr = typelib->GetTypeInfoOfGuid(guid, info);
  typelib->Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE COleControl::GetTypeInfoCount(UINT *count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetTypeInfo(UINT index, LCID, ITypeInfo **info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  return TypeInfoOf(identity_.dispatch_iid, info);
}

HRESULT STDMETHODCALLTYPE COleControl::GetIDsOfNames(REFIID iid, LPOLESTR *names, UINT count, LCID, DISPID *ids) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  return TableGetIDsOfNames(table_, names, count, ids);
}

HRESULT STDMETHODCALLTYPE COleControl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS *params,
                                              VARIANT *result, EXCEPINFO *, UINT *arg_error) {
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  const DispatchMember *member = table_.Find(id);
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  DispatchArgs args;
  HRESULT hr = UnpackMethodCall(*member, flags, params, &args, arg_error);
  if (FAILED(hr)) return hr;
  if (result != nullptr) ::VariantInit(result);
  // A member may run a modal wizard whose message loop lets the page drop its last reference;
  // the object stays until the member returns.
  AddRef();
  hr = InvokeMember(*member, args, result);
  Release();
  return hr;
}

HRESULT STDMETHODCALLTYPE COleControl::GetClassInfo(ITypeInfo **info) { return TypeInfoOf(identity_.clsid, info); }

HRESULT STDMETHODCALLTYPE COleControl::GetGUID(DWORD kind, GUID *guid) {
  if (guid == nullptr) return E_POINTER;
  if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
    *guid = GUID_NULL;
    return E_INVALIDARG;
  }
  *guid = identity_.event_iid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetPages(CAUUID *pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = nullptr;
  if (identity_.property_page_count == 0) return S_OK;
  pages->pElems = static_cast<GUID *>(::CoTaskMemAlloc(sizeof(GUID) * identity_.property_page_count));
  if (pages->pElems == nullptr) return E_OUTOFMEMORY;
  for (ULONG i = 0; i < identity_.property_page_count; ++i) pages->pElems[i] = identity_.property_pages[i];
  pages->cElems = identity_.property_page_count;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetClassID(CLSID *clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = identity_.clsid;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetSizeMax(ULARGE_INTEGER *size) {
  if (size == nullptr) return E_POINTER;
  size->QuadPart = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetControlInfo(CONTROLINFO *info) {
  if (info == nullptr) return E_POINTER;
  info->hAccel = nullptr;
  info->cAccel = 0;
  info->dwFlags = 0;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::SetClientSite(IOleClientSite *site) {
  if (site != nullptr) site->AddRef();
  ReleaseAndClear(site_);
  site_ = site;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetClientSite(IOleClientSite **site) {
  if (site == nullptr) return E_POINTER;
  *site = site_;
  if (site_ != nullptr) site_->AddRef();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::Close(DWORD) {
  InPlaceDeactivate();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetMoniker(DWORD, DWORD, IMoniker **moniker) {
  if (moniker != nullptr) *moniker = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControl::GetClipboardData(DWORD, IDataObject **data) {
  if (data != nullptr) *data = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControl::DoVerb(LONG verb, LPMSG, IOleClientSite *site, LONG, HWND parent,
                                              LPCRECT rect) {
  switch (verb) {
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
      return InPlaceActivate(site != nullptr ? site : site_, parent, rect);
    case OLEIVERB_PRIMARY:
    case OLEIVERB_UIACTIVATE: {
      const HRESULT hr = InPlaceActivate(site != nullptr ? site : site_, parent, rect);
      return FAILED(hr) ? hr : UIActivate();
    }
    case OLEIVERB_HIDE:
      if (window_ != nullptr) ::ShowWindow(window_, SW_HIDE);
      return S_OK;
    default:
      return OLEOBJ_S_INVALIDVERB;
  }
}

HRESULT COleControl::InPlaceActivate(IOleClientSite *site, HWND parent, LPCRECT rect) {
  if (window_ != nullptr) {
    ::ShowWindow(window_, SW_SHOW);
    return S_OK;
  }
  if (site == nullptr) return E_UNEXPECTED;
  IOleInPlaceSite *inplace = nullptr;
  if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void **>(&inplace)))) return E_NOINTERFACE;
  if (inplace->CanInPlaceActivate() != S_OK) {
    inplace->Release();
    return E_FAIL;
  }
  inplace->OnInPlaceActivate();
  RECT position = rect != nullptr ? *rect : RECT{0, 0, 0, 0};
  HWND host = parent;
  if (host == nullptr) inplace->GetWindow(&host);
  IOleInPlaceFrame *frame = nullptr;
  IOleInPlaceUIWindow *document = nullptr;
  RECT clip = position;
  OLEINPLACEFRAMEINFO frame_info{};
  frame_info.cb = sizeof frame_info;
  if (FAILED(inplace->GetWindowContext(&frame, &document, &position, &clip, &frame_info))) {
    frame = nullptr;
    document = nullptr;
  }
  static const ATOM registered = [] {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &COleControl::WindowProc;
    window_class.hInstance = classlib::AfxGetResourceHandle();
    window_class.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    window_class.lpszClassName = kWindowClass;
    return ::RegisterClassW(&window_class);
  }();
  if (registered != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
    window_ = ::CreateWindowExW(0, kWindowClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, position.left,
                                position.top, position.right - position.left, position.bottom - position.top, host,
                                nullptr, classlib::AfxGetResourceHandle(), this);
  }
  if (window_ == nullptr) {
    ReleaseAndClear(frame);
    ReleaseAndClear(document);
    inplace->OnInPlaceDeactivate();
    inplace->Release();
    return E_FAIL;
  }
  ReleaseAndClear(inplace_site_);
  ReleaseAndClear(frame_);
  ReleaseAndClear(document_);
  inplace_site_ = inplace;
  frame_ = frame;
  document_ = document;
  return S_OK;
}

// Makes the in-place control the container's UI-active object: the site learns it first, then the
// frame and the document window get the object whose accelerators and activation they forward,
// and the control takes the focus.
HRESULT COleControl::UIActivate() {
  if (inplace_site_ == nullptr || window_ == nullptr) return E_UNEXPECTED;
  if (!ui_active_) {
    ui_active_ = true;
    inplace_site_->OnUIActivate();
    IOleInPlaceActiveObject *active = this;
    if (frame_ != nullptr) frame_->SetActiveObject(active, nullptr);
    if (document_ != nullptr) document_->SetActiveObject(active, nullptr);
  }
  ::SetFocus(window_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::UIDeactivate() {
  if (!ui_active_) return S_OK;
  ui_active_ = false;
  if (frame_ != nullptr) frame_->SetActiveObject(nullptr, nullptr);
  if (document_ != nullptr) document_->SetActiveObject(nullptr, nullptr);
  if (inplace_site_ != nullptr) inplace_site_->OnUIDeactivate(FALSE);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::EnumVerbs(IEnumOLEVERB **verbs) {
  return ::OleRegEnumVerbs(identity_.clsid, verbs);
}

HRESULT STDMETHODCALLTYPE COleControl::GetUserType(DWORD form, LPOLESTR *type) {
  return ::OleRegGetUserType(identity_.clsid, form, type);
}

HRESULT STDMETHODCALLTYPE COleControl::SetExtent(DWORD aspect, SIZEL *size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  extent_ = *size;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetExtent(DWORD aspect, SIZEL *size) {
  if (size == nullptr) return E_POINTER;
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  *size = extent_;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::Advise(IAdviseSink *sink, DWORD *connection) {
  if (advise_holder_ == nullptr && FAILED(::CreateOleAdviseHolder(&advise_holder_))) return E_OUTOFMEMORY;
  return advise_holder_->Advise(sink, connection);
}

HRESULT STDMETHODCALLTYPE COleControl::Unadvise(DWORD connection) {
  return advise_holder_ != nullptr ? advise_holder_->Unadvise(connection) : OLE_E_NOCONNECTION;
}

HRESULT STDMETHODCALLTYPE COleControl::EnumAdvise(IEnumSTATDATA **advise) {
  if (advise == nullptr) return E_POINTER;
  *advise = nullptr;
  return advise_holder_ != nullptr ? advise_holder_->EnumAdvise(advise) : E_FAIL;
}

HRESULT STDMETHODCALLTYPE COleControl::GetMiscStatus(DWORD aspect, DWORD *status) {
  if (status == nullptr) return E_POINTER;
  *status = identity_.misc_status;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetWindow(HWND *hwnd) {
  if (hwnd == nullptr) return E_POINTER;
  *hwnd = window_;
  return window_ != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE COleControl::InPlaceDeactivate() {
  UIDeactivate();
  if (window_ != nullptr) {
    ::DestroyWindow(window_);
    window_ = nullptr;
  }
  if (inplace_site_ != nullptr) inplace_site_->OnInPlaceDeactivate();
  ReleaseAndClear(frame_);
  ReleaseAndClear(document_);
  ReleaseAndClear(inplace_site_);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::SetObjectRects(LPCRECT position, LPCRECT) {
  if (position == nullptr) return E_POINTER;
  if (window_ != nullptr) {
    ::MoveWindow(window_, position->left, position->top, position->right - position->left,
                 position->bottom - position->top, TRUE);
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::Draw(DWORD aspect, LONG, void *, DVTARGETDEVICE *, HDC, HDC dc,
                                            LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE *)(ULONG_PTR),
                                            ULONG_PTR) {
  if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
  if (dc == nullptr || bounds == nullptr) return E_INVALIDARG;
  const RECT rect = {bounds->left, bounds->top, bounds->right, bounds->bottom};
  OnDraw(dc, rect);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetColorSet(DWORD, LONG, void *, DVTARGETDEVICE *, HDC, LOGPALETTE **colors) {
  if (colors != nullptr) *colors = nullptr;
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE COleControl::Freeze(DWORD, LONG, void *, DWORD *freeze) {
  if (freeze != nullptr) *freeze = 0;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControl::SetAdvise(DWORD, DWORD, IAdviseSink *sink) {
  if (sink != nullptr) sink->AddRef();
  ReleaseAndClear(view_sink_);
  view_sink_ = sink;
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetAdvise(DWORD *aspects, DWORD *flags, IAdviseSink **sink) {
  if (aspects != nullptr) *aspects = DVASPECT_CONTENT;
  if (flags != nullptr) *flags = 0;
  if (sink != nullptr) {
    *sink = view_sink_;
    if (view_sink_ != nullptr) view_sink_->AddRef();
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE COleControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE *, LPSIZEL size) {
  return GetExtent(aspect, size);
}

HRESULT STDMETHODCALLTYPE COleControl::EnumConnectionPoints(IEnumConnectionPoints **points) {
  if (points != nullptr) *points = nullptr;
  return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE COleControl::FindConnectionPoint(REFIID iid, IConnectionPoint **point) {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  if (!IsEqualIID(iid, events_.EventId())) return CONNECT_E_NOCONNECTION;
  *point = &events_;
  events_.AddRef();
  return S_OK;
}

LRESULT CALLBACK COleControl::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto *create = reinterpret_cast<CREATESTRUCTW *>(lparam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
  }
  auto *control = reinterpret_cast<COleControl *>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_PAINT && control != nullptr) {
    PAINTSTRUCT paint;
    HDC dc = ::BeginPaint(hwnd, &paint);
    RECT client;
    ::GetClientRect(hwnd, &client);
    control->OnDraw(dc, client);
    ::EndPaint(hwnd, &paint);
    return 0;
  }
  if (message == WM_NCDESTROY) ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace ole
}  // namespace v7
