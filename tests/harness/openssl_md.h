// OpenSSL's digest for a toolkit hash type, for the native differential tests only.
#pragma once

#include <openssl/evp.h>

#include "crypto/hash/hash.h"

// Null for HAS-160 (OpenSSL has none) and for types outside 1..7.
inline const EVP_MD *openssl_md(int hash_type) {
  switch (hash_type) {
    case HASH_SHA1:
      return EVP_sha1();
    case HASH_SHA256:
      return EVP_sha256();
    case HASH_SHA384:
      return EVP_sha384();
    case HASH_SHA512:
      return EVP_sha512();
    case HASH_SHA224:
      return EVP_sha224();
    case HASH_MD5:
      return EVP_md5();
  }
  return nullptr;
}
