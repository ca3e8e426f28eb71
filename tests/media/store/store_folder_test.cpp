// Storing a received set on the folder media: a folder medium, the hard disk's two stores and a
// removable drive, read back through the disk lists and their part readers. The library's folder
// texts are built once per process, so this executable answers the platform's folder queries
// itself from its first test on. Writes the process may not make itself go to a broker that
// writes directly and counts what it was given.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "media/broker_client.h"
#include "media/certlist.h"
#include "media/npki.h"
#include "media/store/internal.h"
#include "media/store/store.h"
#include "pki/text/file_broker.h"
#include "pki/text/files.h"
#include "platform/errors/error_codes.h"
#include "platform/fs/fs.h"
#include "platform/fs/library_folders.h"
#include "platform/locale/process_words.h"
#include "platform/osver/os_version_query.h"
#include "tests/media/cert_builder.h"
#include "tests/media/npki_test_hooks.h"
#include "tests/media/store/store_test_util.h"
#ifdef _WIN32
#include "tests/harness/removable_drive.h"
#endif
#include "tests/modules/broker/standin_broker.h"

namespace fs = std::filesystem;
using storetest::Bytes;
using storetest::kNewPassword;
using storetest::kPhonePassword;

namespace {

using npkitest::answer;
OsVersionRecord &g_os = npkitest::os();
fs::path g_root;
// The profile folder the process writes itself under; drives answer as the platform sees them.
const FsQueryHooks kQueryHooks = {
    nullptr,
    [](char16_t *out, size_t cap) { return answer((g_root / "profile").u16string(), out, cap); },
};

// The broker of these tests writes what it is given itself.
class DirectBroker : public FileBroker {
 public:
  int write_file(const char16_t *path, const uint8_t *data, size_t length) override {
    ++writes;
    return platform_fs_write_all_w(path, data, length) == kFsOk ? 0 : v7::kErrBrokerWrite;
  }
  int make_dir(const char16_t *path) override { return platform_fs_make_dir_w(path) ? 0 : v7::kErrBrokerMakeDir; }
  int writes = 0;
};
DirectBroker g_broker;

// The folder writes with a failure injected at one of them.
struct Injection {
  int fail_at = -1;  // the write (counted from 0) that fails, -1 none
  int also_fail_at = -1;  // a second one (a write of the roll-back, say)
  int corrupt_at = -1;    // a write that reports success but puts other bytes on the disk
  int code = 0;      // the errno it leaves (kErrFileWrite: the disk is full, kErrFileOpen: refused)
  int count = 0;
  std::string fail_path_part;  // or: every write whose path holds this text fails
  // The clean-up step (overwrite, remove, remove_dir: 1, 2, 3; 0 none) refused for every path that
  // holds refuse_path_part.
  int refuse_step = 0;
  std::string refuse_path_part = "backup";
  // What the backup folders held when the first file of a holder folder was written.
  bool holder_written = false;
  std::map<std::string, Bytes> backups_then;
  // Each file overwritten before it was removed, with the bytes it held after the overwrite.
  std::map<std::string, Bytes> overwritten;
} g_inject;
fs::path g_backups;  // the library's backup folder, which the injected writes look into

std::map<std::string, Bytes> tree(const fs::path &root);
Bytes read(const fs::path &file);

size_t injected_write(const char *path, const uint8_t *data, size_t length) {
  const int n = g_inject.count++;
  if (!g_inject.holder_written && std::string(path).find("NPKI") != std::string::npos) {
    g_inject.holder_written = true;
    g_inject.backups_then = tree(g_backups);
  }
  if (n == g_inject.fail_at || n == g_inject.also_fail_at ||
      (!g_inject.fail_path_part.empty() && std::string(path).find(g_inject.fail_path_part) != std::string::npos)) {
    errno = g_inject.code;
    return 0;
  }
  if (n == g_inject.corrupt_at && length != 0) {
    Bytes other(data, data + length);
    other[0] ^= 0xFF;
    return file_write_all(path, other.data(), length) == length ? length : 0;
  }
  return file_write_all(path, data, length);
}
bool refused(int step, const char *path) {
  return g_inject.refuse_step == step &&
         std::string(path).find(g_inject.refuse_path_part) != std::string::npos;
}
int recorded_overwrite(const char *path) {
  if (refused(1, path)) return 0;
  const int done = file_overwrite(path);
  std::string name(path);
  for (char &c : name)
    if (c == '\\') c = '/';
  g_inject.overwritten[fs::path(name).filename().string()] = read(name);
  return done;
}
int injected_remove(const char *path) { return refused(2, path) ? 0 : file_remove(path); }
int injected_remove_dir(const char *path) { return refused(3, path) ? 0 : dir_remove(path); }
const v7::store::StoreFileOps kInjected = {injected_write, make_dirs, injected_remove, recorded_overwrite,
                                           injected_remove_dir};

Bytes read(const fs::path &file) {
  std::ifstream in(file, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every file under a folder by its path relative to it.
std::map<std::string, Bytes> tree(const fs::path &root) {
  std::map<std::string, Bytes> out;
  std::error_code ec;
  if (!fs::exists(root, ec)) return out;
  for (const auto &e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) out[fs::relative(e.path(), root).generic_string()] = read(e.path());
  return out;
}

// An old set's files in a holder folder.
void plant(const fs::path &holder, const std::map<std::string, Bytes> &files) {
  fs::create_directories(holder);
  for (const auto &f : files)
    std::ofstream(holder / f.first, std::ios::binary)
        .write(reinterpret_cast<const char *>(f.second.data()), std::streamsize(f.second.size()));
}

// A whole old set, each file with bytes of its own.
const std::map<std::string, Bytes> kOldSet = {
    {"signCert.der", {1, 2, 3}}, {"signPri.key", {4, 5}}, {"kmCert.der", {6}}, {"kmPri.key", {7}}};

const char kHolder[] = "cn=Hong Gildong()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR";

// The received set's holder folder under an NPKI root: the test CA is not one of the table's, so
// its holders go to the maker's CA folder.
fs::path holder_folder(const fs::path &npki) { return npki / "velmora" / "USER" / kHolder; }

class StoreFolders : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_root = fs::temp_directory_path() / ("v7store-" + std::to_string(std::random_device{}()));
    fs::create_directories(g_root / "profile");
    npkitest::profile() = g_root / "profile";
    npkitest::set_hooks(true);
    platform_fs_set_query_hooks(&kQueryHooks);
    set_file_broker(&g_broker);
#ifdef _WIN32
    pf_ = "C:\\Program Files";
    // A store found there is someone else's: it is neither used nor removed.
    ASSERT_FALSE(fs::exists(pf_ / "NPKI")) << "an NPKI store is already there";
#else
    // Natively "C:\Program Files" and "E:" are relative paths: the tree's root is the working folder.
    fs::current_path(g_root);
    pf_ = g_root / "C:" / "Program Files";
#endif
    low_ = g_root / "profile" / "AppData" / "LocalLow";
    owns_pf_npki_ = true;
  }
  static void TearDownTestSuite() {
    npkitest::set_hooks(false);
    platform_fs_set_query_hooks(nullptr);
    set_file_broker(nullptr);
    std::error_code ec;
    fs::current_path(fs::temp_directory_path(), ec);
    if (owns_pf_npki_) fs::remove_all(pf_ / "NPKI", ec);
    owns_pf_npki_ = false;
    fs::remove_all(g_root, ec);
  }
  void SetUp() override {
    ASSERT_TRUE(owns_pf_npki_) << "the suite did not start: nothing is touched";
    std::error_code ec;
    fs::remove_all(pf_ / "NPKI", ec);
    fs::remove_all(low_, ec);
    fs::remove_all(g_root / "media", ec);
    fs::remove_all(g_root / "E:", ec);
    g_os = {2, 6, 1};
    g_inject = Injection();
    g_backups = low_ / "velmora" / "backup";
    g_broker.writes = 0;
    set_language_id(kLanguageEnglish);
    set_char_encoding_mode(0);
    v7::store::set_file_ops(nullptr);
  }
  void TearDown() override { v7::store::set_file_ops(nullptr); }

  // The set stored through the wizard's calls: both keys sealed again under the new password.
  int store(const StoreMedium &medium, storetest::Ctx &ctx, const storetest::ReceivedSet &set) {
    storetest::Resealed keys(set);
    return store_cert_pairs(ctx, kNewPassword, set.sign_cert.data(), set.sign_cert.size(), keys.sign_key.data(),
                            keys.sign_key.size(), set.km_cert.data(), set.km_cert.size(), keys.km_key.data(),
                            keys.km_key.size(), &medium);
  }

  static StoreMedium *folder_medium(const fs::path &root) {
    auto *m = new StoreMedium();
    m->kind = kStoreFolder;
    m->text = root.string();
    return m;
  }

  static fs::path pf_, low_;
  static bool owns_pf_npki_;
};
fs::path StoreFolders::pf_, StoreFolders::low_;
bool StoreFolders::owns_pf_npki_ = false;

// All four parts land in the holder folder; the disk list finds the holder, its part readers give
// the bytes back and both keys open with the new password only.
TEST_F(StoreFolders, StoredSetReadsBackAndOpensWithTheNewPassword) {
  storetest::ReceivedSet set;
  std::unique_ptr<StoreMedium> medium(folder_medium(g_root / "media"));
  storetest::Ctx ctx;
  ASSERT_EQ(0, store(*medium, ctx, set)) << ::testing::PrintToString(storetest::codes(ctx));
  EXPECT_TRUE(storetest::codes(ctx).empty());

  const fs::path holder = holder_folder(g_root / "media" / "NPKI");
  EXPECT_EQ(read(holder / "signCert.der"), set.sign_cert);
  EXPECT_EQ(read(holder / "kmCert.der"), set.km_cert);

  CERTLIST_CTX list{};
  npki_walk_root(&list, (g_root / "media" / "NPKI").string().c_str(), kStoreFolder);
  ASSERT_NE(list.first, nullptr);
  const CERT_ENTRY *e = list.first;
  EXPECT_EQ(e->next, nullptr);
  EXPECT_EQ(e->parts, kPartSignCert | kPartSignKey | kPartKmCert | kPartKmKey);
  EXPECT_EQ(storetest::part(cert_read_sign_cert, e), set.sign_cert);
  const Bytes sign_key = storetest::part(cert_read_sign_key, e);
  const Bytes km_key = storetest::part(cert_read_km_key, e);
  certlist_free(&list);
  Bytes random;
  EXPECT_TRUE(storetest::opens(sign_key, kNewPassword, &random));
  EXPECT_EQ(random, v7test::from_hex("5a3c1e07b2f49d68a1c0e3f5b7d9021436587a9c"));
  EXPECT_TRUE(storetest::opens(km_key, kNewPassword));
  EXPECT_FALSE(storetest::opens(sign_key, kPhonePassword));
  // Nothing was there before, so nothing was backed up.
  EXPECT_FALSE(fs::exists(low_ / "velmora" / "backup"));
}

// The hard disk's store by system and signature hash: from Vista on a SHA-256 certificate goes to
// the user's LocalLow, a SHA-1 one to Program Files (which the process may not write itself, so
// through the broker); before Vista both go to Program Files, written directly. Each is then
// listed by the hard-disk list from the store it went to.
TEST_F(StoreFolders, HardDiskStoreBySystemAndHash) {
  const struct Case {
    OsVersionRecord os;
    const char *alg;
    bool low;
    int broker_writes;
  } cases[] = {
      {{2, 6, 1}, certtest::kSha256Rsa, true, 0},
      {{2, 6, 1}, certtest::kSha1Rsa, false, 2},
      {{2, 5, 1}, certtest::kSha256Rsa, false, 0},
      {{2, 5, 1}, certtest::kSha1Rsa, false, 0},
  };
  storetest::ReceivedSet set;
  for (const Case &c : cases) {
    SetUp();
    g_os = c.os;
    certtest::CertSpec spec;
    spec.sig_alg = c.alg;
    const Bytes cert = certtest::certificate(spec);
    StoreMedium medium;
    medium.kind = kStoreHardDisk;
    ASSERT_EQ(0, store_pair_on_medium(cert.data(), cert.size(), &medium, "signCert", set.sign_key.data(),
                                      set.sign_key.size(), nullptr, 0))
        << c.alg << " " << c.os.minor;
    const fs::path npki = (c.low ? low_ : pf_) / "NPKI";
    const fs::path holder = npki / "velmora" / "USER" / "cn=Hong Gildong()0001,ou=personal4IB,o=TestCA,c=KR";
    EXPECT_EQ(read(holder / "signCert.der"), cert) << c.alg << " " << c.os.minor;
    EXPECT_EQ(read(holder / "signPri.key"), set.sign_key);
    EXPECT_EQ(g_broker.writes, c.broker_writes);
    // Before Vista this process's folder texts (made under Windows 7) are not the ones a list
    // would walk.
    if (c.os.major < 6) continue;
    CERTLIST_CTX list{};
    ASSERT_NE(certlist_load(&list, kMediumHardDisk, nullptr), nullptr);
    EXPECT_STREQ(list.first->subject_dn_cn, "Hong Gildong()0001");
    EXPECT_EQ(std::string(static_cast<const char *>(list.first->medium_data)).find("LocalLow") != std::string::npos,
              c.low);
    certlist_free(&list);
  }
}

// A removable drive gets <drive>\NPKI\<CA>\USER\<holder>, and its list reads it back. Natively
// "E:" is a relative path (the tree's root is the working folder); under Wine the prefix presents
// a removable drive of the test's own.
TEST_F(StoreFolders, RemovableDriveStore) {
#ifdef _WIN32
  v7test::RemovableDrive drive;
  if (!drive.ok()) GTEST_SKIP() << drive.error();
  const std::string letter = drive.drive();
  const fs::path npki = drive.root() + "NPKI";
#else
  const std::string letter = "E:";
  const fs::path npki = g_root / "E:" / "NPKI";
#endif
  storetest::ReceivedSet set;
  StoreMedium medium;
  medium.kind = kStoreRemovable;
  medium.text = letter;
  storetest::Ctx ctx;
  ASSERT_EQ(0, store(medium, ctx, set)) << ::testing::PrintToString(storetest::codes(ctx));
  EXPECT_EQ(read(holder_folder(npki) / "signCert.der"), set.sign_cert);
  EXPECT_EQ(read(holder_folder(npki) / "kmPri.key").empty(), false);
  CERTLIST_CTX list{};
  ASSERT_NE(certlist_load(&list, kMediumRemovable, letter.c_str()), nullptr);
  EXPECT_EQ(list.first->parts, kPartSignCert | kPartSignKey | kPartKmCert | kPartKmKey);
  EXPECT_TRUE(storetest::opens(storetest::part(cert_read_sign_key, list.first), kNewPassword));
  certlist_free(&list);
}

// The broker-relative kind hands the broker paths relative to its root, each level of the holder
// folder made and each file written through it.
TEST_F(StoreFolders, BrokerRelativeStore) {
  StandinBroker &broker = StandinFactory::broker;
  broker = StandinBroker();
  broker.root = (g_root / "broker").u16string();
  fs::create_directories(g_root / "broker");
  broker_set_factory(StandinFactory::make);
  storetest::ReceivedSet set;
  StoreMedium medium;
  medium.kind = kStoreBrokerRelative;
  storetest::Ctx ctx;
  const int result = store(medium, ctx, set);
  broker_set_factory(nullptr);
  ASSERT_EQ(0, result) << ::testing::PrintToString(storetest::codes(ctx));
  const std::u16string holder = u"\\NPKI\\velmora\\USER\\" + fs::path(kHolder).u16string();
  EXPECT_EQ(broker.dirs.back(), holder);
  EXPECT_EQ(broker.written, (std::vector<std::u16string>{holder + u"\\signPri.key", holder + u"\\signCert.der",
                                                         holder + u"\\kmPri.key", holder + u"\\kmCert.der"}));
  EXPECT_EQ(read(holder_folder(g_root / "broker" / "NPKI") / "kmCert.der"), set.km_cert);
}

// A Hangul holder name is written in the setting's encoding (EUC-KR, or UTF-8 under the UTF-8
// setting) and names the same folder either way: the disk list finds it and reads its parts.
TEST_F(StoreFolders, HangulHolderUnderEitherSetting) {
  const Bytes cert = storetest::fixture("user_sign_hangul.der");
  storetest::ReceivedSet set;
  for (int mode : {0, 1}) {
    SetUp();
    set_char_encoding_mode(mode);
    std::unique_ptr<StoreMedium> medium(folder_medium(low_ / "media"));
    ASSERT_EQ(0, store_pair_on_medium(cert.data(), cert.size(), medium.get(), "signCert", set.sign_key.data(),
                                      set.sign_key.size(), nullptr, 0))
        << mode;
    EXPECT_TRUE(fs::exists(low_ / "media" / "NPKI" / "velmora" / "USER" /
                           fs::u8path("cn=\xED\x99\x8D\xEA\xB8\xB8\xEB\x8F\x99()0001234567890123,ou=TestBank,"
                                      "ou=personal4IB,o=TestCA,c=KR")))
        << mode;
    CERTLIST_CTX list{};
    npki_walk_root_w(&list, (low_ / "media" / "NPKI").u16string().c_str(), kStoreFolder);
    ASSERT_NE(list.first, nullptr) << mode;
    EXPECT_EQ(storetest::part(cert_read_sign_cert, list.first), cert);
    EXPECT_EQ(storetest::part(cert_read_sign_key, list.first), set.sign_key);
    certlist_free(&list);
  }
}

// The CA folder follows the issuer's last organisation value, compared case-blind by prefix.
TEST_F(StoreFolders, CaFolderFromTheIssuersLastOrganisation) {
  const struct {
    const char *issuer;
    const char *folder;
  } cases[] = {
      {"cn=CA,o=SignKorea,c=KR", "SignKorea"},     {"cn=CA,o=SIGNKOREA Inc,c=KR", "SignKorea"},
      {"o=TradeSign", "TradeSign"},                {"o=crosscert,c=KR", "CrossCert"},
      {"cn=x,o=KICA,c=KR", "KICA"},                {"cn=x,o=kica,c=KR", "KICA"},
      {"cn=x,o=Kica Inc.,c=KR", "KICA"},           {"o=velmora,c=KR", "velmora"},
      {"o=TestCA,c=KR", "velmora"},                {"o=KICA,ou=x,o=Other", "velmora"},
      {"o=Other,ou=x,o=KICA", "KICA"},             {"cn=Mo=KICA,o=Other", "velmora"},
      {"ou=KICA+o=TradeSign", "TradeSign"},
  };
  for (const auto &c : cases) EXPECT_STREQ(v7::store::ca_folder_for(c.issuer), c.folder) << c.issuer;
  EXPECT_EQ(v7::store::ca_folder_for("cn=x,ou=y,c=KR"), nullptr);

  // Through a whole store, in any letter case of the issuer's organisation.
  storetest::ReceivedSet set;
  for (const char *org : {"KICA", "kica", "KiCa Root"}) {
    certtest::CertSpec spec;
    spec.issuer = {{"c", "KR"}, {"o", org}, {"cn", "Issuer"}};
    const Bytes cert = certtest::certificate(spec);
    std::unique_ptr<StoreMedium> medium(folder_medium(g_root / "media"));
    ASSERT_EQ(0, store_pair_on_medium(cert.data(), cert.size(), medium.get(), "signCert", set.sign_key.data(),
                                      set.sign_key.size(), nullptr, 0));
    EXPECT_TRUE(fs::exists(g_root / "media" / "NPKI" / "KICA" / "USER" /
                           "cn=Hong Gildong()0001,ou=personal4IB,o=TestCA,c=KR" / "signPri.key"))
        << org;
  }
  // An issuer without an organisation has no CA folder.
  certtest::CertSpec spec;
  spec.issuer = {{"c", "KR"}, {"cn", "Issuer"}};
  const Bytes cert = certtest::certificate(spec);
  std::unique_ptr<StoreMedium> medium(folder_medium(g_root / "other"));
  EXPECT_EQ(v7::kErrInvalidCertFormat, store_pair_on_medium(cert.data(), cert.size(), medium.get(), "signCert",
                                                            set.sign_key.data(), set.sign_key.size(), nullptr, 0));
  EXPECT_FALSE(fs::exists(g_root / "other"));
}

// A subject that would walk out of USER, name a drive or a device, or end in a dot or blank is
// refused before any folder is made.
TEST_F(StoreFolders, UnsafeHolderNamesAreRefusedBeforeAnyFolder) {
  for (const char *name : {"..", "..\\..\\x", "a/b", "C:", "CON", "con.txt", "LPT1", "x.", "x ", "a\tb", "a*b", ""})
    EXPECT_EQ(v7::kErrUnsafeHolderName, v7::store::check_holder_name(name)) << name;
  EXPECT_EQ(0, v7::store::check_holder_name(kHolder));

  storetest::ReceivedSet set;
  for (const char *cn : {"..\\..\\x", "../../x", "C:", "x.", "name\x01"}) {
    certtest::CertSpec spec;
    // A value alone: the holder name is then the text "cn=<value>".
    spec.subject = {{"cn", cn}};
    const Bytes cert = certtest::certificate(spec);
    std::unique_ptr<StoreMedium> medium(folder_medium(g_root / "media"));
    EXPECT_EQ(v7::kErrUnsafeHolderName, store_pair_on_medium(cert.data(), cert.size(), medium.get(), "signCert",
                                                             set.sign_key.data(), set.sign_key.size(), nullptr, 0))
        << cn;
    storetest::Ctx ctx;
    EXPECT_EQ(v7::kErrStorePair,
              store_cert_pairs(ctx, kPhonePassword, cert.data(), cert.size(), set.sign_key.data(), set.sign_key.size(),
                               nullptr, 0, nullptr, 0, medium.get()));
    EXPECT_EQ(storetest::codes(ctx), (std::vector<int>{v7::kErrStorePair, v7::kErrUnsafeHolderName})) << cn;
    EXPECT_EQ(storetest::first_detail(ctx), "Sign");
    EXPECT_FALSE(fs::exists(g_root / "media")) << cn;
  }
}

// A base folder too long is an error (never an empty base, which would write at the root), and
// only the broker-relative kind writes relative: a folder medium whose text begins with "0" is
// a folder like any other.
TEST_F(StoreFolders, LongBaseIsAnErrorAndRelativeOnlyByKind) {
  storetest::ReceivedSet set;
  StoreMedium medium;
  medium.kind = kStoreFolder;
  medium.text = std::string(261, 'a');
  EXPECT_EQ(v7::kErrFilePathTooLong, store_pair_on_medium(set.sign_cert.data(), set.sign_cert.size(), &medium,
                                                          "signCert", set.sign_key.data(), set.sign_key.size(),
                                                          nullptr, 0));
  medium.kind = kStoreRemovable;
  EXPECT_EQ(v7::kErrFilePathTooLong, store_pair_on_medium(set.sign_cert.data(), set.sign_cert.size(), &medium,
                                                          "signCert", set.sign_key.data(), set.sign_key.size(),
                                                          nullptr, 0));
  medium.text.clear();
  EXPECT_EQ(v7::kErrInvalidParameter, store_pair_on_medium(set.sign_cert.data(), set.sign_cert.size(), &medium,
                                                           "signCert", set.sign_key.data(), set.sign_key.size(),
                                                           nullptr, 0));
  // A holder path that leaves no room for the file names.
  medium.kind = kStoreFolder;
  medium.text = (g_root / "media" / std::string(150, 'b')).string();
  EXPECT_EQ(v7::kErrFilePathTooLong, store_pair_on_medium(set.sign_cert.data(), set.sign_cert.size(), &medium,
                                                          "signCert", set.sign_key.data(), set.sign_key.size(),
                                                          nullptr, 0));
  EXPECT_FALSE(fs::exists(g_root / "media"));

  std::unique_ptr<StoreMedium> zero(folder_medium(g_root / "media" / "0abc"));
  ASSERT_EQ(0, store_pair_on_medium(set.sign_cert.data(), set.sign_cert.size(), zero.get(), "signCert",
                                    set.sign_key.data(), set.sign_key.size(), nullptr, 0));
  EXPECT_TRUE(fs::exists(holder_folder(g_root / "media" / "0abc" / "NPKI") / "signCert.der"));
}

// A holder folder that already holds a set is backed up into the library's data folder (holder
// and UTC time in the backup's name) before the new set replaces it. Once the new set reads back
// the copy of the old keys is overwritten and removed: a successful store leaves no backup.
TEST_F(StoreFolders, AnExistingSetIsBackedUpFirstAndWipedOnceStored) {
  storetest::ReceivedSet set;
  std::unique_ptr<StoreMedium> medium(folder_medium(g_root / "media"));
  const fs::path holder = holder_folder(g_root / "media" / "NPKI");
  const std::map<std::string, Bytes> old = {
      {"signCert.der", {1, 2, 3}}, {"signPri.key", {4, 5}}, {"kmCert.der", {6}}, {"kmPri.key", {}}};
  plant(holder, old);

  v7::store::set_file_ops(&kInjected);
  storetest::Ctx ctx;
  ASSERT_EQ(0, store(*medium, ctx, set)) << ::testing::PrintToString(storetest::codes(ctx));
  EXPECT_TRUE(storetest::codes(ctx).empty());
  EXPECT_EQ(read(holder / "signCert.der"), set.sign_cert);
  // Before the first file of the holder was written, the whole old set was in one backup folder.
  ASSERT_TRUE(g_inject.holder_written);
  ASSERT_EQ(g_inject.backups_then.size(), old.size());
  for (const auto &file : g_inject.backups_then) {
    const std::string name = file.first.substr(file.first.find('/') + 1);
    EXPECT_EQ(file.first.rfind(std::string(kHolder) + " 20", 0), 0u) << file.first;
    EXPECT_EQ(file.first[file.first.find('/') - 1], 'Z') << file.first;
    ASSERT_EQ(old.count(name), 1u) << name;
    EXPECT_EQ(file.second, old.at(name)) << name;
  }
  // Each copy was overwritten with zeros before it went, and the folder went with them.
  const std::map<std::string, Bytes> zeros = {
      {"signCert.der", {0, 0, 0}}, {"signPri.key", {0, 0}}, {"kmCert.der", {0}}, {"kmPri.key", {}}};
  EXPECT_EQ(g_inject.overwritten, zeros);
  EXPECT_TRUE(tree(g_backups).empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(g_backups), fs::directory_iterator()), 0);

