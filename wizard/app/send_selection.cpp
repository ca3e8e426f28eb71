#include "wizard/app/send_selection.h"

#include <atomic>
#include <cstdlib>

#include "media/selection_record.h"
#include "pki/errors/error_ctx.h"

namespace v7 {
namespace app {
namespace {

std::atomic<SendSelectionRunner> g_runner{nullptr};

// The driver over a fresh zeroed error context and a selection record for the request.
std::unique_ptr<CCertSelect> NewDriver(const RelayRequestRecord *request) {
  auto *errors = static_cast<ERROR_CTX *>(calloc(1, sizeof(ERROR_CTX)));
  auto *record = static_cast<CertListRecord *>(calloc(1, sizeof(CertListRecord)));
  if (errors == nullptr || record == nullptr) {
    free(errors);
    free(record);
    return nullptr;
  }
  record->errors = errors;
  record->request = request;
  return std::unique_ptr<CCertSelect>(new CCertSelect(record, errors));
}

}  // namespace

int RunSendSelection(const RelayRequestRecord *request, std::unique_ptr<CCertSelect> *select) {
  if (SendSelectionRunner runner = g_runner.load()) return runner(request, select);
  *select = NewDriver(request);
  // This build carries no certificate selection dialog yet: nothing can be chosen, so the send
  // ends as a failed read.
  return -1;
}

void SetSendSelectionRunner(SendSelectionRunner runner) { g_runner = runner; }

}  // namespace app
}  // namespace v7
