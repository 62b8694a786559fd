#pragma once

#include <cstdint>
#include <vector>

#include "model/stream_settings.h"

// The ordered preset collection: the tabs of the editor, the records of
// config.dat and the sources announced to the host, all in the same order.
class StreamSettingsSet {
public:
    static constexpr int kMaxPresets = 32;

    // A count below 1 or above 32 becomes 1; presets are named Stream 1, 2, ...
    explicit StreamSettingsSet(int count);
    virtual ~StreamSettingsSet() = default;

    int count() const { return static_cast<int>(presets_.size()); }
    // The preset at `index`, or the first one when the index is out of range.
    StreamSettings& at(int index);
    const StreamSettings& at(int index) const;

    void addPreset();
    void removePreset(int index);
    void resize(int count);
    void clearChanged();
    bool anyChanged() const;
    void validateAll();

private:
    std::vector<StreamSettings> presets_;

public:
    // Read and written directly by the configuration file and the editor.
    bool setFlag_ = false;
    bool changed_ = false;
    uint8_t current_ = 0;
};
