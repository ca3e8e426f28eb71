// The two paths of the selection dialog that fetch a certificate from an outside module: the
// USB-key module, whose certificate and encrypted key become the list's only entry (the key
// object is made on OK from these buffers), and the phone-relay module, whose certificate,
// VID random value and signature become a stored-signature key object at once.
//
// The dialog hands over its buffers and the few things of its own the paths touch through
// KeyLoadDialog, so the paths are plain functions that the dialog only wires. The modules are
// loaded by full path for the one call and unloaded before it returns; keyboard security is
// suspended around them and resumed on every path. Failures are told to the user in message
// boxes (through the message-box seam); the result code is for the caller's logic.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "media/certlist.h"

struct CertListRecord;

namespace v7 {
namespace keyload {

enum : size_t {
  kOutsideCertCapacity = kUsbKeyAreaSize,  // 4,096
  kOutsideKeyCapacity = kUsbKeyAreaSize,   // 4,096
  kPhoneVidRandomCapacity = 128,
  kPhoneSignatureCapacity = 1024,
};

// The selection dialog's buffers for the outside modules. The key and the signature are secrets
// of the user's: the dialog wipes the whole record (outside_buffers_wipe) when it ends.
struct OutsideModuleBuffers {
  UsbKeyBuffers pair;  // certificate and encrypted key, each with its length
  uint8_t vid_random[kPhoneVidRandomCapacity];
  uint32_t vid_random_length;
  uint8_t signature[kPhoneSignatureCapacity];
  uint32_t signature_length;
};
void outside_buffers_wipe(OutsideModuleBuffers *buffers);

// What the paths need of the dialog.
class KeyLoadDialog {
 public:
  virtual ~KeyLoadDialog() = default;
  virtual HWND Window() = 0;
  virtual void EnableWindow(bool enable) = 0;
  virtual void SuspendKeyboardSecurity() = 0;
  virtual void ResumeKeyboardSecurity() = 0;
  // The list view again from the record's list.
  virtual void FillList() = 0;
  virtual void HidePhoneTip() = 0;
  // Ends the dialog as if OK had been pressed.
  virtual void EndWithOk() = 0;
};

// The USB-key path. 0 when the module answered (the record's list then holds its certificate as
// the only entry, media code 256, or nothing when it gave none); kErrModuleLoad when the install
// page was opened instead (module missing, without a version or older than the request's
// minimum); kErrModuleNoSymbol for a missing entry point; kErrInvalidMemoryAccess when a length
// it returned lies outside its buffer (nothing is kept then); kErrInvalidParameter for null
// arguments or a record without a request.
int LoadUbiKeyCertificate(KeyLoadDialog *dialog, CertListRecord *record, OutsideModuleBuffers *buffers);

// The phone path. 0 when the record holds the new stored-signature key object as its signing key
// and the dialog has been ended with OK; kErrModuleLoad when the install page was opened, the
// module did not load or answered with a failure; kErrModuleNoSymbol for a missing entry point;
// kErrInvalidMemoryAccess for a certificate or signature outside its buffer; a key-object code
// when the values do not make one.
int LoadPhoneCertificate(KeyLoadDialog *dialog, CertListRecord *record, OutsideModuleBuffers *buffers);

// The folder the USB-key module is loaded from: the system folder. Test code may name another
// (null restores the system folder); never set from outside input.
void set_usbkey_module_folder(const char *folder);

// "%u.%u.%u.%u" of the file's fixed version numbers into out; 0, or kErrModuleLoad when the file
// has no version resource, kErrInsufficientBuffer when out is too small.
int module_file_version(const char *path, char *out, size_t capacity);

}  // namespace keyload
}  // namespace v7
