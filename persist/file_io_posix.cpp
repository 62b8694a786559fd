#include "persist/file_io.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

FileFault lastFileFault()
{
    switch (errno) {
    case ENOENT:
    case ENOTDIR:
        return FileFault::missing;
    case EACCES:
    case EPERM:
        return FileFault::accessDenied;
    case EROFS:
        return FileFault::readOnly;
    case ENOSPC:
    case EDQUOT:
        return FileFault::diskFull;
    default:
        return FileFault::other;
    }
}

bool fileIsReadOnly(const FilePath& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), W_OK) != 0;
}

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

int64_t fileWriteTime(int file)
{
    struct stat status;
    if (fstat(file, &status) != 0)
        return 0;
    return static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
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

// Other programs never keep a file from being replaced here.
FilePath programHoldingFile(const FilePath& /*path*/)
{
    return {};
}

unsigned long currentProcessNumber()
{
    return static_cast<unsigned long>(getpid());
}

bool processRunning(unsigned long number)
{
    return kill(static_cast<pid_t>(number), 0) == 0 || errno == EPERM;
}
