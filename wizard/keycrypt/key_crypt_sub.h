// The strategies behind CKeyCrypt: CKeyCryptSub_NONE reads the plain window text, CKeyCryptSub_SOFO
// registers edits with the keyboard-security module and reads them back through it. Every read
// goes through a local buffer of kKeyCryptTextCapacity wide characters that is wiped afterwards;
// a text that does not fit the caller's buffer is refused (the buffer is left empty), never cut.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace v7 {
namespace keycrypt {

class CKeyCryptSub {
 public:
  CKeyCryptSub();
  CKeyCryptSub(const CKeyCryptSub &) = delete;
  CKeyCryptSub &operator=(const CKeyCryptSub &) = delete;
  virtual ~CKeyCryptSub();

  // 0 when the strategy is ready.
  virtual int Init() = 0;
  virtual void Term() = 0;
  // Returns 1.
  virtual int Protect(HWND window) = 0;
  virtual int Reserved(HWND window) { return 1; }
  // The edit's text into buffer (count wide characters, terminator included); returns the read's
  // result. A count of 0 does nothing; a failed read leaves the buffer empty and returns 0.
  int GetTextW(HWND window, wchar_t *buffer, int count);
  // The same read, answering 0 or why the text could not be read (the buffer is then empty).
  int ReadInto(HWND window, wchar_t *buffer, int count);
  // The edit's text; also kept as the last text until the next read or the strategy's end.
  virtual std::wstring GetText(HWND window);
  // The edit's text as narrow text in the setting's encoding (UTF-8 when CharEncodingMode is 1,
  // else EUC-KR) into buffer of size bytes, terminator included. 0, or the code of the read or of
  // the conversion (kErrInsufficientBuffer when the text does not fit): the buffer is then wiped.
  virtual int GetTextA(HWND window, char *buffer, size_t size);
  virtual void Suspend() {}
  virtual void Resume() {}

 protected:
  // The read itself: sets *code to 0 or to why the text could not be read.
  virtual int ReadTextW(HWND window, wchar_t *buffer, int count, int *code) = 0;

 private:
  std::wstring last_text_;
};

class CKeyCryptSub_NONE : public CKeyCryptSub {
 public:
  int Init() override { return 0; }
  void Term() override {}
  int Protect(HWND) override { return 1; }

 protected:
  int ReadTextW(HWND window, wchar_t *buffer, int count, int *code) override;
};

class CKeyCryptSub_SOFO : public CKeyCryptSub {
 public:
  ~CKeyCryptSub_SOFO() override;
  // Loads the module when no thread has a context and starts or counts the calling thread's one;
  // -1 when the module cannot be loaded or lacks an entry point.
  int Init() override;
  // Gives back the context this strategy's Init counted (nothing when it failed or was ended).
  void Term() override;
  int Protect(HWND window) override;
  // Ends the calling thread's protection for a call into another module that takes the keyboard,
  // and brings it back as it was.
  void Suspend() override;
  void Resume() override;

 protected:
  int ReadTextW(HWND window, wchar_t *buffer, int count, int *code) override;

 private:
  bool holds_context_ = false;
  DWORD thread_id_ = 0;
};

// Test seam, never set from outside input: the folder "CKApp.dll" is loaded from (the system
// folder when null or empty). Modules are loaded by full path only.
void KeyCryptSetModuleFolder(const wchar_t *folder);
// The full path the next load uses.
std::wstring KeyCryptModulePath();

}  // namespace keycrypt
}  // namespace v7
