// The editor as a whole, seen from outside its process: what it prints, the
// messages it shows, the calls that reach the production system's stand-ins,
// the renderer starts, config.dat beside it and its exit code.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/host_log_format.h"
#include "model/stream_settings_set.h"
#include "persist/config_file.h"
#include "tests/e2e/editor_process.h"
#include "tests/support/code_page_text.h"
#include "tests/support/host_log.h"
#include "ui/resource.h"

using namespace e2e;

namespace {

const wchar_t kHostUnsupported[] =
    L"This version of Orvanta doesn't support Riverra plugin.\nYou might need to update Orvanta software.";
const wchar_t kEntryPointsMissing[] =
    L"This version of Orvanta doesn't support this version of Riverra plugin.\n"
    L"You might need to update Orvanta or plugin software.";
const wchar_t kCreateFailed[] = L"Error during Riverra initialization";
const wchar_t kSaveQuestion[] = L"Do you want to save changes?";
const wchar_t kChangedElsewhere[] =
    L"config.dat was changed by another program since it was opened. Replace it with the presets shown here?";
const wchar_t kHostInstallDirectory[] = L"C:\\Orvanta\\Bin32";

// The editor's configuration file starts with this magic.
const char kConfigMagic[] = {'\x00', '\x00', '\xD7', '\x67'};

// Suite and case with a blank between them: installation folders have blanks,
// and the renderer's path must survive them.
std::wstring testFolderName()
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + " " + test->name();
    for (char& c : name) {
        if (c == '/')
            c = '-';
    }
    return std::wstring(name.begin(), name.end());
}

// The C runtime writes the banner's line break as CR LF.
std::wstring bannerOutput()
{
    return std::wstring(kBanner) + L"\r\n";
}

bool fileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int countEvents(const std::vector<HostEvent>& log, const std::wstring& source, const std::wstring& name)
{
    int count = 0;
    for (const HostEvent& event : log) {
        if (event.source == source && event.name == name)
            ++count;
    }
    return count;
}

// The detector pointer that the create call returned, as the stand-in wrote it.
std::wstring createdDetector(const std::vector<HostEvent>& log)
{
    const int create = findEvent(log, L"network", L"create");
    if (create < 0 || log[create].fields.size() < 2)
        return {};
    return log[create].fields[1];
}

// The detector calls and renderer starts in the order they happened, each
// start reduced to its command line.
std::vector<HostEvent> announcements(const std::vector<HostEvent>& log)
{
    std::vector<HostEvent> selected;
    for (const HostEvent& event : log) {
        if (event.source == L"detector")
            selected.push_back(event);
        else if (event.source == L"renderer" && event.name == L"start" && !event.fields.empty())
            selected.push_back({L"renderer", L"start", {event.fields[0]}});
    }
    return selected;
}

HostEvent rendererStart(const std::wstring& editorDirectory)
{
    return {L"renderer", L"start", {expectedRendererCommandLine(editorDirectory)}};
}

StreamSettingsSet presetsNamed(const std::vector<std::string>& names, int current)
{
    StreamSettingsSet presets(static_cast<int>(names.size()));
    for (size_t i = 0; i < names.size(); ++i)
        presets.at(static_cast<int>(i)).setName(names[i]);
    presets.current_ = static_cast<uint8_t>(current);
    return presets;
}

std::vector<std::string> presetNamesIn(const std::wstring& configPath)
{
    StreamSettingsSet presets(1);
    if (!readConfigFile(presets, configPath))
        return {"(config.dat unreadable)"};
    std::vector<std::string> names;
    for (int i = 0; i < presets.count(); ++i)
        names.push_back(presets.at(i).name());
    return names;
}

bool hostLibraryInstalled()
{
    const std::wstring directory = std::wstring(kHostInstallDirectory) + L"\\";
    return fileExists(directory + kNetworkModuleFile) || fileExists(directory + kVersionLibraryFile);
}

