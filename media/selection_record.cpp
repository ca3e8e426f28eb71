#include "media/selection_record.h"

#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "media/certlist.h"
#include "media/securedisk/securedisk.h"
#include "media/token/p11.h"
#include "pki/keys/keyobj.h"
#include "pki/errors/error_ctx.h"

namespace {

// The whole buffer, not the text's length: a longer earlier text would otherwise leave its tail.
void wipe_free_secret(char **slot) {
  if (*slot == nullptr) return;
  v7::secure_wipe(*slot, kSecretTextCapacity);
  free(*slot);
  *slot = nullptr;
}

int invalid() { return v7::with_errno(v7::kErrInvalidParameter, int(v7::kErrInvalidParameter)); }

int set_secret(char **slot, const char *text) {
  size_t len = text != nullptr ? strnlen(text, kSecretTextCapacity) : kSecretTextCapacity;
  if (len >= kSecretTextCapacity) return invalid();
  wipe_free_secret(slot);
  char *copy = static_cast<char *>(calloc(1, kSecretTextCapacity));
  if (copy == nullptr) return v7::with_errno(v7::kErrOutOfMemory, int(v7::kErrOutOfMemory));
  memcpy(copy, text, len);
  *slot = copy;
  return 0;
}

void wipe_free_bytes(CertSelectBytes *b) {
  if (b->data != nullptr) {
    v7::secure_wipe(b->data, b->length);
    free(b->data);
  }
  b->data = nullptr;
  b->length = 0;
}

}  // namespace

CERT_ENTRY *CertListGetSelected(const CertListRecord *record) {
  if (record == nullptr) return v7::with_errno(v7::kErrInvalidParameter, static_cast<CERT_ENTRY *>(nullptr));
  return record->chosen;
}

const char *CertListGetPassword(const CertListRecord *record) {
  if (record == nullptr) return v7::with_errno(v7::kErrInvalidParameter, static_cast<const char *>(nullptr));
  return record->password;
}

const char *CertListGetPin(const CertListRecord *record) {
  if (record == nullptr) return v7::with_errno(v7::kErrInvalidParameter, static_cast<const char *>(nullptr));
  return record->pin;
}

SecureDiskHandle *CertListGetSecureDisk(const CertListRecord *record) {
  if (record == nullptr)
    return v7::with_errno(v7::kErrInvalidParameter, static_cast<SecureDiskHandle *>(nullptr));
  return record->secure_disk;
}

const char *CertListGetTokenModule(const CertListRecord *record) {
  if (record == nullptr || record->list == nullptr || record->list->media_code != kMediumToken)
    return v7::with_errno(v7::kErrInvalidParameter, static_cast<const char *>(nullptr));
  return static_cast<const char *>(record->list->medium_data);
}

int CertListSetPassword(CertListRecord *record, const char *text) {
  return record != nullptr ? set_secret(&record->password, text) : invalid();
}

int CertListSetPin(CertListRecord *record, const char *text) {
  return record != nullptr ? set_secret(&record->pin, text) : invalid();
}

void CertListClearSecrets(CertListRecord *record) {
  if (record == nullptr) return;
  wipe_free_secret(&record->pin);
  wipe_free_secret(&record->password);
}

void CertListFree(CertListRecord *record) {
  if (record == nullptr) return;
  keyobj_delete(record->sign_key);
  keyobj_delete(record->km_key);
  CertListClearSecrets(record);
  if (record->list != nullptr) {
    certlist_free(record->list);
    strlist_free(record->list->policy_filter);
    free(record->list);
  }
  p11_module_release(record->token_module);
  sd_handle_release(record->secure_disk);
  v7::secure_wipe(record, sizeof *record);
  free(record);
}

CCertSelect::CCertSelect(CertListRecord *record, ERROR_CTX *errors)
    : record(record), errors(errors), entry(nullptr), buffers_() {}

CCertSelect::~CCertSelect() {
  if (errors != nullptr) {
    err_ctx_clear(errors);
    free(errors);
  }
  CertListFree(record);
  FreeBuffers();
}

int CCertSelect::TakeBuffer(int which, uint8_t *data, size_t len) {
  if (which < 0 || which >= kSelectBufferCount || (data == nullptr && len != 0) || len > UINT32_MAX)
    return invalid();
  wipe_free_bytes(&buffers_[which]);
  buffers_[which].data = data;
  buffers_[which].length = uint32_t(len);
  return 0;
}

void CCertSelect::FreeBuffers() {
  for (CertSelectBytes &b : buffers_) wipe_free_bytes(&b);
}

const CertSelectBytes &CCertSelect::Buffer(int which) const {
  static const CertSelectBytes kNone = {nullptr, 0};
  return which >= 0 && which < kSelectBufferCount ? buffers_[which] : kNone;
}
