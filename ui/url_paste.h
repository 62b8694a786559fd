#pragma once

#include <windows.h>

// Pasting a stream URL into a field (Ctrl+V, Shift+Insert, the context
// menu's Paste) hands the URL to the field's dialog instead of inserting the
// text: the dialog receives kStreamUrlPasted with wParam the field and lParam
// pointing to the StreamUrl, read as a source. A URL that no preset can hold
// pastes nothing, and the field says why in a balloon; any other text pastes
// as usual.
constexpr UINT kStreamUrlPasted = WM_APP + 16;

// Makes `field`, an edit control, take pasted stream URLs this way.
void takeStreamUrlPastes(HWND field);
