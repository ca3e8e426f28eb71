// The selection dialog's decisions as tables: the media bar, where the dialog starts, the token a
// remembered path may reopen, the banner, the rows' expired mark and the expiry warning in UTC,
// the OK plan, the failure summaries and the remembered words.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "media/certlist.h"
#include "media/token/p11_conf.h"
#include "platform/errors/error_codes.h"
#include "wizard/records/request_record.h"
#include "wizard/res/select_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/select/select_logic.h"

namespace {

using namespace v7::select;

std::string bar_text(const MediaBar &bar) {
  std::string out;
  for (const MediaItem &i : bar.items) out += std::to_string(i.medium) + "/" + std::to_string(i.image) + " ";
  return out + "@" + std::to_string(bar.spacing_x) + "x" + std::to_string(bar.spacing_y);
}

TEST(SelectMediaBar, OrderCodesImagesAndSpacing) {
  struct Case {
    uint32_t bits;
    const char *expected;
  } cases[] = {
      {0, "@88x100"},
      // The control's mask: hard disk, removable, card, secure disk.
      {0x20B, "8/1 512/3 2/4 1/5 @88x100"},
      {0x30, "16/2 @88x100"},  // both phone bits are one button
      {0x20, "16/2 @88x100"},
      {0x23F, "4/0 8/1 16/2 512/3 2/4 1/5 @76x100"},
      {0x400, "@88x100"},  // the Search bit is no medium
  };
  for (const Case &c : cases) EXPECT_EQ(bar_text(media_bar(c.bits)), c.expected) << std::hex << c.bits;
}

TEST(SelectMediaBar, AbsentMediumHasNoIndex) {
  const MediaBar bar = media_bar(0x20B);
  EXPECT_EQ(media_index(bar, kMediumHardDisk), 3);
  EXPECT_EQ(media_index(bar, kMediumSmartCard), 0);
  EXPECT_EQ(media_index(bar, kMediumToken), -1);
  EXPECT_EQ(media_index(media_bar(0), kMediumHardDisk), -1);
}

TEST(SelectStartMedium, RestoredWordsAndFallbacks) {
  struct Case {
    uint32_t restore, bits;
    const char *media, *drive;
    uint32_t medium;
    int drive_index;
    const char *token;
    bool remembered;
  } cases[] = {
      {1, 0x20F, "HARDDISK", nullptr, 1, 0, "", false},
      {1, 0x20F, "SMARTCARD", nullptr, 8, 0, "", false},
      {1, 0x20F, "REMOVABLE", "E", 2, 4, "", true},
      {1, 0x20F, "REMOVABLE", "e:", 2, 4, "", true},
      {1, 0x20F, "REMOVABLE", "", 2, 0, "", true},
      {1, 0x20F, "REMOVABLE", "?", 2, 0, "", true},
      {1, 0x20F, "HSM", "C:\\Windows\\System32\\tok.dll", 4, 0, "C:\\Windows\\System32\\tok.dll", true},
      {1, 0x20F, "SECURE_DISK", nullptr, 512, 0, "", false},
      // A word whose medium the bar lacks, an unknown word, no wish to restore: the fallbacks.
      {1, 0x20E, "HARDDISK", nullptr, 2, 0, "", false},
      {1, 0x20F, "PKCS12", nullptr, 1, 0, "", false},
      {0, 0x20F, "SMARTCARD", nullptr, 1, 0, "", false},
      {1, 0x20F, nullptr, nullptr, 1, 0, "", false},
      {0, 0x20C, nullptr, nullptr, 8, 0, "", false},
      {0, 0x204, nullptr, nullptr, 4, 0, "", false},
      {0, 0x210, nullptr, nullptr, 16, 0, "", false},
      {0, 0x220, nullptr, nullptr, 256, 0, "", false},
      {0, 0x200, nullptr, nullptr, 512, 0, "", false},
      {0, 0, nullptr, nullptr, 1, 0, "", false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.media ? c.media : "(none)") + " bits " + std::to_string(c.bits));
    const StartMedium s = start_medium(c.restore, c.bits, c.media, c.drive);
    EXPECT_EQ(s.medium, c.medium);
    EXPECT_EQ(s.drive_index, c.drive_index);
    EXPECT_EQ(s.token_module, c.token);
    EXPECT_EQ(s.remembered, c.remembered);
  }
  // No media bits: nothing to select at all.
  EXPECT_EQ(media_index(media_bar(0), start_medium(1, 0, "HARDDISK", nullptr).medium), -1);
}

