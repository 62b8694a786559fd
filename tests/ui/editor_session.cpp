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
#include "tests/support/editor_windows.h"
#include "ui/main_window.h"
#include "ui/resource.h"

namespace uitest {

namespace {

constexpr UINT kRunOnUiMessage = WM_APP + 1;
const wchar_t kInvokerClass[] = L"RiverraUiTestInvoker";

LRESULT CALLBACK invokerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kRunOnUiMessage)
        return DefWindowProcW(window, message, wParam, lParam);
    (*reinterpret_cast<const std::function<void()>*>(lParam))();
    return 1;
}

// The start-up work that the entry function does before it opens the window,
// and the window through which the tests reach the window's thread.
void prepareProcess()
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSW invokerClass = {};
    invokerClass.lpfnWndProc = invokerProc;
    invokerClass.hInstance = GetModuleHandleW(nullptr);
    invokerClass.lpszClassName = kInvokerClass;
    RegisterClassW(&invokerClass);  // fails harmlessly when already registered
    app_instance = GetModuleHandleW(nullptr);
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

}  // namespace

std::wstring configPath()
{
    return pathBesideExecutable(L"config.dat");
}

void removeConfig()
{
    DeleteFileW(configPath().c_str());
    RemoveDirectoryW(configPath().c_str());
}

void EditorTest::SetUp()
{
    removeConfig();
    preset_collection = StreamSettingsSet(1);
    live_mode = false;
}

void EditorTest::TearDown()
{
    removeConfig();
    live_mode = false;
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
    waitUntil(
        [&] {
            for (HWND window : threadWindows(threadId_))
                if (IsWindowVisible(window) && windowText(window) == kEditorTitle)
                    shown = window;
            return shown != nullptr || ended_;
        },
        kWaitLimit);
    window_ = shown;
    // The user starts working once the window has the keyboard.
    waitUntil([&] { return !shown || GetForegroundWindow() == shown; }, kWaitLimit);
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
    return presetPage(window_);
}

HWND EditorSession::control(int id) const
{
    return editorControl(window_, id);
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
    return waitUntil([&] { return ended_ || queueEmpty(); }, kWaitLimit);
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
    eraseFromEnd(static_cast<size_t>(length));
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

HWND EditorSession::openDialog(int buttonId) const
{
    click(buttonId);
    const HWND dialog = waitForOtherDialog();
    if (!dialog || !waitUntil([dialog] { return GetForegroundWindow() == dialog; }, kWaitLimit))
        return nullptr;
    return dialog;
}

bool EditorSession::noOtherDialog() const
{
    return waitForOtherDialog(milliseconds(0)) == nullptr;
}

bool EditorSession::answerDialog(int buttonId) const
{
    const HWND dialog = waitForOtherDialog();
    return dialog && ::answerDialog(dialog, buttonId);
}

}  // namespace uitest
