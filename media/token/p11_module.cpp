// Loading, binding, sessions and login of PKCS#11 libraries.
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "media/token/internal.h"

using namespace v7::p11;

namespace {

constexpr const char *kGetFunctionList = "C_GetFunctionList";
// More slots than any reader set has: a count beyond it is a broken answer.
constexpr CK_ULONG kMaxSlots = 1024;

// A library's function list stands for the library: loading one file twice gives one image and
// one list. C_Initialize may run once per process and C_Finalize ends every session of every
// user, so the users of one list share a count.
struct InitUse {
  CK_FUNCTION_LIST *functions;
  int users;
  bool ours;  // false when someone outside this binding had initialised it: never finalised here
};
std::mutex g_init_lock;
std::vector<InitUse> g_inits;

CK_RV acquire_init(CK_FUNCTION_LIST *functions) {
  std::lock_guard<std::mutex> hold(g_init_lock);
  for (InitUse &use : g_inits)
    if (use.functions == functions) {
      ++use.users;
      return CKR_OK;
    }
  CK_RV rv = functions->C_Initialize(nullptr);
  if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) return rv;
  g_inits.push_back({functions, 1, rv == CKR_OK});
  return CKR_OK;
}

void release_init(CK_FUNCTION_LIST *functions) {
  std::lock_guard<std::mutex> hold(g_init_lock);
  for (size_t i = 0; i < g_inits.size(); ++i) {
    if (g_inits[i].functions != functions) continue;
    if (--g_inits[i].users == 0) {
      if (g_inits[i].ours) functions->C_Finalize(nullptr);
      g_inits.erase(g_inits.begin() + long(i));
    }
    return;
  }
}

int open_session(P11_MODULE *m) {
  CK_ULONG count = 0;
  CK_RV rv = m->functions->C_GetSlotList(CK_FALSE, nullptr, &count);
  if (rv != CKR_OK) return token_code(rv);
  if (count == 0) return fail(v7::kErrP11NoSlot);
  if (count > kMaxSlots) return fail(v7::kErrP11BadAnswer);
  std::vector<CK_SLOT_ID> slots(count);
  CK_ULONG filled = count;
  rv = m->functions->C_GetSlotList(CK_FALSE, slots.data(), &filled);
  if (rv != CKR_OK) return token_code(rv);
  if (filled > count) return fail(v7::kErrP11BadAnswer);
  if (filled == 0) return fail(v7::kErrP11NoSlot);
  for (CK_ULONG i = 0; i < filled; ++i) {
    CK_SESSION_HANDLE session = 0;
    rv = m->functions->C_OpenSession(slots[i], CKF_RW_SESSION | CKF_SERIAL_SESSION, nullptr, nullptr, &session);
    if (rv == CKR_OK && session != 0) {
      m->session = session;
      m->slot = slots[i];
      return done();
    }
    if (rv == CKR_OK) rv = CKR_GENERAL_ERROR;
  }
  return token_code(rv);
}

}  // namespace

P11_MODULE *p11_module_load(const char *path) {
  if (path == nullptr || path[0] == '\0') return v7::with_errno(v7::kErrInvalidParameter, nullptr);
  auto *m = static_cast<P11_MODULE *>(calloc(1, sizeof(P11_MODULE)));
  size_t len = strlen(path);
  char *copy = static_cast<char *>(malloc(len + 1));
  if (m == nullptr || copy == nullptr) {
    free(m);
    free(copy);
    return v7::with_errno(v7::kErrOutOfMemory, nullptr);
  }
  memcpy(copy, path, len + 1);
  m->library = v7::module_load(path);
  if (m->library == nullptr) {
    int code = errno;
    free(copy);
    free(m);
    return v7::with_errno(code, nullptr);
  }
  m->path = copy;
  m->refs = 1;
  return v7::with_errno(0, m);
}

