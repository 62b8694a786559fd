#include "ui/owned_dialog.h"

namespace {

struct OwnedDialog {
    HWND owner;
    DLGPROC procedure;
};

BOOL CALLBACK cancelIfOwnedDialog(HWND window, LPARAM wanted)
{
    const auto& dialog = *reinterpret_cast<const OwnedDialog*>(wanted);
    if (GetWindow(window, GW_OWNER) == dialog.owner &&
        GetWindowLongPtrW(window, DWLP_DLGPROC) == reinterpret_cast<LONG_PTR>(dialog.procedure))
        SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

}  // namespace

bool turnsAwayFromEditor(HWND editor, WPARAM wParam, LPARAM lParam)
{
    const HWND activated = reinterpret_cast<HWND>(lParam);
    return LOWORD(wParam) == WA_INACTIVE && activated != editor &&
           !(activated && GetWindow(activated, GW_OWNER) == editor);
}

void endWithEditor(HWND dialog)
{
    // The owner is asked for before the dialog ends.
    const HWND editor = GetWindow(dialog, GW_OWNER);
    EndDialog(dialog, IDCANCEL);
    PostMessageW(editor, WM_CLOSE, 0, 0);
}

void cancelOwnedDialog(HWND owner, DLGPROC procedure)
{
    OwnedDialog wanted{owner, procedure};
    EnumThreadWindows(GetWindowThreadProcessId(owner, nullptr), cancelIfOwnedDialog,
                      reinterpret_cast<LPARAM>(&wanted));
}
