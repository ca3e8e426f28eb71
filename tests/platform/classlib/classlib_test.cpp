// The class layer on real windows under Wine: message maps, a modal dialog with data exchange and
// the PreTranslateMessage chain, and a three-page wizard whose notifications, skips, stays,
// cancel query and private messages are pressed by the UI robot.

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/classlib/app.h"
#include "platform/classlib/dialog.h"
#include "platform/classlib/message_map.h"
#include "platform/classlib/property_sheet.h"
#include "platform/locale/process_words.h"
#include "tests/platform/classlib/classlib_test_ids.h"
#include "tests/ui/robot.h"

using namespace v7::classlib;

namespace {

// ---- Message maps, without a window ----

class MapBase : public CWnd {
 public:
  std::vector<std::string> log;
  BEGIN_MSG_MAP(MapBase)
    MESSAGE_HANDLER(WM_APP, OnApp)
  END_MSG_MAP()
  LRESULT OnApp(WPARAM wparam, LPARAM) {
    log.push_back("base app " + std::to_string(wparam));
    return 11;
  }
};

class MapProbe : public MapBase {
 public:
  BEGIN_MSG_MAP(MapProbe)
    COMMAND_HANDLER(100, BN_CLICKED, OnClicked)
    COMMAND_ID_HANDLER(101, OnPassOn)
    COMMAND_RANGE_HANDLER(110, 119, OnRange)
    MESSAGE_HANDLER(WM_COMMAND, OnAnyCommand)
    NOTIFY_HANDLER(200, NM_CLICK, OnItemClick)
    NOTIFY_CODE_HANDLER(NM_DBLCLK, OnDoubleClick)
    MSG_WM_TIMER(OnTimer)
    CHAIN_MSG_MAP(MapBase)
  END_MSG_MAP()

  void OnClicked() { log.push_back("clicked"); }
  void OnPassOn() {
    log.push_back("pass on");
    SetMsgHandled(false);
  }
  void OnRange(UINT id) { log.push_back("range " + std::to_string(id)); }
  LRESULT OnAnyCommand(WPARAM wparam, LPARAM) {
    log.push_back("command " + std::to_string(LOWORD(wparam)));
    return 3;
  }
  LRESULT OnItemClick(NMHDR *) {
    log.push_back("item click");
    return 7;
  }
  LRESULT OnDoubleClick(NMHDR *header) {
    log.push_back("double click " + std::to_string(header->idFrom));
    return 8;
  }
  void OnTimer(UINT_PTR id) { log.push_back("timer " + std::to_string(id)); }
};

TEST(MessageMap, EntriesInOrderWithPassOnAndChain) {
  NMHDR click{nullptr, 200, UINT(NM_CLICK)}, other_click{nullptr, 201, UINT(NM_CLICK)};
  NMHDR dbl{nullptr, 300, UINT(NM_DBLCLK)};
  const struct {
    UINT message;
    WPARAM wparam;
    LPARAM lparam;
    bool handled;
    LRESULT result;
    std::vector<std::string> log;
  } cases[] = {
      {WM_COMMAND, MAKEWPARAM(100, BN_CLICKED), 0, true, 0, {"clicked"}},
      {WM_COMMAND, MAKEWPARAM(100, EN_CHANGE), 0, true, 3, {"command 100"}},
      {WM_COMMAND, MAKEWPARAM(101, BN_CLICKED), 0, true, 3, {"pass on", "command 101"}},
      {WM_COMMAND, MAKEWPARAM(115, 0), 0, true, 0, {"range 115"}},
      {WM_COMMAND, MAKEWPARAM(120, 0), 0, true, 3, {"command 120"}},
      {WM_NOTIFY, 200, LPARAM(&click), true, 7, {"item click"}},
      {WM_NOTIFY, 201, LPARAM(&other_click), false, 0, {}},
      {WM_NOTIFY, 300, LPARAM(&dbl), true, 8, {"double click 300"}},
      {WM_TIMER, 42, 0, true, 0, {"timer 42"}},
      {WM_APP, 5, 0, true, 11, {"base app 5"}},
      {WM_APP + 1, 0, 0, false, 0, {}},
  };
  for (const auto &c : cases) {
    MapProbe probe;
    LRESULT result = 0;
    bool handled = probe.ProcessWindowMessage(nullptr, c.message, c.wparam, c.lparam, result);
    SCOPED_TRACE(std::to_string(c.message) + " " + std::to_string(c.wparam));
    EXPECT_EQ(handled, c.handled);
    if (handled) {
      EXPECT_EQ(result, c.result);
    }
    EXPECT_EQ(probe.log, c.log);
  }
}

TEST(Strings, PairFollowsTheLanguageWord) {
  const uint16_t saved = language_id();
  set_language_id(kLanguageKorean);
  EXPECT_EQ(LoadPairText(IDS_TEST_PAIR), L"\uD55C\uAD6D\uC5B4 \uBB38\uC7A5");
  set_language_id(kLanguageEnglish);
  EXPECT_EQ(LoadPairText(IDS_TEST_PAIR), L"English text");
  set_language_id(saved);
  EXPECT_EQ(LoadText(9999), L"") << "a missing string is empty";
}

// ---- A modal dialog ----

// A child control with its own map and PreTranslateMessage: it sees the keys first.
class FilteredEdit : public CWnd {
 public:
  std::vector<std::wstring> *order = nullptr;
  BOOL PreTranslateMessage(MSG *msg) override {
    if (msg->message == WM_CHAR && order != nullptr) order->push_back(L"edit " + std::wstring(1, wchar_t(msg->wParam)));
    return FALSE;
  }
};

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(IDD_TEST_DIALOG) {}
  std::wstring name = L"initial";
  int flag = 0;
  int radio = 0;
  CSecretText secret;
  FilteredEdit filtered;
  std::vector<std::wstring> order;
  std::atomic<int> init_calls{0};

