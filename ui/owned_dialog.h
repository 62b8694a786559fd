#pragma once

#include <windows.h>

// What the editor's own dialogs (Test Source, Find Sources) share.

// In live mode the editor closes when the user turns to another program;
// while such a dialog is open, it is the dialog that loses the activation.
// True when WM_ACTIVATE (`wParam`, `lParam`) of `dialog` means that: it is
// neither the editor nor another window of the editor that takes it.
bool turnsAwayFromEditor(HWND dialog, WPARAM wParam, LPARAM lParam);

// Cancels the open dialog of `owner` that `procedure` runs, as the Escape
// key would: the editor is closing.
void cancelOwnedDialog(HWND owner, DLGPROC procedure);
