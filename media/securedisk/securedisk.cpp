// Loading, binding and the calls of the secure-disk module.
#include "media/securedisk/securedisk.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "media/securedisk/internal.h"
#include "media/securedisk/module_signature.h"
#include "pki/errors/error_ctx.h"
#include "pki/text/codepage.h"
#include "platform/errors/errno_util.h"
#include "platform/fs/fs.h"
#include "platform/locale/process_words.h"
#include "platform/module/module.h"

using namespace v7;

const char *const kSdEntryPointNames[kSdEntryPointCount] = {"SD_Initialize",
                                                            "SD_Finalize",
                                                            "SD_Login",
                                                            "SD_Logout",
                                                            "SD_Import",
                                                            "SD_ExportToPKCS8",
                                                            "SD_ExportToPKCS12",
                                                            "SD_Sign",
                                                            "SD_Decrypt",
                                                            "SD_GetR",
                                                            "SD_GetDriveList",
                                                            "SD_GetSlotList",
                                                            "SD_GetCert",
                                                            "SD_GetDriveInfo",
                                                            "SD_SetDrive",
                                                            "SD_FindSlot",
                                                            "SD_MakeSlot",
                                                            "SD_RemoveSlot",
                                                            "SD_GetBackupedDriveList",
                                                            "SD_GetBackupedSlotList",
                                                            "SD_RestoreFromRemovable",
                                                            "SD_BackupToRemovable",
                                                            "SD_SetPIN",
                                                            "SD_SetMultiSlot",
                                                            "SD_SetTray",
                                                            "SD_GetMaxPinCount",
                                                            "SD_GetCurrentPinCount",
                                                            "SD_GetErrorMessage",
                                                            "SD_GetVersion"};

namespace sdi {

void drop_error(SecureDiskHandle *h) {
  free(h->error_text);
  free(h->error_text_euckr);
  h->error_text = nullptr;
  h->error_text_euckr = nullptr;
}

// The module's message for its last failure; a module that has none, or answers with a length
// beyond what it was given, leaves no text.
void cache_error(SecureDiskHandle *h) {
  drop_error(h);
  int len = 0;
  if (h->functions->SD_GetErrorMessage(nullptr, &len) != 0 || len <= 0 || len > kMaxModuleLength) return;
  char *text = static_cast<char *>(calloc(size_t(len) + 1, 1));
  if (text == nullptr) return;
  int filled = len;
  if (h->functions->SD_GetErrorMessage(text, &filled) != 0 || filled < 0 || filled > len) {
    free(text);
    return;
  }
  text[filled] = '\0';
  h->error_text = text;
  char *euckr = nullptr;
  if (utf8_to_euckr(text, &euckr) > 0) h->error_text_euckr = euckr;
}

int module_fail(SecureDiskHandle *h, int rv) {
  cache_error(h);
  return with_errno(rv + kSdCodeOffset, rv + kSdCodeOffset);
}

int check(SecureDiskHandle *h) {
  if (h == nullptr) return with_errno(kErrSdNullHandle, kErrSdNullHandle);
  if (h->magic != kSdHandleMagic) return with_errno(kErrSdNotHandle, kErrSdNotHandle);
  drop_error(h);
  return 0;
}

int size_query_call(SecureDiskHandle *h, const SizedCall &call, uint8_t **out, size_t *out_len, bool secret) {
  if (out == nullptr || out_len == nullptr) return fail(kErrInvalidParameter);
  *out = nullptr;
  *out_len = 0;
  int len = 0;
  int rv = call(nullptr, &len);
  if (rv != 0) return module_fail(h, rv);
  if (len < 0 || len > kMaxModuleLength) return fail(kErrInvalidMemoryAccess);
  if (len == 0) return done();
  uint8_t *buffer = static_cast<uint8_t *>(malloc(size_t(len)));
  if (buffer == nullptr) return fail(kErrOutOfMemory);
  int filled = len;
  rv = call(buffer, &filled);
  if (rv != 0 || filled < 0 || filled > len) {
    if (secret) secure_wipe(buffer, size_t(len));
    free(buffer);
    return rv != 0 ? module_fail(h, rv) : fail(kErrInvalidMemoryAccess);
  }
  *out = buffer;
  *out_len = size_t(filled);
  return done();
}

}  // namespace sdi

using namespace sdi;

int sd_module_path(const char *folder, char *out, size_t capacity) {
  if (folder == nullptr || out == nullptr || capacity == 0) return fail(kErrInvalidParameter);
  size_t n = strlen(folder);
  // The folder, a separator and the file name must fit the handle's path.
  if (n < 1 || n > kSdPathCapacity - 21) return fail(kErrSdSystemFolder);
  int written = snprintf(out, capacity, "%s\\%s", folder, SD_MODULE_FILE_NAME);
  if (written < 0 || size_t(written) >= capacity) return fail(kErrSdSystemFolder);
  return done();
}

