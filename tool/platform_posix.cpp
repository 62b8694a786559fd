// The platform's side of the tool where it is not Windows: config.dat holds
// code page 1252, and paths are the bytes given.
#include "tool/code_page.h"
#include "tool/tool_files.h"

std::unique_ptr<CodePage> platformCodePage()
{
    return codePage1252();
}

std::unique_ptr<CodePage> namedCodePage(unsigned number)
{
    return number == 1252 ? codePage1252() : nullptr;
}

FilePath toFilePath(const std::string& utf8)
{
    return utf8;
}

std::string utf8Path(const FilePath& path)
{
    return path;
}
