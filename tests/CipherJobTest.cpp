// Cipher jobs end to end on real files and on a fault-injecting file system:
// round trips, notices and their order, failures that leave nothing behind
// (an output folder without write permission among them), cancellation, both
// directions at once, sizes past 4 GiB and past a 32-bit block count.
#include "cipher/CipherJob.h"

#include "RecordingOwner.h"
#include "TestFiles.h"
#include "FakeFileSystem.h"
#include "platform/FileNames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <cstring>
#include <mutex>
#include <random>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quorvel::test {
namespace {

TEST(CipherJob, RoundTripsAtEveryEdgeSize)
{
    ScratchDir dir;
    const std::u16string password = u"mqzvtrk";
    const size_t k = password.size();
    for (size_t size : {size_t {0}, size_t {1}, k - 1, size_t {0x3FFFF}, size_t {0x40000}, size_t {0x40001},
                        size_t {3 * 0x40000 + 12345}}) {
        SCOPED_TRACE(size);
        const auto plain = WriteRandomFile(dir / u"data.bin", size, static_cast<uint32_t>(size));

        ASSERT_EQ(RunOneJob(CipherDirection::Encipher, password, dir / u"data.bin").status, JobStatus::Succeeded);
        const auto enciphered = ReadFile(dir / u"en_data.bin");
        ASSERT_EQ(enciphered.size(), plain.size());
        if (size >= 64) {
            EXPECT_NE(enciphered, plain);
        }

        ASSERT_EQ(RunOneJob(CipherDirection::Decipher, password, dir / u"en_data.bin").status,
                  JobStatus::Succeeded);
        EXPECT_EQ(ReadFile(dir / u"de_en_data.bin"), plain);
        EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"data.bin", u"de_en_data.bin", u"en_data.bin"}));
    }
}

TEST(CipherJob, FileMatchesBlockwiseTransformAndRestartsTheKeyEveryBlock)
{
    ScratchDir dir;
    // The same plain block twice gives the same enciphered block twice.
    auto block = RandomBytes(CIPHER_BLOCK_SIZE, 7);
    auto plain = block;
    plain.insert(plain.end(), block.begin(), block.end());
    plain.push_back(0x42);
    WriteFile(dir / u"twice", plain);
    ASSERT_EQ(RunOneJob(CipherDirection::Encipher, u"abcdefg", dir / u"twice").status, JobStatus::Succeeded);
    const auto out = ReadFile(dir / u"en_twice");
    ASSERT_EQ(out.size(), plain.size());
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + CIPHER_BLOCK_SIZE, out.begin() + CIPHER_BLOCK_SIZE));
    EXPECT_EQ(out.back(), static_cast<uint8_t>(0x42 + 'a'));  // a one-byte block: byte + key[0]
}

TEST(CipherJob, NonAsciiAndAstralPasswordsAndNames)
{
    ScratchDir dir;
    const std::u16string name = u"资料 \u00e9t\u00e9.txt";
    const auto plain = WriteRandomFile(dir / name, 100000, 11);
    for (const std::u16string& password : {std::u16string(u"密码是秘密的"), std::u16string(u"\U0001F511\U0001F512key")}) {
        ASSERT_EQ(RunOneJob(CipherDirection::Encipher, password, dir / name).status, JobStatus::Succeeded);
        ASSERT_EQ(RunOneJob(CipherDirection::Decipher, password, dir / (u"en_" + name)).status,
                  JobStatus::Succeeded);
        EXPECT_EQ(ReadFile(dir / (u"de_en_" + name)), plain);
    }
}

