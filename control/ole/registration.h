// Self-registration of an in-process server: the type library from the module's resources, the
// class keys of a control or a plain class under HKEY_CLASSES_ROOT, and component categories
// through the system's categories manager.
#pragma once

#include <windows.h>

#include <string>

namespace v7 {
namespace ole {

// The module's full path; empty when the platform cannot give it whole.
std::wstring ModulePath(HINSTANCE module);

// LoadTypeLib on the module (its TYPELIB resource 1) and RegisterTypeLib; S_OK or the failure.
HRESULT RegisterModuleTypeLib(HINSTANCE module);
HRESULT UnregisterTypeLibVersion(const GUID &libid, WORD major, WORD minor);

// What a class's keys say. A control also gets Control, ToolboxBitmap32, MiscStatus, TypeLib and
// Version; a plain class (a property page) only its name, server and ProgID.
struct ClassRegistration {
  GUID clsid;
  const wchar_t *progid;
  std::wstring type_name;
  bool control = false;
  UINT toolbox_bitmap = 0;
  DWORD misc_status = 0;
  GUID typelib{};
  WORD major = 0, minor = 0;
};
// Writes the CLSID and ProgID keys with server path module_path, apartment threaded.
HRESULT RegisterClassKeys(const ClassRegistration &what, const std::wstring &module_path);
// Removes the CLSID key and the ProgID key, whole.
HRESULT UnregisterClassKeys(const GUID &clsid, const wchar_t *progid);

// The description a category takes: the categories manager's field holds 127 characters.
std::wstring CategoryDescription(const wchar_t *description);
// Creates the category (locale 0x0949) through ICatRegister and, when that worked, registers
// clsid as implementing it. S_OK or the first failure.
HRESULT RegisterClassInCategory(const GUID &clsid, const GUID &catid, const wchar_t *description);

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}"
std::wstring GuidText(const GUID &guid);

}  // namespace ole
}  // namespace v7
