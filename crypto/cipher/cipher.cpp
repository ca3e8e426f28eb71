// The cipher context: key schedule, modes of operation and paddings over the primitives of
// internal.h.
#include "crypto/cipher/cipher.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/cipher/internal.h"

namespace {

using SetKeyFn = int (*)(const uint8_t *, size_t, void *);
using BlockFn = void (*)(const void *, const uint8_t *, uint8_t *);

constexpr size_t kMaxBlock = 16;

int rc2_128_set_key(const uint8_t *key, size_t key_len, void *schedule) {
  return rc2_set_key(key, key_len, 128, schedule);
}

int rc2_40_set_key(const uint8_t *key, size_t key_len, void *schedule) {
  return rc2_set_key(key, key_len, 40, schedule);
}

struct CipherInfo {
  int32_t id;
  size_t block_len;  // 1 marks the stream cipher
  size_t schedule_size;
  SetKeyFn set_key;
  BlockFn encrypt;
  BlockFn decrypt;
};

const CipherInfo kCiphers[] = {
    {kCrtCipherSeed, 16, kSeedScheduleSize, seed_set_key, seed_encrypt_block, seed_decrypt_block},
    {kCrtCipherAria, 16, kAriaScheduleSize, aria_set_key, aria_encrypt_block, aria_decrypt_block},
    {kCrtCipherTripleDes, 8, kTdesScheduleSize, tdes_set_key, tdes_encrypt_block, tdes_decrypt_block},
    {kCrtCipherTripleDesAlt, 8, kTdesScheduleSize, tdes_set_key, tdes_encrypt_block, tdes_decrypt_block},
    {kCrtCipherDes, 8, kDesScheduleSize, des_set_key, des_encrypt_block, des_decrypt_block},
    {kCrtCipherRc2, 8, kRc2ScheduleSize, rc2_128_set_key, rc2_encrypt_block, rc2_decrypt_block},
    {kCrtCipherRc2Bits40, 8, kRc2ScheduleSize, rc2_40_set_key, rc2_encrypt_block, rc2_decrypt_block},
    {kCrtCipherRc4, 1, kRc4ScheduleSize, rc4_set_key, nullptr, nullptr},
};

const CipherInfo *find_cipher(int32_t id) {
  for (const CipherInfo &c : kCiphers) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

bool is_stream(const CipherInfo *c) { return c->block_len == 1; }

// ---- Modes -------------------------------------------------------------------------------------

template <size_t B>
inline void xor_block(uint8_t *out, const uint8_t *a, const uint8_t *b) {
  static_assert(B % 8 == 0, "whole 64-bit words");
  for (size_t i = 0; i < B; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    x ^= y;
    std::memcpy(out + i, &x, 8);
  }
}

template <size_t B>
inline void increment_counter(uint8_t *counter) {
  for (size_t i = B; i-- > 0;) {
    if (++counter[i] != 0) break;
  }
}

// Runs `blocks` blocks through the mode, carrying the chaining value (CBC, CFB: the previous
// ciphertext block; OFB: the previous keystream block; CTR: the counter) in `chain`, so that a
// message can be fed in pieces. When in and out overlap, every mode keeps a copy of the
// ciphertext block it still needs before writing the output, so in may equal out.
template <size_t B>
void run_mode(const CipherInfo *c, const void *ks, int mode, bool encrypt, uint8_t *chain, const uint8_t *in,
              uint8_t *out, size_t blocks) {
  uint8_t t[B], saved[B];
  const BlockFn enc = c->encrypt;
  const uintptr_t in_at = reinterpret_cast<uintptr_t>(in), out_at = reinterpret_cast<uintptr_t>(out);
  const bool disjoint = in_at + blocks * B <= out_at || out_at + blocks * B <= in_at;
  switch (mode) {
    case kCrtModeEcb: {
      const BlockFn f = encrypt ? c->encrypt : c->decrypt;
      for (size_t n = 0; n < blocks; n++, in += B, out += B) f(ks, in, out);
      break;
    }
    case kCrtModeCbc:
      if (encrypt) {
        // The previous ciphertext block is read where it was written, not copied each time.
        const uint8_t *prev = chain;
        for (size_t n = 0; n < blocks; n++, in += B, out += B) {
          xor_block<B>(out, in, prev);
          enc(ks, out, out);
          prev = out;
        }
        if (blocks) std::memcpy(chain, prev, B);
      } else if (disjoint) {
        const BlockFn dec = c->decrypt;
        const uint8_t *prev = chain;
        for (size_t n = 0; n < blocks; n++, in += B, out += B) {
          dec(ks, in, out);
          xor_block<B>(out, out, prev);
          prev = in;
        }
        if (blocks) std::memcpy(chain, prev, B);
      } else {
        const BlockFn dec = c->decrypt;
        for (size_t n = 0; n < blocks; n++, in += B, out += B) {
          std::memcpy(saved, in, B);
          dec(ks, in, t);
          xor_block<B>(out, t, chain);
          std::memcpy(chain, saved, B);
        }
      }
      break;
    case kCrtModeCfb:
      for (size_t n = 0; n < blocks; n++, in += B, out += B) {
        enc(ks, chain, t);
        if (encrypt) {
          xor_block<B>(out, in, t);
          std::memcpy(chain, out, B);
        } else {
          std::memcpy(saved, in, B);
          xor_block<B>(out, in, t);
          std::memcpy(chain, saved, B);
        }
      }
      break;
    case kCrtModeOfb:
      for (size_t n = 0; n < blocks; n++, in += B, out += B) {
        enc(ks, chain, chain);
        xor_block<B>(out, in, chain);
      }
      break;
    case kCrtModeCtr:
      for (size_t n = 0; n < blocks; n++, in += B, out += B) {
        enc(ks, chain, t);
        xor_block<B>(out, in, t);
        increment_counter<B>(chain);
      }
      break;
  }
  v7::secure_wipe(t, B);
  v7::secure_wipe(saved, B);
}

void run_blocks(const CRT_CTX *ctx, bool encrypt, uint8_t *chain, const uint8_t *in, uint8_t *out,
                size_t blocks);

// ---- Paddings ----------------------------------------------------------------------------------

size_t padded_length(int padding, size_t len, size_t block) {
  size_t rem = len % block;
  if (padding == kCrtPaddingNone && rem == 0) return len;
  return len + (block - rem);
}

// The last block of the padded message: the input's tail behind `head` bytes, then the pad.
void build_last_block(int padding, const uint8_t *tail, size_t tail_len, size_t block, uint8_t *last) {
  size_t n = block - tail_len;
  uint8_t value = 0;
  if (padding == kCrtPaddingPkcs7) value = uint8_t(n);
  if (padding == kCrtPaddingNMinus1) value = uint8_t(n - 1);
  std::memcpy(last, tail, tail_len);
  std::memset(last + tail_len, value, n);
}

// Keeps the compiler from turning the masks below back into branches.
inline uint32_t value_barrier(uint32_t x) {
#if defined(__GNUC__) || defined(__clang__)
  __asm__("" : "+r"(x));
#endif
  return x;
}

// All ones when a < b, for a and b below 2^31.
inline uint32_t ct_lt_mask(uint32_t a, uint32_t b) { return value_barrier(0u - ((a - b) >> 31)); }
inline uint32_t ct_eq_mask(uint32_t a, uint32_t b) { return ct_lt_mask(a ^ b, 1); }

// Checks and removes a PKCS#7 or n-1 pad from the last block without branching on its bytes:
// every byte of the block is looked at, and only the final verdict decides. Returns the pad
// length, or 0 when the pad is malformed.
size_t strip_counted_pad(int padding, uint8_t *last, size_t block) {
  uint32_t value = last[block - 1];
  uint32_t n = padding == kCrtPaddingPkcs7 ? value : value + 1;
  uint32_t good = ct_lt_mask(0, n) & ct_lt_mask(n, uint32_t(block) + 1);
  for (uint32_t i = 0; i < block; i++) {
    uint32_t in_pad = ct_lt_mask(i, n);
    good &= ~in_pad | ct_eq_mask(last[block - 1 - i], value);
  }
  for (uint32_t i = 0; i < block; i++) {
    last[block - 1 - i] &= uint8_t(~(ct_lt_mask(i, n) & good));
  }
  return (good & 1) ? n : 0;
}

// The zero pad's length: every trailing zero of the last block, at least one. 0 when the last
// byte is not zero.
size_t strip_zero_pad(const uint8_t *last, size_t block) {
  size_t n = 0;
  while (n < block && last[block - 1 - n] == 0) n++;
  return n;
}

}  // namespace

struct CRT_CTX {
  const CipherInfo *cipher;
  int32_t cipher_id;
  int mode;
  int padding;
  void *schedule;
  uint8_t *iv;  // one block, present in modes 2..5 only
  // Set by a successful cipher_set_key only: an unkeyed schedule would encrypt under zeros or
  // under the remains of a half-built key.
  bool keyed;
};

namespace {

void run_blocks(const CRT_CTX *ctx, bool encrypt, uint8_t *chain, const uint8_t *in, uint8_t *out,
                size_t blocks) {
  if (ctx->cipher->block_len == 16) {
    run_mode<16>(ctx->cipher, ctx->schedule, ctx->mode, encrypt, chain, in, out, blocks);
  } else {
    run_mode<8>(ctx->cipher, ctx->schedule, ctx->mode, encrypt, chain, in, out, blocks);
  }
}

void load_chain(const CRT_CTX *ctx, uint8_t *chain) {
  if (ctx->iv) {
    std::memcpy(chain, ctx->iv, ctx->cipher->block_len);
  } else {
    std::memset(chain, 0, kMaxBlock);
  }
}

// What both directions refuse before looking at lengths, in this order; 0 when the call may go on.
int refusal(const CRT_CTX *ctx, const uint8_t *in, size_t in_len, const uint8_t *out) {
  if (!ctx || !in || !out || in_len == 0) return v7::kErrInvalidParameter;
  if (!ctx->keyed) return v7::kErrCrtContext;
  if (!is_stream(ctx->cipher) && ctx->mode != kCrtModeEcb && !ctx->iv) return v7::kErrCrtContext;
  return 0;
}

// RC4 encrypts and decrypts alike, continuing its stream; mode, padding and IV play no part.
size_t stream_crypt(CRT_CTX *ctx, const uint8_t *in, size_t in_len, uint8_t *out, size_t out_capacity) {
  if (out_capacity < in_len) return v7::with_errno<size_t>(v7::kErrInsufficientBuffer, 0);
  return rc4_process(ctx->schedule, in, in_len, out);
}

void release_iv(CRT_CTX *ctx) {
  if (!ctx->iv) return;
  v7::secure_wipe(ctx->iv, ctx->cipher->block_len);
  delete[] ctx->iv;
  ctx->iv = nullptr;
}

}  // namespace

CRT_CTX *cipher_new(int32_t cipher_id) {
  const CipherInfo *c = find_cipher(cipher_id);
  if (!c) return v7::with_errno<CRT_CTX *>(v7::kErrUnsupportedCipher, nullptr);
  CRT_CTX *ctx =
      new (std::nothrow) CRT_CTX{c, cipher_id, kCrtModeEcb, kCrtPaddingNone, nullptr, nullptr, false};
  void *schedule = ::operator new(c->schedule_size, std::nothrow);
  if (!ctx || !schedule) {
    delete ctx;
    ::operator delete(schedule);
    return v7::with_errno<CRT_CTX *>(v7::kErrOutOfMemory, nullptr);
  }
  std::memset(schedule, 0, c->schedule_size);
  ctx->schedule = schedule;
  return ctx;
}

void cipher_free(CRT_CTX *ctx) {
  if (!ctx) return;
  if (ctx->schedule) {
    v7::secure_wipe(ctx->schedule, ctx->cipher->schedule_size);
    ::operator delete(ctx->schedule);
  }
  release_iv(ctx);
  v7::secure_wipe(ctx, sizeof *ctx);
  ctx->mode = kCrtModeEcb;
  ctx->padding = kCrtPaddingNone;
  delete ctx;
}

int cipher_set_key(CRT_CTX *ctx, const uint8_t *key, size_t key_len) {
  if (!ctx) return v7::with_errno(v7::kErrInvalidParameter, 0);
  // Whatever fails from here on, the old key is gone: a caller that ignores the failure must not
  // go on encrypting under it.
  ctx->keyed = false;
  if (!key || key_len == 0) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (!ctx->schedule) return v7::with_errno(v7::kErrCrtContext, 0);
  if (!ctx->cipher) return v7::with_errno(v7::kErrUnsupportedCipher, 0);
  int block = ctx->cipher->set_key(key, key_len, ctx->schedule);
  if (block == 0) {
    int code = errno;
    v7::secure_wipe(ctx->schedule, ctx->cipher->schedule_size);
    return v7::with_errno(code, 0);
  }
  ctx->keyed = true;
  return block;
}

int cipher_set_mode(int padding, CRT_CTX *ctx, int mode, const uint8_t *iv, size_t iv_len) {
  if (!ctx) return v7::with_errno(v7::kErrInvalidParameter, 0);
  if (padding < kCrtPaddingPkcs7 || padding > kCrtPaddingNMinus1) {
    return v7::with_errno(v7::kErrUnsupportedPadding, 0);
  }
  if (mode < kCrtModeEcb || mode > kCrtModeCtr || (padding == kCrtPaddingNMinus1 && mode != kCrtModeCbc)) {
    return v7::with_errno(v7::kErrUnsupportedCipherMode, 0);
  }
  const size_t block = ctx->cipher->block_len;
  if (mode == kCrtModeEcb || is_stream(ctx->cipher)) {
    release_iv(ctx);
  } else {
    if (!iv) return v7::with_errno(v7::kErrInvalidParameter, 0);
    if (iv_len != block) return v7::with_errno(v7::kErrInvalidIv, 0);
    if (!ctx->iv) {
      ctx->iv = new (std::nothrow) uint8_t[block];
      if (!ctx->iv) return v7::with_errno(v7::kErrOutOfMemory, 0);
    }
    std::memcpy(ctx->iv, iv, block);
  }
  ctx->padding = padding;
  ctx->mode = mode;
  return int(block);
}

int cipher_block_len(int32_t cipher_id) {
  const CipherInfo *c = find_cipher(cipher_id);
  if (!c) return v7::with_errno(v7::kErrUnsupportedCipher, 0);
  return int(c->block_len);
}

size_t cipher_encrypt(CRT_CTX *ctx, const uint8_t *in, size_t in_len, uint8_t *out, size_t out_capacity) {
  if (int code = refusal(ctx, in, in_len, out)) return v7::with_errno<size_t>(code, 0);
  if (is_stream(ctx->cipher)) return stream_crypt(ctx, in, in_len, out, out_capacity);
  const size_t block = ctx->cipher->block_len;
  if (in_len > SIZE_MAX - block) return v7::with_errno<size_t>(v7::kErrInsufficientBuffer, 0);
  const size_t padded = padded_length(ctx->padding, in_len, block);
  if (out_capacity < padded) return v7::with_errno<size_t>(v7::kErrInsufficientBuffer, 0);

  // The last block is assembled before anything is written, so that in may equal out.
  const size_t head = padded - block;
  uint8_t last[kMaxBlock], chain[kMaxBlock];
  build_last_block(ctx->padding, in + head, in_len - head, block, last);
  load_chain(ctx, chain);
  run_blocks(ctx, true, chain, in, out, head / block);
  run_blocks(ctx, true, chain, last, out + head, 1);
  v7::secure_wipe(last, sizeof last);
  v7::secure_wipe(chain, sizeof chain);
  return padded;
}

size_t cipher_decrypt(CRT_CTX *ctx, const uint8_t *in, size_t in_len, uint8_t *out, size_t out_capacity) {
  if (int code = refusal(ctx, in, in_len, out)) return v7::with_errno<size_t>(code, 0);
  if (is_stream(ctx->cipher)) return stream_crypt(ctx, in, in_len, out, out_capacity);
  const size_t block = ctx->cipher->block_len;
  if (in_len % block != 0) return v7::with_errno<size_t>(v7::kErrInvalidCipherText, 0);
  if (out_capacity < in_len) return v7::with_errno<size_t>(v7::kErrInsufficientBuffer, 0);

  uint8_t chain[kMaxBlock];
  load_chain(ctx, chain);
  run_blocks(ctx, false, chain, in, out, in_len / block);
  v7::secure_wipe(chain, sizeof chain);

  uint8_t *last = out + in_len - block;
  size_t pad = 0;
  switch (ctx->padding) {
    case kCrtPaddingPkcs7:
    case kCrtPaddingNMinus1:
      pad = strip_counted_pad(ctx->padding, last, block);
      break;
    case kCrtPaddingZero:
      pad = strip_zero_pad(last, block);
      break;
    default:
      return in_len;
  }
  if (pad == 0) {
    // Nothing of a message that failed its check may reach the caller.
    v7::secure_wipe(out, in_len);
    return v7::with_errno<size_t>(v7::kErrSymmetricDecrypt, 0);
  }
  // A message that was nothing but padding is a success of length 0; errno tells it apart.
  if (pad == in_len) return v7::with_errno<size_t>(0, 0);
  return in_len - pad;
}

size_t cipher_seed_cbc_encrypt(const uint8_t *key, const uint8_t *iv, const uint8_t *in, size_t in_len,
                               uint8_t *out, size_t out_capacity) {
  CRT_CTX *ctx = cipher_new(kCrtCipherSeed);
  size_t n = 0;
  bool ok = ctx && cipher_set_key(ctx, key, 16) &&
            cipher_set_mode(kCrtPaddingPkcs7, ctx, kCrtModeCbc, iv, 16) &&
            (n = cipher_encrypt(ctx, in, in_len, out, out_capacity)) != 0;
  int code = errno;
  cipher_free(ctx);
  return ok ? n : v7::with_errno<size_t>(code, 0);
}

size_t cipher_decrypt_oneshot(int32_t cipher_id, const uint8_t *key, size_t key_len, const uint8_t *iv,
                              size_t iv_len, const uint8_t *in, size_t in_len, uint8_t *out,
                              size_t out_capacity) {
  CRT_CTX *ctx = cipher_new(cipher_id);
  size_t n = 0;
  bool ok = ctx && cipher_set_key(ctx, key, key_len) &&
            cipher_set_mode(kCrtPaddingPkcs7, ctx, kCrtModeCbc, iv, iv_len);
  if (ok) {
    n = cipher_decrypt(ctx, in, in_len, out, out_capacity);
    ok = n != 0 || errno == 0;
  }
  int code = ok ? 0 : errno;
  cipher_free(ctx);
  return v7::with_errno<size_t>(code, n);
}

void xor_bytes(uint8_t *out, size_t len, const uint8_t *a, const uint8_t *b) {
  if (len == 0) return;
  if (!out || !a || !b) {
    errno = v7::kErrInvalidParameter;
    return;
  }
  size_t i = 0;
  for (; i + 8 <= len; i += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    x ^= y;
    std::memcpy(out + i, &x, 8);
  }
  for (; i < len; i++) out[i] = a[i] ^ b[i];
}
