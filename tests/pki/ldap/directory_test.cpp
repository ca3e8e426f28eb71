// Fetches against a real directory (slapd loaded with the test PKI) and against a scripted server
// for what slapd never does, natively and under Wine (where the same code runs over Winsock).
// The servers' ports come from the file that V7_LDAP_PORTS names (tests/pki/ldap/slapd).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "pki/asn1/asn1.h"
#include "pki/asn1/x509_types.h"
#include "pki/ldap/internal.h"
#include "pki/ldap/ldap.h"
#include "pki/ldap/ldap_types.h"
#include "platform/net/net.h"
#include "tests/harness/ports.h"
#include "tests/harness/vectors.h"
#include "tests/pki/ldap/ldap_test_util.h"

using v7test::Bytes;

namespace {

std::map<std::string, int> g_ports;

class Directory : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { g_ports = v7test::read_ports("V7_LDAP_PORTS"); }
  void SetUp() override {
    if (g_ports.empty()) GTEST_SKIP() << "no directory servers (V7_LDAP_PORTS)";
  }
};

int port(const std::string &name) {
  EXPECT_EQ(g_ports.count(name), 1u) << name;
  return g_ports[name];
}

Bytes fixture(const char *name) {
  return ldaptest::read_file(v7test::fixtures_path(std::string("pki/") + name));
}

