// A secure-disk module of our own, "npki_securedisk.dll", for the client's tests. Its slots are
// files in the folder the test names; a slot keeps its password, its remaining tries and the set
// imported into it. A slot whose imported key opens with the slot's password signs (raw PKCS#1
// v1.5 over the block given) and decrypts (PKCS#1 v1.5, with the key-management key when there is
// one) for real, through the toolkit's key-file objects; any other slot answers with a stand-in
// (the input with each byte changed by a fixed mask), enough to see that the client passes the
// data and the session through. Built with
// SD_TEST_MISSING_GETVERSION it lacks one export, so the client must refuse it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "media/securedisk/sd_interface.h"
#include "pki/keys/keyobj.h"
#include "pki/x509/algorithms.h"
#include "tests/modules/securedisk/sd_test_state.h"

namespace {

enum Entry {
  kInitialize, kFinalize, kLogin, kLogout, kImport, kExportToPKCS8, kExportToPKCS12, kSign, kDecrypt,
  kGetR, kGetDriveList, kGetSlotList, kGetCert, kGetDriveInfo, kSetDrive, kFindSlot, kMakeSlot,
  kRemoveSlot, kGetBackupedDriveList, kGetBackupedSlotList, kRestoreFromRemovable, kBackupToRemovable,
  kSetPIN, kSetMultiSlot, kSetTray, kGetMaxPinCount, kGetCurrentPinCount, kGetErrorMessage, kGetVersion,
};

SDTestState *g_state = nullptr;
bool g_started = false;
std::string g_message;
constexpr int kSessionBase = 1000;
constexpr int kMaxSlots = 64;
bool g_logged_in[kMaxSlots + 1];

using Bytes = std::vector<unsigned char>;

struct Slot {
  std::string password;
  int tries = kSdTestMaxPinCount;
  Bytes sign_cert, sign_key, km_cert, km_key;
};

// The common prologue of every entry point: the call log, then an injected failure if one is set.
bool enter(Entry e, int *rv) {
  if (g_state == nullptr) return true;
  LONG index = InterlockedIncrement(&g_state->call_count) - 1;
  if (index < SDTestState::kMaxCalls) g_state->calls[index] = e;
  if (g_state->fail_entry == e && g_state->fail_code != 0) {
    char text[64];
    snprintf(text, sizeof text, "injected failure %d", g_state->fail_code);
    g_message = text;
    *rv = g_state->fail_code;
    return false;
  }
  return true;
}

int failure(int code, const char *message) {
  g_message = message;
  return code;
}

int lie(Entry e) { return g_state != nullptr && g_state->lie_entry == e ? g_state->lie_by : 0; }

std::string slot_path(int slot) {
  char name[32];
  snprintf(name, sizeof name, "\\slot%d.dat", slot);
  return std::string(g_state != nullptr ? g_state->store : ".") + name;
}

void put_bytes(Bytes *out, const unsigned char *p, size_t n) {
  uint32_t len = uint32_t(n);
  out->insert(out->end(), reinterpret_cast<unsigned char *>(&len), reinterpret_cast<unsigned char *>(&len) + 4);
  out->insert(out->end(), p, p + n);
}

bool get_bytes(const Bytes &in, size_t *at, Bytes *out) {
  if (in.size() - *at < 4) return false;
  uint32_t len;
  std::memcpy(&len, in.data() + *at, 4);
  *at += 4;
  if (in.size() - *at < len) return false;
  out->assign(in.begin() + long(*at), in.begin() + long(*at + len));
  *at += len;
  return true;
}

bool read_slot(int slot, Slot *out) {
  if (slot <= 0 || slot > kMaxSlots) return false;
  FILE *f = fopen(slot_path(slot).c_str(), "rb");
  if (f == nullptr) return false;
  Bytes all;
  unsigned char chunk[4096];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) all.insert(all.end(), chunk, chunk + n);
  fclose(f);
  size_t at = 0;
  Bytes password, tries;
  if (!get_bytes(all, &at, &password) || !get_bytes(all, &at, &tries) || tries.size() != 1) return false;
  out->password.assign(password.begin(), password.end());
  out->tries = tries[0];
  return get_bytes(all, &at, &out->sign_cert) && get_bytes(all, &at, &out->sign_key) &&
         get_bytes(all, &at, &out->km_cert) && get_bytes(all, &at, &out->km_key);
}

