// The toolkit reports failures through the calling thread's errno. Setting it must be the last
// step before returning: a cleanup that runs after it (free, close) may overwrite errno itself.
#pragma once

#include <cerrno>

namespace v7 {

// return with_errno(1001, -1);  return with_errno(1200, nullptr);
template <typename T>
inline T with_errno(int code, T result) {
  errno = code;
  return result;
}

// Codes shared by every family of the toolkit.
enum : int {
  kErrOutOfMemory = 1000,
  kErrInvalidParameter = 1001,
  kErrInsufficientBuffer = 1002,
};

}  // namespace v7
