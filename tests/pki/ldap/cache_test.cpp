// The file cache on its own: where each kind lands, what reads back, and the names and lengths
// it refuses. The files are the committed test PKI's.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "pki/asn1/asn1.h"
#include "pki/asn1/x509_types.h"
#include "pki/ldap/ldap.h"
#include "pki/text/files.h"
#include "platform/osver/os_version_query.h"
#include "tests/harness/vectors.h"
#include "tests/pki/ldap/ldap_test_util.h"

using v7test::Bytes;

namespace {

namespace fs = std::filesystem;

class Cache : public ::testing::Test {
 protected:
  void SetUp() override {
    // Before Vista every path is written directly (later systems hand some to the broker).
    platform_set_os_version_hook(ldaptest::answer_xp);
    folder_ = ldaptest::scratch_folder("cache");
  }
  void TearDown() override {
    ldaptest::remove_folder(folder_);
    platform_set_os_version_hook(nullptr);
  }
  std::string folder_;
};

struct KindCase {
  int kind;
  const char *fixture;
  const char *stored_as;         // below the folder
  const ASN1_TEMPLATE *read_as;  // null: not read back
};

const char kDn[] = "cn=dp1p1,ou=dp,ou=AccreditedCA,o=TestCA,c=KR";

TEST_F(Cache, EachKindLandsWhereItsTableSaysAndReadsBack) {
  const KindCase cases[] = {
      {CACHE_KIND_CA_CERT, "pki/ca.der", "/CA/", &asn1_tmpl_certificate},
      {CACHE_KIND_ROOT_CERT, "pki/root_kisa.der", "/", nullptr},
      {CACHE_KIND_CRL, "pki/crl_good.der", "/CRL/", &asn1_tmpl_certificate_list},
      {CACHE_KIND_ARL, "pki/arl_good.der", "/CRL/", &asn1_tmpl_certificate_list},
      {CACHE_KIND_TRUST_LIST, "pki/root_ordinary.der", "/CA/", nullptr},
  };
  const char *extension[] = {".der", ".der", ".crl", ".crl", ".stl"};
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    const KindCase &c = cases[i];
    SCOPED_TRACE(c.kind);
    const Bytes der = ldaptest::read_file(v7test::fixtures_path(c.fixture));
    ASSERT_FALSE(der.empty());
    const std::string name = std::string(kDn) + "_" + std::to_string(c.kind);
    ASSERT_EQ(cache_write(der.data(), name.c_str(), c.kind, folder_.c_str(), der.size()), 0) << errno;
    EXPECT_EQ(ldaptest::read_file(folder_ + c.stored_as + name + extension[i]), der);
    errno = 0;
    void *record = cache_read(name.c_str(), folder_.c_str(), c.kind);
    if (c.read_as == nullptr) {
      EXPECT_EQ(record, nullptr);
      EXPECT_EQ(errno, 1001);
      continue;
    }
    ASSERT_NE(record, nullptr) << errno;
    EXPECT_EQ(ldaptest::encode(c.read_as, record), der);
    asn1_release(c.read_as, record);
  }
  // The second write of a name replaces the first.
  const Bytes ca = ldaptest::read_file(v7test::fixtures_path("pki/root_kisa.der"));
  ASSERT_EQ(cache_write(ca.data(), "again", CACHE_KIND_CA_CERT, folder_.c_str(), ca.size()), 0);
  const Bytes other = ldaptest::read_file(v7test::fixtures_path("pki/ca.der"));
  ASSERT_EQ(cache_write(other.data(), "again", CACHE_KIND_CA_CERT, folder_.c_str(), other.size()), 0);
  EXPECT_EQ(ldaptest::read_file(folder_ + "/CA/again.der"), other);
}

TEST_F(Cache, NamesThatWouldLeaveTheFolderAreRefused) {
  const Bytes der = ldaptest::read_file(v7test::fixtures_path("pki/crl_good.der"));
  const char *names[] = {"..",        "../escaped", "..\\escaped", "a/b",    "a\\b",    "C:escaped",
                         "x\x01y",    "wild*",      "what?",       "pipe|",  "quote\"", ".",
                         "trailing.", "nul",        "Com1",        "LPT9.a", "con "};
  for (const char *name : names) {
    SCOPED_TRACE(name);
    errno = 0;
    EXPECT_EQ(cache_write(der.data(), name, CACHE_KIND_CRL, folder_.c_str(), der.size()), 1016);
    EXPECT_EQ(errno, 1016);
    errno = 0;
    EXPECT_EQ(cache_read(name, folder_.c_str(), CACHE_KIND_CRL), nullptr);
    EXPECT_EQ(errno, 1016);
  }
  // Nothing was made, not even the subfolder, and nothing beside the folder.
  EXPECT_FALSE(fs::exists(fs::u8path(folder_ + "/CRL")));
  EXPECT_FALSE(fs::exists(fs::u8path(folder_ + "/escaped.crl")));
  EXPECT_FALSE(fs::exists(fs::u8path(folder_ + "/../escaped.crl")));
}