// What one fetch gave: the value re-encoded (for the single-value kinds) or each value (for the
// all-values kinds), and errno.
struct Fetched {
  void *value = nullptr;
  int kind = 0;
  int err = 0;
  Fetched() = default;
  Fetched(const Fetched &) = delete;
  ~Fetched() {
    if (value != nullptr) asn1_release(v7::ldap::value_template(kind), value);
  }
  Bytes der() const { return ldaptest::encode(v7::ldap::value_template(kind), value); }
  std::vector<Bytes> values() const {
    std::vector<Bytes> out;
    for (const ASN1_LIST *n = static_cast<const ASN1_LIST *>(value); n != nullptr; n = n->next) {
      const ASN1_BYTES *b = static_cast<const ASN1_BYTES *>(n->element);
      if (b != nullptr) out.emplace_back(b->data, b->data + b->len);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
};

void fetch(Fetched *out, int server_port, const char *dn, int kind, const char *attribute = nullptr) {
  LDAP_URL *url = ldap_url_new("127.0.0.1", 9, uint32_t(server_port), dn, std::strlen(dn), attribute,
                               attribute != nullptr ? std::strlen(attribute) : 0);
  ASSERT_NE(url, nullptr);
  errno = 0;
  out->kind = kind;
  out->value = ldap_fetch(url, kind);
  out->err = errno;
  ldap_url_free(url);
}

const char kCaDn[] = "cn=TestCA Class 1,ou=AccreditedCA,o=TestCA,c=KR";
const char kCrlDn[] = "cn=dp1p1,ou=dp,ou=AccreditedCA,o=TestCA,c=KR";
const char kArlDn[] = "ou=ARL,ou=Korea Certification Authority Central,o=KISA,c=KR";
const char kCtlDn[] = "cn=KISA-CTL,ou=ROOTCA,o=KISA,c=KR";
const char kUserDn[] = "cn=Hong Gildong()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR";

TEST_F(Directory, EachKindFromSlapdEqualsTheCommittedFiles) {
  struct {
    const char *dn;
    int kind;
    const char *attribute;
    const char *file;
  } cases[] = {
      {kCaDn, LDAP_KIND_CA_CERT, nullptr, "ca.der"},
      {kCaDn, LDAP_KIND_CA_CERT, "cacertificate", "ca.der"},
      {"cn=Test Ordinary CA,ou=Issuing,o=Test,c=KR", LDAP_KIND_CA_CERT, nullptr, "ca_ordinary.der"},
      {kCrlDn, LDAP_KIND_CRL, nullptr, "crl_good.der"},
      {kCrlDn, LDAP_KIND_CRL, "certificateRevocationList;binary", "crl_good.der"},
      {kArlDn, LDAP_KIND_CRL, nullptr, "arl_good.der"},
      {"cn=dp1,ou=Issuing,o=Test,c=KR", LDAP_KIND_CRL, nullptr, "crl_ordinary_good.der"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.dn) + " " + (c.attribute ? c.attribute : "-"));
    Fetched f;
    fetch(&f, port("slapd"), c.dn, c.kind, c.attribute);
    ASSERT_NE(f.value, nullptr) << f.err;
    EXPECT_EQ(f.der(), fixture(c.file));
  }

  struct {
    const char *dn;
    int kind;
    std::vector<Bytes> values;
  } all_values[] = {
      {kCtlDn, LDAP_KIND_TRUST_LIST, {fixture("root_kisa.der"), fixture("root_ordinary.der")}},
      {kUserDn, LDAP_KIND_USER_CERTS, {fixture("user_sign.der"), fixture("user_km.der")}},
  };
  for (auto &c : all_values) {
    SCOPED_TRACE(c.dn);
    Fetched f;
    fetch(&f, port("slapd"), c.dn, c.kind);
    ASSERT_NE(f.value, nullptr) << f.err;
    std::sort(c.values.begin(), c.values.end());
    EXPECT_EQ(f.values(), c.values);
  }

  Fetched user;
  fetch(&user, port("slapd"), kUserDn, LDAP_KIND_USER_CERT);
  ASSERT_NE(user.value, nullptr) << user.err;
  EXPECT_TRUE(user.der() == fixture("user_sign.der") || user.der() == fixture("user_km.der"));
}

// The first URI of a certificate's CRL distribution points, as path validation takes it.
std::string distribution_point_url(const Bytes &cert_der) {
  std::string uri;
  auto *cert = static_cast<Certificate *>(
      asn1_decode_alloc(ASN1_MODE_DER, cert_der.data(), &asn1_tmpl_certificate, cert_der.size()));
  if (cert == nullptr) return uri;
  static const uint8_t kCdpOid[] = {0x55, 0x1d, 0x1f};
  for (const ASN1_LIST *n = cert->tbs.extensions; n != nullptr && uri.empty(); n = n->next) {
    const Extension *e = static_cast<const Extension *>(n->element);
    if (e == nullptr || e->extn_id.len != 3 || std::memcmp(e->extn_id.data, kCdpOid, 3) != 0) continue;
    auto *points = static_cast<ASN1_LIST *>(asn1_decode_alloc(
        ASN1_MODE_DER, e->extn_value.data, &asn1_tmpl_crl_distribution_points, e->extn_value.len));
    const DistributionPoint *dp =
        points != nullptr ? static_cast<const DistributionPoint *>(points->element) : nullptr;
    const GeneralName *name =
        dp != nullptr && dp->distribution_point != nullptr && dp->distribution_point->full_name != nullptr
            ? static_cast<const GeneralName *>(dp->distribution_point->full_name->element)
            : nullptr;
    if (name != nullptr && name->uniform_resource_identifier != nullptr)
      uri.assign(reinterpret_cast<const char *>(name->uniform_resource_identifier->data),
                 name->uniform_resource_identifier->len);
    asn1_release(&asn1_tmpl_crl_distribution_points, points);
  }
  asn1_release(&asn1_tmpl_certificate, cert);
  return uri;
}

TEST_F(Directory, CrlsAtTheDistributionPointsOfTheCertificates) {
  struct {
    const char *cert, *crl;
  } cases[] = {{"user_sign.der", "crl_good.der"},
               {"ca.der", "arl_good.der"},
               {"user2_sign.der", "crl_ordinary_good.der"},
               {"ca_ordinary.der", "arl_ordinary_good.der"}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.cert);
    const std::string text = distribution_point_url(fixture(c.cert));
    LDAP_URL *url = ldap_url_parse(text.size(), text.c_str());
    ASSERT_NE(url, nullptr) << text;
    url->port = uint32_t(port("slapd"));  // the fixtures name the standard port
    Fetched f;
    f.kind = LDAP_KIND_CRL;
    f.value = ldap_fetch(url, LDAP_KIND_CRL);
    f.err = errno;
    ldap_url_free(url);
    ASSERT_NE(f.value, nullptr) << f.err;
    EXPECT_EQ(f.der(), fixture(c.crl));
  }
}