  BOOL OnInitDialog() override {
    filtered.order = &order;
    CDialog::OnInitDialog();
    init_calls++;
    return TRUE;
  }
  void DoDataExchange(CDataExchange *dx) override {
    DDX_Text(dx, IDC_NAME, name);
    DDV_MaxChars(dx, name, 20);
    DDX_Check(dx, IDC_FLAG, flag);
    DDX_Radio(dx, IDC_RADIO1, radio);
    DDX_Control(dx, IDC_FILTERED, filtered);
    if (dx->m_bSaveAndValidate) DDX_SecretText(dx, IDC_SECRET, secret);
  }
  // The dialog swallows every 'x' typed anywhere in it, before the dialog manager sees it.
  BOOL PreTranslateMessage(MSG *msg) override {
    if (msg->message != WM_CHAR) return FALSE;
    order.push_back(L"dialog " + std::wstring(1, wchar_t(msg->wParam)));
    return msg->wParam == 'x';
  }
};

TEST(Dialog, ModalRunExchangesDataAndFiltersKeys) {
  TestDialog dialog;
  std::wstring shown_name, filtered_text;
  LRESULT limit = 0;
  v7test::RunWithRobot(
      [&](v7test::UiRobot &robot) {
        HWND hwnd = robot.WaitForDialogWithControl(IDC_NAME);
        ASSERT_NE(hwnd, nullptr);
        shown_name = robot.ItemText(hwnd, IDC_NAME);
        DWORD_PTR got = 0;
        ::SendMessageTimeoutW(::GetDlgItem(hwnd, IDC_NAME), EM_GETLIMITTEXT, 0, 0, SMTO_NORMAL, 5000, &got);
        limit = LRESULT(got);
        robot.SetItemText(hwnd, IDC_NAME, L"typed");
        robot.Click(hwnd, IDC_FLAG);
        robot.Click(hwnd, IDC_RADIO3);
        robot.SetItemText(hwnd, IDC_SECRET, L"pw");
        robot.TypeKeys(::GetDlgItem(hwnd, IDC_FILTERED), L"axb");
        ASSERT_TRUE(robot.WaitUntil([&] { return robot.ItemText(hwnd, IDC_FILTERED) == L"ab"; }));
        filtered_text = robot.ItemText(hwnd, IDC_FILTERED);
        robot.Screenshot(hwnd, "classlib_dialog");
        robot.Click(hwnd, IDOK);
        robot.WaitGone(hwnd);
      },
      [&] { EXPECT_EQ(dialog.DoModal(), IDOK); });
  EXPECT_EQ(dialog.init_calls, 1);
  EXPECT_EQ(shown_name, L"initial") << "OnInitDialog loads the members into the controls";
  EXPECT_EQ(limit, 20) << "DDV_MaxChars limits the edit";
  EXPECT_EQ(dialog.name, L"typed");
  EXPECT_EQ(dialog.flag, BST_CHECKED);
  EXPECT_EQ(dialog.radio, 2);
  EXPECT_STREQ(dialog.secret.c_str(), L"pw");
  EXPECT_EQ(filtered_text, L"ab") << "the swallowed key never reached the edit";
  const std::vector<std::wstring> order = {L"edit a", L"dialog a", L"edit x", L"dialog x", L"edit b", L"dialog b"};
  EXPECT_EQ(dialog.order, order) << "the chain runs from the target window up to the dialog";
  EXPECT_EQ(dialog.m_hWnd, nullptr) << "the object lets go of its window";
}