namespace {

void handle_free(SecureDiskHandle *h) {
  if (h->module != nullptr) module_close(h->module);
  free(h->functions);
  drop_error(h);
  free(h->backup_drive);
  h->magic = 0;
  free(h);
}

int load_path(const char *path, SecureDiskHandle **out) {
  auto *h = static_cast<SecureDiskHandle *>(calloc(1, sizeof(SecureDiskHandle)));
  if (h == nullptr) return fail(kErrOutOfMemory);
  snprintf(h->path, sizeof h->path, "%s", path);
  h->functions = static_cast<SecureDiskFunctionTable *>(calloc(1, sizeof(SecureDiskFunctionTable)));
  if (h->functions == nullptr) {
    free(h);
    return fail(kErrOutOfMemory);
  }
  h->module = module_load(path);
  if (h->module == nullptr) {
    handle_free(h);
    return fail(kErrModuleLoad);
  }
  // The table's members are function pointers in export order, so it is filled as an array.
  void **slots = reinterpret_cast<void **>(h->functions);
  for (int i = 0; i < kSdEntryPointCount; ++i) {
    slots[i] = module_symbol(h->module, kSdEntryPointNames[i]);
    if (slots[i] == nullptr) {
      handle_free(h);
      return fail(kErrModuleNoSymbol);
    }
  }
  // The drive the module keeps its slots on: the one the module file lies on.
  h->drive[0] = path[0];
  h->drive[1] = '\0';
  h->magic = kSdHandleMagic;
  h->media_code = kSdMediaCode;
  h->refs = 1;
  *out = h;
  return done();
}

}  // namespace

static_assert(sizeof(SecureDiskFunctionTable) == kSdEntryPointCount * sizeof(void *),
              "the table is filled as an array of its entry points");

// The binding without the check, for the binding's own tests: declared only where they look.
int sd_module_load_from(const char *folder, SecureDiskHandle **out) {
  if (out == nullptr) return fail(kErrInternal);
  *out = nullptr;
  char path[kSdPathCapacity];
  if (sd_module_path(folder, path, sizeof path) != 0) return errno;
  return load_path(path, out);
}

namespace {
char g_module_folder[kSdPathCapacity];
}

void sd_set_module_folder(const char *folder) {
  snprintf(g_module_folder, sizeof g_module_folder, "%s", folder != nullptr ? folder : "");
}

int sd_module_load_verified(ERROR_CTX *ctx, const char *folder, int check_signer, SecureDiskHandle **out) {
  if (out == nullptr) return fail(kErrInternal);
  *out = nullptr;
  char path[kSdPathCapacity];
  if (sd_module_path(folder, path, sizeof path) != 0) return errno;
  // Nobody may replace the file between its check and its load.
  FileWriteHold hold;
  if (!hold.acquire(path)) return fail(kErrModuleLoad);
  int rc = sd_verify_module_file(ctx, path, check_signer);
  if (rc != 0) return with_errno(rc, rc);
  return load_path(path, out);
}

int sd_module_load_checked(ERROR_CTX *ctx, int check_signer, SecureDiskHandle **out) {
  if (out == nullptr) return fail(kErrInternal);
  *out = nullptr;
  if (g_module_folder[0] != '\0') return sd_module_load_verified(ctx, g_module_folder, check_signer, out);
  char folder[kSdPathCapacity] = {};
  if (!platform_fs_system_folder_a(folder, sizeof folder)) return fail(kErrSdSystemFolder);
  return sd_module_load_verified(ctx, folder, check_signer, out);
}

int sd_module_load(SecureDiskHandle **out) {
  // The check's pushed nodes have no reader here: its code tells the caller.
  ERROR_CTX ctx = {};
  const int rc = sd_module_load_checked(&ctx, 0, out);
  err_ctx_clear(&ctx);
  return with_errno(rc, rc);
}

SecureDiskHandle *sd_handle_addref(SecureDiskHandle *h) {
  if (h == nullptr || h->magic != kSdHandleMagic || h->refs == 0 || h->refs == -1) return nullptr;
  ++h->refs;
  return h;
}

void sd_handle_release(SecureDiskHandle *h) {
  if (h == nullptr || h->magic != kSdHandleMagic || h->refs <= 0) return;
  if (--h->refs == 0) handle_free(h);
}

int sd_open(SecureDiskHandle *h) {
  if (check(h) != 0) return errno;
  int rv = h->functions->SD_Initialize(0);
  if (rv != 0 && rv != kSdAlreadyInitialized) return module_fail(h, rv);
  rv = h->functions->SD_SetMultiSlot(1);
  if (rv != 0) return module_fail(h, rv);
  rv = h->functions->SD_SetDrive(h->drive, int(strlen(h->drive)));
  if (rv != 0) return module_fail(h, rv);
  return done();
}

const char *sd_last_error_text(SecureDiskHandle *h) {
  if (h == nullptr || h->magic != kSdHandleMagic) return nullptr;
  return char_encoding_is_utf8() ? h->error_text : h->error_text_euckr;
}

