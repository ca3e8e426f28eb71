// OpenSSL ciphers for the benchmarks' side-by-side runs.
#pragma once

#include <openssl/evp.h>
#include <openssl/provider.h>

// Fetches an EVP cipher by name (free it with EVP_CIPHER_free); null when OpenSSL lacks it. SEED,
// DES and RC2 live in the legacy provider, and loading one provider hides the default one unless
// that is loaded too, so both are loaded once for the whole program.
inline EVP_CIPHER *fetch_openssl_cipher(const char *name) {
  static OSSL_PROVIDER *const legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  static OSSL_PROVIDER *const fallback = OSSL_PROVIDER_load(nullptr, "default");
  (void)legacy;
  (void)fallback;
  return EVP_CIPHER_fetch(nullptr, name, nullptr);
}
