// The PKCS#11 binding and the token key objects against two tokens: natively SoftHSM2, a real
// PKCS#11 module (each test initialises a token of its own under its own configuration folder,
// SOFTHSM2_CONF), and everywhere the test token of tests/modules/pkcs11 (under Wine the Windows
// PKCS#11 ABI). Slots are found through the binding, never by number. The toolkit's public-key
// object checks what the token signs and makes what it decrypts, and natively OpenSSL does too. A
// function list wrapped around the token's counts calls and gives hostile answers.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "crypto/hash/hash.h"
#include "media/certlist.h"
#include "media/keyload.h"
#include "media/selection_record.h"
#include "pki/errors/error_ctx.h"
#include "media/token/p11.h"
#include "media/token/p11_key_binding.h"
#include "pki/keys/keyobj_token.h"
#include "pki/x509/algorithms.h"
#include "pki/x509/cert.h"
#include "platform/errors/error_codes.h"
#include "tests/media/token/token_backends.h"
#include "tests/media/token/token_test_util.h"
#include "tests/modules/pkcs11/test_token_control.h"
#include "tests/pki/keys/keyobj/keyobj_test_util.h"
#ifdef V7_HAVE_OPENSSL_ORACLE
#include "tests/pki/keys/keyobj/rsa_oracle.h"
#endif

namespace {

using keyobjtest::Bytes;
using keyobjtest::fixture;

using tokentest::Backend;
using tokentest::kPin;
using tokentest::make_backend;
using tokentest::TestTokenBackend;

#ifdef V7_HAVE_OPENSSL_ORACLE
std::string pem(const char *name) { return v7test::fixtures_path(std::string("pki/keys/") + name + ".pem"); }
#endif

// The toolkit's own check of a signature by a certificate's key.
bool verifies(const char *cert, const Bytes &data, const Bytes &signature, int scheme) {
  keyobjtest::Pub pub = keyobjtest::public_key(fixture(cert), PUBKEY_SOURCE_CERTIFICATE);
  return keyobjtest::verify(pub.get(), data, signature, scheme) == 0;
}

// ---- A wrapped function list: call counts and hostile answers ---------------------------------

enum class Hostile {
  kNone,
  kLongAttribute,
  kUnavailableAttribute,
  kLongSignature,
  kManyObjects,
  kManySlots,
  kFindFails
};
CK_FUNCTION_LIST g_real;
CK_FUNCTION_LIST g_wrapped;
Hostile g_hostile = Hostile::kNone;
int g_logins = 0;

CK_RV wrapped_login(CK_SESSION_HANDLE s, CK_USER_TYPE u, CK_UTF8CHAR *pin, CK_ULONG len) {
  ++g_logins;
  return g_real.C_Login(s, u, pin, len);
}
CK_RV wrapped_get_attribute(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE o, CK_ATTRIBUTE *a, CK_ULONG n) {
  const CK_ULONG capacity = a[0].ulValueLen;
  CK_RV rv = g_real.C_GetAttributeValue(s, o, a, n);
  if (g_hostile == Hostile::kLongAttribute) a[0].ulValueLen = capacity + 1;
  if (g_hostile == Hostile::kUnavailableAttribute) a[0].ulValueLen = CK_UNAVAILABLE_INFORMATION;
  return rv;
}
CK_RV wrapped_sign(CK_SESSION_HANDLE s, CK_BYTE *d, CK_ULONG l, CK_BYTE *out, CK_ULONG *out_len) {
  CK_RV rv = g_real.C_Sign(s, d, l, out, out_len);
  if (g_hostile == Hostile::kLongSignature) *out_len = P11_MAX_OUTPUT + 1;
  return rv;
}
CK_RV wrapped_find(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE *o, CK_ULONG max, CK_ULONG *count) {
  if (g_hostile == Hostile::kFindFails) return CKR_DEVICE_ERROR;
  CK_RV rv = g_real.C_FindObjects(s, o, max, count);
  if (g_hostile == Hostile::kManyObjects) *count = max + 1;
  return rv;
}
CK_RV wrapped_slots(CK_BBOOL present, CK_SLOT_ID *slots, CK_ULONG *count) {
  if (g_hostile == Hostile::kManySlots && slots == nullptr) {
    *count = 1UL << 30;
    return CKR_OK;
  }
  return g_real.C_GetSlotList(present, slots, count);
}

class Token : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    backend_.reset(make_backend(GetParam()));
    path_ = backend_->path();
    if (path_.empty()) GTEST_SKIP() << "SoftHSM2 is not installed (scripts/setup installs softhsm2)";
    backend_->start(dir_);
    g_hostile = Hostile::kNone;
    g_logins = 0;
  }
  void TearDown() override { backend_->stop(); }

  P11_MODULE *open() {
    P11_MODULE *m = p11_module_load(path_.c_str());
    EXPECT_NE(nullptr, m);
    if (m != nullptr) {
      EXPECT_EQ(0, p11_module_open(m));
    }
    return m;
  }
  // A module whose calls go through the wrapped list (bound before it is opened).
  P11_MODULE *open_wrapped() {
    P11_MODULE *m = p11_module_load(path_.c_str());
    if (m == nullptr) return nullptr;
    auto get = reinterpret_cast<CK_C_GetFunctionList>(v7::module_symbol(m->library, "C_GetFunctionList"));
    CK_FUNCTION_LIST *real = nullptr;
    EXPECT_EQ(CKR_OK, get(&real));
    g_real = *real;
    g_wrapped = *real;
    g_wrapped.C_Login = wrapped_login;
    g_wrapped.C_GetAttributeValue = wrapped_get_attribute;
    g_wrapped.C_Sign = wrapped_sign;
    g_wrapped.C_FindObjects = wrapped_find;
    g_wrapped.C_GetSlotList = wrapped_slots;
    m->functions = &g_wrapped;
    return m;
  }

  // The user's two pairs, their certificates and the VID object, as the store writes them.
  struct Written {
    Bytes sign_id, km_id;
  };
  Written write_set(P11_MODULE *m) {
    Written w;
    const Bytes sign_key = keyobjtest::rsa_private_der("user_sign_plain.der");
    const Bytes km_key = keyobjtest::rsa_private_der("user_km_plain.der");
    const Bytes sign_cert = fixture("user_sign.der"), km_cert = fixture("user_km.der");
    uint8_t *subject = nullptr;
    size_t subject_len = 0;
    EXPECT_NE(0u, cert_subject_der(sign_cert.data(), sign_cert.size(), &subject, &subject_len));
    uint8_t *id = nullptr;
    EXPECT_EQ(0, p11_put_keypair(m, kPin, sign_key.data(), sign_key.size(), 0, subject, subject_len, &id));
    if (id != nullptr) w.sign_id.assign(id, id + P11_KEY_ID_LEN);
    free(id);
    id = nullptr;
    EXPECT_EQ(0, p11_put_keypair(m, kPin, km_key.data(), km_key.size(), 1, subject, subject_len, &id));
    if (id != nullptr) w.km_id.assign(id, id + P11_KEY_ID_LEN);
    free(id);
    free(subject);
    EXPECT_EQ(0,
              p11_put_cert(m, kPin, sign_cert.data(), sign_cert.size(), w.sign_id.data(), w.sign_id.size()));
    // Without an id the certificate takes its own key's id, which is the key pair's.
    EXPECT_EQ(0, p11_put_cert(m, kPin, km_cert.data(), km_cert.size(), nullptr, 0));
    const Bytes random = keyobjtest::user_random();
    EXPECT_EQ(0,
              p11_put_vid_object(kPin, w.sign_id.data(), m, random.data(), random.size(), w.sign_id.size()));
    return w;
  }

  tokentest::TempDir dir_{"p11"};
  std::unique_ptr<Backend> backend_;
  std::string path_;
};

