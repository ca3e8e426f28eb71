// The control's module loaded as a host loads it: its type library read back, the dispatch
// interface called as a script engine calls it, the embedding interfaces, the class factories,
// the property page, the about box, and calls made while a member's modal loop runs. The
// stand-in relay library (on the search path) logs what reaches it.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "control/identity.h"
#include "control/ole/registration.h"
#include "control/res/cert_relay_ids.h"
#include "tests/ui/robot.h"

namespace v7 {
namespace control {
namespace {

std::wstring Env(const wchar_t *name) {
  wchar_t value[1024];
  const DWORD length = ::GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

std::vector<std::string> LogLines() {
  std::vector<std::string> lines;
  std::ifstream file(Env(L"V7_RELAY_STUB_LOG").c_str());
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

class ControlModule : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
    ocx_ = Env(L"V7_CONTROL_OCX");
    ASSERT_FALSE(ocx_.empty()) << "V7_CONTROL_OCX names the control";
    ::DeleteFileW(Env(L"V7_RELAY_STUB_LOG").c_str());
    module_ = ::LoadLibraryW(ocx_.c_str());
    ASSERT_NE(module_, nullptr) << "the control and the stand-in v7relay.dll load";
    get_class_object_ = reinterpret_cast<decltype(get_class_object_)>(
        reinterpret_cast<void (*)()>(::GetProcAddress(module_, "DllGetClassObject")));
    can_unload_ =
        reinterpret_cast<decltype(can_unload_)>(reinterpret_cast<void (*)()>(::GetProcAddress(module_, "DllCanUnloadNow")));
    ASSERT_NE(get_class_object_, nullptr);
    ASSERT_NE(can_unload_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) ::FreeLibrary(module_);
    ::OleUninitialize();
  }

  template <typename T>
  T *Create(const GUID &clsid, const IID &iid) {
    IClassFactory *factory = nullptr;
    EXPECT_EQ(get_class_object_(clsid, IID_IClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
    if (factory == nullptr) return nullptr;
    T *object = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, iid, reinterpret_cast<void **>(&object)), S_OK);
    factory->Release();
    return object;
  }

  DISPID IdOf(IDispatch *control, const wchar_t *name) {
    DISPID id = 0;
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << name;
    return id;
  }

  std::wstring ocx_;
  HMODULE module_ = nullptr;
  HRESULT(WINAPI *get_class_object_)(REFCLSID, REFIID, void **) = nullptr;
  HRESULT(WINAPI *can_unload_)() = nullptr;
};

std::wstring Name(ITypeInfo *info, MEMBERID id) {
  BSTR name = nullptr;
  if (FAILED(info->GetDocumentation(id, &name, nullptr, nullptr, nullptr))) return L"?";
  std::wstring text = name != nullptr ? name : L"";
  ::SysFreeString(name);
  return text;
}

TEST_F(ControlModule, TypeLibraryReadsBack) {
  ITypeLib *typelib = nullptr;
  ASSERT_EQ(::LoadTypeLibEx(ocx_.c_str(), REGKIND_NONE, &typelib), S_OK);
  TLIBATTR *lib = nullptr;
  ASSERT_EQ(typelib->GetLibAttr(&lib), S_OK);
  EXPECT_TRUE(IsEqualGUID(lib->guid, kTypeLibId));
  EXPECT_EQ(lib->wMajorVerNum, 1);
  EXPECT_EQ(lib->wMinorVerNum, 0);
  typelib->ReleaseTLibAttr(lib);
  BSTR name = nullptr, help = nullptr;
  ASSERT_EQ(typelib->GetDocumentation(-1, &name, &help, nullptr, nullptr), S_OK);
  EXPECT_STREQ(name, L"CERTRELAYACTIVEXLib");
  EXPECT_STREQ(help, L"CertRelayActiveX ActiveX Control module");
  ::SysFreeString(name);
  ::SysFreeString(help);

  ITypeInfo *dispatch = nullptr;
  ASSERT_EQ(typelib->GetTypeInfoOfGuid(kDispatchInterfaceId, &dispatch), S_OK);
  TYPEATTR *attr = nullptr;
  ASSERT_EQ(dispatch->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  const UINT functions = attr->cFuncs;
  dispatch->ReleaseTypeAttr(attr);
  EXPECT_EQ(Name(dispatch, MEMBERID_NIL), L"_DCertRelayActiveX");

  // Member id, name, result and parameters as a development tool shows them. Id 10 is served
  // but not described.
  std::wostringstream members;
  for (UINT i = 0; i < functions; ++i) {
    FUNCDESC *function = nullptr;
    ASSERT_EQ(dispatch->GetFuncDesc(i, &function), S_OK);
    BSTR names[4] = {};
    UINT count = 0;
    dispatch->GetNames(function->memid, names, 4, &count);
    members << function->memid << L" " << (function->elemdescFunc.tdesc.vt) << L" " << names[0] << L"(";
    for (UINT p = 1; p < count; ++p) {
      members << (p > 1 ? L", " : L"") << function->lprgelemdescParam[p - 1].tdesc.vt << L" " << names[p];
    }
    members << L");";
    for (BSTR &n : names) ::SysFreeString(n);
    EXPECT_EQ(function->funckind, FUNC_DISPATCH);
    dispatch->ReleaseFuncDesc(function);
  }
  EXPECT_EQ(members.str(),
            L"2 2 Sender();3 2 Recipient(3 media);4 24 SetLanguage(2 langID);5 2 SendCert(3 ver);"
            L"6 2 ReceiveCert(3 ver, 3 media);7 2 SetTransferMode(3 mode);8 24 SetCharEncoding(3 encRule);"
            L"9 24 SetServerCharEncoding(3 encRule);-552 24 AboutBox();");
  dispatch->Release();

  ITypeInfo *events = nullptr;
  ASSERT_EQ(typelib->GetTypeInfoOfGuid(kEventInterfaceId, &events), S_OK);
  ASSERT_EQ(events->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attr->cFuncs, 0);
  events->ReleaseTypeAttr(attr);
  events->Release();

  ITypeInfo *coclass = nullptr;
  ASSERT_EQ(typelib->GetTypeInfoOfGuid(kControlClassId, &coclass), S_OK);
  ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
  EXPECT_EQ(attr->typekind, TKIND_COCLASS);
  EXPECT_EQ(attr->cImplTypes, 2);
  EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FCONTROL);
  coclass->ReleaseTypeAttr(attr);
  EXPECT_EQ(Name(coclass, MEMBERID_NIL), L"CertRelayActiveX");
  for (UINT i = 0; i < 2; ++i) {
    INT flags = 0;
    HREFTYPE ref = 0;
    ITypeInfo *implemented = nullptr;
    ASSERT_EQ(coclass->GetImplTypeFlags(i, &flags), S_OK);
    ASSERT_EQ(coclass->GetRefTypeOfImplType(i, &ref), S_OK);
    ASSERT_EQ(coclass->GetRefTypeInfo(ref, &implemented), S_OK);
    ASSERT_EQ(implemented->GetTypeAttr(&attr), S_OK);
    const bool source = (flags & IMPLTYPEFLAG_FSOURCE) != 0;
    EXPECT_TRUE(flags & IMPLTYPEFLAG_FDEFAULT);
    EXPECT_TRUE(IsEqualGUID(attr->guid, source ? kEventInterfaceId : kDispatchInterfaceId));
    implemented->ReleaseTypeAttr(attr);
    implemented->Release();
  }
  coclass->Release();
  typelib->Release();
}

HRESULT Call(IDispatch *control, DISPID id, WORD flags, std::vector<VARIANT> args_in_order, VARIANT *result,
             UINT *arg_error = nullptr) {
  std::vector<VARIANT> reversed(args_in_order.rbegin(), args_in_order.rend());
  DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr, UINT(reversed.size()), 0};
  if (result != nullptr) ::VariantInit(result);
  return control->Invoke(id, IID_NULL, 0, flags, &params, result, nullptr, arg_error);
}

VARIANT Long(LONG value) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = value;
  return v;
}

TEST_F(ControlModule, DispatchResolvesNamesAndChecksArguments) {
  IDispatch *control = Create<IDispatch>(kControlClassId, IID_IDispatch);
  ASSERT_NE(control, nullptr);
  const struct {
    const wchar_t *name;
    DISPID id;
  } names[] = {{L"Sender", 2},          {L"recipient", 3},      {L"SETLANGUAGE", 4},
               {L"SendCert", 5},        {L"ReceiveCert", 6},    {L"SetTransferMode", 7},
               {L"SetCharEncoding", 8}, {L"SetServerCharEncoding", 9}, {L"setsecurediskconfig", 10},
               {L"AboutBox", -552}};
  for (const auto &n : names) EXPECT_EQ(IdOf(control, n.name), n.id) << n.name;
  DISPID id = 0;
  LPOLESTR unknown[1] = {const_cast<LPOLESTR>(L"Send")};
  EXPECT_EQ(control->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);

  VARIANT result;
  // A script that wants the result adds DISPATCH_PROPERTYGET; a by-reference and a floating
  // argument are read as the member's types.
  LONG mode = 2;
  VARIANT by_ref;
  ::VariantInit(&by_ref);
  by_ref.vt = VT_BYREF | VT_I4;
  by_ref.plVal = &mode;
  EXPECT_EQ(Call(control, 7, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {by_ref}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I2);
  EXPECT_EQ(result.iVal, 0);
  VARIANT real;
  ::VariantInit(&real);
  real.vt = VT_R8;
  real.dblVal = 3.0;
  EXPECT_EQ(Call(control, 7, DISPATCH_METHOD, {real}, &result), S_OK);
  EXPECT_EQ(result.iVal, -1);
  EXPECT_EQ(Call(control, 8, DISPATCH_METHOD, {Long(1)}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_EMPTY);
  EXPECT_EQ(Call(control, 7, DISPATCH_METHOD, {Long(1)}, nullptr), S_OK);  // no result wanted

  UINT arg_error = 99;
  VARIANT text;
  ::VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = ::SysAllocString(L"not a number");
  EXPECT_EQ(Call(control, 6, DISPATCH_METHOD, {Long(1), text}, &result, &arg_error), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_error, 0u);  // the last argument is rgvarg[0]
  ::VariantClear(&text);
  EXPECT_EQ(Call(control, 6, DISPATCH_METHOD, {Long(1)}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(control, 2, DISPATCH_METHOD, {Long(1)}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(control, 7, DISPATCH_PROPERTYPUT, {Long(1)}, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(control, 1, DISPATCH_METHOD, {}, &result), DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(Call(control, 11, DISPATCH_METHOD, {}, &result), DISP_E_MEMBERNOTFOUND);
  DISPID named = 0;
  VARIANT one = Long(1);
  DISPPARAMS with_name = {&one, &named, 1, 1};
  EXPECT_EQ(control->Invoke(7, IID_NULL, 0, DISPATCH_METHOD, &with_name, &result, nullptr, nullptr),
            DISP_E_NONAMEDARGS);

  ITypeInfo *info = nullptr;
  ASSERT_EQ(control->GetTypeInfo(0, 0, &info), S_OK);
  TYPEATTR *attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, kDispatchInterfaceId));
  info->ReleaseTypeAttr(attr);
  info->Release();
  control->Release();

  // Nothing but the construction's encoding call reached the library: refused and malformed
  // calls never do.
  EXPECT_EQ(LogLines(), (std::vector<std::string>{"SetCharEncoding 1", "SetCharEncoding 1"}));
}

TEST_F(ControlModule, EmbeddingInterfacesAndDrawing) {
  IUnknown *control = Create<IUnknown>(kControlClassId, IID_IUnknown);
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(can_unload_(), S_FALSE);

  IOleObject *object = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IOleObject, reinterpret_cast<void **>(&object)), S_OK);
  DWORD misc = 0;
  EXPECT_EQ(object->GetMiscStatus(DVASPECT_CONTENT, &misc), S_OK);
  EXPECT_EQ(misc, 0x20191u);
  object->Release();

  IProvideClassInfo2 *class_info = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void **>(&class_info)), S_OK);
  GUID events{};
  EXPECT_EQ(class_info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
  EXPECT_TRUE(IsEqualGUID(events, kEventInterfaceId));
  ITypeInfo *info = nullptr;
  ASSERT_EQ(class_info->GetClassInfo(&info), S_OK);
  TYPEATTR *attr = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
  EXPECT_TRUE(IsEqualGUID(attr->guid, kControlClassId));
  info->ReleaseTypeAttr(attr);
  info->Release();
  class_info->Release();

  ISpecifyPropertyPages *pages = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void **>(&pages)), S_OK);
  CAUUID list{};
  EXPECT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  EXPECT_TRUE(IsEqualGUID(list.pElems[0], kPropertyPageClassId));
  ::CoTaskMemFree(list.pElems);
  pages->Release();

