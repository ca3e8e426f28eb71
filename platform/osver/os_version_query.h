// The platform's version query, behind a seam that tests can answer.
#pragma once

#include <cstdint>

struct OsVersionRecord {
  uint32_t platform_id;  // 0 Win32s, 1 the 9x family, 2 NT
  uint32_t major;
  uint32_t minor;
};

// Asks the platform (the extended version record first, the plain one when that fails). False when
// both queries fail, and always false where there is no Windows to ask.
bool platform_query_os_version(OsVersionRecord *out);

// Test seam: while a hook is set, it answers in place of the platform. Null restores the platform.
typedef bool (*OsVersionHook)(OsVersionRecord *out);
void platform_set_os_version_hook(OsVersionHook hook);
