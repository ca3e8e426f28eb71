// The refusals of the revocation-list checks, of the issuer check against extra candidates and of
// the trust anchor's validity: one fixture per code (tests/fixtures/pki/make-path-pki.sh), and
// the code each must give. Accepting any of them would report a certificate as valid that is not.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/errors/errno_util.h"
#include "pki/validation/validate.h"
#include "tests/pki/validation/path/path_test_util.h"

namespace {

using namespace pathtest;

class RefusalTest : public PathTestBase {};

std::string trail(ERROR_CTX *err) { return err_ctx_format(err, kErrFmtEnglish | kErrFmtUtf8); }

// Lists handed in for the call, and (crl null) lists the directory serves at the entry the leaf's
// distribution point names. A list that fails its check against the issuer fails the validation
// with kErrValidateCrl; one that does not belong to the certificate or is not current when fetched
// fails it with kErrGetCrl. `also` is the code that says why.
struct ListCase {
  const char *file;
  const char *arl;
  const char *crl;
  const char *anchor;  // a further trust anchor, or null
  int expected;
  int also;
};

void expect_list_refusal(const ListCase &c) {
  SCOPED_TRACE(std::string(c.file) + " " + (c.crl != nullptr ? c.crl : "(directory)"));
  Options o;
  o.store = "FALSE";
  Env env("lists", o);
  if (c.anchor != nullptr) env.add_anchor(c.anchor);
  EXPECT_EQ(c.expected, env.validate_with_lists(c.file, c.arl, c.crl)) << trail(&env.err);
  EXPECT_TRUE(in_trail(env.err, c.expected));
  if (c.also != 0) {
    EXPECT_TRUE(in_trail(env.err, c.also)) << c.also << "\n" << trail(&env.err);
  }
  if (c.expected != v7::kErrValidateCrl) {
    EXPECT_FALSE(in_trail(env.err, v7::kErrValidateCrl));
  }
}

TEST_F(RefusalTest, RevocationListRefusals) {
  const ListCase cases[] = {
      // A list that is not the certificate's issuer's, though its key identifier is.
      {"user_km.der", "arl_good.der", "crl_renamed_issuer.der", nullptr, v7::kErrValidateCrl,
       v7::kErrCrlIssuer},
      // Ordinary lists without an issuing distribution point: the root's for its CA, the CA's for
      // its leaf.
      {"user2_sign.der", "arl_ordinary_good.der", "crl_ordinary_good.der", nullptr, v7::kErrValidateCrl,
       v7::kErrCrlIssuer},
      {"user2_sign.der", "arl_ordinary_idp.der", "crl_ordinary_noidp.der", nullptr, v7::kErrValidateCrl,
       v7::kErrCrlIssuer},
      // With a distribution point both lists pass; the signing certificate then fails the
      // key-encipherment use it is validated for.
      {"user2_sign.der", "arl_ordinary_idp.der", "crl_ordinary_good.der", nullptr, v7::kErrKeyUsage,
       v7::kErrValidateUserCert},
      {"user_km.der", "arl_good.der", "crl_other_idp.der", nullptr, v7::kErrValidateCrl,
       v7::kErrInvalidCrlIdp},
      {"user_km.der", "arl_good.der", "crl_sig_alg_mismatch.der", nullptr, v7::kErrValidateCrl,
       v7::kErrCrlSignatureAlgMismatch},
      {"user_km.der", "arl_good.der", "crl_badsig.der", nullptr, v7::kErrValidateCrl, v7::kErrCrlSignature},
      // An ordinary list signed by a key whose certificate does not allow it.
      {"path_under_nocrlsign.der", "arl_good.der", "crl_root_nocrlsign.der", "path_root_nocrlsign.der",
       v7::kErrValidateCrl, v7::kErrKeyUsage},
      {"path_under_noku.der", "arl_good.der", "crl_root_noku.der", "path_root_noku.der", v7::kErrValidateCrl,
       v7::kErrNoKeyUsage},
      // Entries: a reason code that does not decode, and the entry of a certificate whose
      // distribution point names a list issuer, without the certificate issuer it needs.
      {"user_km.der", "arl_good.der", "crl_reason_integer.der", nullptr, v7::kErrInvalidCrlReason, 0},
      {"path_indirect.der", "arl_good.der", "crl_indirect.der", nullptr, v7::kErrInvalidCrlIssuerEntry, 0},
      {"user_sign.der", "arl_good.der", "crl_hold.der", nullptr, v7::kErrCertHeld, 0},
      // An expired list counts as none: the certificate's own directory (nothing answers) has none.
      {"user_km.der", "arl_good.der", "crl_expired.der", nullptr, v7::kErrGetCrl, 0},
      // A certificate without a distribution point cannot be matched to the list handed in, nor
      // have one fetched: it is refused, never taken as having nothing to check.
      {"path_nocdp_builtin.der", "arl_good.der", "crl_good.der", nullptr, v7::kErrValidateCrl,
       v7::kErrInvalidCdp},
      {"path_nocdp_builtin.der", "arl_good.der", nullptr, nullptr, v7::kErrGetCrl, v7::kErrInvalidCdp},
  };
  for (const ListCase &c : cases) expect_list_refusal(c);
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  // Fetched from the directory.
  const ListCase directory_cases[] = {
      {"path_crl_wrong_key.der", "arl_good.der", nullptr, nullptr, v7::kErrGetCrl, v7::kErrCrlAkiMismatch},
      {"path_crl_expired.der", "arl_good.der", nullptr, nullptr, v7::kErrGetCrl, v7::kErrCrlExpired},
      {"path_crl_future.der", "arl_good.der", nullptr, nullptr, v7::kErrGetCrl, v7::kErrCrlNotYetValid},
      {"path_crl_bad_idp.der", "arl_good.der", nullptr, nullptr, v7::kErrGetCrl, v7::kErrInvalidCrlIdp},
      // A list that names no key identifier, or one that does not decode, cannot be told to be
      // the issuer's.
      {"path_crl_noaki.der", "arl_good.der", nullptr, nullptr, v7::kErrGetCrl, v7::kErrInvalidAki},
      {"path_crl_bad_aki.der", "arl_good.der", nullptr, nullptr, v7::kErrGetCrl, v7::kErrInvalidCrlAki},
  };
  for (const ListCase &c : directory_cases) expect_list_refusal(c);
}

// A list that cannot decide the certificate's status (its scope leaves the certificate out, it is
// a delta list, or it may be narrowed by a critical extension the check does not read) is not
// used: its "not revoked" would hide a revocation on the list that does cover the certificate.
// Handed in, it gives way to the certificate's own directory, where nothing answers; every list
// whose scope covers the certificate still decides, and says revoked.
TEST_F(RefusalTest, OnlyAListThatCoversTheCertificateDecidesIt) {
  const ListCase cases[] = {
      // Only CA certificates, with and without a distribution point name, for an end certificate.
      {"user_km.der", "arl_good.der", "crl_scope_ca_only.der", nullptr, v7::kErrGetCrl,
       v7::kErrInvalidCrlIdp},
      {"user_km.der", "arl_good.der", "crl_scope_ca_only_unnamed.der", nullptr, v7::kErrGetCrl,
       v7::kErrInvalidCrlIdp},
      // Only user certificates, for the CA.
      {"user_km.der", "arl_scope_user_only.der", "crl_good.der", nullptr, v7::kErrGetCrl,
       v7::kErrInvalidCrlIdp},
      // Only attribute certificates.
      {"user_km.der", "arl_good.der", "crl_scope_attr_only.der", nullptr, v7::kErrGetCrl,
       v7::kErrInvalidCrlIdp},
      // Every reason but aACompromise.
      {"user_km.der", "arl_good.der", "crl_scope_some_reasons.der", nullptr, v7::kErrGetCrl,
       v7::kErrInvalidCrlIdp},
      // Delta lists, their indicator critical and not, and an unread critical extension.
      {"user_km.der", "arl_good.der", "crl_delta.der", nullptr, v7::kErrGetCrl, v7::kErrCriticalExtension},
      {"user_km.der", "arl_good.der", "crl_delta_noncritical.der", nullptr, v7::kErrGetCrl,
       v7::kErrCriticalExtension},
      {"user_km.der", "arl_good.der", "crl_unread_critical.der", nullptr, v7::kErrGetCrl,
       v7::kErrCriticalExtension},
      // The certificate's distribution point names a list of every reason but aACompromise.
      {"path_partial_dp.der", "arl_good.der", "crl_partial_dp.der", nullptr, v7::kErrGetCrl,
       v7::kErrInvalidCdp},
      // Lists that cover it: the national root's ARL without a distribution point, a CA-only ARL for
      // the CA, a user-only list at the certificate's own distribution point, one limited to every
      // reason there is, one at a distribution point limited to every reason there is, and a plain
      // list under a critical distribution point.
      {"user_km.der", "arl_revoked.der", "crl_good.der", nullptr, v7::kErrCertRevoked,
       v7::kErrValidateCaCert},
      {"user_km.der", "arl_scope_ca_only_revoked.der", "crl_good.der", nullptr, v7::kErrCertRevoked,
       v7::kErrValidateCaCert},
      {"user_km.der", "arl_good.der", "crl_scope_user_only_revoked.der", nullptr, v7::kErrCertRevoked,
       v7::kErrValidateUserCert},
      {"user_km.der", "arl_good.der", "crl_scope_every_reason_revoked.der", nullptr, v7::kErrCertRevoked,
       v7::kErrValidateUserCert},
      {"path_every_reason_dp.der", "arl_good.der", "crl_every_reason_dp_revoked.der", nullptr,
       v7::kErrCertRevoked, v7::kErrValidateUserCert},
      {"user_sign.der", "arl_good.der", "crl_revoked.der", nullptr, v7::kErrCertRevoked,
       v7::kErrValidateUserCert},
      // An entry that does not open with a serial INTEGER makes the list malformed, whatever
      // entries follow it (user_km's does).
      {"user_km.der", "arl_good.der", "crl_serial_not_integer.der", nullptr, v7::kErrDecodeFailed,
       v7::kErrValidateUserCert},
  };
  for (const ListCase &c : cases) expect_list_refusal(c);
  const struct {
    const char *crl;
    int code;
    const char *detail;
  } details[] = {
      {"crl_delta.der", v7::kErrCriticalExtension, "CRL"},
      {"crl_unread_critical.der", v7::kErrCriticalExtension, "CRL"},
      {"crl_serial_not_integer.der", v7::kErrDecodeFailed, "CertificateList"},
  };
  for (const auto &d : details) {
    SCOPED_TRACE(d.crl);
    Options o;
    o.store = "FALSE";
    Env env("details", o);
    env.validate_with_lists("user_km.der", "arl_good.der", d.crl);
    EXPECT_STREQ(detail_of(env.err, d.code), d.detail) << trail(&env.err);
  }
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  // Served at the leaf's own entry, a CA-only list is refused with its code.
  expect_list_refusal(
      {"path_scope_served.der", "arl_good.der", nullptr, nullptr, v7::kErrGetCrl, v7::kErrInvalidCrlIdp});
  // A CA-only list left in the cache is passed over for the directory's, which revokes the leaf.
  Options o;
  o.store = "FALSE";
  Env env("cached-scope", o);
  write_file(env.cert_dir + "/CRL/cn=scoped,ou=DirCA,o=PathCA,c=KR.crl", fixture("crl_scope_cached.der"));
  EXPECT_EQ(v7::kErrCertRevoked, env.validate_with_lists("path_scope_cached.der", "arl_good.der", nullptr))
      << trail(&env.err);
}

// Candidates the caller hands along that did not issue the certificate, or a CA among them whose
// own extensions are refused.
TEST_F(RefusalTest, ExtraIssuerRefusals) {
  const struct {
    const char *file;
    const char *issuer;
    int expected;
    int also;
  } cases[] = {
      {"path_wrong_keyid.der", "ca.der", v7::kErrNoIssuerCert, v7::kErrIssuerKeyIdMismatch},
      {"path_bad_pc_leaf.der", "path_ca_bad_pc.der", v7::kErrInvalidPolicyConstraints, v7::kErrValidateCaCert},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    Options o;
    o.mode = "CHAIN";
    o.store = "FALSE";
    Env env("extras", o);
    Bytes der = fixture(c.file), issuer = fixture(c.issuer);
    const uint8_t *ders[] = {issuer.data()};
    const size_t lens[] = {issuer.size()};
    err_ctx_clear(&env.err);
    EXPECT_EQ(c.expected, cert_validate_der_with_issuers(der.data(), der.size(), env.ctx, ders, lens, 1))
        << trail(&env.err);
    EXPECT_TRUE(in_trail(env.err, c.also)) << c.also << "\n" << trail(&env.err);
  }
}

int64_t in_2051() { return 2556144000;  /* 2051-01-01 00:00:00Z */ }
int64_t in_2024() { return 1704067200;  /* 2024-01-01 00:00:00Z */ }

// The anchor is judged by its own validity before anything below it. The accredited CA is issued
// by the national root directly, so its chain is the root alone.
TEST_F(RefusalTest, AnchorOutsideItsValidity) {
  const struct {
    ClockHook clock;
    int expected;
  } cases[] = {{in_2051, v7::kErrAnchorExpired}, {in_2024, v7::kErrAnchorNotYetValid}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.expected);
    Options o;
    o.mode = "NOCRL";
    o.store = "FALSE";
    Env env("anchor", o);
    platform_set_clock_hook(c.clock);
    EXPECT_EQ(c.expected, env.validate("ca.der")) << trail(&env.err);
    platform_set_clock_hook(nullptr);
    EXPECT_TRUE(in_trail(env.err, c.expected));
  }
  Options o;
  o.mode = "NOCRL";
  o.time_check = false;
  Env unchecked("anchor-unchecked", o);
  platform_set_clock_hook(in_2051);
  const int code = unchecked.validate("ca.der");
  platform_set_clock_hook(nullptr);
  // Past the anchor's check, the CA certificate fails only the key-encipherment use.
  EXPECT_EQ(v7::kErrKeyUsage, code) << trail(&unchecked.err);
}

}  // namespace
