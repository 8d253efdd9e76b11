// File services the cipher core runs on: open a source, make a new output
// that no name shows until it is complete, read and write whole blocks; and
// the questions about names that the command line asks around its jobs.
// Paths are UTF-16; each side (POSIX, Win32) converts at its own boundary.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// What went wrong, in terms a user message can name. The system's own code
// (errno or GetLastError) travels beside it for diagnostics.
enum class FileError {
    None,
    NotFound,
    AccessDenied,
    InUse,            // held by another program without sharing
    DiskFull,
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
    // Every byte is written: gives the file its permissions (where given),
    // puts its bytes on the disk while it still has no name, and closes it.
    // A failure here means written data may be lost; the output is not kept.
    virtual FileStatus Finish(std::optional<uint32_t> permissions) = 0;
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
    // Puts the names in folder (ending in a separator; empty means the current
    // directory) on the disk, so that a name just given survives a power cut.
    virtual FileStatus FlushFolder(const std::u16string& folder) = 0;
};

// The real file system of the platform the program was built for.
FileSystem& SystemFileSystem();

// The two moments an output is put on the disk: its bytes before it has a
// name (fdatasync, FlushFileBuffers), then its folder's names after it got
// one (fsync of the folder, FlushFileBuffers on the folder).
enum class FlushStep { Data, Folder };
// Stands in for the system's flush at each step, for tests that watch the
// order or make a flush fail: called with the step and the system's own call,
// it returns what the flush is to report. The data flushes of outputs put on
// the disk together call it from several threads at once.
using FlushSeam = std::function<FileStatus(FlushStep step, const std::function<FileStatus()>& systemCall)>;
// The system's file services with their flushes passed through seam.
std::unique_ptr<FileSystem> MakeSystemFileSystem(FlushSeam seam);

// Removes a file (quorvel-cli --rm); never a folder.
FileStatus RemoveFile(const std::u16string& path);

// How many files the process may hold open at once (the soft limit on POSIX;
// Windows sets none that a program meets).
size_t OpenFileLimit();

// The process's standard input as a source of unknown length, and its
// standard output as an output that needs no name: byte streams on every
// system, never text. A read or write that waits gives up with Interrupted
// once an interrupt has come (platform/Terminal.h), so a stalled pipe cannot
// hold a stopped run.
// blockBytes: what one read or write moves; a pipe is widened to hold it
// where the system allows.
std::unique_ptr<File> StandardInputFile(uint32_t blockBytes);
std::unique_ptr<OutputFile> StandardOutputFile(uint32_t blockBytes);

// Whether c separates the parts of a path: '/', and on Windows '\' too.
bool IsPathSeparator(char16_t c);
// The folder part of a path including its trailing separator ("" for a bare name).
std::u16string FolderOf(const std::u16string& path);
// The name after the folder part ("" for a path that ends in a separator).
std::u16string NameOf(const std::u16string& path);

// Names in folders, for callers that must check before or around a job.

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

// Wildcards in the last component of a path: * stands for any run of
// characters, ? for one. A Windows shell passes them through as typed and
// every program expands them itself; a POSIX shell has expanded them before
// the program starts, so there a path is never a pattern.
struct WildcardMatches {
    bool isPattern = false;
    // The folder part of the pattern as given + each matching name, in the
    // order the folder lists them. Only ordinary files: never a folder, a
    // temporary output, or a hidden or system file (named in full, those are
    // taken).
    std::vector<std::u16string> paths;
    FileStatus status;  // why the folder could not be listed
};
WildcardMatches ExpandWildcards(const std::u16string& pattern);

// The separator appended to a folder given without one.
char16_t PathSeparator();

// A name as the file system compares names: as is on POSIX, case-folded on Windows.
std::u16string FoldName(std::u16string name);

// The system's own words for an error code (strerror, FormatMessage), for
// the errors FileError has no name for.
std::u16string SystemErrorText(uint32_t code);

// Temporary outputs are named ".quorvel-" + 8 hexadecimal digits + ".tmp".
bool IsTemporaryOutputName(const std::u16string& name);
std::u16string NewTemporaryOutputName();
// Makes something under a new temporary name in folder: create(path) makes
// it, or answers Exists when the name is taken, and another name is tried.
// Each name is random, so a taken one is another run's; after a hundred in a
// row, NoTemporaryName.
FileStatus CreateUnderTemporaryName(const std::u16string& folder,
                                    const std::function<FileStatus(const std::u16string& path)>& create);

}  // namespace quorvel
