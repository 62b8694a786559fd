#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/protocol_table.h"
#include "model/stream_settings_set.h"

class CodePage;

// Presets that join a collection from elsewhere: an import, sources found on
// the network, Add Preset. One set of rules for all of them: the texts must
// fit the editor's fields and config.dat's code page, a value given for one
// endpoint of a sharing family goes to the others, values out of range are
// brought into range as Save does, and a new preset's name is one a user can
// tell apart (at most 40 characters, unique, never a bare uuid).

// One endpoint as it is given; what is left out takes the new preset's
// value, or the value given for another member of its sharing family.
struct GivenEndpoint {
    std::optional<std::string> host;  // UTF-8
    std::optional<int32_t> port;
    std::optional<std::string> streamName;  // UTF-8
};

// One preset as it is given; what is left out takes a new preset's value.
struct GivenPreset {
    // UTF-8. When appended: empty takes the next free "Stream N".
    std::string name;
    // Taken instead of a name that is a device's uuid, or that the code page
    // cannot hold: a camera's hardware and address.
    std::string fallbackName;
    std::optional<int32_t> protocol;
    std::optional<bool> sync;
    std::optional<bool> autoJitter;
    std::optional<int32_t> jitterDelay;
    std::optional<int32_t> lipSync;
    std::array<GivenEndpoint, kProtocolCount> endpoints;
};

enum class Joining {
    replaceAll,  // the given presets become the collection
    byName,      // each replaces the first preset of its name; the others are appended
    append,      // each is appended under a name no other preset has
};

struct JoinOptions {
    Joining joining = Joining::append;
    // Refuse what would otherwise be brought into range or taken as given.
    bool strict = false;
    int maxPresets = StreamSettingsSet::kMaxPresets;
};

enum class PresetField { name, jitterDelay, lipSync, host, port, streamName };

// A value of a given preset, or of one that the collection held before.
struct PresetPlace {
    bool given = true;
    int index = 0;
    PresetField field = PresetField::name;
    int protocol = 0;  // for host, port and stream name
};

enum class JoinNoteKind {
    outOfRange,  // `before` is brought into range as `after`
    nameCut,     // a name of `before` characters is cut to `after` (UTF-8)
    unfitText,   // the text cannot be stored: `detail` says why
    differs,     // differs from `other`, in the same sharing family; taken as given
    sameName,    // the same name as `other`, where presets are replaced by name
    tooMany,     // `before` presets would be more than the `after` allowed
};

struct JoinNote {
    JoinNoteKind kind = JoinNoteKind::outOfRange;
    bool refused = false;
    PresetPlace place;
    PresetPlace other;
    std::string before;
    std::string after;
    std::string detail;
};

struct JoinReport {
    std::vector<JoinNote> notes;
    // Where each given preset stands in the collection now.
    std::vector<int> positions;
    int added = 0;
    int replaced = 0;

    bool refused() const;
};

// Puts the given presets into `presets` as `options` say, and reports
// every value that it changed or took as given. False when anything is
// refused: then `presets` is left as it was. Texts go into the collection
// through `codePage`.
bool joinPresets(StreamSettingsSet& presets, const std::vector<GivenPreset>& given, const JoinOptions& options,
                 const CodePage& codePage, JoinReport& report);

