// Where the file utilities send writes that the process may not make itself (inside the browser's
// protected mode): the protected-mode broker client implements this and registers itself. Until one
// is registered every such write is refused with kErrBrokerCreate, so nothing is silently written
// somewhere else.
#pragma once

#include <cstddef>
#include <cstdint>

class FileBroker {
 public:
  virtual ~FileBroker() = default;
  // 0 on success, else the broker's code.
  virtual int write_file(const char16_t *path, const uint8_t *data, size_t length) = 0;
  virtual int make_dir(const char16_t *path) = 0;
};

// The broker in use; never null.
FileBroker *file_broker();
// Registers a broker (the broker client at start, a fake in tests); null restores the refusing
// default. The caller keeps ownership.
void set_file_broker(FileBroker *broker);
