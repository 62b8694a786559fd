#pragma once

#include <windows.h>

// Dialog procedure of the editor's main window (template IDD_MAIN_WINDOW).
// The dialog ends with 0 on every path.
INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
