// The decisions of the keyboard-security wrapper that need no window: the policy and module
// words, the steps of initialisation, the layout of the protected read's request, the checks on
// what the module wrote, the bookkeeping of protected windows and the load-failure texts. Portable,
// so that every rule is held against a table natively as well as under Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace v7 {
namespace keycrypt {

// The keyboard-security module's interface: the per-thread block, the read request (a copy of the
// block with two 32-bit words at its end), the message that reads a protected edit and the flags.
enum : uint32_t {
  kCKAppBlockSize = 260,
  kCKAppReadOutputOffset = 252,  // 32-bit address of the output buffer
  kCKAppReadCountOffset = 256,   // the caller's count
  kCKAppOutputSize = 128,        // narrow output, terminator included
  kCKAppReadMessage = 0x510,     // wParam kCKAppBlockSize, lParam the request
  kCKAppFlagThread = 4,          // SetCKAppFlag(block, 0, 4, 1) once per thread context
  kCKAppFlagProtectEdit = 0x4000,  // SetCKAppFlag(block, edit, 0x4000, 1) per protected edit
};

// Wide characters of the local buffers every read goes through (terminator included), and the
// narrow size owners read into.
enum : size_t { kKeyCryptTextCapacity = 128, kKeyCryptNarrowSize = 128 };

enum class KeyCryptPolicy { kMustUse, kMustNotUse, kTryUsing, kOther };

// "MUST_USE", "MUST_NOT_USE", "TRY_USING" ignoring ASCII case; anything else is kOther.
KeyCryptPolicy parse_policy(const std::u16string &word);
// "SOFO_V1" ignoring ASCII case: the one module word with a module behind it.
bool is_sofo_module_word(const std::u16string &word);

// Initialisation before any module is tried.
enum class KeyCryptFirstStep {
  kPlainText,     // no module: the plain window text is read; ready
  kRefuseModule,  // no module exists for the word: never ready, -1
  kTryModule,     // try the module, then after_module_step
};
KeyCryptFirstStep first_init_step(KeyCryptPolicy policy, bool sofo_module_word);

// Initialisation after the module strategy answered (0: it is ready).
enum class KeyCryptAfterModule {
  kReady,          // the module strategy is used; ready, 0
  kFailWithCode,   // not ready, return the module's code; the strategy holds nothing
  kFallBackPlain,  // replace the strategy by plain window text; ready, 0
  kFail,           // not ready, -1
};
KeyCryptAfterModule after_module_step(KeyCryptPolicy policy, int module_result);

// The read request: a copy of the thread's block with the output buffer's address and the count in
// the words at offsets 252 and 256 (little-endian, as the module reads them).
void build_read_request(uint8_t request[kCKAppBlockSize], const uint8_t block[kCKAppBlockSize],
                        uint32_t output_address, uint32_t count);

// The length of the module's terminated narrow output, or -1 when it filled the whole buffer
// without a terminator (its text did not fit, so what is there is only a part of it).
int module_output_length(const uint8_t output[kCKAppOutputSize]);

// Whether a wide text of `length` units fits a caller's buffer of `count` units with its
// terminator. A text that does not fit is refused, never cut: half a password is a wrong password
// that the user never typed.
inline bool wide_text_fits(size_t length, size_t count) { return count > 0 && length < count; }

// A protected edit and the thread that protected it.
struct HandleWrapper {
  const void *window;
  uint32_t thread_id;
  bool operator==(const HandleWrapper &other) const {
    return window == other.window && thread_id == other.thread_id;
  }
};
using HandleList = std::vector<HandleWrapper>;

// Appends the pair unless the list holds it already; true when it was appended.
bool add_protected_window(HandleList &list, const HandleWrapper &entry);
// Removes every entry of the thread, keeping the others in order.
void remove_thread_windows(HandleList &list, uint32_t thread_id);
// Moves every entry of the thread, in order, to the end of `to`; an entry `to` already holds is
// dropped instead of doubled.
void move_thread_windows(HandleList &from, HandleList &to, uint32_t thread_id);

// The text shown when the module cannot be loaded: load_failure_prefix, the module's name ("CKApp.dll"
// for the module word "SOFO_V1", none for any other word, with a space before an English
// sentence), followed by the text of the language (Korean when korean is true).
std::u16string load_failure_text(bool korean);
std::u16string load_failure_prefix(bool sofo_module_word, bool korean);
std::u16string load_failure_message(bool sofo_module_word, bool korean);

}  // namespace keycrypt
}  // namespace v7
