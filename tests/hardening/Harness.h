// Shared pieces of the hardening suites: an owner that records what a job
// reports and waits with a deadline, private mounts for faults only a real
// file system gives (full, read-only), and process counters for leak checks.
#pragma once

#include "cipher/CipherJob.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace quorvel::test {

// No single wait in these suites may take longer than this, big files included.
constexpr std::chrono::seconds kJobDeadline {600};

class RecordingOwner final : public CipherJobOwner {
public:
    void StartTickTimer(CipherDirection d) override;
    void StopTickTimer(CipherDirection) override {}
    void SendCipherDone(CipherDirection d) override;
    void JobReleased(CipherDirection d) override;
    void BlockWritten(CipherDirection d, uint64_t done, uint64_t total) override;

    // False when the deadline passed first.
    bool WaitReleased(CipherDirection d, int count = 1);
    int DoneCount(CipherDirection d);
    int ReleasedCount(CipherDirection d);
    uint64_t LastDone(CipherDirection d);

    // Called on the worker after each block, e.g. to change the source under it.
    std::function<void(CipherDirection, uint64_t done)> onBlock;

private:
    static int Index(CipherDirection d) { return d == CipherDirection::Encipher ? 0 : 1; }
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_started[2] {};
    int m_done[2] {};
    int m_released[2] {};
    uint64_t m_lastDone[2] {};
};

// Prepares and launches one job on an existing record and waits until its
// worker has released everything. A failure before the worker starts is
// returned as it is; *finished turns false if the deadline passed first.
JobOutcome RunOneJob(CipherJob& job, RecordingOwner& owner, CipherDirection direction, const std::u16string& password,
                     const std::filesystem::path& source, bool* finished = nullptr);
// The second half of that, for a job already prepared.
JobOutcome LaunchAndWait(CipherJob& job, RecordingOwner& owner, CipherDirection direction,
                         const std::filesystem::path& source, bool* finished = nullptr);

// After a fault: the same record, in the same folder, still takes a round trip
// (gtest assertions).
void ExpectNextJobWorks(CipherJob& job, RecordingOwner& owner, const std::filesystem::path& folder);

// Runs a job on a fresh record.
JobOutcome RunOneJob(CipherDirection direction, const std::u16string& password, const std::filesystem::path& source);

// The transform of a whole file as the format defines it, block by block on
// the plain path (the reference every vector path is compared with).
std::vector<uint8_t> TransformFile(CipherDirection direction, const std::u16string& password,
                                   const std::vector<uint8_t>& bytes);

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
// Resident set size and its peak, from /proc/self/status.
size_t ResidentBytes();
size_t PeakResidentBytes();

// Big-file runs (several GiB written) only when QUORVEL_BIG_FILES=1.
bool BigFilesEnabled();

}  // namespace quorvel::test
