// The toolkit reports failures through the calling thread's errno. Setting it must be the last
// step before returning: a cleanup that runs after it (free, close) may overwrite errno itself.
#pragma once

#include <cerrno>

#include "platform/errors/error_codes.h"

namespace v7 {

// return with_errno(1001, -1);  return with_errno(1200, nullptr);
template <typename T>
inline T with_errno(int code, T result) {
  errno = code;
  return result;
}

}  // namespace v7
