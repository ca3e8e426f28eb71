// The strength grade: how many classes a password uses plus how long it is once keyboard runs and
// repeated chunks are discounted.
#include <cstring>

#include "crypto/base/wipe.h"
#include "pki/password/internal.h"
#include "pki/password/password.h"

namespace v7 {
namespace password {

size_t run_shortened_length(const uint8_t *text, size_t n) {
  size_t length = n;
  size_t run = 1;
  for (size_t i = 1; i <= n; ++i) {
    if (i < n && are_neighbours(text[i - 1], text[i])) {
      ++run;
      continue;
    }
    if (run >= 3) length -= run - 2;
    run = 1;
  }
  return length;
}

size_t effective_length(const uint8_t *text, size_t n) {
  size_t best = run_shortened_length(text, n);
  if (n < 4 || n > kGradedBytes) return best;
  // Each candidate is a copy of the password, so it is wiped like one.
  uint8_t candidate[kGradedBytes];
  for (size_t k = n / 2; k >= 2; --k) {
    for (size_t i = 0; i + 2 * k <= n; ++i) {
      const uint8_t *chunk = text + i;
      std::memcpy(candidate, text, i + k);
      size_t length = i + k;
      size_t j = i + k;
      while (j < n) {
        if (j + k <= n && std::memcmp(text + j, chunk, k) == 0) {
          candidate[length++] = kChunkMark;
          j += k;
        } else {
          candidate[length++] = text[j++];
        }
      }
      const size_t shortened = run_shortened_length(candidate, length);
      if (shortened < best) best = shortened;
    }
  }
  secure_wipe(candidate, sizeof(candidate));
  return best;
}

int class_count(const uint8_t *text, size_t n) {
  bool digit = false, lower = false, upper = false, special = false;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t c = text[i];
    digit = digit || is_digit(c);
    lower = lower || is_lower(c);
    upper = upper || is_upper(c);
    special = special || is_special(c);
  }
  return int(digit) + int(lower) + int(upper) + int(special);
}

}  // namespace password
}  // namespace v7

int password_strength(const char *text) {
  const int rule = password_check(text);
  if (rule < 0) return rule;

  uint8_t graded[v7::password::kGradedBytes];
  size_t n = 0;
  while (n < sizeof(graded) && text[n] != 0) {
    graded[n] = static_cast<uint8_t>(text[n]);
    ++n;
  }
  const size_t score = size_t(v7::password::class_count(graded, n)) + v7::password::effective_length(graded, n);
  v7::secure_wipe(graded, sizeof(graded));
  if (score < 7) return PASSWORD_WEAK;
  return score < 10 ? PASSWORD_MEDIUM : PASSWORD_STRONG;
}
