#include "gdi_count_win32.h"

#include <windows.h>

#include <cstdint>

namespace v7test {

unsigned CountGdiObjects() {
  const DWORD counted = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (counted != 0) return counted;
  unsigned live = 0;
  for (uintptr_t index = 1; index < 0x10000; ++index) live += ::GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0;
  return live;
}

}  // namespace v7test
