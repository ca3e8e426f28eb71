// The digest algorithms behind HASH_CTX. Nothing outside crypto/hash calls these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "crypto/base/endian.h"
#include "crypto/hash/hash.h"

namespace v7 {

// One algorithm. init sets the type, the initial chaining state and a zero length; final writes
// the digest and then calls init, so that a context is reusable at once.
struct HashAlgorithm {
  int digest_len;
  int block_len;
  void (*init)(HASH_CTX *ctx);
  void (*update)(HASH_CTX *ctx, const uint8_t *data, size_t len);
  void (*final)(HASH_CTX *ctx, uint8_t *out);
};

// The algorithm of a hash type, or null outside 1..7.
const HashAlgorithm *hash_algorithm(int type);

// Back to the initial state, whatever was fed before (the HMAC keying starts from here).
void hash_reset(HASH_CTX *ctx);

void sha1_init(HASH_CTX *ctx);
void sha1_update(HASH_CTX *ctx, const uint8_t *data, size_t len);
void sha1_final(HASH_CTX *ctx, uint8_t *out);

void sha256_init(HASH_CTX *ctx);
void sha224_init(HASH_CTX *ctx);
void sha256_update(HASH_CTX *ctx, const uint8_t *data, size_t len);  // also SHA-224
void sha256_final(HASH_CTX *ctx, uint8_t *out);
void sha224_final(HASH_CTX *ctx, uint8_t *out);

void sha512_init(HASH_CTX *ctx);
void sha384_init(HASH_CTX *ctx);
void sha512_update(HASH_CTX *ctx, const uint8_t *data, size_t len);  // also SHA-384
void sha512_final(HASH_CTX *ctx, uint8_t *out);
void sha384_final(HASH_CTX *ctx, uint8_t *out);

void md5_init(HASH_CTX *ctx);
void md5_update(HASH_CTX *ctx, const uint8_t *data, size_t len);
void md5_final(HASH_CTX *ctx, uint8_t *out);

void has160_init(HASH_CTX *ctx);
void has160_update(HASH_CTX *ctx, const uint8_t *data, size_t len);
void has160_final(HASH_CTX *ctx, uint8_t *out);

inline uint32_t rotl32(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t rotr32(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
inline uint64_t rotr64(uint64_t x, int n) { return (x >> n) | (x << (64 - n)); }

// Feeds len bytes through a block buffer that already holds `used` bytes: tops up the partial
// block and compresses it when full, compresses every further whole block straight from the
// caller's data (no copy), and keeps the remainder. compress(blocks, count) runs the
// compression function over count consecutive blocks.
template <size_t kBlock, typename Compress>
inline void feed_blocks(uint8_t *buffer, size_t used, const uint8_t *data, size_t len, Compress compress) {
  if (used != 0) {
    size_t take = kBlock - used;
    if (take > len) take = len;
    std::memcpy(buffer + used, data, take);
    data += take;
    len -= take;
    if (used + take < kBlock) return;
    compress(buffer, 1);
  }
  if (len >= kBlock) {
    size_t whole = len / kBlock;
    compress(data, whole);
    data += whole * kBlock;
    len -= whole * kBlock;
  }
  if (len != 0) std::memcpy(buffer, data, len);
}

// Merkle-Damgard padding up to the length field: the 0x80 marker, then zeros, with an extra
// block when the marker leaves no room for the kLenField bytes. The caller writes the length
// field at buffer + kBlock - kLenField and compresses the buffer once more.
template <size_t kBlock, size_t kLenField, typename Compress>
inline void pad_to_length_field(uint8_t *buffer, size_t used, Compress compress) {
  buffer[used++] = 0x80;
  if (used > kBlock - kLenField) {
    std::memset(buffer + used, 0, kBlock - used);
    compress(buffer, 1);
    used = 0;
  }
  std::memset(buffer + used, 0, kBlock - kLenField - used);
}

// Sets the type, the initial chaining words and a zero message length.
inline void start_digest(HASH_CTX *ctx, int type, const void *init, size_t init_size) {
  ctx->type = type;
  std::memcpy(&ctx->state, init, init_size);
  ctx->count_lo = 0;
  ctx->count_hi = 0;
}

// The digests with five, four or eight 32-bit words and 64-byte blocks share their buffering
// and padding; only the compression, the counter unit and the byte order differ.
using Compress32 = void (*)(uint32_t *state, const uint8_t *blocks, size_t count);

// Update with a byte count (SHA-1, SHA-224/256, MD5).
template <Compress32 kCompress>
inline void update_counting_bytes(HASH_CTX *ctx, const uint8_t *data, size_t len) {
  size_t used = size_t(ctx->count_lo & 63);
  ctx->count_lo += len;
  uint32_t *state = ctx->state.w32;
  feed_blocks<64>(ctx->buffer, used, data, len,
                  [state](const uint8_t *p, size_t n) { kCompress(state, p, n); });
}

// Padding, the 64-bit bit length in the algorithm's byte order, the last compression, and the
// first `words` chaining words as the digest.
template <Compress32 kCompress, bool kBigEndian>
inline void finish_block64(HASH_CTX *ctx, size_t used, uint64_t bit_len, uint8_t *out, int words) {
  uint32_t *state = ctx->state.w32;
  auto compress = [state](const uint8_t *p, size_t n) { kCompress(state, p, n); };
  pad_to_length_field<64, 8>(ctx->buffer, used, compress);
  if (kBigEndian) {
    store_be64(ctx->buffer + 56, bit_len);
  } else {
    store_le64(ctx->buffer + 56, bit_len);
  }
  compress(ctx->buffer, 1);
  for (int i = 0; i < words; i++) {
    if (kBigEndian) {
      store_be32(out + 4 * i, state[i]);
    } else {
      store_le32(out + 4 * i, state[i]);
    }
  }
}

}  // namespace v7
