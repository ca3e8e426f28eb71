#include "wizard/pages/page_status.h"

#include <cstdlib>

#include "pki/errors/error_ctx.h"
#include "platform/classlib/app.h"
#include "platform/locale/process_words.h"
#include "wizard/res/pages_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/sheet/sheet_cert_relay.h"

namespace v7 {
namespace pages {
namespace {

std::u16string pair_text16(UINT id) {
  const std::wstring text = v7::classlib::LoadPairText(id);
  return std::u16string(text.begin(), text.end());
}

}  // namespace

CPageStatus::CPageStatus() : CRelayPage(IDD_PAGE_STATUS) {}

BOOL CPageStatus::OnInitDialog() {
  CRelayPage::OnInitDialog();
  SetPairText(IDC_STATUS_HEADING, IDS_STATUS_RUNNING);
  return TRUE;
}

BOOL CPageStatus::OnSetActive() {
  Refresh();
  ::InvalidateRect(m_hWnd, nullptr, TRUE);
  ::UpdateWindow(m_hWnd);
  return CRelayPage::OnSetActive();
}

void CPageStatus::Refresh() {
  v7::sheet::CSheetCertRelay *sheet = Sheet();
  if (sheet == nullptr) return;
  const StatusView view = status_view(sheet->StatusState());
  SetPairText(IDC_STATUS_HEADING, UINT(view.heading));
  // A page shown again for a new run starts without the last run's text.
  std::wstring text;
  const std::u16string left_note = pair_text16(IDS_STATUS_COPY_LEFT);
  switch (view.text) {
    case StatusText::None:
      break;
    case StatusText::StoreError: {
      const int code = sheet->StatusState().store_result;
      char16_t *code_text = err_code_text_w(code, language_is_korean() ? 0 : kErrFmtEnglish);
      const std::u16string failed = store_error_text(code_text != nullptr ? code_text : u"", code);
      free(code_text);
      const std::u16string shown = with_folder_line(
          with_folder_line(failed, pair_text16(IDS_STATUS_OLD_SET_KEPT), sheet->KeptBackup()), left_note,
          sheet->LeftCopy());
      text.assign(shown.begin(), shown.end());
      break;
    }
    case StatusText::StoredOnPc: {
      // Stored, and still a copy of the old keys to tell of.
      const std::u16string shown =
          with_folder_line(pair_text16(IDS_STATUS_STORED_ON_PC), left_note, sheet->LeftCopy());
      text.assign(shown.begin(), shown.end());
      break;
    }
    case StatusText::Received:
      text = v7::classlib::LoadPairText(IDS_RECEIVED_HELD);
      break;
    case StatusText::FailureText:
      text = sheet->FailureText();
      break;
  }
  ::SetDlgItemTextW(m_hWnd, IDC_STATUS_TEXT, text.c_str());
  SendDlgItemMessage(IDC_STATUS_ICON, STM_SETICON, WPARAM(sheet->Icon(view.icon)), 0);
  PostButtons(view.buttons);
}

LRESULT CPageStatus::OnWizardBack() {
  PostButtons(kButtonsBackNext);
  v7::sheet::CSheetCertRelay *sheet = Sheet();
  // A receive that failed has nothing to go back to but its start; a failed store goes back to
  // the storing pages before this one.
  if (sheet != nullptr && sheet->IsRecipient() && !sheet->Controller()->Running()) {
    const StatusInput state = sheet->StatusState();
    if (!(state.stored && state.store_result != 0)) return LRESULT(sheet->FirstPageTemplate());
  }
  return CRelayPage::OnWizardBack();
}

}  // namespace pages
}  // namespace v7
