// File services the cipher core runs on: open a source, make a new output
// that no name shows until it is complete, read and write whole blocks; and
// what the command line asks of files around its jobs. Paths are UTF-16;
// each side (POSIX, Win32) converts at its own boundary. Names and their
// parts are in platform/FileNames.h, the standard streams in
// platform/StandardStreams.h.
#pragma once

#include "platform/FileStatus.h"

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quorvel {

// A source being read.
class File {
public:
    virtual ~File() = default;
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    virtual FileStatus GetLength(uint64_t& length) = 0;
    // Reads up to count bytes; got < count only at the end of the file.
    virtual FileStatus Read(void* buffer, uint32_t count, uint32_t& got) = 0;
    virtual FileStatus Close() = 0;
    // The permission bits an output made from this file keeps (POSIX mode
    // bits); nothing where outputs take their folder's permissions instead.
    virtual std::optional<uint32_t> Permissions() { return std::nullopt; }
};

// A new output. No name shows it until Publish: a run that stops before then,
// however it stops, leaves at most a temporary named ".quorvel-XXXXXXXX.tmp"
// (none at all where the system can make unnamed files). Destroying an
// output that was not published removes it.
class OutputFile {
public:
    virtual ~OutputFile() = default;
    OutputFile() = default;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Writes all count bytes or fails.
    virtual FileStatus Write(const void* buffer, uint32_t count) = 0;
    // No more writes come: returns once every byte written has reached the
    // file, with the first failure among them, and lets go of what writing
    // needed, so that the output can wait for Finish at little cost.
    virtual FileStatus EndWrites() { return {}; }
    // Every byte is written: gives the file its permissions (where given)
    // and puts its bytes on the disk while it still has no name. A failure
    // here means written data may be lost; the output is not kept.
    virtual FileStatus Finish(std::optional<uint32_t> permissions) = 0;
    // For outputs put on the disk together: every byte is written; gives the
    // file its permissions now, so that they go to the disk with its bytes,
    // and joins the next sweep of its file system (FileSystem::Sweep). Once
    // that sweep has put its bytes there, Finish only confirms it. Where the
    // system has no sweep, this does nothing and Finish flushes as usual.
    virtual FileStatus JoinSweep(std::optional<uint32_t> /*permissions*/) { return {}; }
    // Gives the finished output its name, in one step. With replace an
    // existing file of that name is replaced; without, it stays and Exists
    // is returned. The name is on the disk once the folder is flushed
    // (FileSystem::FlushFolder).
    virtual FileStatus Publish(const std::u16string& path, bool replace) = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens an existing ordinary file for reading; other readers may share it,
    // writers may not. Folders, pipes, devices and sockets are refused, and
    // opening never waits for a pipe's writer.
    virtual FileStatus OpenRead(const std::u16string& path, std::unique_ptr<File>& file) = 0;
    // Makes a new output in folder (ending in a separator; empty means the
    // current directory), readable and writable by its owner only.
    virtual FileStatus CreateOutput(const std::u16string& folder, std::unique_ptr<OutputFile>& file) = 0;
    // Whether name fits in folder as a file name (NameTooLong if not).
    virtual FileStatus CheckNewName(const std::u16string& folder, const std::u16string& name) = 0;
    // Whether a file of bytes may be written in folder (TooLarge if not): the
    // limits known in advance, FAT's 4 GiB - 1 and the process's own.
    virtual FileStatus CheckSizeFits(const std::u16string& folder, uint64_t bytes) = 0;
    // Puts the names in folder (ending in a separator; empty means the current
    // directory) on the disk, so that a name just given survives a power cut.
    virtual FileStatus FlushFolder(const std::u16string& folder) = 0;
    // Puts every byte written so far to each file system that outputs have
    // joined (OutputFile::JoinSweep) on the disk in one sweep, where that
    // costs less than a flush of each output: one call for thousands of small
    // files instead of one each. Returns whether every joined output was
    // swept; the others are flushed by their own Finish.
    virtual bool Sweep() { return false; }
};

// The real file system of the platform the program was built for.
FileSystem& SystemFileSystem();

// The moments an output is put on the disk: its bytes before it has a name
// (Data: fdatasync, FlushFileBuffers; or Confirm: after a sweep of its whole
// file system (Volume: syncfs), the check that the sweep got them there),
// then its folder's names after it got one (Folder: fsync of the folder,
// FlushFileBuffers on the folder).
enum class FlushStep { Data, Confirm, Folder, Volume };
// Stands in for the system's flush at each step, for tests that watch the
// order or make a flush fail: called with the step and the system's own call,
// it returns what the flush is to report. The data flushes of outputs put on
// the disk together call it from several threads at once.
using FlushSeam = std::function<FileStatus(FlushStep step, const std::function<FileStatus()>& systemCall)>;
// When outputs put on the disk together sweep their file system: where it
// costs less than their own flushes, or, for tests, always or never.
enum class Sweeping { WhenCheaper, Always, Never };
// The system's file services with their flushes passed through seam.
std::unique_ptr<FileSystem> MakeSystemFileSystem(FlushSeam seam, Sweeping sweeping = Sweeping::WhenCheaper);

// Removes a file (quorvel-cli --rm); never a folder.
FileStatus RemoveFile(const std::u16string& path);

// How many files the process may hold open at once (the soft limit on POSIX;
// Windows sets none that a program meets).
size_t OpenFileLimit();

// Files by name, for callers that must check before or around a job.

// The same file whatever the path that names it (links, "./", case on Windows).
struct FileId {
    uint64_t volume = 0;
    uint64_t index = 0;
    auto operator<=>(const FileId&) const = default;
};
std::optional<FileId> IdentityOf(const std::u16string& path);
// The file standard output writes to, when it is one (not a pipe or terminal).
std::optional<FileId> StandardOutputIdentity();

// Whether anything, even a dangling link, has this name.
bool PathExists(const std::u16string& path);
bool IsFolder(const std::u16string& path);

// The system's own words for an error code (strerror, FormatMessage), for
// the errors FileError has no name for.
std::u16string SystemErrorText(uint32_t code);

}  // namespace quorvel
