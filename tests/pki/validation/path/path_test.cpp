// Path validation over the test PKI: every mode, one table of the failures, the cache, storing
// and the caller's in-memory lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/errors/errno_util.h"
#include "pki/ldap/ldap.h"
#include "pki/oid/oid.h"
#include "pki/validation/revocation.h"
#include "pki/validation/validate.h"
#include "pki/x509/cert.h"
#include "pki/x509/name.h"
#include "tests/harness/ports.h"
#include "tests/pki/asn1/asn1_test_util.h"
#include "tests/pki/validation/path/path_test_util.h"

namespace {

using namespace pathtest;

constexpr char kPathCrlName[] = "/CRL/cn=dp1,ou=DirCA,o=PathCA,c=KR.crl";
constexpr char kKisaArlName[] = "/CRL/ou=ARL,ou=Korea Certification Authority Central,o=KISA,c=KR.crl";
constexpr char kCaCrlName[] = "/CRL/cn=dp1p1,ou=dp,ou=AccreditedCA,o=TestCA,c=KR.crl";

class PathTest : public PathTestBase {};


struct Case {
  const char *mode;
  const char *file;
  int expected;
  int also;  // a code the trail must hold as well, or 0
};

// Leaves under the directory-published CA validate in every mode that may reach the directory;
// CHAIN mode stays with the built-in table, where the accredited CA's leaves are found.
TEST_F(PathTest, GoodPathsValidateInEveryMode) {
  const auto check = [](const Case &c) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.file);
    Options o;
    o.mode = c.mode;
    Env env("modes", o);
    EXPECT_EQ(c.expected, env.validate(c.file)) << err_ctx_format(&env.err, kErrFmtEnglish | kErrFmtUtf8);
  };
  const Case cases[] = {
      {"NOCRL", "user_km.der", 0, 0},
      {"CHAIN", "user_km.der", 0, 0},
      {"CHAIN", "relay.der", 0, 0},
      {"CHAIN", "path_good.der", v7::kErrNoIssuerCert, 0},
      // Its signature begins with a zero byte and is written without it: the same number.
      {"CHAIN", "path_short_sig.der", 0, 0},
      // Signed with SHA-1 and labelled so.
      {"CHAIN", "path_sha1_signed.der", 0, 0},
  };
  for (const Case &c : cases) check(c);
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  // The directory-published CA is fetched.
  const Case directory_cases[] = {
      {"CRL", "path_good.der", 0, 0},
      {"OCSP", "path_good.der", 0, 0},
      {"NOCRL", "path_good.der", 0, 0},
  };
  for (const Case &c : directory_cases) check(c);
}

