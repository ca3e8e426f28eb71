// The calling thread's last error: GetLastError/SetLastError on Windows, a per-thread value
// elsewhere. Results such as a probe's "not reachable" leave their reason here.
#pragma once

#include <cstdint>

namespace v7 {

void set_thread_last_error(uint32_t code);
uint32_t thread_last_error();

}  // namespace v7
