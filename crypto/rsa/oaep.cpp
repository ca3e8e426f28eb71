// EME-OAEP (RFC 8017 7.1).
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errors/errno_util.h"
#include "crypto/base/wipe.h"
#include "crypto/hash/hash.h"
#include "crypto/rsa/internal.h"

namespace {

bool label_agrees(const OAEP_PARAMS *p) { return (p->label == nullptr) == (p->label_len == 0); }

const OAEP_PARAMS *oaep_params(const void *params) {
  return params != nullptr ? static_cast<const OAEP_PARAMS *>(params) : &v7::kRsaOaepDefault;
}

}  // namespace

int rsa_pad_oaep(const void *params, int bits, const uint8_t *msg, size_t msg_len, uint8_t *out,
                 size_t out_capacity) {
  if ((msg == nullptr && msg_len != 0) || out == nullptr || bits <= 0)
    return v7::with_errno(v7::kErrInvalidParameter, 0);
  const OAEP_PARAMS *p = oaep_params(params);
  size_t k = (size_t(bits) + 7) / 8;
  if (out_capacity < k) return v7::with_errno(v7::kErrInsufficientBuffer, 0);
  if (!label_agrees(p)) return v7::with_errno(v7::kErrIncorrectOaepParameter, 0);
  size_t h_len = v7::rsa_hash_len(p->hash_type);
  if (h_len == 0) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  if (k < 2 * h_len + 2 || msg_len > k - 2 * h_len - 2) return v7::with_errno(v7::kErrEncodeEme, 0);
  // 00 || maskedSeed || maskedDB with DB = Hash(label) || zeros || 01 || message.
  uint8_t *seed = out + 1, *db = out + 1 + h_len;
  size_t db_len = k - h_len - 1;
  out[0] = 0x00;
  int code = 0;
  if (hash_digest(h_len, db, p->hash_type, p->label, p->label_len) == 0) code = errno;
  if (code == 0) {
    std::memset(db + h_len, 0, db_len - h_len - msg_len - 1);
    db[db_len - msg_len - 1] = 0x01;
    if (msg_len != 0) std::memcpy(db + db_len - msg_len, msg, msg_len);
    code = v7::rsa_given_or_random(seed, p->seed, h_len);
  }
  if (code == 0 && (!rsa_mgf_xor(p->mgf, db_len, seed, h_len, db, db) ||
                    !rsa_mgf_xor(p->mgf, h_len, db, db_len, seed, seed))) {
    code = errno;
  }
  if (code != 0) {
    v7::secure_wipe(out, k);
    return v7::with_errno(code, 0);
  }
  return int(k);
}

int rsa_unpad_oaep(const void *params, int bits, const uint8_t *block, size_t block_len, uint8_t *out,
                   size_t out_capacity) {
  if (block == nullptr || out == nullptr || bits <= 0) return v7::with_errno(v7::kErrInvalidParameter, 0);
  const OAEP_PARAMS *p = oaep_params(params);
  size_t k = (size_t(bits) + 7) / 8;
  if (block_len != k) return v7::with_errno(v7::kErrDecodeEme, 0);
  if (!label_agrees(p)) return v7::with_errno(v7::kErrIncorrectOaepParameter, 0);
  size_t h_len = v7::rsa_hash_len(p->hash_type);
  if (h_len == 0) return v7::with_errno(v7::kErrUnsupportedHash, 0);
  if (k < 2 * h_len + 2) return v7::with_errno(v7::kErrDecodeEme, 0);
  size_t db_len = k - h_len - 1;
  uint8_t *work = static_cast<uint8_t *>(std::malloc(k));
  if (work == nullptr) return v7::with_errno(v7::kErrOutOfMemory, 0);
  uint8_t *seed = work + 1, *db = work + 1 + h_len;
  uint8_t l_hash[HASH_MAX_DIGEST_LEN];
  int code = 0;
  if (!rsa_mgf_xor(p->mgf, h_len, block + 1 + h_len, db_len, block + 1, seed) ||
      !rsa_mgf_xor(p->mgf, db_len, seed, h_len, block + 1 + h_len, db) ||
      hash_digest(sizeof l_hash, l_hash, p->hash_type, p->label, p->label_len) == 0) {
    code = errno;
  }
  size_t msg_len = 0;
  if (code == 0) {
    // The leading zero, the label hash, the zero run and the 01 byte are all judged as masks and
    // merged into one verdict, so that no failure is told apart from another (Manger).
    size_t good = v7::ct_mask_zero(block[0]) & (0 - size_t(v7::ct_memeq(db, l_hash, h_len)));
    size_t looking = ~size_t(0), one_index = 0, bad_byte = 0;
    for (size_t i = h_len; i < db_len; i++) {
      size_t is_one = v7::ct_mask_eq(db[i], 1), is_zero = v7::ct_mask_zero(db[i]);
      one_index = v7::ct_select(looking & is_one, i, one_index);
      bad_byte |= looking & ~is_one & ~is_zero;
      looking &= ~is_one;
    }
    good &= ~looking & ~bad_byte;
    if (good == 0) {
      code = v7::kErrDecodeEme;
    } else {
      msg_len = db_len - one_index - 1;
      if (msg_len > out_capacity) {
        code = v7::kErrInsufficientBuffer;
      } else {
        std::memcpy(out, db + one_index + 1, msg_len);
      }
    }
  }
  v7::secure_wipe(work, k);
  std::free(work);
  return v7::with_errno(code, code == 0 ? int(msg_len) : 0);
}
