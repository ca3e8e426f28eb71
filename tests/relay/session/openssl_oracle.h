// OpenSSL's libcrypto behind plain byte vectors: its headers and the toolkit's ASN.1 names cannot
// meet in one file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace oracle {

using Bytes = std::vector<uint8_t>;

// Loads the legacy and default providers (SEED is only in the legacy one) for the process.
void load_providers();
void unload_providers();

// RSAES-OAEP with SHA-1 and MGF1-SHA-1. Keys: a PEM private-key fixture, or the public key of a
// DER certificate fixture. An empty result on any failure.
Bytes rsa_oaep_decrypt(const std::string &pem_fixture, const uint8_t *in, size_t len);
Bytes rsa_oaep_encrypt(const std::string &cert_fixture, const Bytes &in);

// SEED-CBC with PKCS#7 padding.
Bytes seed_cbc(bool encrypt, const Bytes &key, const Bytes &iv, const uint8_t *in, size_t len);

Bytes sha256(const uint8_t *in, size_t len);
Bytes hmac_sha256(const Bytes &key, const Bytes &data);

}  // namespace oracle
