#include "pki/text/files.h"

#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "platform/osver/os_version.h"
#include "pki/text/file_broker.h"
#include "pki/text/internal.h"
#include "platform/locale/process_words.h"
#include "pki/text/strings.h"
#include "platform/fs/fs.h"

namespace {

class RefusingBroker : public FileBroker {
 public:
  int write_file(const char16_t *, const uint8_t *, size_t) override { return v7::kErrBrokerCreate; }
  int make_dir(const char16_t *) override { return v7::kErrBrokerCreate; }
};

RefusingBroker g_refusing;
FileBroker *g_broker = &g_refusing;

enum class Conv { kOk, kBad, kTooLong };

// Narrow text by codec into a wide buffer of cap units, terminated.
Conv to_wide(v7::Codec from, const char *text, char16_t *out, size_t cap) {
  size_t len = strlen(text);
  size_t need = v7::transcode(from, text, len, v7::Codec::kUtf16, nullptr, 0);
  if (need == v7::kTranscodeFailed) return Conv::kBad;
  if (need >= cap) return Conv::kTooLong;
  v7::transcode(from, text, len, v7::Codec::kUtf16, out, cap);
  out[need] = 0;
  return Conv::kOk;
}

int fs_code(int result) {
  switch (result) {
    case kFsOk:
      return 0;
    case kFsNotFound:
      return v7::kErrFileNotFound;
    case kFsOpenFailed:
      return v7::kErrFileOpen;
    case kFsReadFailed:
      return v7::kErrFileRead;
    case kFsShortWrite:
      return v7::kErrFileWrite;
    case kFsNoMemory:
      return v7::kErrOutOfMemory;
    default:
      return v7::kErrInvalidParameter;
  }
}

bool direct_allowed(const char16_t *wide) {
  return os_version_code() < kOsVista || is_direct_write_path_w(wide);
}

void lower_and_backslash(char16_t *p) {
  for (; *p != 0; p++) {
    if (*p >= u'A' && *p <= u'Z') *p = char16_t(*p + 32);
    if (*p == u'/') *p = u'\\';
  }
}

bool contains(const char16_t *hay, const char16_t *needle) {
  size_t hn = v7::wide_length(hay), n = v7::wide_length(needle);
  if (n == 0 || n > hn) return false;
  for (size_t i = 0; i + n <= hn; i++) {
    if (memcmp(hay + i, needle, n * sizeof(char16_t)) == 0) return true;
  }
  return false;
}

// A UTF-8 path in wide form; sets errno to 33004 (or 1001 when too long) and returns false.
bool utf8_path(const char *path, char16_t *wide) {
  if (path == nullptr) return v7::with_errno(v7::kErrInvalidParameter, false);
  Conv c = to_wide(v7::Codec::kUtf8, path, wide, kWidePathCapacity);
  if (c == Conv::kOk) return true;
  return v7::with_errno(c == Conv::kBad ? v7::kErrUtf8ToWide : v7::kErrInvalidParameter, false);
}

// A yes-or-no question about a UTF-8 path; it answers no to a path that does not convert, and
// leaves errno alone, since a test is no failure.
int on_utf8_path_quietly(const char *path, int (*ask)(const char16_t *)) {
  char16_t wide[kWidePathCapacity];
  int saved = errno;
  int r = utf8_path(path, wide) ? ask(wide) : 0;
  errno = saved;
  return r;
}

size_t read_result(int rc, uint8_t **buffer, uint8_t *data, size_t len) {
  *buffer = data;
  return v7::with_errno(fs_code(rc), rc == kFsOk ? len : 0);
}

// Every "make the folder and its parents" form: path is a mutable copy, cut in place.
template <typename Char, typename IsDir, typename MakeOne>
int make_all(Char *path, IsDir is_dir, MakeOne make_one) {
  if (path[0] == 0 || is_dir(path)) return 1;
  size_t cut = 0;
  for (size_t i = 0; path[i] != 0; i++) {
    if (path[i] == '/' || path[i] == '\\') cut = i;
  }
  if (cut > 0) {
    Char sep = path[cut];
    path[cut] = 0;
    int ok = make_all(path, is_dir, make_one);
    path[cut] = sep;
    if (!ok) return 0;
  }
  return make_one(path);
}

}  // namespace

FileBroker *file_broker() { return g_broker; }
void set_file_broker(FileBroker *broker) { g_broker = broker != nullptr ? broker : &g_refusing; }

unsigned path_code_page() { return language_is_korean() || os_version_code() < kOsWin2000 ? 0 : 51949; }

int is_direct_write_path_w(const char16_t *path) {
  if (path == nullptr) return 0;
  if (os_version_code() < kOsVista) return 1;
  size_t n = v7::wide_length(path);
  if (n >= 3) {
    char16_t root[4] = {path[0], path[1], path[2], 0};
    FsDriveInfo drive{};
    if (platform_fs_drive_info(root, &drive) && drive.removable) return drive.persistent_acls ? 0 : 1;
  }
  char16_t copy[kWidePathCapacity], low[kWidePathCapacity];
  if (n >= kWidePathCapacity) return 0;
  memcpy(copy, path, (n + 1) * sizeof(char16_t));
  if (!platform_fs_profile_folder(low, kWidePathCapacity) || append_low_folder(low) != 0) return 0;
  lower_and_backslash(copy);
  lower_and_backslash(low);
  return contains(copy, low) ? 1 : 0;
}

