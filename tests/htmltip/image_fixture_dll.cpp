// A library of images whose code tells when it runs: mapped as data, as the drawers map every
// library a text names, its entry point must never be called.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ::SetEnvironmentVariableW(L"V7_IMAGE_FIXTURE_RAN", L"1");
  return TRUE;
}
