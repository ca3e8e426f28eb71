// The lists of the hard disk, a removable drive and the secure disk through certlist_load, with
// the test PKI's certificates and keys: duplicates are one entry, the sort puts the preferred
// holder first, and the key of every entry opens with its password (the folders' key files) or
// signs inside the module once the password has logged in (the secure disk).
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "media/certlist.h"
#include "media/securedisk/sd_key_binding.h"
#include "pki/asn1/asn1.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/pkcs8.h"
#include "pki/x509/algorithms.h"
#include "platform/errors/error_codes.h"
#include "platform/fs/library_folders.h"
#include "platform/locale/process_words.h"
#include "tests/harness/removable_drive.h"
#include "tests/media/list_checks.h"
#include "tests/media/npki_test_hooks.h"
#include "tests/media/securedisk/sd_test_fixture.h"

namespace fs = std::filesystem;

namespace {

using namespace v7test;

constexpr char kPassword[] = "Fixture1!";
const std::string kHong = "cn=Hong Gildong()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR";
const std::u16string kHongHangul =
    u"cn=\uD64D\uAE38\uB3D9()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR";
const std::string kKim = "cn=Kim Cheolsu()0009876543210987,ou=Users,o=Test,c=KR";

void put(const fs::path &file, const Bytes &data) {
  fs::create_directories(file.parent_path());
  FILE *f = _wfopen(file.wstring().c_str(), L"wb");
  ASSERT_NE(f, nullptr) << file.string();
  fwrite(data.data(), 1, data.size(), f);
  fclose(f);
}

Bytes fixture(const char *name) { return read_file(fixtures_path(std::string("pki/") + name)); }

// A holder folder with the signing pair (and the key-management pair when asked).
void put_holder(const fs::path &folder, const char *cert, const char *key, bool km = false) {
  put(folder / "signCert.der", fixture(cert));
  put(folder / "signPri.key", fixture(key));
  if (km) {
    put(folder / "kmCert.der", fixture("kmCert.der"));
    put(folder / "kmPri.key", fixture("kmPri.key"));
  }
}

// The entry's signing key opens with the password and with no other.
void expect_key_opens(const CERT_ENTRY *e, uint32_t key_part) {
  uint8_t *key = nullptr;
  size_t n = key_part == kPartKmKey ? cert_read_km_key(e, &key) : cert_read_sign_key(e, &key);
  ASSERT_GT(n, 0u) << e->subject_dn << " errno " << errno;
  listtest::expect_key_file_opens(key, n, kPassword);
  free(key);
}

class CertListDisks : public SecureDiskFixture {
 protected:
  static void SetUpTestSuite() {
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
    npkitest::profile() = std::string(temp) + "v7disks_" + std::to_string(GetCurrentProcessId());
    npkitest::set_hooks(true);
  }
  static void TearDownTestSuite() {
    std::error_code ec;
    fs::remove_all(program_files_npki_folder(), ec);
    fs::remove_all(npkitest::profile(), ec);
    npkitest::set_hooks(false);
  }
  void SetUp() override {
    SecureDiskFixture::SetUp();
    set_char_encoding_mode(0);
    set_language_id(kLanguageEnglish);
  }
  void TearDown() override {
    certlist_free(&list_);
    SecureDiskFixture::TearDown();
  }
  CERTLIST_CTX list_{};
};

TEST_F(CertListDisks, HardDiskListIsUniqueSortedAndItsKeysOpen) {
  const fs::path pf = program_files_npki_folder();
  ASSERT_FALSE(fs::exists(pf)) << "an NPKI store is already there";
  const fs::path low = npkitest::profile() / "AppData" / "LocalLow" / "NPKI";
  put_holder(pf / "TestCA" / "USER" / kHong, "signCert.der", "signPri.key");
  put_holder(low / "TestCA" / "USER" / kHong, "signCert.der", "signPri.key", true);  // the same certificate
  put_holder(pf / "TestCA" / "USER" / kHongHangul, "user_sign_hangul.der", "signPri.key");
  put_holder(low / "Test" / "USER" / kKim, "user2_sign.der", "user2_signPri.key");
  for (int encoding : {0, 1}) {
    set_char_encoding_mode(encoding);
    ASSERT_NE(certlist_load(&list_, kMediumHardDisk, nullptr), nullptr);
    // One entry per certificate: the LocalLow copy took the Program Files one's place.
    EXPECT_EQ(listtest::names(list_),
              "Hong Gildong()0001234567890123 | \xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99()0001234567890123 | "
              "Kim Cheolsu()0009876543210987");
    EXPECT_EQ(list_.first->parts, kPartSignCert | kPartSignKey | kPartKmCert | kPartKmKey);
    EXPECT_NE(std::string(static_cast<const char *>(list_.first->medium_data)).find("LocalLow"),
              std::string::npos);
    // The preferred holder goes first; the policy run keeps the rest in order.
    const std::string kim_subject = list_.first->next->next->subject;
    EXPECT_EQ(certlist_sort(kim_subject.c_str(), &list_, "1.2.410.200005.1.1.1"), list_.first);
    EXPECT_EQ(listtest::names(list_),
              "Kim Cheolsu()0009876543210987 | Hong Gildong()0001234567890123 | "
              "\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99()0001234567890123");
    for (const CERT_ENTRY *e = list_.first; e != nullptr; e = e->next) expect_key_opens(e, kPartSignKey);
    expect_key_opens(list_.first->next, kPartKmKey);
    certlist_free(&list_);
  }
  std::error_code ec;
  fs::remove_all(pf, ec);
  fs::remove_all(low, ec);
}

TEST_F(CertListDisks, RemovableListAndItsKeyOpen) {
  RemovableDrive drive(0, "USB DISK");
  ASSERT_TRUE(drive.ok()) << drive.error();
  const fs::path npki = drive.root() + "NPKI";
  put_holder(npki / "TestCA" / "USER" / kHongHangul, "user_sign_hangul.der", "signPri.key", true);
  put_holder(npki / "Test" / "USER" / kKim, "user2_sign.der", "user2_signPri.key");
  for (int encoding : {0, 1}) {
    set_char_encoding_mode(encoding);
    ASSERT_NE(certlist_load(&list_, kMediumRemovable, drive.drive().c_str()), nullptr);
    EXPECT_EQ(list_.media_code, kMediumRemovable);
    EXPECT_EQ(listtest::names(list_),
              "Kim Cheolsu()0009876543210987 | \xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99()0001234567890123");
    for (const CERT_ENTRY *e = list_.first; e != nullptr; e = e->next) expect_key_opens(e, kPartSignKey);
    expect_key_opens(list_.first->next, kPartKmKey);
    certlist_free(&list_);
  }
}

TEST_F(CertListDisks, SecureDiskListSortedAndEveryKeySignsAfterItsLogin) {
  ASSERT_NO_FATAL_FAILURE(open_with_sets(kPassword, true));
  sd_set_module_folder(variant_folder("complete").c_str());
  // The part readers load the module only once its file is trusted; the test module is unsigned.
  set_file_trust_verifier([](const char16_t *) { return FileTrustAnswer{0, 0}; });
  ASSERT_NE(certlist_load(&list_, kMediumSecureDisk, handle_), nullptr);
  EXPECT_EQ(listtest::names(list_), "Kim Cheolsu()0009876543210987 | Hong Gildong()0001234567890123");
  const std::string hong_subject = list_.first->next->subject;
  certlist_sort(hong_subject.c_str(), &list_, nullptr);
  EXPECT_EQ(listtest::names(list_), "Hong Gildong()0001234567890123 | Kim Cheolsu()0009876543210987");
  static const uint8_t kMessage[] = "signed inside the secure disk";
  for (const CERT_ENTRY *e = list_.first; e != nullptr; e = e->next) {
    uint8_t *cert = nullptr;
    size_t cert_len = cert_read_sign_cert(e, &cert);
    ASSERT_GT(cert_len, 0u);
    std::unique_ptr<PRIVATE_KEY_CTX, void (*)(PRIVATE_KEY_CTX *)> key(keyobj_new_type4(), keyobj_delete);
    SECURE_DISK_KEY_HANDLE h = sd_key_handle(handle_);
    ASSERT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_SD_SET_HANDLE, &h, nullptr), 0);
    KEYOBJ_SD_SLOT slot = certentry_slot(e);
    KEY_CREDENTIAL wrong = {KEY_CREDENTIAL_PIN, KEY_CREDENTIAL_PIN, "not the password"};
    EXPECT_NE(keyobj_set_key(key.get(), reinterpret_cast<const uint8_t *>(&slot), sizeof slot, 1, &wrong), 0);
    KEY_CREDENTIAL pin = {KEY_CREDENTIAL_PIN, KEY_CREDENTIAL_PIN, kPassword};
    ASSERT_EQ(keyobj_set_key(key.get(), reinterpret_cast<const uint8_t *>(&slot), sizeof slot, 1, &pin), 0);
    ASSERT_EQ(keyobj_set_certificate(key.get(), reinterpret_cast<const uint8_t *>(&slot), sizeof slot, 2), 0);
    EXPECT_EQ(Bytes(key->cert_der, key->cert_der + key->cert_der_len), Bytes(cert, cert + cert_len));
    const int scheme = SIG_SCHEME_PKCS1_SHA256;
    uint8_t *sig = nullptr;
    size_t sig_len = 0;
    ASSERT_EQ(keyobj_sign(key.get(), kMessage, sizeof kMessage, &sig, &sig_len, 1, &scheme), 0);
    std::unique_ptr<PUBLIC_KEY_CTX, void (*)(PUBLIC_KEY_CTX *)> pub(pubkey_new(), pubkey_delete);
    PUBLIC_KEY_SOURCE source = {PUBKEY_SOURCE_CERTIFICATE, 1};
    ASSERT_EQ(pubkey_set_key(pub.get(), cert, cert_len, 1, &source), 0);
    EXPECT_EQ(pubkey_verify(pub.get(), kMessage, sizeof kMessage, sig, sig_len, 1, &scheme), 0)
        << e->subject_dn;
    keyobj_free_buffer(key.get(), sig, sig_len);
    free(cert);
  }
  sd_set_module_folder(nullptr);
}

}  // namespace
