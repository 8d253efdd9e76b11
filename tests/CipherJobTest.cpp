// Cipher jobs end to end on real files and on a fault-injecting file system:
// round trips, notices and their order, failures that leave nothing behind,
// cancellation, both directions at once, sizes past 4 GiB.
#include "cipher/CipherJob.h"

#include "RecordingOwner.h"
#include "TestFiles.h"
#include "VirtualFileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <random>

namespace quorvel {
namespace {

using test::ReadFile;
using test::RecordingOwner;
using test::ScratchDir;
using test::U16;
using test::WriteFile;

// Runs one job to its end and returns its outcome.
JobOutcome RunJob(CipherDirection direction, const std::u16string& password, const std::filesystem::path& source,
                  FileSystem& fs = SystemFileSystem(), RecordingOwner* externalOwner = nullptr)
{
    CipherJob job(fs);
    RecordingOwner localOwner;
    RecordingOwner& owner = externalOwner ? *externalOwner : localOwner;
    job.SetKey(password);
    uint64_t size = 0;
    JobOutcome outcome = job.PrepareJob(U16(source), size);
    if (outcome.status != JobStatus::Succeeded)
        return outcome;
    outcome = job.LaunchJob(owner, direction, source.filename().u16string());
    if (outcome.status != JobStatus::Succeeded)
        return outcome;
    EXPECT_TRUE(test::WaitForJob(job));
    EXPECT_FALSE(job.IsBusy());
    return job.Outcome();
}

TEST(CipherJob, RoundTripsAtEveryEdgeSize)
{
    ScratchDir dir;
    const std::u16string password = u"mqzvtrk";
    const size_t k = password.size();
    for (size_t size : {size_t {0}, size_t {1}, k - 1, size_t {0x3FFFF}, size_t {0x40000}, size_t {0x40001},
                        size_t {3 * 0x40000 + 12345}}) {
        SCOPED_TRACE(size);
        const auto plain = test::RandomBytes(size, static_cast<uint32_t>(size));
        WriteFile(dir / u"data.bin", plain);

        ASSERT_EQ(RunJob(CipherDirection::Encipher, password, dir / u"data.bin").status, JobStatus::Succeeded);
        const auto enciphered = ReadFile(dir / u"en_data.bin");
        ASSERT_EQ(enciphered.size(), plain.size());
        if (size >= 64) {
            EXPECT_NE(enciphered, plain);
        }

        ASSERT_EQ(RunJob(CipherDirection::Decipher, password, dir / u"en_data.bin").status, JobStatus::Succeeded);
        EXPECT_EQ(ReadFile(dir / u"de_en_data.bin"), plain);
        EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"data.bin", u"de_en_data.bin", u"en_data.bin"}));
    }
}

TEST(CipherJob, FileMatchesBlockwiseTransformAndRestartsTheKeyEveryBlock)
{
    ScratchDir dir;
    // The same plain block twice gives the same enciphered block twice.
    auto block = test::RandomBytes(CIPHER_BLOCK_SIZE, 7);
    auto plain = block;
    plain.insert(plain.end(), block.begin(), block.end());
    plain.push_back(0x42);
    WriteFile(dir / u"twice", plain);
    ASSERT_EQ(RunJob(CipherDirection::Encipher, u"abcdefg", dir / u"twice").status, JobStatus::Succeeded);
    const auto out = ReadFile(dir / u"en_twice");
    ASSERT_EQ(out.size(), plain.size());
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + CIPHER_BLOCK_SIZE, out.begin() + CIPHER_BLOCK_SIZE));
    EXPECT_EQ(out.back(), static_cast<uint8_t>(0x42 + 'a'));  // a one-byte block: byte + key[0]
}

