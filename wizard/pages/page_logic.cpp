#include "wizard/pages/page_logic.h"

#include <cstdlib>
#include <cstring>

#include "crypto/base/wipe.h"
#include "pki/text/codepage.h"
#include "wizard/res/pages_ids.h"
#include "wizard/res/string_ids.h"

namespace v7 {
namespace pages {

namespace {

bool is_space(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f'; }

void wipe_string(std::string *s) {
  if (!s->empty()) secure_wipe(&(*s)[0], s->size());
  s->clear();
}

}  // namespace

std::vector<SheetPage> mode_pages(RelayModeWord mode) {
  using P = SheetPage;
  switch (mode) {
    case 0x80000001u: return {P::ChangePasswd, P::InputAN, P::SenderStatus};
    case 0x84000002u: return {P::ChangePasswd, P::InputAN2, P::SenderStatus};
    case 0x80000002u: return {P::ChangePasswd, P::InputAN3, P::SenderStatus};
    case 0x84000003u: return {P::InputAN2, P::SenderStatus};
    case 0x80000003u: return {P::InputAN3, P::SenderStatus};
    case 0x88000001u:
      return {P::InputSSN, P::FirstStatus, P::OutputAN, P::CertDN, P::SecondStatus, P::Media, P::ChangePasswdR, P::LastStatus};
    case 0x88000002u:
    case 0x88000003u:
      return {P::RecipientStart, P::FirstStatus, P::OutputAN2, P::CertDN, P::SecondStatus, P::Media, P::ChangePasswdR, P::LastStatus};
    default: return {};
  }
}

unsigned page_title(RelayModeWord mode, SheetPage page) {
  switch (page) {
    case SheetPage::ChangePasswd: return IDS_TITLE_PASSWORD_CHANGE;
    case SheetPage::InputAN:
    case SheetPage::InputAN2:
    case SheetPage::InputAN3:
    case SheetPage::FirstStatus: return IDS_TITLE_CODE_INPUT;
    case SheetPage::SenderStatus:
    case SheetPage::SecondStatus:
    case SheetPage::LastStatus: return IDS_TITLE_TRANSFER;
    case SheetPage::InputSSN:
    case SheetPage::RecipientStart:
      return mode == 0x88000001u ? IDS_TITLE_SSN_INPUT : mode == 0x88000002u ? IDS_TITLE_CERT_IMPORT : 0;
    case SheetPage::OutputAN:
    case SheetPage::OutputAN2: return IDS_TITLE_CODE_DISPLAY;
    case SheetPage::CertDN: return IDS_TITLE_CERT_CONFIRM;
    case SheetPage::Media: return IDS_TITLE_MEDIA;
    case SheetPage::ChangePasswdR: return IDS_TITLE_RECIPIENT_PASSWORD;
    default: return 0;
  }
}

std::vector<NumberGroup> number_groups(NumberType type) {
  if (type == NumberType::Business) return {{IDC_SSN_BUSINESS1, 3}, {IDC_SSN_BUSINESS2, 2}, {IDC_SSN_BUSINESS3, 5}};
  return {{IDC_SSN_RESIDENT1, 6}, {IDC_SSN_RESIDENT2, 7}};
}

size_t number_digits(NumberType type) { return type == NumberType::Business ? 10 : 13; }

bool SecretGroups::Add(const char16_t *text, size_t length) {
  if (count_ >= kMaxGroups || length > kMaxLength || (text == nullptr && length != 0)) return false;
  if (length != 0) memcpy(text_[count_], text, length * sizeof(char16_t));
  text_[count_][length] = 0;
  length_[count_] = length;
  ++count_;
  return true;
}

void SecretGroups::Clear() {
  secure_wipe(text_, sizeof text_);
  secure_wipe(length_, sizeof length_);
  count_ = 0;
}

std::u16string_view trim_group(std::u16string_view text) {
  size_t begin = 0, end = text.size();
  while (begin < end && is_space(text[begin])) ++begin;
  while (end > begin && is_space(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

WizardButtonFlags number_buttons(NumberType type, const SecretGroups &groups) {
  const std::vector<NumberGroup> layout = number_groups(type);
  if (groups.Count() != layout.size()) return kButtonsNone;
  for (size_t i = 0; i < layout.size(); ++i) {
    if (trim_group(groups.View(i)).size() < layout[i].digits) return kButtonsNone;
  }
  return kButtonsNext;
}

NumberCheck join_number(NumberType type, const SecretGroups &groups, std::string *out) {
  wipe_string(out);
  const std::vector<NumberGroup> layout = number_groups(type);
  if (groups.Count() != layout.size()) return NumberCheck::TooShort;
  NumberCheck check = NumberCheck::Ok;
  // Room for the whole number first: a string that grew would leave the digits so far behind in
  // the block it gave back.
  out->reserve(number_digits(type));
  for (size_t i = 0; i < layout.size() && check == NumberCheck::Ok; ++i) {
    const std::u16string_view group = trim_group(groups.View(i));
    for (char16_t c : group) {
      if (c < u'0' || c > u'9') check = NumberCheck::NotDigits;
    }
    if (check == NumberCheck::Ok && group.size() > layout[i].digits) check = NumberCheck::TooLong;
    if (check == NumberCheck::Ok && group.size() < layout[i].digits) check = NumberCheck::TooShort;
    if (check == NumberCheck::Ok) {
      for (char16_t c : group) out->push_back(char(c));
    }
  }
  if (check != NumberCheck::Ok) wipe_string(out);
  return check;
}

bool code_groups(RelayModeWord mode, const std::string &code, SecretGroups *out) {
  out->Clear();
  const size_t want = relay_mode_kind(mode) < 2 ? 8 : 12;
  if (code.size() != want) return false;
  for (size_t at = 0; at < want; at += 4) {
    char16_t group[4];
    for (size_t i = 0; i < 4; ++i) group[i] = char16_t(static_cast<unsigned char>(code[at + i]));
    out->Add(group, 4);
    secure_wipe(group, sizeof group);
  }
  return true;
}

StatusView status_view(const StatusInput &in) {
  if (in.stored) {
    if (in.store_result != 0) return {IDS_STATUS_FAILED, StatusText::StoreError, StatusIcon::Failed, kButtonsBackFinish};
    return {IDS_STATUS_COMPLETED, StatusText::StoredOnPc, StatusIcon::Done, kButtonsFinish};
  }
  // Until a page that stores the set exists on the sheet, the transfer ends once the set is held,
  // even while the worker is still on its way out.
  if (in.received && !in.has_store_page)
    return {IDS_STATUS_COMPLETED, StatusText::Received, StatusIcon::Done, kButtonsFinish};
  if (in.running) return {IDS_STATUS_RUNNING, StatusText::None, StatusIcon::Working, kButtonsNone};
  return {IDS_STATUS_START_FAILED, StatusText::FailureText, StatusIcon::Failed, kButtonsFinish};
}

std::u16string store_error_text(const std::u16string &code_text, int code) {
  std::string number = "[" + std::to_string(code) + "]";
  std::u16string out = code_text.empty() ? std::u16string() : code_text + u" ";
  for (char c : number) out.push_back(char16_t(c));
  return out;
}

std::u16string with_folder_line(std::u16string text, const std::u16string &note,
                                const std::u16string &folder) {
  if (!folder.empty()) text += u"\r\n" + note + folder;
  return text;
}

bool worker_text_to_wide(const char *text, bool utf8, std::u16string *out) {
  out->clear();
  if (text == nullptr) return false;
  char16_t *wide = nullptr;
  const int rc = utf8 ? utf8_to_wide(text, &wide) : euckr_to_wide(text, &wide);
  if (rc != 0 || wide == nullptr) return false;
  *out = wide;
  free(wide);
  return true;
}

WizardButtonFlags failure_buttons(const std::u16string &failure_text) {
  static const char16_t kWrongCodeEnglish[] = u"Authorization code is not correct.";
  static const char16_t kWrongCodeKorean[] = u"\uC778\uC99D\uBC88\uD638\uAC00 \uB9DE\uC9C0 \uC54A\uC2B5\uB2C8\uB2E4.";
  const bool wrong_code = failure_text.find(kWrongCodeEnglish) != std::u16string::npos ||
                          failure_text.find(kWrongCodeKorean) != std::u16string::npos;
  return wrong_code ? kButtonsBackFinish : kButtonsFinish;
}

bool start_text_narrow(const std::u16string &text, bool utf8, char (&out)[kStartTextCapacity]) {
  secure_wipe(out, sizeof out);
  const int rc = utf8 ? wide_to_utf8_buf(text.c_str(), out, sizeof out) : wide_to_euckr_buf(text.c_str(), out, sizeof out);
  if (rc != 0) secure_wipe(out, sizeof out);
  return rc == 0;
}

}  // namespace pages
}  // namespace v7
