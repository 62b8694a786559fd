// config.dat on disk: a save either completes or leaves the previous file as it was.
#include "persist/config_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "persist/file_io.h"
#include "persist/save_temporaries.h"
#include "tests/config/config_test_support.h"
#include "tests/persist/failing_allocator.h"

namespace {

using testing::ElementsAre;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class ConfigStorage : public testing::Test {
protected:
    void SetUp() override
    {
        fillSample(sample_);
        ASSERT_TRUE(writeConfigFile(sample_, configPath()));
        previous_ = fileBytes(configPath());
        ASSERT_GT(previous_.size(), 100u);
    }

    FilePath configPath() const { return directory_.file("config.dat"); }

    // The save failed: the earlier file is there byte for byte, no leftovers.
    void expectPreviousFileKept()
    {
        EXPECT_EQ(fileBytes(configPath()), previous_);
        EXPECT_THAT(directory_.entries(), ElementsAre("config.dat"));
    }

    // Makes the body longer by `extraBytes`.
    static void growNames(StreamSettingsSet& presets, size_t extraBytes)
    {
        presets.at(0).setName(presets.at(0).name() + std::string(extraBytes, 'n'));
    }

    TemporaryDirectory directory_;
    StreamSettingsSet sample_{1};
    std::vector<uint8_t> previous_;
};

TEST_F(ConfigStorage, FileWriteReadWriteReproducesTheFile)
{
    StreamSettingsSet loaded(1);
    ASSERT_TRUE(readConfigFile(loaded, configPath()));
    EXPECT_EQ(describePresets(loaded), describePresets(sample_));
    ASSERT_TRUE(writeConfigFile(loaded, configPath()));
    EXPECT_EQ(fileBytes(configPath()), previous_);
    EXPECT_THAT(directory_.entries(), ElementsAre("config.dat"));
}

// An earlier save's temporary file may be the one complete copy of its presets.
TEST_F(ConfigStorage, SavingReplacesTheFileAndLeavesAnEarlierSavesTemporaryAlone)
{
    storeBytes(directory_.path() / "config.dat.tmp", {1, 2, 3});
    StreamSettingsSet other(4);
    ASSERT_TRUE(writeConfigFile(other, configPath()));
    std::vector<uint8_t> expected;
    ASSERT_TRUE(writeConfigBytes(other, expected));
    EXPECT_EQ(fileBytes(configPath()), expected);
    EXPECT_EQ(fileBytes(directory_.path() / "config.dat.tmp"), std::vector<uint8_t>({1, 2, 3}));
}

TEST_F(ConfigStorage, MissingFileIsNotRead)
{
    StreamSettingsSet presets(2);
    EXPECT_FALSE(readConfigFile(presets, directory_.file("absent.dat")));
    EXPECT_EQ(presets.count(), 2);
}

TEST_F(ConfigStorage, FileWithTrailingBytesReadsLikeWithout)
{
    std::vector<uint8_t> longer = previous_;
    longer.insert(longer.end(), 5000, 0xEE);
    storeBytes(configPath(), longer);
    StreamSettingsSet loaded(1);
    ASSERT_TRUE(readConfigFile(loaded, configPath()));
    EXPECT_EQ(describePresets(loaded), describePresets(sample_));
}

TEST_F(ConfigStorage, DirectoryThatDoesNotExist)
{
    EXPECT_FALSE(writeConfigFile(sample_, (directory_.path() / "missing" / "config.dat").native()));
    expectPreviousFileKept();
}

TEST_F(ConfigStorage, DirectoryInPlaceOfTheFile)
{
    const std::filesystem::path blocked = directory_.path() / "blocked.dat";
    std::filesystem::create_directory(blocked);
    EXPECT_FALSE(writeConfigFile(sample_, blocked.native()));
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
    EXPECT_THAT(directory_.entries(), testing::UnorderedElementsAre("config.dat", "blocked.dat"));
}

TEST_F(ConfigStorage, BodyBeyondSixteenBitsIsNotWritten)
{
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(writeConfigBytes(sample_, bytes));
    const size_t bodyLength = bytes.size() - 6;

    StreamSettingsSet largest(1);
    fillSample(largest);
    growNames(largest, 65535 - bodyLength);
    StreamSettingsSet tooLarge(1);
    fillSample(tooLarge);
    growNames(tooLarge, 65536 - bodyLength);

    const SaveResult refused = writeConfigFile(tooLarge, configPath());
    EXPECT_EQ(refused.fault, SaveFault::tooLarge);
    EXPECT_EQ(refused.bytesOver, 1);
    expectPreviousFileKept();

    ASSERT_TRUE(writeConfigFile(largest, configPath()));
    const std::vector<uint8_t> stored = fileBytes(configPath());
    ASSERT_EQ(stored.size(), 6u + 65535u);
    EXPECT_THAT(std::vector<uint8_t>(stored.begin() + 4, stored.begin() + 6), ElementsAre(0xFF, 0xFF));
    StreamSettingsSet loaded(1);
    ASSERT_TRUE(readConfigFile(loaded, configPath()));
    EXPECT_EQ(describePresets(loaded), describePresets(largest));
}

TEST_F(ConfigStorage, OutOfMemoryWhileComposingFailsTheSave)
{
    for (int successes : {0, 1, 3}) {
        SCOPED_TRACE(successes);
        StreamSettingsSet many(32);
        FailingAllocator allocator(successes);
        CaptureStderr();
        EXPECT_FALSE(writeConfigFile(many, configPath()));
        EXPECT_THAT(GetCapturedStderr(), testing::HasSubstr("Out of memory for Message allocation"));
        expectPreviousFileKept();
    }
}

TEST_F(ConfigStorage, OutOfMemoryWhileReadingLeavesThePresets)
{
    StreamSettingsSet presets(2);
    FailingAllocator allocator(1);  // the header fits, the body does not
    CaptureStderr();
    EXPECT_FALSE(readConfigFile(presets, configPath()));
    GetCapturedStderr();
    EXPECT_EQ(presets.count(), 2);
    EXPECT_FALSE(presets.setFlag_);
}

// Temporary files beside config.dat: each save its own, and those of ended
// saves cleared away once nothing has written them for a minute.
TEST_F(ConfigStorage, TemporaryFilesOfSavesAreTheirOwnAndThoseOfEndedSavesGoAway)
{
    const std::string own = ".config.dat." + std::to_string(currentProcessNumber()) + "-1.tmp";
    storeBytes(directory_.path() / own.substr(1), {1});  // an earlier save of this process left it
    FilePath created;
    const int file = createSaveTemporary(configPath(), created);
    ASSERT_GE(file, 0);
    closeFile(file);
    EXPECT_EQ(std::filesystem::path(created).filename(), "config.dat." + std::to_string(currentProcessNumber()) + "-2.tmp");

    const auto storeOld = [&](const std::string& name, uint8_t content) {
        storeBytes(directory_.path() / name, {content});
        std::filesystem::last_write_time(directory_.path() / name,
                                         std::filesystem::file_time_type::clock::now() - std::chrono::minutes(2));
    };
    storeOld("config.dat.tmp", 2);            // the one name of earlier versions
    storeOld("config.dat.4000001-1.tmp", 3);  // of a process that has ended
    // Just written: by a save of a process elsewhere (a shared folder) whose number means nothing here.
    storeBytes(directory_.path() / "config.dat.4000001-2.tmp", {4});
    storeOld("config.dat.backup.tmp", 5);                // not a save's
    storeOld("config.dat.99999999999999999999-1.tmp", 6);  // no process has such a number: not a save's
    std::vector<std::string> kept = {"config.dat", "config.dat.4000001-2.tmp", "config.dat.backup.tmp",
                                     "config.dat.99999999999999999999-1.tmp"};
#ifndef _WIN32
    const std::string running = "config.dat." + std::to_string(getppid()) + "-7.tmp";
    storeOld(running, 7);
    kept.push_back(running);
#endif
    // The saves' files among those kept (all but the first three), and the four to go.
    EXPECT_EQ(temporariesOfEarlierSaves(configPath()).size(), kept.size() - 3 + 4);

    removeTemporariesOfEndedSaves(configPath());
    EXPECT_THAT(directory_.entries(), testing::UnorderedElementsAreArray(kept));
}

// A path's folder names the save's folder in messages and is where earlier
// temporary files are looked for: a root keeps its separator.
TEST(FilePaths, FolderAndNameOfAPath)
{
    const auto ascii = [](const std::string& text) { return withSuffix(FilePath(), text); };
    const struct {
        std::string path, folder, name;
    } cases[] = {
#ifdef _WIN32
        {"C:\\Orvanta\\config.dat", "C:\\Orvanta", "config.dat"},
        {"C:\\config.dat", "C:\\", "config.dat"},
        {"C:config.dat", "C:", "config.dat"},
        {"\\\\server\\share\\config.dat", "\\\\server\\share", "config.dat"},
        {"C:/Orvanta//config.dat", "C:/Orvanta", "config.dat"},
#else
        {"/opt/riverra//config.dat", "/opt/riverra", "config.dat"},
        {"/config.dat", "/", "config.dat"},
#endif
        {"config.dat", "", "config.dat"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.path);
        EXPECT_EQ(folderOf(ascii(each.path)), ascii(each.folder));
        EXPECT_EQ(fileNameOf(ascii(each.path)), ascii(each.name));
    }
}

#ifndef _WIN32
TEST_F(ConfigStorage, ShortWriteKeepsThePreviousFile)
{
    StreamSettingsSet larger(20);
    for (size_t limit : {size_t{3}, size_t{6}, size_t{200}, previous_.size()}) {
        SCOPED_TRACE(limit);
        bool saved = true;
        {
            FileSizeLimit fileSize(limit);
            saved = static_cast<bool>(writeConfigFile(larger, configPath()));
        }
        EXPECT_FALSE(saved);
        expectPreviousFileKept();
    }
}
#endif

#ifdef _WIN32
TEST(ConfigStorageWide, DirectoryNamedOutsideTheAnsiCodePage)
{
    TemporaryDirectory directory(L"riverra-\u4E2D\u6587");
    const FilePath path = directory.file("config.dat");
    ASSERT_NE(path.find(L'\u4E2D'), FilePath::npos);

    StreamSettingsSet sample(1);
    fillSample(sample);
    ASSERT_TRUE(writeConfigFile(sample, path));
    ASSERT_TRUE(writeConfigFile(sample, path));  // and over an existing file
    EXPECT_TRUE(std::filesystem::exists(directory.path() / L"config.dat"));

    StreamSettingsSet loaded(1);
    ASSERT_TRUE(readConfigFile(loaded, path));
    EXPECT_EQ(describePresets(loaded), describePresets(sample));
    EXPECT_THAT(directory.entries(), ElementsAre("config.dat"));
}
#endif

}  // namespace
