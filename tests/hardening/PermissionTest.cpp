// A folder the user may not write to, by its permissions rather than a mount.
// Kept apart from the mount tests: their private user namespace would make a
// non-root process pass every permission check on its own files.
#include "Harness.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace quorvel {
namespace {

using test::ReadFile;
using test::RecordingOwner;
using test::ScratchDir;
using test::WriteFile;
using Names = std::vector<std::u16string>;

constexpr CipherDirection kEncipher = CipherDirection::Encipher;
const std::u16string kPassword = u"hardening7";

// Root passes every permission check, so as root the job runs in a child
// process that has dropped to the unprivileged user "nobody".
TEST(Permissions, OutputFolderWithoutWritePermission)
{
    ScratchDir dir;
    const auto plain = test::RandomBytes(CIPHER_BLOCK_SIZE + 1, 3);
    WriteFile(dir / u"a", plain);
    WriteFile(dir / u"en_a", {5});
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                                 std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    const auto runJob = [&] { return test::RunOneJob(kEncipher, kPassword, dir / u"a"); };
    if (::geteuid() != 0) {
        const JobOutcome outcome = runJob();
        EXPECT_EQ(outcome.status, JobStatus::CreateOutputFailed);
        EXPECT_EQ(outcome.file.error, FileError::AccessDenied);
    } else {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // 65534 is "nobody"; in a user namespace it may not exist (exit 3).
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            const JobOutcome outcome = runJob();
            ::_exit(outcome.status == JobStatus::CreateOutputFailed && outcome.file.error == FileError::AccessDenied
                        ? 0
                        : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 3)
            GTEST_SKIP() << "cannot drop to user nobody here";
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the job as nobody did not report CreateOutputFailed/AccessDenied";
    }
    EXPECT_EQ(ReadFile(dir / u"a"), plain);
    EXPECT_EQ(ReadFile(dir / u"en_a"), (std::vector<uint8_t> {5}));
    EXPECT_EQ(dir.List(), (Names {u"a", u"en_a"}));
    std::filesystem::permissions(dir.Path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
    CipherJob job;
    RecordingOwner owner;
    test::ExpectNextJobWorks(job, owner, dir.Path());
}

}  // namespace
}  // namespace quorvel
