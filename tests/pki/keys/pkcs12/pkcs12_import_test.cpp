// PKCS#12 import over the files of the test PKI (OpenSSL exports and the spliced files of
// make-pkcs12.py) and over small files built here to reach each refusal.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "platform/errors/errno_util.h"
#include "pki/asn1/key_types.h"
#include "pki/keys/pkcs12.h"
#include "platform/locale/process_words.h"
#include "tests/pki/asn1/asn1_test_util.h"

namespace {

using asn1test::cat;
using asn1test::read_fixture;
using asn1test::tlv;
using v7test::Bytes;
using v7test::from_hex;

const char kPassword[] = "Fixture1!";

// Everything one import hands out, released with its templates.
struct Imported {
  int result = -1;
  int err = -1;
  Certificate *sign_cert = nullptr;
  PrivateKeyInfo *sign_key = nullptr;
  Certificate *km_cert = nullptr;
  PrivateKeyInfo *km_key = nullptr;

  Imported() = default;
  Imported(const Imported &) = delete;
  Imported &operator=(const Imported &) = delete;
  ~Imported() {
    asn1_release(&asn1_tmpl_certificate, sign_cert);
    asn1_release(&asn1_tmpl_certificate, km_cert);
    asn1_release(&asn1_tmpl_private_key_info, sign_key);
    asn1_release(&asn1_tmpl_private_key_info, km_key);
  }
  bool nothing_returned() const {
    return sign_cert == nullptr && sign_key == nullptr && km_cert == nullptr && km_key == nullptr;
  }
};

enum Slots { kBoth, kSignOnly, kKmOnly, kNone };

void run_import(Imported *r, const Bytes &der, const char *password = kPassword, Slots slots = kBoth) {
  // The slots start as junk: the import must clear them itself.
  Certificate *const junk_cert = reinterpret_cast<Certificate *>(&r->result);
  PrivateKeyInfo *const junk_key = reinterpret_cast<PrivateKeyInfo *>(&r->result);
  const bool sign = slots == kBoth || slots == kSignOnly;
  const bool km = slots == kBoth || slots == kKmOnly;
  r->sign_cert = r->km_cert = junk_cert;
  r->sign_key = r->km_key = junk_key;
  PKCS12_OUTPUTS out = {sign ? &r->sign_cert : nullptr, sign ? &r->sign_key : nullptr,
                        km ? &r->km_cert : nullptr, km ? &r->km_key : nullptr};
  errno = -1;
  r->result = pkcs12_import(&out, password, der.empty() ? nullptr : der.data(), der.size());
  r->err = errno;
  for (Certificate **slot : {&r->sign_cert, &r->km_cert}) {
    bool searched = slot == &r->sign_cert ? sign : km;
    EXPECT_TRUE(!searched || *slot != junk_cert) << "slot left uncleared";
    if (*slot == junk_cert) *slot = nullptr;
  }
  for (PrivateKeyInfo **slot : {&r->sign_key, &r->km_key}) {
    bool searched = slot == &r->sign_key ? sign : km;
    EXPECT_TRUE(!searched || *slot != junk_key) << "slot left uncleared";
    if (*slot == junk_key) *slot = nullptr;
  }
}

Bytes encode(const ASN1_TEMPLATE *tmpl, const void *record) {
  uint8_t *buffer = nullptr;
  size_t length = 0;
  if (der_encode_alloc(tmpl, record, &buffer, &length) == 0) return {};
  Bytes out(buffer, buffer + length);
  std::free(buffer);
  return out;
}

// The PrivateKeyInfo of a committed key file as OpenSSL exports it: without the VID attribute.
Bytes key_without_attributes(const char *plain_file) {
  Bytes der = read_fixture(plain_file);
  asn1test::Record key(&asn1_tmpl_private_key_info,
                       asn1_decode_alloc(ASN1_MODE_DER, der.data(), &asn1_tmpl_private_key_info, der.size()));
  if (key.record == nullptr) return {};
  PrivateKeyInfo copy = *key.as<PrivateKeyInfo>();  // shallow: only encoded, never released
  copy.attributes = nullptr;
  return encode(&asn1_tmpl_private_key_info, &copy);
}

void expect_sign_pair(const Imported &r, bool key_has_vid) {
  ASSERT_NE(r.sign_cert, nullptr);
  ASSERT_NE(r.sign_key, nullptr);
  EXPECT_EQ(encode(&asn1_tmpl_certificate, r.sign_cert), read_fixture("pki/user_sign.der"));
  EXPECT_EQ(encode(&asn1_tmpl_private_key_info, r.sign_key),
            key_has_vid ? read_fixture("pki/user_sign_plain.der")
                        : key_without_attributes("pki/user_sign_plain.der"));
}

TEST(Pkcs12Import, OpenSslExportsOfTheSigningPair) {
  const char *files[] = {
      "pki/user_sign_legacy.p12",          // 3DES key, RC2-40 certificates, SHA-1 MAC
      "pki/user_sign_3des_sha256mac.p12",  // 3DES throughout, SHA-256 MAC
      "pki/user_sign_3des_nomac.p12",      // read without a MAC check
      "pki/user_sign_2des_rc2.p12",        // two-key 3DES key, RC2-128 certificates
  };
  for (const char *file : files) {
    SCOPED_TRACE(file);
    Imported r;
    run_import(&r, read_fixture(file));
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.err, 0);
    expect_sign_pair(r, false);
    EXPECT_EQ(r.km_cert, nullptr);
    EXPECT_EQ(r.km_key, nullptr);
  }
}

