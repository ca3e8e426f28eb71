// The operating system's side of the clock, one file per system.
#pragma once

#include <cstdint>

#include "platform/clock/clock.h"

int64_t platform_os_time_now();
// utc is within 1970..9999; the zone may move the result a day either way.
bool platform_os_local_time(int64_t utc, LocalTimeFields *out);
