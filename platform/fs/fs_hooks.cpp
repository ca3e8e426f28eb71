#include "platform/fs/internal.h"

namespace {
const FsQueryHooks *g_hooks = nullptr;
}

void platform_fs_set_query_hooks(const FsQueryHooks *hooks) { g_hooks = hooks; }

namespace v7 {
namespace fs_internal {
const FsQueryHooks *query_hooks() { return g_hooks; }
}  // namespace fs_internal
}  // namespace v7