TEST_F(PathTest, EachFailureGivesItsCode) {
  const auto check = [](const Case &c) {
    SCOPED_TRACE(std::string(c.mode) + " " + c.file);
    Options o;
    o.mode = c.mode;
    o.store = "FALSE";
    Env env("fail", o);
    EXPECT_EQ(c.expected, env.validate(c.file)) << err_ctx_format(&env.err, kErrFmtEnglish | kErrFmtUtf8);
    EXPECT_TRUE(in_trail(env.err, c.expected));
    if (c.also != 0) {
      EXPECT_TRUE(in_trail(env.err, c.also)) << c.also;
    }
  };
  const Case cases[] = {
      {"CHAIN", "path_orphan.der", v7::kErrNoIssuerCert, 0},
      // A signing certificate validated for key encipherment; no key usage at all; a critical
      // extended key usage (codeSigning) its key usage (keyEncipherment) does not allow.
      {"CHAIN", "user_sign.der", v7::kErrKeyUsage, v7::kErrValidateUserCert},
      {"CHAIN", "path_noku.der", v7::kErrNoKeyUsage, v7::kErrValidateUserCert},
      {"CHAIN", "path_eku_disagrees.der", v7::kErrExtKeyUsage, v7::kErrValidateUserCert},
      // The built-in CA its key identifier and serial name does not issue it: the inner and outer
      // signature algorithms differ, or its issuer name is another's.
      {"CHAIN", "path_sig_alg_mismatch.der", v7::kErrNoIssuerCert, v7::kErrSignatureAlgMismatch},
      {"CHAIN", "path_renamed_issuer.der", v7::kErrNoIssuerCert, v7::kErrIssuerNameMismatch},
      // A signature whose DigestInfo names another hash than its algorithm: SHA-256 under a
      // sha1WithRSAEncryption label, and SHA-1 under a sha256WithRSAEncryption one.
      {"CHAIN", "path_sha1_label_sha256_sig.der", v7::kErrNoIssuerCert, v7::kErrCertSignature},
      {"CHAIN", "path_sha256_label_sha1_sig.der", v7::kErrNoIssuerCert, v7::kErrCertSignature},
  };
  for (const Case &c : cases) check(c);
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  // The issuer, its lists or the trust list come from the directory.
  const Case directory_cases[] = {
      {"NOCRL", "path_expired.der", v7::kErrCertExpired, v7::kErrValidateUserCert},
      {"CRL", "path_revoked.der", v7::kErrCertRevoked, 0},
      {"CRL", "path_hold.der", v7::kErrCertHeld, 0},
      // No reasonCode: revoked for an unspecified reason.
      {"CRL", "path_noreason.der", v7::kErrCertRevoked, 0},
      // Without an OCSP client, OCSP mode still checks the end certificate's list.
      {"OCSP", "path_revoked.der", v7::kErrCertRevoked, 0},
      // 1.2.410.200005.1.1 is an arc prefix of accepted policies, not one of them.
      {"NOCRL", "path_policy.der", v7::kErrPolicy, 0},
      {"NOCRL", "path_nopolicy.der", v7::kErrNoCertPolicies, 0},
      {"NOCRL", "path_badsig.der", v7::kErrNoIssuerCert, v7::kErrCertSignature},
      {"NOCRL", "path_critext.der", v7::kErrCriticalExtension, 0},
      {"NOCRL", "path_deep_leaf.der", v7::kErrPathLength, v7::kErrValidateCaCert},
      {"NOCRL", "path_nopathlen_leaf.der", v7::kErrBasicConstraints, v7::kErrValidateCaCert},
      {"NOCRL", "path_keyid_only.der", v7::kErrNoIssuerCert, v7::kErrInvalidAki},
      // No distribution point, so no address to fetch the issuer from: it is not looked for at the
      // settings' directory instead.
      {"NOCRL", "path_nocdp.der", v7::kErrNoIssuerCert, v7::kErrInvalidCdp},
      {"NOCRL", "path_orphan.der", v7::kErrNoIssuerCert, 0},
      {"NOCRL", "path_root_untrusted.der", v7::kErrMistrustedRoot, v7::kErrCtlNotListed},
  };
  for (const Case &c : directory_cases) check(c);
}

TEST_F(PathTest, NoTimeCheckAcceptsAnExpiredLeaf) {
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  Options o;
  o.mode = "NOCRL";
  o.time_check = false;
  Env env("notime", o);
  EXPECT_EQ(0, env.validate("path_expired.der"));
}

std::string only_file(const std::string &folder) {
  std::string found;
  for (const auto &e : std::filesystem::directory_iterator(std::filesystem::u8path(folder))) {
    EXPECT_TRUE(found.empty()) << "more than one file in " << folder;
    found = e.path().u8string();
  }
  return found;
}

// The first validation fetches the CA certificate and both lists over LDAP and caches them; the
// cached issuer is then found by its key identifier and serial.
TEST_F(PathTest, FetchedCertificatesAndListsAreCached) {
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  Env env("cache");
  ASSERT_EQ(0, env.validate("path_good.der")) << err_ctx_format(&env.err, kErrFmtEnglish | kErrFmtUtf8);
  EXPECT_EQ(fixture("path_crl.der"), read_file(env.cert_dir + kPathCrlName));
  EXPECT_EQ(fixture("arl_good.der"), read_file(env.cert_dir + kKisaArlName));
  std::string ca_file = only_file(env.cert_dir + "/CA");
  EXPECT_EQ(fixture("path_ca.der"), read_file(ca_file));
  EXPECT_NE(std::string::npos, ca_file.find("_20481.der")) << ca_file;  // serial 0x5001

  Decoded leaf(fixture("path_good.der"));
  Certificate *issuer = issuer_cert_by_aki(env.ctx, env.cert_dir.c_str(), leaf.cert, ISSUER_BY_AKI_CACHE);
  ASSERT_NE(nullptr, issuer);
  EXPECT_EQ(0, name_compare(&issuer->tbs.subject, &leaf.cert->tbs.issuer));
  asn1_release(&asn1_tmpl_certificate, issuer);
  // And the built-in table does not hold it.
  EXPECT_EQ(nullptr, issuer_cert_by_aki(env.ctx, nullptr, leaf.cert, ISSUER_BY_AKI_BUILTIN));
}

