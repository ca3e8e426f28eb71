// Helpers of the path-validation tests: settings and contexts over scratch folders, fixtures,
// and the error trail.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "pki/asn1/asn1.h"
#include "pki/errors/error_ctx.h"
#include "pki/validation/valcfg.h"
#include "pki/validation/validate.h"
#include "platform/osver/os_version_query.h"
#include "tests/harness/vectors.h"

namespace pathtest {

using v7test::Bytes;

constexpr char kCtlDn[] = "cn=PATH-CTL,ou=ROOTCA,o=KISA,c=KR";

// The fixtures' directory server (tests/pki/validation/path/path_slapd.py on 127.0.0.1:38389, the
// port their distribution points name) serves this run: ctest starts it, where slapd is installed,
// before the tests and says so in V7_PATH_SLAPD. The cases that need it are skipped without it:
// they would only fail for want of a server.
inline bool directory_served() { return std::getenv("V7_PATH_SLAPD") != nullptr; }
constexpr char kNoDirectory[] = "no directory server of the path fixtures (V7_PATH_SLAPD)";

inline Bytes read_file(const std::string &path) {
  std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}
inline Bytes fixture(const std::string &name) { return read_file(v7test::fixtures_path("pki/" + name)); }

inline void write_file(const std::string &path, const Bytes &data) {
  std::filesystem::create_directories(std::filesystem::u8path(path).parent_path());
  std::ofstream out(std::filesystem::u8path(path), std::ios::binary);
  out.write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

inline bool exists(const std::string &path) { return std::filesystem::exists(std::filesystem::u8path(path)); }

inline size_t files_under(const std::string &folder) {
  std::error_code ec;
  size_t n = 0;
  if (!exists(folder)) return 0;
  for (auto it = std::filesystem::recursive_directory_iterator(std::filesystem::u8path(folder), ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
    if (it->is_regular_file()) ++n;
  return n;
}

struct Decoded {
  Certificate *cert = nullptr;
  explicit Decoded(const Bytes &der)
      : cert(static_cast<Certificate *>(
            asn1_decode_alloc(ASN1_MODE_DER, der.data(), &asn1_tmpl_certificate, der.size()))) {}
  ~Decoded() { asn1_release(&asn1_tmpl_certificate, cert); }
};

inline bool answer_xp(OsVersionRecord *out) {
  *out = OsVersionRecord{2, 5, 1};
  return true;
}

// True when the code is anywhere in the error trail.
inline bool in_trail(const ERROR_CTX &err, int code) {
  for (const ERROR_NODE *n = err.newest; n != nullptr; n = n->older)
    for (const ERROR_SUBNODE *e = n->first; e != nullptr; e = e->next)
      if (e->code == code) return true;
  return false;
}

// The detail of the newest entry with the code, or null.
inline const char *detail_of(const ERROR_CTX &err, int code) {
  for (const ERROR_NODE *n = err.newest; n != nullptr; n = n->older)
    for (const ERROR_SUBNODE *e = n->first; e != nullptr; e = e->next)
      if (e->code == code) return e->detail;
  return nullptr;
}

struct Options {
  const char *mode = "CRL";
  const char *store = "TRUE";
  const char *ctl_dn = kCtlDn;
  bool time_check = true;
};

// Settings, error context and validation context over a fresh scratch folder.
class Env {
 public:
  explicit Env(const std::string &tag, const Options &o = Options()) {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder = std::string(V7_PATH_TEST_DIR) + "/" + tag + "-" + info->name();
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::u8path(folder), ec);
    std::filesystem::create_directories(std::filesystem::u8path(folder), ec);
    cert_dir = folder + "/certs";
    root_dir = folder + "/roots";
    settings.reset(new VALIDATION_SETTINGS());
    EXPECT_EQ(0, valcfg_set("Validation", settings.get(), o.mode));
    EXPECT_EQ(0, valcfg_set("CertDir", settings.get(), cert_dir.c_str()));
    EXPECT_EQ(0, valcfg_set("RootCertDir", settings.get(), root_dir.c_str()));
    EXPECT_EQ(0, valcfg_set("StoreCerts", settings.get(), o.store));
    EXPECT_EQ(0, valcfg_set("LDAPAddr", settings.get(), "127.0.0.1"));
    EXPECT_EQ(0, valcfg_set("LDAPPort", settings.get(), "38389"));
    EXPECT_EQ(0, valcfg_set("CtlDN", settings.get(), o.ctl_dn));
    EXPECT_EQ(0, valcfg_set("CHECKTimeout", settings.get(), o.time_check ? "TRUE" : "FALSE"));
    EXPECT_EQ(0, valcfg_finish(settings.get()));
    ctx = valctx_create(settings.get(), &err);
    EXPECT_NE(nullptr, ctx);
  }
  ~Env() {
    valctx_free(ctx);
    err_ctx_clear(&err);
    cert_nodes_free(settings->roots);
  }
  Env(const Env &) = delete;
  Env &operator=(const Env &) = delete;

  int validate(const std::string &name) {
    Bytes der = fixture(name);
    err_ctx_clear(&err);
    return cert_validate_der(der.data(), der.size(), ctx);
  }
  // The same with an ARL and a CRL handed in for the call (a null crl hands in none).
  int validate_with_lists(const std::string &name, const char *arl, const char *crl) {
    Bytes der = fixture(name), arl_der = fixture(arl), crl_der = crl != nullptr ? fixture(crl) : Bytes();
    err_ctx_clear(&err);
    return cert_validate_der_with_crls(der.size(), der.data(), ctx, arl_der.data(), arl_der.size(),
                                       crl_der.empty() ? nullptr : crl_der.data(), crl_der.size());
  }
  // One more trust anchor, at the end of the list as a trust list would add it; freed with the
  // settings' roots.
  void add_anchor(const std::string &name) {
    Bytes der = fixture(name);
    auto *node = static_cast<CERT_NODE *>(calloc(1, sizeof(CERT_NODE)));
    ASSERT_NE(nullptr, node);
    node->cert = static_cast<Certificate *>(
        asn1_decode_alloc(ASN1_MODE_DER, der.data(), &asn1_tmpl_certificate, der.size()));
    CERT_NODE **tail = &settings->roots;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = node;
    ASSERT_NE(nullptr, node->cert) << name;
  }
  // RootCertDir as the settings finished it (with its "/").
  std::string root_folder() const { return settings->root_cert_dir; }

  std::string folder, cert_dir, root_dir;
  std::unique_ptr<VALIDATION_SETTINGS> settings;
  ERROR_CTX err{};
  VALIDATION_CTX *ctx = nullptr;
};

// Keeps the cache on direct file writes under Wine (no protected-mode broker there).
class PathTestBase : public ::testing::Test {
 protected:
  void SetUp() override { platform_set_os_version_hook(answer_xp); }
  void TearDown() override { platform_set_os_version_hook(nullptr); }
};

}  // namespace pathtest
