// The relay library's application object and the frame every export call runs in.
//
// Loading the library runs under the loader's lock, where loading another library or talking to
// COM can deadlock: construction only records the process language and the file layer's route to
// the protected-mode broker. The rich-edit library is loaded at the first call that may show one,
// and the broker, a COM object, is released at the end of each call, while the caller's COM is
// still up, never in the library's unload. The keyboard-security module unloads itself once its
// last context ends.
#pragma once

#include <windows.h>

#include "platform/classlib/app.h"

namespace v7 {
namespace app {

class CCertRelayUIApp : public v7::classlib::CWinApp {
 public:
  CCertRelayUIApp();
  // At load: LanguageId from the system default language, the broker route of the file layer.
  BOOL InitInstance() override;
};

// One export call: the library's module state for its duration, a reference on the library so
// that a caller releasing it meanwhile cannot unmap the code that runs, and at the end the
// release of what the call may have created. A transfer call also marks the transfer running;
// a second one meanwhile (a page's script runs while the wizard's message loop does) is refused.
class ExportCall {
 public:
  enum Kind { kSetting, kTransfer };
  explicit ExportCall(Kind kind);
  ~ExportCall();
  ExportCall(const ExportCall &) = delete;
  ExportCall &operator=(const ExportCall &) = delete;

  // A transfer call made while another runs: it must return -1 without opening anything.
  bool Refused() const { return refused_; }
  // Whether a transfer call runs now (the setters leave the words alone meanwhile).
  static bool TransferRunning();

 private:
  v7::classlib::CModuleStateGuard state_;
  HMODULE self_ = nullptr;
  Kind kind_;
  bool refused_ = false;
};

}  // namespace app
}  // namespace v7