// The accredited CA's leaves name a directory on 127.0.0.1:389, where nothing answers: the lists
// can come only from the cache.
TEST_F(PathTest, CachedListsServeWhenTheDirectoryIsDown) {
  Env down("down");
  EXPECT_EQ(v7::kErrGetCrl, down.validate("user_km.der"));
  Env env("cached");
  write_file(env.cert_dir + kCaCrlName, fixture("crl_good.der"));
  write_file(env.cert_dir + kKisaArlName, fixture("arl_good.der"));
  EXPECT_EQ(0, env.validate("user_km.der")) << err_ctx_format(&env.err, kErrFmtEnglish | kErrFmtUtf8);
  // A cached list that says revoked is believed like a fetched one.
  write_file(env.cert_dir + kKisaArlName, fixture("arl_revoked.der"));
  EXPECT_EQ(v7::kErrCertRevoked, env.validate("user_km.der"));
}

TEST_F(PathTest, StoreCertsFalseWritesNothing) {
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  Options o;
  o.store = "FALSE";
  Env env("nostore", o);
  EXPECT_EQ(0, env.validate("path_good.der"));
  EXPECT_EQ(0u, files_under(env.folder));
}

TEST_F(PathTest, StaleCachedListIsFetchedAgain) {
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  Env env("stale");
  write_file(env.cert_dir + kPathCrlName, fixture("path_crl_stale.der"));
  // The stale list has no entries; only the fresh one knows the revocation.
  EXPECT_EQ(v7::kErrCertRevoked, env.validate("path_revoked.der"));
  EXPECT_EQ(fixture("path_crl.der"), read_file(env.cert_dir + kPathCrlName));
}

TEST_F(PathTest, InMemoryLists) {
  Options o;
  o.store = "FALSE";
  Env env("memory", o);
  struct MemCase {
    const char *file;
    const char *arl;
    const char *crl;
    int expected;
  };
  const auto check = [&env](const MemCase &c) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(c.expected, env.validate_with_lists(c.file, c.arl, c.crl))
        << err_ctx_format(&env.err, kErrFmtEnglish | kErrFmtUtf8);
    EXPECT_EQ(nullptr, env.ctx->crls);
  };
  const MemCase cases[] = {
      {"user_km.der", "arl_good.der", "crl_good.der", 0},
      {"user_km.der", "arl_revoked.der", "crl_good.der", v7::kErrCertRevoked},  // its CA is revoked
      // A list that does not verify under the issuer is refused, not skipped.
      {"user_km.der", "arl_good.der", "crl_badsig.der", v7::kErrValidateCrl},
  };
  for (const MemCase &c : cases) check(c);
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  // The directory-published CA is fetched.
  const MemCase directory_cases[] = {
      {"path_good.der", "arl_good.der", "path_crl.der", 0},
      {"path_revoked.der", "arl_good.der", "path_crl.der", v7::kErrCertRevoked},
      // A list out of date counts as none: the current one is fetched and knows the revocation.
      {"path_revoked.der", "arl_good.der", "path_crl_stale.der", v7::kErrCertRevoked},
      {"path_hold.der", "arl_good.der", nullptr, v7::kErrCertHeld},
  };
  for (const MemCase &c : directory_cases) check(c);
}

// The chain a peer sends along is searched before the cache; CHAIN mode never asks the directory.
TEST_F(PathTest, ExtraIssuersForOneCall) {
  Options o;
  o.mode = "CHAIN";
  Env env("extra", o);
  Bytes der = fixture("path_good.der");
  Bytes ca = fixture("path_ca.der");
  Bytes junk = {0x30, 0x03, 0x02, 0x01, 0x01};
  const uint8_t *ders[] = {junk.data(), ca.data()};
  const size_t lens[] = {junk.size(), ca.size()};
  EXPECT_EQ(0, cert_validate_der_with_issuers(der.data(), der.size(), env.ctx, ders, lens, 2));
  EXPECT_EQ(nullptr, env.ctx->extra_issuers);
  EXPECT_EQ(v7::kErrNoIssuerCert, env.validate("path_good.der"));
  // A candidate that did not issue the certificate is not taken.
  Bytes other = fixture("path_ca_nopathlen.der");
  const uint8_t *wrong[] = {other.data()};
  const size_t wrong_lens[] = {other.size()};
  EXPECT_EQ(v7::kErrNoIssuerCert,
            cert_validate_der_with_issuers(der.data(), der.size(), env.ctx, wrong, wrong_lens, 1));
}

