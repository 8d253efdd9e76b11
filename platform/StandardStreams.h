// The standard streams as a job's source and output, and each system's side
// of them (StandardInputFile and StandardOutputFile are the same on every
// system).
#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <memory>

namespace quorvel {

// The process's standard input as a source of unknown length, and its
// standard output as an output that needs no name: byte streams on every
// system, never text. A read or write that waits gives up with Interrupted
// once an interrupt has come (platform/Terminal.h), so a stalled pipe cannot
// hold a stopped run.
// blockBytes: what one read or write moves; a pipe is widened to hold it
// where the system allows.
std::unique_ptr<File> StandardInputFile(uint32_t blockBytes);
std::unique_ptr<OutputFile> StandardOutputFile(uint32_t blockBytes);

// Each system's side. Fills buffer from standard input, short only at its end.
FileStatus ReadStandardInputFully(void* buffer, uint32_t count, uint32_t& got);
// Writes all of buffer to standard output.
FileStatus WriteStandardOutputFully(const void* buffer, uint32_t count);
// Lets a pipe on standard input (or output) hold blockBytes where the system
// allows; best effort.
void WidenStandardStream(bool output, uint32_t blockBytes);

}  // namespace quorvel
