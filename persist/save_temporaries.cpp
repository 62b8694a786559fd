#include "persist/save_temporaries.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>

namespace {

const char kTemporarySuffix[] = ".tmp";
// Process numbers have 32 bits on every system the editor and the tool run on.
constexpr uint64_t kLargestProcessNumber = 0xFFFFFFFFu;
// A save writes its temporary file within seconds; one of another process
// that has not been written to for this long belongs to no running save,
// even where that process's number means another process here (a folder
// shared between machines).
constexpr std::chrono::minutes kAbandonedAfter{1};

struct EarlierTemporary {
    FilePath path;
    unsigned long process = 0;  // 0: the shared name, whose writer is unknown
    int64_t written = 0;        // as fileWriteTime tells it
};

bool isDigit(FilePath::value_type c)
{
    return c >= '0' && c <= '9';
}

// The process number in "<process>-<number>", the middle of a temporary
// file's name; false for any other text, and for a number no process has.
bool processOfName(const FilePath& middle, unsigned long& process)
{
    const size_t dash = middle.find('-');
    if (dash == 0 || dash == FilePath::npos || dash + 1 == middle.size() || middle.size() > 24 ||
        !std::all_of(middle.begin(), middle.begin() + dash, isDigit) ||
        !std::all_of(middle.begin() + dash + 1, middle.end(), isDigit))
        return false;
    uint64_t number = 0;
    for (size_t position = 0; position < dash; ++position) {
        number = number * 10 + static_cast<uint64_t>(middle[position] - '0');
        if (number > kLargestProcessNumber)
            return false;
    }
    process = static_cast<unsigned long>(number);
    return true;
}

bool endsWith(const FilePath& text, const FilePath& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<EarlierTemporary> earlierTemporaries(const FilePath& target)
{
    const FilePath targetName = fileNameOf(target);
    const FilePath folder = target.substr(0, target.size() - targetName.size());  // with its separator
    const FilePath sharedName = withSuffix(targetName, kTemporarySuffix);
    const FilePath prefix = withSuffix(targetName, ".");
    const FilePath suffix = withSuffix(FilePath(), kTemporarySuffix);
    std::vector<EarlierTemporary> found;
    for (const FilePath& name : namesInFolder(folderOf(target))) {
        EarlierTemporary temporary{folder + name, 0, 0};
        const bool ours = name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
                          endsWith(name, suffix) &&
                          processOfName(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()),
                                        temporary.process);
        if (!ours && name != sharedName)
            continue;
        temporary.written = fileWriteTimeAt(temporary.path);
        if (temporary.written != 0)
            found.push_back(temporary);
    }
    std::sort(found.begin(), found.end(),
              [](const EarlierTemporary& a, const EarlierTemporary& b) { return a.written > b.written; });
    return found;
}

}  // namespace

int createSaveTemporary(const FilePath& target, FilePath& temporary)
{
    const std::string process = "." + std::to_string(currentProcessNumber()) + "-";
    for (int number = 1;; ++number) {
        temporary = withSuffix(target, process + std::to_string(number) + kTemporarySuffix);
        const int file = createNewToReplace(temporary, target);
        if (file >= 0 || errno != EEXIST)
            return file;
    }
}

std::vector<FilePath> temporariesOfEarlierSaves(const FilePath& target)
{
    std::vector<FilePath> paths;
    for (const EarlierTemporary& temporary : earlierTemporaries(target))
        paths.push_back(temporary.path);
    return paths;
}

void removeTemporariesOfEndedSaves(const FilePath& target)
{
    const int64_t abandoned = fileTimeAgo(kAbandonedAfter);
    for (const EarlierTemporary& temporary : earlierTemporaries(target)) {
        const bool ownSave = temporary.process == currentProcessNumber();
        const bool otherSaveEnded = temporary.written < abandoned &&
                                    (temporary.process == 0 || !processRunning(temporary.process));
        if (ownSave || otherSaveEnded)
            removeFile(temporary.path);
    }
}
