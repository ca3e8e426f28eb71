// File-driven test vectors. A file under tests/vectors holds one case per block of
// "key = value" lines; blocks are separated by blank lines and "#" starts a comment line.
// A value is hex bytes, or a quoted text ("abc"), optionally repeated: "a" * 1000000.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace v7test {

using Bytes = std::vector<uint8_t>;

struct VectorCase {
  std::string file;
  int line = 0;  // where the block starts, for failure messages
  std::map<std::string, std::string> fields;

  bool has(const std::string &key) const { return fields.count(key) != 0; }
  // The raw text of a field; a missing field fails the test and gives "".
  std::string text(const std::string &key) const;
  Bytes bytes(const std::string &key) const;
  long long number(const std::string &key) const;
  // "file:line" for SCOPED_TRACE.
  std::string where() const;
};

// Reads tests/vectors/<name>; a missing or malformed file fails the calling test.
std::vector<VectorCase> load_vectors(const std::string &name);

std::string vectors_path(const std::string &name);
std::string fixtures_path(const std::string &name);

Bytes from_hex(const std::string &hex);
std::string to_hex(const uint8_t *p, size_t n);
inline std::string to_hex(const Bytes &b) { return to_hex(b.data(), b.size()); }
inline Bytes to_bytes(const std::string &s) { return Bytes(s.begin(), s.end()); }

}  // namespace v7test
