#include "tests/e2e/editor_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "ui/resource.h"

namespace e2e {

namespace {

constexpr milliseconds kPollInterval{10};
// Hiding a window can keep Wine busy for a few seconds when no window manager
// runs; an answer may take that long.
constexpr UINT kAnswerLimitMs = 8000;
const wchar_t kDialogClass[] = L"#32770";
const wchar_t kOtherWindowClass[] = L"RiverraEndToEndOtherWindow";
// The static that holds a message box's text.
constexpr int kMessageBoxText = 0xFFFF;

// The editor as the build left it; under Wine the Unix root is drive Z:.
std::wstring builtEditorPath()
{
    std::wstring path = L"" RIVERRA_EDITOR_EXE;
    for (wchar_t& unit : path) {
        if (unit == L'/')
            unit = L'\\';
    }
    return path;
}

std::wstring standInPath(const std::wstring& relative)
{
    return programDirectory() + L"\\standins\\" + relative;
}

bool copyFileTo(const std::wstring& source, const std::wstring& directory, const std::wstring& name)
{
    return CopyFileW(source.c_str(), (directory + L"\\" + name).c_str(), FALSE) != FALSE;
}

std::wstring networkModuleSource(NetworkModule build)
{
    switch (build) {
    case NetworkModule::withoutCreate:
        return standInPath(L"host-variants\\no-create\\") + kNetworkModuleFile;
    case NetworkModule::withoutDestroy:
        return standInPath(L"host-variants\\no-destroy\\") + kNetworkModuleFile;
    case NetworkModule::complete:
        break;
    }
    return standInPath(kNetworkModuleFile);
}

HANDLE createInheritableFile(const std::wstring& path)
{
    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK collectShownWindowOfProcess(HWND window, LPARAM parameter)
{
    WindowSearch& search = *reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search.processId && IsWindowVisible(window))
        search.found.push_back(window);
    return TRUE;
}

std::vector<HWND> topLevelWindowsOf(DWORD processId)
{
    WindowSearch search{processId, {}};
    EnumWindows(collectShownWindowOfProcess, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool isMainWindow(HWND window)
{
    return windowText(window) == kMainTitle;
}

bool isSavePrompt(HWND window)
{
    return className(window) == kDialogClass && !isMainWindow(window) &&
           GetDlgItem(window, IDC_DONT_SAVE) != nullptr && GetDlgItem(window, IDC_SAVE) != nullptr;
}

bool isMessageBox(HWND window)
{
    return className(window) == kDialogClass && !isMainWindow(window) && !isSavePrompt(window) &&
           GetDlgItem(window, kMessageBoxText) != nullptr && GetDlgItem(window, IDOK) != nullptr;
}

std::wstring fromCodePage(const std::string& text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 0), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], units);
    return wide;
}

DWORD threadOf(HWND window)
{
    return GetWindowThreadProcessId(window, nullptr);
}

GUITHREADINFO guiThreadInfo(HWND window)
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(threadOf(window), &info);
    return info;
}

void send(std::vector<INPUT> inputs)
{
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Every event carries the position itself: a click must not depend on where
// the pointer was last reported, which another process may still be catching
// up with.
INPUT mouseInput(POINT screen, DWORD button)
{
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | button;
    return input;
}

void clickAt(POINT screen)
{
    send({mouseInput(screen, 0), mouseInput(screen, MOUSEEVENTF_LEFTDOWN), mouseInput(screen, MOUSEEVENTF_LEFTUP)});
}

INPUT keyInput(WORD key, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, 0));  // MAPVK_VK_TO_VSC
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (key == VK_END)
        input.ki.dwFlags |= KEYEVENTF_EXTENDEDKEY;
    return input;
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

// Where a failed test leaves its folders for a look.
std::wstring runsDirectory()
{
    return programDirectory() + L"\\runs";
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

bool copyNetworkModule(NetworkModule build, const std::wstring& directory)
{
    return copyFileTo(networkModuleSource(build), directory, kNetworkModuleFile);
}

bool copyVersionLibrary(const std::wstring& directory)
{
    return copyFileTo(standInPath(kVersionLibraryFile), directory, kVersionLibraryFile);
}

std::wstring programDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path);
    return program.substr(0, program.rfind(L'\\'));
}

std::string fileBytes(const std::wstring& path)
{
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Editor folder

EditorFolder::EditorFolder(const std::wstring& name) : path_(runsDirectory() + L"\\" + name)
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    std::filesystem::create_directories(path_, ignored);
    ready_ = copyFileTo(builtEditorPath(), path_, L"RiverraConfig.exe");
}

