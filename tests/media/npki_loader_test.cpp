// The hard-disk and removable-disk lists over trees made here. The library's folder texts are
// built once per process, so this executable answers the platform's folder queries itself from
// its first test on and keeps one tree root for all of them.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "media/certlist.h"
#include "media/npki.h"
#include "platform/errors/error_codes.h"
#include "platform/fs/fs.h"
#include "platform/fs/library_folders.h"
#include "platform/locale/process_words.h"
#include "platform/osver/os_version_query.h"
#include "tests/media/cert_builder.h"
#include "tests/media/npki_test_hooks.h"

namespace fs = std::filesystem;
using certtest::Bytes;
using certtest::CertSpec;

namespace {

OsVersionRecord &g_os = npkitest::os();
fs::path g_root;

void put(const fs::path &file, const Bytes &data) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

CertSpec holder(const std::string &cn, const char *alg = certtest::kSha256Rsa) {
  CertSpec spec;
  spec.subject.back().value = cn;
  spec.sig_alg = alg;
  return spec;
}

void put_holder(const fs::path &npki, const std::string &ca, const std::string &cn, const char *alg) {
  const fs::path folder = npki / ca / "USER" / ("cn=" + cn + ",o=TestCA,c=KR");
  put(folder / "signCert.der", certtest::certificate(holder(cn, alg)));
  put(folder / "signPri.key", {0x30, 0x00});
}

// Every file and folder under root, one per line, for a failure to show what the loader saw.
std::string tree_of(const fs::path &root) {
  std::error_code ec;
  if (!fs::exists(root, ec)) return root.string() + ": absent\n";
  std::string out = root.string() + ":\n";
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
    out += "  " + fs::relative(it->path(), root, ec).string() + (it->is_directory(ec) ? "\\" : "") + "\n";
  if (ec) out += "  (listing stopped: " + ec.message() + ")\n";
  return out;
}

#ifdef _WIN32
// The prefix's drives as the loader's process sees them: letter and drive type.
std::string drive_list() {
  std::string out = "drives:";
  DWORD used = GetLogicalDrives();
  for (char c = 'A'; c <= 'Z'; ++c) {
    if ((used & (1u << (c - 'A'))) == 0) continue;
    const char root[] = {c, ':', '\\', 0};
    out += std::string(" ") + c + "=" + std::to_string(GetDriveTypeA(root));
  }
  return out + "\n";
}
#endif

// A drive letter that names no drive now. Natively any letter does: the drive is a relative
// path under the tree's root, which holds none of them.
char unused_drive_letter() {
#ifdef _WIN32
  DWORD used = GetLogicalDrives();
  for (char c = 'Y'; c >= 'D'; --c)
    if ((used & (1u << (c - 'A'))) == 0) return c;
  return 0;
#else
  return 'Q';
#endif
}

// "cn@store ..." in list order, store "pf" or "low" by the entry's folder.
std::string listing(const CERTLIST_CTX &list) {
  std::string out;
  for (const CERT_ENTRY *e = list.first; e != nullptr; e = e->next) {
    std::string folder = static_cast<const char *>(e->medium_data);
    out += (out.empty() ? "" : " ") + std::string(e->subject_dn_cn) +
           (folder.find("LocalLow") != std::string::npos ? "@low" : "@pf");
    uint8_t *key = nullptr;
    EXPECT_EQ(cert_read_sign_key(e, &key), 2u) << folder;
    free(key);
  }
  return out;
}

class NpkiLoaders : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // A name of this run's own: std::rand() starts alike in every process, and natively the
    // temporary folder is the machine's, shared with the other checkouts' runs.
    g_root = fs::temp_directory_path() / ("v7npkiload-" + std::to_string(std::random_device{}()));
    fs::create_directories(g_root / "profile");
    npkitest::profile() = g_root / "profile";
    npkitest::set_hooks(true);
#ifdef _WIN32
    // The Windows drive's Program Files of the prefix; made and removed here.
    pf_npki_ = "C:\\Program Files\\NPKI";
    ASSERT_FALSE(fs::exists(pf_npki_)) << "an NPKI store is already there:\n" << tree_of(pf_npki_);
    owns_pf_npki_ = true;
#else
    // Natively "C:\Program Files\NPKI" is a relative path: the tree's root is the working folder.
    fs::current_path(g_root);
    pf_npki_ = g_root / "C:" / "Program Files" / "NPKI";
    owns_pf_npki_ = true;
#endif
    low_npki_ = g_root / "profile" / "AppData" / "LocalLow" / "NPKI";
  }
  static void TearDownTestSuite() {
    npkitest::set_hooks(false);
    std::error_code ec;
    fs::current_path(fs::temp_directory_path(), ec);
    // A store found there is someone else's: it stays, for its owner and for the next look.
    if (owns_pf_npki_) fs::remove_all(pf_npki_, ec);
    owns_pf_npki_ = false;
    fs::remove_all(g_root, ec);
  }
  void SetUp() override {
    ASSERT_TRUE(owns_pf_npki_);
    std::error_code ec;
    fs::remove_all(pf_npki_, ec);
    fs::remove_all(low_npki_, ec);
    g_os = {2, 6, 1};
    set_language_id(kLanguageEnglish);
    set_char_encoding_mode(0);
  }
  void TearDown() override {
    set_language_id(kLanguageEnglish);
    set_char_encoding_mode(0);
  }

  std::string load_harddisk() {
    CERTLIST_CTX list{};
    CERT_ENTRY *first = certlist_load(&list, kMediumHardDisk, nullptr);
    EXPECT_EQ(first, list.first);
    EXPECT_EQ(list.media_code, kMediumHardDisk);
    for (const CERT_ENTRY *e = list.first; e != nullptr; e = e->next) {
      EXPECT_EQ(e->media_code, kMediumHardDisk);
      EXPECT_EQ(e->parts, kPartSignCert | kPartSignKey);
    }
    std::string out = listing(list);
    certlist_free(&list);
    return out;
  }

  // What a wrong list was built from: the folder texts, both stores and (on Windows) the drives.
  static std::string scene() {
    std::string out = std::string("folders: pf=") + program_files_npki_folder() + " npki=" + npki_folder() +
                      " errno=" + std::to_string(errno) + "\n" + tree_of(pf_npki_) + tree_of(low_npki_);
#ifdef _WIN32
    out += drive_list();
#endif
    return out;
  }

  static fs::path pf_npki_, low_npki_;
  static bool owns_pf_npki_;
};