// Every case starts an editor from a folder of its own. The host stand-ins
// record into a log in that folder.
class EditorTest : public ::testing::Test {
protected:
    EditorTest() : folder_(testFolderName()) {}

    void SetUp() override
    {
        ASSERT_TRUE(folder_.ready()) << "could not prepare " << folder_.path();
        // A host library left in the installation directory would be found by
        // every editor and falsify the cases without one.
        ASSERT_FALSE(hostLibraryInstalled()) << "host libraries were left in C:\\Orvanta\\Bin32";
        SetEnvironmentVariableW(host_log::kLogFileVariable, folder_.hostLogPath().c_str());
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(host_log::kLogFileVariable, nullptr);
        SetEnvironmentVariableW(host_log::kCreateFailsVariable, nullptr);
    }

    std::vector<HostEvent> hostLog() const { return readHostLog(folder_.hostLogPath()); }

    // The renderer records its start, then its arguments: a start is in the
    // log complete once its arguments are. A renderer slower than the
    // editor's wait for it still records them after the window shows.
    bool waitForRendererStarts(int count) const
    {
        return waitUntil([&] { return countEvents(hostLog(), L"renderer", L"arguments") >= count; }, kWaitLimit);
    }

    // A start-up check that fails: its message box, dismissed as a user does,
    // and exit code 1, with no main window at any time.
    void expectStartupFailure(const std::wstring& arguments, const std::wstring& message)
    {
        EditorProcess editor(folder_, arguments);
        ASSERT_TRUE(editor.started());
        const HWND box = editor.waitForMessageBox();
        ASSERT_NE(box, nullptr) << "no message box; the editor is " << (editor.running() ? "running" : "ended");
        EXPECT_EQ(messageBoxText(box), message);
        EXPECT_EQ(windowText(box), L"");
        EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
        EXPECT_NE(GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
        EXPECT_TRUE(editor.running()) << "the process must wait for the user";

        ASSERT_TRUE(answerDialog(box, IDOK));
        ASSERT_TRUE(editor.waitForExit());
        EXPECT_EQ(editor.exitCode(), 1u);
        EXPECT_FALSE(editor.mainWindowSeen());
        EXPECT_EQ(editor.standardOutput(), bannerOutput());
    }

    // Presses Close on an editor without unsaved changes: it ends with 0.
    static void closeWithoutPrompt(EditorProcess& editor, HWND mainWindow)
    {
        clickWindow(GetDlgItem(mainWindow, IDCLOSE));
        ASSERT_TRUE(editor.waitForExit()) << "the editor did not close";
        EXPECT_EQ(editor.exitCode(), 0u);
    }

    EditorFolder folder_;
};

// Start-up and its checks of the host

using StartupTest = EditorTest;

TEST_F(StartupTest, EmptyCommandLineWithoutTheNetworkModuleIsRefused)
{
    ASSERT_TRUE(folder_.addVersionLibrary());
    ASSERT_TRUE(folder_.addRenderer());
    expectStartupFailure(L"", kHostUnsupported);
    EXPECT_TRUE(eventsFrom(hostLog(), L"network").empty());
}

TEST_F(StartupTest, EmptyCommandLineWithoutTheVersionLibraryIsRefusedBeforeAnyDetectorIsMade)
{
    ASSERT_TRUE(folder_.addNetworkModule());
    ASSERT_TRUE(folder_.addRenderer());
    expectStartupFailure(L"", kHostUnsupported);
    EXPECT_EQ(countEvents(hostLog(), L"network", L"load"), 1);
    EXPECT_EQ(findEvent(hostLog(), L"network", L"create"), -1);
}

TEST_F(StartupTest, NetworkModuleWithoutCreateEntryPointIsRefused)
{
    ASSERT_TRUE(folder_.addNetworkModule(NetworkModule::withoutCreate));
    ASSERT_TRUE(folder_.addVersionLibrary());
    expectStartupFailure(L"", kEntryPointsMissing);
    EXPECT_EQ(findEvent(hostLog(), L"network", L"create"), -1);
}

TEST_F(StartupTest, NetworkModuleWithoutDestroyEntryPointIsRefusedBeforeCreateIsCalled)
{
    ASSERT_TRUE(folder_.addNetworkModule(NetworkModule::withoutDestroy));
    ASSERT_TRUE(folder_.addVersionLibrary());
    expectStartupFailure(L"", kEntryPointsMissing);
    EXPECT_EQ(countEvents(hostLog(), L"network", L"load"), 1);
    EXPECT_EQ(findEvent(hostLog(), L"network", L"create"), -1);
}

TEST_F(StartupTest, DetectorThatCannotBeCreatedIsReportedAndNeverDestroyed)
{
    ASSERT_TRUE(folder_.addCompleteHost());
    SetEnvironmentVariableW(host_log::kCreateFailsVariable, L"1");
    expectStartupFailure(L"", kCreateFailed);

    const std::vector<HostEvent> log = hostLog();
    const int create = findEvent(log, L"network", L"create");
    ASSERT_GE(create, 0);
    EXPECT_EQ(log[create].fields, (std::vector<std::wstring>{L"0", hostPointerText(nullptr)}));
    EXPECT_EQ(countEvents(log, L"network", L"create"), 1);
    EXPECT_EQ(findEvent(log, L"network", L"destroy"), -1);
    EXPECT_TRUE(eventsFrom(log, L"detector").empty());
    EXPECT_TRUE(eventsFrom(log, L"renderer").empty());
}

// With a command line, a missing version library is accepted; the network
// module that did load must still offer both entry points.
TEST_F(StartupTest, WithoutVersionLibraryACompleteNetworkModuleGivesTheDetector)
{
    ASSERT_TRUE(folder_.addNetworkModule());  // no renderer either
    EditorProcess editor(folder_, L"open");
    ASSERT_TRUE(editor.started());
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);