TEST(CipherJob, NonAsciiAndAstralPasswordsAndNames)
{
    ScratchDir dir;
    const auto plain = test::RandomBytes(100000, 11);
    const std::u16string name = u"资料 \u00e9t\u00e9.txt";
    WriteFile(dir / name, plain);
    for (const std::u16string& password : {std::u16string(u"密码是秘密的"), std::u16string(u"\U0001F511\U0001F512key")}) {
        ASSERT_EQ(RunJob(CipherDirection::Encipher, password, dir / name).status, JobStatus::Succeeded);
        ASSERT_EQ(RunJob(CipherDirection::Decipher, password, dir / (u"en_" + name)).status, JobStatus::Succeeded);
        EXPECT_EQ(ReadFile(dir / (u"de_en_" + name)), plain);
    }
}

TEST(CipherJob, NoticesComeInOrderAndTheOutputIsCompleteAtTheNotice)
{
    ScratchDir dir;
    const auto plain = test::RandomBytes(0x40000 * 2 + 5, 5);
    WriteFile(dir / u"a", plain);
    RecordingOwner owner;
    bool outputCompleteAtNotice = false;
    owner.onDone = [&](CipherDirection) { outputCompleteAtNotice = ReadFile(dir / u"en_a").size() == plain.size(); };
    ASSERT_EQ(RunJob(CipherDirection::Encipher, u"123456", dir / u"a", SystemFileSystem(), &owner).status,
              JobStatus::Succeeded);
    EXPECT_TRUE(outputCompleteAtNotice);
    EXPECT_EQ(owner.Events(CipherDirection::Encipher),
              (std::vector<std::string> {"start", "done", "released"}));
    EXPECT_EQ(owner.LastDone(CipherDirection::Encipher), plain.size());
    EXPECT_EQ(owner.LastTotal(CipherDirection::Encipher), plain.size());
}

TEST(CipherJob, ExistingOutputIsReplacedOnSuccess)
{
    ScratchDir dir;
    WriteFile(dir / u"a", test::RandomBytes(10, 1));
    WriteFile(dir / u"en_a", test::RandomBytes(5000, 2));
    ASSERT_EQ(RunJob(CipherDirection::Encipher, u"123456", dir / u"a").status, JobStatus::Succeeded);
    EXPECT_EQ(ReadFile(dir / u"en_a").size(), 10u);
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
}

TEST(CipherJob, MissingSourceIsReportedAndNothingIsCreated)
{
    ScratchDir dir;
    CipherJob job;
    job.SetKey(u"123456");
    uint64_t size = 99;
    const JobOutcome outcome = job.PrepareJob(U16(dir / u"missing"), size);
    EXPECT_EQ(outcome.status, JobStatus::OpenSourceFailed);
    EXPECT_EQ(outcome.file.error, FileError::NotFound);
    EXPECT_FALSE(job.IsBusy());
    EXPECT_TRUE(dir.List().empty());
}

TEST(CipherJob, BothDirectionsRunAtOnceEachWithItsOwnNotices)
{
    ScratchDir dir;
    const auto plain = test::RandomBytes(0x40000 * 8 + 3, 21);
    const auto other = test::RandomBytes(0x40000 * 8 + 9, 22);
    WriteFile(dir / u"p", plain);
    WriteFile(dir / u"q", other);
    ASSERT_EQ(RunJob(CipherDirection::Encipher, u"password", dir / u"q").status, JobStatus::Succeeded);

    CipherJob encipher, decipher;
    RecordingOwner owner;
    uint64_t size = 0;
    encipher.SetKey(u"password");
    decipher.SetKey(u"password");
    ASSERT_EQ(encipher.PrepareJob(U16(dir / u"p"), size).status, JobStatus::Succeeded);
    ASSERT_EQ(decipher.PrepareJob(U16(dir / u"en_q"), size).status, JobStatus::Succeeded);
    ASSERT_EQ(encipher.LaunchJob(owner, CipherDirection::Encipher, u"p").status, JobStatus::Succeeded);
    ASSERT_EQ(decipher.LaunchJob(owner, CipherDirection::Decipher, u"en_q").status, JobStatus::Succeeded);
    ASSERT_TRUE(test::WaitForJob(encipher));
    ASSERT_TRUE(test::WaitForJob(decipher));
    EXPECT_EQ(owner.Events(CipherDirection::Encipher), (std::vector<std::string> {"start", "done", "released"}));
    EXPECT_EQ(owner.Events(CipherDirection::Decipher), (std::vector<std::string> {"start", "done", "released"}));
    EXPECT_EQ(ReadFile(dir / u"de_en_q"), other);
    ASSERT_EQ(RunJob(CipherDirection::Decipher, u"password", dir / u"en_p").status, JobStatus::Succeeded);
    EXPECT_EQ(ReadFile(dir / u"de_en_p"), plain);
}

