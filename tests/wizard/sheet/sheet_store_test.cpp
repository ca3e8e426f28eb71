// The end of a receive through the wizard on real windows under Wine, against the test relay
// server and the phone: the set stored on a removable drive of the Wine prefix, stored with a
// new password for the PC copy (the keys open with it, no longer with the phone's), the question
// before a set already on the medium is replaced, and what a store tells beside its result (the
// folder that keeps the old set after a failure, the secure disk's old slot that stays).
#include "tests/wizard/sheet/sheet_test_util.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <system_error>

#include "media/registry_settings.h"
#include "media/securedisk/module_signature.h"
#include "media/securedisk/securedisk.h"
#include "media/smartcard/smartcard.h"
#include "media/store/internal.h"
#include "pki/errors/error_ctx.h"
#include "pki/text/files.h"
#include "platform/errors/error_codes.h"
#include "platform/fs/fs.h"
#include "tests/harness/removable_drive.h"
#include "tests/media/securedisk/sd_test_fixture.h"
#include "tests/media/smartcard/vcard_client.h"
#include "tests/modules/pkcs11/test_token_control.h"
#include "tests/wizard/sheet/phone_thread.h"
#include "tests/wizard/sheet/store_steps.h"
#include "wizard/records/request_record.h"
#include "wizard/res/small_dialogs_ids.h"

using namespace sheettest;

namespace {

::testing::Environment *const g_env = ::testing::AddGlobalTestEnvironment(new stepstest::StepsEnvironment);

constexpr char kNewPassword[] = "Pc7#Store9x";

// A receive of the kind up to the media page, then script() there; the wizard's modal result. The
// sheet was made in the language of the run.
INT_PTR receive_then(int kind, const std::function<void(UiRobot &, HWND)> &script, CSheetCertRelay *sheet,
                     Phone *phone) {
  INT_PTR result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND window = find_sheet(robot);
        ASSERT_NE(window, nullptr);
        if (kind == 1) {
          HWND page = wait_page(robot, window, IDC_SSN_RESIDENT1);
          ASSERT_NE(page, nullptr);
          robot.SetItemText(page, IDC_SSN_RESIDENT1, L"800101");
          robot.SetItemText(page, IDC_SSN_RESIDENT2, L"1234567");
        } else {
          ASSERT_NE(wait_page(robot, window, IDC_START_NEXT), nullptr);
        }
        ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
        HWND code_page = wait_page(robot, window, IDC_CODE_GROUP1);
        ASSERT_NE(code_page, nullptr);
        const int ids[] = {IDC_CODE_GROUP1, IDC_CODE_GROUP2, IDC_CODE_GROUP3};
        const int groups = kind == 1 ? 2 : 3;
        ASSERT_TRUE(robot.WaitUntil([&] { return robot.ItemText(code_page, ids[groups - 1]).size() == 4; }));
        std::string code;
        for (int i = 0; i < groups; ++i) code += narrow(robot.ItemText(code_page, ids[i]));
        phone->send(code);
        HWND dn_page = wait_page(robot, window, IDC_CERT_DN_SUBJECT);
        ASSERT_NE(dn_page, nullptr);
        ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
        script(robot, window);
      },
      [&] { result = sheet->DoModal(); });
  phone->join();
  return result;
}

// Types the test PIN into the PIN dialog the choice opens and presses OK.
void answer_pin(UiRobot &robot) {
  HWND pin = robot.WaitForDialogWithControl(IDC_PIN_EDIT);
  ASSERT_NE(pin, nullptr);
  robot.SetItemText(pin, IDC_PIN_EDIT, L"1234");
  robot.Click(pin, IDOK);
}

Bytes received_part(const uint8_t *p, size_t n) { return p != nullptr ? Bytes(p, p + n) : Bytes(); }

// The receive went through the password page and its set is on the virtual card (PIN 1234), its
// key under the phone password.
void expect_stored_on_card(const StoreSeen &seen, const CSheetCertRelay &sheet) {
  EXPECT_TRUE(seen.password_page);
  EXPECT_EQ(seen.heading, pair_text(IDS_STATUS_COMPLETED, false)) << narrow(seen.text);
  const ReceivedCertRecord *r = sheet.Received();
  ASSERT_NE(r, nullptr);
  const StoredSet back = read_back(kMediumSmartCard, "1234", received_part(r->sign_cert, r->sign_cert_len));
  EXPECT_TRUE(back.found);
  EXPECT_EQ(back.sign_cert, received_part(r->sign_cert, r->sign_cert_len));
  EXPECT_TRUE(key_opens(back.sign_key, stepstest::kPassword));
}

