// The file cache of fetched CA certificates, CRLs and trust lists. Names come from directory
// names and URLs that certificates carry, so a name is taken only when it is one plain file name:
// joined to the folder it can never point outside it.

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errors/errno_util.h"
#include "pki/asn1/x509_types.h"
#include "pki/ldap/internal.h"
#include "pki/text/codepage.h"
#include "pki/text/files.h"
#include "pki/text/paths.h"

namespace {

struct CacheKind {
  const char *subfolder;
  const char *extension;
  const ASN1_TEMPLATE *read_as;  // null: written only
};

bool cache_kind(int kind, CacheKind *out) {
  switch (kind) {
    case CACHE_KIND_CA_CERT:
      return *out = {"/CA", ".der", &asn1_tmpl_certificate}, true;
    case CACHE_KIND_ROOT_CERT:
      return *out = {"/", ".der", nullptr}, true;
    case CACHE_KIND_CRL:
    case CACHE_KIND_ARL:
      return *out = {"/CRL", ".crl", &asn1_tmpl_certificate_list}, true;
    case CACHE_KIND_TRUST_LIST:
      return *out = {"/CA", ".stl", nullptr}, true;
    default:
      return false;
  }
}

// One file name in the narrow encoding of the setting: no separator, drive colon, "..", wildcard,
// control character or device name.
bool is_safe_name(const char *name) {
  char16_t *wide = nullptr;
  if (setting_to_wide(name, &wide) != 0) return false;
  bool safe = is_safe_file_segment(wide) == 1;
  std::free(wide);
  return safe;
}

// 0, or the code for a name or folder that cannot make a cache path (one separator between the
// subfolder and the name).
int check_parts(const char *name, const char *folder, const CacheKind &k) {
  const size_t name_len = std::strlen(name), folder_len = std::strlen(folder);
  if (name_len > kCacheMaxName || folder_len >= kCacheMaxFolder ||
      folder_len + std::strlen(k.subfolder) + 1 + name_len + std::strlen(k.extension) >= kCacheMaxPath)
    return v7::kErrFilePathTooLong;
  return is_safe_name(name) ? 0 : v7::kErrForbiddenFilePath;
}

}  // namespace

void *cache_read(const char *name, const char *folder, int kind) {
  CacheKind k;
  if (name == nullptr || folder == nullptr || name[0] == '\0' || !cache_kind(kind, &k) ||
      k.read_as == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, (void *)nullptr);
  int rc = check_parts(name, folder, k);
  if (rc != 0) return v7::with_errno(rc, (void *)nullptr);
  const std::string path = std::string(folder) + k.subfolder + "\\" + name + k.extension;
  uint8_t *data = nullptr;
  errno = 0;
  const size_t len = file_read_all(path.c_str(), &data);
  if (len == 0) return v7::with_errno(errno != 0 ? errno : v7::kErrAsn1Decode, (void *)nullptr);
  // A file cut short (a write that died half way) says so, rather than some decoder code.
  uint64_t total = 0;
  rc = v7::ldap::element_frame(data, len, &total);
  void *record = nullptr;
  if (rc != 0 || total > len) {
    rc = v7::kErrAsn1Decode;
  } else {
    record = asn1_decode_alloc(ASN1_MODE_DER, data, k.read_as, len);
    if (record == nullptr) rc = errno;
  }
  std::free(data);
  if (record == nullptr) return v7::with_errno(rc, record);
  return record;
}

int cache_write(const uint8_t *data, const char *name, int kind, const char *folder, size_t length) {
  CacheKind k;
  if (data == nullptr || length == 0 || name == nullptr || folder == nullptr || name[0] == '\0' ||
      !cache_kind(kind, &k))
    return v7::with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  int rc = check_parts(name, folder, k);
  if (rc != 0) return v7::with_errno(rc, rc);
  const std::string dir = std::string(folder) + k.subfolder;
  if (make_dirs(dir.c_str()) != 1) return v7::with_errno(v7::kErrDirCreate, v7::kErrDirCreate);
  const std::string path = dir + "/" + name + k.extension;
  errno = 0;
  if (file_write_all(path.c_str(), data, length) != length) {
    rc = errno != 0 ? errno : v7::kErrFileWrite;
    return v7::with_errno(rc, rc);
  }
  return 0;
}