  // Stored again over the set it just wrote: again no backup stays.
  v7::store::set_file_ops(nullptr);
  storetest::Ctx again;
  ASSERT_EQ(0, store(*medium, again, set));
  EXPECT_EQ(std::distance(fs::directory_iterator(g_backups), fs::directory_iterator()), 0);
}

// The text of the context's last entry: where a failed store says its backup is.
std::string last_detail(const STORE_CTX *ctx) {
  const ERROR_NODE *n = ctx->errors->newest;
  const ERROR_SUBNODE *e = n != nullptr ? n->first : nullptr;
  while (e != nullptr && e->next != nullptr) e = e->next;
  return e != nullptr && e->detail != nullptr ? e->detail : "";
}

// The backup folder a failed store named: natively the library joins with backslashes, so the
// folder's own name ends the text.
void expect_names(const std::string &detail, const fs::path &backup) {
  const std::string name = backup.filename().string();
  EXPECT_GT(detail.size(), name.size()) << detail;
  EXPECT_EQ(detail.rfind(name), detail.size() - name.size()) << detail;
  EXPECT_NE(detail.find("backup"), std::string::npos) << detail;
}

// A store that succeeded but could not wipe or remove the copy of the old set is still a success,
// and says so: the context ends with a notice naming the folder, which store_set_on_medium hands
// back too, whichever of the clean-up's steps was refused.
TEST_F(StoreFolders, ABackupThatCannotBeRemovedIsNamedAfterTheStore) {
  storetest::ReceivedSet set;
  std::unique_ptr<StoreMedium> medium(folder_medium(low_ / "media"));
  const fs::path holder = holder_folder(low_ / "media" / "NPKI");
  const std::map<std::string, Bytes> &old = kOldSet;
  for (int step : {1, 2, 3}) {
    for (bool as_received : {false, true}) {
      std::error_code ec;
      fs::remove_all(g_backups, ec);
      fs::remove_all(holder, ec);
      plant(holder, old);
      g_inject = Injection();
      g_inject.refuse_step = step;
      v7::store::set_file_ops(&kInjected);
      std::string named;
      if (as_received) {
        char *kept = nullptr, *left = nullptr;
        EXPECT_EQ(0,
                  store_set_on_medium(medium.get(), set.sign_cert.data(), set.sign_cert.size(),
                                      set.sign_key.data(), set.sign_key.size(), set.km_cert.data(),
                                      set.km_cert.size(), set.km_key.data(), set.km_key.size(), &kept, &left))
            << step;
        EXPECT_EQ(kept, nullptr) << step;
        ASSERT_NE(left, nullptr) << step;
        named = left;
        free(left);
      } else {
        storetest::Ctx ctx;
        EXPECT_EQ(0, store(*medium, ctx, set)) << step;
        EXPECT_EQ(storetest::codes(ctx), (std::vector<int>{v7::kErrStoreBackupLeft, 0})) << step;
        EXPECT_EQ(ctx->kept_backup, nullptr) << step;
        ASSERT_NE(ctx->left_copy, nullptr) << step;
        EXPECT_EQ(last_detail(ctx), ctx->left_copy) << step;
        named = ctx->left_copy;
      }
      EXPECT_EQ(read(holder / "signCert.der"), set.sign_cert) << step;
      ASSERT_EQ(std::distance(fs::directory_iterator(g_backups), fs::directory_iterator()), 1) << step;
      expect_names(named, *fs::directory_iterator(g_backups));
    }
  }
  // Removed as it should be: nothing is said.
  std::error_code ec;
  fs::remove_all(g_backups, ec);
  g_inject = Injection();
  storetest::Ctx ctx;
  EXPECT_EQ(0, store(*medium, ctx, set));
  EXPECT_TRUE(storetest::codes(ctx).empty());
  EXPECT_EQ(ctx->left_copy, nullptr);
}

