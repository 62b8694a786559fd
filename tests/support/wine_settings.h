#pragma once

// Settings of the Wine prefix that the calling program runs in. A program
// started afterwards runs with them.

#include <windows.h>

// Wine manages the windows of `program` (a file name such as L"RiverraConfig.exe")
// itself instead of handing them to a window manager: without one, Wine would
// wait two seconds each time such a window is hidden.
bool letWineManageWindowsOf(const wchar_t* program);

// The screen's DPI (LogPixels; 96 is 100 %).
bool setScreenDpi(DWORD dpi);
