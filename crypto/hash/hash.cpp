// The dispatching interface over the digests, the one-shot digest and the identifier table.
#include <cstdlib>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/hash/internal.h"

namespace v7 {
namespace {

// Indexed by hash type - 1.
constexpr HashAlgorithm kAlgorithms[7] = {
    {20, 64, sha1_init, sha1_update, sha1_final},        {32, 64, sha256_init, sha256_update, sha256_final},
    {48, 128, sha384_init, sha512_update, sha384_final}, {64, 128, sha512_init, sha512_update, sha512_final},
    {28, 64, sha224_init, sha256_update, sha224_final},  {20, 64, has160_init, has160_update, has160_final},
    {16, 64, md5_init, md5_update, md5_final},
};

HASH_CTX *new_context(int type) {
  const HashAlgorithm *alg = hash_algorithm(type);
  if (alg == nullptr) return with_errno<HASH_CTX *>(kErrUnsupportedHash, nullptr);
  // Plain data from calloc: hash_free wipes it and hands it back with free().
  HASH_CTX *ctx = static_cast<HASH_CTX *>(std::calloc(1, sizeof(HASH_CTX)));
  if (ctx == nullptr) return with_errno<HASH_CTX *>(kErrOutOfMemory, nullptr);
  alg->init(ctx);
  return ctx;
}

}  // namespace

const HashAlgorithm *hash_algorithm(int type) {
  if (type < HASH_SHA1 || type > HASH_MD5) return nullptr;
  return &kAlgorithms[type - 1];
}

void hash_reset(HASH_CTX *ctx) {
  const HashAlgorithm *alg = hash_algorithm(ctx->type);
  if (alg != nullptr) alg->init(ctx);
}

}  // namespace v7

HASH_CTX *hash_new(int type) { return v7::new_context(type); }
HASH_CTX *sha1_new() { return v7::new_context(HASH_SHA1); }
HASH_CTX *sha256_new() { return v7::new_context(HASH_SHA256); }
HASH_CTX *sha384_new() { return v7::new_context(HASH_SHA384); }
HASH_CTX *sha512_new() { return v7::new_context(HASH_SHA512); }
HASH_CTX *sha224_new() { return v7::new_context(HASH_SHA224); }
HASH_CTX *has160_new() { return v7::new_context(HASH_HAS160); }
HASH_CTX *md5_new() { return v7::new_context(HASH_MD5); }

void hash_update(HASH_CTX *ctx, const void *data, size_t len) {
  if (ctx == nullptr || data == nullptr || len == 0) return;
  const v7::HashAlgorithm *alg = v7::hash_algorithm(ctx->type);
  if (alg != nullptr) alg->update(ctx, static_cast<const uint8_t *>(data), len);
}

int hash_final(HASH_CTX *ctx, uint8_t *out) {
  if (ctx == nullptr || out == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  const v7::HashAlgorithm *alg = v7::hash_algorithm(ctx->type);
  if (alg == nullptr) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  alg->final(ctx, out);
  return alg->digest_len;
}

void hash_free(HASH_CTX *ctx) {
  if (ctx == nullptr) return;
  v7::secure_wipe(ctx, sizeof *ctx);
  std::free(ctx);
}

int hash_digest_len(int type) {
  const v7::HashAlgorithm *alg = v7::hash_algorithm(type);
  if (alg == nullptr) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  return alg->digest_len;
}

int hash_block_len(int type) {
  const v7::HashAlgorithm *alg = v7::hash_algorithm(type);
  if (alg == nullptr) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  return alg->block_len;
}

int hash_ctx_digest_len(const HASH_CTX *ctx) {
  if (ctx == nullptr) return v7::with_errno(v7::kErrInvalidParameter, 0);
  return hash_digest_len(ctx->type);
}

int hash_digest(size_t capacity, uint8_t *out, int type, const void *data, size_t len) {
  if ((out == nullptr) != (capacity == 0)) return v7::with_errno(v7::kErrInvalidParameter, 0);
  const v7::HashAlgorithm *alg = v7::hash_algorithm(type);
  if (alg == nullptr) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  if (out == nullptr) return alg->digest_len;
  // hash_update skips null data silently; here that would return the empty message's digest as
  // if the caller's data had been hashed.
  if (data == nullptr && len != 0) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (capacity < size_t(alg->digest_len)) return v7::with_errno(v7::kErrInsufficientBuffer, 0);

  // On the stack: the one-shot needs no allocation and so cannot run out of memory.
  HASH_CTX ctx;
  alg->init(&ctx);
  if (len != 0) alg->update(&ctx, static_cast<const uint8_t *>(data), len);
  alg->final(&ctx, out);
  v7::secure_wipe(&ctx, sizeof ctx);
  return alg->digest_len;
}

int hash_type_from_alg_id(int alg_id) {
  struct Range {
    int first, last, type;
  };
  static constexpr Range kTable[] = {
      // Digests. 0x1105 and 0x1106 name digests this toolkit does not have.
      {0x1100, 0x1100, HASH_SHA1},
      {0x1101, 0x1101, HASH_SHA256},
      {0x1102, 0x1102, HASH_SHA384},
      {0x1103, 0x1103, HASH_SHA512},
      {0x1104, 0x1104, HASH_SHA224},
      {0x1107, 0x1107, HASH_MD5},
      {0x1108, 0x1108, HASH_HAS160},
      // HMAC: SHA-1, SHA-224, SHA-256, SHA-384, SHA-512, in that order.
      {0x1300, 0x1300, HASH_SHA1},
      {0x1301, 0x1301, HASH_SHA224},
      {0x1302, 0x1302, HASH_SHA256},
      {0x1303, 0x1303, HASH_SHA384},
      {0x1304, 0x1304, HASH_SHA512},
      // The Korean password-based encryption schemes, four per digest.
      {0x1400, 0x1403, HASH_SHA1},
      {0x1404, 0x1407, HASH_SHA256},
      {0x1408, 0x140b, HASH_HAS160},
      // Signatures. 0x1504 and 0x1505 carry no digest of this toolkit.
      {0x1500, 0x1500, HASH_SHA1},
      {0x1501, 0x1501, HASH_SHA256},
      {0x1502, 0x1502, HASH_SHA384},
      {0x1503, 0x1503, HASH_SHA512},
      {0x1506, 0x1506, HASH_MD5},
      {0x1507, 0x1508, HASH_HAS160},
      {0x1509, 0x1509, HASH_SHA1},
      {0x150a, 0x150a, HASH_SHA256},
      {0x150b, 0x150b, HASH_HAS160},
      // PKCS#5 v1.5 with MD5, then with SHA-1 and the PKCS#12 schemes.
      {0x1601, 0x1601, HASH_MD5},
      {0x1603, 0x1603, HASH_MD5},
      {0x1604, 0x160b, HASH_SHA1},
  };
  for (const Range &r : kTable)
    if (alg_id >= r.first && alg_id <= r.last) return r.type;
  return 0;
}