struct ModuleDeleter {
  void operator()(P11_MODULE *m) const { p11_module_free(m); }
};
using Module = std::unique_ptr<P11_MODULE, ModuleDeleter>;

Bytes take(uint8_t *p, size_t n) {
  Bytes b(p, p + n);
  free(p);
  return b;
}

TEST_P(Token, WrittenSetListsReadsBackAndSigns) {
  Module m(open());
  ASSERT_NE(nullptr, m);
  Written w = write_set(m.get());
  ASSERT_EQ(P11_KEY_ID_LEN, w.sign_id.size());

  // The listing shows only the signing certificate, under its key's id.
  ASSERT_EQ(0, p11_find_certs_init(m.get()));
  std::vector<Bytes> listed, ids;
  uint8_t *value = nullptr, *id = nullptr;
  size_t value_len = 0, id_len = 0;
  int code;
  while ((code = p11_find_next_cert(m.get(), &value, &value_len, &id, &id_len)) == 0) {
    listed.push_back(take(value, value_len));
    ids.push_back(take(id, id_len));
  }
  p11_find_certs_final(m.get());
  EXPECT_EQ(v7::kErrNoObject, code);
  ASSERT_EQ(1u, listed.size());
  EXPECT_EQ(fixture("user_sign.der"), listed[0]);
  EXPECT_EQ(w.sign_id, ids[0]);

  uint8_t *sign_cert = nullptr, *km_cert = nullptr;
  size_t sign_len = 0, km_len = 0;
  ASSERT_EQ(0, p11_read_cert_and_id(m.get(), w.sign_id.data(), w.sign_id.size(), &sign_cert, &sign_len,
                                    &km_cert, &km_len));
  EXPECT_EQ(fixture("user_sign.der"), take(sign_cert, sign_len));
  EXPECT_EQ(fixture("user_km.der"), take(km_cert, km_len));
  ASSERT_EQ(0, p11_find_read_value(m.get(), w.km_id.data(), w.km_id.size(), &value, &value_len));
  EXPECT_EQ(fixture("user_km.der"), take(value, value_len)) << "the certificate met its key's id";

  ASSERT_EQ(0, p11_read_vid_random(m.get(), kPin, w.sign_id.data(), w.sign_id.size(), &value, &value_len));
  EXPECT_EQ(keyobjtest::user_random(), take(value, value_len));
  EXPECT_EQ(v7::kErrNoVidRandomR,
            p11_read_vid_random(m.get(), kPin, w.km_id.data(), w.km_id.size(), &value, &value_len));
  const uint8_t unknown[] = {1, 2};
  EXPECT_EQ(v7::kErrNoObject, p11_find_read_value(m.get(), unknown, 2, &value, &value_len));

  // The flags of each pair: a signing key does not decrypt, a key-management key does not sign.
  const Bytes data = v7test::to_bytes("block");
  uint8_t *out = nullptr;
  size_t out_len = 0;
  EXPECT_EQ(v7::kErrNoPrivateKey, p11_sign(m.get(), kPin, w.km_id.data(), w.km_id.size(), data.data(),
                                           data.size(), &out, &out_len));
  EXPECT_EQ(v7::kErrP11NoDecryptKey, p11_decrypt(m.get(), kPin, w.sign_id.data(), w.sign_id.size(),
                                                 data.data(), data.size(), &out, &out_len));
}

