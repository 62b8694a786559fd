#include "ui/url_paste.h"

#include <commctrl.h>

#include <cwchar>
#include <new>
#include <string>

#include "model/stream_url.h"
#include "model/text_conversion.h"
#include "ui/balloon_tip.h"

namespace {

constexpr UINT_PTR kPasteSubclassId = 1;

// The clipboard's text; empty when there is none, or when it is too large to
// copy (no URL is).
std::wstring clipboardText(HWND owner)
{
    std::wstring text;
    if (!OpenClipboard(owner))
        return text;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* units = static_cast<const wchar_t*>(GlobalLock(data))) {
            try {
                text.assign(units, wcsnlen(units, GlobalSize(data) / sizeof(wchar_t)));
            } catch (const std::bad_alloc&) {
                text.clear();
            }
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

// Longer than any URL that a preset can hold, white space around it included.
constexpr size_t kLongestUrlUnits = 8192;

// The model holds text in the system's code page: a URL with characters
// that the code page cannot hold would reach the preset altered.
StreamUrl pastedUrl(const std::wstring& pasted)
{
    if (pasted.size() > kLongestUrlUnits)
        return StreamUrl();
    StreamUrl url = readStreamUrl(utf8FromWide(pasted));
    if (url.reading != UrlReading::source)
        return url;
    std::wstring lost;
    url.host = toCodePage(GetACP(), wideFromUtf8(url.host), lost);
    url.streamName = toCodePage(GetACP(), wideFromUtf8(url.streamName), lost);
    if (!lost.empty()) {
        url = StreamUrl();
        url.reading = UrlReading::refused;
        url.refusal = "The URL holds characters that this system's code page cannot hold.";
    }
    return url;
}

// False when the clipboard holds no URL, so that the field pastes the text.
bool tookStreamUrl(HWND field) noexcept
{
    try {
        const StreamUrl url = pastedUrl(clipboardText(field));
        if (url.reading == UrlReading::source)
            SendMessageW(GetParent(field), kStreamUrlPasted, reinterpret_cast<WPARAM>(field),
                         reinterpret_cast<LPARAM>(&url));
        else if (url.reading == UrlReading::refused)
            showBalloonTip(field, L"This URL cannot be pasted", wideFromUtf8(url.refusal));
        return url.reading != UrlReading::notAUrl;
    } catch (...) {
        return false;
    }
}

// Ctrl+V and the context menu send WM_PASTE; Wine's edit control pastes on
// Shift+Insert without it.
bool isPaste(UINT message, WPARAM key)
{
    const bool shiftInsert = message == WM_KEYDOWN && key == VK_INSERT && GetKeyState(VK_SHIFT) < 0 &&
                             GetKeyState(VK_CONTROL) >= 0;
    return message == WM_PASTE || shiftInsert;
}

LRESULT CALLBACK pasteProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (isPaste(message, wParam) && tookStreamUrl(field))
        return 0;
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(field, pasteProc, kPasteSubclassId);
    return DefSubclassProc(field, message, wParam, lParam);
}

}  // namespace

void takeStreamUrlPastes(HWND field)
{
    SetWindowSubclass(field, pasteProc, kPasteSubclassId, 0);
}
