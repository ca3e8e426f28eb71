// A list view of another process, as the robot reads and drives it: the list-view messages carry
// pointers to item records and text buffers, which the system does not carry across processes,
// so the records live in a buffer allocated inside the list's own process.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace v7test {

class RemoteListView {
 public:
  explicit RemoteListView(HWND list);
  ~RemoteListView();
  RemoteListView(const RemoteListView &) = delete;
  RemoteListView &operator=(const RemoteListView &) = delete;

  // False when the list's process could not be opened or given a buffer; every call then fails.
  bool ok() const { return buffer_ != nullptr; }

  int Count() const;
  // The first item match accepts, or -1.
  int Find(const std::function<bool(int item)> &match) const;
  // The item's application value (LVIF_PARAM); 0 when it cannot be read.
  LPARAM Param(int item) const;
  // The text of the item's column; empty when it cannot be read.
  std::wstring Text(int item, int column = 0) const;
  // Selects and focuses the item, as the keyboard would.
  bool Select(int item) const;

 private:
  // Sends message with the record copied into the list's process and copies it back afterwards.
  bool Call(UINT message, WPARAM wparam, void *record, size_t size, LRESULT *result) const;

  HWND list_;
  HANDLE process_ = nullptr;
  void *buffer_ = nullptr;
};

}  // namespace v7test
