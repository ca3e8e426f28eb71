// The storage target the recipient chose on the media page: a medium kind and what the store
// needs to find it. The sheet owns one at a time; choosing again replaces it.
#pragma once

#include <cstdint>
#include <string>

struct SecureDiskHandle;

namespace v7 {
namespace sheet {

enum StoreMediumKind : uint32_t {
  kStoreHardDisk = 1,
  kStoreRemovable = 2,
  kStoreSecurityToken = 4,
  kStoreIcCard = 8,
  kStoreSecureDisk = 512,
};

// Gives back the reference a secure-disk target holds.
typedef void (*SecureDiskRelease)(SecureDiskHandle *handle);

struct StoreMedium {
  StoreMedium() = default;
  StoreMedium(const StoreMedium &) = delete;
  StoreMedium &operator=(const StoreMedium &) = delete;
  ~StoreMedium() {
    if (secure_disk != nullptr && release != nullptr) release(secure_disk);
  }

  StoreMediumKind kind = kStoreHardDisk;
  std::string text1;  // removable: the drive ("E:"); IC card: its text; token: the first text
  std::string text2;  // token: the second text
  SecureDiskHandle *secure_disk = nullptr;  // one reference held
  SecureDiskRelease release = nullptr;
};

}  // namespace sheet
}  // namespace v7
