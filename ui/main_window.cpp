#include "ui/main_window.h"

#include <commctrl.h>
#include <uxtheme.h>

#include <exception>
#include <string>

#include "app/host_link.h"
#include "app/process_state.h"
#include "app/configuration.h"
#include "ui/logo.h"
#include "ui/no_throw.h"
#include "ui/owned_dialog.h"
#include "ui/preset_page.h"
#include "ui/resource.h"
#include "ui/save_prompt.h"
#include "ui/source_search.h"
#include "ui/source_test.h"

namespace {

// Posted when the window has moved to a screen of another DPI; wParam is that DPI.
constexpr UINT kFitLogoMessage = WM_APP + 1;

HWND tabsOf(HWND window)
{
    return GetDlgItem(window, IDC_PRESET_TABS);
}

// The page is the one dialog among the tab control's children (the tab
// control may also hold its scroll arrows).
HWND pageOf(HWND window)
{
    return FindWindowExW(tabsOf(window), nullptr, WC_DIALOG, nullptr);
}

// A config.dat without presets leaves the collection empty; the window needs
// one to show. The added preset counts as a change, as when Remove Preset
// replaces the last one: what is shown is not what the file holds.
void keepOnePreset()
{
    if (preset_collection.count() == 0)
        preset_collection.addPreset();
}

void insertEmptyTabs(HWND tabs)
{
    for (int i = 0; i < preset_collection.count(); ++i) {
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(L"");
        SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

void selectStoredTab(HWND tabs)
{
    const int presets = preset_collection.count();
    if (preset_collection.current_ >= presets)
        preset_collection.current_ = static_cast<uint8_t>(presets - 1);
    SendMessageW(tabs, TCM_SETCURSEL, preset_collection.current_, 0);
}

// The logo is larger than its box in the template; it is centred above the
// description, in the left column, instead of growing out of the window.
void placeLogo(HWND window, HWND logo)
{
    BITMAP size = {};
    GetObjectW(reinterpret_cast<HGDIOBJ>(SendMessageW(logo, STM_GETIMAGE, IMAGE_BITMAP, 0)), sizeof(size), &size);
    RECT column = {12, 12, 114, 60};  // dialog units: the description's column above it
    MapDialogRect(window, &column);
    const int left = column.left + (column.right - column.left - size.bmWidth) / 2;
    const int top = column.top + (column.bottom - column.top - size.bmHeight) / 2;
    SetWindowPos(logo, nullptr, left, top, size.bmWidth, size.bmHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Hands the control a bitmap that the window owns. The control keeps the
// bitmap or, for one with alpha, a copy of it; either way what it held
// before is the window's to delete.
void setLogoImage(HWND logo, HBITMAP bitmap)
{
    const auto previous =
        reinterpret_cast<HBITMAP>(SendMessageW(logo, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    if (previous)
        DeleteObject(previous);
    if (bitmap && reinterpret_cast<HBITMAP>(SendMessageW(logo, STM_GETIMAGE, IMAGE_BITMAP, 0)) != bitmap)
        DeleteObject(bitmap);
}

// The logo drawn for the window's DPI; a logo that cannot be made leaves the one shown.
void showLogo(HWND window, UINT dpi)
{
    const HBITMAP bitmap = createLogo(app_instance, dpi);
    if (!bitmap)
        return;
    const HWND logo = GetDlgItem(window, IDC_LOGO);
    setLogoImage(logo, bitmap);
    placeLogo(window, logo);
}

// A failure while the window opens is told with its cause; the window then
// shows what it could set up, and can still be closed.
void onInitDialog(HWND window)
{
    loadConfiguration(window);
    try {
        keepOnePreset();
        const HWND tabs = tabsOf(window);
        EnableThemeDialogTexture(tabs, ETDT_ENABLETAB);
        insertEmptyTabs(tabs);
        selectStoredTab(tabs);
        const HWND page =
            CreateDialogParamW(app_instance, MAKEINTRESOURCEW(IDD_PRESET_PAGE), tabs, presetPageProc, 0);
        showLogo(window, windowDpi(window));
        showPreset(page, true);
    } catch (const std::exception& failure) {
        const std::wstring text = L"The presets cannot be shown: " + failureCause(failure);
        MessageBoxW(window, text.c_str(), L"", MB_OK | MB_ICONERROR | MB_SYSTEMMODAL | MB_TOPMOST);
    }
}

// A field that refused its text keeps it for the user to correct, and
// nothing is saved without it.
void onSave(HWND window)
{
    try {
        const HWND page = pageOf(window);
        if (!commitPage(page))
            return;
        saveConfiguration(window);
        showPreset(page, true);
    } catch (const std::exception& failure) {
        tellSaveFailure(window, failureCause(failure));
    }
}

// Asks whether to save; true when the window may close.
bool userLetsClose(HWND window)
{
    const INT_PTR answer =
        DialogBoxParamW(app_instance, MAKEINTRESOURCEW(IDD_SAVE_PROMPT), window, savePromptProc, 0);
    if (answer == IDC_SAVE)
        return saveConfiguration(window);
    return answer == IDC_DONT_SAVE;
}

void requestClose(HWND window)
{
    commitPage(pageOf(window));
    if (preset_collection.anyChanged() && !live_mode && !userLetsClose(window))
        return;
    endSourceTest(window);
    endSourceSearch(window);
    EndDialog(window, 0);
}

// The tab stays while a field of the page holds a text it refused.
INT_PTR onNotify(HWND window, const NMHDR& header)
{
    if (header.code == TCN_SELCHANGING && !commitPage(pageOf(window))) {
        SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    if (header.code == TCN_SELCHANGE)
        showPreset(pageOf(window), false);
    return FALSE;  // lets the tab change go ahead
}

INT_PTR onCommand(HWND window, int controlId)
{
    switch (controlId) {
    case IDC_SAVE:
        onSave(window);
        return FALSE;
    case IDCLOSE:
        requestClose(window);
        return TRUE;
    case IDCANCEL:  // the Escape key
        if (!live_mode)
            return FALSE;
        requestClose(window);
        return TRUE;
    }
    return FALSE;
}

INT_PTR onActivate(HWND window, WPARAM wParam, LPARAM lParam)
{
    // The editor's own message boxes (a failed save) take the activation
    // too, and must not close it behind them with the edits lost.
    if (!live_mode || !turnsAwayFromEditor(window, wParam, lParam))
        return FALSE;
    requestClose(window);
    return TRUE;
}

INT_PTR handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        onInitDialog(window);
        return FALSE;
    case WM_NOTIFY:
        return onNotify(window, *reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
        return onCommand(window, LOWORD(wParam));
    case WM_CLOSE:
        requestClose(window);
        return TRUE;
    case WM_ACTIVATE:
        return onActivate(window, wParam, lParam);
    case WM_SYSCOMMAND:
        // The low four bits are the system's own.
        return (wParam & 0xFFF0) == SC_MAXIMIZE;
    case WM_SIZE:
        if (wParam == SIZE_MAXIMIZED)
            ShowWindow(window, SW_SHOWNORMAL);
        return FALSE;
    case WM_DPICHANGED:
        // The default handling lays the dialog out anew for the new DPI; the
        // logo follows once it has.
        PostMessageW(window, kFitLogoMessage, LOWORD(wParam), 0);
        return FALSE;
    case kFitLogoMessage:
        showLogo(window, static_cast<UINT>(wParam));
        return TRUE;
    case WM_DESTROY:
        setLogoImage(GetDlgItem(window, IDC_LOGO), nullptr);
        return FALSE;
    }
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return withoutExceptions([&] { return handleMessage(window, message, wParam, lParam); });
}
