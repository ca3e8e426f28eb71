// Fetches against a real directory (slapd loaded with the test PKI) and against a scripted server
// for what slapd never does, natively and under Wine (where the same code runs over Winsock).
// The servers' ports come from the file that V7_LDAP_PORTS names (tests/pki/ldap/slapd).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
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
// all-values kinds), errno, and how long it took.
struct Fetched {
  void *value = nullptr;
  int kind = 0;
  int err = 0;
  double seconds = 0;
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
  auto start = std::chrono::steady_clock::now();
  errno = 0;
  out->kind = kind;
  out->value = ldap_fetch(url, kind);
  out->err = errno;
  out->seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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

// Port 1 on loopback: nothing listens there, so the connect is refused at once.
TEST(DirectoryConnect, RefusedPortFailsAtOnce) {
  uint16_t granted = 0;
  ASSERT_EQ(v7::net_startup(v7::net_version(2, 2), &granted), 0);
  uint32_t addr = 0;
  ASSERT_EQ(v7::net_resolve("127.0.0.1", &addr), 0);
  v7::Socket s = v7::net_tcp_socket();
  ASSERT_NE(s, v7::kInvalidSocket);
  const LDAP_ADDRESS address{addr, 1};
  auto start = std::chrono::steady_clock::now();
  errno = 0;
  EXPECT_EQ(connect_with_timeout(s, &address, sizeof(address)), -1);
  EXPECT_EQ(errno, v7::kNetConnectionRefused);
  EXPECT_EQ(connect_with_timeout(s, &address, sizeof(address) - 1), -1);
  EXPECT_EQ(errno, 1001);
  v7::net_close(s);
  v7::net_cleanup();

  Fetched f;
  fetch(&f, 1, kCaDn, LDAP_KIND_CA_CERT);
  EXPECT_EQ(f.value, nullptr);
  EXPECT_EQ(f.err, 1500);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
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

TEST_F(Directory, ScriptedServerCases) {
  struct {
    const char *server;
    int kind;
    int code;  // 0: a value equal to `file`
    const char *file;
    double max_seconds;
  } cases[] = {
      {"bind_refused", LDAP_KIND_CA_CERT, 1501, nullptr, 3},
      {"ber_length", LDAP_KIND_CA_CERT, 1115, nullptr, 3},  // no long form below 128 in DER
      {"oversize", LDAP_KIND_CA_CERT, 1503, nullptr, 3},    // refused before allocation, no wait
      {"not_entry", LDAP_KIND_CA_CERT, 1504, nullptr, 3},
      {"wrong_id", LDAP_KIND_CA_CERT, 1504, nullptr, 3},
      {"drop_mid_message", LDAP_KIND_CA_CERT, 1503, nullptr, 3},
      {"no_value", LDAP_KIND_CA_CERT, 1504, nullptr, 3},
      {"skip_value", LDAP_KIND_CA_CERT, 0, "root_kisa.der", 3},
      {"chunked", LDAP_KIND_CA_CERT, 0, "ca.der", 3},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.server);
    Fetched f;
    fetch(&f, port(c.server), "cn=x", c.kind);
    EXPECT_LT(f.seconds, c.max_seconds);
    if (c.code != 0) {
      EXPECT_EQ(f.value, nullptr);
      EXPECT_EQ(f.err, c.code);
      continue;
    }
    ASSERT_NE(f.value, nullptr) << f.err;
    EXPECT_EQ(f.der(), fixture(c.file));
  }
}

// Small limits for the servers that stall or drip, so that their cases end soon; the scripted
// server paces its pieces for these values.
class Limited : public Directory {
 protected:
  void use(uint32_t message_ms, uint32_t fetch_ms, uint32_t lookup_ms) {
    const LDAP_LIMITS limits{message_ms, fetch_ms, lookup_ms};
    ldap_set_limits_hook(&limits);
  }
  void TearDown() override { ldap_set_limits_hook(nullptr); }
};

TEST_F(Limited, SilentAndDrippingServersTimeOut) {
  use(500, 5000, 5000);
  for (const char *server : {"silent", "drip", "split_message"}) {
    SCOPED_TRACE(server);
    Fetched f;
    fetch(&f, port(server), "cn=x", LDAP_KIND_CA_CERT);
    EXPECT_EQ(f.value, nullptr);
    EXPECT_EQ(f.err, 1503);  // the reply was not whole within its own limit
    EXPECT_LT(f.seconds, 2.0);
  }
}

// Every message comes whole within its limit, but the search never ends: the fetch's budget does.
TEST_F(Limited, AFetchEndsWithinItsBudget) {
  use(500, 1500, 60000);
  Fetched f;
  fetch(&f, port("drip_pieces"), "cn=x", LDAP_KIND_CA_CERT);
  EXPECT_EQ(f.value, nullptr);
  EXPECT_EQ(f.err, 1507);
  EXPECT_LT(f.seconds, 3.0);  // the server would take over six
}

// A lookup's fetches share its budget: once it is spent, the next fetch fails at once.
TEST_F(Limited, TheFetchesOfALookupShareItsBudget) {
  use(500, 60000, 1500);
  LDAP_URL *url = ldap_url_new("127.0.0.1", 9, uint32_t(port("drip_pieces")), "cn=x", 4, nullptr, 0);
  ASSERT_NE(url, nullptr);
  LDAP_BUDGET budget;
  ldap_budget_start(&budget);
  const auto start = std::chrono::steady_clock::now();
  for (int attempt = 0; attempt < 4; ++attempt) {
    SCOPED_TRACE(attempt);
    errno = 0;
    EXPECT_EQ(ldap_fetch_within(url, LDAP_KIND_CA_CERT, &budget), nullptr);
    EXPECT_EQ(errno, 1507);
  }
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 3.0);
  ldap_url_free(url);
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
