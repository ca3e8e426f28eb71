#include "wizard/certview/viewer_tables.h"

#include <cstdlib>
#include <cstring>

#include "pki/text/codepage.h"
#include "pki/validation/valcfg.h"
#include "pki/x509/cert.h"
#include "platform/locale/process_words.h"
#include "wizard/records/request_record.h"

namespace {

struct UsageRow {
  const char *policies;  // ";"-separated
  const char *korean;    // UTF-8
  const char *english;
};
const UsageRow kUsageRows[] = {
    {"1.2.410.200005.1.1.1;1.2.410.200004.5.1.1.5;1.2.410.200004.5.2.1.2;1.2.410.200004.5.4.1.1;1.2.410."
     "200012.1.1.1",
     "범용개인", "General"},
    {"1.2.410.200005.1.1.5;1.2.410.200004.5.1.1.7;1.2.410.200004.5.2.1.1;1.2.410.200004.5.4.1.2;1.2.410."
     "200012.1.1.3",
     "범용법인", "General"},
    {"1.2.410.200005.1.1.4;1.2.410.200004.5.2.1.7.1;1.2.410.200004.5.4.1.101;1.2.410.200012.1.1.101",
     "은행개인", "Banking"},
    {"1.2.410.200005.1.1.2", "은행법인", "Banking"},
    {"1.2.410.200005.1.1.1.1", "범용개인(보안매체)", "General"},
    {"1.2.410.200005.1.1.5.1", "범용법인(보안매체)", "General"},
    {"1.2.410.200005.1.1.4.1", "은행개인(보안매체)", "Banking"},
    {"1.2.410.200005.1.1.2.1", "은행법인(보안매체)", "Banking"},
    {"1.2.410.200005.1.1.3", "서버용", "Sever"},
    {"1.2.410.200005.1.1.6.3", "원클릭", "one-click"},
    {"1.2.410.200005.1.1.6.1", "기업뱅킹", "CORP4IB"},
    {"1.2.410.200005.1.1.6.4", "퇴직연금", "RK"},
    {"1.2.410.200005.1.1.6.5", "CTR 기업", "CTR"},
    {"1.2.410.200005.1.1.7.1", "수입인지", "ERS"},
    {"1.2.410.200005.1.1.6.8;1.2.410.200004.5.1.1.12.903;1.2.410.200004.5.4.2.80;1.2.410.200004.5.2.1.6.248;"
     "1.2.410.200012.5.19.1.1",
     "전자세금", "E-TAX"},
    {"1.2.410.200005.1.1.6.9", "보안업무개인", "Security"},
    {"1.2.410.200005.1.1.6.0", "보안업무법인", "Security"},
    {"1.2.410.200004.5.1.1.9", "금융투자개인", "Investment"},
    {"1.2.410.200004.5.1.1.10", "금융투자법인", "Investment"},
};
const char kUsageLimitedKorean[] = "용도제한";
const char kUsageLimitedEnglish[] = "Limited";

struct CaName {
  const char *organisation;
  const char *korean;   // UTF-8
  const char *english;  // null: the organisation as it stands
};
const CaName kCaNames[] = {
    {"velmora", "타브넷원", "TAVN"},        {"SignKorea", "코스콤", nullptr},
    {"KICA", "한국정보인증", nullptr},      {"TradeSign", "한국무역정보통신", nullptr},
    {"CrossCert", "한국전자인증", nullptr},
};

// A UTF-8 text in the encoding CharEncodingMode names; the empty text when it has no EUC-KR form.
std::string in_setting(const char *utf8) {
  if (char_encoding_is_utf8()) return utf8;
  char *converted = nullptr;
  if (utf8_to_euckr(utf8, &converted) == 0 || converted == nullptr) {
    free(converted);
    return std::string();
  }
  std::string text = converted;
  free(converted);
  return text;
}

const char *usage_utf8(const char *policy_oid) {
  const bool korean = language_is_korean();
  // An empty identifier "occurs" in every row: it has no usage, like an unlisted one.
  if (policy_oid != nullptr && policy_oid[0] != '\0') {
    for (const UsageRow &row : kUsageRows) {
      if (strstr(row.policies, policy_oid) != nullptr) return korean ? row.korean : row.english;
    }
  }
  return korean ? kUsageLimitedKorean : kUsageLimitedEnglish;
}

}  // namespace