TEST_F(Directory, MissingEntriesAndAttributes) {
  struct {
    const char *dn;
    int kind;
  } cases[] = {
      {"cn=nobody,ou=AccreditedCA,o=TestCA,c=KR", LDAP_KIND_CA_CERT},  // noSuchObject: no entry
      {"cn=nobody,o=Elsewhere,c=US", LDAP_KIND_CRL},
      {kCrlDn, LDAP_KIND_CA_CERT},  // the entry holds no CA certificate
      {kCaDn, LDAP_KIND_TRUST_LIST},
  };
  for (const auto &c : cases) {
    Fetched f;
    fetch(&f, port("slapd"), c.dn, c.kind);
    EXPECT_EQ(f.value, nullptr) << c.dn;
    EXPECT_EQ(f.err, 1504) << c.dn;
  }
}

TEST_F(Directory, FetchedValuesGoThroughTheCache) {
  platform_set_os_version_hook(ldaptest::answer_xp);
  const std::string folder = ldaptest::scratch_folder("fetched");
  struct {
    const char *dn;
    int kind, cache_kind;
    const char *name;
    const ASN1_TEMPLATE *tmpl;
  } cases[] = {
      {kCaDn, LDAP_KIND_CA_CERT, CACHE_KIND_CA_CERT, "ca_4097", &asn1_tmpl_certificate},
      {kCrlDn, LDAP_KIND_CRL, CACHE_KIND_CRL, kCrlDn, &asn1_tmpl_certificate_list},
      {kArlDn, LDAP_KIND_CRL, CACHE_KIND_ARL, kArlDn, &asn1_tmpl_certificate_list},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Fetched f;
    fetch(&f, port("slapd"), c.dn, c.kind);
    ASSERT_NE(f.value, nullptr) << f.err;
    const Bytes der = f.der();
    ASSERT_EQ(cache_write(der.data(), c.name, c.cache_kind, folder.c_str(), der.size()), 0) << errno;
    void *back = cache_read(c.name, folder.c_str(), c.cache_kind);
    ASSERT_NE(back, nullptr) << errno;
    EXPECT_EQ(ldaptest::encode(c.tmpl, back), der);
    asn1_release(c.tmpl, back);
  }
  ldaptest::remove_folder(folder);
  platform_set_os_version_hook(nullptr);
}

// The limits for the cases below, put back after each. A wait for the fetch's budget shows as its
// own code (kErrLdapTimeLimit) wherever the message limit is set longer than the budget, so
// a case shows by its code, not by its duration, whether a fetch waited where it must not.
void use_limits(uint32_t message_ms, uint32_t fetch_ms, uint32_t lookup_ms) {
  const LDAP_LIMITS limits{message_ms, fetch_ms, lookup_ms};
  ldap_set_limits_hook(&limits);
}

class Limited : public Directory {
 protected:
  void use(uint32_t message_ms, uint32_t fetch_ms, uint32_t lookup_ms) { use_limits(message_ms, fetch_ms, lookup_ms); }
  void TearDown() override { ldap_set_limits_hook(nullptr); }
};

// A message limit no case reaches, and a budget that only a fetch waiting where it must not
// would reach.
constexpr uint32_t kNeverMs = 600000;
constexpr uint32_t kBudgetMs = 20000;