int approve_all(const P11_TOKEN_ENTRY *) { return 0; }
int approve_none(const P11_TOKEN_ENTRY *) { return -1; }

TEST(SelectRememberedToken, HonouredOnlyWhenConfiguredAndApproved) {
  const std::string conf =
      "[list]\nkey = A B\n[A]\nInfo=Token A\nName=C:\\Windows\\System32\\a.dll\nPrograms=a.dll\n"
      "SignatureToken=a.sig\n[B]\nInfo=Token B\nName=C:\\Windows\\System32\\b.dll\n";
  P11_TOKEN_LIST *list = p11_conf_parse(conf.c_str(), conf.size(), nullptr);
  ASSERT_NE(list, nullptr);
  const P11_TOKEN_ENTRY *a = vouched_token(list, "C:\\Windows\\System32\\a.dll", approve_all);
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->section, "A");
  // A path the configuration does not list, one that differs in case, one that fails approval.
  EXPECT_EQ(vouched_token(list, "C:\\Users\\x\\AppData\\LocalLow\\evil.dll", approve_all), nullptr);
  EXPECT_EQ(vouched_token(list, "c:\\windows\\system32\\a.dll", approve_all), nullptr);
  EXPECT_EQ(vouched_token(list, "C:\\Windows\\System32\\a.dll", approve_none), nullptr);
  // The real approval check: b has no approval file at all.
  EXPECT_EQ(vouched_token(list, "C:\\Windows\\System32\\b.dll", p11_module_verify_approval), nullptr);
  EXPECT_EQ(vouched_token(list, "", approve_all), nullptr);
  EXPECT_EQ(vouched_token(nullptr, "C:\\Windows\\System32\\a.dll", approve_all), nullptr);
  p11_conf_free(list);
}

TEST(SelectBanner, NamesPicturesAndHiding) {
  EXPECT_EQ(banner_for("BITMAP_VELMORA_RELAY").bitmap, IDB_SELECT_BANNER_RELAY);
  EXPECT_FALSE(banner_for("BITMAP_VELMORA_RELAY").hidden);
  EXPECT_EQ(banner_for("BITMAP_MERIDUNE").bitmap, IDB_SELECT_BANNER_PLAIN);
  EXPECT_FALSE(banner_for("BITMAP_MERIDUNE").hidden);
  EXPECT_EQ(banner_for("http://127.0.0.1/banner/cert_top_2.gif").bitmap, IDB_SELECT_BANNER);
  EXPECT_TRUE(banner_for("something else").hidden);
  EXPECT_EQ(banner_for("something else").bitmap, IDB_SELECT_BANNER_PLAIN);
  EXPECT_TRUE(banner_for("").hidden);
  // Everything below the banner moves, the Search button and the red note included.
  bool search = false, note = false;
  for (size_t i = 0; i < kBannerMovedControlCount; ++i) {
    search |= kBannerMovedControls[i] == IDC_SELECT_SEARCH;
    note |= kBannerMovedControls[i] == IDC_SELECT_OK_NOTE;
  }
  EXPECT_TRUE(search && note);
  EXPECT_EQ(kBannerMovedControlCount, 12u);
}

TEST(SelectInitialState, SearchButtonAndEmptyOpening) {
  EXPECT_TRUE(search_button_visible(0, 0x400));
  EXPECT_FALSE(search_button_visible(0, 0x20B));
  EXPECT_FALSE(search_button_visible(1, 0x400));
  for (uint32_t forced = 0; forced <= 9; ++forced) EXPECT_EQ(opens_empty(forced), forced == 7 || forced == 8);
}

