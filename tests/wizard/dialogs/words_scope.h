// Sets both process words (LanguageId, CharEncodingMode) for one scope of a test and puts the
// previous values back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/locale/process_words.h"

class WordsScope {
 public:
  WordsScope(uint16_t language, int encoding) : language_(language_id()), encoding_(char_encoding_mode()) {
    set_language_id(language);
    set_char_encoding_mode(encoding);
  }
  ~WordsScope() {
    set_language_id(language_);
    set_char_encoding_mode(encoding_);
  }
  WordsScope(const WordsScope &) = delete;
  WordsScope &operator=(const WordsScope &) = delete;

 private:
  uint16_t language_;
  int encoding_;
};

// The fixture of tests that switch the process words with use(): they are put back as the test
// found them when it ends.
class WordsTest : public ::testing::Test {
 protected:
  static void use(uint16_t language, int encoding) {
    set_language_id(language);
    set_char_encoding_mode(encoding);
  }

 private:
  WordsScope found_{language_id(), char_encoding_mode()};
};

// The languages every window test runs in, and their short names for screenshot files.
constexpr uint16_t kLanguages[] = {kLanguageKorean, kLanguageEnglish};
inline const char *language_name(uint16_t language) { return language == kLanguageKorean ? "ko" : "en"; }
