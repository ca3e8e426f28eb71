// The lists of an IC smart card (pcscd with vpcd and tools/vcard) and of a PKCS#11 token
// (SoftHSM2) through certlist_load, with the test PKI's certificates and keys: the card's key
// files open with their password, and the token's keys sign through the token key object once its
// PIN has logged in.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "media/certlist.h"
#include "media/smartcard/smartcard.h"
#include "media/token/p11.h"
#include "media/token/p11_key_binding.h"
#include "pki/asn1/asn1.h"
#include "pki/keys/keyobj.h"
#include "pki/keys/keyobj_token.h"
#include "pki/keys/pkcs8.h"
#include "pki/x509/algorithms.h"
#include "pki/x509/cert.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "tests/harness/vectors.h"
#include "tests/media/list_checks.h"
#include "tests/media/smartcard/vcard_client.h"
#include "tests/media/token/token_test_util.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr char kPassword[] = "Fixture1!";
constexpr char kPin[] = "1234";

Bytes fixture(const char *name) {
  return tokentest::read_file(v7test::fixtures_path(std::string("pki/") + name));
}

// The RSAPrivateKey inside a key file of the test PKI.
Bytes plain_key(const char *file) {
  Bytes sealed = fixture(file);
  PrivateKeyInfo *info = pkey_decrypt(sealed.data(), sealed.size(), kPassword);
  EXPECT_NE(info, nullptr) << file;
  if (info == nullptr) return {};
  Bytes out(info->private_key.data, info->private_key.data + info->private_key.len);
  asn1_release(&asn1_tmpl_private_key_info, info);
  return out;
}

TEST(CertListDevices, SmartCardListAndItsKeysOpen) {
  v7test::VcardClient card;
  ASSERT_TRUE(card.ready()) << "no virtual card: V7_CARD_DIR must name the folder of a running tools/vcard";
  ASSERT_EQ(card.load("pin 31323334\ntries 3 3\ndf F3\nef F3 3\nef F3 4\nef F3 5\nef F3 6\n"
                      "record F3 6 1 700401000000\ndf F4\nef F4 3\nef F4 4\n"),
            "ok");
  sc_forget_refused_pin();
  set_language_id(kLanguageEnglish);
  const Bytes sign_cert = fixture("signCert.der"), sign_key = fixture("signPri.key");
  const Bytes km_cert = fixture("kmCert.der"), km_key = fixture("kmPri.key");
  ASSERT_EQ(sc_write_cert(kPin, kScFileSign, sign_cert.data(), sign_cert.size()), 0) << errno;
  ASSERT_EQ(sc_write_key(kPin, kScFileSign, sign_key.data(), sign_key.size()), 0) << errno;
  ASSERT_EQ(sc_write_cert(kPin, kScFileKm, km_cert.data(), km_cert.size()), 0) << errno;
  ASSERT_EQ(sc_write_key(kPin, kScFileKm, km_key.data(), km_key.size()), 0) << errno;

  CERTLIST_CTX list{};
  ASSERT_NE(certlist_load(&list, kMediumSmartCard, kPin), nullptr) << errno;
  EXPECT_EQ(list.media_code, kMediumSmartCard);
  EXPECT_EQ(listtest::names(list), "Hong Gildong()0001234567890123");
  EXPECT_EQ(list.first->parts, kPartSignCert | kPartSignKey | kPartKmCert | kPartKmKey);
  EXPECT_EQ(certlist_sort(list.first->subject, &list, "1.2.410.200005.1.1.1"), list.first);
  uint8_t *out = nullptr;
  size_t n = cert_read_sign_cert(list.first, &out);
  EXPECT_EQ(Bytes(out, out + n), sign_cert);
  free(out);
  n = cert_read_sign_key(list.first, &out);
  ASSERT_GT(n, 0u) << errno;
  listtest::expect_key_file_opens(out, n, kPassword);
  free(out);
  n = cert_read_km_key(list.first, &out);
  ASSERT_GT(n, 0u) << errno;
  listtest::expect_key_file_opens(out, n, kPassword);
  free(out);
  certlist_free(&list);
}

class CertListToken : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = tokentest::softhsm_path();
    if (path_.empty()) GTEST_SKIP() << "SoftHSM2 is not installed (scripts/setup installs softhsm2)";
    ASSERT_EQ(tokentest::softhsm_start(dir_, "000000", kPin), 0);
  }
  void TearDown() override { unsetenv("SOFTHSM2_CONF"); }

  // The signing pair of one holder, as the store writes it.
  void put_pair(P11_MODULE *m, const char *cert_file, const char *key_file) {
    const Bytes cert = fixture(cert_file), key = plain_key(key_file);
    uint8_t *subject = nullptr;
    size_t subject_len = 0;
    ASSERT_NE(cert_subject_der(cert.data(), cert.size(), &subject, &subject_len), 0u);
    uint8_t *id = nullptr;
    ASSERT_EQ(p11_put_keypair(m, kPin, key.data(), key.size(), 0, subject, subject_len, &id), 0);
    free(subject);
    ASSERT_EQ(p11_put_cert(m, kPin, cert.data(), cert.size(), id, P11_KEY_ID_LEN), 0);
    free(id);
  }

  tokentest::TempDir dir_{"certlist-token"};
  std::string path_;
};

