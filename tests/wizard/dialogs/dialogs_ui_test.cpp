// The small dialogs on real windows under Wine, in Korean and in English: the error dialog's six
// entry points (linked in and, by ordinal, from the library), the password and PIN prompts, the
// file chooser on both routes, the status dialogs, the install-page opener and the text setters.
// The UI robot types, presses and reads back; message boxes are answered through their seam;
// screenshots land in the build folder.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "media/broker_client.h"
#include "pki/errors/error_ctx.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "tests/wizard/dialogs/words_scope.h"
#include "platform/locale/system_language.h"
#include "platform/osver/os_version_query.h"
#include "platform/ui/message_box.h"
#include "tests/modules/ckapp/ckapp_test_setup.h"
#include "tests/ui/robot.h"
#include "wizard/dialogs/error_exports.h"
#include "wizard/dialogs/input_passwd_dlg.h"
#include "wizard/dialogs/input_pin_dlg.h"
#include "wizard/dialogs/open_file_dlg.h"
#include "wizard/dialogs/status_dlg.h"
#include "wizard/dialogs/text_setters.h"
#include "wizard/dialogs/web_page.h"
#include "wizard/keycrypt/key_crypt_sub.h"
#include "wizard/records/request_record.h"
#include "wizard/res/small_dialogs_ids.h"

using v7test::RunWithRobot;
using v7test::UiRobot;
using namespace v7::dialogs;

namespace {

// ---- Shared pieces ----


// "에러" in EUC-KR and UTF-8; "암호" likewise.
const char kErrorEuckr[] = "\xBF\xA1\xB7\xAF";
const char kErrorUtf8[] = "\xEC\x97\x90\xEB\x9F\xAC";
const char *setting_bytes(const char *euckr, const char *utf8) { return char_encoding_is_utf8() ? utf8 : euckr; }

std::wstring wide(const char16_t *text) { return text != nullptr ? reinterpret_cast<const wchar_t *>(text) : L""; }

// A rich edit's paragraphs end in "\r" or "\r\n" depending on how the text is read back.
std::wstring lines(std::wstring text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\r') {
      out += L'\n';
      if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Message boxes answered through the seam: what they said, and OK.
struct Boxes {
  std::mutex lock;
  std::vector<std::wstring> texts;
  std::vector<bool> had_caption;
  std::atomic<int> count{0};
};
Boxes g_boxes;

int answer_box(const char16_t *text, const char16_t *caption, unsigned) {
  std::lock_guard<std::mutex> hold(g_boxes.lock);
  g_boxes.texts.push_back(wide(text));
  g_boxes.had_caption.push_back(caption != nullptr);
  g_boxes.count++;
  return IDOK;
}

// The prompts read their edits through the test keyboard-security module, which reports here.
CKAppTestState g_ckapp;

class DialogsUi : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ckapptest::use_variant("complete", &g_ckapp); }
  static void TearDownTestSuite() { v7::keycrypt::KeyCryptSetModuleFolder(nullptr); }

  void SetUp() override {
    std::lock_guard<std::mutex> hold(g_boxes.lock);
    g_boxes.texts.clear();
    g_boxes.had_caption.clear();
    g_boxes.count = 0;
    v7::set_message_box_hook_w(answer_box);
  }
  void TearDown() override {
    v7::set_message_box_hook_w(nullptr);
    platform_set_os_version_hook(nullptr);
    broker_set_factory(nullptr);
    set_web_page_opener(nullptr);
  }
};

// ---- The error dialog ----

struct ErrorSeen {
  std::wstring caption, summary, detail, ok;
  std::string missing_glyphs;
  bool icon = false;
  int result = -1;
};

ErrorSeen run_error(const std::function<int()> &call, const std::string &shot = std::string()) {
  ErrorSeen seen;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND dialog = robot.WaitForDialogWithControl(IDC_ERROR_SUMMARY);
        ASSERT_NE(dialog, nullptr);
        seen.caption = robot.Text(dialog);
        seen.summary = robot.ItemText(dialog, IDC_ERROR_SUMMARY);
        seen.detail = robot.ItemText(dialog, IDC_ERROR_DETAIL);
        seen.ok = robot.ItemText(dialog, IDOK);
        seen.missing_glyphs = robot.MissingGlyphs(dialog);
        DWORD_PTR icon = 0;
        ::SendMessageTimeoutW(::GetDlgItem(dialog, IDC_ERROR_ICON), STM_GETICON, 0, 0, SMTO_NORMAL, 5000, &icon);
        seen.icon = icon != 0;
        if (!shot.empty()) {
          EXPECT_TRUE(robot.Screenshot(dialog, shot));
        }
        robot.Click(dialog, IDOK);
        EXPECT_TRUE(robot.WaitGone(dialog));
      },
      [&] { seen.result = call(); });
  return seen;
}

