#include "tests/ui/editor_session.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/host_link.h"
#include "app/module_path.h"
#include "app/process_state.h"
#include "persist/config_file.h"
#include "ui/main_window.h"
#include "ui/resource.h"

namespace uitest {

namespace {

constexpr UINT kRunOnUiMessage = WM_APP + 1;
constexpr milliseconds kPollInterval{5};
const wchar_t kMainTitle[] = L"Riverra Plugin v1.0 Configuration Editor";
const wchar_t kInvokerClass[] = L"RiverraUiTestInvoker";
const wchar_t kOtherWindowClass[] = L"RiverraUiTestOtherWindow";
const wchar_t kDialogClass[] = L"#32770";

LRESULT CALLBACK invokerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kRunOnUiMessage)
        return DefWindowProcW(window, message, wParam, lParam);
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 1;
}

LRESULT CALLBACK otherWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

void registerClass(const wchar_t* name, WNDPROC procedure)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = name;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
}

// The start-up work that the entry function does before it opens the window.
void prepareProcess()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    registerClass(kInvokerClass, invokerProc);
    registerClass(kOtherWindowClass, otherWindowProc);
    app_instance = GetModuleHandleW(nullptr);
}

std::wstring className(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK collectWindow(HWND window, LPARAM windows)
{
    reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

std::vector<HWND> threadWindows(DWORD threadId)
{
    std::vector<HWND> windows;
    EnumThreadWindows(threadId, collectWindow, reinterpret_cast<LPARAM>(&windows));
    return windows;
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

void send(std::vector<INPUT> inputs)
{
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

POINT centreOf(HWND window)
{
    RECT area = {};
    GetWindowRect(window, &area);
    return {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
}

}  // namespace

bool waitUntil(const std::function<bool()>& condition, milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

std::wstring configPath()
{
    return pathBesideExecutable(L"config.dat");
}

void removeConfig()
{
    DeleteFileW(configPath().c_str());
    RemoveDirectoryW(configPath().c_str());
}

std::string configBytes()
{
    std::string bytes;
    FILE* file = _wfopen(configPath().c_str(), L"rb");
    if (!file)
        return bytes;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof(buffer), file)) > 0)
        bytes.append(buffer, got);
    fclose(file);
    return bytes;
}

void writeConfig(const StreamSettingsSet& presets)
{
    StreamSettingsSet stored = presets;
    if (!writeConfigFile(stored, configPath()))
        ADD_FAILURE() << "could not write config.dat";
}

StreamSettingsSet loadedConfig()
{
    StreamSettingsSet stored(1);
    if (!readConfigFile(stored, configPath()))
        ADD_FAILURE() << "could not read config.dat";
    return stored;
}

StreamSettingsSet presets(int count, int current)
{
    StreamSettingsSet collection(count);
    collection.current_ = static_cast<uint8_t>(current);
    return collection;
}

// Editor session

EditorSession::EditorSession()
{
    prepareProcess();
    thread_ = std::thread([this] { run(); });
    HWND shown = nullptr;
    waitUntil([&] {
        for (HWND window : threadWindows(threadId_))
            if (IsWindowVisible(window) && windowText(window) == kMainTitle)
                shown = window;
        return shown != nullptr || ended_;
    });
    window_ = shown;
    // The user starts working once the window has the keyboard.
    waitUntil([&] { return !shown || GetForegroundWindow() == shown; });
}

EditorSession::~EditorSession()
{
    if (!ended_) {
        onUi([this] {
            for (HWND window : threadWindows(threadId_))
                if (className(window) == kDialogClass)
                    EndDialog(window, 0);
        });
        waitForEnd();
    }
    if (!ended_) {
        std::fprintf(stderr, "The editor's window does not close; giving up.\n");
        std::fflush(stderr);
        std::abort();
    }
    thread_.join();
}

void EditorSession::run()
{
    threadId_ = GetCurrentThreadId();
    invoker_ = CreateWindowExW(0, kInvokerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    result_ = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAIN_WINDOW), nullptr,
                              mainDialogProc, 0);
    ended_ = true;
    DestroyWindow(invoker_.exchange(nullptr));
}

bool EditorSession::waitForEnd(milliseconds limit) const
{
    return waitUntil([this] { return ended_.load(); }, limit);
}

HWND EditorSession::tabs() const
{
    return GetDlgItem(window_, IDC_PRESET_TABS);
}

HWND EditorSession::page() const
{
    return FindWindowExW(tabs(), nullptr, kDialogClass, nullptr);
}

HWND EditorSession::control(int id) const
{
    const HWND onPage = GetDlgItem(page(), id);
    return onPage ? onPage : GetDlgItem(window_, id);
}

bool EditorSession::onUi(const std::function<void()>& work) const
{
    const HWND invoker = invoker_;
    if (!invoker || ended_)
        return false;
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(invoker, kRunOnUiMessage, 0, reinterpret_cast<LPARAM>(&work), SMTO_NORMAL,
                               static_cast<UINT>(kWaitLimit.count()), &answer) != 0 &&
           answer == 1;
}

// SendInput queues each event for the thread that is to receive it before it
// returns, so once the window's thread has nothing left in its queue it has
// taken (and handled) every input sent so far, and the messages it posted to
// itself on the way (typed characters).
bool EditorSession::flushInput() const
{
    const auto queueEmpty = [this] {
        bool empty = false;
        onUi([&] { empty = HIWORD(GetQueueStatus(QS_INPUT | QS_POSTMESSAGE)) == 0; });
        return empty;
    };
    return waitUntil([&] { return ended_ || queueEmpty(); });
}

std::wstring EditorSession::text(int id) const
{
    std::wstring shown;
    onUi([&] { shown = windowText(control(id)); });
    return shown;
}

bool EditorSession::enabled(int id) const
{
    bool on = false;
    onUi([&] { on = IsWindowEnabled(control(id)) != FALSE; });
    return on;
}

bool EditorSession::checked(int id) const
{
    bool on = false;
    onUi([&] { on = SendMessageW(control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; });
    return on;
}

int EditorSession::protocolShown() const
{
    int position = -2;
    onUi([&] { position = static_cast<int>(SendMessageW(control(IDC_PROTOCOL), CB_GETCURSEL, 0, 0)); });
    return position;
}

int EditorSession::tabCount() const
{
    int count = -1;
    onUi([&] { count = static_cast<int>(SendMessageW(tabs(), TCM_GETITEMCOUNT, 0, 0)); });
    return count;
}

int EditorSession::selectedTab() const
{
    int selection = -2;
    onUi([&] { selection = static_cast<int>(SendMessageW(tabs(), TCM_GETCURSEL, 0, 0)); });
    return selection;
}

std::wstring EditorSession::tabTitle(int index) const
{
    wchar_t title[128] = {};
    onUi([&] {
        TCITEMW item = {};
        item.mask = TCIF_TEXT;
        item.pszText = title;
        item.cchTextMax = 128;
        SendMessageW(tabs(), TCM_GETITEMW, index, reinterpret_cast<LPARAM>(&item));
    });
    return title;
}

bool EditorSession::anyChanged() const
{
    bool changed = false;
    onUi([&] { changed = preset_collection.anyChanged(); });
    return changed;
}

HWND EditorSession::focus() const
{
    HWND focused = nullptr;
    onUi([&] { focused = GetFocus(); });
    return focused;
}

void EditorSession::click(int id) const
{
    clickWindow(control(id));
    flushInput();
}

void EditorSession::clickTab(int index) const
{
    RECT item = {};
    onUi([&] { SendMessageW(tabs(), TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)); });
    POINT centre = {(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ClientToScreen(tabs(), &centre);
    clickAt(centre);
    flushInput();
}

void EditorSession::replaceText(int id, const std::wstring& typed) const
{
    click(id);
    int length = 0;
    onUi([&] { length = GetWindowTextLengthW(control(id)); });
    std::vector<INPUT> keys = {keyInput(VK_END, false), keyInput(VK_END, true)};
    for (int i = 0; i < length; ++i) {
        keys.push_back(keyInput(VK_BACK, false));
        keys.push_back(keyInput(VK_BACK, true));
    }
    send(keys);
    typeText(typed);
    flushInput();
}

void EditorSession::chooseProtocol(int index) const
{
    click(IDC_PROTOCOL);
    std::vector<WORD> keys = {VK_HOME};
    keys.insert(keys.end(), static_cast<size_t>(index), VK_DOWN);
    keys.push_back(VK_RETURN);
    for (WORD key : keys)
        pressKey(key);
    flushInput();
}

HWND EditorSession::waitForOtherDialog(milliseconds limit) const
{
    HWND found = nullptr;
    waitUntil(
        [&] {
            for (HWND window : threadWindows(threadId_))
                if (window != window_ && IsWindowVisible(window) && className(window) == kDialogClass)
                    found = window;
            return found != nullptr;
        },
        limit);
    return found;
}

bool EditorSession::noOtherDialog() const
{
    return waitForOtherDialog(milliseconds(0)) == nullptr;
}

bool EditorSession::answerDialog(int buttonId) const
{
    const HWND dialog = waitForOtherDialog();
    if (!dialog)
        return false;
    clickWindow(GetDlgItem(dialog, buttonId));
    return waitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
}

// Real input

namespace {

// Two clicks on the same spot in quick succession make a double click, which
// controls treat differently (a check box with BS_NOTIFY does not toggle).
struct LastClick {
    POINT spot = {-1000, -1000};
    std::chrono::steady_clock::time_point time;
};
LastClick lastClick;

bool makesDoubleClick(POINT screen)
{
    const bool nearby = std::abs(screen.x - lastClick.spot.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                      std::abs(screen.y - lastClick.spot.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
    return nearby && std::chrono::steady_clock::now() < lastClick.time + milliseconds(GetDoubleClickTime() + 50);
}

// A button event that carries its own position: under Wine a pointer move
// that the display reports late could otherwise slip in between the move and
// the button and send the click elsewhere.
INPUT mouseButtonAt(POINT screen, DWORD button)
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

}  // namespace

void clickAt(POINT screen)
{
    if (makesDoubleClick(screen))
        std::this_thread::sleep_until(lastClick.time + milliseconds(GetDoubleClickTime() + 50));
    lastClick = {screen, std::chrono::steady_clock::now()};
    send({mouseButtonAt(screen, MOUSEEVENTF_LEFTDOWN), mouseButtonAt(screen, MOUSEEVENTF_LEFTUP)});
}

// The centre, or beside it when the last click was there.
void clickWindow(HWND window)
{
    RECT area = {};
    GetWindowRect(window, &area);
    const int quarter = (area.right - area.left) / 4;
    POINT spot = centreOf(window);
    if (makesDoubleClick(spot))
        spot.x += makesDoubleClick({spot.x - quarter, spot.y}) ? quarter : -quarter;
    clickAt(spot);
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

std::wstring windowText(HWND window)
{
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return text;
}

HWND childWithText(HWND dialog, const std::wstring& text)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (windowText(child) == text)
            return child;
    return nullptr;
}

bool dialogShowsText(HWND dialog, const std::wstring& text)
{
    return childWithText(dialog, text) != nullptr;
}

// Other window

OtherWindow::OtherWindow(RECT where)
{
    prepareProcess();
    thread_ = std::thread([this, where] {
        threadId_ = GetCurrentThreadId();
        const HWND window = CreateWindowExW(0, kOtherWindowClass, L"Another program", WS_OVERLAPPEDWINDOW,
                                            where.left, where.top, where.right - where.left,
                                            where.bottom - where.top, nullptr, nullptr,
                                            GetModuleHandleW(nullptr), nullptr);
        ShowWindow(window, SW_SHOWNOACTIVATE);
        window_ = window;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    });
    waitUntil([this] { return window_.load() != nullptr; });
}

OtherWindow::~OtherWindow()
{
    PostMessageW(window_, WM_CLOSE, 0, 0);
    thread_.join();
}

}  // namespace uitest
