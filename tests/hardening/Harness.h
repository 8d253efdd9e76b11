// Shared pieces of the hardening suites beside the jobs every test runs
// (RecordingOwner.h): private mounts for faults only a real file system gives
// (full, read-only), and process counters for leak checks.
#pragma once

#include "RecordingOwner.h"

#include <filesystem>
#include <string>
#include <vector>

namespace quorvel::test {

// Moves the process into a mount namespace of its own (as root, or else as
// root of a new user namespace) so test mounts are private to it. Must run
// while the process has one thread: call it from a static initializer of the
// suite that mounts. A non-root process then passes permission checks on its
// own files, so suites that test permissions must not call it.
bool UsePrivateMounts();

// A tmpfs of `bytes` mounted on a fresh empty folder, unmounted at the end.
// Mounting needs root or an unprivileged user namespace; when neither works,
// Available() is false and Reason() says why, and the test skips.
class TmpfsMount {
public:
    explicit TmpfsMount(uint64_t bytes);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool Available() const { return m_mounted; }
    const std::string& Reason() const { return m_reason; }
    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path operator/(const std::u16string& name) const { return m_path / name; }
    std::vector<std::u16string> List() const;
    uint64_t FreeBytes() const;
    // Remounts read-only or read-write; returns false with Reason() set.
    bool SetReadOnly(bool readOnly);

private:
    std::filesystem::path m_path;
    bool m_mounted = false;
    std::string m_reason;
};

// Open descriptors of this process, from /proc/self/fd.
int OpenDescriptorCount();
// Bytes the heap has handed out and not had back (mallinfo2).
size_t HeapBytesInUse();
// Resident set size, from /proc/self/status.
size_t ResidentBytes();

// Big-file runs (several GiB written) only when QUORVEL_BIG_FILES=1.
bool BigFilesEnabled();

// How many blocks of output, read block by block beside source, are not what
// the format makes of them; an output of another length counts one more.
uint64_t WrongBlocks(const std::filesystem::path& source, const std::filesystem::path& output,
                     CipherDirection direction, const std::u16string& password);

}  // namespace quorvel::test
