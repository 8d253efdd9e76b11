// When the dialog may start a direction and when it may end: clicks during a
// start or a run, closing while jobs run, jobs ending while the user decides;
// and the elapsed-time count when timer messages are merged.
#include "dialog/DialogJobState.h"
#include "dialog/DirectionControls.h"

#include <gtest/gtest.h>

#include <utility>

namespace quorvel {
namespace {

constexpr CipherDirection kEn = CipherDirection::Encipher;
constexpr CipherDirection kDe = CipherDirection::Decipher;
constexpr int kCancel = 2;
constexpr int kOk = 1;

using Step = DialogJobState::CloseStep;

// A release's step: whether the button comes back, whether the dialog ends.
std::pair<bool, bool> Release(DialogJobState& state, CipherDirection direction)
{
    const DialogJobState::ReleaseStep step = state.Released(direction);
    return {step.enableButton, step.endDialog};
}

// A start that got as far as its worker: the direction runs.
void Launch(DialogJobState& state, CipherDirection direction)
{
    ASSERT_TRUE(state.BeginStart(direction));
    state.Launched(direction);
    state.EndStart(direction);
}

TEST(DialogJobState, ADirectionStartsOnceUntilItsWorkerReleased)
{
    DialogJobState state;
    ASSERT_TRUE(state.BeginStart(kEn));
    EXPECT_FALSE(state.BeginStart(kEn)) << "second click while the file dialog is up";
    EXPECT_TRUE(state.BeginStart(kDe)) << "the other direction is independent";
    state.EndStart(kDe);

    state.Launched(kEn);
    state.EndStart(kEn);
    EXPECT_TRUE(state.IsRunning(kEn));
    EXPECT_FALSE(state.BeginStart(kEn)) << "click while the worker runs";

    EXPECT_EQ(Release(state, kEn), std::pair(true, false));
    EXPECT_TRUE(state.BeginStart(kEn));
}

TEST(DialogJobState, AStartThatFailedLeavesTheDirectionFree)
{
    DialogJobState state;
    ASSERT_TRUE(state.BeginStart(kDe));
    state.EndStart(kDe);  // password too short, file dialog cancelled, open failed
    EXPECT_FALSE(state.AnyRunning());
    EXPECT_TRUE(state.BeginStart(kDe));
}

TEST(DialogJobState, ClosingWithNothingRunningEndsAtOnce)
{
    DialogJobState state;
    EXPECT_EQ(state.RequestClose(), Step::EndNow);

    // A start whose file dialog is still up has no worker yet: nothing to ask about.
    DialogJobState starting;
    ASSERT_TRUE(starting.BeginStart(kEn));
    EXPECT_EQ(starting.RequestClose(), Step::EndNow);
}

TEST(DialogJobState, ClosingWhileRunningAsksAndNoKeepsEverything)
{
    DialogJobState state;
    Launch(state, kEn);

    ASSERT_EQ(state.RequestClose(), Step::Ask);
    EXPECT_EQ(state.RequestClose(), Step::Ignore) << "a second close while the question is up";
    EXPECT_FALSE(state.AnswerClose(false, kCancel));
    EXPECT_FALSE(state.IsClosing());

    EXPECT_EQ(Release(state, kEn), std::pair(true, false));
    EXPECT_EQ(state.RequestClose(), Step::EndNow);
}

TEST(DialogJobState, YesEndsOnlyWhenTheLastRunningJobReleased)
{
    DialogJobState state;
    Launch(state, kEn);
    Launch(state, kDe);

    ASSERT_EQ(state.RequestClose(), Step::Ask);
    EXPECT_FALSE(state.AnswerClose(true, kOk)) << "both workers still run";
    EXPECT_TRUE(state.IsClosing());
    EXPECT_FALSE(state.BeginStart(kEn)) << "no new job once closing";
    EXPECT_EQ(state.RequestClose(), Step::Ignore);

    EXPECT_EQ(Release(state, kDe), std::pair(false, false));
    EXPECT_FALSE(state.BeginStart(kDe));

    EXPECT_EQ(Release(state, kEn), std::pair(false, true));
    EXPECT_EQ(state.CloseResult(), kOk) << "Enter closed it: the dialog ends with OK";
}

TEST(DialogJobState, AJobEndingWhileTheQuestionIsUpLetsYesEndAtOnce)
{
    DialogJobState state;
    Launch(state, kDe);
    ASSERT_EQ(state.RequestClose(), Step::Ask);

    // The release notice arrives inside the question box's message loop.
    const DialogJobState::ReleaseStep step = state.Released(kDe);
    EXPECT_TRUE(step.enableButton);
    EXPECT_FALSE(step.endDialog);
    EXPECT_TRUE(step.dismissQuestion) << "the question asks about a job that is gone";

    // A Yes that came before the question could be taken down still ends it.
    EXPECT_TRUE(state.AnswerClose(true, kCancel));
    EXPECT_EQ(state.CloseResult(), kCancel);
}

// The question goes only with the last running job, and only while it is up.
TEST(DialogJobState, TheQuestionGoesWhenTheLastJobItAskedAboutIsReleased)
{
    DialogJobState state;
    Launch(state, kEn);
    Launch(state, kDe);
    ASSERT_EQ(state.RequestClose(), Step::Ask);
    EXPECT_FALSE(state.Released(kEn).dismissQuestion) << "the decipherment still runs";
    EXPECT_TRUE(state.Released(kDe).dismissQuestion);
    // Taken down, it counts as No: everything carries on.
    EXPECT_FALSE(state.AnswerClose(false, kCancel));
    EXPECT_FALSE(state.IsClosing());
    EXPECT_EQ(state.RequestClose(), Step::EndNow);

    // Answered before the job ends, there is nothing left to take down.
    for (const bool confirmed : {false, true}) {
        DialogJobState answered;
        Launch(answered, kEn);
        ASSERT_EQ(answered.RequestClose(), Step::Ask);
        answered.AnswerClose(confirmed, kCancel);
        EXPECT_FALSE(answered.Released(kEn).dismissQuestion);
    }
}

// A start's own code can still be on the stack when its job ends: a message
// loop inside the start (a box, a COM call) lets a short job's completion and
// release through. The release is never lost, and a close confirmed then ends
// the dialog at the release.
TEST(DialogJobState, AJobReleasedBeforeItsStartEndedIsNotLost)
{
    for (const bool close : {false, true}) {
        DialogJobState state;
        ASSERT_TRUE(state.BeginStart(kDe));
        state.Launched(kDe);
        ASSERT_EQ(state.RequestClose(), Step::Ask) << "a launched job runs before its start has returned";
        EXPECT_FALSE(state.AnswerClose(close, kCancel));

        EXPECT_EQ(Release(state, kDe), std::pair(!close, close));
        EXPECT_FALSE(state.BeginStart(kDe)) << "the old start is still on the stack";
        state.EndStart(kDe);
        EXPECT_FALSE(state.IsBusy(kDe)) << "the start's end must not bring a released job back";
    }
}

// Nested boxes: the later box runs inside the earlier one's loop, so the
// releases come in either order, with a close confirmed between them.
TEST(DialogJobState, NestedBoxesReleaseInEitherOrderAndCloseAtTheLast)
{
    for (const CipherDirection first : {kEn, kDe}) {
        const CipherDirection second = first == kEn ? kDe : kEn;
        DialogJobState state;
        for (const CipherDirection d : {kEn, kDe})
            Launch(state, d);
        EXPECT_TRUE(state.Released(first).enableButton);
        EXPECT_TRUE(state.BeginStart(first)) << "free again while the other box is up";
        state.EndStart(first);

        ASSERT_EQ(state.RequestClose(), Step::Ask);
        EXPECT_FALSE(state.AnswerClose(true, kCancel)) << "the other job still waits for its box";
        EXPECT_TRUE(state.Released(second).endDialog);
    }
}

TEST(TickCount, TimerMessagesCountEveryTenthEvenWhenMerged)
{
    // Ten timer messages, none missed; then ten in three seconds.
    for (const uint64_t period : {100, 300}) {
        int32_t ticks = 0;
        for (uint64_t ms = period; ms <= 10 * period; ms += period)
            ticks = TicksAfter(ticks, ms, true);
        EXPECT_EQ(ticks, static_cast<int32_t>(period / 10)) << "a message every " << period << " ms";
    }
    EXPECT_EQ(TicksAfter(0, 99, true), 1) << "a timer message a little early still counts its tick";
    EXPECT_EQ(TicksAfter(10, 3050, false), 30) << "at completion the count catches up without a timer message";
}

TEST(TickCount, CompletionNeverAddsATickOrGoesBack)
{
    EXPECT_EQ(TicksAfter(0, 0, false), 0);
    EXPECT_EQ(TicksAfter(0, 99, false), 0) << "under a tenth of a second stays 0";
    EXPECT_EQ(TicksAfter(0, 100, false), 1);
    EXPECT_EQ(TicksAfter(12, 1150, false), 12);
    EXPECT_EQ(TicksAfter(12, 1000, false), 12) << "early timer ticks are not taken back";
}

TEST(TickCount, HugeTimesDoNotWrapTheCount)
{
    EXPECT_EQ(TicksAfter(INT32_MAX, 0, true), INT32_MAX);
    EXPECT_EQ(TicksAfter(5, uint64_t {INT32_MAX} * 100 + 100, false), 5);
    EXPECT_EQ(TicksAfter(5, uint64_t {INT32_MAX} * 100, false), INT32_MAX);
}

}  // namespace
}  // namespace quorvel
