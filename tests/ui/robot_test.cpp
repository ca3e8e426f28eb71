// The UI robot's glyph check on a Korean dialog under Wine: every text of it, and every Korean
// text of the string table in its font, can be drawn; a character that no font has is reported.

#include <gtest/gtest.h>

#include <string>

#include "platform/classlib/app.h"
#include "platform/classlib/dialog.h"
#include "platform/locale/process_words.h"
#include "tests/ui/robot.h"
#include "tests/ui/robot_test_ids.h"
#include "wizard/res/string_ids.h"
#include "wizard/res/string_table.h"

using namespace v7::classlib;

namespace {

bool HasHangul(const std::wstring &text) {
  for (wchar_t c : text) {
    if (c >= 0xAC00 && c <= 0xD7A3) return true;
  }
  return false;
}

class KoreanDialog : public CDialog {
 public:
  KoreanDialog() : CDialog(IDD_KOREAN_DIALOG) {}
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    ::SetDlgItemTextW(m_hWnd, IDC_KOREAN_TEXT, LoadPairText(IDS_PWCHANGE_DESCRIPTION).c_str());
    ::SetDlgItemTextW(m_hWnd, IDC_KOREAN_CHECK, LoadPairText(IDS_PWCHANGE_CHECK).c_str());
    ::SetDlgItemTextW(m_hWnd, IDC_KOREAN_EDIT, LoadPairText(IDS_SSN_BUSINESS).c_str());
    return TRUE;
  }
};

class LanguageScope {
 public:
  explicit LanguageScope(uint16_t id) : saved_(language_id()) { set_language_id(id); }
  ~LanguageScope() { set_language_id(saved_); }

 private:
  uint16_t saved_;
};

TEST(Glyphs, KoreanDialogDrawsEveryCharacter) {
  LanguageScope korean(kLanguageKorean);
  KoreanDialog dialog;
  std::string missing = "not looked at", missing_after_gap = "not looked at";
  std::wstring caption, text;
  HFONT dialog_font = nullptr;
  v7test::RunWithRobot(
      [&](v7test::UiRobot &robot) {
        HWND hwnd = robot.WaitForDialogWithControl(IDC_KOREAN_TEXT);
        ASSERT_NE(hwnd, nullptr);
        caption = robot.Text(hwnd);
        text = robot.ItemText(hwnd, IDC_KOREAN_TEXT);
        missing = robot.MissingGlyphs(hwnd);
        DWORD_PTR font = 0;
        ::SendMessageTimeoutW(hwnd, WM_GETFONT, 0, 0, SMTO_NORMAL, 5000, &font);
        dialog_font = HFONT(font);
        robot.Screenshot(hwnd, "glyphs_korean_dialog");
        // A control showing characters that no font has must be reported, with only those.
        robot.SetItemText(hwnd, IDC_KOREAN_GAP, L"\uAC00\u0378\u2FE0");
        ::ShowWindow(::GetDlgItem(hwnd, IDC_KOREAN_GAP), SW_SHOWNA);
        robot.WaitUntil([&] { return ::IsWindowVisible(::GetDlgItem(hwnd, IDC_KOREAN_GAP)) != FALSE; });
        missing_after_gap = robot.MissingGlyphs(hwnd);
        robot.Click(hwnd, IDCANCEL);
        robot.WaitGone(hwnd);
      },
      [&] { EXPECT_EQ(dialog.DoModal(), IDCANCEL); });
  EXPECT_TRUE(HasHangul(caption)) << "the caption is Korean";
  EXPECT_EQ(text, v7test::WideFromUtf8(v7::wizard::res::FindString(IDS_PWCHANGE_DESCRIPTION)));
  EXPECT_EQ(missing, "") << "texts of the dialog that draw as missing glyphs";
  EXPECT_EQ(missing_after_gap, "control 1004 \"\xEA\xB0\x80\xCD\xB8\xE2\xBF\xA0\": U+0378 U+2FE0\n");

  // Every Korean text of the string table in the dialog's font.
  ASSERT_NE(dialog_font, nullptr);
  size_t korean_texts = 0;
  for (size_t i = 0; i < v7::wizard::res::kStringCount; i++) {
    const std::wstring each = v7test::WideFromUtf8(v7::wizard::res::kStrings[i].text);
    if (!HasHangul(each)) continue;
    korean_texts++;
    EXPECT_EQ(v7test::MissingGlyphsOf(dialog_font, each), L"") << "string " << v7::wizard::res::kStrings[i].id;
  }
  EXPECT_GT(korean_texts, 100u);
}

}  // namespace
