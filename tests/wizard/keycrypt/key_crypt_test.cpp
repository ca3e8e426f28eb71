// The keyboard-security wrapper against our own CKApp.dll under Wine: the policy table over a
// complete module, one that lacks an entry point and none at all; use counts and unloading; two
// threads; suspend and resume; the masking module, which proves that reads go through the wrapper;
// reads that would be cut; and dialogs whose protected edits outlive the module's last context.

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/classlib/dialog.h"
#include "platform/classlib/message_map.h"
#include "platform/errors/error_codes.h"
#include "platform/locale/process_words.h"
#include "tests/modules/ckapp/ckapp_test_state.h"
#include "tests/wizard/keycrypt/key_crypt_test_ids.h"
#include "wizard/keycrypt/internal.h"
#include "wizard/keycrypt/key_crypt.h"

using namespace v7::keycrypt;

namespace {

CKAppTestState g_state;

std::wstring variant_folder(const char *variant) { return ckapp_variant_folder(variant); }

bool module_loaded() { return ::GetModuleHandleW(L"CKApp.dll") != nullptr; }

int events(LONG kind, DWORD flag = DWORD(-1)) {
  int count = 0;
  LONG total = g_state.event_count < LONG(CKAppTestState::kMaxEvents) ? g_state.event_count : LONG(CKAppTestState::kMaxEvents);
  for (LONG i = 0; i < total; ++i) {
    const CKAppTestEvent &e = g_state.events[i];
    if (e.kind == kind && (flag == DWORD(-1) || e.flag == flag)) ++count;
  }
  return count;
}

size_t active_windows() {
  KeyCryptGlobals &g = keycrypt_globals();
  CriticalSectionLock lock(g.section_a);
  return g.active.size();
}

class KeyCryptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(module_loaded()) << "an earlier test left the module loaded";
    std::memset(&g_state, 0, sizeof g_state);
    g_state.utf8 = 1;
    char address[32];
    std::snprintf(address, sizeof address, "%llx", static_cast<unsigned long long>(uintptr_t(&g_state)));
    ::SetEnvironmentVariableA(CKAPP_TEST_STATE_VARIABLE, address);
    set_char_encoding_mode(1);
    UseVariant("complete");
  }
  void TearDown() override {
    for (HWND edit : edits_) {
      if (::IsWindow(edit)) ::DestroyWindow(edit);
    }
    EXPECT_FALSE(module_loaded());
    EXPECT_EQ(g_state.subclassed, 0);
    EXPECT_EQ(g_state.bad_calls, 0);
    KeyCryptSetModuleFolder(nullptr);
    set_char_encoding_mode(0);
  }

  static void UseVariant(const char *variant) { KeyCryptSetModuleFolder(variant_folder(variant).c_str()); }

  HWND NewEdit(const wchar_t *text) {
    HWND edit = ::CreateWindowExW(0, L"EDIT", text, WS_POPUP | ES_AUTOHSCROLL, 0, 0, 200, 24, nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(edit, EM_SETLIMITTEXT, 1000, 0);
    ::SetWindowTextW(edit, text);
    edits_.push_back(edit);
    return edit;
  }

  std::vector<HWND> edits_;
};

TEST_F(KeyCryptTest, ModulePathIsFullAndSystemFolderByDefault) {
  KeyCryptSetModuleFolder(nullptr);
  wchar_t system[MAX_PATH];
  UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
  EXPECT_EQ(KeyCryptModulePath(), std::wstring(system, n) + L"\\CKApp.dll");
  UseVariant("complete");
  EXPECT_EQ(KeyCryptModulePath(), variant_folder("complete") + L"\\CKApp.dll");
}