  IPersistStreamInit *persist = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void **>(&persist)), S_OK);
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualGUID(clsid, kControlClassId));
  EXPECT_EQ(persist->InitNew(), S_OK);
  persist->Release();

  // The event interface's connection point takes a sink (any dispatch object; here another
  // control) and lets it go again; no other interface has one.
  IConnectionPointContainer *container = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void **>(&container)), S_OK);
  IConnectionPoint *point = nullptr;
  EXPECT_EQ(container->FindConnectionPoint(kDispatchInterfaceId, &point), CONNECT_E_NOCONNECTION);
  ASSERT_EQ(container->FindConnectionPoint(kEventInterfaceId, &point), S_OK);
  IID connected{};
  EXPECT_EQ(point->GetConnectionInterface(&connected), S_OK);
  EXPECT_TRUE(IsEqualIID(connected, kEventInterfaceId));
  IConnectionPointContainer *back = nullptr;
  EXPECT_EQ(point->GetConnectionPointContainer(&back), S_OK);
  EXPECT_EQ(back, container);
  back->Release();
  IUnknown *sink = Create<IUnknown>(kControlClassId, IID_IUnknown);
  ASSERT_NE(sink, nullptr);
  DWORD cookie = 0;
  EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
  EXPECT_NE(cookie, 0u);
  EXPECT_EQ(point->Unadvise(cookie + 1), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Unadvise(cookie), S_OK);
  EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(point->Advise(sink, &cookie), S_OK);  // left connected: the control lets it go at its end
  sink->Release();
  point->Release();
  container->Release();

  // The placeholder: white inside the bounds, with the ellipse's outline touching their sides.
  IViewObject *view = nullptr;
  ASSERT_EQ(control->QueryInterface(IID_IViewObject, reinterpret_cast<void **>(&view)), S_OK);
  BITMAPINFO bmi{};
  bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), 64, -32, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void *bits = nullptr;
  HDC dc = ::CreateCompatibleDC(nullptr);
  HBITMAP bitmap = ::CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  ::PatBlt(dc, 0, 0, 64, 32, BLACKNESS);
  RECTL bounds = {0, 0, 64, 32};
  EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
  ::GdiFlush();
  const auto *pixels = static_cast<const uint32_t *>(bits);
  EXPECT_EQ(pixels[0] & 0xFFFFFF, 0xFFFFFFu);           // corner: filled white
  EXPECT_EQ(pixels[16 * 64 + 32] & 0xFFFFFF, 0xFFFFFFu);  // centre: inside the ellipse
  EXPECT_EQ(pixels[16 * 64 + 0] & 0xFFFFFF, 0u);        // the outline at the left side
  EXPECT_EQ(pixels[0 * 64 + 32] & 0xFFFFFF, 0u);        // and at the top
  EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
            DV_E_DVASPECT);
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
  view->Release();

  control->Release();
  EXPECT_EQ(can_unload_(), S_OK);
}

