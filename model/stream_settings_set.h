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
    // Shrinks from the end or appends unnamed default presets; the count is
    // kept within 0..32.
    void resize(int count);
    void clearChanged();
    bool anyChanged() const;
    void validateAll();

private:
    // Stands in for the first preset while the collection is empty (a loaded
    // file may hold no presets); it is reset on every use, so edits made
    // through it go nowhere.
    StreamSettings& detachedPreset() const;

    std::vector<StreamSettings> presets_;
    mutable StreamSettings detachedPreset_;

public:
    // Read and written directly by the configuration file and the editor.
    bool setFlag_ = false;
    bool changed_ = false;
    uint8_t current_ = 0;
};
