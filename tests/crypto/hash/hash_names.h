// The algorithm names that the vector files use, and their hash types.
#pragma once

#include <string>

inline int hash_type_named(const std::string &name) {
  static const char *const kNames[] = {"SHA-1", "SHA-256", "SHA-384", "SHA-512", "SHA-224", "HAS-160", "MD5"};
  for (int i = 0; i < 7; i++)
    if (name == kNames[i]) return i + 1;
  return 0;
}