int p11_module_open(P11_MODULE *m) {
  if (m == nullptr || m->library == nullptr) return fail(v7::kErrInvalidParameter);
  if (m->session != 0) return done();
  if (m->functions == nullptr) {
    auto get = reinterpret_cast<CK_C_GetFunctionList>(v7::module_symbol(m->library, kGetFunctionList));
    if (get == nullptr) return fail(v7::kErrModuleNoSymbol);
    CK_FUNCTION_LIST *functions = nullptr;
    CK_RV rv = get(&functions);
    if (rv != CKR_OK) return token_code(rv);
    if (functions == nullptr) return fail(v7::kErrP11NoFunctionList);
    m->functions = functions;
  }
  if (!m->initialized) {
    CK_RV rv = acquire_init(m->functions);
    if (rv != CKR_OK) return token_code(rv);
    m->initialized = 1;
  }
  return open_session(m);
}

P11_MODULE *p11_module_retain(P11_MODULE *m) {
  if (m == nullptr || m->refs <= 0) return nullptr;
  ++m->refs;
  return m;
}

void p11_module_release(P11_MODULE *m) {
  if (m == nullptr || m->refs <= 0) return;
  if (--m->refs == 0) p11_module_free(m);
}

void p11_module_free(P11_MODULE *m) {
  if (m == nullptr) return;
  m->refs = 0;
  if (m->functions != nullptr) {
    if (m->session != 0) {
      if (m->logged_in) m->functions->C_Logout(m->session);
      m->functions->C_CloseSession(m->session);
    }
    if (m->initialized) release_init(m->functions);
  }
  v7::module_close(m->library);
  free(m->path);
  v7::secure_wipe(m, sizeof(*m));
  free(m);
}

int p11_login(const char *pin, P11_MODULE *m) {
  if (m == nullptr) return fail(v7::kErrInvalidParameter);
  if (m->functions == nullptr) return fail(v7::kErrP11NoFunctionList);
  if (m->logged_in) return done();
  if (pin == nullptr || pin[0] == '\0') return fail(v7::kErrP11NoPin);
  size_t len = strnlen(pin, P11_MAX_PIN + 1);
  if (len > P11_MAX_PIN) return fail(v7::kErrP11NoPin);
  uint8_t digest[32];
  if (hash_digest(sizeof(digest), digest, HASH_SHA256, pin, len) != 32) return fail(v7::kErrInternal);
  if (m->has_refused_pin && memcmp(digest, m->refused_pin, sizeof(digest)) == 0) {
    v7::secure_wipe(digest, sizeof(digest));
    return token_code(m->refused_rv);
  }
  // The token takes the PIN's bytes from its own copy: a module may write into what it is given.
  uint8_t buffer[P11_MAX_PIN + 1];
  memcpy(buffer, pin, len);
  CK_RV rv = m->functions->C_Login(m->session, CKU_USER, buffer, CK_ULONG(len));
  v7::secure_wipe(buffer, sizeof(buffer));
  if (rv == CKR_PIN_INCORRECT || rv == CKR_PIN_LOCKED) {
    memcpy(m->refused_pin, digest, sizeof(digest));
    m->has_refused_pin = 1;
    m->refused_rv = rv;
  }
  v7::secure_wipe(digest, sizeof(digest));
  if (rv == CKR_OK) {
    m->logged_in = 1;
    m->has_refused_pin = 0;
    return done();
  }
  if (rv == CKR_USER_ALREADY_LOGGED_IN) return done();
  return token_code(rv);
}

int p11_pin_state(P11_MODULE *m) {
  if (m == nullptr || m->functions == nullptr || m->session == 0) return v7::with_errno(v7::kErrInvalidParameter, -1);
  CK_TOKEN_INFO info{};
  CK_RV rv = m->functions->C_GetTokenInfo(m->slot, &info);
  if (rv != CKR_OK) return v7::with_errno(token_value(rv), -1);
  if (info.flags & CKF_USER_PIN_LOCKED) return v7::with_errno(0, int(P11_PIN_LOCKED));
  if (info.flags & CKF_USER_PIN_FINAL_TRY) return v7::with_errno(0, int(P11_PIN_FINAL_TRY));
  if (info.flags & CKF_USER_PIN_COUNT_LOW) return v7::with_errno(0, int(P11_PIN_COUNT_LOW));
  return v7::with_errno(0, int(P11_PIN_OK));
}