const wchar_t kTemplateSummary[] = L"에러 메시지가 없습니다.";

TEST_F(DialogsUi, ErrorExportsShowTheirTextsInBothLanguagesAndEncodings) {
  for (uint16_t language : kLanguages) {
    for (int encoding : {0, int(kCharEncodingUtf8)}) {
      WordsScope words(language, encoding);
      const bool korean = language == kLanguageKorean;
      const std::string tag = std::string(language_name(language)) + (encoding == 1 ? "_utf8" : "_euckr");
      SCOPED_TRACE(tag);
      const char *detail_bytes = setting_bytes(kErrorEuckr, kErrorUtf8);
      const char *wrong_bytes = char_encoding_is_utf8() ? kErrorEuckr : kErrorUtf8;

      ERROR_CTX ctx{};
      ASSERT_EQ(err_push(&ctx, 1000, nullptr), 0);
      ASSERT_EQ(err_add_detail(&ctx, -1, detail_bytes), 0);
      const std::wstring ctx_text = wide(err_ctx_text_w(&ctx, korean ? 0 : kErrFmtEnglish));
      EXPECT_NE(ctx_text.find(L"에러"), std::wstring::npos);
      EXPECT_NE(ctx_text.find(korean ? L"할당가능한 메모리 부족" : L"Out of Memory"), std::wstring::npos);
      ERROR_CTX empty{};
      ERROR_CTX code_only{};
      ASSERT_EQ(err_push(&code_only, 1000, nullptr), 0);
      const std::wstring code_only_text = korean ? L"할당가능한 메모리 부족 [1000] " : L"Out of Memory [1000] ";
      const std::wstring code_text = korean ? L"할당가능한 메모리 부족" : L"Out of Memory";

      const struct {
        const char *what;
        std::function<int()> call;
        std::wstring summary;
        std::wstring detail;  // "?" : some text, whatever the platform made of bytes that did not convert
        const char *shot;
      } cases[] = {
          {"100 context", [&] { return show_error_dlg(&ctx, kErrorEuckr); }, L"에러", L"\r\n" + ctx_text, "error_context"},
          {"100 context without detail", [&] { return show_error_dlg(&code_only, kErrorEuckr); }, L"에러",
           L"\r\n" + code_only_text, nullptr},
          {"100 null context", [&] { return show_error_dlg(nullptr, kErrorEuckr); }, L"에러", L"", nullptr},
          {"101 null context", [&] { return show_error_dlg_w(nullptr, L"요약"); }, L"요약", L"", nullptr},
          {"101 empty context", [&] { return show_error_dlg_w(&empty, L"요약"); }, L"요약", L"\r\n", nullptr},
          {"101 context", [&] { return show_error_dlg_w(&ctx, L"요약"); }, L"요약", L"\r\n" + ctx_text, nullptr},
          {"102 message", [&] { return show_error_dlg_with_msg(detail_bytes, kErrorEuckr); }, L"에러", L"\r\n에러",
           nullptr},
          {"102 wrong encoding", [&] { return show_error_dlg_with_msg(wrong_bytes, kErrorEuckr); }, L"에러", L"?",
           nullptr},
          {"103 empty summary", [&] { return show_error_dlg_with_msg_w(L"상세", L""); }, kTemplateSummary,
           L"\r\n상세", "error_template_text"},
          {"103 rtf stays text", [&] { return show_error_dlg_with_msg_w(L"{\\rtf1 \\b bold}", L"요약"); }, L"요약",
           L"\r\n{\\rtf1 \\b bold}", nullptr},
          {"104 code", [&] { return show_error_dlg_with_rc(1000, kErrorEuckr); }, L"에러", L"\r\n" + code_text,
           nullptr},
          {"104 null summary", [&] { return show_error_dlg_with_rc(1000, nullptr); }, kTemplateSummary,
           L"\r\n" + code_text, nullptr},
          {"105 unknown code", [&] { return show_error_dlg_with_rc_w(123456789, L"요약"); }, L"요약", L"\r\n",
           nullptr},
      };
      for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const bool shoot = c.shot != nullptr && encoding == kCharEncodingUtf8;
        const ErrorSeen seen = run_error(c.call, shoot ? std::string(c.shot) + "_" + language_name(language) : "");
        EXPECT_EQ(seen.result, IDOK);
        EXPECT_TRUE(seen.icon);
        EXPECT_EQ(seen.summary, c.summary);
        if (c.detail == L"?") {
          EXPECT_EQ(lines(seen.detail).substr(0, 1), L"\n");
          EXPECT_GT(seen.detail.size(), 2u);
        } else {
          EXPECT_EQ(lines(seen.detail), lines(c.detail));
          EXPECT_EQ(seen.missing_glyphs, "");
        }
        EXPECT_EQ(seen.caption, korean ? L"velmora" : L"velmora API Error");
        EXPECT_EQ(seen.ok, korean ? L"확   인" : L"OK");
      }
      err_ctx_clear(&ctx);
      err_ctx_clear(&empty);
      err_ctx_clear(&code_only);
    }
  }
}

