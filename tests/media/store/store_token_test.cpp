// Storing a received set on a PKCS#11 token, natively on SoftHSM2 and everywhere on the test
// token: the set is listed by the token list, its certificates and VID random value read back and
// its keys sign with the PIN. A wrapped function list fails the token's n-th object creation, so
// that a failure at each write step is seen to leave the holder's old set as it was.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "media/certlist.h"
#include "media/store/store.h"
#include "media/token/p11.h"
#include "platform/errors/error_codes.h"
#include "tests/media/store/store_test_util.h"
#include "tests/media/token/token_backends.h"

namespace {

using storetest::Bytes;
using storetest::kPhonePassword;
using tokentest::kPin;

const Bytes kUserRandom = v7test::from_hex("5a3c1e07b2f49d68a1c0e3f5b7d9021436587a9c");

// ---- A wrapped function list: the objects created, and a failure at the n-th ------------------

CK_FUNCTION_LIST g_real, g_wrapped;
int g_fail_create_at = -1;
int g_creates = 0;
std::vector<std::string> g_created;
Bytes g_km_cert;

const CK_ATTRIBUTE *find(const CK_ATTRIBUTE *t, CK_ULONG n, CK_ATTRIBUTE_TYPE type) {
  for (CK_ULONG i = 0; i < n; ++i)
    if (t[i].type == type) return &t[i];
  return nullptr;
}
bool flag(const CK_ATTRIBUTE *t, CK_ULONG n, CK_ATTRIBUTE_TYPE type) {
  const CK_ATTRIBUTE *a = find(t, n, type);
  return a != nullptr && *static_cast<const CK_BBOOL *>(a->pValue) == CK_TRUE;
}

// "cert:sign", "pub:km", "vid", ... in creation order.
std::string what(const CK_ATTRIBUTE *t, CK_ULONG n) {
  const CK_OBJECT_CLASS cls = *static_cast<const CK_OBJECT_CLASS *>(find(t, n, CKA_CLASS)->pValue);
  if (cls == CKO_DATA) return "vid";
  if (cls == CKO_CERTIFICATE) {
    const CK_ATTRIBUTE *v = find(t, n, CKA_VALUE);
    const bool km = v->ulValueLen == g_km_cert.size() && memcmp(v->pValue, g_km_cert.data(), g_km_cert.size()) == 0;
    return km ? "cert:km" : "cert:sign";
  }
  const bool sign = flag(t, n, cls == CKO_PUBLIC_KEY ? CKA_VERIFY : CKA_SIGN);
  return std::string(cls == CKO_PUBLIC_KEY ? "pub:" : "priv:") + (sign ? "sign" : "km");
}

CK_RV wrapped_create(CK_SESSION_HANDLE s, CK_ATTRIBUTE *t, CK_ULONG n, CK_OBJECT_HANDLE *out) {
  if (g_creates++ == g_fail_create_at) return CKR_DEVICE_ERROR;
  g_created.push_back(what(t, n));
  return g_real.C_CreateObject(s, t, n, out);
}

// Every object on the token with what identifies it and what it holds.
using Snapshot = std::map<std::string, int>;
Snapshot snapshot(P11_MODULE *m) {
  Snapshot out;
  CK_FUNCTION_LIST *f = m->functions;
  EXPECT_EQ(CKR_OK, f->C_FindObjectsInit(m->session, nullptr, 0));
  std::vector<CK_OBJECT_HANDLE> all;
  CK_OBJECT_HANDLE h[32];
  CK_ULONG count = 0;
  while (f->C_FindObjects(m->session, h, 32, &count) == CKR_OK && count != 0) all.insert(all.end(), h, h + count);
  f->C_FindObjectsFinal(m->session);
  for (CK_OBJECT_HANDLE o : all) {
    std::string key;
    for (CK_ATTRIBUTE_TYPE type : {CKA_CLASS, CKA_ID, CKA_LABEL, CKA_SUBJECT, CKA_VALUE, CKA_MODULUS}) {
      uint8_t buffer[4096];
      CK_ATTRIBUTE a{type, buffer, sizeof(buffer)};
      key += "|";
      if (f->C_GetAttributeValue(m->session, o, &a, 1) == CKR_OK && a.ulValueLen <= sizeof(buffer))
        key += std::string(reinterpret_cast<char *>(buffer), a.ulValueLen);
    }
    ++out[key];
  }
  return out;
}

struct ModuleFree {
  void operator()(P11_MODULE *m) const { p11_module_free(m); }
};

class StoreToken : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    backend_.reset(tokentest::make_backend(GetParam()));
    path_ = backend_->path();
    if (path_.empty()) GTEST_SKIP() << "SoftHSM2 is not installed (scripts/setup installs softhsm2)";
    backend_->start(dir_);
    g_fail_create_at = -1;
    g_creates = 0;
    g_created.clear();
    g_km_cert = set_.km_cert;
  }
  void TearDown() override {
    wrapped_.reset();
    backend_->stop();
  }

  // An open module whose object creations go through the wrapped list.
  P11_MODULE *wrapped_module() {
    wrapped_.reset(p11_module_load(path_.c_str()));
    EXPECT_NE(nullptr, wrapped_);
    if (wrapped_ == nullptr) return nullptr;
    // Bound before it is opened: the library's initialisation is counted by the list it was made with.
    auto get = reinterpret_cast<CK_C_GetFunctionList>(v7::module_symbol(wrapped_->library, "C_GetFunctionList"));
    CK_FUNCTION_LIST *real = nullptr;
    EXPECT_EQ(CKR_OK, get(&real));
    g_real = *real;
    g_wrapped = g_real;
    g_wrapped.C_CreateObject = wrapped_create;
    wrapped_->functions = &g_wrapped;
    EXPECT_EQ(0, p11_module_open(wrapped_.get()));
    return wrapped_.get();
  }

  std::unique_ptr<StoreMedium> medium(const char *pin = kPin, bool wrapped = true) {
    std::unique_ptr<StoreMedium> m(new StoreMedium());
    m->kind = kStoreSecurityToken;
    m->module_path = path_;
    m->SetPin(pin);
    if (wrapped) m->module = p11_module_retain(wrapped_module());
    return m;
  }

  int store(const StoreMedium &m, storetest::Ctx &ctx, const Bytes *km_cert = nullptr, const Bytes *sign_key = nullptr) {
    const Bytes &km = km_cert != nullptr ? *km_cert : set_.km_cert;
    const Bytes &key = sign_key != nullptr ? *sign_key : set_.sign_key;
    return store_cert_pairs(ctx, kPhonePassword, set_.sign_cert.data(), set_.sign_cert.size(), key.data(), key.size(),
                            km.data(), km.size(), set_.km_key.data(), set_.km_key.size(), &m);
  }

  storetest::ReceivedSet set_;
  tokentest::TempDir dir_{"store-token"};
  std::unique_ptr<tokentest::Backend> backend_;
  std::unique_ptr<P11_MODULE, ModuleFree> wrapped_;
  std::string path_;
};

