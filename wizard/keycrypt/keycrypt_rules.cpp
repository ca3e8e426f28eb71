#include "wizard/keycrypt/keycrypt_rules.h"

#include <algorithm>
#include <cstring>

namespace v7 {
namespace keycrypt {
namespace {

char16_t ascii_upper(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c; }

bool equals_ignoring_case(const std::u16string &text, const char16_t *word) {
  size_t i = 0;
  for (; i < text.size() && word[i] != 0; ++i) {
    if (ascii_upper(text[i]) != ascii_upper(word[i])) return false;
  }
  return i == text.size() && word[i] == 0;
}

void put_u32le(uint8_t *p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(value >> (8 * i));
}

}  // namespace

KeyCryptPolicy parse_policy(const std::u16string &word) {
  if (equals_ignoring_case(word, u"MUST_USE")) return KeyCryptPolicy::kMustUse;
  if (equals_ignoring_case(word, u"MUST_NOT_USE")) return KeyCryptPolicy::kMustNotUse;
  if (equals_ignoring_case(word, u"TRY_USING")) return KeyCryptPolicy::kTryUsing;
  return KeyCryptPolicy::kOther;
}

bool is_sofo_module_word(const std::u16string &word) { return equals_ignoring_case(word, u"SOFO_V1"); }

KeyCryptFirstStep first_init_step(KeyCryptPolicy policy, bool sofo_module_word) {
  if (policy == KeyCryptPolicy::kMustNotUse) return KeyCryptFirstStep::kPlainText;
  if (!sofo_module_word) return KeyCryptFirstStep::kRefuseModule;
  return KeyCryptFirstStep::kTryModule;
}

KeyCryptAfterModule after_module_step(KeyCryptPolicy policy, int module_result) {
  if (module_result == 0) return KeyCryptAfterModule::kReady;
  switch (policy) {
    case KeyCryptPolicy::kMustUse:
      return KeyCryptAfterModule::kFailWithCode;
    case KeyCryptPolicy::kTryUsing:
      return KeyCryptAfterModule::kFallBackPlain;
    default:
      return KeyCryptAfterModule::kFail;
  }
}

void build_read_request(uint8_t request[kCKAppBlockSize], const uint8_t block[kCKAppBlockSize],
                        uint32_t output_address, uint32_t count) {
  std::memcpy(request, block, kCKAppBlockSize);
  put_u32le(request + kCKAppReadOutputOffset, output_address);
  put_u32le(request + kCKAppReadCountOffset, count);
}

int module_output_length(const uint8_t output[kCKAppOutputSize]) {
  const void *end = std::memchr(output, 0, kCKAppOutputSize);
  return end == nullptr ? -1 : int(static_cast<const uint8_t *>(end) - output);
}

bool add_protected_window(HandleList &list, const HandleWrapper &entry) {
  if (std::find(list.begin(), list.end(), entry) != list.end()) return false;
  list.push_back(entry);
  return true;
}

void remove_thread_windows(HandleList &list, uint32_t thread_id) {
  list.erase(std::remove_if(list.begin(), list.end(),
                            [thread_id](const HandleWrapper &e) { return e.thread_id == thread_id; }),
             list.end());
}

void move_thread_windows(HandleList &from, HandleList &to, uint32_t thread_id) {
  for (const HandleWrapper &entry : from) {
    if (entry.thread_id == thread_id) add_protected_window(to, entry);
  }
  remove_thread_windows(from, thread_id);
}

std::u16string load_failure_text(bool korean) {
  if (korean) {
    return u"을 로딩할 수 없습니다.\r\n키보드 보안 프로그램을 재설치하시기 바랍니다.\r\n"
           u"자세한 사항은 사이트 관리자에게 문의하시기 바랍니다.";
  }
  return u"can not be loaded.\r\nPlease reinstall keyboard security program.\r\n"
         u"If you need more information, please contact the website administrator.";
}

std::u16string load_failure_prefix(bool sofo_module_word, bool korean) {
  if (!sofo_module_word) return std::u16string();
  // The Korean particle joins the name directly; the English sentence needs a space after it.
  return korean ? u"CKApp.dll" : u"CKApp.dll ";
}

std::u16string load_failure_message(bool sofo_module_word, bool korean) {
  return load_failure_prefix(sofo_module_word, korean) + load_failure_text(korean);
}

}  // namespace keycrypt
}  // namespace v7