fs::path NpkiLoaders::pf_npki_, NpkiLoaders::low_npki_;
bool NpkiLoaders::owns_pf_npki_ = false;

// Program Files first, then the profile's store, and in each the maker's CA folder last; the
// later copy of one certificate takes the earlier one's place unless it is signed with SHA-1 with
// RSA. (The order of the holders of one USER folder is the platform's.)
TEST_F(NpkiLoaders, HardDiskStoresInOrderUnderEverySetting) {
  put_holder(pf_npki_, "velmora", "Alpha", certtest::kSha256Rsa);
  put_holder(pf_npki_, "TestCA", "Both", certtest::kSha256Rsa);
  put_holder(low_npki_, "TestCA", "Both", certtest::kSha256Rsa);
  put_holder(low_npki_, "TestCA", "Sha1", certtest::kSha256Rsa);
  put_holder(low_npki_, "velmora", "Sha1", certtest::kSha1Rsa);
  struct Case {
    uint16_t language;
    int encoding;
  } cases[] = {{kLanguageEnglish, 0}, {kLanguageKorean, 0}, {kLanguageEnglish, 1}, {kLanguageKorean, 1}};
  for (const Case &c : cases) {
    set_language_id(c.language);
    set_char_encoding_mode(c.encoding);
    EXPECT_EQ(load_harddisk(), "Both@low Alpha@pf Sha1@low") << c.language << "/" << c.encoding << "\n"
                                                              << scene();
  }
  // The maker's copy signed with SHA-256 does replace the other CA's.
  put_holder(low_npki_, "velmora", "Sha1", certtest::kSha256Rsa);
  EXPECT_EQ(load_harddisk(), "Both@low Alpha@pf Sha1@low") << scene();
  // Before Vista only the one NPKI folder is read.
  g_os = {2, 5, 1};
  std::string xp = load_harddisk();
  EXPECT_TRUE(xp == "Both@low Sha1@low" || xp == "Sha1@low Both@low") << xp << "\n" << scene();
}

TEST_F(NpkiLoaders, RemovableDrive) {
  CERTLIST_CTX list{};
  // A drive that is not there adds nothing, and says why. Its letter is one free now: other tests
  // define removable drives of their own in the prefix, some of them with NPKI stores.
  const char letter = unused_drive_letter();
  ASSERT_NE(letter, 0) << scene();
  const char drive[] = {letter, 0};
  CERT_ENTRY *none = certlist_load(&list, kMediumRemovable, drive);
  const int code = errno;
  EXPECT_EQ(none, nullptr) << drive << ": " << (none != nullptr ? none->subject_dn_cn : "") << "\n" << scene();
  EXPECT_EQ(code, v7::kErrFileNotFound) << drive << "\n" << scene();
  EXPECT_EQ(list.media_code, kMediumRemovable);
  certlist_free(&list);
#ifndef _WIN32
  // Natively "E:/NPKI" is relative to the working folder, the tree's root.
  put_holder(g_root / "E:" / "NPKI", "TestCA", "Stick", certtest::kSha256Rsa);
  for (int encoding : {0, 1}) {
    set_char_encoding_mode(encoding);
    CERT_ENTRY *e = certlist_load(&list, kMediumRemovable, "E:\\");
    ASSERT_NE(e, nullptr) << encoding << " errno=" << errno << "\n" << tree_of(g_root / "E:" / "NPKI");
    EXPECT_STREQ(e->subject_dn_cn, "Stick");
    EXPECT_EQ(e->media_code, kMediumRemovable);
    EXPECT_EQ(list.media_code, kMediumRemovable);
    uint8_t *der = nullptr;
    size_t n = cert_read_sign_cert(e, &der);
    EXPECT_EQ(Bytes(der, der + n), certtest::certificate(holder("Stick")));
    free(der);
    certlist_free(&list);
  }
#endif
}

}  // namespace
