#pragma once

#include <windows.h>

// Opens the Find Sources dialog (template IDD_FIND_SOURCES), owned by the
// editor's window, and returns when it closes: true when the user put a found
// source into a preset, which the page then shows. The search runs on a
// worker thread; a camera's user name and password live only in the dialog.
bool findSources(HWND page);

// Ends an open Find Sources dialog of `owner`, stopping its search: the
// editor is closing.
void endSourceSearch(HWND owner);
