#include "tests/support/desktop_input.h"

#include <cstdlib>
#include <iterator>
#include <vector>

using std::chrono::milliseconds;

namespace {

constexpr milliseconds kPollInterval{5};
// Hiding a window can keep Wine busy for a few seconds when no window manager
// runs; an answer or a window may take that long.
constexpr milliseconds kWindowLimit{10000};
constexpr UINT kAnswerLimitMs = 8000;
const wchar_t kOtherWindowClass[] = L"RiverraTestOtherWindow";

void send(std::vector<INPUT> inputs)
{
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Every event carries the position itself: under Wine a pointer move that the
// display reports late could otherwise slip in between the move and the
// button and send the click elsewhere. The position is rounded up, so that
// Wine's scaling back to pixels lands on the very pixel.
INPUT mouseInput(POINT screen, DWORD button)
{
    const auto normalised = [](LONG pixel, int extent) {
        return static_cast<LONG>((static_cast<long long>(pixel) * 65536 + extent - 1) / extent);
    };
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = normalised(screen.x, GetSystemMetrics(SM_CXSCREEN));
    input.mi.dy = normalised(screen.y, GetSystemMetrics(SM_CYSCREEN));
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | button;
    return input;
}

// Two clicks on the same spot in quick succession make a double click, which
// controls treat differently (a check box with BS_NOTIFY does not toggle).
struct LastClick {
    POINT spot = {-1000, -1000};
    std::chrono::steady_clock::time_point time;
};
LastClick lastClick;

milliseconds doubleClickTime()
{
    return milliseconds(GetDoubleClickTime() + 50);
}

bool makesDoubleClick(POINT screen)
{
    const bool nearby = std::abs(screen.x - lastClick.spot.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                        std::abs(screen.y - lastClick.spot.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    return nearby && std::chrono::steady_clock::now() < lastClick.time + doubleClickTime();
}

bool isExtendedKey(WORD key)
{
    switch (key) {
    case VK_HOME: case VK_END: case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN:
    case VK_PRIOR: case VK_NEXT: case VK_INSERT: case VK_DELETE:
        return true;
    }
    return false;
}

INPUT keyInput(WORD key, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, 0));  // MAPVK_VK_TO_VSC
    input.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (isExtendedKey(key) ? KEYEVENTF_EXTENDEDKEY : 0);
    return input;
}

LRESULT CALLBACK otherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

void registerOtherWindowClass()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = otherWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kOtherWindowClass;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

// Real input

void clickAt(POINT screen)
{
    if (makesDoubleClick(screen))
        std::this_thread::sleep_until(lastClick.time + doubleClickTime());
    lastClick = {screen, std::chrono::steady_clock::now()};
    send({mouseInput(screen, 0), mouseInput(screen, MOUSEEVENTF_LEFTDOWN), mouseInput(screen, MOUSEEVENTF_LEFTUP)});
}

void clickWindow(HWND window)
{
    RECT area = {};
    GetWindowRect(window, &area);
    const int quarter = (area.right - area.left) / 4;
    POINT spot = {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    if (makesDoubleClick(spot))
        spot.x += makesDoubleClick({spot.x - quarter, spot.y}) ? quarter : -quarter;
    clickAt(spot);
}

void rightClickWindow(HWND window)
{
    RECT area = {};
    GetWindowRect(window, &area);
    const POINT centre = {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
    send({mouseInput(centre, 0), mouseInput(centre, MOUSEEVENTF_RIGHTDOWN), mouseInput(centre, MOUSEEVENTF_RIGHTUP)});
}

void pressKey(WORD virtualKey)
{
    send({keyInput(virtualKey, false), keyInput(virtualKey, true)});
}

void pressKeys(std::initializer_list<WORD> virtualKeys)
{
    std::vector<INPUT> inputs;
    for (WORD key : virtualKeys)
        inputs.push_back(keyInput(key, false));
    for (auto key = std::rbegin(virtualKeys); key != std::rend(virtualKeys); ++key)
        inputs.push_back(keyInput(*key, true));
    send(inputs);
}

// Wine's edit control has no Ctrl+A; End and BackSpaces clear a field.
void eraseFromEnd(size_t count)
{
    std::vector<INPUT> keys = {keyInput(VK_END, false), keyInput(VK_END, true)};
    for (size_t i = 0; i < count; ++i) {
        keys.push_back(keyInput(VK_BACK, false));
        keys.push_back(keyInput(VK_BACK, true));
    }
    send(keys);
}

void typeText(const std::wstring& typed)
{
    std::vector<INPUT> inputs;
    for (wchar_t character : typed) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = character;
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(input);
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    send(inputs);
}

bool answerDialog(HWND dialog, int buttonId)
{
    const HWND button = GetDlgItem(dialog, buttonId);
    if (button == nullptr)
        return false;
    clickWindow(button);
    return waitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, kWindowLimit);
}

// Texts of windows

// WM_GETTEXT rather than GetWindowText, which does not ask a window of
// another process, and with a time limit, so that a hung window cannot hold
// the test up.
std::wstring windowText(HWND window)
{
    wchar_t text[512] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG,
                             kAnswerLimitMs, &copied))
        return {};
    return text;
}

std::wstring className(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

HWND childWithText(HWND dialog, const std::wstring& text)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (windowText(child) == text)
            return child;
    }
    return nullptr;
}

bool dialogShowsText(HWND dialog, const std::wstring& text)
{
    return childWithText(dialog, text) != nullptr;
}

// Other window

OtherWindow::OtherWindow(RECT where)
{
    registerOtherWindowClass();
    thread_ = std::thread([this, where] {
        const HWND window = CreateWindowExW(0, kOtherWindowClass, L"Another program", WS_OVERLAPPEDWINDOW,
                                            where.left, where.top, where.right - where.left,
                                            where.bottom - where.top, nullptr, nullptr,
                                            GetModuleHandleW(nullptr), nullptr);
        if (window == nullptr)
            return;
        ShowWindow(window, SW_SHOWNOACTIVATE);
        window_ = window;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    });
    waitUntil([this] { return window_.load() != nullptr; }, kWindowLimit);
}

OtherWindow::~OtherWindow()
{
    PostMessageW(window_, WM_CLOSE, 0, 0);
    thread_.join();
}
