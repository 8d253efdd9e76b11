#include "Harness.h"

#include "CipherReference.h"
#include "TestFiles.h"
#include "cipher/CipherKey.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace quorvel::test {

namespace {

bool WriteProcFile(const char* path, const std::string& text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

// Mounts made by these tests live in a mount namespace of this process alone,
// so none is seen by, or outlives, the process. Entered before main, while
// the process has one thread (unshare refuses otherwise).
std::string EnterPrivateMountNamespace()
{
    if (::unshare(CLONE_NEWNS) != 0) {
        const int rootError = errno;
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return std::string("no private mount namespace: unshare(CLONE_NEWNS): ") + std::strerror(rootError) +
                   ", unshare(CLONE_NEWUSER|CLONE_NEWNS): " + std::strerror(errno);
        WriteProcFile("/proc/self/setgroups", "deny");
        if (!WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return "user namespace without an id map";
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("cannot make mounts private: ") + std::strerror(errno);
    return {};
}

const std::string& NamespaceProblem()
{
    static const std::string problem = EnterPrivateMountNamespace();
    return problem;
}

}  // namespace

bool UsePrivateMounts()
{
    return NamespaceProblem().empty();
}

TmpfsMount::TmpfsMount(uint64_t bytes)
{
    char pattern[] = "/tmp/quorvel-mount-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        m_reason = std::string("mkdtemp: ") + std::strerror(errno);
        return;
    }
    m_path = pattern;
    if (!NamespaceProblem().empty()) {
        m_reason = NamespaceProblem();
        return;
    }
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (::mount("tmpfs", m_path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        m_reason = std::string("mount -t tmpfs: ") + std::strerror(errno);
        return;
    }
    m_mounted = true;
}

TmpfsMount::~TmpfsMount()
{
    if (m_mounted)
        ::umount2(m_path.c_str(), MNT_DETACH);
    if (!m_path.empty())
        ::rmdir(m_path.c_str());
}

std::vector<std::u16string> TmpfsMount::List() const
{
    return ListFolder(m_path);
}

uint64_t TmpfsMount::FreeBytes() const
{
    struct statvfs st {};
    if (::statvfs(m_path.c_str(), &st) != 0)
        return 0;
    return static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
}

bool TmpfsMount::SetReadOnly(bool readOnly)
{
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (readOnly ? MS_RDONLY : 0);
    if (::mount(nullptr, m_path.c_str(), nullptr, flags, nullptr) != 0) {
        m_reason = std::string("remount: ") + std::strerror(errno);
        return false;
    }
    return true;
}

int OpenDescriptorCount()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

size_t HeapBytesInUse()
{
    return ::mallinfo2().uordblks;
}

size_t ResidentBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
    }
    return 0;
}

bool BigFilesEnabled()
{
    const char* value = std::getenv("QUORVEL_BIG_FILES");
    return value && std::string(value) == "1";
}

uint64_t WrongBlocks(const std::filesystem::path& source, const std::filesystem::path& output,
                     CipherDirection direction, const std::u16string& password)
{
    const uint64_t size = std::filesystem::file_size(source);
    uint64_t wrong = std::filesystem::file_size(output) != size;
    const auto key = ReferenceKey(password);
    std::ifstream in(source, std::ios::binary), out(output, std::ios::binary);
    std::vector<uint8_t> plain(CIPHER_BLOCK_SIZE), got(CIPHER_BLOCK_SIZE), expected(CIPHER_BLOCK_SIZE);
    for (uint32_t b = 0; b < BlockCount(size); ++b) {
        const uint32_t n = BlockLength(size, b);
        in.read(reinterpret_cast<char*>(plain.data()), n);
        out.read(reinterpret_cast<char*>(got.data()), n);
        ReferenceBlock(direction, key, plain.data(), expected.data(), n);
        wrong += !in || !out || !std::equal(got.begin(), got.begin() + n, expected.begin());
    }
    return wrong;
}

}  // namespace quorvel::test
