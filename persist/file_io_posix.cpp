#include "persist/file_io.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

int openForReading(const FilePath& path)
{
    return open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

int createForWriting(const FilePath& path)
{
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
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

bool flushToDisk(int file)
{
    return fsync(file) == 0;
}

bool closeFile(int file)
{
    return close(file) == 0;
}

bool replaceFile(const FilePath& replacement, const FilePath& target)
{
    return std::rename(replacement.c_str(), target.c_str()) == 0;
}

bool removeFile(const FilePath& path)
{
    return unlink(path.c_str()) == 0;
}