// Port 1 on loopback: nothing listens there, so the connect is refused at once. A connect that
// waited out its deadline instead would give the time-out codes (kErrConnectTimeout; the fetch's
// kErrLdapTimeLimit, its budget being shorter than the message limit).
TEST(DirectoryConnect, RefusedPortFailsAtOnce) {
  uint16_t granted = 0;
  ASSERT_EQ(v7::net_startup(v7::net_version(2, 2), &granted), 0);
  uint32_t addr = 0;
  ASSERT_EQ(v7::net_resolve("127.0.0.1", &addr), 0);
  v7::Socket s = v7::net_tcp_socket();
  ASSERT_NE(s, v7::kInvalidSocket);
  const LDAP_ADDRESS address{addr, 1};
  errno = 0;
  EXPECT_EQ(connect_with_timeout(s, &address, sizeof(address)), -1);
  EXPECT_EQ(errno, v7::kNetConnectionRefused);
  EXPECT_EQ(connect_with_timeout(s, &address, sizeof(address) - 1), -1);
  EXPECT_EQ(errno, 1001);
  v7::net_close(s);
  v7::net_cleanup();

  use_limits(kNeverMs, kBudgetMs, kNeverMs);
  Fetched f;
  fetch(&f, 1, kCaDn, LDAP_KIND_CA_CERT);
  ldap_set_limits_hook(nullptr);
  EXPECT_EQ(f.value, nullptr);
  EXPECT_EQ(f.err, 1500);
}

TEST(DirectoryFetch, BadArguments) {
  LDAP_URL *url = ldap_url_new("127.0.0.1", 9, 1, "c=KR", 4, nullptr, 0);
  ASSERT_NE(url, nullptr);
  for (int kind : {0, 6, -1}) {
    errno = 0;
    EXPECT_EQ(ldap_fetch(url, kind), nullptr);
    EXPECT_EQ(errno, 1001);
  }
  errno = 0;
  EXPECT_EQ(ldap_fetch(nullptr, LDAP_KIND_CA_CERT), nullptr);
  EXPECT_EQ(errno, 1001);
  ldap_url_free(url);
}

// Each case ends on what the server sent, never by waiting: the servers that stop early keep their
// connection open until the client closes it, so a fetch that waited for more would end only
// at its budget, with kErrLdapTimeLimit.
TEST_F(Limited, ScriptedServerCases) {
  use(kNeverMs, kBudgetMs, kNeverMs);
  struct {
    const char *server;
    int kind;
    int code;  // 0: a value equal to `file`
    const char *file;
  } cases[] = {
      {"bind_refused", LDAP_KIND_CA_CERT, 1501, nullptr},
      {"ber_length", LDAP_KIND_CA_CERT, 1115, nullptr},  // no long form below 128 in DER
      {"oversize", LDAP_KIND_CA_CERT, 1503, nullptr},    // refused before allocation, no wait
      {"not_entry", LDAP_KIND_CA_CERT, 1504, nullptr},
      {"wrong_id", LDAP_KIND_CA_CERT, 1504, nullptr},
      {"drop_mid_message", LDAP_KIND_CA_CERT, 1503, nullptr},
      {"no_value", LDAP_KIND_CA_CERT, 1504, nullptr},
      {"skip_value", LDAP_KIND_CA_CERT, 0, "root_kisa.der"},
      {"chunked", LDAP_KIND_CA_CERT, 0, "ca.der"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.server);
    Fetched f;
    fetch(&f, port(c.server), "cn=x", c.kind);
    if (c.code != 0) {
      EXPECT_EQ(f.value, nullptr);
      EXPECT_EQ(f.err, c.code);
      continue;
    }
    ASSERT_NE(f.value, nullptr) << f.err;
    EXPECT_EQ(f.der(), fixture(c.file));
  }
}

