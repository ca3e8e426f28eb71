#include "platform/locale/process_words.h"

#include "platform/locale/system_language.h"

namespace {

// Function-local, so that a reader during another file's static initialisation still finds the
// system default rather than zero.
uint16_t &language_slot() {
  static uint16_t id = platform_system_primary_language();
  return id;
}

int g_char_encoding_mode = 0;

}  // namespace

uint16_t language_id() { return language_slot(); }
void set_language_id(uint16_t id) { language_slot() = id; }
bool language_is_korean() { return language_slot() == kLanguageKorean; }

int char_encoding_mode() { return g_char_encoding_mode; }
void set_char_encoding_mode(int mode) { g_char_encoding_mode = mode; }
bool char_encoding_is_utf8() { return g_char_encoding_mode == kCharEncodingUtf8; }
