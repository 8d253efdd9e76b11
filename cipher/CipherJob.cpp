// The cipher job: preparation and launch on the owner's thread, the blocks on
// a worker thread, the output made visible under its final name only at the end.
#include "cipher/CipherJob.h"

#include "cipher/WriteBehind.h"
#include "platform/FileNames.h"

#include <string>

namespace quorvel {

CipherJob::CipherJob(FileSystem& fileSystem) : m_fileSystem(fileSystem) {}

CipherJob::~CipherJob()
{
    RequestCancel();
    Wait();
    Release();
}

void CipherJob::SetKey(std::u16string_view password)
{
    m_key = MakeKey(password);
    m_keyLength = static_cast<uint32_t>(password.size());
}

bool CipherJob::WaitReleased(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_releaseMutex);
    return m_released.wait_for(lock, timeout, [this] { return !IsBusy(); });
}

void CipherJob::Wait()
{
    if (m_worker.joinable() && m_worker.get_id() != std::this_thread::get_id())
        m_worker.join();
}

JobOutcome CipherJob::PrepareJob(const std::u16string& sourcePath, uint64_t& size)
{
    if (IsBusy())
        return {JobStatus::Busy, {}, {}};
    m_source.reset();
    m_sourcePath = sourcePath;
    m_streaming = false;
    FileStatus status = m_fileSystem.OpenRead(sourcePath, m_source);
    if (status)
        status = m_source->GetLength(m_size);
    if (!status) {
        m_source.reset();
        WipeKey();
        return {JobStatus::OpenSourceFailed, status, {}};
    }
    m_remaining = m_size;
    size = m_size;
    return {};
}

JobOutcome CipherJob::PrepareStream(std::unique_ptr<File> source)
{
    if (IsBusy())
        return {JobStatus::Busy, {}, {}};
    m_source = std::move(source);
    m_sourcePath.clear();
    m_streaming = true;
    m_size = 0;
    m_remaining = 0;
    return {};
}

JobOutcome CipherJob::Fail(JobStatus status, FileStatus file)
{
    m_outcome.status = status;
    m_outcome.file = file;
    Release();
    return m_outcome;
}

std::optional<JobOutcome> CipherJob::BeginLaunch(const std::u16string& outputName)
{
    if (IsBusy())
        return JobOutcome {JobStatus::Busy, {}, {}};
    // A previous worker has released everything before clearing busy; it is
    // at most returning from its last notice, so this join is immediate.
    Wait();

    m_cancel.store(false, std::memory_order_relaxed);
    m_outcome = {};
    m_written = {};
    m_end = JobEnd::OnTheDisk;
    m_outcome.outputName = outputName;
    if (!m_source)
        return Fail(JobStatus::OpenSourceFailed, {FileError::NotFound, 0});

    const uint32_t bufferLength =
        m_streaming || m_size >= CIPHER_BLOCK_SIZE ? CIPHER_BLOCK_SIZE : static_cast<uint32_t>(m_size);
    m_inputBuffer = SecureBytes(bufferLength);
    m_outputBuffer = SecureBytes(bufferLength);
    m_expandedKey = ExpandedKey(m_key.data(), m_keyLength);
    return std::nullopt;
}

JobOutcome CipherJob::LaunchJob(CipherJobOwner& owner, CipherDirection direction, const std::u16string& fileName,
                                const std::optional<std::u16string>& outputFolder, JobEnd end)
{
    if (const auto refused = BeginLaunch(OutputPrefix(direction) + fileName))
        return *refused;
    m_end = end;

    // Named from the source's own folder unless told otherwise: the process's
    // current directory is whatever the last file dialog left it at.
    m_outputFolder = outputFolder ? *outputFolder : FolderOf(m_sourcePath);
    m_outputPath = m_outputFolder + m_outcome.outputName;

    // A name or a size that cannot fit is refused before anything is made.
    FileStatus created = m_fileSystem.CheckNewName(m_outputFolder, m_outcome.outputName);
    if (created && !m_streaming)
        created = m_fileSystem.CheckSizeFits(m_outputFolder, m_size);
    if (created)
        created = m_fileSystem.CreateOutput(m_outputFolder, m_output);
    if (!created)
        return Fail(JobStatus::CreateOutputFailed, created);
    return Start(owner, direction);
}

JobOutcome CipherJob::LaunchJob(CipherJobOwner& owner, CipherDirection direction, std::unique_ptr<OutputFile> output)
{
    if (const auto refused = BeginLaunch({}))
        return *refused;
    m_outputPath.clear();
    m_output = std::move(output);
    return Start(owner, direction);
}

