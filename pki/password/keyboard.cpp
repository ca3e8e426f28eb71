// The keyboard layout the grade knows: which keys lie next to which, and the special characters.
//
// The neighbour lists are data as the grade has always used them, gaps and asymmetries included
// (5 to 9 list nobody, E lists # and $ but e does not): changing one changes grades users see.
#include <cstring>

#include "pki/password/internal.h"

namespace v7 {
namespace password {

const char kSpecialChars[34] = " `~!@#$%^&*()-_=+\\|]}[{'\";:/?.>,<";

namespace {

struct KeyRow {
  char key;
  const char *neighbours;
};

// One row per printable character, in code order from the blank to the tilde.
constexpr KeyRow kKeyRows[] = {
    {' ', ""},     {'!', "~@Q"},    {'"', ":"},    {'#', "@$WE"}, {'$', "#%ER"}, {'%', "$^"},
    {'&', "^*"},   {'\'', ";"},     {'(', "*)"},   {')', "(_"},   {'*', "&("},   {'+', "_|"},
    {',', "m."},   {'-', "0="},     {'.', ",/"},   {'/', "."},    {'0', "-"},    {'1', "`q"},
    {'2', "qw"},   {'3', "we"},     {'4', "er"},   {'5', ""},     {'6', ""},     {'7', ""},
    {'8', ""},     {'9', ""},       {':', "L\""},  {';', "l'"},   {'<', "M>"},   {'=', "-\\"},
    {'>', "<?"},   {'?', ">"},      {'@', "!#QW"}, {'A', "QSZ"},  {'B', "VN"},   {'C', "XV"},
    {'D', "SF"},   {'E', "WR34#$"}, {'F', "DG"},   {'G', "FH"},   {'H', "GJ"},   {'I', "UO"},
    {'J', "HK"},   {'K', "JL"},     {'L', "K:;"},  {'M', "N<,"},  {'N', "BM"},   {'O', "IP"},
    {'P', "O[{"},  {'Q', "WA12!@"}, {'R', "ET4$"}, {'S', "AD"},   {'T', "RY"},   {'U', "YI"},
    {'V', "CB"},   {'W', "QE23@#"}, {'X', "ZC"},   {'Y', "TU"},   {'Z', "AX"},   {'[', "p]"},
    {'\\', "="},   {']', "["},      {'^', "%&"},   {'_', ")+"},   {'`', "1"},    {'a', "qsz"},
    {'b', "vn"},   {'c', "xv"},     {'d', "sf"},   {'e', "wr34"}, {'f', "dg"},   {'g', "fh"},
    {'h', "gj"},   {'i', "uo"},     {'j', "hk"},   {'k', "jl"},   {'l', "k;"},   {'m', "n,"},
    {'n', "bm"},   {'o', "ip"},     {'p', "o["},   {'q', "wa12"}, {'r', "et4"},  {'s', "ad"},
    {'t', "ry"},   {'u', "yi"},     {'v', "cb"},   {'w', "qe23"}, {'x', "zc"},   {'y', "tu"},
    {'z', "ax"},   {'{', "P}"},     {'|', "+"},    {'}', "{"},    {'~', "!"},
};

// The lookup indexes the rows by code, so a row missing or out of place would shift every later one.
constexpr bool rows_in_code_order() {
  for (size_t i = 0; i < sizeof(kKeyRows) / sizeof(kKeyRows[0]); ++i) {
    if (static_cast<unsigned char>(kKeyRows[i].key) != 0x20 + i) return false;
  }
  return sizeof(kKeyRows) / sizeof(kKeyRows[0]) == 0x7F - 0x20;
}
static_assert(rows_in_code_order(), "one keyboard row per printable character, in code order");

}  // namespace

bool is_special(uint8_t c) {
  // The set's terminator is not a member.
  return c != 0 && std::memchr(kSpecialChars, c, sizeof(kSpecialChars) - 1) != nullptr;
}

const char *keyboard_neighbours(uint8_t c) {
  return is_printable(c) ? kKeyRows[c - 0x20].neighbours : nullptr;
}

bool are_neighbours(uint8_t a, uint8_t b) {
  if (!is_printable(a) || !is_printable(b)) return false;
  if (a == b) return true;
  // Digits count down as neighbours only from 1 to 9 (0 has no digit below it), and count up
  // within digits and within each case of letters.
  if (a >= '1' && a <= '9' && b == a - 1) return true;
  if (b == a + 1 && ((a >= '0' && a <= '8') || (a >= 'a' && a <= 'y') || (a >= 'A' && a <= 'Y')))
    return true;
  return std::strchr(keyboard_neighbours(a), b) != nullptr;
}

}  // namespace password
}  // namespace v7
