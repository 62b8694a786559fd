// Stand-in for the renderer executable: records how it was started, then
// optionally stays alive for a while so that a caller's wait can run out.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

#include "host/host_event_log.h"
#include "host/host_log_format.h"

namespace {

std::wstring currentDirectory()
{
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    if (size == 0)
        return {};
    std::wstring directory(size, L'\0');
    const DWORD length = GetCurrentDirectoryW(size, &directory[0]);
    directory.resize(length < size ? length : 0);
    return directory;
}

// The arguments as the usual command-line rules split them.
std::vector<std::wstring> commandLineArguments()
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr)
        return {};
    std::vector<std::wstring> list(arguments, arguments + count);
    LocalFree(arguments);
    return list;
}

DWORD sleepMilliseconds()
{
    return static_cast<DWORD>(std::wcstoul(environmentText(host_log::kRendererSleepVariable).c_str(), nullptr, 10));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    recordHostEvent(L"renderer", L"start",
                    {GetCommandLineW(), currentDirectory(), std::to_wstring(startup.dwFlags),
                     std::to_wstring(startup.wShowWindow)});
    recordHostEvent(L"renderer", L"arguments", commandLineArguments());

    Sleep(sleepMilliseconds());
    recordHostEvent(L"renderer", L"end");
    return 0;
}