TEST_F(DialogsUi, LongDetailIsCutOnACharacterBoundary) {
  WordsScope words(kLanguageEnglish, kCharEncodingUtf8);
  std::wstring detail(2045, L'w');
  detail += L"\U0001F600tail";
  const ErrorSeen seen = run_error([&] { return show_error_dlg_with_msg_w(detail.c_str(), L"long"); });
  const std::wstring shown = lines(seen.detail);
  EXPECT_EQ(shown, L"\n" + std::wstring(2045, L'w')) << "the pair that did not fit whole is left out";
}

TEST_F(DialogsUi, SecureDiskErrorAndErrorByCode) {
  for (uint16_t language : kLanguages) {
    WordsScope words(language, kCharEncodingUtf8);
    const bool korean = language == kLanguageKorean;
    ERROR_CTX ctx{};
    ASSERT_EQ(err_push(&ctx, 1000, nullptr), 0);
    const ErrorSeen seen = run_error([&] { return ShowSecureDiskError(&ctx); });
    EXPECT_EQ(seen.summary, korean ? L"안전디스크 오류" : L"Secure Disk Error");
    err_ctx_clear(&ctx);

    g_boxes.count = 0;
    g_boxes.texts.clear();
    g_boxes.had_caption.clear();
    ShowErrorByCode(1000);
    ASSERT_EQ(g_boxes.count.load(), 1);
    EXPECT_EQ(g_boxes.texts[0], korean ? L"할당가능한 메모리 부족 [1000] " : L"Out of Memory [1000] ");
    EXPECT_FALSE(g_boxes.had_caption[0]) << "the box has no caption of its own";
  }
}

TEST_F(DialogsUi, LibraryExportsTheErrorDialogByOrdinal) {
  std::wstring path = L"" V7RELAY_DLL_PATH;
  for (wchar_t &c : path)
    if (c == L'/') c = L'\\';
  HMODULE library = ::LoadLibraryW(path.c_str());
  ASSERT_NE(library, nullptr) << "load " << ::GetLastError();
  const char *names[] = {"show_error_dlg",         "show_error_dlg_w",        "show_error_dlg_with_msg",
                         "show_error_dlg_with_msg_w", "show_error_dlg_with_rc", "show_error_dlg_with_rc_w"};
  for (int i = 0; i < 6; ++i) {
    FARPROC by_ordinal = ::GetProcAddress(library, MAKEINTRESOURCEA(100 + i));
    EXPECT_NE(by_ordinal, nullptr) << 100 + i;
    EXPECT_EQ(by_ordinal, ::GetProcAddress(library, names[i])) << names[i];
  }
  using ShowWithMsgW = int(__stdcall *)(const wchar_t *, const wchar_t *);
  auto show = reinterpret_cast<ShowWithMsgW>(reinterpret_cast<void *>(::GetProcAddress(library, MAKEINTRESOURCEA(103))));
  ASSERT_NE(show, nullptr);
  // The library's words are its own: the language is the system's until a caller sets it.
  const bool korean = platform_system_primary_language() == kLanguageKorean;
  const ErrorSeen seen = run_error([&] { return show(L"상세 detail", L"요약 summary"); }, "error_from_library");
  EXPECT_EQ(seen.result, IDOK);
  EXPECT_EQ(seen.summary, L"요약 summary");
  EXPECT_EQ(lines(seen.detail), L"\n상세 detail");
  EXPECT_EQ(seen.caption, korean ? L"velmora" : L"velmora API Error");
  ::FreeLibrary(library);
}

