#include "model/stream_settings_set.h"

#include "app/process_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> names(const StreamSettingsSet& presets)
{
    std::vector<std::string> found;
    for (int index = 0; index < presets.count(); ++index)
        found.push_back(presets.at(index).name());
    return found;
}

StreamSettingsSet unchanged(int count)
{
    StreamSettingsSet presets(count);
    presets.clearChanged();
    return presets;
}

TEST(StreamSettingsSet, ACountOutsideOneToThirtyTwoMakesOnePreset)
{
    for (int count : {0, -3, 33}) {
        const StreamSettingsSet presets(count);
        EXPECT_EQ(names(presets), std::vector<std::string>{"Stream 1"}) << count;
        EXPECT_FALSE(presets.anyChanged()) << count;
    }
    const StreamSettingsSet full(32);
    ASSERT_EQ(full.count(), 32);
    EXPECT_EQ(full.at(0).name(), "Stream 1");
    EXPECT_EQ(full.at(31).name(), "Stream 32");
    EXPECT_FALSE(full.anyChanged());
    EXPECT_FALSE(full.setFlag_);
    EXPECT_EQ(full.current_, 0);
}

TEST(StreamSettingsSet, AnIndexOutsideTheListAddressesTheFirstPreset)
{
    StreamSettingsSet presets(3);
    EXPECT_EQ(&presets.at(3), &presets.at(0));
    EXPECT_EQ(&presets.at(-1), &presets.at(0));
    presets.at(2).setName("Third");
    EXPECT_EQ(presets.at(2).name(), "Third");
}

TEST(StreamSettingsSet, AddPresetNamesByTheNewCountUpToThirtyTwo)
{
    StreamSettingsSet presets(31);
    presets.addPreset();
    ASSERT_EQ(presets.count(), 32);
    EXPECT_EQ(presets.at(31).name(), "Stream 32");
    EXPECT_FALSE(presets.at(31).isChanged());
    EXPECT_TRUE(presets.changed_);

    presets.clearChanged();
    presets.addPreset();
    EXPECT_EQ(presets.count(), 32);
    EXPECT_FALSE(presets.anyChanged());
}

TEST(StreamSettingsSet, RemovePresetClosesTheGapAndNamesAreNotRenumbered)
{
    StreamSettingsSet presets = unchanged(3);
    presets.at(2).setName("Third");
    presets.removePreset(0);
    EXPECT_EQ(names(presets), (std::vector<std::string>{"Stream 2", "Third"}));
    EXPECT_TRUE(presets.changed_);
    EXPECT_TRUE(presets.at(1).isChanged());
    EXPECT_FALSE(presets.at(0).isChanged());

    presets.removePreset(1);
    presets.addPreset();
    EXPECT_EQ(names(presets), (std::vector<std::string>{"Stream 2", "Stream 2"}));
}

TEST(StreamSettingsSet, RemovePresetIgnoresIndicesOutsideTheList)
{
    StreamSettingsSet presets = unchanged(2);
    presets.removePreset(-1);
    presets.removePreset(2);
    EXPECT_EQ(presets.count(), 2);
    EXPECT_FALSE(presets.anyChanged());
}

TEST(StreamSettingsSet, ResizeTrimsTheEndOrAppendsUnnamedDefaults)
{
    StreamSettingsSet presets = unchanged(3);
    presets.resize(1);
    EXPECT_EQ(names(presets), std::vector<std::string>{"Stream 1"});

    presets.resize(3);
    EXPECT_EQ(names(presets), (std::vector<std::string>{"Stream 1", "", ""}));
    EXPECT_EQ(presets.at(2).protocolKeyword(), "off");
    EXPECT_EQ(presets.at(2).endpointCount(), 10);
    EXPECT_FALSE(presets.anyChanged());

    presets.resize(40);
    EXPECT_EQ(presets.count(), StreamSettingsSet::kMaxPresets);
    presets.resize(-1);
    EXPECT_EQ(presets.count(), 0);
}

TEST(StreamSettingsSet, AnEmptyListHandsOutADetachedDefaultPreset)
{
    StreamSettingsSet presets = unchanged(2);
    presets.resize(0);
    StreamSettings& stray = presets.at(0);
    stray.setName("Lost");
    stray.setLipSyncText("7");
    EXPECT_EQ(presets.at(0).name(), "");
    EXPECT_EQ(presets.at(5).lipSyncText(), "0");
    EXPECT_FALSE(presets.anyChanged());
    presets.validateAll();
    presets.clearChanged();

    presets.addPreset();
    EXPECT_EQ(names(presets), std::vector<std::string>{"Stream 1"});
}

TEST(StreamSettingsSet, ChangeFlagsOfPresetsAndListAreClearedTogether)
{
    StreamSettingsSet presets = unchanged(2);
    presets.at(1).setPort(1);
    EXPECT_TRUE(presets.anyChanged());
    EXPECT_FALSE(presets.changed_);
    presets.changed_ = true;
    presets.clearChanged();
    EXPECT_FALSE(presets.anyChanged());
    EXPECT_FALSE(presets.at(1).isChanged());
}

TEST(StreamSettingsSet, ValidateAllValidatesEveryPreset)
{
    StreamSettingsSet presets = unchanged(2);
    presets.at(0).setLipSyncText("9000");
    presets.at(1).setLipSyncText("-9000");
    presets.clearChanged();
    presets.validateAll();
    EXPECT_EQ(presets.at(0).lipSyncText(), "4000");
    EXPECT_EQ(presets.at(1).lipSyncText(), "-4000");
    EXPECT_TRUE(presets.anyChanged());
}

TEST(ProcessState, StartsWithOneUnchangedDefaultPresetAndNotLive)
{
    EXPECT_EQ(names(preset_collection), std::vector<std::string>{"Stream 1"});
    EXPECT_EQ(preset_collection.at(0).protocolKeyword(), "off");
    EXPECT_FALSE(preset_collection.anyChanged());
    EXPECT_FALSE(live_mode);
}

}  // namespace
