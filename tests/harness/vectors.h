// File-driven test vectors. A file under tests/vectors holds one case per block of
// "key = value" lines; blocks are separated by blank lines and "#" starts a comment line.
// A value is hex bytes, or a quoted text ("abc"), optionally repeated: "a" * 1000000.
// Every key of every case must be looked at (read, or asked for with has) by some test of the
// executable that loads the file: a misspelt optional key fails the run instead of passing unseen.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace v7test {

using Bytes = std::vector<uint8_t>;

struct VectorCase {
  std::string file;
  int line = 0;  // where the block starts, for failure messages
  std::map<std::string, std::string> fields;
  // The keys of this block that some test has looked at; shared by every load of the file.
  std::set<std::string> *seen = nullptr;

  bool has(const std::string &key) const;
  // The raw text of a field; a missing field fails the test and gives "".
  std::string text(const std::string &key) const;
  Bytes bytes(const std::string &key) const;
  long long number(const std::string &key) const;
  // "file:line" for SCOPED_TRACE.
  std::string where() const;
};

// Reads tests/vectors/<name>; a missing or malformed file fails the calling test.
std::vector<VectorCase> load_vectors(const std::string &name);

// "file:line: no test reads the key 'k'" for each key of the files loaded so far that no test has
// looked at; checked after the last test of every executable.
std::vector<std::string> unread_vector_keys();

std::string vectors_path(const std::string &name);
std::string fixtures_path(const std::string &name);

Bytes from_hex(const std::string &hex);
std::string to_hex(const uint8_t *p, size_t n);
inline std::string to_hex(const Bytes &b) { return to_hex(b.data(), b.size()); }
inline Bytes to_bytes(const std::string &s) { return Bytes(s.begin(), s.end()); }

}  // namespace v7test