TEST(CipherJob, NoticesComeInOrderAndTheOutputIsCompleteAtTheNotice)
{
    ScratchDir dir;
    const auto plain = WriteRandomFile(dir / u"a", 0x40000 * 2 + 5, 5);
    CipherJob job;
    RecordingOwner owner;
    bool outputCompleteAtNotice = false;
    owner.onDone = [&](CipherDirection) { outputCompleteAtNotice = ReadFile(dir / u"en_a").size() == plain.size(); };
    ASSERT_EQ(RunOneJob(job, owner, CipherDirection::Encipher, u"123456", dir / u"a").status,
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
    WriteRandomFile(dir / u"a", 10, 1);
    WriteRandomFile(dir / u"en_a", 5000, 2);
    ASSERT_EQ(RunOneJob(CipherDirection::Encipher, u"123456", dir / u"a").status, JobStatus::Succeeded);
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
    const auto plain = WriteRandomFile(dir / u"p", 0x40000 * 8 + 3, 21);
    const auto other = WriteRandomFile(dir / u"q", 0x40000 * 8 + 9, 22);
    ASSERT_EQ(RunOneJob(CipherDirection::Encipher, u"password", dir / u"q").status, JobStatus::Succeeded);

    CipherJob encipher, decipher;
    RecordingOwner owner;
    ASSERT_EQ(StartJob(encipher, owner, CipherDirection::Encipher, u"password", dir / u"p").status,
              JobStatus::Succeeded);
    ASSERT_EQ(StartJob(decipher, owner, CipherDirection::Decipher, u"password", dir / u"en_q").status,
              JobStatus::Succeeded);
    FinishJob(encipher);
    FinishJob(decipher);
    EXPECT_EQ(owner.Events(CipherDirection::Encipher), (std::vector<std::string> {"start", "done", "released"}));
    EXPECT_EQ(owner.Events(CipherDirection::Decipher), (std::vector<std::string> {"start", "done", "released"}));
    EXPECT_EQ(ReadFile(dir / u"de_en_q"), other);
    ASSERT_EQ(RunOneJob(CipherDirection::Decipher, u"password", dir / u"en_p").status, JobStatus::Succeeded);
    EXPECT_EQ(ReadFile(dir / u"de_en_p"), plain);
}

TEST(CipherJob, BusyDirectionRefusesASecondStartUntilReleased)
{
    ScratchDir dir;
    WriteRandomFile(dir / u"a", 0x40000 * 3, 4);
    CipherJob job;
    RecordingOwner owner;
    std::mutex gate;
    std::unique_lock hold(gate);
    // The worker waits inside its notice, as it does while a completion box is open.
    owner.onDone = [&](CipherDirection) { std::lock_guard wait(gate); };
    ASSERT_EQ(StartJob(job, owner, CipherDirection::Encipher, u"123456", dir / u"a").status,
              JobStatus::Succeeded);
    EXPECT_TRUE(job.IsBusy());
    uint64_t size = 0;
    EXPECT_EQ(job.PrepareJob(U16(dir / u"a"), size).status, JobStatus::Busy);
    EXPECT_EQ(job.LaunchJob(owner, CipherDirection::Encipher, u"a").status, JobStatus::Busy);
    hold.unlock();
    FinishJob(job);
    // Released: the same record takes the next job.
    ASSERT_EQ(RunOneJob(job, owner, CipherDirection::Decipher, u"123456", dir / u"en_a").status,
              JobStatus::Succeeded);
    EXPECT_EQ(ReadFile(dir / u"de_en_a"), ReadFile(dir / u"a"));
}

TEST(CipherJob, CancelStopsAfterTheCurrentBlockAndLeavesNothing)
{
    ScratchDir dir;
    WriteRandomFile(dir / u"a", 0x40000 * 6, 4);
    WriteFile(dir / u"en_a", {1, 2, 3});  // an earlier output survives a cancelled run
    CipherJob job;
    RecordingOwner owner;
    owner.onBlock = [&](CipherDirection, uint64_t done) {
        if (done == 2 * uint64_t {CIPHER_BLOCK_SIZE})
            job.RequestCancel();
    };
    EXPECT_EQ(RunOneJob(job, owner, CipherDirection::Encipher, u"123456", dir / u"a").status,
              JobStatus::Cancelled);
    EXPECT_EQ(owner.LastDone(CipherDirection::Encipher), 2 * uint64_t {CIPHER_BLOCK_SIZE});
    EXPECT_EQ(owner.Events(CipherDirection::Encipher), (std::vector<std::string> {"start", "released"}));
    EXPECT_EQ(ReadFile(dir / u"en_a"), (std::vector<uint8_t> {1, 2, 3}));
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
}

TEST(CipherJob, DestroyingARunningJobCancelsAndWaits)
{
    ScratchDir dir;
    WriteRandomFile(dir / u"a", 0x40000 * 16, 4);
    RecordingOwner owner;
    {
        CipherJob job;
        ASSERT_EQ(StartJob(job, owner, CipherDirection::Encipher, u"123456", dir / u"a").status,
                  JobStatus::Succeeded);
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
    WriteRandomFile(source / u"a", 100, 1);
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.Path());
    const JobStatus status = RunOneJob(CipherDirection::Encipher, u"123456", source / u"a").status;
    std::filesystem::current_path(before);
    EXPECT_EQ(status, JobStatus::Succeeded);
    EXPECT_TRUE(elsewhere.List().empty());
    EXPECT_EQ(source.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
}

TEST(CipherJob, AnExplicitOutputFolderTakesTheOutputAndNothingShowsMidJob)
{
    ScratchDir source, target;
    const auto plain = WriteRandomFile(source / u"a", 0x40000 + 3, 8);
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
    const std::u16string folder = U16(target.Path()) + u"/";
    ASSERT_EQ(StartJob(job, owner, CipherDirection::Encipher, u"123456", source / u"a", folder).status,
              JobStatus::Succeeded);
    EXPECT_EQ(FinishJob(job).status, JobStatus::Succeeded);
    EXPECT_TRUE(nothingShowsMidJob);
    EXPECT_EQ(source.List(), (std::vector<std::u16string> {u"a"}));
    EXPECT_EQ(target.List(), (std::vector<std::u16string> {u"en_a"}));
    EXPECT_EQ(job.OutputPath(), U16(target.Path()) + u"/en_a");
    // The same bytes as an output beside the source.
    ASSERT_EQ(RunOneJob(CipherDirection::Encipher, u"123456", source / u"a").status, JobStatus::Succeeded);
    EXPECT_EQ(ReadFile(target / u"en_a"), ReadFile(source / u"en_a"));
}

// Each failure of the file services, on real files, is reported and leaves nothing behind.
TEST(CipherJob, EachFailureIsReportedAndLeavesNoPartialOutput)
{
    struct Case {
        FileCall call;
        int n;
        JobStatus expected;
        FileError error;  // Truncated: the n-th read comes back short instead
    };
    const Case cases[] = {
        {FileCall::Create, 1, JobStatus::CreateOutputFailed, FileError::AccessDenied},
        {FileCall::Read, 1, JobStatus::ReadFailed, FileError::Other},
        {FileCall::Read, 3, JobStatus::ReadFailed, FileError::Other},
        {FileCall::Read, 2, JobStatus::ReadFailed, FileError::Truncated},
        {FileCall::Write, 1, JobStatus::WriteFailed, FileError::DiskFull},
        {FileCall::Write, 4, JobStatus::WriteFailed, FileError::DiskFull},
        {FileCall::Finish, 1, JobStatus::WriteFailed, FileError::DiskFull},
        {FileCall::Publish, 1, JobStatus::CreateOutputFailed, FileError::InUse},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "call " << static_cast<int>(c.call) << " #" << c.n << " error "
                                        << static_cast<int>(c.error));
        ScratchDir dir;
        const auto plain = WriteRandomFile(dir / u"a", 0x40000 * 4 + 100, 9);
        WriteFile(dir / u"en_a", {7, 7, 7});
        FakeFileSystem fs;
        if (c.error == FileError::Truncated)
            fs.shortRead = c.n;
        else
            fs.hook = FailAt(c.call, c.n, {c.error, 1});

        CipherJob job(fs);
        RecordingOwner owner;
        const JobOutcome outcome = RunOneJob(job, owner, CipherDirection::Encipher, u"123456", dir / u"a");
        EXPECT_EQ(outcome.status, c.expected);
        EXPECT_EQ(outcome.file.error, c.error);
        EXPECT_EQ(outcome.outputName, u"en_a");
        // The source and an earlier output are untouched; no temporary file is left.
        EXPECT_EQ(ReadFile(dir / u"a"), plain);
        EXPECT_EQ(ReadFile(dir / u"en_a"), (std::vector<uint8_t> {7, 7, 7}));
        EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
        if (c.call != FileCall::Create) {
            // A failed run still sends its notice (the dialog shows the failure) and releases.
            EXPECT_EQ(owner.Events(CipherDirection::Encipher),
                      (std::vector<std::string> {"start", "done", "released"}));
        }
    }
}

#ifndef _WIN32
// Runs check in a child process, as user "nobody" when this is root (root
// passes every permission check and is held by no process limit). The
// child's exit: 0 when check held, 1 when not, 3 when it could not drop to
// nobody (in a user namespace nobody may not exist).
int ExitOfUnprivilegedChild(const std::function<bool()>& check)
{
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// A folder the user may not write to, by its permissions (apart from the mount
// tests, whose private user namespace would let a non-root process pass every
// permission check on its own files). Root passes every permission check, so
// as root the job runs in a child process that has dropped to user "nobody".
TEST(CipherJob, OutputFolderWithoutWritePermission)
{
    ScratchDir dir;
    const auto plain = WriteRandomFile(dir / u"a", CIPHER_BLOCK_SIZE + 1, 3);
    WriteFile(dir / u"en_a", {5});
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                                 std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    const auto runJob = [&] { return RunOneJob(CipherDirection::Encipher, u"hardening7", dir / u"a"); };
    if (::geteuid() != 0) {
        const JobOutcome outcome = runJob();
        EXPECT_EQ(outcome.status, JobStatus::CreateOutputFailed);
        EXPECT_EQ(outcome.file.error, FileError::AccessDenied);
    } else {
        const int exit = ExitOfUnprivilegedChild([&] {
            const JobOutcome outcome = runJob();
            return outcome.status == JobStatus::CreateOutputFailed && outcome.file.error == FileError::AccessDenied;
        });
        if (exit == 3)
            GTEST_SKIP() << "cannot drop to user nobody here";
        EXPECT_EQ(exit, 0) << "the job as nobody did not report CreateOutputFailed/AccessDenied";
    }
    EXPECT_EQ(ReadFile(dir / u"a"), plain);
    EXPECT_EQ(ReadFile(dir / u"en_a"), (std::vector<uint8_t> {5}));
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    CipherJob job;
    RecordingOwner owner;
    ExpectNextJobWorks(job, owner, dir.Path());
}

// A worker thread the system will not start fails the job as just that, and
// leaves nothing behind. With the user's process limit at one, the child
// itself, no thread can start.
TEST(CipherJob, WorkerThreadThatCannotStart)
{
    ScratchDir dir;
    WriteRandomFile(dir / u"a", 1000, 4);
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);  // for nobody
    const int exit = ExitOfUnprivilegedChild([&] {
        const rlimit one {1, 1};
        return ::setrlimit(RLIMIT_NPROC, &one) == 0 &&
               RunOneJob(CipherDirection::Encipher, u"hardening7", dir / u"a").status == JobStatus::NoThread;
    });
    if (exit == 3)
        GTEST_SKIP() << "cannot drop to user nobody here";
    EXPECT_EQ(exit, 0) << "the job did not report NoThread";
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a"}));
}
#endif

// An output's bytes reach the disk before any name shows it, and its folder's
// names after it has its own, all before the job says it is done. A failing
// flush fails the job: before the name, an earlier output stays.
TEST(CipherJob, TheOutputIsOnTheDiskBeforeItIsNamedAndItsNameBeforeTheJobIsDone)
{
    ScratchDir dir;
    const auto plain = WriteRandomFile(dir / u"a", 0x40000 * 2 + 5, 3);
    const std::vector<uint8_t> earlier {7, 7, 7};
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
        CipherJob job(*fs);
        return RunOneJob(job, *owner, CipherDirection::Encipher, u"123456", dir / u"a");
    };

    EXPECT_EQ(run(std::nullopt).status, JobStatus::Succeeded);
    EXPECT_EQ(steps, (std::vector<FlushStep> {FlushStep::Data, FlushStep::Folder}));

    const JobOutcome dataLost = run(FlushStep::Data);
    EXPECT_EQ(dataLost.status, JobStatus::WriteFailed);
    EXPECT_EQ(dataLost.file.error, FileError::DiskError);
    EXPECT_EQ(ReadFile(dir / u"en_a"), earlier);
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
    // The name was given and cannot be taken back without losing the output.
    const JobOutcome nameUnsure = run(FlushStep::Folder);
    EXPECT_EQ(nameUnsure.status, JobStatus::NotDurable);
    EXPECT_EQ(ReadFile(dir / u"en_a").size(), plain.size());
    EXPECT_EQ(dir.List(), (std::vector<std::u16string> {u"a", u"en_a"}));
}