// Policy x module -> Init's result, the flag, and what a read gives.
TEST_F(KeyCryptTest, PolicyTable) {
  enum Read { kThroughModule, kPlainText, kEmpty };
  const struct {
    const wchar_t *policy;
    const char *variant;
    int init;
    int32_t flag;
    Read read;
  } cases[] = {
      {L"MUST_USE", "complete", 0, 0, kThroughModule},
      {L"MUST_USE", "missing_export", -1, 1, kEmpty},
      {L"MUST_USE", "absent", -1, 1, kEmpty},
      {L"must_not_use", "complete", 0, 0, kPlainText},
      {L"MUST_NOT_USE", "missing_export", 0, 0, kPlainText},
      {L"MUST_NOT_USE", "absent", 0, 0, kPlainText},
      {L"TRY_USING", "complete", 0, 0, kThroughModule},
      {L"TRY_USING", "missing_export", 0, 0, kPlainText},
      {L"Try_Using", "absent", 0, 0, kPlainText},
      {L"SOMETIMES", "complete", 0, 0, kThroughModule},
      {L"SOMETIMES", "missing_export", -1, 1, kEmpty},
      {L"SOMETIMES", "absent", -1, 1, kEmpty},
  };
  HWND edit = NewEdit(L"pass word1");
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.variant) + " " + std::to_string(&c - cases));
    std::memset(&g_state, 0, sizeof g_state);
    g_state.utf8 = 1;
    UseVariant(c.variant);
    {
      CKeyCrypt keycrypt;
      keycrypt.SetPolicy(c.policy);
      keycrypt.Prepare(L"");
      EXPECT_EQ(keycrypt.Init(), c.init);
      EXPECT_EQ(KeyCryptNotReadyFlag(L"SOFO_V1").load(), c.flag);
      EXPECT_EQ(module_loaded(), c.read == kThroughModule);
      keycrypt.Protect(edit);
      char narrow[kKeyCryptNarrowSize];
      std::memset(narrow, 'x', sizeof narrow);
      EXPECT_EQ(keycrypt.GetTextA(narrow, edit), 0);
      std::wstring text = keycrypt.GetText(edit);
      EXPECT_EQ(text, c.read == kEmpty ? L"" : L"pass word1");
      EXPECT_STREQ(narrow, c.read == kEmpty ? "" : "pass word1");
      EXPECT_EQ(events(kCKAppEventRead), c.read == kThroughModule ? 2 : 0);
      EXPECT_EQ(g_state.subclassed, c.read == kThroughModule ? 1 : 0);
      keycrypt.Term();
      EXPECT_FALSE(module_loaded());
      EXPECT_EQ(g_state.subclassed, 0);
      EXPECT_EQ(g_state.loads, g_state.unloads);
      EXPECT_EQ(g_state.loads, (std::wstring(c.policy) == L"MUST_NOT_USE" || std::wstring(c.policy) == L"must_not_use" ||
                                std::string(c.variant) == "absent")
                                   ? 0
                                   : 1);
      EXPECT_EQ(active_windows(), 0u);
    }
  }
}

TEST_F(KeyCryptTest, OtherModuleWordIsNeverReady) {
  HWND edit = NewEdit(L"abc");
  CKeyCrypt keycrypt;
  keycrypt.SetModuleWord(L"OTHER_V2");
  EXPECT_EQ(keycrypt.Init(), -1);
  EXPECT_EQ(KeyCryptNotReadyFlag(L"OTHER_V2").load(), 1);
  EXPECT_FALSE(module_loaded());
  keycrypt.Protect(edit);
  EXPECT_EQ(keycrypt.GetText(edit), L"");
  EXPECT_EQ(keycrypt.GetLoadFailureText().rfind(L"can not be loaded.", 0) == 0 ||
                keycrypt.GetLoadFailureText().rfind(L"을 로딩할", 0) == 0,
            true);
  keycrypt.Term();
  // Prepare brings the module word back.
  keycrypt.Prepare(L"");
  EXPECT_EQ(keycrypt.Init(), 0);
  EXPECT_EQ(keycrypt.GetText(edit), L"") << "an edit the module does not protect gives nothing";
  keycrypt.Protect(edit);
  EXPECT_EQ(keycrypt.GetText(edit), L"abc");
  keycrypt.Term();
}

TEST_F(KeyCryptTest, LoadFailureTextFollowsTheLanguageAtConstruction) {
  uint16_t saved = language_id();
  set_language_id(kLanguageKorean);
  CKeyCrypt korean;
  set_language_id(kLanguageEnglish);
  CKeyCrypt english;
  set_language_id(saved);
  EXPECT_EQ(korean.GetLoadFailureText().substr(0, 16), L"CKApp.dll을 로딩할 수");
  EXPECT_EQ(english.GetLoadFailureText().substr(0, 28), L"CKApp.dll can not be loaded.");
}

