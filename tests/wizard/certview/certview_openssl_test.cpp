// The display texts of freshly made certificates against the OpenSSL CLI's reading of the same
// certificates (make-oracle-certs.sh runs before this test and leaves both in
// V7_CERTVIEW_ORACLE_DIR). Nothing here is a stored answer: every expected text is built from what
// OpenSSL printed for this run's certificates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "pki/oid/oid.h"
#include "pki/text/codepage.h"
#include "platform/locale/process_words.h"
#include "tests/wizard/dialogs/words_scope.h"
#include "wizard/certview/certview.h"

namespace {

std::string oracle_dir() {
  const char *dir = getenv("V7_CERTVIEW_ORACLE_DIR");
  return dir != nullptr ? dir : "";
}

std::string slurp(const std::string &name) {
  std::ifstream in(oracle_dir() + "/" + name, std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t");
  size_t e = s.find_last_not_of(" \t\r");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::string lower(std::string s) {
  for (char &c : s) c = char(tolower(static_cast<unsigned char>(c)));
  return s;
}

bool starts_with(const std::string &s, const std::string &prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// "key=value" lines of a .fields file.
std::map<std::string, std::string> fields_of(const std::string &name) {
  std::map<std::string, std::string> fields;
  for (const std::string &line : lines_of(slurp(name + ".fields"))) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return fields;
}

// The trimmed lines of x509 -text under a heading ("X509v3 Key Usage"), up to the next heading of
// the same or a shallower indent.
std::vector<std::string> section(const std::string &name, const std::string &heading) {
  std::vector<std::string> lines = lines_of(slurp(name + ".txt"));
  std::vector<std::string> out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!starts_with(trim(lines[i]), heading)) continue;
    size_t indent = lines[i].find_first_not_of(' ');
    for (size_t j = i + 1; j < lines.size() && lines[j].find_first_not_of(' ') > indent; ++j) {
      out.push_back(trim(lines[j]));
    }
    return out;
  }
  ADD_FAILURE() << name << ": no " << heading;
  return out;
}

// The value after "label" on the first line that holds it.
std::string after(const std::string &name, const std::string &label) {
  for (const std::string &line : lines_of(slurp(name + ".txt"))) {
    size_t at = line.find(label);
    if (at != std::string::npos) return trim(line.substr(at + label.size()));
  }
  ADD_FAILURE() << name << ": no " << label;
  return "";
}

// OpenSSL's "AB:CD:EF" as the viewer's hex form: two bytes a group, lower case, ":" between.
std::string regrouped(const std::string &colon_hex) {
  std::string digits;
  for (char c : colon_hex) {
    if (isxdigit(static_cast<unsigned char>(c))) digits += char(tolower(static_cast<unsigned char>(c)));
  }
  std::string out;
  for (size_t i = 0; i < digits.size(); i += 4) {
    if (i != 0) out += ':';
    out += digits.substr(i, 4);
  }
  return out;
}

// RFC 2253 text with the attribute types in lower case, the viewer's form.
std::string lower_types(const std::string &rfc2253) {
  std::string out;
  size_t start = 0;
  while (start <= rfc2253.size()) {
    size_t comma = rfc2253.find(',', start);
    std::string rdn = rfc2253.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    size_t eq = rdn.find('=');
    if (!out.empty()) out += ',';
    out += lower(rdn.substr(0, eq)) + rdn.substr(eq);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

struct CertDeleter {
  void operator()(Certificate *c) const { certview_free(c); }
};
using CertPtr = std::unique_ptr<Certificate, CertDeleter>;

CertPtr decode(const std::string &name) {
  std::string der = slurp(name + ".der");
  CertPtr cert(certview_decode(reinterpret_cast<const uint8_t *>(der.data()), der.size()));
  EXPECT_NE(cert, nullptr) << name << " errno " << errno;
  return cert;
}

std::string take(char *text) {
  EXPECT_NE(text, nullptr) << "errno " << errno;
  std::string s = text != nullptr ? text : "";
  free(text);
  return s;
}

std::string ext_text(const Certificate *cert, int oid_id, int mode) {
  char buf[8192];
  errno = 0;
  size_t n = certview_ext_text(cert, oid_id, buf, sizeof buf, mode);
  EXPECT_EQ(errno, 0) << oid_id;
  return std::string(buf, n);
}

// OpenSSL's key-usage names and the viewer's English items, in bit order.
struct KeyUsageName {
  const char *bit;      // the configuration word the certificate was made with
  const char *openssl;  // how x509 -text names it
  const char *shown;    // the viewer's English item
};
const KeyUsageName kKeyUsage[] = {
    {"digitalSignature", "Digital Signature", "Sign"},
    {"nonRepudiation", "Non Repudiation", "Non-Repudiation"},
    {"keyEncipherment", "Key Encipherment", "Key Encipherment"},
    {"dataEncipherment", "Data Encipherment", "Data Encryption"},
    {"keyAgreement", "Key Agreement", "Key Agreement"},
    {"keyCertSign", "Certificate Sign", "Key Cert Sign"},
    {"cRLSign", "CRL Sign", "CRL Sign"},
    {"encipherOnly", "Encipher Only", "Encipher Only"},
    {"decipherOnly", "Decipher Only", "Decipher Only"},
};

std::string shown_key_usage(const std::string &openssl_list) {
  std::string out;
  size_t start = 0;
  while (start < openssl_list.size()) {
    size_t comma = openssl_list.find(", ", start);
    std::string name =
        openssl_list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const char *shown = nullptr;
    for (const KeyUsageName &k : kKeyUsage) {
      if (name == k.openssl) shown = k.shown;
    }
    EXPECT_NE(shown, nullptr) << "OpenSSL names a bit the table lacks: " << name;
    if (!out.empty()) out += ", ";
    out += shown != nullptr ? shown : "?";
    if (comma == std::string::npos) break;
    start = comma + 2;
  }
  return out;
}

class CertviewOpensslTest : public WordsTest {
 protected:
  void SetUp() override {
    ASSERT_FALSE(oracle_dir().empty()) << "V7_CERTVIEW_ORACLE_DIR is not set";
    use(kLanguageEnglish, kCharEncodingUtf8);
  }
};

std::vector<std::string> all_names() {
  std::vector<std::string> names = {"full"};
  for (const KeyUsageName &k : kKeyUsage) names.push_back(std::string("ku_") + k.bit);
  return names;
}

TEST_F(CertviewOpensslTest, FieldsAgreeWithOpenssl) {
  for (const std::string &name : all_names()) {
    SCOPED_TRACE(name);
    CertPtr cert = decode(name);
    ASSERT_NE(cert, nullptr);
    std::map<std::string, std::string> f = fields_of(name);

    // The serials have their top bit set: shown unsigned, without the DER sign byte.
    EXPECT_EQ(take(certview_serial_text(cert.get(), 0)), lower(f["serial"]));
    EXPECT_EQ(take(certview_serial_text(cert.get(), 1)),
              "Decimal : " + f["decimal"] + "\r\nHexa : " + lower(f["serial"]));

    // ISO 8601 in UTC with a trailing "Z"; the viewer shows the same instant without it.
    ASSERT_FALSE(f["notBefore"].empty());
    EXPECT_EQ(take(certview_not_before_text(cert.get())),
              f["notBefore"].substr(0, f["notBefore"].size() - 1));
    EXPECT_EQ(take(certview_not_after_text(cert.get())), f["notAfter"].substr(0, f["notAfter"].size() - 1));

    EXPECT_EQ(take(certview_subject_text(cert.get())), lower_types(f["subject"]));
    EXPECT_EQ(take(certview_issuer_text(cert.get())), lower_types(f["issuer"]));
    // The EUC-KR setting gives the same names in code page 949.
    set_char_encoding_mode(0);
    char *euckr = nullptr;
    ASSERT_NE(utf8_to_euckr(lower_types(f["subject"]).c_str(), &euckr), 0u);
    EXPECT_EQ(take(certview_subject_text(cert.get())), euckr);
    free(euckr);
    set_char_encoding_mode(kCharEncodingUtf8);

    // "Public-Key: (2048 bit)".
    std::string bits = after(name, "Public-Key: (");
    EXPECT_EQ(take(certview_pubkey_text(cert.get())), "RSA ( " + bits.substr(0, bits.find(' ')) + " Bits )");
    EXPECT_EQ(lower(take(certview_sigalg_text(cert.get()))), lower(after(name, "Signature Algorithm:")));

    std::vector<std::string> ski = section(name, "X509v3 Subject Key Identifier");
    ASSERT_EQ(ski.size(), 1u);
    EXPECT_EQ(ext_text(cert.get(), OID_EXT_SUBJECT_KEY_ID, CERTVIEW_NUMBERED), regrouped(ski[0]));

    std::vector<std::string> ku = section(name, "X509v3 Key Usage");
    ASSERT_EQ(ku.size(), 1u);
    EXPECT_EQ(ext_text(cert.get(), OID_EXT_KEY_USAGE, CERTVIEW_NUMBERED), shown_key_usage(ku[0]));
  }
}

// One certificate per key-usage bit: each bit alone gives exactly its own item, in both languages.
TEST_F(CertviewOpensslTest, EveryKeyUsageBitAlone) {
  const char *korean[] = {"전자서명",   "부인봉쇄",           "키암호화",   "데이터암호화", "키일치",
                          "인증서서명", "인증서폐지목록서명", "암호화전용", "복호화전용"};
  for (size_t i = 0; i < sizeof kKeyUsage / sizeof kKeyUsage[0]; ++i) {
    std::string name = std::string("ku_") + kKeyUsage[i].bit;
    SCOPED_TRACE(name);
    CertPtr cert = decode(name);
    ASSERT_NE(cert, nullptr);
    std::vector<std::string> ku = section(name, "X509v3 Key Usage");
    ASSERT_EQ(ku.size(), 1u);
    EXPECT_EQ(ku[0], kKeyUsage[i].openssl);
    EXPECT_EQ(ext_text(cert.get(), OID_EXT_KEY_USAGE, CERTVIEW_NUMBERED), kKeyUsage[i].shown);
    set_language_id(kLanguageKorean);
    EXPECT_EQ(ext_text(cert.get(), OID_EXT_KEY_USAGE, CERTVIEW_NUMBERED), korean[i]);
    set_language_id(kLanguageEnglish);
  }
}

TEST_F(CertviewOpensslTest, AuthorityKeyIdentifierAgreesWithOpenssl) {
  CertPtr cert = decode("full");
  ASSERT_NE(cert, nullptr);
  std::string key_id, serial;
  for (const std::string &line : section("full", "X509v3 Authority Key Identifier")) {
    if (starts_with(line, "keyid:")) key_id = line.substr(6);
    if (starts_with(line, "serial:")) serial = line.substr(7);
  }
  ASSERT_FALSE(key_id.empty());
  ASSERT_FALSE(serial.empty());
  std::string serial_hex = lower(serial);
  serial_hex.erase(std::remove(serial_hex.begin(), serial_hex.end(), ':'), serial_hex.end());
  EXPECT_EQ(ext_text(cert.get(), OID_EXT_AUTHORITY_KEY_ID, CERTVIEW_PLAIN), regrouped(key_id));
  EXPECT_EQ(ext_text(cert.get(), OID_EXT_AUTHORITY_KEY_ID, CERTVIEW_NUMBERED),
            "[0]Key Identifier = " + regrouped(key_id) +
                "\r\n[1]Authority Cert Issuer = " + lower_types(fields_of("full")["issuer"]) +
                "\r\n[2]Authority Cert Serial Number = 0x" + serial_hex);
}

TEST_F(CertviewOpensslTest, PoliciesAgreeWithOpenssl) {
  CertPtr cert = decode("full");
  ASSERT_NE(cert, nullptr);
  std::vector<std::string> policies, cps;
  for (const std::string &line : section("full", "X509v3 Certificate Policies")) {
    if (starts_with(line, "Policy: ")) policies.push_back(line.substr(8));
    if (starts_with(line, "CPS: ")) cps.push_back(line.substr(5));
  }
  ASSERT_EQ(policies.size(), 2u);
  ASSERT_EQ(cps.size(), 1u);
  // x509 -text cannot print a BMPString; asn1parse found it and python read it as UTF-16BE.
  std::string notice = slurp("full.notice");
  ASSERT_FALSE(notice.empty());

  EXPECT_EQ(ext_text(cert.get(), OID_EXT_CERT_POLICIES, CERTVIEW_PLAIN), policies[0] + ", " + policies[1]);
  EXPECT_EQ(ext_text(cert.get(), OID_EXT_CERT_POLICIES, CERTVIEW_CPS), cps[0]);
  EXPECT_EQ(ext_text(cert.get(), OID_EXT_CERT_POLICIES, CERTVIEW_USER_NOTICE), notice);
  std::string numbered = ext_text(cert.get(), OID_EXT_CERT_POLICIES, CERTVIEW_NUMBERED);
  EXPECT_EQ(numbered.find("[1]Certificate Policies\r\n       Policy Identifier = " + policies[0]), 0u)
      << numbered;
  EXPECT_NE(numbered.find("[2]Certificate Policies\r\n       Policy Identifier = " + policies[1]),
            std::string::npos)
      << numbered;
  EXPECT_NE(numbered.find(" = " + cps[0]), std::string::npos) << numbered;
  EXPECT_NE(numbered.find(" = " + notice), std::string::npos) << numbered;
}

TEST_F(CertviewOpensslTest, DistributionPointsAndAccessAgreeWithOpenssl) {
  CertPtr cert = decode("full");
  ASSERT_NE(cert, nullptr);
  std::string expected;
  int item = 0;
  for (const std::string &line : section("full", "X509v3 CRL Distribution Points")) {
    if (!starts_with(line, "URI:")) continue;
    if (item != 0) expected += "\r\n";
    expected += "[" + std::to_string(++item) + "]CRL Distribution Points = \r\n         " + line.substr(4);
  }
  ASSERT_EQ(item, 2);
  EXPECT_EQ(ext_text(cert.get(), OID_EXT_CRL_DIST_POINTS, CERTVIEW_NUMBERED), expected);

  // "OCSP - URI:http://..." and "CA Issuers - URI:http://...".
  std::string shown = ext_text(cert.get(), OID_EXT_AUTHORITY_INFO_ACCESS, CERTVIEW_NUMBERED);
  item = 0;
  for (const std::string &line : section("full", "Authority Information Access")) {
    size_t uri = line.find(" - URI:");
    ASSERT_NE(uri, std::string::npos) << line;
    std::string piece = "[" + std::to_string(++item) + "] Access Description\r\n          " +
                        "Uniform Resource Identifier = " + line.substr(uri + 7) + "\r\n";
    EXPECT_NE(shown.find(piece), std::string::npos) << shown << "\nmissing: " << piece;
  }
  EXPECT_EQ(item, 2);
}

TEST_F(CertviewOpensslTest, KeyPurposeAndAlternativeNameAgreeWithOpenssl) {
  CertPtr cert = decode("full");
  ASSERT_NE(cert, nullptr);
  std::vector<std::string> eku = section("full", "X509v3 Extended Key Usage");
  ASSERT_EQ(eku.size(), 1u);
  EXPECT_EQ(eku[0], "1.2.410.200004.10.3");
  EXPECT_EQ(ext_text(cert.get(), OID_EXT_EXT_KEY_USAGE, CERTVIEW_NUMBERED), "id-kisa-HSM");

  // x509 -text names the otherName's type and the e-mail address; asn1parse opens the rest.
  std::vector<std::string> san = section("full", "X509v3 Subject Alternative Name");
  ASSERT_EQ(san.size(), 1u);
  EXPECT_NE(san[0].find("othername: 1.2.410.200004.10.1.1::"), std::string::npos) << san[0];
  size_t email_at = san[0].find("email:");
  ASSERT_NE(email_at, std::string::npos);
  std::string email = san[0].substr(email_at + 6);
  std::string real_name, vid_hex;
  for (const std::string &line : lines_of(slurp("full.san"))) {
    size_t at = line.find("UTF8STRING");
    if (at != std::string::npos && real_name.empty()) real_name = line.substr(line.find(':', at) + 1);
    at = line.find("[HEX DUMP]:");
    if (at != std::string::npos) vid_hex = line.substr(at + 11);
  }
  ASSERT_FALSE(real_name.empty());
  ASSERT_EQ(vid_hex.size(), 64u);
  EXPECT_EQ(ext_text(cert.get(), OID_EXT_SUBJECT_ALT_NAME, CERTVIEW_NUMBERED),
            "[1]Real Name = " + real_name +
                "\r\n     Hash Algorithm = SHA256\r\n     Virtual ID = \r\n     " + regrouped(vid_hex) +
                "\r\n[2]E-Mail Address = " + email);
}

}  // namespace
