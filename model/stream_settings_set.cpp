#include "model/stream_settings_set.h"

#include "model/text_conversion.h"

#include <algorithm>

namespace {

std::string defaultPresetName(int number)
{
    return "Stream " + toDecimal(number);
}

}  // namespace

StreamSettingsSet::StreamSettingsSet(int count)
{
    if (count < 1 || count > kMaxPresets)
        count = 1;
    StreamSettings preset;
    presets_.reserve(static_cast<size_t>(count));
    for (int number = 1; number <= count; ++number) {
        preset.setName(defaultPresetName(number));
        presets_.push_back(preset);
    }
    clearChanged();
}

StreamSettings& StreamSettingsSet::at(int index)
{
    return const_cast<StreamSettings&>(static_cast<const StreamSettingsSet&>(*this).at(index));
}

const StreamSettings& StreamSettingsSet::at(int index) const
{
    if (presets_.empty())
        return detachedPreset();
    const bool inRange = index >= 0 && index < count();
    return presets_[inRange ? index : 0];
}

StreamSettings& StreamSettingsSet::detachedPreset() const
{
    detachedPreset_ = StreamSettings();
    return detachedPreset_;
}

void StreamSettingsSet::addPreset()
{
    if (count() >= kMaxPresets)
        return;
    StreamSettings preset;
    preset.setName(defaultPresetName(count() + 1));
    preset.clearChanged();
    presets_.push_back(preset);
    changed_ = true;
}

void StreamSettingsSet::removePreset(int index)
{
    if (index < 0 || index >= count())
        return;
    presets_.erase(presets_.begin() + index);
    changed_ = true;
}

void StreamSettingsSet::resize(int count)
{
    presets_.resize(static_cast<size_t>(std::clamp(count, 0, kMaxPresets)));
}

void StreamSettingsSet::clearChanged()
{
    for (StreamSettings& preset : presets_)
        preset.clearChanged();
    changed_ = false;
}

bool StreamSettingsSet::anyChanged() const
{
    return changed_ || std::any_of(presets_.begin(), presets_.end(),
                                   [](const StreamSettings& preset) { return preset.isChanged(); });
}

void StreamSettingsSet::validateAll()
{
    for (StreamSettings& preset : presets_)
        preset.validate();
}
