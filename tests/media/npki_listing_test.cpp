// The folder-media lists over a generated NPKI store (several CAs, Hangul holder folders, SHA-1 and
// SHA-256 CAs, expired, refused and duplicate certificates) on the Program Files store, the user's
// LocalLow store and a removable drive of the Wine prefix, against the listing that
// tests/media/npki_tree.py makes of the same tree from the store's rules.
//
// The library's folder texts are built once per process, so the Windows generation comes from the
// environment (V7_TEST_OS "platform.major.minor"): ctest runs this program once per generation.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "media/certlist.h"
#include "media/npki.h"
#include "pki/text/codepage.h"
#include "platform/fs/library_folders.h"
#include "platform/locale/process_words.h"
#include "platform/osver/os_version.h"
#include "tests/harness/removable_drive.h"
#include "tests/media/npki_test_hooks.h"

namespace fs = std::filesystem;

namespace {

std::string g_profile;  // the user's profile folder the library is told of

std::string read_text(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  EXPECT_TRUE(in.good()) << file.string();
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The entry's folder as UTF-8 whatever the setting, with the root named by its tag.
std::string shown_folder(const CERT_ENTRY *e, const std::string (&roots)[3]) {
  static const char *const kTags[] = {"pf", "low", "removable"};
  std::string folder = static_cast<const char *>(e->medium_data);
  if (char_encoding_mode() != 1) {
    char *utf8 = nullptr;
    EXPECT_GT(euckr_to_utf8(folder.c_str(), &utf8), 0u) << folder;
    folder = utf8 != nullptr ? utf8 : "";
    free(utf8);
  }
  for (int i = 0; i < 3; ++i) {
    if (!roots[i].empty() && folder.compare(0, roots[i].size(), roots[i]) == 0) {
      folder = kTags[i] + folder.substr(roots[i].size());
      break;
    }
  }
  for (char &c : folder)
    if (c == '\\') c = '/';
  return folder;
}

class NpkiListing : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OsVersionRecord &os = npkitest::os();
    if (const char *text = getenv("V7_TEST_OS")) {
      ASSERT_EQ(sscanf(text, "%u.%u.%u", &os.platform_id, &os.major, &os.minor), 3) << text;
    }
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    g_profile = std::string(temp) + "v7npkilist_" + std::to_string(GetCurrentProcessId());
    npkitest::profile() = g_profile;
    npkitest::set_hooks(true);
    pf_ = program_files_npki_folder();
    ASSERT_EQ(pf_, "C:\\Program Files\\NPKI");
    // A store found there is someone else's: it is neither used nor removed.
    ASSERT_FALSE(fs::exists(pf_)) << "an NPKI store is already there";
    owns_pf_ = true;
    low_ = g_profile + "\\AppData\\LocalLow\\NPKI";
    const fs::path tree = V7_NPKI_TREE_DIR;
    fs::create_directories(fs::path(low_).parent_path());
    fs::copy(tree / "pf", pf_, fs::copy_options::recursive);
    fs::copy(tree / "low", low_, fs::copy_options::recursive);
    drive_ = new v7test::RemovableDrive(0, "NPKI DISK");
    ASSERT_TRUE(drive_->ok()) << drive_->error();
    fs::copy(tree / "removable", drive_->root() + "NPKI", fs::copy_options::recursive);
  }
  static void TearDownTestSuite() {
    delete drive_;
    drive_ = nullptr;
    std::error_code ec;
    if (owns_pf_) fs::remove_all(pf_, ec);
    owns_pf_ = false;
    fs::remove_all(g_profile, ec);
    npkitest::set_hooks(false);
  }
  void TearDown() override {
    set_language_id(kLanguageEnglish);
    set_char_encoding_mode(0);
  }

  // The list in the script's lines; every entry's signing certificate reads back as its file.
  std::string lines(CERTLIST_CTX *list, uint32_t code) {
    const std::string roots[3] = {pf_, low_, drive_->drive() + "/NPKI"};
    std::string out;
    for (const CERT_ENTRY *e = list->first; e != nullptr; e = e->next) {
      EXPECT_EQ(e->media_code, code);
      char serial[64] = {};
      for (size_t i = 0; i < e->serial_length; ++i)
        snprintf(serial + strlen(serial), sizeof serial - strlen(serial), i == 0 ? "%x" : "%02x",
                 e->serial_bytes[i]);
      out += shown_folder(e, roots) + "|" + serial + "|" + std::to_string(e->parts) + "\n";
      uint8_t *der = nullptr;
      size_t n = cert_read_sign_cert(e, &der);
      EXPECT_GT(n, 0u) << static_cast<const char *>(e->medium_data);
      free(der);
    }
    return out;
  }

  static std::string pf_, low_;
  static bool owns_pf_;
  static v7test::RemovableDrive *drive_;
};

std::string NpkiListing::pf_, NpkiListing::low_;
bool NpkiListing::owns_pf_ = false;
v7test::RemovableDrive *NpkiListing::drive_ = nullptr;

TEST_F(NpkiListing, HardDiskAndRemovableListsMatchTheIndependentListing) {
  const fs::path tree = V7_NPKI_TREE_DIR;
  const bool two_stores = os_version_code() > kOsXp;
  const std::string hard_disk =
      read_text(tree / (two_stores ? "expected_two_stores.txt" : "expected_one_store.txt"));
  const std::string removable = read_text(tree / "expected_removable.txt");
  ASSERT_FALSE(hard_disk.empty());
  for (int encoding : {0, 1}) {
    set_char_encoding_mode(encoding);
    CERTLIST_CTX list{};
    ASSERT_NE(certlist_load(&list, kMediumHardDisk, nullptr), nullptr) << encoding;
    EXPECT_EQ(list.media_code, kMediumHardDisk);
    EXPECT_EQ(lines(&list, kMediumHardDisk), hard_disk)
        << "generation " << os_version_code() << ", encoding " << encoding;
    certlist_free(&list);
    const std::string drive = drive_->drive();
    ASSERT_NE(certlist_load(&list, kMediumRemovable, drive.c_str()), nullptr) << encoding;
    EXPECT_EQ(list.media_code, kMediumRemovable);
    EXPECT_EQ(lines(&list, kMediumRemovable), removable) << "encoding " << encoding;
    certlist_free(&list);
  }
}

}  // namespace
