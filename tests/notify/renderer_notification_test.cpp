// The renderer notification seen from the production system's side: the calls
// that reach the stand-in detector and the way the stand-in renderer is started.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/host_link.h"
#include "app/process_state.h"
#include "app/renderer_notification.h"
#include "host/host_log_format.h"
#include "tests/support/host_log.h"

namespace {

const wchar_t kNetworkModule[] = L"Module.NetworkVideo.x86.dll";
const wchar_t kRenderer[] = L"Renderer.exe";
const wchar_t kDriver[] = L"notify_driver.exe";
constexpr unsigned long kEventTimeoutMs = 10000;

std::wstring programDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring program(path);
    return program.substr(0, program.rfind(L'\\'));
}

std::wstring currentDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, path);
    return path;
}

// A name unique to this process and test, so that parallel runs do not share files.
std::wstring uniqueName(const wchar_t* prefix)
{
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string testName = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : testName) {
        if (c == '/')
            c = '-';
    }
    return prefix + std::to_wstring(GetCurrentProcessId()) + L"-" + std::wstring(testName.begin(), testName.end());
}

std::wstring tempDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    return path;
}

void setPresetNames(const std::vector<std::string>& names)
{
    preset_collection.resize(static_cast<int>(names.size()));
    for (size_t i = 0; i < names.size(); ++i)
        preset_collection.at(static_cast<int>(i)).setName(names[i]);
}

// Each test gets its own log file and a fresh detector from the stand-in module
// that lies beside this program, as the host's module lies beside the editor.
class NotificationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        logPath_ = tempDirectory() + uniqueName(L"riverra-notify-") + L".log";
        DeleteFileW(logPath_.c_str());
        SetEnvironmentVariableW(host_log::kLogFileVariable, logPath_.c_str());

        module_ = LoadLibraryW(kNetworkModule);
        ASSERT_NE(module_, nullptr);
        create_ = reinterpret_cast<DetectVideoStreamCreateFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "detect_video_stream_create_v1")));
        destroy_ = reinterpret_cast<DetectVideoStreamDestroyFn>(
            reinterpret_cast<void*>(GetProcAddress(module_, "detect_video_stream_destroy_v1")));
        ASSERT_NE(create_, nullptr);
        ASSERT_NE(destroy_, nullptr);
        detector_ = create_(0);
        ASSERT_NE(detector_, nullptr);
        stream_detector = detector_;
    }

    void TearDown() override
    {
        stream_detector = nullptr;
        if (detector_ != nullptr)
            destroy_(detector_);
        SetEnvironmentVariableW(host_log::kRendererSleepVariable, nullptr);
        SetEnvironmentVariableW(host_log::kLogFileVariable, nullptr);
        FreeLibrary(module_);
        DeleteFileW(logPath_.c_str());
    }

    // The log once the renderer has recorded its start.
    std::vector<HostEvent> logAfterRendererStart() const
    {
        EXPECT_TRUE(waitForHostEvent(logPath_, L"renderer", L"start", kEventTimeoutMs));
        return readHostLog(logPath_);
    }

    std::wstring detectorText() const { return hostPointerText(detector_); }

    std::wstring logPath_;
    HMODULE module_ = nullptr;
    DetectVideoStreamCreateFn create_ = nullptr;
    DetectVideoStreamDestroyFn destroy_ = nullptr;
    VideoStreamDetector* detector_ = nullptr;
};

TEST_F(NotificationTest, EmptyCollectionRegistersOnlyTheStreamsEntryThenStartsTheRenderer)
{
    setPresetNames({});
    notify_renderers();

    const std::vector<HostEvent> log = logAfterRendererStart();
    EXPECT_EQ(eventsFrom(log, L"detector"), expectedRegistration(detectorText(), programDirectory(), {}));
}