TEST_F(ControlModule, FactoriesCountLocksAndRefuseAggregation) {
  IClassFactory *factory = nullptr;
  ASSERT_EQ(get_class_object_(kControlClassId, IID_IClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
  IUnknown *object = nullptr;
  // Any object as the outer one: aggregation is refused before it is called.
  EXPECT_EQ(factory->CreateInstance(factory, IID_IUnknown, reinterpret_cast<void **>(&object)), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, reinterpret_cast<void **>(&object)), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(can_unload_(), S_FALSE);
  ASSERT_EQ(get_class_object_(kControlClassId, IID_IClassFactory, reinterpret_cast<void **>(&factory)), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(can_unload_(), S_OK);
  void *none = nullptr;
  EXPECT_EQ(get_class_object_(kTypeLibId, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
}

TEST_F(ControlModule, PropertyPageShowsGeneral) {
  IPropertyPage *page = Create<IPropertyPage>(kPropertyPageClassId, IID_IPropertyPage);
  ASSERT_NE(page, nullptr);
  PROPPAGEINFO info{};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  EXPECT_STREQ(info.pszTitle, L"General");
  EXPECT_GT(info.size.cx, 0);
  EXPECT_GT(info.size.cy, 0);
  ::CoTaskMemFree(info.pszTitle);
  HWND frame = ::CreateWindowExW(0, L"STATIC", L"frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 200, nullptr, nullptr,
                                 nullptr, nullptr);
  RECT rect = {10, 10, 300, 120};
  ASSERT_EQ(page->Activate(frame, &rect, TRUE), S_OK);
  HWND child = ::GetWindow(frame, GW_CHILD);
  ASSERT_NE(child, nullptr);
  EXPECT_TRUE(::GetWindowLongW(child, GWL_STYLE) & WS_CHILD);
  EXPECT_EQ(page->Show(SW_SHOW), S_OK);
  EXPECT_EQ(page->IsPageDirty(), S_FALSE);
  EXPECT_EQ(page->Apply(), S_OK);
  EXPECT_EQ(page->Deactivate(), S_OK);
  EXPECT_EQ(::GetWindow(frame, GW_CHILD), nullptr);
  ::DestroyWindow(frame);
  page->Release();
  EXPECT_EQ(can_unload_(), S_OK);
}

// While the about box's modal loop runs, a message of the page's thread calls the same control
// again and drops the page's last reference to it.
struct DuringModal {
  IDispatch *control = nullptr;
  DISPID send = 0;
  HRESULT(WINAPI *can_unload)() = nullptr;
  HRESULT nested_hr = E_FAIL;
  VARIANT nested_result{};
  HRESULT unload_while_held = E_FAIL;
};

LRESULT CALLBACK HelperProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP) {
    auto *state = reinterpret_cast<DuringModal *>(lparam);
    state->nested_hr = Call(state->control, state->send, DISPATCH_METHOD, {Long(5)}, &state->nested_result);
    state->control->Release();  // the page's last reference
    state->unload_while_held = state->can_unload();
    return 0;
  }
  return ::DefWindowProcW(hwnd, message, wparam, lparam);
}

TEST_F(ControlModule, AboutBoxRefusesNestedCallsAndKeepsTheControlAlive) {
  DuringModal state;
  state.control = Create<IDispatch>(kControlClassId, IID_IDispatch);
  ASSERT_NE(state.control, nullptr);
  state.send = IdOf(state.control, L"SendCert");
  state.can_unload = can_unload_;
  WNDCLASSW helper_class{};
  helper_class.lpfnWndProc = HelperProc;
  helper_class.lpszClassName = L"V7ControlTestHelper";
  ::RegisterClassW(&helper_class);
  HWND helper = ::CreateWindowExW(0, L"V7ControlTestHelper", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                  nullptr);
  ASSERT_NE(helper, nullptr);

  std::wstring caption, text;
  HRESULT about_hr = E_FAIL;
  v7test::RunWithRobot(
      [&](v7test::UiRobot &robot) {
        HWND about = robot.WaitForDialogWithControl(IDC_ABOUT_TEXT);
        ASSERT_NE(about, nullptr);
        caption = robot.Text(about);
        text = robot.ItemText(about, IDC_ABOUT_TEXT);
        robot.Screenshot(about, "control_about_box");
        ::SendMessageW(helper, WM_APP, 0, LPARAM(&state));  // runs on the page's thread
        robot.Click(about, IDOK);
        robot.WaitGone(about);
      },
      [&] { about_hr = Call(state.control, -552, DISPATCH_METHOD, {}, nullptr); });

  EXPECT_EQ(about_hr, S_OK);
  EXPECT_EQ(caption, L"About CertRelayActiveX Control");
  EXPECT_EQ(text, L"CertRelayActiveX Control, Version 1.0");
  EXPECT_EQ(state.nested_hr, S_OK);
  EXPECT_EQ(state.nested_result.vt, VT_I2);
  EXPECT_EQ(state.nested_result.iVal, -1);         // refused
  EXPECT_EQ(state.unload_while_held, S_FALSE);     // the running call still holds the control
  EXPECT_EQ(can_unload_(), S_OK);                  // and lets it go when it returns
  EXPECT_EQ(LogLines(), std::vector<std::string>{"SetCharEncoding 1"});  // no send reached the library
  ::DestroyWindow(helper);
}

std::wstring ReadValue(const std::wstring &key, const wchar_t *name) {
  wchar_t value[512] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  if (::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
    return L"(none)";
  }
  return value;
}

// A category's description is cut to the 127 characters the categories manager holds and lands
// under the locale the pages look for (value "949"); the class is then listed as implementing it.
TEST_F(ControlModule, CategoriesAreDescribedInTheirLocaleAndCut) {
  const std::wstring long_text(200, L'd');
  EXPECT_EQ(ole::CategoryDescription(long_text.c_str()), std::wstring(127, L'd'));
  EXPECT_EQ(ole::CategoryDescription(L"Controls that are safely scriptable"), L"Controls that are safely scriptable");
  EXPECT_EQ(ole::CategoryDescription(nullptr), L"");

  // A category and a class of the test's own, so that nothing real is touched.
  const GUID category = {0x5A1C0E11, 0x7F3B, 0x4C2D, {0x9E, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD}};
  const GUID clsid = {0x5A1C0E12, 0x7F3B, 0x4C2D, {0x9E, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD}};
  const std::wstring category_key = L"Component Categories\\" + ole::GuidText(category);
  const std::wstring class_key = L"CLSID\\" + ole::GuidText(clsid);
  ASSERT_EQ(ole::RegisterClassInCategory(clsid, category, long_text.c_str()), S_OK);
  EXPECT_EQ(ReadValue(category_key, L"949"), std::wstring(127, L'd'));
  HKEY implemented = nullptr;
  EXPECT_EQ(::RegOpenKeyExW(HKEY_CLASSES_ROOT, (class_key + L"\\Implemented Categories\\" + ole::GuidText(category)).c_str(),
                            0, KEY_READ, &implemented),
            ERROR_SUCCESS);
  if (implemented != nullptr) ::RegCloseKey(implemented);
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, category_key.c_str());
  ::RegDeleteTreeW(HKEY_CLASSES_ROOT, class_key.c_str());
}

// Pumps the thread's messages until found() gives a window or the deadline passes.
HWND PumpUntil(const std::function<HWND()> &found, DWORD timeout_ms = 10000) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (HWND window = found()) return window;
    const DWORD elapsed = ::GetTickCount() - start;
    if (elapsed >= timeout_ms) return nullptr;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, timeout_ms - elapsed, QS_ALLINPUT);
  }
}

