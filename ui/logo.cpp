#include "ui/logo.h"

#include <cstring>
#include <iterator>
#include <string>

#include "ui/picture.h"
#include "ui/resource.h"

namespace {

struct DrawnLogo {
    UINT dpi;
    int resourceId;
    bool png;  // stored as PNG; otherwise a bitmap resource
};

// The images that ui/art/draw_art.py draws, by rising DPI.
constexpr DrawnLogo kDrawnLogos[] = {{96, IDB_LOGO, false}, {144, IDB_LOGO_150, true}, {192, IDB_LOGO_200, true}};

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

// The width and height that a PNG's header gives; zero where there is none.
SIZE pngSize(const unsigned char* bytes, DWORD size)
{
    const auto number = [bytes](int at) {
        return static_cast<LONG>(static_cast<DWORD>(bytes[at]) << 24 | bytes[at + 1] << 16 | bytes[at + 2] << 8 |
                                 bytes[at + 3]);
    };
    // The signature (8 bytes), the header chunk's length and name, then width and height.
    if (size < 24 || std::memcmp(bytes + 12, "IHDR", 4) != 0)
        return {0, 0};
    return {number(16), number(20)};
}

// The drawn logo at its own size.
HBITMAP loadDrawnLogo(HINSTANCE instance, const DrawnLogo& drawn)
{
    if (!drawn.png)
        return static_cast<HBITMAP>(LoadImageW(instance, MAKEINTRESOURCEW(drawn.resourceId), IMAGE_BITMAP, 0, 0, 0));
    const HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(drawn.resourceId), RT_RCDATA);
    const HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const auto bytes = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
    if (!bytes)
        return nullptr;
    const DWORD size = SizeofResource(instance, found);
    const SIZE own = pngSize(bytes, size);
    if (own.cx <= 0 || own.cy <= 0)
        return nullptr;
    std::string problem;
    return decodePicture(bytes, size, own, problem);
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
    const HBITMAP bitmap = loadDrawnLogo(instance, drawn);
    if (!bitmap || (drawn.dpi == dpi && !drawn.png))
        return bitmap;
    // A decoded PNG is copied at its own size too: the copy has no alpha
    // channel, which the decoder leaves undefined.
    const SIZE drawnSize = bitmapSize(bitmap);
    const SIZE size = {MulDiv(drawnSize.cx, dpi, drawn.dpi), MulDiv(drawnSize.cy, dpi, drawn.dpi)};
    const HBITMAP scaled = size.cx > 0 && size.cy > 0 ? scaledCopy(bitmap, size) : nullptr;
    DeleteObject(bitmap);
    return scaled;
}
