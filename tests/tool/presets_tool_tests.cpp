// riverra-presets end to end within one process: command line in, files and
// streams out.
#include "tool/presets_tool.h"
#include "tool/tool_files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "model/protocol_table.h"
#include "persist/config_file.h"
#include "tests/config/config_test_support.h"

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
}

TEST_F(PresetsTool, ShowUrlsGivesEachSourceAsPlayersTakeIt)
{
    const ToolRun sample = runTool({"show", dataFile("sample.dat"), "--urls"});
    EXPECT_EQ(sample.exitCode, 0) << sample.err;
    EXPECT_THAT(sample.out, testing::StartsWith("   #  Name         Protocol                              URL\n"));
    EXPECT_THAT(sample.out, HasSubstr("\n   0  Studio A     RTSP over TCP                         "
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

TEST_F(PresetsTool, UsageErrorsAndUnwritableOutputHaveTheirOwnExitCodes)
{
    EXPECT_EQ(runTool({"import", dataFile("sample.json")}).exitCode, 2);  // no -o
    EXPECT_EQ(runTool({"--codepage", "12345", "show", dataFile("sample.dat")}).exitCode, 2);
    EXPECT_EQ(runTool({"import", dataFile("sample.json"), "-o", path("missing/config.dat")}).exitCode, 3);

    // Standard output on a full disk: what was printed never arrived.
    struct FullDisk : std::streambuf {
        int overflow(int) override { return traits_type::eof(); }
    } fullDisk;
    std::istringstream in;
    std::ostream out(&fullDisk);
    std::ostringstream err;
    ToolIo io{in, out, err};
    EXPECT_EQ(runPresetsTool({"export", dataFile("sample.dat")}, io), 3);
    EXPECT_THAT(err.str(), HasSubstr("standard output: cannot be written"));
}

#ifndef _WIN32
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
    EXPECT_EQ(saveFailureLine("config.dat", broken),
              "config.dat: writing into it broke off part way; the complete presets are kept in config.dat.77-1.tmp");
    SaveResult readOnly;
    readOnly.fault = SaveFault::readOnly;
    EXPECT_EQ(saveFailureLine("config.dat", readOnly), "config.dat: read-only; the previous file is kept");
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
