#include <windows.h>

#include "platform/ui/message_box.h"

namespace v7 {

int message_box(const char *text, const char *caption, unsigned flags) {
  if (MessageBoxHook hook = internal::message_box_hook()) return hook(text, caption, flags);
  return MessageBoxA(nullptr, text, caption, flags);
}

}  // namespace v7
