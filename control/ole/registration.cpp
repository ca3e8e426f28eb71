#include "control/ole/registration.h"

#include <comcat.h>
#include <oleauto.h>

#include <vector>

namespace v7 {
namespace ole {
namespace {

// The categories' descriptions are written under this locale (as value "949"), as the pages
// that look for them expect.
constexpr LCID kCategoryLocale = 0x0949;
constexpr size_t kCategoryDescriptionMax = 127;

HRESULT SetKeyValue(HKEY root, const std::wstring &path, const wchar_t *name, const std::wstring &value) {
  HKEY key = nullptr;
  LONG rc = ::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  rc = ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                        DWORD((value.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

// RegDeleteKey removes only a key without subkeys, and the tree call is missing before Vista.
LONG DeleteTree(HKEY root, const std::wstring &path) {
  HKEY key = nullptr;
  LONG rc = ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WRITE, &key);
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  std::vector<std::wstring> children;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = DWORD(sizeof name / sizeof name[0]);
    rc = ::RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) break;
    children.emplace_back(name, length);
  }
  ::RegCloseKey(key);
  for (const std::wstring &child : children) {
    rc = DeleteTree(root, path + L"\\" + child);
    if (rc != ERROR_SUCCESS) return rc;
  }
  rc = ::RegDeleteKeyW(root, path.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

}  // namespace

std::wstring GuidText(const GUID &guid) {
  wchar_t text[40];
  const int length = ::StringFromGUID2(guid, text, int(sizeof text / sizeof text[0]));
  return length > 0 ? std::wstring(text) : std::wstring();
}

std::wstring ModulePath(HINSTANCE module) {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD length = ::GetModuleFileNameW(module, path.data(), DWORD(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) return std::wstring(path.data(), length);
    if (path.size() >= 32768) return std::wstring();
    path.resize(path.size() * 2);
  }
}

HRESULT RegisterModuleTypeLib(HINSTANCE module) {
  const std::wstring path = ModulePath(module);
  if (path.empty()) return E_FAIL;
  ITypeLib *typelib = nullptr;
  HRESULT hr = ::LoadTypeLib(path.c_str(), &typelib);
  if (FAILED(hr)) return hr;
  std::vector<wchar_t> writable(path.begin(), path.end());
  writable.push_back(L'\0');
  hr = ::RegisterTypeLib(typelib, writable.data(), nullptr);
  typelib->Release();
  return hr;
}

HRESULT UnregisterTypeLibVersion(const GUID &libid, WORD major, WORD minor) {
#ifdef _WIN64
  const SYSKIND kind = SYS_WIN64;
#else
  const SYSKIND kind = SYS_WIN32;
#endif
  // A library that is not registered leaves nothing to remove; failing there would keep the
  // class keys from ever being removed after a partial unregistration.
  const std::wstring version_key = L"TypeLib\\" + GuidText(libid) + L"\\" + std::to_wstring(major) + L"." +
                                   std::to_wstring(minor);
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, version_key.c_str(), 0, KEY_READ, &key) == ERROR_FILE_NOT_FOUND) return S_OK;
  if (key != nullptr) ::RegCloseKey(key);
  return ::UnRegisterTypeLib(libid, major, minor, 0, kind);
}

HRESULT RegisterClassKeys(const ClassRegistration &what, const std::wstring &module_path) {
  if (module_path.empty()) return E_FAIL;
  const std::wstring clsid = GuidText(what.clsid);
  const std::wstring key = L"CLSID\\" + clsid;
  HRESULT hr = SetKeyValue(HKEY_CLASSES_ROOT, key, nullptr, what.type_name);
  if (SUCCEEDED(hr)) hr = SetKeyValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", nullptr, module_path);
  if (SUCCEEDED(hr)) hr = SetKeyValue(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
  if (SUCCEEDED(hr) && what.progid != nullptr) {
    hr = SetKeyValue(HKEY_CLASSES_ROOT, key + L"\\ProgID", nullptr, what.progid);
    if (SUCCEEDED(hr)) hr = SetKeyValue(HKEY_CLASSES_ROOT, what.progid, nullptr, what.type_name);
    if (SUCCEEDED(hr)) hr = SetKeyValue(HKEY_CLASSES_ROOT, std::wstring(what.progid) + L"\\CLSID", nullptr, clsid);
  }
  if (SUCCEEDED(hr) && what.control) {
    hr = SetKeyValue(HKEY_CLASSES_ROOT, key + L"\\Control", nullptr, L"");
    if (SUCCEEDED(hr)) {
      hr = SetKeyValue(HKEY_CLASSES_ROOT, key + L"\\ToolboxBitmap32", nullptr,
                       module_path + L", " + std::to_wstring(what.toolbox_bitmap));
    }
    if (SUCCEEDED(hr)) hr = SetKeyValue(HKEY_CLASSES_ROOT, key + L"\\MiscStatus", nullptr, L"0");
    if (SUCCEEDED(hr)) {
      hr = SetKeyValue(HKEY_CLASSES_ROOT, key + L"\\MiscStatus\\1", nullptr, std::to_wstring(what.misc_status));
    }
    if (SUCCEEDED(hr)) hr = SetKeyValue(HKEY_CLASSES_ROOT, key + L"\\TypeLib", nullptr, GuidText(what.typelib));
    if (SUCCEEDED(hr)) {
      hr = SetKeyValue(HKEY_CLASSES_ROOT, key + L"\\Version", nullptr,
                       std::to_wstring(what.major) + L"." + std::to_wstring(what.minor));
    }
  }
  return hr;
}

HRESULT UnregisterClassKeys(const GUID &clsid, const wchar_t *progid) {
  LONG rc = DeleteTree(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(clsid));
  if (rc == ERROR_SUCCESS && progid != nullptr) rc = DeleteTree(HKEY_CLASSES_ROOT, progid);
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

std::wstring CategoryDescription(const wchar_t *description) {
  std::wstring text = description != nullptr ? description : L"";
  if (text.size() > kCategoryDescriptionMax) text.resize(kCategoryDescriptionMax);
  return text;
}

HRESULT RegisterClassInCategory(const GUID &clsid, const GUID &catid, const wchar_t *description) {
  ICatRegister *categories = nullptr;
  HRESULT hr = ::CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                                  reinterpret_cast<void **>(&categories));
  if (FAILED(hr)) return hr;
  CATEGORYINFO info{};
  info.catid = catid;
  info.lcid = kCategoryLocale;
  const std::wstring text = CategoryDescription(description);
  text.copy(info.szDescription, kCategoryDescriptionMax);
  hr = categories->RegisterCategories(1, &info);
  if (SUCCEEDED(hr)) {
    CATID implemented[1] = {catid};
    hr = categories->RegisterClassImplCategories(clsid, 1, implemented);
  }
  categories->Release();
  return hr;
}

}  // namespace ole
}  // namespace v7
