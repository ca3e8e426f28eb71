// Reading the parts of a chosen entry: its signing and key-management certificates and keys.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "media/certlist.h"
#include "media/internal.h"
#include "pki/text/files.h"
#include "platform/errors/errno_util.h"

namespace {

enum Part : int { kSignCert = 0, kSignKey, kKmCert, kKmKey };

constexpr uint32_t kFlags[] = {kPartSignCert, kPartSignKey, kPartKmCert, kPartKmKey};
constexpr int kMissing[] = {v7::kErrNoSignCertPart, v7::kErrNoSignKeyPart, v7::kErrNoKmCertPart,
                            v7::kErrNoKmKeyPart};
constexpr const char *kFileNames[] = {"signCert.der", "signPri.key", "kmCert.der", "kmPri.key"};

size_t fail(int code) { return v7::with_errno(code, size_t(0)); }

size_t read_folder_part(const CERT_ENTRY *entry, Part part, uint8_t **out) {
  const char *folder = static_cast<const char *>(entry->medium_data);
  if (folder == nullptr) return fail(v7::kErrInvalidParameter);
  std::string path(folder);
  path += '/';
  path += kFileNames[part];
  if (path.size() > v7::certlist::kMaxPath) return fail(v7::kErrFilePathTooLong);
  return file_read_all(path.c_str(), out);
}

size_t copy_out(const uint8_t *data, size_t len, uint8_t **out) {
  if (data == nullptr) return fail(v7::kErrInternal);
  *out = v7::certlist::copy_bytes(data, len);
  return *out != nullptr ? v7::with_errno(0, len) : 0;
}

size_t read_memory_part(const CERT_ENTRY *entry, Part part, uint8_t **out) {
  const auto *pair = static_cast<const MemoryCertPair *>(entry->medium_data);
  if (pair == nullptr) return fail(v7::kErrInternal);
  if (part == kSignCert) return copy_out(pair->first, pair->first_length, out);
  // The USB-key pair's second buffer is the key; the memory pair's is the key-management
  // certificate. The part flags already refused the other parts.
  if (entry->media_code == kMediumUsbKey ? part == kSignKey : part == kKmCert) {
    return copy_out(pair->second, pair->second_length, out);
  }
  return fail(kMissing[part]);
}

size_t read_part(const CERT_ENTRY *entry, Part part, uint8_t **out) {
  if (entry == nullptr || out == nullptr) return fail(v7::kErrInvalidParameter);
  *out = nullptr;
  const uint32_t code = entry->media_code;
  if (code != kMediumToken && code != kMediumSecureDisk && (entry->parts & kFlags[part]) == 0) {
    return fail(kMissing[part]);
  }
  switch (code) {
    case kMediumHardDisk:
    case kMediumRemovable:
    case 64:
    case 128:
      return read_folder_part(entry, part, out);
    case kMediumToken:
      return v7::certlist::read_token_part(entry, part, out);
    case kMediumSmartCard:
      return v7::certlist::read_card_part(entry, part, out);
    case kMediumSecureDisk:
      return v7::certlist::read_securedisk_part(entry, part, out);
    case kMediumUsbKey:
    case kMediumMemory:
      return read_memory_part(entry, part, out);
    default:
      return fail(v7::kErrNoPartReader);
  }
}

}  // namespace

size_t cert_read_sign_cert(const CERT_ENTRY *entry, uint8_t **out) {
  return read_part(entry, kSignCert, out);
}
size_t cert_read_sign_key(const CERT_ENTRY *entry, uint8_t **out) { return read_part(entry, kSignKey, out); }
size_t cert_read_km_cert(const CERT_ENTRY *entry, uint8_t **out) { return read_part(entry, kKmCert, out); }
size_t cert_read_km_key(const CERT_ENTRY *entry, uint8_t **out) { return read_part(entry, kKmKey, out); }