// A stream (standard input) of any length gives exactly the bytes that the
// same data gives from a file: the same blocks, read whole until the last.
TEST(CipherJob, AStreamGivesTheBytesOfAFileWithTheSameData)
{
    ScratchDir dir;
    std::mt19937 lengths(20261208);
    std::vector<size_t> sizes {0, 1, CIPHER_BLOCK_SIZE - 1, CIPHER_BLOCK_SIZE, CIPHER_BLOCK_SIZE + 1,
                               2 * CIPHER_BLOCK_SIZE, 3 * CIPHER_BLOCK_SIZE + 1};
    for (int i = 0; i < 6; ++i)
        sizes.push_back(lengths() % (4 * CIPHER_BLOCK_SIZE));
    for (const size_t size : sizes) {
        SCOPED_TRACE(size);
        for (const CipherDirection direction : {CipherDirection::Encipher, CipherDirection::Decipher}) {
            const auto data = WriteRandomFile(dir / u"a", size, static_cast<uint32_t>(size));
            ASSERT_EQ(RunOneJob(direction, u"stream7", dir / u"a").status, JobStatus::Succeeded);
            CipherJob job;
            RecordingOwner owner;
            job.SetKey(u"stream7");
            Written streamed;
            ASSERT_EQ(job.PrepareStream(StreamOf(data)).status, JobStatus::Succeeded);
            ASSERT_EQ(job.LaunchJob(owner, direction, std::make_unique<MemoryOutput>(streamed)).status,
                      JobStatus::Succeeded);
            EXPECT_EQ(FinishJob(job).status, JobStatus::Succeeded);
            EXPECT_EQ(streamed.bytes, ReadFile(dir / (OutputPrefix(direction) + std::u16string(u"a"))));
            EXPECT_EQ(owner.LastTotal(direction), 0u) << "a stream's length is not known";
        }
    }
}

