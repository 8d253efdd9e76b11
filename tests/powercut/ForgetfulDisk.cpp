// The forgetful disk: a FUSE file system that passes every call through to a
// folder and logs, in the order it served them, each call that changes what a
// power cut could keep. powercut_check replays the log and rebuilds, after
// each logged call, what the disk would hold had the power gone then.
//
//   forgetful_disk BACKING MOUNTPOINT LOG     (stays in the foreground)
//
// Served one call at a time (-s), so the log's order is the order the calls
// returned to the program. Identity is the backing file's inode number: a
// name maps to an inode, and link and rename keep it. Lines, one per call:
//   root INO | dir INO PARENT NAME | file INO PARENT NAME SIZE HASH
//       (what the folder held at the start, all of it on the disk)
//   create INO PARENT NAME | mkdir INO PARENT NAME | link INO PARENT NAME
//   unlink PARENT NAME | rmdir PARENT NAME
//   rename FLAGS FROMPARENT FROMNAME TOPARENT TONAME
//   write INO OFFSET LENGTH | truncate INO SIZE | setattr INO WHAT
//   fsync INO DATASYNC SIZE HASH | fsyncdir INO
// NAME is percent-escaped; HASH is the file's whole content (DiskLog.h).
// Only the calls the programs make are served: there is no unnamed-file call,
// so O_TMPFILE is refused, and no extended attributes, which Wine does
// without. sync and syncfs never reach a file system served by libfuse 3.14,
// so a program that counted on them would be found losing its data here.
//
//   forgetful_disk --block IMAGE MOUNTPOINT LOG   (stays in the foreground)
//
// The block device: MOUNTPOINT holds one file, "disk", whose bytes are
// IMAGE's, for a loop device to stand on. Each write the disk takes is
// logged as "write OFFSET LENGTH", its bytes appended to LOG.data, and each
// cache flush (the loop driver's fsync of its file) as "flush". A flush is
// always answered: a FUSE file system that answered ENOSYS would have the
// kernel take every later flush as done without asking, and the log would
// lose them. powercut_check rebuilds the disk at any cut from IMAGE's first
// state and the log.
#define FUSE_USE_VERSION 35
#include "DiskLog.h"

#include <fuse3/fuse.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

int g_root = -1;        // the backing folder
FILE* g_log = nullptr;  // flushed after every line, before the call returns

// A path from FUSE ("/a/b") relative to the backing folder.
const char* Rel(const char* path)
{
    return path[1] == '\0' ? "." : path + 1;
}

const char* NameOf(const char* path)
{
    return std::strrchr(path, '/') + 1;
}

unsigned long long InoAt(const char* path)
{
    struct stat st {};
    return ::fstatat(g_root, Rel(path), &st, AT_SYMLINK_NOFOLLOW) == 0 ? st.st_ino : 0;
}

unsigned long long ParentIno(const char* path)
{
    std::string parent(path, NameOf(path) - path);
    if (parent.size() > 1)
        parent.pop_back();
    return InoAt(parent.c_str());
}

unsigned long long InoOf(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_ino : 0;
}

void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(g_log, format, args);
    va_end(args);
    std::fputc('\n', g_log);
    std::fflush(g_log);
}

// The content of an open file, read through a descriptor of its own (the
// program's may be write-only, and the file may have no name left).
Fingerprint FingerprintOf(int fd)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int reader = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
    Fingerprint print;
    char buffer[1 << 16];
    ssize_t got = 0;
    while (reader >= 0 && (got = ::read(reader, buffer, sizeof buffer)) > 0)
        print.Add(buffer, static_cast<size_t>(got));
    if (reader >= 0)
        ::close(reader);
    return print;
}

