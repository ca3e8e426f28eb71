// EMSA-PSS (RFC 8017 9.1).
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "crypto/rsa/internal.h"

namespace {

// H = Hash(eight zero bytes || Hash(message) || salt) into h (h_len bytes). Returns 1 or 0.
int pss_hash(int hash_type, const uint8_t *msg, size_t msg_len, const uint8_t *salt, size_t salt_len,
             uint8_t *h) {
  uint8_t m_hash[HASH_MAX_DIGEST_LEN];
  int len = hash_digest(sizeof m_hash, m_hash, hash_type, msg, msg_len);
  if (len == 0) return 0;
  HASH_CTX *ctx = hash_new(hash_type);
  if (ctx == nullptr) return 0;
  static const uint8_t kZeros[8] = {0};
  hash_update(ctx, kZeros, sizeof kZeros);
  hash_update(ctx, m_hash, size_t(len));
  hash_update(ctx, salt, salt_len);
  hash_final(ctx, h);
  hash_free(ctx);
  return 1;
}

const PSS_PARAMS *pss_params(const void *params) {
  return params != nullptr ? static_cast<const PSS_PARAMS *>(params) : &v7::kRsaPssDefault;
}

// The bits of the first byte above emBits = bits - 1.
unsigned top_bits_to_clear(int bits, size_t em_len) { return unsigned(8 * em_len - size_t(bits - 1)); }

}  // namespace

int rsa_pad_pss(const void *params, int bits, const uint8_t *msg, size_t msg_len, uint8_t *out,
                size_t out_capacity) {
  if ((msg == nullptr && msg_len != 0) || out == nullptr || bits <= 0)
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  const PSS_PARAMS *p = pss_params(params);
  size_t h_len = v7::rsa_hash_len(p->hash_type), s_len = p->salt_len;
  if (h_len == 0) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  size_t em_len = (size_t(bits) + 6) / 8;
  if (em_len < h_len + 2 || s_len > em_len - h_len - 2) return v7::with_errno(v7::kErrSignatureEncode, 0);
  if (out_capacity < em_len) return v7::with_errno(v7::kErrInsufficientMemory, 0);
  // DB = zeros || 01 || salt, then H, then the trailer byte; the salt is drawn into its place.
  size_t db_len = em_len - h_len - 1;
  uint8_t *salt = out + db_len - s_len, *h = out + db_len;
  std::memset(out, 0, db_len - s_len - 1);
  out[db_len - s_len - 1] = 0x01;
  int code = v7::rsa_given_or_random(salt, p->salt, s_len);
  if (code == 0 && (!pss_hash(p->hash_type, msg, msg_len, salt, s_len, h) ||
                    !rsa_mgf_xor(p->mgf, db_len, h, h_len, out, out))) {
    code = errno;
  }
  if (code != 0) {
    v7::secure_wipe(out, em_len);
    return v7::with_errno(code, 0);
  }
  out[em_len - 1] = p->trailer;
  out[0] &= uint8_t(0xFF >> top_bits_to_clear(bits, em_len));
  return int(em_len);
}

int rsa_verify_pss(const void *params, int bits, const uint8_t *msg, size_t msg_len, const uint8_t *block,
                   size_t block_len) {
  if ((msg == nullptr && msg_len != 0) || block == nullptr || bits <= 0)
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  const PSS_PARAMS *p = pss_params(params);
  size_t h_len = v7::rsa_hash_len(p->hash_type), s_len = p->salt_len;
  if (h_len == 0) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  size_t em_len = (size_t(bits) + 6) / 8, k = (size_t(bits) + 7) / 8;
  // The k-byte rendering of a modulus of 8j + 1 bits carries one leading zero byte before EM.
  if (k == em_len + 1 && block_len == k && block[0] == 0x00) {
    block++;
    block_len--;
  }
  // Every offset below is bounded by this check: a small modulus cannot hold H, the salt and the
  // 01 byte, and must not make the position of 01 negative.
  if (block_len != em_len || em_len < h_len + 2 || s_len > em_len - h_len - 2) {
    return v7::with_errno(v7::kErrVerifySignature, 0);
  }
  unsigned clear = top_bits_to_clear(bits, em_len);
  if (block[em_len - 1] != p->trailer || (block[0] >> (8 - clear)) != 0) {
    return v7::with_errno(v7::kErrVerifySignature, 0);
  }
  size_t db_len = em_len - h_len - 1, ps_len = db_len - s_len - 1;
  const uint8_t *h = block + db_len;
  uint8_t *db = static_cast<uint8_t *>(std::malloc(db_len));
  if (db == nullptr) return v7::with_errno(v7::kErrOutOfMemory, 0);
  uint8_t h2[HASH_MAX_DIGEST_LEN];
  int code = 0;
  if (!rsa_mgf_xor(p->mgf, db_len, h, h_len, block, db)) {
    code = errno;
  } else {
    db[0] &= uint8_t(0xFF >> clear);
    bool layout_ok = db[ps_len] == 0x01;
    for (size_t i = 0; i < ps_len; i++) layout_ok = layout_ok && db[i] == 0;
    if (!layout_ok) {
      code = v7::kErrVerifySignature;
    } else if (!pss_hash(p->hash_type, msg, msg_len, db + ps_len + 1, s_len, h2)) {
      code = errno;
    } else if (!v7::ct_memeq(h2, h, h_len)) {
      code = v7::kErrVerifySignature;
    }
  }
  v7::secure_wipe(db, db_len);
  std::free(db);
  return code == 0 ? 1 : v7::with_errno(code, 0);
}
