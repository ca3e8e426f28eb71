#include "crypto/random/random.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "crypto/base/endian.h"
#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/random/internal.h"
#include "platform/random/os_random.h"

namespace {

RandomSource g_system_source = nullptr;

bool system_bytes(uint8_t *out, size_t len) {
  return g_system_source != nullptr ? g_system_source(out, len) : platform_random_bytes(out, len);
}

size_t state_size(int type) {
  switch (type) {
    case RNG_TYPE_MT19937:
      return sizeof(v7::MtState);
    case RNG_TYPE_SHA1:
      return v7::kSha1GeneratorStateSize;
    default:
      return 0;
  }
}

RANDOM_CTX *new_record(int type) {
  RANDOM_CTX *ctx = static_cast<RANDOM_CTX *>(std::calloc(1, sizeof(RANDOM_CTX)));
  if (ctx == nullptr) return nullptr;
  ctx->type = type;
  size_t size = state_size(type);
  if (size != 0) {
    ctx->state = std::calloc(1, size);
    if (ctx->state == nullptr) {
      std::free(ctx);
      return nullptr;
    }
  }
  return ctx;
}

uint64_t lcg_state_from(const uint8_t *seed, size_t len) {
  uint64_t s = 0;
  for (size_t i = 0; i < len; i++) s = (s << 8) | seed[i];
  return s & v7::kLcgMask;
}

int bit_length(uint32_t v) {
  int n = 0;
  while (v != 0) {
    n++;
    v >>= 1;
  }
  return n;
}

void set_bit(uint32_t *words, int bit, bool on) {
  uint32_t mask = uint32_t(1) << (bit % 32);
  if (on) {
    words[bit / 32] |= mask;
  } else {
    words[bit / 32] &= ~mask;
  }
}

}  // namespace

RANDOM_CTX *rng_new(int type) {
  if (type < RNG_TYPE_LCG || type > RNG_TYPE_SYSTEM) return v7::with_errno<RANDOM_CTX *>(v7::kErrInvalidParameter, nullptr);
  if (type == RNG_TYPE_MT19937) {
    RANDOM_CTX *record = new_record(RNG_TYPE_LCG);  // the MT state is attached by rng_new_mt
    if (record == nullptr) return v7::with_errno<RANDOM_CTX *>(v7::kErrOutOfMemory, nullptr);
    record->type = RNG_TYPE_MT19937;
    return rng_new_mt(record);
  }
  RANDOM_CTX *ctx = new_record(type);
  if (ctx == nullptr) return v7::with_errno<RANDOM_CTX *>(v7::kErrOutOfMemory, nullptr);
  bool seeded = true;
  if (type == RNG_TYPE_LCG) {
    uint8_t seed[6];
    seeded = system_bytes(seed, sizeof seed);
    ctx->lcg_state = lcg_state_from(seed, sizeof seed);
    v7::secure_wipe(seed, sizeof seed);
  } else if (type == RNG_TYPE_SHA1) {
    seeded = system_bytes(static_cast<uint8_t *>(ctx->state), v7::kSha1GeneratorStateSize);
  }
  if (!seeded) {
    rng_free(ctx);
    return v7::with_errno<RANDOM_CTX *>(v7::kErrRandomContext, nullptr);
  }
  return ctx;
}

RANDOM_CTX *rng_new_mt(RANDOM_CTX *ctx) {
  if (ctx == nullptr) return v7::with_errno<RANDOM_CTX *>(v7::kErrInvalidParameter, nullptr);
  ctx->type = RNG_TYPE_MT19937;
  if (ctx->state == nullptr) ctx->state = std::calloc(1, sizeof(v7::MtState));
  if (ctx->state == nullptr) {
    rng_free(ctx);
    return v7::with_errno<RANDOM_CTX *>(v7::kErrOutOfMemory, nullptr);
  }
  uint8_t seed[4];
  if (!system_bytes(seed, sizeof seed)) {
    rng_free(ctx);
    return v7::with_errno<RANDOM_CTX *>(v7::kErrRandomContext, nullptr);
  }
  v7::mt_seed(static_cast<v7::MtState *>(ctx->state), v7::load_be32(seed));
  v7::secure_wipe(seed, sizeof seed);
  return ctx;
}