// A source of any claimed size made by a formula, and an output in memory
// that checks sampled bytes against the format as they arrive and may fill up
// after capacity bytes: sizes past 4 GiB (or past a 32-bit block count) at
// full scale without the disk.
struct Huge {
    static uint8_t PlainByte(uint64_t offset) { return static_cast<uint8_t>((offset * 2654435761u) >> 13); }

    Huge(uint64_t size, std::vector<uint8_t> key, uint64_t capacity = UINT64_MAX)
    {
        fs.makeSource = [size](const std::u16string&) {
            return std::make_unique<MadeSource>(size, [](uint64_t at, uint8_t* p, uint32_t n) {
                for (uint32_t i = 0; i < n; ++i)
                    p[i] = PlainByte(at + i);
            });
        };
        out.capacity = capacity;
        // out[i] = plain[start + n-1-i] + key[i mod K]
        out.check = [this, key = std::move(key)](uint64_t start, const uint8_t* p, uint32_t n) {
            for (uint32_t i = 0; i < n; i += 997)
                mismatches += p[i] != static_cast<uint8_t>(PlainByte(start + n - 1 - i) + key[i % key.size()]);
        };
        fs.memory = &out;
    }
    Huge(const Huge&) = delete;

    FakeFileSystem fs;
    Written out;
    uint64_t mismatches = 0;
};

