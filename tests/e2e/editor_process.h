#pragma once

// The real editor executable, run the way the production system's user meets
// it: a folder of its own holding RiverraConfig.exe and whichever host
// libraries a case needs, started as a separate process, watched from
// outside and driven with real mouse clicks and key strokes.

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "tests/support/desktop_input.h"
#include "tests/support/editor_windows.h"

namespace e2e {

using std::chrono::milliseconds;

// The first start of a program in a fresh folder is the slowest under Wine.
constexpr milliseconds kStartLimit{20000};
// Any other wait for a window, an effect or the end of the process.
constexpr milliseconds kWaitLimit{10000};

const wchar_t kBanner[] = L"Starting Rverra for Orvanta GUI";
const wchar_t kNetworkModuleFile[] = L"Module.NetworkVideo.x86.dll";
const wchar_t kVersionLibraryFile[] = L"FrameWork.Versions.x86.dll";
const wchar_t kRendererFile[] = L"Renderer.exe";

// The stand-in network module in its three builds.
enum class NetworkModule { complete, withoutCreate, withoutDestroy };

// Copies the stand-in network module of that build, or the version library,
// into `directory`.
bool copyNetworkModule(NetworkModule build, const std::wstring& directory);
bool copyVersionLibrary(const std::wstring& directory);

// A fresh folder for one editor, below "runs" in the test program's folder:
// RiverraConfig.exe and nothing else until the test adds host pieces.
class EditorFolder {
public:
    explicit EditorFolder(const std::wstring& name);
    // Removes the folder unless the test failed, so that a failure can be looked into.
    ~EditorFolder();
    EditorFolder(const EditorFolder&) = delete;
    EditorFolder& operator=(const EditorFolder&) = delete;

    bool ready() const { return ready_; }
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }
    std::wstring configPath() const { return file(L"config.dat"); }
    // Where the stand-ins record their calls (RIVERRA_HOST_LOG).
    std::wstring hostLogPath() const { return file(L"host-calls.log"); }

    bool addNetworkModule(NetworkModule build = NetworkModule::complete) const;
    bool addVersionLibrary() const;
    bool addRenderer() const;
    // Both host libraries and the renderer, as on an installed system.
    bool addCompleteHost() const;

private:
    std::wstring path_;
    bool ready_ = false;
};

// One run of the editor. Standard output and standard error go to files in
// the editor's folder. A run that is still going when the object is destroyed
// (a failed test) is ended by force.
class EditorProcess {
public:
    EditorProcess(const EditorFolder& folder, const std::wstring& arguments);
    ~EditorProcess();
    EditorProcess(const EditorProcess&) = delete;
    EditorProcess& operator=(const EditorProcess&) = delete;

    bool started() const { return process_ != nullptr; }

    // The visible main window; null when it did not appear in time.
    HWND waitForMainWindow(milliseconds limit = kStartLimit);
    // A visible message box of the editor (OK, or Yes and No); null when none appeared in time.
    HWND waitForMessageBox(milliseconds limit = kStartLimit);
    // The visible save-changes prompt; null when none appeared in time.
    HWND waitForSavePrompt(milliseconds limit = kWaitLimit);
    // True when the editor shows neither a message box nor the prompt.
    bool showsNoOtherDialog();

    // Waits for the process to end; false when it is still running.
    bool waitForExit(milliseconds limit = kWaitLimit);
    bool running() const;
    // The exit code once the process has ended.
    DWORD exitCode() const;
    // Whether any poll so far has seen the main window shown.
    bool mainWindowSeen() const { return mainWindowSeen_; }

    // What the editor wrote to its standard output and standard error so far.
    std::wstring standardOutput() const;
    std::wstring standardError() const;

private:
    // Looks at the process's top-level windows once.
    void poll();
    HWND waitForWindow(const std::function<bool(HWND)>& wanted, milliseconds limit);

    std::wstring outputPath_;
    std::wstring errorPath_;
    HANDLE process_ = nullptr;
    DWORD processId_ = 0;
    bool mainWindowSeen_ = false;
};

// The text of a message box (its static 0xFFFF).
std::wstring messageBoxText(HWND box);

// Clicks an empty spot of the main window, so that keys go to it.
void clickNeutralSpot(HWND mainWindow);
// Clicks into an edit field, clears it and types `typed`; true once the field
// shows exactly that text.
bool replaceText(HWND field, const std::wstring& typed);

// The bytes of a file; none when it is missing.
std::string fileBytes(const std::wstring& path);

// The test program's own folder, where the stand-ins were copied at build time.
std::wstring programDirectory();

}  // namespace e2e
