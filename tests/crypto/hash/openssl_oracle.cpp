// SHA_CTX, which exposes the chaining words, survives in OpenSSL 3 only as a deprecated interface.
#define OPENSSL_SUPPRESS_DEPRECATED

#include "tests/crypto/hash/openssl_oracle.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/sha.h>

#include "crypto/hash/hash.h"
#include "tests/harness/openssl_md.h"

namespace {

const EVP_MD *md_of(int type) {
  const EVP_MD *md = openssl_md(type);
  if (md == nullptr) ADD_FAILURE() << "no OpenSSL digest for type " << type;
  return md;
}

// OpenSSL wants a pointer even for zero bytes.
const uint8_t *bytes_of(const v7test::Bytes &b) {
  static const uint8_t nothing = 0;
  return b.empty() ? &nothing : b.data();
}

}  // namespace

std::string openssl_digest(int type, const v7test::Bytes &msg) {
  uint8_t out[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  const EVP_MD *md = md_of(type);
  if (md == nullptr || EVP_Digest(bytes_of(msg), msg.size(), out, &n, md, nullptr) != 1)
    return "(OpenSSL failed)";
  return v7test::to_hex(out, n);
}

std::string openssl_hmac(int type, const v7test::Bytes &key, const v7test::Bytes &msg) {
  uint8_t out[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  const EVP_MD *md = md_of(type);
  if (md == nullptr ||
      HMAC(md, bytes_of(key), int(key.size()), bytes_of(msg), msg.size(), out, &n) == nullptr)
    return "(OpenSSL failed)";
  return v7test::to_hex(out, n);
}

std::string openssl_sha1_state(const v7test::Bytes &msg) {
  SHA_CTX ctx;
  SHA1_Init(&ctx);
  SHA1_Update(&ctx, bytes_of(msg), msg.size());
  const unsigned int words[5] = {ctx.h0, ctx.h1, ctx.h2, ctx.h3, ctx.h4};
  uint8_t out[20];
  for (int i = 0; i < 5; i++)
    for (int j = 0; j < 4; j++) out[4 * i + j] = uint8_t(words[i] >> (24 - 8 * j));
  return v7test::to_hex(out, 20);
}