// ---- The password and PIN prompts ----

struct PromptTexts {
  std::wstring caption, label, ok, cancel;
};

struct PromptStep {
  enum Kind { kType, kOk, kCancel } kind;
  std::wstring text;
};

// Runs ask(), reading the prompt's texts and then acting the steps; after an OK on an empty edit
// the prompt must stay and have said so in a box.
PromptTexts run_prompt(int edit_id, int label_id, const std::vector<PromptStep> &steps, const std::function<void()> &ask,
                       const std::string &shot) {
  PromptTexts texts;
  g_ckapp.utf8 = char_encoding_is_utf8() ? 1 : 0;
  const LONG reads = g_ckapp.event_count;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND dialog = robot.WaitForDialogWithControl(edit_id);
        ASSERT_NE(dialog, nullptr);
        texts.caption = robot.Text(dialog);
        texts.label = robot.ItemText(dialog, label_id);
        texts.ok = robot.ItemText(dialog, IDOK);
        texts.cancel = robot.ItemText(dialog, IDCANCEL);
        EXPECT_EQ(robot.MissingGlyphs(dialog), "");
        for (const PromptStep &step : steps) {
          if (step.kind == PromptStep::kType) {
            robot.SetItemText(dialog, edit_id, step.text);
            if (!shot.empty()) {
              EXPECT_TRUE(robot.Screenshot(dialog, shot));
            }
          } else if (step.kind == PromptStep::kCancel) {
            robot.Click(dialog, IDCANCEL);
          } else {
            const int boxes = g_boxes.count.load();
            const bool empty = robot.ItemText(dialog, edit_id).empty();
            robot.Click(dialog, IDOK);
            if (empty) {
              EXPECT_TRUE(robot.WaitUntil([&] { return g_boxes.count.load() == boxes + 1; }));
              EXPECT_TRUE(::IsWindowVisible(dialog)) << "an empty entry never ends the prompt";
            }
          }
        }
        EXPECT_TRUE(robot.WaitGone(dialog));
      },
      ask);
  EXPECT_EQ(g_ckapp.subclassed, 0) << "the prompt's end gives the edit back";
  EXPECT_EQ(g_ckapp.bad_calls, 0);
  EXPECT_GT(g_ckapp.event_count, reads) << "the edit was protected and read through the module";
  return texts;
}

struct PromptCase {
  std::vector<PromptStep> steps;
  int rc;
  std::string out;
};

// Each case on a fresh prompt: the result code, the copied text, and a buffer wiped whole on
// every failure.
void check_prompt_cases(int edit_id, int label_id, size_t out_size, int (*ask)(char *),
                        const std::vector<PromptCase> &cases) {
  for (const PromptCase &c : cases) {
    SCOPED_TRACE(c.rc);
    std::vector<char> out(out_size, 'x');
    int rc = -2;
    run_prompt(edit_id, label_id, c.steps, [&] { rc = ask(out.data()); }, "");
    EXPECT_EQ(rc, c.rc);
    EXPECT_EQ(std::string(out.data()), c.out);
    if (rc != 0) {
      EXPECT_EQ(std::string(out.data(), out_size), std::string(out_size, '\0')) << "wiped whole";
    }
  }
}

// What one prompt shows in Korean and in English, and what it hands back for a typed text.
struct PromptLanguageCase {
  int edit_id, label_id;
  size_t out_size;
  int (*ask)(char *);
  int encoding;
  std::wstring typed;
  std::string out;
  PromptTexts korean, english;
  std::wstring empty_box_korean, empty_box_english;
  const char *shot;
};

