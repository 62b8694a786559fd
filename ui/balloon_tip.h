#pragma once

#include <windows.h>

#include <string>

// Shows a balloon with an error icon, `title` and `text` pointing at `field`,
// an edit control, the way EM_SHOWBALLOONTIP does. Where the edit control
// cannot show one itself (Wine's cannot), a balloon of the field's own takes
// its place; like the edit control's, it goes on the next key stroke, click
// or loss of the focus, or after a few seconds.
void showBalloonTip(HWND field, const std::wstring& title, const std::wstring& text);
