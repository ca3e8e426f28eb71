// The files a user or a peer hands over, on arbitrary bytes: key files, PKCS#12 files,
// certificates through every accessor the dialogs and the validation use, and signed data. The
// first byte chooses the reader. Besides memory safety: a reader that fails returns nothing.
#include <cstdint>
#include <cstdlib>

#include "pki/asn1/key_types.h"
#include "pki/cms/cms.h"
#include "pki/keys/pkcs12.h"
#include "pki/keys/pkcs8.h"
#include "pki/oid/oid.h"
#include "pki/x509/algorithms.h"
#include "pki/x509/cert.h"
#include "pki/x509/name.h"

namespace {

const char kPassword[] = "Fixture1!";

void read_key_file(const uint8_t *data, size_t size) {
  PrivateKeyInfo *key = pkey_decrypt(data, size, kPassword);
  asn1_release(&asn1_tmpl_private_key_info, key);
}

void read_pkcs12(const uint8_t *data, size_t size) {
  Certificate *sign_cert = nullptr, *km_cert = nullptr;
  PrivateKeyInfo *sign_key = nullptr, *km_key = nullptr;
  const PKCS12_OUTPUTS out = {&sign_cert, &sign_key, &km_cert, &km_key};
  int found = pkcs12_import(&out, kPassword, data, size);
  if (found == 0 && (sign_cert || sign_key || km_cert || km_key)) abort();
  asn1_release(&asn1_tmpl_certificate, sign_cert);
  asn1_release(&asn1_tmpl_certificate, km_cert);
  asn1_release(&asn1_tmpl_private_key_info, sign_key);
  asn1_release(&asn1_tmpl_private_key_info, km_key);
}

void read_certificate(const uint8_t *data, size_t size) {
  cert_hash_alg(data, size);
  cert_key_bits(data, size);
  uint8_t *subject = nullptr;
  size_t subject_len = 0;
  if (cert_subject_der(data, size, &subject, &subject_len) == 0 && subject != nullptr) abort();
  free(subject);
  auto *cert = static_cast<Certificate *>(asn1_decode_alloc(ASN1_MODE_DER, data, &asn1_tmpl_certificate, size));
  if (cert == nullptr) return;
  char *text = nullptr;
  if (cert_name_to_text(&cert->tbs.subject, &text) >= 0) free(text);
  text = nullptr;
  if (cert_validity_text(cert, &text) != 0) free(text);
  cert_validity_state(cert);
  name_compare(&cert->tbs.subject, &cert->tbs.issuer);
  const Extension *ku = cert_find_extension(cert, OID_EXT_KEY_USAGE);
  if (ku != nullptr) {
    auto *bits = static_cast<ASN1_BIT_STRING *>(
        asn1_decode_alloc(ASN1_MODE_DER, ku->extn_value.data, &asn1_tmpl_bit_string, ku->extn_value.len));
    if (bits != nullptr) cert_key_usage_ok(0, bits);
    asn1_release(&asn1_tmpl_bit_string, bits);
  }
  ERROR_CTX errors{};
  const uint8_t random[20] = {};
  cms_check_identity("8001011234567", random, &errors, cert, 13, sizeof random);
  err_ctx_clear(&errors);
  asn1_release(&asn1_tmpl_certificate, cert);
}

void read_signed_data(const uint8_t *data, size_t size, int content_info) {
  ERROR_CTX errors{};
  CMS_VERIFY_INFO info{};
  info.content_info = content_info;
  info.validation_mode = CMS_VALIDATION_NONE;
  info.flags = CMS_FLAG_RETURN_RANDOM | CMS_FLAG_RETURN_SIGNER_CERT;
  uint8_t *content = nullptr;
  size_t content_len = 0;
  if (cms_verify_signed(&errors, nullptr, data, size, &content, &content_len, &info) != 0 && content != nullptr)
    abort();
  free(content);
  cms_verify_info_clear(&info);
  err_ctx_clear(&errors);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const uint8_t *body = data + 1;
  size_t body_size = size - 1;
  switch (data[0] % 5) {
    case 0: read_key_file(body, body_size); break;
    case 1: read_pkcs12(body, body_size); break;
    case 2: read_certificate(body, body_size); break;
    case 3: read_signed_data(body, body_size, 1); break;
    default: read_signed_data(body, body_size, 0); break;
  }
  return 0;
}
