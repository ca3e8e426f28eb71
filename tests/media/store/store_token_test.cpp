// Storing a received set on a PKCS#11 token, natively on SoftHSM2 and everywhere on the test
// token: the set is listed by the token list, its certificates and VID random value read back and
// its keys sign with the PIN. A wrapped function list fails the token's n-th object creation, so
// that a failure at each write step is seen to leave the holder's old set as it was.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "crypto/hash/hash.h"
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

// The attribute types of each object created, in the order its template gave them.
std::map<std::string, std::vector<CK_ULONG>> g_orders;

CK_RV wrapped_create(CK_SESSION_HANDLE s, CK_ATTRIBUTE *t, CK_ULONG n, CK_OBJECT_HANDLE *out) {
  if (g_creates++ == g_fail_create_at) return CKR_DEVICE_ERROR;
  g_created.push_back(what(t, n));
  std::vector<CK_ULONG> &order = g_orders[g_created.back()];
  order.clear();
  for (CK_ULONG i = 0; i < n; ++i) order.push_back(t[i].type);
  return g_real.C_CreateObject(s, t, n, out);
}

// The token refuses to destroy anything while this is set.
bool g_fail_destroy = false;
CK_RV wrapped_destroy(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE o) {
  return g_fail_destroy ? CKR_FUNCTION_FAILED : g_real.C_DestroyObject(s, o);
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
    g_fail_destroy = false;
    g_creates = 0;
    g_created.clear();
    g_orders.clear();
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
    g_wrapped.C_DestroyObject = wrapped_destroy;
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

// ---- The objects a store writes, attribute by attribute --------------------------------------

// What one attribute must read back as: its bytes, the SHA-1 of its bytes (for a modulus), or
// nothing at all (a private part of a sensitive key, which the token must not give out).
struct Expected {
  const char *name;
  CK_ULONG type;  // the standard's number, written out
  enum { kBytes, kSha1, kSensitive } kind;
  Bytes value;
};

Bytes ulong_bytes(CK_ULONG v) {
  Bytes b(sizeof v);
  memcpy(b.data(), &v, sizeof v);
  return b;
}
Bytes text(const char *t) { return Bytes(t, t + strlen(t)); }
Bytes label32(const char *t) {
  Bytes b = text(t);
  b.resize(32, 0);
  return b;
}
const Bytes kTrue = {1}, kFalse = {0};

// The holder's subject, the two key ids (SHA-1 of each RSAPublicKey, worked out with OpenSSL) and
// the SHA-1 of each modulus, from the received set of the test PKI.
const Bytes kSubject = v7test::from_hex(
    "3070310b3009060355040613024b52310f300d060355040a0c0654657374434131143012060355040b0c0b706572736f6e616c"
    "3449423111300f060355040b0c085465737442616e6b3127302506035504030c1e486f6e672047696c646f6e6728293030303132"
    "3334353637383930313233");
const Bytes kSignId = v7test::from_hex("807053716a3eb6ae2324e0b6c2c15f6442af1e98");
const Bytes kKmId = v7test::from_hex("e96e58c61a31da208c59bf6c5a1233455081f149");
const Bytes kSignModulusSha1 = v7test::from_hex("059880b4f913aee0d8afa13b8b4cce0f97d62776");
const Bytes kKmModulusSha1 = v7test::from_hex("8e4e75cf9d7f910c45715abe3930cd0224f8fa0a");

std::vector<Expected> public_key(bool km) {
  return {{"CLASS", 0x000, Expected::kBytes, ulong_bytes(2)},
          {"KEY_TYPE", 0x100, Expected::kBytes, ulong_bytes(0)},
          {"TOKEN", 0x001, Expected::kBytes, kTrue},
          {"LABEL", 0x003, Expected::kBytes, label32("An RSA public key object")},
          {"ID", 0x102, Expected::kBytes, km ? kKmId : kSignId},
          {"WRAP", 0x106, Expected::kBytes, km ? kTrue : kFalse},
          {"ENCRYPT", 0x104, Expected::kBytes, km ? kTrue : kFalse},
          {"MODULUS", 0x120, Expected::kSha1, km ? kKmModulusSha1 : kSignModulusSha1},
          {"SUBJECT", 0x101, Expected::kBytes, kSubject},
          {"PRIVATE", 0x002, Expected::kBytes, kFalse},
          {"VERIFY", 0x10A, Expected::kBytes, km ? kFalse : kTrue},
          {"PUBLIC_EXPONENT", 0x122, Expected::kBytes, {0x01, 0x00, 0x01}}};
}
std::vector<Expected> private_key(bool km) {
  return {{"CLASS", 0x000, Expected::kBytes, ulong_bytes(3)},
          {"KEY_TYPE", 0x100, Expected::kBytes, ulong_bytes(0)},
          {"TOKEN", 0x001, Expected::kBytes, kTrue},
          {"LABEL", 0x003, Expected::kBytes, label32("An RSA private key object")},
          {"SUBJECT", 0x101, Expected::kBytes, kSubject},
          {"ID", 0x102, Expected::kBytes, km ? kKmId : kSignId},
          {"SENSITIVE", 0x103, Expected::kBytes, kTrue},
          {"SIGN", 0x108, Expected::kBytes, km ? kFalse : kTrue},
          {"UNWRAP", 0x107, Expected::kBytes, km ? kTrue : kFalse},
          {"DECRYPT", 0x105, Expected::kBytes, km ? kTrue : kFalse},
          {"PRIVATE", 0x002, Expected::kBytes, kTrue},
          {"MODULUS", 0x120, Expected::kSha1, km ? kKmModulusSha1 : kSignModulusSha1},
          {"PUBLIC_EXPONENT", 0x122, Expected::kBytes, {0x01, 0x00, 0x01}},
          {"PRIVATE_EXPONENT", 0x123, Expected::kSensitive, {}},
          {"PRIME_1", 0x124, Expected::kSensitive, {}},
          {"PRIME_2", 0x125, Expected::kSensitive, {}},
          {"EXPONENT_1", 0x126, Expected::kSensitive, {}},
          {"EXPONENT_2", 0x127, Expected::kSensitive, {}},
          {"COEFFICIENT", 0x128, Expected::kSensitive, {}}};
}
std::vector<Expected> certificate(bool km, const Bytes &der) {
  return {{"CLASS", 0x000, Expected::kBytes, ulong_bytes(1)},
          {"CERTIFICATE_TYPE", 0x080, Expected::kBytes, ulong_bytes(0)},
          {"TOKEN", 0x001, Expected::kBytes, kTrue},
          {"LABEL", 0x003, Expected::kBytes, label32("A certificate object")},
          {"SUBJECT", 0x101, Expected::kBytes, kSubject},
          {"ID", 0x102, Expected::kBytes, km ? kKmId : kSignId},
          {"PRIVATE", 0x002, Expected::kBytes, kFalse},
          {"VALUE", 0x011, Expected::kBytes, der}};
}
std::vector<Expected> vid_object() {
  return {{"CLASS", 0x000, Expected::kBytes, ulong_bytes(0)},
          {"TOKEN", 0x001, Expected::kBytes, kTrue},
          {"PRIVATE", 0x002, Expected::kBytes, kTrue},
          {"LABEL", 0x003, Expected::kBytes, text("R4VID=807053716a3eb6ae2324e0b6c2c15f6442af1e98")},
          {"APPLICATION", 0x010, Expected::kBytes, text("Accredited PKI Application")},
          {"VALUE", 0x011, Expected::kBytes, kUserRandom}};
}

// One attribute as the token gives it: its answer and, when it gave one, the bytes.
CK_RV read_attribute(P11_MODULE *m, CK_OBJECT_HANDLE o, CK_ULONG type, Bytes *out) {
  out->clear();
  CK_ATTRIBUTE a{type, nullptr, 0};
  CK_RV rv = m->functions->C_GetAttributeValue(m->session, o, &a, 1);
  if (rv != CKR_OK) return rv;
  if (a.ulValueLen == CK_UNAVAILABLE_INFORMATION || a.ulValueLen > 8192) return CKR_GENERAL_ERROR;
  out->resize(a.ulValueLen);
  a.pValue = out->data();
  rv = m->functions->C_GetAttributeValue(m->session, o, &a, 1);
  if (rv == CKR_OK) out->resize(a.ulValueLen);
  return rv;
}

// Every object of the store reads back, attribute for attribute, as the layout has it; the token
// holds those seven and nothing else, and each was made from a template in the layout's order.
TEST_P(StoreToken, EveryObjectHoldsTheLayoutsAttributes) {
  std::unique_ptr<StoreMedium> target = medium();
  storetest::Ctx ctx;
  ASSERT_EQ(0, store(*target, ctx)) << ::testing::PrintToString(storetest::codes(ctx));
  P11_MODULE *m = wrapped_.get();
  ASSERT_EQ(0, p11_login(kPin, m));

  // Each object is told apart by its class (always the first attribute) and its id.
  struct Object {
    const char *name;
    Bytes id;  // empty for the data object, which has none
    std::vector<Expected> attributes;
    int seen = 0;
  };
  std::vector<Object> objects = {{"pub:sign", kSignId, public_key(false)},
                                 {"priv:sign", kSignId, private_key(false)},
                                 {"cert:sign", kSignId, certificate(false, set_.sign_cert)},
                                 {"pub:km", kKmId, public_key(true)},
                                 {"priv:km", kKmId, private_key(true)},
                                 {"cert:km", kKmId, certificate(true, set_.km_cert)},
                                 {"vid", {}, vid_object()}};

  CK_FUNCTION_LIST *f = m->functions;
  ASSERT_EQ(CKR_OK, f->C_FindObjectsInit(m->session, nullptr, 0));
  std::vector<CK_OBJECT_HANDLE> all;
  CK_OBJECT_HANDLE h[16];
  CK_ULONG count = 0;
  while (f->C_FindObjects(m->session, h, 16, &count) == CKR_OK && count != 0)
    all.insert(all.end(), h, h + count);
  f->C_FindObjectsFinal(m->session);
  ASSERT_EQ(all.size(), objects.size());

  for (CK_OBJECT_HANDLE handle : all) {
    Bytes cls, id;
    ASSERT_EQ(CKR_OK, read_attribute(m, handle, 0x000, &cls));
    if (cls != ulong_bytes(0)) {
      ASSERT_EQ(CKR_OK, read_attribute(m, handle, 0x102, &id));
    }
    Object *match = nullptr;
    for (Object &o : objects)
      if (o.attributes[0].value == cls && o.id == id) match = &o;
    ASSERT_NE(match, nullptr) << v7test::to_hex(cls) << " " << v7test::to_hex(id);
    ++match->seen;
    for (const Expected &e : match->attributes) {
      SCOPED_TRACE(std::string(match->name) + " CKA_" + e.name);
      Bytes value;
      const CK_RV rv = read_attribute(m, handle, e.type, &value);
      if (e.kind == Expected::kSensitive) {
        EXPECT_EQ(CKR_ATTRIBUTE_SENSITIVE, rv);
        continue;
      }
      ASSERT_EQ(CKR_OK, rv);
      if (e.kind == Expected::kBytes) {
        EXPECT_EQ(v7test::to_hex(e.value), v7test::to_hex(value));
      } else {
        uint8_t digest[20];
        ASSERT_EQ(20, hash_digest(sizeof digest, digest, HASH_SHA1, value.data(), value.size()));
        EXPECT_EQ(v7test::to_hex(e.value), v7test::to_hex(Bytes(digest, digest + 20)));
      }
    }
  }
  for (const Object &o : objects) {
    EXPECT_EQ(1, o.seen) << o.name;
    // The template gave the attributes in the layout's order, these and no others.
    std::vector<CK_ULONG> order;
    for (const Expected &e : o.attributes) order.push_back(e.type);
    EXPECT_EQ(g_orders[o.name], order) << o.name;
  }
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

// A failed write whose clean-up fails too is said, as on the other media: the old set is whole,
// but what the failed store made stays beside it (16324 with the token's code for the clean-up).
TEST_P(StoreToken, AFailedCleanUpIsReported) {
  std::unique_ptr<StoreMedium> m = medium();
  storetest::Ctx ctx;
  ASSERT_EQ(0, store(*m, ctx));
  const Snapshot old = snapshot(wrapped_.get());
  const int write_code = v7::kP11CodeOffset + int(CKR_DEVICE_ERROR);
  const int destroy_code = v7::kP11CodeOffset + int(CKR_FUNCTION_FAILED);
  for (int at = 0; at < 7; ++at) {
    g_creates = 0;
    g_fail_create_at = at;
    g_fail_destroy = true;
    storetest::Ctx failing;
    const int result = store(*m, failing);
    g_fail_create_at = -1;
    g_fail_destroy = false;
    const Snapshot now = snapshot(wrapped_.get());
    for (const auto &object : old)
      EXPECT_GE(now.count(object.first) != 0 ? now.at(object.first) : 0, object.second) << at;
    if (at == 0) {
      // Nothing was made, so nothing had to go.
      EXPECT_EQ(write_code, result);
      EXPECT_EQ(storetest::codes(failing), (std::vector<int>{write_code}));
      EXPECT_EQ(now, old);
    } else {
      EXPECT_EQ(v7::kErrStoreRestore, result) << at;
      EXPECT_EQ(storetest::codes(failing), (std::vector<int>{write_code, v7::kErrStoreRestore, destroy_code}))
          << at;
      // The leftovers are copies of the new set's objects: the same keys, counted more often.
      int leftovers = 0;
      for (const auto &object : now)
        leftovers += object.second - (old.count(object.first) != 0 ? old.at(object.first) : 0);
      EXPECT_EQ(leftovers, at) << at;
    }
    // The next good store clears the leftovers with the old set.
    storetest::Ctx again;
    ASSERT_EQ(0, store(*m, again)) << at;
    EXPECT_EQ(snapshot(wrapped_.get()), old) << at;
  }
  // The direct call says the same.
  const Bytes plain_key = storetest::plain_rsa_key(set_.sign_key, kPhonePassword);
  g_creates = 0;
  g_fail_create_at = 1;
  g_fail_destroy = true;
  EXPECT_EQ(v7::kErrStoreRestore, store_pair_on_token(m.get(), set_.sign_cert.data(), set_.sign_cert.size(),
                                                      plain_key.data(), plain_key.size(), kUserRandom.data(),
                                                      kUserRandom.size(), nullptr, 0, nullptr, 0));
  g_fail_destroy = false;
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
