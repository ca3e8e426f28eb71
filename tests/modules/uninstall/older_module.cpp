// A stand-in for the maker's older-generation module (v5writeCOM.dll) in the uninstaller's tests.
// Its DllUnregisterServer leaves a mark under the current user: "unregistered", and whether OLE
// was already set up on the calling thread ("ole" = "ready") or not ("ole" = "none").
#include <windows.h>

#include <objbase.h>

namespace {

void Mark(const wchar_t *name, const wchar_t *value) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\v7test\\older_module", 0, nullptr, 0, KEY_SET_VALUE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return;
  }
  ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value),
                   DWORD((::lstrlenW(value) + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() {
  HRESULT probe = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // S_FALSE: the caller had set it up (the probe's own count is taken back at once).
  Mark(L"ole", probe == S_FALSE ? L"ready" : L"none");
  if (SUCCEEDED(probe)) ::CoUninitialize();
  Mark(L"unregistered", L"1");
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() { return S_OK; }
