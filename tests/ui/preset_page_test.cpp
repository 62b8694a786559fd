// The preset page driven as a user drives it: clicks on the protocol list,
// the check boxes, the tabs and the buttons, and text typed into the fields.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <windows.h>
#include <commctrl.h>

#include "app/process_state.h"
#include "tests/ui/editor_session.h"
#include "ui/resource.h"

using namespace uitest;

namespace {

class PresetPage : public ::testing::Test {
protected:
    // Without config.dat the window shows the collection as the test leaves it.
    void SetUp() override
    {
        removeConfig();
        preset_collection = StreamSettingsSet(1);
        live_mode = false;
    }
    void TearDown() override { removeConfig(); }

    // The preset behind tab `index`, read on the window's thread.
    StreamSettings presetAt(const EditorSession& editor, int index)
    {
        StreamSettings preset;
        editor.onUi([&] { preset = preset_collection.at(index); });
        return preset;
    }

    // Puts `text` on the clipboard, as copying it from a camera's web page does.
    void copyToClipboard(const EditorSession& editor, const std::wstring& text)
    {
        bool copied = false;
        editor.onUi([&] {
            if (!OpenClipboard(editor.window()))
                return;
            EmptyClipboard();
            const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
            if (const HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
                std::memcpy(GlobalLock(data), text.c_str(), bytes);
                GlobalUnlock(data);
                copied = SetClipboardData(CF_UNICODETEXT, data) != nullptr;
            }
            CloseClipboard();
        });
        ASSERT_TRUE(copied);
    }

    // The text of the balloon shown on the page; "" when none shows.
    std::wstring balloonShown(const EditorSession& editor)
    {
        std::wstring shown;
        editor.onUi([&] {
            EnumThreadWindows(GetCurrentThreadId(), balloonText, reinterpret_cast<LPARAM>(&shown));
        });
        return shown;
    }

    static BOOL CALLBACK balloonText(HWND window, LPARAM shown)
    {
        if (className(window) != TOOLTIPS_CLASSW || !IsWindowVisible(window))
            return TRUE;
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        SendMessageW(window, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool));
        wchar_t text[512] = {};
        tool.lpszText = text;
        SendMessageW(window, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
        *reinterpret_cast<std::wstring*>(shown) = text;
        return FALSE;
    }

    void pasteWithKeys(const EditorSession& editor, int fieldId, std::initializer_list<WORD> keys)
    {
        editor.click(fieldId);
        pressKeys(keys);
        editor.flushInput();
    }

    void expectEndpointShown(const EditorSession& editor, int protocol, const std::wstring& host,
                             const std::wstring& port, const std::wstring& streamName)
    {
        EXPECT_EQ(editor.protocolShown(), protocol);
        EXPECT_EQ(editor.text(IDC_HOST), host);
        EXPECT_EQ(editor.text(IDC_PORT), port);
        EXPECT_EQ(editor.text(IDC_STREAM_NAME), streamName);
    }