TEST(SelectColumns, HeadersAndWidths) {
  EXPECT_STREQ(kColumns[0].english, "Type");
  EXPECT_STREQ(kColumns[1].english, "Subject");
  EXPECT_STREQ(kColumns[2].english, "Expiration Date");
  EXPECT_STREQ(kColumns[3].english, "Issuer");
  EXPECT_STREQ(kColumns[2].korean, "만료일");
  EXPECT_EQ(kColumns[0].width + kColumns[1].width + kColumns[2].width + kColumns[3].width, 96 + 191 + 72 + 84);
}

// 2026-12-11 00:00:00 UTC.
constexpr int64_t kDay = 86400;
constexpr int64_t kNow = 1796947200;

TEST(SelectExpiry, DatesInUtc) {
  EXPECT_EQ(utc_date_text(kNow), "2026-12-11");
  EXPECT_EQ(utc_date_text(kNow - 1), "2026-12-10");
  EXPECT_EQ(utc_date_text(0), "1970-01-01");
  EXPECT_EQ(utc_date_text(2524608000), "2050-01-01");  // past 32-bit time
  int64_t end = 0;
  ASSERT_TRUE(expiry_day_end("2026-12-11", &end));
  EXPECT_EQ(end, kNow + kDay - 1);
  ASSERT_TRUE(expiry_day_end("2050-01-01", &end));
  EXPECT_EQ(end, 2524608000 + kDay - 1);
  for (const char *bad : {"", "2026-13-01", "2026-00-10", "2026-12-32", "1899-12-31", "2026-12", "2026-12-11x",
                          "20261211", "abcd-ef-gh"})
    EXPECT_FALSE(expiry_day_end(bad, &end)) << bad;
  // The row mark compares whole times: a certificate ending later today is not yet expired.
  EXPECT_EQ(row_image(kNow, kNow + 3600), 0);
  EXPECT_EQ(row_image(kNow, kNow), 0);
  EXPECT_EQ(row_image(kNow, kNow - 1), 1);
}

TEST(SelectExpiry, WarningRule) {
  StrListNode all = {const_cast<char *>("ALL"), nullptr};
  StrListNode one = {const_cast<char *>("1.2.410.200005.1.1.5"), nullptr};
  struct Case {
    const char *org, *policy;
    const StrListNode *accepted;
    const char *expiry;
    int64_t now;
    bool due;
  } cases[] = {
      {"velmora", "1.2.410.200005.1.1.1", nullptr, "2026-12-12", kNow, true},   // ends tomorrow
      {"VELMORA CA", "1.2.410.200005.1.1.1", nullptr, "2026-12-12", kNow, true},
      {"Velmora", "1.2.410.200005.1.1.1", nullptr, "2026-12-12", kNow, false},  // neither spelling
      {"TestCA", "1.2.410.200005.1.1.1", nullptr, "2026-12-12", kNow, false},
      {"velmora", "1.2.410.200005.1.1.7.1", nullptr, "2026-12-12", kNow, false},
      {"velmora", "1.2.410.200005.1.1.6.4", nullptr, "2026-12-12", kNow, false},
      {"velmora", "1.2.410.200005.1.1.7.1", &all, "2026-12-12", kNow, true},
      {"velmora", "1.2.410.200005.1.1.5", &one, "2026-12-12", kNow, true},
      {"velmora", "1.2.410.200005.1.1.1", &one, "2026-12-12", kNow, false},
      {"velmora", "1.2.410.200005.1.1.1", nullptr, "2026-12-10", kNow, false},  // already expired
      // The expiry day lasts to 23:59:59 UTC: its last second is no longer before the end.
      {"velmora", "1.2.410.200005.1.1.1", nullptr, "2026-12-11", kNow + kDay - 2, true},
      {"velmora", "1.2.410.200005.1.1.1", nullptr, "2026-12-11", kNow + kDay - 1, false},
      // The end must lie within 30 days of now: 2027-01-09 23:59:59 does, 2027-01-10 23:59:59 not.
      {"velmora", "1.2.410.200005.1.1.1", nullptr, "2027-01-09", kNow, true},
      {"velmora", "1.2.410.200005.1.1.1", nullptr, "2027-01-10", kNow, false},
      {"velmora", "1.2.410.200005.1.1.1", nullptr, "2027-01-1x", kNow, false},
      {nullptr, "1.2.410.200005.1.1.1", nullptr, "2026-12-12", kNow, false},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(expiry_tip_due(c.org, c.policy, c.accepted, c.expiry, c.now), c.due)
        << (c.org ? c.org : "(null)") << " " << c.policy << " " << c.expiry << " " << c.now;
  }
  // The accepted list compares whole policies without regard to case.
  StrListNode upper = {const_cast<char *>("ALL"), nullptr};
  EXPECT_TRUE(expiry_policy_passes(&upper, ""));
  StrListNode mixed = {const_cast<char *>("1.2.410.200005.1.1.5X"), nullptr};
  EXPECT_TRUE(expiry_policy_passes(&mixed, "1.2.410.200005.1.1.5x"));
  EXPECT_FALSE(expiry_policy_passes(&mixed, "1.2.410.200005.1.1.5"));
}

