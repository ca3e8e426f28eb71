// A stand-in for the browser control in the uninstaller's tests: it registers and unregisters the
// keys the control's own registration writes (class, property page, ProgIDs, type library,
// interfaces, component categories) and serves no class. Unregistering removes what the control's
// unregistration removes: the categories stay. With V7_STUB_CONTROL_KEEPS_KEYS set, unregistering
// removes nothing, as a control that no longer loads would.
#include <windows.h>

#include <olectl.h>

#include <string>

#include "tests/modules/uninstall/stub_control_keys.h"

namespace {

using namespace stubcontrol;

HMODULE g_module = nullptr;

bool Set(const std::wstring &key, const wchar_t *name, const std::wstring &value) {
  HKEY opened = nullptr;
  if (::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened,
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG result = ::RegSetValueExW(opened, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                                 DWORD((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(opened);
  return result == ERROR_SUCCESS;
}

bool Remove(const std::wstring &key) {
  LONG result = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(g_module, path, MAX_PATH);
  return path;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring path = ModulePath();
  std::wstring folder = path.substr(0, path.rfind(L'\\'));
  const std::wstring control = ClassKey(kClass), page = ClassKey(kPage);
  const std::wstring typelib = std::wstring(L"TypeLib\\") + kTypeLib + L"\\1.0";
  bool ok = Set(kControlProgId, nullptr, L"velmora7 CertRelay Control") &&
            Set(std::wstring(kControlProgId) + L"\\CLSID", nullptr, kClass) &&
            Set(control, nullptr, L"velmora7 CertRelay Control") &&
            Set(control + L"\\ProgID", nullptr, kControlProgId) &&
            Set(control + L"\\InprocServer32", nullptr, path) &&
            Set(control + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
            Set(control + L"\\Control", nullptr, L"") &&
            Set(control + L"\\ToolboxBitmap32", nullptr, path + L", 1") &&
            Set(control + L"\\MiscStatus", nullptr, L"0") &&
            Set(control + L"\\MiscStatus\\1", nullptr, L"131473") &&
            Set(control + L"\\TypeLib", nullptr, kTypeLib) && Set(control + L"\\Version", nullptr, L"1.0") &&
            Set(control + L"\\Implemented Categories\\" + kScripting, nullptr, L"") &&
            Set(control + L"\\Implemented Categories\\" + kInitialising, nullptr, L"") &&
            Set(page, nullptr, L"CertRelayActiveX Property Page") &&
            Set(page + L"\\InprocServer32", nullptr, path) &&
            Set(page + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
            Set(page + L"\\ProgID", nullptr, kPageProgId) &&
            Set(kPageProgId, nullptr, L"CertRelayActiveX Property Page") &&
            Set(std::wstring(kPageProgId) + L"\\CLSID", nullptr, kPage) &&
            Set(typelib, nullptr, L"CertRelayActiveX ActiveX Control module") &&
            Set(typelib + (sizeof(void *) == 8 ? L"\\0\\win64" : L"\\0\\win32"), nullptr, path) &&
            Set(typelib + L"\\FLAGS", nullptr, L"0") && Set(typelib + L"\\HELPDIR", nullptr, folder);
  for (const wchar_t *iid : {kDispatch, kEvents}) {
    const std::wstring key = std::wstring(L"Interface\\") + iid;
    ok = ok && Set(key, nullptr, iid == kDispatch ? L"_DCertRelayActiveX" : L"_DCertRelayActiveXEvents") &&
         Set(key + L"\\ProxyStubClsid32", nullptr, L"{00020420-0000-0000-C000-000000000046}") &&
         Set(key + L"\\TypeLib", nullptr, kTypeLib) && Set(key + L"\\TypeLib", L"Version", L"1.0");
  }
  ok = ok && Set(CategoryKey(kScripting), L"949", L"Controls that are safely scriptable") &&
       Set(CategoryKey(kInitialising), L"949", L"Controls safely initializable from persistent data");
  return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  if (::GetEnvironmentVariableW(L"V7_STUB_CONTROL_KEEPS_KEYS", nullptr, 0) != 0) return S_OK;
  bool ok = true;
  for (const std::wstring &key : UnregisteredKeys()) ok = Remove(key) && ok;
  return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID, void **object) {
  *object = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllCanUnloadNow() { return S_OK; }
