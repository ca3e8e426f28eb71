#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/errors/errno_util.h"
#include "pki/text/codepage.h"
#include "platform/locale/process_words.h"
#include "relay/session/internal.h"

namespace {

struct CodeText {
  int code;
  const char *english;
  const char *korean;  // UTF-8
};

const CodeText kCodeTexts[] = {
    {1, "Authorization code is not correct.", "인증번호가 맞지 않습니다."},
    {2, "Authorization code is expired.", "인증번호가 만료되었습니다."},
    {15, "Failed to validate the certificate of the relay server.", "중계서버 인증서 검증에 실패하였습니다."},
    {16, "Failed to match protocol version.", "메시지 버젼이 일치하지 않습니다."},
    {43, "Signature for certificate transfer is not correct.",
     "인증서 이동을 위한 서명이 올바르지 않습니다."},
    {44,
     "Alien/Resident ID(or Business Registration) Number inputted for certificate transfer is not correct.",
     "인증서 이동을 위해 입력한 주민등록번호가 올바르지 않습니다."},
    {46, "Failed to import the certificate you are trying to transfer.",
     "이동대상 인증서를 가져올 수 없습니다."},
    {516, "Failed to acquire subject DN from the certificate.",
     "인증서로부터 소유자DN을 획득할 수 없습니다."},
    {517, "Certificate storage location is not correct.", "인증서 저장위치가 올바르지 않습니다."},
    {518, "Failed to store sign-purpose certificate.", "서명용 인증서 저장에 실패하였습니다."},
    {519, "Failed to store encryption-purpose certificate.", "암호화용 인증서 저장에 실패하였습니다."},
};

const char kHeadlineEnglish[] = "Failed to transfer the certificate.";
const char kHeadlineKorean[] = "인증서 이동에 실패하였습니다.";

// A Korean text in the narrow encoding of the setting; empty when it cannot be converted.
std::string korean(const char *utf8) {
  if (char_encoding_is_utf8()) return utf8;
  char *euckr = nullptr;
  std::string out;
  if (utf8_to_euckr(utf8, &euckr) != 0) out = euckr;
  free(euckr);
  return out;
}

// The text of a code in the language, or "" for a code without one. The UTF-8 Korean texts end
// in a line break and the EUC-KR ones do not, as the texts users already know do.
std::string code_text(int code, bool in_korean) {
  for (const CodeText &t : kCodeTexts) {
    if (t.code != code) continue;
    if (!in_korean) return t.english;
    std::string text = korean(t.korean);
    if (char_encoding_is_utf8()) text += "\r\n";
    return text;
  }
  return std::string();
}

const char *step_name(uint8_t step, bool sender) {
  switch (step) {
    case 1:
      return "Finish";
    case 2:
      return "Hello";
    case 3:
    case 4:
    case 6:
      return "Step1";
    case 5:
    case 7:
      return "Step2";
    case 8:
      return sender ? "Step2" : "Step3";
    case 9:
      return "Step3";
    case 10:
      return sender ? "Step3" : "Step4";
    case 15:
      return "Store";
    default:
      return "StepN";
  }
}

std::string hex_code(int code) {
  char buf[16];
  snprintf(buf, sizeof buf, "[0x%04x]", unsigned(code));
  return buf;
}

}  // namespace

const char *relay_failure_text(RelaySession *s, int language) {
  if (s == nullptr) return v7::with_errno<const char *>(v7::kErrRelayMissing, nullptr);
  const bool in_korean = language == kLanguageKorean;
  std::string text = step_name(s->step, s->role == kRelayRoleSender);
  text += ") ";
  text += in_korean ? korean(kHeadlineKorean) : std::string(kHeadlineEnglish);
  std::string last = code_text(s->last_error, in_korean);
  if (!last.empty()) {
    text += "\r\n\r\n" + last;
  } else {
    text += hex_code(s->last_error) + "\r\n\r\n";
  }
  std::string prev = code_text(s->prev_error, in_korean);
  if (!prev.empty()) {
    text += "\r\n" + prev;
  } else if (s->prev_error != 0) {
    text += hex_code(s->prev_error);
  }
  const char *context = err_ctx_format(s->error, in_korean ? 0 : kErrFmtEnglish);
  if (context != nullptr && context[0] != 0) {
    text += "\r\n";
    text += context;
  }
  char *copy = static_cast<char *>(malloc(text.size() + 1));
  if (copy == nullptr) return v7::with_errno<const char *>(v7::kErrRelayNoMemory, nullptr);
  memcpy(copy, text.c_str(), text.size() + 1);
  free(s->failure_text);
  s->failure_text = copy;
  return copy;
}
