#include "ui/logo.h"

#include <iterator>

#include "ui/resource.h"

namespace {

struct DrawnLogo {
    UINT dpi;
    int resourceId;
};

// The bitmaps that ui/art/draw_art.py draws, by rising DPI.
constexpr DrawnLogo kDrawnLogos[] = {{96, IDB_LOGO}, {144, IDB_LOGO_150}, {192, IDB_LOGO_200}};

const DrawnLogo& drawnLogoFor(UINT dpi)
{
    for (const DrawnLogo& logo : kDrawnLogos) {
        if (logo.dpi >= dpi)
            return logo;
    }
    return kDrawnLogos[std::size(kDrawnLogos) - 1];
}

SIZE bitmapSize(HBITMAP bitmap)
{
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(info), &info);
    return {info.bmWidth, info.bmHeight};
}

// The logo is opaque: the copy has no alpha channel, which GDI's stretching
// would leave at zero.
HBITMAP scaledCopy(HBITMAP source, SIZE size)
{
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof(format.bmiHeader);
    format.bmiHeader.biWidth = size.cx;
    format.bmiHeader.biHeight = -size.cy;  // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 24;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const HBITMAP copy = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HDC from = CreateCompatibleDC(nullptr);
    const HDC to = CreateCompatibleDC(nullptr);
    bool drawn = false;
    if (copy && from && to) {
        const HGDIOBJ oldFrom = SelectObject(from, source);
        const HGDIOBJ oldTo = SelectObject(to, copy);
        SetStretchBltMode(to, HALFTONE);
        SetBrushOrgEx(to, 0, 0, nullptr);  // as HALFTONE requires
        const SIZE sourceSize = bitmapSize(source);
        drawn = StretchBlt(to, 0, 0, size.cx, size.cy, from, 0, 0, sourceSize.cx, sourceSize.cy, SRCCOPY) != FALSE;
        SelectObject(from, oldFrom);
        SelectObject(to, oldTo);
    }
    if (from)
        DeleteDC(from);
    if (to)
        DeleteDC(to);
    if (copy && !drawn) {
        DeleteObject(copy);
        return nullptr;
    }
    return copy;
}

}  // namespace

UINT windowDpi(HWND window)
{
    // Looked up at run time: Windows 7 and 8.1 lack it, and the editor must start there.
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow) {
        const UINT dpi = getDpiForWindow(window);
        if (dpi != 0)
            return dpi;
    }
    const HDC screen = GetDC(window);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(window, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

HBITMAP createLogo(HINSTANCE instance, UINT dpi)
{
    const DrawnLogo& drawn = drawnLogoFor(dpi);
    const auto bitmap =
        static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(drawn.resourceId), IMAGE_BITMAP, 0, 0, 0));
    if (!bitmap || drawn.dpi == dpi)
        return bitmap;
    const SIZE drawnSize = bitmapSize(bitmap);
    const SIZE size = {MulDiv(drawnSize.cx, dpi, drawn.dpi), MulDiv(drawnSize.cy, dpi, drawn.dpi)};
    const HBITMAP scaled = size.cx > 0 && size.cy > 0 ? scaledCopy(bitmap, size) : nullptr;
    DeleteObject(bitmap);
    return scaled;
}
