// POSIX side: wide paths become UTF-8, and '\' separates folders as '/' does, since the toolkit
// builds Windows paths. There are no drives, integrity levels or ANSI code pages here.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/fs/internal.h"
#include "platform/fs/utf.h"

namespace {

std::string native_path(const char *path) {
  std::string s(path);
  for (char &c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

// Strict UTF-16 to UTF-8, with '\' as '/'; false for a lone surrogate.
bool wide_path(const char16_t *path, std::string *out) {
  if (!v7::utf16_to_utf8(path, out)) return false;
  *out = native_path(out->c_str());
  return true;
}

int read_all(const std::string &path, uint8_t **data, size_t *len) {
  *data = nullptr;
  *len = 0;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? kFsNotFound : kFsOpenFailed;
  struct stat st;
  int rc = kFsOk;
  uint8_t *buf = nullptr;
  size_t got = 0;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    rc = kFsReadFailed;
  } else if (st.st_size > 0) {
    size_t size = size_t(st.st_size);
    buf = static_cast<uint8_t *>(malloc(size));
    if (buf == nullptr) rc = kFsNoMemory;
    while (rc == kFsOk && got < size) {
      ssize_t n = read(fd, buf + got, size - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) rc = kFsReadFailed;  // the file shrank or the read failed
      if (n > 0) got += size_t(n);
    }
  }
  close(fd);
  if (rc != kFsOk) {
    free(buf);
    return rc;
  }
  *data = buf;
  *len = got;
  return kFsOk;
}

bool write_fd(int fd, const void *data, size_t len) {
  const uint8_t *p = static_cast<const uint8_t *>(data);
  while (len > 0) {
    ssize_t n = write(fd, p, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    len -= size_t(n);
  }
  return true;
}

int write_all(const std::string &path, const void *data, size_t len) {
  std::string tmp = path + ".v7tmp";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return kFsOpenFailed;
  bool ok = write_fd(fd, data, len) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (ok && rename(tmp.c_str(), path.c_str()) == 0) return kFsOk;
  unlink(tmp.c_str());
  return kFsShortWrite;
}

bool stat_path(const std::string &path, bool want_dir) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && (!want_dir || S_ISDIR(st.st_mode));
}

bool make_dir(const std::string &path) { return mkdir(path.c_str(), 0700) == 0 || stat_path(path, true); }

bool overwrite(const std::string &path) {
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT;
  struct stat st;
  bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  static const uint8_t kZeros[4096] = {};
  for (off_t left = ok ? st.st_size : 0; ok && left > 0;) {
    const size_t n = left < off_t(sizeof kZeros) ? size_t(left) : sizeof kZeros;
    ok = write_fd(fd, kZeros, n);
    left -= off_t(n);
  }
  ok = ok && fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

bool remove_dir(const std::string &path) { return rmdir(path.c_str()) == 0 || errno == ENOENT; }

}  // namespace

int platform_fs_read_all(const char *path, uint8_t **data, size_t *len) {
  return read_all(native_path(path), data, len);
}
int platform_fs_read_all_w(const char16_t *path, uint8_t **data, size_t *len) {
  std::string p;
  *data = nullptr;
  *len = 0;
  return wide_path(path, &p) ? read_all(p, data, len) : kFsBadPath;
}

int platform_fs_write_all(const char *path, const void *data, size_t len) {
  return write_all(native_path(path), data, len);
}
int platform_fs_write_all_w(const char16_t *path, const void *data, size_t len) {
  std::string p;
  return wide_path(path, &p) ? write_all(p, data, len) : kFsBadPath;
}

bool platform_fs_exists(const char *path) { return stat_path(native_path(path), false); }
bool platform_fs_exists_w(const char16_t *path) {
  std::string p;
  return wide_path(path, &p) && stat_path(p, false);
}
bool platform_fs_is_dir(const char *path) { return stat_path(native_path(path), true); }
bool platform_fs_is_dir_w(const char16_t *path) {
  std::string p;
  return wide_path(path, &p) && stat_path(p, true);
}

bool platform_fs_remove(const char *path) {
  return unlink(native_path(path).c_str()) == 0 || errno == ENOENT;
}
bool platform_fs_remove_w(const char16_t *path) {
  std::string p;
  return wide_path(path, &p) && (unlink(p.c_str()) == 0 || errno == ENOENT);
}
bool platform_fs_overwrite(const char *path) { return overwrite(native_path(path)); }
bool platform_fs_overwrite_w(const char16_t *path) {
  std::string p;
  return wide_path(path, &p) && overwrite(p);
}
bool platform_fs_remove_dir(const char *path) { return remove_dir(native_path(path)); }
bool platform_fs_remove_dir_w(const char16_t *path) {
  std::string p;
  return wide_path(path, &p) && remove_dir(p);
}
bool platform_fs_make_dir(const char *path) { return make_dir(native_path(path)); }
bool platform_fs_make_dir_w(const char16_t *path) {
  std::string p;
  return wide_path(path, &p) && make_dir(p);
}

namespace {

// Calls visit(name, is_dir) for each entry but "." and ".." until it returns false.
template <typename Visit>
bool walk(const std::string &dir, Visit visit) {
  DIR *d = opendir(dir.c_str());
  if (d == nullptr) return false;
  for (struct dirent *e = readdir(d); e != nullptr; e = readdir(d)) {
    if (strcmp(e->d_name, ".") == 0 || strcmp(e->d_name, "..") == 0) continue;
    if (!visit(e->d_name, stat_path(dir + "/" + e->d_name, true))) break;
  }
  closedir(d);
  return true;
}

}  // namespace

bool platform_fs_walk_w(const char16_t *dir, FsVisit visit, void *ctx) {
  std::string p;
  if (!wide_path(dir, &p)) return false;
  std::u16string name;
  return walk(p, [&](const char *n, bool is_dir) {
    // A name that is not UTF-8 was not written by this system and has no wide form: skip it.
    return !v7::utf8_to_utf16(n, &name) || visit(name.c_str(), is_dir, ctx);
  });
}

bool platform_fs_walk(const char *dir, FsVisitNarrow visit, void *ctx) {
  return walk(native_path(dir), [&](const char *n, bool is_dir) { return visit(n, is_dir, ctx); });
}

bool platform_fs_drive_info(const char16_t *root, FsDriveInfo *out) {
  const FsQueryHooks *h = v7::fs_internal::query_hooks();
  if (h != nullptr && h->drive_info != nullptr) return h->drive_info(root, out);
  out->removable = false;
  out->persistent_acls = true;
  return true;
}

bool platform_fs_profile_folder(char16_t *out, size_t cap) {
  const FsQueryHooks *h = v7::fs_internal::query_hooks();
  if (h != nullptr && h->profile_folder != nullptr) return h->profile_folder(out, cap);
  const char *home = getenv("HOME");
  if (home == nullptr || cap == 0 || strlen(home) >= cap) return false;
  size_t i = 0;
  for (; home[i] != 0; i++) {
    if (uint8_t(home[i]) >= 0x80) return false;
    out[i] = char16_t(home[i]);
  }
  out[i] = 0;
  return true;
}

// The narrow API here takes bytes as they are; ASCII is the only text both sides read the same.
bool platform_fs_ansi_to_wide(const char *text, char16_t *out, size_t cap) {
  size_t n = strlen(text);
  if (n >= cap) return false;
  for (size_t i = 0; i < n; i++) {
    if (uint8_t(text[i]) >= 0x80) return false;
    out[i] = char16_t(text[i]);
  }
  out[n] = 0;
  return true;
}

bool platform_system_message(uint32_t code, char *out, size_t cap) { return false; }