// The message limit ends these, not the fetch's budget ten times longer: a deadline taken per
// read rather than per message would let the drip go on until the budget (kErrLdapTimeLimit).
TEST_F(Limited, SilentAndDrippingServersTimeOut) {
  use(500, 5000, 5000);
  for (const char *server : {"silent", "drip", "split_message"}) {
    SCOPED_TRACE(server);
    Fetched f;
    fetch(&f, port(server), "cn=x", LDAP_KIND_CA_CERT);
    EXPECT_EQ(f.value, nullptr);
    EXPECT_EQ(f.err, 1503);  // the reply was not whole within its own limit
  }
}

// Every message comes whole within its limit, but the search goes on for more than four times
// the fetch's budget: the budget ends it. Without the budget the fetch would read the server's
// replies to their end and give another code.
TEST_F(Limited, AFetchEndsWithinItsBudget) {
  use(kNeverMs, 1500, kNeverMs);
  Fetched f;
  fetch(&f, port("drip_pieces"), "cn=x", LDAP_KIND_CA_CERT);
  EXPECT_EQ(f.value, nullptr);
  EXPECT_EQ(f.err, 1507);
}

// A lookup's fetches share its budget: the first spends it on a server that never ends, and every
// later fetch fails at once without a connect. They go to port 1, where nothing listens: a fetch
// that connected, or that had a budget of its own, would be refused there (kErrLdapConnect).
TEST_F(Limited, TheFetchesOfALookupShareItsBudget) {
  use(kNeverMs, kNeverMs, 1500);
  LDAP_URL *dripping = ldap_url_new("127.0.0.1", 9, uint32_t(port("drip_pieces")), "cn=x", 4, nullptr, 0);
  LDAP_URL *refused = ldap_url_new("127.0.0.1", 9, 1, "cn=x", 4, nullptr, 0);
  ASSERT_NE(dripping, nullptr);
  ASSERT_NE(refused, nullptr);
  LDAP_BUDGET budget;
  ldap_budget_start(&budget);
  errno = 0;
  EXPECT_EQ(ldap_fetch_within(dripping, LDAP_KIND_CA_CERT, &budget), nullptr);
  EXPECT_EQ(errno, 1507);
  for (int attempt = 1; attempt < 4; ++attempt) {
    SCOPED_TRACE(attempt);
    errno = 0;
    EXPECT_EQ(ldap_fetch_within(refused, LDAP_KIND_CA_CERT, &budget), nullptr);
    EXPECT_EQ(errno, 1507);
  }
  // The same fetch under a budget of its own reaches the port and is refused.
  LDAP_BUDGET fresh;
  ldap_budget_start(&fresh);
  errno = 0;
  EXPECT_EQ(ldap_fetch_within(refused, LDAP_KIND_CA_CERT, &fresh), nullptr);
  EXPECT_EQ(errno, 1500);
  ldap_url_free(dripping);
  ldap_url_free(refused);
}

// Limits small enough to stop the dripping servers leave a normal fetch whole.
TEST_F(Limited, NormalFetchesFitTheLimits) {
  use(500, 1500, 1500);
  Fetched slapd;
  fetch(&slapd, port("slapd"), kCaDn, LDAP_KIND_CA_CERT);
  ASSERT_NE(slapd.value, nullptr) << slapd.err;
  EXPECT_EQ(slapd.der(), fixture("ca.der"));
  LDAP_URL *url = ldap_url_new("127.0.0.1", 9, uint32_t(port("chunked")), "cn=x", 4, nullptr, 0);
  ASSERT_NE(url, nullptr);
  LDAP_BUDGET budget;
  ldap_budget_start(&budget);
  Fetched chunked;
  chunked.kind = LDAP_KIND_CA_CERT;
  chunked.value = ldap_fetch_within(url, LDAP_KIND_CA_CERT, &budget);
  ldap_url_free(url);
  ASSERT_NE(chunked.value, nullptr) << errno;
  EXPECT_EQ(chunked.der(), fixture("ca.der"));
}

}  // namespace
