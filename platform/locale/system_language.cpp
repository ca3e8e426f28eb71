#include "platform/locale/system_language.h"

#ifdef _WIN32
#include <windows.h>
#endif

uint16_t platform_system_primary_language() {
#ifdef _WIN32
  return uint16_t(GetSystemDefaultLangID() & 0x3FF);
#else
  return 9;
#endif
}
