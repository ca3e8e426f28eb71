// Message boxes behind one seam, so that unattended tests can answer them. The flags and answers
// are those of Win32's MessageBox (MB_OK = 0, IDOK = 1).
#pragma once

namespace v7 {

// Shows `text` with `caption` (null: the system's default caption) and returns the answer.
int message_box(const char *text, const char *caption, unsigned flags);

// Test code installs a hook that answers in place of the user (and may record the text); null
// restores the real box. Never set from outside input.
using MessageBoxHook = int (*)(const char *text, const char *caption, unsigned flags);
void set_message_box_hook(MessageBoxHook hook);

// The same for wide (UTF-16) texts, owned by the active window, so that a text reaches the box in
// its own characters whatever the system's code page is. Null caption: the system's default.
int message_box_w(const char16_t *text, const char16_t *caption, unsigned flags);
using MessageBoxHookW = int (*)(const char16_t *text, const char16_t *caption, unsigned flags);
void set_message_box_hook_w(MessageBoxHookW hook);

namespace internal {
MessageBoxHook message_box_hook();
MessageBoxHookW message_box_hook_w();
}

}  // namespace v7
