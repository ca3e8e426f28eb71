// The USB-key path: the module copies the certificate and the encrypted key off the key; they
// become the list's only entry, and the key object is made from them on OK.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>

#include "crypto/base/wipe.h"
#include "media/certlist.h"
#include "media/selection_record.h"
#include "platform/errors/error_codes.h"
#include "platform/module/module.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/keyload/internal.h"
#include "wizard/keyload/outside_key_load.h"
#include "wizard/keyload/outside_modules.h"
#include "wizard/records/request_record.h"

namespace v7 {
namespace keyload {
namespace {

// Owned copy of the test folder; null: the system folder.
std::atomic<char *> g_folder{nullptr};

const char kNoTranx2PC[] = "lpTranx2PC ProcAddress load 실패";
const char kNoGetCert[] = "lpGetCert ProcAddress load 실패";
const char kNoGetKey[] = "lpGetKey ProcAddress load 실패";

// The module is looked for in one folder by its full path: a bare name would let the loader take
// a planted file of that name from the program's or the current folder.
std::string module_path() {
  const char *folder = g_folder.load();
  std::string path;
  if (folder != nullptr) {
    path = folder;
  } else {
    char system[MAX_PATH];
    const UINT n = ::GetSystemDirectoryA(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return {};
    path.assign(system, n);
  }
  return path + "\\" V7_USBKEY_MODULE_FILE;
}

// A length the module returned, taken only when it lies inside the buffer.
bool length_inside(int32_t length, size_t capacity, uint32_t *out) {
  if (length < 0 || size_t(length) > capacity) return false;
  *out = uint32_t(length);
  return true;
}

// Calls GetCert and GetKey; 0, kErrModuleNoSymbol (its box shown) or kErrInvalidMemoryAccess.
int take_pair(const ModuleHold &module, UsbKeyBuffers *pair) {
  auto get_cert = reinterpret_cast<UsbKeyGetFn>(module.symbol("GetCert"));
  if (get_cert == nullptr) {
    show_text(kNoGetCert, MB_OK);
    return kErrModuleNoSymbol;
  }
  const int32_t cert_length = get_cert(pair->cert, int32_t(sizeof(pair->cert)));
  auto get_key = reinterpret_cast<UsbKeyGetFn>(module.symbol("GetKey"));
  if (get_key == nullptr) {
    show_text(kNoGetKey, MB_OK);
    return kErrModuleNoSymbol;
  }
  const int32_t key_length = get_key(pair->key, int32_t(sizeof(pair->key)));
  if (!length_inside(cert_length, sizeof(pair->cert), &pair->cert_length) ||
      !length_inside(key_length, sizeof(pair->key), &pair->key_length)) {
    // Whatever the module wrote is dropped with the key bytes in it.
    secure_wipe(pair, sizeof(*pair));
    return kErrInvalidMemoryAccess;
  }
  return 0;
}

}  // namespace

void set_usbkey_module_folder(const char *folder) {
  char *copy = folder != nullptr ? _strdup(folder) : nullptr;
  free(g_folder.exchange(copy));
}

int LoadUbiKeyCertificate(KeyLoadDialog *dialog, CertListRecord *record, OutsideModuleBuffers *buffers) {
  if (dialog == nullptr || record == nullptr || record->request == nullptr || record->list == nullptr ||
      buffers == nullptr)
    return kErrInvalidParameter;
  const RelayRequestRecord *request = record->request;
  const std::string path = module_path();
  LoadedModule *loaded = nullptr;
  if (path.empty() || version_gate(path, request_text(request->usbkey_min_version)) != 0 ||
      (loaded = module_load(path.c_str())) == nullptr) {
    dialogs::open_web_page(request, 32);
    return kErrModuleLoad;
  }
  int code = 0;
  {
    ModuleHold module(loaded);
    auto tranx = reinterpret_cast<Tranx2PCFn>(module.symbol("Tranx2PC"));
    if (tranx == nullptr) {
      show_text(kNoTranx2PC, MB_OK);
      return kErrModuleNoSymbol;
    }
    SuspendedKeyboard<KeyLoadDialog> keyboard(dialog);
    buffers->pair.cert_length = 0;
    buffers->pair.key_length = 0;
    // The module seam's handle is the HMODULE itself on Windows.
    if (tranx(reinterpret_cast<HMODULE>(module.get()), dialog->Window(), request_text(request->usbkey_transfer_text),
              request_text(request->usbkey_text2)) == 0)
      code = take_pair(module, &buffers->pair);
    if (code == kErrModuleNoSymbol) return code;
    // Unloaded before the list is rebuilt, as the module is needed no more.
  }
  certlist_free(record->list);
  record->current = nullptr;
  record->chosen = nullptr;
  if (buffers->pair.cert_length != 0) record->current = certlist_load_usbkey(record->list, &buffers->pair);
  dialog->FillList();
  return code;
}

}  // namespace keyload
}  // namespace v7
