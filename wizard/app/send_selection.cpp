#include "wizard/app/send_selection.h"

#include <atomic>
#include <cstdlib>
#include <string>

#include "media/selection_record.h"
#include "pki/errors/error_ctx.h"
#include "platform/classlib/app.h"
#include "platform/ui/message_box.h"
#include "wizard/relay_results.h"
#include "wizard/res/string_ids.h"
#include "wizard/select/cert_list.h"

namespace v7 {
namespace app {
namespace {

std::atomic<SendSelectionRunner> g_runner{nullptr};

}  // namespace

int RunSelectionForSend(const RelayRequestRecord *request, std::unique_ptr<CCertSelect> *select) {
  if (SendSelectionRunner runner = g_runner.load()) return runner(request, select);
  auto *errors = static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX)));
  CertListRecord *record = errors != nullptr ? CertListCreate(errors, request) : nullptr;
  if (record == nullptr) {
    // Out of memory before anything was shown: the same report as a set that did not read.
    free(errors);
    const std::wstring text = v7::classlib::LoadPairText(IDS_READ_SELECTED_FAILED);
    v7::message_box_w(reinterpret_cast<const char16_t *>(text.c_str()), u"", 0 /* MB_OK */);
    return kRelayExportFailed;
  }
  select->reset(new CCertSelect(record, errors));
  return ::RunSendSelection(select->get());
}

void SetSendSelectionRunner(SendSelectionRunner runner) { g_runner = runner; }

}  // namespace app
}  // namespace v7
