// The English and Korean message of every error code the library can show.
//
// Codes are the toolkit's decimal codes and the codes of outside modules with their offset
// (secure-disk module +0x20000, PKCS#11 +0x100000). Both lookups return constant texts that are
// never freed, and the empty text (never null) for a code without a text in that language.
#pragma once

// The English text of a code.
const char *err_text_en(int code);

// The Korean text of a code, in UTF-8 when CharEncodingMode is 1 and in EUC-KR otherwise; the
// words are the same in both.
const char *err_text_ko(int code);
