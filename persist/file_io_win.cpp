#include "persist/file_io.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace {

// Access denied is lasting for a folder or a read-only file in the target's
// place; for a plain file it comes from another program holding it open.
bool targetRefusesForGood(const FilePath& target)
{
    const DWORD attributes = GetFileAttributesW(target.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0;
}

}  // namespace

int openForReading(const FilePath& path)
{
    return _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
}

int createForWriting(const FilePath& path)
{
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int createNewForWriting(const FilePath& path)
{
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int openExistingForWriting(const FilePath& path)
{
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    const int file = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (file < 0)
        CloseHandle(handle);
    return file;
}

int32_t readSome(int file, uint8_t* buffer, int32_t count)
{
    return _read(file, buffer, static_cast<unsigned>(count));
}

int32_t writeSome(int file, const uint8_t* bytes, int32_t count)
{
    return _write(file, bytes, static_cast<unsigned>(count));
}

int64_t fileSize(int file)
{
    return _filelengthi64(file);
}

bool setFileSize(int file, int32_t size)
{
    return _chsize(file, size) == 0;
}

bool flushToDisk(int file)
{
    return _commit(file) == 0;
}

bool closeFile(int file)
{
    return _close(file) == 0;
}

ReplaceAttempt replaceFile(const FilePath& replacement, const FilePath& target)
{
    if (MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ReplaceAttempt::done;
    switch (GetLastError()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return ReplaceAttempt::mayPass;
    case ERROR_ACCESS_DENIED:
        return targetRefusesForGood(target) ? ReplaceAttempt::cannotPass : ReplaceAttempt::mayPass;
    default:
        return ReplaceAttempt::cannotPass;
    }
}

bool removeFile(const FilePath& path)
{
    return _wunlink(path.c_str()) == 0;
}
