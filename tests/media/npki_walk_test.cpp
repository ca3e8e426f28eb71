#include "media/npki.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "pki/text/codepage.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "tests/media/cert_builder.h"

namespace fs = std::filesystem;
using certtest::Bytes;
using certtest::CertSpec;

namespace {

void put(const fs::path &file, const Bytes &data) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary)
      .write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

CertSpec holder(const std::string &cn, uint8_t serial = 9) {
  CertSpec spec;
  spec.subject.back().value = cn;
  spec.serial = {serial};
  return spec;
}

// "cn1[parts] cn2[parts] ...", in list order, and every listed folder's certificate reads back.
std::string listing(const CERTLIST_CTX &list) {
  std::string out;
  for (const CERT_ENTRY *e = list.first; e != nullptr; e = e->next) {
    out += (out.empty() ? "" : " ") + std::string(e->subject_dn_cn) + "[" + std::to_string(e->parts) + "]";
    uint8_t *der = nullptr;
    size_t n = cert_read_sign_cert(e, &der);
    EXPECT_GT(n, 0u) << static_cast<const char *>(e->medium_data) << " errno " << errno;
    free(der);
  }
  return out;
}

class NpkiWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("v7npki-" + std::to_string(std::random_device{}()) + "-" +
                                         std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::create_directories(root_);
    const fs::path npki = root_ / "NPKI";
    const std::u16string korean = u"cn=\uD64D\uAE38\uB3D9()0001,ou=personal4IB,o=TestCA,c=KR";
    Bytes sign = certtest::certificate(holder("Hong"));
    // Other CA folders first, the maker's own last; KISA never.
    put(npki / "TestCA" / "USER" / "cn=Hong,ou=personal4IB,o=TestCA,c=KR" / "signCert.der", sign);
    put(npki / "TestCA" / "USER" / "cn=Hong,ou=personal4IB,o=TestCA,c=KR" / "signPri.key", {1});
    put(npki / "TestCA" / "USER" / "cn=Hong,ou=personal4IB,o=TestCA,c=KR" / "kmCert.der", {1});
    put(npki / "TestCA" / "USER" / "cn=Hong,ou=personal4IB,o=TestCA,c=KR" / "kmPri.key", {1});
    put(npki / "TestCA" / "USER" / "km only" / "signCert.der", certtest::certificate(holder("KmOnly")));
    put(npki / "TestCA" / "USER" / "km only" / "kmPri.key", {1});
    put(npki / "TestCA" / "USER" / "no cert" / "signPri.key", {1});
    put(npki / "TestCA" / "USER" / "truncated" / "signCert.der", Bytes(sign.begin(), sign.begin() + 100));
    put(npki / "TestCA" / "USER" / "empty" / "signCert.der", {});
    put(npki / "TestCA" / "USER" / "cn=Skip,o=velmora,c=KR" / "signCert.der",
        certtest::certificate(holder("SkipMe")));
    put(npki / "TestCA" / "USER" / "cn=Keep,O=VELMORA,c=KR" / "signCert.der",
        certtest::certificate(holder("Caps")));
    put(npki / "TestCA" / "USER" / std::string(200, 'L') / "signCert.der",
        certtest::certificate(holder("Long")));
#ifndef _WIN32
    put(npki / "TestCA" / "USER" / "CON" / "signCert.der", certtest::certificate(holder("Device")));
    // Names only a POSIX disk can hold: a backslash (a separator to the library, so the path
    // names another folder) and bytes that are no text in any encoding.
    put(npki / "TestCA" / "USER" / "a\\b" / "signCert.der", certtest::certificate(holder("Backslash")));
    put(npki / "TestCA" / "USER" / "\xFF\xFE\x80" / "signCert.der", certtest::certificate(holder("Bytes")));
    put(npki / "TestCA" / "USER" / "..." / "signCert.der", Bytes(3, 0x30));
#endif
    put(npki / "TestCA" / "USER" / "a file", {1});
    CertSpec refused = holder("Refused");
    refused.policy = "1.2.410.200005.1.1.3";
    put(npki / "TestCA" / "USER" / "refused" / "signCert.der", certtest::certificate(refused));
    put(npki / "TestCA" / "USER" / fs::path(korean) / "signCert.der",
        certtest::certificate(holder("\xED\x99\x8D")));
    put(npki / "KISA" / "USER" / "kisa holder" / "signCert.der", certtest::certificate(holder("Kisa")));
    put(npki / "velmora" / "USER" / "cn=Own,o=velmora,c=KR" / "signCert.der",
        certtest::certificate(holder("Own")));
    // The same holder again in the maker's folder, signed later with SHA-1: the first copy stays.
    CertSpec sha1 = holder("Hong");
    sha1.sig_alg = certtest::kSha1Rsa;
    put(npki / "velmora" / "USER" / "copy" / "signCert.der", certtest::certificate(sha1));
    npki_ = npki.string();
  }
  void TearDown() override {
    set_char_encoding_mode(0);
    set_language_id(kLanguageEnglish);
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  std::string walk_narrow() {
    CERTLIST_CTX list{};
    npki_walk_root(&list, npki_.c_str(), kMediumHardDisk);
    std::string out = sorted(listing(list));
    certlist_free(&list);
    return out;
  }
  std::string walk_wide() {
    CERTLIST_CTX list{};
    char16_t *wide = nullptr;
    EXPECT_EQ(setting_to_wide(npki_.c_str(), &wide), 0);
    npki_walk_root_w(&list, wide, kMediumHardDisk);
    free(wide);
    std::string out = sorted(listing(list));
    certlist_free(&list);
    return out;
  }
  // The platform lists a folder in its own order; the walk's order between CA folders is tested
  // by the duplicate rule above.
  static std::string sorted(const std::string &text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
      size_t end = text.find(' ', i);
      if (end == std::string::npos) end = text.size();
      words.push_back(text.substr(i, end - i));
      i = end + 1;
    }
    std::sort(words.begin(), words.end());
    std::string out;
    for (const auto &w : words) out += (out.empty() ? "" : " ") + w;
    return out;
  }

  fs::path root_;
  std::string npki_;
};

