#include "tests/ui/remote_list_view.h"

#include <commctrl.h>

#include <cstddef>
#include <cstring>

namespace v7test {
namespace {

constexpr UINT kSendTimeoutMs = 10000;
constexpr size_t kTextChars = 512;
// The buffer holds the item record first and the text after it.
constexpr size_t kTextOffset = 256;
constexpr size_t kBufferSize = kTextOffset + kTextChars * sizeof(wchar_t);
static_assert(sizeof(LVITEMW) <= kTextOffset, "the item record fits before the text");

}  // namespace

RemoteListView::RemoteListView(HWND list) : list_(list) {
  DWORD pid = 0;
  if (list == nullptr || ::GetWindowThreadProcessId(list, &pid) == 0) return;
  process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (process_ == nullptr) return;
  buffer_ = ::VirtualAllocEx(process_, nullptr, kBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteListView::~RemoteListView() {
  if (buffer_ != nullptr) ::VirtualFreeEx(process_, buffer_, 0, MEM_RELEASE);
  if (process_ != nullptr) ::CloseHandle(process_);
}

bool RemoteListView::Call(UINT message, WPARAM wparam, void *record, size_t size, LRESULT *result) const {
  if (!ok()) return false;
  SIZE_T moved = 0;
  if (!::WriteProcessMemory(process_, buffer_, record, size, &moved) || moved != size) return false;
  DWORD_PTR answer = 0;
  if (!::SendMessageTimeoutW(list_, message, wparam, LPARAM(buffer_), SMTO_NORMAL, kSendTimeoutMs, &answer)) {
    return false;
  }
  if (!::ReadProcessMemory(process_, buffer_, record, size, &moved) || moved != size) return false;
  if (result != nullptr) *result = LRESULT(answer);
  return true;
}

int RemoteListView::Count() const {
  DWORD_PTR count = 0;
  if (!::SendMessageTimeoutW(list_, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &count)) return 0;
  return int(count);
}

int RemoteListView::Find(const std::function<bool(int item)> &match) const {
  const int count = Count();
  for (int i = 0; i < count; ++i) {
    if (match(i)) return i;
  }
  return -1;
}

LPARAM RemoteListView::Param(int item) const {
  LVITEMW record{};
  record.mask = LVIF_PARAM;
  record.iItem = item;
  LRESULT done = 0;
  return Call(LVM_GETITEMW, 0, &record, sizeof record, &done) && done != 0 ? record.lParam : 0;
}

std::wstring RemoteListView::Text(int item, int column) const {
  if (!ok()) return L"";
  // The text buffer is cleared first, so that a refused read gives an empty text.
  wchar_t text[kTextChars] = {};
  SIZE_T moved = 0;
  auto *remote_text = static_cast<char *>(buffer_) + kTextOffset;
  if (!::WriteProcessMemory(process_, remote_text, text, sizeof text, &moved)) return L"";
  LVITEMW record{};
  record.iSubItem = column;
  record.pszText = reinterpret_cast<LPWSTR>(remote_text);
  record.cchTextMax = int(kTextChars);
  LRESULT length = 0;
  if (!Call(LVM_GETITEMTEXTW, WPARAM(item), &record, sizeof record, &length)) return L"";
  if (!::ReadProcessMemory(process_, remote_text, text, sizeof text, &moved) || moved != sizeof text) return L"";
  text[kTextChars - 1] = 0;
  return text;
}

bool RemoteListView::Select(int item) const {
  LVITEMW record{};
  record.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  record.state = LVIS_SELECTED | LVIS_FOCUSED;
  LRESULT done = 0;
  return Call(LVM_SETITEMSTATE, WPARAM(item), &record, sizeof record, &done) && done != 0;
}

}  // namespace v7test
