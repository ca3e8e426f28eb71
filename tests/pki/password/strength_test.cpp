// The strength grade and its pieces: class count, keyboard runs and repeated chunks.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "pki/password/internal.h"
#include "pki/password/password.h"
#include "tests/harness/vectors.h"
#include "tests/pki/password/literal_grade.h"
#include "tests/pki/password/password_cases.h"

namespace {

using namespace v7::password;

const uint8_t *bytes_of(const std::string &s) { return reinterpret_cast<const uint8_t *>(s.data()); }

TEST(PasswordStrength, TableOfCases) {
  for (const auto &c : v7test::load_vectors("password_rules.txt")) {
    SCOPED_TRACE(c.where());
    const std::string password = pwtest::password_of(c);
    const std::string before = password;
    errno = 4242;
    EXPECT_EQ(int(c.number("strength")), password_strength(password.c_str()));
    EXPECT_EQ(4242, errno) << "an answer, not a failure";
    EXPECT_EQ(before, password) << "the password is only read";
    if (c.has("effective")) {
      const std::string graded = password.substr(0, kGradedBytes);
      EXPECT_EQ(size_t(c.number("effective")), effective_length(bytes_of(graded), graded.size()));
    }
  }
}

struct LengthCase {
  const char *text;
  size_t run_shortened;
};

// Runs of three or more neighbours keep two characters' worth of length; shorter runs keep all.
const LengthCase kRunCases[] = {
    {"", 0},       {"q", 1},  {"qw", 2},      {"qwe", 2},    {"qwer", 2},   {"abc", 2},
    {"aaaa", 2},   {"98765", 2}, {"qwe1qwe", 4}, {"  \t ", 4}, {"\xEB\xEB\xEB", 3},
    {"\x7F\x7F\x7F", 3}, {"ab1", 3},
};

TEST(PasswordStrength, RunShortenedLength) {
  for (const LengthCase &c : kRunCases) {
    SCOPED_TRACE(c.text);
    const std::string text = c.text;
    EXPECT_EQ(c.run_shortened, run_shortened_length(bytes_of(text), text.size()));
  }
}

// Below four characters no chunk is looked for; the longest text the grade looks at is searched
// whole. A text of one repeated character and one of distinct characters bound the search.
TEST(PasswordStrength, EffectiveLengthAtTheEdges) {
  EXPECT_EQ(0u, effective_length(nullptr, 0));
  EXPECT_EQ(2u, effective_length(bytes_of("abc"), 3));
  EXPECT_EQ(5u, effective_length(bytes_of("ab12ab12"), 8));
  const std::string same(kGradedBytes, 'a');
  EXPECT_EQ(2u, effective_length(bytes_of(same), same.size()));
  std::string distinct;
  for (size_t i = 0; i < kGradedBytes; ++i) distinct.push_back(char(0x80 + i % 0x7F));
  // 0x80.. repeats after 127 bytes: the chunk of 127 bytes at 0 leaves 127 + 1 + 1.
  EXPECT_EQ(129u, effective_length(bytes_of(distinct), distinct.size()));
}

// The library measures candidate texts while it scans; building each one in full must agree. The
// texts are drawn from few characters that are neighbours of each other, marks and Korean bytes,
// and half of them repeat a short pattern with slips, so that chunks recur and runs cross them.
TEST(PasswordStrength, AgreesWithTheLiteralComputation) {
  static const char kAlphabet[] = "qwe1a2!Q\x7F\xEB";
  uint32_t seed = 12345;
  auto next = [&seed](uint32_t bound) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % bound;
  };
  for (int round = 0; round < 3000; ++round) {
    const size_t n = next(49);
    std::string text;
    if (round % 2 == 0) {
      for (size_t i = 0; i < n; ++i) text.push_back(kAlphabet[next(sizeof(kAlphabet) - 1)]);
    } else {
      const std::string pattern = std::string(kAlphabet).substr(next(6), 1 + next(4));
      while (text.size() < n) text += next(8) == 0 ? std::string(1, kAlphabet[next(9)]) : pattern;
      text.resize(n);
    }
    SCOPED_TRACE(v7test::to_hex(bytes_of(text), text.size()));
    ASSERT_EQ(pwtest::literal_run_shortened_length(bytes_of(text), n), run_shortened_length(bytes_of(text), n));
    ASSERT_EQ(pwtest::literal_effective_length(bytes_of(text), n), effective_length(bytes_of(text), n));
  }
}

TEST(PasswordStrength, ClassesAreAsciiOnly) {
  EXPECT_EQ(0, class_count(bytes_of(""), 0));
  EXPECT_EQ(1, class_count(bytes_of("7"), 1));
  EXPECT_EQ(1, class_count(bytes_of("q"), 1));
  EXPECT_EQ(1, class_count(bytes_of("Q"), 1));
  EXPECT_EQ(1, class_count(bytes_of(" "), 1));
  EXPECT_EQ(4, class_count(bytes_of("7qQ<"), 4));
  std::string outside = "\t\x7F";
  for (int c = 0x80; c <= 0xFF; ++c) outside.push_back(char(c));
  EXPECT_EQ(0, class_count(bytes_of(outside), outside.size()));
}

}  // namespace
