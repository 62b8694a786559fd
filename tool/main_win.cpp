// The Windows console program: the command line arrives as UTF-16 (paths may
// hold characters outside the ANSI code page), and the output goes to a
// console as UTF-16, or unchanged (UTF-8, LF line ends) into files and pipes.
// Output is written when a command flushes it (the probe, line by line) and
// at the end, so that UTF-8 is never cut within a character.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <sstream>

#include "model/text_conversion.h"
#include "tool/presets_tool.h"

namespace {

// False when not all of the text arrived.
bool writeTo(DWORD stream, const std::string& utf8)
{
    if (utf8.empty())
        return true;
    const HANDLE handle = GetStdHandle(stream);
    DWORD mode = 0;
    DWORD done = 0;
    if (GetConsoleMode(handle, &mode)) {
        const std::wstring text = wideFromUtf8(utf8);
        return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
               done == text.size();
    }
    return WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &done, nullptr) && done == utf8.size();
}

// The text of one standard handle, held until it is flushed.
class HandleBuffer : public std::stringbuf {
public:
    explicit HandleBuffer(DWORD stream) : stream_(stream) {}

protected:
    int sync() override
    {
        const bool written = writeTo(stream_, str());
        str("");
        return written ? 0 : -1;
    }

private:
    DWORD stream_;
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    _setmode(_fileno(stdin), _O_BINARY);
    std::vector<std::string> arguments;
    for (int index = 1; index < argc; ++index)
        arguments.push_back(utf8FromWide(argv[index]));

    HandleBuffer outBuffer(STD_OUTPUT_HANDLE);
    HandleBuffer errBuffer(STD_ERROR_HANDLE);
    std::ostream out(&outBuffer);
    std::ostream err(&errBuffer);
    ToolIo io{std::cin, out, err};
    const int exitCode = runPresetsTool(arguments, io);
    std::fflush(stderr);  // lines the reader wrote on its own come first
    out.flush();
    err.flush();
    return exitCode;
}
