// Remote control for the editor, used by scripts/screenshot.sh and by the UI
// tests' set-up:
//   ui_remote unmanaged <program.exe>...  Wine: let Wine itself manage the
//                                         windows of these programs
//   ui_remote dpi <dots per inch>         sets the screen's DPI for programs started afterwards
//   ui_remote sample-config               writes a sample config.dat beside itself
//   ui_remote test-config <port>          writes a config.dat of two cameras at
//                                         rtsp://127.0.0.1:<port>/live, over TCP and UDP
//   ui_remote wait                        waits for the editor; prints its frame
//   ui_remote tab <index>                 selects a tab as a click on it does
//   ui_remote click <control id>          clicks a button of the page or the window
//   ui_remote close                       asks the editor to close
//   ui_remote prompt                      waits for the save-changes prompt; prints its frame
//   ui_remote tested                      waits for the Test Source dialog's findings; prints its frame
//   ui_remote login <user> <password>     searches again in Find Sources with a camera's log-in
//   ui_remote add-camera <address>        adds the camera at the address in Find Sources
//   ui_remote found                       waits for Find Sources' results; prints its frame
//   ui_remote answer <control id>         clicks a button of the prompt or dialog
// Frames are printed as ImageMagick geometry: WIDTHxHEIGHT+X+Y.
#include <windows.h>
#include <commctrl.h>
#include <shlwapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/module_path.h"
#include "persist/config_file.h"
#include "tests/support/desktop_input.h"
#include "tests/support/editor_windows.h"
#include "tests/support/wine_settings.h"
#include "ui/resource.h"

namespace {

constexpr std::chrono::milliseconds kWaitLimit{10000};

// The UI tests close many windows: Wine manages them itself.
int unmanaged(int count, wchar_t** programs)
{
    for (int i = 0; i < count; ++i)
        if (!letWineManageWindowsOf(programs[i]))
            return 1;
    return 0;
}

StreamSettings samplePreset(const char* name, int protocol)
{
    StreamSettings preset;
    preset.setName(name);
    preset.selectProtocol(protocol);
    return preset;
}

// One preset per family of protocols, with buffering settings of each kind.
int sampleConfig()
{
    StreamSettingsSet sample(4);
    sample.at(0) = samplePreset("Spare input", 0);
    sample.at(1) = samplePreset("Encoder 1", 1);
    sample.at(1).setPort(5004);
    sample.at(1).setJitterDelay(120);
    sample.at(2) = samplePreset("Multicast feed", 2);
    sample.at(2).setHost("239.192.10.41");
    sample.at(2).setSync(true);
    sample.at(3) = samplePreset("Tesser camera", 7);
    sample.at(3).setHost("192.168.0.21");
    sample.at(3).setStreamName("stream1");
    sample.at(3).setAutoJitter(true);
    sample.at(3).setLipSyncText("-40");
    return writeConfigFile(sample, pathBesideExecutable(L"config.dat")) ? 0 : 1;
}

// Two cameras on one RTSP server, which offers TCP only.
int testConfig(int port)
{
    StreamSettingsSet cameras(2);
    cameras.at(0) = samplePreset("Stage camera", 7);
    cameras.at(1) = samplePreset("Stage camera (UDP)", 5);
    for (int index = 0; index < 2; ++index) {
        cameras.at(index).setHost("127.0.0.1");
        cameras.at(index).setPort(port);
        cameras.at(index).setStreamName("live");
    }
    return writeConfigFile(cameras, pathBesideExecutable(L"config.dat")) ? 0 : 1;
}

// A search of Find Sources takes four seconds, and the one before it may still run.
constexpr std::chrono::milliseconds kSearchLimit{12000};

HWND waitFor(HWND (*find)(), std::chrono::milliseconds limit = kWaitLimit)
{
    HWND found = nullptr;
    const bool shown = waitUntil(
        [&] {
            found = find();
            return found && IsWindowVisible(found);
        },
        limit);
    return shown ? found : nullptr;
}

HWND editor()
{
    return FindWindowW(kDialogClass, kEditorTitle);
}

// The save-changes prompt, a message box or the Test Source dialog.
HWND ownedDialog()
{
    const HWND main = editor();
    for (HWND window = FindWindowW(kDialogClass, nullptr); window;
         window = FindWindowExW(nullptr, window, kDialogClass, nullptr))
        if (main && GetWindow(window, GW_OWNER) == main && IsWindowVisible(window))
            return window;
    return nullptr;
}

// The Test Source dialog once its test is done.
HWND testedSource()
{
    const HWND dialog = ownedDialog();
    const HWND stop = dialog ? GetDlgItem(dialog, IDC_TEST_STOP) : nullptr;
    return stop && !IsWindowEnabled(stop) ? dialog : nullptr;
}

// The Find Sources dialog once a search has listed sources.
HWND foundSources()
{
    const HWND dialog = ownedDialog();
    const HWND stop = dialog ? GetDlgItem(dialog, IDC_FIND_STOP) : nullptr;
    return stop && !IsWindowEnabled(stop) && SendDlgItemMessageW(dialog, IDC_FIND_LIST, LVM_GETITEMCOUNT, 0, 0) > 0
               ? dialog
               : nullptr;
}

// Returns once the editor has handled what it was sent.
void waitUntilIdle(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process) {
        WaitForInputIdle(process, 5000);
        CloseHandle(process);
    }
}