TEST_F(NotificationTest, PresetsFollowTheStreamsEntryInCollectionOrderAndPrecedeTheRendererStart)
{
    setPresetNames({"A", "B", "C"});
    notify_renderers();

    const std::vector<HostEvent> log = logAfterRendererStart();
    EXPECT_EQ(eventsFrom(log, L"detector"), expectedRegistration(detectorText(), programDirectory(), {L"A", L"B", L"C"}));
    int lastDetectorCall = -1;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].source == L"detector")
            lastDetectorCall = static_cast<int>(i);
    }
    EXPECT_LT(lastDetectorCall, findEvent(log, L"renderer", L"start"));
}

TEST_F(NotificationTest, RendererIsStartedHiddenFromTheEditorsFolderWithTheApplyArgument)
{
    notify_renderers();

    const std::vector<HostEvent> log = logAfterRendererStart();
    const int start = findEvent(log, L"renderer", L"start");
    ASSERT_GE(start, 0);
    const std::vector<std::wstring>& fields = log[start].fields;
    ASSERT_EQ(fields.size(), 4u);
    EXPECT_EQ(fields[0], expectedRendererCommandLine(programDirectory()));
    EXPECT_EQ(fields[1], currentDirectory()) << "the renderer inherits the editor's current directory";
    EXPECT_NE(std::stoul(fields[2]) & STARTF_USESHOWWINDOW, 0u);
    EXPECT_EQ(fields[3], std::to_wstring(SW_HIDE));
}

TEST_F(NotificationTest, NamesArriveAsTheyStandIncludingTabsAndPercentSigns)
{
    setPresetNames({"Studio 1", "tab\there", "100% live", ""});
    notify_renderers();

    EXPECT_EQ(eventsFrom(logAfterRendererStart(), L"detector"),
              expectedRegistration(detectorText(), programDirectory(), {L"Studio 1", L"tab\there", L"100% live", L""}));
}

TEST_F(NotificationTest, NonAsciiNamesArriveInTheirUtf16FormOfTheAnsiCodePage)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "needs the ANSI code page 1252 (LC_ALL=C.UTF-8 under Wine)";
    setPresetNames({"Caf\xE9", "\x80 price"});
    notify_renderers();

    EXPECT_EQ(eventsFrom(logAfterRendererStart(), L"detector"),
              expectedRegistration(detectorText(), programDirectory(), {L"Caf\u00E9", L"\u20AC price"}));
}

TEST_F(NotificationTest, WithoutDetectorNothingIsRegisteredOrStarted)
{
    setPresetNames({"A"});
    stream_detector = nullptr;
    notify_renderers();

    EXPECT_FALSE(waitForHostEvent(logPath_, L"renderer", L"start", 1500));
    EXPECT_TRUE(eventsFrom(readHostLog(logPath_), L"detector").empty());
}

TEST_F(NotificationTest, ReturnsAfterTheWaitWhileTheRendererGoesOnRunning)
{
    SetEnvironmentVariableW(host_log::kRendererSleepVariable, L"4000");
    const ULONGLONG before = GetTickCount64();
    notify_renderers();
    const ULONGLONG elapsed = GetTickCount64() - before;

    EXPECT_GE(elapsed, 990u);
    EXPECT_LT(elapsed, 3000u);
    EXPECT_LT(findEvent(readHostLog(logPath_), L"renderer", L"end"), 0) << "the renderer is still sleeping";
    EXPECT_TRUE(waitForHostEvent(logPath_, L"renderer", L"end", kEventTimeoutMs)) << "the renderer was not stopped";
}

TEST_F(NotificationTest, WaitsNoLongerThanTheRendererRuns)
{
    SetEnvironmentVariableW(host_log::kRendererSleepVariable, L"0");
    const ULONGLONG before = GetTickCount64();
    notify_renderers();
    const ULONGLONG elapsed = GetTickCount64() - before;

    const std::vector<HostEvent> log = readHostLog(logPath_);
    if (findEvent(log, L"renderer", L"end") >= 0)
        EXPECT_LT(elapsed, 990u) << "the renderer had ended, so the wait should have ended with it";
    else
        EXPECT_GE(elapsed, 990u) << "the renderer took longer than the wait to start";
}

