// The phone-relay module's probe file "MCert_relay_mobile.dll": it only has to load, and carries
// the version resource the library checks.
#include <windows.h>

#include "tests/modules/outside/module_script.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) v7test::log_line("probe attach");
  if (reason == DLL_PROCESS_DETACH) v7test::log_line("probe detach");
  return TRUE;
}
