#pragma once

#include <cstdint>
#include <string>

// File paths as the platform takes them: UTF-16 on Windows, so that a
// directory named with characters outside the ANSI code page still works.
#ifdef _WIN32
using FilePath = std::wstring;
#else
using FilePath = std::string;
#endif

// The few low-level file operations of the configuration file, on descriptors
// of the C runtime. Files are binary and opened without sharing restrictions.

// -1 when the file cannot be opened.
int openForReading(const FilePath& path);
// Creates or truncates the file, readable and writable by its owner; -1 on failure.
int createForWriting(const FilePath& path);
// One read or write call: the number of bytes moved, 0 at the end of the
// file, negative on an error.
int32_t readSome(int file, uint8_t* buffer, int32_t count);
int32_t writeSome(int file, const uint8_t* bytes, int32_t count);
// Puts what was written on the disk.
bool flushToDisk(int file);
bool closeFile(int file);
// Moves `replacement` over `target` in one step: afterwards the target is
// either the old or the new file, never a mixture.
bool replaceFile(const FilePath& replacement, const FilePath& target);
bool removeFile(const FilePath& path);