// A backup that fails part-way refuses the store before anything is written: the old set is whole
// where it was. A partial copy that cannot be removed either is named as a copy the user may
// delete, never as the place where the previous set is kept.
TEST_F(StoreFolders, APartialBackupThatStaysIsNotNamedAsTheKeptSet) {
  storetest::ReceivedSet set;
  std::unique_ptr<StoreMedium> medium(folder_medium(low_ / "media"));
  const fs::path holder = holder_folder(low_ / "media" / "NPKI");
  const std::map<std::string, Bytes> &old = kOldSet;
  plant(holder, old);
  // Writes: 0-3 the backup; the second of its files fails, and its folder cannot go.
  g_inject.fail_at = 1;
  g_inject.code = v7::kErrFileWrite;
  g_inject.refuse_step = 3;
  v7::store::set_file_ops(&kInjected);
  storetest::Ctx ctx;
  EXPECT_EQ(v7::kErrStorePair, store(*medium, ctx, set));
  EXPECT_EQ(storetest::codes(ctx), (std::vector<int>{v7::kErrStorePair, v7::kErrStoreBackup,
                                                     v7::kErrFileWrite, v7::kErrStoreBackupLeft, 0}));
  EXPECT_EQ(ctx->kept_backup, nullptr);
  ASSERT_NE(ctx->left_copy, nullptr);
  EXPECT_EQ(tree(holder), old);
  ASSERT_EQ(std::distance(fs::directory_iterator(g_backups), fs::directory_iterator()), 1);
  expect_names(ctx->left_copy, *fs::directory_iterator(g_backups));

  // The received set's store hands it back the same way.
  std::error_code ec;
  fs::remove_all(g_backups, ec);
  g_inject.count = 0;
  char *kept = nullptr, *left = nullptr;
  EXPECT_EQ(v7::kErrStoreBackup,
            store_set_on_medium(medium.get(), set.sign_cert.data(), set.sign_cert.size(), set.sign_key.data(),
                                set.sign_key.size(), set.km_cert.data(), set.km_cert.size(),
                                set.km_key.data(), set.km_key.size(), &kept, &left));
  EXPECT_EQ(kept, nullptr);
  ASSERT_NE(left, nullptr);
  expect_names(left, *fs::directory_iterator(g_backups));
  free(left);
  EXPECT_EQ(tree(holder), old);
}

