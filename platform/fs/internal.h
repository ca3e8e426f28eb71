// Shared by the two sides of the file seam.
#pragma once

#include "platform/fs/fs.h"

namespace v7 {
namespace fs_internal {

const FsQueryHooks *query_hooks();

}  // namespace fs_internal
}  // namespace v7