TEST(SelectRows, PasswordEntryAndSorting) {
  EXPECT_TRUE(password_entry_visible(kMediumHardDisk, 0, 0));
  EXPECT_FALSE(password_entry_visible(kMediumHardDisk, 0, kRequestHidePasswordEntry));
  EXPECT_FALSE(password_entry_visible(kMediumSecureDisk, 6, 0));
  EXPECT_TRUE(password_entry_visible(kMediumSecureDisk, 0, 0));
  EXPECT_FALSE(password_entry_visible(kMediumMemory, 0, 0));
  const RowKeys a = {"B", "Kim", "2027-01-01", "TestCA"};
  const RowKeys b = {"A", "Hong", "2028-01-01", "Test"};
  EXPECT_EQ(compare_rows(a, b, 0, 1), 1);
  EXPECT_EQ(compare_rows(a, b, 0, -1), -1);
  EXPECT_EQ(compare_rows(a, b, 1, 1), 1);
  EXPECT_EQ(compare_rows(a, b, 2, 1), -1);
  EXPECT_EQ(compare_rows(a, b, 3, 1), 1);
  EXPECT_EQ(compare_rows(a, a, 2, -1), 0);
}

TEST(SelectOk, PlanByMediumAndForcedKind) {
  struct Case {
    uint32_t medium, forced, flags;
    int probe;
    bool at_once, card_pin, token_pin, password, required;
    KeyLoad load;
    int mode;
    KmLoad km;
  } cases[] = {
      {kMediumHardDisk, 0, 0, 0, false, false, false, true, false, KeyLoad::kPair, 2, KmLoad::kNo},
      {kMediumHardDisk, 0, kRequestHidePasswordEntry, 0, true, false, false, false, false, KeyLoad::kNone, 2,
       KmLoad::kNo},
      {kMediumRemovable, 2, 0, 0, false, false, false, true, false, KeyLoad::kPair, 2, KmLoad::kIfPresent},
      {kMediumRemovable, 9, 0, 0, false, false, false, true, false, KeyLoad::kPair, 2, KmLoad::kIfPresent},
      {kMediumHardDisk, 5, 0, 0, false, false, false, true, false, KeyLoad::kPair, 2, KmLoad::kAlways},
      {kMediumHardDisk, 7, 0, 0, false, false, false, true, false, KeyLoad::kPair, 5, KmLoad::kNo},
      {kMediumSmartCard, 0, 0, 2, false, true, false, true, false, KeyLoad::kPair, 2, KmLoad::kNo},
      {kMediumSmartCard, 0, 0, 1, false, false, false, true, false, KeyLoad::kPair, 2, KmLoad::kNo},
      {kMediumToken, 0, 0, 0, false, false, true, false, false, KeyLoad::kPair, 2, KmLoad::kNo},
      {kMediumSecureDisk, 0, 0, 0, false, false, false, true, true, KeyLoad::kPair, 2, KmLoad::kNo},
      {kMediumSecureDisk, 6, 0, 0, false, false, false, true, false, KeyLoad::kPair, 2, KmLoad::kNo},
      {kMediumUsbKey, 0, 0, 0, false, false, false, true, false, KeyLoad::kUsbKey, 2, KmLoad::kNo},
      {kMediumMemory, 0, 0, 0, false, false, false, false, false, KeyLoad::kPkcs12, 2, KmLoad::kNo},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE("medium " + std::to_string(c.medium) + " forced " + std::to_string(c.forced));
    const OkPlan p = ok_plan(c.medium, c.forced, c.flags, c.probe);
    EXPECT_EQ(p.end_at_once, c.at_once);
    EXPECT_EQ(p.ask_card_pin, c.card_pin);
    EXPECT_EQ(p.read_token_pin, c.token_pin);
    EXPECT_EQ(p.read_password, c.password);
    EXPECT_EQ(p.password_required, c.required);
    EXPECT_EQ(p.load, c.load);
    EXPECT_EQ(p.load_mode, c.mode);
    EXPECT_EQ(p.km, c.km);
  }
}

