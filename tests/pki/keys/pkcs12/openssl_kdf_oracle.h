// OpenSSL's PKCS12_key_gen_uni behind a plain declaration: OpenSSL's headers and the toolkit's
// codec both define ASN1_ITEM and its kin, so no file includes both.
#pragma once

#include <cstddef>
#include <cstdint>

// 1 on success, as PKCS12_key_gen_uni returns.
int openssl_pkcs12_kdf(int id, int hash_type, uint32_t iterations, const uint8_t *password,
                       size_t password_len, const uint8_t *salt, size_t salt_len, uint8_t *out,
                       size_t length);