JobOutcome CipherJob::Start(CipherJobOwner& owner, CipherDirection direction)
{
    // From the thread's start the record is the worker's, its outcome included:
    // a short job may already have written its result when this returns.
    const JobOutcome launched = m_outcome;
    // Writing behind pays only with a second core, and only for more than one
    // block; else it is one more copy and one more thread. The system is asked
    // once: it reads a file to answer.
    static const bool secondCore = std::thread::hardware_concurrency() > 1;
    if (secondCore && (m_streaming || m_size > CIPHER_BLOCK_SIZE))
        m_output = WithWriteBehind(std::move(m_output));
    m_busy.store(true, std::memory_order_release);
    if (m_oneBlockInLaunch && !m_streaming && m_size <= CIPHER_BLOCK_SIZE) {
        RunJob(owner, direction);
        return launched;
    }
    try {
        m_worker = std::thread([this, &owner, direction] { RunJob(owner, direction); });
    } catch (...) {
        // No thread: the job never started, so it must not look busy; its
        // output goes with the release. The C++ library's error code is no
        // system code on every system, so none is kept.
        m_busy.store(false, std::memory_order_release);
        return Fail(JobStatus::NoThread, {});
    }
    return launched;
}

void CipherJob::RunJob(CipherJobOwner& owner, CipherDirection direction)
{
    owner.JobStarted(direction);

    JobStatus status = JobStatus::Succeeded;
    FileStatus file;
    uint64_t done = 0;
    // Runs on the bytes left: the 32-bit block count wraps just below 2^50 bytes
    // (a sparse file can claim that), and would end such a job early as a success.
    // A stream runs to its end instead: every block but the last is read
    // whole, so the blocks fall where they would in a file of the same bytes.
    while (m_streaming || m_remaining != 0) {
        if (m_cancel.load(std::memory_order_relaxed)) {
            status = JobStatus::Cancelled;
            break;
        }
        const uint32_t n = m_streaming || m_remaining >= CIPHER_BLOCK_SIZE ? CIPHER_BLOCK_SIZE
                                                                           : static_cast<uint32_t>(m_remaining);
        uint32_t got = 0;
        file = m_source->Read(m_inputBuffer.data(), n, got);
        if (file && got != n && !m_streaming)
            file = {FileError::Truncated, 0};  // the source shrank since its size was taken
        if (!file) {
            status = JobStatus::ReadFailed;
            break;
        }
        if (got == 0)
            break;  // the stream ended on a block boundary
        TransformBlock(direction, m_expandedKey, m_inputBuffer.data(), m_outputBuffer.data(), got);
        file = m_output->Write(m_outputBuffer.data(), got);
        if (!file) {
            status = JobStatus::WriteFailed;
            break;
        }
        if (!m_streaming)
            m_remaining -= got;
        done += got;
        owner.BlockWritten(direction, done, m_size);
        if (got < n)
            break;  // the stream's last, short block
    }

    if (status == JobStatus::Succeeded && !m_streaming) {
        file = CheckSourceEnded();
        if (!file)
            status = JobStatus::ReadFailed;
    }
    if (status == JobStatus::Succeeded) {
        WrittenOutput written {std::move(m_output), m_source->Permissions(), m_outputPath, m_outputFolder};
        if (m_end == JobEnd::Written) {
            // The owner puts it on the disk, with others; a write that
            // failed behind the job still fails it here.
            file = written.file->EndWrites();
            if (!file)
                status = JobStatus::WriteFailed;
            else
                m_written = std::move(written);
        } else {
            // Done means on the disk, name and all.
            std::vector<WrittenOutput> one;
            one.push_back(std::move(written));
            const PublishResult published = PublishTogether(m_fileSystem, one).front();
            status = published.status;
            file = published.file;
        }
    }
    // An output that was not published goes with it: nothing partial stays.
    m_output.reset();
    m_outcome.status = status;
    m_outcome.file = status == JobStatus::Succeeded ? FileStatus {} : file;

    if (status != JobStatus::Cancelled)
        owner.JobEnded(direction);
    Release();
    {
        // Under the lock, so a waiter cannot miss the change between its test and its wait.
        std::lock_guard lock(m_releaseMutex);
        m_busy.store(false, std::memory_order_release);
    }
    m_released.notify_all();
    owner.JobReleased(direction);
}

FileStatus CipherJob::CheckSourceEnded()
{
    // A source with more bytes than it said it had would leave an output
    // that looks complete and is not: a file that grew, or one of /proc's
    // that says it is empty.
    uint8_t extra = 0;
    uint32_t got = 0;
    const FileStatus read = m_source->Read(&extra, 1, got);
    if (!read)
        return read;
    if (got != 0)
        return {m_size == 0 ? FileError::SizeUnknown : FileError::Grew, 0};
    return {};
}

void CipherJob::Release()
{
    m_inputBuffer.Reset();
    m_outputBuffer.Reset();
    m_output.reset();
    if (m_source) {
        m_source->Close();
        m_source.reset();
    }
    WipeKey();
}

void CipherJob::WipeKey()
{
    m_key.Reset();
    m_keyLength = 0;
    m_expandedKey.Wipe();
}

}  // namespace quorvel
