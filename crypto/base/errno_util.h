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

// The toolkit's codes (their texts belong to the error tables). Each family appends its own
// block here, so that one number never gets two names.
enum : int {
  kErrOutOfMemory = 1000,
  kErrInvalidParameter = 1001,
  kErrInsufficientBuffer = 1002,

  // Digests and ciphers.
  kErrUnsupportedHash = 1200,
  kErrUnsupportedCipher = 1202,
  kErrCrtContext = 1241,
  kErrInvalidIv = 1244,
  kErrIncorrectKey = 1245,
  kErrSymmetricDecrypt = 1246,
  kErrInvalidCipherText = 1247,
  kErrUnsupportedCipherMode = 1248,
  kErrUnsupportedPadding = 1249,
};

}  // namespace v7
