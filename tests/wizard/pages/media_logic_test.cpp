#include "wizard/pages/media_logic.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pki/errors/error_ctx.h"
#include "platform/errors/error_codes.h"
#include "relay/session/session.h"
#include "wizard/records/request_record.h"
#include "wizard/res/media_pages_ids.h"
#include "wizard/res/string_ids.h"

using namespace v7::pages;
using namespace v7;

namespace {

using P = SheetPage;

std::vector<int> icons_of(const std::vector<MediumItem> &items) {
  std::vector<int> icons;
  for (const MediumItem &item : items) icons.push_back(item.icon);
  return icons;
}

TEST(MediaItems, TheAllowedMediaWordChoosesTheItemsInTheirFixedOrder) {
  const struct {
    uint32_t mask;
    std::vector<int> icons;
  } cases[] = {
      {0x3, {kIconRemovable, kIconHardDisk}},
      {0x20F, {kIconToken, kIconIcCard, kIconSecureDisk, kIconRemovable, kIconHardDisk}},
      {0xFFFFFFFF, {kIconToken, kIconIcCard, kIconSecureDisk, kIconRemovable, kIconHardDisk}},
      {0x201, {kIconSecureDisk, kIconHardDisk}},
      {0x10, {}},
      {0x0, {}},
  };
  for (const auto &c : cases) EXPECT_EQ(icons_of(media_items(c.mask)), c.icons) << std::hex << c.mask;
  const std::vector<MediumItem> all = media_items(0x20F);
  const uint32_t kinds[] = {kStoreSecurityToken, kStoreIcCard, kStoreSecureDisk, kStoreRemovable, kStoreHardDisk};
  const unsigned texts[] = {IDS_MEDIUM_HSM, IDS_MEDIUM_IC_CARD, IDS_MEDIUM_SECURE_DISK, IDS_MEDIUM_REMOVABLE,
                            IDS_MEDIUM_HDD};
  ASSERT_EQ(all.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(all[i].kind, kinds[i]);
    EXPECT_EQ(all[i].text_id, texts[i]);
  }
  // The icons are the resources of the same numbers, in the image list's order.
  EXPECT_EQ(kIconHardDisk, IDI_MEDIUM_HDD);
  EXPECT_EQ(kIconRemovable, IDI_MEDIUM_REMOVABLE);
  EXPECT_EQ(kIconToken, IDI_MEDIUM_TOKEN);
  EXPECT_EQ(kIconIcCard, IDI_MEDIUM_IC_CARD);
  EXPECT_EQ(kIconSecureDisk, IDI_MEDIUM_SECURE_DISK);
  const int order[] = {1000, 1005, 998, 996, 210};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(media_image_index(order[i]), i);
  EXPECT_EQ(media_image_index(1011), -1);
}

TEST(DriveMenu, EveryDriveButTheSystemDriveWithLabelsOnlyWhereTheyBelong) {
  const std::vector<DriveInfo> drives = {
      {'A', 2, true, u"FLOPPY"},   // A never shows a label
      {'C', 3, true, u"SYSTEM"},   // the system drive is left out
      {'d', 3, true, u"DATA"},     // a fixed drive shows no label
      {'E', 2, true, u"USB KEY"},  // removable
      {'F', 5, true, u"CD"},       // CD-ROM
      {'G', 2, false, u"X"},       // the label could not be read
      {'H', 4, true, u"NET"},      // a network drive
  };
  const std::vector<DriveMenuEntry> menu = drive_menu(drives, 'c', true);
  const struct {
    unsigned command;
    char letter;
    std::u16string text;
  } want[] = {
      {2811, 'A', u"A: "}, {2814, 'D', u"D: "}, {2815, 'E', u"E: USB KEY"},
      {2816, 'F', u"F: CD"}, {2817, 'G', u"G: "}, {2818, 'H', u"H: "},
  };
  ASSERT_EQ(menu.size(), sizeof want / sizeof want[0]);
  for (size_t i = 0; i < menu.size(); ++i) {
    EXPECT_EQ(menu[i].command, want[i].command);
    EXPECT_EQ(menu[i].letter, want[i].letter);
    EXPECT_EQ(menu[i].text, want[i].text);
    EXPECT_EQ(drive_of_command(menu[i].command), menu[i].letter);
  }
  // With labels off no entry carries one.
  for (const DriveMenuEntry &entry : drive_menu(drives, 'C', false)) EXPECT_EQ(entry.text.size(), 3u);
  EXPECT_EQ(drive_of_command(2836), 'Z');
  EXPECT_EQ(drive_of_command(2810), 0);
  EXPECT_EQ(drive_of_command(2837), 0);
  EXPECT_EQ(drive_of_command(2840), 0);
}

TEST(DriveMenu, TheSettingTurnsLabelsOffOnlyWhenItSaysNo) {
  EXPECT_TRUE(read_volume_info_on(nullptr));
  EXPECT_TRUE(read_volume_info_on(u""));
  EXPECT_TRUE(read_volume_info_on(u"YES"));
  EXPECT_TRUE(read_volume_info_on(u"NOT"));
  EXPECT_TRUE(read_volume_info_on(u"N"));
  EXPECT_FALSE(read_volume_info_on(u"NO"));
  EXPECT_FALSE(read_volume_info_on(u"no"));
  EXPECT_FALSE(read_volume_info_on(u"nO"));
  EXPECT_EQ(removable_item_text(u"\uC774\uB3D9\uC2DD(", 'e'), u"\uC774\uB3D9\uC2DD(E:)");
  EXPECT_EQ(removable_item_text(u"Removable(", 'F'), u"Removable(F:)");
}

TEST(TokenMenu, CommandsNameTokensInListOrderAndNeverTheInstallEntry) {
  EXPECT_EQ(std::u16string(kTokenMenuSeparator), std::u16string(38, u'-'));
  EXPECT_EQ(token_of_command(2840, 3), 0);
  EXPECT_EQ(token_of_command(2842, 3), 2);
  EXPECT_EQ(token_of_command(2843, 3), -1);
  EXPECT_EQ(token_of_command(2839, 3), -1);
  EXPECT_EQ(token_of_command(2889, 60), 49);
  // More tokens than commands: the install entry's command never names a token.
  EXPECT_EQ(token_of_command(2890, 60), -1);
  EXPECT_EQ(size_t(kTokenMenuCapacity), 50u);
}

// An empty card takes only keys of 1024 bits; a card holding a set takes any, after asking; a card
// that shows its presence record only to the PIN is asked again with the PIN before anything is
// decided; with the PIN, a card that cannot be opened is not chosen.
TEST(IcCard, TheProbeDecidesWhatChoosingTheCardDoes) {
  using C = MediumChoice;
  const int kNotFound = v7::kErrCardNotFound, kPin = v7::kErrPinRequired;
  const struct {
    int probe, code, bits;
    bool proven;
    MediumChoice choice;
  } cases[] = {
      {1, kNotFound, 2048, false, C::kRefuseKeyLength},
      {1, kNotFound, 1025, false, C::kRefuseKeyLength},
      {1, kNotFound, 1024, false, C::kTake},
      {1, kNotFound, 0, false, C::kTake},
      {2, 0, 2048, false, C::kAskReplace},
      {2, 0, 1024, false, C::kAskReplace},
      {0, v7::kErrCardAbsent, 2048, false, C::kTake},  // the store says why
      // Behind the PIN: nothing is known until the card is asked with it.
      {1, kPin, 2048, false, C::kAskPinFirst},
      {1, kPin, 1024, false, C::kAskPinFirst},
      {2, 0, 2048, true, C::kAskReplace},
      {1, kNotFound, 2048, true, C::kRefuseKeyLength},
      {1, kNotFound, 1024, true, C::kTake},
      {1, kPin, 2048, true, C::kRefuseKeyLength},
      {0, v7::kErrCardPinWrong, 1024, true, C::kCannotUse},
      {0, v7::kErrCardTransmit, 1024, true, C::kCannotUse},
  };
  for (const auto &c : cases)
    EXPECT_EQ(ic_card_choice(c.probe, c.code, c.bits, c.proven), c.choice)
        << c.probe << " " << c.code << " " << c.bits << " " << c.proven;
}

// The secure disk asks before the slot of the received holder goes, and is not chosen when it
// cannot say whether it holds one.
TEST(SecureDisk, ASlotOfTheHolderIsAskedAbout) {
  EXPECT_EQ(secure_disk_choice(0, 0), MediumChoice::kTake);
  EXPECT_EQ(secure_disk_choice(0, 3), MediumChoice::kAskReplace);
  EXPECT_EQ(secure_disk_choice(0x20000 + 7, 0), MediumChoice::kCannotUse);
  EXPECT_EQ(secure_disk_choice(v7::kErrDecodeFailed, 0), MediumChoice::kCannotUse);
}

// The module is installed again when its version cannot be read or is below the request's
// minimum; a minimum that fills its whole field has no end and asks for nothing, and reading it
// never runs on into the install page's address that follows it.
TEST(SecureDisk, AModuleOlderThanTheMinimumIsInstalledAgain) {
  const struct {
    const char *module;
    const char *minimum;  // null: the field filled to its end, the address after it all nines too
    bool install;
  } cases[] = {
      {"3.1.0", "3.0", false}, {"3.0", "3.0", false},  {"2.9", "3.0", true}, {"3.0", "3.0.1", true},
      {"1.0", "", false},      {nullptr, "", true},    {nullptr, "1.0", true}, {"1.0", nullptr, false},
  };
  for (const auto &c : cases) {
    SecureDiskConfig config;
    if (c.minimum != nullptr) {
      memset(&config, 0, sizeof config);
      strcpy(config.min_version, c.minimum);
    } else {
      for (size_t i = 0; i < sizeof config; ++i) reinterpret_cast<char *>(&config)[i] = i % 2 == 0 ? '9' : '.';
      config.install_url[sizeof config.install_url - 1] = 0;
    }
    EXPECT_EQ(secure_disk_needs_install(c.module, config), c.install)
        << (c.module != nullptr ? c.module : "(unread)") << " " << (c.minimum != nullptr ? c.minimum : "(filled)");
  }
}

TEST(MediaNext, KindThreeStoresADiskAtOnceAndSkipsThePasswordPageForItOnly) {
  const RelayModeWord k1 = 0x88000001u, k2 = 0x88000002u, k3 = 0x88000003u;
  const std::vector<SheetPage> both = {P::ChangePasswdR, P::LastStatus}, status = {P::LastStatus};
  const struct {
    RelayModeWord mode;
    uint32_t kind;
    bool at_once;
    std::vector<SheetPage> after;
  } cases[] = {
      {k1, kStoreHardDisk, false, both},    {k1, kStoreRemovable, false, both}, {k1, kStoreSecurityToken, false, both},
      {k2, kStoreHardDisk, false, both},    {k2, kStoreSecureDisk, false, both},
      {k3, kStoreHardDisk, true, status},   {k3, kStoreRemovable, true, status},
      {k3, kStoreSecurityToken, false, both},       {k3, kStoreIcCard, false, both},
      // The secure disk keeps its password page after a disk was chosen before it.
      {k3, kStoreSecureDisk, false, both},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(media_stores_at_once(c.mode, c.kind), c.at_once) << std::hex << c.mode << " " << c.kind;
    EXPECT_EQ(pages_after_media(c.mode, c.kind), c.after) << std::hex << c.mode << " " << c.kind;
  }
}

TEST(MediaNext, TheReceivedSetsPartsMustFitTogether) {
  uint8_t a[1] = {1};
  const struct {
    bool sign_cert, sign_key, km_cert, km_key;
    int code;
  } cases[] = {
      {true, true, true, true, 0},    {true, true, false, false, 0},
      {true, false, true, true, kErrNoSignKeyPart},  {false, true, true, true, kErrNoSignCertPart},
      {true, true, true, false, kErrNoKmKeyPart},    {true, true, false, true, kErrNoKmKeyPart},
      {false, false, false, false, kErrNoSignKeyPart},
  };
  for (const auto &c : cases) {
    ReceivedCertRecord r{};
    r.sign_cert = c.sign_cert ? a : nullptr;
    r.sign_cert_len = c.sign_cert ? 1 : 0;
    r.sign_key = c.sign_key ? a : nullptr;
    r.sign_key_len = c.sign_key ? 1 : 0;
    r.km_cert = c.km_cert ? a : nullptr;
    r.km_cert_len = c.km_cert ? 1 : 0;
    r.km_key = c.km_key ? a : nullptr;
    r.km_key_len = c.km_key ? 1 : 0;
    EXPECT_EQ(received_set_check(&r), c.code) << c.sign_cert << c.sign_key << c.km_cert << c.km_key;
  }
  EXPECT_EQ(received_set_check(nullptr), kErrNoSignKeyPart);
  // A buffer without a length counts as missing.
  ReceivedCertRecord r{};
  r.sign_cert = a;
  r.sign_cert_len = 1;
  r.sign_key = a;
  r.sign_key_len = 0;
  EXPECT_EQ(received_set_check(&r), kErrNoSignKeyPart);
}

const uint32_t kAllKinds[] = {kStoreHardDisk, kStoreRemovable, kStoreSecurityToken, kStoreIcCard, kStoreSecureDisk};

TEST(PasswordPage, TheSecureDiskHasNoCheckBoxAndNoNewPassword) {
  for (uint32_t kind : kAllKinds) {
    const PasswordLayout layout = password_layout(kind);
    const bool sd = kind == kStoreSecureDisk;
    EXPECT_EQ(layout.description, sd ? IDS_PWCHANGER_SECURE_DISK_DESCRIPTION : IDS_PWCHANGER_DESCRIPTION) << kind;
    EXPECT_EQ(layout.check_shown, !sd) << kind;
    EXPECT_EQ(layout.new_controls_shown, !sd) << kind;
  }
}

TEST(PasswordPage, ThePhonePasswordIsAskedOnEveryMediumAndTheCheckBoxEnablesTheNewOne) {
  for (uint32_t kind : kAllKinds) {
    for (bool change : {false, true}) {
      const PasswordEnables e = password_enables(kind, change);
      EXPECT_TRUE(e.phone) << kind << " " << change;
      // A token's new password too: the store opens its keys with what it is handed.
      EXPECT_EQ(e.new_controls, change) << kind << " " << change;
    }
  }
}

TEST(PasswordPage, ButtonsByChangeFlagGradeAndEntries) {
  const struct {
    bool change;
    int grade;
    bool confirm_empty, phone_empty;
    WizardButtonFlags buttons;
  } cases[] = {
      // With the change flag: a positive grade, a confirmation and the phone password.
      {true, 2, false, false, kButtonsBackNext},
      {true, 3, false, false, kButtonsBackNext},
      {true, 1, false, false, kButtonsBackNext},
      {true, 2, true, false, kButtonsBack},
      {true, 2, false, true, kButtonsBack},
      {true, -1, false, false, kButtonsBack},
      {true, 0, false, false, kButtonsBack},
      // Without it: the phone password alone.
      {false, -1, true, true, kButtonsBack},
      {false, -1, true, false, kButtonsBackNext},
      {false, 3, false, false, kButtonsBackNext},
  };
  for (uint32_t kind : kAllKinds) {
    for (const auto &c : cases) {
      EXPECT_EQ(password_page_buttons(kind, c.change, c.grade, c.confirm_empty, c.phone_empty), c.buttons)
          << kind << " " << c.change << " " << c.grade << " " << c.confirm_empty << c.phone_empty;
    }
  }
}

TEST(PasswordPage, NextByChangeFlagAndEntries) {
  const char *good = "Zq8#Lm2!w";  // keeps every rule
  const char *other = "Zq8#Lm2!x";
  const char *weak = "aaa";
  const struct {
    bool change;
    const char *phone, *new_password, *confirm;
    RecipientNext next;
  } cases[] = {
      {false, "", "", "", RecipientNext::kPhoneEmpty},
      {false, "phone", "", "", RecipientNext::kCheckPhone},
      // Without the change flag what the other edits hold does not matter.
      {false, "phone", good, other, RecipientNext::kCheckPhone},
      {true, "", good, good, RecipientNext::kPhoneEmpty},
      {true, "phone", good, other, RecipientNext::kMismatch},
      {true, "phone", good, "", RecipientNext::kMismatch},
      {true, "phone", good, good, RecipientNext::kCheckPhone},
      {true, "phone", weak, weak, RecipientNext::kWeak},
      {true, "phone", "", "", RecipientNext::kWeak},
  };
  for (const auto &c : cases) {
    EXPECT_EQ(password_page_next(c.change, c.phone, c.new_password, strlen(c.new_password), c.confirm,
                                 strlen(c.confirm)),
              c.next)
        << c.change << " " << c.phone << "/" << c.new_password << "/" << c.confirm;
  }
  // A confirmation that is a prefix of the new password does not match.
  EXPECT_EQ(password_page_next(true, "p", good, strlen(good), good, strlen(good) - 1), RecipientNext::kMismatch);
  EXPECT_EQ(password_page_next(false, nullptr, nullptr, 0, nullptr, 0), RecipientNext::kPhoneEmpty);
}

TEST(PasswordPage, TheStoreGetsThePasswordTheKeysAreSealedUnder) {
  const struct {
    bool change;
    const char *phone, *new_password;
    std::string handed;
  } cases[] = {
      {true, "phone", "newpass", "newpass"},
      {false, "phone", "", "phone"},
      {false, "phone", "newpass", "phone"},
      {false, nullptr, nullptr, ""},
  };
  for (const auto &c : cases) EXPECT_EQ(std::string(store_password(c.change, c.phone, c.new_password)), c.handed);
}

TEST(PasswordPage, TheStoresBufferTakesUpTo127BytesAndRefusesMore) {
  char out[kStorePasswordCapacity];
  memset(out, 'x', sizeof out);
  EXPECT_TRUE(copy_store_password("secret", out));
  EXPECT_STREQ(out, "secret");
  for (size_t i = 7; i < sizeof out; ++i) EXPECT_EQ(out[i], 0) << i;
  const std::string fits(127, 'a'), too_long(128, 'a');
  EXPECT_TRUE(copy_store_password(fits.c_str(), out));
  EXPECT_EQ(std::string(out), fits);
  EXPECT_FALSE(copy_store_password(too_long.c_str(), out));
  for (char c : out) EXPECT_EQ(c, 0);
  EXPECT_TRUE(copy_store_password(nullptr, out));
  EXPECT_STREQ(out, "");
}

TEST(PasswordPage, GradePicturesAreTheRecipientPagesOwn) {
  EXPECT_EQ(recipient_grade_image(1), 63072);
  EXPECT_EQ(recipient_grade_image(2), 63073);
  EXPECT_EQ(recipient_grade_image(3), 63071);
  EXPECT_EQ(recipient_grade_image(0), 0);
  EXPECT_EQ(recipient_grade_image(-2), 0);
}

}  // namespace

