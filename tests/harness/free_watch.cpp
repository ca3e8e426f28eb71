#include "tests/harness/free_watch.h"

#include <malloc.h>

#include <cstring>

extern "C" void __real_free(void *p);

namespace {

unsigned char g_pattern[256];
size_t g_pattern_len = 0;
bool g_armed = false;
int g_holding = 0;
int g_freed = 0;

bool holds_pattern(const void *p) {
  size_t size = malloc_usable_size(const_cast<void *>(p));
  return size >= g_pattern_len && memmem(p, size, g_pattern, g_pattern_len) != nullptr;
}

}  // namespace

extern "C" void __wrap_free(void *p) {
  if (g_armed && p != nullptr) {
    g_freed++;
    if (holds_pattern(p)) g_holding++;
  }
  __real_free(p);
}

namespace freewatch {

void arm(const void *pattern, size_t len) {
  g_pattern_len = len < sizeof g_pattern ? len : sizeof g_pattern;
  memcpy(g_pattern, pattern, g_pattern_len);
  g_holding = g_freed = 0;
  g_armed = true;
}

int disarm() {
  g_armed = false;
  return g_holding;
}

int freed_blocks() { return g_freed; }

}  // namespace freewatch