TEST(Dialog, CancelAndAFailedExchangeKeepOrEndTheRun) {
  TestDialog dialog;
  dialog.name = L"";
  bool still_open_after_ok = false;
  v7test::RunWithRobot(
      [&](v7test::UiRobot &robot) {
        HWND hwnd = robot.WaitForDialogWithControl(IDC_NAME);
        ASSERT_NE(hwnd, nullptr);
        // 21 characters: the exchange fails and OK leaves the dialog open.
        robot.SetItemText(hwnd, IDC_NAME, std::wstring(21, L'n'));
        robot.Click(hwnd, IDOK);
        robot.SetItemText(hwnd, IDC_FILTERED, L"sync");  // a round trip after the click was handled
        still_open_after_ok = ::IsWindowVisible(hwnd) != FALSE;
        robot.Click(hwnd, IDCANCEL);
        robot.WaitGone(hwnd);
      },
      [&] { EXPECT_EQ(dialog.DoModal(), IDCANCEL); });
  EXPECT_TRUE(still_open_after_ok);
  EXPECT_EQ(dialog.name, std::wstring(21, L'n')) << "the text was read before the check refused it";
}

// A handler that throws, in the dialog's own map and in a subclassed child's: the message is left
// unhandled and the dialog runs on (an exception through the system's frames would end the process).
class ThrowingEdit : public CWnd {
 public:
  BEGIN_MSG_MAP(ThrowingEdit)
    MESSAGE_HANDLER(WM_APP, OnApp)
  END_MSG_MAP()
  LRESULT OnApp(WPARAM, LPARAM) { throw std::runtime_error("child handler"); }
};

class ThrowingDialog : public TestDialog {
 public:
  ThrowingEdit edit;
  BEGIN_MSG_MAP(ThrowingDialog)
    MESSAGE_HANDLER(WM_APP, OnApp)
  END_MSG_MAP()
  BOOL OnInitDialog() override {
    TestDialog::OnInitDialog();
    edit.SubclassWindow(::GetDlgItem(m_hWnd, IDC_NAME));
    return TRUE;
  }
  LRESULT OnApp(WPARAM, LPARAM) { throw std::runtime_error("dialog handler"); }
};