// OK on the empty edit (a box, the prompt stays), then the text and OK, in both languages.
void check_prompt_languages(const PromptLanguageCase &c) {
  for (uint16_t language : kLanguages) {
    WordsScope words(language, c.encoding);
    const bool korean = language == kLanguageKorean;
    SCOPED_TRACE(language_name(language));
    std::vector<char> out(c.out_size, 'x');
    int rc = -2;
    g_boxes.texts.clear();
    g_boxes.count = 0;
    const PromptTexts texts = run_prompt(c.edit_id, c.label_id,
                                         {{PromptStep::kOk, L""}, {PromptStep::kType, c.typed}, {PromptStep::kOk, L""}},
                                         [&] { rc = c.ask(out.data()); }, std::string(c.shot) + language_name(language));
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(std::string(out.data()), c.out);
    const PromptTexts &expected = korean ? c.korean : c.english;
    EXPECT_EQ(texts.caption, expected.caption);
    EXPECT_EQ(texts.label, expected.label);
    EXPECT_EQ(texts.ok, expected.ok);
    EXPECT_EQ(texts.cancel, expected.cancel);
    ASSERT_EQ(g_boxes.texts.size(), 1u);
    EXPECT_EQ(g_boxes.texts[0], korean ? c.empty_box_korean : c.empty_box_english);
  }
}

TEST_F(DialogsUi, PasswordPromptInBothLanguages) {
  // The password comes back in the setting's encoding (UTF-8 here).
  check_prompt_languages({IDC_PASSWD_EDIT, IDC_PASSWD_LABEL, 128, AskPkcs12Password, kCharEncodingUtf8, L"암호pw",
                          "\xEC\x95\x94\xED\x98\xB8pw",
                          {L"인증서 암호 입력", L"인증서 암호를 입력하십시오 ", L"확   인", L"취   소"},
                          {L"Certificate password", L"Enter the password of the certificate", L"OK", L"Cancel"},
                          L"인증서 암호를 입력해주세요.", L"Enter the certificate password.", "password_"});

  WordsScope words(kLanguageKorean, 0);
  check_prompt_cases(IDC_PASSWD_EDIT, IDC_PASSWD_LABEL, 128, AskPkcs12Password,
                     {
                         {{{PromptStep::kType, L"secret"}, {PromptStep::kCancel, L""}}, v7::kErrUserCancelled, ""},
                         {{{PromptStep::kType, std::wstring(127, L'p')}, {PromptStep::kOk, L""}}, 0, std::string(127, 'p')},
                         {{{PromptStep::kType, std::wstring(128, L'p')}, {PromptStep::kOk, L""}}, v7::kErrInvalidParameter, ""},
                         {{{PromptStep::kType, std::wstring(200, L'p')}, {PromptStep::kOk, L""}}, v7::kErrInvalidParameter, ""},
                         // EUC-KR: two bytes a syllable, so 64 of them do not fit 128 bytes.
                         {{{PromptStep::kType, std::wstring(64, L'가')}, {PromptStep::kOk, L""}}, v7::kErrInvalidParameter, ""},
                         {{{PromptStep::kType, L"암호"}, {PromptStep::kOk, L""}}, 0, "\xBE\xCF\xC8\xA3"},
                     });
}

TEST_F(DialogsUi, PromptsRefuseANullBufferWithoutADialog) {
  EXPECT_EQ(AskPkcs12Password(nullptr), v7::kErrInvalidParameter);
  EXPECT_EQ(AskPin(nullptr), v7::kErrInvalidParameter);
  for (HWND window : v7test::ThreadWindows(::GetCurrentThreadId())) {
    EXPECT_NE(v7test::ClassName(window), L"#32770") << "no prompt was opened";
  }
}

TEST_F(DialogsUi, PinPromptInBothLanguages) {
  check_prompt_languages({IDC_PIN_EDIT, IDC_PIN_LABEL, 64, AskPin, 0, L"1234", "1234",
                          {L"접근비밀번호 입력", L"사용할 장치의 접근비밀번호를 입력하십시오", L"확   인", L"취   소"},
                          {L"PIN number", L"Enter the PIN.", L"OK", L"Cancel"}, L"접근비밀번호를 입력해주세요.",
                          L"Enter the PIN.", "pin_"});

  WordsScope words(kLanguageEnglish, 0);
  check_prompt_cases(IDC_PIN_EDIT, IDC_PIN_LABEL, 64, AskPin,
                     {
                         {{{PromptStep::kType, L"1234"}, {PromptStep::kCancel, L""}}, v7::kErrUserCancelled, ""},
                         {{{PromptStep::kType, std::wstring(63, L'9')}, {PromptStep::kOk, L""}}, 0, std::string(63, '9')},
                         {{{PromptStep::kType, std::wstring(64, L'9')}, {PromptStep::kOk, L""}}, v7::kErrInsufficientBuffer, ""},
                         {{{PromptStep::kType, std::wstring(128, L'9')}, {PromptStep::kOk, L""}}, v7::kErrInsufficientBuffer, ""},
                     });
}

