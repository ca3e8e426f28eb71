#include "wizard/certview/certview.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "pki/oid/oid.h"
#include "pki/x509/cert.h"
#include "pki/text/codepage.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "tests/harness/vectors.h"
#include "tests/wizard/dialogs/words_scope.h"

namespace {

using v7test::Bytes;

Bytes read_fixture(const std::string &name) {
  std::ifstream in(v7test::fixtures_path("pki/" + name), std::ios::binary);
  EXPECT_TRUE(in.good()) << name;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct CertDeleter {
  void operator()(Certificate *c) const { certview_free(c); }
};
using CertPtr = std::unique_ptr<Certificate, CertDeleter>;

CertPtr decode(const Bytes &der) { return CertPtr(certview_decode(der.data(), der.size())); }

std::string take(char *text) {
  std::string s = text != nullptr ? text : "(null)";
  free(text);
  return s;
}

// A quoted text field as it stands.
std::string text_of(const v7test::VectorCase &c, const std::string &key) {
  Bytes b = c.bytes(key);
  return std::string(b.begin(), b.end());
}

std::string unescape(const std::string &s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'r' || s[i + 1] == 'n')) {
      out += s[++i] == 'r' ? '\r' : '\n';
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string to_euckr(const std::string &utf8) {
  if (utf8.empty()) return utf8;
  char *converted = nullptr;
  EXPECT_NE(utf8_to_euckr(utf8.c_str(), &converted), 0u) << utf8;
  return take(converted);
}

struct ExtField {
  const char *name;
  int oid_id;
};
const ExtField kExtFields[] = {
    {"ski", OID_EXT_SUBJECT_KEY_ID},      {"ku", OID_EXT_KEY_USAGE},  {"san", OID_EXT_SUBJECT_ALT_NAME},
    {"crldp", OID_EXT_CRL_DIST_POINTS},   {"policies", OID_EXT_CERT_POLICIES},
    {"aki", OID_EXT_AUTHORITY_KEY_ID},    {"eku", OID_EXT_EXT_KEY_USAGE},
    {"aia", OID_EXT_AUTHORITY_INFO_ACCESS},
};

std::string render(const Certificate *cert, const std::string &field, int mode) {
  if (field == "serial") return take(certview_serial_text(cert, mode));
  if (field == "sigalg") return take(certview_sigalg_text(cert));
  if (field == "issuer") return take(certview_issuer_text(cert));
  if (field == "subject") return take(certview_subject_text(cert));
  if (field == "not_before") return take(certview_not_before_text(cert));
  if (field == "not_after") return take(certview_not_after_text(cert));
  if (field == "pubkey") return take(certview_pubkey_text(cert));
  for (const ExtField &e : kExtFields) {
    if (field != e.name) continue;
    char buf[8192];
    size_t n = certview_ext_text(cert, e.oid_id, buf, sizeof buf, mode);
    EXPECT_EQ(errno, 0) << field;
    EXPECT_EQ(n, strlen(buf));
    return buf;
  }
  ADD_FAILURE() << "unknown field " << field;
  return "";
}

using CertviewTest = WordsTest;

TEST_F(CertviewTest, TextsOfTheTestCertificatesInBothLanguagesAndEncodings) {
  for (const auto &c : v7test::load_vectors("certview_texts.txt")) {
    if (!c.has("cert")) continue;
    SCOPED_TRACE(c.where());
    CertPtr cert = decode(read_fixture(text_of(c, "cert")));
    ASSERT_TRUE(cert);
    std::string field = text_of(c, "field");
    int mode = c.has("mode") ? int(c.number("mode")) : 0;
    std::string ko = unescape(c.has("text") ? text_of(c, "text") : text_of(c, "ko"));
    std::string en = unescape(c.has("text") ? text_of(c, "text") : text_of(c, "en"));
    use(kLanguageKorean, kCharEncodingUtf8);
    EXPECT_EQ(render(cert.get(), field, mode), ko);
    use(kLanguageEnglish, kCharEncodingUtf8);
    EXPECT_EQ(render(cert.get(), field, mode), en);
    use(kLanguageKorean, 0);
    EXPECT_EQ(render(cert.get(), field, mode), to_euckr(ko));
    use(kLanguageEnglish, 0);
    EXPECT_EQ(render(cert.get(), field, mode), to_euckr(en));
  }
}

TEST_F(CertviewTest, SerialsAreUnsignedWhateverTheirLength) {
  CertPtr cert = decode(read_fixture("user_sign.der"));
  ASSERT_TRUE(cert);
  use(kLanguageEnglish, kCharEncodingUtf8);
  ASN1_BYTES saved = cert->tbs.serial_number;
  for (const auto &c : v7test::load_vectors("certview_texts.txt")) {
    if (!c.has("serial")) continue;
    SCOPED_TRACE(c.where());
    Bytes serial = c.bytes("serial");
    cert->tbs.serial_number.data = serial.data();
    cert->tbs.serial_number.len = uint32_t(serial.size());
    EXPECT_EQ(take(certview_serial_text(cert.get(), 0)), text_of(c, "hex"));
    EXPECT_EQ(take(certview_serial_text(cert.get(), 1)), "Decimal : " + text_of(c, "decimal") + "\r\nHexa : " + text_of(c, "hex"));
  }
  cert->tbs.serial_number = saved;
}

TEST_F(CertviewTest, HexFormShowsAnOddLastByte) {
  const uint8_t bytes[] = {0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0xff};
  struct Case {
    size_t length;
    size_t capacity;
    const char *text;
    int error;
  } cases[] = {
      {0, 8, "", 0},
      {1, 8, "0a", 0},
      {2, 8, "0a1b", 0},
      {3, 8, "0a1b:2c", 0},
      {5, 13, "0a1b:2c3d:4e", 0},
      {6, 15, "0a1b:2c3d:4eff", 0},
      {6, 14, "0a1b:2c3d:4ef", int(v7::kErrInsufficientBuffer)},
      {6, 1, "", int(v7::kErrInsufficientBuffer)},
  };
  for (const Case &k : cases) {
    SCOPED_TRACE(k.text);
    char out[32];
    memset(out, '#', sizeof out);
    EXPECT_EQ(certview_hex_form(bytes, k.length, out, k.capacity), strlen(k.text));
    EXPECT_EQ(errno, k.error);
    EXPECT_STREQ(out, k.text);
    EXPECT_EQ(out[k.capacity], '#');
  }
  char out[4];
  EXPECT_EQ(certview_hex_form(bytes, 2, nullptr, 4), 0u);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(certview_hex_form(bytes, 2, out, 0), 0u);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

// Every capacity from 1 up gives a terminated prefix of the whole text that ends on a character
// boundary of the setting's encoding, and nothing is written past the capacity.
TEST_F(CertviewTest, TinyBuffersCutOnCharacterBoundaries) {
  CertPtr cert = decode(read_fixture("certview_full.der"));
  ASSERT_TRUE(cert);
  for (int encoding : {int(kCharEncodingUtf8), 0}) {
    use(kLanguageKorean, encoding);
    for (const ExtField &e : kExtFields) {
      SCOPED_TRACE(std::string(e.name) + (encoding == 1 ? " utf-8" : " euc-kr"));
      char whole[8192];
      size_t length = certview_ext_text(cert.get(), e.oid_id, whole, sizeof whole, 1);
      ASSERT_EQ(errno, 0);
      // The character boundaries of the whole text.
      std::vector<bool> boundary(length + 1, false);
      for (size_t i = 0; i <= length;) {
        boundary[i] = true;
        if (i == length) break;
        auto b = uint8_t(whole[i]);
        size_t n = 1;
        if (encoding == 1) n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        else if (b >= 0x81) n = 2;
        i += n;
      }
      for (size_t capacity = 1; capacity <= length + 1; ++capacity) {
        std::vector<char> out(capacity + 8, '#');
        size_t n = certview_ext_text(cert.get(), e.oid_id, out.data(), capacity, 1);
        int error = errno;
        ASSERT_LT(n, capacity);
        EXPECT_EQ(out[n], '\0');
        EXPECT_EQ(std::string(out.data(), n), std::string(whole, n));
        EXPECT_TRUE(boundary[n]) << "cut inside a character at " << n << " of " << capacity;
        EXPECT_EQ(error, capacity == length + 1 ? 0 : int(v7::kErrInsufficientBuffer));
        // A cut keeps every whole character that fits.
        if (capacity <= length) {
          size_t next = n + 1;
          while (next <= length && !boundary[next]) ++next;
          EXPECT_GE(next, capacity) << "a character that fits was dropped";
        }
        for (size_t i = capacity; i < out.size(); ++i) ASSERT_EQ(out[i], '#');
      }
    }
  }
}

TEST_F(CertviewTest, DerIsReadAsDer) {
  Bytes der = read_fixture("certview_full.der");
  CertPtr whole = decode(der);
  ASSERT_TRUE(whole);
  EXPECT_EQ(errno, 0);
  // Bytes after the certificate are ignored.
  Bytes longer = der;
  longer.push_back(0);
  longer.push_back(0);
  EXPECT_TRUE(decode(longer));
  // Every truncation fails with the codec's short-encoding code.
  for (size_t n = 1; n < der.size(); ++n) {
    EXPECT_FALSE(certview_decode(der.data(), n));
    ASSERT_EQ(errno, v7::kErrAsn1Decode) << n;
  }
  // An indefinite length is BER, not DER.
  ASSERT_EQ(der[1], 0x82);
  Bytes indefinite = {0x30, 0x80};
  indefinite.insert(indefinite.end(), der.begin() + 4, der.end());
  indefinite.push_back(0);
  indefinite.push_back(0);
  EXPECT_FALSE(certview_decode(indefinite.data(), indefinite.size()));
  EXPECT_EQ(errno, v7::kErrAsn1Decode);
  EXPECT_FALSE(certview_decode(der.data(), 0));
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_FALSE(certview_decode(nullptr, 10));
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

TEST_F(CertviewTest, HostileExtensionValuesGiveTheShortEncodingCode) {
  CertPtr cert = decode(read_fixture("certview_full.der"));
  ASSERT_TRUE(cert);
  use(kLanguageKorean, kCharEncodingUtf8);
  for (const ExtField &e : kExtFields) {
    auto *ext = const_cast<Extension *>(cert_find_extension(cert.get(), e.oid_id));
    ASSERT_NE(ext, nullptr) << e.name;
    uint32_t full = ext->extn_value.len;
    for (uint32_t n = 0; n < full; ++n) {
      ext->extn_value.len = n;
      char out[512] = "x";
      EXPECT_EQ(certview_ext_text(cert.get(), e.oid_id, out, sizeof out, 1), 0u) << e.name << " " << n;
      EXPECT_EQ(errno, v7::kErrAsn1Decode) << e.name << " " << n;
      EXPECT_STREQ(out, "");
    }
    ext->extn_value.len = full;
  }
}

// Flipped bytes anywhere in a certificate never crash a renderer: each call either renders or
// fails with a code.
TEST_F(CertviewTest, FlippedBytesNeverCrash) {
  Bytes der = read_fixture("certview_full.der");
  for (int encoding : {int(kCharEncodingUtf8), 0}) {
    use(kLanguageKorean, encoding);
    for (size_t i = 0; i < der.size(); i += 3) {
      Bytes bad = der;
      bad[i] ^= 0x5a;
      CertPtr cert = decode(bad);
      if (!cert) {
        EXPECT_NE(errno, 0);
        continue;
      }
      for (const char *field : {"serial", "sigalg", "issuer", "subject", "not_before", "not_after", "pubkey"}) {
        errno = 0;
        std::string text = render(cert.get(), field, 1);
        if (text == "(null)") {
          EXPECT_NE(errno, 0) << field;
        }
      }
      for (const ExtField &e : kExtFields) {
        char out[256];
        size_t n = certview_ext_text(cert.get(), e.oid_id, out, sizeof out, 1);
        if (n == 0 && errno != 0) {
          EXPECT_STREQ(out, "");
        }
        EXPECT_EQ(strlen(out), n);
      }
    }
  }
}

TEST_F(CertviewTest, MissingTimesAndBadArguments) {
  CertPtr cert = decode(read_fixture("user_sign.der"));
  ASSERT_TRUE(cert);
  Validity saved = cert->tbs.validity;
  cert->tbs.validity.not_before = Time{nullptr, nullptr};
  EXPECT_EQ(take(certview_not_before_text(cert.get())), "(null)");
  EXPECT_EQ(errno, v7::kErrInvalidCertFormat);
  EXPECT_EQ(take(certview_not_after_text(cert.get())), "2049-12-31 23:59:59");
  cert->tbs.validity = saved;

  EXPECT_EQ(take(certview_serial_text(cert.get(), 2)), "(null)");
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  char *(*const fields[])(const Certificate *) = {certview_sigalg_text, certview_issuer_text,
                                                   certview_subject_text, certview_not_before_text,
                                                   certview_not_after_text, certview_pubkey_text,
                                                   certview_pubkey_hex};
  for (auto fn : fields) {
    EXPECT_EQ(fn(nullptr), nullptr);
    EXPECT_EQ(errno, v7::kErrInvalidParameter);
  }
  char out[16];
  EXPECT_EQ(certview_ext_text(nullptr, OID_EXT_KEY_USAGE, out, sizeof out, 1), 0u);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(certview_ext_text(cert.get(), OID_EXT_BASIC_CONSTRAINTS, out, sizeof out, 1), 0u);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  EXPECT_EQ(certview_ext_name(OID_EXT_BASIC_CONSTRAINTS), nullptr);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
  // A certificate without the extension renders nothing, and that is no failure.
  EXPECT_EQ(certview_ext_text(cert.get(), OID_EXT_AUTHORITY_INFO_ACCESS, out, sizeof out, 1), 0u);
  EXPECT_EQ(errno, 0);
}

TEST_F(CertviewTest, ExtensionNamesInBothLanguages) {
  struct Case {
    int id;
    const char *ko;
    const char *en;
  } cases[] = {
      {OID_EXT_SUBJECT_KEY_ID, "소유자키 식별자", "Subject Key Identifier"},
      {OID_EXT_KEY_USAGE, "키사용 용도", "Key Usage"},
      {OID_EXT_SUBJECT_ALT_NAME, "소유자 대체명", "Subject Alternative Name"},
      {OID_EXT_CRL_DIST_POINTS, "인증서 폐지목록 획득위치", "CRL Distribution Points"},
      {OID_EXT_CERT_POLICIES, "인증서 정책", "Certificate Policies"},
      {OID_EXT_AUTHORITY_KEY_ID, "발급자키 식별자", "Authority Key Identifier"},
      {OID_EXT_EXT_KEY_USAGE, "확장키사용 용도", "Extended Key Usage"},
      {OID_EXT_AUTHORITY_INFO_ACCESS, "발급자정보접근", "Authority Information Access"},
  };
  for (const Case &c : cases) {
    use(kLanguageKorean, kCharEncodingUtf8);
    EXPECT_EQ(take(certview_ext_name(c.id)), c.ko);
    use(kLanguageKorean, 0);
    EXPECT_EQ(take(certview_ext_name(c.id)), to_euckr(c.ko));
    use(kLanguageEnglish, 0);
    EXPECT_EQ(take(certview_ext_name(c.id)), c.en);
  }
}

TEST_F(CertviewTest, PublicKeyHexIsTheHexFormOfTheKey) {
  CertPtr cert = decode(read_fixture("user_sign.der"));
  ASSERT_TRUE(cert);
  std::string hex = take(certview_pubkey_hex(cert.get()));
  const ASN1_BIT_STRING &key = cert->tbs.subject_public_key_info.subject_public_key;
  // 270 bytes of RSAPublicKey: 135 groups of four digits and 134 separators.
  ASSERT_EQ(key.len, 270u);
  EXPECT_EQ(hex.size(), 135u * 4 + 134);
  EXPECT_EQ(hex.substr(0, 24), "3082:010a:0282:0101:00a3");
}

}  // namespace
