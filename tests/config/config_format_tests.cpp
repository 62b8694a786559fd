// The layout of config.dat, and what the reader does with damaged files.
#include "persist/config_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "persist/message.h"
#include "tests/config/config_test_support.h"

namespace {

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

std::vector<uint8_t> written(StreamSettingsSet& presets)
{
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(writeConfigBytes(presets, bytes));
    return bytes;
}

bool readBytes(StreamSettingsSet& presets, const std::vector<uint8_t>& bytes)
{
    return readConfigBytes(presets, bytes.data(), bytes.size());
}

std::vector<uint8_t> payloadOf(const Message& message)
{
    return std::vector<uint8_t>(message.payload(), message.payload() + message.payloadSize());
}

StreamSettingsSet emptyCollection()
{
    StreamSettingsSet presets(1);
    presets.removePreset(0);
    return presets;
}

TEST(ConfigLayout, EmptyCollectionIsTwelveBytesAndReadsBackEmpty)
{
    StreamSettingsSet presets = emptyCollection();
    EXPECT_THAT(written(presets), ElementsAre(0x00, 0x00, 0xD7, 0x67, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF));
    EXPECT_EQ(presets.current_, 255);

    StreamSettingsSet loaded(3);
    ASSERT_TRUE(readBytes(loaded, {0x00, 0x00, 0xD7, 0x67, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF}));
    EXPECT_EQ(loaded.count(), 0);
    EXPECT_EQ(loaded.current_, 255);
}

TEST(ConfigLayout, DefaultCollectionIsHeaderAndOneFullRecord)
{
    StreamSettingsSet presets(1);
    const Bytes body = Bytes().u32(0).u8(1).u8(0).defaultPreset("Stream 1");
    EXPECT_THAT(written(presets), ElementsAreArray(body.asFile()));
}

TEST(ConfigLayout, SetFlagIsStoredAsOneAndAnyNonZeroValueReadsAsSet)
{
    StreamSettingsSet presets = emptyCollection();
    presets.setFlag_ = true;
    const std::vector<uint8_t> bytes = written(presets);
    EXPECT_THAT(std::vector<uint8_t>(bytes.begin() + 6, bytes.begin() + 10), ElementsAre(0, 0, 0, 1));

    StreamSettingsSet loaded(1);
    ASSERT_TRUE(readBytes(loaded, Bytes().u32(0x100).u8(0).u8(0).asFile()));
    EXPECT_TRUE(loaded.setFlag_);
    EXPECT_TRUE(loaded.changed_);
}

TEST(ConfigLayout, EndpointRecord)
{
    Message message;
    StreamEndpoint{"10.0.0.1", 5000, ""}.writeTo(message);
    EXPECT_THAT(payloadOf(message), ElementsAre(0x00, 0x00, 0x67, 0x36, 0x31, 0x30, 0x2E, 0x30, 0x2E, 0x30, 0x2E, 0x31,
                                                0x00, 0x00, 0x00, 0x13, 0x88, 0x00));
}

TEST(ConfigLayout, PresetRecordWithOneEndpointReadsEveryField)
{
    Message message;
    for (uint8_t byte : {0x00, 0x00, 0xFD, 0x4A, 0x43, 0x61, 0x6D, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0xC8,
                         0xFF, 0xFF, 0xFF, 0xD8, 0x01, 0x00, 0x00, 0x67, 0x36, 0x00, 0x00, 0x00, 0x25, 0xEE, 0x00})
        message.putByte(byte);

    StreamSettings preset;
    preset.setName("changed before");
    ASSERT_TRUE(preset.readFrom(message));
    EXPECT_EQ(describe(preset), "\"Cam\" protocol=1 sync=0 auto=1 jitter=200 lip=-40/-40 [:9710/]");
    EXPECT_FALSE(preset.isChanged());
    EXPECT_FALSE(message.truncated());
}

TEST(ConfigLayout, LargeDelaysKeepTheirSignAndTheLipSyncTextIsRebuilt)
{
    StreamSettings preset;
    preset.setJitterDelay(4000);
    preset.setLipSyncText("-0x0FA0");
    Message message;
    preset.writeTo(message);
    const std::vector<uint8_t> bytes = payloadOf(message);
    // magic, empty name, protocol, sync, auto jitter, then the two delays
    EXPECT_THAT(std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 16),
                ElementsAre(0x00, 0x00, 0x0F, 0xA0, 0xFF, 0xFF, 0xF0, 0x60));