namespace {

// What the last status page shows for a store the store refused: a subject crafted as a path, a
// set whose parts do not fit, a failed backup; each with a text of its own in both languages.
TEST(StoreResult, RefusedStoresShowTheirOwnTextWithTheCode) {
  const struct {
    int code;
    std::u16string english, korean;
  } cases[] = {
      {kErrUnsafeHolderName, u"The Certificate Subject Cannot Be a Directory Name [16402]",
       u"\uC778\uC99D\uC11C \uC18C\uC720\uC790 \uC774\uB984\uC744 \uB514\uB809\uD1A0\uB9AC \uC774\uB984\uC73C\uB85C "
       u"\uC4F8 \uC218 \uC5C6\uC74C [16402]"},
  };
  for (const auto &c : cases) {
    for (bool korean : {false, true}) {
      char16_t *text = err_code_text_w(c.code, korean ? 0 : kErrFmtEnglish);
      ASSERT_NE(text, nullptr) << c.code;
      EXPECT_EQ(store_error_text(text, c.code), korean ? c.korean : c.english);
      free(text);
    }
  }
  // A failure whose old set stays in a backup folder names the folder on a line of its own.
  EXPECT_EQ(with_folder_line(store_error_text(u"Failed", kErrStorePair), u"Kept in: ", u"C:\\data\\backup\\1"),
            u"Failed [16322]\r\nKept in: C:\\data\\backup\\1");
  EXPECT_EQ(with_folder_line(store_error_text(u"Failed", kErrStorePair), u"Kept in: ", u""), u"Failed [16322]");
  // A copy of old keys the store could not remove is named after a success as after a failure.
  EXPECT_EQ(with_folder_line(u"Stored.", u"Left in: ", u"C:\\data\\backup\\2"),
            u"Stored.\r\nLeft in: C:\\data\\backup\\2");
  EXPECT_EQ(with_folder_line(store_error_text(u"Failed", kErrStoreBackup), u"Left in: ", u"C:\\b"),
            u"Failed [16323]\r\nLeft in: C:\\b");
  EXPECT_EQ(with_folder_line(u"Stored.", u"Left in: ", u""), u"Stored.");
  for (int code : {int(kErrNoSignKeyPart), int(kErrNoSignCertPart), int(kErrNoKmKeyPart), int(kErrStoreBackup)}) {
    char16_t *text = err_code_text_w(code, kErrFmtEnglish);
    EXPECT_TRUE(text != nullptr && text[0] != 0) << code;
    free(text);
  }
}

}  // namespace
