#include "media/securedisk/sd_key_binding.h"

namespace {

SecureDiskHandle *sd(void *h) { return static_cast<SecureDiskHandle *>(h); }

void *retain(void *h) { return sd_handle_addref(sd(h)); }
void release(void *h) { sd_handle_release(sd(h)); }
int login(void *h, int slot, const char *password) { return sd_login(sd(h), slot, password); }
int check_login_slot(void *h, int slot) { return sd_check_login_slot(sd(h), slot); }

int read_certificate(void *h, int slot, int part, uint8_t **der, size_t *der_len) {
  return sd_get_cert(sd(h), slot, part, der, der_len);
}

int read_random(void *h, uint8_t **value, size_t *value_len) { return sd_get_r(sd(h), value, value_len); }

int sign(void *h, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len) {
  return sd_sign(sd(h), data, length, out, out_len);
}

int decrypt(void *h, const uint8_t *data, size_t length, uint8_t **out, size_t *out_len) {
  return sd_decrypt(sd(h), data, length, out, out_len);
}

const SECURE_DISK_KEY_BINDING kBinding = {retain,           release,     login, check_login_slot,
                                          read_certificate, read_random, sign,  decrypt};

}  // namespace

const SECURE_DISK_KEY_BINDING *sd_key_binding() { return &kBinding; }
