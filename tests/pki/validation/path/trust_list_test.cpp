// The certificate trust list: a list signed by a trust anchor admits the roots it names.
#include <gtest/gtest.h>

#include "platform/errors/errno_util.h"
#include "pki/validation/revocation.h"
#include "tests/pki/validation/path/path_test_util.h"

namespace {

using namespace pathtest;

class TrustListTest : public PathTestBase {};

size_t count(const CERT_NODE *n) {
  size_t c = 0;
  for (; n != nullptr; n = n->next) ++c;
  return c;
}

TEST_F(TrustListTest, ListedRootJoinsTheAnchors) {
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  Env env("ctl");
  Decoded root(fixture("path_root_extra.der"));
  const size_t before = count(env.ctx->roots);
  ASSERT_EQ(0, ctl_check(env.ctx, root.cert)) << err_ctx_format(&env.err, kErrFmtEnglish | kErrFmtUtf8);
  EXPECT_EQ(before + 1, count(env.ctx->roots));
  EXPECT_EQ(1u, files_under(env.root_dir));
  // A second admission does not list it twice.
  EXPECT_EQ(0, ctl_check(env.ctx, root.cert));
  EXPECT_EQ(before + 1, count(env.ctx->roots));
}

TEST_F(TrustListTest, Refusals) {
  if (!directory_served()) GTEST_SKIP() << kNoDirectory;
  struct {
    const char *ctl_dn;
    const char *root;
    int expected;
    int also;  // why the list was refused, or 0
  } cases[] = {
      {kCtlDn, "path_root_untrusted.der", v7::kErrCtlNotListed, 0},
      // Signed by a root that is no trust anchor.
      {"cn=PATH-CTL-FOREIGN,ou=ROOTCA,o=KISA,c=KR", "path_root_extra.der", v7::kErrCtlNoTrusted, 0},
      // Values that are certificates, not signed lists.
      {"cn=KISA-CTL,ou=ROOTCA,o=KISA,c=KR", "path_root_extra.der", v7::kErrCtlNoTrusted, 0},
      {"cn=Nobody,ou=ROOTCA,o=KISA,c=KR", "path_root_extra.der", v7::kErrCtlProcess, 0},
      // Lists signed by the national root that name the root, each refused for one fault: no
      // signed data, OpenSSL's version 3, data content, expired, another subject usage.
      {"cn=PATH-CTL-NOT-SIGNED,ou=ROOTCA,o=KISA,c=KR", "path_root_extra.der", v7::kErrCtlNoTrusted,
       v7::kErrCtlNotSignedData},
      {"cn=PATH-CTL-VERSION-3,ou=ROOTCA,o=KISA,c=KR", "path_root_extra.der", v7::kErrCtlNoTrusted,
       v7::kErrCtlVersion},
      {"cn=PATH-CTL-DATA-TYPE,ou=ROOTCA,o=KISA,c=KR", "path_root_extra.der", v7::kErrCtlNoTrusted,
       v7::kErrCtlContentType},
      {"cn=PATH-CTL-EXPIRED,ou=ROOTCA,o=KISA,c=KR", "path_root_extra.der", v7::kErrCtlNoTrusted,
       v7::kErrCtlValidity},
      {"cn=PATH-CTL-USAGE,ou=ROOTCA,o=KISA,c=KR", "path_root_extra.der", v7::kErrCtlNoTrusted,
       v7::kErrCtlSubjectUsage},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.ctl_dn);
    Options o;
    o.ctl_dn = c.ctl_dn;
    o.store = "FALSE";
    Env env("ctlno", o);
    Decoded root(fixture(c.root));
    const size_t before = count(env.ctx->roots);
    EXPECT_EQ(c.expected, ctl_check(env.ctx, root.cert))
        << err_ctx_format(&env.err, kErrFmtEnglish | kErrFmtUtf8);
    if (c.also != 0) {
      EXPECT_TRUE(in_trail(env.err, c.also)) << c.also;
    }
    EXPECT_EQ(before, count(env.ctx->roots));
    EXPECT_EQ(0u, files_under(env.folder));
  }
}

}  // namespace
