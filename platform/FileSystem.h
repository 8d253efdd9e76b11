// File services the cipher core runs on: open a source, create a new output,
// read and write whole blocks, replace one name by another, remove a file;
// and the questions about names that the command line asks around its jobs.
// Paths are UTF-16; each side (POSIX, Win32) converts at its own boundary.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace quorvel {

// What went wrong, in terms a user message can name. The system's own code
// (errno or GetLastError) travels beside it for diagnostics.
enum class FileError {
    None,
    NotFound,
    AccessDenied,
    InUse,      // held by another program without sharing
    DiskFull,
    Truncated,  // the file ended before the length taken at the start
    Exists,
    Other,
};

struct FileStatus {
    FileError error = FileError::None;
    uint32_t systemCode = 0;

    explicit operator bool() const { return error == FileError::None; }
};

class File {
public:
    virtual ~File() = default;
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    virtual FileStatus GetLength(uint64_t& length) = 0;
    // Reads up to count bytes; got < count only at the end of the file.
    virtual FileStatus Read(void* buffer, uint32_t count, uint32_t& got) = 0;
    // Writes all count bytes or fails.
    virtual FileStatus Write(const void* buffer, uint32_t count) = 0;
    // Flushes and closes; a failure here means the written data may be lost.
    virtual FileStatus Close() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens an existing file for reading; other readers may share it, writers may not.
    virtual FileStatus OpenRead(const std::u16string& path, std::unique_ptr<File>& file) = 0;
    // Creates a file that must not exist yet, for writing, not shared.
    virtual FileStatus CreateNew(const std::u16string& path, std::unique_ptr<File>& file) = 0;
    // Renames from over to, replacing an existing to in one step.
    virtual FileStatus Replace(const std::u16string& from, const std::u16string& to) = 0;
    virtual FileStatus Remove(const std::u16string& path) = 0;
};

// The real file system of the platform the program was built for.
FileSystem& SystemFileSystem();

// The folder part of a path including its trailing separator ("" for a bare name).
std::u16string FolderOf(const std::u16string& path);

// Names in folders, for callers that must check before or around a job.

// The same file whatever the path that names it (links, "./", case on Windows).
struct FileId {
    uint64_t volume = 0;
    uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};
std::optional<FileId> IdentityOf(const std::u16string& path);

// Renames from to to, failing with FileError::Exists when to exists, in one
// step where the file system allows it.
FileStatus RenameNoReplace(const std::u16string& from, const std::u16string& to);

// Whether anything, even a dangling link, has this name.
bool PathExists(const std::u16string& path);
bool IsFolder(const std::u16string& path);

// The separator appended to a folder given without one.
char16_t PathSeparator();

// A name as the file system compares names: as is on POSIX, case-folded on Windows.
std::u16string FoldName(std::u16string name);

}  // namespace quorvel
