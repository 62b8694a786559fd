#pragma once

#include <chrono>
#include <functional>

#include "persist/file_io.h"

// The last step of a save: the complete, flushed temporary file takes the
// place of the target. While another program holds the target open the
// replace may be refused; it is tried again for a bounded time, and after
// that the new bytes are written into the target itself if it can be opened
// for writing. The steps come from outside so that each answer can be fed in.

// How writing the new content into the target itself ended.
enum class InPlaceWrite {
    written,         // complete, cut to size and flushed
    targetUntouched, // not opened, or refused before any byte changed
    failedPartWay,   // the target may hold a mixture
};

struct ReplaceSteps {
    std::function<ReplaceAttempt()> replace;
    std::function<InPlaceWrite()> writeInPlace;
    std::function<void()> removeTemporary;
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<void(std::chrono::milliseconds)> pause;
};

// The longest time refused replaces are tried again, and the pause between two tries.
constexpr std::chrono::milliseconds kReplaceRetryLimit{2000};
constexpr std::chrono::milliseconds kReplaceRetryPause{50};

enum class ReplaceOutcome {
    replaced,        // the temporary file became the target
    writtenInPlace,  // the target holds the new content, written into it
    refused,         // the replace was refused for good; the target is as it was
    held,            // the target stayed held and could not be written into; it is as it was
    failedPartWay,   // the in-place write broke off; the temporary file is kept
};

// How the target came to hold the new content, or why not. The temporary
// file is removed unless a part-way in-place write leaves it as the only
// complete copy.
ReplaceOutcome replaceOrWriteInPlace(const ReplaceSteps& steps);

// The steps on the real file system and clock; `writeInPlace` is the caller's.
ReplaceSteps fileSystemReplaceSteps(const FilePath& temporary, const FilePath& target,
                                    std::function<InPlaceWrite()> writeInPlace);
