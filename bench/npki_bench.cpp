// How long listing a large NPKI store takes: 1,000 holder folders under ten CA folders, walked
// narrow and wide. A plain program (no benchmark library), so that the Windows build runs it
// under Wine as well: build/<preset>/bench/npki_bench.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "media/certlist.h"
#include "media/npki.h"
#include "pki/text/codepage.h"
#include "tests/media/cert_builder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kHolders = 1000;
constexpr int kCaFolders = 10;
constexpr int kRounds = 5;

void put(const fs::path &file, const certtest::Bytes &data) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

template <typename Walk>
double best_ms(Walk walk, int *listed) {
  double best = 1e9;
  for (int round = 0; round < kRounds; round++) {
    CERTLIST_CTX list{};
    auto start = std::chrono::steady_clock::now();
    walk(&list);
    auto end = std::chrono::steady_clock::now();
    *listed = 0;
    for (const CERT_ENTRY *e = list.first; e != nullptr; e = e->next) ++*listed;
    certlist_free(&list);
    double ms = std::chrono::duration<double, std::milli>(end - start).count();
    if (ms < best) best = ms;
  }
  return best;
}

}  // namespace

int main() {
  const fs::path root = fs::temp_directory_path() / ("v7npkibench-" + std::to_string(std::rand()));
  const fs::path npki = root / "NPKI";
  for (int i = 0; i < kHolders; i++) {
    certtest::CertSpec spec;
    spec.subject.back().value = "Holder " + std::to_string(i);
    spec.serial = {uint8_t(1 + i % 100), uint8_t(i / 100)};
    const fs::path folder = npki / ("CA" + std::to_string(i % kCaFolders)) / "USER" /
                            ("cn=Holder " + std::to_string(i) + ",o=TestCA,c=KR");
    put(folder / "signCert.der", certtest::certificate(spec));
    put(folder / "signPri.key", {0x30, 0x00});
    put(folder / "kmCert.der", {0x30, 0x00});
    put(folder / "kmPri.key", {0x30, 0x00});
  }
  const std::string narrow = npki.string();
  char16_t *wide = nullptr;
  if (setting_to_wide(narrow.c_str(), &wide) != 0) return 1;
  int listed_narrow = 0, listed_wide = 0;
  double narrow_ms =
      best_ms([&](CERTLIST_CTX *l) { npki_walk_root(l, narrow.c_str(), kMediumHardDisk); }, &listed_narrow);
  double wide_ms =
      best_ms([&](CERTLIST_CTX *l) { npki_walk_root_w(l, wide, kMediumHardDisk); }, &listed_wide);
  free(wide);
  std::printf(
      "%d holder folders: narrow walk %.1f ms (%d listed), wide walk %.1f ms (%d listed), best of %d\n",
      kHolders, narrow_ms, listed_narrow, wide_ms, listed_wide, kRounds);
  std::error_code ec;
  fs::remove_all(root, ec);
  return listed_narrow == kHolders && listed_wide == kHolders ? 0 : 1;
}