    const std::wstring detector = createdDetector(hostLog());
    EXPECT_EQ(eventsFrom(hostLog(), L"detector"), expectedRegistration(detector, folder_.path(), {L"Stream 1"}));
    // The renderer is missing beside the editor: a line on standard output, nothing for the user.
    EXPECT_TRUE(waitUntil([&] { return editor.standardOutput().size() > bannerOutput().size(); }, kWaitLimit));
    EXPECT_EQ(editor.standardOutput(), bannerOutput() + L"CreateProcess failed (2).\r\n");
    EXPECT_TRUE(editor.showsNoOtherDialog());

    closeWithoutPrompt(editor, window);
    const std::vector<HostEvent> log = hostLog();
    EXPECT_EQ(eventsFrom(log, L"network").back(), (HostEvent{L"network", L"destroy", {detector}}));
    EXPECT_EQ(countEvents(log, L"network", L"destroy"), 1);
}

TEST_F(StartupTest, WithoutVersionLibraryANetworkModuleLackingAnEntryPointIsRefused)
{
    ASSERT_TRUE(folder_.addNetworkModule(NetworkModule::withoutDestroy));
    ASSERT_TRUE(folder_.addRenderer());
    expectStartupFailure(L"open", kEntryPointsMissing);
    EXPECT_EQ(findEvent(hostLog(), L"network", L"create"), -1);
}

// Without any host library a non-empty command line still opens the editor;
// there is no detector, so nothing is announced and no renderer is started.
TEST_F(StartupTest, CommandLineWithoutHostRunsWithoutDetectorAndIgnoresEscapeAndEnter)
{
    ASSERT_TRUE(folder_.addRenderer());
    EditorProcess editor(folder_, L"Live");  // not live mode: the comparison is case-sensitive
    ASSERT_TRUE(editor.started());
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(editor.standardOutput(), bannerOutput());
    EXPECT_TRUE(editor.showsNoOtherDialog());

    clickNeutralSpot(window);
    pressKeys({VK_ESCAPE});
    pressKeys({VK_RETURN});
    EXPECT_FALSE(waitUntil([&] { return !IsWindowVisible(window); }, milliseconds(700)))
        << "Escape or Enter closed the editor outside live mode";

    closeWithoutPrompt(editor, window);
    EXPECT_TRUE(hostLog().empty());
    EXPECT_FALSE(fileExists(folder_.configPath()));
}

