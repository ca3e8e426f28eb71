// What the test outside modules are told to do, and what they log: an environment variable holds
// the test's wishes as "name=value;" pairs, and V7_TEST_MODULE_LOG names a file to which every
// call appends one line. Both are read at the time of each call (the modules are loaded for one
// call of the library's and unloaded again).
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace v7test {

inline std::string env_text(const char *name) {
  char buffer[4096];
  const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return n != 0 && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

// The value of one name of the script, or fallback when it is not there.
inline std::string script_value(const char *variable, const char *name, const std::string &fallback = "") {
  const std::string script = env_text(variable);
  const std::string key = std::string(name) + "=";
  size_t at = 0;
  while (at < script.size()) {
    size_t end = script.find(';', at);
    if (end == std::string::npos) end = script.size();
    if (script.compare(at, key.size(), key) == 0) return script.substr(at + key.size(), end - at - key.size());
    at = end + 1;
  }
  return fallback;
}

inline int script_number(const char *variable, const char *name, int fallback) {
  const std::string value = script_value(variable, name);
  return value.empty() ? fallback : std::atoi(value.c_str());
}

inline void log_line(const std::string &line) {
  const std::string path = env_text("V7_TEST_MODULE_LOG");
  if (path.empty()) return;
  HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  ::WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  ::CloseHandle(file);
}

inline std::vector<uint8_t> read_whole(const std::string &path) {
  std::vector<uint8_t> out;
  FILE *f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return out;
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(uint8_t(c));
  std::fclose(f);
  return out;
}

// n bytes of a pattern, so that a copy can be checked.
inline std::vector<uint8_t> pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> out(n);
  for (size_t i = 0; i < n; i++) out[i] = uint8_t(i * 7 + seed);
  return out;
}

}  // namespace v7test