    StreamSettings loaded;
    ASSERT_TRUE(loaded.readFrom(message));
    EXPECT_EQ(loaded.lipSync(), -4000);
    EXPECT_EQ(loaded.lipSyncText(), "-4000");
    EXPECT_EQ(loaded.endpointCount(), 10);
}

TEST(ConfigLayout, CurrentIndexBeyondThePresetsIsWrittenAsTheLastOne)
{
    StreamSettingsSet presets(3);
    presets.current_ = 7;
    const std::vector<uint8_t> bytes = written(presets);
    EXPECT_EQ(bytes[11], 2);
    EXPECT_EQ(presets.current_, 2);
}

TEST(ConfigRoundTrip, WriteReadWriteReproducesTheBytesAndThePresets)
{
    StreamSettingsSet original(1);
    fillSample(original);
    const std::vector<uint8_t> first = written(original);

    StreamSettingsSet loaded(5);
    ASSERT_TRUE(readBytes(loaded, first));
    EXPECT_EQ(describePresets(loaded), describePresets(original));
    EXPECT_TRUE(loaded.setFlag_);
    EXPECT_EQ(written(loaded), first);
}

TEST(ConfigRoundTrip, LoadTakesTheCountFromTheFile)
{
    StreamSettingsSet three(1);
    fillSample(three);
    const std::vector<uint8_t> bytes = written(three);

    StreamSettingsSet fewer(1);
    ASSERT_TRUE(readBytes(fewer, bytes));
    EXPECT_EQ(fewer.count(), 3);

    StreamSettingsSet more(6);
    ASSERT_TRUE(readBytes(more, bytes));
    EXPECT_EQ(describePresets(more), describePresets(three));
}

TEST(ConfigRead, OutOfRangeProtocolBecomesOffAndCurrentIsClamped)
{
    const Bytes body = Bytes().u32(0).u8(1).u8(9).u32(0xFD4A).str("odd").u8(0xFD).u8(0).u8(0).u32(0).u32(0).u8(0);
    StreamSettingsSet presets(1);
    presets.current_ = 0;
    ASSERT_TRUE(readBytes(presets, body.asFile()));
    EXPECT_EQ(presets.at(0).protocol(), 0);
    EXPECT_EQ(presets.at(0).name(), "odd");
    EXPECT_EQ(presets.current_, 0);
}

TEST(ConfigRead, BytesAfterTheRecordsAndAfterTheBodyAreIgnored)
{
    StreamSettingsSet original(2);
    const std::vector<uint8_t> plain = written(original);

    Bytes body = Bytes().append(std::vector<uint8_t>(plain.begin() + 6, plain.end())).u32(0xDEADBEEF);
    std::vector<uint8_t> file = body.asFile();
    file.insert(file.end(), {0x00, 0x00, 0xD7, 0x67, 0xFF, 0xFF, 0x42});

    StreamSettingsSet loaded(1);
    ASSERT_TRUE(readBytes(loaded, file));
    EXPECT_EQ(describePresets(loaded), describePresets(original));
}

// A collection with known content, to see what a rejected load leaves behind.
class DamagedFile : public testing::Test {
protected:
    void SetUp() override
    {
        fillSample(presets_);
        before_ = describePresets(presets_);
        validFile_ = written(presets_);
        presets_.setFlag_ = false;
        presets_.clearChanged();
    }

    // The load fails and leaves the presets and the set flag alone.
    void expectRejectedUntouched(const std::vector<uint8_t>& file)
    {
        EXPECT_FALSE(readBytes(presets_, file));
        EXPECT_EQ(describePresets(presets_), before_);
        EXPECT_FALSE(presets_.setFlag_);
        EXPECT_FALSE(presets_.anyChanged());
    }

