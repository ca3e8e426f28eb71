// RSA-2048 beside OpenSSL's libcrypto: the private operation (a PKCS#1 v1.5 SHA-256 signature),
// the public operation (its verification) and key generation. Both sides use the same key, made
// by OpenSSL and loaded into the toolkit.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/rsa.h>

#include <cstdint>
#include <vector>

#include "crypto/rsa/rsa.h"

namespace {

struct SharedKey {
  EVP_PKEY *pkey = nullptr;
  RSA_CTX *ctx = nullptr;
};

std::vector<uint8_t> key_param(EVP_PKEY *pkey, const char *name) {
  BIGNUM *bn = nullptr;
  EVP_PKEY_get_bn_param(pkey, name, &bn);
  std::vector<uint8_t> out(size_t(BN_num_bytes(bn)));
  BN_bn2bin(bn, out.data());
  BN_clear_free(bn);
  return out;
}

const SharedKey &shared_key() {
  static const SharedKey key = [] {
    SharedKey k;
    k.pkey = EVP_RSA_gen(2048);
    std::vector<uint8_t> n = key_param(k.pkey, OSSL_PKEY_PARAM_RSA_N),
                         e = key_param(k.pkey, OSSL_PKEY_PARAM_RSA_E),
                         d = key_param(k.pkey, OSSL_PKEY_PARAM_RSA_D),
                         p = key_param(k.pkey, OSSL_PKEY_PARAM_RSA_FACTOR1),
                         q = key_param(k.pkey, OSSL_PKEY_PARAM_RSA_FACTOR2),
                         dp = key_param(k.pkey, OSSL_PKEY_PARAM_RSA_EXPONENT1),
                         dq = key_param(k.pkey, OSSL_PKEY_PARAM_RSA_EXPONENT2),
                         qinv = key_param(k.pkey, OSSL_PKEY_PARAM_RSA_COEFFICIENT1);
    k.ctx = rsa_new();
    rsa_set_private_key(k.ctx, n.data(), n.size(), e.data(), e.size(), d.data(), d.size(), p.data(), p.size(),
                        q.data(), q.size(), dp.data(), dp.size(), dq.data(), dq.size(), qinv.data(),
                        qinv.size());
    return k;
  }();
  return key;
}

const uint8_t kMessage[] = "a message of the relay protocol";

void BM_Rsa2048Private_Toolkit(benchmark::State &state) {
  const SharedKey &key = shared_key();
  uint8_t sig[256];
  for (auto _ : state) {
    rsa_private_encrypt(sizeof sig, key.ctx, kMessage, sizeof kMessage, &RSA_PAD_PKCS1_SIGN_SHA256, sig);
    benchmark::DoNotOptimize(sig);
  }
}

// OpenSSL signs the digest; the toolkit hashes the short message itself, which costs well under
// a microsecond.
void BM_Rsa2048Private_OpenSsl(benchmark::State &state) {
  const SharedKey &key = shared_key();
  uint8_t digest[32], sig[256];
  EVP_Digest(kMessage, sizeof kMessage, digest, nullptr, EVP_sha256(), nullptr);
  EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key.pkey, nullptr);
  EVP_PKEY_sign_init(ctx);
  EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
  EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha256());
  for (auto _ : state) {
    size_t len = sizeof sig;
    EVP_PKEY_sign(ctx, sig, &len, digest, sizeof digest);
    benchmark::DoNotOptimize(sig);
  }
  EVP_PKEY_CTX_free(ctx);
}

void BM_Rsa2048Public_Toolkit(benchmark::State &state) {
  const SharedKey &key = shared_key();
  uint8_t sig[256];
  rsa_private_encrypt(sizeof sig, key.ctx, kMessage, sizeof kMessage, &RSA_PAD_PKCS1_SIGN_SHA256, sig);
  for (auto _ : state) {
    int ok =
        rsa_public_decrypt(key.ctx, kMessage, sizeof kMessage, &RSA_PAD_PKCS1_SIGN_SHA256, sig, sizeof sig);
    benchmark::DoNotOptimize(ok);
  }
}

void BM_Rsa2048Public_OpenSsl(benchmark::State &state) {
  const SharedKey &key = shared_key();
  uint8_t digest[32], sig[256];
  rsa_private_encrypt(sizeof sig, key.ctx, kMessage, sizeof kMessage, &RSA_PAD_PKCS1_SIGN_SHA256, sig);
  EVP_Digest(kMessage, sizeof kMessage, digest, nullptr, EVP_sha256(), nullptr);
  EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new(key.pkey, nullptr);
  EVP_PKEY_verify_init(ctx);
  EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING);
  EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha256());
  for (auto _ : state) {
    int ok = EVP_PKEY_verify(ctx, sig, sizeof sig, digest, sizeof digest);
    benchmark::DoNotOptimize(ok);
  }
  EVP_PKEY_CTX_free(ctx);
}

void BM_Rsa2048KeyGen_Toolkit(benchmark::State &state) {
  RSA_CTX *ctx = rsa_new();
  for (auto _ : state) benchmark::DoNotOptimize(rsa_generate_key(ctx));
  rsa_free(ctx);
}

void BM_Rsa2048KeyGen_OpenSsl(benchmark::State &state) {
  for (auto _ : state) {
    EVP_PKEY_CTX *ctx = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY_keygen_init(ctx);
    EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, 2048);
    BIGNUM *e = BN_new();
    BN_set_word(e, 65535);
    EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx, e);
    EVP_PKEY *pkey = nullptr;
    EVP_PKEY_keygen(ctx, &pkey);
    EVP_PKEY_free(pkey);
    BN_free(e);
    EVP_PKEY_CTX_free(ctx);
  }
}

}  // namespace

BENCHMARK(BM_Rsa2048Private_Toolkit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rsa2048Private_OpenSsl)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rsa2048Public_Toolkit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rsa2048Public_OpenSsl)->Unit(benchmark::kMicrosecond);
// Key generation time varies widely with the luck of the draw: many iterations, the mean counts.
BENCHMARK(BM_Rsa2048KeyGen_Toolkit)->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(BM_Rsa2048KeyGen_OpenSsl)->Unit(benchmark::kMillisecond)->Iterations(40);