TEST(Pkcs12Import, BothPairs) {
  Bytes file = read_fixture("pki/user_both.p12");
  {
    Imported r;
    run_import(&r, file);
    EXPECT_EQ(r.result, 3);
    EXPECT_EQ(r.err, 0);
    expect_sign_pair(r, false);
    ASSERT_NE(r.km_cert, nullptr);
    ASSERT_NE(r.km_key, nullptr);
    EXPECT_EQ(encode(&asn1_tmpl_certificate, r.km_cert), read_fixture("pki/user_km.der"));
    EXPECT_EQ(encode(&asn1_tmpl_private_key_info, r.km_key), key_without_attributes("pki/user_km_plain.der"));
  }
  // A pair whose slots are both null is not searched.
  const struct {
    Slots slots;
    int result;
  } partial[] = {{kSignOnly, 1}, {kKmOnly, 2}, {kNone, 0}};
  for (const auto &p : partial) {
    SCOPED_TRACE(p.slots);
    Imported r;
    run_import(&r, file, kPassword, p.slots);
    EXPECT_EQ(r.result, p.result);
    EXPECT_EQ(r.err, 0);
    EXPECT_EQ(r.sign_cert != nullptr, p.result == 1);
    EXPECT_EQ(r.km_cert != nullptr, p.result == 2);
  }
}

// Python-built files: plain key bags, so the key comes back with its VID attribute.
TEST(Pkcs12Import, WorkingSetAndPairing) {
  const struct {
    const char *file;
    int result;
  } cases[] = {
      {"pki/user_km_nokey.p12", 1},     // the KM certificate has no key
      {"pki/user_three_certs.p12", 1},  // sign, CA, KM: the KM certificate is the third, dropped
      {"pki/user_three_keys.p12", 1},   // another key first: the KM key is the third, dropped
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    Imported r;
    run_import(&r, read_fixture(c.file));
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.err, 0);
    expect_sign_pair(r, true);
    EXPECT_EQ(r.km_cert, nullptr);
    EXPECT_EQ(r.km_key, nullptr);
  }
}

