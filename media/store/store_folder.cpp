// The folder media: the NPKI layout of a hard or removable disk, a folder medium, and the layout
// the broker writes relative to its own root.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/broker_client.h"
#include "media/store/internal.h"
#include "pki/asn1/asn1_owned.h"
#include "pki/text/codepage.h"
#include "pki/text/files.h"
#include "pki/text/misc.h"
#include "pki/text/paths.h"
#include "pki/x509/cert.h"
#include "pki/x509/name.h"
#include "platform/clock/clock.h"
#include "platform/errors/errno_util.h"
#include "platform/errors/error_codes.h"
#include "platform/fs/library_folders.h"
#include "platform/osver/os_version.h"

namespace v7 {
namespace store {
namespace {

// The platform's paths hold 260 characters; the holder folder's files must fit after it.
constexpr size_t kPathLimit = 261;

const StoreFileOps kFileUtilities = {file_write_all, make_dirs, file_remove, file_overwrite, dir_remove};
const StoreFileOps *g_ops = &kFileUtilities;

struct CaPrefix {
  const char *prefix;
  const char *folder;
};
const CaPrefix kCaFolders[] = {
    {"SignKorea", "SignKorea"}, {"TradeSign", "TradeSign"}, {"CrossCert", "CrossCert"}, {"KICA", "KICA"}};
const char kOwnCaFolder[] = "velmora";

bool starts_with_nocase(const char *text, const char *prefix) {
  for (; *prefix != 0; ++text, ++prefix) {
    char a = *text, b = *prefix;
    if (a >= 'A' && a <= 'Z') a = char(a + 32);
    if (b >= 'A' && b <= 'Z') b = char(b + 32);
    if (a != b) return false;
  }
  return true;
}

// The hard disk's base: the user's LocalLow for a SHA-256 certificate from Vista on, else the
// Program Files folder of the Windows drive.
const char *hard_disk_base(const uint8_t *cert, size_t cert_len) {
  const bool sha256 = cert_hash_alg(cert, cert_len) == 5377;
  return os_version_code() >= kOsVista && sha256 ? user_base_folder() : program_files_folder();
}

// The base folder of the medium, or relative for the broker's kind. A base too long is an error
// of its own: an empty base would put the store at the root of the drive.
int medium_base(const StoreMedium *m, const uint8_t *cert, size_t cert_len, std::string *base, bool *relative) {
  *relative = false;
  switch (m->kind) {
    case kStoreHardDisk:
      base->assign(hard_disk_base(cert, cert_len));
      // The library's folder texts are empty when they did not fit.
      if (base->empty()) return kErrFilePathTooLong;
      break;
    case kStoreRemovable:
    case kStoreFolder:
      if (m->text.empty()) return kErrInvalidParameter;
      base->assign(m->text);
      break;
    case kStoreBrokerRelative:
      *relative = true;
      base->clear();
      return 0;
    default:
      return kErrStoreUnsupportedMedium;
  }
  return base->size() >= kPathLimit ? kErrFilePathTooLong : 0;
}

std::string join(const std::string &folder, const char *name) { return folder + "\\" + name; }

// errno tells an empty file written from a failure, which both return 0.
bool write_ok(const std::string &path, const uint8_t *data, size_t length) {
  errno = 0;
  return g_ops->write_all(path.c_str(), data, length) == length && errno == 0;
}

// ---- One transaction of file writes ----------------------------------------------------------

struct FileStep {
  FileStep(std::string file, const uint8_t *bytes, size_t size, int code)
      : path(std::move(file)), data(bytes), length(size), fail_code(code) {}
  std::string path;
  const uint8_t *data;
  size_t length;
  int fail_code;  // what a failed write of this file is reported as
  bool had_old = false;
  SecureBytes old;  // the file's bytes before the store (a key's among them)
};

bool read_old(FileStep *step) {
  uint8_t *bytes = nullptr;
  errno = 0;
  size_t n = file_read_all(step->path.c_str(), &bytes);
  if (n == 0 && errno == kErrFileNotFound) return true;
  if (n == 0 && errno != 0) return false;  // there but unreadable: it could not be backed up
  step->had_old = true;
  step->old = SecureBytes(bytes, n);
  if (bytes != nullptr) secure_wipe(bytes, n);
  free(bytes);
  return true;
}

std::string utc_stamp() {
  struct tm t = {};
  if (gmtime_copy(&t, platform_time_now()) == nullptr) return "00000000T000000Z";
  char text[80];
  snprintf(text, sizeof(text), "%04d%02d%02dT%02d%02d%02dZ", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
           t.tm_min, t.tm_sec);
  return text;
}

// The backup (failed->backup, when one was made) is no longer needed. Its copies of old keys are
// overwritten before they go, so that they do not stay readable in the disk's free space under the
// old (perhaps weaker) password; then the folder goes. A folder of which something stayed becomes
// failed->left_copy, for the user to delete.
void discard_backup(const std::vector<FileStep> &steps, Failure *failed) {
  const std::string folder = std::move(failed->backup);
  failed->backup.clear();
  if (folder.empty()) return;
  const int saved = errno;
  bool gone = true;
  for (const FileStep &step : steps) {
    if (!step.had_old) continue;
    const std::string copy = join(folder, strrchr(step.path.c_str(), '\\') + 1);
    gone = g_ops->overwrite(copy.c_str()) != 0 && g_ops->remove(copy.c_str()) != 0 && gone;
  }
  if (!gone || g_ops->remove_dir(folder.c_str()) == 0) failed->left_copy = folder;
  errno = saved;
}

// True when the file holds exactly what was written.
bool reads_back(const FileStep &step) {
  uint8_t *bytes = nullptr;
  errno = 0;
  const size_t n = file_read_all(step.path.c_str(), &bytes);
  const bool same = errno == 0 && n == step.length && (n == 0 || memcmp(bytes, step.data, n) == 0);
  if (bytes != nullptr) secure_wipe(bytes, n);
  free(bytes);
  if (!same && errno == 0) errno = kErrFileWrite;
  return same;
}

// Copies the set's old files to "<library data>\backup\<holder> <UTC time>" (a number added when
// that folder is taken) and names that folder in *made. 0, or the code of what failed.
int back_up(const std::string &holder_name, const std::vector<FileStep> &steps, std::string *made) {
  const std::string data = lib_data_folder();
  if (data.empty()) return kErrFilePathTooLong;
  const std::string stem = join(data, "backup") + "\\" + holder_name + " " + utc_stamp();
  std::string folder = stem;
  for (int n = 2; file_exists(folder.c_str()); ++n) folder = stem + "-" + std::to_string(n);
  if (folder.size() + 1 + 12 >= kPathLimit) return kErrFilePathTooLong;
  if (!g_ops->make_dirs(folder.c_str())) return kErrDirCreate;
  *made = folder;
  for (const FileStep &step : steps) {
    if (!step.had_old) continue;
    const char *name = strrchr(step.path.c_str(), '\\') + 1;
    if (!write_ok(join(folder, name), step.old.data(), step.old.size())) return errno != 0 ? errno : kErrFileWrite;
  }
  return 0;
}

// Gives the files written so far their old bytes back, last first; a file that did not exist
// goes again. False when one of them could not be: the backup is then the only copy of the old
// set, which the caller must say.
bool roll_back(const std::vector<FileStep> &steps, size_t written) {
  const int saved = errno;
  bool whole = true;
  for (size_t i = written; i-- > 0;) {
    const FileStep &step = steps[i];
    if (step.had_old)
      whole = write_ok(step.path, step.old.data(), step.old.size()) && whole;
    else
      whole = g_ops->remove(step.path.c_str()) != 0 && whole;
  }
  errno = saved;
  return whole;
}

void add_pair(std::vector<FileStep> *steps, const std::string &folder, const Pair &pair, const char *key_name,
              const char *cert_name) {
  if (!pair.present()) return;
  steps->emplace_back(join(folder, key_name), pair.key.data(), pair.key.size(), kErrKeyWrite);
  steps->emplace_back(join(folder, cert_name), pair.cert, pair.cert_len, kErrCertWrite);
}

// The broker writes relative to its root and can neither read nor remove a file, so this form
// has no backup and no way back: each file is replaced whole or not at all by the broker.
int broker_store(const std::string &folder, const std::vector<FileStep> &steps, Failure *failed,
                 const PreparedSet &set) {
  char16_t *wide = nullptr;
  int code = setting_to_wide(folder.c_str(), &wide);
  // The broker makes one folder a call: each level, the last one must be there.
  for (char16_t *p = wide; code == 0 && p != nullptr && *p != 0; ++p) {
    if (*p != u'\\' || p == wide) continue;
    *p = 0;
    broker_make_dir(wide);
    *p = u'\\';
  }
  if (code == 0 && broker_make_dir(wide) != 0) {
    failed->cause = errno;
    code = kErrStoreFolder;
  }
  free(wide);
  for (size_t i = 0; code == 0 && i < steps.size(); ++i) {
    wide = nullptr;
    code = setting_to_wide(steps[i].path.c_str(), &wide);
    if (code == 0 && (failed->cause = broker_write_file(wide, steps[i].data, steps[i].length)) != 0)
      code = steps[i].fail_code;
    free(wide);
    if (code != 0) failed->pair = i < 2 && set.sign.present() ? FailedPair::kSign : FailedPair::kKm;
  }
  return code;
}

}  // namespace

void set_file_ops(const StoreFileOps *ops) { g_ops = ops != nullptr ? ops : &kFileUtilities; }

const char *ca_folder_for(const char *issuer) {
  // The last organisation value: an "o=" that begins an attribute, so "xo=" inside another value
  // or type is not taken for one.
  const char *value = nullptr;
  for (const char *p = issuer; (p = strstr(p, "o=")) != nullptr; p += 2)
    if (p == issuer || p[-1] == ',' || p[-1] == '+') value = p + 2;
  if (value == nullptr) return nullptr;
  for (const CaPrefix &ca : kCaFolders)
    if (starts_with_nocase(value, ca.prefix)) return ca.folder;
  return kOwnCaFolder;
}

int check_holder_name(const char *name) {
  char16_t *wide = nullptr;
  const int ok = name != nullptr && setting_to_wide(name, &wide) == 0 && is_safe_file_segment(wide);
  free(wide);
  return ok ? 0 : kErrUnsafeHolderName;
}

int cert_subject_folder_name(const Certificate *cert, std::string *name) {
  char *subject = nullptr;
  if (cert_name_to_text(&cert->tbs.subject, &subject) < 0) return errno != 0 ? errno : kErrInvalidCertFormat;
  name->assign(subject);
  free(subject);
  return check_holder_name(name->c_str());
}

int holder_folder(const uint8_t *cert, size_t cert_len, const StoreMedium *m, std::string *path,
                  std::string *holder_name) {
  if (cert == nullptr || cert_len == 0) return kErrInvalidParameter;
  std::string base;
  bool relative = false;
  int code = medium_base(m, cert, cert_len, &base, &relative);
  if (code != 0) return code;
  Asn1Owned<Certificate> decoded(&asn1_tmpl_certificate);
  if (!decoded.decode(ASN1_MODE_DER, cert, cert_len)) return errno != 0 ? errno : kErrDecodeFailed;

  if ((code = cert_subject_folder_name(decoded.get(), holder_name)) != 0) return code;

  const int issuer_size = name_to_text_comma(&decoded->tbs.issuer, nullptr, 0);
  if (issuer_size <= 1) return kErrInvalidCertFormat;
  std::vector<char> issuer(size_t(issuer_size), 0);
  if (name_to_text_comma(&decoded->tbs.issuer, issuer.data(), issuer.size()) <= 0) return kErrInvalidCertFormat;
  const char *ca = ca_folder_for(issuer.data());
  if (ca == nullptr) return kErrInvalidCertFormat;

  *path = base + "\\NPKI\\" + ca + "\\USER\\" + *holder_name;
  // Room for the longest file name after it ("\signCert.der").
  return path->size() + 13 >= kPathLimit ? kErrFilePathTooLong : 0;
}

int folder_store(const StoreMedium *m, const PreparedSet &set, Failure *failed) {
  *failed = Failure();
  const Pair &first = set.sign.present() ? set.sign : set.km;
  std::string folder, holder_name;
  int code = holder_folder(first.cert, first.cert_len, m, &folder, &holder_name);
  if (code != 0) {
    failed->pair = &first == &set.sign ? FailedPair::kSign : FailedPair::kKm;
    return code;
  }
  std::vector<FileStep> steps;
  add_pair(&steps, folder, set.sign, "signPri.key", "signCert.der");
  add_pair(&steps, folder, set.km, "kmPri.key", "kmCert.der");
  if (m->kind == kStoreBrokerRelative) return broker_store(folder, steps, failed, set);

  // Everything that may be replaced is read first: it is both the backup and the way back.
  bool had_set = false;
  for (FileStep &step : steps) {
    if (!read_old(&step)) return kErrStoreBackup;
    had_set = had_set || step.had_old;
  }
  for (const char *other : {"signCert.der", "signPri.key", "kmCert.der", "kmPri.key"}) {
    bool listed = false;
    for (const FileStep &step : steps) listed = listed || step.path == join(folder, other);
    if (listed) continue;
    FileStep kept(join(folder, other), nullptr, 0, 0);
    if (!read_old(&kept)) return kErrStoreBackup;
    // A part the new set does not replace is backed up with the rest, never written.
    if (kept.had_old) {
      had_set = true;
      steps.push_back(std::move(kept));
    }
  }
  const size_t writes = size_t(set.sign.present() ? 2 : 0) + size_t(set.km.present() ? 2 : 0);
  if (had_set && (failed->cause = back_up(holder_name, steps, &failed->backup)) != 0) {
    // Nothing was written: the old set is whole where it was, and a partial copy is no backup.
    discard_backup(steps, failed);
    return kErrStoreBackup;
  }
  if (!g_ops->make_dirs(folder.c_str())) {
    failed->cause = kErrDirCreate;
    return kErrStoreFolder;
  }

  // A failure at file i: the files before `back` get their old bytes back (a failed write left
  // its own file as it was).
  auto fail_at = [&](size_t i, size_t back) {
    failed->cause = errno != 0 ? errno : kErrFileWrite;
    failed->not_restored = !roll_back(steps, back);
    failed->pair = i < 2 && set.sign.present() ? FailedPair::kSign : FailedPair::kKm;
    return steps[i].fail_code;
  };
  for (size_t i = 0; i < writes; ++i)
    if (!write_ok(steps[i].path, steps[i].data, steps[i].length)) return fail_at(i, i);
  // Read back: a file that does not hold what was given fails the store as a refused write
  // does, before the old set's copy may go.
  for (size_t i = 0; i < writes; ++i)
    if (!reads_back(steps[i])) return fail_at(i, writes);
  // The new set is on the disk as given: the copy of the old one goes.
  discard_backup(steps, failed);
  return 0;
}

}  // namespace store
}  // namespace v7