bool write_slot(int slot, const Slot &s) {
  Bytes all;
  put_bytes(&all, reinterpret_cast<const unsigned char *>(s.password.data()), s.password.size());
  unsigned char tries = static_cast<unsigned char>(s.tries);
  put_bytes(&all, &tries, 1);
  put_bytes(&all, s.sign_cert.data(), s.sign_cert.size());
  put_bytes(&all, s.sign_key.data(), s.sign_key.size());
  put_bytes(&all, s.km_cert.data(), s.km_cert.size());
  put_bytes(&all, s.km_key.data(), s.km_key.size());
  FILE *f = fopen(slot_path(slot).c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = fwrite(all.data(), 1, all.size(), f) == all.size();
  return fclose(f) == 0 && ok;
}

// One DER element at p: its whole size and where its contents start; false past the end.
bool element(const unsigned char *p, size_t avail, size_t *header, size_t *whole) {
  if (avail < 2) return false;
  size_t len = p[1], h = 2;
  if (len & 0x80) {
    size_t n = len & 0x7F;
    if (n == 0 || n > 3 || avail < 2 + n) return false;
    len = 0;
    for (size_t i = 0; i < n; ++i) len = len << 8 | p[2 + i];
    h += n;
  }
  if (avail - h < len) return false;
  *header = h;
  *whole = h + len;
  return true;
}

// The subject Name of a certificate, as the DER it holds.
Bytes subject_of(const Bytes &cert) {
  size_t h, w;
  if (cert.empty() || !element(cert.data(), cert.size(), &h, &w)) return {};
  const unsigned char *tbs = cert.data() + h;
  size_t avail = w - h;
  if (!element(tbs, avail, &h, &w)) return {};
  const unsigned char *p = tbs + h;
  const unsigned char *end = tbs + w;
  if (p < end && *p == 0xA0) {  // version
    if (!element(p, size_t(end - p), &h, &w)) return {};
    p += w;
  }
  for (int skip = 0; skip < 4; ++skip) {  // serial, signature, issuer, validity
    if (!element(p, size_t(end - p), &h, &w)) return {};
    p += w;
  }
  if (!element(p, size_t(end - p), &h, &w)) return {};
  return Bytes(p, p + w);
}

int session_slot(int session) {
  int slot = session - kSessionBase;
  return slot > 0 && slot <= kMaxSlots && g_logged_in[slot] ? slot : 0;
}

// Writes the bytes under the size-query protocol.
int give(Entry e, const Bytes &data, unsigned char *out, int *len) {
  if (len == nullptr) return failure(kSdTestBadArgument, "no length");
  if (out == nullptr) {
    *len = int(data.size());
    return 0;
  }
  if (*len < int(data.size())) return failure(kSdTestBufferTooSmall, "buffer too small");
  std::memcpy(out, data.data(), data.size());
  *len = lie(e) != 0 ? *len + lie(e) : int(data.size());
  return 0;
}

Bytes masked(const unsigned char *data, int len, unsigned char mask) {
  Bytes out(data, data + len);
  for (unsigned char &b : out) b ^= mask;
  return out;
}

// Runs the slot's key for real when it opens with the slot's password: 1 done (rv set), 0 when
// the key is not a key file of that password.
int real_key_op(int slot, bool sign, const unsigned char *data, int data_len, unsigned char *out, int *out_len,
                int *rv) {
  Slot s;
  if (!read_slot(slot, &s)) return 0;
  const Bytes &key = !sign && !s.km_key.empty() ? s.km_key : s.sign_key;
  if (key.empty()) return 0;
  PRIVATE_KEY_CTX *ctx = keyobj_new_type1();
  if (ctx == nullptr) return 0;
  KEY_CREDENTIAL credential = {KEY_CREDENTIAL_PASSWORD, KEY_CREDENTIAL_PASSWORD, s.password.c_str()};
  if (keyobj_set_key(ctx, key.data(), key.size(), KEYOBJ_FORMAT_DEFAULT, &credential) != 0) {
    keyobj_delete(ctx);
    return 0;
  }
  uint8_t *result = nullptr;
  size_t result_len = 0;
  const int scheme = SIG_SCHEME_PKCS1_RAW;
  int code = sign ? keyobj_sign(ctx, data, size_t(data_len), &result, &result_len, KEYOBJ_FORMAT_DEFAULT, &scheme)
                  : keyobj_decrypt(ctx, data, size_t(data_len), &result, &result_len, 0, nullptr);
  if (code != 0) {
    *rv = failure(kSdTestBadArgument, sign ? "signing failed" : "decryption failed");
  } else {
    *rv = give(sign ? kSign : kDecrypt, Bytes(result, result + result_len), out, out_len);
  }
  keyobj_free_buffer(ctx, result, result_len);
  keyobj_delete(ctx);
  return 1;
}

}  // namespace