int printFrame(HWND window)
{
    RECT frame = {};
    if (!window || !GetWindowRect(window, &frame))
        return 1;
    std::printf("%ldx%ld+%ld+%ld\n", frame.right - frame.left, frame.bottom - frame.top, frame.left, frame.top);
    return 0;
}

int selectTab(HWND main, int index)
{
    SendMessageW(GetDlgItem(main, IDC_PRESET_TABS), TCM_SETCURFOCUS, index, 0);
    return 0;
}

// Posted, so that a button that opens a modal prompt does not hold us up.
int clickButton(HWND dialog, int controlId)
{
    const HWND button = editorControl(dialog, controlId);
    if (!button)
        return 1;
    PostMessageW(button, BM_CLICK, 0, 0);
    waitUntilIdle(dialog);
    return 0;
}

// Find Sources once its work has ended; null when it does not in time.
HWND searchEnded()
{
    const auto ended = [] {
        const HWND dialog = ownedDialog();
        return dialog && !IsWindowEnabled(GetDlgItem(dialog, IDC_FIND_STOP)) ? dialog : nullptr;
    };
    return waitUntil([&] { return ended() != nullptr; }, kSearchLimit) ? ended() : nullptr;
}

// Searches again with the log-in, once the running search has ended.
int searchWithLogin(const wchar_t* user, const wchar_t* password)
{
    const HWND dialog = searchEnded();
    if (!dialog)
        return 1;
    SetDlgItemTextW(dialog, IDC_FIND_USER, user);
    SetDlgItemTextW(dialog, IDC_FIND_PASSWORD, password);
    return clickButton(dialog, IDC_FIND_SEARCH);
}

// Adds the camera at `address`, once the running search has ended.
int addCamera(const wchar_t* address)
{
    const HWND dialog = searchEnded();
    if (!dialog)
        return 1;
    SetDlgItemTextW(dialog, IDC_FIND_ADDRESS, address);
    return clickButton(dialog, IDC_FIND_ADD_CAMERA);
}

int run(int count, wchar_t** arguments)
{
    const std::wstring command = count > 1 ? arguments[1] : L"";
    const int number = count > 2 ? _wtoi(arguments[2]) : -1;
    if (command == L"unmanaged")
        return unmanaged(count - 2, arguments + 2);
    if (command == L"dpi" && number > 0)
        return setScreenDpi(static_cast<DWORD>(number)) ? 0 : 1;
    if (command == L"sample-config")
        return sampleConfig();
    if (command == L"wait")
        return printFrame(waitFor(editor));
    if (command == L"test-config" && number > 0)
        return testConfig(number);
    if (command == L"prompt")
        return printFrame(waitFor(ownedDialog));
    if (command == L"tested")
        return printFrame(waitFor(testedSource));
    if (command == L"found")
        return printFrame(waitFor(foundSources, kSearchLimit));
    const HWND main = editor();
    if (!main)
        return 1;
    if (command == L"tab" && count > 2)
        return selectTab(main, number);
    if (command == L"click" && count > 2)
        return clickButton(main, number);
    if (command == L"close")
        return PostMessageW(main, WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == L"answer" && count > 2)
        return clickButton(ownedDialog(), number);
    if (command == L"login" && count > 3)
        return searchWithLogin(arguments[2], arguments[3]);
    if (command == L"add-camera" && count > 2)
        return addCamera(arguments[2]);
    std::fprintf(stderr, "usage: ui_remote unmanaged|dpi N|sample-config|test-config PORT|wait|tab N|click ID|close|prompt|tested|login USER PASSWORD|add-camera ADDRESS|found|answer ID\n");
    return 2;
}

}  // namespace

int wmain(int count, wchar_t** arguments)
{
    const int result = run(count, arguments);
    std::fflush(stdout);
    return result;
}