TEST(Dialog, AHandlerThatThrowsLeavesTheDialogRunning) {
  ThrowingDialog dialog;
  bool answered_dialog = false, answered_child = false, still_open = false;
  v7test::RunWithRobot(
      [&](v7test::UiRobot &robot) {
        HWND hwnd = robot.WaitForDialogWithControl(IDC_NAME);
        ASSERT_NE(hwnd, nullptr);
        DWORD_PTR got = 1;
        answered_dialog = ::SendMessageTimeoutW(hwnd, WM_APP, 0, 0, SMTO_NORMAL, 10000, &got) != 0;
        answered_child =
            ::SendMessageTimeoutW(::GetDlgItem(hwnd, IDC_NAME), WM_APP, 0, 0, SMTO_NORMAL, 10000, &got) != 0;
        robot.SetItemText(hwnd, IDC_NAME, L"after");
        still_open = ::IsWindow(hwnd) && robot.ItemText(hwnd, IDC_NAME) == L"after";
        robot.Click(hwnd, IDCANCEL);
        robot.WaitGone(hwnd);
      },
      [&] { EXPECT_EQ(dialog.DoModal(), IDCANCEL); });
  EXPECT_TRUE(answered_dialog);
  EXPECT_TRUE(answered_child);
  EXPECT_TRUE(still_open);
}

// ---- A three-page wizard ----

constexpr UINT kPrivateMessage = WM_APP + 7;

struct WizardLog {
  std::vector<std::string> events;
};

class TestPage : public CPropertyPage {
 public:
  TestPage(UINT id, int number, WizardLog *log) : CPropertyPage(id), number_(number), log_(log) {}
  bool skip = false;       // OnSetActive returns FALSE
  int stay_on_next = 0;    // so many Next presses stay
  int refuse_cancel = 0;   // so many Cancel presses are refused
  std::wstring typed;

  BOOL OnSetActive() override {
    log_->events.push_back("set active " + std::to_string(number_) + (skip ? " (skip)" : ""));
    if (skip) return FALSE;
    GetParentSheet()->SetWizardButtons(number_ == 1 ? PSWIZB_NEXT : number_ == 2 ? PSWIZB_BACK | PSWIZB_NEXT
                                                                                  : PSWIZB_BACK | PSWIZB_FINISH);
    return CPropertyPage::OnSetActive();
  }
  LRESULT OnWizardNext() override {
    log_->events.push_back("next " + std::to_string(number_));
    if (stay_on_next > 0) {
      stay_on_next--;
      return -1;
    }
    return 0;
  }
  LRESULT OnWizardBack() override {
    log_->events.push_back("back " + std::to_string(number_));
    return 0;
  }
  BOOL OnWizardFinish() override {
    log_->events.push_back("finish " + std::to_string(number_));
    return TRUE;
  }
  BOOL OnQueryCancel() override {
    log_->events.push_back("query cancel " + std::to_string(number_));
    if (refuse_cancel > 0) {
      refuse_cancel--;
      return FALSE;
    }
    return TRUE;
  }
  void DoDataExchange(CDataExchange *dx) override { DDX_Text(dx, IDC_PAGE1_EDIT + (number_ - 1) * 100, typed); }
  BOOL PreTranslateMessage(MSG *msg) override {
    if (msg->message == WM_CHAR && msg->wParam == 'x') {
      log_->events.push_back("page " + std::to_string(number_) + " swallowed x");
      return TRUE;
    }
    return FALSE;
  }

 private:
  int number_;
  WizardLog *log_;
};

class TestSheet : public CPropertySheet {
 public:
  explicit TestSheet(WizardLog *log) : CPropertySheet(L"Class layer wizard"), log_(log) { SetWizardMode(); }
  std::atomic<int> private_messages{0};
  std::atomic<HWND> window{nullptr};

  void OnInitDialog() override {
    window = m_hWnd;
    log_->events.push_back("sheet init");
  }
  BEGIN_MSG_MAP(TestSheet)
    MESSAGE_HANDLER(kPrivateMessage, OnPrivate)
  END_MSG_MAP()
  LRESULT OnPrivate(WPARAM wparam, LPARAM) {
    log_->events.push_back("private " + std::to_string(wparam));
    private_messages++;
    return 0;
  }

 private:
  WizardLog *log_;
};

