// The main window driven as a user drives it: opening on the stored preset,
// Save with validation, closing with and without the save-changes prompt, the
// live mode, and a save that fails.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/process_state.h"
#include "tests/ui/editor_session.h"
#include "ui/resource.h"

using namespace uitest;

namespace {

const wchar_t kSaveError[] = L"Error saving configuraion";

// The size of the logo's bitmap, read on the window's thread.
SIZE logoBitmapSize(const EditorSession& editor)
{
    SIZE size = {};
    editor.onUi([&] {
        BITMAP info = {};
        const auto image =
            reinterpret_cast<HGDIOBJ>(SendMessageW(editor.control(IDC_LOGO), STM_GETIMAGE, IMAGE_BITMAP, 0));
        if (image && GetObjectW(image, sizeof(info), &info))
            size = {info.bmWidth, info.bmHeight};
    });
    return size;
}

RECT windowRect(HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

class MainWindow : public EditorTest {
protected:
    // Shows the prompt with Close and checks it is the save-changes prompt.
    HWND closeToPrompt(const EditorSession& editor)
    {
        editor.click(IDCLOSE);
        const HWND prompt = editor.waitForOtherDialog();
        EXPECT_NE(prompt, nullptr) << "no save-changes prompt";
        EXPECT_TRUE(dialogShowsText(prompt, L"Do you want to save changes?"));
        return prompt;
    }

    // Saves into a directory named config.dat, which cannot be replaced by a
    // file; made once the editor is open, so that its load has nothing to tell.
    void makeSavesFail() { CreateDirectoryW(configPath().c_str(), nullptr); }

    // Answers the error message of a failed save with its OK button.
    void expectSaveErrorAnswered(const EditorSession& editor)
    {
        const HWND box = editor.waitForOtherDialog();
        ASSERT_NE(box, nullptr) << "no error message";
        EXPECT_TRUE(dialogShowsText(box, kSaveError + (L"\nconfig.dat could not be written: " + configPath())));
        EXPECT_EQ(GetWindow(box, GW_OWNER), editor.window());
        EXPECT_TRUE(editor.answerDialog(IDOK));
    }
};

TEST_F(MainWindow, OpensOnTheStoredPresetWithOneTabPerPreset)
{
    StreamSettingsSet stored = presets(3, 2);
    stored.at(1).setName("Stage left");
    writeConfig(stored);

    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    ASSERT_EQ(editor.tabCount(), 3);
    EXPECT_EQ(editor.tabTitle(0), L"Stream 1");
    EXPECT_EQ(editor.tabTitle(1), L"Stage left");
    EXPECT_EQ(editor.tabTitle(2), L"Stream 3");
    EXPECT_EQ(editor.selectedTab(), 2);
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Stream 3");
    EXPECT_FALSE(editor.anyChanged());
}

TEST_F(MainWindow, StoredSelectionBeyondTheLastPresetOpensTheLastTab)
{
    preset_collection = presets(3, 5);  // no config.dat: the collection stays as it is
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(editor.selectedTab(), 2);
    int current = -1;
    editor.onUi([&] { current = preset_collection.current_; });
    EXPECT_EQ(current, 2);
}

TEST_F(MainWindow, WithoutConfigurationShowsStreamOneSwitchedOff)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    ASSERT_EQ(editor.tabCount(), 1);
    EXPECT_EQ(editor.tabTitle(0), L"Stream 1");
    EXPECT_EQ(editor.protocolShown(), 0);
}

TEST_F(MainWindow, ConfigurationWithoutPresetsShowsOneNewPresetToBeSaved)
{
    StreamSettingsSet empty(1);
    empty.resize(0);
    writeConfig(empty);
    const std::string stored = configBytes();

    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    ASSERT_EQ(editor.tabCount(), 1);
    EXPECT_EQ(editor.tabTitle(0), L"Stream 1");
    EXPECT_EQ(editor.protocolShown(), 0);

    // What the window shows differs from the file, so closing asks.
    closeToPrompt(editor);
    EXPECT_TRUE(editor.answerDialog(IDC_DONT_SAVE));
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_EQ(configBytes(), stored);
}

TEST_F(MainWindow, PageSitsInTheTabAreaAndTheLogoInTheLeftColumn)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    RECT display = {}, page = {}, logo = {}, description = {}, tabs = {}, client = {};
    editor.onUi([&] {
        GetClientRect(editor.tabs(), &display);
        SendMessageW(editor.tabs(), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
        MapWindowPoints(editor.tabs(), nullptr, reinterpret_cast<POINT*>(&display), 2);
        GetWindowRect(editor.page(), &page);
        GetWindowRect(editor.tabs(), &tabs);
        GetWindowRect(editor.control(IDC_LOGO), &logo);
        GetClientRect(editor.window(), &client);
        MapWindowPoints(editor.window(), nullptr, reinterpret_cast<POINT*>(&client), 2);
        const HWND descriptionWindow = GetWindow(editor.tabs(), GW_HWNDNEXT);
        GetWindowRect(descriptionWindow, &description);
    });
    EXPECT_EQ(page.left, display.left);
    EXPECT_EQ(page.top, display.top);
    EXPECT_LE(page.right, tabs.right);
    EXPECT_LE(page.bottom, tabs.bottom);

    const SIZE bitmap = logoBitmapSize(editor);
    EXPECT_EQ(bitmap.cx, 150);
    EXPECT_EQ(bitmap.cy, 57);
    EXPECT_EQ(logo.right - logo.left, 150);
    EXPECT_EQ(logo.bottom - logo.top, 57);
    EXPECT_GE(logo.left, client.left);
    EXPECT_GE(logo.top, client.top);
    EXPECT_LE(logo.right, tabs.left);
    EXPECT_LE(logo.bottom, description.top);
}

// What the system sends when the window moves to a screen of another DPI.
TEST_F(MainWindow, LogoFollowsTheWindowToAScreenOfAnotherDpi)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    const auto moveToDpi = [&](UINT dpi) {
        RECT frame = {};
        GetWindowRect(editor.window(), &frame);
        SendMessageW(editor.window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&frame));
    };
    const auto logoNear = [&](double width, double height) {
        return waitUntil(
            [&] {
                const SIZE bitmap = logoBitmapSize(editor);
                const RECT logo = windowRect(editor.control(IDC_LOGO));
                return std::abs(bitmap.cx - width) <= 1 && std::abs(bitmap.cy - height) <= 1 &&
                       logo.right - logo.left == bitmap.cx && logo.bottom - logo.top == bitmap.cy;
            },
            kWaitLimit);
    };

    moveToDpi(120);  // 125 %: no logo is drawn for it
    EXPECT_TRUE(logoNear(150 * 1.25, 57 * 1.25));
    moveToDpi(192);  // 200 %: the logo drawn for it
    EXPECT_TRUE(logoNear(300, 114));
    moveToDpi(96);
    EXPECT_TRUE(logoNear(150, 57));
}

