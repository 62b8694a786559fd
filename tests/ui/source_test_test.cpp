// The Test Source button of the preset page and its dialog, driven as a user
// drives them, against sources on 127.0.0.1 that source_peers.py starts:
// GStreamer's RTSP server offering TCP only, and a server that never answers.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "app/process_state.h"
#include "tests/ui/editor_session.h"
#include "ui/resource.h"

using namespace uitest;
using ::testing::HasSubstr;

namespace {

// The probe gives up after 3 s; the dialog shows its findings soon after.
constexpr milliseconds kTestLimit{10000};

int portFromEnvironment(const wchar_t* name)
{
    wchar_t text[16] = {};
    GetEnvironmentVariableW(name, text, 16);
    return _wtoi(text);
}

StreamSettings rtspPreset(const char* name, int protocol, int port)
{
    StreamSettings preset;
    preset.setName(name);
    preset.selectProtocol(protocol);
    preset.setHost("127.0.0.1");
    preset.setPort(port);
    preset.setStreamName("live");
    return preset;
}

std::wstring shownText(HWND dialog, int id)
{
    return windowText(GetDlgItem(dialog, id));
}

bool shown(HWND dialog, int id)
{
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

bool finished(HWND dialog)
{
    return !shownText(dialog, IDC_TEST_FINDINGS).empty();
}

// The dialog moves, and paints what became invalid, without waiting for the probe.
void expectRepaintsAndMoves(HWND dialog)
{
    RECT frame = {};
    GetWindowRect(dialog, &frame);
    const auto start = std::chrono::steady_clock::now();
    SetWindowPos(dialog, nullptr, frame.left + 4, frame.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(dialog, nullptr, TRUE);
    EXPECT_TRUE(waitUntil([&] { return !GetUpdateRect(dialog, nullptr, FALSE); }, milliseconds(500)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(500));
    RECT moved = {};
    GetWindowRect(dialog, &moved);
    EXPECT_EQ(moved.left, frame.left + 4);
}

class SourceTest : public EditorTest {
protected:
    void SetUp() override
    {
        rtspPort_ = portFromEnvironment(L"RIVERRA_TEST_RTSP_PORT");
        silentPort_ = portFromEnvironment(L"RIVERRA_TEST_SILENT_PORT");
        if (rtspPort_ == 0 || silentPort_ == 0)
            GTEST_SKIP() << "run through source_peers.py, which starts the sources";
        EditorTest::SetUp();
    }

    // Presses Test Source and waits for its dialog.
    HWND openTest(const EditorSession& editor)
    {
        const HWND dialog = editor.openDialog(IDC_TEST_SOURCE);
        EXPECT_NE(dialog, nullptr) << "no active Test Source dialog";
        return dialog;
    }

    int rtspPort_ = 0;
    int silentPort_ = 0;
};

TEST_F(SourceTest, RecommendedTransportIsOfferedAppliedAsAnEditAndSaved)
{
    StreamSettingsSet stored(1);
    stored.at(0) = rtspPreset("Gate", 5, rtspPort_);  // RTSP over UDP, which the server refuses
    writeConfig(stored);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    editor.replaceText(IDC_STREAM_NAME, L"live");  // an unsaved edit is what is tested
    const HWND dialog = openTest(editor);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(windowText(dialog), L"Test Source \u2014 Gate");
    EXPECT_EQ(GetWindow(dialog, GW_OWNER), editor.window());
    EXPECT_EQ(shownText(dialog, IDC_TEST_TARGET), L"rtsp://127.0.0.1:" + std::to_wstring(rtspPort_) + L"/live");
    EXPECT_TRUE(shown(dialog, IDC_TEST_PROGRESS));
    expectRepaintsAndMoves(dialog);

    ASSERT_TRUE(waitUntil([&] { return finished(dialog); }, kTestLimit));
    EXPECT_FALSE(shown(dialog, IDC_TEST_PROGRESS));
    EXPECT_EQ(shownText(dialog, IDC_TEST_NEWS), L"FAILED");
    const std::wstring findings = shownText(dialog, IDC_TEST_FINDINGS);
    EXPECT_THAT(findings, HasSubstr(L"RTSP over TCP delivers: choose RTSP over TCP"));
    EXPECT_THAT(findings, HasSubstr(L"Transports that delivered: RTSP over TCP ("));
    EXPECT_THAT(findings, HasSubstr(L"video H264"));
    EXPECT_FALSE(editor.anyChanged());

    ASSERT_TRUE(shown(dialog, IDC_USE_PROTOCOL));
    EXPECT_EQ(shownText(dialog, IDC_USE_PROTOCOL), L"Use RTSP over TCP");
    clickWindow(GetDlgItem(dialog, IDC_USE_PROTOCOL));
    editor.flushInput();
    EXPECT_FALSE(shown(dialog, IDC_USE_PROTOCOL));  // applied: nothing left to offer
    EXPECT_EQ(editor.protocolShown(), 7);
    EXPECT_TRUE(editor.anyChanged());
    EXPECT_TRUE(editor.answerDialog(IDCLOSE));

    editor.pressSave();
    EXPECT_EQ(loadedConfig().at(0).protocolKeyword(), "rtsp-tcp");
    EXPECT_EQ(loadedConfig().at(0).endpoint(7).port_, rtspPort_);
}

TEST_F(SourceTest, StopEndsATestAtOnceAndInLiveModeTheEditorStaysOpen)
{
    live_mode = true;
    StreamSettingsSet stored(1);
    stored.at(0) = rtspPreset("Mute", 7, silentPort_);
    writeConfig(stored);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    const HWND dialog = openTest(editor);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(editor.ended());  // the dialog is the editor's own
    ASSERT_TRUE(waitUntil([&] { return !shownText(dialog, IDC_TEST_NEWS).empty(); }, kWaitLimit));

    const auto start = std::chrono::steady_clock::now();
    clickWindow(GetDlgItem(dialog, IDC_TEST_STOP));
    ASSERT_TRUE(waitUntil([&] { return finished(dialog); }, kTestLimit));
    EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(500));
    EXPECT_EQ(shownText(dialog, IDC_TEST_NEWS), L"STOPPED");
    EXPECT_EQ(shownText(dialog, IDC_TEST_FINDINGS), L"stopped before the test was done");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_TEST_STOP)));

    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(dialog); }, kWaitLimit));
    EXPECT_TRUE(waitUntil([&] { return GetForegroundWindow() == editor.window(); }, kWaitLimit));
    EXPECT_FALSE(editor.ended());
}

