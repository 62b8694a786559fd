#pragma once

#include <windows.h>

// Dialog procedure of the preset page (template IDD_PRESET_PAGE), a child of
// the main window's tab control that edits the preset of the selected tab.
INT_PTR CALLBACK presetPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Fills the page from the selected preset. With `refreshTabs` it first gives
// the tab control exactly one tab per preset, titled with the preset's name.
void showPreset(HWND page, bool refreshTabs);

// Writes the page's fields into the selected preset.
void commitPage(HWND page);
