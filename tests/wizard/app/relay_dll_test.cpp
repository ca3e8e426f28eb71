// The built v7relay.dll as a caller sees it: loaded by path, its exports taken by ordinal. Loading
// it loads nothing else (the rich-edit library comes with the first transfer call); unknown types
// and missing request records are refused without a window; the setters' rule; a receive cancelled on its first page returns
// 21500 with the library's own cancel question answered by the robot; and the call leaves no
// reference behind, so the library unloads when its caller lets it go.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "platform/locale/system_language.h"
#include "tests/ui/robot.h"
#include "wizard/records/request_record.h"
#include "wizard/relay_exports.h"

namespace {

using v7test::RunWithRobot;
using v7test::UiRobot;

typedef int(WINAPI *SetWord)(int);
typedef int(WINAPI *Recv)(int, int, int, RelayRequestRecord *);
typedef int(WINAPI *Send)(int, int, RelayRequestRecord *);

std::wstring dll_path() {
  const char *path = std::getenv("V7_RELAY_DLL");
  return path != nullptr ? std::wstring(path, path + strlen(path)) : std::wstring();
}

template <typename F>
F by_ordinal(HMODULE module, int ordinal) {
  return reinterpret_cast<F>(reinterpret_cast<void *>(::GetProcAddress(module, MAKEINTRESOURCEA(ordinal))));
}

BOOL CALLBACK count_window(HWND, LPARAM count) {
  ++*reinterpret_cast<int *>(count);
  return TRUE;
}

int thread_windows() {
  int count = 0;
  ::EnumThreadWindows(::GetCurrentThreadId(), count_window, LPARAM(&count));
  return count;
}

TEST(RelayDll, LoadsLightAndAnswersByOrdinalAndUnloadsAfterACancelledReceive) {
  const std::wstring path = dll_path();
  ASSERT_FALSE(path.empty()) << "V7_RELAY_DLL names the library";
  ASSERT_EQ(::GetModuleHandleW(L"riched20.dll"), nullptr);
  HMODULE dll = ::LoadLibraryW(path.c_str());
  ASSERT_NE(dll, nullptr) << ::GetLastError();
  EXPECT_EQ(::GetModuleHandleW(L"riched20.dll"), nullptr) << "nothing is loaded while the library loads";

  auto set_lang = by_ordinal<SetWord>(dll, 1);
  auto recv = by_ordinal<Recv>(dll, 2);
  auto send = by_ordinal<Send>(dll, 3);
  auto set_language = by_ordinal<SetWord>(dll, 4);
  auto set_encoding = by_ordinal<SetWord>(dll, 5);
  ASSERT_TRUE(set_lang && recv && send && set_language && set_encoding);

  const int system_default = platform_system_primary_language();
  EXPECT_EQ(set_lang(1033), system_default);
  EXPECT_EQ(set_lang(18), 18);
  EXPECT_EQ(set_language(9), 9);
  EXPECT_EQ(set_language(1042), system_default);
  EXPECT_EQ(set_encoding(7), 7);
  EXPECT_EQ(set_encoding(1), 1);
  EXPECT_EQ(set_lang(9), 9);

  auto request = std::make_unique<RelayRequestRecord>();
  EXPECT_EQ(send(6, 1, request.get()), kRelayExportUnknownType);
  EXPECT_EQ(recv(6, 1, 0xFFFF, request.get()), kRelayExportUnknownType);
  EXPECT_EQ(send(1, 1, nullptr), kRelayExportFailed);
  EXPECT_EQ(recv(1, 1, 0x1, nullptr), kRelayExportFailed);
  EXPECT_EQ(send(6, 1, nullptr), kRelayExportUnknownType);
  EXPECT_EQ(thread_windows(), 0) << "an unknown type or a missing record opens no window";

  int result = 0;
  RunWithRobot(
      [&](UiRobot &robot) {
        HWND sheet = robot.WaitForWindow(
            [](HWND w) { return ::GetDlgItem(w, 0x3024 /* Next */) != nullptr && ::IsWindowVisible(w); });
        ASSERT_NE(sheet, nullptr);
        robot.Click(sheet, IDCANCEL);
        // The library's own question; Yes ends the wizard.
        HWND question = robot.WaitForDialogWithControl(IDYES, sheet);
        ASSERT_NE(question, nullptr);
        robot.Click(question, IDYES);
        EXPECT_TRUE(robot.WaitGone(sheet));
      },
      [&] { result = recv(2, 1, 0x1, request.get()); });
  EXPECT_EQ(result, kRelayExportCancelled);
  EXPECT_NE(::GetModuleHandleW(L"riched20.dll"), nullptr) << "the first transfer call loads the rich edit";

  // The call took its reference and gave it back: the caller's release unloads the library.
  EXPECT_TRUE(::FreeLibrary(dll));
  EXPECT_EQ(::GetModuleHandleW(path.c_str()), nullptr);
}

}  // namespace