// The token's certificate list, by path and from an open module, and the parts of its entry.
TEST_P(Token, CertificateListAndItsParts) {
  Module m(open());
  ASSERT_NE(nullptr, m);
  Written w = write_set(m.get());
  for (bool by_path : {true, false}) {
    SCOPED_TRACE(by_path ? "by path" : "open module");
    CERTLIST_CTX list{};
    list.id_flag = 1;
    CERT_ENTRY *e = by_path ? certlist_load(&list, kMediumToken, path_.c_str())
                            : certlist_load(&list, kMediumTokenModule, m.get());
    ASSERT_NE(nullptr, e) << errno;
    EXPECT_EQ(nullptr, e->next);
    EXPECT_EQ(kMediumToken, list.media_code);
    EXPECT_STREQ(path_.c_str(), static_cast<const char *>(list.medium_data));
    EXPECT_EQ(kMediumToken, e->media_code);
    EXPECT_EQ(kPartSignCert, e->parts);
    EXPECT_NE(nullptr, e->id);
    const auto *id = static_cast<const TokenEntryId *>(e->medium_data);
    EXPECT_EQ(w.sign_id, Bytes(id->id, id->id + id->length));
    uint8_t *out = nullptr;
    size_t n = cert_read_sign_cert(e, &out);
    EXPECT_EQ(fixture("user_sign.der"), take(out, n));
    n = cert_read_km_cert(e, &out);
    EXPECT_EQ(fixture("user_km.der"), take(out, n));
    // Keys never leave the token: a key part is no certificate in disguise.
    EXPECT_EQ(0u, cert_read_sign_key(e, &out));
    EXPECT_EQ(v7::kErrInternal, errno);
    EXPECT_EQ(0u, cert_read_km_key(e, &out));
    EXPECT_EQ(v7::kErrInternal, errno);
    certlist_free(&list);
    EXPECT_EQ(nullptr, list.medium_data);
  }
  // The open module keeps its one reference: the listing took and dropped its own.
  EXPECT_EQ(1, m->refs);
}

TEST_P(Token, WriteRefusesBadKeysAndArguments) {
  Module m(open());
  ASSERT_NE(nullptr, m);
  const Bytes subject = {0x30, 0x00};
  const Bytes key = keyobjtest::rsa_private_der("user_sign_plain.der");
  const Bytes garbage = {0x30, 0x03, 0x02, 0x01, 0x00};
  uint8_t *id = nullptr;
  EXPECT_EQ(v7::kErrRsaIncorrectKey, p11_put_keypair(m.get(), kPin, garbage.data(), garbage.size(), 0,
                                                     subject.data(), subject.size(), &id));
  EXPECT_EQ(v7::kErrInvalidParameter,
            p11_put_keypair(m.get(), kPin, key.data(), key.size(), 2, subject.data(), subject.size(), &id));
  const Bytes not_a_cert = {0x30, 0x01, 0x00};
  EXPECT_NE(0, p11_put_cert(m.get(), kPin, not_a_cert.data(), not_a_cert.size(), nullptr, 0));
  const Bytes random(P11_MAX_RANDOM + 1, 7);
  const uint8_t one[] = {1};
  EXPECT_EQ(v7::kErrInvalidParameter,
            p11_put_vid_object(kPin, one, m.get(), random.data(), random.size(), 1));
  EXPECT_EQ(v7::kErrP11InvalidId, p11_put_vid_object(kPin, one, m.get(), random.data(), 20, 0));
  EXPECT_EQ(nullptr, id);
}

