#include "tests/pki/x509/openssl_x509_oracle.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>
#include <cstdio>
#include <ctime>
#include <memory>

namespace x509oracle {
namespace {

int64_t to_seconds(const ASN1_TIME *t) {
  std::tm fields{};
  if (ASN1_TIME_to_tm(t, &fields) != 1) return -1;
  return int64_t(timegm(&fields));
}

// Last RDN first; the attributes of one RDN in their DER order; lower-case short names.
void dn_text(const X509_NAME *name, CertFacts *facts) {
  std::string out;
  int i = X509_NAME_entry_count(name) - 1;
  while (i >= 0) {
    const int set = X509_NAME_ENTRY_set(X509_NAME_get_entry(name, i));
    int first = i;
    while (first > 0 && X509_NAME_ENTRY_set(X509_NAME_get_entry(name, first - 1)) == set) --first;
    if (!out.empty()) out += ",";
    for (int j = first; j <= i; ++j) {
      const X509_NAME_ENTRY *e = X509_NAME_get_entry(name, j);
      const ASN1_STRING *v = X509_NAME_ENTRY_get_data(e);
      if (ASN1_STRING_type(v) != V_ASN1_UTF8STRING && ASN1_STRING_type(v) != V_ASN1_PRINTABLESTRING) {
        facts->dn_unsupported_string = true;
        return;
      }
      std::string sn = OBJ_nid2sn(OBJ_obj2nid(X509_NAME_ENTRY_get_object(e)));
      for (char &c : sn) c = char(std::tolower(static_cast<unsigned char>(c)));
      if (j != first) out += "+";
      out += sn + "=" +
             std::string(reinterpret_cast<const char *>(ASN1_STRING_get0_data(v)),
                         size_t(ASN1_STRING_length(v)));
    }
    i = first - 1;
  }
  facts->dn_text = out;
}

EVP_PKEY *load_key(const std::string &pem_path) {
  FILE *f = fopen(pem_path.c_str(), "r");
  if (f == nullptr) return nullptr;
  EVP_PKEY *k = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
  fclose(f);
  return k;
}

}  // namespace

CertFacts read_cert(const Bytes &der) {
  CertFacts facts;
  const unsigned char *p = der.data();
  X509 *x = d2i_X509(nullptr, &p, long(der.size()));
  if (x == nullptr) return facts;
  facts.ok = true;
  facts.not_before = to_seconds(X509_get0_notBefore(x));
  facts.not_after = to_seconds(X509_get0_notAfter(x));
  facts.key_bits = EVP_PKEY_get_bits(X509_get0_pubkey(x));
  const int nid = X509_get_signature_nid(x);
  facts.hash_alg = nid == NID_sha256WithRSAEncryption ? 5377 : nid == NID_sha1WithRSAEncryption ? 5376 : 0;
  unsigned char *subject = nullptr;
  int n = i2d_X509_NAME(X509_get_subject_name(x), &subject);
  if (n > 0) facts.subject_der.assign(subject, subject + n);
  OPENSSL_free(subject);
  dn_text(X509_get_subject_name(x), &facts);
  for (int i = 0; i < X509_get_ext_count(x); ++i) {
    X509_EXTENSION *e = X509_get_ext(x, i);
    const ASN1_OBJECT *obj = X509_EXTENSION_get_object(e);
    facts.extensions.emplace_back(Bytes(OBJ_get0_data(obj), OBJ_get0_data(obj) + OBJ_length(obj)),
                                  X509_EXTENSION_get_critical(e));
  }
  facts.has_key_usage = (X509_get_extension_flags(x) & EXFLAG_KUSAGE) != 0;
  const uint32_t ku = X509_get_key_usage(x);
  auto has = [&](uint32_t b) { return (ku & b) == b; };
  facts.ku_ds_nr = has(KU_DIGITAL_SIGNATURE | KU_NON_REPUDIATION);
  facts.ku_ke = has(KU_KEY_ENCIPHERMENT);
  facts.ku_cert_sign = has(KU_KEY_CERT_SIGN);
  facts.ku_crl_sign = has(KU_CRL_SIGN);
  X509_free(x);
  return facts;
}

Bytes pkcs1_type1_block(const Bytes &data, size_t k) {
  Bytes block(k);
  // The padding function stands for what pkeyutl's PKCS#1 mode does to raw bytes; it is
  // deprecated only as a public entry point.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  int ok = RSA_padding_add_PKCS1_type_1(block.data(), int(k), data.data(), int(data.size()));
#pragma GCC diagnostic pop
  return ok == 1 ? block : Bytes();
}

Bytes sign_raw(const std::string &pem_path, const Bytes &data) {
  EVP_PKEY *key = load_key(pem_path);
  if (key == nullptr) return {};
  Bytes sig(size_t(EVP_PKEY_get_size(key)));
  size_t len = sig.size();
  EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key, nullptr);
  bool ok = ctx != nullptr && EVP_PKEY_sign_init(ctx) == 1 &&
            EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
            EVP_PKEY_sign(ctx, sig.data(), &len, data.data(), data.size()) == 1;
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(key);
  if (!ok) return {};
  sig.resize(len);
  return sig;
}

Bytes digest_info_of_signature(const std::string &pem_path, bool sha256, const Bytes &data) {
  EVP_PKEY *key = load_key(pem_path);
  if (key == nullptr) return {};
  Bytes sig(size_t(EVP_PKEY_get_size(key)));
  size_t sig_len = sig.size();
  EVP_MD_CTX *md = EVP_MD_CTX_new();
  bool ok = EVP_DigestSignInit(md, nullptr, sha256 ? EVP_sha256() : EVP_sha1(), nullptr, key) == 1 &&
            EVP_DigestSign(md, sig.data(), &sig_len, data.data(), data.size()) == 1;
  EVP_MD_CTX_free(md);
  Bytes info(sig.size());
  size_t info_len = info.size();
  EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key, nullptr);
  ok = ok && EVP_PKEY_verify_recover_init(ctx) == 1 &&
       EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
       EVP_PKEY_verify_recover(ctx, info.data(), &info_len, sig.data(), sig_len) == 1;
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(key);
  if (!ok) return {};
  info.resize(info_len);
  return info;
}

}  // namespace x509oracle
