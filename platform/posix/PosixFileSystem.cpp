// POSIX side of the file services: file descriptors, errno mapped to FileError.
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/posix/UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {
namespace {

FileStatus FromErrno(int code)
{
    FileError error = FileError::Other;
    switch (code) {
    case ENOENT:
    case ENOTDIR:
        error = FileError::NotFound;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        error = FileError::AccessDenied;
        break;
    case ETXTBSY:
    case EBUSY:
        error = FileError::InUse;
        break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        error = FileError::DiskFull;
        break;
    case EEXIST:
        error = FileError::Exists;
        break;
    default:
        break;
    }
    return {error, static_cast<uint32_t>(code)};
}

class PosixFile final : public File {
public:
    explicit PosixFile(UniqueFd fd) : m_fd(std::move(fd)) {}

    FileStatus GetLength(uint64_t& length) override
    {
        struct stat st {};
        if (::fstat(m_fd.Get(), &st) != 0)
            return FromErrno(errno);
        length = static_cast<uint64_t>(st.st_size);
        return {};
    }

    FileStatus Read(void* buffer, uint32_t count, uint32_t& got) override
    {
        // read() may return less than asked (signals, pipes, network file
        // systems); only a zero return means the end of the file.
        got = 0;
        auto* p = static_cast<char*>(buffer);
        while (got < count) {
            const ssize_t r = ::read(m_fd.Get(), p + got, count - got);
            if (r < 0) {
                if (errno == EINTR)
                    continue;
                return FromErrno(errno);
            }
            if (r == 0)
                break;
            got += static_cast<uint32_t>(r);
        }
        return {};
    }

    FileStatus Write(const void* buffer, uint32_t count) override
    {
        const auto* p = static_cast<const char*>(buffer);
        uint32_t done = 0;
        while (done < count) {
            const ssize_t w = ::write(m_fd.Get(), p + done, count - done);
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                return FromErrno(errno);
            }
            done += static_cast<uint32_t>(w);
        }
        return {};
    }

    FileStatus Close() override
    {
        // close() reports delayed write errors (NFS, quota); it must not be retried.
        if (::close(m_fd.Release()) != 0 && errno != EINTR)
            return FromErrno(errno);
        return {};
    }

private:
    UniqueFd m_fd;
};

class PosixFileSystem final : public FileSystem {
public:
    FileStatus OpenRead(const std::u16string& path, std::unique_ptr<File>& file) override
    {
        UniqueFd fd(::open(Utf16ToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
        if (!fd)
            return FromErrno(errno);
        struct stat st {};
        if (::fstat(fd.Get(), &st) == 0 && S_ISDIR(st.st_mode))
            return {FileError::NotFound, static_cast<uint32_t>(EISDIR)};
        file = std::make_unique<PosixFile>(std::move(fd));
        return {};
    }

    FileStatus CreateNew(const std::u16string& path, std::unique_ptr<File>& file) override
    {
        UniqueFd fd(::open(Utf16ToUtf8(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd)
            return FromErrno(errno);
        file = std::make_unique<PosixFile>(std::move(fd));
        return {};
    }

    FileStatus Replace(const std::u16string& from, const std::u16string& to) override
    {
        if (::rename(Utf16ToUtf8(from).c_str(), Utf16ToUtf8(to).c_str()) != 0)
            return FromErrno(errno);
        return {};
    }

    FileStatus Remove(const std::u16string& path) override
    {
        if (::unlink(Utf16ToUtf8(path).c_str()) != 0)
            return FromErrno(errno);
        return {};
    }
};

}  // namespace

FileSystem& SystemFileSystem()
{
    static PosixFileSystem fs;
    return fs;
}

std::optional<FileId> IdentityOf(const std::u16string& path)
{
    struct stat st {};
    if (::stat(Utf16ToUtf8(path).c_str(), &st) != 0)
        return std::nullopt;
    return FileId {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

FileStatus RenameNoReplace(const std::u16string& from, const std::u16string& to)
{
    const std::string source = Utf16ToUtf8(from), target = Utf16ToUtf8(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno != EINVAL && errno != ENOSYS)
        return FromErrno(errno);
    // No RENAME_NOREPLACE on this file system: a hard link refuses an
    // existing name just as well; then the temporary name goes.
    if (::link(source.c_str(), target.c_str()) != 0)
        return FromErrno(errno);
    ::unlink(source.c_str());
    return {};
}

bool PathExists(const std::u16string& path)
{
    struct stat st {};
    return ::lstat(Utf16ToUtf8(path).c_str(), &st) == 0;
}

bool IsFolder(const std::u16string& path)
{
    struct stat st {};
    return ::stat(Utf16ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

char16_t PathSeparator()
{
    return u'/';
}

std::u16string FoldName(std::u16string name)
{
    return name;
}

int64_t CurrentTime()
{
    return static_cast<int64_t>(std::time(nullptr));
}

std::optional<LocalTime> ToLocalTime(int64_t t)
{
    const auto tt = static_cast<std::time_t>(t);
    if (static_cast<int64_t>(tt) != t)
        return std::nullopt;
    std::tm tm {};
    if (::localtime_r(&tt, &tm) == nullptr)
        return std::nullopt;
    return LocalTime {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

}  // namespace quorvel