// A failure at any write (the disk full, a refused write) leaves the old set byte for byte and
// the backup present, named at the end of the error context; a backup that cannot be made refuses
// the store before anything is written, and its partial copy goes.
//
// The folder lies in the user's LocalLow, where the process writes (and removes) itself: the
// broker cannot remove a file, so through it a part that the old set lacked and that was written
// before the failure would stay.
TEST_F(StoreFolders, AFailedWriteLeavesTheOldSetAsItWas) {
  storetest::ReceivedSet set;
  std::unique_ptr<StoreMedium> medium(folder_medium(low_ / "media"));
  const fs::path holder = holder_folder(low_ / "media" / "NPKI");
  const fs::path backups = low_ / "velmora" / "backup";
  // The old set: three of the four parts, so that a part the new set adds must go again.
  const std::map<std::string, Bytes> old = {{"signCert.der", {1, 2, 3}}, {"signPri.key", {4, 5}}, {"kmCert.der", {6}}};
  plant(holder, old);

  // Writes: 0-2 the backup's three files, then signPri.key, signCert.der, kmPri.key, kmCert.der.
  const struct {
    int fail_at;
    int code;
    int pair_code;
    const char *detail;
  } cases[] = {
      {3, v7::kErrFileWrite, v7::kErrKeyWrite, "Sign"},  {4, v7::kErrFileOpen, v7::kErrCertWrite, "Sign"},
      {5, v7::kErrFileWrite, v7::kErrKeyWrite, ""},      {6, v7::kErrFileOpen, v7::kErrCertWrite, ""},
  };
  for (const auto &c : cases) {
    std::error_code ec;
    fs::remove_all(backups, ec);
    g_inject = Injection();
    g_inject.fail_at = c.fail_at;
    g_inject.code = c.code;
    v7::store::set_file_ops(&kInjected);
    storetest::Ctx ctx;
    EXPECT_EQ(v7::kErrStorePair, store(*medium, ctx, set)) << c.fail_at;
    EXPECT_EQ(storetest::codes(ctx), (std::vector<int>{v7::kErrStorePair, c.pair_code, c.code, 0}))
        << c.fail_at;
    EXPECT_EQ(storetest::first_detail(ctx), c.detail);
    EXPECT_EQ(tree(holder), old) << c.fail_at;
    ASSERT_TRUE(fs::exists(backups)) << c.fail_at;
    EXPECT_EQ(tree(*fs::directory_iterator(backups)), old) << c.fail_at;
    expect_names(last_detail(ctx), *fs::directory_iterator(backups));
    EXPECT_TRUE(g_inject.overwritten.empty()) << c.fail_at;
  }

  // The backup cannot be written: nothing else is.
  fs::remove_all(backups);
  g_inject = Injection();
  g_inject.fail_path_part = "backup";
  g_inject.code = v7::kErrFileWrite;
  storetest::Ctx ctx;
  EXPECT_EQ(v7::kErrStorePair, store(*medium, ctx, set));
  EXPECT_EQ(storetest::codes(ctx), (std::vector<int>{v7::kErrStorePair, v7::kErrStoreBackup, v7::kErrFileWrite}));
  EXPECT_EQ(tree(holder), old);
  EXPECT_EQ(g_inject.count, 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(backups), fs::directory_iterator()), 0);
}