// The production system's libraries are found in its installation directory.
class HostInstallation {
public:
    HostInstallation()
    {
        std::error_code ignored;
        createdRoot_ = std::filesystem::create_directory(L"C:\\Orvanta", ignored);
        createdDirectory_ = std::filesystem::create_directory(kHostInstallDirectory, ignored);
        installed_ = copyNetworkModule(NetworkModule::complete, kHostInstallDirectory) &&
                     copyVersionLibrary(kHostInstallDirectory);
    }

    // Leaves the directory as it was, so that no other editor finds the libraries.
    ~HostInstallation()
    {
        const std::wstring directory = std::wstring(kHostInstallDirectory) + L"\\";
        DeleteFileW((directory + kNetworkModuleFile).c_str());
        DeleteFileW((directory + kVersionLibraryFile).c_str());
        if (createdDirectory_)
            RemoveDirectoryW(kHostInstallDirectory);
        if (createdRoot_)
            RemoveDirectoryW(L"C:\\Orvanta");
    }

    HostInstallation(const HostInstallation&) = delete;
    HostInstallation& operator=(const HostInstallation&) = delete;

    bool installed() const { return installed_; }

private:
    bool createdRoot_ = false;
    bool createdDirectory_ = false;
    bool installed_ = false;
};

TEST_F(StartupTest, HostLibrariesAreFoundInTheInstallationDirectory)
{
    ASSERT_TRUE(folder_.addRenderer());
    {
        HostInstallation host;
        ASSERT_TRUE(host.installed());
        EditorProcess editor(folder_, L"");
        ASSERT_TRUE(editor.started());
        const HWND window = editor.waitForMainWindow();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(waitForRendererStarts(1));

        const std::vector<HostEvent> log = hostLog();
        ASSERT_GE(findEvent(log, L"network", L"load"), 0);
        EXPECT_EQ(_wcsicmp(log[findEvent(log, L"network", L"load")].fields.at(0).c_str(),
                           L"C:\\Orvanta\\Bin32\\Module.NetworkVideo.x86.dll"),
                  0);
        EXPECT_NE(createdDetector(log), hostPointerText(nullptr));
        closeWithoutPrompt(editor, window);
    }
    EXPECT_FALSE(hostLibraryInstalled());
}

// A whole session with an installed host

using SessionTest = EditorTest;

