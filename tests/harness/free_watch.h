// For tests linked with -Wl,--wrap=free (and the v7_free_watch library): while armed, every block
// the code under test releases is searched for a secret's bytes at the moment it is freed, which
// shows whether the secret was wiped first without reading freed memory. Blocks freed by the C++
// runtime (operator delete of the test's own vectors) do not pass through the wrapper.
#pragma once

#include <cstddef>

namespace freewatch {

// Starts watching for the len bytes at pattern (copied; up to 256 bytes).
void arm(const void *pattern, size_t len);
// Stops watching; the number of freed blocks that still held the pattern.
int disarm();
// The number of blocks freed while armed, to show that the watch saw the code at work.
int freed_blocks();

}  // namespace freewatch
