// The control's module: its application object, the class factories of the control and of its
// property page, and the four exports of an in-process server.
#include <windows.h>

#include <new>

#include "control/cert_relay_ctrl.h"
#include "control/cert_relay_proppage.h"
#include "control/identity.h"
#include "control/ole/class_factory.h"
#include "control/ole/registration.h"
#include "control/res/cert_relay_ids.h"
#include "platform/classlib/app.h"

namespace v7 {
namespace control {
namespace {

// Component categories that let a page script the control and initialise it from its own data.
// {7DD95801-9882-11CF-9FA9-00AA006C42C4}, {7DD95802-...}
constexpr GUID kCatidSafeForScripting = {0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
constexpr GUID kCatidSafeForInitializing = {0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

// The self-registration failures of an in-process server.
constexpr HRESULT kSelfRegTypeLibFailed = HRESULT(0x80040200L);  // SELFREG_E_TYPELIB
constexpr HRESULT kSelfRegClassFailed = HRESULT(0x80040201L);    // SELFREG_E_CLASS

class CCertRelayActiveXApp : public classlib::CWinApp {
 public:
  BOOL InitInstance() override { return classlib::CWinApp::InitInstance(); }
  int ExitInstance() override { return classlib::CWinApp::ExitInstance(); }
};

CCertRelayActiveXApp theApp;

class CCertRelayActiveXCtrlFactory : public ole::COleObjectFactory {
 public:
  CCertRelayActiveXCtrlFactory() : COleObjectFactory(kControlClassId, kControlProgId) {}

  HRESULT UpdateRegistry(bool register_class) override {
    if (!register_class) return ole::UnregisterClassKeys(ClassId(), ProgId());
    classlib::CModuleStateGuard module_state;
    ole::ClassRegistration what;
    what.clsid = ClassId();
    what.progid = ProgId();
    what.type_name = classlib::LoadText(IDS_CERTRELAY_TYPE_NAME);
    what.control = true;
    what.toolbox_bitmap = IDB_CERTRELAY;
    what.misc_status = kControlMiscStatus;
    what.typelib = kTypeLibId;
    what.major = kTypeLibMajor;
    what.minor = kTypeLibMinor;
    const HRESULT hr = ole::RegisterClassKeys(what, ole::ModulePath(classlib::AfxGetResourceHandle()));
    if (FAILED(hr)) return hr;
    // A category that cannot be made leaves the class registered without it, as the class
    // registration is what the result reports.
    ole::RegisterClassInCategory(ClassId(), kCatidSafeForScripting, L"Controls that are safely scriptable");
    ole::RegisterClassInCategory(ClassId(), kCatidSafeForInitializing,
                                 L"Controls safely initializable from persistent data");
    return hr;
  }

 protected:
  IUnknown *CreateObject() override {
    auto *control = new (std::nothrow) CCertRelayActiveXCtrl;
    return control != nullptr ? static_cast<IDispatch *>(control) : nullptr;
  }
};

class CCertRelayActiveXPropPageFactory : public ole::COleObjectFactory {
 public:
  CCertRelayActiveXPropPageFactory() : COleObjectFactory(kPropertyPageClassId, kPropertyPageProgId) {}

  HRESULT UpdateRegistry(bool register_class) override {
    if (!register_class) return ole::UnregisterClassKeys(ClassId(), ProgId());
    classlib::CModuleStateGuard module_state;
    ole::ClassRegistration what;
    what.clsid = ClassId();
    what.progid = ProgId();
    what.type_name = classlib::LoadText(IDS_CERTRELAY_PROPPAGE_TYPE_NAME);
    return ole::RegisterClassKeys(what, ole::ModulePath(classlib::AfxGetResourceHandle()));
  }

 protected:
  IUnknown *CreateObject() override {
    auto *page = new (std::nothrow) CCertRelayActiveXPropPage;
    return page != nullptr ? static_cast<IPropertyPage *>(page) : nullptr;
  }
};

CCertRelayActiveXCtrlFactory g_control_factory;
CCertRelayActiveXPropPageFactory g_property_page_factory;

}  // namespace
}  // namespace control
}  // namespace v7

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      ::DisableThreadLibraryCalls(instance);
      return v7::classlib::AfxWinInit(instance);
    case DLL_PROCESS_DETACH:
      v7::classlib::AfxWinTerm();
      return TRUE;
    default:
      return TRUE;
  }
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **out) {
  return v7::ole::GetClassObject(clsid, iid, out);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return v7::ole::CanUnloadNow(); }

extern "C" HRESULT WINAPI DllRegisterServer() {
  AFX_MANAGE_STATE_FOR_MODULE();
  if (FAILED(v7::ole::RegisterModuleTypeLib(v7::classlib::AfxGetResourceHandle()))) {
    return v7::control::kSelfRegTypeLibFailed;
  }
  if (FAILED(v7::ole::COleObjectFactory::UpdateRegistryAll(true))) return v7::control::kSelfRegClassFailed;
  return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
  AFX_MANAGE_STATE_FOR_MODULE();
  if (FAILED(v7::ole::UnregisterTypeLibVersion(v7::control::kTypeLibId, v7::control::kTypeLibMajor,
                                               v7::control::kTypeLibMinor))) {
    return v7::control::kSelfRegTypeLibFailed;
  }
  if (FAILED(v7::ole::COleObjectFactory::UpdateRegistryAll(false))) return v7::control::kSelfRegClassFailed;
  return S_OK;
}
