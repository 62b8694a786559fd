#pragma once

#include <windows.h>

// What the editor's own dialogs (Test Source, Find Sources) share.

// In live mode the editor closes when the user turns to another program.
// True when WM_ACTIVATE (`wParam`, `lParam`) of the editor's window `editor`
// or of one of its dialogs means that: neither the editor nor another window
// of the editor (a message box, a dialog) takes the activation.
bool turnsAwayFromEditor(HWND editor, WPARAM wParam, LPARAM lParam);

// For a dialog that lost the activation that way: ends it and asks the
// editor to close, as the editor would had it lost the activation itself.
void endWithEditor(HWND dialog);

// Cancels the open dialog of `owner` that `procedure` runs, as the Escape
// key would: the editor is closing.
void cancelOwnedDialog(HWND owner, DLGPROC procedure);
