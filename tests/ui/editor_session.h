#pragma once

// Runs the editor's real main window, built from the real templates, on a
// thread of its own and acts on it the way a user does: mouse clicks and key
// strokes through SendInput. Everything the tests read is read on the
// window's own thread between two messages, so it never sees half a handler.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "model/stream_settings_set.h"
#include "tests/support/desktop_input.h"

namespace uitest {

using std::chrono::milliseconds;

// Waits for a window or an effect at most this long; nothing here hangs.
constexpr milliseconds kWaitLimit{5000};

// config.dat beside the test program, where the editor reads and writes it.
std::wstring configPath();
// Removes config.dat, whether it is a file or a directory.
void removeConfig();
// Bytes of config.dat; empty when it is missing.
std::string configBytes();
// Writes `presets` as config.dat, as the editor writes it.
void writeConfig(const StreamSettingsSet& presets);
// The presets that config.dat holds.
StreamSettingsSet loadedConfig();

// A test of the editor in this process: it starts without config.dat, with
// the one default preset, in normal mode, and leaves no config.dat behind.
class EditorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// A collection of `count` default presets Stream 1 ... with `current` stored.
StreamSettingsSet presets(int count, int current = 0);

class EditorSession {
public:
    // Opens the main window with the process-wide state as it stands.
    EditorSession();
    // Closes whatever is still open and waits for the window's thread.
    ~EditorSession();
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;

    bool opened() const { return window_ != nullptr; }
    bool ended() const { return ended_; }
    INT_PTR result() const { return result_; }
    bool waitForEnd(milliseconds limit = kWaitLimit) const;

    HWND window() const { return window_; }
    HWND tabs() const;
    HWND page() const;
    // A control of the page, or of the main window when the page has none.
    HWND control(int id) const;

    // Runs `work` on the window's thread; false when that thread did not answer.
    bool onUi(const std::function<void()>& work) const;

    // Waits until every input sent so far has been taken by the window's thread.
    bool flushInput() const;

    // What the user sees.
    std::wstring text(int id) const;
    bool enabled(int id) const;
    bool checked(int id) const;
    int protocolShown() const;
    int tabCount() const;
    int selectedTab() const;
    std::wstring tabTitle(int index) const;
    bool anyChanged() const;
    // The focused window of the window's thread.
    HWND focus() const;

    // What the user does.
    void click(int id) const;
    void clickTab(int index) const;
    // Clicks into an edit field, clears it and types `typed`.
    void replaceText(int id, const std::wstring& typed) const;
    // Opens the protocol list with a click and picks `index` with the keyboard.
    void chooseProtocol(int index) const;
    void pressSave() const { click(1027); }

    // The first shown dialog of the window's thread other than the main window
    // (the save-changes prompt or a message box); null when none appears in time.
    HWND waitForOtherDialog(milliseconds limit = kWaitLimit) const;
    // Presses button `buttonId` and waits for the dialog it opens
    // to take the activation (a click on another window before then would be
    // taken back when the dialog activates); null when none does in time.
    HWND openDialog(int buttonId) const;
    // True when no such dialog is shown.
    bool noOtherDialog() const;
    // Finds the dialog, clicks its button `buttonId` and waits until it is gone.
    bool answerDialog(int buttonId) const;

private:
    void run();

    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<HWND> invoker_{nullptr};
    std::atomic<DWORD> threadId_{0};
    std::atomic<bool> ended_{false};
    std::atomic<INT_PTR> result_{-2};
};

}  // namespace uitest
