// Helpers shared by the secure-disk client's files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "media/securedisk/securedisk.h"
#include "platform/errors/errno_util.h"

namespace sdi {

// More than any certificate, key or signature the module holds: a larger answer is broken.
constexpr int kMaxModuleLength = 1 << 20;
constexpr int kMaxSlots = 4096;

inline int fail(int code) { return v7::with_errno(code, code); }
inline int done() { return v7::with_errno(0, 0); }

void drop_error(SecureDiskHandle *h);
// The module failed with rv: its message is cached and rv + kSdCodeOffset returned (and in errno).
int module_fail(SecureDiskHandle *h, int rv);
// 17000 / 17001 for a handle that is not one; drops the cached message.
int check(SecureDiskHandle *h);

// One module call of the size-query protocol: a null buffer asks for the length.
using SizedCall = std::function<int(uint8_t *buffer, int *length)>;
// Asks for the size, then fills a new buffer of it; a length the module reports beyond the buffer
// it was given is refused (1012). A secret buffer is wiped when it is dropped.
int size_query_call(SecureDiskHandle *h, const SizedCall &call, uint8_t **out, size_t *out_len, bool secret);

// Holds a file against writes, replacement and deletion while it lives (Windows; natively a no-op).
class FileWriteHold {
 public:
  FileWriteHold() = default;
  FileWriteHold(const FileWriteHold &) = delete;
  FileWriteHold &operator=(const FileWriteHold &) = delete;
  ~FileWriteHold();
  bool acquire(const char *path);

 private:
  [[maybe_unused]] void *handle_ = nullptr;  // used on Windows only
};

}  // namespace sdi
