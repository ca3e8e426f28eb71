// The keyboard layout behind the strength grade.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pki/password/internal.h"
#include "tests/harness/vectors.h"

namespace {

using namespace v7::password;

TEST(PasswordKeyboard, NeighbourListsAsStored) {
  int rows = 0;
  for (const auto &c : v7test::load_vectors("password_keyboard.txt")) {
    SCOPED_TRACE(c.where());
    const v7test::Bytes key = c.bytes("key");
    ASSERT_EQ(1u, key.size());
    const v7test::Bytes want = c.bytes("neighbours");
    const char *got = keyboard_neighbours(key[0]);
    ASSERT_NE(nullptr, got);
    EXPECT_EQ(v7test::to_hex(want), v7test::to_hex(reinterpret_cast<const uint8_t *>(got), std::strlen(got)));
    EXPECT_EQ(0x20 + rows, key[0]) << "one row per printable character, in code order";
    ++rows;
  }
  EXPECT_EQ(95, rows);
}

TEST(PasswordKeyboard, OnlyPrintableCharactersHaveRows) {
  for (int c = 0; c < 256; ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(c >= 0x20 && c <= 0x7E, keyboard_neighbours(uint8_t(c)) != nullptr);
  }
}

struct PairCase {
  char a, b;
  bool neighbours;
};

const PairCase kPairs[] = {
    // A printable character is its own neighbour; nothing else is.
    {' ', ' ', true}, {'\t', '\t', false}, {'\x7F', '\x7F', false}, {'\xEB', '\xEB', false},
    // Digits count down from 9 to 0 and up from 0 to 9, not past them.
    {'2', '1', true}, {'1', '0', true}, {'0', '/', false}, {'9', '8', true}, {'0', '1', true},
    {'8', '9', true}, {'9', ':', false},
    // Letters count up within their case only.
    {'a', 'b', true}, {'y', 'z', true}, {'z', '{', false}, {'Y', 'Z', true}, {'Z', '[', false},
    {'b', 'a', false}, {'`', 'a', false},
    // Listed keys, asymmetries included: E lists # but e does not.
    {'q', 'w', true}, {'w', 'q', true}, {'E', '#', true}, {'e', '#', false}, {'e', '3', true},
    {'5', '6', true}, {'5', 't', false}, {'~', '!', true}, {'!', '~', true}, {'1', '`', true},
    {'q', 'Q', false}, {'\\', '=', true}, {'"', ':', true}, {'\'', ';', true},
};

TEST(PasswordKeyboard, NeighbourTest) {
  for (const PairCase &p : kPairs) {
    SCOPED_TRACE(std::string(1, p.a) + std::string(1, p.b));
    EXPECT_EQ(p.neighbours, are_neighbours(uint8_t(p.a), uint8_t(p.b)));
  }
}

// The specials are exactly the printable characters that are neither letter nor digit, stored in
// the order the grade has always kept them.
TEST(PasswordKeyboard, SpecialCharacters) {
  EXPECT_EQ(std::string(" `~!@#$%^&*()-_=+\\|]}[{'\";:/?.>,<"), std::string(kSpecialChars));
  int specials = 0;
  for (int c = 0; c < 256; ++c) {
    SCOPED_TRACE(c);
    const bool mark = c >= 0x20 && c <= 0x7E && !is_letter(uint8_t(c)) && !is_digit(uint8_t(c));
    EXPECT_EQ(mark, is_special(uint8_t(c)));
    specials += is_special(uint8_t(c)) ? 1 : 0;
  }
  EXPECT_EQ(33, specials);
}

}  // namespace
