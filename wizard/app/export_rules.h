// The decisions of the library's exports, apart from any window: which language a setter stores,
// how the selection before a send ended and what a finished call returns. The mode word of a
// caller's type is relay/mode_word.h's, the pages of a mode the sheet's (page_logic.h). Portable,
// so the tables of cases run natively.
#pragma once

#include <cstdint>


namespace v7 {
namespace app {

// The language a setter stores: 18 and 9 as given, any other value the system default's.
uint16_t stored_language(int requested, uint16_t system_default);

// How the certificate selection before a send ended (its result: 0, 21500 or -1).
enum class SelectionOutcome {
  kChosen,     // 0: the chosen set's parts were read; the wizard follows
  kCancelled,  // 21500: the user cancelled; the send returns it
  kFailed,     // anything else: the selection told the user; -1
};
SelectionOutcome selection_outcome(int run_result);

// The result of a call whose wizard ran: 21500 when the user cancelled it, 0 only when the
// transfer completed, -1 when the wizard ended any other way (a failure it showed, Finish on a
// failed status page): a wizard that closed is not a transfer that happened.
int wizard_result(bool cancelled, bool completed);

}  // namespace app
}  // namespace v7
