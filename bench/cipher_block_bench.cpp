// Raw block throughput of SEED and ARIA-128 beside OpenSSL's ECB over the same buffers: the
// primitive alone, without the context's mode and padding work.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench/openssl_cipher.h"
#include "crypto/cipher/internal.h"

namespace {

using SetKey = int (*)(const uint8_t *, size_t, void *);
using Block = void (*)(const void *, const uint8_t *, uint8_t *);

const uint8_t kKey[16] = {0x47, 0x06, 0x48, 0x08, 0x51, 0xe6, 0x1b, 0xe8,
                          0x5d, 0x74, 0xbf, 0xb3, 0xfd, 0x95, 0x61, 0x85};

void run_toolkit(benchmark::State &state, SetKey set_key, Block block, size_t schedule_size) {
  std::vector<uint8_t> schedule(schedule_size), buf(size_t(state.range(0)), 0x5a);
  if (set_key(kKey, sizeof kKey, schedule.data()) != 16) {
    state.SkipWithError("set_key failed");
    return;
  }
  for (auto _ : state) {
    for (size_t off = 0; off < buf.size(); off += 16)
      block(schedule.data(), buf.data() + off, buf.data() + off);
    benchmark::DoNotOptimize(buf.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void run_openssl(benchmark::State &state, const char *name) {
  EVP_CIPHER *cipher = fetch_openssl_cipher(name);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  if (cipher == nullptr || ctx == nullptr || !EVP_EncryptInit_ex(ctx, cipher, nullptr, kKey, nullptr)) {
    state.SkipWithError("OpenSSL cipher unavailable");
  } else {
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::vector<uint8_t> buf(size_t(state.range(0)), 0x5a);
    int out_len = 0;
    for (auto _ : state) {
      EVP_EncryptUpdate(ctx, buf.data(), &out_len, buf.data(), int(buf.size()));
      benchmark::DoNotOptimize(buf.data());
      benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
}

void BM_Block_Seed_Encrypt(benchmark::State &state) {
  run_toolkit(state, seed_set_key, seed_encrypt_block, kSeedScheduleSize);
}
void BM_Block_Seed_Decrypt(benchmark::State &state) {
  run_toolkit(state, seed_set_key, seed_decrypt_block, kSeedScheduleSize);
}
void BM_Block_Aria128_Encrypt(benchmark::State &state) {
  run_toolkit(state, aria_set_key, aria_encrypt_block, kAriaScheduleSize);
}
void BM_Block_Aria128_Decrypt(benchmark::State &state) {
  run_toolkit(state, aria_set_key, aria_decrypt_block, kAriaScheduleSize);
}
void BM_Block_OpenSSL_Seed_Ecb(benchmark::State &state) { run_openssl(state, "SEED-ECB"); }
void BM_Block_OpenSSL_Aria128_Ecb(benchmark::State &state) { run_openssl(state, "ARIA-128-ECB"); }

BENCHMARK(BM_Block_Seed_Encrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Block_Seed_Decrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Block_OpenSSL_Seed_Ecb)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Block_Aria128_Encrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Block_Aria128_Decrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Block_OpenSSL_Aria128_Ecb)->Arg(1024)->Arg(65536);

}  // namespace
