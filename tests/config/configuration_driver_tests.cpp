// Load and save of config.dat beside the running program, as the main window
// calls them.
#include "app/configuration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
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
using testing::EndsWith;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::StartsWith;

const wchar_t kSaveFailedLine[] = L"Error saving configuraion\n";

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

// Boxes with Yes and No get `answer`; the others are dismissed with OK.
class MessageBoxWatcher {
public:
    explicit MessageBoxWatcher(int answer = IDNO) : answer_(answer), thread_([this] { watch(); }) {}
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
                PostMessageW(box, WM_COMMAND, GetDlgItem(box, IDYES) != nullptr ? answer_ : IDOK, 0);
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
        wchar_t text[1024] = {};
        wchar_t caption[256] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        GetWindowTextW(box, caption, 256);
        const bool topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
        return {text, caption, GetWindow(box, GW_OWNER), topmost};
    }

    DWORD mainThread_ = GetCurrentThreadId();
    int answer_;
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

// Another program that holds a file open for a while (config_file_holder.exe
// beside the tests), holding it once constructed.
class FileHolder {
public:
    FileHolder(const std::filesystem::path& file, const std::wstring& sharing, int milliseconds)
    {
        const std::wstring eventName = L"riverra-holder-" + std::to_wstring(GetCurrentProcessId());
        const HANDLE holding = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
        std::wstring commandLine = L"\"" + (programDirectory() / L"config_file_holder.exe").native() + L"\" \"" +
                                   file.native() + L"\" " + sharing + L" " + std::to_wstring(milliseconds) + L" " +
                                   eventName;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started = {};
        if (holding != nullptr && CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                                 nullptr, nullptr, &startup, &started)) {
            CloseHandle(started.hThread);
            process_ = started.hProcess;
            const HANDLE either[] = {holding, process_};
            holding_ = WaitForMultipleObjects(2, either, FALSE, 10000) == WAIT_OBJECT_0;
        }
        if (holding != nullptr)
            CloseHandle(holding);
    }
    ~FileHolder()
    {
        if (process_ == nullptr)
            return;
        if (!released())
            TerminateProcess(process_, 1);
        CloseHandle(process_);
    }
    FileHolder(const FileHolder&) = delete;
    FileHolder& operator=(const FileHolder&) = delete;

    bool holding() const { return holding_; }
    // The holder's exit code, or STILL_ACTIVE: tells why it did not hold the file.
    DWORD exitCode() const
    {
        DWORD code = 0;
        return process_ != nullptr && GetExitCodeProcess(process_, &code) ? code : 0;
    }
    // Waits until the holder has let go of the file and ended.
    bool released() const
    {
        DWORD exitCode = 1;
        return WaitForSingleObject(process_, 10000) == WAIT_OBJECT_0 && GetExitCodeProcess(process_, &exitCode) &&
               exitCode == 0;
    }

private:
    HANDLE process_ = nullptr;
    bool holding_ = false;
};

// What one Save met while another program held config.dat.
struct HeldSave {
    bool saved = false;
    std::vector<MessageBoxSeen> boxes;
    long long milliseconds = 0;
};

class ConfigurationDrivers : public testing::Test {
protected:
    void SetUp() override
    {
        removeFiles();
        // Forgets any damaged file an earlier case loaded.
        stream_detector = nullptr;
        loadConfiguration(nullptr);
        preset_collection = StreamSettingsSet(1);
        stream_detector = &detector_;
    }
    void TearDown() override
    {
        stream_detector = nullptr;
        removeFiles();
    }

    std::filesystem::path besideConfig(const char* suffix) const
    {
        return configPath_.native() + std::filesystem::path(suffix).native();
    }

    // Stores a config.dat, changes a preset and saves while another program
    // holds the file with `sharing` for `holdMilliseconds`; returns once that
    // program has let go.
    HeldSave saveWhileHeld(const std::wstring& sharing, int holdMilliseconds)
    {
        loadStored(2);
        fillSample(preset_collection);
        preset_collection.at(1).setName("changed");
        return saveHeldBy(sharing, holdMilliseconds);
    }

