// Load and save of config.dat beside the running program, as the main window
// calls them.
#include "persist/configuration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/host_link.h"
#include "app/process_state.h"
#include "persist/config_file.h"
#include "tests/config/config_test_support.h"

namespace {

using testing::ElementsAre;
using testing::IsEmpty;

// Records which sources the renderer notification registers.
class RecordingDetector : public VideoStreamDetector {
public:
    int reset_vendor(const wchar_t*) override
    {
        calls.push_back(L"reset");
        return 0;
    }
    int unused_slot() override { return 0; }
    int set_renderer_path(const wchar_t*, const wchar_t*) override { return 0; }
    int add_source(const wchar_t*, const wchar_t* sourceName, int32_t) override
    {
        calls.push_back(sourceName);
        return 0;
    }

    std::vector<std::wstring> calls;
};

// What the one message box shown meanwhile said, after pressing its OK button.
struct MessageBoxSeen {
    std::wstring text;
    std::wstring caption;
    HWND owner = nullptr;
    bool topmost = false;
};

class MessageBoxWatcher {
public:
    MessageBoxWatcher() : thread_([this] { watch(); }) {}
    ~MessageBoxWatcher() { finish(); }
    MessageBoxWatcher(const MessageBoxWatcher&) = delete;
    MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

    // Stops watching; the boxes seen so far.
    std::vector<MessageBoxSeen> finish()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        return seen_;
    }

private:
    void watch()
    {
        while (!stop_) {
            HWND box = nullptr;
            EnumThreadWindows(mainThread_, &findDialog, reinterpret_cast<LPARAM>(&box));
            if (box != nullptr) {
                seen_.push_back(describe(box));
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                Sleep(200);
            }
            Sleep(20);
        }
    }

    static BOOL CALLBACK findDialog(HWND window, LPARAM found)
    {
        wchar_t className[16] = {};
        GetClassNameW(window, className, 16);
        if (std::wstring(className) != L"#32770" || !IsWindowVisible(window))
            return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }

    static MessageBoxSeen describe(HWND box)
    {
        wchar_t text[256] = {};
        wchar_t caption[256] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 256);
        GetWindowTextW(box, caption, 256);
        const bool topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        return {text, caption, GetWindow(box, GW_OWNER), topmost};
    }

    DWORD mainThread_ = GetCurrentThreadId();
    std::atomic<bool> stop_{false};
    std::vector<MessageBoxSeen> seen_;
    std::thread thread_;
};

std::filesystem::path programDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(path).parent_path();
}

class ConfigurationDrivers : public testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::remove_all(configPath_);
        preset_collection = StreamSettingsSet(1);
        stream_detector = &detector_;
    }
    void TearDown() override
    {
        stream_detector = nullptr;
        std::error_code ignored;
        std::filesystem::remove_all(configPath_, ignored);
    }

    const std::filesystem::path configPath_ = programDirectory() / "config.dat";
    RecordingDetector detector_;
};

TEST_F(ConfigurationDrivers, LoadWithoutAFileKeepsTheDefaultPresetAndStillNotifies)
{
    EXPECT_FALSE(loadConfiguration());
    EXPECT_EQ(preset_collection.count(), 1);
    EXPECT_EQ(preset_collection.at(0).name(), "Stream 1");
    EXPECT_THAT(detector_.calls, ElementsAre(L"reset", L"Corvane Streams...", L"Stream 1"));
}

TEST_F(ConfigurationDrivers, SaveValidatesWritesClearsTheFlagsAndNotifies)
{
    fillSample(preset_collection);
    preset_collection.at(0).setPort(70000);
    preset_collection.addPreset();
    ASSERT_TRUE(preset_collection.anyChanged());

    EXPECT_TRUE(saveConfiguration(nullptr));
    EXPECT_FALSE(preset_collection.anyChanged());
    EXPECT_EQ(preset_collection.at(0).endpoint(7).port_, 65535);
    EXPECT_THAT(detector_.calls,
                ElementsAre(L"reset", L"Corvane Streams...", L"Studio A", L"Caf\u00E9 \u00ABnord\u00BB", L"", L"Stream 4"));

    std::vector<uint8_t> expected;
    ASSERT_TRUE(writeConfigBytes(preset_collection, expected));
    EXPECT_EQ(fileBytes(configPath_), expected);
}

TEST_F(ConfigurationDrivers, LoadReplacesThePresetsAndClearsTheFlags)
{
    StreamSettingsSet stored(1);
    fillSample(stored);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(writeConfigBytes(stored, bytes));
    storeBytes(configPath_, bytes);

    EXPECT_TRUE(loadConfiguration());
    EXPECT_EQ(describePresets(preset_collection), describePresets(stored));
    EXPECT_FALSE(preset_collection.anyChanged());
    EXPECT_EQ(detector_.calls.size(), 5u);
}

TEST_F(ConfigurationDrivers, FailedSaveShowsTheErrorKeepsTheFlagsAndDoesNotNotify)
{
    // A directory where config.dat belongs cannot be replaced by a file.
    std::filesystem::create_directory(configPath_);
    HWND owner = CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                                 nullptr);
    preset_collection.at(0).setName("unsaved");

    MessageBoxWatcher watcher;
    EXPECT_FALSE(saveConfiguration(owner));
    const std::vector<MessageBoxSeen> seen = watcher.finish();
    DestroyWindow(owner);

    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"Error saving configuraion");
    EXPECT_EQ(seen[0].caption, L"");
    EXPECT_EQ(seen[0].owner, owner);
    EXPECT_TRUE(seen[0].topmost);
    EXPECT_TRUE(preset_collection.anyChanged());
    EXPECT_THAT(detector_.calls, IsEmpty());
    EXPECT_TRUE(std::filesystem::is_directory(configPath_));
}

}  // namespace
