#include <sys/random.h>

#include <cerrno>
#include <cstdint>

#include "platform/random/os_random.h"

bool platform_random_bytes(void *out, size_t len) {
  if (out == nullptr && len != 0) return false;
  uint8_t *p = static_cast<uint8_t *>(out);
  while (len > 0) {
    // getrandom returns at most 32 MiB per call and may be interrupted by a signal.
    ssize_t got = getrandom(p, len, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += got;
    len -= size_t(got);
  }
  return true;
}
