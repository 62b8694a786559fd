#include "persist/file_io.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

int openForReading(const FilePath& path)
{
    return _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
}

int createForWriting(const FilePath& path)
{
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}

int32_t readSome(int file, uint8_t* buffer, int32_t count)
{
    return _read(file, buffer, static_cast<unsigned>(count));
}

int32_t writeSome(int file, const uint8_t* bytes, int32_t count)
{
    return _write(file, bytes, static_cast<unsigned>(count));
}

bool flushToDisk(int file)
{
    return _commit(file) == 0;
}

bool closeFile(int file)
{
    return _close(file) == 0;
}

bool replaceFile(const FilePath& replacement, const FilePath& target)
{
    return MoveFileExW(replacement.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool removeFile(const FilePath& path)
{
    return _wunlink(path.c_str()) == 0;
}