TEST(CipherJob, BusyDirectionRefusesASecondStartUntilReleased)
{
    ScratchDir dir;
    WriteFile(dir / u"a", test::RandomBytes(0x40000 * 3, 4));
    CipherJob job;
    RecordingOwner owner;
    std::mutex gate;
    std::unique_lock hold(gate);
    // The worker waits inside its notice, as it does while a completion box is open.
    owner.onDone = [&](CipherDirection) { std::lock_guard wait(gate); };
    job.SetKey(u"123456");
    uint64_t size = 0;
    ASSERT_EQ(job.PrepareJob(U16(dir / u"a"), size).status, JobStatus::Succeeded);
    ASSERT_EQ(job.LaunchJob(owner, CipherDirection::Encipher, u"a").status, JobStatus::Succeeded);
    EXPECT_TRUE(job.IsBusy());
    EXPECT_EQ(job.PrepareJob(U16(dir / u"a"), size).status, JobStatus::Busy);
    EXPECT_EQ(job.LaunchJob(owner, CipherDirection::Encipher, u"a").status, JobStatus::Busy);
    hold.unlock();
    ASSERT_TRUE(test::WaitForJob(job));
    EXPECT_FALSE(job.IsBusy());
    // Released: the same record takes the next job.
    job.SetKey(u"123456");
    ASSERT_EQ(job.PrepareJob(U16(dir / u"en_a"), size).status, JobStatus::Succeeded);
    ASSERT_EQ(job.LaunchJob(owner, CipherDirection::Decipher, u"en_a").status, JobStatus::Succeeded);
    ASSERT_TRUE(test::WaitForJob(job));
    EXPECT_EQ(ReadFile(dir / u"de_en_a"), ReadFile(dir / u"a"));
}

TEST(CipherJob, CancelStopsAfterTheCurrentBlockAndLeavesNothing)
{
    ScratchDir dir;
    WriteFile(dir / u"a", test::RandomBytes(0x40000 * 6, 4));
    WriteFile(dir / u"en_a", {1, 2, 3});  // an earlier output survives a cancelled run
    CipherJob job;
    RecordingOwner owner;
    owner.onBlock = [&](CipherDirection, uint64_t done) {
        if (done == 2 * uint64_t {CIPHER_BLOCK_SIZE})
            job.RequestCancel();
    };
    job.SetKey(u"123456");
    uint64_t size = 0;
    ASSERT_EQ(job.PrepareJob(U16(dir / u"a"), size).status, JobStatus::Succeeded);
    ASSERT_EQ(job.LaunchJob(owner, CipherDirection::Encipher, u"a").status, JobStatus::Succeeded);
    ASSERT_TRUE(test::WaitForJob(job));
    EXPECT_EQ(job.Outcome().status, JobStatus::Cancelled);
    EXPECT_EQ(owner.LastDone(CipherDirection::Encipher), 2 * uint64_t {CIPHER_BLOCK_SIZE});
    EXPECT_EQ(owner.Events(CipherDirection::Encipher), (std::vector<std::string> {"start", "released"}));
    EXPECT_EQ(ReadFile(dir / u"en_a"), (std::vector<uint8_t> {1, 2, 3}));
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
}

