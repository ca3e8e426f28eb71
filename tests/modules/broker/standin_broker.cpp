#include "tests/modules/broker/standin_broker.h"

#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "crypto/seal/seal.h"
#include "platform/fs/fs.h"

namespace {

const int32_t kRefused = 1;  // any word but success is a failure to the client

// The opened bytes of a blob, wiped on the way out; false when the blob does not open.
struct Opened {
  uint8_t *bytes = nullptr;
  size_t len = 0;
  ~Opened() {
    if (bytes != nullptr) {
      v7::secure_wipe(bytes, len);
      std::free(bytes);
    }
  }
  bool open(const uint8_t *blob, size_t n) { return seal_open(&bytes, &len, blob, n) == 0; }
  // A path travels as its UTF-16 bytes without terminator.
  bool as_path(std::u16string *out) const {
    if (len == 0 || len % 2 != 0) return false;
    out->assign(len / 2, u'\0');
    memcpy(&(*out)[0], bytes, len);
    return out->find(u'\0') == std::u16string::npos;
  }
};

// A path relative to the broker's root, placed under the stand-in's root.
std::u16string under(const std::u16string &root, const std::u16string &path) {
  return !root.empty() && !path.empty() && path[0] == u'\\' ? root + path : path;
}

}  // namespace

StandinBroker StandinFactory::broker;
int StandinFactory::created = 0;
bool StandinFactory::fail = false;

int32_t StandinFactory::make(void *, BrokerConnection **out, uint32_t *last_error) {
  *out = nullptr;
  *last_error = 0;
  if (fail) return int32_t(0x800401EA);  // MK_E_CONNECTMANUALLY
  created++;
  *out = &broker;
  return 0;
}

int32_t StandinBroker::make_dir(const uint8_t *sealed_path, size_t path_len) {
  calls++;
  if (force) return forced_word;
  Opened blob;
  std::u16string path;
  if (!blob.open(sealed_path, path_len) || !blob.as_path(&path)) return kRefused;
  dirs.push_back(path);
  return platform_fs_make_dir_w(under(root, path).c_str()) ? kBrokerResultOk : kRefused;
}

int32_t StandinBroker::write_file(const uint8_t *sealed_path, size_t path_len, const uint8_t *sealed_data,
                                  size_t data_len, void *) {
  calls++;
  if (force) return forced_word;
  Opened path_blob, data_blob;
  std::u16string path;
  if (!path_blob.open(sealed_path, path_len) || !path_blob.as_path(&path)) return kRefused;
  if (!data_blob.open(sealed_data, data_len)) return kRefused;
  written.push_back(path);
  last_data.assign(data_blob.bytes, data_blob.bytes + data_blob.len);
  return platform_fs_write_all_w(under(root, path).c_str(), data_blob.bytes, data_blob.len) == kFsOk
             ? kBrokerResultOk
             : kRefused;
}

int32_t StandinBroker::browse_file(char16_t **chosen, const uint8_t *sealed_folder, size_t folder_len,
                                   void *) {
  calls++;
  *chosen = nullptr;
  if (force) return forced_word;
  Opened blob;
  std::u16string folder;
  if (!blob.open(sealed_folder, folder_len) || !blob.as_path(&folder)) return kRefused;
  browsed.push_back(folder);
  if (choice.empty()) return kBrokerResultCancelled;
  *chosen = static_cast<char16_t *>(std::malloc((choice.size() + 1) * sizeof(char16_t)));
  if (*chosen == nullptr) return kRefused;
  memcpy(*chosen, choice.c_str(), (choice.size() + 1) * sizeof(char16_t));
  return kBrokerResultOk;
}
