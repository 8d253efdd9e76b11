// One cipher job per direction: the record, its preparation on the interface
// thread, the worker thread that transforms the blocks, and the notices that
// reach the owner (the dialog, the command line, or a test).
//
// Guarantees:
//  - only ordinary files are read, and a source that turns out longer than
//    the size taken at the start fails the job rather than be cut short;
//  - the output is made owner-only and without a name beside the source (or
//    under a temporary name), and named "en_"/"de_" + name, with the source's
//    permissions, only once it is complete and on the disk, so a failed,
//    cancelled or killed run, or a power cut, leaves no partial file and an
//    earlier output of that name untouched; a job succeeds only once its
//    output's name is on the disk too (or, when its owner asked to put the
//    output on the disk itself, once every byte is written);
//  - every open, read, write, close and rename is checked, and a failure ends
//    the job with a failure notice instead of a completion;
//  - the key and its expansion are wiped before they are freed;
//  - a direction is busy from launch until its worker has released everything.
#pragma once

#include "cipher/BlockTransform.h"
#include "cipher/Publish.h"
#include "platform/FileSystem.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace quorvel {

// What a direction's job makes: "en_" + name or "de_" + name, with the
// direction's TransformBlock.
constexpr const char16_t* OutputPrefix(CipherDirection direction)
{
    return direction == CipherDirection::Encipher ? u"en_" : u"de_";
}

enum class JobStatus {
    Succeeded,
    Busy,                // the direction's previous worker has not released yet
    OpenSourceFailed,
    CreateOutputFailed,  // the output could not be made, or not given its name at the end
    ReadFailed,          // includes a source that went on past its size
    WriteFailed,         // includes the flush and the final close, which may report delayed write errors
    NotDurable,          // the output has its name, but its folder could not be flushed:
                         // a power cut may still take the name
    NoThread,            // the system would not start the worker thread (too many threads,
                         // no memory for its stack); nothing was read or written
    Cancelled,
};

struct JobOutcome {
    JobStatus status = JobStatus::Succeeded;
    FileStatus file;             // the file system's reason, for the failures
    std::u16string outputName;   // bare output name, "en_" / "de_" + file name
};

// What happens to a job, told to its owner. The worker calls these from its
// own thread, in this order; an owner with a window forwards them to its
// interface thread.
class CipherJobOwner {
public:
    // The worker has started on the job (the time it takes counts from here).
    virtual void JobStarted(CipherDirection direction) = 0;
    // A block was written; done of total bytes (total 0 for a stream, whose
    // length is not known). For progress displays.
    virtual void BlockWritten(CipherDirection, uint64_t /*done*/, uint64_t /*total*/) {}
    // The job ended, done or failed (outcome in CipherJob::Outcome()); not
    // after a cancel. Returns only once the owner has dealt with it, e.g.
    // after the user dismissed a message box.
    virtual void JobEnded(CipherDirection direction) = 0;
    // The worker has released everything; the direction may start again.
    virtual void JobReleased(CipherDirection direction) = 0;

protected:
    ~CipherJobOwner() = default;
};

// Where a job that writes a named output ends.
enum class JobEnd {
    OnTheDisk,  // the output flushed, named and its name flushed, by the worker
    Written,    // every byte written; the output waits unnamed for TakeWrittenOutput
};

class CipherJob {
public:
    explicit CipherJob(FileSystem& fileSystem = SystemFileSystem());
    ~CipherJob();  // cancels and waits for a running worker
    CipherJob(const CipherJob&) = delete;
    CipherJob& operator=(const CipherJob&) = delete;

    // Stores the key bytes of password (wiping any earlier key).
    void SetKey(std::u16string_view password);

    // Opens the source and takes its size. On failure nothing stays open.
    JobOutcome PrepareJob(const std::u16string& sourcePath, uint64_t& size);
    // Takes a source of unknown length, such as standard input: the job reads
    // it to its end, block by block as a file of the same bytes.
    JobOutcome PrepareStream(std::unique_ptr<File> source);

    // Creates the output (nameless until it is complete) and starts the
    // worker, which writes behind on a thread of its own where a second core
    // is there to run it. The output goes into outputFolder (ending in a
    // separator; empty means the current directory), by default the source's
    // own folder.
    // On failure everything is released (key included) and no thread runs.
    JobOutcome LaunchJob(CipherJobOwner& owner, CipherDirection direction, const std::u16string& fileName,
                         const std::optional<std::u16string>& outputFolder = std::nullopt,
                         JobEnd end = JobEnd::OnTheDisk);
    // The same into an output already made that needs no name (standard output).
    JobOutcome LaunchJob(CipherJobOwner& owner, CipherDirection direction, std::unique_ptr<OutputFile> output);

    // For an owner that waits for each job anyway (the command line): a job
    // of at most one block runs within LaunchJob, its notices on the caller's
    // thread, instead of on a thread of its own, which costs more than the
    // block where threads are dear (1.6 ms under Wine).
    void RunOneBlockJobsInLaunch(bool inLaunch) { m_oneBlockInLaunch = inLaunch; }

    // Stops a running job after its current block; the worker discards its
    // output, sends no notice, releases everything.
    void RequestCancel() { m_cancel.store(true, std::memory_order_relaxed); }

    // True from a successful launch until the worker has released everything.
    bool IsBusy() const { return m_busy.load(std::memory_order_acquire); }

    // Waits for the worker thread to end (it may be waiting in JobEnded).
    void Wait();
    // Waits at most timeout for the worker to release everything; true once it
    // has (or when no job runs), so a caller can do other work between waits.
    bool WaitReleased(std::chrono::milliseconds timeout);

    // The worker's result; read it in JobEnded or after JobReleased.
    const JobOutcome& Outcome() const { return m_outcome; }
    const std::u16string& OutputPath() const { return m_outputPath; }
    // After a JobEnd::Written job succeeded: its output, for PublishTogether.
    // Dropped unnamed by the next launch if not taken.
    WrittenOutput TakeWrittenOutput() { return std::move(m_written); }

private:
    void RunJob(CipherJobOwner& owner, CipherDirection direction);
    JobOutcome Fail(JobStatus status, FileStatus file);
    // The steps every launch shares: a refusal, or nothing when the job may go on.
    std::optional<JobOutcome> BeginLaunch(const std::u16string& outputName);
    JobOutcome Start(CipherJobOwner& owner, CipherDirection direction);
    // After the last block: the source must be at its end.
    FileStatus CheckSourceEnded();
    void Release();
    void WipeKey();

    FileSystem& m_fileSystem;
    std::unique_ptr<File> m_source;
    std::unique_ptr<OutputFile> m_output;
    uint64_t m_remaining = 0;
    SecureBytes m_inputBuffer;
    SecureBytes m_outputBuffer;
    SecureBytes m_key;
    uint32_t m_keyLength = 0;  // always m_key.size()
    bool m_streaming = false;  // a source of unknown length, read to its end
    bool m_oneBlockInLaunch = false;

    ExpandedKey m_expandedKey;
    uint64_t m_size = 0;
    std::u16string m_sourcePath;
    std::u16string m_outputFolder;
    std::u16string m_outputPath;  // empty for an output that needs no name
    JobEnd m_end = JobEnd::OnTheDisk;
    WrittenOutput m_written;      // a JobEnd::Written job's output once it succeeded
    JobOutcome m_outcome;
    std::atomic<bool> m_busy {false};
    std::mutex m_releaseMutex;               // with m_released, for WaitReleased
    std::condition_variable m_released;
    std::atomic<bool> m_cancel {false};
    std::thread m_worker;
};

}  // namespace quorvel
