// A small PKCS#11 token for the Windows build's tests (and natively beside SoftHSM2): two slots
// (the first without a token), one token whose objects live in memory while the module stays
// loaded, user login, object search by exact attribute match with private objects hidden before
// login, CKM_RSA_PKCS signing and decryption with this toolkit's RSA, a call log and failure
// injection. Everything else answers CKR_FUNCTION_NOT_SUPPORTED.
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "crypto/rsa/rsa.h"
#include "media/token/pkcs11_types.h"
#include "pki/x509/algorithms.h"
#include "tests/modules/pkcs11/test_token_control.h"

namespace {

typedef std::vector<uint8_t> Bytes;

constexpr CK_SLOT_ID kEmptySlot = 7;
constexpr CK_SLOT_ID kTokenSlot = 9;

struct Object {
  CK_OBJECT_HANDLE handle;
  std::vector<std::pair<CK_ATTRIBUTE_TYPE, Bytes>> attributes;  // in the creator's order

  const Bytes *find(CK_ATTRIBUTE_TYPE type) const {
    for (const auto &a : attributes)
      if (a.first == type) return &a.second;
    return nullptr;
  }
  bool flag(CK_ATTRIBUTE_TYPE type) const {
    const Bytes *v = find(type);
    return v != nullptr && v->size() == 1 && (*v)[0] != 0;
  }
  CK_ULONG ulong(CK_ATTRIBUTE_TYPE type) const {
    const Bytes *v = find(type);
    CK_ULONG out = ~0UL;
    if (v != nullptr && v->size() == sizeof(out)) memcpy(&out, v->data(), sizeof(out));
    return out;
  }
};

struct Session {
  std::vector<CK_OBJECT_HANDLE> found;  // of the active search
  bool finding = false;
  int operation = 0;  // 1 sign, 2 decrypt
  CK_OBJECT_HANDLE key = 0;
};

struct Token {
  std::mutex lock;
  bool initialized = false;
  bool logged_in = false;
  int wrong_pins = 0;  // since the last right one: 1 count low, 2 final try, 3 locked
  std::string pin = "1234";
  std::string failure;
  std::vector<std::string> log;
  std::vector<Object> objects;
  std::map<CK_SESSION_HANDLE, Session> sessions;
  CK_SESSION_HANDLE next_session = 0x51;
  CK_OBJECT_HANDLE next_object = 0x1001;
};
Token g;

// Every entry point takes the lock, logs its name and checks initialisation.
#define ENTER(name)                                 \
  std::lock_guard<std::mutex> hold(g.lock);         \
  g.log.push_back(name);                            \
  if (!g.initialized) return CKR_CRYPTOKI_NOT_INITIALIZED

Session *session_of(CK_SESSION_HANDLE s) {
  auto it = g.sessions.find(s);
  return it == g.sessions.end() ? nullptr : &it->second;
}

Object *object_of(CK_OBJECT_HANDLE h) {
  for (Object &o : g.objects)
    if (o.handle == h) return &o;
  return nullptr;
}

bool visible(const Object &o) { return g.logged_in || !o.flag(CKA_PRIVATE); }

CK_RV initialize(void *) {
  std::lock_guard<std::mutex> hold(g.lock);
  g.log.push_back("C_Initialize");
  if (g.initialized) return CKR_CRYPTOKI_ALREADY_INITIALIZED;
  g.initialized = true;
  return CKR_OK;
}

CK_RV finalize(void *) {
  ENTER("C_Finalize");
  g.initialized = false;
  g.logged_in = false;
  g.sessions.clear();
  return CKR_OK;
}

CK_RV unsupported() { return CKR_FUNCTION_NOT_SUPPORTED; }

CK_RV get_slot_list(CK_BBOOL present, CK_SLOT_ID *slots, CK_ULONG *count) {
  ENTER("C_GetSlotList");
  if (count == nullptr) return CKR_ARGUMENTS_BAD;
  if (g.failure == "many_slots" && slots == nullptr) {
    *count = 1UL << 30;
    return CKR_OK;
  }
  std::vector<CK_SLOT_ID> list;
  if (!present) list.push_back(kEmptySlot);
  list.push_back(kTokenSlot);
  if (slots == nullptr) {
    *count = CK_ULONG(list.size());
    return CKR_OK;
  }
  if (*count < list.size()) {
    *count = CK_ULONG(list.size());
    return CKR_BUFFER_TOO_SMALL;
  }
  for (size_t i = 0; i < list.size(); ++i) slots[i] = list[i];
  *count = CK_ULONG(list.size());
  return CKR_OK;
}

CK_RV get_token_info(CK_SLOT_ID slot, CK_TOKEN_INFO *info) {
  ENTER("C_GetTokenInfo");
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  if (slot == kEmptySlot) return CKR_TOKEN_NOT_PRESENT;
  if (slot != kTokenSlot) return CKR_SLOT_ID_INVALID;
  memset(info, ' ', sizeof(*info));
  const CK_FLAGS pin_flags[] = {0, CKF_USER_PIN_COUNT_LOW, CKF_USER_PIN_COUNT_LOW | CKF_USER_PIN_FINAL_TRY,
                                CKF_USER_PIN_LOCKED};
  info->flags = pin_flags[g.wrong_pins < 3 ? g.wrong_pins : 3];
  info->ulMaxPinLen = 64;
  info->ulMinPinLen = 4;
  return CKR_OK;
}

CK_RV open_session(CK_SLOT_ID slot, CK_FLAGS flags, void *, CK_NOTIFY, CK_SESSION_HANDLE *session) {
  ENTER("C_OpenSession");
  if (session == nullptr) return CKR_ARGUMENTS_BAD;
  if (slot == kEmptySlot) return CKR_TOKEN_NOT_PRESENT;
  if (slot != kTokenSlot) return CKR_SLOT_ID_INVALID;
  if ((flags & CKF_SERIAL_SESSION) == 0) return CKR_FUNCTION_FAILED;
  *session = g.next_session++;
  g.sessions[*session] = Session{};
  return CKR_OK;
}

CK_RV close_session(CK_SESSION_HANDLE s) {
  ENTER("C_CloseSession");
  if (g.sessions.erase(s) == 0) return CKR_SESSION_HANDLE_INVALID;
  if (g.sessions.empty()) g.logged_in = false;  // the login ends with the application's last session
  return CKR_OK;
}

CK_RV login(CK_SESSION_HANDLE s, CK_USER_TYPE user, CK_UTF8CHAR *pin, CK_ULONG len) {
  ENTER("C_Login");
  if (session_of(s) == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (user != CKU_USER) return CKR_ARGUMENTS_BAD;
  if (g.failure == "already_logged_in" || g.logged_in) return CKR_USER_ALREADY_LOGGED_IN;
  if (g.wrong_pins >= 3) return CKR_PIN_LOCKED;
  if (pin == nullptr || std::string(reinterpret_cast<char *>(pin), len) != g.pin) {
    ++g.wrong_pins;
    return g.wrong_pins >= 3 ? CKR_PIN_LOCKED : CKR_PIN_INCORRECT;
  }
  g.wrong_pins = 0;
  g.logged_in = true;
  return CKR_OK;
}

CK_RV logout(CK_SESSION_HANDLE s) {
  ENTER("C_Logout");
  if (session_of(s) == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (!g.logged_in) return CKR_USER_NOT_LOGGED_IN;
  g.logged_in = false;
  return CKR_OK;
}

CK_RV create_object(CK_SESSION_HANDLE s, CK_ATTRIBUTE *attrs, CK_ULONG count, CK_OBJECT_HANDLE *out) {
  ENTER("C_CreateObject");
  if (session_of(s) == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (attrs == nullptr || out == nullptr) return CKR_ARGUMENTS_BAD;
  Object o{g.next_object++, {}};
  for (CK_ULONG i = 0; i < count; ++i) {
    const auto *p = static_cast<const uint8_t *>(attrs[i].pValue);
    if (p == nullptr && attrs[i].ulValueLen != 0) return CKR_ATTRIBUTE_VALUE_INVALID;
    o.attributes.emplace_back(attrs[i].type, Bytes(p, p + attrs[i].ulValueLen));
  }
  if (o.ulong(CKA_CLASS) == ~0UL) return CKR_TEMPLATE_INCOMPLETE;
  if (o.flag(CKA_PRIVATE) && !g.logged_in) return CKR_USER_NOT_LOGGED_IN;
  if (o.ulong(CKA_CLASS) == CKO_PRIVATE_KEY && g.failure == "private_key_create") return CKR_DEVICE_ERROR;
  *out = o.handle;
  g.objects.push_back(std::move(o));
  return CKR_OK;
}

CK_RV destroy_object(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE h) {
  ENTER("C_DestroyObject");
  if (session_of(s) == nullptr) return CKR_SESSION_HANDLE_INVALID;
  for (size_t i = 0; i < g.objects.size(); ++i)
    if (g.objects[i].handle == h && visible(g.objects[i])) {
      g.objects.erase(g.objects.begin() + long(i));
      return CKR_OK;
    }
  return CKR_OBJECT_HANDLE_INVALID;
}

bool sensitive(const Object &o, CK_ATTRIBUTE_TYPE type) {
  return o.ulong(CKA_CLASS) == CKO_PRIVATE_KEY && o.flag(CKA_SENSITIVE) && type >= CKA_PRIVATE_EXPONENT &&
         type <= CKA_COEFFICIENT;
}

CK_RV get_attribute_value(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE h, CK_ATTRIBUTE *attrs, CK_ULONG count) {
  ENTER("C_GetAttributeValue");
  if (session_of(s) == nullptr) return CKR_SESSION_HANDLE_INVALID;
  Object *o = object_of(h);
  if (o == nullptr || !visible(*o)) return CKR_OBJECT_HANDLE_INVALID;
  CK_RV rv = CKR_OK;
  for (CK_ULONG i = 0; i < count; ++i) {
    CK_ATTRIBUTE &a = attrs[i];
    const CK_ULONG capacity = a.ulValueLen;
    const Bytes *v = o->find(a.type);
    if (v == nullptr || sensitive(*o, a.type)) {
      a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = v == nullptr ? CKR_ATTRIBUTE_TYPE_INVALID : CKR_ATTRIBUTE_SENSITIVE;
    } else if (a.pValue == nullptr) {
      a.ulValueLen = CK_ULONG(v->size());
    } else if (capacity < v->size()) {
      a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
      rv = CKR_BUFFER_TOO_SMALL;
    } else {
      if (!v->empty()) memcpy(a.pValue, v->data(), v->size());
      a.ulValueLen = CK_ULONG(v->size());
    }
    if (a.pValue != nullptr && g.failure == "long_attribute") a.ulValueLen = capacity + 1;
    if (g.failure == "unavailable_attribute") a.ulValueLen = CK_UNAVAILABLE_INFORMATION;
  }
  return rv;
}

CK_RV find_objects_init(CK_SESSION_HANDLE s, CK_ATTRIBUTE *attrs, CK_ULONG count) {
  ENTER("C_FindObjectsInit");
  Session *session = session_of(s);
  if (session == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (session->finding) return CKR_OPERATION_ACTIVE;
  session->found.clear();
  for (const Object &o : g.objects) {
    if (!visible(o)) continue;
    bool match = true;
    for (CK_ULONG i = 0; i < count && match; ++i) {
      const Bytes *v = o.find(attrs[i].type);
      const auto *p = static_cast<const uint8_t *>(attrs[i].pValue);
      match = v != nullptr && v->size() == attrs[i].ulValueLen && (v->empty() || memcmp(v->data(), p, v->size()) == 0);
    }
    if (match) session->found.push_back(o.handle);
  }
  session->finding = true;
  return CKR_OK;
}

CK_RV find_objects(CK_SESSION_HANDLE s, CK_OBJECT_HANDLE *out, CK_ULONG max, CK_ULONG *count) {
  ENTER("C_FindObjects");
  Session *session = session_of(s);
  if (session == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (!session->finding) return CKR_OPERATION_NOT_INITIALIZED;
  if (out == nullptr || count == nullptr) return CKR_ARGUMENTS_BAD;
  CK_ULONG n = 0;
  while (n < max && !session->found.empty()) {
    out[n++] = session->found.front();
    session->found.erase(session->found.begin());
  }
  *count = g.failure == "many_objects" ? max + 1 : n;
  return CKR_OK;
}

CK_RV find_objects_final(CK_SESSION_HANDLE s) {
  ENTER("C_FindObjectsFinal");
  Session *session = session_of(s);
  if (session == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (!session->finding) return CKR_OPERATION_NOT_INITIALIZED;
  session->finding = false;
  session->found.clear();
  return CKR_OK;
}

CK_RV operation_init(CK_SESSION_HANDLE s, CK_MECHANISM *mechanism, CK_OBJECT_HANDLE key, int operation) {
  Session *session = session_of(s);
  if (session == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (mechanism == nullptr || mechanism->mechanism != CKM_RSA_PKCS) return CKR_MECHANISM_INVALID;
  Object *o = object_of(key);
  if (o == nullptr || !visible(*o) || o->ulong(CKA_CLASS) != CKO_PRIVATE_KEY) return CKR_KEY_HANDLE_INVALID;
  if (!o->flag(operation == 1 ? CKA_SIGN : CKA_DECRYPT)) return CKR_KEY_FUNCTION_NOT_PERMITTED;
  if (session->operation != 0) return CKR_OPERATION_ACTIVE;
  session->operation = operation;
  session->key = key;
  return CKR_OK;
}

CK_RV sign_init(CK_SESSION_HANDLE s, CK_MECHANISM *m, CK_OBJECT_HANDLE key) {
  ENTER("C_SignInit");
  return operation_init(s, m, key, 1);
}

CK_RV decrypt_init(CK_SESSION_HANDLE s, CK_MECHANISM *m, CK_OBJECT_HANDLE key) {
  ENTER("C_DecryptInit");
  return operation_init(s, m, key, 2);
}

RSA_CTX *key_of(const Object &o) {
  const CK_ATTRIBUTE_TYPE parts[] = {CKA_MODULUS,  CKA_PUBLIC_EXPONENT, CKA_PRIVATE_EXPONENT, CKA_PRIME_1,
                                     CKA_PRIME_2, CKA_EXPONENT_1,      CKA_EXPONENT_2,       CKA_COEFFICIENT};
  const Bytes *v[8];
  for (int i = 0; i < 8; ++i)
    if ((v[i] = o.find(parts[i])) == nullptr) return nullptr;
  RSA_CTX *rsa = rsa_new();
  if (rsa != nullptr &&
      rsa_set_private_key(rsa, v[0]->data(), v[0]->size(), v[1]->data(), v[1]->size(), v[2]->data(), v[2]->size(),
                          v[3]->data(), v[3]->size(), v[4]->data(), v[4]->size(), v[5]->data(), v[5]->size(),
                          v[6]->data(), v[6]->size(), v[7]->data(), v[7]->size()) == 0) {
    rsa_free(rsa);
    rsa = nullptr;
  }
  return rsa;
}

// One-part sign or decrypt: the size query leaves the operation active, anything else ends it.
CK_RV run(CK_SESSION_HANDLE s, const CK_BYTE *data, CK_ULONG len, CK_BYTE *out, CK_ULONG *out_len, int operation) {
  Session *session = session_of(s);
  if (session == nullptr) return CKR_SESSION_HANDLE_INVALID;
  if (session->operation != operation) return CKR_OPERATION_NOT_INITIALIZED;
  if (out_len == nullptr || data == nullptr) return CKR_ARGUMENTS_BAD;
  Object *o = object_of(session->key);
  RSA_CTX *rsa = o != nullptr ? key_of(*o) : nullptr;
  if (rsa == nullptr) {
    session->operation = 0;
    return CKR_KEY_HANDLE_INVALID;
  }
  const CK_ULONG k = CK_ULONG(rsa_modulus_bytes(rsa));
  CK_RV rv = CKR_OK;
  if (out == nullptr) {
    *out_len = k;
    rsa_free(rsa);
    return CKR_OK;
  }
  const CK_ULONG capacity = *out_len;
  std::vector<uint8_t> buffer(k);
  int n = 0;
  if (operation == 1) {
    n = rsa_private_encrypt(k, rsa, data, len, sig_padding_by_id(SIG_SCHEME_PKCS1_RAW), buffer.data());
    if (n == 0) rv = CKR_DATA_LEN_RANGE;
  } else {
    n = rsa_private_decrypt(rsa, data, len, nullptr, buffer.data(), k);
    if (n == 0) rv = CKR_ENCRYPTED_DATA_INVALID;
  }
  rsa_free(rsa);
  if (rv == CKR_OK && capacity < CK_ULONG(n)) {
    *out_len = CK_ULONG(n);
    return CKR_BUFFER_TOO_SMALL;
  }
  session->operation = 0;
  if (rv != CKR_OK) return rv;
  memcpy(out, buffer.data(), size_t(n));
  *out_len = CK_ULONG(n);
  if (operation == 1 && g.failure == "long_signature") *out_len = capacity + 1;
  return CKR_OK;
}

CK_RV sign(CK_SESSION_HANDLE s, CK_BYTE *data, CK_ULONG len, CK_BYTE *out, CK_ULONG *out_len) {
  ENTER("C_Sign");
  return run(s, data, len, out, out_len, 1);
}

CK_RV decrypt(CK_SESSION_HANDLE s, CK_BYTE *data, CK_ULONG len, CK_BYTE *out, CK_ULONG *out_len) {
  ENTER("C_Decrypt");
  return run(s, data, len, out, out_len, 2);
}

CK_RV get_function_list(CK_FUNCTION_LIST **list);

CK_FUNCTION_LIST make_list() {
  CK_FUNCTION_LIST list;
  // Every entry first answers "not supported"; the token's own entries replace theirs.
  CK_C_Unused *slot = reinterpret_cast<CK_C_Unused *>(&list.C_Initialize);
  for (size_t i = 0; i < 68; ++i) slot[i] = unsupported;
  list.version = CK_VERSION{2, 20};
  list.C_Initialize = initialize;
  list.C_Finalize = finalize;
  list.C_GetFunctionList = get_function_list;
  list.C_GetSlotList = get_slot_list;
  list.C_GetTokenInfo = get_token_info;
  list.C_OpenSession = open_session;
  list.C_CloseSession = close_session;
  list.C_Login = login;
  list.C_Logout = logout;
  list.C_CreateObject = create_object;
  list.C_DestroyObject = destroy_object;
  list.C_GetAttributeValue = get_attribute_value;
  list.C_FindObjectsInit = find_objects_init;
  list.C_FindObjects = find_objects;
  list.C_FindObjectsFinal = find_objects_final;
  list.C_SignInit = sign_init;
  list.C_Sign = sign;
  list.C_DecryptInit = decrypt_init;
  list.C_Decrypt = decrypt;
  return list;
}

CK_FUNCTION_LIST g_list = make_list();

CK_RV get_function_list(CK_FUNCTION_LIST **list) {
  if (list == nullptr) return CKR_ARGUMENTS_BAD;
  *list = &g_list;
  return CKR_OK;
}

}  // namespace

V7_TEST_TOKEN_API CK_RV C_GetFunctionList(CK_FUNCTION_LIST **list) { return get_function_list(list); }

V7_TEST_TOKEN_API int V7TestToken_Inject(const char *failure) {
  std::lock_guard<std::mutex> hold(g.lock);
  g.failure = failure != nullptr ? failure : "";
  return 0;
}

V7_TEST_TOKEN_API unsigned V7TestToken_Log(char *out, unsigned capacity) {
  std::lock_guard<std::mutex> hold(g.lock);
  std::string text;
  for (const std::string &line : g.log) text += line + "\n";
  if (out != nullptr && capacity > 0) {
    size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    memcpy(out, text.data(), n);
    out[n] = '\0';
  }
  return unsigned(text.size());
}

V7_TEST_TOKEN_API void V7TestToken_Reset(const char *user_pin) {
  std::lock_guard<std::mutex> hold(g.lock);
  g.log.clear();
  g.objects.clear();
  g.failure.clear();
  g.wrong_pins = 0;
  g.pin = user_pin != nullptr ? user_pin : "1234";
}
