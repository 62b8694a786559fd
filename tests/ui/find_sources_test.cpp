// The Find Sources button of the preset page and its dialog, driven as a user
// drives them, against the test cameras that camera_peers.py runs beside the
// Wine session: one found by WS-Discovery, its profiles listed once the user
// gives its log-in; one on another subnet, found by its address, with a
// snapshot of one colour.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cwchar>
#include <string>

#include "app/process_state.h"
#include "model/protocol_table.h"
#include "tests/ui/editor_session.h"
#include "ui/resource.h"

using namespace uitest;

namespace {

// A search takes four seconds; the camera's answers come within it.
constexpr milliseconds kSearchLimit{12000};

std::wstring environmentText(const wchar_t* name)
{
    wchar_t text[64] = {};
    GetEnvironmentVariableW(name, text, 64);
    return text;
}

HWND listOf(HWND dialog)
{
    return GetDlgItem(dialog, IDC_FIND_LIST);
}

int rows(HWND dialog)
{
    return static_cast<int>(SendMessageW(listOf(dialog), LVM_GETITEMCOUNT, 0, 0));
}

std::wstring cell(HWND dialog, int row, int column)
{
    wchar_t text[256] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(listOf(dialog), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

// The news line and every row, for a failure's message.
std::string listing(HWND dialog)
{
    std::wstring text = windowText(GetDlgItem(dialog, IDC_FIND_NEWS));
    for (int row = 0; row < rows(dialog); ++row) {
        text += L"\n";
        for (int column = 0; column < 6; ++column)
            text += cell(dialog, row, column) + L" | ";
    }
    return std::string(text.begin(), text.end());
}

bool searching(HWND dialog)
{
    return IsWindowEnabled(GetDlgItem(dialog, IDC_FIND_STOP)) != FALSE;
}

bool enabledIn(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

void typeInto(HWND dialog, int id, const std::wstring& typed)
{
    clickWindow(GetDlgItem(dialog, id));
    typeText(typed);
}

// The row that lists `name` at `address`; -1 when none does.
int rowOf(HWND dialog, const std::wstring& name, const std::wstring& address)
{
    for (int row = 0; row < rows(dialog); ++row)
        if (cell(dialog, row, 1) == name && cell(dialog, row, 3) == address)
            return row;
    return -1;
}

// Selects a row with a click on it.
void clickRow(HWND dialog, int row)
{
    RECT item = {};
    item.left = LVIR_BOUNDS;
    SendMessageW(listOf(dialog), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&item));
    POINT point = {item.left + 30, (item.top + item.bottom) / 2};
    ClientToScreen(listOf(dialog), &point);
    clickAt(point);
}

// What the screen shows at the centre of `window`.
COLORREF colourAtCentre(HWND window)
{
    RECT frame = {};
    GetWindowRect(window, &frame);
    const HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, (frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2);
    ReleaseDC(nullptr, screen);
    return colour;
}

// "#2E6FB8", as ImageMagick names a colour.
COLORREF colourOf(const std::wstring& text)
{
    const unsigned long value = std::wcstoul(text.c_str() + 1, nullptr, 16);
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

// A JPEG keeps a colour within a few steps.
bool nearColour(COLORREF shown, COLORREF wanted)
{
    const auto within = [](int a, int b) { return a - b < 10 && b - a < 10; };
    return within(GetRValue(shown), GetRValue(wanted)) && within(GetGValue(shown), GetGValue(wanted)) &&
           within(GetBValue(shown), GetBValue(wanted));
}

class FindSources : public EditorTest {
protected:
    void SetUp() override
    {
        user_ = environmentText(L"RIVERRA_TEST_CAMERA_USER");
        password_ = environmentText(L"RIVERRA_TEST_CAMERA_PASSWORD");
        address_ = environmentText(L"RIVERRA_TEST_CAMERA_ADDRESS");
        colour_ = colourOf(environmentText(L"RIVERRA_TEST_SNAPSHOT_COLOUR"));
        if (user_.empty())
            GTEST_SKIP() << "run through camera_peers.py, which starts the test camera";
        EditorTest::SetUp();
    }

    // Presses Find Sources and waits for its dialog.
    HWND openSearch(const EditorSession& editor)
    {
        const HWND dialog = editor.openDialog(IDC_FIND_SOURCES);
        EXPECT_NE(dialog, nullptr) << "no active Find Sources dialog";
        return dialog;
    }

    // Searches again with the camera's log-in, and waits for the camera's profiles.
    bool searchWithLogin(const EditorSession& editor, HWND dialog)
    {
        if (!waitUntil([&] { return !searching(dialog); }, kSearchLimit))
            return false;
        typeInto(dialog, IDC_FIND_USER, user_);
        typeInto(dialog, IDC_FIND_PASSWORD, password_);
        clickWindow(GetDlgItem(dialog, IDC_FIND_SEARCH));
        editor.flushInput();
        return waitUntil([&] { return !searching(dialog) && rows(dialog) > 0; }, kSearchLimit);
    }

    std::wstring user_;
    std::wstring password_;
    std::wstring address_;  // of the camera behind a router
    COLORREF colour_ = 0;   // of its snapshot
};

TEST_F(FindSources, ListsTheCameraWithItsLoginAndUseForThisPresetFillsThePage)
{
    live_mode = true;  // the dialog is the editor's own: the editor stays open
    writeConfig(presets(20, 19));
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    const HWND dialog = openSearch(editor);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(windowText(dialog), L"Find Sources");
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), editor.window());
    ASSERT_TRUE(searchWithLogin(editor, dialog));

    SCOPED_TRACE(listing(dialog));
    EXPECT_EQ(cell(dialog, 0, 0), L"onvif");
    EXPECT_EQ(cell(dialog, 0, 1), L"Stage Left / Main");
    EXPECT_EQ(cell(dialog, 0, 3), L"10.1.0.9");
    EXPECT_EQ(cell(dialog, 0, 5), L"rtsp-tcp 10.1.0.9:8554 live/main");
    EXPECT_NE(windowText(GetDlgItem(dialog, IDC_FIND_DETAIL)).find(L"rewritten to 10.1.0.9"), std::wstring::npos);
    EXPECT_TRUE(enabledIn(dialog, IDC_FIND_USE));
    EXPECT_FALSE(enabledIn(dialog, IDC_FIND_ADD));  // the page holds 20 presets
    EXPECT_FALSE(editor.anyChanged());

    clickWindow(GetDlgItem(dialog, IDC_FIND_USE));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(dialog); }, kWaitLimit));
    EXPECT_FALSE(editor.ended());
    EXPECT_EQ(editor.protocolShown(), protocolIndexOfKeyword("rtsp-tcp"));
    EXPECT_EQ(editor.text(IDC_HOST), L"10.1.0.9");
    EXPECT_EQ(editor.text(IDC_PORT), L"8554");
    EXPECT_EQ(editor.text(IDC_STREAM_NAME), L"live/main");
    EXPECT_EQ(editor.focus(), editor.control(IDC_TEST_SOURCE));
    EXPECT_TRUE(editor.anyChanged());
}