TEST_F(CertListToken, TokenListSortedAndEveryKeySignsAfterItsLogin) {
  P11_MODULE *m = p11_module_load(path_.c_str());
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(p11_module_open(m), 0);
  put_pair(m, "signCert.der", "signPri.key");
  put_pair(m, "user2_sign.der", "user2_signPri.key");
  p11_module_free(m);

  CERTLIST_CTX list{};
  ASSERT_NE(certlist_load(&list, kMediumToken, path_.c_str()), nullptr) << errno;
  EXPECT_EQ(list.media_code, kMediumToken);
  EXPECT_STREQ(static_cast<const char *>(list.medium_data), path_.c_str());
  ASSERT_NE(list.first->next, nullptr);
  EXPECT_EQ(list.first->next->next, nullptr);
  // Whatever order the token finds them in, the preferred holder goes first.
  CERT_ENTRY *hong =
      std::string(list.first->subject_dn_cn).rfind("Hong", 0) == 0 ? list.first : list.first->next;
  const std::string hong_subject = hong->subject;
  certlist_sort(hong_subject.c_str(), &list, nullptr);
  EXPECT_EQ(listtest::names(list), "Hong Gildong()0001234567890123 | Kim Cheolsu()0009876543210987");

  static const uint8_t kMessage[] = "signed on the token";
  for (const CERT_ENTRY *e = list.first; e != nullptr; e = e->next) {
    EXPECT_EQ(e->media_code, kMediumToken);
    // The token's keys never leave it.
    uint8_t *out = nullptr;
    EXPECT_EQ(cert_read_sign_key(e, &out), 0u);
    EXPECT_EQ(errno, v7::kErrInternal);
    size_t cert_len = cert_read_sign_cert(e, &out);
    ASSERT_GT(cert_len, 0u) << errno;
    Bytes cert(out, out + cert_len);
    free(out);

    std::unique_ptr<PRIVATE_KEY_CTX, void (*)(PRIVATE_KEY_CTX *)> key(keyobj_new_type2(), keyobj_delete);
    TOKEN_KEY_MODULE binding = {p11_token_key_binding(), nullptr};
    ASSERT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_SET_MODULE, &binding, nullptr), 0);
    ASSERT_EQ(
        keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_SET_PATH, const_cast<char *>(path_.c_str()), nullptr), 0);
    const auto *id = static_cast<const TokenEntryId *>(e->medium_data);
    ASSERT_EQ(keyobj_set_key(key.get(), id->id, id->length, KEYOBJ_FORMAT_DEFAULT, nullptr), 0);
    ASSERT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_SET_PIN, const_cast<char *>("9999"), nullptr), 0);
    EXPECT_NE(keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_LOGIN, nullptr, nullptr), 0) << "a wrong PIN";
    ASSERT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_SET_PIN, const_cast<char *>(kPin), nullptr), 0);
    ASSERT_EQ(keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_LOGIN, nullptr, nullptr), 0);
    ASSERT_EQ(keyobj_set_certificate(key.get(), nullptr, 0, 0), 0);
    EXPECT_EQ(Bytes(key->cert_der, key->cert_der + key->cert_der_len), cert);
    const int scheme = SIG_SCHEME_PKCS1_SHA256;
    uint8_t *sig = nullptr;
    size_t sig_len = 0;
    ASSERT_EQ(
        keyobj_sign(key.get(), kMessage, sizeof kMessage, &sig, &sig_len, KEYOBJ_FORMAT_DEFAULT, &scheme), 0);
    std::unique_ptr<PUBLIC_KEY_CTX, void (*)(PUBLIC_KEY_CTX *)> pub(pubkey_new(), pubkey_delete);
    PUBLIC_KEY_SOURCE source = {PUBKEY_SOURCE_CERTIFICATE, 1};
    ASSERT_EQ(pubkey_set_key(pub.get(), cert.data(), cert.size(), KEYOBJ_FORMAT_DEFAULT, &source), 0);
    EXPECT_EQ(
        pubkey_verify(pub.get(), kMessage, sizeof kMessage, sig, sig_len, KEYOBJ_FORMAT_DEFAULT, &scheme), 0)
        << e->subject_dn;
    keyobj_free_buffer(key.get(), sig, sig_len);
  }
  certlist_free(&list);
}

}  // namespace
