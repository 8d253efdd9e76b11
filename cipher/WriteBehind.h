// Outputs written on a thread of their own, so that writing one block, and
// the disk's writeback behind it, overlaps reading and transforming the next:
// with a second core free the disk sets the pace, as it does for cp.
#pragma once

#include "platform/FileSystem.h"

#include <memory>

namespace quorvel {

// Wraps output so that Write takes a copy of each block and returns at once
// (at most two blocks wait). A failed write is reported by the next Write or
// by Finish, so no failure goes unseen; dropping the output lets the blocks
// in flight finish first. Where no thread can be made, each block is written
// in Write itself.
std::unique_ptr<OutputFile> WithWriteBehind(std::unique_ptr<OutputFile> output);

}  // namespace quorvel
