// POSIX side of the file services: file descriptors, errno mapped to FileError,
// outputs as unnamed files (O_TMPFILE) that a crash cannot leave behind, on
// the disk before they are named; on file systems that lack what that needs
// (FAT, exFAT, many FUSE and network ones), the nearest that they allow.
#include "platform/FileNames.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/PosixIo.h"
#include "platform/posix/UniqueFd.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace quorvel {
namespace {

// What a file that is not an ordinary one is, in FileError's words.
FileError KindError(mode_t mode)
{
    if (S_ISREG(mode))
        return FileError::None;
    if (S_ISDIR(mode))
        return FileError::IsFolder;
    if (S_ISFIFO(mode))
        return FileError::IsPipe;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return FileError::IsDevice;
    return FileError::NotRegular;
}

// Closes a descriptor whose close may report a delayed write error (NFS,
// quotas); it must not be retried.
FileStatus CloseChecked(UniqueFd& fd)
{
    if (::close(fd.Release()) != 0 && errno != EINTR)
        return FromErrno(errno);
    return {};
}

class PosixFile final : public File {
public:
    PosixFile(UniqueFd fd, mode_t mode) : m_fd(std::move(fd)), m_mode(mode) {}

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
        return ReadFully(m_fd.Get(), buffer, count, got, false);
    }

    FileStatus Close() override { return CloseChecked(m_fd); }

    std::optional<uint32_t> Permissions() override { return static_cast<uint32_t>(m_mode & 0777); }

private:
    UniqueFd m_fd;
    mode_t m_mode;
};

// Writeback is started on every stretch this long as soon as it is written,
// and the writer waits for the stretch before it: the disk works while the
// job runs, dirty pages never pile up, and the flush at the end finds at most
// two stretches left.
constexpr uint64_t kWritebackStretch = 8 << 20;

// What a flush of the system's (fdatasync, fsync) returned.
FileStatus Flushed(int result)
{
    // EINVAL: a file system that cannot flush at all (some FUSE ones); its
    // files are as durable as it makes them, and no retry helps.
    if (result != 0 && errno != EINVAL)
        return FromErrno(errno);
    return {};
}

// Runs one of the system's flushes, through the tests' seam where there is one.
FileStatus Flush(const FlushSeam& seam, FlushStep step, const std::function<FileStatus()>& systemCall)
{
    return seam ? seam(step, systemCall) : systemCall();
}

// A sweep writes out everything its file system holds, other programs'
// unwritten data too, which the system would write within half a minute
// anyway. That is worth it while there is not much of it: at most this much
// beyond the outputs' own bytes, which a desktop's disk takes in about a
// second, and which a program writing gigabytes alongside soon passes.
constexpr uint64_t kSweepSlack = 256 << 20;

// The system's data not yet on the disk (/proc/meminfo's Dirty and
// Writeback), or nothing where that cannot be read.
std::optional<uint64_t> UnwrittenBytes()
{
    std::FILE* meminfo = std::fopen("/proc/meminfo", "re");
    if (meminfo == nullptr)
        return std::nullopt;
    char line[256];
    uint64_t total = 0;
    int found = 0;
    while (found < 2 && std::fgets(line, sizeof line, meminfo) != nullptr) {
        unsigned long long kib = 0;
        if (std::sscanf(line, "Dirty: %llu kB", &kib) == 1 || std::sscanf(line, "Writeback: %llu kB", &kib) == 1) {
            total += kib * 1024;
            ++found;
        }
    }
    std::fclose(meminfo);
    return found == 2 ? std::optional<uint64_t>(total) : std::nullopt;
}