TEST_F(SessionTest, OpeningAndSavingAnnounceThePresetsAndTheDetectorIsReturnedOnceAtTheEnd)
{
    ASSERT_TRUE(folder_.addCompleteHost());
    StreamSettingsSet stored = presetsNamed({"Studio A", "Studio B"}, 1);
    ASSERT_TRUE(writeConfigFile(stored, folder_.configPath()));

    EditorProcess editor(folder_, L"");
    ASSERT_TRUE(editor.started());
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(editor.standardOutput(), bannerOutput());
    ASSERT_TRUE(waitForRendererStarts(1));

    std::vector<HostEvent> log = hostLog();
    const std::wstring detector = createdDetector(log);
    const int create = findEvent(log, L"network", L"create");
    ASSERT_GE(create, 0);
    EXPECT_EQ(log[create].fields.at(0), L"0");
    EXPECT_NE(detector, hostPointerText(nullptr));
    EXPECT_EQ(countEvents(log, L"network", L"create"), 1);
    std::vector<HostEvent> expected = expectedRegistration(detector, folder_.path(), {L"Studio A", L"Studio B"});
    expected.push_back(rendererStart(folder_.path()));
    EXPECT_EQ(announcements(log), expected);
    // Started hidden, and the folder's blank does not split the renderer's path.
    const HostEvent& start = log.at(findEvent(log, L"renderer", L"start"));
    EXPECT_EQ(start.fields.at(3), std::to_wstring(SW_HIDE));
    EXPECT_EQ(log.at(findEvent(log, L"renderer", L"arguments")).fields,
              (std::vector<std::wstring>{folder_.file(L"Renderer.exe"), L"CorvaneApplySettings"}));

    // The stored selection is shown; the user renames that preset and saves.
    const HWND name = editorControl(window, IDC_PRESET_NAME);
    EXPECT_EQ(windowText(name), L"Studio B");
    ASSERT_TRUE(replaceText(name, L"Kamera S\u00fcd"));
    clickWindow(GetDlgItem(window, IDC_SAVE));
    ASSERT_TRUE(waitForRendererStarts(2));

    const std::vector<HostEvent> second =
        expectedRegistration(detector, folder_.path(), {L"Studio A", L"Kamera S\u00fcd"});
    expected.insert(expected.end(), second.begin(), second.end());
    expected.push_back(rendererStart(folder_.path()));
    EXPECT_EQ(announcements(hostLog()), expected);
    EXPECT_EQ(fileBytes(folder_.configPath()).substr(0, 4), std::string(kConfigMagic, 4));
    EXPECT_EQ(presetNamesIn(folder_.configPath()),
              (std::vector<std::string>{"Studio A", encodeText(L"Kamera S\u00fcd", CP_ACP)}));
    EXPECT_TRUE(IsWindowVisible(window)) << "Save must leave the window open";
    EXPECT_EQ(findEvent(hostLog(), L"network", L"destroy"), -1) << "destroyed while the window was open";

    closeWithoutPrompt(editor, window);
    // Reading and writing the presets never ran past the end of a record.
    EXPECT_EQ(editor.standardError().find(L"Reading post the end"), std::wstring::npos) << editor.standardError();
    log = hostLog();
    EXPECT_EQ(countEvents(log, L"network", L"destroy"), 1);
    const int destroy = findEvent(log, L"network", L"destroy");
    ASSERT_GE(destroy, 0);
    EXPECT_EQ(log[destroy].fields, std::vector<std::wstring>{detector});
    for (size_t i = static_cast<size_t>(destroy) + 1; i < log.size(); ++i)
        EXPECT_NE(log[i].source, L"detector") << "the detector was used after it was returned";
}

TEST_F(SessionTest, CancelKeepsTheEditAndDontSaveLeavesConfigUntouched)
{
    ASSERT_TRUE(folder_.addCompleteHost());
    StreamSettingsSet stored = presetsNamed({"Studio A"}, 0);
    ASSERT_TRUE(writeConfigFile(stored, folder_.configPath()));
    const std::string before = fileBytes(folder_.configPath());

    EditorProcess editor(folder_, L"");
    ASSERT_TRUE(editor.started());
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    const HWND name = editorControl(window, IDC_PRESET_NAME);
    ASSERT_TRUE(replaceText(name, L"Unsaved name"));

    clickWindow(GetDlgItem(window, IDCLOSE));
    HWND prompt = editor.waitForSavePrompt();
    ASSERT_NE(prompt, nullptr) << "closing with a change must ask";
    EXPECT_TRUE(dialogShowsText(prompt, kSaveQuestion));
    EXPECT_EQ(GetWindow(prompt, GW_OWNER), window);
    ASSERT_TRUE(answerDialog(prompt, IDCANCEL));
    EXPECT_TRUE(editor.running());
    EXPECT_EQ(windowText(name), L"Unsaved name");

    clickWindow(GetDlgItem(window, IDCLOSE));
    prompt = editor.waitForSavePrompt();
    ASSERT_NE(prompt, nullptr) << "Cancel must keep the change";
    ASSERT_TRUE(answerDialog(prompt, IDC_DONT_SAVE));
    ASSERT_TRUE(editor.waitForExit());
    EXPECT_EQ(editor.exitCode(), 0u);
    EXPECT_EQ(fileBytes(folder_.configPath()), before);
    EXPECT_TRUE(waitForRendererStarts(1));
    EXPECT_EQ(countEvents(hostLog(), L"renderer", L"start"), 1) << "only the opening announces";
    EXPECT_EQ(countEvents(hostLog(), L"network", L"destroy"), 1);
}

