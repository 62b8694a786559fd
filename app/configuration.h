#pragma once

#include <windows.h>

#include <exception>
#include <string>

// config.dat beside the executable: loaded when the main window opens, saved
// on Save. What goes wrong is told in message boxes owned by `owner`.

// A damaged or unreadable file is kept aside at the first save; a damaged one
// gives way to the complete temporary file of an interrupted save, if any.
// True when config.dat's presets were loaded.
bool loadConfiguration(HWND owner);

// Asks before replacing a file that another program wrote since it was
// loaded or saved; a file that cannot be read to tell is not replaced. A
// failed save shows "Error saving configuraion" with its cause. True when the
// presets were saved.
bool saveConfiguration(HWND owner);

// Neither throws: what fails is told in a message box.

// The box of a failed save: "Error saving configuraion" and the cause.
void tellSaveFailure(HWND owner, const std::wstring& cause);

// The words for a failure the editor did not foresee (out of memory, a
// library's report), for the message that tells the user.
std::wstring failureCause(const std::exception& failure);