// The set through the module path: listed by the token list, both certificates and the VID
// random value read back, the signing key signs with the PIN, and the objects are the seven the
// layout names (in the normal order: certificates first).
TEST_P(StoreToken, StoredSetReadsBackAndSignsWithThePin) {
  {
    std::unique_ptr<StoreMedium> m = medium(kPin, false);
    storetest::Ctx ctx;
    ASSERT_EQ(0, store(*m, ctx)) << ::testing::PrintToString(storetest::codes(ctx));
  }
  CERTLIST_CTX list{};
  CERT_ENTRY *e = certlist_load(&list, kMediumToken, path_.c_str());
  ASSERT_NE(nullptr, e) << errno;
  EXPECT_EQ(nullptr, e->next);
  EXPECT_EQ(storetest::part(cert_read_sign_cert, e), set_.sign_cert);
  EXPECT_EQ(storetest::part(cert_read_km_cert, e), set_.km_cert);
  const auto *id = static_cast<const TokenEntryId *>(e->medium_data);
  const Bytes cert_id(id->id, id->id + id->length);
  certlist_free(&list);

  P11_MODULE *m = wrapped_module();
  ASSERT_NE(nullptr, m);
  uint8_t *random = nullptr;
  size_t random_len = 0;
  ASSERT_EQ(0, p11_read_vid_random(m, kPin, cert_id.data(), cert_id.size(), &random, &random_len));
  EXPECT_EQ(kUserRandom, Bytes(random, random + random_len));
  free(random);
  const Bytes digest_info(51, 0x5A);
  uint8_t *signature = nullptr;
  size_t signature_len = 0;
  EXPECT_EQ(0, p11_sign(m, kPin, cert_id.data(), cert_id.size(), digest_info.data(), digest_info.size(), &signature,
                        &signature_len));
  EXPECT_EQ(256u, signature_len);
  free(signature);
  EXPECT_EQ(7u, snapshot(m).size());
}