TEST_F(SessionTest, SaveInThePromptWritesConfigBeforeTheEditorEnds)
{
    ASSERT_TRUE(folder_.addCompleteHost());
    EditorProcess editor(folder_, L"");
    ASSERT_TRUE(editor.started());
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(fileExists(folder_.configPath())) << "opening must not write config.dat";
    ASSERT_TRUE(replaceText(editorControl(window, IDC_PRESET_NAME), L"Pitch Camera"));

    // Alt+F4 asks to close as the caption's close box does.
    clickNeutralSpot(window);
    pressKeys({VK_MENU, VK_F4});
    const HWND prompt = editor.waitForSavePrompt();
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(answerDialog(prompt, IDC_SAVE));
    ASSERT_TRUE(editor.waitForExit());
    EXPECT_EQ(editor.exitCode(), 0u);

    EXPECT_EQ(fileBytes(folder_.configPath()).substr(0, 4), std::string(kConfigMagic, 4));
    EXPECT_EQ(presetNamesIn(folder_.configPath()), std::vector<std::string>{"Pitch Camera"});
    // The editor waits for the renderer only so long: it may start after the editor ended.
    EXPECT_TRUE(waitForRendererStarts(2));
    const std::vector<HostEvent> log = hostLog();
    EXPECT_EQ(countEvents(log, L"renderer", L"start"), 2);
    EXPECT_EQ(eventsFrom(log, L"detector").back(),
              (HostEvent{L"detector", L"add_source", {createdDetector(log), L"Corvane", L"Pitch Camera", L"1"}}));
    EXPECT_EQ(eventsFrom(log, L"network").back().name, L"destroy");
}

// A config.dat cut short inside its second preset.
std::string damagedConfig()
{
    StreamSettingsSet presets = presetsNamed({"Studio A", "Studio B"}, 0);
    std::vector<uint8_t> bytes;
    writeConfigBytes(presets, bytes);
    return std::string(bytes.begin(), bytes.end() - 40);
}

