// The application object of a module and the resources it serves: one CWinApp per module
// (library, control or program), the resource instance dialogs and strings come from, the common
// controls set up once, and the string-pair loader (Korean at id N, English at id N + 1).
#pragma once

#include <windows.h>

#include <string>

namespace v7 {
namespace classlib {

class CWinApp {
 public:
  // The module's one object; it registers itself as the module's application.
  explicit CWinApp(const wchar_t *name = nullptr);
  CWinApp(const CWinApp &) = delete;
  CWinApp &operator=(const CWinApp &) = delete;
  virtual ~CWinApp();

  // DllMain's attach and detach (or a program's start and end) call these through the module.
  virtual BOOL InitInstance() { return TRUE; }
  virtual int ExitInstance() { return 0; }

  HINSTANCE m_hInstance = nullptr;
  const wchar_t *m_pszAppName = nullptr;
};

// The module's application object, or null.
CWinApp *AfxGetApp();
// The instance the module's dialogs and strings are loaded from; the module's own instance
// unless a test sets another.
HINSTANCE AfxGetResourceHandle();
void AfxSetResourceHandle(HINSTANCE instance);
// Records the module's instance (DllMain or WinMain) and runs the application's InitInstance.
BOOL AfxWinInit(HINSTANCE instance);
void AfxWinTerm();

// Common controls (list views, property sheets, tooltips, rich edit's needs) registered once per
// process, whichever thread asks first.
bool AfxInitCommonControls();

// The string resource id, whole; empty when there is none.
std::wstring LoadText(UINT id);
// The same from the resources of `module`.
std::wstring LoadText(HINSTANCE module, UINT id);
// The pair's text for the process language: id N in Korean (LanguageId 18), else id N + 1.
std::wstring LoadPairText(UINT korean_id);

// Calls that enter the module from outside (exports, COM methods) switch to the module's
// resources for their duration and back, whatever the caller had set.
class CModuleStateGuard {
 public:
  CModuleStateGuard();
  ~CModuleStateGuard();
  CModuleStateGuard(const CModuleStateGuard &) = delete;
  CModuleStateGuard &operator=(const CModuleStateGuard &) = delete;

 private:
  HINSTANCE saved_;
};
#define AFX_MANAGE_STATE_FOR_MODULE() ::v7::classlib::CModuleStateGuard module_state_guard_

}  // namespace classlib
}  // namespace v7