// ---- The file chooser ----

bool answer_xp(OsVersionRecord *out) {
  *out = OsVersionRecord{2, 5, 1};
  return true;
}
bool answer_win7(OsVersionRecord *out) {
  *out = OsVersionRecord{2, 6, 1};
  return true;
}

// The explorer-style dialog's file name: an edit inside the combo box cmb13.
const int kFileNameBox = 0x47C;
BOOL CALLBACK find_file_name_edit(HWND child, LPARAM out) {
  if (::GetDlgCtrlID(child) != kFileNameBox || v7test::ClassName(child) != L"Edit") return TRUE;
  *reinterpret_cast<HWND *>(out) = child;
  return FALSE;
}
HWND file_name_edit(HWND dialog) {
  HWND found = nullptr;
  ::EnumChildWindows(dialog, find_file_name_edit, LPARAM(&found));
  return found;
}

TEST_F(DialogsUi, FileChooserBeforeVistaIsTheCommonDialog) {
  platform_set_os_version_hook(answer_xp);
  wchar_t folder[MAX_PATH];
  ASSERT_GT(::GetTempPathW(MAX_PATH, folder), 0u);
  const std::wstring file = std::wstring(folder) + L"v7_dialogs_test.p12";
  HANDLE handle = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  ::CloseHandle(handle);

  for (bool cancel : {false, true}) {
    WordsScope words(kLanguageEnglish, kCharEncodingUtf8);
    char out[261];
    std::memset(out, 'x', sizeof out);
    int rc = -2;
    RunWithRobot(
        [&](UiRobot &robot) {
          HWND dialog = robot.WaitForDialogWithControl(kFileNameBox);
          ASSERT_NE(dialog, nullptr);
          if (cancel) {
            robot.Click(dialog, IDCANCEL);
          } else {
            robot.SetText(file_name_edit(dialog), file);
            EXPECT_TRUE(robot.Screenshot(dialog, "open_file_common_dialog"));
            robot.Click(dialog, IDOK);
          }
          EXPECT_TRUE(robot.WaitGone(dialog));
        },
        [&] { rc = ChoosePkcs12File(out); });
    if (cancel) {
      EXPECT_EQ(rc, v7::kErrUserCancelled);
      EXPECT_STREQ(out, "");
    } else {
      EXPECT_EQ(rc, 0);
      std::string expected;
      for (wchar_t c : file) expected += char(c);
      EXPECT_STREQ(out, expected.c_str());
    }
  }
  ::DeleteFileW(file.c_str());
  EXPECT_EQ(ChoosePkcs12File(nullptr), v7::kErrInvalidParameter);
}

// A broker that answers the file choice with a fixed path or a cancel.
class FakeBroker : public BrokerConnection {
 public:
  static const char16_t *answer;
  static int32_t result;
  int32_t make_dir(const uint8_t *, size_t) override { return kBrokerResultOk; }
  int32_t write_file(const uint8_t *, size_t, const uint8_t *, size_t, void *) override { return kBrokerResultOk; }
  int32_t browse_file(char16_t **chosen, const uint8_t *, size_t folder_len, void *) override {
    *chosen = nullptr;
    if (folder_len == 0) return -1;
    if (result == kBrokerResultOk && answer != nullptr) {
      const size_t n = std::char_traits<char16_t>::length(answer) + 1;
      *chosen = static_cast<char16_t *>(std::malloc(n * sizeof(char16_t)));
      std::memcpy(*chosen, answer, n * sizeof(char16_t));
    }
    return result;
  }
  void release() override {}
};
const char16_t *FakeBroker::answer = nullptr;
int32_t FakeBroker::result = kBrokerResultOk;
FakeBroker g_broker;

int32_t make_fake_broker(void *, BrokerConnection **out, uint32_t *) {
  *out = &g_broker;
  return 0;
}

