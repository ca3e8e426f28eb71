// CBC throughput of the cipher context beside OpenSSL's EVP: one whole message per iteration on
// both sides (set the IV, run the message), padding off, so that only the mode and the cipher
// are measured.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bench/openssl_cipher.h"
#include "crypto/cipher/cipher.h"

namespace {

const uint8_t kKey[24] = {0x47, 0x06, 0x48, 0x08, 0x51, 0xe6, 0x1b, 0xe8, 0x5d, 0x74, 0xbf, 0xb3,
                          0xfd, 0x95, 0x61, 0x85, 0x28, 0xdb, 0xc3, 0xbc, 0x49, 0xff, 0xd8, 0x7d};
const uint8_t kIv[16] = {0x83, 0xa2, 0xf8, 0xa2, 0x88, 0x64, 0x1f, 0xb9,
                         0xa4, 0xe9, 0xa5, 0xcc, 0x2f, 0x13, 0x1c, 0x7d};

void run_toolkit(benchmark::State &state, int32_t id, size_t key_len, bool encrypt) {
  std::unique_ptr<CRT_CTX, void (*)(CRT_CTX *)> ctx(cipher_new(id), cipher_free);
  int block = cipher_block_len(id);
  if (!ctx || !cipher_set_key(ctx.get(), kKey, key_len) ||
      !cipher_set_mode(kCrtPaddingNone, ctx.get(), kCrtModeCbc, kIv, size_t(block))) {
    state.SkipWithError("cipher context setup failed");
    return;
  }
  std::vector<uint8_t> in(size_t(state.range(0)), 0x5a), out(in.size());
  for (auto _ : state) {
    size_t n = encrypt ? cipher_encrypt(ctx.get(), in.data(), in.size(), out.data(), out.size())
                       : cipher_decrypt(ctx.get(), in.data(), in.size(), out.data(), out.size());
    benchmark::DoNotOptimize(n);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void run_openssl(benchmark::State &state, const char *name, bool encrypt) {
  EVP_CIPHER *cipher = fetch_openssl_cipher(name);
  EVP_CIPHER_CTX *ctx = EVP_CIPHER_CTX_new();
  int e = encrypt ? 1 : 0;
  if (!cipher || !ctx || !EVP_CipherInit_ex(ctx, cipher, nullptr, kKey, kIv, e)) {
    state.SkipWithError("OpenSSL cipher unavailable");
  } else {
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::vector<uint8_t> in(size_t(state.range(0)), 0x5a), out(in.size() + 32);
    for (auto _ : state) {
      int n = 0, m = 0;
      EVP_CipherInit_ex(ctx, nullptr, nullptr, nullptr, kIv, e);
      EVP_CipherUpdate(ctx, out.data(), &n, in.data(), int(in.size()));
      EVP_CipherFinal_ex(ctx, out.data() + n, &m);
      benchmark::DoNotOptimize(n + m);
      benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
}

void BM_Cbc_Seed_Encrypt(benchmark::State &s) { run_toolkit(s, kCrtCipherSeed, 16, true); }
void BM_Cbc_OpenSSL_Seed_Encrypt(benchmark::State &s) { run_openssl(s, "SEED-CBC", true); }
void BM_Cbc_Seed_Decrypt(benchmark::State &s) { run_toolkit(s, kCrtCipherSeed, 16, false); }
void BM_Cbc_OpenSSL_Seed_Decrypt(benchmark::State &s) { run_openssl(s, "SEED-CBC", false); }
void BM_Cbc_Aria128_Encrypt(benchmark::State &s) { run_toolkit(s, kCrtCipherAria, 16, true); }
void BM_Cbc_OpenSSL_Aria128_Encrypt(benchmark::State &s) { run_openssl(s, "ARIA-128-CBC", true); }
void BM_Cbc_Aria128_Decrypt(benchmark::State &s) { run_toolkit(s, kCrtCipherAria, 16, false); }
void BM_Cbc_OpenSSL_Aria128_Decrypt(benchmark::State &s) { run_openssl(s, "ARIA-128-CBC", false); }
void BM_Cbc_Tdes_Encrypt(benchmark::State &s) { run_toolkit(s, kCrtCipherTripleDes, 24, true); }
void BM_Cbc_OpenSSL_Tdes_Encrypt(benchmark::State &s) { run_openssl(s, "DES-EDE3-CBC", true); }
void BM_Cbc_Tdes_Decrypt(benchmark::State &s) { run_toolkit(s, kCrtCipherTripleDes, 24, false); }
void BM_Cbc_OpenSSL_Tdes_Decrypt(benchmark::State &s) { run_openssl(s, "DES-EDE3-CBC", false); }

BENCHMARK(BM_Cbc_Seed_Encrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_OpenSSL_Seed_Encrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_Seed_Decrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_OpenSSL_Seed_Decrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_Aria128_Encrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_OpenSSL_Aria128_Encrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_Aria128_Decrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_OpenSSL_Aria128_Decrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_Tdes_Encrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_OpenSSL_Tdes_Encrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_Tdes_Decrypt)->Arg(1024)->Arg(65536);
BENCHMARK(BM_Cbc_OpenSSL_Tdes_Decrypt)->Arg(1024)->Arg(65536);

}  // namespace
