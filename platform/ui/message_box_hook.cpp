#include <atomic>

#include "platform/ui/message_box.h"

namespace v7 {
namespace {
std::atomic<MessageBoxHook> g_hook{nullptr};
}

void set_message_box_hook(MessageBoxHook hook) { g_hook.store(hook); }

namespace internal {
MessageBoxHook message_box_hook() { return g_hook.load(); }
}  // namespace internal

}  // namespace v7