extern "C" {

#define SD_ENTER(e)          \
  do {                       \
    int injected_ = 0;       \
    if (!enter(e, &injected_)) return injected_; \
  } while (0)

__declspec(dllexport) int SD_CALL SD_Initialize(int) {
  SD_ENTER(kInitialize);
  if (g_state != nullptr && g_state->initialize_answer != 0) return g_state->initialize_answer;
  if (g_started) return kSdAlreadyInitialized;
  g_started = true;
  return 0;
}

__declspec(dllexport) int SD_CALL SD_Finalize(void) {
  SD_ENTER(kFinalize);
  g_started = false;
  return 0;
}

__declspec(dllexport) int SD_CALL SD_Login(int slot, const char *password, int password_len, int *session) {
  SD_ENTER(kLogin);
  if (password == nullptr || password_len <= 0 || session == nullptr) return failure(kSdTestBadArgument, "bad login");
  Slot s;
  if (!read_slot(slot, &s)) return failure(kSdTestNoSuchSlot, "no such slot");
  if (s.tries <= 0) return failure(kSdTestLocked, "slot locked");
  if (s.password != std::string(password, size_t(password_len))) {
    --s.tries;
    write_slot(slot, s);
    // A Korean text, so that the client's EUC-KR form can be checked: "비밀번호 오류".
    return failure(kSdTestWrongPassword, "\xEB\xB9\x84\xEB\xB0\x80\xEB\xB2\x88\xED\x98\xB8 \xEC\x98\xA4\xEB\xA5\x98");
  }
  s.tries = kSdTestMaxPinCount;
  write_slot(slot, s);
  g_logged_in[slot] = true;
  *session = kSessionBase + slot;
  return 0;
}

__declspec(dllexport) int SD_CALL SD_Logout(int session) {
  SD_ENTER(kLogout);
  int slot = session_slot(session);
  if (slot == 0) return failure(kSdTestBadSession, "bad session");
  g_logged_in[slot] = false;
  return 0;
}

__declspec(dllexport) int SD_CALL SD_Import(int session, const char *, int, const unsigned char *sign_cert,
                                            int sign_cert_len, const unsigned char *sign_key, int sign_key_len,
                                            const unsigned char *km_cert, int km_cert_len,
                                            const unsigned char *km_key, int km_key_len) {
  SD_ENTER(kImport);
  int slot = session_slot(session);
  Slot s;
  if (slot == 0 || !read_slot(slot, &s)) return failure(kSdTestBadSession, "bad session");
  if (sign_cert != nullptr) s.sign_cert.assign(sign_cert, sign_cert + sign_cert_len);
  if (sign_key != nullptr) s.sign_key.assign(sign_key, sign_key + sign_key_len);
  if (km_cert != nullptr) s.km_cert.assign(km_cert, km_cert + km_cert_len);
  if (km_key != nullptr) s.km_key.assign(km_key, km_key + km_key_len);
  if (!write_slot(slot, s)) return failure(kSdTestStore, "cannot write the slot");
  return 0;
}

__declspec(dllexport) int SD_CALL SD_ExportToPKCS8(int session, const char *password, int password_len,
                                                   unsigned char *buf1, int *len1, unsigned char *buf2, int *len2,
                                                   unsigned char *buf3, int *len3, unsigned char *buf4, int *len4) {
  SD_ENTER(kExportToPKCS8);
  int slot = session_slot(session);
  Slot s;
  if (slot == 0 || !read_slot(slot, &s)) return failure(kSdTestBadSession, "bad session");
  if (password == nullptr || s.password != std::string(password, size_t(password_len)))
    return failure(kSdTestWrongPassword, "wrong password");
  int rv;
  if ((rv = give(kExportToPKCS8, s.sign_cert, buf1, len1)) != 0) return rv;
  if ((rv = give(kExportToPKCS8, s.sign_key, buf2, len2)) != 0) return rv;
  if ((rv = give(kExportToPKCS8, s.km_cert, buf3, len3)) != 0) return rv;
  return give(kExportToPKCS8, s.km_key, buf4, len4);
}

__declspec(dllexport) int SD_CALL SD_ExportToPKCS12(int, const char *, int, unsigned char *, int *) {
  SD_ENTER(kExportToPKCS12);
  return failure(kSdTestNotSupported, "not supported");
}

__declspec(dllexport) int SD_CALL SD_Sign(int session, int *mode, const unsigned char *data, int data_len,
                                          unsigned char *out, int *out_len) {
  SD_ENTER(kSign);
  if (session_slot(session) == 0) return failure(kSdTestBadSession, "bad session");
  if (mode == nullptr || data == nullptr || data_len <= 0) return failure(kSdTestBadArgument, "bad data");
  if (g_state != nullptr) g_state->last_mode = *mode;
  int rv = 0;
  if (real_key_op(session_slot(session), true, data, data_len, out, out_len, &rv)) return rv;
  return give(kSign, masked(data, data_len, 0x5A), out, out_len);
}

__declspec(dllexport) int SD_CALL SD_Decrypt(int session, int *mode, const unsigned char *data, int data_len,
                                             unsigned char *out, int *out_len) {
  SD_ENTER(kDecrypt);
  if (session_slot(session) == 0) return failure(kSdTestBadSession, "bad session");
  if (mode == nullptr || data == nullptr || data_len <= 0) return failure(kSdTestBadArgument, "bad data");
  if (g_state != nullptr) g_state->last_mode = *mode;
  int rv = 0;
  if (real_key_op(session_slot(session), false, data, data_len, out, out_len, &rv)) return rv;
  return give(kDecrypt, masked(data, data_len, 0x3C), out, out_len);
}

__declspec(dllexport) int SD_CALL SD_GetR(int session, unsigned char *out, int *out_len) {
  SD_ENTER(kGetR);
  int slot = session_slot(session);
  if (slot == 0) return failure(kSdTestBadSession, "bad session");
  Bytes r(20);
  for (size_t i = 0; i < r.size(); ++i) r[i] = static_cast<unsigned char>(slot * 16 + int(i));
  return give(kGetR, r, out, out_len);
}

__declspec(dllexport) int SD_CALL SD_GetDriveList(char *, int *) {
  SD_ENTER(kGetDriveList);
  return failure(kSdTestNotSupported, "not supported");
}

__declspec(dllexport) int SD_CALL SD_GetSlotList(int *slots, int *count) {
  SD_ENTER(kGetSlotList);
  if (count == nullptr) return failure(kSdTestBadArgument, "no count");
  std::vector<int> ids;
  Slot s;
  for (int slot = 1; slot <= kMaxSlots; ++slot)
    if (read_slot(slot, &s)) ids.push_back(slot);
  if (slots == nullptr) {
    *count = int(ids.size());
    return 0;
  }
  if (*count < int(ids.size())) return failure(kSdTestBufferTooSmall, "buffer too small");
  for (size_t i = 0; i < ids.size(); ++i) slots[i] = ids[i];
  *count = lie(kGetSlotList) != 0 ? *count + lie(kGetSlotList) : int(ids.size());
  return 0;
}

__declspec(dllexport) int SD_CALL SD_GetCert(int slot, unsigned char *out, int *out_len, int km) {
  SD_ENTER(kGetCert);
  Slot s;
  if (!read_slot(slot, &s)) return failure(kSdTestNoSuchSlot, "no such slot");
  return give(kGetCert, km ? s.km_cert : s.sign_cert, out, out_len);
}

__declspec(dllexport) int SD_CALL SD_GetDriveInfo(const char *, int, char *, int *) {
  SD_ENTER(kGetDriveInfo);
  return failure(kSdTestNotSupported, "not supported");
}

__declspec(dllexport) int SD_CALL SD_SetDrive(const char *drive, int drive_len) {
  SD_ENTER(kSetDrive);
  if (drive == nullptr || drive_len != 1) return failure(kSdTestBadArgument, "bad drive");
  if (g_state != nullptr) snprintf(g_state->last_drive, sizeof g_state->last_drive, "%.*s", drive_len, drive);
  return 0;
}

__declspec(dllexport) int SD_CALL SD_FindSlot(const unsigned char *subject, int subject_len, int *slot) {
  SD_ENTER(kFindSlot);
  if (subject == nullptr || subject_len <= 0 || slot == nullptr) return failure(kSdTestBadArgument, "bad subject");
  *slot = 0;
  Bytes wanted(subject, subject + subject_len);
  Slot s;
  for (int id = 1; id <= kMaxSlots; ++id) {
    if (!read_slot(id, &s)) continue;
    if (subject_of(s.sign_cert) == wanted || subject_of(s.km_cert) == wanted) {
      *slot = id;
      return 0;
    }
  }
  return 0;
}

__declspec(dllexport) int SD_CALL SD_MakeSlot(const char *drive, int drive_len, const char *password,
                                              int password_len, int *slot) {
  SD_ENTER(kMakeSlot);
  if (drive == nullptr || drive_len != 1 || password == nullptr || password_len <= 0 || slot == nullptr)
    return failure(kSdTestBadArgument, "bad slot arguments");
  if (g_state != nullptr) snprintf(g_state->last_drive, sizeof g_state->last_drive, "%.*s", drive_len, drive);
  Slot s;
  for (int id = 1; id <= kMaxSlots; ++id) {
    if (read_slot(id, &s)) continue;
    Slot fresh;
    fresh.password.assign(password, size_t(password_len));
    if (!write_slot(id, fresh)) return failure(kSdTestStore, "cannot write the slot");
    *slot = id;
    return 0;
  }
  return failure(kSdTestStore, "no free slot");
}

__declspec(dllexport) int SD_CALL SD_RemoveSlot(int slot) {
  SD_ENTER(kRemoveSlot);
  Slot s;
  if (!read_slot(slot, &s)) return failure(kSdTestNoSuchSlot, "no such slot");
  if (!DeleteFileA(slot_path(slot).c_str())) return failure(kSdTestStore, "cannot remove the slot");
  g_logged_in[slot] = false;
  return 0;
}

__declspec(dllexport) int SD_CALL SD_GetBackupedDriveList(char *, int *) {
  SD_ENTER(kGetBackupedDriveList);
  return failure(kSdTestNotSupported, "not supported");
}

__declspec(dllexport) int SD_CALL SD_GetBackupedSlotList(const char *, int, int *, int *) {
  SD_ENTER(kGetBackupedSlotList);
  return failure(kSdTestNotSupported, "not supported");
}

__declspec(dllexport) int SD_CALL SD_RestoreFromRemovable(const char *, int, int) {
  SD_ENTER(kRestoreFromRemovable);
  return failure(kSdTestNotSupported, "not supported");
}

__declspec(dllexport) int SD_CALL SD_BackupToRemovable(const char *, int, int) {
  SD_ENTER(kBackupToRemovable);
  return failure(kSdTestNotSupported, "not supported");
}

__declspec(dllexport) int SD_CALL SD_SetPIN(int, const char *, int, const char *, int) {
  SD_ENTER(kSetPIN);
  return failure(kSdTestNotSupported, "not supported");
}

__declspec(dllexport) int SD_CALL SD_SetMultiSlot(int multi) {
  SD_ENTER(kSetMultiSlot);
  return multi == 1 ? 0 : failure(kSdTestBadArgument, "single slot");
}

__declspec(dllexport) int SD_CALL SD_SetTray(int) {
  SD_ENTER(kSetTray);
  return 0;
}

__declspec(dllexport) int SD_CALL SD_GetMaxPinCount(int, int *count) {
  SD_ENTER(kGetMaxPinCount);
  if (count == nullptr) return failure(kSdTestBadArgument, "no count");
  *count = kSdTestMaxPinCount;
  return 0;
}

__declspec(dllexport) int SD_CALL SD_GetCurrentPinCount(int slot, int *count) {
  SD_ENTER(kGetCurrentPinCount);
  Slot s;
  if (count == nullptr) return failure(kSdTestBadArgument, "no count");
  if (!read_slot(slot, &s)) return failure(kSdTestNoSuchSlot, "no such slot");
  *count = s.tries;
  return 0;
}

// Not logged: the client asks for the message after every failure.
__declspec(dllexport) int SD_CALL SD_GetErrorMessage(char *out, int *out_len) {
  if (out_len == nullptr) return kSdTestBadArgument;
  int n = int(g_message.size());
  if (out == nullptr) {
    *out_len = n;
    return 0;
  }
  if (*out_len < n) return kSdTestBufferTooSmall;
  std::memcpy(out, g_message.data(), size_t(n));
  *out_len = lie(kGetErrorMessage) != 0 ? *out_len + lie(kGetErrorMessage) : n;
  return 0;
}

#ifndef SD_TEST_MISSING_GETVERSION
__declspec(dllexport) int SD_CALL SD_GetVersion(unsigned char *out) {
  SD_ENTER(kGetVersion);
  if (out == nullptr) return failure(kSdTestBadArgument, "no buffer");
  std::memset(out, 0, kSdVersionBufferSize);
  if (g_state != nullptr) std::memcpy(out, g_state->version, 3);
  return 0;
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    char address[32] = {};
    DWORD n = GetEnvironmentVariableA(SD_TEST_STATE_VARIABLE, address, sizeof address);
    if (n > 0 && n < sizeof address) {
      g_state = reinterpret_cast<SDTestState *>(uintptr_t(strtoull(address, nullptr, 16)));
      InterlockedIncrement(&g_state->loads);
    }
  } else if (reason == DLL_PROCESS_DETACH) {
    if (g_state != nullptr) InterlockedIncrement(&g_state->unloads);
  }
  return TRUE;
}

}  // extern "C"
