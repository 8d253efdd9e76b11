// The POSIX side's own plumbing, shared by its files: errno in FileError's
// words, and read and write loops over short transfers.
#pragma once

#include "platform/FileStatus.h"

#include <cstdint>

namespace quorvel {

FileStatus FromErrno(int code);

// Reads until count bytes or the end: read() may return less than asked
// (signals, pipes, network file systems); only a zero return is the end.
// A stream waits interruptibly for each piece.
FileStatus ReadFully(int fd, void* buffer, uint32_t count, uint32_t& got, bool stream);
// Writes all count bytes, looping over short writes; a stream waits
// interruptibly until it can take them.
FileStatus WriteFully(int fd, const void* buffer, uint32_t count, bool stream);

}  // namespace quorvel
