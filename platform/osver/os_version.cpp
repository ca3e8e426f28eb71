#include "platform/osver/os_version.h"

#include "platform/osver/os_version_query.h"

namespace {
enum : uint32_t { kPlatformWin32s = 0, kPlatformWindows9x = 1, kPlatformNt = 2 };
}

int os_generation_code_from(uint32_t platform_id, uint32_t major, uint32_t minor) {
  switch (platform_id) {
    case kPlatformWin32s:
      return kOsXp;
    case kPlatformWindows9x:
      return minor == 0 ? kOsWin95 : kOsWin98Me;
    case kPlatformNt:
      if (major <= 4) return kOsXp;
      if (major == 5) return minor == 0 ? kOsWin2000 : kOsXp;  // 5.1 XP, 5.2 Server 2003
      if (major == 6 && minor == 0) return kOsVista;
      if (major == 6 && minor == 1) return kOsWin7;
      return kOsLater;
    default:
      return kOsLater;
  }
}

int os_version_code() {
  OsVersionRecord v;
  if (!platform_query_os_version(&v)) return kOsXp;
  return os_generation_code_from(v.platform_id, v.major, v.minor);
}

bool is_vista_or_later() { return os_version_code() > kOsXp; }
