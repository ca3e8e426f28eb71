// The two process-wide words that every text of the library follows.
//
// LanguageId: 18 selects the Korean text of every pair, any other value English; it starts as the
// system default language's primary id. CharEncodingMode: 1 means the narrow texts the library
// exchanges are UTF-8, any other value EUC-KR; it starts as 0. Both are set between transfers and
// read throughout one, so plain words suffice.
#pragma once

#include <cstdint>

enum : uint16_t { kLanguageKorean = 18, kLanguageEnglish = 9 };
enum : int { kCharEncodingUtf8 = 1 };

uint16_t language_id();
void set_language_id(uint16_t id);
bool language_is_korean();

int char_encoding_mode();
void set_char_encoding_mode(int mode);
bool char_encoding_is_utf8();