// A page's <param> values as a browser hands them over: it records every value written back.
class ParamBag : public IPropertyBag {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
    if (out == nullptr) return E_POINTER;
    *out = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyBag) ? this : nullptr;
    return *out != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT *value, IErrorLog *) override {
    if (value == nullptr) return E_POINTER;
    // Every name has a value, and one the control could not take: a long text.
    V_VT(value) = VT_BSTR;
    V_BSTR(value) = ::SysAllocString(L"unexpected value for a control that keeps no properties");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT *) override {
    written.push_back(name != nullptr ? name : L"");
    return S_OK;
  }
  std::vector<std::wstring> written;
};

// The system's own control container (atl.dll's AtlAxWin window) creates the registered control by
// its ProgID, activates it in place and lets it paint: the white placeholder with its ellipse.
// Then what a browser asks of it besides: its <param> values (none kept, none refused, none
// written back) and UI activation, after which the control has the focus and answers the frame.
TEST_F(ControlModule, ContainerActivatesAndShowsThePlaceholder) {
  auto entry = [this](const char *name) {
    return reinterpret_cast<HRESULT(WINAPI *)()>(reinterpret_cast<void (*)()>(::GetProcAddress(module_, name)));
  };
  ASSERT_EQ(entry("DllRegisterServer")(), S_OK);
  HMODULE atl = ::LoadLibraryW(L"atl.dll");
  ASSERT_NE(atl, nullptr);
  auto ax_init = reinterpret_cast<BOOL(WINAPI *)()>(reinterpret_cast<void (*)()>(::GetProcAddress(atl, "AtlAxWinInit")));
  ASSERT_NE(ax_init, nullptr);
  ASSERT_TRUE(ax_init());
  HWND frame = ::CreateWindowExW(0, L"STATIC", L"container", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 240, 160,
                                 nullptr, nullptr, nullptr, nullptr);
  HWND host = ::CreateWindowExW(0, L"AtlAxWin", kControlProgId, WS_CHILD | WS_VISIBLE, 10, 10, 160, 80, frame,
                                nullptr, nullptr, nullptr);
  ASSERT_NE(host, nullptr);
  HWND control = PumpUntil([host] { return ::FindWindowExW(host, nullptr, L"V7OleControlWindow", nullptr); });
  ASSERT_NE(control, nullptr) << "the container activated the control in place";
  RECT client{};
  ::GetClientRect(control, &client);
  EXPECT_EQ(client.right, 160);
  EXPECT_EQ(client.bottom, 80);
  ::UpdateWindow(control);
  HDC dc = ::GetDC(control);
  EXPECT_EQ(::GetPixel(dc, 2, 2) & 0xFFFFFF, 0xFFFFFFu);   // white corner
  EXPECT_EQ(::GetPixel(dc, 80, 40) & 0xFFFFFF, 0xFFFFFFu);  // inside the ellipse
  EXPECT_EQ(::GetPixel(dc, 0, 40) & 0xFFFFFF, 0u);          // its outline
  ::ReleaseDC(control, dc);
  v7test::UiRobot(::GetCurrentThreadId()).Screenshot(frame, "control_in_container");

  auto get_control = reinterpret_cast<HRESULT(WINAPI *)(HWND, IUnknown **)>(
      reinterpret_cast<void (*)()>(::GetProcAddress(atl, "AtlAxGetControl")));
  ASSERT_NE(get_control, nullptr);
  IUnknown *object = nullptr;
  ASSERT_EQ(get_control(host, &object), S_OK);
  IPersistPropertyBag *persist = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void **>(&persist)), S_OK);
  ParamBag bag;
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualGUID(clsid, kControlClassId));
  EXPECT_EQ(persist->InitNew(), S_OK);
  EXPECT_EQ(persist->Load(&bag, nullptr), S_OK);
  EXPECT_EQ(persist->Save(&bag, TRUE, TRUE), S_OK);
  EXPECT_TRUE(bag.written.empty()) << "the control writes no properties back";
  persist->Release();

  IOleInPlaceActiveObject *active = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IOleInPlaceActiveObject, reinterpret_cast<void **>(&active)), S_OK);
  HWND active_window = nullptr;
  EXPECT_EQ(active->GetWindow(&active_window), S_OK);
  EXPECT_EQ(active_window, control);
  MSG key{control, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
  EXPECT_EQ(active->TranslateAccelerator(&key), S_FALSE) << "no accelerators of its own";
  EXPECT_EQ(active->OnFrameWindowActivate(TRUE), S_OK);
  EXPECT_EQ(active->OnDocWindowActivate(TRUE), S_OK);
  EXPECT_EQ(active->EnableModeless(TRUE), S_OK);
  active->Release();

  IOleObject *ole = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IOleObject, reinterpret_cast<void **>(&ole)), S_OK);
  IOleClientSite *site = nullptr;
  ASSERT_EQ(ole->GetClientSite(&site), S_OK);
  ASSERT_NE(site, nullptr);
  RECT position = {0, 0, 160, 80};
  ::SetFocus(frame);
  EXPECT_EQ(ole->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site, 0, host, &position), S_OK);
  EXPECT_EQ(::GetFocus(), control) << "UI activation gives the control the focus";
  IOleInPlaceObject *in_place = nullptr;
  ASSERT_EQ(object->QueryInterface(IID_IOleInPlaceObject, reinterpret_cast<void **>(&in_place)), S_OK);
  EXPECT_EQ(in_place->UIDeactivate(), S_OK);
  EXPECT_EQ(in_place->UIDeactivate(), S_OK) << "a second deactivation is harmless";
  EXPECT_EQ(::IsWindow(control), TRUE) << "UI deactivation keeps the control in place";
  in_place->Release();
  site->Release();
  ole->Release();
  object->Release();
  ::DestroyWindow(frame);
  PumpUntil([] { return HWND(nullptr); }, 200);  // the container's releases
  EXPECT_EQ(entry("DllUnregisterServer")(), S_OK);
}

}  // namespace
}  // namespace control
}  // namespace v7
