#pragma once

#include <windows.h>

// The DPI a window is shown at: that of its monitor where the system tells it
// per window (Windows 10 1607 and later), otherwise the system's.
UINT windowDpi(HWND window);

// The logo for a window shown at `dpi`: the bitmap drawn for that scale, or
// else the next larger drawn one (the largest, above 200 %) brought to size
// with halftone scaling. The caller owns the bitmap; null when it cannot be made.
HBITMAP createLogo(HINSTANCE instance, UINT dpi);