// Whether one sweep (syncfs) of the file system fd is on costs less than a
// flush of each output on it. Only local file systems whose sweep writes
// every byte and inode they hold: FUSE, network and other file systems may
// take a sweep as a no-op, and tmpfs flushes cost nothing anyway.
bool SweepIsCheaper(int fd, uint64_t outputBytes)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    constexpr long kExt = 0xEF53, kXfs = 0x58465342, kBtrfs = 0x9123683E;
    const long type = static_cast<long>(fs.f_type);
    if (type != kExt && type != kXfs && type != kBtrfs)
        return false;
    const std::optional<uint64_t> unwritten = UnwrittenBytes();
    return unwritten && *unwritten <= outputBytes + kSweepSlack;
}

// Which outputs a sweep of their file system has put on the disk. An output
// joins the next sweep of its device; it is covered once a sweep that began
// after it joined has succeeded. Shared by a file system and its outputs,
// which may finish on several threads.
class SweepLedger {
public:
    SweepLedger(Sweeping sweeping, FlushSeam seam) : m_sweeping(sweeping), m_seam(std::move(seam)) {}

    // An output of bytes in folder (on device id) joins; returns its ticket for Covers.
    uint64_t Join(dev_t id, const std::string& folder, uint64_t bytes)
    {
        std::lock_guard lock(m_mutex);
        Device& device = m_devices[id];
        if (!std::exchange(device.joined, true))
            device.folder = folder;
        device.bytes += bytes;
        return device.started;
    }

    bool Covers(dev_t id, uint64_t ticket)
    {
        std::lock_guard lock(m_mutex);
        return m_devices[id].covered > ticket;
    }

