#include "persist/file_replace.h"

#include <thread>
#include <utility>

ReplaceOutcome replaceOrWriteInPlace(const ReplaceSteps& steps)
{
    const auto deadline = steps.now() + kReplaceRetryLimit;
    ReplaceAttempt attempt = steps.replace();
    while (attempt == ReplaceAttempt::mayPass && steps.now() + kReplaceRetryPause <= deadline) {
        steps.pause(kReplaceRetryPause);
        attempt = steps.replace();
    }
    if (attempt == ReplaceAttempt::done)
        return ReplaceOutcome::replaced;
    ReplaceOutcome outcome = ReplaceOutcome::refused;
    if (attempt == ReplaceAttempt::mayPass) {
        switch (steps.writeInPlace()) {
        case InPlaceWrite::written:
            outcome = ReplaceOutcome::writtenInPlace;
            break;
        case InPlaceWrite::failedPartWay:
            return ReplaceOutcome::failedPartWay;
        case InPlaceWrite::targetUntouched:
            outcome = ReplaceOutcome::held;
            break;
        }
    }
    steps.removeTemporary();
    return outcome;
}

ReplaceSteps fileSystemReplaceSteps(const FilePath& temporary, const FilePath& target,
                                    std::function<InPlaceWrite()> writeInPlace)
{
    return ReplaceSteps{
        [temporary, target] { return replaceFile(temporary, target); },
        std::move(writeInPlace),
        [temporary] { removeFile(temporary); },
        [] { return std::chrono::steady_clock::now(); },
        [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); },
    };
}
