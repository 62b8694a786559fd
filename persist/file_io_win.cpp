#include "persist/file_io.h"

#include <windows.h>
#include <restartmanager.h>

#include <cerrno>
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

// The C runtime leaves errno and the system's last error as they were when a
// call succeeds, and sets only errno for a write that found no space: both
// are cleared before each operation, so that a failure leaves only its own.
void clearFault()
{
    errno = 0;
    SetLastError(ERROR_SUCCESS);
}

FileFault faultOfSystemError(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return FileFault::missing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return FileFault::held;
    case ERROR_ACCESS_DENIED:
        return FileFault::accessDenied;
    case ERROR_WRITE_PROTECT:
        return FileFault::readOnly;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return FileFault::diskFull;
    default:
        return FileFault::other;
    }
}

}  // namespace

FileFault lastFileFault()
{
    const DWORD error = GetLastError();
    if (error != ERROR_SUCCESS)
        return faultOfSystemError(error);
    switch (errno) {
    case ENOENT:
        return FileFault::missing;
    case EACCES:
        return FileFault::accessDenied;
    case ENOSPC:
        return FileFault::diskFull;
    default:
        return FileFault::other;
    }
}

bool fileIsReadOnly(const FilePath& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

int openForReading(const FilePath& path)
{
    clearFault();
    return _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
}

int createForWriting(const FilePath& path)
{
    clearFault();
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int createNewForWriting(const FilePath& path)
{
    clearFault();
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int openExistingForWriting(const FilePath& path)
{
    clearFault();
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
    clearFault();
    return _read(file, buffer, static_cast<unsigned>(count));
}

int32_t writeSome(int file, const uint8_t* bytes, int32_t count)
{
    clearFault();
    return _write(file, bytes, static_cast<unsigned>(count));
}

int64_t fileSize(int file)
{
    return _filelengthi64(file);
}

int64_t fileWriteTime(int file)
{
    FILETIME written = {};
    if (!GetFileTime(reinterpret_cast<HANDLE>(_get_osfhandle(file)), nullptr, nullptr, &written))
        return 0;
    return static_cast<int64_t>(static_cast<uint64_t>(written.dwHighDateTime) << 32 | written.dwLowDateTime);
}

bool setFileSize(int file, int32_t size)
{
    clearFault();
    return _chsize(file, size) == 0;
}

bool flushToDisk(int file)
{
    clearFault();
    return _commit(file) == 0;
}

bool closeFile(int file)
{
    return _close(file) == 0;
}

ReplaceAttempt replaceFile(const FilePath& replacement, const FilePath& target)
{
    clearFault();
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
    clearFault();
    return _wunlink(path.c_str()) == 0;
}

FilePath programHoldingFile(const FilePath& path)
{
    DWORD session = 0;
    WCHAR sessionKey[CCH_RM_SESSION_KEY + 1] = {};
    if (RmStartSession(&session, 0, sessionKey) != ERROR_SUCCESS)
        return {};
    FilePath name;
    LPCWSTR files[] = {path.c_str()};
    RM_PROCESS_INFO programs[4] = {};
    UINT needed = 0;
    UINT count = 4;
    DWORD reasons = 0;
    if (RmRegisterResources(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
        RmGetList(session, &needed, &count, programs, &reasons) == ERROR_SUCCESS && count > 0)
        name = programs[0].strAppName;
    RmEndSession(session);
    return name;
}

unsigned long currentProcessNumber()
{
    return GetCurrentProcessId();
}

bool processRunning(unsigned long number)
{
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, number);
    if (process == nullptr)
        return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}
