#include "model/preset_joining.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "model/code_page.h"

namespace {

using testing::ElementsAre;

constexpr int kRtspUdp = 5, kRtspMulti = 6, kRtspTcp = 7;

// A code page that holds every character, as code page 65001 does: the
// model's texts are UTF-8 then.
class Utf8CodePage : public CodePage {
public:
    std::string name() const override { return "code page 65001"; }
    bool fromUtf8(const std::string& utf8, std::string& ansi, std::string&) const override
    {
        ansi = utf8;
        return true;
    }
    bool toUtf8(const std::string& ansi, std::string& utf8, std::string&) const override
    {
        utf8 = ansi;
        return true;
    }
};

GivenPreset named(const std::string& name, const std::string& fallback = "")
{
    GivenPreset preset;
    preset.name = name;
    preset.fallbackName = fallback;
    return preset;
}

std::vector<std::string> namesOf(const StreamSettingsSet& presets)
{
    std::vector<std::string> names;
    for (int index = 0; index < presets.count(); ++index)
        names.push_back(presets.at(index).name());
    return names;
}

class PresetJoining : public testing::Test {
protected:
    bool join(StreamSettingsSet& presets, const std::vector<GivenPreset>& given, Joining joining,
              bool strict = false, int maxPresets = StreamSettingsSet::kMaxPresets)
    {
        report = JoinReport();
        JoinOptions options;
        options.joining = joining;
        options.strict = strict;
        options.maxPresets = maxPresets;
        return joinPresets(presets, given, options, *codePage, report);
    }

    std::unique_ptr<CodePage> codePage = codePage1252();
    JoinReport report;
};

// Two cameras of one model, a camera without a name of its own, names from
// the network longer than the name field.
TEST_F(PresetJoining, AddedPresetsGetShortUniqueNamesAUserCanTellApart)
{
    StreamSettingsSet presets(2);
    const std::string forty(40, 'x');
    ASSERT_TRUE(join(presets,
                     {named("Stage Cam / Main"), named("Stage Cam / Main"), named("Stage Cam / Main"), named(""),
                      named("urn:uuid:6c8a1f3e-0b7d-4e55-9a2c-31f0d2e4b5a6 / Main", "TC-100 (10.1.0.9) / Main"),
                      named("6C8A1F3E-0B7D-4E55-9A2C-31F0D2E4B5A6", "10.1.0.7"),
                      named("Kamera \xE4\xB8\xAD", "TC-100 (10.1.0.8)"),
                      named("Lobby camera of the east wing, second floor / Main"), named(forty), named(forty)},
                     Joining::append));
    EXPECT_THAT(namesOf(presets),
                ElementsAre("Stream 1", "Stream 2", "Stage Cam / Main", "Stage Cam / Main (2)",
                            "Stage Cam / Main (3)", "Stream 6", "TC-100 (10.1.0.9) / Main", "10.1.0.7",
                            "TC-100 (10.1.0.8)", "Lobby camera of the east wing, second f\x85",
                            forty, std::string(35, 'x') + "\x85 (2)"));
    EXPECT_THAT(report.positions, ElementsAre(2, 3, 4, 5, 6, 7, 8, 9, 10, 11));
    EXPECT_EQ(report.added, 10);
    EXPECT_TRUE(presets.changed_);
}

// Characters are cut whole, counted as the name field counts them (UTF-16
// units), and the ellipsis counts too.
TEST_F(PresetJoining, ACutNeverSplitsACharacter)
{
    codePage = std::make_unique<Utf8CodePage>();
    StreamSettingsSet presets(1);
    const std::string camera = "\xF0\x9F\x8E\xA5";  // U+1F3A5, two UTF-16 units
    ASSERT_TRUE(join(presets, {named(std::string(37, 'a') + camera + "b")}, Joining::append));
    EXPECT_EQ(presets.at(1).name(), std::string(37, 'a') + camera + "b");
    ASSERT_TRUE(join(presets, {named(std::string(38, 'a') + camera + "b")}, Joining::append));
    EXPECT_EQ(presets.at(2).name(), std::string(38, 'a') + "\xE2\x80\xA6");
    ASSERT_TRUE(join(presets, {named(std::string(37, 'a') + camera + "bc")}, Joining::append));
    EXPECT_EQ(presets.at(3).name(), std::string(37, 'a') + camera + "\xE2\x80\xA6");
}

TEST_F(PresetJoining, ByNameReplacesThePresetOfThatNameWhollyAndAppendsTheOthers)
{
    StreamSettingsSet presets(3);
    presets.at(1).setLipSyncText("120");
    presets.setFlag_ = true;
    presets.current_ = 2;
    GivenPreset camera = named("Stream 2");
    camera.protocol = kRtspTcp;
    camera.endpoints[kRtspTcp].host = "10.1.0.9";
    camera.endpoints[kRtspTcp].port = 8554;
    ASSERT_TRUE(join(presets, {camera, named("New")}, Joining::byName));

    EXPECT_THAT(namesOf(presets), ElementsAre("Stream 1", "Stream 2", "Stream 3", "New"));
    EXPECT_EQ(presets.at(1).lipSync(), 0);
    EXPECT_EQ(presets.at(1).protocol(), kRtspTcp);
    for (int shared : {kRtspUdp, kRtspMulti, kRtspTcp}) {
        EXPECT_EQ(presets.at(1).endpoint(shared).host_, "10.1.0.9");
        EXPECT_EQ(presets.at(1).endpoint(shared).port_, 8554);
    }
    EXPECT_EQ(presets.at(1).endpoint(kRtspTcp).streamName_, "stream1");
    EXPECT_TRUE(presets.setFlag_);
    EXPECT_EQ(presets.current_, 2);
    EXPECT_EQ(report.replaced, 1);
    EXPECT_EQ(report.added, 1);
}

TEST_F(PresetJoining, RefusalsLeaveTheCollectionAsItWas)
{
    StreamSettingsSet presets(19);
    const StreamSettingsSet before = presets;
    EXPECT_FALSE(join(presets, {named("a"), named("b")}, Joining::append, false, 20));
    ASSERT_EQ(report.notes.size(), 1u);
    EXPECT_EQ(report.notes[0].kind, JoinNoteKind::tooMany);
    EXPECT_EQ(report.notes[0].before, "21");

    EXPECT_FALSE(join(presets, {named("Cam"), named("Cam")}, Joining::byName));
    EXPECT_FALSE(join(presets, {named("Kamera \xE4\xB8\xAD")}, Joining::append));
    EXPECT_THAT(report.notes[0].detail, testing::HasSubstr("U+4E2D, which code page 1252 cannot hold"));
    EXPECT_EQ(namesOf(presets), namesOf(before));
    EXPECT_FALSE(presets.anyChanged());
}

}  // namespace
