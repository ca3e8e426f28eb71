#include "media/token/p11_key_binding.h"

#include <cerrno>

#include "platform/errors/errno_util.h"

namespace {

P11_MODULE *mod(void *m) { return static_cast<P11_MODULE *>(m); }

void *open_module(const char *path) {
  P11_MODULE *m = p11_module_load(path);
  if (m == nullptr) return nullptr;
  int code = p11_module_open(m);
  if (code != 0) {
    p11_module_free(m);
    return v7::with_errno(code, nullptr);
  }
  return m;
}

void *retain(void *m) { return p11_module_retain(mod(m)); }
void release(void *m) { p11_module_release(mod(m)); }
int login(void *m, const char *pin) { return p11_login(pin, mod(m)); }

int read_certificate(void *m, const uint8_t *id, size_t id_len, uint8_t **der, size_t *der_len) {
  return p11_find_read_value(mod(m), id, id_len, der, der_len);
}

int read_random(void *m, const char *pin, const uint8_t *id, size_t id_len, uint8_t **value, size_t *value_len) {
  return p11_read_vid_random(mod(m), pin, id, id_len, value, value_len);
}

int sign(void *m, const char *pin, const uint8_t *id, size_t id_len, const uint8_t *data, size_t length,
         uint8_t **out, size_t *out_len) {
  return p11_sign(mod(m), pin, id, id_len, data, length, out, out_len);
}

int decrypt(void *m, const char *pin, const uint8_t *id, size_t id_len, const uint8_t *data, size_t length,
            uint8_t **out, size_t *out_len) {
  return p11_decrypt(mod(m), pin, id, id_len, data, length, out, out_len);
}

const TOKEN_KEY_BINDING kBinding = {open_module, retain, release, login, read_certificate, read_random, sign, decrypt};

}  // namespace

const TOKEN_KEY_BINDING *p11_token_key_binding() { return &kBinding; }
