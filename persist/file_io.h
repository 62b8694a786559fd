#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// File paths as the platform takes them: UTF-16 on Windows, so that a
// directory named with characters outside the ANSI code page still works.
#ifdef _WIN32
using FilePath = std::wstring;
#else
using FilePath = std::string;
#endif

// The few low-level file operations of the configuration file, on descriptors
// of the C runtime. Files are binary and opened without sharing restrictions.

// Why the last file operation of this thread failed; asked right after it.
enum class FileFault {
    other,
    missing,       // no file or folder of that name
    held,          // another program holds the file open and does not share it
    readOnly,      // the file is marked read-only
    accessDenied,  // the user may not write there (or read, for a read)
    diskFull,
};
FileFault lastFileFault();
// The system's own words for that failure ("No such file or directory"), as
// UTF-8; empty when it gave none.
std::string lastFileReason();
// Forgets the cause of an earlier failure, before an operation whose failure
// leaves its cause in the same place (a standard stream's write).
void clearFileFault();
// True when the file exists and is marked read-only (or, on POSIX, not writable).
bool fileIsReadOnly(const FilePath& path);

// -1 when the file cannot be opened; errno then tells why (ENOENT: missing).
int openForReading(const FilePath& path);
// Creates or truncates the file, readable and writable by its owner; -1 on failure.
int createForWriting(const FilePath& path);
// Creates the file only when nothing has that name yet; -1 on failure, with
// errno EEXIST when the name is taken.
int createNewForWriting(const FilePath& path);
// The same for a file that is to take the place of `target` through
// replaceFile: it gets the owner and permissions of the file at `target`, or
// those of any new file when there is none. (On Windows replaceFile itself
// hands on the old file's security descriptor.) Only an administrator may
// give a file to another owner: for others it stays theirs.
int createNewToReplace(const FilePath& path, const FilePath& target);
// Opens an existing file for writing without truncating it, letting other
// programs go on reading, writing and deleting it; -1 on failure.
int openExistingForWriting(const FilePath& path);
// One read or write call: the number of bytes moved, 0 at the end of the
// file, negative on an error.
int32_t readSome(int file, uint8_t* buffer, int32_t count);
int32_t writeSome(int file, const uint8_t* bytes, int32_t count);
// The file's length in bytes; negative on an error.
int64_t fileSize(int file);
// When the file was last written, in the platform's units; 0 when unknown.
int64_t fileWriteTime(int file);
// The same for the file at `path`, read without opening it, so that a file
// another program holds tells it too; 0 when unknown.
int64_t fileWriteTimeAt(const FilePath& path);
// The write time, as fileWriteTime tells it, of a file written `age` ago.
int64_t fileTimeAgo(std::chrono::seconds age);
// Makes the file `size` bytes long: cut off, or grown with zero bytes.
bool setFileSize(int file, int32_t size);
// Puts what was written on the disk.
bool flushToDisk(int file);
bool closeFile(int file);

// How an attempt to replace a file ended. Another program that holds the
// target open can refuse a replace for a while; such a refusal may pass.
enum class ReplaceAttempt { done, mayPass, cannotPass };

// Moves `replacement` over `target` in one step: afterwards the target is
// either the old or the new file, never a mixture. On Windows the new file
// takes over the old one's security descriptor and attributes.
ReplaceAttempt replaceFile(const FilePath& replacement, const FilePath& target);
// The file that `path` names, following symbolic links, so that a save
// replaces the link's target and keeps the link; `path` itself when it is no
// link, or when its target cannot be told.
FilePath linkTarget(const FilePath& path);
bool removeFile(const FilePath& path);

// Whether anything (a file, a folder, a link) has that name; false also when
// the system cannot tell.
bool pathExists(const FilePath& path);
bool isFolder(const FilePath& path);
// The names in a folder (an empty path: the current one), without "." and
// ".."; none when it cannot be read.
std::vector<FilePath> namesInFolder(const FilePath& folder);
// The folder part of a path ("C:\dir" of "C:\dir\config.dat", "C:\" of
// "C:\config.dat", empty for a bare name) and its last part, the file's name.
FilePath folderOf(const FilePath& path);
FilePath fileNameOf(const FilePath& path);

// The name of a program that holds the file open, where the system tells; empty otherwise.
FilePath programHoldingFile(const FilePath& path);
// This process's number, and whether the process of that number still runs.
unsigned long currentProcessNumber();
bool processRunning(unsigned long number);

// Writes all `count` bytes, in as many calls as it takes.
inline bool writeAll(int file, const uint8_t* bytes, int32_t count)
{
    while (count > 0) {
        const int32_t written = writeSome(file, bytes, count);
        if (written <= 0)
            return false;
        bytes += written;
        count -= written;
    }
    return true;
}

// `path` with an ASCII suffix appended ("config.dat" + ".tmp").
inline FilePath withSuffix(const FilePath& path, const std::string& suffix)
{
    return path + FilePath(suffix.begin(), suffix.end());
}