    // Saves the presets while another program holds config.dat with
    // `sharing` for `holdMilliseconds`; returns once that program has let go.
    // A question is answered with No.
    HeldSave saveHeldBy(const std::wstring& sharing, int holdMilliseconds)
    {
        HeldSave save;
        FileHolder holder(configPath_, sharing, holdMilliseconds);
        EXPECT_TRUE(holder.holding()) << "the holder ended with " << holder.exitCode();
        MessageBoxWatcher watcher;
        const auto start = std::chrono::steady_clock::now();
        save.saved = saveConfiguration(nullptr);
        save.milliseconds =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        save.boxes = watcher.finish();
        EXPECT_TRUE(holder.released());
        RecordProperty("save_ms", std::to_string(save.milliseconds));
        return save;
    }

    // config.dat with `count` default presets (kept in oldBytes_), loaded as
    // the editor loads it when it opens.
    void loadStored(int count)
    {
        StreamSettingsSet stored(count);
        ASSERT_TRUE(writeConfigBytes(stored, oldBytes_));
        storeBytes(configPath_, oldBytes_);
        ASSERT_TRUE(loadConfiguration(nullptr));
    }

    // config.dat holds the presets, nothing else was left beside it.
    void expectSavedCompletely()
    {
        std::vector<uint8_t> expected;
        EXPECT_TRUE(writeConfigBytes(preset_collection, expected));
        EXPECT_EQ(fileBytes(configPath_), expected);
        EXPECT_FALSE(preset_collection.anyChanged());
        EXPECT_THAT(temporaryFiles(), IsEmpty());
    }

    // The temporary files of saves left beside config.dat.
    std::vector<std::filesystem::path> temporaryFiles() const
    {
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(programDirectory())) {
            const std::wstring name = entry.path().filename().native();
            if (name.rfind(L"config.dat.", 0) == 0 && entry.path().extension() == L".tmp")
                found.push_back(entry.path());
        }
        return found;
    }

    const std::filesystem::path configPath_ = programDirectory() / "config.dat";
    RecordingDetector detector_;
    std::vector<uint8_t> oldBytes_;

private:
    void removeFiles()
    {
        std::error_code ignored;
        std::filesystem::permissions(configPath_, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ignored);
        for (const char* suffix : {"", ".damaged", ".damaged.1", ".damaged.2", ".replaced"})
            std::filesystem::remove_all(besideConfig(suffix), ignored);
        for (const std::filesystem::path& temporary : temporaryFiles())
            std::filesystem::remove(temporary, ignored);
    }
};

TEST_F(ConfigurationDrivers, LoadWithoutAFileKeepsTheDefaultPresetAndStillNotifies)
{
    MessageBoxWatcher watcher;
    EXPECT_FALSE(loadConfiguration(nullptr));
    EXPECT_THAT(watcher.finish(), IsEmpty());  // a first start is no problem to tell
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

    EXPECT_TRUE(loadConfiguration(nullptr));
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
    EXPECT_EQ(seen[0].text, kSaveFailedLine + (L"config.dat could not be written: " + configPath_.native()));
    EXPECT_EQ(seen[0].caption, L"");
    EXPECT_EQ(seen[0].owner, owner);
    EXPECT_TRUE(seen[0].topmost);
    EXPECT_TRUE(preset_collection.anyChanged());
    EXPECT_THAT(detector_.calls, IsEmpty());
    EXPECT_TRUE(std::filesystem::is_directory(configPath_));
}

// Held open like the C runtime holds a file: the replace is refused for
// good, so the save writes into the file itself.
TEST_F(ConfigurationDrivers, SaveWhileTheFileIsHeldWithWriteSharingWritesIntoIt)
{
    const HeldSave save = saveWhileHeld(L"read-write", 3000);
    EXPECT_TRUE(save.saved);
    EXPECT_THAT(save.boxes, IsEmpty());
    expectSavedCompletely();
}

TEST_F(ConfigurationDrivers, SaveWhileTheFileIsHeldWithoutWriteSharingFailsAndKeepsTheFile)
{
    const HeldSave save = saveWhileHeld(L"read", 3500);
    EXPECT_FALSE(save.saved);
    ASSERT_EQ(save.boxes.size(), 1u);
    EXPECT_THAT(save.boxes[0].text, StartsWith(kSaveFailedLine + std::wstring(L"config.dat is in use by ")));
    EXPECT_THAT(save.boxes[0].text, HasSubstr(configPath_.native()));
    RecordProperty("holder_box", std::string(save.boxes[0].text.begin(), save.boxes[0].text.end()));
    EXPECT_TRUE(preset_collection.anyChanged());
    EXPECT_EQ(fileBytes(configPath_), oldBytes_);
    EXPECT_THAT(temporaryFiles(), IsEmpty());
}