void storeFile(const std::wstring& path, const std::string& bytes)
{
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

TEST_F(SessionTest, DamagedFileAtStartIsToldBeforeTheWindowShowsTheDefaultPreset)
{
    ASSERT_TRUE(folder_.addCompleteHost());
    const std::string damaged = damagedConfig();
    storeFile(folder_.configPath(), damaged);

    EditorProcess editor(folder_, L"");
    ASSERT_TRUE(editor.started());
    const HWND box = editor.waitForMessageBox();
    ASSERT_NE(box, nullptr);
    const std::wstring text = messageBoxText(box);
    EXPECT_EQ(text.rfind(L"config.dat is damaged (byte ", 0), 0u) << text;
    EXPECT_NE(text.find(L":\n" + folder_.configPath() + L"\n\nThe editor starts with a default preset. The first "
                                                         L"Save keeps the old file as config.dat.damaged."),
              std::wstring::npos)
        << text;
    EXPECT_FALSE(editor.mainWindowSeen());
    ASSERT_TRUE(answerDialog(box, IDOK));

    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(windowText(editorControl(window, IDC_PRESET_NAME)), L"Stream 1");
    clickWindow(GetDlgItem(window, IDC_SAVE));
    ASSERT_TRUE(waitForRendererStarts(2));
    EXPECT_EQ(fileBytes(folder_.file(L"config.dat.damaged")), damaged);
    EXPECT_EQ(presetNamesIn(folder_.configPath()), std::vector<std::string>{"Stream 1"});
    closeWithoutPrompt(editor, window);
}

// The presets tool's import while the editor is open, then Save.
TEST_F(SessionTest, SaveOverAnotherProgramsConfigAsksAndKeepsItsVersion)
{
    ASSERT_TRUE(folder_.addCompleteHost());
    StreamSettingsSet opened = presetsNamed({"Studio A"}, 0);
    ASSERT_TRUE(writeConfigFile(opened, folder_.configPath()));
    EditorProcess editor(folder_, L"");
    ASSERT_TRUE(editor.started());
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(replaceText(editorControl(window, IDC_PRESET_NAME), L"Edited"));
    StreamSettingsSet imported = presetsNamed({"Imported 1", "Imported 2"}, 0);
    ASSERT_TRUE(writeConfigFile(imported, folder_.configPath()));
    const std::string importedBytes = fileBytes(folder_.configPath());

    clickWindow(GetDlgItem(window, IDC_SAVE));
    HWND question = editor.waitForMessageBox(kWaitLimit);
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(messageBoxText(question), kChangedElsewhere);
    EXPECT_EQ(GetWindow(question, GW_OWNER), window);
    ASSERT_TRUE(answerDialog(question, IDNO));
    EXPECT_TRUE(editor.running());
    EXPECT_EQ(fileBytes(folder_.configPath()), importedBytes);
    EXPECT_FALSE(fileExists(folder_.file(L"config.dat.replaced")));

    clickWindow(GetDlgItem(window, IDC_SAVE));
    question = editor.waitForMessageBox(kWaitLimit);
    ASSERT_NE(question, nullptr);
    ASSERT_TRUE(answerDialog(question, IDYES));
    ASSERT_TRUE(waitForRendererStarts(2));
    EXPECT_EQ(presetNamesIn(folder_.configPath()), std::vector<std::string>{"Edited"});
    EXPECT_EQ(fileBytes(folder_.file(L"config.dat.replaced")), importedBytes);
    closeWithoutPrompt(editor, window);
}

// Code page 1252 has no Japanese: the name would be stored as "??? 1".
TEST_F(SessionTest, TextTheCodePageCannotHoldIsRefusedAndNothingWritten)
{
    ASSERT_TRUE(folder_.addCompleteHost());
    EditorProcess editor(folder_, L"");
    ASSERT_TRUE(editor.started());
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(replaceText(editorControl(window, IDC_PRESET_NAME), L"\u30AB\u30E1\u30E9 1"));

    clickWindow(GetDlgItem(window, IDC_SAVE));
    const HWND box = editor.waitForMessageBox(kWaitLimit);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(messageBoxText(box), L"Error saving configuraion\nThe name of preset 1, \"\u30AB\u30E1\u30E9 1\", holds "
                                   L"\u30AB, \u30E1, \u30E9, which config.dat cannot hold in code page 1252; nothing "
                                   L"was saved.");
    ASSERT_TRUE(answerDialog(box, IDOK));
    EXPECT_FALSE(fileExists(folder_.configPath()));
    EXPECT_TRUE(waitForRendererStarts(1));
    EXPECT_EQ(countEvents(hostLog(), L"renderer", L"start"), 1);
    EXPECT_EQ(windowText(editorControl(window, IDC_PRESET_NAME)), L"\u30AB\u30E1\u30E9 1");

    ASSERT_TRUE(replaceText(editorControl(window, IDC_PRESET_NAME), L"Kamera 1"));
    clickWindow(GetDlgItem(window, IDC_SAVE));
    ASSERT_TRUE(waitForRendererStarts(2));
    EXPECT_EQ(presetNamesIn(folder_.configPath()), std::vector<std::string>{"Kamera 1"});
    closeWithoutPrompt(editor, window);
}

std::string configBytesOf(StreamSettingsSet presets)
{
    std::vector<uint8_t> bytes;
    writeConfigBytes(presets, bytes);
    return std::string(bytes.begin(), bytes.end());
}

// A config.dat written on a Western system, opened where the code page is
// 932: bytes of code page 1252 that are no text of code page 932. The editor
// says which presets hold such text, and a Save after an edit of another
// field keeps them byte for byte, although the page writes its fields back.
// Under Wine the code page follows the locale that the test program was
// started in (CTest runs these cases in ja_JP.UTF-8), not its environment.
using CodePage932Test = EditorTest;

TEST_F(CodePage932Test, StoredTextOfAnotherCodePageIsKeptByteForByteUntilItsFieldIsEdited)
{
    ASSERT_EQ(GetACP(), 932u);
    ASSERT_TRUE(folder_.addCompleteHost());
    StreamSettingsSet stored(3);
    stored.at(0).setName("Caf\xE9");
    stored.at(0).selectProtocol(7);
    stored.at(0).setHost("cam-\xE9");
    stored.at(0).setStreamName("B\xFChne");
    stored.at(2).setName("Foyer \xE0");
    storeFile(folder_.configPath(), configBytesOf(stored));

    EditorProcess editor(folder_, L"");
    ASSERT_TRUE(editor.started());
    const HWND box = editor.waitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(messageBoxText(box), L"Presets 1 and 3 hold text that this system's code page (932) cannot show as it "
                                   L"is stored in " + folder_.configPath() +
                                       L".\n\nThe editor keeps that text as it is stored until you change the field "
                                       L"that holds it.");
    ASSERT_TRUE(answerDialog(box, IDOK));
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);

    ASSERT_TRUE(replaceText(editorControl(window, IDC_LIP_SYNC), L"-40"));
    clickWindow(GetDlgItem(window, IDC_SAVE));
    ASSERT_TRUE(waitForRendererStarts(2));
    stored.at(0).setLipSyncText("-40");
    EXPECT_EQ(fileBytes(folder_.configPath()), configBytesOf(stored));
    closeWithoutPrompt(editor, window);
}

