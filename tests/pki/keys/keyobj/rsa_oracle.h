// libcrypto as the reference of the key-object tests, behind plain functions: OpenSSL's headers
// declare their own ASN1_ITEM and ASN1_BIT_STRING, so they cannot meet the toolkit's codec in one
// file.
#pragma once

#include <string>

#include "tests/harness/vectors.h"

namespace oracle {

using v7test::Bytes;

// An RSA operation's parameters: padding kind, the digest (a toolkit hash type; 0 for a
// signature over the bytes as given) and the MGF1 digest of PSS and OAEP. PSS salts are 20 bytes.
enum Padding { kPkcs1, kPss, kOaep };
struct Params {
  Padding padding;
  int md;
  int mgf1_md;
};

// Each takes the PEM private key file; an empty result or false on any failure.
Bytes sign(const std::string &pem, const Params &p, const Bytes &data);
bool verify(const std::string &pem, const Params &p, const Bytes &data, const Bytes &signature);
Bytes encrypt(const std::string &pem, const Params &p, const Bytes &data);
Bytes decrypt(const std::string &pem, const Params &p, const Bytes &data);

// SEED-CBC with PKCS#7 padding through the legacy provider; empty when SEED is not available.
Bytes seed_cbc_encrypt(const Bytes &key, const Bytes &iv, const Bytes &data);

}  // namespace oracle
