// What the last step of a save tries next after each answer of the file system.
#include "persist/file_replace.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <utility>

namespace {

using std::chrono::milliseconds;

// Answers the replace with the scripted attempts (the last one repeats) on a
// clock that only the pauses move.
class ScriptedFileSystem {
public:
    ScriptedFileSystem(std::deque<ReplaceAttempt> attempts, InPlaceWrite inPlace)
        : attempts_(std::move(attempts)), inPlace_(inPlace)
    {
    }

    ReplaceSteps steps()
    {
        return ReplaceSteps{
            [this] {
                ++replaces;
                const ReplaceAttempt attempt = attempts_.front();
                if (attempts_.size() > 1)
                    attempts_.pop_front();
                return attempt;
            },
            [this] {
                ++inPlaceWrites;
                return inPlace_;
            },
            [this] { ++temporaryRemovals; },
            [this] { return std::chrono::steady_clock::time_point() + waited; },
            [this](milliseconds pause) { waited += pause; },
        };
    }

    int replaces = 0;
    int inPlaceWrites = 0;
    int temporaryRemovals = 0;
    milliseconds waited{0};

private:
    std::deque<ReplaceAttempt> attempts_;
    InPlaceWrite inPlace_;
};

TEST(FileReplace, RefusalThatPassesIsTriedAgainUntilTheReplaceSucceeds)
{
    ScriptedFileSystem files({ReplaceAttempt::mayPass, ReplaceAttempt::mayPass, ReplaceAttempt::mayPass,
                              ReplaceAttempt::done},
                             InPlaceWrite::written);
    EXPECT_EQ(replaceOrWriteInPlace(files.steps()), ReplaceOutcome::replaced);
    EXPECT_EQ(files.replaces, 4);
    EXPECT_EQ(files.waited, 3 * kReplaceRetryPause);
    EXPECT_EQ(files.inPlaceWrites, 0);
    EXPECT_EQ(files.temporaryRemovals, 0);  // it became the target
}

TEST(FileReplace, LastingRefusalWritesInPlaceOnceTheRetryTimeIsUp)
{
    ScriptedFileSystem files({ReplaceAttempt::mayPass}, InPlaceWrite::written);
    EXPECT_EQ(replaceOrWriteInPlace(files.steps()), ReplaceOutcome::writtenInPlace);
    EXPECT_EQ(files.waited, kReplaceRetryLimit);
    EXPECT_EQ(files.replaces, kReplaceRetryLimit / kReplaceRetryPause + 1);
    EXPECT_EQ(files.inPlaceWrites, 1);
    EXPECT_EQ(files.temporaryRemovals, 1);
}

TEST(FileReplace, InPlaceWriteFailingPartWayKeepsTheTemporaryFile)
{
    ScriptedFileSystem files({ReplaceAttempt::mayPass}, InPlaceWrite::failedPartWay);
    EXPECT_EQ(replaceOrWriteInPlace(files.steps()), ReplaceOutcome::failedPartWay);
    EXPECT_EQ(files.inPlaceWrites, 1);
    EXPECT_EQ(files.temporaryRemovals, 0);
}

TEST(FileReplace, FailureThatLeavesTheTargetAsItWasRemovesTheTemporaryFile)
{
    ScriptedFileSystem lasting({ReplaceAttempt::mayPass, ReplaceAttempt::cannotPass}, InPlaceWrite::written);
    EXPECT_EQ(replaceOrWriteInPlace(lasting.steps()), ReplaceOutcome::refused);
    EXPECT_EQ(lasting.replaces, 2);
    EXPECT_EQ(lasting.inPlaceWrites, 0);
    EXPECT_EQ(lasting.temporaryRemovals, 1);

    ScriptedFileSystem notOpened({ReplaceAttempt::mayPass}, InPlaceWrite::targetUntouched);
    EXPECT_EQ(replaceOrWriteInPlace(notOpened.steps()), ReplaceOutcome::held);
    EXPECT_EQ(notOpened.inPlaceWrites, 1);
    EXPECT_EQ(notOpened.temporaryRemovals, 1);
}

}  // namespace