const char kExpected[] = "Caps[1] Hong[15] KmOnly[9] Own[1] \xED\x99\x8D[1]";

TEST_F(NpkiWalk, Utf8SettingNarrowAndWideAgree) {
  set_char_encoding_mode(kCharEncodingUtf8);
  // A device name is an ordinary folder where the platform allows it.
  std::string expected = kExpected;
#ifndef _WIN32
  expected = sorted(expected + " Device[1]");
#endif
  EXPECT_EQ(walk_narrow(), expected);
  EXPECT_EQ(walk_wide(), expected);
}

TEST_F(NpkiWalk, EuckrSettingListsTheKoreanFolderToo) {
  set_char_encoding_mode(0);
  set_language_id(kLanguageEnglish);
  std::string expected = kExpected;
#ifndef _WIN32
  expected = sorted(expected + " Device[1]");
#endif
  // The listing shows the stored (UTF-8) common name; the folder itself was opened in EUC-KR.
  EXPECT_EQ(walk_narrow(), expected);
  EXPECT_EQ(walk_wide(), expected);
}

TEST_F(NpkiWalk, MissingFoldersAndBadArguments) {
  CERTLIST_CTX list{};
  npki_walk_root(&list, (root_ / "absent").string().c_str(), kMediumHardDisk);
  EXPECT_EQ(errno, v7::kErrFileNotFound);
  npki_walk_root(&list, std::string(300, 'x').c_str(), kMediumHardDisk);
  EXPECT_EQ(errno, v7::kErrFilePathTooLong);
  npki_walk_root(&list, nullptr, kMediumHardDisk);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  npki_read_cert_folder(std::string(260, 'x').c_str(), &list, kMediumHardDisk);
  EXPECT_EQ(errno, v7::kErrFilePathTooLong);
  EXPECT_EQ(list.first, nullptr);
  for (const char *drive : {"", "1", "..", "\\\\server", "ab", ":"}) {
    EXPECT_EQ(certlist_load_removable(drive, &list), nullptr);
    EXPECT_EQ(errno, v7::kErrInvalidParameter) << drive;
    EXPECT_EQ(certlist_load_removable_w(&list, drive), nullptr);
    EXPECT_EQ(list.media_code, 0u);
  }
  EXPECT_EQ(certlist_load_removable(nullptr, &list), nullptr);
  EXPECT_EQ(certlist_load_harddisk(nullptr), nullptr);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

}  // namespace