TEST_F(KeyCryptTest, ProbeTriesAndLeavesNothingLoaded) {
  UseVariant("absent");
  CKeyCrypt keycrypt;
  EXPECT_EQ(keycrypt.Init(), -1);
  EXPECT_FALSE(keycrypt.Probe());
  UseVariant("complete");
  EXPECT_TRUE(keycrypt.Probe());
  EXPECT_FALSE(module_loaded());
  EXPECT_EQ(events(kCKAppEventInit), 1);
  EXPECT_EQ(events(kCKAppEventExit), 1);
  EXPECT_TRUE(keycrypt.Probe());  // ready: nothing more is tried
  EXPECT_EQ(events(kCKAppEventInit), 1);
}

// The last Term of the thread ends its context (the module gives its subclasses back) and only
// then unloads the module; the edits it protected live on and work.
TEST_F(KeyCryptTest, UseCountsAndUnloading) {
  HWND first = NewEdit(L"first"), second = NewEdit(L"second");
  CKeyCrypt a, b;
  ASSERT_EQ(a.Init(), 0);
  ASSERT_EQ(b.Init(), 0);
  EXPECT_EQ(events(kCKAppEventInit), 1);
  EXPECT_EQ(events(kCKAppEventFlag, kCKAppFlagThread), 1);
  a.Protect(first);
  b.Protect(second);
  b.Protect(second);
  EXPECT_EQ(g_state.subclassed, 2);
  EXPECT_EQ(active_windows(), 2u);

  a.Term();
  EXPECT_TRUE(module_loaded());
  EXPECT_EQ(events(kCKAppEventExit), 0);
  EXPECT_EQ(b.GetText(second), L"second");

  b.Term();
  EXPECT_EQ(events(kCKAppEventExit), 1);
  EXPECT_EQ(events(kCKAppEventRelease), 2);
  EXPECT_EQ(g_state.subclassed, 0);
  EXPECT_FALSE(module_loaded());
  EXPECT_EQ(g_state.unloads, 1);
  EXPECT_EQ(active_windows(), 0u);

  // A subclass left behind would call into the unmapped module here.
  ::SetWindowTextW(first, L"still alive");
  wchar_t text[32] = {};
  ::GetWindowTextW(first, text, 32);
  EXPECT_STREQ(text, L"still alive");
  ::SendMessageW(second, WM_CHAR, L'x', 0);
  EXPECT_EQ(::SendMessageA(second, kCKAppReadMessage, kCKAppBlockSize, 0), 0);
  EXPECT_TRUE(::DestroyWindow(first));
  EXPECT_TRUE(::DestroyWindow(second));
}

TEST_F(KeyCryptTest, SecondInitAndForgottenTermLeakNothing) {
  {
    CKeyCrypt keycrypt;
    ASSERT_EQ(keycrypt.Init(), 0);
    ASSERT_EQ(keycrypt.Init(), 0);
    ASSERT_EQ(keycrypt.Init(), 0);
    EXPECT_EQ(events(kCKAppEventInit), 3);
    EXPECT_EQ(events(kCKAppEventExit), 2);
    keycrypt.Term();
    EXPECT_FALSE(module_loaded());
  }
  {
    CKeyCrypt keycrypt;
    ASSERT_EQ(keycrypt.Init(), 0);
    keycrypt.Protect(NewEdit(L"x"));
  }  // the owner went without Term
  EXPECT_FALSE(module_loaded());
}

// A module that keeps its subclass after its context has ended is not unmapped under the edit; it
// goes once the edit is gone.
TEST_F(KeyCryptTest, ModuleStaysWhileItStillSubclassesAnEdit) {
  UseVariant("sticky");
  HWND edit = NewEdit(L"held");
  CKeyCrypt keycrypt;
  ASSERT_EQ(keycrypt.Init(), 0);
  keycrypt.Protect(edit);
  keycrypt.Term();
  EXPECT_EQ(events(kCKAppEventExit), 1);
  EXPECT_EQ(g_state.subclassed, 1);
  EXPECT_TRUE(module_loaded());
  ::SetWindowTextW(edit, L"works");
  EXPECT_TRUE(::DestroyWindow(edit));
  EXPECT_EQ(g_state.subclassed, 0);
  ASSERT_EQ(keycrypt.Init(), 0);
  keycrypt.Term();
  EXPECT_FALSE(module_loaded());
}

