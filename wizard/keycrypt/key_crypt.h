// The keyboard-security wrapper that the owner of a password, PIN, number or code edit holds: it
// chooses a strategy by its policy and module words, registers the owner's edits with the
// keyboard-security module and reads their text back through it.
//
// Owners call it on their UI thread: Prepare(L"") and Init() in OnInitDialog, Protect() for each
// protected edit, GetText()/GetTextA() whenever a text is needed, Term() on WM_DESTROY.
//
// Whether a module word is ready is process-wide: the last Init of any owner sets or clears it for
// all owners, and while it is not ready every read gives an empty text.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/classlib/ddx.h"
#include "wizard/keycrypt/key_crypt_sub.h"

namespace v7 {
namespace keycrypt {

// Nonzero: the module of that word is not ready. "SOFO_V1" starts at 2 (not tried yet), any other
// word at 0.
std::atomic<int32_t> &KeyCryptNotReadyFlag(const std::wstring &module_word);

class CKeyCrypt {
 public:
  CKeyCrypt();
  CKeyCrypt(const CKeyCrypt &) = delete;
  CKeyCrypt &operator=(const CKeyCrypt &) = delete;
  // Ends what Init started, if the owner has not.
  virtual ~CKeyCrypt();

  // Stores the owner text; the module word goes back to "SOFO_V1".
  void Prepare(const std::wstring &owner_text);
  // 0 when ready, else -1 or the strategy's code. A second Init first ends the first.
  int Init();
  void Protect(HWND edit);
  // Empty when not ready or when the text cannot be read whole.
  std::wstring GetText(HWND edit);
  // Straight into a secret's wiped buffer, so no other copy of the text is left for the caller to
  // wipe: 0 or the read's code (the secret is then empty). Not ready: an empty secret and 0.
  int GetText(HWND edit, v7::classlib::CSecretText &secret);
  // Into buffer of kKeyCryptNarrowSize (128) bytes; 0 or the read's code (the buffer is then
  // wiped). Not ready: an empty text and 0. A null buffer: kErrInvalidParameter.
  int GetTextA(char *buffer, HWND edit);
  // Ends the thread's context this wrapper holds and deletes the strategy.
  void Term();
  // When not ready: Init and Term at once. TRUE when the module word is now ready.
  BOOL Probe();
  // "CKApp.dll" (empty for another module word) followed by the load-failure text.
  std::wstring GetLoadFailureText() const;
  void Suspend();
  void Resume();

  // Nothing in the library uses another policy than "MUST_USE" or another module word than
  // "SOFO_V1"; these let a caller (and the tests) choose.
  void SetPolicy(const std::wstring &policy) { m_policy = policy; }
  void SetModuleWord(const std::wstring &word) { m_moduleWord = word; }

 private:
  bool Ready() const;

  std::wstring m_ownerText;
  std::wstring m_moduleWord;
  std::wstring m_policy;
  CKeyCryptSub *m_pSub = nullptr;
  std::wstring m_loadFailureText;
  bool m_loadFailureKorean;
};

}  // namespace keycrypt
}  // namespace v7
