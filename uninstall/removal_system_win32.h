// The machine the removal works on: files, modules and the registry through Win32. The user's
// side (message boxes, status, icons, cursor) is the dialog's, which derives from this.
#pragma once

#include <windows.h>

#include "uninstall/removal_engine.h"

namespace v7 {
namespace uninstall {

class Win32Machine : public RemovalSystem {
 public:
  bool QueryFolders(PlatformFolders *out) override;
  bool ListFolder(const std::u16string &folder, std::vector<FolderEntry> *entries) override;
  void RemoveFile(const std::u16string &path) override;
  bool Exists(const std::u16string &path) override;
  void Unregister(const std::u16string &path) override;
  bool KeyExists(RegistryRoot root, const std::u16string &key) override;
  bool ReadString(RegistryRoot root, const std::u16string &key, const std::u16string &name,
                  std::u16string *value) override;
  bool RemoveKeyTree(RegistryRoot root, const std::u16string &key) override;
};

// Keys are deleted this many levels deep at most; deeper ones make the delete fail.
constexpr int kMaxKeyDepth = 8;

}  // namespace uninstall
}  // namespace v7
