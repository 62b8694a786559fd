// The editor on a screen at 150 %: the real executable started at 96 and at
// 144 DPI and measured from outside. The test changes the screen's DPI of the
// Wine prefix it runs in, so it runs in a Wine session of its own.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/editor_process.h"
#include "tests/support/wine_settings.h"
#include "ui/resource.h"

using namespace e2e;

namespace {

struct Layout {
    SIZE window = {};
    SIZE logo = {};
    // Shown controls that reach out of their parent's client area.
    std::vector<std::wstring> clipped;
};

RECT windowRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

SIZE sizeOf(const RECT& rect)
{
    return {rect.right - rect.left, rect.bottom - rect.top};
}

RECT clientOnScreen(HWND window)
{
    RECT client = {};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return client;
}

BOOL CALLBACK noteIfClipped(HWND control, LPARAM clipped)
{
    if (!IsWindowVisible(control))
        return TRUE;
    const RECT inside = clientOnScreen(GetParent(control));
    const RECT frame = windowRect(control);
    if (frame.left < inside.left || frame.top < inside.top || frame.right > inside.right || frame.bottom > inside.bottom)
        reinterpret_cast<std::vector<std::wstring>*>(clipped)->push_back(
            className(control) + L" " + std::to_wstring(GetDlgCtrlID(control)) + L" \"" + windowText(control) + L"\"");
    return TRUE;
}

Layout editorLayoutAt(DWORD dpi)
{
    Layout layout;
    if (!setScreenDpi(dpi) || !letWineManageWindowsOf(L"RiverraConfig.exe")) {
        ADD_FAILURE() << "cannot change the Wine prefix's settings";
        return layout;
    }
    EditorFolder folder(L"dpi-" + std::to_wstring(dpi));
    // Any command line lets the editor run without the production system's libraries.
    EditorProcess editor(folder, L"dpi");
    const HWND main = editor.waitForMainWindow();
    if (!main) {
        ADD_FAILURE() << "no main window at " << dpi << " DPI";
        return layout;
    }
    layout.window = sizeOf(windowRect(main));
    layout.logo = sizeOf(windowRect(GetDlgItem(main, IDC_LOGO)));
    EnumChildWindows(main, noteIfClipped, reinterpret_cast<LPARAM>(&layout.clipped));
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(editor.waitForExit());
    return layout;
}

double ratio(LONG large, LONG normal)
{
    return normal > 0 ? static_cast<double>(large) / normal : 0.0;
}

TEST(EditorAt150Percent, WindowAndLogoGrowByHalfAndNoControlIsClipped)
{
    const Layout normal = editorLayoutAt(96);
    const Layout large = editorLayoutAt(144);

    // The dialogs scale by their font, whose height rounds to whole pixels.
    EXPECT_NEAR(ratio(large.window.cx, normal.window.cx), 1.5, 0.15);
    EXPECT_NEAR(ratio(large.window.cy, normal.window.cy), 1.5, 0.15);
    EXPECT_NEAR(ratio(large.logo.cx, normal.logo.cx), 1.5, 0.03);
    EXPECT_NEAR(ratio(large.logo.cy, normal.logo.cy), 1.5, 0.03);
    EXPECT_THAT(normal.clipped, ::testing::IsEmpty());
    EXPECT_THAT(large.clipped, ::testing::IsEmpty());
}

}  // namespace
