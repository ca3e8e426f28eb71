// The certificate selection a send runs before its wizard: the driver is prepared for the
// caller's request and the selection dialog fills it. One function, so that the selection dialog
// takes over here and nowhere else.
#pragma once

#include <memory>

class CCertSelect;
struct RelayRequestRecord;

namespace v7 {
namespace app {

// Makes *select for the request (a fresh zeroed error context and a selection record) and runs
// the selection: 0 when the chosen set's parts were read into it, 21500 when the user cancelled,
// -1 when it failed, after telling the user. *select is set whenever a driver was made, so the
// caller destroys it in every case, after the wizard that points at it.
int RunSelectionForSend(const RelayRequestRecord *request, std::unique_ptr<CCertSelect> *select);

// Test seam, set by test code only, never from outside input: runs in place of the whole
// selection, dialog included (same contract); null restores it.
typedef int (*SendSelectionRunner)(const RelayRequestRecord *request, std::unique_ptr<CCertSelect> *select);
void SetSendSelectionRunner(SendSelectionRunner runner);

}  // namespace app
}  // namespace v7