    void expectTabs(const EditorSession& editor, const std::vector<std::wstring>& titles)
    {
        ASSERT_EQ(editor.tabCount(), static_cast<int>(titles.size()));
        for (size_t i = 0; i < titles.size(); ++i)
            EXPECT_EQ(editor.tabTitle(static_cast<int>(i)), titles[i]) << "tab " << i;
    }
};

struct EndpointView {
    int protocol;
    bool host, port, streamName;  // enabled
    std::wstring hostText, portText, streamNameText;
};

TEST_F(PresetPage, EndpointFieldsAndLabelsFollowTheChosenProtocol)
{
    const EndpointView views[] = {
        {1, false, true, false, L"", L"9710", L""},
        {2, true, true, false, L"239.192.10.40", L"2000", L""},
        {3, false, true, false, L"", L"9710", L""},
        {4, true, true, false, L"192.168.0.10", L"5000", L""},
        {5, true, true, true, L"192.168.0.10", L"554", L"stream1"},
        {6, true, true, true, L"192.168.0.10", L"554", L"stream1"},
        {7, true, true, true, L"192.168.0.10", L"554", L"stream1"},
        {8, false, true, false, L"", L"9710", L""},
        {9, true, true, false, L"239.192.10.40", L"5000", L""},
        {0, false, false, false, L"", L"", L""},
    };
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(editor.protocolShown(), 0);
    EXPECT_FALSE(editor.enabled(IDC_PORT));
    EXPECT_EQ(editor.text(IDC_PORT), L"");

    for (const EndpointView& view : views) {
        SCOPED_TRACE("protocol " + std::to_string(view.protocol));
        editor.chooseProtocol(view.protocol);
        EXPECT_EQ(editor.protocolShown(), view.protocol);
        EXPECT_EQ(editor.enabled(IDC_HOST), view.host);
        EXPECT_EQ(editor.enabled(IDC_HOST_LABEL), view.host);
        EXPECT_EQ(editor.enabled(IDC_PORT), view.port);
        EXPECT_EQ(editor.enabled(IDC_PORT_LABEL), view.port);
        EXPECT_EQ(editor.enabled(IDC_STREAM_NAME), view.streamName);
        EXPECT_EQ(editor.enabled(IDC_STREAM_NAME_LABEL), view.streamName);
        EXPECT_EQ(editor.text(IDC_HOST), view.hostText);
        EXPECT_EQ(editor.text(IDC_PORT), view.portText);
        EXPECT_EQ(editor.text(IDC_STREAM_NAME), view.streamNameText);
        EXPECT_EQ(presetAt(editor, 0).protocol(), view.protocol);
    }
    // The name, the list, sync, lip-sync and the buttons never change state.
    for (int alwaysOn : {IDC_PRESET_NAME, IDC_PROTOCOL, IDC_SYNC, IDC_LIP_SYNC, IDC_ADD_PRESET, IDC_REMOVE_PRESET})
        EXPECT_TRUE(editor.enabled(alwaysOn)) << alwaysOn;
}

TEST_F(PresetPage, ProtocolListHoldsTheTenProtocolsInIndexOrderAndShowsThemAllWhenOpen)
{
    const wchar_t* names[] = {
        L"Off", L"Transport Stream over UDP", L"Transport Stream over UDP Multicast",
        L"Transport Stream over TCP", L"Transport Stream over TCP Pull", L"RTSP over UDP",
        L"RTSP over UDP Multicast", L"RTSP over TCP", L"Corvane Streaming over UDP",
        L"Corvane Streaming over UDP Multicast",
    };
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    std::vector<std::wstring> listed;
    editor.onUi([&] {
        const HWND list = editor.control(IDC_PROTOCOL);
        const int count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            wchar_t text[64] = {};
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            listed.push_back(text);
        }
    });
    EXPECT_EQ(listed, std::vector<std::wstring>(std::begin(names), std::end(names)));

    // The template leaves room for barely one entry; the list opens to show all.
    editor.click(IDC_PROTOCOL);
    bool open = false;
    int shownEntries = 0;
    editor.onUi([&] {
        COMBOBOXINFO info = {};
        info.cbSize = sizeof(info);
        GetComboBoxInfo(editor.control(IDC_PROTOCOL), &info);
        RECT area = {};
        GetClientRect(info.hwndList, &area);
        open = IsWindowVisible(info.hwndList) != FALSE;
        shownEntries = area.bottom / static_cast<int>(SendMessageW(info.hwndList, LB_GETITEMHEIGHT, 0, 0));
    });
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(open);
    EXPECT_GE(shownEntries, 10);
}

