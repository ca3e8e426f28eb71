#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "media/certlist.h"
#include "pki/errors/error_ctx.h"
#include "pki/keys/keyobj.h"
#include "wizard/records/request_record.h"
#include "media/selection_record.h"

// The test links with free wrapped: a watched buffer's bytes are copied at the moment it is
// freed, which shows whether a secret was wiped first without reading freed memory.
extern "C" void __real_free(void *p);

namespace {
const void *g_watched = nullptr;
size_t g_watched_len = 0;
unsigned char g_seen[256];
bool g_freed = false;

void watch(const void *p, size_t len) {
  g_watched = p;
  g_watched_len = len;
  g_freed = false;
}

bool seen_all_zero() {
  for (size_t i = 0; i < g_watched_len; i++)
    if (g_seen[i] != 0) return false;
  return true;
}
}  // namespace

extern "C" void __wrap_free(void *p) {
  if (p != nullptr && p == g_watched) {
    memcpy(g_seen, p, g_watched_len);
    g_freed = true;
    g_watched = nullptr;
  }
  __real_free(p);
}

namespace {

CertListRecord *new_record() { return static_cast<CertListRecord *>(calloc(1, sizeof(CertListRecord))); }

template <typename T>
void expect_refused(T *(*accessor)(const CertListRecord *), const char *name) {
  errno = 0;
  EXPECT_EQ(accessor(nullptr), nullptr) << name;
  EXPECT_EQ(errno, 1001) << name;
}

TEST(SelectionRecord, AccessorsAnswerNullForNullRecord) {
  expect_refused(CertListGetSelected, "selected");
  expect_refused(CertListGetPassword, "password");
  expect_refused(CertListGetPin, "pin");
  expect_refused(CertListGetSecureDisk, "secure disk");
  expect_refused(CertListGetTokenModule, "token module");
  EXPECT_EQ(CertListSetPassword(nullptr, "x"), 1001);
  EXPECT_EQ(CertListSetPin(nullptr, "x"), 1001);
  CertListClearSecrets(nullptr);
  CertListFree(nullptr);
}

TEST(SelectionRecord, TokenModuleOnlyFromATokenList) {
  char path[] = "C:\\windows\\system32\\token.dll";
  CERTLIST_CTX list = {};
  list.medium_data = path;
  CertListRecord *r = new_record();
  ASSERT_NE(r, nullptr);
  errno = 0;
  EXPECT_EQ(CertListGetTokenModule(r), nullptr);  // no list yet
  EXPECT_EQ(errno, 1001);
  r->list = &list;
  const struct {
    uint32_t code;
    bool gives_path;
  } cases[] = {{kMediumHardDisk, false},
               {kMediumToken, true},
               {kMediumSmartCard, false},
               {kMediumTokenModule, false},
               {0, false}};
  for (const auto &c : cases) {
    list.media_code = c.code;
    errno = 0;
    EXPECT_EQ(CertListGetTokenModule(r), c.gives_path ? path : nullptr) << c.code;
    EXPECT_EQ(errno, c.gives_path ? 0 : 1001) << c.code;
  }
  r->list = nullptr;
  CertListFree(r);
}

TEST(SelectionRecord, SecretsAreOwnCopiesAndWipedWhenReplacedOrCleared) {
  CertListRecord *r = new_record();
  ASSERT_NE(r, nullptr);
  char typed[kSecretTextCapacity];
  strcpy(typed, "a rather long first password");
  ASSERT_EQ(CertListSetPassword(r, typed), 0);
  memset(typed, 'z', strlen(typed));  // the caller wipes its entry buffer
  EXPECT_STREQ(CertListGetPassword(r), "a rather long first password");

  // Replacing wipes the whole earlier buffer, so the longer first text leaves no tail.
  watch(CertListGetPassword(r), kSecretTextCapacity);
  ASSERT_EQ(CertListSetPassword(r, "short"), 0);
  EXPECT_TRUE(g_freed);
  EXPECT_TRUE(seen_all_zero());
  EXPECT_STREQ(CertListGetPassword(r), "short");

  ASSERT_EQ(CertListSetPin(r, "123456"), 0);
  EXPECT_STREQ(CertListGetPin(r), "123456");
  watch(CertListGetPin(r), kSecretTextCapacity);
  CertListClearSecrets(r);
  EXPECT_TRUE(g_freed);
  EXPECT_TRUE(seen_all_zero());
  EXPECT_EQ(CertListGetPin(r), nullptr);
  EXPECT_EQ(CertListGetPassword(r), nullptr);
  CertListFree(r);
}

TEST(SelectionRecord, OverlongOrNullSecretIsRefusedAndTheOldOneKept) {
  CertListRecord *r = new_record();
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(CertListSetPassword(r, "kept"), 0);
  char longest[kSecretTextCapacity + 1];
  memset(longest, 'p', sizeof longest - 1);
  longest[sizeof longest - 1] = 0;
  EXPECT_EQ(CertListSetPassword(r, longest), 1001);  // 128 bytes: no room for the terminator
  EXPECT_EQ(errno, 1001);
  EXPECT_EQ(CertListSetPassword(r, nullptr), 1001);
  EXPECT_STREQ(CertListGetPassword(r), "kept");
  longest[kSecretTextCapacity - 1] = 0;  // 127 bytes fit
  EXPECT_EQ(CertListSetPassword(r, longest), 0);
  EXPECT_EQ(strlen(CertListGetPassword(r)), kSecretTextCapacity - 1);
  CertListFree(r);
}

TEST(SelectionRecord, FreeWipesThePasswordAndDeletesTheKeys) {
  // The key objects' release shows in the sanitizer build's leak check.
  CertListRecord *r = new_record();
  ASSERT_NE(r, nullptr);
  r->sign_key = keyobj_new_type1();
  r->km_key = keyobj_new_type1();
  ASSERT_NE(r->sign_key, nullptr);
  ASSERT_NE(r->km_key, nullptr);
  ASSERT_EQ(CertListSetPassword(r, "Fixture1!"), 0);
  watch(CertListGetPassword(r), kSecretTextCapacity);
  CertListFree(r);
  EXPECT_TRUE(g_freed);
  EXPECT_TRUE(seen_all_zero());
}

uint8_t *dup_bytes(const char *text) {
  size_t n = strlen(text);
  uint8_t *p = static_cast<uint8_t *>(malloc(n));
  memcpy(p, text, n);
  return p;
}

TEST(CertSelect, BuffersAreTakenOverReplacedAndWiped) {
  CCertSelect sel(new_record(), static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX))));
  uint8_t *key = dup_bytes("encrypted key bytes");
  ASSERT_EQ(sel.TakeBuffer(kSelectSignKey, key, 19), 0);
  EXPECT_EQ(sel.Buffer(kSelectSignKey).data, key);
  EXPECT_EQ(sel.Buffer(kSelectSignKey).length, 19u);

  watch(key, 19);
  uint8_t *key2 = dup_bytes("second key");
  ASSERT_EQ(sel.TakeBuffer(kSelectSignKey, key2, 10), 0);
  EXPECT_TRUE(g_freed);
  EXPECT_TRUE(seen_all_zero());

  // Refused parts stay the caller's and leave the held part alone.
  uint8_t *spare = dup_bytes("spare");
  EXPECT_EQ(sel.TakeBuffer(kSelectBufferCount, spare, 5), 1001);
  EXPECT_EQ(sel.TakeBuffer(-1, spare, 5), 1001);
  EXPECT_EQ(sel.TakeBuffer(kSelectSignKey, nullptr, 5), 1001);
  EXPECT_EQ(sel.Buffer(kSelectSignKey).data, key2);
  EXPECT_EQ(sel.Buffer(kSelectBufferCount).data, nullptr);
  free(spare);

  for (int which : {kSelectSignCert, kSelectKmCert, kSelectKmKey, kSelectVidRandom})
    ASSERT_EQ(sel.TakeBuffer(which, dup_bytes("part"), 4), 0);
  watch(key2, 10);
  sel.FreeBuffers();
  EXPECT_TRUE(g_freed);
  EXPECT_TRUE(seen_all_zero());
  for (int which = 0; which < kSelectBufferCount; which++) {
    EXPECT_EQ(sel.Buffer(which).data, nullptr) << which;
    EXPECT_EQ(sel.Buffer(which).length, 0u) << which;
  }
}

TEST(CertSelect, DestructorReleasesRecordErrorsAndBuffers) {
  // Leaks would show in the sanitizer build; the password's wipe is checked here.
  ERROR_CTX *errors = static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX)));
  ASSERT_EQ(err_push(errors, 1453, "wrong password"), 0);
  CertListRecord *r = new_record();
  RelayRequestRecord request = {};
  r->errors = errors;
  r->request = &request;
  ASSERT_EQ(CertListSetPassword(r, "Fixture1!"), 0);
  {
    CCertSelect sel(r, errors);
    ASSERT_EQ(sel.TakeBuffer(kSelectSignCert, dup_bytes("cert"), 4), 0);
    watch(CertListGetPassword(r), kSecretTextCapacity);
  }
  EXPECT_TRUE(g_freed);
  EXPECT_TRUE(seen_all_zero());
}

}  // namespace