TEST_P(Token, TokenKeyObjectSignsAndDecrypts) {
  Module m(open());
  ASSERT_NE(nullptr, m);
  Written w = write_set(m.get());
  const TOKEN_KEY_MODULE given = p11_token_key_module(m.get());

  keyobjtest::Key sign_key(keyobj_new_type2());
  ASSERT_NE(nullptr, sign_key);
  EXPECT_EQ(KEYOBJ_KIND_TOKEN, sign_key->ops->get_kind(sign_key.get()));
  ASSERT_EQ(0, keyobj_control(sign_key.get(), KEYOBJ_CTRL_TOKEN_SET_MODULE,
                              const_cast<TOKEN_KEY_MODULE *>(&given), nullptr));
  EXPECT_EQ(2, m->refs) << "the object holds its own reference";
  ASSERT_EQ(
      0, keyobj_set_key(sign_key.get(), w.sign_id.data(), w.sign_id.size(), KEYOBJ_FORMAT_DEFAULT, nullptr));
  ASSERT_EQ(0, keyobj_control(sign_key.get(), KEYOBJ_CTRL_TOKEN_SET_PIN, const_cast<char *>(kPin), nullptr));
  ASSERT_EQ(0, keyobj_set_certificate(sign_key.get(), nullptr, 0, 0));
  EXPECT_EQ(fixture("user_sign.der"), Bytes(sign_key->cert_der, sign_key->cert_der + sign_key->cert_der_len));
  ASSERT_EQ(0, keyobj_set_buffer(sign_key.get(), nullptr, 0));
  EXPECT_EQ(keyobjtest::user_random(), Bytes(sign_key->buffer, sign_key->buffer + sign_key->buffer_len));
  EXPECT_EQ(KEYOBJ_ALG_RSA, sign_key->ops->key_algorithm(sign_key.get()));

  // Signatures that OpenSSL verifies, byte for byte those of the key file's object.
  keyobjtest::Key file_key = keyobjtest::signing_key();
  const Bytes data = v7test::to_bytes("the transcript the relay step signs");
  struct {
    int scheme;
    int md;
  } schemes[] = {
      {SIG_SCHEME_PKCS1, HASH_SHA1}, {SIG_SCHEME_PKCS1_SHA256, HASH_SHA256}, {SIG_SCHEME_PKCS1_RAW, 0}};
  for (const auto &s : schemes) {
    SCOPED_TRACE(s.scheme);
    keyobjtest::OpResult ours = keyobjtest::sign(sign_key.get(), data, s.scheme);
    ASSERT_EQ(0, ours.code);
    ASSERT_EQ(256u, ours.out.size());
    EXPECT_TRUE(verifies("user_sign.der", data, ours.out, s.scheme));
#ifdef V7_HAVE_OPENSSL_ORACLE
    EXPECT_TRUE(oracle::verify(pem("user_sign"), {oracle::kPkcs1, s.md, 0}, data, ours.out));
#endif
    EXPECT_EQ(keyobjtest::sign(file_key.get(), data, s.scheme).out, ours.out);
  }
  EXPECT_EQ(v7::kErrInvalidParameter, keyobjtest::sign(sign_key.get(), data, SIG_SCHEME_PSS).code);
  EXPECT_EQ(v7::kErrKeyCtxUnsupportedOption,
            keyobjtest::sign(sign_key.get(), data, SIG_SCHEME_PKCS1, 2).code);

  // Decryption of OpenSSL's PKCS#1 v1.5 encryption to the key-management key.
  keyobjtest::Key km_key(keyobj_new_type2());
  ASSERT_EQ(0, keyobj_control(km_key.get(), KEYOBJ_CTRL_TOKEN_SET_MODULE,
                              const_cast<TOKEN_KEY_MODULE *>(&given), nullptr));
  ASSERT_EQ(0, keyobj_set_key(km_key.get(), w.km_id.data(), w.km_id.size(), KEYOBJ_FORMAT_DEFAULT, nullptr));
  ASSERT_EQ(0, keyobj_control(km_key.get(), KEYOBJ_CTRL_TOKEN_SET_PIN, const_cast<char *>(kPin), nullptr));
  const Bytes secret = v7test::to_bytes("session key and MAC key of the relay");
  std::vector<Bytes> ciphertexts;
  keyobjtest::Pub km_pub = keyobjtest::public_key(fixture("user_km.der"), PUBKEY_SOURCE_CERTIFICATE);
  ciphertexts.push_back(keyobjtest::encrypt(km_pub.get(), secret, ENC_SCHEME_PKCS1).out);
#ifdef V7_HAVE_OPENSSL_ORACLE
  ciphertexts.push_back(oracle::encrypt(pem("user_km"), {oracle::kPkcs1, 0, 0}, secret));
#endif
  for (const Bytes &ciphertext : ciphertexts) {
    ASSERT_EQ(256u, ciphertext.size());
    keyobjtest::OpResult plain = keyobjtest::decrypt(km_key.get(), ciphertext, ENC_SCHEME_PKCS1);
    ASSERT_EQ(0, plain.code);
    EXPECT_EQ(secret, plain.out);
  }
  const Bytes &ciphertext = ciphertexts[0];
  EXPECT_EQ(v7::kErrUnsupportedPublicKeyAlgorithm,
            keyobjtest::decrypt(km_key.get(), ciphertext, ENC_SCHEME_OAEP).code)
      << "the token cannot undo OAEP";
  EXPECT_EQ(v7::kErrP11NoDecryptKey, keyobjtest::decrypt(sign_key.get(), ciphertext, ENC_SCHEME_PKCS1).code);

  TOKEN_KEY_MODULE got{};
  ASSERT_EQ(0, keyobj_control(km_key.get(), KEYOBJ_CTRL_TOKEN_GET_MODULE, nullptr, &got));
  EXPECT_EQ(m.get(), got.module);
  km_key.reset();
  sign_key.reset();
  EXPECT_EQ(1, m->refs) << "each object dropped its reference";
}