TEST_F(MainWindow, ClosingWithoutChangesEndsAtOnce)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.click(IDCLOSE);
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_EQ(editor.result(), 0);
    EXPECT_EQ(configBytes(), "");  // nothing saved
}

TEST_F(MainWindow, AltF4ClosesLikeTheCloseButton)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    pressKeys({VK_MENU, VK_F4});
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_EQ(editor.result(), 0);
}

TEST_F(MainWindow, AnEditUndoneBeforeAnyCommitIsNoChange)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Changed");
    editor.replaceText(IDC_PRESET_NAME, L"Stream 1");
    editor.click(IDCLOSE);
    EXPECT_TRUE(editor.waitForEnd());
}

TEST_F(MainWindow, AnEditUndoneAfterACommitStillCounts)
{
    preset_collection = presets(2);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Changed");
    editor.clickTab(1);
    editor.clickTab(0);
    editor.replaceText(IDC_PRESET_NAME, L"Stream 1");

    closeToPrompt(editor);
    EXPECT_TRUE(editor.answerDialog(IDCANCEL));
    EXPECT_FALSE(editor.ended());
}

TEST_F(MainWindow, AddingOrRemovingAPresetAloneMakesClosingAsk)
{
    for (int button : {IDC_ADD_PRESET, IDC_REMOVE_PRESET}) {
        SCOPED_TRACE(button);
        preset_collection = presets(2);
        EditorSession editor;
        ASSERT_TRUE(editor.opened());
        editor.click(button);
        closeToPrompt(editor);
        EXPECT_TRUE(editor.answerDialog(IDC_DONT_SAVE));
        EXPECT_TRUE(editor.waitForEnd());
    }
}

