#include "persist/damaged_copy.h"

#include <cerrno>
#include <string>

namespace {

const char kDamagedSuffix[] = ".damaged";

// Creates the copy under the first free name; -1 when it cannot be created.
int createCopy(const FilePath& path, FilePath& copyPath)
{
    for (int number = 0;; ++number) {
        const std::string suffix = number == 0 ? kDamagedSuffix : kDamagedSuffix + ("." + std::to_string(number));
        copyPath = withSuffix(path, suffix);
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

}  // namespace

RejectedFile examineRejectedFile(const FilePath& path)
{
    const int file = openForReading(path);
    if (file < 0)
        return errno == ENOENT ? RejectedFile::missing : RejectedFile::unreadable;
    uint8_t first = 0;
    const int32_t received = readSome(file, &first, 1);
    closeFile(file);
    if (received < 0)
        return RejectedFile::unreadable;
    return received == 0 ? RejectedFile::empty : RejectedFile::damaged;
}

bool keepDamagedCopy(const FilePath& path)
{
    const int source = openForReading(path);
    if (source < 0)
        return errno == ENOENT;
    FilePath copyPath;
    const int copy = createCopy(path, copyPath);
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
