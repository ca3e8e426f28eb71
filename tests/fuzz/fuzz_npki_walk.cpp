// The NPKI folder walk over a disk whose folder names and certificate files come from the input.
// The first byte chooses the narrow text's encoding (bit 0: UTF-8) and the walk (bit 1: wide);
// then records, each: a CA folder name, a holder folder name (a length byte and its bytes each),
// a byte choosing the file (signCert.der, signPri.key, kmCert.der, kmPri.key) and the file's
// contents (a two-byte big-endian length and its bytes). Names are kept as the disk can hold them:
// '/' and NUL become '_', and "." and ".." are prefixed. Besides memory safety: every entry the
// walk lists names a holder folder inside the walked root, with the signing certificate among its
// parts.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include "media/certlist.h"
#include "media/npki.h"
#include "pki/text/codepage.h"
#include "platform/locale/process_words.h"

namespace {

namespace fs = std::filesystem;

struct Reader {
  const uint8_t *at;
  size_t left;
  bool take(size_t n, const uint8_t **out) {
    if (n > left) return false;
    *out = at;
    at += n;
    left -= n;
    return true;
  }
  bool name(std::string *out) {
    const uint8_t *length = nullptr, *bytes = nullptr;
    if (!take(1, &length) || !take(*length, &bytes)) return false;
    out->assign(reinterpret_cast<const char *>(bytes), *length);
    for (char &c : *out)
      if (c == '/' || c == '\0') c = '_';
    if (out->empty() || *out == "." || *out == "..") out->insert(0, "_");
    return true;
  }
};

// One tree per fuzzing process, emptied after every input and removed when the process ends.
struct Root {
  fs::path path = fs::temp_directory_path() / ("v7_fuzz_npki_" + std::to_string(getpid()));
  ~Root() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

void put(const fs::path &file, const uint8_t *bytes, size_t length) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) return;
  FILE *out = fopen(file.c_str(), "wb");
  if (out == nullptr) return;
  fwrite(bytes, 1, length, out);
  fclose(out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const Root root;
  static const char *const kFiles[] = {"signCert.der", "signPri.key", "kmCert.der", "kmPri.key"};
  if (size == 0) return 0;
  const uint8_t flags = data[0];
  Reader in{data + 1, size - 1};
  const fs::path npki = root.path / "NPKI";
  std::error_code ec;
  fs::create_directories(npki, ec);
  for (int records = 0; records < 64; ++records) {
    std::string ca, holder;
    const uint8_t *choice = nullptr, *length = nullptr, *contents = nullptr;
    if (!in.name(&ca) || !in.name(&holder) || !in.take(1, &choice) || !in.take(2, &length)) break;
    const size_t bytes = std::min<size_t>(size_t(length[0]) << 8 | length[1], in.left);
    if (!in.take(bytes, &contents)) break;
    put(npki / ca / "USER" / holder / kFiles[*choice % 4], contents, bytes);
  }

  set_char_encoding_mode((flags & 1) != 0 ? 1 : 0);
  CERTLIST_CTX list{};
  if ((flags & 2) != 0) {
    char16_t *wide = nullptr;
    if (setting_to_wide(npki.c_str(), &wide) == 0) npki_walk_root_w(&list, wide, kMediumHardDisk);
    free(wide);
  } else {
    npki_walk_root(&list, npki.c_str(), kMediumHardDisk);
  }
  // The walk joins names with the library's separator, a backslash on every platform.
  const std::string inside = npki.string();
  for (const CERT_ENTRY *entry = list.first; entry != nullptr; entry = entry->next) {
    const auto *folder = static_cast<const char *>(entry->medium_data);
    if (folder == nullptr || std::strncmp(folder, inside.c_str(), inside.size()) != 0 ||
        (folder[inside.size()] != '\\' && folder[inside.size()] != '/'))
      abort();
    if ((entry->parts & kPartSignCert) == 0 || entry->media_code != kMediumHardDisk) abort();
  }
  certlist_free(&list);
  set_char_encoding_mode(0);
  fs::remove_all(npki, ec);
  return 0;
}
