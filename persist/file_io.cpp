#include "persist/file_io.h"

namespace {

#ifdef _WIN32
const wchar_t kSeparators[] = L"\\/";
const wchar_t kNameStarts[] = L"\\/:";  // "C:config.dat" names config.dat on drive C
#else
const char kSeparators[] = "/";
const char kNameStarts[] = "/";
#endif

bool isSeparator(FilePath::value_type c)
{
    return FilePath(kSeparators).find(c) != FilePath::npos;
}

size_t fileNameStart(const FilePath& path)
{
    const size_t before = path.find_last_of(kNameStarts);
    return before == FilePath::npos ? 0 : before + 1;
}

}  // namespace

FilePath folderOf(const FilePath& path)
{
    size_t end = fileNameStart(path);
    // The separators before the name go, except the one of a root ("/", "C:\").
    while (end > 1 && isSeparator(path[end - 1]) && path[end - 2] != ':')
        --end;
    return path.substr(0, end);
}

FilePath fileNameOf(const FilePath& path)
{
    return path.substr(fileNameStart(path));
}
