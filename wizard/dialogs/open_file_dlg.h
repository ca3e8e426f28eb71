// The PKCS#12 file chooser: the common open-file dialog before Windows Vista, the protected-mode
// broker's file browser from Vista on.
#pragma once

#include <cstddef>

namespace v7 {
namespace dialogs {

class COpenFileDlg {
 public:
  enum : size_t { kPathCapacity = 261, kFileBufferCapacity = 522 };
  explicit COpenFileDlg(int kind) : kind_(kind) { path_[0] = 0; }
  virtual ~COpenFileDlg() = default;
  COpenFileDlg(const COpenFileDlg &) = delete;
  COpenFileDlg &operator=(const COpenFileDlg &) = delete;

  // Runs the common dialog over the active window: 0 with the path, 21500 cancelled, 1007 for a
  // path longer than 260 characters (refused, not cut), 1001 when the dialog failed.
  int DoModal();
  const char16_t *Path() const { return path_; }

 private:
  int kind_;
  char16_t path_[kPathCapacity];
};

// Lets the user choose a PKCS#12 file; its path, narrow in the setting's encoding, into out (261
// bytes): 0; 1001 null out; 21500 cancelled; the broker's code when it failed; 33001 no narrow
// path; 1007 too long.
int ChoosePkcs12File(char *out);

}  // namespace dialogs
}  // namespace v7
