// What a file operation reports: the reason in terms a user message can name,
// and the system's own code beside it. Plain values, no system call, so the
// texts can name them without reaching the operating system.
#pragma once

#include <cstdint>

namespace quorvel {

// What went wrong. The system's own code (errno or GetLastError) travels
// beside it for diagnostics.
enum class FileError {
    None,
    NotFound,
    AccessDenied,
    InUse,            // held by another program without sharing
    DiskFull,
    TooLarge,         // larger than the file system (FAT's 4 GiB - 1) or the process's limit takes
    DiskError,        // the disk reported an input/output error
    Truncated,        // the file ended before the length taken at the start
    Grew,             // the file went on past the length taken at the start
    SizeUnknown,      // said it was empty but was not (files of /proc and their kind)
    Exists,
    IsFolder,
    IsPipe,           // a FIFO or pipe
    IsDevice,         // a device or console
    NotRegular,       // a socket or anything else that is not an ordinary file
    NameTooLong,
    NoTemporaryName,  // every temporary name tried in the folder was taken
    Interrupted,      // a stream gave up on an interrupt (Ctrl-C and its kin)
    Other,
};

struct FileStatus {
    FileError error = FileError::None;
    uint32_t systemCode = 0;

    explicit operator bool() const { return error == FileError::None; }
};

}  // namespace quorvel
