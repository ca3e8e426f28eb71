#include "platform/classlib/app.h"

#include <commctrl.h>

#include <atomic>
#include <mutex>

#include "platform/locale/process_words.h"

namespace v7 {
namespace classlib {
namespace {

CWinApp *g_app = nullptr;
HINSTANCE g_module = nullptr;
std::atomic<HINSTANCE> g_resources{nullptr};

// The module's own instance, found from an address inside it when nobody recorded it.
HINSTANCE this_module() {
  if (g_module != nullptr) return g_module;
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&this_module), &module);
  return module;
}

}  // namespace

CWinApp::CWinApp(const wchar_t *name) : m_pszAppName(name) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp *AfxGetApp() { return g_app; }

HINSTANCE AfxGetResourceHandle() {
  HINSTANCE set = g_resources.load();
  return set != nullptr ? set : this_module();
}

void AfxSetResourceHandle(HINSTANCE instance) { g_resources.store(instance); }

BOOL AfxWinInit(HINSTANCE instance) {
  g_module = instance;
  if (g_resources.load() == nullptr) g_resources.store(instance);
  if (g_app == nullptr) return TRUE;
  g_app->m_hInstance = instance;
  return g_app->InitInstance();
}

void AfxWinTerm() {
  if (g_app != nullptr) g_app->ExitInstance();
}

bool AfxInitCommonControls() {
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ready = ::InitCommonControlsEx(&controls) != FALSE;
  });
  return ready;
}

std::wstring LoadText(UINT id) { return LoadText(AfxGetResourceHandle(), id); }

std::wstring LoadText(HINSTANCE module, UINT id) {
  // With a zero buffer size LoadStringW hands out the resource's own text, which is not
  // terminated and may be longer than any fixed buffer.
  const wchar_t *text = nullptr;
  int length = ::LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 && text != nullptr ? std::wstring(text, size_t(length)) : std::wstring();
}

std::wstring LoadPairText(UINT korean_id) { return LoadText(language_is_korean() ? korean_id : korean_id + 1); }

CModuleStateGuard::CModuleStateGuard() : saved_(g_resources.load()) { g_resources.store(this_module()); }

CModuleStateGuard::~CModuleStateGuard() { g_resources.store(saved_); }

}  // namespace classlib
}  // namespace v7