TEST(Pkcs12Import, RefusedFilesReturnNothing) {
  const struct {
    const char *file;
    const char *password;
    int code;
  } cases[] = {
      {"pki/user_sign_aes256.p12", kPassword, v7::kErrUnknownOid},  // PBES2 bags
      {"pki/user_sign_rc4.p12", kPassword, v7::kErrUnsupportedCipher},
      {"pki/user_sign_legacy.p12", "Fixture1?", v7::kErrPkcs12VerifyMac},
      {"pki/user_both.p12", "fixture1!", v7::kErrPkcs12VerifyMac},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.file);
    Imported r;
    run_import(&r, read_fixture(c.file), c.password);
    EXPECT_EQ(r.result, 0);
    EXPECT_EQ(r.err, c.code);
    EXPECT_TRUE(r.nothing_returned());
  }
  // Without a MAC a wrong password shows in the key's decryption (the dialog maps 1246).
  Imported r;
  run_import(&r, read_fixture("pki/user_sign_3des_nomac.p12"), "Fixture1?");
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.err == v7::kErrSymmetricDecrypt || r.err == v7::kErrPkcs12Format) << r.err;
  EXPECT_TRUE(r.nothing_returned());
}

TEST(Pkcs12Import, RefusesMissingArguments) {
  Bytes file = read_fixture("pki/user_sign_3des_nomac.p12");
  Imported r;
  run_import(&r, file, "");
  EXPECT_EQ(r.err, v7::kErrInvalidParameter);
  EXPECT_TRUE(r.nothing_returned());
  Imported r2;
  run_import(&r2, Bytes{});
  EXPECT_EQ(r2.err, v7::kErrInvalidParameter);
  EXPECT_TRUE(r2.nothing_returned());
  errno = 0;
  EXPECT_EQ(pkcs12_import(nullptr, kPassword, file.data(), file.size()), 0);
  EXPECT_EQ(errno, v7::kErrInvalidParameter);
}

// "암호Fixture1!": OpenSSL derives from the UTF-16 of the characters, a byte-wise writer from the
// bytes of the EUC-KR text. The byte-wise form is tried first, the UTF-16 form when the MAC fails.
TEST(Pkcs12Import, KoreanPasswords) {
  const std::string utf8 =
      "\xEC\x95\x94\xED\x98\xB8"
      "Fixture1!";
  const std::string euckr =
      "\xBE\xCF\xC8\xA3"
      "Fixture1!";
  const int saved = char_encoding_mode();
  const struct {
    const char *file;
    int mode;
    const std::string *password;
    int result;
    int code;
  } cases[] = {
      {"pki/user_sign_korean_utf16.p12", kCharEncodingUtf8, &utf8, 1, 0},
      {"pki/user_sign_korean_utf16.p12", 0, &euckr, 1, 0},
      {"pki/user_sign_korean_bytewise.p12", 0, &euckr, 1, 0},
      // The byte-wise form of the UTF-8 bytes is another password, and so is its UTF-16.
      {"pki/user_sign_korean_bytewise.p12", kCharEncodingUtf8, &utf8, 0, v7::kErrPkcs12VerifyMac},
      // EUC-KR bytes read as UTF-8 do not convert: the MAC failure stands.
      {"pki/user_sign_korean_utf16.p12", kCharEncodingUtf8, &euckr, 0, v7::kErrPkcs12VerifyMac},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " mode " << c.mode);
    set_char_encoding_mode(c.mode);
    Imported r;
    run_import(&r, read_fixture(c.file), c.password->c_str());
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.err, c.code);
    if (c.result == 1) expect_sign_pair(r, std::string(c.file).find("bytewise") != std::string::npos);
  }
  set_char_encoding_mode(saved);
}