TEST_F(PresetPage, SharedEndpointsKeepTheirValuesAcrossProtocolSwitches)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());

    editor.chooseProtocol(5);  // RTSP over UDP
    editor.replaceText(IDC_HOST, L"cam.example");
    editor.replaceText(IDC_PORT, L"8554");
    editor.replaceText(IDC_STREAM_NAME, L"live/main");
    editor.chooseProtocol(7);  // RTSP over TCP shares all three
    EXPECT_EQ(editor.text(IDC_HOST), L"cam.example");
    EXPECT_EQ(editor.text(IDC_PORT), L"8554");
    EXPECT_EQ(editor.text(IDC_STREAM_NAME), L"live/main");

    editor.chooseProtocol(2);  // TS over UDP multicast keeps its own
    EXPECT_EQ(editor.text(IDC_HOST), L"239.192.10.40");
    editor.replaceText(IDC_HOST, L"239.1.2.3");
    editor.chooseProtocol(4);
    EXPECT_EQ(editor.text(IDC_HOST), L"192.168.0.10");
    editor.chooseProtocol(2);
    EXPECT_EQ(editor.text(IDC_HOST), L"239.1.2.3");

    editor.chooseProtocol(1);  // TS over UDP and over TCP share the port
    editor.replaceText(IDC_PORT, L"6000");
    editor.chooseProtocol(3);
    EXPECT_EQ(editor.text(IDC_PORT), L"6000");
    editor.chooseProtocol(8);
    EXPECT_EQ(editor.text(IDC_PORT), L"9710");

    const StreamSettings preset = presetAt(editor, 0);
    EXPECT_EQ(preset.endpoint(6).host_, "cam.example");
    EXPECT_EQ(preset.endpoint(6).port_, 8554);
    EXPECT_EQ(preset.endpoint(2).host_, "239.1.2.3");
    EXPECT_EQ(preset.endpoint(1).port_, 6000);
}

TEST_F(PresetPage, SyncShowsAutomaticDelayAndGivesBackTheTypedDelay)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_JITTER_DELAY, L"300");

    editor.click(IDC_SYNC);
    EXPECT_TRUE(editor.checked(IDC_SYNC));
    EXPECT_TRUE(editor.checked(IDC_AUTO_JITTER));
    EXPECT_FALSE(editor.enabled(IDC_AUTO_JITTER));
    EXPECT_EQ(editor.text(IDC_JITTER_DELAY), L"auto");
    EXPECT_FALSE(editor.enabled(IDC_JITTER_DELAY));
    EXPECT_FALSE(editor.enabled(IDC_JITTER_DELAY_LABEL));

    editor.click(IDC_SYNC);
    EXPECT_FALSE(editor.checked(IDC_SYNC));
    EXPECT_FALSE(editor.checked(IDC_AUTO_JITTER));
    EXPECT_TRUE(editor.enabled(IDC_AUTO_JITTER));
    EXPECT_EQ(editor.text(IDC_JITTER_DELAY), L"300");
    EXPECT_TRUE(editor.enabled(IDC_JITTER_DELAY));
    EXPECT_TRUE(editor.enabled(IDC_JITTER_DELAY_LABEL));
    EXPECT_EQ(presetAt(editor, 0).jitterDelay(), 300);
}

TEST_F(PresetPage, AutomaticDelaySurvivesSyncAndHidesTheFixedDelay)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_JITTER_DELAY, L"250");

    editor.click(IDC_AUTO_JITTER);
    EXPECT_TRUE(editor.checked(IDC_AUTO_JITTER));
    EXPECT_TRUE(editor.enabled(IDC_AUTO_JITTER));
    EXPECT_EQ(editor.text(IDC_JITTER_DELAY), L"auto");
    EXPECT_FALSE(editor.enabled(IDC_JITTER_DELAY));

    editor.click(IDC_SYNC);
    editor.click(IDC_SYNC);
    EXPECT_TRUE(editor.checked(IDC_AUTO_JITTER));
    EXPECT_EQ(editor.text(IDC_JITTER_DELAY), L"auto");

    editor.click(IDC_AUTO_JITTER);
    EXPECT_FALSE(editor.checked(IDC_AUTO_JITTER));
    EXPECT_EQ(editor.text(IDC_JITTER_DELAY), L"250");
    EXPECT_TRUE(editor.enabled(IDC_JITTER_DELAY));
}

