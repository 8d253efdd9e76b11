// The POSIX file system with or without unnamed temporary outputs. The
// program always has them where the system does (SystemFileSystem); tests
// switch them off to reach the named fallback that other systems get, and
// may watch its flushes (FlushSeam) and choose when it sweeps.
#pragma once

#include "platform/FileSystem.h"

#include <memory>

namespace quorvel {

std::unique_ptr<FileSystem> MakePosixFileSystem(bool unnamedTemporaries, FlushSeam seam = {},
                                                Sweeping sweeping = Sweeping::WhenCheaper);

}  // namespace quorvel
