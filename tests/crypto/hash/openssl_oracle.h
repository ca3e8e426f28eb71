// OpenSSL's libcrypto as the reference for the differential tests. Kept behind plain functions:
// OpenSSL declares its own HMAC_CTX, so its headers and crypto/hash/hmac.h cannot meet in one file.
#pragma once

#include <string>

#include "tests/harness/vectors.h"

// Hex results of OpenSSL for a toolkit hash type (all but HAS-160, which OpenSSL lacks).
std::string openssl_digest(int type, const v7test::Bytes &msg);
std::string openssl_hmac(int type, const v7test::Bytes &key, const v7test::Bytes &msg);
// The five SHA-1 chaining words after feeding msg, big-endian, without padding.
std::string openssl_sha1_state(const v7test::Bytes &msg);