TEST_F(ConfigurationDrivers, SaveWaitsForAHolderThatLetsGoSoon)
{
    const HeldSave save = saveWhileHeld(L"read", 500);
    EXPECT_TRUE(save.saved);
    EXPECT_THAT(save.boxes, IsEmpty());
    EXPECT_LT(save.milliseconds, 2000);
    expectSavedCompletely();
}

// Another program saves and holds config.dat, refusing reads, while the
// editor saves: the editor waits to read it, and never replaces it unseen.
TEST_F(ConfigurationDrivers, FileHeldAgainstReadingIsReadOnceLetGoOrNotReplaced)
{
    loadStored(2);
    preset_collection.at(1).setName("changed here");
    StreamSettingsSet imported(1);
    fillSample(imported);
    std::vector<uint8_t> importedBytes;
    ASSERT_TRUE(writeConfigBytes(imported, importedBytes));
    storeBytes(configPath_, importedBytes);
    const HeldSave shortHold = saveHeldBy(L"none", 1000);
    EXPECT_FALSE(shortHold.saved);
    ASSERT_EQ(shortHold.boxes.size(), 1u);
    EXPECT_THAT(shortHold.boxes[0].text, StartsWith(L"config.dat was changed by another program since it was opened."));
    EXPECT_EQ(fileBytes(configPath_), importedBytes);

    // Held for longer than a save waits.
    const HeldSave longHold = saveHeldBy(L"none", 3500);
    EXPECT_FALSE(longHold.saved);
    ASSERT_EQ(longHold.boxes.size(), 1u);
    EXPECT_THAT(longHold.boxes[0].text,
                StartsWith(kSaveFailedLine + std::wstring(L"config.dat cannot be read to tell whether another program "
                                                          L"changed it (it is in use by ")));
    EXPECT_EQ(fileBytes(configPath_), importedBytes);
    EXPECT_FALSE(std::filesystem::exists(besideConfig(".replaced")));
    EXPECT_TRUE(preset_collection.anyChanged());
}

// What the editor's own write left when it broke off is no other program's
// change: the next Save goes ahead without asking.
TEST_F(ConfigurationDrivers, OwnBrokenOffWriteIsNoOtherProgramsChange)
{
    loadStored(4);  // longer than what is saved: the write into the file ends with cutting it
    preset_collection.resize(1);
    const HeldSave broken = saveHeldBy(L"mapped", 3000);
    EXPECT_FALSE(broken.saved);
    ASSERT_EQ(broken.boxes.size(), 1u);
    EXPECT_THAT(broken.boxes[0].text, StartsWith(kSaveFailedLine + std::wstring(L"Writing into config.dat broke off")));

    MessageBoxWatcher noQuestion;
    EXPECT_TRUE(saveConfiguration(nullptr));
    EXPECT_THAT(noQuestion.finish(), IsEmpty());
    expectSavedCompletely();
}

// A stray file whose name only looks like a save's temporary file, with a
// process number no system gives, beside config.dat at start and at a save.
TEST_F(ConfigurationDrivers, StrayTemporaryNameIsIgnored)
{
    const std::filesystem::path stray = besideConfig(".4294967296-1.tmp");
    storeBytes(stray, {1, 2, 3});
    MessageBoxWatcher watcher;
    loadStored(2);
    preset_collection.at(0).setName("changed");
    detector_.calls.clear();
    EXPECT_TRUE(saveConfiguration(nullptr));
    EXPECT_THAT(watcher.finish(), IsEmpty());
    EXPECT_FALSE(preset_collection.anyChanged());
    EXPECT_FALSE(detector_.calls.empty());  // the renderer was told
    EXPECT_EQ(fileBytes(stray), std::vector<uint8_t>({1, 2, 3}));
}

// Two presets, the second with a wrong record magic: rejected by the reader.
std::vector<uint8_t> damagedFile(const std::string& name)
{
    return Bytes().u32(0).u8(2).u8(0).defaultPreset(name).u32(0xFD4B).str("lost").asFile();
}

