#pragma once

// Acting on windows the way a user does, for tests that drive real windows:
// mouse clicks and key strokes through SendInput, the texts the windows show,
// and another program's window to click on.

#include <windows.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>

// The class of dialogs and message boxes.
const wchar_t kDialogClass[] = L"#32770";

// Polls `condition` until it holds or `limit` has passed, handling the
// messages of the calling thread's own windows meanwhile.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// Real input.
void clickAt(POINT screen);
// The centre, or beside it when the last click was there.
void clickWindow(HWND window);
// The centre, with the right button (a field opens its context menu).
void rightClickWindow(HWND window);
void pressKey(WORD virtualKey);
// Presses the keys in order and releases them in reverse, as for Alt+F4.
void pressKeys(std::initializer_list<WORD> virtualKeys);
// Moves the caret of the focused field to its end and deletes `count` characters before it.
void eraseFromEnd(size_t count);
void typeText(const std::wstring& typed);
// Clicks button `buttonId` of a dialog and waits until the dialog is gone.
bool answerDialog(HWND dialog, int buttonId);

// Text of a window of any thread or process; "" when it does not answer.
std::wstring windowText(HWND window);
std::wstring className(HWND window);
// The control of a dialog that shows exactly `text`; null when there is none.
HWND childWithText(HWND dialog, const std::wstring& text);
bool dialogShowsText(HWND dialog, const std::wstring& text);

// A plain top-level window of another thread, shown without taking the
// activation, for the user to click on.
class OtherWindow {
public:
    explicit OtherWindow(RECT where);
    ~OtherWindow();
    OtherWindow(const OtherWindow&) = delete;
    OtherWindow& operator=(const OtherWindow&) = delete;

    HWND window() const { return window_; }

private:
    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
};
