// The phone path: the phone-relay module fetches the certificate, the VID random value and a
// signature from the user's phone; they become a stored-signature key object, and the dialog
// ends as if OK had been pressed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "crypto/base/wipe.h"
#include "media/selection_record.h"
#include "pki/keys/keyobj.h"
#include "pki/validation/valcfg.h"
#include "platform/errors/error_codes.h"
#include "platform/module/module.h"
#include "wizard/dialogs/text_setters.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/keyload/internal.h"
#include "wizard/keyload/outside_key_load.h"
#include "wizard/keyload/outside_modules.h"
#include "wizard/records/request_record.h"

namespace v7 {
namespace keyload {
namespace {

const char kNotLoaded[] = "[Palmtrus] 휴대폰 전자서명 라이브리러리 로드 실패";
const char kNoInit[] = "[Palmtrus] XcInitEx ProcAddress 로드 실패";
const char kNoClose[] = "[Palmtrus] XcClose ProcAddress 로드 실패";
const char kNoSignature[] = "[Palmtrus] XcGetSignatureFirst ProcAddress 로드 실패";
const char kCertNotReceived[] = "휴대폰으로부터 인증서를 전송받는데 실패하였습니다.";
const char kSignatureNotReceived[] = "휴대폰으로부터 전자서명값을 전송받는데 실패하였습니다.";

enum : size_t { kFailureTextCapacity = 2048 };

// "<ProgramFiles>\Palmtrus\Phone Relay", or the same under the Windows drive's "Program Files".
std::string phone_folder() {
  char buffer[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableA("ProgramFiles", buffer, MAX_PATH);
  if (n != 0 && n < MAX_PATH) return std::string(buffer, n) + "\\Palmtrus\\Phone Relay";
  char windows[MAX_PATH];
  const UINT w = ::GetWindowsDirectoryA(windows, MAX_PATH);
  if (w == 0 || w >= MAX_PATH) return {};
  return std::string(1, windows[0]) + ":\\Program Files\\Palmtrus\\Phone Relay";
}

// The probe file must carry a new enough version and load; it is unloaded at once.
bool relay_installed(const std::string &folder, const RelayRequestRecord *request) {
  if (folder.empty()) return false;
  const std::string probe = folder + "\\" V7_PHONE_PROBE_FILE;
  if (version_gate(probe, request_text(request->phone_min_version)) != 0) return false;
  LoadedModule *module = module_load(probe.c_str());
  module_close(module);
  return module != nullptr;
}

// Copies a blob of 1 to capacity bytes; false for any other length or no bytes.
bool take_blob(const PhoneBlob &blob, size_t capacity, uint8_t *out, uint32_t *out_length) {
  if (blob.length <= 0 || size_t(blob.length) > capacity || blob.data == nullptr) return false;
  memcpy(out, blob.data, size_t(blob.length));
  *out_length = uint32_t(blob.length);
  return true;
}

// The failure's text is made before XcClose, which releases the module's message.
struct FailureText {
  FailureText(const char *step, const PhoneModuleResult &result) {
    const int n = std::snprintf(text, sizeof(text), "Palmtrus Error (%s): %s (%d)", step,
                                result.message != nullptr ? result.message : "", int(result.code));
    if (n < 0) text[0] = '\0';
  }
  void show() const {
    if (text[0] != '\0') dialogs::MessageBoxEuckr(text);
  }
  char text[kFailureTextCapacity];
};

// Everything from loading the module to copying its values; the module is closed on return.
int fetch_from_phone(KeyLoadDialog *dialog, const RelayRequestRecord *request, const std::string &folder,
                     const char *ca_names, OutsideModuleBuffers *buffers) {
  LoadedModule *loaded = module_load((folder + "\\" V7_PHONE_MODULE_FILE).c_str());
  if (loaded == nullptr) {
    show_text(kNotLoaded, MB_OK);
    return kErrModuleLoad;
  }
  ModuleHold module(loaded);
  auto init = reinterpret_cast<XcInitExFn>(module.symbol("XcInitEx"));
  if (init == nullptr) {
    show_text(kNoInit, MB_OK);
    return kErrModuleNoSymbol;
  }
  auto close = reinterpret_cast<XcCloseFn>(module.symbol("XcClose"));
  if (close == nullptr) {
    show_text(kNoClose, MB_OK);
    return kErrModuleNoSymbol;
  }
  const HWND window = dialog->Window();
  PhoneModuleResult result = init(ca_names, request_text(request->phone_text), window);
  if (result.code < 0) {
    const int32_t failed = result.code;
    const FailureText text("XcInitEx", result);
    close(&result);
    // The user stopped it on the phone or closed its window: nothing to tell.
    if (failed != kPhoneCodeCancelled && failed != kPhoneCodeClosed) text.show();
    return kErrModuleLoad;
  }
  auto sign = reinterpret_cast<XcGetSignatureFirstFn>(module.symbol("XcGetSignatureFirst"));
  if (sign == nullptr) {
    close(&result);
    show_text(kNoSignature, MB_OK);
    return kErrModuleNoSymbol;
  }
  result = sign(kPhoneSignMode, 0, nullptr, nullptr, window);
  if (result.code < 0) {
    const FailureText text("XcGetSignatureFirst", result);
    close(&result);
    text.show();
    return kErrModuleLoad;
  }
  buffers->pair.cert_length = 0;
  buffers->vid_random_length = 0;
  buffers->signature_length = 0;
  int code = 0;
  if (!take_blob(result.certificate, sizeof(buffers->pair.cert), buffers->pair.cert, &buffers->pair.cert_length)) {
    code = kErrInvalidMemoryAccess;
  } else if (!take_blob(result.signature, sizeof(buffers->signature), buffers->signature,
                        &buffers->signature_length)) {
    code = kErrInvalidMemoryAccess;
  }
  // A VID random value longer than the dialog's buffer is left out, not cut.
  if (code == 0 && result.vid_random.length > 0 &&
      !take_blob(result.vid_random, sizeof(buffers->vid_random), buffers->vid_random, &buffers->vid_random_length))
    buffers->vid_random_length = 0;
  close(&result);
  if (code != 0) {
    // The module's values are gone with the session; what the buffers got is dropped too.
    show_text(buffers->pair.cert_length == 0 ? kCertNotReceived : kSignatureNotReceived, MB_ICONHAND);
    outside_buffers_wipe(buffers);
  }
  return code;
}

// The stored-signature key object from the buffers; null with the code in errno.
PRIVATE_KEY_CTX *make_signature_key(const OutsideModuleBuffers *buffers) {
  PRIVATE_KEY_CTX *key = keyobj_new_type3();
  if (key == nullptr) return nullptr;
  KEYOBJ_BYTES signature{buffers->signature, buffers->signature_length};
  int code = keyobj_set_certificate(key, buffers->pair.cert, buffers->pair.cert_length, 0);
  if (code == 0) code = keyobj_set_buffer(key, buffers->vid_random, buffers->vid_random_length);
  if (code == 0) code = keyobj_control(key, KEYOBJ_CTRL_SET_SIGNATURE, &signature, nullptr);
  if (code == 0) return key;
  keyobj_delete(key);
  errno = code;
  return nullptr;
}

}  // namespace

int LoadPhoneCertificate(KeyLoadDialog *dialog, CertListRecord *record, OutsideModuleBuffers *buffers) {
  if (dialog == nullptr || record == nullptr || record->request == nullptr || buffers == nullptr)
    return kErrInvalidParameter;
  const RelayRequestRecord *request = record->request;
  const std::string folder = phone_folder();
  if (!relay_installed(folder, request)) {
    dialogs::open_web_page(request, 16);
    return kErrModuleLoad;
  }
  char *ca_names = nullptr;
  if (request->phone_gets_policies != 0 && ca_names_list(request_text(request->accepted_policies), &ca_names) != 0)
    ca_names = nullptr;
  int code = 0;
  {
    dialog->EnableWindow(false);
    SuspendedKeyboard<KeyLoadDialog> keyboard(dialog);
    code = fetch_from_phone(dialog, request, folder, ca_names, buffers);
    dialog->EnableWindow(true);
    if (code == 0) {
      PRIVATE_KEY_CTX *key = make_signature_key(buffers);
      if (key == nullptr) {
        code = errno != 0 ? errno : kErrOutOfMemory;
        // Values the key objects cannot hold (a certificate that does not decode, a VID random
        // value past their bound) are as good as none received.
        show_text(kCertNotReceived, MB_ICONHAND);
        outside_buffers_wipe(buffers);
      } else {
        keyobj_delete(record->sign_key);
        record->sign_key = key;
      }
    }
  }
  free(ca_names);
  dialog->HidePhoneTip();
  if (code == 0) dialog->EndWithOk();
  return code;
}

}  // namespace keyload
}  // namespace v7
