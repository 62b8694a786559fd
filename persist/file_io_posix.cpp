#include "persist/file_io.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
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

std::string lastFileReason()
{
    return errno != 0 ? std::strerror(errno) : std::string();
}

void clearFileFault()
{
    errno = 0;
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

int createNewToReplace(const FilePath& path, const FilePath& target)
{
    // Created as any new file is (the umask applies), and given the old file's owner and mode when there is one.
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    struct stat old;
    if (file < 0 || stat(target.c_str(), &old) != 0 || !S_ISREG(old.st_mode))
        return file;
    const int savedErrno = errno;
    // The owner first: a change of owner clears the set-ID bits that the mode then restores.
    if (fchown(file, old.st_uid, old.st_gid) != 0 && fchown(file, static_cast<uid_t>(-1), old.st_gid) != 0)
        errno = savedErrno;  // only the administrator gives files away: it stays this user's
    if (fchmod(file, old.st_mode & 07777) != 0)
        errno = savedErrno;
    return file;
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

namespace {

// A time as one number of nanoseconds.
int64_t nanoseconds(const timespec& time)
{
    return static_cast<int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace

int64_t fileWriteTime(int file)
{
    struct stat status;
    if (fstat(file, &status) != 0)
        return 0;
    return nanoseconds(status.st_mtim);
}

int64_t fileWriteTimeAt(const FilePath& path)
{
    struct stat status;
    if (stat(path.c_str(), &status) != 0)
        return 0;
    return nanoseconds(status.st_mtim);
}

int64_t fileTimeAgo(std::chrono::seconds age)
{
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    return nanoseconds(now) - age.count() * 1000000000;
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

FilePath linkTarget(const FilePath& path)
{
    // As many links in a row as the system itself follows.
    constexpr int kMaxLinks = 40;
    std::filesystem::path target(path);
    for (int link = 0; link < kMaxLinks; ++link) {
        std::error_code error;
        if (!std::filesystem::is_symlink(target, error))
            break;
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error)
            break;
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target.native();
}

bool removeFile(const FilePath& path)
{
    return unlink(path.c_str()) == 0;
}

bool pathExists(const FilePath& path)
{
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

bool isFolder(const FilePath& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

std::vector<FilePath> namesInFolder(const FilePath& folder)
{
    std::vector<FilePath> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder.empty() ? "." : folder, error), end; !error && entry != end;
         entry.increment(error))
        names.push_back(entry->path().filename().native());
    return names;
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
