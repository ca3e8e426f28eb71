#include "tests/pki/password/literal_grade.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "pki/password/internal.h"

namespace pwtest {

size_t literal_run_shortened_length(const uint8_t *text, size_t n) {
  if (n < 2) return n;
  size_t length = n;
  size_t start = 0;  // where the current run of neighbours began
  for (size_t i = 1; i <= n; ++i) {
    if (i < n && v7::password::are_neighbours(text[i - 1], text[i])) continue;
    const size_t run = i - start;
    if (run >= 3) length -= run - 2;
    start = i;
  }
  return length;
}

size_t literal_effective_length(const uint8_t *text, size_t n) {
  size_t best = literal_run_shortened_length(text, n);
  if (n < 4) return best;
  for (size_t k = n / 2; k >= 2; --k) {
    for (size_t i = 0; i + 2 * k <= n; ++i) {
      std::vector<uint8_t> candidate(text, text + i + k);
      size_t j = i + k;
      for (; j + k <= n;) {
        if (std::memcmp(text + j, text + i, k) == 0) {
          candidate.push_back(v7::password::kChunkMark);
          j += k;
        } else {
          candidate.push_back(text[j++]);
        }
      }
      candidate.insert(candidate.end(), text + j, text + n);
      best = std::min(best, literal_run_shortened_length(candidate.data(), candidate.size()));
    }
  }
  return best;
}

}  // namespace pwtest