TEST(CipherJob, DestroyingARunningJobCancelsAndWaits)
{
    ScratchDir dir;
    WriteFile(dir / u"a", test::RandomBytes(0x40000 * 16, 4));
    RecordingOwner owner;
    {
        CipherJob job;
        job.SetKey(u"123456");
        uint64_t size = 0;
        ASSERT_EQ(job.PrepareJob(U16(dir / u"a"), size).status, JobStatus::Succeeded);
        ASSERT_EQ(job.LaunchJob(owner, CipherDirection::Encipher, u"a").status, JobStatus::Succeeded);
    }
    // Either it finished before the cancel or it left nothing partial.
    const auto names = dir.List();
    EXPECT_TRUE(names == (std::vector<std::u16string> {u"a"}) || names == (std::vector<std::u16string> {u"a", u"en_a"}));
    if (names.size() == 2) {
        EXPECT_EQ(ReadFile(dir / u"en_a").size(), 0x40000u * 16);
    }
}

TEST(CipherJob, OutputLandsBesideTheSourceWhateverTheCurrentDirectory)
{
    ScratchDir source, elsewhere;
    WriteFile(source / u"a", test::RandomBytes(100, 1));
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.Path());
    const JobStatus status = RunJob(CipherDirection::Encipher, u"123456", source / u"a").status;
    std::filesystem::current_path(before);
    EXPECT_EQ(status, JobStatus::Succeeded);
    EXPECT_TRUE(elsewhere.List().empty());
    EXPECT_EQ(source.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
}

TEST(CipherJob, AnExplicitOutputFolderTakesTheOutputAndNothingShowsMidJob)
{
    ScratchDir source, target;
    const auto plain = test::RandomBytes(0x40000 + 3, 8);
    WriteFile(source / u"a", plain);
    CipherJob job;
    RecordingOwner owner;
    // Mid-job the output has no name, or at most a temporary one in the target.
    bool nothingShowsMidJob = false;
    owner.onBlock = [&](CipherDirection, uint64_t done) {
        if (done != CIPHER_BLOCK_SIZE)
            return;
        const auto shown = target.List();
        nothingShowsMidJob = source.List() == std::vector<std::u16string> {u"a"} &&
                             (shown.empty() || (shown.size() == 1 && IsTemporaryOutputName(shown[0])));
    };
    job.SetKey(u"123456");
    uint64_t size = 0;
    ASSERT_EQ(job.PrepareJob(U16(source / u"a"), size).status, JobStatus::Succeeded);
    ASSERT_EQ(job.LaunchJob(owner, CipherDirection::Encipher, u"a", U16(target.Path()) + u"/").status,
              JobStatus::Succeeded);
    ASSERT_TRUE(test::WaitForJob(job));
    EXPECT_EQ(job.Outcome().status, JobStatus::Succeeded);
    EXPECT_TRUE(nothingShowsMidJob);
    EXPECT_EQ(source.List(), (std::vector<std::u16string> {u"a"}));
    EXPECT_EQ(target.List(), (std::vector<std::u16string> {u"en_a"}));
    EXPECT_EQ(job.OutputPath(), U16(target.Path()) + u"/en_a");
    // The same bytes as an output beside the source.
    ASSERT_EQ(RunJob(CipherDirection::Encipher, u"123456", source / u"a").status, JobStatus::Succeeded);
    EXPECT_EQ(ReadFile(target / u"en_a"), ReadFile(source / u"en_a"));
}

// A file system that passes through to the real one but fails one chosen
// operation, to show each failure is reported and leaves nothing behind.
class FaultyFileSystem final : public FileSystem {
public:
    enum class Fault { None, Create, Read, ShortRead, Write, Finish, Publish };
    Fault fault = Fault::None;
    int failOnCall = 1;  // the n-th read or write fails
    FileError error = FileError::DiskFull;