EditorFolder::~EditorFolder()
{
    if (::testing::Test::HasFailure())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

bool EditorFolder::addNetworkModule(NetworkModule build) const
{
    return copyNetworkModule(build, path_);
}

bool EditorFolder::addVersionLibrary() const
{
    return copyVersionLibrary(path_);
}

bool EditorFolder::addRenderer() const
{
    return copyFileTo(standInPath(kRendererFile), path_, kRendererFile);
}

bool EditorFolder::addCompleteHost() const
{
    return addNetworkModule() && addVersionLibrary() && addRenderer();
}

// Editor process

EditorProcess::EditorProcess(const EditorFolder& folder, const std::wstring& arguments)
    : outputPath_(folder.file(L"standard-output.txt")), errorPath_(folder.file(L"standard-error.txt"))
{
    const HANDLE output = createInheritableFile(outputPath_);
    const HANDLE error = createInheritableFile(errorPath_);
    std::wstring commandLine = L"\"" + folder.file(L"RiverraConfig.exe") + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = error;
    PROCESS_INFORMATION started = {};
    if (output != INVALID_HANDLE_VALUE && error != INVALID_HANDLE_VALUE &&
        CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
        CloseHandle(started.hThread);
        process_ = started.hProcess;
        processId_ = started.dwProcessId;
    }
    if (output != INVALID_HANDLE_VALUE)
        CloseHandle(output);
    if (error != INVALID_HANDLE_VALUE)
        CloseHandle(error);
}

EditorProcess::~EditorProcess()
{
    if (process_ == nullptr)
        return;
    if (running()) {
        ADD_FAILURE() << "The editor was still running at the end of the test; ended by force.";
        TerminateProcess(process_, 255);
        WaitForSingleObject(process_, static_cast<DWORD>(kWaitLimit.count()));
    }
    CloseHandle(process_);
}

void EditorProcess::poll()
{
    for (HWND window : topLevelWindowsOf(processId_)) {
        if (isMainWindow(window))
            mainWindowSeen_ = true;
    }
}

HWND EditorProcess::waitForWindow(const std::function<bool(HWND)>& wanted, milliseconds limit)
{
    HWND found = nullptr;
    waitUntil(
        [&] {
            poll();
            for (HWND window : topLevelWindowsOf(processId_)) {
                if (wanted(window))
                    found = window;
            }
            return found != nullptr || !running();
        },
        limit);
    return found;
}

HWND EditorProcess::waitForMainWindow(milliseconds limit)
{
    return waitForWindow(isMainWindow, limit);
}

HWND EditorProcess::waitForMessageBox(milliseconds limit)
{
    return waitForWindow(isMessageBox, limit);
}

HWND EditorProcess::waitForSavePrompt(milliseconds limit)
{
    return waitForWindow(isSavePrompt, limit);
}

bool EditorProcess::showsNoOtherDialog()
{
    return waitForWindow([](HWND window) { return isSavePrompt(window) || isMessageBox(window); },
                         milliseconds(0)) == nullptr;
}

bool EditorProcess::waitForExit(milliseconds limit)
{
    return waitUntil(
        [this] {
            poll();
            return !running();
        },
        limit);
}

bool EditorProcess::running() const
{
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD EditorProcess::exitCode() const
{
    DWORD code = STILL_ACTIVE;
    if (process_ != nullptr)
        GetExitCodeProcess(process_, &code);
    return code;
}

std::wstring EditorProcess::standardOutput() const
{
    return fromCodePage(fileBytes(outputPath_));
}

std::wstring EditorProcess::standardError() const
{
    return fromCodePage(fileBytes(errorPath_));
}

// Windows of the editor

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

std::wstring messageBoxText(HWND box)
{
    return windowText(GetDlgItem(box, kMessageBoxText));
}

bool dialogShowsText(HWND dialog, const std::wstring& text)
{
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if (windowText(child) == text)
            return true;
    }
    return false;
}

HWND editorControl(HWND mainWindow, int id)
{
    const HWND page = FindWindowExW(GetDlgItem(mainWindow, IDC_PRESET_TABS), nullptr, kDialogClass, nullptr);
    const HWND onPage = GetDlgItem(page, id);
    return onPage ? onPage : GetDlgItem(mainWindow, id);
}

// Real input

void clickWindow(HWND window)
{
    RECT area = {};
    GetWindowRect(window, &area);
    clickAt({(area.left + area.right) / 2, (area.top + area.bottom) / 2});
}

void clickNeutralSpot(HWND mainWindow)
{
    // Below the description, left of the tab control: nothing but the dialog itself.
    RECT client = {};
    GetClientRect(mainWindow, &client);
    POINT spot = {client.right / 20, client.bottom - client.bottom / 20};
    ClientToScreen(mainWindow, &spot);
    clickAt(spot);
    waitUntil([&] { return guiThreadInfo(mainWindow).hwndActive == mainWindow; });
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

bool replaceText(HWND field, const std::wstring& typed)
{
    clickWindow(field);
    if (!waitUntil([&] { return guiThreadInfo(field).hwndFocus == field; }))
        return false;
    std::vector<INPUT> keys = {keyInput(VK_END, false), keyInput(VK_END, true)};
    for (size_t i = windowText(field).size(); i > 0; --i) {
        keys.push_back(keyInput(VK_BACK, false));
        keys.push_back(keyInput(VK_BACK, true));
    }
    send(keys);
    if (!waitUntil([&] { return windowText(field).empty(); }))
        return false;
    typeText(typed);
    return waitUntil([&] { return windowText(field) == typed; });
}

bool answerDialog(HWND dialog, int buttonId)
{
    const HWND button = GetDlgItem(dialog, buttonId);
    if (button == nullptr)
        return false;
    clickWindow(button);
    return waitUntil([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); });
}

// Other window

OtherWindow::OtherWindow(RECT where)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kOtherWindowClass;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassW(&windowClass);  // fails harmlessly when already registered
    window_ = CreateWindowExW(0, kOtherWindowClass, L"Another program", WS_OVERLAPPEDWINDOW, where.left, where.top,
                              where.right - where.left, where.bottom - where.top, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    ShowWindow(window_, SW_SHOWNOACTIVATE);
}

OtherWindow::~OtherWindow()
{
    DestroyWindow(window_);
}

}  // namespace e2e
