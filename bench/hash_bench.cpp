// Digest throughput of the toolkit beside OpenSSL's libcrypto on the same buffers.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdint>
#include <vector>

#include "crypto/hash/hash.h"

namespace {

std::vector<uint8_t> message(size_t n) {
  std::vector<uint8_t> m(n);
  for (size_t i = 0; i < n; i++) m[i] = uint8_t(i * 31 + 7);
  return m;
}

// One context for the whole run on both sides, so that only the hashing is timed.
void toolkit(benchmark::State &state, int type) {
  std::vector<uint8_t> msg = message(size_t(state.range(0)));
  HASH_CTX *ctx = hash_new(type);
  uint8_t out[HASH_MAX_DIGEST_LEN];
  for (auto _ : state) {
    hash_update(ctx, msg.data(), msg.size());
    hash_final(ctx, out);
    benchmark::DoNotOptimize(out);
  }
  hash_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void openssl(benchmark::State &state, const EVP_MD *md) {
  std::vector<uint8_t> msg = message(size_t(state.range(0)));
  EVP_MD_CTX *ctx = EVP_MD_CTX_new();
  uint8_t out[EVP_MAX_MD_SIZE];
  unsigned n = 0;
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, msg.data(), msg.size());
    EVP_DigestFinal_ex(ctx, out, &n);
    benchmark::DoNotOptimize(out);
  }
  EVP_MD_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_Sha256_Toolkit(benchmark::State &state) { toolkit(state, HASH_SHA256); }
void BM_Sha256_OpenSsl(benchmark::State &state) { openssl(state, EVP_sha256()); }
void BM_Sha1_Toolkit(benchmark::State &state) { toolkit(state, HASH_SHA1); }
void BM_Sha1_OpenSsl(benchmark::State &state) { openssl(state, EVP_sha1()); }
void BM_Has160_Toolkit(benchmark::State &state) { toolkit(state, HASH_HAS160); }

}  // namespace

BENCHMARK(BM_Sha256_Toolkit)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Sha256_OpenSsl)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Sha1_Toolkit)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Sha1_OpenSsl)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Has160_Toolkit)->Arg(1024)->Arg(65536);
