// riverra-presets end to end within one process: command line in, files and
// streams out.
#include "tool/presets_tool.h"
#include "tool/tool_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "model/protocol_table.h"
#include "persist/config_file.h"
#include "tests/config/config_test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using testing::HasSubstr;

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

ToolRun runTool(const std::vector<std::string>& arguments, const std::string& input = "")
{
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream err;
    ToolIo io{in, out, err};
    const int exitCode = runPresetsTool(arguments, io);
    return {exitCode, out.str(), err.str()};
}

std::string dataFile(const char* name)
{
    return std::string(RIVERRA_TOOL_TEST_DATA) + "/" + name;
}

std::string textOf(const std::filesystem::path& path)
{
    const std::vector<uint8_t> bytes = fileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::vector<uint8_t> bytesOf(StreamSettingsSet presets)
{
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(writeConfigBytes(presets, bytes));
    return bytes;
}

// A document of the given presets (the text of the array's elements).
std::string document(const std::string& presets, const std::string& more = "")
{
    return "{ \"format\": \"riverra-presets\", \"version\": 1, " + more + "\"presets\": [ " + presets + " ] }";
}

class PresetsTool : public testing::Test {
protected:
    std::string path(const char* name) const { return (directory_.path() / name).u8string(); }

    // Writes `text` into a file of the test's directory and returns its path.
    std::string store(const char* name, const std::string& text) const
    {
        storeBytes(directory_.path() / name, std::vector<uint8_t>(text.begin(), text.end()));
        return path(name);
    }
    std::string store(const char* name, const std::vector<uint8_t>& bytes) const
    {
        storeBytes(directory_.path() / name, bytes);
        return path(name);
    }

    TemporaryDirectory directory_{"riverra-presets"};
};

TEST_F(PresetsTool, ExportOfTheSampleFileGivesTheGoldenJson)
{
    const std::string golden = textOf(dataFile("sample.json"));
    const ToolRun toStream = runTool({"export", dataFile("sample.dat")});
    EXPECT_EQ(toStream.exitCode, 0) << toStream.err;
    EXPECT_EQ(toStream.out, golden);

    const ToolRun toFile = runTool({"export", dataFile("sample.dat"), "-o", path("out.json")});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_EQ(textOf(path("out.json")), golden);
}

TEST_F(PresetsTool, ShowMarksThePresetShownFirstAndTheEndpointInForce)
{
    const ToolRun run = runTool({"show", dataFile("sample.dat")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("\n   0  Studio A "));
    EXPECT_THAT(run.out, HasSubstr("\n*  1  Caf\xC3\xA9 \xC2\xABnord\xC2\xBB "));
    EXPECT_THAT(run.out, HasSubstr(" RTSP over TCP  "));
    EXPECT_THAT(run.out, HasSubstr(" cam-a.studio.local:8554, stream live/main "));
    EXPECT_THAT(run.out, HasSubstr(" port 5000 "));
    // The control characters U+0081 and U+009D of a name, written out.
    EXPECT_THAT(run.out, HasSubstr("\n   3  B\xC3\xBChne \xE2\x82\xAC \\u0081\\u009D  Transport Stream over UDP "));
}

TEST_F(PresetsTool, ShowUrlsGivesEachSourceAsPlayersTakeIt)
{
    const ToolRun sample = runTool({"show", dataFile("sample.dat"), "--urls"});
    EXPECT_EQ(sample.exitCode, 0) << sample.err;
    EXPECT_THAT(sample.out, testing::StartsWith("   #  Name                  Protocol                              URL\n"));
    EXPECT_THAT(sample.out, HasSubstr("\n   0  Studio A              RTSP over TCP                         "
                                      "rtsp://cam-a.studio.local:8554/live/main\n"));
    EXPECT_THAT(sample.out, HasSubstr(" Transport Stream over UDP Multicast   udp://@239.1.2.3:1234\n"));
    EXPECT_THAT(sample.out, HasSubstr(" Corvane Streaming over UDP Multicast  -\n"));
    EXPECT_THAT(sample.out, HasSubstr(" udp://@:5000\n* shown first when the editor opens\n"));

    // The URL's texts come from the code page like the names do.
    StreamSettingsSet presets(2);
    presets.at(0).selectProtocol(5);
    presets.at(0).setHost("cam");
    presets.at(0).setStreamName("B\xFChne 1");
    presets.at(1).selectProtocol(3);
    const ToolRun run = runTool({"show", "--urls", store("config.dat", bytesOf(presets))});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr(" RTSP over UDP              rtsp://cam:554/B\xC3\xBChne%201\n"));
    EXPECT_THAT(run.out, HasSubstr(" Transport Stream over TCP  tcp://0.0.0.0:9710?listen\n"));
}

TEST_F(PresetsTool, ImportFillsDefaultsSharesValuesAndReportsClamps)
{
    const std::string json = document(R"(
        { "name": "Cam", "protocol": "rtsp-multi", "lip_sync_ms": -4500,
          "endpoints": { "rtsp-tcp": { "host": "10.0.0.7", "port": 70000 } } },
        { "name": "Feed", "protocol": "ts-tcp", "auto_jitter": true, "jitter_delay_ms": 5000,
          "endpoints": { "ts-udp": { "port": 6000 } } })");
    const ToolRun run = runTool({"import", store("in.json", json), "-o", path("config.dat")});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    StreamSettingsSet expected(2);
    StreamSettings& cam = expected.at(0);
    cam.setName("Cam");
    cam.selectProtocol(6);
    cam.setHost("10.0.0.7");
    cam.setPort(65535);
    cam.setLipSyncText("-4000");
    StreamSettings& feed = expected.at(1);
    feed.setName("Feed");
    feed.selectProtocol(3);
    feed.setPort(6000);
    feed.setJitterDelay(4000);
    feed.setAutoJitter(true);
    EXPECT_EQ(fileBytes(path("config.dat")), bytesOf(expected));

    EXPECT_THAT(run.err, HasSubstr("presets[0].endpoints.rtsp-udp.port: 70000 is out of range, stored as 65535"));
    EXPECT_THAT(run.err, HasSubstr("presets[0].lip_sync_ms: -4500 is out of range, stored as -4000"));
    EXPECT_THAT(run.err, HasSubstr("presets[1].jitter_delay_ms: 5000 is out of range, stored as 4000"));
}

// The fullest collection the editor can write: 32 presets, every field that
// applies at its typing limit, texts with every byte of the code page.
StreamSettingsSet fullestCollection()
{
    StreamSettingsSet presets(StreamSettingsSet::kMaxPresets);
    auto text = [](int seed, int length) {
        std::string value;
        for (int index = 0; index < length; ++index)
            value.push_back(static_cast<char>(0x20 + (seed + index) % 0xE0));
        return value;
    };
    for (int index = 0; index < presets.count(); ++index) {
        StreamSettings& preset = presets.at(index);
        preset.setName(text(index * 40, kMaxNameCharacters));
        for (int protocol = 1; protocol < 10; ++protocol) {
            preset.selectProtocol(protocol);
            preset.setPort(65535 - protocol);
            if (keywordUsesHost(preset.protocolKeyword()))
                preset.setHost(text(index + protocol, kMaxHostCharacters));
            if (keywordUsesStreamName(preset.protocolKeyword()))
                preset.setStreamName(text(index * 7, kMaxStreamNameCharacters));
        }
        preset.selectProtocol(index % 10);
        preset.setJitterDelay(index % 2 ? 4000 : -4000);
        preset.setAutoJitter(index % 3 == 0);
        preset.setSync(index % 4 == 0);
        preset.setLipSyncText(index % 2 ? "4000" : "-4000");
    }
    presets.setFlag_ = true;
    presets.current_ = 31;
    return presets;
}

TEST_F(PresetsTool, ExportThenImportGivesTheSameBytes)
{
    StreamSettingsSet empty(1);
    empty.removePreset(0);
    StreamSettingsSet sample(1);
    fillSample(sample);
    const std::vector<std::pair<const char*, StreamSettingsSet>> collections = {
        {"default", StreamSettingsSet(1)}, {"empty", empty}, {"sample", sample}, {"fullest", fullestCollection()}};
    for (const auto& [name, presets] : collections) {
        SCOPED_TRACE(name);
        const std::vector<uint8_t> original = bytesOf(presets);
        ASSERT_FALSE(original.empty());
        const ToolRun exported = runTool({"export", store("original.dat", original)});
        ASSERT_EQ(exported.exitCode, 0) << exported.err;
        const ToolRun imported = runTool({"import", "-", "-o", path("copy.dat")}, exported.out);
        ASSERT_EQ(imported.exitCode, 0) << imported.err;
        EXPECT_EQ(imported.err, "");
        EXPECT_EQ(fileBytes(path("copy.dat")), original);
    }
}

TEST_F(PresetsTool, MergeReplacesPresetsByNameAppendsTheOthersAndKeepsSetFlagAndCurrent)
{
    StreamSettingsSet existing(3);
    existing.at(1).setLipSyncText("120");
    existing.setFlag_ = true;
    existing.current_ = 2;
    const std::string config = store("config.dat", bytesOf(existing));
    const std::string json = document(R"({ "name": "Stream 2", "protocol": "ts-udp" }, { "name": "New" })",
                                      R"("set_flag": false, "current": 0, )");
    const ToolRun run = runTool({"import", store("in.json", json), "-o", config, "--merge"});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    StreamSettingsSet expected(3);
    expected.at(1).selectProtocol(1);  // a new preset's values besides: the lip-sync is gone
    expected.addPreset();
    expected.at(3).setName("New");
    expected.setFlag_ = true;
    expected.current_ = 2;
    EXPECT_EQ(fileBytes(config), bytesOf(expected));
}

// A name longer than the name field (a device's uuid, a camera and its
// profile) is cut with an ellipsis, which the name counts; merging it again
// replaces the preset that the first merge added.
TEST_F(PresetsTool, LongNamesAreCutAtACharacterAndMergeAgainByTheirCutName)
{
    const std::string longName = "Stage Left \xC3\xA9tage / urn:uuid:6c8a1f3e-0b7d-4e55-9a2c-31f0d2e4b5a6";
    const std::string json = document("{ \"name\": \"" + longName + "\", \"protocol\": \"ts-udp\" }");
    const std::string config = store("config.dat", bytesOf(StreamSettingsSet(1)));
    for (int run = 0; run < 2; ++run) {
        const ToolRun merged = runTool({"import", store("in.json", json), "-o", config, "--merge"});
        ASSERT_EQ(merged.exitCode, 0) << merged.err;
        EXPECT_THAT(merged.err, HasSubstr("presets[0].name: 64 characters; the editor takes at most 40, stored as "
                                          "\"Stage Left \xC3\xA9tage / urn:uuid:6c8a1f3e-0b\xE2\x80\xA6\""));
    }
    StreamSettingsSet stored(1);
    const std::vector<uint8_t> bytes = fileBytes(config);
    ASSERT_TRUE(readConfigBytes(stored, bytes.data(), bytes.size()));
    ASSERT_EQ(stored.count(), 2);
    EXPECT_EQ(stored.at(1).name(), "Stage Left \xE9tage / urn:uuid:6c8a1f3e-0b\x85");  // code page 1252
}

TEST_F(PresetsTool, RefusedInputSaysWhereAndLeavesTheTargetUntouched)
{
    std::string thirtyThree;
    for (int index = 0; index < 33; ++index)
        thirtyThree += std::string(index ? ", " : "") + "{ \"name\": \"p\" }";
    // Every text at its limit, also where the protocol does not use it.
    const std::string longest = "{ \"host\": \"" + std::string(128, 'h') + "\", \"stream_name\": \"" +
                                std::string(250, 's') + "\" }";
    std::string huge;
    for (int index = 0; index < 32; ++index) {
        huge += std::string(index ? ", " : "") + "{ \"name\": \"p\", \"endpoints\": { ";
        for (const char* keyword : {"off", "ts-udp", "ts-multi", "ts-tcp", "ts-tcp-pull", "cds-udp", "cds-multi"})
            huge += std::string(keyword[0] == 'o' ? "" : ", ") + "\"" + keyword + "\": " + longest;
        huge += " } }";
    }
    const struct {
        const char* what;
        std::string json;
        std::string refusal;
        std::vector<std::string> options = {};
    } cases[] = {
        {"syntax error", "{\n  \"format\": \"riverra-presets\",\n  \"presets\": [ { \"name\": \"a\", } ]\n}",
         "line 3, column 31"},
        {"unknown key", document(R"({ "name": "a", "protocl": "off" })"), "presets[0].protocl: unknown key"},
        {"key given twice", document(R"({ "name": "a", "endpoints": { "off": { "port": 1, "port": 2 } } })"),
         "presets[0].endpoints.off.port: given twice"},
        {"protocol keyword", document(R"({ "name": "a" }, { "name": "b", "protocol": "rtsp" })"),
         "presets[1].protocol: \"rtsp\" is not a protocol"},
        {"port as text", document(R"({ "name": "a", "endpoints": { "cds-udp": { "port": "554" } } })"),
         "presets[0].endpoints.cds-udp.port: expected a 32-bit integer, found a text"},
        {"RTSP hosts differ when strict",
         document(R"({ "name": "a", "endpoints": { "rtsp-udp": { "host": "x" }, "rtsp-tcp": { "host": "y" } } })"),
         "presets[0].endpoints.rtsp-tcp.host: differs from presets[0].endpoints.rtsp-udp.host", {"--strict"}},
        {"33 presets", document(thirtyThree), "presets: 33 presets; config.dat holds at most 32"},
        {"name of 41 characters when strict", document("{ \"name\": \"" + std::string(41, 'n') + "\" }"),
         "presets[0].name: 41 characters; the editor takes at most 40", {"--strict"}},
        {"outside code page 1252", document(R"({ "name": "Cam \u4E2D" })"),
         "presets[0].name: holds the character U+4E2D, which code page 1252 cannot hold"},
        {"body beyond 16 bits", document(huge), "65,535 bytes"},
        {"out of range when strict", document(R"({ "name": "a", "endpoints": { "ts-multi": { "port": 70000 } } })"),
         "presets[0].endpoints.ts-multi.port: 70000 is out of range", {"--strict"}},
    };
    StreamSettingsSet sample(1);
    fillSample(sample);
    const std::vector<uint8_t> before = bytesOf(sample);
    const std::string config = store("config.dat", before);
    for (const auto& refused : cases) {
        SCOPED_TRACE(refused.what);
        std::vector<std::string> arguments = {"import", store("in.json", refused.json), "-o", config};
        arguments.insert(arguments.end(), refused.options.begin(), refused.options.end());
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_THAT(run.err, HasSubstr(refused.refusal));
        EXPECT_EQ(fileBytes(config), before);
    }
}

TEST_F(PresetsTool, StrictNamesEveryProblemAtOnce)
{
    const std::string json = document(R"(
        { "name": "a", "lip_sync_ms": 5000,
          "endpoints": { "rtsp-udp": { "host": "x" }, "rtsp-tcp": { "host": "y" } } },
        { "name": "b", "jitter_delay_ms": 9000 })");
    const ToolRun run = runTool({"import", "-", "-o", path("config.dat"), "--strict"}, json);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "standard input: presets[0].endpoints.rtsp-tcp.host: differs from "
                       "presets[0].endpoints.rtsp-udp.host; the RTSP endpoints share one host\n"
                       "standard input: presets[0].lip_sync_ms: 5000 is out of range (4000 would be stored)\n"
                       "standard input: presets[1].jitter_delay_ms: 9000 is out of range (4000 would be stored)\n"
                       "standard input: refused; " + path("config.dat") + " is not written\n");
}