TEST_F(Cache, PathLengthLimits) {
  const Bytes der = ldaptest::read_file(v7test::fixtures_path("pki/crl_good.der"));
  const size_t fixed = folder_.size() + std::strlen("/CRL/") + std::strlen(".crl");
  ASSERT_LT(fixed + 10, kCacheMaxPath);
  // 261 characters is one too many; 260 passes the cache's own rule (the file layer, which holds
  // fewer, may still refuse it).
  const std::string too_long(kCacheMaxPath - fixed, 'n');
  errno = 0;
  EXPECT_EQ(cache_write(der.data(), too_long.c_str(), CACHE_KIND_CRL, folder_.c_str(), der.size()), 1007);
  EXPECT_EQ(cache_read(too_long.c_str(), folder_.c_str(), CACHE_KIND_CRL), nullptr);
  EXPECT_EQ(errno, 1007);
  EXPECT_FALSE(fs::exists(fs::u8path(folder_ + "/CRL")));
  const std::string longest(kCacheMaxPath - 1 - fixed, 'n');
  EXPECT_NE(cache_write(der.data(), longest.c_str(), CACHE_KIND_CRL, folder_.c_str(), der.size()), 1007);
  const std::string fits(kCacheMaxPath - 20 - fixed, 'n');
  EXPECT_EQ(cache_write(der.data(), fits.c_str(), CACHE_KIND_CRL, folder_.c_str(), der.size()), 0);

  const std::string name_513(kCacheMaxName + 1, 'n');
  EXPECT_EQ(cache_write(der.data(), name_513.c_str(), CACHE_KIND_CRL, "f", der.size()), 1007);
  const std::string folder_260(kCacheMaxFolder, 'f');
  EXPECT_EQ(cache_write(der.data(), "x", CACHE_KIND_CRL, folder_260.c_str(), der.size()), 1007);
}

TEST_F(Cache, BadArgumentsAndBadFiles) {
  const Bytes der = ldaptest::read_file(v7test::fixtures_path("pki/ca.der"));
  const char *f = folder_.c_str();
  EXPECT_EQ(cache_write(nullptr, "x", CACHE_KIND_CA_CERT, f, 10), 1001);
  EXPECT_EQ(cache_write(der.data(), nullptr, CACHE_KIND_CA_CERT, f, der.size()), 1001);
  EXPECT_EQ(cache_write(der.data(), "x", CACHE_KIND_CA_CERT, nullptr, der.size()), 1001);
  EXPECT_EQ(cache_write(der.data(), "x", CACHE_KIND_CA_CERT, f, 0), 1001);
  EXPECT_EQ(cache_write(der.data(), "", CACHE_KIND_CA_CERT, f, der.size()), 1001);
  for (int kind : {0, 1, 5, 8, 48, 128}) {
    errno = 0;
    EXPECT_EQ(cache_write(der.data(), "x", kind, f, der.size()), 1001) << kind;
    EXPECT_EQ(cache_read("x", f, kind), nullptr);
    EXPECT_EQ(errno, 1001) << kind;
  }
  errno = 0;
  EXPECT_EQ(cache_read("absent", f, CACHE_KIND_CA_CERT), nullptr);
  EXPECT_EQ(errno, 1009);

  // A file cut short holds less than its element claims.
  ASSERT_EQ(cache_write(der.data(), "cut", CACHE_KIND_CA_CERT, f, der.size() - 1), 0);
  errno = 0;
  EXPECT_EQ(cache_read("cut", f, CACHE_KIND_CA_CERT), nullptr);
  EXPECT_EQ(errno, 1112);
  // A CRL is not a certificate: the decoder's code.
  const Bytes crl = ldaptest::read_file(v7test::fixtures_path("pki/crl_good.der"));
  ASSERT_EQ(cache_write(crl.data(), "crl", CACHE_KIND_CA_CERT, f, crl.size()), 0);
  errno = 0;
  EXPECT_EQ(cache_read("crl", f, CACHE_KIND_CA_CERT), nullptr);
  EXPECT_NE(errno, 0);
  EXPECT_NE(errno, 1112);
}

}  // namespace