int is_direct_write_path(const char *path) {
  if (path == nullptr) return 0;
  if (os_version_code() < kOsVista) return 1;
  char16_t wide[kWidePathCapacity];
  if (to_wide(v7::setting_codec(), path, wide, kWidePathCapacity) != Conv::kOk &&
      !platform_fs_ansi_to_wide(path, wide, kWidePathCapacity)) {
    return 0;
  }
  return is_direct_write_path_w(wide);
}

int is_direct_write_path_utf8(const char *path) { return on_utf8_path_quietly(path, is_direct_write_path_w); }

namespace {

// path_to_wide_kind, and its form for reads: a read opens the same file whoever may write it, so
// it skips the write-permission queries (the drive and the profile folder, dear under Wine) and
// never answers kPathBroker. In the Korean branch a read takes the narrow API: the ANSI
// conversion a write would make first is the one that API makes itself.
int wide_kind(const char *path, char16_t *wide, size_t capacity, bool for_write) {
  if (path == nullptr || wide == nullptr || capacity == 0 || strlen(path) >= capacity) {
    return v7::with_errno(v7::kErrInvalidParameter, -1);
  }
  auto writable_kind = [&] { return !for_write || direct_allowed(wide) ? kPathWide : kPathBroker; };
  int conversion_code = 0;
  if (char_encoding_is_utf8()) {
    Conv c = to_wide(v7::Codec::kUtf8, path, wide, capacity);
    if (c == Conv::kTooLong) return v7::with_errno(v7::kErrInvalidParameter, -1);
    if (c == Conv::kOk) return v7::with_errno(0, writable_kind());
    conversion_code = v7::kErrUtf8ToWide;
  }
  if (os_version_code() <= kOsWin98Me) return v7::with_errno(conversion_code, int(kPathNarrow));
  if (!language_is_korean()) {
    if (to_wide(v7::Codec::kCp949, path, wide, capacity) == Conv::kOk) {
      return v7::with_errno(conversion_code, writable_kind());
    }
    return v7::with_errno(conversion_code != 0 ? conversion_code : v7::kErrEuckrToWide, int(kPathNarrow));
  }
  if (!for_write || is_direct_write_path(path)) return v7::with_errno(conversion_code, int(kPathNarrow));
  if (platform_fs_ansi_to_wide(path, wide, capacity))
    return v7::with_errno(conversion_code, int(kPathBroker));
  return v7::with_errno(conversion_code, int(kPathNarrow));
}

int read_kind(const char *path, char16_t *wide, size_t capacity) { return wide_kind(path, wide, capacity, false); }

}  // namespace

int path_to_wide_kind(const char *path, char16_t *wide, size_t capacity) {
  return wide_kind(path, wide, capacity, true);
}

int path_to_wide_kind_utf8(const char *path, char16_t *wide, size_t capacity) {
  if (path == nullptr || wide == nullptr || capacity == 0)
    return v7::with_errno(v7::kErrInvalidParameter, -1);
  Conv c = to_wide(v7::Codec::kUtf8, path, wide, capacity);
  if (c == Conv::kTooLong) return v7::with_errno(v7::kErrInvalidParameter, -1);
  if (c == Conv::kBad) return v7::with_errno(v7::kErrUtf8ToWide, -1);
  return v7::with_errno(0, direct_allowed(wide) ? int(kPathWide) : int(kPathBroker));
}

size_t file_read_all_w(const char16_t *path, uint8_t **buffer) {
  if (buffer != nullptr) *buffer = nullptr;
  if (path == nullptr || buffer == nullptr || path[0] == 0 || v7::wide_length(path) >= kWidePathCapacity) {
    return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  }
  uint8_t *data = nullptr;
  size_t len = 0;
  int rc = platform_fs_read_all_w(path, &data, &len);
  return read_result(rc, buffer, data, len);
}

size_t file_read_all(const char *path, uint8_t **buffer) {
  if (buffer != nullptr) *buffer = nullptr;
  if (path == nullptr || buffer == nullptr || path[0] == 0)
    return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  char16_t wide[kWidePathCapacity];
  int kind = read_kind(path, wide, kWidePathCapacity);
  if (kind < 0) return 0;
  uint8_t *data = nullptr;
  size_t len = 0;
  int rc = kind == kPathNarrow ? platform_fs_read_all(path, &data, &len)
                               : platform_fs_read_all_w(wide, &data, &len);
  return read_result(rc, buffer, data, len);
}

size_t file_read_all_utf8(const char *path, uint8_t **buffer) {
  if (buffer != nullptr) *buffer = nullptr;
  char16_t wide[kWidePathCapacity];
  if (buffer == nullptr) return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  return utf8_path(path, wide) ? file_read_all_w(wide, buffer) : 0;
}

