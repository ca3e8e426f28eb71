#include "wizard/keycrypt/key_crypt.h"

#include "crypto/base/wipe.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "wizard/keycrypt/keycrypt_rules.h"

namespace v7 {
namespace keycrypt {
namespace {

std::atomic<int32_t> g_not_ready_sofo{2};
std::atomic<int32_t> g_not_ready_other{0};

std::u16string to_u16(const std::wstring &text) { return std::u16string(text.begin(), text.end()); }
std::wstring to_wide(const std::u16string &text) { return std::wstring(text.begin(), text.end()); }

}  // namespace

std::atomic<int32_t> &KeyCryptNotReadyFlag(const std::wstring &module_word) {
  return is_sofo_module_word(to_u16(module_word)) ? g_not_ready_sofo : g_not_ready_other;
}

CKeyCrypt::CKeyCrypt()
    : m_moduleWord(L"SOFO_V1"),
      m_policy(L"MUST_USE"),
      m_loadFailureText(to_wide(load_failure_text(language_is_korean()))),
      m_loadFailureKorean(language_is_korean()) {}

CKeyCrypt::~CKeyCrypt() { Term(); }

void CKeyCrypt::Prepare(const std::wstring &owner_text) {
  m_ownerText = owner_text;
  m_moduleWord = L"SOFO_V1";
}

bool CKeyCrypt::Ready() const { return m_pSub != nullptr && KeyCryptNotReadyFlag(m_moduleWord).load() == 0; }

int CKeyCrypt::Init() {
  // A second Init replaces the first strategy, which gives back what it held.
  Term();
  KeyCryptPolicy policy = parse_policy(to_u16(m_policy));
  std::atomic<int32_t> &flag = KeyCryptNotReadyFlag(m_moduleWord);
  switch (first_init_step(policy, is_sofo_module_word(to_u16(m_moduleWord)))) {
    case KeyCryptFirstStep::kPlainText:
      m_pSub = new CKeyCryptSub_NONE;
      m_pSub->Init();
      flag = 0;
      return 0;
    case KeyCryptFirstStep::kRefuseModule:
      flag = 1;
      return -1;
    case KeyCryptFirstStep::kTryModule:
      break;
  }
  m_pSub = new CKeyCryptSub_SOFO;
  int result = m_pSub->Init();
  switch (after_module_step(policy, result)) {
    case KeyCryptAfterModule::kReady:
      flag = 0;
      return 0;
    case KeyCryptAfterModule::kFailWithCode:
      flag = 1;
      return result;
    case KeyCryptAfterModule::kFallBackPlain:
      delete m_pSub;
      m_pSub = new CKeyCryptSub_NONE;
      m_pSub->Init();
      flag = 0;
      return 0;
    case KeyCryptAfterModule::kFail:
      break;
  }
  flag = 1;
  return -1;
}

void CKeyCrypt::Protect(HWND edit) {
  if (Ready()) m_pSub->Protect(edit);
}

std::wstring CKeyCrypt::GetText(HWND edit) { return Ready() ? m_pSub->GetText(edit) : std::wstring(); }

int CKeyCrypt::GetText(HWND edit, v7::classlib::CSecretText &secret) {
  secret.Clear();
  if (!Ready()) return 0;
  int code = m_pSub->ReadInto(edit, secret.buffer(), int(v7::classlib::CSecretText::kCapacity));
  if (code != 0) secret.Clear();
  return code;
}

int CKeyCrypt::GetTextA(char *buffer, HWND edit) {
  if (buffer == nullptr) return kErrInvalidParameter;
  if (!Ready()) {
    secure_wipe(buffer, kKeyCryptNarrowSize);
    return 0;
  }
  return m_pSub->GetTextA(edit, buffer, kKeyCryptNarrowSize);
}

void CKeyCrypt::Term() {
  // The strategy knows whether it holds a context; a flag set since by another owner must not
  // keep this one's context (and the module) alive.
  if (m_pSub == nullptr) return;
  m_pSub->Term();
  delete m_pSub;
  m_pSub = nullptr;
}

BOOL CKeyCrypt::Probe() {
  std::atomic<int32_t> &flag = KeyCryptNotReadyFlag(m_moduleWord);
  if (flag.load() != 0) {
    Init();
    Term();
  }
  return flag.load() == 0 ? TRUE : FALSE;
}

std::wstring CKeyCrypt::GetLoadFailureText() const {
  return to_wide(load_failure_prefix(is_sofo_module_word(to_u16(m_moduleWord)), m_loadFailureKorean)) +
         m_loadFailureText;
}

void CKeyCrypt::Suspend() {
  if (Ready()) m_pSub->Suspend();
}

void CKeyCrypt::Resume() {
  if (Ready()) m_pSub->Resume();
}

}  // namespace keycrypt
}  // namespace v7