TEST_P(Token, TokenKeyObjectOpensFromItsPath) {
  Module writer(open());
  ASSERT_NE(nullptr, writer);
  Written w = write_set(writer.get());
  keyobjtest::Key key(keyobj_new_type2());
  EXPECT_EQ(v7::kErrHsmNullLibraryPath, keyobj_set_certificate(key.get(), nullptr, 0, 0));
  const TOKEN_KEY_MODULE binding_only{p11_token_key_binding(), nullptr};
  ASSERT_EQ(0, keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_SET_MODULE,
                              const_cast<TOKEN_KEY_MODULE *>(&binding_only), nullptr));
  EXPECT_EQ(v7::kErrHsmNullLibraryPath, keyobj_set_certificate(key.get(), nullptr, 0, 0));
  ASSERT_EQ(0, keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_SET_PATH, &path_[0], nullptr));
  ASSERT_EQ(0, keyobj_set_key(key.get(), w.sign_id.data(), w.sign_id.size(), KEYOBJ_FORMAT_DEFAULT, nullptr));
  ASSERT_EQ(0, keyobj_set_certificate(key.get(), nullptr, 0, 0));
  EXPECT_EQ(v7::kErrHsmReadRandom, keyobj_set_buffer(key.get(), nullptr, 0))
      << "no PIN: the VID object is private";
  ASSERT_EQ(0, keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_SET_PIN, const_cast<char *>(kPin), nullptr));
  ASSERT_EQ(0, keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_LOGIN, nullptr, nullptr));
  const Bytes data = v7test::to_bytes("x");
  keyobjtest::OpResult sig = keyobjtest::sign(key.get(), data, SIG_SCHEME_PKCS1_SHA256);
  ASSERT_EQ(0, sig.code);
  EXPECT_TRUE(verifies("user_sign.der", data, sig.out, SIG_SCHEME_PKCS1_SHA256));
  const uint8_t unknown[] = {9};
  ASSERT_EQ(0, keyobj_set_key(key.get(), unknown, 1, KEYOBJ_FORMAT_DEFAULT, nullptr));
  EXPECT_EQ(v7::kErrHsmReadCert, keyobj_set_certificate(key.get(), nullptr, 0, 0));
}

TEST_P(Token, WrongPinCostsOneTryAndStopsAtOnce) {
  Module m(open_wrapped());
  ASSERT_NE(nullptr, m);
  ASSERT_EQ(0, p11_module_open(m.get()));
  const Bytes data(35, 1);
  const uint8_t id[] = {1};
  uint8_t *out = nullptr;
  size_t out_len = 0;
  const int wrong = v7::kP11CodeOffset + int(CKR_PIN_INCORRECT);
  EXPECT_EQ(wrong, p11_sign(m.get(), "9999", id, 1, data.data(), data.size(), &out, &out_len));
  EXPECT_EQ(wrong, errno);
  EXPECT_EQ(wrong, p11_decrypt(m.get(), "9999", id, 1, data.data(), data.size(), &out, &out_len));
  EXPECT_EQ(wrong, p11_login("9999", m.get()));
  EXPECT_EQ(1, g_logins) << "the refused PIN is not sent again";
  EXPECT_EQ(v7::kErrP11NoPin, p11_login("", m.get()));
  EXPECT_EQ(v7::kErrP11NoPin, p11_login(std::string(P11_MAX_PIN + 1, '1').c_str(), m.get()));
  EXPECT_EQ(v7::kErrP11NoPin, p11_login(nullptr, m.get()));
  EXPECT_EQ(1, g_logins) << "a PIN that cannot be sent sends nothing";
  EXPECT_GE(p11_pin_state(m.get()), int(P11_PIN_OK)) << "the token tells how its PIN stands";
  EXPECT_EQ(0, p11_login(kPin, m.get()));
  EXPECT_EQ(2, g_logins);
  EXPECT_EQ(0, p11_login(kPin, m.get()));
  EXPECT_EQ(2, g_logins) << "logged in once";
  EXPECT_EQ(nullptr, out);
}

TEST_P(Token, TwoOpensOfOneLibraryWorkSideBySide) {
  Module first(open());
  ASSERT_NE(nullptr, first);
  Written w = write_set(first.get());
  ASSERT_EQ(1, first->logged_in);
  {
    Module second(open());
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first->session, second->session);
    // The token's login belongs to the application: the second module finds it logged in, and
    // must not log the first one out when it goes.
    EXPECT_EQ(0, p11_login(kPin, second.get()));
    EXPECT_EQ(0, second->logged_in);
    uint8_t *value = nullptr;
    size_t len = 0;
    ASSERT_EQ(0, p11_read_vid_random(second.get(), kPin, w.sign_id.data(), w.sign_id.size(), &value, &len));
    free(value);
  }
  const Bytes data(20, 3);
  uint8_t *out = nullptr;
  size_t out_len = 0;
  ASSERT_EQ(0, p11_sign(first.get(), kPin, w.sign_id.data(), w.sign_id.size(), data.data(), data.size(), &out,
                        &out_len))
      << "the first session outlived the second module";
  EXPECT_EQ(256u, out_len);
  free(out);

  P11_MODULE *shared = p11_module_retain(first.get());
  EXPECT_EQ(first.get(), shared);
  p11_module_release(shared);
  EXPECT_EQ(1, first->refs);
  P11_MODULE *dying = open();
  p11_module_release(dying);  // freed at zero
  P11_MODULE dead{};
  EXPECT_EQ(nullptr, p11_module_retain(&dead)) << "a count of 0 is not taken again";
  EXPECT_EQ(nullptr, p11_module_retain(nullptr));
}

