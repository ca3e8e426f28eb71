// The transfer exports and the two word setters (ordinals 1 to 5).
#include <winsock2.h>  // before any windows.h, which it brings in

#include <memory>

#include "media/selection_record.h"
#include "platform/classlib/app.h"
#include "platform/locale/process_words.h"
#include "platform/locale/system_language.h"
#include "relay/mode_word.h"
#include "wizard/app/cert_relay_app.h"
#include "wizard/app/export_rules.h"
#include "wizard/app/send_selection.h"
#include "wizard/pages/page_change_passwd.h"
#include "wizard/pages/page_input_an.h"
#include "wizard/pages/page_input_an2.h"
#include "wizard/pages/page_input_an3.h"
#include "wizard/pages/sender_logic.h"
#include "wizard/relay_exports.h"
#include "wizard/sheet/sheet_cert_relay.h"

using v7::app::ExportCall;
using v7::pages::SheetPage;
using v7::sheet::CSheetCertRelay;

namespace {

// The sender's pages of the mode: the password page when the kind has one, then its code page.
void InstallSenderPages(CSheetCertRelay *sheet, RelayModeWord mode) {
  v7::pages::SenderPageSet set{};
  if (!v7::pages::sender_page_set(mode, &set)) return;
  if (set.change_password) {
    sheet->InstallPage(SheetPage::ChangePasswd, std::make_unique<v7::pages::CPageChangePasswd>());
  }
  switch (set.code_page) {
    case v7::pages::CodePage::kInputAN:
      sheet->InstallPage(SheetPage::InputAN, std::make_unique<v7::pages::CPageInputAN>());
      break;
    case v7::pages::CodePage::kInputAN2:
      sheet->InstallPage(SheetPage::InputAN2, std::make_unique<v7::pages::CPageInputAN2>());
      break;
    case v7::pages::CodePage::kInputAN3:
      sheet->InstallPage(SheetPage::InputAN3, std::make_unique<v7::pages::CPageInputAN3>());
      break;
  }
}

int RunSheet(CSheetCertRelay *sheet) {
  sheet->AddModePages();
  const INT_PTR end = sheet->DoModal();
  return v7::app::wizard_result(end == IDCANCEL, sheet->TransferCompleted());
}

int StoreLanguage(int language) {
  ExportCall call(ExportCall::kSetting);
  // The words are read throughout a transfer: one that runs keeps the language it started with.
  if (!ExportCall::TransferRunning()) {
    set_language_id(v7::app::stored_language(language, platform_system_primary_language()));
  }
  return language_id();
}

}  // namespace

extern "C" int WINAPI cr_set_lang_id(int language) { return StoreLanguage(language); }

extern "C" int WINAPI VELMORARELAY_SetLanguage(int language) { return StoreLanguage(language); }

extern "C" int WINAPI VELMORARELAY_SetCharEncoding(int encoding) {
  if (!ExportCall::TransferRunning()) set_char_encoding_mode(encoding);
  return char_encoding_mode();
}

extern "C" int WINAPI VELMORARELAY_RecvCertificate(int type, int flags, int media, RelayRequestRecord *request) {
  const RelayModeWord mode = relay_mode_for_recv(type);
  if (mode == 0) return kRelayExportUnknownType;
  // Without a record there is nothing to run the transfer for: refused before any window.
  if (request == nullptr) return kRelayExportFailed;
  ExportCall call(ExportCall::kTransfer);
  if (call.Refused()) return kRelayExportFailed;
  const v7::sheet::MediaMask mask{uint32_t(media)};
  std::unique_ptr<CSheetCertRelay> sheet(
      flags != 0 ? new CSheetCertRelay(mode, mask, v7::sheet::ControlFlags{uint32_t(flags)})
                 : new CSheetCertRelay(mode, mask));
  sheet->SetRequest(request);
  return RunSheet(sheet.get());
}

extern "C" int WINAPI VELMORARELAY_SendCertificate(int type, int flags, RelayRequestRecord *request) {
  const RelayModeWord mode = relay_mode_for_send(type);
  if (mode == 0) return kRelayExportUnknownType;
  if (request == nullptr) return kRelayExportFailed;
  ExportCall call(ExportCall::kTransfer);
  if (call.Refused()) return kRelayExportFailed;
  // Declared first, so the driver outlives the sheet that points at it.
  std::unique_ptr<CCertSelect> select;
  std::unique_ptr<CSheetCertRelay> sheet(flags != 0 ? new CSheetCertRelay(mode, v7::sheet::ControlFlags{uint32_t(flags)})
                                                    : new CSheetCertRelay(mode));
  sheet->SetRequest(request);
  // The selection told the user why when it failed.
  switch (v7::app::selection_outcome(v7::app::RunSelectionForSend(request, &select))) {
    case v7::app::SelectionOutcome::kCancelled:
      return kRelayExportCancelled;
    case v7::app::SelectionOutcome::kFailed:
      return kRelayExportFailed;
    case v7::app::SelectionOutcome::kChosen:
      break;
  }
  sheet->SetSelection(select.get());
  InstallSenderPages(sheet.get(), mode);
  return RunSheet(sheet.get());
}
