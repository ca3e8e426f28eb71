#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "pki/keys/pkcs12.h"

namespace {

// in repeated to a whole number of v-byte blocks, appended to out; nothing for an empty input.
void append_repeated(v7::SecureBytes *out, const uint8_t *in, size_t in_len, size_t v) {
  if (in_len == 0) return;
  size_t n = (in_len + v - 1) / v * v;
  size_t start = out->size();
  out->bytes.resize(start + n);
  for (size_t i = 0; i < n; ++i) out->bytes[start + i] = in[i % in_len];
}

// block = (block + b + 1) mod 2^(8v), both big-endian v-byte numbers.
void add_plus_one(uint8_t *block, const uint8_t *b, size_t v) {
  unsigned carry = 1;
  for (size_t i = v; i-- > 0;) {
    carry += unsigned(block[i]) + b[i];
    block[i] = uint8_t(carry);
    carry >>= 8;
  }
}

int derive(HASH_CTX *ctx, int id, uint32_t iterations, const uint8_t *password, size_t password_len,
           const uint8_t *salt, size_t salt_len, uint8_t *out, size_t length) {
  const size_t v = size_t(hash_block_len(ctx->type));
  const size_t u = size_t(hash_ctx_digest_len(ctx));
  uint8_t diversifier[HASH_MAX_BLOCK_LEN];
  std::memset(diversifier, id, v);
  v7::SecureBytes input;  // I = S || P, each repeated to whole blocks
  input.bytes.reserve((salt_len / v + 1) * v + (password_len / v + 1) * v);
  append_repeated(&input, salt, salt_len, v);
  append_repeated(&input, password, password_len, v);
  uint8_t a[HASH_MAX_DIGEST_LEN];
  uint8_t b[HASH_MAX_BLOCK_LEN];
  int code = 0;
  for (size_t done = 0; done < length;) {
    hash_update(ctx, diversifier, v);
    hash_update(ctx, input.data(), input.size());
    bool ok = hash_final(ctx, a) != 0;
    for (uint32_t i = 1; ok && i < iterations; ++i) {
      hash_update(ctx, a, u);
      ok = hash_final(ctx, a) != 0;
    }
    if (!ok) {
      code = errno;
      break;
    }
    size_t take = length - done < u ? length - done : u;
    std::memcpy(out + done, a, take);
    done += take;
    if (done == length) break;
    for (size_t i = 0; i < v; ++i) b[i] = a[i % u];
    for (size_t j = 0; j < input.size(); j += v) add_plus_one(input.data() + j, b, v);
  }
  v7::secure_wipe(a, sizeof(a));
  v7::secure_wipe(b, sizeof(b));
  return code;
}

}  // namespace

int pkcs12_kdf(int id, int hash_type, uint32_t iterations, const uint8_t *password, size_t password_len,
               const uint8_t *salt, size_t salt_len, uint8_t *out, size_t length) {
  // The bound keeps the block arithmetic far from overflow on 32-bit targets; real salts and
  // passwords are a few dozen bytes.
  constexpr size_t kMaxInput = size_t(1) << 24;
  if (id < 1 || id > 3 || iterations == 0 || out == nullptr || length == 0 ||
      (password == nullptr && password_len != 0) || (salt == nullptr && salt_len != 0) ||
      password_len > kMaxInput || salt_len > kMaxInput) {
    return v7::with_errno(v7::kErrInvalidParameter, v7::kErrInvalidParameter);
  }
  HASH_CTX *ctx = hash_new(hash_type);
  if (ctx == nullptr) {
    int code = errno;
    return v7::with_errno(code, code);
  }
  int code = derive(ctx, id, iterations, password, password_len, salt, salt_len, out, length);
  hash_free(ctx);
  if (code != 0) v7::secure_wipe(out, length);
  return v7::with_errno(code, code);
}