TEST_F(PresetPage, TypedValuesStayWithTheirPresetAcrossTabSwitches)
{
    preset_collection = presets(2);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());

    editor.replaceText(IDC_PRESET_NAME, L"North");
    editor.chooseProtocol(5);
    editor.replaceText(IDC_HOST, L"10.0.0.5");
    editor.replaceText(IDC_LIP_SYNC, L"-40");
    editor.replaceText(IDC_JITTER_DELAY, L"0100");  // octal

    editor.clickTab(1);
    EXPECT_EQ(editor.selectedTab(), 1);
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Stream 2");
    EXPECT_EQ(editor.protocolShown(), 0);
    EXPECT_EQ(editor.text(IDC_HOST), L"");
    EXPECT_EQ(editor.text(IDC_LIP_SYNC), L"0");

    editor.clickTab(0);
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"North");
    EXPECT_EQ(editor.protocolShown(), 5);
    EXPECT_EQ(editor.text(IDC_HOST), L"10.0.0.5");
    EXPECT_EQ(editor.text(IDC_LIP_SYNC), L"-40");
    EXPECT_EQ(editor.text(IDC_JITTER_DELAY), L"64");
    // A tab change does not rename the tab.
    expectTabs(editor, {L"Stream 1", L"Stream 2"});
    EXPECT_EQ(presetAt(editor, 0).name(), "North");
    EXPECT_EQ(presetAt(editor, 0).lipSync(), -40);
}

TEST_F(PresetPage, AddPresetAppendsANumberedTabAndKeepsTheSelection)
{
    preset_collection = presets(3, 1);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Renamed");

    editor.click(IDC_ADD_PRESET);
    expectTabs(editor, {L"Stream 1", L"Renamed", L"Stream 3", L"Stream 4"});
    EXPECT_EQ(editor.selectedTab(), 1);
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Renamed");
    EXPECT_TRUE(editor.anyChanged());
}

TEST_F(PresetPage, RemovePresetShowsTheFollowingOneAndAddPresetTakesAFreeName)
{
    preset_collection = presets(3, 1);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());

    editor.click(IDC_REMOVE_PRESET);
    expectTabs(editor, {L"Stream 1", L"Stream 3"});
    EXPECT_EQ(editor.selectedTab(), 1);
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Stream 3");

    editor.click(IDC_ADD_PRESET);
    expectTabs(editor, {L"Stream 1", L"Stream 3", L"Stream 4"});
}

TEST_F(PresetPage, RemovingTheLastTabSelectsTheNewLastTab)
{
    preset_collection = presets(3, 2);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    EXPECT_EQ(editor.selectedTab(), 2);

    editor.click(IDC_REMOVE_PRESET);
    expectTabs(editor, {L"Stream 1", L"Stream 2"});
    EXPECT_EQ(editor.selectedTab(), 1);
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Stream 2");
}

TEST_F(PresetPage, RemovingTheOnlyPresetLeavesAFreshStreamOne)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_PRESET_NAME, L"Doomed");
    editor.chooseProtocol(5);

    editor.click(IDC_REMOVE_PRESET);
    expectTabs(editor, {L"Stream 1"});
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Stream 1");
    EXPECT_EQ(editor.protocolShown(), 0);
    EXPECT_FALSE(editor.enabled(IDC_HOST));
    EXPECT_TRUE(editor.anyChanged());
}

TEST_F(PresetPage, AddPresetStopsAtTwentyAndTabsStillWorkWithScrollArrows)
{
    preset_collection = presets(19);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());

    editor.click(IDC_ADD_PRESET);
    editor.click(IDC_ADD_PRESET);
    ASSERT_EQ(editor.tabCount(), 20);
    EXPECT_EQ(editor.tabTitle(19), L"Stream 20");
    EXPECT_EQ(presetAt(editor, 19).name(), "Stream 20");

    // Twenty tabs do not fit in one row: the tab control now also holds its
    // scroll arrows beside the page, and the page must still take its edits.
    editor.replaceText(IDC_PRESET_NAME, L"First");
    editor.clickTab(1);
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Stream 2");
    EXPECT_EQ(presetAt(editor, 0).name(), "First");
}

