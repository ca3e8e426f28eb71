#include <atomic>

#include "platform/ui/message_box.h"

namespace v7 {
namespace {
std::atomic<MessageBoxHook> g_hook{nullptr};
std::atomic<MessageBoxHookW> g_hook_w{nullptr};
}  // namespace

void set_message_box_hook(MessageBoxHook hook) { g_hook.store(hook); }
void set_message_box_hook_w(MessageBoxHookW hook) { g_hook_w.store(hook); }

namespace internal {
MessageBoxHook message_box_hook() { return g_hook.load(); }
MessageBoxHookW message_box_hook_w() { return g_hook_w.load(); }
}  // namespace internal

}  // namespace v7
