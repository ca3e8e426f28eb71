// The token kind: every private-key operation goes to the token through the binding's table.
#include <cstdlib>
#include <cstring>

#include "pki/keys/keyobj.h"
#include "pki/keys/keyobj_internal.h"
#include "pki/keys/keyobj_token.h"
#include "platform/errors/errno_util.h"

namespace {

using v7::keyobj::done;
using v7::keyobj::fail;
using v7::keyobj::wipe_free;

struct TokenFields {
  const TOKEN_KEY_BINDING *binding;
  void *module;  // one reference, or null
  char *pin;
  size_t pin_len;
  char *path;
  uint8_t *id;
  size_t id_len;
};

TokenFields *fields(PRIVATE_KEY_CTX *ctx) {
  return ctx == nullptr ? nullptr : static_cast<TokenFields *>(ctx->kind_data);
}

void drop_module(TokenFields *t) {
  if (t->module != nullptr && t->binding != nullptr) t->binding->release(t->module);
  t->module = nullptr;
}

void token_destroy(PRIVATE_KEY_CTX *ctx) {
  if (ctx == nullptr) return;
  if (TokenFields *t = fields(ctx)) {
    drop_module(t);
    if (t->pin != nullptr) wipe_free(t->pin, t->pin_len + 1);
    free(t->path);
    free(t->id);
    wipe_free(t, sizeof(*t));
    ctx->kind_data = nullptr;
  }
  keyobj_free_common(ctx);
}

char *dup_text(const char *s, size_t *len) {
  size_t n = strlen(s);
  auto *copy = static_cast<char *>(malloc(n + 1));
  if (copy != nullptr) memcpy(copy, s, n + 1);
  if (len != nullptr) *len = n;
  return copy;
}

// The module to talk to: the one handed over, or one opened from the path and kept. Precedence
// goes to the handed-over module, which the callers always give first.
int module_of(TokenFields *t, void **out) {
  if (t->module == nullptr) {
    if (t->binding == nullptr || t->path == nullptr || t->path[0] == '\0')
      return fail(v7::kErrHsmNullLibraryPath);
    void *opened = t->binding->open(t->path);
    if (opened == nullptr) return v7::keyobj::fail_errno(v7::kErrModuleLoad);
    t->module = opened;
  }
  *out = t->module;
  return done();
}

int token_set_key(PRIVATE_KEY_CTX *ctx, const uint8_t *data, size_t length, int format,
                  const KEY_CREDENTIAL *) {
  TokenFields *t = fields(ctx);
  if (t == nullptr || data == nullptr || length == 0) return fail(v7::kErrInvalidParameter);
  if (format != KEYOBJ_FORMAT_DEFAULT) return fail(v7::kErrKeyCtxUnsupportedKeyFormat);
  if (length > KEYOBJ_MAX_TOKEN_ID) return fail(v7::kErrInsufficientBuffer);
  uint8_t *copy = v7::keyobj::copy_bytes(data, length);
  if (copy == nullptr) return fail(v7::kErrOutOfMemory);
  free(t->id);
  t->id = copy;
  t->id_len = length;
  ctx->key_alg = KEYOBJ_ALG_RSA;
  return done();
}

int token_set_certificate(PRIVATE_KEY_CTX *ctx, const uint8_t *, size_t, int) {
  TokenFields *t = fields(ctx);
  if (t == nullptr) return fail(v7::kErrInvalidParameter);
  void *module = nullptr;
  int code = module_of(t, &module);
  if (code != 0) return code;
  if (t->id == nullptr) return fail(v7::kErrHsmReadCert);
  uint8_t *der = nullptr;
  size_t der_len = 0;
  if (t->binding->read_certificate(module, t->id, t->id_len, &der, &der_len) != 0 || der == nullptr) {
    free(der);
    return fail(v7::kErrHsmReadCert);
  }
  code = keyobj_keep_certificate(ctx, der, der_len);
  free(der);
  return code == 0 ? done() : fail(v7::kErrHsmReadCert);
}

int token_set_buffer(PRIVATE_KEY_CTX *ctx, const uint8_t *, size_t) {
  TokenFields *t = fields(ctx);
  if (t == nullptr) return fail(v7::kErrInvalidParameter);
  void *module = nullptr;
  int code = module_of(t, &module);
  if (code != 0) return code;
  uint8_t *value = nullptr;
  size_t value_len = 0;
  if (t->id == nullptr ||
      t->binding->read_random(module, t->pin, t->id, t->id_len, &value, &value_len) != 0) {
    free(value);
    return fail(v7::kErrHsmReadRandom);
  }
  code = keyobj_keep_buffer(ctx, value, value_len);
  wipe_free(value, value_len);
  return code == 0 ? done() : fail(v7::kErrHsmReadRandom);
}

typedef int (*TokenOp)(void *, const char *, const uint8_t *, size_t, const uint8_t *, size_t, uint8_t **,
                       size_t *);

int run_on_token(PRIVATE_KEY_CTX *ctx, bool sign, const uint8_t *data, size_t length, uint8_t **out,
                 size_t *out_len) {
  TokenFields *t = fields(ctx);
  void *module = nullptr;
  int code = module_of(t, &module);
  if (code != 0) return code;
  if (t->id == nullptr) return fail(sign ? v7::kErrNoPrivateKey : v7::kErrP11NoDecryptKey);
  TokenOp op = sign ? t->binding->sign : t->binding->decrypt;
  code = op(module, t->pin, t->id, t->id_len, data, length, out, out_len);
  return code == 0 ? done() : fail(code);
}

using Entries = v7::keyobj::OutsideEntries<run_on_token>;

int token_control(PRIVATE_KEY_CTX *ctx, int id, void *in, void *out) {
  TokenFields *t = fields(ctx);
  if (t == nullptr) return fail(v7::kErrInvalidParameter);
  switch (id) {
    case KEYOBJ_CTRL_TOKEN_SET_PATH:
    case KEYOBJ_CTRL_TOKEN_SET_PIN: {
      if (in == nullptr) return fail(v7::kErrInvalidParameter);
      size_t len = 0;
      char *copy = dup_text(static_cast<const char *>(in), &len);
      if (copy == nullptr) return fail(v7::kErrOutOfMemory);
      if (id == KEYOBJ_CTRL_TOKEN_SET_PATH) {
        free(t->path);
        t->path = copy;
      } else {
        if (t->pin != nullptr) wipe_free(t->pin, t->pin_len + 1);
        t->pin = copy;
        t->pin_len = len;
      }
      return done();
    }
    case KEYOBJ_CTRL_TOKEN_LOGIN: {
      void *module = nullptr;
      int code = module_of(t, &module);
      if (code != 0) return code;
      code = t->binding->login(module, t->pin);
      return code == 0 ? done() : fail(code);
    }
    case KEYOBJ_CTRL_TOKEN_GET_MODULE: {
      if (out == nullptr) return fail(v7::kErrInvalidParameter);
      *static_cast<TOKEN_KEY_MODULE *>(out) = TOKEN_KEY_MODULE{t->binding, t->module};
      return done();
    }
    case KEYOBJ_CTRL_TOKEN_SET_MODULE: {
      const auto *given = static_cast<const TOKEN_KEY_MODULE *>(in);
      if (given == nullptr || given->binding == nullptr) return fail(v7::kErrInvalidParameter);
      void *module = nullptr;
      if (given->module != nullptr && (module = given->binding->retain(given->module)) == nullptr)
        return fail(v7::kErrInvalidParameter);
      drop_module(t);
      t->binding = given->binding;
      t->module = module;
      return done();
    }
    default:
      return fail(v7::kErrInvalidParameter);
  }
}

const PRIVATE_KEY_METHOD kTokenMethod = {
    token_destroy,
    keyobj_base_get_kind,
    token_set_key,
    token_set_certificate,
    token_set_buffer,
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
    token_control,
    keyobj_base_free_buffer,
};

}  // namespace

PRIVATE_KEY_CTX *keyobj_new_type2() {
  return keyobj_alloc_with_data(&kTokenMethod, KEYOBJ_KIND_TOKEN, sizeof(TokenFields));
}