TEST_F(PresetPage, FieldsTakeNoMoreThanTheirLimits)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.chooseProtocol(5);  // every endpoint field enabled

    editor.replaceText(IDC_PRESET_NAME, std::wstring(45, L'n'));
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), std::wstring(40, L'n'));
    editor.replaceText(IDC_HOST, std::wstring(130, L'h'));
    EXPECT_EQ(editor.text(IDC_HOST), std::wstring(128, L'h'));
    editor.replaceText(IDC_STREAM_NAME, std::wstring(255, L's'));
    EXPECT_EQ(editor.text(IDC_STREAM_NAME), std::wstring(250, L's'));
    editor.replaceText(IDC_PORT, L"1234567");
    EXPECT_EQ(editor.text(IDC_PORT), L"12345");
    editor.replaceText(IDC_JITTER_DELAY, L"123456");
    EXPECT_EQ(editor.text(IDC_JITTER_DELAY), L"1234");
    editor.replaceText(IDC_LIP_SYNC, L"-123456");
    EXPECT_EQ(editor.text(IDC_LIP_SYNC), L"-1234");

    // Port and delay take digits only; lip-sync takes a sign and any text.
    editor.replaceText(IDC_PORT, L"8a0-");
    EXPECT_EQ(editor.text(IDC_PORT), L"80");
    editor.replaceText(IDC_JITTER_DELAY, L"x5");
    EXPECT_EQ(editor.text(IDC_JITTER_DELAY), L"5");
    editor.replaceText(IDC_LIP_SYNC, L"abc");
    EXPECT_EQ(editor.text(IDC_LIP_SYNC), L"abc");
}

TEST_F(PresetPage, KeyboardReachesThePageAndActsOnTheFocusedList)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.click(IDC_PRESET_NAME);
    pressKey(VK_TAB);
    editor.flushInput();
    EXPECT_EQ(editor.focus(), editor.control(IDC_ADD_PRESET));

    // Typed text reaches the preset when the list takes the focus, and the
    // arrow keys then change the protocol without opening the list.
    editor.replaceText(IDC_PRESET_NAME, L"Keyboard");
    editor.click(IDC_PROTOCOL);
    pressKey(VK_ESCAPE);  // closes the list again
    pressKey(VK_DOWN);
    editor.flushInput();
    EXPECT_EQ(editor.protocolShown(), 1);
    EXPECT_TRUE(editor.enabled(IDC_PORT));
    EXPECT_EQ(presetAt(editor, 0).name(), "Keyboard");
    EXPECT_EQ(presetAt(editor, 0).protocol(), 1);
    EXPECT_FALSE(editor.ended());
}

TEST_F(PresetPage, PastedStreamUrlFillsTheFieldsKeepsWhatWasTypedAndIsSaved)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.chooseProtocol(2);
    editor.replaceText(IDC_PRESET_NAME, L"Gate");
    editor.replaceText(IDC_JITTER_DELAY, L"300");

    // Copied from a web page: a no-break space before, a zero-width one after.
    copyToClipboard(editor, L"\u00A0rtsp://127.0.0.1:8554/cam\u200B\r\n");
    pasteWithKeys(editor, IDC_HOST, {VK_CONTROL, 'V'});
    expectEndpointShown(editor, 7, L"127.0.0.1", L"8554", L"cam");
    EXPECT_TRUE(editor.enabled(IDC_STREAM_NAME));
    EXPECT_EQ(editor.text(IDC_PRESET_NAME), L"Gate");
    EXPECT_EQ(editor.text(IDC_JITTER_DELAY), L"300");
    EXPECT_TRUE(editor.anyChanged());

    // A preset on RTSP keeps its transport; the context menu's Paste takes URLs too.
    editor.chooseProtocol(5);
    copyToClipboard(editor, L"rtsp://10.0.0.5/main");
    rightClickWindow(editor.control(IDC_STREAM_NAME));
    editor.flushInput();
    pressKey('P');
    editor.flushInput();
    expectEndpointShown(editor, 5, L"10.0.0.5", L"554", L"main");

    // Multicast has no stream name: the field pasted into is disabled, and
    // the keyboard goes on in the port field.
    copyToClipboard(editor, L"udp://@239.1.1.1:1234");
    pasteWithKeys(editor, IDC_STREAM_NAME, {VK_SHIFT, VK_INSERT});
    expectEndpointShown(editor, 2, L"239.1.1.1", L"1234", L"");
    EXPECT_FALSE(editor.enabled(IDC_STREAM_NAME));
    EXPECT_EQ(editor.focus(), editor.control(IDC_PORT));

    editor.pressSave();
    const StreamSettings saved = loadedConfig().at(0);
    EXPECT_EQ(saved.name(), "Gate");
    EXPECT_EQ(saved.jitterDelay(), 300);
    EXPECT_EQ(saved.protocol(), 2);
    EXPECT_EQ(saved.endpoint(2).host_, "239.1.1.1");
    EXPECT_EQ(saved.endpoint(2).port_, 1234);
    EXPECT_EQ(saved.endpoint(7).host_, "10.0.0.5");
    EXPECT_EQ(saved.endpoint(7).port_, 554);
    EXPECT_EQ(saved.endpoint(7).streamName_, "main");
}