int sd_get_slot_list(SecureDiskHandle *h, int **out_slots, int *out_count) {
  if (check(h) != 0) return errno;
  if (out_slots == nullptr || out_count == nullptr) return fail(kErrInvalidParameter);
  *out_slots = nullptr;
  *out_count = 0;
  int count = 0;
  int rv = h->functions->SD_GetSlotList(nullptr, &count);
  if (rv != 0) return module_fail(h, rv);
  if (count < 0 || count > kMaxSlots) return fail(kErrInvalidMemoryAccess);
  if (count == 0) return done();
  int *slots = static_cast<int *>(calloc(size_t(count), sizeof(int)));
  if (slots == nullptr) return fail(kErrOutOfMemory);
  int filled = count;
  rv = h->functions->SD_GetSlotList(slots, &filled);
  if (rv != 0 || filled < 0 || filled > count) {
    free(slots);
    return rv != 0 ? module_fail(h, rv) : fail(kErrInvalidMemoryAccess);
  }
  if (filled == 0) {
    free(slots);
    return done();
  }
  *out_slots = slots;
  *out_count = filled;
  return done();
}

int sd_get_cert(SecureDiskHandle *h, int slot, int part, uint8_t **out, size_t *out_len) {
  if (check(h) != 0) return errno;
  int km = part == 3 ? 1 : 0;
  return size_query_call(
      h, [&](uint8_t *buf, int *len) { return h->functions->SD_GetCert(slot, buf, len, km); }, out, out_len,
      false);
}

int sd_login(SecureDiskHandle *h, int slot, const char *password) {
  if (check(h) != 0) return errno;
  if (password == nullptr || password[0] == '\0') return fail(kErrInvalidParameter);
  int session = 0;
  int rv = h->functions->SD_Login(slot, password, int(strlen(password)), &session);
  if (rv != 0) return module_fail(h, rv);
  h->login_slot = slot;
  h->session = session;
  h->logged_in = 1;
  return done();
}

int sd_require_login(SecureDiskHandle *h) {
  if (check(h) != 0) return errno;
  return h->logged_in ? done() : fail(kErrSdLoginRequired);
}

int sd_check_login_slot(SecureDiskHandle *h, int slot) {
  if (check(h) != 0) return errno;
  if (!h->logged_in || h->session == 0) return fail(kErrInternal);
  return h->login_slot == slot ? done() : fail(kErrSdLoginRequired);
}

int sd_sign(SecureDiskHandle *h, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len) {
  if (sd_require_login(h) != 0) return errno;
  if (data == nullptr || length == 0 || length > size_t(kMaxModuleLength)) return fail(kErrInvalidParameter);
  int mode = 1;
  return size_query_call(
      h,
      [&](uint8_t *buf, int *len) {
        mode = 1;
        return h->functions->SD_Sign(h->session, &mode, data, int(length), buf, len);
      },
      out, out_len, false);
}

int sd_decrypt(SecureDiskHandle *h, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len) {
  if (sd_require_login(h) != 0) return errno;
  if (data == nullptr || length == 0 || length > size_t(kMaxModuleLength)) return fail(kErrInvalidParameter);
  int mode = 1;
  return size_query_call(
      h,
      [&](uint8_t *buf, int *len) {
        mode = 1;
        return h->functions->SD_Decrypt(h->session, &mode, data, int(length), buf, len);
      },
      out, out_len, true);
}

int sd_get_r(SecureDiskHandle *h, uint8_t **out, size_t *out_len) {
  if (sd_require_login(h) != 0) return errno;
  return size_query_call(
      h, [&](uint8_t *buf, int *len) { return h->functions->SD_GetR(h->session, buf, len); }, out, out_len,
      true);
}

int sd_get_current_pin_count(SecureDiskHandle *h, int slot, int *out_count) {
  if (check(h) != 0) return errno;
  if (out_count == nullptr) return fail(kErrInvalidParameter);
  int rv = h->functions->SD_GetCurrentPinCount(slot, out_count);
  if (rv != 0) return module_fail(h, rv);
  return done();
}

int sd_get_version_text(SecureDiskHandle *h, char **out_text) {
  if (check(h) != 0) return errno;
  if (out_text == nullptr) return fail(kErrInvalidParameter);
  *out_text = nullptr;
  unsigned char version[kSdVersionBufferSize] = {};
  int rv = h->functions->SD_GetVersion(version);
  if (rv != 0) return module_fail(h, rv);
  char *text = static_cast<char *>(malloc(16));
  if (text == nullptr) return fail(kErrOutOfMemory);
  snprintf(text, 16, "%d,%d,%d", version[0], version[1], version[2]);
  *out_text = text;
  return done();
}

int sd_verify_module_signature(ERROR_CTX *ctx, SecureDiskHandle *h, int check_signer) {
  if (check(h) != 0) return errno;
  int rc = sd_verify_module_file(ctx, h->path, check_signer);
  return with_errno(rc, rc);
}
