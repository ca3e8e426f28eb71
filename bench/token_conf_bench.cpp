// How long reading a large token configuration takes: 200,000 lines of CR LF and LF line ends in
// one vendor's section before the listed token's. A plain program (no benchmark library), so that
// the Windows build runs it under Wine as well: build/<preset>/bench/token_conf_bench.
#include <chrono>
#include <cstdio>
#include <string>

#include "media/token/p11_conf.h"

namespace {

constexpr int kLines = 200000;
constexpr int kRounds = 5;

}  // namespace

int main() {
  std::string text = "[Tokens]\r\nList = AAA\r\n[OTHER]\r\n";
  for (int i = 0; i < kLines; i++) text += i % 3 == 0 ? "Key=value\n" : "Key=value\r\n";
  text += "[AAA]\r\nInfo=Token A\r\nName=C:\\a\\p11.dll\r\n";
  double best = 1e9;
  bool found = true;
  for (int round = 0; round < kRounds; round++) {
    auto start = std::chrono::steady_clock::now();
    P11_TOKEN_LIST *list = p11_conf_parse(text.data(), text.size(), "SDisk");
    auto end = std::chrono::steady_clock::now();
    found = found && list != nullptr && list->first != nullptr && list->first == list->last;
    p11_conf_free(list);
    double ms = std::chrono::duration<double, std::milli>(end - start).count();
    if (ms < best) best = ms;
  }
  std::printf("%d lines (%zu bytes): parsed in %.1f ms, best of %d\n", kLines, text.size(), best, kRounds);
  return found ? 0 : 1;
}
