// Each system's side of the standard streams as a job's source and output
// (StandardInputFile and StandardOutputFile are the same on every system).
#pragma once

#include "platform/FileSystem.h"

#include <cstdint>

namespace quorvel {

// Fills buffer from standard input, short only at its end.
FileStatus ReadStandardInputFully(void* buffer, uint32_t count, uint32_t& got);
// Writes all of buffer to standard output.
FileStatus WriteStandardOutputFully(const void* buffer, uint32_t count);
// Lets a pipe on standard input (or output) hold blockBytes where the system
// allows; best effort.
void WidenStandardStream(bool output, uint32_t blockBytes);

}  // namespace quorvel