TEST_F(MainWindow, PromptOpensAtTheClientCornerWithItsIconBesideTheQuestion)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.click(IDC_ADD_PRESET);
    const HWND prompt = closeToPrompt(editor);
    ASSERT_NE(prompt, nullptr);

    POINT corner = {0, 0}, promptCorner = {0, 0};
    RECT icon = {}, question = {}, save = {};
    HWND focused = nullptr;
    HANDLE image = nullptr;
    editor.onUi([&] {
        ClientToScreen(editor.window(), &corner);
        ClientToScreen(prompt, &promptCorner);
        focused = GetFocus();
        image = reinterpret_cast<HANDLE>(SendDlgItemMessageW(prompt, IDC_PROMPT_ICON, STM_GETICON, 0, 0));
        GetWindowRect(GetDlgItem(prompt, IDC_PROMPT_ICON), &icon);
        GetWindowRect(childWithText(prompt, L"Do you want to save changes?"), &question);
        GetWindowRect(GetDlgItem(prompt, IDC_SAVE), &save);
    });
    EXPECT_EQ(promptCorner.x, corner.x);
    EXPECT_EQ(promptCorner.y, corner.y);
    EXPECT_EQ(focused, GetDlgItem(prompt, IDC_SAVE));
    EXPECT_EQ(windowText(prompt), L"");
    // The icon takes the system's icon size and leaves the question and the
    // buttons uncovered.
    EXPECT_NE(image, nullptr);
    EXPECT_EQ(icon.right - icon.left, GetSystemMetrics(SM_CXICON));
    EXPECT_LE(icon.right, question.left);
    EXPECT_LE(icon.bottom, save.top);

    // Escape answers Cancel; the editor stays.
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(prompt); }, kWaitLimit));
    editor.flushInput();
    EXPECT_FALSE(editor.ended());
}

TEST_F(MainWindow, PromptCancelKeepsTheWindowAndEveryEdit)
{
    writeConfig(presets(1));
    const std::string stored = configBytes();
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Edited");

    closeToPrompt(editor);
    EXPECT_TRUE(editor.answerDialog(IDCANCEL));
    editor.flushInput();
    EXPECT_FALSE(editor.ended());
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Edited");
    EXPECT_TRUE(editor.anyChanged());
    EXPECT_EQ(configBytes(), stored);
}

TEST_F(MainWindow, PromptDontSaveEndsAndLeavesTheFileUntouched)
{
    writeConfig(presets(1));
    const std::string stored = configBytes();
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Edited");

    closeToPrompt(editor);
    EXPECT_TRUE(editor.answerDialog(IDC_DONT_SAVE));
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_EQ(editor.result(), 0);
    EXPECT_EQ(configBytes(), stored);
}

TEST_F(MainWindow, PromptSaveByEnterWritesTheFileAndEnds)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Saved");
    editor.chooseProtocol(3);  // TS over TCP shares its port with TS over UDP
    editor.replaceText(IDC_PORT, L"7000");

    closeToPrompt(editor);
    pressKey(VK_RETURN);
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_EQ(editor.result(), 0);

    const StreamSettingsSet saved = loadedConfig();
    ASSERT_EQ(saved.count(), 1);
    EXPECT_EQ(saved.at(0).name(), "Saved");
    EXPECT_EQ(saved.at(0).protocol(), 3);
    EXPECT_EQ(saved.at(0).endpoint(3).port_, 7000);
    EXPECT_EQ(saved.at(0).endpoint(1).port_, 7000);
}