TEST_F(KeyCryptTest, TwoThreadsHaveTheirOwnContexts) {
  HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE go = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  int other_init = 99;
  std::wstring other_text;
  DWORD other_id = 0;
  bool other_still_loaded = false;
  std::thread other([&] {
    other_id = ::GetCurrentThreadId();
    HWND edit = ::CreateWindowExW(0, L"EDIT", L"thread two", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
    {
      CKeyCrypt keycrypt;
      other_init = keycrypt.Init();
      keycrypt.Protect(edit);
      other_text = keycrypt.GetText(edit);
      ::SetEvent(ready);
      ::WaitForSingleObject(go, 60000);
      other_still_loaded = module_loaded();
      keycrypt.Term();
    }
    ::DestroyWindow(edit);
  });
  ASSERT_EQ(::WaitForSingleObject(ready, 60000), WAIT_OBJECT_0);
  EXPECT_EQ(other_init, 0);
  EXPECT_EQ(other_text, L"thread two");

  HWND edit = NewEdit(L"thread one");
  CKeyCrypt keycrypt;
  ASSERT_EQ(keycrypt.Init(), 0);
  keycrypt.Protect(edit);
  EXPECT_EQ(keycrypt.GetText(edit), L"thread one");
  EXPECT_EQ(events(kCKAppEventInit), 2);
  keycrypt.Term();
  EXPECT_TRUE(module_loaded());
  EXPECT_EQ(events(kCKAppEventExit), 1);

  ::SetEvent(go);
  other.join();
  EXPECT_TRUE(other_still_loaded);
  EXPECT_FALSE(module_loaded());
  EXPECT_EQ(events(kCKAppEventExit), 2);
  // Each read came with the block of its own thread's context.
  int reads = 0;
  for (LONG i = 0; i < g_state.event_count; ++i) {
    const CKAppTestEvent &e = g_state.events[i];
    if (e.kind == kCKAppEventInit) {
      EXPECT_TRUE(e.thread_id == other_id || e.thread_id == ::GetCurrentThreadId());
    }
    if (e.kind == kCKAppEventRead) {
      EXPECT_TRUE(e.block);
      ++reads;
    }
  }
  EXPECT_EQ(reads, 2);
  ::CloseHandle(ready);
  ::CloseHandle(go);
}

TEST_F(KeyCryptTest, SuspendAndResume) {
  HWND first = NewEdit(L"one"), second = NewEdit(L"two");
  CKeyCrypt a, b;
  ASSERT_EQ(a.Init(), 0);
  ASSERT_EQ(b.Init(), 0);
  a.Protect(first);
  b.Protect(second);

  a.Suspend();
  EXPECT_EQ(events(kCKAppEventExit), 1);
  EXPECT_EQ(g_state.subclassed, 0);
  EXPECT_FALSE(module_loaded());
  EXPECT_EQ(a.GetText(first), L"");  // no context while suspended
  EXPECT_EQ(active_windows(), 0u);

  int flags_before = events(kCKAppEventFlag, kCKAppFlagProtectEdit);
  a.Resume();
  EXPECT_TRUE(module_loaded());
  EXPECT_EQ(events(kCKAppEventInit), 2);
  EXPECT_EQ(events(kCKAppEventFlag, kCKAppFlagProtectEdit), flags_before + 2);
  EXPECT_EQ(g_state.subclassed, 2);
  EXPECT_EQ(active_windows(), 2u);
  EXPECT_EQ(a.GetText(first), L"one");
  EXPECT_EQ(b.GetText(second), L"two");

  // Nothing was suspended since: a second Resume adds no context.
  a.Resume();
  EXPECT_EQ(events(kCKAppEventInit), 2);
  EXPECT_EQ(active_windows(), 2u);

  // The context came back with both uses: the first Term keeps it, the second ends it.
  a.Term();
  EXPECT_TRUE(module_loaded());
  b.Term();
  EXPECT_FALSE(module_loaded());
}

TEST_F(KeyCryptTest, MaskingModuleProvesReadsGoThroughTheWrapper) {
  UseVariant("masking");
  HWND edit = NewEdit(L"");
  CKeyCrypt keycrypt;
  ASSERT_EQ(keycrypt.Init(), 0);
  keycrypt.Protect(edit);
  ::SetWindowTextW(edit, L"s3cret");
  for (wchar_t c : std::wstring(L"!x")) ::SendMessageW(edit, WM_CHAR, c, 0);
  ::SendMessageW(edit, WM_CHAR, VK_BACK, 0);
  wchar_t shown[32] = {};
  ::GetWindowTextW(edit, shown, 32);
  EXPECT_STREQ(shown, L"*******");
  EXPECT_EQ(keycrypt.GetText(edit), L"s3cret!");
  char narrow[kKeyCryptNarrowSize];
  EXPECT_EQ(keycrypt.GetTextA(narrow, edit), 0);
  EXPECT_STREQ(narrow, "s3cret!");

  // Korean through the module in both encodings.
  const wchar_t korean[] = L"비밀번호";
  ::SetWindowTextW(edit, korean);
  EXPECT_EQ(keycrypt.GetText(edit), korean);
  EXPECT_EQ(keycrypt.GetTextA(narrow, edit), 0);
  EXPECT_STREQ(narrow, "\xEB\xB9\x84\xEB\xB0\x80\xEB\xB2\x88\xED\x98\xB8");
  g_state.utf8 = 0;
  set_char_encoding_mode(0);
  EXPECT_EQ(keycrypt.GetText(edit), korean);
  EXPECT_EQ(keycrypt.GetTextA(narrow, edit), 0);
  EXPECT_STREQ(narrow, "\xBA\xF1\xB9\xD0\xB9\xF8\xC8\xA3");
  // The plain strategy would only have seen the masks.
  CKeyCrypt plain;
  plain.SetPolicy(L"MUST_NOT_USE");
  ASSERT_EQ(plain.Init(), 0);
  EXPECT_EQ(plain.GetText(edit), L"****");
  plain.Term();
  ASSERT_EQ(keycrypt.Init(), 0);  // the plain Init cleared the flag for everyone; ready again
  keycrypt.Term();
}

// A text that does not fit is refused whole: never half a password.
TEST_F(KeyCryptTest, ReadsThatWouldBeCutFail) {
  HWND edit = NewEdit(L"abc");
  for (const wchar_t *policy : {L"MUST_USE", L"MUST_NOT_USE"}) {
    SCOPED_TRACE(policy[5] == L'N' ? "plain" : "module");
    CKeyCrypt keycrypt;
    keycrypt.SetPolicy(policy);
    ASSERT_EQ(keycrypt.Init(), 0);
    keycrypt.Protect(edit);
    ::SetWindowTextW(edit, L"abc");
    std::wstring a127(127, L'a'), a128(128, L'a');
    EXPECT_EQ(keycrypt.GetText(edit), L"abc");
    ::SetWindowTextW(edit, a127.c_str());
    EXPECT_EQ(keycrypt.GetText(edit), a127);
    ::SetWindowTextW(edit, a128.c_str());
    EXPECT_EQ(keycrypt.GetText(edit), L"");

    // UTF-8: 42 syllables take 126 bytes, 43 take 129.
    std::wstring h42(42, L'가'), h43(43, L'가');
    char narrow[kKeyCryptNarrowSize];
    ::SetWindowTextW(edit, h42.c_str());
    EXPECT_EQ(keycrypt.GetTextA(narrow, edit), 0);
    EXPECT_EQ(std::strlen(narrow), 126u);
    ::SetWindowTextW(edit, h43.c_str());
    int code = keycrypt.GetTextA(narrow, edit);
    EXPECT_EQ(code, v7::kErrInsufficientBuffer);
    EXPECT_EQ(std::string(narrow, sizeof narrow), std::string(sizeof narrow, '\0'));
    // Through the module the text does not even fit its output; as plain text it is read whole
    // but does not fit the narrow buffer.
    EXPECT_EQ(keycrypt.GetText(edit), policy[5] == L'N' ? h43 : L"");

    // Into a secret: whole, or refused and empty.
    v7::classlib::CSecretText secret;
    ::SetWindowTextW(edit, a127.c_str());
    EXPECT_EQ(keycrypt.GetText(edit, secret), 0);
    EXPECT_EQ(std::wstring(secret.c_str()), a127);
    ::SetWindowTextW(edit, a128.c_str());
    EXPECT_EQ(keycrypt.GetText(edit, secret), v7::kErrInsufficientBuffer);
    EXPECT_TRUE(secret.empty());
  }
}

TEST_F(KeyCryptTest, ReadCountsAtTheEdges) {
  HWND edit = NewEdit(L"abc");
  CKeyCryptSub_SOFO module;
  CKeyCryptSub_NONE plain;
  ASSERT_EQ(module.Init(), 0);
  module.Protect(edit);
  for (CKeyCryptSub *sub : {static_cast<CKeyCryptSub *>(&module), static_cast<CKeyCryptSub *>(&plain)}) {
    wchar_t buffer[8];
    const struct {
      int count;
      const wchar_t *text;
    } cases[] = {{1, L""}, {3, L""}, {4, L"abc"}, {8, L"abc"}};
    for (const auto &c : cases) {
      std::fill(buffer, buffer + 8, L'#');
      int result = sub->GetTextW(edit, buffer, c.count);
      EXPECT_STREQ(buffer, c.text) << c.count;
      EXPECT_EQ(result, c.text[0] == 0 ? 0 : 3) << c.count;
    }
    std::fill(buffer, buffer + 8, L'#');
    EXPECT_EQ(sub->GetTextW(edit, buffer, 0), 0);
    EXPECT_EQ(buffer[0], L'#');
  }
  // The module was asked with the caller's count.
  bool saw_count_4 = false;
  for (LONG i = 0; i < g_state.event_count; ++i) {
    if (g_state.events[i].kind == kCKAppEventRead && g_state.events[i].flag == 4) saw_count_4 = true;
  }
  EXPECT_TRUE(saw_count_4);
  module.Term();
}

// ---- Dialogs whose protected edits are still there when the owner ends keyboard security ----

class ProtectedDialog : public v7::classlib::CDialog {
 public:
  ProtectedDialog() : CDialog(IDD_KEYCRYPT_TEST) {}
  BEGIN_MSG_MAP(ProtectedDialog)
    MSG_WM_DESTROY(OnDestroy)
  END_MSG_MAP()

  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    keycrypt.Prepare(L"");
    init_result = keycrypt.Init();
    keycrypt.Protect(Item(IDC_KEYCRYPT_PASSWORD));
    keycrypt.Protect(Item(IDC_KEYCRYPT_CODE));
    return TRUE;
  }
  void OnDestroy() {
    keycrypt.Term();
    SetMsgHandled(false);
  }

  v7::keycrypt::CKeyCrypt keycrypt;
  int init_result = 99;
};

