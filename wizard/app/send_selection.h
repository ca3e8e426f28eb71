// The certificate selection a send runs before its wizard: the driver is prepared for the
// caller's request and the selection dialog fills it. One function, so that the selection dialog
// takes over here and nowhere else.
#pragma once

#include <memory>

class CCertSelect;
struct RelayRequestRecord;

namespace v7 {
namespace app {

// Prepares *select for the request and runs the selection: 0 when the chosen set's parts were
// read into it, 2 when the user cancelled, anything else when it failed. *select is set whenever
// a driver was made, so the caller destroys it in every case.
int RunSendSelection(const RelayRequestRecord *request, std::unique_ptr<CCertSelect> *select);

// Test seam, set by test code only, never from outside input: runs in place of the selection
// (same contract); null restores it.
typedef int (*SendSelectionRunner)(const RelayRequestRecord *request, std::unique_ptr<CCertSelect> *select);
void SetSendSelectionRunner(SendSelectionRunner runner);

}  // namespace app
}  // namespace v7
