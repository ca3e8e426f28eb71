#include "platform/osver/os_version_query.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

OsVersionHook g_hook = nullptr;

bool ask_platform(OsVersionRecord *out) {
#ifdef _WIN32
  OSVERSIONINFOEXA ex = {};
  ex.dwOSVersionInfoSize = sizeof ex;  // 156 bytes
  if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA *>(&ex))) {
    *out = {ex.dwPlatformId, ex.dwMajorVersion, ex.dwMinorVersion};
    return true;
  }
  // Windows 95 and NT 4 before SP6 know only the plain record of 148 bytes.
  OSVERSIONINFOA plain = {};
  plain.dwOSVersionInfoSize = sizeof plain;
  if (GetVersionExA(&plain)) {
    *out = {plain.dwPlatformId, plain.dwMajorVersion, plain.dwMinorVersion};
    return true;
  }
#endif
  (void)out;
  return false;
}

}  // namespace

bool platform_query_os_version(OsVersionRecord *out) {
  if (out == nullptr) return false;
  return g_hook != nullptr ? g_hook(out) : ask_platform(out);
}

void platform_set_os_version_hook(OsVersionHook hook) { g_hook = hook; }