TEST_F(MainWindow, EscapeAndEnterDoNothingInNormalMode)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Kept");
    pressKey(VK_ESCAPE);
    pressKey(VK_RETURN);
    editor.flushInput();
    EXPECT_FALSE(editor.ended());
    EXPECT_TRUE(editor.noOtherDialog());
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Kept");
}

TEST_F(MainWindow, SaveShowsTheValuesAsValidationLeftThem)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Validated");
    editor.chooseProtocol(1);
    editor.replaceText(IDC_PORT, L"99999");
    editor.replaceText(IDC_JITTER_DELAY, L"5000");
    editor.replaceText(IDC_LIP_SYNC, L"0x10");

    editor.pressSave();
    EXPECT_FALSE(editor.ended());
    EXPECT_EQ(editor.text(IDC_PORT), L"65535");
    EXPECT_EQ(editor.text(IDC_JITTER_DELAY), L"4000");
    EXPECT_EQ(editor.text(IDC_LIP_SYNC), L"16");
    EXPECT_EQ(editor.tabTitle(0), L"Validated");
    EXPECT_FALSE(editor.anyChanged());

    editor.replaceText(IDC_LIP_SYNC, L"abc");
    EXPECT_EQ(editor.text(IDC_LIP_SYNC), L"abc");
    editor.pressSave();
    EXPECT_EQ(editor.text(IDC_LIP_SYNC), L"0");

    const StreamSettingsSet saved = loadedConfig();
    EXPECT_EQ(saved.at(0).name(), "Validated");
    EXPECT_EQ(saved.at(0).endpoint(1).port_, 65535);
    EXPECT_EQ(saved.at(0).jitterDelay(), 4000);
    EXPECT_EQ(saved.at(0).lipSync(), 0);
}

TEST_F(MainWindow, FailedSaveKeepsTheWindowAndTheChanges)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    makeSavesFail();
    editor.replaceText(IDC_PRESET_NAME, L"Unsaved");

    editor.pressSave();
    expectSaveErrorAnswered(editor);
    EXPECT_FALSE(editor.ended());
    EXPECT_TRUE(editor.anyChanged());

    // Save chosen in the prompt fails as well and keeps the window open.
    closeToPrompt(editor);
    EXPECT_TRUE(editor.answerDialog(IDC_SAVE));
    expectSaveErrorAnswered(editor);
    editor.flushInput();
    EXPECT_FALSE(editor.ended());
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Unsaved");

    // Once the file can be written, the same close saves.
    removeConfig();
    closeToPrompt(editor);
    EXPECT_TRUE(editor.answerDialog(IDC_SAVE));
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_EQ(loadedConfig().at(0).name(), "Unsaved");
}

// What config.dat's code page cannot hold is remembered with the preset and
// field it was typed into: a preset that holds a '?' of its own is never
// named for it, and changing the field or removing the preset forgets it.
TEST_F(MainWindow, TextTheCodePageCannotHoldIsRememberedWithItsPresetAndField)
{
    StreamSettingsSet stored = presets(2);
    stored.at(0).setName("Cam ?");
    writeConfig(stored);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.clickTab(1);
    editor.replaceText(IDC_PRESET_NAME, L"Cam \u2603");
    editor.pressSave();
    const HWND box = editor.waitForOtherDialog();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(dialogShowsText(box, kSaveError + std::wstring(L"\nThe name of preset 2, \"Cam \u2603\", holds \u2603, "
                                                               L"which config.dat cannot hold in code page 1252; "
                                                               L"nothing was saved.")));
    EXPECT_TRUE(editor.answerDialog(IDOK));
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Cam \u2603");
    EXPECT_EQ(editor.tabTitle(1), L"Cam \u2603");

    editor.replaceText(IDC_PRESET_NAME, L"Cam 2");
    editor.pressSave();
    EXPECT_TRUE(editor.noOtherDialog());
    EXPECT_EQ(loadedConfig().at(1).name(), "Cam 2");

    editor.replaceText(IDC_PRESET_NAME, L"Cam \u2603");
    editor.click(IDC_REMOVE_PRESET);
    editor.pressSave();
    EXPECT_TRUE(editor.noOtherDialog());
    EXPECT_EQ(loadedConfig().count(), 1);
    EXPECT_EQ(loadedConfig().at(0).name(), "Cam ?");
}