TEST_F(ConfigurationDrivers, DamagedFileIsKeptBesideItByTheSaveThatReplacesIt)
{
    for (const char* copy : {".damaged", ".damaged.1"}) {
        SCOPED_TRACE(copy);
        const std::vector<uint8_t> damaged = damagedFile(copy);
        const size_t secondPresetAt = damaged.size() - 9;  // its wrong magic and the name "lost"
        storeBytes(configPath_, damaged);
        MessageBoxWatcher watcher;
        EXPECT_FALSE(loadConfiguration(nullptr));
        EXPECT_EQ(preset_collection.count(), 1);
        const std::vector<MessageBoxSeen> seen = watcher.finish();
        ASSERT_EQ(seen.size(), 1u);
        const std::wstring where = L"byte " + std::to_wstring(secondPresetAt) +
                                   L": preset 1: expected preset magic 00 00 FD 4A, found 00 00 FD 4B";
        EXPECT_EQ(seen[0].text, L"config.dat is damaged (" + where + L"):\n" + configPath_.native() +
                                    L"\n\nThe editor starts with a default preset. The first Save keeps the old "
                                    L"file as config.dat" + std::wstring(copy, copy + std::strlen(copy)) + L".");

        MessageBoxWatcher noMoreBoxes;
        preset_collection.at(0).setName(copy);
        EXPECT_TRUE(saveConfiguration(nullptr));
        EXPECT_TRUE(saveConfiguration(nullptr));  // no second copy
        EXPECT_THAT(noMoreBoxes.finish(), IsEmpty());
        expectSavedCompletely();
        EXPECT_EQ(fileBytes(besideConfig(copy)), damaged);
    }
    EXPECT_EQ(fileBytes(besideConfig(".damaged")), damagedFile(".damaged"));
    EXPECT_FALSE(std::filesystem::exists(besideConfig(".damaged.2")));
}

TEST_F(ConfigurationDrivers, DamagedFileThatCannotBeReadAtSaveFailsTheSaveAndStaysAsItWas)
{
    const std::vector<uint8_t> damaged = damagedFile("Held");
    storeBytes(configPath_, damaged);
    MessageBoxWatcher loadBox;
    loadConfiguration(nullptr);
    EXPECT_EQ(loadBox.finish().size(), 1u);
    preset_collection.at(0).setName("unsaved");

    // Held without any sharing, so that neither the check for another
    // program's change nor a copy can read it.
    const HANDLE held = CreateFileW(configPath_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    MessageBoxWatcher watcher;
    EXPECT_FALSE(saveConfiguration(nullptr));
    CloseHandle(held);
    const std::vector<MessageBoxSeen> seen = watcher.finish();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_THAT(seen[0].text, StartsWith(kSaveFailedLine + std::wstring(L"config.dat cannot be read to tell whether "
                                                                         L"another program changed it (it is in use by ")));
    EXPECT_THAT(seen[0].text, EndsWith(L"; nothing was saved: " + configPath_.native()));
    EXPECT_TRUE(preset_collection.anyChanged());
    EXPECT_EQ(fileBytes(configPath_), damaged);
    EXPECT_FALSE(std::filesystem::exists(besideConfig(".damaged")));
    EXPECT_THAT(temporaryFiles(), IsEmpty());

    EXPECT_TRUE(saveConfiguration(nullptr));
    EXPECT_EQ(fileBytes(besideConfig(".damaged")), damaged);
}

TEST_F(ConfigurationDrivers, ReadOnlyFileIsNamedAsTheCause)
{
    StreamSettingsSet stored(1);
    ASSERT_TRUE(writeConfigBytes(stored, oldBytes_));
    storeBytes(configPath_, oldBytes_);
    ASSERT_TRUE(loadConfiguration(nullptr));
    std::filesystem::permissions(configPath_, std::filesystem::perms::owner_write, std::filesystem::perm_options::remove);
    preset_collection.at(0).setName("unsaved");

    MessageBoxWatcher watcher;
    EXPECT_FALSE(saveConfiguration(nullptr));
    const std::vector<MessageBoxSeen> seen = watcher.finish();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, kSaveFailedLine + (L"config.dat is read-only: " + configPath_.native()));
    EXPECT_EQ(fileBytes(configPath_), oldBytes_);
    EXPECT_THAT(temporaryFiles(), IsEmpty());
}

