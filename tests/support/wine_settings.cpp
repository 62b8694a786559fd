#include "tests/support/wine_settings.h"

#include <string>

bool letWineManageWindowsOf(const wchar_t* program)
{
    const std::wstring key = std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\X11 Driver";
    const wchar_t no[] = L"N";
    return RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Managed", REG_SZ, no, sizeof(no)) == ERROR_SUCCESS;
}

bool setScreenDpi(DWORD dpi)
{
    return RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD, &dpi,
                           sizeof(dpi)) == ERROR_SUCCESS;
}