TEST_F(PresetPage, UrlThatNoPresetCanHoldPastesNothingAndPlainTextPastesAsText)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.chooseProtocol(7);
    editor.replaceText(IDC_HOST, L"cam.local");

    // A password with a "/" of its own, as camera pages print it.
    copyToClipboard(editor, L"rtsp://admin:Zq7/Xk9@10.0.0.5/main");
    pasteWithKeys(editor, IDC_HOST, {VK_CONTROL, 'V'});
    expectEndpointShown(editor, 7, L"cam.local", L"554", L"stream1");
    EXPECT_EQ(presetAt(editor, 0).host(), "192.168.0.10") << "nothing committed";
    const std::wstring balloon = balloonShown(editor);
    EXPECT_THAT(balloon, testing::HasSubstr(L"no place for a user name and password"));
    EXPECT_THAT(balloon, testing::Not(testing::HasSubstr(L"Zq7")));
    EXPECT_THAT(balloon, testing::Not(testing::HasSubstr(L"Xk9")));
    pressKey(VK_END);
    editor.flushInput();
    EXPECT_EQ(balloonShown(editor), L"");

    copyToClipboard(editor, L"live/main");
    editor.replaceText(IDC_STREAM_NAME, L"");
    pressKeys({VK_CONTROL, 'V'});
    editor.flushInput();
    expectEndpointShown(editor, 7, L"cam.local", L"554", L"live/main");
}

// What a web page adds around a host or stream name cannot be seen, and the
// camera would take it as part of the name.
TEST_F(PresetPage, TypedHostAndStreamNameLoseInvisibleEdgesAndAnInvisibleHostCharacterIsRefused)
{
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.chooseProtocol(7);
    editor.replaceText(IDC_HOST, L"\u00A0cam.local\u200B");
    editor.replaceText(IDC_STREAM_NAME, L"live/main\u3000");
    editor.pressSave();
    EXPECT_EQ(loadedConfig().at(0).endpoint(7).host_, "cam.local");
    EXPECT_EQ(loadedConfig().at(0).endpoint(7).streamName_, "live/main");

    // Refused with the character named; the field keeps the text for the
    // user to correct, and nothing is saved without it.
    editor.replaceText(IDC_HOST, L"cam\u200B.local");
    editor.replaceText(IDC_PRESET_NAME, L"Renamed");
    editor.pressSave();
    EXPECT_THAT(balloonShown(editor), testing::HasSubstr(L"The host holds an invisible character (U+200B)"));
    EXPECT_EQ(editor.text(IDC_HOST), L"cam\u200B.local");
    EXPECT_EQ(presetAt(editor, 0).host(), "cam.local");
    EXPECT_EQ(loadedConfig().at(0).name(), "Stream 1");
}

}  // namespace
