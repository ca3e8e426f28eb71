#include "wizard/app/export_rules.h"

#include "platform/locale/process_words.h"
#include "wizard/relay_results.h"

namespace v7 {
namespace app {

uint16_t stored_language(int requested, uint16_t system_default) {
  return requested == kLanguageKorean || requested == kLanguageEnglish ? uint16_t(requested) : system_default;
}

SelectionOutcome selection_outcome(int run_result) {
  if (run_result == 0) return SelectionOutcome::kChosen;
  return run_result == kRelayExportCancelled ? SelectionOutcome::kCancelled : SelectionOutcome::kFailed;
}

int wizard_result(bool cancelled, bool completed) {
  if (cancelled) return kRelayExportCancelled;
  return completed ? kRelayExportCompleted : kRelayExportFailed;
}

}  // namespace app
}  // namespace v7
