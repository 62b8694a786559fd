#pragma once

#include <windows.h>

// config.dat beside the executable: loaded when the main window opens, saved
// on Save. What goes wrong is told in message boxes owned by `owner`.

// A damaged or unreadable file is kept aside at the first save; a damaged one
// gives way to the complete temporary file of an interrupted save, if any.
// True when config.dat's presets were loaded.
bool loadConfiguration(HWND owner);

// Asks before replacing a file that another program wrote since it was
// loaded or saved. A failed save shows "Error saving configuraion" with its
// cause. True when the presets were saved.
bool saveConfiguration(HWND owner);
