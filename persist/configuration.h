#pragma once

#include <windows.h>

// config.dat beside the executable: loaded when the main window opens, saved
// on Save. A failed save shows "Error saving configuraion" owned by `owner`.
bool loadConfiguration();
bool saveConfiguration(HWND owner);
