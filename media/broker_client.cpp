#include "media/broker_client.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/seal/seal.h"
#include "pki/text/file_broker.h"
#include "pki/text/misc.h"
#include "pki/text/paths.h"
#include "pki/text/strings.h"
#include "platform/fs/fs.h"

namespace {

// The broker is shared by every thread of the process; the lock keeps two first calls from making
// two brokers and a release from pulling it away under a method call. It is recursive because a
// call into the broker (and the error box) runs a message loop, whose windows may ask again.
std::recursive_mutex g_lock;
BrokerConnection *g_broker = nullptr;
BrokerFactory g_factory = broker_platform_factory;

// A sealed blob, wiped and freed on every way out.
struct Sealed {
  uint8_t *bytes = nullptr;
  size_t len = 0;
  ~Sealed() {
    if (bytes != nullptr) {
      v7::secure_wipe(bytes, len);
      std::free(bytes);
    }
  }
  int seal(const void *data, size_t n) {
    return seal_secret(&bytes, &len, static_cast<const uint8_t *>(data), n);
  }
  int seal_path(const char16_t *path) {
    return seal(path, std::char_traits<char16_t>::length(path) * sizeof(char16_t));
  }
};

// Under the lock: the broker, made now when there is none.
BrokerConnection *ensure_broker(void *owner, int32_t *hr) {
  if (g_broker != nullptr) {
    *hr = 0;
    return g_broker;
  }
  BrokerConnection *made = nullptr;
  uint32_t last_error = 0;
  *hr = g_factory(owner, &made, &last_error);
  if (*hr < 0 || made == nullptr) {
    if (*hr >= 0) *hr = int32_t(0x80004005);  // E_FAIL: a factory that made nothing
    if (made != nullptr) made->release();
    win32_error_box(*hr, last_error);
    return nullptr;
  }
  g_broker = made;
  return g_broker;
}

class ClientFileBroker : public FileBroker {
 public:
  int write_file(const char16_t *path, const uint8_t *data, size_t length) override {
    return broker_write_file(path, data, length);
  }
  int make_dir(const char16_t *path) override { return broker_make_dir(path); }
};

ClientFileBroker g_file_broker;

}  // namespace

int32_t broker_create(void *owner_window) {
  std::lock_guard<std::recursive_mutex> hold(g_lock);
  int32_t hr;
  ensure_broker(owner_window, &hr);
  return hr < 0 ? hr : 0;
}

int broker_make_dir(const char16_t *path) {
  if (path == nullptr || path[0] == 0)
    return v7::with_errno(v7::kErrInvalidParameter, int(v7::kErrInvalidParameter));
  if (!is_valid_rel_path(path)) return v7::with_errno(v7::kErrBrokerPath, int(v7::kErrBrokerPath));
  Sealed sealed_path;
  int code = sealed_path.seal_path(path);
  if (code != 0) return v7::with_errno(code, code);
  std::lock_guard<std::recursive_mutex> hold(g_lock);
  int32_t hr;
  BrokerConnection *broker = ensure_broker(nullptr, &hr);
  if (broker == nullptr) return v7::with_errno(v7::kErrBrokerCreate, int(v7::kErrBrokerCreate));
  int32_t answer = broker->make_dir(sealed_path.bytes, sealed_path.len);
  code = answer == kBrokerResultOk || answer == 0 ? 0 : int(v7::kErrBrokerMakeDir);
  return v7::with_errno(code, code);
}

int broker_write_file(const char16_t *path, const uint8_t *data, size_t length) {
  if (path == nullptr || data == nullptr || length == 0 || path[0] == 0) {
    return v7::with_errno(v7::kErrInvalidParameter, int(v7::kErrInvalidParameter));
  }
  if (!is_cert_file_name(path)) return v7::with_errno(v7::kErrBrokerPath, int(v7::kErrBrokerPath));
  Sealed sealed_path, sealed_data;
  int code = sealed_path.seal_path(path);
  if (code == 0) code = sealed_data.seal(data, length);
  if (code != 0) return v7::with_errno(code, code);
  std::lock_guard<std::recursive_mutex> hold(g_lock);
  int32_t hr;
  BrokerConnection *broker = ensure_broker(nullptr, &hr);
  if (broker == nullptr) return v7::with_errno(v7::kErrBrokerCreate, int(v7::kErrBrokerCreate));
  int32_t answer = broker->write_file(sealed_path.bytes, sealed_path.len, sealed_data.bytes, sealed_data.len,
                                      broker_active_window());
  code = answer == kBrokerResultOk ? 0 : int(v7::kErrBrokerWrite);
  return v7::with_errno(code, code);
}

int broker_browse_file(char16_t **path) {
  if (path == nullptr) return v7::with_errno(v7::kErrInvalidParameter, int(v7::kErrInvalidParameter));
  *path = nullptr;
  std::lock_guard<std::recursive_mutex> hold(g_lock);
  int32_t hr;
  BrokerConnection *broker = ensure_broker(nullptr, &hr);
  if (broker == nullptr) return v7::with_errno(v7::kErrBrokerCreate, int(v7::kErrBrokerCreate));
  char16_t documents[kWidePathCapacity];
  if (!platform_fs_shell_folder(kShellFolderDocuments, documents, kWidePathCapacity) || documents[0] == 0) {
    return v7::with_errno(v7::kErrInvalidParameter, int(v7::kErrInvalidParameter));
  }
  Sealed sealed_folder;
  int code = sealed_folder.seal_path(documents);
  if (code != 0) return v7::with_errno(code, code);
  char16_t *chosen = nullptr;
  int32_t answer =
      broker->browse_file(&chosen, sealed_folder.bytes, sealed_folder.len, broker_active_window());
  if (answer != kBrokerResultOk) {
    std::free(chosen);
    code = answer == kBrokerResultCancelled ? int(v7::kErrUserCancelled) : int(v7::kErrBrokerBrowse);
    return v7::with_errno(code, code);
  }
  if (chosen == nullptr) return v7::with_errno(v7::kErrBrokerBrowse, int(v7::kErrBrokerBrowse));
  *path = chosen;
  return v7::with_errno(0, 0);
}

void broker_release() {
  std::lock_guard<std::recursive_mutex> hold(g_lock);
  if (g_broker != nullptr) g_broker->release();
  g_broker = nullptr;
}

FileBroker *broker_file_broker() { return &g_file_broker; }

void broker_set_factory(BrokerFactory factory) {
  broker_release();
  std::lock_guard<std::recursive_mutex> hold(g_lock);
  g_factory = factory != nullptr ? factory : broker_platform_factory;
}