TEST_F(DialogsUi, FileChooserFromVistaOnIsTheBrokers) {
  platform_set_os_version_hook(answer_win7);
  broker_set_factory(make_fake_broker);
  const std::u16string long_path = u"C:\\" + std::u16string(300, u'f');
  const struct {
    int32_t broker_result;
    const char16_t *path;
    int encoding;
    int rc;
    std::string out;
  } cases[] = {
      {kBrokerResultOk, u"C:\\인증서\\a.p12", 1, 0, "C:\\\xEC\x9D\xB8\xEC\xA6\x9D\xEC\x84\x9C\\a.p12"},
      {kBrokerResultOk, u"C:\\인증서\\a.p12", 0, 0, "C:\\\xC0\xCE\xC1\xF5\xBC\xAD\\a.p12"},
      {kBrokerResultCancelled, nullptr, 1, v7::kErrUserCancelled, ""},
      {kBrokerResultOk, long_path.c_str(), 1, v7::kErrFilePathTooLong, ""},
  };
  for (const auto &c : cases) {
    WordsScope words(kLanguageKorean, c.encoding);
    FakeBroker::answer = c.path;
    FakeBroker::result = c.broker_result;
    char out[261];
    EXPECT_EQ(ChoosePkcs12File(out), c.rc);
    EXPECT_EQ(std::string(out), c.out);
  }
}

// ---- The status dialogs ----

// Shows the dialog, checks that it painted before the thread pumped a single message (the work
// it stands for would hold the loop), then lets the robot look at it.
void show_status(CStatusDlg &dialog, int text_id, const std::wstring &expected, const std::string &shot) {
  HANDLE seen = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND window = robot.WaitForDialogWithControl(text_id);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(::IsWindowVisible(window));
        EXPECT_EQ(robot.ItemText(window, text_id), expected);
        EXPECT_TRUE(robot.Screenshot(window, shot));
        ::SetEvent(seen);
      },
      [&] {
        ASSERT_TRUE(dialog.Show());
        EXPECT_FALSE(::GetUpdateRect(dialog, nullptr, FALSE)) << "painted at once";
        if (HWND picture = dialog.Item(IDC_STATUS3_PICTURE)) {
          EXPECT_NE(::SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "the picture shows its bitmap";
        }
        EXPECT_FALSE(::GetUpdateRect(dialog.Item(text_id), nullptr, FALSE)) << "its text too";
        while (::MsgWaitForMultipleObjects(1, &seen, FALSE, 20000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
          MSG msg;
          while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
          }
        }
        dialog.DestroyWindow();
      });
  ::CloseHandle(seen);
}

TEST_F(DialogsUi, StatusDialogsPaintAtOnceInBothLanguages) {
  for (uint16_t language : kLanguages) {
    WordsScope words(language, kCharEncodingUtf8);
    const bool korean = language == kLanguageKorean;
    {
      CStatus2Dlg dialog;
      show_status(dialog, IDC_STATUS2_TEXT, korean ? L"인증서를 저장하고 있습니다." : L"The certificate is being stored.",
                  std::string("status2_") + language_name(language));
      EXPECT_EQ(dialog.m_hWnd, nullptr);
    }
    {
      CStatus3Dlg dialog;
      const std::wstring text = korean ? L"인증서를 찾고 있습니다." : L"Looking for certificates.";
      dialog.SetStatusText(text);
      show_status(dialog, IDC_STATUS3_TEXT, text, std::string("status3_") + language_name(language));
      EXPECT_EQ(dialog.m_hWnd, nullptr);
    }
  }
}

// ---- Install pages ----

std::vector<std::wstring> g_opened;
int record_page(const char16_t *address) {
  g_opened.push_back(wide(address));
  return 0;
}

TEST_F(DialogsUi, InstallPagesOpenOnlyWebAddressesThroughTheOpener) {
  set_web_page_opener(record_page);
  g_opened.clear();
  static RelayRequestRecord request;
  std::memset(&request, 0, sizeof request);
  std::strcpy(request.phone_install_url, "http://phone.example/setup");
  std::strcpy(request.usbkey_install_url, "javascript:alert(1)");
  std::strcpy(request.secure_disk.install_url, "https://disk.example/a b");
  EXPECT_EQ(open_web_page(&request, kInstallPagePhone), 0);
  EXPECT_EQ(open_web_page(&request, kInstallPageUsbKey), v7::kErrInvalidParameter);
  EXPECT_EQ(open_web_page(&request, kInstallPageSecureDisk), 0);
  EXPECT_EQ(open_web_page(&request, 64), v7::kErrInvalidParameter);
  EXPECT_EQ(open_web_page(nullptr, kInstallPagePhone), v7::kErrInvalidParameter);
  const std::vector<std::wstring> expected = {L"http://phone.example/setup", L"https://disk.example/a%20b"};
  EXPECT_EQ(g_opened, expected);
}

// ---- Text setters ----