RANDOM_CTX *rng_new_seeded(int type, const uint8_t *seed, size_t seed_len) {
  bool length_ok = (type == RNG_TYPE_LCG && seed_len >= 1 && seed_len <= 8) ||
                   (type == RNG_TYPE_MT19937 && seed_len == 4) ||
                   (type == RNG_TYPE_SHA1 && seed_len == v7::kSha1GeneratorStateSize);
  if (seed == nullptr || !length_ok) return v7::with_errno<RANDOM_CTX *>(v7::kErrInvalidParameter, nullptr);
  RANDOM_CTX *ctx = new_record(type);
  if (ctx == nullptr) return v7::with_errno<RANDOM_CTX *>(v7::kErrOutOfMemory, nullptr);
  if (type == RNG_TYPE_LCG) {
    ctx->lcg_state = lcg_state_from(seed, seed_len);
  } else if (type == RNG_TYPE_MT19937) {
    v7::mt_seed(static_cast<v7::MtState *>(ctx->state), v7::load_be32(seed));
  } else {
    std::memcpy(ctx->state, seed, seed_len);
  }
  return ctx;
}

size_t rng_fill_bytes(uint8_t *out, RANDOM_CTX *ctx, size_t count) {
  if (ctx == nullptr || out == nullptr || count == 0) return v7::with_errno<size_t>(v7::kErrInvalidParameter, 0);
  switch (ctx->type) {
    case RNG_TYPE_LCG:
      return rng_lcg_bytes(out, ctx, count);
    case RNG_TYPE_MT19937:
      return rng_mt_bytes(out, ctx, count);
    case RNG_TYPE_SHA1:
      return rng_sha1_bytes(out, ctx, count);
    case RNG_TYPE_SYSTEM:
      if (system_bytes(out, count)) return count;
      // Leave nothing that could pass for random bytes.
      v7::secure_wipe(out, count);
      return v7::with_errno<size_t>(v7::kErrRandomContext, 0);
    default:
      return v7::with_errno<size_t>(v7::kErrRandomContext, 0);
  }
}

uint32_t rng_next_u32(RANDOM_CTX *ctx) {
  if (ctx == nullptr) return v7::with_errno<uint32_t>(v7::kErrInvalidParameter, 0);
  if (ctx->type == RNG_TYPE_MT19937) {
    if (ctx->state == nullptr) return v7::with_errno<uint32_t>(v7::kErrRandomContext, 0);
    return v7::mt_next(static_cast<v7::MtState *>(ctx->state));
  }
  uint8_t b[4];
  if (rng_fill_bytes(b, ctx, sizeof b) != sizeof b) return 0;  // errno set by the fill
  return v7::load_be32(b);
}

size_t rng_lcg_bytes(uint8_t *out, RANDOM_CTX *ctx, size_t count) {
  if (ctx == nullptr || out == nullptr || count == 0) return v7::with_errno<size_t>(v7::kErrInvalidParameter, 0);
  size_t leftover = count % 4;
  uint8_t *p = out;
  if (leftover != 0) {
    uint8_t word[4];
    v7::store_be32(word, v7::lcg_step(&ctx->lcg_state));
    std::memcpy(p, word + 4 - leftover, leftover);
    v7::secure_wipe(word, sizeof word);
    p += leftover;
  }
  for (size_t i = leftover; i < count; i += 4, p += 4) v7::store_be32(p, v7::lcg_step(&ctx->lcg_state));
  return count;
}

