#pragma once

// Where the editor's controls are: the main window's own, and those of the
// preset page that sits inside its tab control.

#include <windows.h>

const wchar_t kEditorTitle[] = L"Riverra Plugin v1.0 Configuration Editor";

// The preset page shown in the main window's tab control.
HWND presetPage(HWND mainWindow);
// A control of the preset page, or of the main window when the page has none.
HWND editorControl(HWND mainWindow, int id);