TEST_F(KeyCryptTest, ClosingDialogsWithProtectedEditsNeverCrashes) {
  for (const char *variant : {"complete", "masking", "sticky", "absent"}) {
    SCOPED_TRACE(variant);
    UseVariant(variant);
    std::memset(&g_state, 0, sizeof g_state);
    g_state.utf8 = 1;
    ProtectedDialog dialog;
    ASSERT_TRUE(dialog.Create());
    bool with_module = std::string(variant) != "absent";
    EXPECT_EQ(dialog.init_result, with_module ? 0 : -1);
    EXPECT_EQ(g_state.subclassed, with_module ? 2 : 0);
    ::SetDlgItemTextW(dialog, IDC_KEYCRYPT_PASSWORD, L"pw 1234");
    ::SendDlgItemMessageW(dialog, IDC_KEYCRYPT_CODE, WM_CHAR, L'7', 0);
    EXPECT_EQ(dialog.keycrypt.GetText(dialog.Item(IDC_KEYCRYPT_PASSWORD)), with_module ? L"pw 1234" : L"");
    EXPECT_EQ(dialog.keycrypt.GetText(dialog.Item(IDC_KEYCRYPT_CODE)), with_module ? L"7" : L"");
    EXPECT_TRUE(dialog.DestroyWindow());
    EXPECT_EQ(g_state.subclassed, 0);
    if (std::string(variant) == "sticky") {
      // Kept for the edits it failed to give back; the next context's end lets it go.
      EXPECT_TRUE(module_loaded());
      CKeyCrypt next;
      ASSERT_EQ(next.Init(), 0);
      next.Term();
    }
    EXPECT_FALSE(module_loaded()) << "the module outlived the dialog";
  }
}

}  // namespace
