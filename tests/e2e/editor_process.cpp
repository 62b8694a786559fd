#include "tests/e2e/editor_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/support/code_page_text.h"
#include "ui/resource.h"

namespace e2e {

namespace {

// The static that holds a message box's text.
constexpr int kMessageBoxText = 0xFFFF;

// The editor under test: the stripped one of the unpacked release archive when
// the test command names its Unix folder in RIVERRA_SHIPPED_PROGRAMS, otherwise
// the one the build left. Under Wine the Unix root is drive Z:.
std::wstring editorUnderTestPath()
{
    std::wstring path = L"" RIVERRA_EDITOR_EXE;
    wchar_t shipped[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"RIVERRA_SHIPPED_PROGRAMS", shipped, MAX_PATH);
    if (length > 0 && length < MAX_PATH)
        path = L"Z:" + std::wstring(shipped) + L"/RiverraConfig.exe";
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
    return windowText(window) == kEditorTitle;
}

bool isSavePrompt(HWND window)
{
    return className(window) == kDialogClass && !isMainWindow(window) &&
           GetDlgItem(window, IDC_DONT_SAVE) != nullptr && GetDlgItem(window, IDC_SAVE) != nullptr;
}

bool isMessageBox(HWND window)
{
    return className(window) == kDialogClass && !isMainWindow(window) && !isSavePrompt(window) &&
           GetDlgItem(window, kMessageBoxText) != nullptr &&
           (GetDlgItem(window, IDOK) != nullptr || GetDlgItem(window, IDYES) != nullptr);
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

// Where a failed test leaves its folders for a look.
std::wstring runsDirectory()
{
    return programDirectory() + L"\\runs";
}

}  // namespace

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
    ready_ = copyFileTo(editorUnderTestPath(), path_, L"RiverraConfig.exe");
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
    return decodeBytes(fileBytes(outputPath_), CP_ACP);
}

std::wstring EditorProcess::standardError() const
{
    return decodeBytes(fileBytes(errorPath_), CP_ACP);
}

// Windows of the editor

std::wstring messageBoxText(HWND box)
{
    return windowText(GetDlgItem(box, kMessageBoxText));
}

// Real input

void clickNeutralSpot(HWND mainWindow)
{
    // Below the description, left of the tab control: nothing but the dialog itself.
    RECT client = {};
    GetClientRect(mainWindow, &client);
    POINT spot = {client.right / 20, client.bottom - client.bottom / 20};
    ClientToScreen(mainWindow, &spot);
    clickAt(spot);
    waitUntil([&] { return guiThreadInfo(mainWindow).hwndActive == mainWindow; }, kWaitLimit);
}

bool replaceText(HWND field, const std::wstring& typed)
{
    clickWindow(field);
    if (!waitUntil([&] { return guiThreadInfo(field).hwndFocus == field; }, kWaitLimit))
        return false;
    eraseFromEnd(windowText(field).size());
    if (!waitUntil([&] { return windowText(field).empty(); }, kWaitLimit))
        return false;
    typeText(typed);
    return waitUntil([&] { return windowText(field) == typed; }, kWaitLimit);
}

}  // namespace e2e
