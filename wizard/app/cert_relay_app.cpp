#include "wizard/app/cert_relay_app.h"

#include <atomic>

#include "media/broker_client.h"
#include "pki/text/file_broker.h"
#include "platform/locale/process_words.h"
#include "platform/locale/system_language.h"
#include "wizard/dialogs/text_setters.h"

namespace v7 {
namespace app {
namespace {

std::atomic<bool> g_transfer_running{false};

}  // namespace

CCertRelayUIApp::CCertRelayUIApp() : CWinApp(L"v7relay") {}

BOOL CCertRelayUIApp::InitInstance() {
  set_language_id(platform_system_primary_language());
  set_file_broker(broker_file_broker());
  return TRUE;
}

ExportCall::ExportCall(Kind kind) : kind_(kind) {
  // The reference is taken from an address inside this library, whichever module links it.
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&ExportCall::TransferRunning), &self_);
  if (kind_ != kTransfer) return;
  bool expected = false;
  if (!g_transfer_running.compare_exchange_strong(expected, true)) {
    refused_ = true;
    return;
  }
  v7::dialogs::EnsureRichEdit();
}

ExportCall::~ExportCall() {
  if (kind_ == kTransfer && !refused_) {
    broker_release();
    g_transfer_running = false;
  }
  // The caller still holds the library it called (the control links it, and keeps itself loaded
  // during a call), so this is never the last reference in a sound host.
  if (self_ != nullptr) ::FreeLibrary(self_);
}

bool ExportCall::TransferRunning() { return g_transfer_running.load(); }

}  // namespace app
}  // namespace v7
