#include "tests/harness/vectors.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>

namespace v7test {
namespace {

std::string trim(const std::string &s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) b++;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) e--;
  return s.substr(b, e - b);
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Which keys of each block of each loaded file the tests have looked at, checked once all tests
// have run: a key nobody reads is a mistake in the file or in a test.
struct KeyUsage {
  std::map<std::string, std::string> keys;  // key -> "file:line" of its block
  std::set<std::string> seen;
};
std::map<std::string, KeyUsage> &usage_by_block() {
  static std::map<std::string, KeyUsage> usage;
  return usage;
}

class UnreadKeysCheck : public ::testing::Environment {
 public:
  void TearDown() override {
    // A filtered or sharded run leaves out tests that may be the readers.
    if (::testing::GTEST_FLAG(filter) != "*" || std::getenv("GTEST_TOTAL_SHARDS") != nullptr) return;
    for (const std::string &unread : unread_vector_keys()) ADD_FAILURE() << unread;
  }
};
::testing::Environment *const g_unread_keys_check = ::testing::AddGlobalTestEnvironment(new UnreadKeysCheck);

}  // namespace

std::vector<std::string> unread_vector_keys() {
  std::vector<std::string> unread;
  for (const auto &block : usage_by_block()) {
    for (const auto &key : block.second.keys) {
      if (block.second.seen.count(key.first) == 0)
        unread.push_back(key.second + ": no test reads the key '" + key.first + "'");
    }
  }
  return unread;
}

std::string vectors_path(const std::string &name) { return std::string(V7_TEST_VECTORS_DIR) + "/" + name; }
std::string fixtures_path(const std::string &name) { return std::string(V7_TEST_FIXTURES_DIR) + "/" + name; }

Bytes from_hex(const std::string &hex) {
  Bytes out;
  int high = -1;
  for (char c : hex) {
    if (std::isspace(static_cast<unsigned char>(c)) || c == ':') continue;
    int d = hex_digit(c);
    if (d < 0) {
      ADD_FAILURE() << "not a hex digit: '" << c << "' in " << hex;
      return {};
    }
    if (high < 0) {
      high = d;
    } else {
      out.push_back(uint8_t(high << 4 | d));
      high = -1;
    }
  }
  if (high >= 0) ADD_FAILURE() << "odd number of hex digits: " << hex;
  return out;
}

std::string to_hex(const uint8_t *p, size_t n) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(2 * n);
  for (size_t i = 0; i < n; i++) {
    s.push_back(digits[p[i] >> 4]);
    s.push_back(digits[p[i] & 15]);
  }
  return s;
}

bool VectorCase::has(const std::string &key) const {
  if (seen != nullptr) seen->insert(key);
  return fields.count(key) != 0;
}

std::string VectorCase::text(const std::string &key) const {
  if (seen != nullptr) seen->insert(key);
  auto it = fields.find(key);
  if (it == fields.end()) {
    ADD_FAILURE() << where() << ": no field '" << key << "'";
    return {};
  }
  return it->second;
}

Bytes VectorCase::bytes(const std::string &key) const {
  std::string v = text(key);
  if (v.empty() || v[0] != '"') return from_hex(v);
  size_t close = v.find('"', 1);
  if (close == std::string::npos) {
    ADD_FAILURE() << where() << ": unterminated text in '" << key << "'";
    return {};
  }
  std::string unit = v.substr(1, close - 1);
  long long repeat = 1;
  std::string rest = trim(v.substr(close + 1));
  if (!rest.empty()) {
    if (rest[0] != '*') {
      ADD_FAILURE() << where() << ": expected '* count' after text in '" << key << "'";
      return {};
    }
    repeat = std::atoll(rest.c_str() + 1);
  }
  Bytes out;
  out.reserve(unit.size() * size_t(repeat));
  for (long long i = 0; i < repeat; i++) out.insert(out.end(), unit.begin(), unit.end());
  return out;
}

long long VectorCase::number(const std::string &key) const {
  std::string v = text(key);
  return std::strtoll(v.c_str(), nullptr, 0);
}

std::string VectorCase::where() const { return file + ":" + std::to_string(line); }

std::vector<VectorCase> load_vectors(const std::string &name) {
  std::vector<VectorCase> cases;
  std::ifstream in(vectors_path(name));
  if (!in) {
    ADD_FAILURE() << "cannot open " << vectors_path(name);
    return cases;
  }
  VectorCase current;
  std::string line;
  int number = 0;
  auto flush = [&] {
    if (!current.fields.empty()) {
      KeyUsage &usage = usage_by_block()[current.where()];
      for (const auto &field : current.fields) usage.keys.emplace(field.first, current.where());
      current.seen = &usage.seen;
      cases.push_back(current);
    }
    current = VectorCase();
  };
  while (std::getline(in, line)) {
    number++;
    std::string t = trim(line);
    if (t.empty()) {
      flush();
      continue;
    }
    if (t[0] == '#') continue;
    size_t eq = t.find('=');
    if (eq == std::string::npos) {
      ADD_FAILURE() << name << ":" << number << ": expected 'key = value'";
      continue;
    }
    if (current.fields.empty()) {
      current.file = name;
      current.line = number;
    }
    std::string key = trim(t.substr(0, eq));
    if (current.fields.count(key) != 0) ADD_FAILURE() << name << ":" << number << ": key '" << key << "' twice";
    current.fields[key] = trim(t.substr(eq + 1));
  }
  flush();
  if (cases.empty()) ADD_FAILURE() << name << " holds no cases";
  return cases;
}

}  // namespace v7test