TEST(CipherJob, SourcesPastFourGibibytes)
{
    const uint64_t size = (uint64_t {1} << 32) + CIPHER_BLOCK_SIZE + 77;
    Huge huge(size, {'a', 'b', 'c', 'd', 'e', 'f', 'g'});
    const JobOutcome outcome = RunOneJob(CipherDirection::Encipher, u"abcdefg", "virtual", huge.fs);
    EXPECT_EQ(outcome.status, JobStatus::Succeeded);
    EXPECT_EQ(huge.out.size, size);
    EXPECT_EQ(huge.mismatches, 0u);
}

// A source so large that its block count no longer fits 32 bits must not be
// reported done before its bytes are written.
TEST(CipherJob, SizesWhoseBlockCountExceeds32BitsAreNotCutShort)
{
    // From 2^32 - 1 full blocks and one byte on, a 32-bit count of the blocks wraps to 0, 1, ...
    const uint64_t wrap = uint64_t {0xFFFFFFFF} * CIPHER_BLOCK_SIZE + 1;
    for (const uint64_t size : {wrap, uint64_t {1} << 50, (uint64_t {1} << 50) + 1, (uint64_t {1} << 51) + 5,
                                ~uint64_t {0}}) {
        SCOPED_TRACE(size);
        Huge huge(size, {'1', '2', '3', '4', '5', '6'}, 3 * uint64_t {CIPHER_BLOCK_SIZE});
        const JobOutcome outcome = RunOneJob(CipherDirection::Encipher, u"123456", "/virtual/huge", huge.fs);
        // The output stops taking bytes after three blocks; the job must get that far and fail there.
        EXPECT_EQ(outcome.status, JobStatus::WriteFailed);
        EXPECT_EQ(outcome.file.error, FileError::DiskFull);
        EXPECT_EQ(huge.out.size, 3 * uint64_t {CIPHER_BLOCK_SIZE});
        EXPECT_EQ(huge.mismatches, 0u);
    }
}

}  // namespace
}  // namespace quorvel::test
