// The end of every job: an output whose bytes are all written is put on the
// disk, named, and its name put on the disk, in that order. A job does it for
// its own output; the command line does it for many outputs at once, so that
// a folder of small files costs about one flush instead of one per file.
#pragma once

#include "platform/FileSystem.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

enum class JobStatus;

// An output every byte of which is written, still without its name.
struct WrittenOutput {
    std::unique_ptr<OutputFile> file;
    std::optional<uint32_t> permissions;  // the source's, for Finish
    std::u16string path;                  // its name to be; empty for one that needs none (standard output)
    std::u16string folder;                // the folder of path, flushed once the name is given
};

struct PublishResult {
    JobStatus status;  // Succeeded, WriteFailed, CreateOutputFailed, NotDurable or Cancelled
    FileStatus file;   // the file system's reason, for the failures
};

// Data flushes of outputs published together, where no sweep takes them,
// run on up to this many threads at once; they wait on the disk, not on a
// core. A journalling file system commits the flushes that wait together in
// one transaction: on ext4, 64 at once made a group of small files about
// seven times faster than 8 at once.
constexpr size_t kPublishThreads = 64;

// Puts outputs on the disk under their names. Each keeps the order of a
// single output: its bytes on the disk (Finish) before its name (Publish),
// its name before its folder is flushed. Together, every output's bytes go
// first: in one sweep of their file system where it has one that costs less
// (FileSystem::Sweep), else in data flushes all at once, so the file system
// can commit them in one go; then the names, in order; then each distinct
// folder, once. stop, asked once the bytes are on the disk, drops every
// output before any is named (Cancelled). A failure is its output's alone.
// Every output is released before this returns; the results are in the
// order of outputs.
std::vector<PublishResult> PublishTogether(FileSystem& fileSystem, std::vector<WrittenOutput>& outputs,
                                           const std::function<bool()>& stop = {});

}  // namespace quorvel