// Cut or corrupted files never crash and never return half a result.
TEST(Pkcs12Import, TruncatedAndCorruptedFiles) {
  Bytes legacy = read_fixture("pki/user_sign_legacy.p12");
  ASSERT_FALSE(legacy.empty());
  for (size_t len = 1; len < legacy.size(); len += len < 64 ? 1 : 53) {
    SCOPED_TRACE(len);
    Imported r;
    run_import(&r, Bytes(legacy.begin(), legacy.begin() + len));
    EXPECT_EQ(r.result, 0);
    EXPECT_NE(r.err, 0);
    EXPECT_TRUE(r.nothing_returned());
  }
  // Without a MAC every corruption reaches the bags.
  Bytes nomac = read_fixture("pki/user_sign_3des_nomac.p12");
  for (size_t i = 0; i < nomac.size(); i += 29) {
    SCOPED_TRACE(i);
    Bytes bad = nomac;
    bad[i] ^= 0x41;
    Imported r;
    run_import(&r, bad);
    // A flip in a signature or a name still decodes; one in a localKeyId or a keyUsage leaves the
    // pair unfound without an error.
    EXPECT_TRUE(r.result == 0 || (r.result == 1 && r.err == 0)) << r.result << " " << r.err;
    if (r.result == 0) {
      EXPECT_TRUE(r.nothing_returned());
    }
  }
}

// --- Files built here. ---

Bytes seq(std::initializer_list<Bytes> parts) { return tlv(0x30, cat(parts)); }
Bytes oid(const char *contents_hex) { return tlv(0x06, from_hex(contents_hex)); }
Bytes octets(const Bytes &b) { return tlv(0x04, b); }
Bytes explicit0(const Bytes &b) { return tlv(0xA0, b); }

const char kData[] = "2a864886f70d010701";
const char kSignedData[] = "2a864886f70d010702";
const char kEnvelopedData[] = "2a864886f70d010703";
const char kEncryptedData[] = "2a864886f70d010706";
const char kKeyBag[] = "2a864886f70d010c0a0101";
const char kShroudedKeyBag[] = "2a864886f70d010c0a0102";
const char kCertBag[] = "2a864886f70d010c0a0103";
const char kCrlBag[] = "2a864886f70d010c0a0104";
const char kX509Cert[] = "2a864886f70d01091601";
const char kSdsiCert[] = "2a864886f70d01091602";
const char kPbeSha3Des[] = "2a864886f70d010c0103";
const char kSha1[] = "2b0e03021a";

Bytes bag(const char *type, const Bytes &value, bool with_id = true) {
  Bytes id = tlv(0x31, seq({oid("2a864886f70d010915"), tlv(0x31, octets(Bytes(20, 0x01)))}));
  return with_id ? seq({oid(type), explicit0(value), id}) : seq({oid(type), explicit0(value)});
}
Bytes cert_bag(const char *cert_type = kX509Cert) {
  return bag(kCertBag, seq({oid(cert_type), explicit0(octets(read_fixture("pki/user_sign.der")))}));
}
Bytes key_bag() { return bag(kKeyBag, read_fixture("pki/user_sign_plain.der")); }
Bytes data_info(const Bytes &contents) { return seq({oid(kData), explicit0(octets(contents))}); }
Bytes pbe_params(const Bytes &iterations) { return seq({octets(Bytes(8, 0x5A)), tlv(0x02, iterations)}); }

Bytes pfx(const Bytes &auth_safe_info, const Bytes &mac_data = {}, uint8_t version = 3) {
  return seq({tlv(0x02, Bytes{version}), auth_safe_info, mac_data});
}
Bytes plain_pfx(std::initializer_list<Bytes> bags) { return pfx(data_info(seq({data_info(seq(bags))}))); }
Bytes mac_data(const char *digest_oid, size_t digest_len, const Bytes &iterations) {
  Bytes info = seq({seq({oid(digest_oid), Bytes{0x05, 0x00}}), octets(Bytes(digest_len, 0x77))});
  return seq({info, octets(Bytes(8, 0x11)), tlv(0x02, iterations)});
}

