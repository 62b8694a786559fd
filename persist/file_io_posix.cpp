#include "persist/file_io.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int openForReading(const FilePath& path)
{
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

int createForWriting(const FilePath& path)
{
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
}

int createNewForWriting(const FilePath& path)
{
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

int openExistingForWriting(const FilePath& path)
{
    return open(path.c_str(), O_WRONLY | O_CLOEXEC);
}

int32_t readSome(int file, uint8_t* buffer, int32_t count)
{
    ssize_t result;
    do
        result = read(file, buffer, static_cast<size_t>(count));
    while (result < 0 && errno == EINTR);
    return static_cast<int32_t>(result);
}

int32_t writeSome(int file, const uint8_t* bytes, int32_t count)
{
    ssize_t result;
    do
        result = write(file, bytes, static_cast<size_t>(count));
    while (result < 0 && errno == EINTR);
    return static_cast<int32_t>(result);
}

int64_t fileSize(int file)
{
    struct stat status;
    return fstat(file, &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

bool setFileSize(int file, int32_t size)
{
    return ftruncate(file, size) == 0;
}

bool flushToDisk(int file)
{
    return fsync(file) == 0;
}

bool closeFile(int file)
{
    return close(file) == 0;
}

// Other programs that hold the target open never stop a rename here, so no
// refusal is worth waiting for.
ReplaceAttempt replaceFile(const FilePath& replacement, const FilePath& target)
{
    return std::rename(replacement.c_str(), target.c_str()) == 0 ? ReplaceAttempt::done : ReplaceAttempt::cannotPass;
}

bool removeFile(const FilePath& path)
{
    return unlink(path.c_str()) == 0;
}