    // The load fails after it took the file's set flag (true, so a change).
    void expectRejectedAfterSetFlag(const std::vector<uint8_t>& file)
    {
        EXPECT_FALSE(readBytes(presets_, file));
        EXPECT_EQ(describePresets(presets_), before_);
        EXPECT_TRUE(presets_.setFlag_);
        EXPECT_TRUE(presets_.changed_);
    }

    StreamSettingsSet presets_{1};
    std::string before_;
    std::vector<uint8_t> validFile_;
};

TEST_F(DamagedFile, EmptyOrShortHeader)
{
    expectRejectedUntouched({});
    expectRejectedUntouched({0x00, 0x00, 0xD7, 0x67, 0x00});
}

TEST_F(DamagedFile, WrongFileMagic)
{
    std::vector<uint8_t> file = validFile_;
    file[3] = 0x68;
    expectRejectedUntouched(file);
}

TEST_F(DamagedFile, FileEndsInsideTheAnnouncedBody)
{
    validFile_.pop_back();
    expectRejectedUntouched(validFile_);
}

TEST_F(DamagedFile, BodyTooShortForTheSetFlag)
{
    CaptureStderr();
    expectRejectedUntouched(Bytes().u8(0).u8(0).u8(1).asFile());
    EXPECT_THAT(GetCapturedStderr(), HasSubstr("Reading post the end of the message"));
}

TEST_F(DamagedFile, WrongMagicOfTheSecondPreset)
{
    const Bytes body = Bytes().u32(1).u8(2).u8(1).defaultPreset("first").u32(0xFD4B);
    expectRejectedAfterSetFlag(body.asFile());
}

TEST_F(DamagedFile, WrongMagicOfAnEndpoint)
{
    std::vector<uint8_t> file = Bytes().u32(1).u8(1).u8(0).defaultPreset("one").asFile();
    const size_t firstEndpoint = 6 + 6 + 4 + 4 + 3 + 8 + 1;
    ASSERT_EQ(file[firstEndpoint + 3], 0x36);
    file[firstEndpoint + 3] = 0x37;
    expectRejectedAfterSetFlag(file);
}

TEST_F(DamagedFile, MorePresetsThanACollectionHolds)
{
    for (int count : {33, 127, 128, 255}) {
        SCOPED_TRACE(count);
        Bytes body = Bytes().u32(1).u8(static_cast<uint8_t>(count)).u8(0);
        for (int index = 0; index < count; ++index)
            body.defaultPreset("p");
        expectRejectedAfterSetFlag(body.asFile());
        presets_.setFlag_ = false;
        presets_.changed_ = false;
    }
}

TEST_F(DamagedFile, ThirtyTwoPresetsAreStillAccepted)
{
    Bytes body = Bytes().u32(0).u8(32).u8(31);
    for (int index = 0; index < 32; ++index)
        body.defaultPreset("p" + std::to_string(index));
    ASSERT_TRUE(readBytes(presets_, body.asFile()));
    EXPECT_EQ(presets_.count(), 32);
    EXPECT_EQ(presets_.at(31).name(), "p31");
    EXPECT_EQ(presets_.current_, 31);
}

TEST_F(DamagedFile, RecordsCutShortInsideTheBody)
{
    // The body length is consistent with the file, but the records end early.
    const std::vector<uint8_t> whole = Bytes().u32(1).u8(1).u8(0).defaultPreset("one").data();
    for (size_t cut : {whole.size() - 1, whole.size() - 3, size_t{9}, size_t{5}}) {
        SCOPED_TRACE(cut);
        CaptureStderr();
        expectRejectedAfterSetFlag(Bytes().append(std::vector<uint8_t>(whole.begin(), whole.begin() + cut)).asFile());
        GetCapturedStderr();
        presets_.setFlag_ = false;
        presets_.changed_ = false;
    }
}

}  // namespace
