// Walking the NPKI folders of hard and removable disks into a certificate list.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/internal.h"
#include "media/npki.h"
#include "pki/text/codepage.h"
#include "pki/text/files.h"
#include "platform/errors/errno_util.h"
#include "platform/fs/fs.h"
#include "platform/fs/library_folders.h"
#include "platform/locale/process_words.h"
#include "platform/osver/os_version.h"

namespace {

using v7::certlist::kMaxPath;

void fail(int code) { errno = code; }

template <typename Char>
using Text = std::basic_string<Char>;

template <typename Char>
struct DirEntry {
  Text<Char> name;
  bool is_dir;
};

template <typename Char>
Text<Char> ascii(const char *text) {
  Text<Char> out;
  for (; *text != 0; text++) out.push_back(Char(*text));
  return out;
}

template <typename Char>
bool equals_ascii_nocase(const Text<Char> &name, const char *ascii_text) {
  size_t n = strlen(ascii_text);
  if (name.size() != n) return false;
  for (size_t i = 0; i < n; i++) {
    Char c = name[i];
    if (c >= Char('A') && c <= Char('Z')) c = Char(c + 32);
    if (c != Char(ascii_text[i])) return false;
  }
  return true;
}

template <typename Char>
size_t text_length(const Char *text) {
  size_t n = 0;
  while (text[n] != 0) n++;
  return n;
}

// "<folder>\<name>", or false with kErrFilePathTooLong when it would reach 261 characters.
template <typename Char>
bool join(const Text<Char> &folder, const Text<Char> &name, Text<Char> *out) {
  if (folder.size() + 1 + name.size() > kMaxPath) return v7::with_errno(v7::kErrFilePathTooLong, false);
  *out = folder;
  out->push_back(Char('\\'));
  *out += name;
  return true;
}

// A narrow path is opened the way the file operations open it: through the wide API, converted
// by the setting's encoding, unless the narrow API takes it as it stands (a Korean interface or
// the 9x family, outside the UTF-8 setting).
bool narrow_goes_wide() {
  return char_encoding_is_utf8() || (os_version_code() >= kOsWin2000 && !language_is_korean());
}

bool collect_w(const char16_t *name, bool is_dir, void *ctx) {
  static_cast<std::vector<DirEntry<char16_t>> *>(ctx)->push_back({name, is_dir});
  return true;
}

bool collect_narrow(const char *name, bool is_dir, void *ctx) {
  static_cast<std::vector<DirEntry<char>> *>(ctx)->push_back({name, is_dir});
  return true;
}

bool search_failed(bool exists) {
  return v7::with_errno(exists ? v7::kErrDirSearch : v7::kErrFileNotFound, false);
}

bool list_folder(const Text<char16_t> &folder, std::vector<DirEntry<char16_t>> *out) {
  out->clear();
  if (platform_fs_walk_w(folder.c_str(), collect_w, out)) return true;
  return search_failed(platform_fs_is_dir_w(folder.c_str()));
}

bool list_folder(const Text<char> &folder, std::vector<DirEntry<char>> *out) {
  out->clear();
  if (!narrow_goes_wide()) {
    if (platform_fs_walk(folder.c_str(), collect_narrow, out)) return true;
    return search_failed(platform_fs_is_dir(folder.c_str()));
  }
  char16_t *wide = nullptr;
  if (setting_to_wide(folder.c_str(), &wide) != 0) return search_failed(false);
  std::vector<DirEntry<char16_t>> wide_entries;
  bool ok = list_folder(Text<char16_t>(wide), &wide_entries);
  free(wide);
  if (!ok) return false;
  // A name the setting's encoding cannot hold cannot be opened by a narrow path: left out.
  for (const auto &e : wide_entries) {
    char *narrow = nullptr;
    if (wide_to_setting(e.name.c_str(), &narrow) != 0) continue;
    out->push_back({narrow, e.is_dir});
    free(narrow);
  }
  return true;
}

// One certificate folder by its narrow path (the entry keeps it for the part readers) and, when
// the file operations would open that path through the wide API, its wide form, converted once
// for the four files.
struct CertFolder {
  Text<char> narrow;
  Text<char16_t> wide;
  bool use_wide;
};

bool folder_file(const CertFolder &f, const char *name, Text<char> *narrow, Text<char16_t> *wide) {
  return f.use_wide ? join(f.wide, ascii<char16_t>(name), wide) : join(f.narrow, Text<char>(name), narrow);
}

size_t read_folder_file(const CertFolder &f, const char *name, uint8_t **out) {
  Text<char> narrow;
  Text<char16_t> wide;
  if (!folder_file(f, name, &narrow, &wide)) return 0;
  return f.use_wide ? file_read_all_w(wide.c_str(), out) : file_read_all(narrow.c_str(), out);
}

bool folder_file_exists(const CertFolder &f, const char *name) {
  Text<char> narrow;
  Text<char16_t> wide;
  if (!folder_file(f, name, &narrow, &wide)) return false;
  return (f.use_wide ? file_exists_w(wide.c_str()) : file_exists(narrow.c_str())) != 0;
}

void read_cert_folder(const CertFolder &f, CERTLIST_CTX *list, uint32_t media_code) {
  if (f.narrow.size() >= kMaxPath || f.wide.size() >= kMaxPath) return fail(v7::kErrFilePathTooLong);
  uint8_t *der = nullptr;
  size_t len = read_folder_file(f, "signCert.der", &der);
  if (len == 0) {
    free(der);
    if (errno == 0) errno = v7::kErrAsn1Decode;  // an empty certificate file
    return;
  }
  CERT_ENTRY *entry = nullptr;
  int made = certentry_from_der(der, len, &entry);
  free(der);
  if (!made) return;
  if (!cert_policy_accepted(list->policy_filter, entry->policy)) {
    certentry_free(entry);
    return;
  }
  char *copy = static_cast<char *>(malloc(f.narrow.size() + 1));
  if (copy == nullptr) {
    certentry_free(entry);
    return fail(v7::kErrOutOfMemory);
  }
  memcpy(copy, f.narrow.c_str(), f.narrow.size() + 1);
  entry->media_code = media_code;
  entry->medium_data = copy;
  entry->parts = kPartSignCert;
  static const struct {
    const char *name;
    uint32_t flag;
  } kOthers[] = {{"signPri.key", kPartSignKey}, {"kmCert.der", kPartKmCert}, {"kmPri.key", kPartKmKey}};
  for (const auto &other : kOthers) {
    if (folder_file_exists(f, other.name)) entry->parts |= other.flag;
  }
  errno = 0;
  certlist_add_unique(list, entry);
}

void read_folder(const Text<char> &folder, CERTLIST_CTX *list, uint32_t media_code) {
  npki_read_cert_folder(folder.c_str(), list, media_code);
}

// The narrow text is what the entry keeps, so a name without one in the setting's encoding is
// passed over: the part readers could not open it.
void read_folder(const Text<char16_t> &folder, CERTLIST_CTX *list, uint32_t media_code) {
  char *narrow = nullptr;
  if (wide_to_setting(folder.c_str(), &narrow) != 0) return;
  CertFolder f{narrow, {}, narrow_goes_wide()};
  free(narrow);
  if (f.use_wide) {
    f.wide = folder;
    read_cert_folder(f, list, media_code);
  } else {
    npki_read_cert_folder(f.narrow.c_str(), list, media_code);
  }
}

template <typename Char>
bool contains_ascii(const Text<Char> &name, const char *needle) {
  return name.find(ascii<Char>(needle)) != Text<Char>::npos;
}

template <typename Char>
void walk_user(const Char *user_folder, CERTLIST_CTX *list, uint32_t media_code, int own_ca) {
  if (user_folder == nullptr || list == nullptr) return fail(v7::kErrInvalidParameter);
  Text<Char> folder(user_folder);
  if (folder.size() + 2 > kMaxPath) return fail(v7::kErrFilePathTooLong);
  std::vector<DirEntry<Char>> entries;
  if (!list_folder(folder, &entries)) return;
  for (const auto &e : entries) {
    if (!e.is_dir) continue;
    if (own_ca == 0 && contains_ascii(e.name, "o=velmora")) continue;
    Text<Char> holder;
    if (join(folder, e.name, &holder)) read_folder(holder, list, media_code);
  }
}

template <typename Char>
void walk_root(CERTLIST_CTX *list, const Char *root_text, uint32_t media_code) {
  if (root_text == nullptr || list == nullptr) return fail(v7::kErrInvalidParameter);
  Text<Char> root(root_text);
  if (root.size() + 2 > kMaxPath) return fail(v7::kErrFilePathTooLong);
  std::vector<DirEntry<Char>> entries;
  if (!list_folder(root, &entries)) return;
  const Text<Char> user = ascii<Char>("USER");
  for (const auto &e : entries) {
    if (!e.is_dir || equals_ascii_nocase(e.name, "velmora") || equals_ascii_nocase(e.name, "kisa")) continue;
    Text<Char> ca, user_folder;
    if (join(root, e.name, &ca) && join(ca, user, &user_folder))
      walk_user(user_folder.c_str(), list, media_code, 0);
  }
  // The maker's CA comes last, so that its copy of a certificate replaces another CA's.
  if (!list_folder(root, &entries)) return;
  for (const auto &e : entries) {
    if (!e.is_dir || !equals_ascii_nocase(e.name, "velmora")) continue;
    Text<Char> ca, user_folder;
    if (join(root, ascii<Char>("velmora"), &ca) && join(ca, user, &user_folder)) {
      walk_user(user_folder.c_str(), list, media_code, 1);
    }
  }
}

// Narrow text in the code page the loaders convert roots with (949 for EUC-KR, the ANSI page
// before Windows 2000), as a wide text of at most 260 characters.
bool root_to_wide(const char *root, char16_t *out) {
  if (os_version_code() < kOsWin2000) return platform_fs_ansi_to_wide(root, out, kMaxPath + 1);
  char16_t *wide = nullptr;
  if (euckr_to_wide(root, &wide) != 0) return false;
  size_t n = text_length(wide);
  bool fits = n <= kMaxPath;
  if (fits) memcpy(out, wide, (n + 1) * sizeof(char16_t));
  free(wide);
  return fits;
}

void walk_converted(CERTLIST_CTX *list, const char *root) {
  char16_t wide[kMaxPath + 1];
  if (root_to_wide(root, wide)) {
    npki_walk_root_w(list, wide, kMediumHardDisk);
  } else {
    npki_walk_root(list, root, kMediumHardDisk);
  }
}

// The drive letter of a drive text, or 0 for a text that does not begin with one.
char drive_letter(const char *drive) {
  if (drive == nullptr) return 0;
  char c = drive[0];
  bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
  if (!letter) return 0;
  return drive[1] == 0 || drive[1] == ':' ? c : 0;
}

}  // namespace

