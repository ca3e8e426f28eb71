// The secure-disk kind: every private-key operation goes to the module through the binding's
// table, with the slot the object logged in to.
#include <cstdlib>
#include <cstring>

#include "pki/keys/keyobj.h"
#include "pki/keys/keyobj_internal.h"
#include "pki/keys/keyobj_securedisk.h"
#include "platform/errors/errno_util.h"

namespace {

using v7::keyobj::done;
using v7::keyobj::fail;
using v7::keyobj::wipe_free;

struct SecureDiskFields {
  const SECURE_DISK_KEY_BINDING *binding;
  void *handle;  // one reference, or null
  KEYOBJ_SD_SLOT slot;
  bool logged_in;  // set key succeeded for slot
};

SecureDiskFields *fields(PRIVATE_KEY_CTX *ctx) {
  return ctx == nullptr ? nullptr : static_cast<SecureDiskFields *>(ctx->kind_data);
}

// The object's fields once a handle is set; null with kErrSdKeyNoHandle (or kErrInvalidParameter
// for an object that is not one).
SecureDiskFields *with_handle(PRIVATE_KEY_CTX *ctx) {
  SecureDiskFields *f = fields(ctx);
  if (f == nullptr) return v7::with_errno(v7::kErrInvalidParameter, static_cast<SecureDiskFields *>(nullptr));
  if (f->handle == nullptr)
    return v7::with_errno(v7::kErrSdKeyNoHandle, static_cast<SecureDiskFields *>(nullptr));
  return f;
}

void drop_handle(SecureDiskFields *f) {
  if (f->handle != nullptr && f->binding != nullptr) f->binding->release(f->handle);
  f->handle = nullptr;
  f->logged_in = false;
}

void sd_destroy(PRIVATE_KEY_CTX *ctx) {
  if (ctx == nullptr) return;
  if (SecureDiskFields *f = fields(ctx)) {
    drop_handle(f);
    wipe_free(f, sizeof(*f));
    ctx->kind_data = nullptr;
  }
  keyobj_free_common(ctx);
}

// The slot id that set key and set certificate are given as their data.
bool slot_of(const uint8_t *data, size_t length, KEYOBJ_SD_SLOT *slot) {
  if (data == nullptr || length != sizeof(KEYOBJ_SD_SLOT)) return false;
  memcpy(slot, data, sizeof *slot);
  return true;
}

int sd_set_key(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int format,
               const KEY_CREDENTIAL *credential) {
  SecureDiskFields *f = with_handle(ctx);
  if (f == nullptr) return fail(errno);
  if (format != KEYOBJ_FORMAT_DEFAULT) return fail(v7::kErrKeyCtxUnsupportedKeyFormat);
  KEYOBJ_SD_SLOT slot = 0;
  if (!slot_of(data, length, &slot)) return fail(v7::kErrInvalidParameter);
  int code = keyobj_check_credential(credential);
  if (code != 0) return fail(code);
  if (credential->kind != KEY_CREDENTIAL_PIN) return fail(v7::kErrKeyCtxUnsupportedKeyFormat);
  // A failed login leaves the object without a key, whatever it held before.
  f->logged_in = false;
  ctx->key_alg = 0;
  code = f->binding->login(f->handle, slot, credential->text);
  if (code != 0) return fail(code);
  f->slot = slot;
  f->logged_in = true;
  ctx->key_alg = KEYOBJ_ALG_RSA;
  return done();
}

int sd_set_certificate(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int part) {
  SecureDiskFields *f = with_handle(ctx);
  if (f == nullptr) return fail(errno);
  KEYOBJ_SD_SLOT slot = 0;
  if (!slot_of(data, length, &slot) || (part != 2 && part != 3)) return fail(v7::kErrInvalidParameter);
  uint8_t *der = nullptr;
  size_t der_len = 0;
  int code = f->binding->read_certificate(f->handle, slot, part, &der, &der_len);
  if (code != 0) {
    free(der);
    return fail(code);
  }
  if (der == nullptr || der_len == 0) {
    free(der);
    return fail(v7::kErrSdKeyReadCert);
  }
  code = keyobj_keep_certificate(ctx, der, der_len);
  free(der);
  return code == 0 ? done() : fail(v7::kErrSdKeyReadCert);
}

// The handle must still be logged in to the object's slot: another key object sharing the handle
// may have logged in to another one since.
int require_own_login(SecureDiskFields *f) {
  if (!f->logged_in) return v7::kErrSdLoginRequired;
  return f->binding->check_login_slot(f->handle, f->slot);
}

int sd_set_buffer(PRIVATE_KEY_CTX *ctx, const uint8_t *, size_t) {
  SecureDiskFields *f = with_handle(ctx);
  if (f == nullptr) return fail(errno);
  int code = require_own_login(f);
  if (code != 0) return fail(code);
  uint8_t *value = nullptr;
  size_t value_len = 0;
  code = f->binding->read_random(f->handle, &value, &value_len);
  if (code != 0 || value == nullptr || value_len == 0) {
    if (value != nullptr) wipe_free(value, value_len);
    return fail(code != 0 ? code : v7::kErrSdKeyReadRandom);
  }
  code = keyobj_keep_buffer(ctx, value, value_len);
  wipe_free(value, value_len);
  return code == 0 ? done() : fail(code);
}

int run_in_module(PRIVATE_KEY_CTX *ctx, bool sign, const uint8_t *data, size_t length, uint8_t **out,
                  size_t *out_len) {
  SecureDiskFields *f = with_handle(ctx);
  if (f == nullptr) return fail(errno);
  int code = require_own_login(f);
  if (code != 0) return fail(code);
  code = (sign ? f->binding->sign : f->binding->decrypt)(f->handle, data, length, out, out_len);
  return code == 0 ? done() : fail(code);
}

using Entries = v7::keyobj::OutsideEntries<run_in_module>;

int sd_control(PRIVATE_KEY_CTX *ctx, int id, void *in, void *out) {
  SecureDiskFields *f = fields(ctx);
  if (f == nullptr) return fail(v7::kErrInvalidParameter);
  switch (id) {
    case KEYOBJ_CTRL_SD_GET_HANDLE:
      if (out == nullptr) return fail(v7::kErrInvalidParameter);
      *static_cast<SECURE_DISK_KEY_HANDLE *>(out) = SECURE_DISK_KEY_HANDLE{f->binding, f->handle};
      return done();
    case KEYOBJ_CTRL_SD_SET_HANDLE: {
      const auto *given = static_cast<const SECURE_DISK_KEY_HANDLE *>(in);
      if (given == nullptr || given->binding == nullptr || given->handle == nullptr)
        return fail(v7::kErrInvalidParameter);
      void *handle = given->binding->retain(given->handle);
      if (handle == nullptr) return fail(v7::kErrSdKeyNoHandle);
      drop_handle(f);
      f->binding = given->binding;
      f->handle = handle;
      ctx->key_alg = 0;
      return done();
    }
    default:
      return fail(v7::kErrInvalidParameter);
  }
}

const PRIVATE_KEY_METHOD kSecureDiskMethod = {
    sd_destroy,
    keyobj_base_get_kind,
    sd_set_key,
    sd_set_certificate,
    sd_set_buffer,
    keyobj_base_key_algorithm,
    keyobj_base_certificate_key_length,
    keyobj_base_certificate_der,
    keyobj_base_certificate_der_length,
    keyobj_base_certificate_signature_algorithm,
    keyobj_base_certificate,
    keyobj_base_buffer,
    keyobj_base_buffer_length,
    Entries::sign,
    Entries::decrypt,
    sd_control,
    keyobj_base_free_buffer,
};

}  // namespace

PRIVATE_KEY_CTX *keyobj_new_type4() {
  return keyobj_alloc_with_data(&kSecureDiskMethod, KEYOBJ_KIND_SECURE_DISK, sizeof(SecureDiskFields));
}