// A file beside config.dat whose name only looks like a save's temporary
// file (no system gives that process number) is none of the editor's business.
TEST_F(MainWindow, StrayFileBesideTheConfigurationLeavesOpeningAndSavingAlone)
{
    writeConfig(presets(2));
    struct StrayFile {
        const std::wstring path = configPath() + L".4294967296-1.tmp";
        StrayFile() { CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)); }
        ~StrayFile() { DeleteFileW(path.c_str()); }
    } stray;
    {
        EditorSession editor;
        ASSERT_TRUE(editor.opened());
        EXPECT_TRUE(editor.noOtherDialog());
        ASSERT_EQ(editor.tabCount(), 2);
        EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Stream 1");
        editor.replaceText(IDC_PRESET_NAME, L"Renamed");

        editor.pressSave();
        EXPECT_TRUE(editor.noOtherDialog());
        EXPECT_FALSE(editor.anyChanged());
        EXPECT_EQ(loadedConfig().at(0).name(), "Renamed");
        editor.click(IDCLOSE);  // nothing left to ask about
        EXPECT_TRUE(editor.waitForEnd());
    }
    EXPECT_NE(GetFileAttributesW(stray.path.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(MainWindow, MaximisingLeavesTheWindowAtItsSize)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    RECT before = {}, afterCommand = {}, afterShow = {};
    bool zoomed = true;
    editor.onUi([&] {
        GetWindowRect(editor.window(), &before);
        SendMessageW(editor.window(), WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        GetWindowRect(editor.window(), &afterCommand);
        ShowWindow(editor.window(), SW_MAXIMIZE);
        GetWindowRect(editor.window(), &afterShow);
        zoomed = IsZoomed(editor.window()) != FALSE;
    });
    EXPECT_TRUE(EqualRect(&before, &afterCommand));
    EXPECT_TRUE(EqualRect(&before, &afterShow));
    EXPECT_FALSE(zoomed);
}

class LiveMode : public MainWindow {
protected:
    void SetUp() override
    {
        MainWindow::SetUp();
        live_mode = true;
    }
};

TEST_F(LiveMode, EscapeClosesWithoutAskingAndWithoutSaving)
{
    writeConfig(presets(1));
    const std::string stored = configBytes();
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Discarded");
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_EQ(editor.result(), 0);
    EXPECT_EQ(configBytes(), stored);
}

TEST_F(LiveMode, ClickingAnotherWindowClosesWithoutAskingAndWithoutSaving)
{
    writeConfig(presets(1));
    const std::string stored = configBytes();
    OtherWindow other({10, 10, 210, 160});
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Discarded");
    clickWindow(other.window());
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_EQ(editor.result(), 0);
    EXPECT_EQ(configBytes(), stored);
}

TEST_F(LiveMode, SaveWritesAndStaysOpen)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Live");
    editor.pressSave();
    EXPECT_FALSE(editor.ended());
    EXPECT_FALSE(editor.anyChanged());
    editor.click(IDCLOSE);
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_EQ(loadedConfig().at(0).name(), "Live");
}

// The error message of a failed save takes the activation from the editor;
// that must not close the editor behind it and lose the edits.
TEST_F(LiveMode, FailedSaveMessageDoesNotCloseTheEditor)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    makeSavesFail();
    editor.replaceText(IDC_PRESET_NAME, L"Unsaved");
    editor.pressSave();
    expectSaveErrorAnswered(editor);
    editor.flushInput();
    EXPECT_FALSE(editor.ended());
    EXPECT_TRUE(editor.anyChanged());
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Unsaved");
}

}  // namespace