    FileStatus OpenRead(const std::u16string& path, std::unique_ptr<File>& file) override
    {
        std::unique_ptr<File> real;
        FileStatus status = SystemFileSystem().OpenRead(path, real);
        if (status)
            file = std::make_unique<FaultySource>(*this, std::move(real));
        return status;
    }
    FileStatus CreateOutput(const std::u16string& folder, std::unique_ptr<OutputFile>& file) override
    {
        if (fault == Fault::Create)
            return {error, 1};
        std::unique_ptr<OutputFile> real;
        FileStatus status = SystemFileSystem().CreateOutput(folder, real);
        if (status)
            file = std::make_unique<FaultyOutput>(*this, std::move(real));
        return status;
    }
    FileStatus CheckNewName(const std::u16string& folder, const std::u16string& name) override
    {
        return SystemFileSystem().CheckNewName(folder, name);
    }
    FileStatus FlushFolder(const std::u16string& folder) override { return SystemFileSystem().FlushFolder(folder); }

private:
    class FaultySource final : public File {
    public:
        FaultySource(FaultyFileSystem& fs, std::unique_ptr<File> real) : m_fs(fs), m_real(std::move(real)) {}
        FileStatus GetLength(uint64_t& length) override { return m_real->GetLength(length); }
        FileStatus Read(void* buffer, uint32_t count, uint32_t& got) override
        {
            ++m_calls;
            if (m_fs.fault == Fault::Read && m_calls == m_fs.failOnCall)
                return {m_fs.error, 1};
            FileStatus status = m_real->Read(buffer, count, got);
            if (m_fs.fault == Fault::ShortRead && m_calls == m_fs.failOnCall)
                got /= 2;
            return status;
        }
        FileStatus Close() override { return m_real->Close(); }

    private:
        FaultyFileSystem& m_fs;
        std::unique_ptr<File> m_real;
        int m_calls = 0;
    };

    class FaultyOutput final : public OutputFile {
    public:
        FaultyOutput(FaultyFileSystem& fs, std::unique_ptr<OutputFile> real) : m_fs(fs), m_real(std::move(real)) {}
        FileStatus Write(const void* buffer, uint32_t count) override
        {
            ++m_calls;
            if (m_fs.fault == Fault::Write && m_calls == m_fs.failOnCall) {
                m_real->Write(buffer, count / 2);  // a partial write, as a full disk leaves it
                return {m_fs.error, 1};
            }
            return m_real->Write(buffer, count);
        }
        FileStatus Finish(std::optional<uint32_t> permissions) override
        {
            FileStatus status = m_real->Finish(permissions);
            if (m_fs.fault == Fault::Finish)
                return {m_fs.error, 1};
            return status;
        }
        FileStatus Publish(const std::u16string& path, bool replace) override
        {
            if (m_fs.fault == Fault::Publish)
                return {m_fs.error, 1};
            return m_real->Publish(path, replace);
        }

    private:
        FaultyFileSystem& m_fs;
        std::unique_ptr<OutputFile> m_real;
        int m_calls = 0;
    };
};