// How many TEARDOWNs the RTSP server received, as its log says.
int teardownsAtTheServer()
{
    char path[MAX_PATH] = {};
    GetEnvironmentVariableA("RIVERRA_TEST_RTSP_LOG", path, MAX_PATH);
    std::ifstream log(std::string("Z:") + path);  // the Unix root is drive Z:
    int count = 0;
    for (std::string line; std::getline(log, line);)
        count += line == "teardown" ? 1 : 0;
    return count;
}

TEST_F(SourceTest, StopWhileTheStreamArrivesLeavesNoSessionOpenAtTheServer)
{
    StreamSettingsSet stored(1);
    stored.at(0) = rtspPreset("Stage", 7, rtspPort_);  // RTSP over TCP, which the server offers
    writeConfig(stored);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    const int before = teardownsAtTheServer();
    const HWND dialog = openTest(editor);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(waitUntil([&] { return shownText(dialog, IDC_TEST_NEWS).find(L"receiving") == 0; }, kTestLimit));
    clickWindow(GetDlgItem(dialog, IDC_TEST_STOP));
    ASSERT_TRUE(waitUntil([&] { return finished(dialog); }, kTestLimit));
    EXPECT_EQ(shownText(dialog, IDC_TEST_NEWS), L"STOPPED");
    EXPECT_TRUE(waitUntil([&] { return teardownsAtTheServer() > before; }, milliseconds(2000)));
    pressKey(VK_ESCAPE);
    EXPECT_TRUE(waitUntil([&] { return !IsWindow(dialog); }, kWaitLimit));
}

TEST_F(SourceTest, InLiveModeTurningToAnotherProgramDuringATestClosesTheEditor)
{
    live_mode = true;
    StreamSettingsSet stored(1);
    stored.at(0) = rtspPreset("Mute", 7, silentPort_);
    writeConfig(stored);
    OtherWindow other({10, 10, 210, 160});
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    const HWND dialog = openTest(editor);
    ASSERT_NE(dialog, nullptr);
    // Under Xvfb a click now and then leaves the activation where it was
    // (the dialog sees no WM_ACTIVATE at all); a user would click again. A
    // click that did move the activation is not repeated by a second one.
    bool ended = false;
    for (int click = 0; click < 3 && !ended; ++click) {
        clickWindow(other.window());
        ended = editor.waitForEnd(std::chrono::milliseconds(1500));
    }
    EXPECT_TRUE(ended);
}

TEST_F(SourceTest, OffersNoTestWhenOffAndClosingTheEditorDuringATestEndsBoth)
{
    StreamSettingsSet stored(2);
    stored.at(1) = rtspPreset("Mute", 7, silentPort_);
    writeConfig(stored);
    EditorSession editor;
    ASSERT_TRUE(editor.opened());
    EXPECT_FALSE(editor.enabled(IDC_TEST_SOURCE));
    editor.clickTab(1);
    EXPECT_TRUE(editor.enabled(IDC_TEST_SOURCE));

    const HWND dialog = openTest(editor);
    ASSERT_NE(dialog, nullptr);
    PostMessageW(editor.window(), WM_CLOSE, 0, 0);  // as the system closes it
    EXPECT_TRUE(editor.waitForEnd());
    EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