// A file that does not read back as it was written fails the store like a refused write: the old
// set is put back, and its backup stays, named.
TEST_F(StoreFolders, AFileThatDoesNotReadBackFailsTheStore) {
  storetest::ReceivedSet set;
  std::unique_ptr<StoreMedium> medium(folder_medium(low_ / "media"));
  const fs::path holder = holder_folder(low_ / "media" / "NPKI");
  const std::map<std::string, Bytes> &old = kOldSet;
  // Writes: 0-3 the backup, then signPri.key, signCert.der, kmPri.key, kmCert.der.
  const struct {
    int corrupt_at;
    int pair_code;
  } cases[] = {{4, v7::kErrKeyWrite}, {5, v7::kErrCertWrite}, {6, v7::kErrKeyWrite}, {7, v7::kErrCertWrite}};
  for (const auto &c : cases) {
    std::error_code ec;
    fs::remove_all(g_backups, ec);
    fs::remove_all(holder, ec);
    plant(holder, old);
    g_inject = Injection();
    g_inject.corrupt_at = c.corrupt_at;
    v7::store::set_file_ops(&kInjected);
    storetest::Ctx ctx;
    EXPECT_EQ(v7::kErrStorePair, store(*medium, ctx, set)) << c.corrupt_at;
    EXPECT_EQ(storetest::codes(ctx), (std::vector<int>{v7::kErrStorePair, c.pair_code, v7::kErrFileWrite, 0}))
        << c.corrupt_at;
    EXPECT_EQ(tree(holder), old) << c.corrupt_at;
    ASSERT_EQ(std::distance(fs::directory_iterator(g_backups), fs::directory_iterator()), 1) << c.corrupt_at;
    EXPECT_EQ(tree(*fs::directory_iterator(g_backups)), old) << c.corrupt_at;
    expect_names(last_detail(ctx), *fs::directory_iterator(g_backups));
  }
}

