#include <windows.h>

#include "platform/ui/message_box.h"

namespace v7 {

int message_box(const char *text, const char *caption, unsigned flags) {
  if (MessageBoxHook hook = internal::message_box_hook()) return hook(text, caption, flags);
  return MessageBoxA(nullptr, text, caption, flags);
}

int message_box_w(const char16_t *text, const char16_t *caption, unsigned flags) {
  if (MessageBoxHookW hook = internal::message_box_hook_w()) return hook(text, caption, flags);
  return MessageBoxW(GetActiveWindow(), reinterpret_cast<const wchar_t *>(text),
                     reinterpret_cast<const wchar_t *>(caption), flags);
}

}  // namespace v7