TEST_F(DialogsUi, SettersShowNarrowTextsInTheirOwnEncoding) {
  CStatus2Dlg dialog;
  ASSERT_TRUE(dialog.Show());
  HWND list = ::CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | LVS_REPORT, 0, 0, 100, 50, dialog, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(list, nullptr);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  column.cx = 80;
  ::SendMessageW(list, LVM_INSERTCOLUMNW, 0, LPARAM(&column));
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.pszText = const_cast<wchar_t *>(L"-");
  ::SendMessageW(list, LVM_INSERTITEMW, 0, LPARAM(&item));
  HMENU menu = ::CreatePopupMenu();

  const struct {
    int encoding;
    const char *text;
    std::wstring shown;  // "?": whatever the platform makes of bytes that did not convert
  } cases[] = {
      {kCharEncodingUtf8, kErrorUtf8, L"에러"},
      {0, kErrorEuckr, L"에러"},
      {kCharEncodingUtf8, "plain", L"plain"},
      {kCharEncodingUtf8, kErrorEuckr, L"?"},
  };
  UINT menu_id = 100;
  for (const auto &c : cases) {
    WordsScope words(kLanguageKorean, c.encoding);
    SCOPED_TRACE(c.text);
    wchar_t got[64] = {0};
    SetDlgItemTextSetting(dialog, IDC_STATUS2_TEXT, c.text);
    ::GetDlgItemTextW(dialog, IDC_STATUS2_TEXT, got, 64);
    const std::wstring item_text = got;
    SetListViewItemTextSetting(list, 0, 0, c.text);
    LVITEMW read{};
    read.pszText = got;
    read.cchTextMax = 64;
    ::SendMessageW(list, LVM_GETITEMTEXTW, 0, LPARAM(&read));
    const std::wstring list_text = got;
    AppendMenuSetting(menu, MF_STRING, menu_id, c.text);
    ::GetMenuStringW(menu, menu_id++, got, 64, MF_BYCOMMAND);
    const std::wstring menu_text = got;
    LVITEMW whole{};
    whole.iItem = 0;
    SetListViewItemSetting(list, whole, c.text);
    read.pszText = got;
    ::SendMessageW(list, LVM_GETITEMTEXTW, 0, LPARAM(&read));
    EXPECT_EQ(std::wstring(got), list_text) << "a whole item takes the same text";
    if (c.shown == L"?") {
      EXPECT_FALSE(item_text.empty());
      EXPECT_EQ(item_text, list_text);
      EXPECT_EQ(item_text, menu_text);
    } else {
      EXPECT_EQ(item_text, c.shown);
      EXPECT_EQ(list_text, c.shown);
      EXPECT_EQ(menu_text, c.shown);
    }
  }
  {
    WordsScope words(kLanguageKorean, kCharEncodingUtf8);
    SetWindowTitleEuckr(dialog, kErrorEuckr);
    wchar_t title[16] = {0};
    ::GetWindowTextW(dialog, title, 16);
    EXPECT_STREQ(title, L"에러") << "titles are EUC-KR whatever the setting";
    MessageBoxSetting(kErrorUtf8);
    MessageBoxEuckr(kErrorEuckr);
    ASSERT_EQ(g_boxes.texts.size(), 2u);
    EXPECT_EQ(g_boxes.texts[0], L"에러");
    EXPECT_EQ(g_boxes.texts[1], L"에러");
  }
  {
    // The viewer's rich edit: the setting's narrow text as plain text, RTF markup included.
    ASSERT_TRUE(EnsureRichEdit());
    HWND rich = ::CreateWindowExW(0, L"RichEdit20W", L"", WS_CHILD | ES_MULTILINE, 0, 0, 100, 50, dialog, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(rich, nullptr);
    const struct {
      int encoding;
      const char *text;
      std::wstring shown;
    } rich_cases[] = {
        {kCharEncodingUtf8, kErrorUtf8, L"에러"},
        {0, kErrorEuckr, L"에러"},
        {kCharEncodingUtf8, "{\\rtf1\\ansi {\\b bold}}", L"{\\rtf1\\ansi {\\b bold}}"},
    };
    for (const auto &c : rich_cases) {
      WordsScope words(kLanguageKorean, c.encoding);
      EXPECT_TRUE(SetRichEditSetting(rich, c.text));
      EXPECT_EQ(GetRichEditText(rich), c.shown);
    }
  }
  ::DestroyMenu(menu);
  dialog.DestroyWindow();
}

}  // namespace