// A roll-back that cannot put an old file back is no silent loss: the store says the old set
// could not be restored and names the backup folder that still holds it.
TEST_F(StoreFolders, AFailedRollBackIsReportedWithTheBackup) {
  storetest::ReceivedSet set;
  std::unique_ptr<StoreMedium> medium(folder_medium(low_ / "media"));
  const fs::path holder = holder_folder(low_ / "media" / "NPKI");
  const fs::path backups = low_ / "velmora" / "backup";
  const std::map<std::string, Bytes> &old = kOldSet;
  plant(holder, old);

  // Writes: 0-3 the backup, 4 signPri.key, 5 signCert.der (fails), 6 signPri.key put back (fails).
  g_inject.fail_at = 5;
  g_inject.also_fail_at = 6;
  g_inject.code = v7::kErrFileWrite;
  v7::store::set_file_ops(&kInjected);
  storetest::Ctx ctx;
  EXPECT_EQ(v7::kErrStoreRestore, store(*medium, ctx, set));
  EXPECT_EQ(storetest::codes(ctx), (std::vector<int>{v7::kErrStorePair, v7::kErrCertWrite, v7::kErrFileWrite,
                                                     v7::kErrStoreRestore, 0}));
  ASSERT_TRUE(fs::exists(backups));
  const fs::path backup = *fs::directory_iterator(backups);
  EXPECT_EQ(tree(backup), old);
  const ERROR_NODE *newest = ctx->errors->newest;
  ASSERT_TRUE(newest != nullptr && newest->first != nullptr && newest->first->detail != nullptr);
  expect_names(newest->first->detail, backup);
  expect_names(last_detail(ctx), backup);

  // The single-pair call says the same.
  fs::remove_all(backups);
  g_inject.count = 0;
  g_inject.fail_at = 5;
  g_inject.also_fail_at = 6;
  EXPECT_EQ(v7::kErrStoreRestore, store_pair_on_medium(set.sign_cert.data(), set.sign_cert.size(), medium.get(),
                                                       "signCert", set.sign_key.data(), set.sign_key.size(),
                                                       nullptr, 0));
}

