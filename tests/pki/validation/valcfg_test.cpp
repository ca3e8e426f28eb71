#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/fs/library_folders.h"
#include "pki/validation/valcfg.h"
#include "v7config/deployment.h"

namespace {

// The accredited policy list as published, typed out apart from the library's own copy.
const char kAccreditedPolicies[] =
    "1.2.410.200005.1.1.1;1.2.410.200005.1.1.5;1.2.410.200005.1.1.55;1.2.410.200005.1.1.2;"
    "1.2.410.200005.1.1.4;1.2.410.200005.1.1.6.1;1.2.410.200005.1.1.6.2;1.2.410.200005.1.1.6.3;"
    "1.2.410.200005.1.1.6.9;1.2.410.200005.1.1.6.99;1.2.410.200005.1.1.6.4;1.2.410.200005.1.1.6.5;"
    "1.2.410.200005.1.1.6.6;1.2.410.200005.1.1.6.7;1.2.410.200005.1.1.3;1.2.410.200005.1.3.1;"
    "1.2.410.200004.5.1.1.5;1.2.410.200004.5.1.1.7;1.2.410.200004.5.2.1.2;1.2.410.200004.5.2.1.1;"
    "1.2.410.200004.5.2.1.7.1;1.2.410.200004.5.3.1.1;1.2.410.200004.5.3.1.2;1.2.410.200004.5.3.1.9;"
    "1.2.410.200004.5.4.1.1;1.2.410.200004.5.4.1.2;1.2.410.200004.5.4.1.101;1.2.410.200012.1.1.1;"
    "1.2.410.200012.1.1.3;1.2.410.200012.1.1.101;1.2.410.200004.2.1";

struct SettingsFree {
  void operator()(VALIDATION_SETTINGS *s) const {
    cert_nodes_free(s->roots);
    delete s;
  }
};
using Settings = std::unique_ptr<VALIDATION_SETTINGS, SettingsFree>;

Settings fresh() { return Settings(new VALIDATION_SETTINGS()); }

// A record whose every field holds a value no key would write, so that any stray change shows.
Settings baseline() {
  Settings s = fresh();
  strcpy(s->policy, "old-policy");
  strcpy(s->cert_dir, "old-certdir");
  strcpy(s->root_cert_dir, "old-rootdir");
  strcpy(s->ldap_addr, "old-ldap");
  strcpy(s->ctl_dn, "old-ctl");
  s->mode = 2;
  s->no_time_check = 9;
  s->ldap_port = 7;
  s->store_certs = 5;
  return s;
}

bool same(const VALIDATION_SETTINGS &a, const VALIDATION_SETTINGS &b) {
  return memcmp(&a, &b, sizeof(a)) == 0;
}

size_t count(const CERT_NODE *n) {
  size_t c = 0;
  for (; n != nullptr; n = n->next) c++;
  return c;
}

enum class Field { kNone, kMode, kStore, kPort, kTimeCheck, kCertDir, kRootDir, kPolicy, kLdapAddr, kCtlDn };

struct SetCase {
  const char *key;
  std::string value;
  int code;
  Field field;
  int number;  // the new number, or the length of a text value written to the field
};

std::string a(size_t n) { return std::string(n, 'a'); }

void apply(VALIDATION_SETTINGS *s, const SetCase &c) {
  switch (c.field) {
    case Field::kNone:
      break;
    case Field::kMode:
      s->mode = c.number;
      break;
    case Field::kStore:
      s->store_certs = c.number;
      break;
    case Field::kPort:
      s->ldap_port = c.number;
      break;
    case Field::kTimeCheck:
      s->no_time_check = c.number;
      break;
    case Field::kCertDir:
      strcpy(s->cert_dir, c.value.c_str());
      break;
    case Field::kRootDir:
      strcpy(s->root_cert_dir, c.value.c_str());
      break;
    case Field::kPolicy:
      strcpy(s->policy, c.value.c_str());
      break;
    case Field::kLdapAddr:
      strcpy(s->ldap_addr, c.value.c_str());
      break;
    case Field::kCtlDn:
      strcpy(s->ctl_dn, c.value.c_str());
      break;
  }
}

TEST(ValcfgSet, KeysValuesAndBoundaries) {
  const SetCase cases[] = {
      {"Validation", "CRL", 0, Field::kMode, 0},
      {"validation", "nocrl", 0, Field::kMode, 3},
      {"VALIDATION", "Ocsp", 0, Field::kMode, 1},
      {"Validation", "chain", 0, Field::kMode, 4},
      {"Validation", "CRL ", 12905, Field::kNone, 0},
      {"Validation", "", 12905, Field::kNone, 0},
      {"CertDir", a(1023), 0, Field::kCertDir, 0},
      {"certdir", a(1024), 12905, Field::kNone, 0},
      {"CertDir", "", 0, Field::kCertDir, 0},
      // One character less than CertDir: finishing appends "/" in the same field.
      {"RootCertDir", a(1022), 0, Field::kRootDir, 0},
      {"ROOTCERTDIR", a(1023), 12905, Field::kNone, 0},
      {"Policy", a(4095), 0, Field::kPolicy, 0},
      {"policy", a(4096), 12905, Field::kNone, 0},
      {"StoreCerts", "true", 0, Field::kStore, 1},
      {"storecerts", "FALSE", 0, Field::kStore, 2},
      {"StoreCerts", "Try_Storing", 0, Field::kStore, 0},
      {"StoreCerts", "TRY", 12905, Field::kNone, 0},
      {"OCSPAddr", "anything", 0, Field::kNone, 0},
      {"ocsptimeout", "", 0, Field::kNone, 0},
      {"OCSPPort", "x", 0, Field::kNone, 0},
      {"LDAPAddr", a(63), 0, Field::kLdapAddr, 0},
      {"ldapaddr", a(64), 12905, Field::kNone, 0},
      {"LDAPPort", "389", 0, Field::kPort, 389},
      {"ldapport", "1", 0, Field::kPort, 1},
      {"LDAPPort", "65535", 0, Field::kPort, 65535},
      {"LDAPPort", "0", 12905, Field::kNone, 0},
      {"LDAPPort", "65536", 12905, Field::kNone, 0},
      {"LDAPPort", "-1", 12905, Field::kNone, 0},
      {"LDAPPort", "+389", 12905, Field::kNone, 0},
      {"LDAPPort", "389x", 12905, Field::kNone, 0},
      {"LDAPPort", " 389", 12905, Field::kNone, 0},
      {"LDAPPort", "", 12905, Field::kNone, 0},
      {"LDAPPort", "4294967685", 12905, Field::kNone, 0},  // 389 modulo 2^32
      {"CtlDN", a(127), 0, Field::kCtlDn, 0},
      {"ctldn", a(128), 12905, Field::kNone, 0},
      {"CHECKTimeout", "false", 0, Field::kTimeCheck, 1},
      {"checktimeout", "No", 0, Field::kTimeCheck, 1},
      {"CHECKTimeout", "TRUE", 0, Field::kTimeCheck, 0},
      {"CHECKTimeout", "yes", 0, Field::kTimeCheck, 0},
      {"CHECKTimeout", "maybe", 0, Field::kNone, 0},
      {"CHECKTimeout", "", 0, Field::kNone, 0},
      {"Unknown", "x", 12904, Field::kNone, 0},
      {"CertDirs", "x", 12904, Field::kNone, 0},
      {"", "x", 12904, Field::kNone, 0},
  };
  for (const SetCase &c : cases) {
    SCOPED_TRACE(std::string(c.key) + " = \"" + c.value.substr(0, 20) + "\"");
    Settings s = baseline();
    Settings expected = baseline();
    apply(expected.get(), c);
    errno = 0;
    EXPECT_EQ(valcfg_set(c.key, s.get(), c.value.c_str()), c.code);
    EXPECT_EQ(errno, c.code);
    EXPECT_TRUE(same(*s, *expected));
  }
}

TEST(ValcfgSet, NullArguments) {
  Settings s = baseline();
  EXPECT_EQ(valcfg_set("CertDir", nullptr, "x"), 1001);
  EXPECT_EQ(valcfg_set(nullptr, s.get(), "x"), 1001);
  EXPECT_EQ(valcfg_set("CertDir", s.get(), nullptr), 1001);
  EXPECT_EQ(valcfg_set("LDAPPort", s.get(), nullptr), 1001);
  EXPECT_EQ(valcfg_set("Nope", s.get(), nullptr), 12904);
  EXPECT_EQ(valcfg_set("OCSPAddr", s.get(), nullptr), 0);
  EXPECT_TRUE(same(*s, *baseline()));
}

TEST(ValcfgFinish, FillsDefaults) {
  Settings s = fresh();
  ASSERT_EQ(valcfg_set("CertDir", s.get(), "C:/certs"), 0);
  ASSERT_EQ(valcfg_set("RootCertDir", s.get(), "C:/roots"), 0);
  errno = -1;
  ASSERT_EQ(valcfg_finish(s.get()), 0);
  EXPECT_EQ(errno, 0);
  EXPECT_STREQ(s->policy, kAccreditedPolicies);
  EXPECT_STREQ(s->cert_dir, "C:/certs");
  EXPECT_STREQ(s->root_cert_dir, "C:/roots/");
  EXPECT_STREQ(s->ldap_addr, V7_DIRECTORY_SERVER);
  EXPECT_EQ(s->ldap_port, 389);
  EXPECT_STREQ(s->ctl_dn, "cn=KISA-CTL,ou=ROOTCA,o=KISA,c=KR");
  EXPECT_STREQ(s->second_dir, "");
  EXPECT_EQ(s->mode, 0);
  EXPECT_EQ(s->store_certs, 0);
  EXPECT_EQ(count(s->roots), kBuiltinRootCount);
}

TEST(ValcfgFinish, KeepsWhatWasSet) {
  Settings s = fresh();
  ASSERT_EQ(valcfg_set("CertDir", s.get(), "d"), 0);
  ASSERT_EQ(valcfg_set("RootCertDir", s.get(), "r/"), 0);
  ASSERT_EQ(valcfg_set("Policy", s.get(), "1.2.3"), 0);
  ASSERT_EQ(valcfg_set("LDAPAddr", s.get(), "ldap.example"), 0);
  ASSERT_EQ(valcfg_set("LDAPPort", s.get(), "1389"), 0);
  ASSERT_EQ(valcfg_set("CtlDN", s.get(), "cn=x"), 0);
  ASSERT_EQ(valcfg_finish(s.get()), 0);
  EXPECT_STREQ(s->policy, "1.2.3");
  EXPECT_STREQ(s->root_cert_dir, "r//");  // the separator is appended even after one
  EXPECT_STREQ(s->ldap_addr, "ldap.example");
  EXPECT_EQ(s->ldap_port, 1389);
  EXPECT_STREQ(s->ctl_dn, "cn=x");
}

TEST(ValcfgFinish, LongestRootDirStillTakesItsSeparator) {
  Settings s = fresh();
  ASSERT_EQ(valcfg_set("CertDir", s.get(), "d"), 0);
  ASSERT_EQ(valcfg_set("RootCertDir", s.get(), a(1022).c_str()), 0);
  ASSERT_EQ(valcfg_finish(s.get()), 0);
  EXPECT_EQ(std::string(s->root_cert_dir), a(1022) + "/");
}

TEST(ValcfgFinish, RootDirDefaultsToTheNationalRootFolder) {
  Settings s = fresh();
  ASSERT_EQ(valcfg_set("CertDir", s.get(), "d"), 0);
  std::string kisa = kisa_folder();
#ifdef _WIN32
  ASSERT_FALSE(kisa.empty());
#endif
  if (kisa.empty()) {
    // No folder to name: "/" alone would be the root of the file system.
    Settings before = fresh();
    memcpy(before.get(), s.get(), sizeof(VALIDATION_SETTINGS));
    EXPECT_EQ(valcfg_finish(s.get()), 12922);
    EXPECT_TRUE(same(*s, *before));
  } else {
    ASSERT_EQ(valcfg_finish(s.get()), 0);
    EXPECT_EQ(std::string(s->root_cert_dir), kisa + "/");
  }
}

TEST(ValcfgFinish, RefusalsChangeNothing) {
  struct Case {
    const char *what;
    void (*prepare)(VALIDATION_SETTINGS *);
    int code;
  };
  const Case cases[] = {
      {"empty CertDir", [](VALIDATION_SETTINGS *) {}, 12922},
      {"RootCertDir written with no room for the separator",
       [](VALIDATION_SETTINGS *s) {
         strcpy(s->cert_dir, "d");
         memset(s->root_cert_dir, 'r', 1023);
       },
       12905},
      {"CertDir without a terminator",
       [](VALIDATION_SETTINGS *s) { memset(s->cert_dir, 'c', sizeof(s->cert_dir)); }, 12905},
      {"CtlDN without a terminator",
       [](VALIDATION_SETTINGS *s) {
         strcpy(s->cert_dir, "d");
         memset(s->ctl_dn, 'c', sizeof(s->ctl_dn));
       },
       12905},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Settings s = fresh(), before = fresh();
    c.prepare(s.get());
    c.prepare(before.get());
    errno = 0;
    EXPECT_EQ(valcfg_finish(s.get()), c.code);
    EXPECT_EQ(errno, c.code);
    EXPECT_TRUE(same(*s, *before));
  }
  EXPECT_EQ(valcfg_finish(nullptr), 1001);
}

TEST(ValcfgFinish, SecondCallIsRefused) {
  Settings s = fresh();
  ASSERT_EQ(valcfg_set("CertDir", s.get(), "d"), 0);
  ASSERT_EQ(valcfg_set("RootCertDir", s.get(), "r"), 0);
  ASSERT_EQ(valcfg_finish(s.get()), 0);
  Settings before = fresh();
  memcpy(before.get(), s.get(), sizeof(VALIDATION_SETTINGS));
  EXPECT_EQ(valcfg_finish(s.get()), 12922);
  EXPECT_TRUE(same(*s, *before));  // same root list, one separator
  EXPECT_STREQ(s->root_cert_dir, "r/");
  before->roots = nullptr;  // owned by s
}

}  // namespace