TEST(SelectOk, FailureSummaries) {
  struct Case {
    uint32_t medium;
    int error;
    bool km_attempted, sign_loaded, tries_known;
    int pair;
    bool tries_shown;
  } cases[] = {
      {kMediumSecureDisk, v7::kErrSdWrongPassword, false, false, true, IDS_WRONG_PASSWORD, true},
      {kMediumSecureDisk, v7::kErrSdWrongPassword, false, true, true, IDS_WRONG_KM_PASSWORD, true},
      {kMediumSecureDisk, v7::kErrSdWrongPassword, false, false, false, IDS_WRONG_PASSWORD, false},
      {kMediumHardDisk, v7::kErrKeyNotOpened, false, false, false, IDS_WRONG_PASSWORD, false},
      {kMediumHardDisk, v7::kErrKeyNotOpened, true, true, false, IDS_WRONG_KM_PASSWORD, false},
      {kMediumToken, v7::kErrKeyNotOpened, false, false, false, IDS_HSM_INIT_FAILED, false},
      {kMediumSmartCard, v7::kErrCardAbsent, false, false, false, IDS_IC_CARD_INIT_FAILED, false},
      {kMediumToken, 15200, false, false, false, IDS_HSM_INIT_FAILED, false},
      {kMediumHardDisk, v7::kErrFileRead, false, false, false, IDS_ERROR_CAPTION, false},
      {kMediumSecureDisk, v7::kErrKeyNotOpened, false, false, true, IDS_WRONG_PASSWORD, false},
  };
  for (const Case &c : cases) {
    const FailureSummary s = ok_failure_summary(c.medium, c.error, c.km_attempted, c.sign_loaded, c.tries_known, 3);
    EXPECT_EQ(s.pair, c.pair) << c.medium << " " << c.error;
    EXPECT_EQ(s.tries_known, c.tries_shown) << c.medium << " " << c.error;
  }
}

TEST(SelectRemember, WordsAndTexts) {
  const std::pair<uint32_t, const char *> words[] = {
      {1, "HARDDISK"}, {2, "REMOVABLE"}, {4, "HSM"}, {8, "SMARTCARD"}, {16, "MOBILE_PHONE"},
      {256, "UBIKEY"}, {512, "SECURE_DISK"}, {1024, "PKCS12"},
  };
  for (const auto &w : words) EXPECT_STREQ(last_media_word(w.first), w.second);
  EXPECT_EQ(last_media_word(4096), nullptr);
  // What is written is what the start reads back.
  for (uint32_t m : {1u, 2u, 8u, 512u})
    EXPECT_EQ(start_medium(1, 0x20F, last_media_word(m), "E").medium, m);
  EXPECT_STREQ(medium_label(dialog_texts(false), kMediumSecureDisk), "Secure Disk");
  EXPECT_STREQ(medium_label(dialog_texts(true), kMediumHardDisk), "하드디스크");
  EXPECT_STREQ(dialog_texts(true).removable_prefix, "이동식(");
}

}  // namespace