size_t file_write_all_w(const char16_t *path, const uint8_t *data, size_t length) {
  if (path == nullptr || path[0] == 0 || (data == nullptr && length != 0) ||
      v7::wide_length(path) >= kWidePathCapacity) {
    return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  }
  int code = direct_allowed(path) ? fs_code(platform_fs_write_all_w(path, data, length))
                                  : g_broker->write_file(path, data, length);
  return v7::with_errno(code, code == 0 ? length : 0);
}

size_t file_write_all(const char *path, const uint8_t *data, size_t length) {
  if (path == nullptr || path[0] == 0 || (data == nullptr && length != 0)) {
    return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  }
  char16_t wide[kWidePathCapacity];
  int kind = path_to_wide_kind(path, wide, kWidePathCapacity);
  int code = kind < 0              ? v7::kErrInvalidParameter
             : kind == kPathNarrow ? fs_code(platform_fs_write_all(path, data, length))
             : kind == kPathWide   ? fs_code(platform_fs_write_all_w(wide, data, length))
                                   : g_broker->write_file(wide, data, length);
  return v7::with_errno(code, code == 0 ? length : 0);
}

size_t file_write_all_utf8(const char *path, const uint8_t *data, size_t length) {
  char16_t wide[kWidePathCapacity];
  return utf8_path(path, wide) ? file_write_all_w(wide, data, length) : 0;
}

int file_exists_w(const char16_t *path) { return path != nullptr && platform_fs_exists_w(path) ? 1 : 0; }

int file_exists(const char *path) {
  char16_t wide[kWidePathCapacity];
  int saved = errno;
  int kind = path != nullptr ? read_kind(path, wide, kWidePathCapacity) : -1;
  errno = saved;
  if (kind < 0) return 0;
  return (kind == kPathNarrow ? platform_fs_exists(path) : platform_fs_exists_w(wide)) ? 1 : 0;
}

int file_exists_utf8(const char *path) { return on_utf8_path_quietly(path, file_exists_w); }

namespace {

// An operation the process makes itself: the broker can neither remove nor overwrite.
int direct_only(const char *path, bool (*narrow)(const char *), bool (*wide)(const char16_t *)) {
  char16_t converted[kWidePathCapacity];
  int kind = path != nullptr && path[0] != 0 ? path_to_wide_kind(path, converted, kWidePathCapacity) : -1;
  if (kind < 0) return 0;
  if (kind == kPathBroker) return v7::with_errno(v7::kErrBrokerPath, 0);
  return (kind == kPathNarrow ? narrow(path) : wide(converted)) ? 1 : 0;
}

}  // namespace

int file_remove(const char *path) { return direct_only(path, platform_fs_remove, platform_fs_remove_w); }
int file_overwrite(const char *path) {
  return direct_only(path, platform_fs_overwrite, platform_fs_overwrite_w);
}
int dir_remove(const char *path) {
  return direct_only(path, platform_fs_remove_dir, platform_fs_remove_dir_w);
}

int make_dir_w(const char16_t *path) {
  if (path == nullptr || path[0] == 0 || v7::wide_length(path) >= kWidePathCapacity) return 0;
  if (platform_fs_is_dir_w(path)) return 1;
  if (direct_allowed(path)) return platform_fs_make_dir_w(path) ? 1 : 0;
  return g_broker->make_dir(path) == 0 ? 1 : 0;
}

int make_dir(const char *path) {
  char16_t wide[kWidePathCapacity];
  int kind = path != nullptr && path[0] != 0 ? path_to_wide_kind(path, wide, kWidePathCapacity) : -1;
  if (kind < 0) return 0;
  if (kind == kPathNarrow) return platform_fs_make_dir(path) ? 1 : 0;
  if (platform_fs_is_dir_w(wide)) return 1;
  if (kind == kPathWide) return platform_fs_make_dir_w(wide) ? 1 : 0;
  return g_broker->make_dir(wide) == 0 ? 1 : 0;
}

int make_dir_utf8(const char *path) {
  char16_t wide[kWidePathCapacity];
  return utf8_path(path, wide) ? make_dir_w(wide) : 0;
}

int make_dirs_w(const char16_t *path) {
  char16_t copy[kWidePathCapacity];
  if (path == nullptr || wstr_copy_s(kWidePathCapacity, path, copy) != 0) return 0;
  return make_all(copy, platform_fs_is_dir_w, make_dir_w);
}

int make_dirs(const char *path) {
  char copy[kWidePathCapacity * 3];  // a narrow character takes up to 3 bytes of UTF-8
  if (path == nullptr || str_copy_s(sizeof(copy), path, copy) != 0) return 0;
  auto is_dir = [](const char *p) {
    char16_t wide[kWidePathCapacity];
    int saved = errno;
    int kind = read_kind(p, wide, kWidePathCapacity);
    errno = saved;
    return kind == kPathNarrow ? platform_fs_is_dir(p) : kind > 0 && platform_fs_is_dir_w(wide);
  };
  return make_all(copy, is_dir, make_dir);
}

int make_dirs_utf8(const char *path) {
  char16_t wide[kWidePathCapacity];
  return utf8_path(path, wide) ? make_dirs_w(wide) : 0;
}
