#include "persist/file_io.h"

#include <windows.h>
#include <restartmanager.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include "model/text_conversion.h"

namespace {

// Access denied is lasting for a folder or a read-only file in the target's
// place; for a plain file it comes from another program holding it open.
bool targetRefusesForGood(const FilePath& target)
{
    const DWORD attributes = GetFileAttributesW(target.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0;
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

// A path that GetFinalPathNameByHandleW gives ("\\?\C:\dir\file",
// "\\?\UNC\server\share\file") as the user writes it.
FilePath withoutLongPathPrefix(const FilePath& path)
{
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0)
        return L"\\" + path.substr(7);
    if (path.compare(0, 4, L"\\\\?\\") == 0)
        return path.substr(4);
    return path;
}

}  // namespace

// The C runtime leaves errno and the system's last error as they were when a
// call succeeds, and sets only errno for a write that found no space: both
// are cleared before each operation, so that a failure leaves only its own.
void clearFileFault()
{
    errno = 0;
    SetLastError(ERROR_SUCCESS);
}

std::string lastFileReason()
{
    const DWORD error = GetLastError();
    if (error == ERROR_SUCCESS)
        return errno != 0 ? std::strerror(errno) : std::string();
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring reason = length > 0 ? std::wstring(text, length) : L"system error " + std::to_wstring(error);
    LocalFree(text);
    // The system's texts end with a full stop and a line break.
    while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' ' ||
                               reason.back() == L'.'))
        reason.pop_back();
    return utf8FromWide(reason);
}

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
    clearFileFault();
    return _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
}

int createForWriting(const FilePath& path)
{
    clearFileFault();
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int createNewForWriting(const FilePath& path)
{
    clearFileFault();
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int createNewToReplace(const FilePath& path, const FilePath& /*target*/)
{
    return createNewForWriting(path);
}

int openExistingForWriting(const FilePath& path)
{
    clearFileFault();
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
    clearFileFault();
    return _read(file, buffer, static_cast<unsigned>(count));
}

int32_t writeSome(int file, const uint8_t* bytes, int32_t count)
{
    clearFileFault();
    return _write(file, bytes, static_cast<unsigned>(count));
}

int64_t fileSize(int file)
{
    return _filelengthi64(file);
}

namespace {

// A file time as one number of 100 ns units.
int64_t fileTimeValue(const FILETIME& time)
{
    return static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime);
}

}  // namespace

int64_t fileWriteTime(int file)
{
    FILETIME written = {};
    if (!GetFileTime(reinterpret_cast<HANDLE>(_get_osfhandle(file)), nullptr, nullptr, &written))
        return 0;
    return fileTimeValue(written);
}

int64_t fileWriteTimeAt(const FilePath& path)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes))
        return 0;
    return fileTimeValue(attributes.ftLastWriteTime);
}

int64_t fileTimeAgo(std::chrono::seconds age)
{
    constexpr int64_t kUnitsPerSecond = 10000000;  // FILETIME counts 100 ns
    FILETIME now = {};
    GetSystemTimeAsFileTime(&now);
    return fileTimeValue(now) - age.count() * kUnitsPerSecond;
}

bool setFileSize(int file, int32_t size)
{
    clearFileFault();
    return _chsize(file, size) == 0;
}

bool flushToDisk(int file)
{
    clearFileFault();
    return _commit(file) == 0;
}

bool closeFile(int file)
{
    return _close(file) == 0;
}

namespace {

// What a refused replace of `target` may still come to.
ReplaceAttempt afterRefusal(DWORD error, const FilePath& target)
{
    switch (error) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
        return ReplaceAttempt::mayPass;
    case ERROR_ACCESS_DENIED:
        return targetRefusesForGood(target) ? ReplaceAttempt::cannotPass : ReplaceAttempt::mayPass;
    default:
        return ReplaceAttempt::cannotPass;
    }
}

// A file that replaces nothing: a rename, with the folder's defaults for it.
ReplaceAttempt moveInto(const FilePath& replacement, const FilePath& target)
{
    if (MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ReplaceAttempt::done;
    return afterRefusal(GetLastError(), target);
}

}  // namespace

// ReplaceFileW hands the old file's security descriptor (owner, permissions)
// and attributes on to the new one; a rename would leave it those it was
// created with.
ReplaceAttempt replaceFile(const FilePath& replacement, const FilePath& target)
{
    clearFileFault();
    // Only files are replaced so: a missing target is made, and a folder in
    // its place refused, by the rename.
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return moveInto(replacement, target);
    if (ReplaceFileW(target.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr))
        return ReplaceAttempt::done;
    const DWORD error = GetLastError();
    // Gone meanwhile, or removed by ReplaceFileW while the new file kept its temporary name.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
        return moveInto(replacement, target);
    return afterRefusal(error, target);
}

FilePath linkTarget(const FilePath& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        return path;
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return path;
    std::wstring target(MAX_PATH, L'\0');
    DWORD length = GetFinalPathNameByHandleW(file, &target[0], static_cast<DWORD>(target.size()), VOLUME_NAME_DOS);
    if (length >= target.size()) {
        target.resize(length);
        length = GetFinalPathNameByHandleW(file, &target[0], static_cast<DWORD>(target.size()), VOLUME_NAME_DOS);
    }
    CloseHandle(file);
    if (length == 0 || length >= target.size())
        return path;
    target.resize(length);
    return withoutLongPathPrefix(target);
}

bool removeFile(const FilePath& path)
{
    clearFileFault();
    return _wunlink(path.c_str()) == 0;
}

bool pathExists(const FilePath& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isFolder(const FilePath& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<FilePath> namesInFolder(const FilePath& folder)
{
    std::vector<FilePath> names;
    FilePath pattern = folder;
    if (!pattern.empty() && FilePath(L"\\/:").find(pattern.back()) == FilePath::npos)
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found = {};
    const HANDLE search =
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const FilePath name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
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