// Live mode: the editor is a pop-up of the production system

using LiveModeTest = EditorTest;

TEST_F(LiveModeTest, ActivatingAnotherWindowClosesWithoutAskingAndWithoutSaving)
{
    ASSERT_TRUE(folder_.addCompleteHost());
    EditorProcess editor(folder_, L"live");
    ASSERT_TRUE(editor.started());
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(replaceText(editorControl(window, IDC_PRESET_NAME), L"Discarded"));

    RECT windowArea = {};
    GetWindowRect(window, &windowArea);
    OtherWindow other({0, 0, 200, 150});
    ASSERT_LT(200, windowArea.left) << "the other window must lie beside the editor";
    clickWindow(other.window());

    ASSERT_TRUE(editor.waitForExit()) << "the editor stayed open after losing the activation";
    EXPECT_EQ(editor.exitCode(), 0u);
    EXPECT_FALSE(fileExists(folder_.configPath()));
    EXPECT_TRUE(waitForRendererStarts(1));
    EXPECT_EQ(countEvents(hostLog(), L"renderer", L"start"), 1);
    EXPECT_EQ(countEvents(hostLog(), L"network", L"destroy"), 1);
}

TEST_F(LiveModeTest, DamagedFileIsToldAndTheEditorStaysOpenAfterTheBox)
{
    ASSERT_TRUE(folder_.addCompleteHost());
    storeFile(folder_.configPath(), damagedConfig());
    EditorProcess editor(folder_, L"live");
    ASSERT_TRUE(editor.started());
    const HWND box = editor.waitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(messageBoxText(box).rfind(L"config.dat is damaged (byte ", 0), 0u);
    ASSERT_TRUE(answerDialog(box, IDOK));
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);
    Sleep(500);
    EXPECT_TRUE(editor.running()) << "the editor's own box counted as losing the activation";
    clickNeutralSpot(window);
    pressKeys({VK_ESCAPE});
    ASSERT_TRUE(editor.waitForExit());
}

TEST_F(LiveModeTest, EscapeClosesEvenWithoutHost)
{
    EditorProcess editor(folder_, L"live");
    ASSERT_TRUE(editor.started());
    const HWND window = editor.waitForMainWindow();
    ASSERT_NE(window, nullptr);

    clickNeutralSpot(window);
    pressKeys({VK_ESCAPE});
    ASSERT_TRUE(editor.waitForExit()) << "Escape did not close the editor in live mode";
    EXPECT_EQ(editor.exitCode(), 0u);
}

}  // namespace
