#include "ui/save_prompt.h"

#include "ui/resource.h"

namespace {

void showWarningIcon(HWND prompt)
{
    // The system's own exclamation icon at the system's icon size: asked for
    // at "its own size", some systems hand out their largest image, which
    // then covers the whole prompt. Shared, so it is never destroyed here.
    const HANDLE icon = LoadImageW(nullptr, IDI_EXCLAMATION, IMAGE_ICON, 0, 0, LR_SHARED | LR_DEFAULTSIZE);
    SendDlgItemMessageW(prompt, IDC_PROMPT_ICON, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}

bool isAnswer(int controlId)
{
    return controlId == IDC_SAVE || controlId == IDC_DONT_SAVE || controlId == IDCANCEL;
}

}  // namespace

INT_PTR CALLBACK savePromptProc(HWND prompt, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        showWarningIcon(prompt);
        return TRUE;  // the keyboard focus starts on Save
    case WM_COMMAND:
        if (!isAnswer(LOWORD(wParam)))
            return FALSE;
        EndDialog(prompt, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}