void npki_walk_root(CERTLIST_CTX *list, const char *root, uint32_t media_code) {
  walk_root(list, root, media_code);
}
void npki_walk_root_w(CERTLIST_CTX *list, const char16_t *root, uint32_t media_code) {
  walk_root(list, root, media_code);
}
void npki_walk_user(const char *user_folder, CERTLIST_CTX *list, uint32_t media_code, int own_ca) {
  walk_user(user_folder, list, media_code, own_ca);
}
void npki_walk_user_w(const char16_t *user_folder, CERTLIST_CTX *list, uint32_t media_code, int own_ca) {
  walk_user(user_folder, list, media_code, own_ca);
}

void npki_read_cert_folder(const char *folder, CERTLIST_CTX *list, uint32_t media_code) {
  if (folder == nullptr || list == nullptr) return fail(v7::kErrInvalidParameter);
  CertFolder f{folder, {}, narrow_goes_wide()};
  if (f.narrow.size() >= kMaxPath) return fail(v7::kErrFilePathTooLong);
  if (f.use_wide) {
    char16_t *wide = nullptr;
    int code = setting_to_wide(folder, &wide);
    if (code != 0) return fail(code);
    f.wide = wide;
    free(wide);
  }
  read_cert_folder(f, list, media_code);
}

CERT_ENTRY *certlist_load_harddisk(CERTLIST_CTX *list) {
  if (list == nullptr) return v7::with_errno(v7::kErrInvalidParameter, static_cast<CERT_ENTRY *>(nullptr));
  const int c = os_version_code();
  const bool korean = language_is_korean();
  if (c > kOsXp) {
    const char *pf = program_files_npki_folder();
    if (korean) {
      npki_walk_root(list, pf, kMediumHardDisk);
    } else {
      walk_converted(list, pf);
    }
  }
  const char *npki = npki_folder();
  if (c < kOsWin2000 || korean) {
    npki_walk_root(list, npki, kMediumHardDisk);
  } else {
    walk_converted(list, npki);
  }
  list->media_code = kMediumHardDisk;
  return list->first;
}

