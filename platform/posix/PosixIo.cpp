// POSIX read and write loops, errno in FileError's words, and the standard
// streams' side of them.
#include "platform/posix/PosixIo.h"

#include "platform/StandardStreams.h"
#include "platform/Terminal.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel {
namespace {

// Waits until fd can be read (or written), giving up on an interrupt.
FileStatus WaitReady(int fd, short events)
{
    pollfd wanted {fd, events, 0};
    for (;;) {
        if (Interrupted())
            return {FileError::Interrupted, EINTR};
        const int ready = ::poll(&wanted, 1, 200);
        if (ready > 0)
            return {};
        if (ready < 0 && errno != EINTR)
            return FromErrno(errno);
    }
}

}  // namespace

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
        error = FileError::DiskFull;
        break;
    case EFBIG:
        error = FileError::TooLarge;
        break;
    case EIO:
        error = FileError::DiskError;
        break;
    case EEXIST:
        error = FileError::Exists;
        break;
    case EISDIR:
        error = FileError::IsFolder;
        break;
    case ENAMETOOLONG:
        error = FileError::NameTooLong;
        break;
    case ENXIO:
    case ENODEV:
        error = FileError::IsDevice;
        break;
    case EPIPE:
        error = FileError::Interrupted;  // the reader went away: SIGPIPE has come too
        break;
    default:
        break;
    }
    return {error, static_cast<uint32_t>(code)};
}

FileStatus ReadFully(int fd, void* buffer, uint32_t count, uint32_t& got, bool stream)
{
    got = 0;
    auto* p = static_cast<char*>(buffer);
    while (got < count) {
        if (stream) {
            if (const FileStatus ready = WaitReady(fd, POLLIN); !ready)
                return ready;
        }
        const ssize_t r = ::read(fd, p + got, count - got);
        if (r < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return FromErrno(errno);
        }
        if (r == 0)
            break;
        got += static_cast<uint32_t>(r);
    }
    return {};
}

FileStatus WriteFully(int fd, const void* buffer, uint32_t count, bool stream)
{
    const auto* p = static_cast<const char*>(buffer);
    uint32_t done = 0;
    while (done < count) {
        if (stream) {
            if (const FileStatus ready = WaitReady(fd, POLLOUT); !ready)
                return ready;
        }
        const ssize_t w = ::write(fd, p + done, count - done);
        if (w < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return FromErrno(errno);
        }
        if (w == 0)
            return {FileError::DiskFull, ENOSPC};  // no progress: never loop on it
        done += static_cast<uint32_t>(w);
    }
    return {};
}

FileStatus ReadStandardInputFully(void* buffer, uint32_t count, uint32_t& got)
{
    return ReadFully(STDIN_FILENO, buffer, count, got, true);
}

FileStatus WriteStandardOutputFully(const void* buffer, uint32_t count)
{
    return WriteFully(STDOUT_FILENO, buffer, count, true);
}

// A pipe's buffer (64 KiB by default) as large as a block: a block then
// crosses in one read or write, not four, with fewer switches between writer
// and reader. A pipe works either way.
void WidenStandardStream(bool output, uint32_t blockBytes)
{
    const int fd = output ? STDOUT_FILENO : STDIN_FILENO;
    const int wanted = static_cast<int>(blockBytes);
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode) && ::fcntl(fd, F_GETPIPE_SZ) < wanted)
        ::fcntl(fd, F_SETPIPE_SZ, wanted);
}

}  // namespace quorvel
