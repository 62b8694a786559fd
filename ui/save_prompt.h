#pragma once

#include <windows.h>

// Dialog procedure of the save-changes prompt (template IDD_SAVE_PROMPT). The
// prompt ends with the identifier of the chosen button: IDC_SAVE,
// IDC_DONT_SAVE or IDCANCEL (also for Escape and the close box).
INT_PTR CALLBACK savePromptProc(HWND prompt, UINT message, WPARAM wParam, LPARAM lParam);
