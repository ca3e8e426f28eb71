// Modular exponentiation at the RSA sizes, ours beside OpenSSL's BN_mod_exp_mont: a 2048-bit
// modulus with a 2048-bit exponent (a private operation without CRT) and a 1024-bit modulus with
// a 1024-bit exponent (one half of a CRT private operation). Both sides have their Montgomery
// values set up beforehand, as RSA keeps them with the key.
#include <benchmark/benchmark.h>
#include <openssl/bn.h>

#include <random>
#include <vector>

#include "crypto/bignum/bignum.h"

namespace {

using Num = std::vector<uint32_t>;

struct Inputs {
  size_t n;
  Num mm, base, e;
};

Inputs make_inputs(size_t bits) {
  std::mt19937 rng((unsigned)bits);
  size_t n = bits / 32;
  Inputs in{n, Num(2 * n + 1), Num(n), Num(n)};
  for (size_t i = 0; i < n; i++) {
    in.mm[i] = rng();
    in.base[i] = rng();
    in.e[i] = rng();
  }
  in.mm[n - 1] |= 0x80000000u;
  in.mm[0] |= 1;
  in.e[n - 1] |= 0x80000000u;
  in.base[n - 1] &= 0x7FFFFFFFu;
  Num scratch(bn_mont_setup_scratch_words(n));
  bn_mont_setup(scratch.data(), in.mm.data(), n);
  return in;
}

BIGNUM *to_bn(const Num &a, size_t words) {
  std::vector<uint8_t> bytes(4 * words);
  mp_to_bytes(a.data(), bytes.size(), words, bytes.data());
  return BN_bin2bn(bytes.data(), (int)bytes.size(), nullptr);
}

void BM_ModExp_v7(benchmark::State &state) {
  Inputs in = make_inputs((size_t)state.range(0));
  Num scratch(bn_mod_exp_scratch_words(in.n, in.e.data(), in.n)), out(in.n);
  for (auto _ : state) {
    bn_mod_exp(scratch.data(), in.n, out.data(), in.base.data(), in.n, in.e.data(), in.n, in.mm.data());
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_ModExp_OpenSSL(benchmark::State &state) {
  Inputs in = make_inputs((size_t)state.range(0));
  BN_CTX *ctx = BN_CTX_new();
  BIGNUM *m = to_bn(in.mm, in.n), *base = to_bn(in.base, in.n), *e = to_bn(in.e, in.n), *r = BN_new();
  BN_MONT_CTX *mont = BN_MONT_CTX_new();
  BN_MONT_CTX_set(mont, m, ctx);
  for (auto _ : state) {
    BN_mod_exp_mont(r, base, e, m, ctx, mont);
    benchmark::DoNotOptimize(r);
  }
  BN_MONT_CTX_free(mont);
  BN_free(r);
  BN_free(e);
  BN_free(base);
  BN_free(m);
  BN_CTX_free(ctx);
}

BENCHMARK(BM_ModExp_v7)->Arg(1024)->Arg(2048)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ModExp_OpenSSL)->Arg(1024)->Arg(2048)->Unit(benchmark::kMicrosecond);

}  // namespace