TEST_F(PresetsTool, CheckSaysWhereTheReaderStops)
{
    Bytes twoPresets = Bytes().u32(0).u8(2).u8(0).defaultPreset("first").defaultPreset("second");
    std::vector<uint8_t> wrongMagic = twoPresets.asFile();
    // Header 6, body fields 6, first record 217, second record's fields 23,
    // then endpoints 0 to 3 of 10, 10, 23 and 10 bytes.
    const size_t endpointFour = 6 + 6 + 217 + 23 + 10 + 10 + 23 + 10;
    ASSERT_EQ(wrongMagic[endpointFour + 3], 0x36);
    wrongMagic[endpointFour + 3] = 0x37;
    std::vector<uint8_t> cutShort = twoPresets.asFile();
    cutShort.resize(cutShort.size() - 10);
    std::vector<uint8_t> recordsCut = Bytes().u32(0).u8(1).u8(0).defaultPreset("one").data();
    recordsCut.resize(recordsCut.size() - 3);
    Bytes tooMany = Bytes().u32(0).u8(33).u8(0);

    const struct {
        const char* what;
        std::vector<uint8_t> file;
        std::string fault;
    } cases[] = {
        {"endpoint magic", wrongMagic,
         "byte 305: preset 1, endpoint 4: expected endpoint magic 00 00 67 36, found 00 00 67 37"},
        {"file cut short", cutShort,
         "byte 437: expected a body of 441 bytes (the length in the header), found the end of the file after 431 bytes"},
        {"records cut short", Bytes().append(recordsCut).asFile(),
         "byte 224: preset 0, endpoint 9: expected the rest of the endpoint record, found the end of the body"},
        {"preset count", tooMany.asFile(), "byte 10: expected a preset count of at most 32, found 33"},
    };
    for (const auto& damaged : cases) {
        SCOPED_TRACE(damaged.what);
        const ToolRun run = runTool({"check", store("damaged.dat", damaged.file)});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_THAT(run.err, HasSubstr(damaged.fault));
    }

    const ToolRun accepted = runTool({"check", dataFile("sample.dat")});
    EXPECT_EQ(accepted.exitCode, 0);
    EXPECT_THAT(accepted.out, HasSubstr(": accepted, 4 presets"));
}

