#include <cstdlib>

#include "platform/errors/errno_util.h"
#include "crypto/rsa/rsa.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"
#include "pki/x509/cert.h"
#include "pki/x509/internal.h"

namespace v7 {
namespace x509 {

DecodedCert::DecodedCert(const uint8_t *der, size_t length) : cert_(nullptr), error_(0) {
  if (der == nullptr || length == 0) {
    error_ = kErrInvalidParameter;
    return;
  }
  cert_ = static_cast<Certificate *>(asn1_decode_alloc(ASN1_MODE_DER, der, &asn1_tmpl_certificate, length));
  if (cert_ == nullptr) error_ = errno;
}

DecodedCert::~DecodedCert() { asn1_release(&asn1_tmpl_certificate, cert_); }

}  // namespace x509
}  // namespace v7

using v7::with_errno;
using v7::x509::DecodedCert;

// The decoded certificate of these readers is released inside their block, before errno is set:
// the release frees memory, and whatever the C library does to errno there must not replace the
// code.
int cert_hash_alg(const uint8_t *der, size_t length) {
  int code = 0, id = 0;
  {
    DecodedCert cert(der, length);
    if (cert.get() == nullptr)
      code = cert.error();
    else
      id = oid_to_id(&cert.get()->signature_algorithm.algorithm);
  }
  // Any other algorithm is an answer, not a failure: the unknown-OID code must not leak out.
  return with_errno(code, id == OID_SHA256_WITH_RSA || id == OID_SHA1_WITH_RSA ? id : 0);
}

int cert_rsa_key_bits(const Certificate *cert) {
  if (cert == nullptr) return with_errno(v7::kErrInvalidParameter, 0);
  const ASN1_BIT_STRING &key = cert->tbs.subject_public_key_info.subject_public_key;
  if (key.data == nullptr || key.len == 0 || key.unused_bits != 0)
    return with_errno(v7::kErrRsaIncorrectKey, 0);
  RSA_CTX *ctx = rsa_new();
  if (ctx == nullptr) return with_errno(v7::kErrOutOfMemory, 0);
  int bits = rsa_key_decode(key.data, key.len, RSA_DER_PUBLIC, ctx);
  int code = bits == 0 ? errno : 0;
  rsa_free(ctx);
  return with_errno(code, bits);
}

int cert_key_bits(const uint8_t *der, size_t length) {
  int code = 0, bits = 0;
  {
    DecodedCert cert(der, length);
    if (cert.get() == nullptr)
      code = cert.error();
    else if ((bits = cert_rsa_key_bits(cert.get())) == 0)
      code = errno;
  }
  return with_errno(code, bits);
}

size_t cert_subject_der(const uint8_t *der, size_t length, uint8_t **out, size_t *out_len) {
  if (out == nullptr || out_len == nullptr) return with_errno(v7::kErrInvalidParameter, size_t(0));
  *out = nullptr;
  *out_len = 0;
  int code = 0;
  size_t n = 0;
  {
    DecodedCert cert(der, length);
    if (cert.get() == nullptr)
      code = cert.error();
    else if ((n = asn1_encode_new(&cert.get()->tbs.subject, &asn1_tmpl_name, out, out_len)) == 0)
      code = errno;
  }
  return with_errno(code, n);
}

void cert_nodes_free(CERT_NODE *list) {
  // Reversed in place first, so that the nodes go from the tail without recursion.
  CERT_NODE *reversed = nullptr;
  while (list != nullptr) {
    CERT_NODE *next = list->next;
    list->next = reversed;
    reversed = list;
    list = next;
  }
  while (reversed != nullptr) {
    CERT_NODE *next = reversed->next;
    if (reversed->flag == 0) asn1_release(&asn1_tmpl_certificate, reversed->cert);
    free(reversed);
    reversed = next;
  }
}
