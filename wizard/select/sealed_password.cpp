#include "wizard/select/sealed_password.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "crypto/cipher/cipher.h"
#include "platform/errors/errno_util.h"
#include "platform/errors/error_codes.h"
#include "platform/random/os_random.h"

namespace v7 {
namespace select {

enum : size_t { kPasswordLimit = 128 };

int seal_password(const char *text, SealedPassword *out) {
  if (out == nullptr) return with_errno(kErrInvalidParameter, int(kErrInvalidParameter));
  memset(out, 0, sizeof *out);
  const size_t len = text != nullptr ? strnlen(text, kPasswordLimit) : 0;
  if (len == 0 || len >= kPasswordLimit) return with_errno(kErrInvalidParameter, int(kErrInvalidParameter));
  int rc = 0;
  uint8_t *sealed = static_cast<uint8_t *>(malloc(len + 16));
  size_t n = 0;
  if (sealed == nullptr) {
    rc = kErrOutOfMemory;
  } else if (!platform_random_bytes(out->key, sizeof out->key) || !platform_random_bytes(out->iv, sizeof out->iv)) {
    rc = kErrRandomContextCreate;
  } else {
    n = cipher_seed_cbc_encrypt(out->key, out->iv, reinterpret_cast<const uint8_t *>(text), len, sealed, len + 16);
    if (n == 0) rc = errno != 0 ? errno : int(kErrInternal);
  }
  if (rc != 0) {
    if (sealed != nullptr) {
      secure_wipe(sealed, len + 16);
      free(sealed);
    }
    secure_wipe(out, sizeof *out);
    return with_errno(rc, rc);
  }
  out->sealed = sealed;
  out->sealed_length = n;
  return 0;
}

int unseal_password(const SealedPassword *record, char *out, size_t capacity) {
  if (record == nullptr || out == nullptr || capacity == 0 || record->sealed == nullptr)
    return with_errno(kErrInvalidParameter, int(kErrInvalidParameter));
  uint8_t plain[kPasswordLimit + 16];
  const size_t n = record->sealed_length <= sizeof plain
                       ? cipher_decrypt_oneshot(kCrtCipherSeed, record->key, sizeof record->key, record->iv,
                                                sizeof record->iv, record->sealed, record->sealed_length, plain,
                                                sizeof plain)
                       : 0;
  int rc = 0;
  if (n == 0) {
    rc = errno != 0 ? errno : int(kErrSymmetricDecrypt);
  } else if (n >= capacity) {
    rc = kErrInsufficientBuffer;
  } else {
    memcpy(out, plain, n);
    out[n] = 0;
  }
  secure_wipe(plain, sizeof plain);
  if (rc != 0) {
    secure_wipe(out, capacity);
    return with_errno(rc, rc);
  }
  return 0;
}

void wipe_sealed_password(SealedPassword *record) {
  if (record == nullptr) return;
  if (record->sealed != nullptr) {
    secure_wipe(record->sealed, record->sealed_length);
    free(record->sealed);
  }
  secure_wipe(record, sizeof *record);
}

void free_pkcs12_import(Pkcs12ImportRecord *record) {
  if (record == nullptr) return;
  wipe_sealed_password(&record->password);
  free(record->file);
  record->file = nullptr;
  record->file_length = 0;
}

}  // namespace select
}  // namespace v7
