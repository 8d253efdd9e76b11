// The taskbar progress of the jobs: sums over the jobs that run or wait for
// their box, the error colour while a failed job's box is up, cleared when the
// last box is dismissed, and counts that arrive late or out of range.
#include "dialog/JobProgress.h"

#include <gtest/gtest.h>

#include <ostream>

namespace quorvel {

void PrintTo(const ProgressView& v, std::ostream* os)
{
    const char* state = v.state == ProgressState::None ? "None" : v.state == ProgressState::Normal ? "Normal" : "Error";
    *os << state << " " << v.done << "/" << v.total;
}

namespace {

constexpr CipherDirection kEn = CipherDirection::Encipher;
constexpr CipherDirection kDe = CipherDirection::Decipher;
constexpr ProgressView kNone {};

ProgressView Normal(uint64_t done, uint64_t total)
{
    return {ProgressState::Normal, done, total};
}

ProgressView Error(uint64_t done, uint64_t total)
{
    return {ProgressState::Error, done, total};
}

TEST(JobProgress, OneJobFromLaunchToItsDismissedBox)
{
    JobProgress p;
    EXPECT_EQ(p.View(), kNone);
    p.Started(kEn, 1000000);
    EXPECT_EQ(p.View(), Normal(0, 1000000));
    p.Advanced(kEn, 262144);
    EXPECT_EQ(p.View(), Normal(262144, 1000000));
    p.Ended(kEn, false);
    EXPECT_EQ(p.View(), Normal(1000000, 1000000)) << "full while the completion box is up";
    p.Dismissed(kEn);
    EXPECT_EQ(p.View(), kNone);
}

// Two jobs count their bytes together, each until its box is dismissed; a
// failed one turns the whole bar to the error colour until its box goes.
TEST(JobProgress, TwoJobsShowTheirBytesTogetherAndAFailureItsColour)
{
    for (const bool failed : {false, true}) {
        SCOPED_TRACE(failed ? "the first job fails" : "both succeed");
        JobProgress p;
        p.Started(kEn, 1000);
        p.Advanced(kEn, 400);
        p.Started(kDe, 2000);
        p.Advanced(kDe, 100);
        EXPECT_EQ(p.View(), Normal(500, 3000));
        p.Ended(kEn, failed);
        // A failed job keeps the bytes it got to; a finished one counts them all.
        EXPECT_EQ(p.View(), failed ? Error(500, 3000) : Normal(1100, 3000));
        p.Advanced(kDe, 900);
        EXPECT_EQ(p.View(), failed ? Error(1300, 3000) : Normal(1900, 3000)) << "the other job still counts";
        p.Dismissed(kEn);
        EXPECT_EQ(p.View(), Normal(900, 2000));
        p.Advanced(kDe, 2000);
        p.Ended(kDe, failed);
        p.Dismissed(kDe);
        EXPECT_EQ(p.View(), kNone);
    }
}

TEST(JobProgress, LateAndStrayCountsChangeNothing)
{
    JobProgress p;
    p.Advanced(kEn, 77);
    p.Ended(kDe, false);
    EXPECT_EQ(p.View(), kNone) << "counts and ends of directions that run nothing";
    p.Started(kEn, 1000);
    p.Advanced(kEn, 5000);
    EXPECT_EQ(p.View(), Normal(1000, 1000)) << "never past the total";
    p.Ended(kEn, true);
    p.Advanced(kEn, 10);
    EXPECT_EQ(p.View(), Error(1000, 1000)) << "a count read after the end";
    p.Dismissed(kEn);
    p.Advanced(kEn, 600);
    EXPECT_EQ(p.View(), kNone) << "a count read after the dismissal";
    p.Started(kEn, 2000);
    EXPECT_EQ(p.View(), Normal(0, 2000)) << "the next job starts from nothing";
}

TEST(JobProgress, EmptyFilesShowAnEmptyThenAFullBar)
{
    JobProgress p;
    p.Started(kDe, 0);
    EXPECT_EQ(p.View(), Normal(0, 1));
    p.Ended(kDe, false);
    EXPECT_EQ(p.View(), Normal(1, 1));
    p.Started(kEn, 4096);
    p.Advanced(kEn, 1024);
    EXPECT_EQ(p.View(), Normal(1024, 4096)) << "beside a file with bytes, the bytes decide";
}

TEST(JobProgress, SizesPastFourGiBAddUp)
{
    JobProgress p;
    const uint64_t big = (uint64_t {1} << 40) + 5;
    p.Started(kEn, big);
    p.Started(kDe, big);
    p.Advanced(kEn, big - 1);
    EXPECT_EQ(p.View(), Normal(big - 1, 2 * big));
}

}  // namespace
}  // namespace quorvel