// Another program (the presets tool, a second editor) saves while the editor is open.
TEST_F(ConfigurationDrivers, FileChangedByAnotherProgramIsReplacedOnlyWhenTheUserSaysSo)
{
    StreamSettingsSet imported(1);  // the editor opened without a file: it shows the default preset
    fillSample(imported);
    std::vector<uint8_t> importedBytes;
    ASSERT_TRUE(writeConfigBytes(imported, importedBytes));
    storeBytes(configPath_, importedBytes);
    preset_collection.at(0).setName("edited here");

    MessageBoxWatcher declines(IDNO);
    EXPECT_FALSE(saveConfiguration(nullptr));
    std::vector<MessageBoxSeen> seen = declines.finish();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].text, L"config.dat was changed by another program since it was opened. Replace it with the "
                            L"presets shown here?");
    EXPECT_EQ(fileBytes(configPath_), importedBytes);
    EXPECT_EQ(preset_collection.at(0).name(), "edited here");
    EXPECT_TRUE(preset_collection.anyChanged());
    EXPECT_FALSE(std::filesystem::exists(besideConfig(".replaced")));

    MessageBoxWatcher agrees(IDYES);
    EXPECT_TRUE(saveConfiguration(nullptr));
    EXPECT_EQ(agrees.finish().size(), 1u);
    expectSavedCompletely();
    EXPECT_EQ(fileBytes(besideConfig(".replaced")), importedBytes);

    // What the editor saved itself is no other program's change.
    MessageBoxWatcher noQuestion;
    preset_collection.at(0).setName("again");
    EXPECT_TRUE(saveConfiguration(nullptr));
    EXPECT_THAT(noQuestion.finish(), IsEmpty());
}

// The state a crash or power loss leaves while a save writes into a held
// config.dat: a torn file beside the complete temporary file of that save.
TEST_F(ConfigurationDrivers, InterruptedSaveIsLoadedFromItsTemporaryFileAndTheTornFileKept)
{
    StreamSettingsSet saved(1);
    fillSample(saved);
    std::vector<uint8_t> complete;
    ASSERT_TRUE(writeConfigBytes(saved, complete));
    const std::vector<uint8_t> torn(complete.begin(), complete.begin() + complete.size() / 2);
    storeBytes(configPath_, torn);
    const std::filesystem::path temporary = besideConfig(".4000001-1.tmp");  // of a process that has ended
    storeBytes(temporary, complete);
    std::filesystem::last_write_time(temporary, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));

    MessageBoxWatcher watcher;
    EXPECT_FALSE(loadConfiguration(nullptr));
    const std::vector<MessageBoxSeen> seen = watcher.finish();
    EXPECT_EQ(describePresets(preset_collection), describePresets(saved));
    EXPECT_TRUE(preset_collection.anyChanged());
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_THAT(seen[0].text, StartsWith(L"config.dat is damaged (byte "));
    EXPECT_THAT(seen[0].text, HasSubstr(L"The editor shows the presets of a save that was interrupted, kept in " +
                                        temporary.native() + L". The first Save keeps the old file as "
                                                             L"config.dat.damaged."));

    EXPECT_TRUE(saveConfiguration(nullptr));
    expectSavedCompletely();
    EXPECT_EQ(fileBytes(besideConfig(".damaged")), torn);
}

TEST_F(ConfigurationDrivers, LoadWaitsForAHolderThatLetsGoSoonAndTellsOfOneThatDoesNot)
{
    StreamSettingsSet stored(2);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(writeConfigBytes(stored, bytes));
    storeBytes(configPath_, bytes);
    {
        FileHolder holder(configPath_, L"none", 1000);
        ASSERT_TRUE(holder.holding()) << "the holder ended with " << holder.exitCode();
        MessageBoxWatcher watcher;
        EXPECT_TRUE(loadConfiguration(nullptr));
        EXPECT_THAT(watcher.finish(), IsEmpty());
        EXPECT_EQ(preset_collection.count(), 2);
    }
    preset_collection = StreamSettingsSet(1);
    FileHolder holder(configPath_, L"none", 4000);
    ASSERT_TRUE(holder.holding()) << "the holder ended with " << holder.exitCode();
    MessageBoxWatcher watcher;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(loadConfiguration(nullptr));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
    const std::vector<MessageBoxSeen> seen = watcher.finish();
    EXPECT_EQ(preset_collection.count(), 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_THAT(seen[0].text, StartsWith(L"config.dat cannot be read: it is in use by "));
    EXPECT_THAT(seen[0].text, HasSubstr(L"The editor starts with a default preset. The first Save keeps the old file "
                                        L"as config.dat.damaged."));
    EXPECT_TRUE(holder.released());

    // Kept as it was before it is replaced, as a damaged file is.
    EXPECT_TRUE(saveConfiguration(nullptr));
    EXPECT_EQ(fileBytes(besideConfig(".damaged")), bytes);
}

}  // namespace
