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
  for (size_t j = 1; j <= n; ++j) {
    if (j < n && are_neighbours(text[j - 1], text[j])) {
      ++run;
      continue;
    }
    if (run >= 3) length -= run - 2;
    run = 1;
  }
  return length;
}

namespace {

// Positions and lengths within the graded bytes fit a byte.
static_assert(kGradedBytes <= 255, "the search tables hold positions in bytes");

size_t less_two(size_t run) { return run > 2 ? run - 2 : 0; }

// What the search knows of one password. Each run of neighbours is a stretch of the password, and
// a candidate text is the password cut into stretches by marks, which are nobody's neighbours:
// so a candidate's run-shortened length is the sum of its stretches' and its marks' count, and a
// stretch's follows from the runs of the whole password without looking at its characters again.
struct ChunkSearch {
  size_t n;
  uint8_t run_start[kGradedBytes];   // where the run holding position p begins
  uint8_t run_end[kGradedBytes];     // and where it ends (one past)
  uint8_t cut[kGradedBytes + 1];     // length the runs take off the first m characters
  uint8_t shared[kGradedBytes + 1];  // characters the password has in common at i and at j
  uint8_t most_shared[kGradedBytes + 1];  // the most of those at j or after

  void find_runs(const uint8_t *text) {
    for (size_t p = 0; p < n; ++p)
      run_start[p] = uint8_t(p > 0 && are_neighbours(text[p - 1], text[p]) ? run_start[p - 1] : p);
    for (size_t p = n; p-- > 0;)
      run_end[p] = uint8_t(p + 1 < n && run_start[p + 1] != p + 1 ? run_end[p + 1] : p + 1);
    cut[0] = 0;
    for (size_t m = 1; m <= n; ++m) cut[m] = uint8_t(cut[run_start[m - 1]] + less_two(m - run_start[m - 1]));
  }

  // The run-shortened length of the characters from a up to b, standing alone.
  size_t stretch(size_t a, size_t b) const {
    if (a >= b) return 0;
    const size_t first_end = run_end[a] < b ? run_end[a] : b;
    if (first_end == b) return (b - a) - less_two(b - a);
    const size_t last_start = run_start[b - 1];
    // The runs between the two cut ones are whole, so cut tells what they take off.
    return (b - a) - less_two(first_end - a) - (cut[last_start] - cut[first_end]) - less_two(b - last_start);
  }

  // Moves on from start i + 1 to start i: shared[j + 1] still holds the count of i + 1 when
  // shared[j] is set.
  void start_chunks_at(const uint8_t *text, size_t i) {
    for (size_t j = i + 1; j < n; ++j) shared[j] = text[i] == text[j] ? uint8_t(shared[j + 1] + 1) : 0;
    most_shared[n] = 0;
    for (size_t j = n; j-- > i + 1;) most_shared[j] = shared[j] > most_shared[j + 1] ? shared[j] : most_shared[j + 1];
  }

  // The run-shortened length of the candidate for the chunk of k characters at i, which occurs
  // again at first (the first occurrence at i + k or after).
  size_t candidate(size_t k, size_t first) const {
    // Up to its first mark the candidate is the password itself.
    size_t length = stretch(0, first);
    for (size_t j = first; j < n;) {
      length += 1;  // the mark
      j += k;
      size_t next = j;
      while (next < n && shared[next] < k) ++next;
      length += stretch(j, next);
      j = next;
    }
    return length;
  }
};

}  // namespace

// Every candidate text is the password's first i + k characters, then the rest of it with each
// later occurrence of the chunk at i (of k characters) replaced by the mark. Building each one and
// testing neighbours in it took some 50 ms a password under the sanitizers; the search measures a
// candidate from the marks alone, and a chunk that never occurs again gives back the password.
size_t effective_length(const uint8_t *text, size_t n) {
  size_t best = run_shortened_length(text, n);
  if (n < 4 || n > kGradedBytes) return best;
  // Every table here says something about the password's characters, so it is wiped like one.
  ChunkSearch s;
  s.n = n;
  s.find_runs(text);
  std::memset(s.shared, 0, sizeof(s.shared));
  for (size_t i = n; i-- > 0;) {
    s.start_chunks_at(text, i);
    for (size_t k = 2; i + 2 * k <= n; ++k) {
      if (s.most_shared[i + k] < k) continue;
      size_t first = i + k;
      while (s.shared[first] < k) ++first;
      const size_t length = s.candidate(k, first);
      if (length < best) best = length;
    }
  }
  secure_wipe(&s, sizeof(s));
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