// The set as received goes onto a disk in one transaction: a failure at the key-management pair
// gives the signing pair its old bytes back too, so the medium never mixes a new signing pair
// with the old key-management one.
TEST_F(StoreFolders, ASetAsReceivedIsOneTransaction) {
  storetest::ReceivedSet set;
  std::unique_ptr<StoreMedium> medium(folder_medium(low_ / "media"));
  const fs::path holder = holder_folder(low_ / "media" / "NPKI");
  const std::map<std::string, Bytes> &old = kOldSet;
  plant(holder, old);
  // Writes: 0-3 the backup, 4 signPri.key, 5 signCert.der, 6 kmPri.key, 7 kmCert.der.
  for (int fail_at : {6, 7}) {
    g_inject = Injection();
    g_inject.fail_at = fail_at;
    g_inject.code = v7::kErrFileWrite;
    v7::store::set_file_ops(&kInjected);
    char *kept = nullptr;
    EXPECT_EQ(fail_at == 6 ? v7::kErrKeyWrite : v7::kErrCertWrite,
              store_set_on_medium(medium.get(), set.sign_cert.data(), set.sign_cert.size(), set.sign_key.data(),
                                  set.sign_key.size(), set.km_cert.data(), set.km_cert.size(), set.km_key.data(),
                                  set.km_key.size(), &kept))
        << fail_at;
    EXPECT_EQ(tree(holder), old) << fail_at;
    // The caller learns where the copy of the old set stays, for the user's message.
    ASSERT_NE(kept, nullptr) << fail_at;
    const fs::path backup = *fs::directory_iterator(low_ / "velmora" / "backup");
    expect_names(kept, backup);
    EXPECT_EQ(tree(backup), old) << fail_at;
    free(kept);
    fs::remove_all(low_ / "velmora" / "backup");
  }
  v7::store::set_file_ops(nullptr);
  char *kept = reinterpret_cast<char *>(1);
  EXPECT_EQ(0, store_set_on_medium(medium.get(), set.sign_cert.data(), set.sign_cert.size(), set.sign_key.data(),
                                   set.sign_key.size(), set.km_cert.data(), set.km_cert.size(), set.km_key.data(),
                                   set.km_key.size(), &kept));
  EXPECT_EQ(kept, nullptr) << "a stored set keeps no backup";
  const std::map<std::string, Bytes> now = {{"signCert.der", set.sign_cert},
                                            {"signPri.key", set.sign_key},
                                            {"kmCert.der", set.km_cert},
                                            {"kmPri.key", set.km_key}};
  EXPECT_EQ(tree(holder), now);
  // A key-management part without the other, or a certificate that is none, writes nothing.
  fs::remove_all(holder);
  EXPECT_EQ(v7::kErrInvalidParameter,
            store_set_on_medium(medium.get(), set.sign_cert.data(), set.sign_cert.size(), set.sign_key.data(),
                                set.sign_key.size(), set.km_cert.data(), set.km_cert.size(), nullptr, 0));
  const Bytes half(set.km_cert.begin(), set.km_cert.begin() + 40);
  EXPECT_NE(0, store_set_on_medium(medium.get(), set.sign_cert.data(), set.sign_cert.size(), set.sign_key.data(),
                                   set.sign_key.size(), half.data(), half.size(), set.km_key.data(),
                                   set.km_key.size()));
  EXPECT_FALSE(fs::exists(holder));
}