// The current page of a wizard: the visible child dialog that holds the page's edit.
bool page_shows(HWND sheet, int edit_id) {
  for (HWND child = ::GetWindow(sheet, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
    if (::IsWindowVisible(child) && ::GetDlgItem(child, edit_id) != nullptr) return true;
  }
  return false;
}

TEST(Wizard, NotificationsSkipsStaysCancelAndPrivateMessages) {
  WizardLog log;
  TestPage one(IDD_TEST_PAGE1, 1, &log), two(IDD_TEST_PAGE2, 2, &log), three(IDD_TEST_PAGE3, 3, &log);
  two.skip = true;
  one.stay_on_next = 1;
  three.refuse_cancel = 1;
  one.typed = L"first";
  TestSheet sheet(&log);
  sheet.AddPage(&one);
  sheet.AddPage(&two);
  sheet.AddPage(&three);
  INT_PTR result = 0;

  v7test::RunWithRobot(
      [&](v7test::UiRobot &robot) {
        HWND hwnd = robot.WaitForWindow([&](HWND w) { return w == sheet.window.load(); });
        ASSERT_NE(hwnd, nullptr);
        ASSERT_TRUE(robot.WaitUntil([&] { return page_shows(hwnd, IDC_PAGE1_EDIT); }));
        ::PostMessageW(hwnd, kPrivateMessage, 5, 0);
        ASSERT_TRUE(robot.WaitUntil([&] { return sheet.private_messages == 1; }));

        robot.Click(hwnd, 0x3024);  // Next: page one stays once
        robot.SetText(::GetDlgItem(hwnd, 0x3024), robot.Text(::GetDlgItem(hwnd, 0x3024)));  // round trip
        EXPECT_TRUE(page_shows(hwnd, IDC_PAGE1_EDIT));
        robot.Click(hwnd, 0x3024);  // Next: page two skips itself, page three shows
        ASSERT_TRUE(robot.WaitUntil([&] { return page_shows(hwnd, IDC_PAGE3_EDIT); }));
        HWND edit3 = nullptr;
        for (HWND child = ::GetWindow(hwnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
          if (::GetDlgItem(child, IDC_PAGE3_EDIT) != nullptr) edit3 = ::GetDlgItem(child, IDC_PAGE3_EDIT);
        }
        robot.TypeKeys(edit3, L"axb");
        ASSERT_TRUE(robot.WaitUntil([&] { return robot.Text(edit3) == L"ab"; }));
        robot.Screenshot(hwnd, "classlib_wizard");

        robot.Click(hwnd, 0x3023);  // Back: page two skips itself again, page one shows
        ASSERT_TRUE(robot.WaitUntil([&] { return page_shows(hwnd, IDC_PAGE1_EDIT); }));
        robot.Click(hwnd, 0x3024);
        ASSERT_TRUE(robot.WaitUntil([&] { return page_shows(hwnd, IDC_PAGE3_EDIT); }));
        robot.Click(hwnd, IDCANCEL);  // refused once
        robot.SetText(::GetDlgItem(hwnd, 0x3024), robot.Text(::GetDlgItem(hwnd, 0x3024)));
        EXPECT_TRUE(page_shows(hwnd, IDC_PAGE3_EDIT)) << "a refused cancel keeps the sheet";
        robot.Click(hwnd, 0x3025);  // Finish
        robot.WaitGone(hwnd);
      },
      [&] { result = sheet.DoModal(); });

  EXPECT_EQ(result, ID_WIZFINISH);
  const std::vector<std::string> expected = {
      "sheet init",       "set active 1",       "private 5",    "next 1",         "next 1",
      "set active 2 (skip)", "set active 3",    "page 3 swallowed x", "back 3",    "set active 2 (skip)",
      "set active 1",     "next 1",             "set active 2 (skip)", "set active 3", "query cancel 3",
      "finish 3"};
  EXPECT_EQ(log.events, expected);
  EXPECT_EQ(one.typed, L"first") << "the page kept what it was loaded with";
}

}  // namespace
