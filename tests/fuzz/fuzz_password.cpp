// The new-password rules and grade on arbitrary bytes, up to the first zero byte as a caller's
// buffer would end them. Besides memory safety: results stay in their ranges, the grade agrees
// with the rules, every result has a text in both languages, the discounted length never grows,
// the library's quick measure agrees with the literal one on short texts, and the grade looks at
// the first 255 bytes only.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pki/password/internal.h"
#include "pki/password/password.h"
#include "tests/pki/password/literal_grade.h"

namespace {

void require(bool ok) {
  if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const std::string text(reinterpret_cast<const char *>(data), size);
  const int rule = password_check(text.c_str());
  const int grade = password_strength(text.c_str());
  require(rule >= PASSWORD_ONE_KIND && rule <= PASSWORD_OK);
  require(rule < 0 ? grade == rule : grade >= PASSWORD_WEAK && grade <= PASSWORD_STRONG);
  for (int language : {0, int(PASSWORD_TEXT_KOREAN)}) {
    const char *narrow = password_rule_text(grade, language);
    const char16_t *wide = password_rule_text_w(grade, language);
    require(narrow != nullptr && narrow[0] != 0 && wide != nullptr && wide[0] != 0);
  }

  const size_t length = std::strlen(text.c_str());
  const size_t n = length < v7::password::kGradedBytes ? length : v7::password::kGradedBytes;
  const auto *bytes = reinterpret_cast<const uint8_t *>(text.data());
  const size_t shortened = v7::password::run_shortened_length(bytes, n);
  const size_t effective = v7::password::effective_length(bytes, n);
  require(shortened <= n && effective <= shortened && (n < 2 || effective >= 2));
  // The literal computation costs n^4 steps for a text of repeats: short texts only.
  if (n <= 40) {
    require(shortened == pwtest::literal_run_shortened_length(bytes, n));
    require(effective == pwtest::literal_effective_length(bytes, n));
  }

  if (rule == PASSWORD_OK && length > n) {
    const std::string graded = text.substr(0, n);
    if (password_check(graded.c_str()) == PASSWORD_OK) require(password_strength(graded.c_str()) == grade);
  }
  return 0;
}