// Nothing is written when a key does not open, when the key-management certificate does not
// decode, or when the key's VID random value is longer than every medium keeps.
TEST_F(StoreFolders, RefusedBeforeAnythingIsWritten) {
  storetest::ReceivedSet set;
  std::unique_ptr<StoreMedium> medium(folder_medium(g_root / "media"));
  {
    storetest::Ctx ctx;
    EXPECT_EQ(v7::kErrWrongPassword,
              store_cert_pairs(ctx, "wrong-password", set.sign_cert.data(), set.sign_cert.size(), set.sign_key.data(),
                               set.sign_key.size(), set.km_cert.data(), set.km_cert.size(), set.km_key.data(),
                               set.km_key.size(), medium.get()));
    EXPECT_EQ(storetest::codes(ctx),
              (std::vector<int>{v7::kErrKeyDoesNotOpen, v7::kErrSymmetricDecrypt, v7::kErrWrongPassword}));
  }
  {
    storetest::Ctx ctx;
    Bytes bad_km = set.km_cert;
    bad_km.resize(bad_km.size() / 2);
    EXPECT_EQ(v7::kErrStorePair,
              store_cert_pairs(ctx, kPhonePassword, set.sign_cert.data(), set.sign_cert.size(), set.sign_key.data(),
                               set.sign_key.size(), bad_km.data(), bad_km.size(), set.km_key.data(),
                               set.km_key.size(), medium.get()));
    ASSERT_EQ(storetest::codes(ctx).size(), 2u);
    EXPECT_EQ(storetest::codes(ctx)[0], v7::kErrStorePair);
    EXPECT_NE(storetest::codes(ctx)[1], 0);
  }
  {
    storetest::Ctx ctx;
    const Bytes long_random = storetest::with_random(set.sign_key, kPhonePassword, Bytes(kStoreVidRandomMax + 1, 7));
    EXPECT_EQ(v7::kErrVidRandomTooLong,
              store_cert_pairs(ctx, kPhonePassword, set.sign_cert.data(), set.sign_cert.size(), long_random.data(),
                               long_random.size(), nullptr, 0, nullptr, 0, medium.get()));
    // At the bound it is kept with the key.
    const Bytes at_bound = storetest::with_random(set.sign_key, kPhonePassword, Bytes(kStoreVidRandomMax, 7));
    storetest::Ctx fits;
    EXPECT_EQ(0, store_cert_pairs(fits, kPhonePassword, set.sign_cert.data(), set.sign_cert.size(), at_bound.data(),
                                  at_bound.size(), nullptr, 0, nullptr, 0, medium.get()));
    fs::remove_all(g_root / "media");
  }
  EXPECT_FALSE(fs::exists(g_root / "media"));
  // The Korean word names the signing pair in the setting's encoding.
  set_language_id(kLanguageKorean);
  for (int mode : {0, 1}) {
    set_char_encoding_mode(mode);
    certtest::CertSpec spec;
    spec.subject = {{"cn", "C:"}};
    const Bytes cert = certtest::certificate(spec);
    storetest::Ctx ctx;
    EXPECT_EQ(v7::kErrStorePair, store_cert_pairs(ctx, kPhonePassword, cert.data(), cert.size(), set.sign_key.data(),
                                                  set.sign_key.size(), nullptr, 0, nullptr, 0, medium.get()));
    EXPECT_EQ(storetest::first_detail(ctx), mode == 1 ? "\xEC\x84\x9C\xEB\xAA\x85\xEC\x9A\xA9" : "\xBC\xAD\xB8\xED\xBF\xEB");
  }
}

// The context and the re-encryption: a wrong password is 15050 after 1453, a key that is no key
// 1453, and a null argument 1001.
TEST_F(StoreFolders, ReencryptionAndItsFailures) {
  storetest::ReceivedSet set;
  storetest::Ctx ctx;
  uint8_t *out = nullptr;
  size_t n = 0;
  EXPECT_EQ(v7::kErrWrongPassword, store_reencrypt_key(ctx, set.sign_key.data(), set.sign_key.size(), "nope",
                                                       kNewPassword, &out, &n));
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(storetest::codes(ctx),
            (std::vector<int>{v7::kErrKeyDoesNotOpen, v7::kErrSymmetricDecrypt, v7::kErrWrongPassword}));
  const Bytes junk = {0x30, 0x03, 0x02, 0x01, 0x00};
  storetest::Ctx other;
  EXPECT_EQ(v7::kErrKeyDoesNotOpen,
            store_reencrypt_key(other, junk.data(), junk.size(), kPhonePassword, kNewPassword, &out, &n));
  EXPECT_EQ(storetest::codes(other).front(), v7::kErrKeyDoesNotOpen);
  EXPECT_EQ(v7::kErrInvalidParameter, store_reencrypt_key(nullptr, junk.data(), junk.size(), "a", "b", &out, &n));
  EXPECT_EQ(v7::kErrInvalidParameter,
            store_cert_pairs(ctx, nullptr, set.sign_cert.data(), set.sign_cert.size(), set.sign_key.data(),
                             set.sign_key.size(), nullptr, 0, nullptr, 0, nullptr));
  StoreMedium odd;
  odd.kind = static_cast<StoreMediumKind>(16);
  EXPECT_EQ(v7::kErrStoreUnsupportedMedium,
            store_pair_on_medium(set.sign_cert.data(), set.sign_cert.size(), &odd, "signCert", set.sign_key.data(),
                                 set.sign_key.size(), nullptr, 0));
  odd.kind = kStoreSecurityToken;
  EXPECT_EQ(v7::kErrInvalidParameter,
            store_pair_on_medium(set.sign_cert.data(), set.sign_cert.size(), &odd, "signCert", set.sign_key.data(),
                                 set.sign_key.size(), nullptr, 0));
  store_ctx_free(nullptr);
}

}  // namespace
