// The OS generation code by which the library tells Windows versions apart: which file API to use,
// where the NPKI store and the per-user settings lie, whether writes go through the broker.
#pragma once

#include <cstdint>

enum OsGenerationCode : int {
  kOsWin95 = 1,
  kOsWin98Me = 2,  // below 3: the 9x family, narrow file API only
  kOsWin2000 = 3,
  kOsXp = 4,  // also NT 4 and older, Server 2003, Win32s and an unanswered query
  kOsVista = 5,
  kOsWin7 = 6,
  kOsLater = 99,
};

// The code of a (platform id, major, minor) triple as the version query reports it.
int os_generation_code_from(uint32_t platform_id, uint32_t major, uint32_t minor);

// Asked anew on every call; never fails.
int os_version_code();
bool is_vista_or_later();