size_t rng_mt_bytes(uint8_t *out, RANDOM_CTX *ctx, size_t count) {
  if (ctx == nullptr || out == nullptr || count == 0) return v7::with_errno<size_t>(v7::kErrInvalidParameter, 0);
  if (ctx->state == nullptr) return v7::with_errno<size_t>(v7::kErrRandomContext, 0);
  v7::MtState *mt = static_cast<v7::MtState *>(ctx->state);
  size_t whole = count - count % 4;
  for (size_t i = 0; i < whole; i += 4) v7::store_be32(out + i, v7::mt_next(mt));
  if (size_t leftover = count % 4) {
    uint8_t word[4];
    v7::store_be32(word, v7::mt_next(mt));
    std::memcpy(out + whole, word + 4 - leftover, leftover);
    v7::secure_wipe(word, sizeof word);
  }
  return count;
}

size_t rng_sha1_bytes(uint8_t *out, RANDOM_CTX *ctx, size_t count) {
  if (ctx == nullptr || out == nullptr || count == 0) return v7::with_errno<size_t>(v7::kErrInvalidParameter, 0);
  if (ctx->state == nullptr) return v7::with_errno<size_t>(v7::kErrRandomContext, 0);
  uint8_t *x = static_cast<uint8_t *>(ctx->state);
  uint8_t g[v7::kSha1GeneratorStateSize];
  size_t leftover = count % sizeof g;
  uint8_t *p = out;
  bool ok = true;
  if (leftover != 0) {
    ok = v7::sha1_generator_round(x, g);
    if (ok) std::memcpy(p, g + sizeof g - leftover, leftover);
    p += leftover;
  }
  for (size_t i = leftover; ok && i < count; i += sizeof g, p += sizeof g) {
    ok = v7::sha1_generator_round(x, g);
    if (ok) std::memcpy(p, g, sizeof g);
  }
  v7::secure_wipe(g, sizeof g);
  if (!ok) {
    v7::secure_wipe(out, count);
    return v7::with_errno<size_t>(v7::kErrOutOfMemory, 0);
  }
  return count;
}

int bn_random_bits(uint32_t top_pattern, uint32_t *words, int bits, RANDOM_CTX *ctx, uint32_t low_pattern) {
  int top_len = bit_length(top_pattern);
  int low_len = bit_length(low_pattern);
  if (ctx == nullptr || words == nullptr || bits <= 0 || bits < top_len + low_len) {
    return v7::kErrInvalidParameter;
  }
  int count = (bits + 31) / 32;
  for (int i = 0; i < count; i++) {
    errno = 0;
    words[i] = rng_next_u32(ctx);
    if (errno != 0) {
      int code = errno;
      v7::secure_wipe(words, size_t(count) * sizeof(uint32_t));
      return code;
    }
  }
  if (bits % 32 != 0) words[count - 1] &= (uint32_t(1) << (bits % 32)) - 1;
  for (int i = 0; i < top_len; i++) set_bit(words, bits - top_len + i, (top_pattern >> i) & 1);
  for (int i = 0; i < low_len; i++) set_bit(words, i, (low_pattern >> i) & 1);
  return 0;
}

void rng_wipe(RANDOM_CTX *ctx) {
  if (ctx == nullptr) return;
  if (ctx->state != nullptr) {
    v7::secure_wipe(ctx->state, state_size(ctx->type));
    std::free(ctx->state);
    ctx->state = nullptr;
  }
  v7::secure_wipe(&ctx->lcg_state, sizeof ctx->lcg_state);
}

void rng_free(RANDOM_CTX *ctx) {
  if (ctx == nullptr) return;
  rng_wipe(ctx);
  v7::secure_wipe(ctx, sizeof *ctx);
  std::free(ctx);
}

int rand_seed32(uint8_t *out) {
  if (out == nullptr) return v7::kErrInvalidParameter;
  RANDOM_CTX system = {RNG_TYPE_SYSTEM, 0, nullptr};
  if (rng_fill_bytes(out, &system, 32) != 32) return errno;
  return 0;
}

void rng_set_system_source(RandomSource source) { g_system_source = source; }