std::string UsageText(const char *policy_oid) { return in_setting(usage_utf8(policy_oid)); }

std::u16string UsageTextW(const char *policy_oid) {
  char16_t *wide = nullptr;
  std::u16string text;
  if (utf8_to_wide(usage_utf8(policy_oid), &wide) == 0 && wide != nullptr) text = wide;
  free(wide);
  return text;
}

std::string CaDisplayName(const char *organisation) {
  if (organisation == nullptr) return std::string();
  const bool korean = language_is_korean();
  for (const CaName &ca : kCaNames) {
    if (strcmp(ca.organisation, organisation) != 0) continue;
    if (korean) return in_setting(ca.korean);
    return ca.english != nullptr ? ca.english : organisation;
  }
  return organisation;
}

namespace v7 {
namespace certview {

std::string short_name(const char *name_text) {
  if (name_text == nullptr) return std::string();
  const char *eq = strchr(name_text, '=');
  if (eq == nullptr) return std::string();
  const char *value = eq + 1;
  const char *comma = strchr(value, ',');
  return comma != nullptr ? std::string(value, size_t(comma - value)) : std::string(value);
}

ViewerChoice viewer_choice(bool has_sign, bool has_km) {
  ViewerChoice choice = {0, {0, 0}, has_sign && has_km};
  if (has_sign) choice.items[choice.count++] = 0;
  if (has_km) choice.items[choice.count++] = 1;
  return choice;
}

const char *viewer_choice_text(int item, bool korean) {
  if (item == 0) return korean ? "전자서명용 인증서" : "Digital Signature";
  return korean ? "암호화용 인증서" : "Key Encipherment";
}

std::string viewer_validation_policy(const RelayRequestRecord *request) {
  if (request != nullptr && request->version > 1) {
    size_t length = strnlen(request->viewer_policy, sizeof request->viewer_policy);
    if (length > 0) return std::string(request->viewer_policy, length);
  }
  return "2.5.29.32.0";
}

ViewerVerdict viewer_verdict(bool skipped, int rc) {
  if (skipped) return {kVerdictIconValid, 0, false};
  if (rc == 0) return {kVerdictIconValid, 27, false};
  return {kVerdictIconInvalid, 29, true};
}

int viewer_usage_code(int item) { return item == 1 ? KU_CHECK_KEY_ENCIPHERMENT : KU_CHECK_SIGNING; }

std::string viewer_path_text(uint32_t media_code, const char *folder, bool korean) {
  switch (media_code) {
    case 1:
    case 2: {
      if (folder == nullptr) return std::string();
      std::string path = folder;
      for (char &c : path) {
        if (c == '\\') c = '/';
      }
      return path;
    }
    case 4:
      return in_setting(korean ? "보안토큰" : "HSM");
    case 8:
      return in_setting(korean ? "저장토큰" : "IC CARD");
    default:
      return std::string();
  }
}

namespace {

void append_fingerprint(std::u16string &out, const char16_t *label, const uint8_t digest[32]) {
  static const char kHex[] = "0123456789ABCDEF";
  out += u"\r\nRootCA ";
  out += label;
  out += u" :";
  for (int i = 0; i < 32; ++i) {
    if (i % 2 == 0) out += u' ';
    out += char16_t(kHex[digest[i] >> 4]);
    out += char16_t(kHex[digest[i] & 0xF]);
  }
}

}  // namespace

std::u16string root_fingerprint_text(const uint8_t first_root[32], const uint8_t second_root[32]) {
  std::u16string text;
  append_fingerprint(text, u"1", second_root);
  append_fingerprint(text, u"4", first_root);
  return text;
}

std::u16string builtin_root_fingerprint_text() {
  return root_fingerprint_text(BuiltinRootSha256[0], BuiltinRootSha256[1]);
}

}  // namespace certview
}  // namespace v7
