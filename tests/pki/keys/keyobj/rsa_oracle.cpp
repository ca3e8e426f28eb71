#include "tests/pki/keys/keyobj/rsa_oracle.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>

#include <cstdio>
#include <memory>

#include "tests/harness/openssl_md.h"

namespace oracle {
namespace {

struct PkeyDeleter {
  void operator()(EVP_PKEY *p) const { EVP_PKEY_free(p); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
struct PkeyCtxDeleter {
  void operator()(EVP_PKEY_CTX *p) const { EVP_PKEY_CTX_free(p); }
};
using PkeyCtx = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter>;

Pkey load(const std::string &pem) {
  FILE *f = fopen(pem.c_str(), "rb");
  if (f == nullptr) return nullptr;
  Pkey key(PEM_read_PrivateKey(f, nullptr, nullptr, nullptr));
  fclose(f);
  return key;
}

enum Op { kSign, kVerify, kEncrypt, kDecrypt };

// A context for the operation with the parameters set, or null.
PkeyCtx context(EVP_PKEY *key, Op op, const Params &p) {
  PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
  if (ctx == nullptr) return nullptr;
  int ok = op == kSign      ? EVP_PKEY_sign_init(ctx.get())
           : op == kVerify  ? EVP_PKEY_verify_init(ctx.get())
           : op == kEncrypt ? EVP_PKEY_encrypt_init(ctx.get())
                            : EVP_PKEY_decrypt_init(ctx.get());
  int padding = p.padding == kPss    ? RSA_PKCS1_PSS_PADDING
                : p.padding == kOaep ? RSA_PKCS1_OAEP_PADDING
                                     : RSA_PKCS1_PADDING;
  ok = ok == 1 && EVP_PKEY_CTX_set_rsa_padding(ctx.get(), padding) == 1;
  if (ok && p.padding == kOaep)
    ok = EVP_PKEY_CTX_set_rsa_oaep_md(ctx.get(), openssl_md(p.md)) == 1 &&
         EVP_PKEY_CTX_set_rsa_mgf1_md(ctx.get(), openssl_md(p.mgf1_md)) == 1;
  if (ok && p.padding != kOaep && p.md != 0)
    ok = EVP_PKEY_CTX_set_signature_md(ctx.get(), openssl_md(p.md)) == 1;
  if (ok && p.padding == kPss)
    ok = EVP_PKEY_CTX_set_rsa_pss_saltlen(ctx.get(), 20) == 1 &&
         EVP_PKEY_CTX_set_rsa_mgf1_md(ctx.get(), openssl_md(p.mgf1_md)) == 1;
  return ok ? std::move(ctx) : nullptr;
}

// Signatures are over the digest (libcrypto's pkey operations take it ready-made).
Bytes signed_input(const Params &p, const Bytes &data) {
  if (p.md == 0) return data;
  Bytes digest(EVP_MAX_MD_SIZE);
  unsigned len = 0;
  if (EVP_Digest(data.data(), data.size(), digest.data(), &len, openssl_md(p.md), nullptr) != 1) return {};
  digest.resize(len);
  return digest;
}

Bytes run(const std::string &pem, Op op, const Params &p, const Bytes &in) {
  Pkey key = load(pem);
  PkeyCtx ctx = key == nullptr ? nullptr : context(key.get(), op, p);
  if (ctx == nullptr) return {};
  Bytes out(size_t(EVP_PKEY_get_size(key.get())));
  size_t len = out.size();
  int ok = op == kSign      ? EVP_PKEY_sign(ctx.get(), out.data(), &len, in.data(), in.size())
           : op == kEncrypt ? EVP_PKEY_encrypt(ctx.get(), out.data(), &len, in.data(), in.size())
                            : EVP_PKEY_decrypt(ctx.get(), out.data(), &len, in.data(), in.size());
  if (ok != 1) return {};
  out.resize(len);
  return out;
}

}  // namespace

Bytes sign(const std::string &pem, const Params &p, const Bytes &data) {
  return run(pem, kSign, p, signed_input(p, data));
}

bool verify(const std::string &pem, const Params &p, const Bytes &data, const Bytes &signature) {
  Pkey key = load(pem);
  PkeyCtx ctx = key == nullptr ? nullptr : context(key.get(), kVerify, p);
  Bytes input = signed_input(p, data);
  return ctx != nullptr &&
         EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), input.data(), input.size()) == 1;
}

Bytes encrypt(const std::string &pem, const Params &p, const Bytes &data) {
  return run(pem, kEncrypt, p, data);
}
Bytes decrypt(const std::string &pem, const Params &p, const Bytes &data) {
  return run(pem, kDecrypt, p, data);
}

Bytes seed_cbc_encrypt(const Bytes &key, const Bytes &iv, const Bytes &data) {
  // SEED is only in the legacy provider, and loading one provider hides the default one.
  static OSSL_PROVIDER *legacy = OSSL_PROVIDER_load(nullptr, "legacy");
  static OSSL_PROVIDER *fallback = OSSL_PROVIDER_load(nullptr, "default");
  (void)legacy;
  (void)fallback;
  EVP_CIPHER *seed = EVP_CIPHER_fetch(nullptr, "SEED-CBC", nullptr);
  EVP_CIPHER_CTX *c = EVP_CIPHER_CTX_new();
  Bytes out(data.size() + 16);
  int len = 0, tail = 0;
  bool ok = seed != nullptr && c != nullptr &&
            EVP_EncryptInit_ex(c, seed, nullptr, key.data(), iv.data()) == 1 &&
            EVP_EncryptUpdate(c, out.data(), &len, data.data(), int(data.size())) == 1 &&
            EVP_EncryptFinal_ex(c, out.data() + len, &tail) == 1;
  EVP_CIPHER_CTX_free(c);
  EVP_CIPHER_free(seed);
  if (!ok) return {};
  out.resize(size_t(len + tail));
  return out;
}

}  // namespace oracle
