// A file descriptor owned by UniqueHandle.
#pragma once

#include "platform/UniqueHandle.h"

#include <unistd.h>

namespace quorvel {

struct FileDescriptorTraits {
    using Type = int;
    static Type Empty() { return -1; }
    // Not retried on EINTR: the descriptor is gone either way on Linux.
    static void Close(Type fd) { ::close(fd); }
};

using UniqueFd = UniqueHandle<FileDescriptorTraits>;

}  // namespace quorvel
