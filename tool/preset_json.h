#pragma once

#include <string>
#include <vector>

#include "model/preset_joining.h"
#include "model/stream_settings_set.h"
#include "tool/code_page.h"

// The presets of config.dat as a readable JSON document ("riverra-presets",
// version 1) and back.

// Every key of the document, the ten endpoints of each preset in protocol
// order, numbers as stored. False when a stored text is not text of the code
// page; `problem` then says which one.
bool presetsToJson(const StreamSettingsSet& presets, const CodePage& codePage, std::string& json,
                   std::string& problem);

struct ImportOptions {
    // Refuse values out of range instead of bringing them into range, and
    // endpoints of one sharing group with different values instead of taking
    // them as given.
    bool strict = false;
    // When given, the imported presets take the places of its presets of the
    // same name and the others are appended; its set flag and current index stay.
    const StreamSettingsSet* mergeInto = nullptr;
};

// What import says on the error stream, each line with its place in the input.
struct ImportReport {
    std::vector<std::string> refusals;
    std::vector<std::string> changes;  // values brought into range: old and new value
    std::vector<std::string> notices;  // endpoints of one sharing group with different values, taken as given
};

// The collection that import writes: checked, validated as Save validates it,
// and known to fit into config.dat. False when the input is refused; the
// report then says why and `presets` is untouched.
bool presetsFromJson(const std::string& json, const CodePage& codePage, const ImportOptions& options,
                     StreamSettingsSet& presets, ImportReport& report);

// What joinPresets noted, as import says it: each line with its place,
// `places` naming the given presets ("presets[0]") and "config presets[i]"
// those that CONFIG held. `merged`: the presets were joined by name.
void describeJoinNotes(const JoinReport& joined, const std::vector<std::string>& places, bool merged,
                       ImportReport& report);
