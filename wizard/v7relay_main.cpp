// The library's entry: records the module for its resources and runs the application object.
// Everything here runs under the loader's lock: see CCertRelayUIApp for what it may do.
#include <windows.h>

#include "platform/classlib/app.h"
#include "wizard/app/cert_relay_app.h"

namespace {

v7::app::CCertRelayUIApp the_app;

}  // namespace

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