    bool Sweep()
    {
        std::lock_guard lock(m_mutex);
        bool all = true;
        for (auto& [id, device] : m_devices) {
            if (!std::exchange(device.joined, false))
                continue;
            const uint64_t bytes = std::exchange(device.bytes, 0);
            if (m_sweeping == Sweeping::Never) {
                all = false;
                continue;
            }
            // Swept through a folder of theirs, not through an output: the
            // flush below would take an output's write error for itself, and
            // the output's own flush would no longer see it.
            const UniqueFd fd(
                ::open(device.folder.empty() ? "." : device.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            struct stat st {};
            const bool there = fd && ::fstat(fd.Get(), &st) == 0 && st.st_dev == id;
            if (!there || (m_sweeping == Sweeping::WhenCheaper && !SweepIsCheaper(fd.Get(), bytes))) {
                all = false;
                continue;
            }
            const uint64_t number = ++device.started;
            // syncfs writes every byte and inode; on a file system without a
            // journal its last writes may still sit in the disk's cache, which
            // the flush of any file on it empties.
            const FileStatus swept = Flush(m_seam, FlushStep::Volume, [&]() -> FileStatus {
                if (::syncfs(fd.Get()) != 0)
                    return FromErrno(errno);
                return Flushed(::fdatasync(fd.Get()));
            });
            if (swept)
                device.covered = number;
            else
                all = false;
        }
        return all;
    }

private:
    struct Device {
        uint64_t started = 0;  // sweeps begun
        uint64_t covered = 0;  // the number of the last one that succeeded
        bool joined = false;   // outputs wait for the next one
        std::string folder;    // the folder of the first of them
        uint64_t bytes = 0;    // their bytes
    };

    Sweeping m_sweeping;
    FlushSeam m_seam;
    std::mutex m_mutex;
    std::map<dev_t, Device> m_devices;
};

// What a file system lacks that publishing would use. Each is learnt from
// the first call that it refuses as not supported there, and the outputs
// after it on that file system go straight to what works: one failed call
// per run, not one per file.
enum class Lack : unsigned {
    UnnamedFiles = 1,     // O_TMPFILE
    NoReplaceRename = 2,  // renameat2's RENAME_NOREPLACE
    HardLinks = 4,
    Modes = 8,  // permission bits (FAT, exFAT, some FUSE and network file systems)
};

class FileSystemLacks {
public:
    bool Has(dev_t device, Lack lack)
    {
        std::lock_guard lock(m_mutex);
        return (m_lacks[device] & static_cast<unsigned>(lack)) != 0;
    }

    void Learn(dev_t device, Lack lack)
    {
        std::lock_guard lock(m_mutex);
        m_lacks[device] |= static_cast<unsigned>(lack);
    }

private:
    std::mutex m_mutex;
    std::map<dev_t, unsigned> m_lacks;
};

// Whether error is a file system's "not supported here" for a call that is
// otherwise right; only these make a fallback, every other error is the answer.
bool Unsupported(Lack lack, int error)
{
    switch (lack) {
    case Lack::UnnamedFiles:
        return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
    case Lack::NoReplaceRename:
        return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
    case Lack::HardLinks:
    case Lack::Modes:
        // Of a file this process made and owns: EPERM can only mean the file system.
        return error == EPERM || error == ENOSYS || error == EOPNOTSUPP;
    }
    return false;
}

// An output written to an unnamed file (O_TMPFILE) that gets its name only
// at Publish, or, where the file system cannot make unnamed files, to a
// named temporary from the start that Publish renames.
class PosixOutputFile final : public OutputFile {
public:
    PosixOutputFile(UniqueFd fd, std::string folder, dev_t device, std::string temporary, FlushSeam seam,
                    std::shared_ptr<SweepLedger> sweeps, std::shared_ptr<FileSystemLacks> lacks)
        : m_fd(std::move(fd)), m_folder(std::move(folder)), m_temporary(std::move(temporary)),
          m_seam(std::move(seam)), m_sweeps(std::move(sweeps)), m_lacks(std::move(lacks)), m_device(device)
    {
    }

    ~PosixOutputFile() override
    {
        m_fd.Reset();
        if (!m_temporary.empty())
            ::unlink(m_temporary.c_str());
    }

    FileStatus Write(const void* buffer, uint32_t count) override
    {
        if (const FileStatus written = WriteFully(m_fd.Get(), buffer, count, false); !written)
            return written;
        m_written += count;
        if (m_written - m_stretchStart >= kWritebackStretch)
            return StartWriteback();
        return {};
    }

    FileStatus JoinSweep(std::optional<uint32_t> permissions) override
    {
        if (const FileStatus given = GivePermissions(permissions); !given)
            return given;
        m_ticket = m_sweeps->Join(m_device, m_folder, m_written);
        return {};
    }

    FileStatus Finish(std::optional<uint32_t> permissions) override
    {
        if (const FileStatus given = GivePermissions(permissions); !given)
            return given;
        // Every byte on the disk before any name shows the file: a power cut
        // after the rename must not leave an empty or holed output.
        const FileStatus flushed = m_ticket && m_sweeps->Covers(m_device, *m_ticket)
                                       ? Flush(m_seam, FlushStep::Confirm, [&] { return ConfirmSwept(); })
                                       : Flush(m_seam, FlushStep::Data, [&] { return FlushData(); });
        if (!flushed)
            return flushed;
        // An unnamed file keeps its descriptor until Publish names it.
        return m_temporary.empty() ? FileStatus {} : CloseChecked(m_fd);
    }

    FileStatus Publish(const std::u16string& path, bool replace) override
    {
        const std::string target = Utf16ToUtf8(path);
        if (m_temporary.empty()) {
            // A link refuses an existing name just as a rename that keeps it
            // does: an unnamed file then gets its name in one step.
            if (!replace) {
                const FileStatus linked = LinkAs(target);
                return linked ? CloseChecked(m_fd) : linked;
            }
            if (const FileStatus linked = LinkUnnamed(); !linked)
                return linked;
            if (const FileStatus closed = CloseChecked(m_fd); !closed)
                return closed;
        }
        const FileStatus renamed = replace ? RenameReplacing(target) : RenameKeeping(target);
        if (renamed)
            m_temporary.clear();
        return renamed;
    }

private:
    FileStatus GivePermissions(std::optional<uint32_t> permissions)
    {
        if (!permissions || std::exchange(m_permissionsGiven, true) || m_lacks->Has(m_device, Lack::Modes))
            return {};
        if (::fchmod(m_fd.Get(), static_cast<mode_t>(*permissions & 0777)) == 0)
            return {};
        // A file system that keeps no modes: the file has whatever its mount
        // gives every file, as any file copied there would.
        if (!Unsupported(Lack::Modes, errno))
            return FromErrno(errno);
        m_lacks->Learn(m_device, Lack::Modes);
        return {};
    }

    FileStatus FlushData() { return Flushed(::fdatasync(m_fd.Get())); }

    // After a sweep wrote this file's bytes: a failure that writing met (a
    // bad block, a full disk found only when the blocks were placed) is this
    // file's alone, and waiting on its range reports it without a flush.
    FileStatus ConfirmSwept()
    {
        if (::sync_file_range(m_fd.Get(), 0, 0,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) == 0)
            return {};
        if (errno == EIO || errno == ENOSPC || errno == EDQUOT)
            return FromErrno(errno);
        return FlushData();
    }

    // Starts writing the stretch just finished and waits for the one before.
    // Only an error of the disk itself counts: where the file system has no
    // such call, the flush at the end does all the work.
    FileStatus StartWriteback()
    {
        if (m_writeback) {
            int result = 0;
            if (m_stretchStart > m_waitedTo)
                result = ::sync_file_range(m_fd.Get(), static_cast<off_t>(m_waitedTo),
                                           static_cast<off_t>(m_stretchStart - m_waitedTo),
                                           SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                               SYNC_FILE_RANGE_WAIT_AFTER);
            if (result == 0)
                result = ::sync_file_range(m_fd.Get(), static_cast<off_t>(m_stretchStart),
                                           static_cast<off_t>(m_written - m_stretchStart), SYNC_FILE_RANGE_WRITE);
            if (result != 0) {
                if (errno == EIO || errno == ENOSPC || errno == EDQUOT)
                    return FromErrno(errno);
                m_writeback = false;
            }
        }
        m_waitedTo = m_stretchStart;
        m_stretchStart = m_written;
        return {};
    }

    // Gives the unnamed file a name, never replacing one; through /proc,
    // which needs no privilege, else by the descriptor itself.
    FileStatus LinkAs(const std::string& name)
    {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd.Get());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return {};
        const int error = errno;
        if (error != EEXIST && ::linkat(m_fd.Get(), "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0)
            return {};
        return FromErrno(error);
    }

    // Gives the unnamed file a temporary name in its folder, to be renamed.
    FileStatus LinkUnnamed()
    {
        return CreateUnderTemporaryName(Utf8ToUtf16(m_folder), [&](const std::u16string& path) {
            std::string name = Utf16ToUtf8(path);
            const FileStatus linked = LinkAs(name);
            if (linked)
                m_temporary = std::move(name);
            return linked;
        });
    }

    FileStatus RenameReplacing(const std::string& target)
    {
        if (::rename(m_temporary.c_str(), target.c_str()) != 0)
            return FromErrno(errno);
        return {};
    }

    FileStatus RenameKeeping(const std::string& target)
    {
        if (!m_lacks->Has(m_device, Lack::NoReplaceRename)) {
            if (::renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
                return {};
            if (!Unsupported(Lack::NoReplaceRename, errno))
                return FromErrno(errno);
            m_lacks->Learn(m_device, Lack::NoReplaceRename);
        }
        if (!m_lacks->Has(m_device, Lack::HardLinks)) {
            // A hard link refuses an existing name just as well; then the
            // temporary name goes.
            if (::link(m_temporary.c_str(), target.c_str()) == 0)
                return UnlinkTemporary(target);
            if (!Unsupported(Lack::HardLinks, errno))
                return FromErrno(errno);
            m_lacks->Learn(m_device, Lack::HardLinks);
        }
        // Neither (FAT, exFAT, many FUSE file systems): the name is looked up
        // just before a plain rename. A file another program makes under that
        // name in between is replaced; nothing closer is to be had there.
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0)
            return {FileError::Exists, EEXIST};
        if (errno != ENOENT)
            return FromErrno(errno);
        return RenameReplacing(target);
    }

    // The linked output's temporary name goes.
    FileStatus UnlinkTemporary(const std::string& target)
    {
        if (::unlink(m_temporary.c_str()) == 0)
            return {};
        // Two names for one output is no success. The new name goes again,
        // which restores the folder as it was (the link refused an existing
        // name, so nothing of the user's is lost; the source is untouched),
        // and the temporary stays this output's, for its destructor.
        const FileStatus unlinked = FromErrno(errno);
        ::unlink(target.c_str());
        return unlinked;
    }

    UniqueFd m_fd;
    std::string m_folder;     // with its separator, or empty for the current directory
    std::string m_temporary;  // the temporary name, once there is one
    FlushSeam m_seam;
    std::shared_ptr<SweepLedger> m_sweeps;
    std::shared_ptr<FileSystemLacks> m_lacks;
    std::optional<uint64_t> m_ticket;  // once it joined a sweep
    dev_t m_device;                    // the file system it is on
    bool m_permissionsGiven = false;
    uint64_t m_written = 0;       // bytes written so far
    uint64_t m_stretchStart = 0;  // where the stretch being written starts
    uint64_t m_waitedTo = 0;      // everything before this is on the disk
    bool m_writeback = true;      // false once the file system refused sync_file_range
};

class PosixFileSystem final : public FileSystem {
public:
    PosixFileSystem(bool unnamedTemporaries, FlushSeam seam, Sweeping sweeping)
        : m_unnamedTemporaries(unnamedTemporaries), m_seam(std::move(seam)),
          m_sweeps(std::make_shared<SweepLedger>(sweeping, m_seam)), m_lacks(std::make_shared<FileSystemLacks>())
    {
    }

    FileStatus OpenRead(const std::u16string& path, std::unique_ptr<File>& file) override
    {
        const std::string name = Utf16ToUtf8(path);
        // Looked at before opening: opening a device can have effects of its own.
        struct stat st {};
        if (::stat(name.c_str(), &st) != 0)
            return FromErrno(errno);
        if (const FileError kind = KindError(st.st_mode); kind != FileError::None)
            return {kind, 0};
        // Non-blocking, so a file swapped for a pipe meanwhile cannot hold the
        // open until a writer comes; the kind is checked again on what opened.
        UniqueFd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (!fd)
            return FromErrno(errno);
        if (::fstat(fd.Get(), &st) != 0)
            return FromErrno(errno);
        if (const FileError kind = KindError(st.st_mode); kind != FileError::None)
            return {kind, 0};
        ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
        file = std::make_unique<PosixFile>(std::move(fd), st.st_mode);
        return {};
    }

    FileStatus CreateOutput(const std::u16string& folder, std::unique_ptr<OutputFile>& file) override
    {
        const std::string where = Utf16ToUtf8(folder);
        const char* const opened = where.empty() ? "." : where.c_str();
        // The folder's file system decides what its outputs can use.
        struct stat st {};
        if (::stat(opened, &st) != 0)
            return FromErrno(errno);
        // Unnamed files are linked through /proc, which is there or not for the whole run.
        static const bool procFds = ::access("/proc/self/fd", X_OK) == 0;
        if (m_unnamedTemporaries && procFds && !m_lacks->Has(st.st_dev, Lack::UnnamedFiles)) {
            UniqueFd fd(::open(opened, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
            if (fd) {
                file = std::make_unique<PosixOutputFile>(std::move(fd), where, st.st_dev, std::string(), m_seam,
                                                         m_sweeps, m_lacks);
                return {};
            }
            // Other errors (no permission, a full disk) are the answer.
            if (!Unsupported(Lack::UnnamedFiles, errno))
                return FromErrno(errno);
            m_lacks->Learn(st.st_dev, Lack::UnnamedFiles);
        }
        return CreateUnderTemporaryName(folder, [&](const std::u16string& path) {
            std::string name = Utf16ToUtf8(path);
            UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (!fd)
                return FromErrno(errno);
            file = std::make_unique<PosixOutputFile>(std::move(fd), where, st.st_dev, std::move(name), m_seam,
                                                     m_sweeps, m_lacks);
            return FileStatus {};
        });
    }

    FileStatus CheckNewName(const std::u16string& folder, const std::u16string& name) override
    {
        if (Utf16ToUtf8(name).size() > NameLimit(folder))
            return {FileError::NameTooLong, ENAMETOOLONG};
        return {};
    }

    FileStatus CheckSizeFits(const std::u16string& folder, uint64_t bytes) override
    {
        // Past the process's own limit (ulimit -f) every write fails.
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && bytes > limit.rlim_cur)
            return {FileError::TooLarge, EFBIG};
        // The kernel's FAT (vfat, msdos) holds files of up to 4 GiB - 1. A FAT
        // through FUSE cannot be told apart; there the write itself says so.
        constexpr uint64_t kFatLargest = 0xFFFFFFFF;
        constexpr long kMsdosMagic = 0x4d44;
        struct statfs fs {};
        const std::string where = Utf16ToUtf8(folder);
        if (bytes > kFatLargest && ::statfs(where.empty() ? "." : where.c_str(), &fs) == 0 &&
            static_cast<long>(fs.f_type) == kMsdosMagic)
            return {FileError::TooLarge, EFBIG};
        return {};
    }

    FileStatus FlushFolder(const std::u16string& folder) override
    {
        const std::string where = Utf16ToUtf8(folder);
        UniqueFd fd(::open(where.empty() ? "." : where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!fd)
            return FromErrno(errno);
        const FileStatus flushed = Flush(m_seam, FlushStep::Folder, [&] { return Flushed(::fsync(fd.Get())); });
        const FileStatus closed = CloseChecked(fd);
        return flushed ? closed : flushed;
    }

    bool Sweep() override { return m_sweeps->Sweep(); }

private:
    // The longest name the folder takes, asked once for the folder named
    // last: a run of many files writes them into few folders.
    size_t NameLimit(const std::u16string& folder)
    {
        std::lock_guard lock(m_nameLimitMutex);
        if (!m_nameLimit || folder != m_nameLimitFolder) {
            const std::string where = Utf16ToUtf8(folder);
            const long limit = ::pathconf(where.empty() ? "." : where.c_str(), _PC_NAME_MAX);
            m_nameLimit = limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
            m_nameLimitFolder = folder;
        }
        return *m_nameLimit;
    }

    bool m_unnamedTemporaries;
    FlushSeam m_seam;
    std::shared_ptr<SweepLedger> m_sweeps;
    std::shared_ptr<FileSystemLacks> m_lacks;
    std::mutex m_nameLimitMutex;
    std::u16string m_nameLimitFolder;
    std::optional<size_t> m_nameLimit;
};

}  // namespace

FileSystem& SystemFileSystem()
{
    static PosixFileSystem fs(true, {}, Sweeping::WhenCheaper);
    return fs;
}

std::unique_ptr<FileSystem> MakeSystemFileSystem(FlushSeam seam, Sweeping sweeping)
{
    return std::make_unique<PosixFileSystem>(true, std::move(seam), sweeping);
}

std::unique_ptr<FileSystem> MakePosixFileSystem(bool unnamedTemporaries, FlushSeam seam, Sweeping sweeping)
{
    return std::make_unique<PosixFileSystem>(unnamedTemporaries, std::move(seam), sweeping);
}

}  // namespace quorvel
