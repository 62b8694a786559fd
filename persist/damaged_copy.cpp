#include "persist/damaged_copy.h"

#include <cerrno>
#include <string>

namespace {

const char kDamagedSuffix[] = ".damaged";
const char kReplacedSuffix[] = ".replaced";

FilePath numberedDamagedName(const FilePath& path, int number)
{
    return withSuffix(path, number == 0 ? kDamagedSuffix : kDamagedSuffix + ("." + std::to_string(number)));
}

// Creates the copy under the first free name; -1 when it cannot be created.
int createDamagedCopy(const FilePath& path, FilePath& copyPath)
{
    for (int number = 0;; ++number) {
        copyPath = numberedDamagedName(path, number);
        const int file = createNewForWriting(copyPath);
        if (file >= 0 || errno != EEXIST)
            return file;
    }
}

bool copyContent(int from, int to)
{
    uint8_t buffer[16384];
    for (;;) {
        const int32_t received = readSome(from, buffer, sizeof buffer);
        if (received <= 0)
            return received == 0;
        if (!writeAll(to, buffer, received))
            return false;
    }
}

// Copies `path` into the file that `createCopy` makes; see keepDamagedCopy.
template <typename CreateCopy>
bool keepCopy(const FilePath& path, CreateCopy createCopy)
{
    const int source = openForReading(path);
    if (source < 0)
        return lastFileFault() == FileFault::missing;
    FilePath copyPath;
    const int copy = createCopy(copyPath);
    if (copy < 0) {
        closeFile(source);
        return false;
    }
    const bool copied = copyContent(source, copy) && flushToDisk(copy);
    const bool closed = closeFile(copy);
    closeFile(source);
    if (copied && closed)
        return true;
    removeFile(copyPath);
    return false;
}

}  // namespace

FilePath damagedCopyName(const FilePath& path)
{
    for (int number = 0;; ++number) {
        const FilePath name = numberedDamagedName(path, number);
        if (!pathExists(name))
            return name;
    }
}

bool keepDamagedCopy(const FilePath& path)
{
    return keepCopy(path, [&](FilePath& copyPath) { return createDamagedCopy(path, copyPath); });
}

bool keepReplacedCopy(const FilePath& path)
{
    return keepCopy(path, [&](FilePath& copyPath) {
        copyPath = withSuffix(path, kReplacedSuffix);
        return createForWriting(copyPath);
    });
}