// A copy of the driver program in a folder of its own, standing for the editor
// installed somewhere else; removed with everything in it.
class EditorFolder {
public:
    EditorFolder(const std::wstring& path, bool withRenderer) : path_(path)
    {
        size_t next = tempDirectory().size();
        while (next != std::wstring::npos) {
            next = path_.find(L'\\', next + 1);
            const std::wstring level = path_.substr(0, next);
            if (CreateDirectoryW(level.c_str(), nullptr))
                directories_.insert(directories_.begin(), level);
        }
        copyFromProgramDirectory(kDriver);
        if (withRenderer)
            copyFromProgramDirectory(kRenderer);
    }

    ~EditorFolder()
    {
        for (const std::wstring& file : files_)
            DeleteFileW(file.c_str());
        for (const std::wstring& directory : directories_)
            RemoveDirectoryW(directory.c_str());
    }

    EditorFolder(const EditorFolder&) = delete;
    EditorFolder& operator=(const EditorFolder&) = delete;

    const std::wstring& path() const { return path_; }

private:
    void copyFromProgramDirectory(const wchar_t* name)
    {
        const std::wstring target = path_ + L"\\" + name;
        EXPECT_TRUE(CopyFileW((programDirectory() + L"\\" + name).c_str(), target.c_str(), FALSE))
            << "cannot copy to a path of " << target.size() << " characters";
        files_.push_back(target);
    }

    std::wstring path_;
    std::vector<std::wstring> directories_;
    std::vector<std::wstring> files_;
};

struct DriverRun {
    DWORD exitCode = 0;
    std::string output;  // standard output, line ends as written
};

// Runs the driver from `folder` with that folder as its current directory,
// collecting its standard output in a file.
DriverRun runDriver(const std::wstring& folder, const std::wstring& outputPath, const std::wstring& presetNames)
{
    DriverRun run;
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    const HANDLE output = CreateFileW(outputPath.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, &inheritable,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    EXPECT_NE(output, INVALID_HANDLE_VALUE);
    if (output == INVALID_HANDLE_VALUE)
        return run;

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::wstring commandLine = L"\"" + folder + L"\\" + kDriver + L"\" \"" + programDirectory() + L"\\" +
                               kNetworkModule + L"\" " + presetNames;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                                        &startup, &process);
    EXPECT_TRUE(started) << "error " << GetLastError();
    if (started) {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        SetFilePointer(output, 0, nullptr, FILE_BEGIN);
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(output, buffer, sizeof(buffer), &read, nullptr) && read > 0)
            run.output.append(buffer, read);
    }
    CloseHandle(output);
    return run;
}

std::string withUnixLineEnds(std::string text)
{
    for (size_t crlf = text.find("\r\n"); crlf != std::string::npos; crlf = text.find("\r\n", crlf))
        text.erase(crlf, 1);
    return text;
}

class InstalledEditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        baseName_ = uniqueName(L"riverra-notify-");
        logPath_ = tempDirectory() + baseName_ + L".log";
        DeleteFileW(logPath_.c_str());
        SetEnvironmentVariableW(host_log::kLogFileVariable, logPath_.c_str());
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(host_log::kLogFileVariable, nullptr);
        DeleteFileW(logPath_.c_str());
    }

    // A folder below the temporary directory, padded with blanks and letters to
    // `length` characters when that is longer than its plain name.
    std::wstring folderPath(const wchar_t* name, size_t length) const
    {
        std::wstring path = tempDirectory() + baseName_ + L"\\" + name;
        while (path.size() < length)
            path += (path.size() % 10 == 0) ? L' ' : L'x';
        return path;
    }

    DriverRun run(const EditorFolder& folder, const std::wstring& presetNames)
    {
        return runDriver(folder.path(), tempDirectory() + baseName_ + L".out", presetNames);
    }

    std::wstring baseName_;
    std::wstring logPath_;
};