TEST_P(Token, HostileAnswersAreRefused) {
  Written w;
  {
    Module writer(open());
    ASSERT_NE(nullptr, writer);
    w = write_set(writer.get());
  }
  const Bytes data(20, 3);
  struct Case {
    Hostile hostile;
    const char *what;
  } cases[] = {{Hostile::kLongAttribute, "attribute length past its buffer"},
               {Hostile::kUnavailableAttribute, "unavailable attribute"},
               {Hostile::kLongSignature, "signature past its buffer"},
               {Hostile::kManyObjects, "more objects than asked for"}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    Module m(open_wrapped());
    ASSERT_NE(nullptr, m);
    ASSERT_EQ(0, p11_module_open(m.get()));
    g_hostile = c.hostile;
    uint8_t *value = nullptr, *id = nullptr;
    size_t len = 0, id_len = 0;
    if (c.hostile == Hostile::kLongSignature) {
      EXPECT_EQ(v7::kErrP11BadAnswer, p11_sign(m.get(), kPin, w.sign_id.data(), w.sign_id.size(), data.data(),
                                               data.size(), &value, &len));
    } else {
      EXPECT_EQ(v7::kErrP11BadAnswer,
                p11_find_read_value(m.get(), w.sign_id.data(), w.sign_id.size(), &value, &len));
      ASSERT_EQ(0, p11_find_certs_init(m.get()));
      EXPECT_EQ(v7::kErrP11BadAnswer, p11_find_next_cert(m.get(), &value, &len, &id, &id_len));
      p11_find_certs_final(m.get());
    }
    EXPECT_EQ(nullptr, value);
    EXPECT_EQ(nullptr, id);
    g_hostile = Hostile::kNone;
  }
  g_hostile = Hostile::kManySlots;
  Module m(open_wrapped());
  ASSERT_NE(nullptr, m);
  EXPECT_EQ(v7::kErrP11BadAnswer, p11_module_open(m.get()));
  g_hostile = Hostile::kNone;
}

// A search the token breaks off fails the listing with the token's own code, not the search's.
TEST_P(Token, AListingTheTokenBreaksOffKeepsTheTokensCode) {
  {
    Module writer(open());
    ASSERT_NE(nullptr, writer);
    write_set(writer.get());
  }
  Module m(open_wrapped());
  ASSERT_NE(nullptr, m);
  ASSERT_EQ(0, p11_module_open(m.get()));
  g_hostile = Hostile::kFindFails;
  CERTLIST_CTX list{};
  errno = 0;
  EXPECT_EQ(nullptr, certlist_load(&list, kMediumTokenModule, m.get()));
  EXPECT_EQ(v7::kP11CodeOffset + int(CKR_DEVICE_ERROR), errno);
  EXPECT_EQ(nullptr, list.first);
  EXPECT_EQ(0u, list.media_code);
  EXPECT_EQ(1, m->refs);
  g_hostile = Hostile::kNone;
  // The module is as it was: the search was closed.
  ASSERT_NE(nullptr, certlist_load(&list, kMediumTokenModule, m.get())) << errno;
  certlist_free(&list);
}

TEST(TokenBinding, LoadingRefusesWhatItCannotBind) {
  errno = 0;
  EXPECT_EQ(nullptr, p11_module_load(nullptr));
  EXPECT_EQ(v7::kErrInvalidParameter, errno);
  EXPECT_EQ(nullptr, p11_module_load("v7testp11.dll"));
  EXPECT_EQ(v7::kErrModuleRelativePath, errno);
#ifdef _WIN32
  EXPECT_EQ(nullptr, p11_module_load("C:\\no\\such\\p11.dll"));
  EXPECT_EQ(v7::kErrModuleLoad, errno);
  // A library without the export.
  char system[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetModuleFileNameA(::GetModuleHandleA("kernel32.dll"), system, MAX_PATH));
  const std::string plain_library = system;
#else
  EXPECT_EQ(nullptr, p11_module_load("/no/such/p11.so"));
  EXPECT_EQ(v7::kErrModuleLoad, errno);
  Dl_info info{};
  ASSERT_NE(0, dladdr(reinterpret_cast<void *>(&dlopen), &info));
  const std::string plain_library = info.dli_fname;
#endif
  Module plain(p11_module_load(plain_library.c_str()));
  ASSERT_NE(nullptr, plain);
  EXPECT_EQ(v7::kErrModuleNoSymbol, p11_module_open(plain.get()));
}