// A whole receive in the language, ended on the media and password pages by step, then Finish;
// check() looks at what the robot saw and at the sheet afterwards.
void store_run(int kind, uint32_t media, uint16_t language, const StoreStep &step,
               const std::function<void(const StoreSeen &, CSheetCertRelay &)> &check) {
  const bool korean = language == kLanguageKorean;
  SCOPED_TRACE(korean ? "ko" : "en");
  BrokerScope broker;
  set_language_id(language);
  Phone phone(kind, kRelayTransportRaw);
  CSheetCertRelay sheet(relay_mode_for_recv(kind), MediaMask{media});
  sheet.AddModePages();
  StoreSeen seen;
  const INT_PTR result = receive_then(
      kind,
      [&](UiRobot &robot, HWND window) {
        store_through_pages(robot, window, step, korean, &seen);
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      &sheet, &phone);
  EXPECT_EQ(result, ID_WIZFINISH);
  EXPECT_EQ(phone.result_.code, 0) << phone.result_.where << ": " << phone.result_.text;
  EXPECT_EQ(seen.heading, pair_text(IDS_STATUS_COMPLETED, korean));
  EXPECT_EQ(seen.text, pair_text(IDS_STATUS_STORED_ON_PC, korean));
  EXPECT_EQ(seen.missing_glyphs, "");
  check(seen, sheet);
}

TEST_F(SheetUi, AReceiveEndsWithTheSetOnARemovableDrive) {
  v7test::RemovableDrive drive('R', "V7STORE");
  ASSERT_TRUE(drive.ok()) << drive.error();
  for (uint16_t language : {kLanguageKorean, kLanguageEnglish}) {
    const bool korean = language == kLanguageKorean;
    StoreStep step;
    step.icon = v7::pages::kIconRemovable;
    step.drive = 'R';
    step.screenshots = std::string("drive_") + (korean ? "ko" : "en");
    store_run(2, 0x3, language, step, [&](const StoreSeen &seen, CSheetCertRelay &sheet) {
      // Only the media the receive allows, in their order.
      EXPECT_EQ(seen.items, (std::vector<int>{1005, 1000}));
      // The menu offers the drive with its label; the item then names it.
      bool offered = false;
      for (const std::wstring &text : seen.menu) offered = offered || text == L"R: V7STORE";
      EXPECT_TRUE(offered);
      EXPECT_EQ(seen.removable_text, pair_text(IDS_MEDIUM_REMOVABLE_PREFIX, korean) + L"R:)");
      const ReceivedCertRecord *r = sheet.Received();
      ASSERT_NE(r, nullptr);
      const StoredSet back = read_back(kMediumRemovable, "R:", asn1test::read_fixture("pki/signCert.der"));
      EXPECT_TRUE(back.found);
      EXPECT_EQ(back.sign_cert, received_part(r->sign_cert, r->sign_cert_len));
      EXPECT_EQ(back.sign_key, received_part(r->sign_key, r->sign_key_len));
      EXPECT_EQ(back.km_cert, received_part(r->km_cert, r->km_cert_len));
      EXPECT_EQ(back.km_key, received_part(r->km_key, r->km_key_len));
    });
  }
}

// The per-user setting "readVolumeInfo" at "NO" (any case) leaves the labels out of the drive menu.
TEST_F(SheetUi, TheDriveMenuLeavesLabelsOutWhenTheSettingSaysNo) {
  v7test::RemovableDrive drive('P', "V7LABEL");
  ASSERT_TRUE(drive.ok()) << drive.error();
  ASSERT_EQ(reg_write_value_w(nullptr, u"readVolumeInfo", u"no"), 0);
  StoreStep step;
  step.icon = v7::pages::kIconRemovable;
  step.drive = 'P';
  store_run(1, 0x2, kLanguageEnglish, step, [&](const StoreSeen &seen, CSheetCertRelay &) {
    bool bare = false, labelled = false;
    for (const std::wstring &text : seen.menu) {
      bare = bare || text == L"P: ";
      labelled = labelled || text.find(L"V7LABEL") != std::wstring::npos;
    }
    EXPECT_TRUE(bare);
    EXPECT_FALSE(labelled);
  });
  EXPECT_EQ(reg_write_value_w(nullptr, u"readVolumeInfo", u"YES"), 0);
}

TEST_F(SheetUi, ANewPasswordSealsThePcCopyUnderIt) {
  for (uint16_t language : {kLanguageEnglish, kLanguageKorean}) {
    StoreStep step;
    step.new_password = kNewPassword;
    step.screenshots = std::string("changed_") + (language == kLanguageKorean ? "ko" : "en");
    store_run(1, 0xFFFF, language, step, [&](const StoreSeen &seen, CSheetCertRelay &) {
      EXPECT_TRUE(seen.password_page);
      const StoredSet back = read_back(kMediumHardDisk, nullptr, asn1test::read_fixture("pki/signCert.der"));
      ASSERT_TRUE(back.found);
      EXPECT_TRUE(key_opens(back.sign_key, kNewPassword));
      EXPECT_FALSE(key_opens(back.sign_key, stepstest::kPassword));
      EXPECT_TRUE(key_opens(back.km_key, kNewPassword));
      EXPECT_FALSE(key_opens(back.km_key, stepstest::kPassword));
    });
  }
}

// A store the medium refuses (every write through the broker denied) is shown with its code, never
// as success; Back leads to the password page and a second try, once the medium takes it, stores.
TEST_F(SheetUi, AFailedStoreShowsItsCodeAndBackTriesAgain) {
  BrokerScope broker;
  set_language_id(kLanguageEnglish);
  Phone phone(1, kRelayTransportRaw);
  CSheetCertRelay sheet(relay_mode_for_recv(1), MediaMask{0x1});
  sheet.AddModePages();
  StoreSeen first;
  std::wstring second_heading;
  bool back_offered = false;
  std::optional<BrokerOnlyHardDisk> broker_only(std::in_place);
  StandinFactory::broker.force = true;
  StandinFactory::broker.forced_word = int32_t(0x80070005);  // access denied
  receive_then(
      1,
      [&](UiRobot &robot, HWND window) {
        store_through_pages(robot, window, StoreStep(), false, &first);
        back_offered = button_enabled(window, ID_WIZBACK);
        StandinFactory::broker.force = false;
        broker_only.reset();
        robot.Click(window, ID_WIZBACK);
        HWND page = wait_page(robot, window, IDC_PWR_PHONE_EDIT);
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(press(robot, window, ID_WIZNEXT));
        ASSERT_TRUE(robot.WaitUntil([&] {
          HWND status = current_page(window);
          second_heading = status != nullptr ? robot.ItemText(status, IDC_STATUS_HEADING) : L"";
          return second_heading == pair_text(IDS_STATUS_COMPLETED, false) && button_enabled(window, ID_WIZFINISH);
        }, 30000));
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      &sheet, &phone);
  StandinFactory::broker.force = false;
  EXPECT_EQ(first.heading, pair_text(IDS_STATUS_FAILED, false));
  // "<the code's text> [<code>]".
  const size_t open = first.text.rfind(L" [");
  ASSERT_NE(open, std::wstring::npos) << narrow(first.text);
  EXPECT_GT(open, 0u);
  EXPECT_EQ(first.text.back(), L']');
  EXPECT_NE(first.text.substr(open + 2, first.text.size() - open - 3), L"0");
  EXPECT_TRUE(back_offered);
  EXPECT_EQ(second_heading, pair_text(IDS_STATUS_COMPLETED, false));
}

// Receive kind 3 stores a disk's set on the media page itself. When that fails, Back leads to the
// media page, and another disk chosen there is stored in its turn: the result shown is the new
// store's, not the failure before it.
TEST_F(SheetUi, KindThreeStoresADiskAtOnceAndAnotherDiskAfterAFailure) {
  v7test::RemovableDrive drive('Q', "V7KIND3");
  ASSERT_TRUE(drive.ok()) << drive.error();
  BrokerScope broker;
  set_language_id(kLanguageKorean);
  Phone phone(3, kRelayTransportRaw);
  CSheetCertRelay sheet(relay_mode_for_recv(3), MediaMask{0x3});
  sheet.AddModePages();
  StoreSeen first, second;
  bool back_offered = false;
  std::optional<BrokerOnlyHardDisk> broker_only(std::in_place);
  StandinFactory::broker.force = true;
  StandinFactory::broker.forced_word = int32_t(0x80070005);  // access denied
  const INT_PTR result = receive_then(
      3,
      [&](UiRobot &robot, HWND window) {
        store_through_pages(robot, window, StoreStep(), true, &first);
        back_offered = button_enabled(window, ID_WIZBACK);
        StandinFactory::broker.force = false;
        broker_only.reset();
        robot.Click(window, ID_WIZBACK);
        StoreStep removable;
        removable.icon = v7::pages::kIconRemovable;
        removable.drive = 'Q';
        removable.first_visit = false;
        store_through_pages(robot, window, removable, true, &second, &sheet);
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      &sheet, &phone);
  StandinFactory::broker.force = false;
  EXPECT_EQ(result, ID_WIZFINISH);
  EXPECT_FALSE(first.password_page);
  EXPECT_EQ(first.heading, pair_text(IDS_STATUS_FAILED, true));
  EXPECT_TRUE(back_offered);
  EXPECT_FALSE(second.password_page);
  EXPECT_EQ(second.heading, pair_text(IDS_STATUS_COMPLETED, true));
  EXPECT_EQ(second.text, pair_text(IDS_STATUS_STORED_ON_PC, true));
  const ReceivedCertRecord *r = sheet.Received();
  ASSERT_NE(r, nullptr);
  const StoredSet back = read_back(kMediumRemovable, "Q:", received_part(r->sign_cert, r->sign_cert_len));
  EXPECT_TRUE(back.found);
  // As the phone sent it: kind 3 writes the keys as received.
  EXPECT_EQ(back.sign_key, received_part(r->sign_key, r->sign_key_len));
  EXPECT_EQ(back.km_key, received_part(r->km_key, r->km_key_len));
}

// The test user's holder folder in the NPKI store under a drive's root ("X:\").
std::string holder_folder(const std::string &root) {
  return root +
         "NPKI\\velmora\\USER\\cn=Hong Gildong()0001234567890123,ou=TestBank,ou=personal4IB,o=TestCA,c=KR";
}

// Unlike anything the phone sends, so that a copy of it can only be the old set.
const std::map<std::string, Bytes> &old_set() {
  static const std::map<std::string, Bytes> files = {
      {"signCert.der", {1, 2, 3}}, {"signPri.key", {4, 5}}, {"kmCert.der", {6}}, {"kmPri.key", {7}}};
  return files;
}

Bytes file_bytes(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Writes the old set into folder, made first; false when it could not be written.
bool put_old_set(const std::string &folder) {
  std::error_code made;
  std::filesystem::create_directories(folder, made);
  bool written = !made;
  for (const auto &f : old_set()) {
    std::ofstream out(folder + "\\" + f.first, std::ios::binary);
    out.write(reinterpret_cast<const char *>(f.second.data()), std::streamsize(f.second.size()));
    written = written && bool(out);
  }
  return written;
}

void expect_old_set_in(const std::filesystem::path &folder) {
  for (const auto &f : old_set()) EXPECT_EQ(file_bytes(folder / f.first), f.second) << f.first;
}

// The writes of the store, with the key-management key of an NPKI store refused (the backup
// folder, outside NPKI, is written).
size_t refuse_km_key(const char *path, const uint8_t *data, size_t length) {
  const std::string p(path);
  if (p.find("\\NPKI\\") != std::string::npos && p.size() >= 9 && p.compare(p.size() - 9, 9, "kmPri.key") == 0) {
    errno = v7::kErrFileWrite;
    return 0;
  }
  return file_write_all(path, data, length);
}

// Every store fails at the key-management key, after the signing pair is written.
const v7::store::StoreFileOps kKmKeyWriteRefused = {refuse_km_key, make_dirs, file_remove, file_overwrite,
                                                    dir_remove};

// The copy of old keys cannot be wiped once the new set is stored, so it cannot be removed either.
int refuse_backup_overwrite(const char *path) {
  return std::string(path).find("\\backup\\") != std::string::npos ? 0 : file_overwrite(path);
}
const v7::store::StoreFileOps kBackupWipeRefused = {file_write_all, make_dirs, file_remove, refuse_backup_overwrite,
                                                    dir_remove};

// The folder the status page's text names after the note, to the end of its line; empty when the
// text has no such line.
std::filesystem::path folder_after(const std::wstring &status_text, const std::wstring &note) {
  const size_t at = status_text.find(note);
  if (at == std::wstring::npos) return {};
  const size_t start = at + note.size(), end = status_text.find(L"\r\n", start);
  return std::filesystem::path(status_text.substr(start, end == std::wstring::npos ? end : end - start));
}

// The status page's text names, after the note, a folder of the library's backups that holds the
// old set. It is removed after.
void expect_old_set_named(const std::wstring &status_text, UINT note, bool korean) {
  const std::filesystem::path named = folder_after(status_text, pair_text(note, korean));
  ASSERT_FALSE(named.empty()) << narrow(status_text);
  EXPECT_NE(named.wstring().find(L"\\backup\\"), std::wstring::npos) << named.string();
  expect_old_set_in(named);
  std::error_code removed;
  std::filesystem::remove_all(named, removed);
}

// The copy of the old set made before the first write stays after a failed store, and the status
// page's text says where.
void expect_old_set_kept(const std::wstring &status_text, bool korean) {
  expect_old_set_named(status_text, IDS_STATUS_OLD_SET_KEPT, korean);
}

// A receive of the kind in the language onto the drive, whose holder folder is given the old set
// first, with the store's folder operations given: what the robot saw on the way goes into seen
// (the last status page saved as shot when one is named; answer_store, when set, answers what the
// store behind the password page shows); the wizard's result.
INT_PTR store_onto_old_set(int kind, const v7test::RemovableDrive &drive, const v7::store::StoreFileOps &ops,
                           bool korean, StoreSeen *seen, const char *shot = nullptr,
                           const std::function<void(UiRobot &)> &answer_store = nullptr) {
  EXPECT_TRUE(put_old_set(holder_folder(drive.root())));
  BrokerScope broker;
  set_language_id(korean ? kLanguageKorean : kLanguageEnglish);
  Phone phone(kind, kRelayTransportRaw);
  CSheetCertRelay sheet(relay_mode_for_recv(kind), MediaMask{0x3});
  sheet.AddModePages();
  v7::store::set_file_ops(&ops);
  const INT_PTR result = receive_then(
      kind,
      [&](UiRobot &robot, HWND window) {
        StoreStep removable;
        removable.icon = v7::pages::kIconRemovable;
        removable.drive = drive.letter();
        removable.answer_store = answer_store;
        store_through_pages(robot, window, removable, korean, seen);
        if (shot != nullptr) {
          EXPECT_TRUE(robot.Screenshot(window, shot));
        }
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      &sheet, &phone);
  v7::store::set_file_ops(nullptr);
  return result;
}

// Kind 3 stores both pairs on the media page in one store: a failure at the key-management pair
// gives the drive its old signing pair back too, so the old set is there byte for byte.
TEST_F(SheetUi, KindThreeFailureAtTheSecondPairLeavesTheOldSet) {
  v7test::RemovableDrive drive('P', "V7KIND3F");
  ASSERT_TRUE(drive.ok()) << drive.error();
  StoreSeen seen;
  EXPECT_EQ(store_onto_old_set(3, drive, kKmKeyWriteRefused, false, &seen), ID_WIZFINISH);
  EXPECT_EQ(seen.heading, pair_text(IDS_STATUS_FAILED, false));
  expect_old_set_in(holder_folder(drive.root()));
  expect_old_set_kept(seen.text, false);
}

// Kinds 1 and 2 store a disk's set behind the password page: when that store fails, the status
// page names the folder that keeps the old set too.
TEST_F(SheetUi, AFailedStoreBehindThePasswordPageNamesTheFolderThatKeepsTheOldSet) {
  v7test::RemovableDrive drive('O', "V7KEPT");
  ASSERT_TRUE(drive.ok()) << drive.error();
  StoreSeen seen;
  EXPECT_EQ(store_onto_old_set(2, drive, kKmKeyWriteRefused, false, &seen, "sheet_status_old_set_kept_en"),
            ID_WIZFINISH);
  EXPECT_TRUE(seen.password_page);
  EXPECT_EQ(seen.heading, pair_text(IDS_STATUS_FAILED, false));
  expect_old_set_in(holder_folder(drive.root()));
  expect_old_set_kept(seen.text, false);
}

// A set stored over an old one whose copy cannot be wiped and removed afterwards is stored: the
// status page says so, and names the folder where the copy stayed, for the user to delete.
TEST_F(SheetUi, AStoreNamesACopyOfTheOldSetThatCouldNotBeRemoved) {
  for (bool korean : {false, true}) {
    SCOPED_TRACE(korean ? "ko" : "en");
    v7test::RemovableDrive drive('P', "V7LEFT");
    ASSERT_TRUE(drive.ok()) << drive.error();
    StoreSeen seen;
    EXPECT_EQ(store_onto_old_set(3, drive, kBackupWipeRefused, korean, &seen,
                                 korean ? "sheet_status_copy_left_ko" : "sheet_status_copy_left_en"),
              ID_WIZFINISH);
    EXPECT_EQ(seen.heading, pair_text(IDS_STATUS_COMPLETED, korean));
    EXPECT_EQ(seen.text.rfind(pair_text(IDS_STATUS_STORED_ON_PC, korean), 0), 0u) << narrow(seen.text);
    EXPECT_TRUE(folder_after(seen.text, pair_text(IDS_STATUS_OLD_SET_KEPT, korean)).empty());
    expect_old_set_named(seen.text, IDS_STATUS_COPY_LEFT, korean);
  }
}

// Behind the password page too, the copy that stayed is named on the status page. No notice opens
// over the store: that is the secure disk's, for its old slot, and a disk's copy is no such slot.
TEST_F(SheetUi, AStoreBehindThePasswordPageNamesACopyOfTheOldSetThatCouldNotBeRemoved) {
  v7test::RemovableDrive drive('O', "V7LEFTPW");
  ASSERT_TRUE(drive.ok()) << drive.error();
  bool notice = false;
  const auto no_notice = [&](UiRobot &robot) {
    HWND window = find_sheet(robot);
    ASSERT_NE(window, nullptr);
    // The store is over before the status page shows: a notice it opened is up by then, or holds
    // the sheet on the password page until it is answered.
    ASSERT_TRUE(robot.WaitUntil(
        [&] {
          for (HWND w : v7test::ThreadWindows(robot.ui_thread()))
            notice = notice ||
                     (v7test::ClassName(w) == L"#32770" && ::GetDlgItem(w, IDC_ERROR_SUMMARY) != nullptr);
          HWND page = current_page(window);
          return notice || (page != nullptr && ::GetDlgItem(page, IDC_STATUS_HEADING) != nullptr &&
                            button_enabled(window, ID_WIZFINISH));
        },
        30000));
    if (notice) {
      HWND open = robot.WaitForDialogWithControl(IDC_ERROR_SUMMARY);
      ASSERT_NE(open, nullptr);
      robot.Click(open, IDOK);
      EXPECT_TRUE(robot.WaitGone(open));
    }
  };
  StoreSeen seen;
  EXPECT_EQ(store_onto_old_set(2, drive, kBackupWipeRefused, false, &seen, "sheet_status_copy_left_pwpage_en",
                               no_notice),
            ID_WIZFINISH);
  EXPECT_TRUE(seen.password_page);
  EXPECT_FALSE(notice) << "a notice opened over the store of a disk";
  EXPECT_EQ(seen.heading, pair_text(IDS_STATUS_COMPLETED, false));
  EXPECT_EQ(seen.text.rfind(pair_text(IDS_STATUS_STORED_ON_PC, false), 0), 0u) << narrow(seen.text);
  EXPECT_TRUE(folder_after(seen.text, pair_text(IDS_STATUS_OLD_SET_KEPT, false)).empty());
  expect_old_set_named(seen.text, IDS_STATUS_COPY_LEFT, false);
}

#ifdef V7_HAVE_SIGNED_MODULES
constexpr bool kHaveSignedModules = true;
#else
constexpr bool kHaveSignedModules = false;
#endif

FileTrustAnswer accept_signature(const char16_t *) { return {0, 0}; }

// The test secure-disk module where the media page loads it, in the system folder: the copy signed
// by the publisher the page asks for, whose signature the platform is told to accept, since it
// chains to the test PKI's root, which the platform does not know. The module's state record and
// slots are the test's own. The file goes again with the object, so nothing may hold the module
// loaded by then.
class SystemFolderSecureDisk {
 public:
  SystemFolderSecureDisk() {
    char system[MAX_PATH] = {};
    if (!platform_fs_system_folder_a(system, sizeof system)) return;
    folder_ = system;
    module_ = folder_ + "\\" SD_MODULE_FILE_NAME;
    const std::string signed_module = v7test::variant_folder("signed") + "\\" SD_MODULE_FILE_NAME;
    copied_ = ::CopyFileA(signed_module.c_str(), module_.c_str(), FALSE) != 0;
    set_file_trust_verifier(accept_signature);
  }
  ~SystemFolderSecureDisk() {
    set_file_trust_verifier(nullptr);
    if (copied_ && !::DeleteFileA(module_.c_str())) ADD_FAILURE() << "the module stays in " << module_;
  }
  SystemFolderSecureDisk(const SystemFolderSecureDisk &) = delete;
  SystemFolderSecureDisk &operator=(const SystemFolderSecureDisk &) = delete;

  bool ready() const { return copied_ && state_.ok(); }
  SDTestState *state() const { return state_.state(); }

  // The holder's signing pair in a slot of its own under another password: the slot that a store
  // of the holder's set replaces.
  bool put_old_slot() const {
    const Bytes cert = asn1test::read_fixture("pki/signCert.der"),
                key = asn1test::read_fixture("pki/signPri.key");
    SecureDiskHandle *handle = nullptr;
    const bool put = sd_module_load_from(folder_.c_str(), &handle) == 0 && sd_open(handle) == 0 &&
                     sd_import_pair(handle, cert.data(), cert.size(), key.data(), key.size(), nullptr, 0,
                                    nullptr, 0, "Old pw 7!") == 0;
    sd_handle_release(handle);
    return put;
  }

 private:
  v7test::SdTestStateScope state_;  // first: every load of the module looks for it
  std::string folder_, module_;
  bool copied_ = false;
};

// Once the secure disk holds the new set, a removal of the holder's old slot that fails leaves the
// store a success: the error dialog tells of the slot that stays, and the transfer completes.
TEST_F(SheetUi, AnOldSecureDiskSlotThatStaysIsToldAndTheStoreCompletes) {
  if (!kHaveSignedModules) GTEST_SKIP() << "no signing tool: the signed secure-disk module was not made";
  SystemFolderSecureDisk disk;
  ASSERT_TRUE(disk.ready());
  ASSERT_TRUE(disk.put_old_slot());
  disk.state()->fail_entry = v7test::kRemoveSlot;
  disk.state()->fail_code = 0x66;
  RelayRequestRecord request = {};
  set_language_id(kLanguageEnglish);
  Phone phone(2, kRelayTransportRaw);
  CSheetCertRelay sheet(relay_mode_for_recv(2), MediaMask{0x200});
  sheet.SetRequest(&request);
  sheet.AddModePages();
  std::wstring summary, detail;
  StoreStep step;
  step.icon = v7::pages::kIconSecureDisk;
  step.answer_store = [&](UiRobot &robot) {
    HWND notice = robot.WaitForDialogWithControl(IDC_ERROR_SUMMARY);
    ASSERT_NE(notice, nullptr) << "no error dialog after the store";
    summary = robot.ItemText(notice, IDC_ERROR_SUMMARY);
    detail = robot.ItemText(notice, IDC_ERROR_DETAIL);
    EXPECT_TRUE(robot.Screenshot(notice, "sheet_securedisk_old_slot_en"));
    robot.Click(notice, IDOK);
    EXPECT_TRUE(robot.WaitGone(notice));
  };
  StoreSeen seen;
  receive_then(
      2,
      [&](UiRobot &robot, HWND window) {
        store_through_pages(robot, window, step, false, &seen, &sheet);
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      &sheet, &phone);
  EXPECT_TRUE(seen.password_page);
  EXPECT_EQ(summary, L"Secure Disk Error");
  char16_t *message = err_code_text_w(v7::kErrSdSlotNotRemoved, kErrFmtEnglish);
  ASSERT_NE(message, nullptr);
  const std::wstring slot_stays(reinterpret_cast<const wchar_t *>(message));
  free(message);
  EXPECT_FALSE(slot_stays.empty());
  EXPECT_NE(detail.find(slot_stays), std::wstring::npos) << narrow(detail);
  EXPECT_NE(detail.find(L"injected failure 102"), std::wstring::npos) << narrow(detail);
  EXPECT_EQ(seen.heading, pair_text(IDS_STATUS_COMPLETED, false));
  EXPECT_EQ(seen.text, pair_text(IDS_STATUS_STORED_ON_PC, false));
}

// The test token, kept loaded while the test runs (its objects live as long as it is mapped) and
// empty with PIN 1234, named by the system folder's token configuration, which goes with it.
class TestTokenScope {
 public:
  TestTokenScope() {
    const std::wstring module_w(module_.begin(), module_.end());
    token_ = ::LoadLibraryW(module_w.c_str());
    if (token_ == nullptr) return;
    reset_ = reinterpret_cast<V7TestTokenResetFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(token_, "V7TestToken_Reset")));
    if (reset_ == nullptr) return;
    reset_("1234");
    wchar_t system[MAX_PATH] = {};
    if (::GetSystemDirectoryW(system, MAX_PATH) == 0) return;
    conf_ = std::wstring(system) + L"\\npki_pkcs11.cnf";
    const std::string text = "[Tokens]\r\nlist = V7TEST\r\n[V7TEST]\r\nInfo=V7 Test Token\r\nName=" + module_ + "\r\n";
    HANDLE file = ::CreateFileW(conf_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    ready_ = ::WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr) && written == text.size();
    ::CloseHandle(file);
  }
  ~TestTokenScope() {
    if (!conf_.empty()) ::DeleteFileW(conf_.c_str());
    if (reset_ != nullptr) reset_("1234");
    if (token_ != nullptr) ::FreeLibrary(token_);
  }
  TestTokenScope(const TestTokenScope &) = delete;
  TestTokenScope &operator=(const TestTokenScope &) = delete;

  bool ready() const { return ready_; }
  const std::string &module() const { return module_; }

 private:
  const std::string module_ = V7_TEST_TOKEN_FILE;
  HMODULE token_ = nullptr;
  V7TestTokenResetFn reset_ = nullptr;
  std::wstring conf_;
  bool ready_ = false;
};

// The robot's step for the token: the first entry of its menu, then the PIN.
StoreStep token_step(bool first_visit) {
  StoreStep step;
  step.icon = v7::pages::kIconToken;
  step.menu_command = v7::pages::kTokenCommandFirst;
  step.first_visit = first_visit;
  step.answer = answer_pin;
  return step;
}

// The receive went through the password page and its set is listed on the test token.
void expect_stored_on_token(const StoreSeen &seen, const CSheetCertRelay &sheet, const TestTokenScope &token) {
  EXPECT_TRUE(seen.password_page);
  EXPECT_EQ(seen.heading, pair_text(IDS_STATUS_COMPLETED, false)) << narrow(seen.text);
  const ReceivedCertRecord *r = sheet.Received();
  ASSERT_NE(r, nullptr);
  const StoredSet back = read_back(kMediumToken, token.module().c_str(), received_part(r->sign_cert, r->sign_cert_len));
  EXPECT_TRUE(back.found);
  EXPECT_EQ(back.sign_cert, received_part(r->sign_cert, r->sign_cert_len));
}

// The security token: the token menu from the system folder's token configuration, the library's
// failed approval accepted with OK, the PIN asked in its dialog; the set goes onto the test token
// and is listed there after.
TEST_F(SheetUi, AReceiveEndsWithTheSetOnASecurityToken) {
  TestTokenScope token;
  ASSERT_TRUE(token.ready());
  // The approval question's OK, which a Yes would not be.
  g_boxes.answer = IDOK;
  BrokerScope broker;
  set_language_id(kLanguageEnglish);
  Phone phone(2, kRelayTransportRaw);
  CSheetCertRelay sheet(relay_mode_for_recv(2), MediaMask{0x5});
  sheet.AddModePages();
  StoreSeen seen;
  receive_then(
      2,
      [&](UiRobot &robot, HWND window) {
        store_through_pages(robot, window, token_step(true), false, &seen, &sheet);
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      &sheet, &phone);
  EXPECT_EQ(seen.items, (std::vector<int>{998, 1000}));
  // The token, the separator and the install entry.
  EXPECT_EQ(seen.menu, (std::vector<std::wstring>{L"V7 Test Token", std::wstring(38, L'-'), L"HSM program installation"}));
  expect_stored_on_token(seen, sheet, token);
}

// Receive kind 3 stores a disk at once, but a token through the password page: Back from that page
// and the token chosen again lead to the password page again, which then stores on the token.
TEST_F(SheetUi, KindThreeBackFromThePasswordPageAndTheTokenAgainShowsThePasswordPageAgain) {
  TestTokenScope token;
  ASSERT_TRUE(token.ready());
  g_boxes.answer = IDOK;
  BrokerScope broker;
  set_language_id(kLanguageEnglish);
  Phone phone(3, kRelayTransportRaw);
  CSheetCertRelay sheet(relay_mode_for_recv(3), MediaMask{0x5});
  sheet.AddModePages();
  const auto *media_page = static_cast<const v7::pages::CPageMedia *>(sheet.Page(SheetPage::Media));
  bool first_password_page = false, back_to_media = false;
  StoreSeen seen;
  const INT_PTR result = receive_then(
      3,
      [&](UiRobot &robot, HWND window) {
        HWND media = wait_page(robot, window, IDC_MEDIA_LIST);
        ASSERT_NE(media, nullptr);
        g_menu_drive = 0;
        g_menu_command = v7::pages::kTokenCommandFirst;
        v7::pages::set_popup_menu_chooser(choose_from_menu);
        choose_item(robot, media, item_of(list_icons(media), v7::pages::kIconToken));
        answer_pin(robot);
        ASSERT_TRUE(robot.WaitUntil([&] { return media_page->Ready() && media_page->Kind() == kStoreSecurityToken; }));
        v7::pages::set_popup_menu_chooser(nullptr);
        ::PostMessageW(window, PSM_PRESSBUTTON, PSBTN_NEXT, 0);
        first_password_page = wait_page(robot, window, IDC_PWR_CHECK) != nullptr;
        ASSERT_TRUE(first_password_page);
        ASSERT_TRUE(press(robot, window, ID_WIZBACK));
        back_to_media = wait_page(robot, window, IDC_MEDIA_LIST) != nullptr;
        ASSERT_TRUE(back_to_media);
        store_through_pages(robot, window, token_step(false), false, &seen, &sheet);
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      &sheet, &phone);
  v7::pages::set_popup_menu_chooser(nullptr);
  EXPECT_EQ(result, ID_WIZFINISH);
  EXPECT_TRUE(first_password_page);
  EXPECT_TRUE(back_to_media);
  expect_stored_on_token(seen, sheet, token);
}

// An IC card of the virtual card (through the test winscard.dll): a card that holds no set takes
// only a 1024-bit key, so the 2048-bit set is refused with its warning and nothing is chosen; a
// card that holds a set asks before it is replaced, then takes the PIN in its dialog and stores.
TEST_F(SheetUi, AnIcCardRefusesALongKeyOrReplacesItsSetAfterAsking) {
  v7test::VcardClient card;
  ASSERT_TRUE(card.ready()) << "no virtual card (ctest's card_services fixture)";
  const std::string empty_card = "pin 31323334\ntries 3 3\ndf F3\nef F3 3\nef F3 4\nef F3 5\nef F3 6\n"
                                 "df F4\nef F4 3\nef F4 4\n";
  const std::string card_with_set = "pin 31323334\ntries 3 3\ndf F3\nef F3 3\nef F3 4\nef F3 5\nef F3 6\n"
                                    "record F3 6 1 700401000000\ndf F4\nef F4 3\nef F4 4\n";
  ASSERT_EQ(card.load(empty_card), "ok");
  sc_forget_refused_pin();
  BrokerScope broker;
  set_language_id(kLanguageEnglish);
  Phone phone(2, kRelayTransportRaw);
  CSheetCertRelay sheet(relay_mode_for_recv(2), MediaMask{0x9});
  sheet.AddModePages();
  std::wstring refusal;
  bool refused_unchosen = false;
  StoreSeen seen;
  receive_then(
      2,
      [&](UiRobot &robot, HWND window) {
        HWND media = wait_page(robot, window, IDC_MEDIA_LIST);
        ASSERT_NE(media, nullptr);
        const size_t boxes = box_count();
        choose_item(robot, media, item_of(list_icons(media), v7::pages::kIconIcCard));
        ASSERT_TRUE(robot.WaitUntil([&] { return box_count() > boxes; }));
        refusal = last_box();
        robot.Text(window);  // returns once the choice's handler has
        refused_unchosen = !static_cast<const v7::pages::CPageMedia *>(sheet.Page(SheetPage::Media))->Ready();
        ASSERT_EQ(card.load(card_with_set), "ok");
        StoreStep step;
        step.icon = v7::pages::kIconIcCard;
        step.first_visit = false;
        step.answer = answer_pin;
        store_through_pages(robot, window, step, false, &seen, &sheet);
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      &sheet, &phone);
  EXPECT_EQ(refusal, pair_text(IDS_IC_CARD_KEY_TOO_LONG, false));
  EXPECT_TRUE(refused_unchosen);
  bool asked = false;
  for (const std::wstring &text : g_boxes.texts) asked = asked || text == pair_text(IDS_MEDIUM_HOLDS_SET_ASK, false);
  EXPECT_TRUE(asked);
  expect_stored_on_card(seen, sheet);
}

// A card that shows its presence record only once the PIN is proven: the page asks the PIN first,
// sees the set with it, asks before that set goes and takes the 2048-bit key, which only an empty
// card would refuse. The PIN is asked once: a second PIN dialog would leave the choice unmade.
TEST_F(SheetUi, AnIcCardThatHidesItsSetBehindThePinIsAskedWithIt) {
  v7test::VcardClient card;
  ASSERT_TRUE(card.ready()) << "no virtual card (ctest's card_services fixture)";
  ASSERT_EQ(card.load("pin 31323334\ntries 3 3\ndf F3\nef F3 3\nef F3 4\nef F3 5\nef F3 6\n"
                      "record F3 6 1 700401000000\ndf F4\nef F4 3\nef F4 4\nquirk presence_pin\n"),
            "ok");
  sc_forget_refused_pin();
  ASSERT_EQ(sc_probe_card(nullptr), 1);  // without the PIN it looks empty
  BrokerScope broker;
  set_language_id(kLanguageEnglish);
  Phone phone(2, kRelayTransportRaw);
  CSheetCertRelay sheet(relay_mode_for_recv(2), MediaMask{0x8});
  sheet.AddModePages();
  const size_t boxes_before = box_count();
  StoreSeen seen;
  receive_then(
      2,
      [&](UiRobot &robot, HWND window) {
        StoreStep step;
        step.icon = v7::pages::kIconIcCard;
        step.answer = answer_pin;
        store_through_pages(robot, window, step, false, &seen, &sheet);
        robot.Click(window, ID_WIZFINISH);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      &sheet, &phone);
  std::vector<std::wstring> texts;
  {
    std::lock_guard<std::mutex> hold(g_boxes.lock);
    texts.assign(g_boxes.texts.begin() + std::ptrdiff_t(boxes_before), g_boxes.texts.end());
  }
  EXPECT_EQ(std::count(texts.begin(), texts.end(), pair_text(IDS_MEDIUM_HOLDS_SET_ASK, false)), 1);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), pair_text(IDS_IC_CARD_KEY_TOO_LONG, false)), 0);
  expect_stored_on_card(seen, sheet);
}

// The set is on the hard disk already (the receive before stored it): the page asks, and No
// leaves the medium unchosen.
TEST_F(SheetUi, DecliningToReplaceASetOnTheMediumChoosesNothing) {
  StoreStep by_mouse;
  by_mouse.by_mouse = true;
  store_run(3, 0x1, kLanguageEnglish, by_mouse, [](const StoreSeen &, CSheetCertRelay &) {});
  BrokerScope broker;
  Phone phone(3, kRelayTransportRaw);
  CSheetCertRelay sheet(relay_mode_for_recv(3), MediaMask{0x1});
  sheet.AddModePages();
  g_boxes.answer = IDNO;
  bool asked = false, next_stayed_off = false;
  receive_then(
      3,
      [&](UiRobot &robot, HWND window) {
        HWND media = wait_page(robot, window, IDC_MEDIA_LIST);
        ASSERT_NE(media, nullptr);
        const size_t boxes = box_count();
        choose_item(robot, media, 0);
        ASSERT_TRUE(robot.WaitUntil([&] { return box_count() >= boxes + 2; }));
        asked = last_box() == pair_text(IDS_MEDIUM_HOLDS_SET_ASK, false);
        // A text read through the UI thread returns once the choice's handler has.
        robot.Text(window);
        const auto *page = static_cast<const v7::pages::CPageMedia *>(sheet.Page(SheetPage::Media));
        next_stayed_off = !page->Ready() && !button_enabled(window, ID_WIZNEXT);
        g_boxes.answer = IDYES;
        robot.Click(window, IDCANCEL);
        EXPECT_TRUE(robot.WaitGone(window));
      },
      &sheet, &phone);
  EXPECT_TRUE(asked);
  EXPECT_TRUE(next_stayed_off);
  EXPECT_EQ(sheet.Target(), nullptr);
}

}  // namespace