TEST(CipherJob, EachFailureIsReportedAndLeavesNoPartialOutput)
{
    using Fault = FaultyFileSystem::Fault;
    struct Case {
        Fault fault;
        int call;
        JobStatus expected;
        FileError error;
    };
    const Case cases[] = {
        {Fault::Create, 1, JobStatus::CreateOutputFailed, FileError::AccessDenied},
        {Fault::Read, 1, JobStatus::ReadFailed, FileError::Other},
        {Fault::Read, 3, JobStatus::ReadFailed, FileError::Other},
        {Fault::ShortRead, 2, JobStatus::ReadFailed, FileError::Truncated},
        {Fault::Write, 1, JobStatus::WriteFailed, FileError::DiskFull},
        {Fault::Write, 4, JobStatus::WriteFailed, FileError::DiskFull},
        {Fault::Finish, 1, JobStatus::WriteFailed, FileError::DiskFull},
        {Fault::Publish, 1, JobStatus::CreateOutputFailed, FileError::InUse},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(c.fault) << " call " << c.call);
        ScratchDir dir;
        const auto plain = test::RandomBytes(0x40000 * 4 + 100, 9);
        WriteFile(dir / u"a", plain);
        WriteFile(dir / u"en_a", {7, 7, 7});
        FaultyFileSystem fs;
        fs.fault = c.fault;
        fs.failOnCall = c.call;
        fs.error = c.error;

        RecordingOwner owner;
        const JobOutcome outcome = RunJob(CipherDirection::Encipher, u"123456", dir / u"a", fs, &owner);
        EXPECT_EQ(outcome.status, c.expected);
        EXPECT_EQ(outcome.file.error, c.error);
        EXPECT_EQ(outcome.outputName, u"en_a");
        // The source and an earlier output are untouched; no temporary file is left.
        EXPECT_EQ(ReadFile(dir / u"a"), plain);
        EXPECT_EQ(ReadFile(dir / u"en_a"), (std::vector<uint8_t> {7, 7, 7}));
        EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
        if (c.fault != Fault::Create) {
            // A failed run still sends its notice (the dialog shows the failure) and releases.
            EXPECT_EQ(owner.Events(CipherDirection::Encipher),
                      (std::vector<std::string> {"start", "done", "released"}));
        }
    }
}

// An output's bytes reach the disk before any name shows it, and its folder's
// names after it has its own, all before the job says it is done. A failing
// flush fails the job: before the name, an earlier output stays.
TEST(CipherJob, TheOutputIsOnTheDiskBeforeItIsNamedAndItsNameBeforeTheJobIsDone)
{
    ScratchDir dir;
    const auto plain = test::RandomBytes(0x40000 * 2 + 5, 3);
    const std::vector<uint8_t> earlier {7, 7, 7};
    WriteFile(dir / u"a", plain);
    std::unique_ptr<RecordingOwner> owner;
    std::vector<FlushStep> steps;
    std::optional<FlushStep> failing;
    const auto fs = MakeSystemFileSystem([&](FlushStep step, const std::function<FileStatus()>& flush) {
        steps.push_back(step);
        const bool named = ReadFile(dir / u"en_a").size() == plain.size();
        EXPECT_EQ(named, step == FlushStep::Folder) << "flush step " << static_cast<int>(step);
        EXPECT_EQ(owner->Count(CipherDirection::Encipher, "done"), 0);
        return step == failing ? FileStatus {FileError::DiskError, 5} : flush();
    });
    const auto run = [&](std::optional<FlushStep> fail) {
        WriteFile(dir / u"en_a", earlier);
        steps.clear();
        failing = fail;
        owner = std::make_unique<RecordingOwner>();
        return RunJob(CipherDirection::Encipher, u"123456", dir / u"a", *fs, owner.get());
    };

    EXPECT_EQ(run(std::nullopt).status, JobStatus::Succeeded);
#ifdef _WIN32
    EXPECT_EQ(steps, std::vector<FlushStep> {FlushStep::Data});  // the file system journals names
#else
    EXPECT_EQ(steps, (std::vector<FlushStep> {FlushStep::Data, FlushStep::Folder}));
#endif

    const JobOutcome dataLost = run(FlushStep::Data);
    EXPECT_EQ(dataLost.status, JobStatus::WriteFailed);
    EXPECT_EQ(dataLost.file.error, FileError::DiskError);
    EXPECT_EQ(ReadFile(dir / u"en_a"), earlier);
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
#ifndef _WIN32
    // The name was given and cannot be taken back without losing the output.
    const JobOutcome nameUnsure = run(FlushStep::Folder);
    EXPECT_EQ(nameUnsure.status, JobStatus::NotDurable);
    EXPECT_EQ(ReadFile(dir / u"en_a").size(), plain.size());
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
#endif
}

