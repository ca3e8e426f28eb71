#include "platform/errors/errno_util.h"
#include "pki/asn1/key_types.h"
#include "pki/x509/algorithms.h"

using v7::with_errno;

namespace {

// A component that DER reads as a negative INTEGER is no RSA number.
bool negative(const ASN1_BYTES &b) { return b.data != nullptr && b.len != 0 && (b.data[0] & 0x80) != 0; }

int load_public(const RSAPublicKey &key, RSA_CTX *ctx) {
  if (negative(key.modulus) || negative(key.public_exponent)) return with_errno(v7::kErrRsaIncorrectKey, 0);
  return rsa_set_public_key(ctx, key.modulus.data, key.modulus.len, key.public_exponent.data,
                            key.public_exponent.len);
}

int load_private(const RSAPrivateKey &key, RSA_CTX *ctx) {
  // Only two-prime keys of version 0 exist for this toolkit; version 1 (multi-prime) and
  // anything else is refused, as is a list of further primes under version 0.
  if (key.version.len != 1 || key.version.data == nullptr || key.version.data[0] != 0 ||
      key.other_prime_infos != nullptr)
    return with_errno(v7::kErrRsaIncorrectKey, 0);
  const ASN1_BYTES *parts[] = {&key.modulus, &key.public_exponent, &key.private_exponent, &key.prime1,
                               &key.prime2,  &key.exponent1,       &key.exponent2,        &key.coefficient};
  for (const ASN1_BYTES *p : parts)
    if (negative(*p)) return with_errno(v7::kErrRsaIncorrectKey, 0);
  return rsa_set_private_key(ctx, key.modulus.data, key.modulus.len, key.public_exponent.data,
                             key.public_exponent.len, key.private_exponent.data, key.private_exponent.len,
                             key.prime1.data, key.prime1.len, key.prime2.data, key.prime2.len,
                             key.exponent1.data, key.exponent1.len, key.exponent2.data, key.exponent2.len,
                             key.coefficient.data, key.coefficient.len);
}

// True when the length octets announce more bytes than there are (a key cut short), which the
// callers tell apart from a malformed key.
bool element_overruns(const uint8_t *der, size_t length) {
  if (length < 2) return true;
  const uint8_t first = der[1];
  if (first < 0x80) return 2u + first > length;
  const size_t count = first & 0x7F;
  if (count == 0 || count > 4) return false;  // the codec names these faults
  if (2 + count > length) return true;
  uint64_t content = 0;
  for (size_t i = 0; i < count; ++i) content = (content << 8) | der[2 + i];
  return 2 + count + content > length;
}

}  // namespace

int rsa_key_decode(const uint8_t *der, size_t length, int kind, RSA_CTX *ctx) {
  // The key held before goes whatever happens, as with the set-key functions: a failed load must
  // not leave an earlier key in use.
  rsa_clear(ctx);
  if (der == nullptr || length == 0 || ctx == nullptr || (kind != RSA_DER_PUBLIC && kind != RSA_DER_PRIVATE))
    return with_errno(v7::kErrInvalidParameter, 0);
  if (element_overruns(der, length)) return with_errno(v7::kErrAsn1Decode, 0);
  const ASN1_TEMPLATE *tmpl = kind == RSA_DER_PUBLIC ? &asn1_tmpl_rsa_public_key : &asn1_tmpl_rsa_private_key;
  void *record = asn1_decode_alloc(ASN1_MODE_DER, der, tmpl, length);
  if (record == nullptr) return with_errno(errno, 0);
  int bits = kind == RSA_DER_PUBLIC ? load_public(*static_cast<const RSAPublicKey *>(record), ctx)
                                    : load_private(*static_cast<const RSAPrivateKey *>(record), ctx);
  const int code = bits == 0 ? errno : 0;
  // The release wipes the decoded numbers, the private ones among them.
  asn1_release(tmpl, record);
  return with_errno(code, bits);
}

int rsa_modulus_bytes(const RSA_CTX *ctx) {
  if (ctx == nullptr) return with_errno(v7::kErrInvalidParameter, 0);
  if (ctx->kind == 0 || ctx->words == nullptr) return with_errno(v7::kErrRsaNoKey, 0);
  size_t words = 0;
  const uint32_t *n = rsa_key_number(ctx, RSA_NUMBER_N, &words);
  if (n == nullptr) return with_errno(errno, 0);
  while (words > 0 && n[words - 1] == 0) --words;
  if (words == 0) return with_errno(v7::kErrRsaContext, 0);
  uint32_t top = n[words - 1];
  size_t bits = (words - 1) * 32;
  while (top != 0) {
    ++bits;
    top >>= 1;
  }
  return with_errno(0, int((bits + 7) / 8));
}
