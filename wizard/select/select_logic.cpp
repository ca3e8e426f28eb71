#include "wizard/select/select_logic.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "media/certlist.h"
#include "media/token/p11_conf.h"
#include "platform/errors/error_codes.h"
#include "wizard/records/request_record.h"
#include "wizard/res/string_ids.h"
#include "wizard/res/select_ids.h"

namespace v7 {
namespace select {
namespace {

bool equals_case_blind(const char *a, const char *b) {
  for (; *a != 0 && *b != 0; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

bool is_forced_empty(uint32_t forced) { return forced == kForcedMediumEmptyList7 || forced == kForcedMediumEmptyList8; }

// Days from 1970-01-01 to the civil date (proleptic Gregorian), exact for every year shown here.
int64_t days_from_civil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468;
}

}  // namespace

MediaBar media_bar(uint32_t bits) {
  MediaBar bar;
  struct Slot {
    uint32_t bits, medium;
    int image;
  };
  static const Slot kOrder[] = {
      {kRequestMediaToken, kMediumToken, 0},
      {kRequestMediaSmartCard, kMediumSmartCard, 1},
      {kRequestMediaPhone | kRequestMediaPhoneAlt, kMediumPhone, 2},
      {kRequestMediaSecureDisk, kMediumSecureDisk, 3},
      {kRequestMediaRemovable, kMediumRemovable, 4},
      {kRequestMediaHardDisk, kMediumHardDisk, 5},
  };
  for (const Slot &slot : kOrder) {
    if ((bits & slot.bits) != 0) bar.items.push_back({slot.medium, slot.image});
  }
  bar.spacing_x = bar.items.size() < 6 ? 88 : 76;
  bar.spacing_y = 100;
  return bar;
}

int media_index(const MediaBar &bar, uint32_t medium) {
  for (size_t i = 0; i < bar.items.size(); ++i) {
    if (bar.items[i].medium == medium) return int(i);
  }
  return -1;
}

StartMedium start_medium(uint32_t restore_last, uint32_t bits, const char *last_media, const char *last_drive) {
  StartMedium start;
  if (restore_last != 0 && last_media != nullptr) {
    const char *drive = last_drive != nullptr ? last_drive : "";
    if (strcmp(last_media, "HARDDISK") == 0 && (bits & kRequestMediaHardDisk) != 0) {
      start.medium = kMediumHardDisk;
      return start;
    }
    if (strcmp(last_media, "SMARTCARD") == 0 && (bits & kRequestMediaSmartCard) != 0) {
      start.medium = kMediumSmartCard;
      return start;
    }
    if (strcmp(last_media, "REMOVABLE") == 0 && (bits & kRequestMediaRemovable) != 0) {
      const int letter = std::toupper(static_cast<unsigned char>(drive[0]));
      // Only a letter names a drive; anything else starts from A as an empty value does.
      start.drive_index = letter >= 'A' && letter <= 'Z' ? letter - 'A' : 0;
      start.remembered = true;
      start.medium = kMediumRemovable;
      return start;
    }
    if (strcmp(last_media, "HSM") == 0 && (bits & kRequestMediaToken) != 0) {
      start.token_module.assign(drive, strnlen(drive, 2047));
      start.remembered = !start.token_module.empty();
      start.medium = kMediumToken;
      return start;
    }
    if (strcmp(last_media, "SECURE_DISK") == 0 && (bits & kRequestMediaSecureDisk) != 0) {
      start.medium = kMediumSecureDisk;
      return start;
    }
  }
  static const uint32_t kFallback[][2] = {
      {kRequestMediaHardDisk, kMediumHardDisk},   {kRequestMediaRemovable, kMediumRemovable},
      {kRequestMediaSmartCard, kMediumSmartCard}, {kRequestMediaToken, kMediumToken},
      {kRequestMediaPhone, kMediumPhone},         {kRequestMediaPhoneAlt, kMediumUsbKey},
      {kRequestMediaSecureDisk, kMediumSecureDisk},
  };
  for (const auto &f : kFallback) {
    if ((bits & f[0]) != 0) {
      start.medium = f[1];
      return start;
    }
  }
  start.medium = kMediumHardDisk;
  return start;
}

const P11_TOKEN_ENTRY *vouched_token(const P11_TOKEN_LIST *config, const char *module_path,
                                     TokenApprovalCheck approve) {
  if (config == nullptr || module_path == nullptr || module_path[0] == 0 || approve == nullptr) return nullptr;
  for (const P11_TOKEN_ENTRY *e = config->first; e != nullptr; e = e->next) {
    if (e->name != nullptr && strcmp(e->name, module_path) == 0) return approve(e) == 0 ? e : nullptr;
  }
  return nullptr;
}

// The addresses of the pictures the services put in the request's banner name. Deployment values
// of the services themselves; the names below are the test deployment's.
namespace {
struct BannerName {
  const char *name;
  int bitmap;
};
const BannerName kBannerNames[] = {
    {"http://127.0.0.1/banner/cert_top_1.gif", IDB_SELECT_BANNER},
    {"http://127.0.0.1/banner/cert_top_2.gif", IDB_SELECT_BANNER},
    {"https://127.0.0.1/banner/cert_top_1.gif", IDB_SELECT_BANNER},
    {"https://127.0.0.1/banner/cert_top_2.gif", IDB_SELECT_BANNER},
    {"http://localhost/banner/cert_top_1.gif", IDB_SELECT_BANNER},
    {"http://localhost/banner/cert_top_2.gif", IDB_SELECT_BANNER},
    {"https://localhost/banner/cert_top_1.gif", IDB_SELECT_BANNER},
    {"https://localhost/banner/cert_top_2.gif", IDB_SELECT_BANNER},
    {"http://127.0.0.1/banner/sign_top_1.gif", IDB_SELECT_BANNER_SIGN1},
    {"http://127.0.0.1/banner/sign_top_2.gif", IDB_SELECT_BANNER_SIGN2},
    {"http://127.0.0.1/banner/sign_top_3.gif", IDB_SELECT_BANNER_SIGN3},
    {"http://127.0.0.1/banner/sign_top_4.gif", IDB_SELECT_BANNER_SIGN4},
    {"http://127.0.0.1/banner/bank_top.gif", IDB_SELECT_BANNER_BANK},
    {"BITMAP_VELMORA_RELAY", IDB_SELECT_BANNER_RELAY},
    {"BITMAP_MERIDUNE", IDB_SELECT_BANNER_PLAIN},
};
}  // namespace

BannerChoice banner_for(const char *name) {
  if (name != nullptr) {
    for (const BannerName &b : kBannerNames) {
      if (strcmp(name, b.name) == 0) return {b.bitmap, false};
    }
  }
  return {IDB_SELECT_BANNER_PLAIN, true};
}

const int kBannerMovedControls[] = {IDC_SELECT_GROUP,   IDC_SELECT_PW_LABEL, IDC_SELECT_PASSWORD,
                                    IDC_SELECT_RA_LINK, IDC_SELECT_VIEW,     IDC_SELECT_MEDIA,
                                    IDC_SELECT_CERTS,   IDC_SELECT_INSTRUCTION, 1,
                                    2,                  IDC_SELECT_SEARCH,   IDC_SELECT_OK_NOTE};
const size_t kBannerMovedControlCount = sizeof kBannerMovedControls / sizeof kBannerMovedControls[0];

bool search_button_visible(uint32_t forced, uint32_t bits) {
  return forced == kForcedMediumNone && (bits & kRequestMediaSearchButton) != 0;
}

bool opens_empty(uint32_t forced) { return is_forced_empty(forced); }

const Column kColumns[4] = {
    {"\xEC\x9D\xB8\xEC\xA6\x9D\xEC\x84\x9C \xEC\xA2\x85\xEB\xA5\x98", "Type", 96},  // 인증서 종류
    {"\xEC\x82\xAC\xEC\x9A\xA9\xEC\x9E\x90", "Subject", 191},                        // 사용자
    {"\xEB\xA7\x8C\xEB\xA3\x8C\xEC\x9D\xBC", "Expiration Date", 72},                 // 만료일
    {"\xEB\xB0\x9C\xEA\xB8\x89\xEA\xB8\xB0\xEA\xB4\x80", "Issuer", 84},              // 발급기관
};

int row_image(int64_t now_utc, int64_t not_after_utc) { return now_utc > not_after_utc ? 1 : 0; }

std::string utc_date_text(int64_t t) {
  int64_t days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
  // Civil date from days (the inverse of days_from_civil).
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const unsigned doe = unsigned(days - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = int64_t(yoe) + era * 400 + (m <= 2);
  char text[32];
  snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  return text;
}

bool expiry_day_end(const char *text, int64_t *out) {
  if (text == nullptr || out == nullptr) return false;
  int y = 0, m = 0, d = 0, used = 0;
  if (sscanf(text, "%d-%d-%d%n", &y, &m, &d, &used) != 3 || text[used] != 0) return false;
  if (y < 1900 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
  *out = days_from_civil(y, unsigned(m), unsigned(d)) * 86400 + 86399;
  return true;
}

bool expiry_policy_passes(const StrListNode *accepted, const char *policy) {
  const char *p = policy != nullptr ? policy : "";
  if (accepted != nullptr) {
    for (const StrListNode *n = accepted; n != nullptr; n = n->next) {
      if (n->text != nullptr && (strcmp(n->text, "ALL") == 0 || equals_case_blind(n->text, p))) return true;
    }
    return false;
  }
  return strcmp(p, "1.2.410.200005.1.1.7.1") != 0 && strcmp(p, "1.2.410.200005.1.1.6.4") != 0;
}

bool expiry_tip_due(const char *issuer_org, const char *policy, const StrListNode *accepted,
                    const char *expiry_text, int64_t now) {
  if (issuer_org == nullptr || (strstr(issuer_org, "velmora") == nullptr && strstr(issuer_org, "VELMORA") == nullptr))
    return false;
  if (!expiry_policy_passes(accepted, policy)) return false;
  int64_t end = 0;
  if (!expiry_day_end(expiry_text, &end)) return false;
  return now < end && now + kExpiryWarningSeconds >= end;
}

bool password_entry_visible(uint32_t medium, uint32_t forced, uint32_t dialog_flags) {
  if ((dialog_flags & kRequestHidePasswordEntry) != 0) return false;
  if (medium == kMediumSecureDisk && forced == kForcedMediumSecureDiskNoPw) return false;
  return medium != kMediumMemory;
}

int compare_rows(const RowKeys &a, const RowKeys &b, int column, int direction) {
  const std::string RowKeys::*field = column == 0   ? &RowKeys::usage
                                      : column == 1 ? &RowKeys::subject_cn
                                      : column == 2 ? &RowKeys::expiry
                                                    : &RowKeys::ca_name;
  const int c = (a.*field).compare(b.*field);
  return (c < 0 ? -1 : c > 0 ? 1 : 0) * (direction < 0 ? -1 : 1);
}

OkPlan ok_plan(uint32_t medium, uint32_t forced, uint32_t dialog_flags, int card_probe_state) {
  OkPlan plan;
  if ((dialog_flags & kRequestHidePasswordEntry) != 0) {
    plan.end_at_once = true;
    return plan;
  }
  plan.ask_card_pin = medium == kMediumSmartCard && card_probe_state == 2;
  plan.read_token_pin = medium == kMediumToken;
  plan.read_password = medium != kMediumToken && medium != kMediumMemory;
  plan.password_required = medium == kMediumSecureDisk && forced != kForcedMediumSecureDiskNoPw;
  if (medium == kMediumUsbKey) {
    plan.load = KeyLoad::kUsbKey;
  } else if (medium == kMediumMemory) {
    plan.load = KeyLoad::kPkcs12;
  } else {
    plan.load = KeyLoad::kPair;
    plan.load_mode = is_forced_empty(forced) ? 5 : 2;
    if (forced == kForcedMediumKmCheck || forced == kForcedMediumKmCheck9) plan.km = KmLoad::kIfPresent;
    if (forced == kForcedMediumAlwaysKm) plan.km = KmLoad::kAlways;
  }
  return plan;
}

FailureSummary ok_failure_summary(uint32_t medium, int error, bool km_attempted, bool sign_loaded, bool tries_known,
                                  int tries) {
  if (medium == kMediumSecureDisk && error == kErrSdWrongPassword)
    return {sign_loaded ? IDS_WRONG_KM_PASSWORD : IDS_WRONG_PASSWORD, tries_known, tries};
  if (error == kErrKeyNotOpened) {
    if (medium == kMediumToken) return {IDS_HSM_INIT_FAILED, false, 0};
    return {km_attempted ? IDS_WRONG_KM_PASSWORD : IDS_WRONG_PASSWORD, false, 0};
  }
  if (medium == kMediumSmartCard) return {IDS_IC_CARD_INIT_FAILED, false, 0};
  if (medium == kMediumToken) return {IDS_HSM_INIT_FAILED, false, 0};
  return {IDS_ERROR_CAPTION, false, 0};
}

const DialogTexts &dialog_texts(bool korean) {
  static const DialogTexts kKorean = {"하드디스크", "이동식디스크", "휴대폰", "저장토큰",
                                      "보안토큰", "안전디스크", "이동식(", "인증서 저장/전자서명(타브넷원)",
                                      "휴대폰인증서", "인증서 암호 :", "접근비밀번호 :"};
  static const DialogTexts kEnglish = {"Hard Disk", "Removable", "Phone", "IC Card",
                                       "HSM", "Secure Disk", "Removable(", "Palmtrus (TAVN)",
                                       "UBIKey", "Password :", "PIN number :"};
  return korean ? kKorean : kEnglish;
}

const char *medium_label(const DialogTexts &t, uint32_t medium) {
  switch (medium) {
    case kMediumToken: return t.token;
    case kMediumSmartCard: return t.card;
    case kMediumPhone: return t.phone;
    case kMediumSecureDisk: return t.secure_disk;
    case kMediumRemovable: return t.removable;
    default: return t.hard_disk;
  }
}

const char *last_media_word(uint32_t medium) {
  switch (medium) {
    case kMediumHardDisk: return "HARDDISK";
    case kMediumRemovable: return "REMOVABLE";
    case kMediumToken: return "HSM";
    case kMediumSmartCard: return "SMARTCARD";
    case kMediumPhone: return "MOBILE_PHONE";
    case kMediumUsbKey: return "UBIKEY";
    case kMediumSecureDisk: return "SECURE_DISK";
    case kMediumMemory: return "PKCS12";
    default: return nullptr;
  }
}

}  // namespace select
}  // namespace v7