// A stream (standard input) of any length gives exactly the bytes that the
// same data gives from a file: the same blocks, read whole until the last.
TEST(CipherJob, AStreamGivesTheBytesOfAFileWithTheSameData)
{
    // Hands out its bytes as a pipe does once filled up: whole reads until the end.
    class MemorySource final : public File {
    public:
        explicit MemorySource(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
        FileStatus GetLength(uint64_t& length) override { return length = 0, FileStatus {}; }
        FileStatus Read(void* buffer, uint32_t count, uint32_t& got) override
        {
            got = static_cast<uint32_t>(std::min<size_t>(count, m_bytes.size() - m_at));
            if (got != 0)
                std::memcpy(buffer, m_bytes.data() + m_at, got);
            m_at += got;
            return {};
        }
        FileStatus Close() override { return {}; }

    private:
        std::vector<uint8_t> m_bytes;
        size_t m_at = 0;
    };
    class MemorySink final : public OutputFile {
    public:
        explicit MemorySink(std::vector<uint8_t>& bytes) : m_bytes(bytes) {}
        FileStatus Write(const void* buffer, uint32_t count) override
        {
            const auto* p = static_cast<const uint8_t*>(buffer);
            m_bytes.insert(m_bytes.end(), p, p + count);
            return {};
        }
        FileStatus Finish(std::optional<uint32_t>) override { return {}; }
        FileStatus Publish(const std::u16string&, bool) override { return {}; }

    private:
        std::vector<uint8_t>& m_bytes;
    };

    ScratchDir dir;
    std::mt19937 lengths(20261208);
    std::vector<size_t> sizes {0, 1, CIPHER_BLOCK_SIZE - 1, CIPHER_BLOCK_SIZE, CIPHER_BLOCK_SIZE + 1,
                               2 * CIPHER_BLOCK_SIZE, 3 * CIPHER_BLOCK_SIZE + 1};
    for (int i = 0; i < 6; ++i)
        sizes.push_back(lengths() % (4 * CIPHER_BLOCK_SIZE));
    for (const size_t size : sizes) {
        SCOPED_TRACE(size);
        for (const CipherDirection direction : {CipherDirection::Encipher, CipherDirection::Decipher}) {
            const auto data = test::RandomBytes(size, static_cast<uint32_t>(size));
            WriteFile(dir / u"a", data);
            ASSERT_EQ(RunJob(direction, u"stream7", dir / u"a").status, JobStatus::Succeeded);
            CipherJob job;
            RecordingOwner owner;
            job.SetKey(u"stream7");
            std::vector<uint8_t> streamed;
            ASSERT_EQ(job.PrepareStream(std::make_unique<MemorySource>(data)).status, JobStatus::Succeeded);
            ASSERT_EQ(job.LaunchJob(owner, direction, std::make_unique<MemorySink>(streamed)).status,
                      JobStatus::Succeeded);
            ASSERT_TRUE(test::WaitForJob(job));
            EXPECT_EQ(job.Outcome().status, JobStatus::Succeeded);
            EXPECT_EQ(streamed, ReadFile(dir / (OutputPrefix(direction) + std::u16string(u"a"))));
            EXPECT_EQ(owner.LastTotal(direction), 0u) << "a stream's length is not known";
        }
    }
}

TEST(CipherJob, SourcesPastFourGibibytes)
{
    const uint64_t size = (uint64_t {1} << 32) + CIPHER_BLOCK_SIZE + 77;
    test::VirtualFileSystem fs(size, {'a', 'b', 'c', 'd', 'e', 'f', 'g'});
    const JobOutcome outcome = RunJob(CipherDirection::Encipher, u"abcdefg", "virtual", fs);
    EXPECT_EQ(outcome.status, JobStatus::Succeeded);
    EXPECT_EQ(fs.written, size);
    EXPECT_EQ(fs.mismatches, 0u);
}

}  // namespace
}  // namespace quorvel