// A backup that will not come back byte for byte says so before it is needed.
TEST_F(PresetsTool, CheckNamesEachStoredValueThatASaveChanges)
{
    Bytes body = Bytes().u32(2).u8(1).u8(5);  // set flag 2, one preset, current preset 5
    body.u32(0xFD4A).str("Cam").u8(12).u8(2).u8(1).u32(0).u32(5000).u8(10);  // no protocol 12, sync 2, lip-sync 5000
    for (int protocol = 0; protocol < 10; ++protocol)
        body.endpoint("", protocol == 3 ? 70000 : 0, "");
    std::vector<uint8_t> file = body.asFile();
    file.push_back(0x42);
    const ToolRun run = runTool({"check", store("odd.dat", file)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string config = path("odd.dat");
    EXPECT_EQ(run.out, config + ": accepted, 1 preset\n" +
                           config + ": byte 6: the set flag is stored as 00 00 00 02; a save stores 00 00 00 01\n" +
                           config + ": byte 20: preset 0: the protocol is stored as 12, which is none; a save stores 0 (off)\n" +
                           config + ": byte 21: preset 0: sync is stored as 2; a save stores 1\n" +
                           config + ": byte 11: the current preset is stored as 5, beyond the last; a save stores 0\n" +
                           config + ": byte " + std::to_string(file.size() - 1) + ": data after the body; a save leaves it out\n" +
                           config + ": presets[0].endpoints.ts-tcp.port: 70000 is out of range, stored as 65535\n" +
                           config + ": presets[0].lip_sync_ms: 5000 is out of range, stored as 4000\n" +
                           config + ": comes back from export | import as a Save writes it, not byte for byte\n");
}

// The promise of check, against every single-byte variant of the sample that
// the reader accepts: without a note, export | import gives the file back byte
// for byte; with one, as a Save writes it.
TEST_F(PresetsTool, BackupsComeBackAsCheckPromises)
{
    const std::vector<uint8_t> sample = fileBytes(dataFile("sample.dat"));
    const std::string variantPath = path("variant.dat");
    int accepted = 0;
    int noted = 0;
    for (size_t position = 0; position < sample.size(); ++position) {
        const uint8_t original = sample[position];
        // Within texts one variant is as good as another.
        const bool textByte = original >= 0x20 && original < 0x7F;
        for (const uint8_t value : {uint8_t(0xFF), uint8_t(original ^ 0x01)}) {
            if (value == original || (textByte && value != 0xFF))
                continue;
            std::vector<uint8_t> variant = sample;
            variant[position] = value;
            storeBytes(variantPath, variant);
            const ToolRun check = runTool({"check", variantPath});
            if (check.exitCode != 0)
                continue;
            ++accepted;
            SCOPED_TRACE("byte " + std::to_string(position) + " = " + std::to_string(value) + "\n" + check.out);
            StreamSettingsSet read(1);
            ASSERT_TRUE(readConfigBytes(read, variant.data(), variant.size()));
            read.validateAll();
            const std::vector<uint8_t> saved = bytesOf(read);
            const bool hasNotes = check.out.find('\n') + 1 < check.out.size();
            EXPECT_EQ(hasNotes, saved != variant);
            noted += hasNotes;

            const ToolRun exported = runTool({"export", variantPath});
            ASSERT_EQ(exported.exitCode, 0) << exported.err;
            const ToolRun imported = runTool({"import", "-", "-o", path("copy.dat")}, exported.out);
            ASSERT_EQ(imported.exitCode, 0) << imported.err;
            EXPECT_EQ(fileBytes(path("copy.dat")), hasNotes ? saved : variant);
        }
    }
    RecordProperty("accepted", accepted);
    RecordProperty("noted", noted);
    EXPECT_GT(accepted, 500);
    EXPECT_GT(noted, 100);
}

// Standard output on a full disk: what was printed never arrived.
struct FullDisk : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
};

ToolRun runToFullDisk(const std::vector<std::string>& arguments)
{
    FullDisk fullDisk;
    std::istringstream in;
    std::ostream out(&fullDisk);
    std::ostringstream err;
    ToolIo io{in, out, err};
    const int exitCode = runPresetsTool(arguments, io);
    return {exitCode, "", err.str()};
}

TEST_F(PresetsTool, UsageErrorsAndUnwritableOutputHaveTheirOwnExitCodes)
{
    EXPECT_EQ(runTool({"import", dataFile("sample.json")}).exitCode, 2);  // no -o
    EXPECT_EQ(runTool({"--codepage", "12345", "show", dataFile("sample.dat")}).exitCode, 2);
    // A log-in without its password, and a CONFIG nothing is added to, do less than asked.
    EXPECT_EQ(runTool({"discover", "--user", "operator"}).exitCode, 2);
    EXPECT_EQ(runTool({"discover", path("config.dat")}).exitCode, 2);
    // "-" is standard input or output, or refused where a file must be replaced.
    const ToolRun toStream = runTool({"import", dataFile("sample.json"), "-o", "-"});
    EXPECT_EQ(toStream.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists("-"));
    const ToolRun fromStream = runTool({"check", "-"}, textOf(dataFile("sample.dat")));
    EXPECT_EQ(fromStream.out, "standard input: accepted, 4 presets\n") << fromStream.err;

    const ToolRun exported = runToFullDisk({"export", dataFile("sample.dat")});
    EXPECT_EQ(exported.exitCode, 3);
    EXPECT_EQ(exported.err, "standard output: cannot be written\n");
    // The file was written before the report of it was lost.
    const ToolRun imported = runToFullDisk({"import", dataFile("sample.json"), "-o", path("config.dat")});
    EXPECT_EQ(imported.exitCode, 3);
    EXPECT_EQ(imported.err, "standard output: cannot be written; " + path("config.dat") + " was written all the same\n");
}

// Every "cannot be opened" and "cannot be written" carries the system's
// reason, and none claims an old file was kept where there was none.
TEST_F(PresetsTool, FailuresSayWhyAndWhetherAnOldFileIsKept)
{
    const auto expectReason = [](const ToolRun& run, const std::string& start) {
        EXPECT_THAT(run.err, testing::StartsWith(start));
        EXPECT_GT(run.err.size(), start.size() + 3) << run.err;  // the system's words follow
        EXPECT_THAT(run.err, testing::Not(HasSubstr("kept")));
    };
    expectReason(runTool({"show", path("missing.dat")}), path("missing.dat") + ": cannot be opened: ");
    expectReason(runTool({"import", path("missing.json"), "-o", path("config.dat")}),
                 path("missing.json") + ": cannot be opened: ");
    const ToolRun exportToNowhere = runTool({"export", dataFile("sample.dat"), "-o", path("nodir/out.json")});
    EXPECT_EQ(exportToNowhere.exitCode, 3);
    expectReason(exportToNowhere, path("nodir/out.json") + ": cannot be written: ");
    const ToolRun importToNowhere = runTool({"import", dataFile("sample.json"), "-o", path("nodir/config.dat")});
    EXPECT_EQ(importToNowhere.exitCode, 3);
    expectReason(importToNowhere, path("nodir/config.dat") + ": cannot be written: ");
#ifndef _WIN32
    EXPECT_EQ(runTool({"show", directory_.path().u8string()}).err,
              directory_.path().u8string() + ": cannot be opened: " + std::strerror(EISDIR) + "\n");
#endif

    // A name that would recolour the console is shown written out.
    const std::string json = document(R"({ "name": "\u001B[31mRed" })");
    const ToolRun dryRun = runTool({"import", "-", "-o", path("new.dat"), "--dry-run"}, json);
    EXPECT_EQ(dryRun.out, path("new.dat") + ": would be created, 1 preset\n");
    const ToolRun merged = runTool({"import", "-", "-o", store("config.dat", bytesOf(StreamSettingsSet(1))), "--dry-run"},
                                   json);
    EXPECT_THAT(merged.out, HasSubstr(": preset 0 \"\\u001B[31mRed\" would change\n"));
}

#ifndef _WIN32
// A config.dat of a service account, reached through a link: replaced files
// keep their owner and permissions, and the link keeps pointing at them.
TEST_F(PresetsTool, ReplacedFilesKeepTheirOwnerModeAndLinks)
{
    const bool administrator = geteuid() == 0;
    const uid_t owner = administrator ? 65534 : geteuid();  // nobody, where the test may give files away
    const gid_t group = administrator ? 65534 : getegid();
    std::filesystem::create_directory(directory_.path() / "service");
    const struct {
        std::vector<std::string> arguments;
        const char* file;
    } replacements[] = {
        {{"import", dataFile("sample.json"), "-o"}, "config.dat"},
        {{"export", dataFile("sample.dat"), "-o"}, "presets.json"},
    };
    for (const auto& replacement : replacements) {
        SCOPED_TRACE(replacement.file);
        const std::filesystem::path target = directory_.path() / "service" / replacement.file;
        const std::vector<uint8_t> old = bytesOf(StreamSettingsSet(1));
        storeBytes(target, old);
        ASSERT_EQ(chown(target.c_str(), owner, group), 0);
        ASSERT_EQ(chmod(target.c_str(), 0640), 0);
        const std::filesystem::path link = directory_.path() / replacement.file;
        std::filesystem::create_symlink(std::filesystem::path("service") / replacement.file, link);

        std::vector<std::string> arguments = replacement.arguments;
        arguments.push_back(link.u8string());
        const ToolRun run = runTool(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_NE(fileBytes(target), old);
        struct stat status = {};
        ASSERT_EQ(stat(target.c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, 0640u);
        EXPECT_EQ(status.st_uid, owner);
        EXPECT_EQ(status.st_gid, group);
    }
    EXPECT_THAT(directory_.entries(), testing::UnorderedElementsAre("service", "config.dat", "presets.json"));
}

TEST_F(PresetsTool, ExportOntoAFullDiskKeepsTheOldFile)
{
    const std::string old = "{ \"an\": \"earlier export\" }\n";
    const std::string target = store("presets.json", old);
    int exitCode = 0;
    {
        FileSizeLimit fullDisk(200);  // the export of the sample is larger
        exitCode = runTool({"export", dataFile("sample.dat"), "-o", target}).exitCode;
    }
    EXPECT_EQ(exitCode, 3);
    EXPECT_EQ(textOf(target), old);
    EXPECT_THAT(directory_.entries(), testing::ElementsAre("presets.json"));
}
#endif

// A config.dat of another program (or an older version) whose RTSP endpoints
// disagree: backup and restore must still give it back.
TEST_F(PresetsTool, DifferingSharingGroupRoundTripsAndIsRefusedOnlyWhenStrict)
{
    StreamSettingsSet presets(1);
    const char* hosts[] = {"cam-a", "cam-b", "cam-c"};
    int rtsp = 0;
    for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
        if (!isRtspKeyword(protocolKeyword(protocol)))
            continue;
        StreamEndpoint endpoint = presets.at(0).endpoint(protocol);
        endpoint.host_ = hosts[rtsp++ % 3];
        presets.at(0).setEndpointAsGiven(protocol, endpoint);
    }
    ASSERT_EQ(rtsp, 3);
    const std::vector<uint8_t> original = bytesOf(presets);
    const ToolRun exported = runTool({"export", store("original.dat", original)});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;

    const ToolRun imported = runTool({"import", "-", "-o", path("copy.dat")}, exported.out);
    EXPECT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_EQ(fileBytes(path("copy.dat")), original);
    EXPECT_THAT(imported.err, HasSubstr("host: differs from presets[0].endpoints.rtsp-udp.host; the RTSP endpoints share "
                                        "one host; taken as given"));

    const ToolRun strict = runTool({"import", "-", "-o", path("strict.dat"), "--strict"}, exported.out);
    EXPECT_EQ(strict.exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(path("strict.dat")));
}

// For deployment tools that apply a step only when it changes something.
TEST_F(PresetsTool, ImportLeavesAnEqualFileAloneAndDryRunSaysWhatWouldChange)
{
    const std::string config = path("config.dat");
    const std::string sample = dataFile("sample.json");
    ASSERT_EQ(runTool({"import", sample, "-o", config}).exitCode, 0);
    const std::vector<uint8_t> written = fileBytes(config);
    const auto longAgo = std::filesystem::last_write_time(config) - std::chrono::hours(24);
    std::filesystem::last_write_time(config, longAgo);

    const ToolRun again = runTool({"import", sample, "-o", config});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_THAT(again.out, HasSubstr(": unchanged, 4 presets"));
    EXPECT_EQ(std::filesystem::last_write_time(config), longAgo);
    const ToolRun dryUnchanged = runTool({"import", sample, "-o", config, "--dry-run"});
    EXPECT_EQ(dryUnchanged.exitCode, 0);
    EXPECT_THAT(dryUnchanged.out, HasSubstr(": unchanged"));

    const std::string changed = textOf(sample);
    const size_t name = changed.find("\"name\": \"");
    ASSERT_NE(name, std::string::npos);
    std::string renamed = changed;
    renamed.insert(name + 9, "New ");
    const ToolRun dryRun = runTool({"import", "-", "-o", config, "--dry-run"}, renamed);
    EXPECT_EQ(dryRun.exitCode, 4) << dryRun.err;
    EXPECT_THAT(dryRun.out, HasSubstr(": preset 0 \"New "));
    EXPECT_THAT(dryRun.out, HasSubstr("would change\n"));
    EXPECT_THAT(dryRun.out, HasSubstr(": would be written, 4 presets"));
    EXPECT_EQ(fileBytes(config), written);

    const ToolRun dryCreate = runTool({"import", sample, "-o", path("new.dat"), "--dry-run"});
    EXPECT_EQ(dryCreate.exitCode, 4);
    EXPECT_THAT(dryCreate.out, HasSubstr(": would be created, 4 presets"));
    EXPECT_FALSE(std::filesystem::exists(path("new.dat")));
}

// import and discover --add say the same: after an in-place write broke
// off, the previous file is gone, and the complete presets are elsewhere.
TEST(SaveFailureLine, NamesWhatIsKept)
{
    SaveResult broken;
    broken.fault = SaveFault::failedPartWay;
    broken.completeCopy = toFilePath("config.dat.77-1.tmp");
    EXPECT_EQ(saveFailureLine("config.dat", broken, true),
              "config.dat: writing into it broke off part way; the complete presets are kept in config.dat.77-1.tmp\n");
    SaveResult readOnly;
    readOnly.fault = SaveFault::readOnly;
    EXPECT_EQ(saveFailureLine("config.dat", readOnly, true), "config.dat: read-only; the previous file is kept\n");
    EXPECT_EQ(saveFailureLine("new.dat", readOnly, false), "new.dat: read-only\n");
}

TEST_F(PresetsTool, ImportKeepsADamagedConfigBesideIt)
{
    const std::vector<uint8_t> damaged = Bytes().u32(0).u8(1).u8(0).u32(0xFD4B).asFile();
    const std::string config = store("config.dat", damaged);
    const ToolRun run = runTool({"import", dataFile("sample.json"), "-o", config});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr(": damaged; kept as " + config + ".damaged"));
    EXPECT_EQ(fileBytes(config + ".damaged"), damaged);
    EXPECT_EQ(textOf(path("config.dat")).substr(0, 4), std::string("\0\0\xD7\x67", 4));
}

}  // namespace