CERT_ENTRY *certlist_load_harddisk_w(CERTLIST_CTX *list) {
  if (list == nullptr) return v7::with_errno(v7::kErrInvalidParameter, static_cast<CERT_ENTRY *>(nullptr));
  if (os_version_code() >= kOsVista) npki_walk_root_w(list, program_files_npki_folder_w(), kMediumHardDisk);
  npki_walk_root_w(list, npki_folder_w(), kMediumHardDisk);
  list->media_code = kMediumHardDisk;
  return list->first;
}

CERT_ENTRY *certlist_load_removable(const char *drive, CERTLIST_CTX *list) {
  char letter = drive_letter(drive);
  if (list == nullptr || letter == 0) {
    return v7::with_errno(v7::kErrInvalidParameter, static_cast<CERT_ENTRY *>(nullptr));
  }
  char root[8];
  snprintf(root, sizeof(root), "%c:/NPKI", letter);
  if (language_is_korean() || os_version_code() < kOsWin2000) {
    npki_walk_root(list, root, kMediumRemovable);
  } else {
    char16_t wide[kMaxPath + 1];
    if (root_to_wide(root, wide)) npki_walk_root_w(list, wide, kMediumRemovable);
  }
  list->media_code = kMediumRemovable;
  return list->first;
}

CERT_ENTRY *certlist_load_removable_w(CERTLIST_CTX *list, const char *drive) {
  char letter = drive_letter(drive);
  if (list == nullptr || letter == 0) {
    return v7::with_errno(v7::kErrInvalidParameter, static_cast<CERT_ENTRY *>(nullptr));
  }
  char16_t root[] = {char16_t(letter), u':', u'/', u'N', u'P', u'K', u'I', 0};
  npki_walk_root_w(list, root, kMediumRemovable);
  list->media_code = kMediumRemovable;
  return list->first;
}
