#include "ui/balloon_tip.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kBalloonSubclassId = 2;
constexpr UINT_PTR kBalloonTimerId = 0x5242;
constexpr UINT kBalloonMilliseconds = 10000;
// The field's balloon, for the next refusal.
const wchar_t kBalloonProperty[] = L"RiverraBalloon";

TTTOOLINFOW fieldTool(HWND field)
{
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_TRACK | TTF_ABSOLUTE;
    tool.hwnd = field;
    tool.uId = reinterpret_cast<UINT_PTR>(field);
    return tool;
}

void hideBalloon(HWND field, HWND balloon)
{
    KillTimer(field, kBalloonTimerId);
    TTTOOLINFOW tool = fieldTool(field);
    SendMessageW(balloon, TTM_TRACKACTIVATE, FALSE, reinterpret_cast<LPARAM>(&tool));
}

// Hides the balloon where the edit control would hide its own.
LRESULT CALLBACK balloonFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR balloon)
{
    switch (message) {
    case WM_TIMER:
        if (wParam != kBalloonTimerId)
            break;
        hideBalloon(field, reinterpret_cast<HWND>(balloon));
        return 0;
    case WM_KEYDOWN:
    case WM_KILLFOCUS:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        hideBalloon(field, reinterpret_cast<HWND>(balloon));
        break;
    case WM_NCDESTROY:
        // The balloon is owned by the field's top-level window and goes with it.
        KillTimer(field, kBalloonTimerId);
        RemovePropW(field, kBalloonProperty);
        RemoveWindowSubclass(field, balloonFieldProc, kBalloonSubclassId);
        break;
    }
    return DefSubclassProc(field, message, wParam, lParam);
}

// The field's balloon, made on first use; null when it cannot be made.
HWND balloonOf(HWND field)
{
    if (const HANDLE balloon = GetPropW(field, kBalloonProperty))
        return static_cast<HWND>(balloon);
    const HWND created = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                                         WS_POPUP | TTS_BALLOON | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, field, nullptr, nullptr, nullptr);
    if (!created)
        return nullptr;
    TTTOOLINFOW tool = fieldTool(field);
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(created, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    if (!SetPropW(field, kBalloonProperty, created) ||
        !SetWindowSubclass(field, balloonFieldProc, kBalloonSubclassId, reinterpret_cast<DWORD_PTR>(created))) {
        RemovePropW(field, kBalloonProperty);
        DestroyWindow(created);
        return nullptr;
    }
    return created;
}

// Under the field's left part, where the text begins; as wide as the
// dialog, which grows with the screen's scale.
void showOwnBalloon(HWND field, const std::wstring& title, const std::wstring& text)
{
    const HWND balloon = balloonOf(field);
    if (!balloon) {
        MessageBeep(MB_ICONWARNING);
        return;
    }
    RECT fieldArea = {};
    RECT dialogArea = {};
    GetWindowRect(field, &fieldArea);
    GetClientRect(GetParent(field), &dialogArea);
    TTTOOLINFOW tool = fieldTool(field);
    tool.lpszText = const_cast<wchar_t*>(text.c_str());
    SendMessageW(balloon, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    SendMessageW(balloon, TTM_SETTITLEW, TTI_ERROR, reinterpret_cast<LPARAM>(title.c_str()));
    SendMessageW(balloon, TTM_SETMAXTIPWIDTH, 0, dialogArea.right - dialogArea.left);
    const int pointAt = fieldArea.left + (fieldArea.bottom - fieldArea.top);
    SendMessageW(balloon, TTM_TRACKPOSITION, 0, MAKELPARAM(pointAt, fieldArea.bottom));
    SendMessageW(balloon, TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    SetTimer(field, kBalloonTimerId, kBalloonMilliseconds, nullptr);
}

}  // namespace

void showBalloonTip(HWND field, const std::wstring& title, const std::wstring& text)
{
    EDITBALLOONTIP tip = {sizeof(tip), title.c_str(), text.c_str(), TTI_ERROR};
    if (!SendMessageW(field, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&tip)))
        showOwnBalloon(field, title, text);
}