TEST(Pkcs12Import, BuiltFiles) {
  const Bytes good_bags = seq({key_bag(), cert_bag()});
  const Bytes auth_safe = seq({data_info(good_bags)});
  // SignedData {1, {}, {data, [0] authSafe}, {}}: the AuthenticatedSafe is its eContent.
  const Bytes signed_info = seq(
      {oid(kSignedData), explicit0(seq({tlv(0x02, {1}), tlv(0x31, {}),
                                        seq({oid(kData), explicit0(octets(auth_safe))}), tlv(0x31, {})}))});
  const Bytes shrouded_hostile =
      bag(kShroudedKeyBag,
          seq({seq({oid(kPbeSha3Des), pbe_params({0x00, 0x98, 0x96, 0x81})}), octets(Bytes(16, 0))}));
  const Bytes encrypted_zero_count =
      seq({oid(kEncryptedData),
           explicit0(seq({tlv(0x02, {0}), seq({oid(kData), seq({oid(kPbeSha3Des), pbe_params({0})}),
                                               tlv(0x80, Bytes(16, 0))})}))});
  const Bytes enveloped = seq({oid(kEnvelopedData), explicit0(seq({}))});
  const struct {
    const char *name;
    Bytes file;
    int result;
    int code;
  } cases[] = {
      {"plain bags", plain_pfx({key_bag(), cert_bag()}), 1, 0},
      {"signedData authSafe", pfx(signed_info), 1, 0},
      {"envelopedData skipped", pfx(data_info(seq({enveloped, data_info(good_bags)}))), 1, 0},
      {"bags without localKeyId skipped",
       plain_pfx({bag(kCrlBag, octets({1}), false),
                  bag(kKeyBag, read_fixture("pki/user_sign_plain.der"), false), cert_bag()}),
       0, 0},
      {"version 2", pfx(data_info(auth_safe), {}, 2), 0, v7::kErrPkcs12Format},
      {"envelopedData authSafe", pfx(enveloped), 0, v7::kErrPkcs12Format},
      {"digestedData content", pfx(data_info(seq({seq({oid("2a864886f70d010705"), explicit0(seq({}))})}))), 0,
       v7::kErrPkcs12Format},
      {"MAC count 0", pfx(data_info(auth_safe), mac_data(kSha1, 20, {0})), 0, v7::kErrPkcs12Format},
      {"MAC count 10,000,001", pfx(data_info(auth_safe), mac_data(kSha1, 20, {0x00, 0x98, 0x96, 0x81})), 0,
       v7::kErrPkcs12Format},
      {"MAC count negative", pfx(data_info(auth_safe), mac_data(kSha1, 20, {0xFF})), 0, v7::kErrPkcs12Format},
      {"MAC of 19 bytes", pfx(data_info(auth_safe), mac_data(kSha1, 19, {1})), 0, v7::kErrPkcs12MacLength},
      {"MAC digest hmacWithSHA1", pfx(data_info(auth_safe), mac_data("2a864886f70d0207", 20, {1})), 0,
       v7::kErrUnsupportedHash},
      {"MAC not matching", pfx(data_info(auth_safe), mac_data(kSha1, 20, {1})), 0, v7::kErrPkcs12VerifyMac},
      {"PBE count 10,000,001", plain_pfx({shrouded_hostile}), 0, v7::kErrPkcs12Format},
      {"PBE count 0", pfx(data_info(seq({encrypted_zero_count}))), 0, v7::kErrPkcs12Format},
      {"sdsi certificate", plain_pfx({key_bag(), cert_bag(kSdsiCert)}), 0, v7::kErrUnknownOid},
      {"crlBag with localKeyId", plain_pfx({bag(kCrlBag, octets({1}))}), 0, v7::kErrUnknownOid},
      {"certificate that is not DER",
       plain_pfx({bag(kCertBag, seq({oid(kX509Cert), explicit0(octets(seq({tlv(0x01, {0x01})})))}))}), 0,
       v7::kErrPkcs12Format},
      {"key bag that is no key", plain_pfx({bag(kKeyBag, octets({1}))}), 0, v7::kErrPkcs12Format},
      {"empty authSafe octets", pfx(seq({oid(kData), explicit0(octets({}))})), 0, v7::kErrPkcs12Format},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    Imported r;
    run_import(&r, c.file);
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.err, c.code);
    if (c.result == 1) {
      expect_sign_pair(r, true);
    } else {
      EXPECT_TRUE(r.nothing_returned());
    }
  }
}

}  // namespace
