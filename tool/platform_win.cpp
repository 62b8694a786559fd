// The platform's side of the tool on Windows: config.dat holds the system's
// ANSI code page, and paths are UTF-16.
#include <windows.h>

#include "model/text_conversion.h"
#include "tool/code_page.h"
#include "tool/tool_files.h"

std::unique_ptr<CodePage> platformCodePage()
{
    return windowsCodePage(GetACP());
}

std::unique_ptr<CodePage> namedCodePage(unsigned number)
{
    return windowsCodePage(number);
}

FilePath toFilePath(const std::string& utf8)
{
    return wideFromUtf8(utf8);
}

std::string utf8Path(const FilePath& path)
{
    return utf8FromWide(path);
}
