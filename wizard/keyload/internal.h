// Helpers shared by the outside-module paths of the key loading; not for callers outside it.
#pragma once

#include <cstddef>
#include <string>

namespace v7 {
struct LoadedModule;
namespace keyload {

// Shows a program text (UTF-8 source text) in a box over the active window.
void show_text(const char *utf8, unsigned flags);

// 0 when the module at path may be loaded: no minimum asked, or its file version is at least
// min_version; kErrModuleLoad when it is older or has no version.
int version_gate(const std::string &path, const char *min_version);

// Suspends the dialog's keyboard security for its lifetime; resumed however the path ends.
template <typename Dialog>
class SuspendedKeyboard {
 public:
  explicit SuspendedKeyboard(Dialog *dialog) : dialog_(dialog) { dialog_->SuspendKeyboardSecurity(); }
  ~SuspendedKeyboard() { dialog_->ResumeKeyboardSecurity(); }
  SuspendedKeyboard(const SuspendedKeyboard &) = delete;
  SuspendedKeyboard &operator=(const SuspendedKeyboard &) = delete;

 private:
  Dialog *dialog_;
};

// Closes the module however the path ends.
class ModuleHold {
 public:
  explicit ModuleHold(LoadedModule *module) : module_(module) {}
  ~ModuleHold();
  ModuleHold(const ModuleHold &) = delete;
  ModuleHold &operator=(const ModuleHold &) = delete;
  LoadedModule *get() const { return module_; }
  void *symbol(const char *name) const;

 private:
  LoadedModule *module_;
};

}  // namespace keyload
}  // namespace v7
