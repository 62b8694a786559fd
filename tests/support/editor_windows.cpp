#include "tests/support/editor_windows.h"

#include "tests/support/desktop_input.h"
#include "ui/resource.h"

HWND presetPage(HWND mainWindow)
{
    // Without a tab control FindWindowEx would search the top-level windows.
    const HWND tabs = GetDlgItem(mainWindow, IDC_PRESET_TABS);
    return tabs ? FindWindowExW(tabs, nullptr, kDialogClass, nullptr) : nullptr;
}

HWND editorControl(HWND mainWindow, int id)
{
    const HWND onPage = GetDlgItem(presetPage(mainWindow), id);
    return onPage ? onPage : GetDlgItem(mainWindow, id);
}