// What only the test token can show: its call log and the failures it is told to make.
class TestTokenOnly : public ::testing::Test {
 protected:
  void SetUp() override {
    backend_.start(dir_);
    inject_ =
        reinterpret_cast<V7TestTokenInjectFn>(v7::module_symbol(backend_.keeper(), "V7TestToken_Inject"));
    log_ = reinterpret_cast<V7TestTokenLogFn>(v7::module_symbol(backend_.keeper(), "V7TestToken_Log"));
    ASSERT_NE(nullptr, inject_);
    ASSERT_NE(nullptr, log_);
  }
  void TearDown() override { backend_.stop(); }
  std::string log() {
    std::vector<char> text(log_(nullptr, 0) + 1);
    log_(text.data(), unsigned(text.size()));
    return text.data();
  }
  int count(const std::string &call) {
    std::string text = log();
    int n = 0;
    for (size_t at = 0; (at = text.find(call + "\n", at)) != std::string::npos; at += call.size()) ++n;
    return n;
  }
  P11_MODULE *open() {
    P11_MODULE *m = p11_module_load(backend_.path().c_str());
    if (m != nullptr && p11_module_open(m) != 0) {
      p11_module_free(m);
      return nullptr;
    }
    return m;
  }

  tokentest::TempDir dir_{"testtoken"};
  TestTokenBackend backend_;
  V7TestTokenInjectFn inject_ = nullptr;
  V7TestTokenLogFn log_ = nullptr;
};

TEST_F(TestTokenOnly, OpensTheFirstSlotThatTakesASessionAndInitialisesOnce) {
  Module first(open());
  ASSERT_NE(nullptr, first);
  Module second(open());
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(1, count("C_Initialize")) << log();
  EXPECT_EQ(4, count("C_OpenSession")) << "the empty first slot is tried, then the token's";
  second.reset();
  EXPECT_EQ(0, count("C_Finalize")) << "the first user still has its session";
  first.reset();
  EXPECT_EQ(1, count("C_Finalize"));
}

TEST_F(TestTokenOnly, AFailedPrivateKeyDestroysOnlyWhatTheCallMade) {
  Module m(open());
  ASSERT_NE(nullptr, m);
  const Bytes cert = fixture("user_sign.der");
  ASSERT_EQ(0, p11_put_cert(m.get(), kPin, cert.data(), cert.size(), nullptr, 0));
  inject_("private_key_create");
  const Bytes key = keyobjtest::rsa_private_der("user_sign_plain.der");
  const Bytes subject = {0x30, 0x00};
  uint8_t *id = nullptr;
  EXPECT_EQ(v7::kP11CodeOffset + int(CKR_DEVICE_ERROR),
            p11_put_keypair(m.get(), kPin, key.data(), key.size(), 0, subject.data(), subject.size(), &id));
  EXPECT_EQ(nullptr, id);
  EXPECT_EQ(3, count("C_CreateObject"));
  EXPECT_EQ(1, count("C_DestroyObject"));
  inject_("");
  ASSERT_EQ(0, p11_find_certs_init(m.get()));
  uint8_t *value = nullptr, *cert_id = nullptr;
  size_t len = 0, id_len = 0;
  ASSERT_EQ(0, p11_find_next_cert(m.get(), &value, &len, &cert_id, &id_len))
      << "the earlier certificate stays";
  p11_find_certs_final(m.get());
  free(value);
  free(cert_id);
}

TEST_F(TestTokenOnly, ThePinStateTellsTheTriesThatRemain) {
  Module m(open());
  ASSERT_NE(nullptr, m);
  EXPECT_EQ(P11_PIN_OK, p11_pin_state(m.get()));
  EXPECT_EQ(v7::kP11CodeOffset + int(CKR_PIN_INCORRECT), p11_login("0000", m.get()));
  EXPECT_EQ(P11_PIN_COUNT_LOW, p11_pin_state(m.get()));
  EXPECT_EQ(v7::kP11CodeOffset + int(CKR_PIN_INCORRECT), p11_login("0000", m.get()));
  EXPECT_EQ(1, count("C_Login")) << "the same wrong PIN is not tried twice";
  EXPECT_EQ(v7::kP11CodeOffset + int(CKR_PIN_INCORRECT), p11_login("1111", m.get()));
  EXPECT_EQ(P11_PIN_FINAL_TRY, p11_pin_state(m.get()));
  EXPECT_EQ(0, p11_login(kPin, m.get()));
  EXPECT_EQ(P11_PIN_OK, p11_pin_state(m.get()));
  EXPECT_EQ(-1, p11_pin_state(nullptr));
}

TEST_F(TestTokenOnly, AlreadyLoggedInIsNotLoggedOutByThisModule) {
  Module m(open());
  ASSERT_NE(nullptr, m);
  inject_("already_logged_in");
  EXPECT_EQ(0, p11_login(kPin, m.get()));
  EXPECT_EQ(0, m->logged_in);
  EXPECT_EQ(0, p11_login(kPin, m.get()));
  EXPECT_EQ(2, count("C_Login")) << "the next operation logs in again";
  m.reset();
  EXPECT_EQ(0, count("C_Logout"));
}

// ---- Key loading of a chosen token entry ------------------------------------------------------