// What the folder holds before the run: on the disk, by assumption.
void LogTree(const std::string& rel, unsigned long long ino)
{
    DIR* dir = ::fdopendir(::openat(g_root, rel.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir == nullptr)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const std::string path = rel + "/" + entry->d_name;
        struct stat st {};
        if (::fstatat(g_root, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const std::string name = Escaped(entry->d_name);
        if (S_ISDIR(st.st_mode)) {
            Log("dir %llu %llu %s", static_cast<unsigned long long>(st.st_ino), ino, name.c_str());
            LogTree(path, st.st_ino);
        } else {
            const int fd = ::openat(g_root, path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            const Fingerprint print = fd >= 0 ? FingerprintOf(fd) : Fingerprint {};
            if (fd >= 0)
                ::close(fd);
            Log("file %llu %llu %s %llu %016llx", static_cast<unsigned long long>(st.st_ino), ino, name.c_str(),
                print.size, print.hash);
        }
    }
    ::closedir(dir);
}

int Result(int r)
{
    return r < 0 ? -errno : r;
}

void* Init(fuse_conn_info*, fuse_config* config)
{
    config->use_ino = 1;      // programs compare files by identity
    config->hard_remove = 1;  // an open file unlinked goes, not to .fuse_hidden*
    config->nullpath_ok = 1;  // calls on open files go by descriptor
    config->entry_timeout = config->attr_timeout = config->negative_timeout = 0;
    return nullptr;
}

int GetAttr(const char* path, struct stat* st, fuse_file_info* fi)
{
    return Result(fi != nullptr ? ::fstat(static_cast<int>(fi->fh), st)
                                : ::fstatat(g_root, Rel(path), st, AT_SYMLINK_NOFOLLOW));
}

int Open(const char* path, fuse_file_info* fi)
{
    const int fd = ::openat(g_root, Rel(path), fi->flags & ~O_NOFOLLOW);
    if (fd < 0)
        return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    if ((fi->flags & O_TRUNC) != 0)
        Log("truncate %llu 0", InoOf(fd));
    return 0;
}

int Create(const char* path, mode_t mode, fuse_file_info* fi)
{
    const int fd = ::openat(g_root, Rel(path), fi->flags | O_CREAT, mode);
    if (fd < 0)
        return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    Log("create %llu %llu %s", InoOf(fd), ParentIno(path), Escaped(NameOf(path)).c_str());
    return 0;
}

int Read(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* fi)
{
    return Result(static_cast<int>(::pread(static_cast<int>(fi->fh), buffer, size, offset)));
}

int Write(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info* fi)
{
    const int fd = static_cast<int>(fi->fh);
    const ssize_t written = ::pwrite(fd, buffer, size, offset);
    if (written < 0)
        return -errno;
    Log("write %llu %lld %zd", InoOf(fd), static_cast<long long>(offset), written);
    return static_cast<int>(written);
}

unsigned long long InoFor(const char* path, fuse_file_info* fi)
{
    return fi != nullptr ? InoOf(static_cast<int>(fi->fh)) : InoAt(path);
}

int Truncate(const char* path, off_t size, fuse_file_info* fi)
{
    const std::string byName = "/proc/self/fd/" + std::to_string(g_root) + (path != nullptr ? path : "");
    if ((fi != nullptr ? ::ftruncate(static_cast<int>(fi->fh), size) : ::truncate(byName.c_str(), size)) != 0)
        return -errno;
    Log("truncate %llu %lld", InoFor(path, fi), static_cast<long long>(size));
    return 0;
}

int Chmod(const char* path, mode_t mode, fuse_file_info* fi)
{
    if ((fi != nullptr ? ::fchmod(static_cast<int>(fi->fh), mode) : ::fchmodat(g_root, Rel(path), mode, 0)) != 0)
        return -errno;
    Log("setattr %llu mode", InoFor(path, fi));
    return 0;
}

int Utimens(const char* path, const timespec times[2], fuse_file_info* fi)
{
    if ((fi != nullptr ? ::futimens(static_cast<int>(fi->fh), times)
                       : ::utimensat(g_root, Rel(path), times, AT_SYMLINK_NOFOLLOW)) != 0)
        return -errno;
    Log("setattr %llu times", InoFor(path, fi));
    return 0;
}

int Fsync(const char*, int datasync, fuse_file_info* fi)
{
    const int fd = static_cast<int>(fi->fh);
    if ((datasync != 0 ? ::fdatasync(fd) : ::fsync(fd)) != 0)
        return -errno;
    const Fingerprint print = FingerprintOf(fd);
    Log("fsync %llu %d %llu %016llx", InoOf(fd), datasync != 0 ? 1 : 0, print.size, print.hash);
    return 0;
}

int Release(const char*, fuse_file_info* fi)
{
    ::close(static_cast<int>(fi->fh));
    return 0;
}

int MakeDir(const char* path, mode_t mode)
{
    if (::mkdirat(g_root, Rel(path), mode) != 0)
        return -errno;
    Log("mkdir %llu %llu %s", InoAt(path), ParentIno(path), Escaped(NameOf(path)).c_str());
    return 0;
}

int Unlink(const char* path)
{
    const unsigned long long parent = ParentIno(path);
    if (::unlinkat(g_root, Rel(path), 0) != 0)
        return -errno;
    Log("unlink %llu %s", parent, Escaped(NameOf(path)).c_str());
    return 0;
}

int RemoveDir(const char* path)
{
    const unsigned long long parent = ParentIno(path);
    if (::unlinkat(g_root, Rel(path), AT_REMOVEDIR) != 0)
        return -errno;
    Log("rmdir %llu %s", parent, Escaped(NameOf(path)).c_str());
    return 0;
}

int Rename(const char* from, const char* to, unsigned int flags)
{
    const unsigned long long fromParent = ParentIno(from), toParent = ParentIno(to);
    if (::renameat2(g_root, Rel(from), g_root, Rel(to), flags) != 0)
        return -errno;
    Log("rename %u %llu %s %llu %s", flags, fromParent, Escaped(NameOf(from)).c_str(), toParent,
        Escaped(NameOf(to)).c_str());
    return 0;
}

int Link(const char* from, const char* to)
{
    if (::linkat(g_root, Rel(from), g_root, Rel(to), 0) != 0)
        return -errno;
    Log("link %llu %llu %s", InoAt(to), ParentIno(to), Escaped(NameOf(to)).c_str());
    return 0;
}

int StatFs(const char*, struct statvfs* st)
{
    return Result(::fstatvfs(g_root, st));
}

int OpenDir(const char* path, fuse_file_info* fi)
{
    const int fd = ::openat(g_root, Rel(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    fi->fh = static_cast<uint64_t>(fd);
    return 0;
}

int ReadDir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info* fi, fuse_readdir_flags)
{
    DIR* dir = ::fdopendir(::dup(static_cast<int>(fi->fh)));
    if (dir == nullptr)
        return -errno;
    ::rewinddir(dir);
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        st.st_ino = entry->d_ino;
        st.st_mode = static_cast<mode_t>(DTTOIF(entry->d_type));
        if (fill(buffer, entry->d_name, &st, 0, static_cast<fuse_fill_dir_flags>(0)) != 0)
            break;
    }
    ::closedir(dir);
    return 0;
}

int ReleaseDir(const char*, fuse_file_info* fi)
{
    ::close(static_cast<int>(fi->fh));
    return 0;
}

int FsyncDir(const char*, int, fuse_file_info* fi)
{
    const int fd = static_cast<int>(fi->fh);
    if (::fsync(fd) != 0)
        return -errno;
    Log("fsyncdir %llu", InoOf(fd));
    return 0;
}

// Serves ops at mountpoint in the foreground, one call at a time, so that the
// log's order is the order the calls returned.
int Serve(const fuse_operations& ops, std::string settings, char* mountpoint)
{
    char program[] = "forgetful_disk", foreground[] = "-f", single[] = "-s", options[] = "-o";
    char* args[] = {program, foreground, single, options, settings.data(), mountpoint, nullptr};
    return fuse_main(6, args, &ops, nullptr);
}

// The block device's one file and what it writes beside its log.
constexpr const char* kDiskName = "/disk";
FILE* g_data = nullptr;

int BlockGetAttr(const char* path, struct stat* st, fuse_file_info*)
{
    if (std::strcmp(path, "/") == 0) {
        *st = {};
        st->st_mode = S_IFDIR | 0755;
        st->st_nlink = 2;
        return 0;
    }
    if (std::strcmp(path, kDiskName) != 0)
        return -ENOENT;
    if (::fstat(g_root, st) != 0)
        return -errno;
    st->st_ino = 2;
    return 0;
}

int BlockOpen(const char* path, fuse_file_info*)
{
    return std::strcmp(path, kDiskName) == 0 ? 0 : -ENOENT;
}

int BlockRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    return Result(static_cast<int>(::pread(g_root, buffer, size, offset)));
}

int BlockWrite(const char*, const char* buffer, size_t size, off_t offset, fuse_file_info*)
{
    const ssize_t written = ::pwrite(g_root, buffer, size, offset);
    if (written < 0)
        return -errno;
    // The bytes first: a line in the log always has its data.
    if (std::fwrite(buffer, 1, static_cast<size_t>(written), g_data) != static_cast<size_t>(written) ||
        std::fflush(g_data) != 0)
        return -EIO;
    Log("write %lld %zd", static_cast<long long>(offset), written);
    return static_cast<int>(written);
}

// The power cut is the log's to make: the image itself needs no flush.
int BlockFsync(const char*, int, fuse_file_info*)
{
    Log("flush");
    return 0;
}

int BlockReadDir(const char*, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*, fuse_readdir_flags)
{
    const auto none = static_cast<fuse_fill_dir_flags>(0);
    fill(buffer, ".", nullptr, 0, none);
    fill(buffer, "..", nullptr, 0, none);
    fill(buffer, kDiskName + 1, nullptr, 0, none);
    return 0;
}

void* BlockInit(fuse_conn_info*, fuse_config* config)
{
    config->use_ino = 1;
    return nullptr;
}

int ServeBlock(char** argv)
{
    g_root = ::open(argv[0], O_RDWR | O_CLOEXEC);
    g_log = std::fopen(argv[2], "we");
    g_data = std::fopen((std::string(argv[2]) + ".data").c_str(), "we");
    if (g_root < 0 || g_log == nullptr || g_data == nullptr) {
        std::fprintf(stderr, "forgetful_disk: cannot open %s or %s: %s\n", argv[0], argv[2], std::strerror(errno));
        return 1;
    }
    fuse_operations ops {};
    ops.getattr = BlockGetAttr;
    ops.open = BlockOpen;
    ops.read = BlockRead;
    ops.write = BlockWrite;
    ops.fsync = BlockFsync;
    ops.readdir = BlockReadDir;
    ops.init = BlockInit;
    return Serve(ops, "fsname=forgetful-block,auto_unmount", argv[1]);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--block") == 0)
        return ServeBlock(argv + 2);
    if (argc != 4) {
        std::fprintf(stderr, "usage: forgetful_disk BACKING MOUNTPOINT LOG\n"
                             "       forgetful_disk --block IMAGE MOUNTPOINT LOG\n");
        return 2;
    }
    g_root = ::open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    g_log = std::fopen(argv[3], "we");
    if (g_root < 0 || g_log == nullptr) {
        std::fprintf(stderr, "forgetful_disk: cannot open %s or %s: %s\n", argv[1], argv[3], std::strerror(errno));
        return 1;
    }
    Log("root %llu", InoOf(g_root));
    LogTree(".", InoOf(g_root));

    fuse_operations ops {};
    ops.getattr = GetAttr;
    ops.mkdir = MakeDir;
    ops.unlink = Unlink;
    ops.rmdir = RemoveDir;
    ops.rename = Rename;
    ops.link = Link;
    ops.chmod = Chmod;
    ops.truncate = Truncate;
    ops.open = Open;
    ops.read = Read;
    ops.write = Write;
    ops.statfs = StatFs;
    ops.release = Release;
    ops.fsync = Fsync;
    ops.opendir = OpenDir;
    ops.readdir = ReadDir;
    ops.releasedir = ReleaseDir;
    ops.fsyncdir = FsyncDir;
    ops.init = Init;
    ops.create = Create;
    ops.utimens = Utimens;

    return Serve(ops, "fsname=forgetful,auto_unmount", argv[2]);
}