// A second camera of one model, or the same one added again, gets a name of
// its own.
TEST_F(FindSources, AddAsNewPresetAddsTheSourceAsAPresetOfItsOwnName)
{
    StreamSettingsSet stored = presets(2);
    stored.at(1).setName("Stage Left / Main");
    writeConfig(stored);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    const HWND dialog = openSearch(editor);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(searchWithLogin(editor, dialog));
    clickWindow(GetDlgItem(dialog, IDC_FIND_ADD));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(dialog); }, kWaitLimit));

    EXPECT_EQ(editor.tabCount(), 3);
    EXPECT_EQ(editor.selectedTab(), 2);
    EXPECT_EQ(editor.tabTitle(2), L"Stage Left / Main (2)");
    EXPECT_EQ(editor.text(IDC_HOST), L"10.1.0.9");
    editor.pressSave();
    EXPECT_EQ(loadedConfig().at(0).name(), "Stream 1");
    EXPECT_EQ(loadedConfig().at(2).name(), "Stage Left / Main (2)");
    EXPECT_EQ(loadedConfig().at(2).streamName(), "live/main");
}

// Multicast does not cross the router: the camera is found by its address,
// and its snapshot tells it from the others.
TEST_F(FindSources, AddCameraFindsACameraByItsAddressWithItsSnapshotAndStopEndsAFetch)
{
    writeConfig(presets(1));
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    const HWND dialog = openSearch(editor);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(waitUntil([&] { return !searching(dialog); }, kSearchLimit));
    EXPECT_EQ(rowOf(dialog, L"Stage Left", address_), -1);
    typeInto(dialog, IDC_FIND_USER, user_);
    typeInto(dialog, IDC_FIND_PASSWORD, password_);
    const std::wstring withPassword = L"admin:Zq7@" + address_;
    typeInto(dialog, IDC_FIND_ADDRESS, withPassword);
    pressKey(VK_RETURN);  // in the address field: Add camera
    editor.flushInput();
    EXPECT_FALSE(searching(dialog));  // refused as a pasted URL would be
    eraseFromEnd(withPassword.size());
    typeText(address_);
    pressKey(VK_RETURN);
    editor.flushInput();
    ASSERT_TRUE(waitUntil([&] { return !searching(dialog) && rowOf(dialog, L"Stage Left / Main", address_) >= 0; },
                          kSearchLimit))
        << listing(dialog);

    SCOPED_TRACE(listing(dialog));
    const int main = rowOf(dialog, L"Stage Left / Main", address_);
    EXPECT_EQ(cell(dialog, main, 2), L"by address");
    EXPECT_EQ(cell(dialog, main, 5), L"rtsp-tcp " + address_ + L":8554 live/main");
    EXPECT_GE(rowOf(dialog, L"Stage Left", L"10.1.0.9"), 0);  // what the search found stays listed
    const HWND snapshot = GetDlgItem(dialog, IDC_FIND_SNAPSHOT);
    clickRow(dialog, main);
    ASSERT_TRUE(waitUntil([&] { return windowText(snapshot) == L"Snapshot of Stage Left / Main"; }, kWaitLimit))
        << windowText(snapshot);
    EXPECT_TRUE(waitUntil([&] { return nearColour(colourAtCentre(snapshot), colour_); }, milliseconds(2000)))
        << std::hex << colourAtCentre(snapshot);

    // A snapshot that never comes: Stop ends its fetch at once.
    clickRow(dialog, rowOf(dialog, L"Stage Left / Slow", address_));
    ASSERT_TRUE(waitUntil([&] { return windowText(snapshot) == L"fetching the snapshot\u2026" && searching(dialog); },
                          kWaitLimit));
    const auto start = std::chrono::steady_clock::now();
    clickWindow(GetDlgItem(dialog, IDC_FIND_STOP));
    ASSERT_TRUE(waitUntil([&] { return !searching(dialog); }, kSearchLimit));
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(1000));
    EXPECT_EQ(windowText(snapshot), L"no snapshot: stopped");

    // The camera by its address makes a preset as a found one does.
    clickRow(dialog, main);
    clickWindow(GetDlgItem(dialog, IDC_FIND_USE));
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(dialog); }, kWaitLimit));
    EXPECT_EQ(editor.text(IDC_HOST), address_);
    EXPECT_EQ(editor.text(IDC_STREAM_NAME), L"live/main");
}

TEST_F(FindSources, StopEndsASearchAtOnceAndClosingTheEditorEndsASearch)
{
    writeConfig(presets(1));
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    HWND dialog = openSearch(editor);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(searching(dialog));
    const auto start = std::chrono::steady_clock::now();
    clickWindow(GetDlgItem(dialog, IDC_FIND_STOP));
    ASSERT_TRUE(waitUntil([&] { return !searching(dialog); }, kSearchLimit));
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(1000));
    EXPECT_NE(windowText(GetDlgItem(dialog, IDC_FIND_NEWS)).find(L"found before the stop"), std::wstring::npos);
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(dialog); }, kWaitLimit));

    dialog = openSearch(editor);
    ASSERT_NE(dialog, nullptr);
    PostMessageW(editor.window(), WM_CLOSE, 0, 0);  // as the system closes it
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