// Storing the holder's set again replaces it: the old objects go once the new ones are written,
// so the token ends with one set, never two and never none.
TEST_P(StoreToken, StoringAgainReplacesTheHoldersSet) {
  std::unique_ptr<StoreMedium> m = medium();
  storetest::Ctx first, second;
  ASSERT_EQ(0, store(*m, first));
  const Snapshot once = snapshot(wrapped_.get());
  ASSERT_EQ(0, store(*m, second));
  EXPECT_EQ(snapshot(wrapped_.get()), once);
  EXPECT_EQ(g_created, (std::vector<std::string>{"cert:sign", "cert:km", "pub:sign", "priv:sign", "pub:km", "priv:km",
                                                 "vid", "cert:sign", "cert:km", "pub:sign", "priv:sign", "pub:km",
                                                 "priv:km", "vid"}));
}

// A token error at each creation, and a wrong PIN, leave the old set object for object.
TEST_P(StoreToken, AFailureAtAnyWriteLeavesTheOldSet) {
  std::unique_ptr<StoreMedium> m = medium();
  storetest::Ctx ctx;
  ASSERT_EQ(0, store(*m, ctx));
  const Snapshot old = snapshot(wrapped_.get());
  for (int at = 0; at < 7; ++at) {
    g_creates = 0;
    g_fail_create_at = at;
    storetest::Ctx failing;
    EXPECT_EQ(v7::kP11CodeOffset + int(CKR_DEVICE_ERROR), store(*m, failing)) << at;
    EXPECT_EQ(storetest::codes(failing), (std::vector<int>{v7::kP11CodeOffset + int(CKR_DEVICE_ERROR)}));
    g_fail_create_at = -1;
    EXPECT_EQ(snapshot(wrapped_.get()), old) << at;
  }
  // A wrong PIN, on a token nobody is logged in to (a login holds for every session of the library).
  wrapped_->functions->C_Logout(wrapped_->session);
  wrapped_->logged_in = 0;
  std::unique_ptr<StoreMedium> wrong = medium("9999", false);
  storetest::Ctx refused;
  EXPECT_EQ(v7::kP11CodeOffset + int(CKR_PIN_INCORRECT), store(*wrong, refused));
  ASSERT_EQ(0, p11_login(kPin, wrapped_.get()));
  EXPECT_EQ(snapshot(wrapped_.get()), old);
}

// What is refused before the token is touched: certificates naming two holders (16330), a
// signing key without its VID random value (14090) or with one past the bound.
TEST_P(StoreToken, RefusedBeforeTheTokenIsTouched) {
  std::unique_ptr<StoreMedium> m = medium();
  const Bytes other = storetest::fixture("user2_sign.der");
  storetest::Ctx mismatch;
  EXPECT_EQ(v7::kErrKmSubjectMismatch, store(*m, mismatch, &other));
  EXPECT_EQ(storetest::codes(mismatch), (std::vector<int>{v7::kErrKmSubjectMismatch}));
  const Bytes no_random = storetest::with_random(set_.sign_key, kPhonePassword, {});
  storetest::Ctx missing;
  EXPECT_EQ(v7::kErrNoVidRandomR, store(*m, missing, nullptr, &no_random));
  const Bytes long_random = storetest::with_random(set_.sign_key, kPhonePassword, Bytes(kStoreVidRandomMax + 1, 1));
  storetest::Ctx too_long;
  EXPECT_EQ(v7::kErrVidRandomTooLong, store(*m, too_long, nullptr, &long_random));
  EXPECT_EQ(g_creates, 0);
  EXPECT_TRUE(snapshot(wrapped_.get()).empty());

  // The direct call holds the value to the same bound.
  EXPECT_EQ(v7::kErrVidRandomTooLong,
            store_pair_on_token(m.get(), set_.sign_cert.data(), set_.sign_cert.size(), set_.sign_key.data(),
                                set_.sign_key.size(), long_random.data(), kStoreVidRandomMax + 1, nullptr, 0, nullptr, 0));
}

// A module whose path names ASAM_FP gets the key-management objects first.
TEST_P(StoreToken, AsamModulesGetTheKeyManagementObjectsFirst) {
  std::unique_ptr<StoreMedium> m = medium();
  m->module_path = "/opt/vendor/ASAM_FP_pkcs11.so";
  storetest::Ctx ctx;
  ASSERT_EQ(0, store(*m, ctx));
  EXPECT_EQ(g_created,
            (std::vector<std::string>{"cert:km", "pub:km", "priv:km", "cert:sign", "pub:sign", "priv:sign", "vid"}));
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Tokens, StoreToken, ::testing::Values("test"));
#else
INSTANTIATE_TEST_SUITE_P(Tokens, StoreToken, ::testing::Values("softhsm", "test"));
#endif

}  // namespace
