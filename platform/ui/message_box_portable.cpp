// Without a window system the text goes to the standard error stream and the box answers OK.
#include <cstdio>

#include "platform/ui/message_box.h"

namespace v7 {

int message_box(const char *text, const char *caption, unsigned flags) {
  if (MessageBoxHook hook = internal::message_box_hook()) return hook(text, caption, flags);
  std::fprintf(stderr, "%s: %s\n", caption != nullptr ? caption : "Error", text != nullptr ? text : "");
  return 1;
}

}  // namespace v7