// A token list holding the module path, the record's open module and PIN, and one entry whose
// medium data is the given id.
struct TokenRecord {
  TokenRecord(const std::string &path, P11_MODULE *module, const Bytes &id, const char *pin = kPin) {
    record = static_cast<CertListRecord *>(calloc(1, sizeof(CertListRecord)));
    record->list = static_cast<CERTLIST_CTX *>(calloc(1, sizeof(CERTLIST_CTX)));
    record->list->media_code = kMediumToken;
    record->list->medium_data = strdup(path.c_str());
    record->errors = &errors;
    record->token_module = module != nullptr ? p11_module_retain(module) : nullptr;
    if (pin != nullptr) {
      EXPECT_EQ(0, CertListSetPin(record, pin));
    }
    entry = static_cast<CERT_ENTRY *>(calloc(1, sizeof(CERT_ENTRY)));
    entry->media_code = kMediumToken;
    auto *token_id = static_cast<TokenEntryId *>(calloc(1, sizeof(TokenEntryId)));
    token_id->id = static_cast<uint8_t *>(malloc(id.size() + 1));
    if (!id.empty()) memcpy(token_id->id, id.data(), id.size());
    token_id->length = id.size();
    entry->medium_data = token_id;
  }
  ~TokenRecord() {
    certentry_free(entry);
    CertListFree(record);
    err_ctx_clear(&errors);
  }
  TokenRecord(const TokenRecord &) = delete;
  TokenRecord &operator=(const TokenRecord &) = delete;

  ERROR_CTX errors{};
  CertListRecord *record = nullptr;
  CERT_ENTRY *entry = nullptr;
};

Bytes cert_of(const PRIVATE_KEY_CTX *key) {
  const uint8_t *b = key->ops->certificate_der(key);
  return b != nullptr ? Bytes(b, b + key->ops->certificate_der_length(key)) : Bytes();
}

TEST_P(Token, ChosenEntryLoadsTheKeyObjectOfEachMode) {
  Module m(open());
  ASSERT_NE(nullptr, m);
  Written w = write_set(m.get());
  struct Case {
    int mode;
    unsigned flags;
    const char *cert;  // null: the object is only bound to the token
    bool random;
  } cases[] = {
      {kKeyLoadSignPair, 0, "user_sign.der", true},
      {kKeyLoadKmPair, 0, "user_km.der", false},
      // A request's own pair on a token is its signing pair.
      {kKeyLoadRequestPair, 0, "user_sign.der", false},
      {kKeyLoadSignPair, kKeyLoadBindOnly, nullptr, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + "/" + std::to_string(c.flags));
    TokenRecord r(path_, m.get(), w.sign_id);
    errno = -1;
    keyobjtest::Key key(keyload_read_pair(r.entry, r.record, c.mode, c.flags));
    ASSERT_NE(nullptr, key) << errno;
    EXPECT_EQ(0, errno);
    EXPECT_EQ(KEYOBJ_KIND_TOKEN, key->kind);
    TOKEN_KEY_MODULE bound{};
    ASSERT_EQ(0, keyobj_control(key.get(), KEYOBJ_CTRL_TOKEN_GET_MODULE, nullptr, &bound));
    EXPECT_EQ(m.get(), bound.module) << "the record's open module";
    if (c.cert == nullptr) {
      EXPECT_TRUE(cert_of(key.get()).empty());
      EXPECT_EQ(0, key->ops->key_algorithm(key.get())) << "no key id set";
      continue;
    }
    EXPECT_EQ(fixture(c.cert), cert_of(key.get()));
    EXPECT_EQ(c.random ? keyobjtest::user_random() : Bytes(),
              Bytes(key->buffer, key->buffer + key->buffer_len));
    if (c.mode != kKeyLoadKmPair) {
      const Bytes data = {'t', 'o', 'k', 'e', 'n'};
      keyobjtest::OpResult s = keyobjtest::sign(key.get(), data, SIG_SCHEME_PKCS1_SHA256);
      ASSERT_EQ(0, s.code);
      EXPECT_TRUE(verifies(c.cert, data, s.out, SIG_SCHEME_PKCS1_SHA256));
    }
  }
}

TEST_P(Token, ChosenEntryRefusals) {
  Module m(open());
  ASSERT_NE(nullptr, m);
  Written w = write_set(m.get());
  struct Case {
    const char *name;
    Bytes id;
    bool module;
    const char *pin;
    int mode;
    int code;
  } cases[] = {
      {"an id longer than the key's buffer", Bytes(33, 7), true, kPin, kKeyLoadSignPair, v7::kErrInvalidParameter},
      {"an empty id", Bytes(), true, kPin, kKeyLoadSignPair, v7::kErrInvalidParameter},
      {"key-management pair without an open module", w.sign_id, false, kPin, kKeyLoadKmPair,
       v7::kErrInvalidParameter},
      {"no PIN", w.sign_id, true, nullptr, kKeyLoadSignPair, v7::kErrInvalidParameter},
      {"an id the token does not hold", Bytes(20, 9), true, kPin, kKeyLoadSignPair, v7::kErrHsmReadCert},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    TokenRecord r(path_, c.module ? m.get() : nullptr, c.id, c.pin);
    errno = 0;
    EXPECT_EQ(nullptr, keyload_read_pair(r.entry, r.record, c.mode, 0));
    EXPECT_EQ(c.code, errno);
    ASSERT_NE(nullptr, r.errors.newest);
    EXPECT_EQ(c.code, r.errors.newest->first->code);
  }
}

#ifndef _WIN32
INSTANTIATE_TEST_SUITE_P(Tokens, Token, ::testing::Values("softhsm", "testtoken"));
#else
INSTANTIATE_TEST_SUITE_P(Tokens, Token, ::testing::Values("testtoken"));
#endif

}  // namespace
