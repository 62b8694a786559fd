#include "app/module_path.h"

#include <windows.h>
#include <shlwapi.h>

namespace {

constexpr DWORD kModulePathLimit = 510;

}  // namespace

std::wstring pathBesideExecutable(const wchar_t* fileName)
{
    wchar_t directory[kModulePathLimit];
    const DWORD length = GetModuleFileNameW(nullptr, directory, kModulePathLimit);
    if (length == 0 || length >= kModulePathLimit)
        return std::wstring();
    PathRemoveFileSpecW(directory);
    return std::wstring(directory) + L"\\" + fileName;
}
