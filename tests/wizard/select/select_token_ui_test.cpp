// The selection dialog on a security token under Wine, with the test PKCS#11 DLL named by the
// token configuration in the system folder: a module path remembered in the per-user registry is
// not opened on its own word when its approval fails, the token menu opens the token after the
// unapproved-program question, and OK logs in with the PIN from the edit.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>

#include "media/certlist.h"
#include "media/token/p11.h"
#include "pki/x509/cert.h"
#include "platform/classlib/app.h"
#include "platform/fs/fs.h"
#include "platform/module/module.h"
#include "tests/modules/ckapp/ckapp_test_setup.h"
#include "tests/modules/pkcs11/test_token_control.h"
#include "tests/pki/keys/keyobj/keyobj_test_util.h"
#include "tests/wizard/select/select_robot.h"
#include "v7config/deployment.h"
#include "wizard/dialogs/text_setters.h"
#include "wizard/res/string_ids.h"

namespace {

using namespace selectrobot;
using v7test::RunWithRobot;

CKAppTestState g_ckapp;
const char kPin[] = "1234";

// The first popup menu of the thread: the token menu while it is tracked.
HWND popup_menu(DWORD thread) {
  for (HWND w : v7test::ThreadWindows(thread))
    if (v7test::ClassName(w) == L"#32768" && ::IsWindowVisible(w)) return w;
  return nullptr;
}

TEST(SelectTokenUi, RememberedPathNeedsApprovalAndTheMenuOpensTheTokenForItsPin) {
  std::string token = V7_TEST_TOKEN_FILE;
  for (char &c : token)
    if (c == '/') c = '\\';
  v7::LoadedModule *keeper = v7::module_load(token.c_str());
  ASSERT_NE(keeper, nullptr) << token;
  auto reset = reinterpret_cast<V7TestTokenResetFn>(v7::module_symbol(keeper, "V7TestToken_Reset"));
  ASSERT_NE(reset, nullptr);
  reset(kPin);
  {
    P11_MODULE *m = p11_module_load(token.c_str());
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(p11_module_open(m), 0);
    const v7test::Bytes key = keyobjtest::rsa_private_der("user_sign_plain.der");
    const v7test::Bytes cert = fixture("user_sign.der");
    uint8_t *subject = nullptr, *id = nullptr;
    size_t subject_len = 0;
    ASSERT_NE(cert_subject_der(cert.data(), cert.size(), &subject, &subject_len), 0u);
    ASSERT_EQ(p11_put_keypair(m, kPin, key.data(), key.size(), 0, subject, subject_len, &id), 0);
    ASSERT_EQ(p11_put_cert(m, kPin, cert.data(), cert.size(), id, P11_KEY_ID_LEN), 0);
    const v7test::Bytes random = keyobjtest::user_random();
    ASSERT_EQ(p11_put_vid_object(kPin, id, m, random.data(), random.size(), P11_KEY_ID_LEN), 0);
    free(subject);
    free(id);
    p11_module_free(m);
  }
  // The configuration lists the token; its approval file is missing, so its approval fails.
  char system[MAX_PATH] = {};
  ASSERT_TRUE(platform_fs_system_folder_a(system, sizeof system));
  const std::string conf_path = std::string(system) + "\\npki_pkcs11.cnf";
  ASSERT_FALSE(std::ifstream(conf_path).good()) << "a token configuration is already there";
  std::ofstream(conf_path) << "[list]\nkey = TestToken\n[TestToken]\nInfo=V7 Test Token\nName=" << token
                           << "\nPrograms=" << token << "\nSignatureToken=" << token << ".sig\n";

  ckapptest::use_variant("complete", &g_ckapp);
  RelayRequestRecord request;
  begin_case(&request);
  request.media_bits = 0x4;
  request.restore_last_medium = 1;
  ASSERT_EQ(reg_write_value(kSubkey, "Last Media", "HSM"), 0);
  ASSERT_EQ(reg_write_value(kSubkey, "Last Drive", token.c_str()), 0);
  set_language_id(kLanguageEnglish);
  auto select = select_for(&request);
  bool menu_shown = false;
  std::wstring label;
  std::vector<std::string> rows;
  int result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        // The remembered path is not opened: the menu asks which token.
        menu_shown = robot.WaitUntil([&] { return popup_menu(robot.ui_thread()) != nullptr; });
        ASSERT_TRUE(menu_shown);
        HWND menu = popup_menu(robot.ui_thread());
        ::PostMessageW(menu, WM_KEYDOWN, VK_DOWN, 0);
        ::PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
        HWND dialog = robot.WaitForDialogWithControl(IDC_SELECT_CERTS);
        ASSERT_NE(dialog, nullptr);
        HWND list = ::GetDlgItem(dialog, IDC_SELECT_CERTS);
        ASSERT_TRUE(robot.WaitUntil([&] { return row_of(list, "Hong Gildong()0001234567890123") == 0; }));
        rows = rows_of(list);
        label = robot.ItemText(dialog, IDC_SELECT_PW_LABEL);
        EXPECT_TRUE(robot.Screenshot(dialog, "select_token_en"));
        robot.SetItemText(dialog, IDC_SELECT_PASSWORD, L"1234");
        robot.Click(dialog, IDOK);
        robot.WaitUntil([&] { return !::IsWindow(dialog) || robot.WaitForDialogWithControl(IDC_ERROR_DETAIL, dialog, 10); },
                        30000);
        if (::IsWindow(dialog)) {
          HWND error = robot.WaitForDialogWithControl(IDC_ERROR_DETAIL, dialog, 10);
          if (error != nullptr) {
            ADD_FAILURE() << "error: " << narrow_utf8(robot.ItemText(error, IDC_ERROR_SUMMARY)) << " / "
                          << narrow_utf8(v7::dialogs::GetRichEditText(::GetDlgItem(error, IDC_ERROR_DETAIL)));
            robot.Click(error, IDOK);
          }
        }
        EXPECT_TRUE(robot.WaitGone(dialog, 30000));
      },
      [&] { result = CertListShowDialog(select->record); });
  DeleteFileA(conf_path.c_str());
  EXPECT_TRUE(menu_shown);
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(rows.size(), 1u);
  EXPECT_EQ(narrow(label), "PIN number :");
  // The unapproved program was asked about once, and OK took the token with approval word 0.
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0], v7::classlib::LoadPairText(IDS_HSM_NOT_APPROVED_ASK));
  // It names where the approved programs are listed.
  EXPECT_NE(narrow(g_boxes[0]).find(V7_TOKEN_APPROVAL_PAGE ")"), std::string::npos) << narrow(g_boxes[0]);
  EXPECT_EQ(select->record->token_approved, 0u);
  EXPECT_STREQ(CertListGetPin(select->record), kPin);
  EXPECT_NE(select->record->sign_key, nullptr);
  EXPECT_EQ(setting("Last Media"), "HSM");
  EXPECT_EQ(setting("Last Drive"), token);
  end_case();
  v7::keycrypt::KeyCryptSetModuleFolder(nullptr);
  select.reset();
  v7::module_close(keeper);
}

}  // namespace