// Two CAs that issued each other: chain building stops instead of going round.
TEST_F(PathTest, ChainBuildingStopsAtARepeat) {
  Options o;
  o.mode = "CHAIN";
  Env env("loop", o);
  Bytes der = fixture("path_loop_leaf.der");
  Bytes x = fixture("path_loop_x.der");
  Bytes y = fixture("path_loop_y.der");
  const uint8_t *ders[] = {x.data(), y.data()};
  const size_t lens[] = {x.size(), y.size()};
  EXPECT_EQ(v7::kErrNoIssuerCert,
            cert_validate_der_with_issuers(der.data(), der.size(), env.ctx, ders, lens, 2));
}

// The orphan leaf re-encoded with one distribution point whose full name holds twelve copies of
// the URI, and the codes its validation left on the trail.
std::vector<int> validate_with_uris(const std::string &uri, int *result) {
  Options o;
  o.mode = "NOCRL";
  o.store = "FALSE";
  Env env("attempts", o);
  std::vector<int> codes;
  Decoded leaf(fixture("path_orphan.der"));
  EXPECT_NE(nullptr, leaf.cert);
  if (leaf.cert == nullptr) return codes;
  Bytes uris;
  for (int i = 0; i < 12; ++i)
    uris = asn1test::cat({uris, asn1test::tlv(0x86, Bytes(uri.begin(), uri.end()))});
  Bytes cdp = asn1test::tlv(0x30, asn1test::tlv(0x30, asn1test::tlv(0xA0, asn1test::tlv(0xA0, uris))));
  auto *ext = const_cast<Extension *>(cert_find_extension(leaf.cert, OID_EXT_CRL_DIST_POINTS));
  EXPECT_NE(nullptr, ext);
  if (ext == nullptr) return codes;
  const ASN1_BYTES saved = ext->extn_value;
  ext->extn_value.data = cdp.data();
  ext->extn_value.len = uint32_t(cdp.size());
  uint8_t *der = nullptr;
  size_t len = 0;
  size_t encoded = der_encode_alloc(&asn1_tmpl_certificate, leaf.cert, &der, &len);
  ext->extn_value = saved;
  EXPECT_NE(0u, encoded);
  *result = cert_validate_der(der, len, env.ctx);
  free(der);
  for (const ERROR_NODE *n = env.err.newest; n != nullptr; n = n->older)
    for (const ERROR_SUBNODE *e = n->first; e != nullptr; e = e->next) codes.push_back(e->code);
  return codes;
}

// The directory addresses come from the certificate under validation: one that lists a dozen
// is tried at only a few of them, since each may wait out the network limits.
TEST_F(PathTest, DirectoryAttemptsPerIssuerAreBounded) {
  int result = 0;
  const std::vector<int> codes = validate_with_uris("ldap://127.0.0.1:1/c=KR", &result);
  EXPECT_EQ(v7::kErrNoIssuerCert, result);
  const auto attempts = std::count(codes.begin(), codes.end(), int(v7::kErrLdapConnect));
  EXPECT_GE(attempts, 1);
  EXPECT_LE(attempts, 4);
}