TEST_F(InstalledEditorTest, MissingRendererIsReportedOnStandardOutputAndTheRestGoesOn)
{
    const EditorFolder folder(folderPath(L"editor", 0), false);
    const DriverRun result = run(folder, L"A");

    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(withUnixLineEnds(result.output), "CreateProcess failed (2).\n");
    const std::vector<HostEvent> log = readHostLog(logPath_);
    EXPECT_EQ(eventsFrom(log, L"detector").size(), 4u) << "the sources were registered before the start failed";
    EXPECT_EQ(eventsFrom(log, L"renderer").size(), 0u);
    const std::vector<HostEvent> network = eventsFrom(log, L"network");
    ASSERT_FALSE(network.empty());
    EXPECT_EQ(network.back().name, L"destroy") << "the driver went on after the failed start";
}

// Folders with blanks, short and close to the deepest one that Wine can still
// start a program from; a command line longer than 258 characters included.
class EditorFolderPathTest : public InstalledEditorTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(EditorFolderPathTest, RendererPathReachesDetectorAndRendererAsOneToken)
{
    const EditorFolder folder(folderPath(L"Riverra editor", GetParam()), true);
    const std::wstring rendererPath = folder.path() + L"\\Renderer.exe";
    const DriverRun result = run(folder, L"Studio");
    ASSERT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.output, "");
    ASSERT_TRUE(waitForHostEvent(logPath_, L"renderer", L"end", kEventTimeoutMs));

    const std::vector<HostEvent> log = readHostLog(logPath_);
    const std::vector<HostEvent> detector = eventsFrom(log, L"detector");
    ASSERT_EQ(detector.size(), 4u);
    EXPECT_EQ(detector[1].fields.back(), rendererPath);
    const std::vector<HostEvent> renderer = eventsFrom(log, L"renderer");
    ASSERT_EQ(renderer.size(), 3u);
    ASSERT_EQ(renderer[0].fields.size(), 4u);
    EXPECT_EQ(renderer[0].fields[0], expectedRendererCommandLine(folder.path()));
    EXPECT_EQ(renderer[0].fields[1], folder.path());
    EXPECT_EQ(renderer[0].fields[3], std::to_wstring(SW_HIDE));
    EXPECT_EQ(renderer[1].fields, (std::vector<std::wstring>{rendererPath, L"CorvaneApplySettings"}));
}

INSTANTIATE_TEST_SUITE_P(ShortAndDeep, EditorFolderPathTest, ::testing::Values(size_t{0}, size_t{240}));

TEST(HostLogTest, ReadsOnlyCompleteLinesAndUnescapesFields)
{
    const std::wstring path = tempDirectory() + uniqueName(L"riverra-hostlog-") + L".log";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const std::string content = "detector\tadd_source\t50%25\ta%09b%0Ac\t\xC3\xA9\nrenderer\tend\nrenderer\tsta";
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);

    const std::vector<HostEvent> expected = {
        {L"detector", L"add_source", {L"50%", L"a\tb\nc", L"\u00E9"}},
        {L"renderer", L"end", {}},
    };
    EXPECT_EQ(readHostLog(path), expected);
    DeleteFileW(path.c_str());
    EXPECT_TRUE(readHostLog(path).empty());
}

TEST(HostLogTest, EscapedFieldsSurviveTheRoundTrip)
{
    const std::wstring text = L"%41 tab\t cr\r lf\n del\x7F %% end%";
    const std::wstring escaped = host_log::escapeField(text);
    EXPECT_EQ(escaped.find_first_of(L"\t\r\n"), std::wstring::npos);
    EXPECT_EQ(host_log::unescapeField(escaped), text);
}

}  // namespace
