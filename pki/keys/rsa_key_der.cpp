#include "pki/keys/rsa_key_der.h"

#include <cstring>

#include "platform/errors/errno_util.h"
#include "pki/asn1/asn1.h"

namespace {

// The numbers of each encoding, in their DER order.
const int kPublicNumbers[] = {RSA_NUMBER_N, RSA_NUMBER_E};
const int kPrivateNumbers[] = {RSA_NUMBER_N, RSA_NUMBER_E,  RSA_NUMBER_D,  RSA_NUMBER_P,
                               RSA_NUMBER_Q, RSA_NUMBER_DP, RSA_NUMBER_DQ, RSA_NUMBER_QINV};
const uint8_t kVersionZero[] = {0x02, 0x01, 0x00};

constexpr size_t kMinModulusBytes = 512 / 8;

struct Number {
  const uint32_t *words;
  size_t count;
  size_t bytes;  // bit length / 8 + 1: positive and minimal, with a zero byte when the top bit is set
};

size_t bit_length(const uint32_t *words, size_t count) {
  while (count != 0 && words[count - 1] == 0) --count;
  if (count == 0) return 0;
  size_t bits = 32 * (count - 1);
  for (uint32_t top = words[count - 1]; top != 0; top >>= 1) ++bits;
  return bits;
}

uint8_t byte_at(const Number &n, size_t from_low) {
  size_t word = from_low / 4;
  return word < n.count ? uint8_t(n.words[word] >> (8 * (from_low % 4))) : 0;
}

size_t put_integer(const Number &n, uint8_t *out) {
  size_t header = rsa_der_put_tag_len(out, n.bytes, 0x02);
  if (out != nullptr)
    for (size_t i = 0; i < n.bytes; ++i) out[header + i] = byte_at(n, n.bytes - 1 - i);
  return header + n.bytes;
}

struct Integer {
  size_t used;            // the whole element
  size_t contents;        // as the codec stores it
  const uint8_t *number;  // from the first significant byte
  size_t len;
};

// One INTEGER of the key. The sign byte of a number whose top bit is set is not part of the
// number; negative numbers have no place in a key.
bool read_integer(const uint8_t *der, size_t available, Integer *out) {
  size_t header = der_read_header(der, available, 0x02, &out->contents);
  if (header == 0 || (der[header] & 0x80) != 0) return false;
  out->used = header + out->contents;
  out->number = der + header;
  out->len = out->contents;
  if (out->len > 1 && out->number[0] == 0) {
    ++out->number;
    --out->len;
  }
  return true;
}

}  // namespace

size_t rsa_der_put_tag_len(uint8_t *output, size_t length, uint8_t tag) {
  if (length > UINT32_MAX) return 0;
  return asn1_put_tag_len(output, uint32_t(length), tag);
}

size_t der_read_header(const uint8_t *input, size_t available, uint8_t expected_tag, size_t *length) {
  if (input == nullptr || length == nullptr || available < 3) return 0;
  const int saved = errno;  // a failed read is a plain 0 here, without a code
  ASN1_HEADER h;
  int rc = asn1_read_header(ASN1_MODE_DER, input, available, &h);
  errno = saved;
  if (rc != 0 || h.tag != expected_tag || (expected_tag & 0x1F) == 0x1F) return 0;
  size_t header = h.header_len;
  size_t contents = h.content_len;
  if (expected_tag == 0x02) {
    const uint8_t *p = input + header;
    if (contents == 0 || (contents > 1 && p[0] == 0xFF && (p[1] & 0x80) != 0)) return 0;
    header += asn1_integer_skip_zeros(&p, &contents);
  }
  *length = contents;
  return header;
}

size_t rsa_key_to_der(const RSA_CTX *key, int kind, uint8_t *output, size_t capacity) {
  if (key == nullptr || (kind != RSA_KIND_PUBLIC && kind != RSA_KIND_PRIVATE) ||
      (output == nullptr && capacity != 0))
    return v7::with_errno(v7::kErrInvalidParameter, size_t(0));
  int held = rsa_key_kind(key);
  if (held == 0) return 0;  // rsa_key_kind's code is in errno
  if (kind == RSA_KIND_PRIVATE && held != RSA_KIND_PRIVATE)
    return v7::with_errno(v7::kErrRsaNoKey, size_t(0));

  const int *which = kind == RSA_KIND_PUBLIC ? kPublicNumbers : kPrivateNumbers;
  const size_t count = kind == RSA_KIND_PUBLIC ? 2 : 8;
  Number numbers[8];
  size_t contents = kind == RSA_KIND_PRIVATE ? sizeof(kVersionZero) : 0;
  for (size_t i = 0; i < count; ++i) {
    Number &n = numbers[i];
    n.words = rsa_key_number(key, which[i], &n.count);
    if (n.words == nullptr) return 0;  // rsa_key_number's code is in errno
    n.bytes = bit_length(n.words, n.count) / 8 + 1;
    contents += put_integer(n, nullptr);
  }
  const size_t size = rsa_der_put_tag_len(nullptr, contents, 0x30) + contents;
  if (capacity == 0) return size;
  if (capacity < size) return v7::with_errno(v7::kErrInsufficientMemory, size_t(0));

  size_t pos = rsa_der_put_tag_len(output, contents, 0x30);
  if (kind == RSA_KIND_PRIVATE) {
    std::memcpy(output + pos, kVersionZero, sizeof(kVersionZero));
    pos += sizeof(kVersionZero);
  }
  for (size_t i = 0; i < count; ++i) pos += put_integer(numbers[i], output + pos);
  return pos;
}

int rsa_key_from_der(size_t length, const uint8_t *der, const uint8_t *pointers[RSA_DER_COUNT],
                     size_t lengths[RSA_DER_COUNT]) {
  if (der == nullptr || pointers == nullptr || lengths == nullptr) return 0;
  size_t contents;
  size_t header = der_read_header(der, length, 0x30, &contents);
  if (header == 0 || header + contents != length) return 0;
  const uint8_t *p = der + header;
  size_t left = contents;
  Integer numbers[RSA_DER_COUNT];
  auto next = [&](Integer *n) {
    if (!read_integer(p, left, n)) return false;
    p += n->used;
    left -= n->used;
    return true;
  };

  // A private key starts with its version 0, a public key with its modulus.
  if (!next(&numbers[0])) return 0;
  int kind = RSA_KIND_PUBLIC;
  if (numbers[0].contents == 1) {
    if (numbers[0].number[0] != 0x00) return 0;
    kind = RSA_KIND_PRIVATE;
    if (!next(&numbers[0])) return 0;
  }
  if (numbers[RSA_DER_N].len < kMinModulusBytes) return 0;
  const size_t count = kind == RSA_KIND_PUBLIC ? 2 : RSA_DER_COUNT;
  for (size_t i = 1; i < count; ++i)
    if (!next(&numbers[i])) return 0;
  if (numbers[RSA_DER_E].len > numbers[RSA_DER_N].len / 2 || left != 0) return 0;
  for (size_t i = 0; i < RSA_DER_COUNT; ++i) {
    pointers[i] = i < count ? numbers[i].number : nullptr;
    lengths[i] = i < count ? numbers[i].len : 0;
  }
  return kind;
}