// Against a server that takes the bind and never answers, each attempt waits out a message limit;
// the issuer's lookup budget ends the attempts before the fourth. An attempt costs at least its
// message limit, so however slowly the machine runs, at most two of them can wait out their
// replies within the budget, and the one the budget cuts short is the last: with no shared
// budget all four would wait theirs out.
TEST_F(PathTest, DirectoryAttemptsPerIssuerShareOneBudget) {
  const auto ports = v7test::read_ports("V7_LDAP_PORTS");
  const int silent = ports.count("silent") != 0 ? ports.at("silent") : 0;
  if (silent == 0) GTEST_SKIP() << "no scripted directory server (V7_LDAP_PORTS)";
  const LDAP_LIMITS limits{400, 10000, 1000};
  ldap_set_limits_hook(&limits);
  int result = 0;
  const std::vector<int> codes =
      validate_with_uris("ldap://127.0.0.1:" + std::to_string(silent) + "/c=KR", &result);
  ldap_set_limits_hook(nullptr);
  EXPECT_EQ(v7::kErrNoIssuerCert, result);
  const auto waited = std::count(codes.begin(), codes.end(), int(v7::kErrLdapRecv)) +
                      std::count(codes.begin(), codes.end(), int(v7::kErrLdapConnect));
  EXPECT_LE(waited, 2);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), int(v7::kErrLdapTimeLimit)), 1);
}

// A fetched issuer or list that must be stored and cannot be fails the validation; where storing
// is only tried, the same validation passes.
TEST_F(PathTest, StoreCertsTrueFailsWhenTheCacheCannotBeWritten) {
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  const struct {
    const char *mode;
    const char *issuer;  // handed along, so that only the lists are fetched; or null
    int expected;
    int also;
  } cases[] = {
      {"NOCRL", nullptr, v7::kErrNoIssuerCert, v7::kErrStoreIssuer},
      // The list of the CA handed along.
      {"CRL", "path_ca.der", v7::kErrStoreCrl, v7::kErrValidateCaCert},
  };
  for (const auto &c : cases) {
    const Bytes der = fixture("path_good.der"), issuer = c.issuer != nullptr ? fixture(c.issuer) : Bytes();
    const uint8_t *ders[] = {issuer.data()};
    const size_t lens[] = {issuer.size()};
    for (const char *store : {"TRUE", "TRY_STORING"}) {
      SCOPED_TRACE(std::string(c.mode) + " " + store);
      Options o;
      o.mode = c.mode;
      o.store = store;
      Env env("storefail", o);
      write_file(env.cert_dir, Bytes{1});  // a file where the folder should be
      const int code =
          cert_validate_der_with_issuers(der.data(), der.size(), env.ctx, ders, lens, issuer.empty() ? 0 : 1);
      if (strcmp(store, "TRY_STORING") == 0) {
        EXPECT_EQ(0, code) << err_ctx_format(&env.err, kErrFmtEnglish | kErrFmtUtf8);
        continue;
      }
      EXPECT_EQ(c.expected, code) << err_ctx_format(&env.err, kErrFmtEnglish | kErrFmtUtf8);
      EXPECT_TRUE(in_trail(env.err, c.expected));
      EXPECT_TRUE(in_trail(env.err, c.also));
    }
  }
}

TEST_F(PathTest, ContextAndArguments) {
  Env env("args");
  EXPECT_EQ(v7::kErrNoValidationCtx, cert_validate_der(nullptr, 0, nullptr));
  Bytes der = fixture("user_km.der");
  Decoded cert(der);
  EXPECT_EQ(v7::kErrNoValidationCtx, cert_validate(cert.cert, nullptr, KU_CHECK_KEY_ENCIPHERMENT));
  Bytes cut(der.begin(), der.begin() + 100);
  EXPECT_NE(0, cert_validate_der(cut.data(), cut.size(), env.ctx));
  strcpy(env.ctx->second_dir, "NOT_AVAILABLE");
  EXPECT_EQ(v7::kErrProfileDir, cert_validate(cert.cert, env.ctx, KU_CHECK_KEY_ENCIPHERMENT));
  EXPECT_EQ(nullptr, valctx_create(nullptr, &env.err));
  EXPECT_EQ(nullptr, valctx_create(env.settings.get(), nullptr));

  // A directory that does not fit the context's 260 characters is refused, not cut.
  VALIDATION_SETTINGS long_dir = *env.settings;
  std::string text(261, 'a');
  strcpy(long_dir.cert_dir, text.c_str());
  errno = 0;
  EXPECT_EQ(nullptr, valctx_create(&long_dir, &env.err));
  EXPECT_EQ(v7::kErrConfigInvalidValue, errno);
  text.resize(260);
  strcpy(long_dir.cert_dir, text.c_str());
  VALIDATION_CTX *fits = valctx_create(&long_dir, &env.err);
  EXPECT_NE(nullptr, fits);
  valctx_free(fits);
}

}  // namespace
