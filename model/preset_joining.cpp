#include "model/preset_joining.h"

#include "model/code_page.h"
#include "model/text_conversion.h"

namespace {

// One endpoint's values in the model's texts.
struct Endpoint {
    std::optional<std::string> host;
    std::optional<int32_t> port;
    std::optional<std::string> streamName;
};
using Endpoints = std::array<Endpoint, kProtocolCount>;

// A given preset made into a record, with its name as characters, which a
// unique name is made of. A refused text leaves the new preset's value, so
// that the rest of the preset is still checked.
struct Joined {
    StreamSettings preset;
    std::u32string name;
    bool nameTaken = true;  // false when the name was refused
};

bool isHexDigit(char32_t c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isAsciiLetterOrDigit(char32_t c)
{
    return isHexDigit(c) || (c >= 'g' && c <= 'z') || (c >= 'G' && c <= 'Z');
}

bool startsWithUuid(const std::u32string& text)
{
    static const char kForm[] = "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";
    const size_t length = sizeof kForm - 1;
    if (text.size() < length || (text.size() > length && isAsciiLetterOrDigit(text[length])))
        return false;
    for (size_t position = 0; position < length; ++position) {
        if (kForm[position] == '-' ? text[position] != '-' : !isHexDigit(text[position]))
            return false;
    }
    return true;
}

// A device without a name of its own is known by its endpoint reference,
// "urn:uuid:…", which tells the user nothing.
bool isUuidName(const std::string& name)
{
    std::u32string characters;
    if (!decodeUtf8(name, characters))
        return false;
    static const std::u32string kUrn = U"urn:uuid:";
    std::u32string start = characters.substr(0, kUrn.size());
    for (char32_t& c : start) {
        if (c >= 'A' && c <= 'Z')
            c = c - 'A' + 'a';
    }
    return start == kUrn || startsWithUuid(characters);
}

// `name` followed by `suffix`, at most as long as the name field takes: a
// longer name is cut at a character and ends in `ellipsis`.
std::u32string fitted(const std::u32string& name, const std::u32string& suffix, const std::u32string& ellipsis)
{
    const size_t limit = static_cast<size_t>(kMaxNameCharacters);
    if (utf16Length(name) + utf16Length(suffix) <= limit)
        return name + suffix;
    std::u32string cut = name;
    while (!cut.empty() && (utf16Length(cut) + utf16Length(ellipsis) + utf16Length(suffix) > limit ||
                            isInvisible(cut.back())))
        cut.pop_back();
    return cut + ellipsis + suffix;
}

std::u32string decimal(int number)
{
    std::u32string text;
    for (char c : toDecimal(number))
        text.push_back(static_cast<char32_t>(c));
    return text;
}

class Joiner {
public:
    Joiner(const JoinOptions& options, const CodePage& codePage, JoinReport& report)
        : options_(options), codePage_(codePage), report_(report)
    {
        std::string ellipsis;
        std::string problem;
        ellipsis_ = codePage_.fromUtf8("\xE2\x80\xA6", ellipsis, problem) ? U"\u2026" : U"...";
    }

    Joined join(const GivenPreset& given, int index)
    {
        std::u32string name;
        const std::optional<std::string> narrowName = presetName(given, index, name);
        Endpoints endpoints;
        for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
            const GivenEndpoint& endpoint = given.endpoints[protocol];
            endpoints[protocol].port = endpoint.port;
            if (endpoint.host)
                endpoints[protocol].host =
                    text(*endpoint.host, {true, index, PresetField::host, protocol}, kMaxHostCharacters);
            if (endpoint.streamName)
                endpoints[protocol].streamName = text(
                    *endpoint.streamName, {true, index, PresetField::streamName, protocol}, kMaxStreamNameCharacters);
        }
        share(endpoints, &Endpoint::host, isRtspKeyword, PresetField::host, index);
        share(endpoints, &Endpoint::port, isRtspKeyword, PresetField::port, index);
        share(endpoints, &Endpoint::port, isPlainTsKeyword, PresetField::port, index);
        share(endpoints, &Endpoint::streamName, isRtspKeyword, PresetField::streamName, index);

        Joined joined{{}, name, narrowName.has_value()};
        StreamSettings& preset = joined.preset;
        preset.setName(narrowName.value_or(""));
        for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
            const ProtocolInfo& info = *protocolInfo(protocol);
            StreamEndpoint endpoint;
            endpoint.host_ = endpoints[protocol].host.value_or(info.defaultHost);
            endpoint.port_ = endpoints[protocol].port.value_or(info.defaultPort);
            endpoint.streamName_ = endpoints[protocol].streamName.value_or(info.defaultStreamName);
            preset.setEndpointAsGiven(protocol, endpoint);
        }
        preset.selectProtocol(given.protocol.value_or(0));
        // The delay first: it is ignored while automatic buffering is on.
        preset.setJitterDelay(given.jitterDelay.value_or(0));
        preset.setAutoJitter(given.autoJitter.value_or(false));
        preset.setSync(given.sync.value_or(false));
        preset.setLipSyncText(toDecimal(given.lipSync.value_or(0)));
        return joined;
    }

    // The name of `joined` made unique among the presets of `presets`:
    // "Stage Cam (2)", "(3)", ...; an empty one is the next free "Stream N".
    void nameUniquely(Joined& joined, const StreamSettingsSet& presets) const
    {
        if (joined.name.empty()) {
            for (int number = presets.count() + 1;; ++number) {
                const std::string name = "Stream " + toDecimal(number);
                if (!isTaken(name, presets)) {
                    joined.preset.setName(name);
                    return;
                }
            }
        }
        // Among more numbers than there are presets, one is free.
        std::string name = joined.preset.name();
        std::string problem;
        for (int number = 2; isTaken(name, presets) && number <= StreamSettingsSet::kMaxPresets + 1; ++number)
            codePage_.fromUtf8(utf8Of(fitted(joined.name, U" (" + decimal(number) + U")", ellipsis_)), name, problem);
        joined.preset.setName(name);
    }

    // Validates `preset` as Save does and reports each value that changed, or
    // refuses it when strict.
    void validate(StreamSettings& preset, const PresetPlace& place)
    {
        const RangedValues before = rangedValues(preset);
        preset.validate();
        const RangedValues after = rangedValues(preset);
        for (int protocol = 0; protocol < kProtocolCount; ++protocol)
            ranged({place.given, place.index, PresetField::port, protocol}, before.ports[protocol],
                   after.ports[protocol]);
        ranged({place.given, place.index, PresetField::jitterDelay}, before.jitterDelay, after.jitterDelay);
        ranged({place.given, place.index, PresetField::lipSync}, before.lipSync, after.lipSync);
    }

    void note(JoinNoteKind kind, bool refused, const PresetPlace& place, const std::string& before = "",
              const std::string& after = "", const std::string& detail = "", const PresetPlace& other = {})
    {
        report_.notes.push_back({kind, refused, place, other, before, after, detail});
    }

private:
    // The values that validation brings into range.
    struct RangedValues {
        std::array<int32_t, kProtocolCount> ports{};
        int32_t jitterDelay = 0;
        int32_t lipSync = 0;
    };

    static RangedValues rangedValues(const StreamSettings& preset)
    {
        RangedValues values;
        for (int protocol = 0; protocol < kProtocolCount; ++protocol)
            values.ports[protocol] = preset.endpoint(protocol).port_;
        values.jitterDelay = preset.jitterDelay();
        values.lipSync = preset.lipSync();
        return values;
    }

    void ranged(const PresetPlace& place, int32_t before, int32_t after)
    {
        if (before != after)
            note(JoinNoteKind::outOfRange, options_.strict, place, toDecimal(before), toDecimal(after));
    }

    static bool isTaken(const std::string& name, const StreamSettingsSet& presets)
    {
        for (int index = 0; index < presets.count(); ++index) {
            if (presets.at(index).name() == name)
                return true;
        }
        return false;
    }

    bool holds(const std::string& utf8) const
    {
        std::string ansi;
        std::string problem;
        return codePage_.fromUtf8(utf8, ansi, problem);
    }

    // The name in the code page, cut to the field's length unless strict;
    // `characters` learns it as characters.
    std::optional<std::string> presetName(const GivenPreset& given, int index, std::u32string& characters)
    {
        const bool fallBack = !given.fallbackName.empty() && (isUuidName(given.name) || !holds(given.name));
        const std::string& name = fallBack ? given.fallbackName : given.name;
        const PresetPlace place{true, index, PresetField::name};
        if (!decodeUtf8(name, characters) || name.find('\0') != std::string::npos)
            return text(name, place, kMaxNameCharacters);  // refuses with the reason
        const size_t length = utf16Length(characters);
        if (length > static_cast<size_t>(kMaxNameCharacters)) {
            if (options_.strict)
                return text(name, place, kMaxNameCharacters);
            characters = fitted(characters, U"", ellipsis_);
            note(JoinNoteKind::nameCut, false, place, std::to_string(length), utf8Of(characters));
        }
        return text(utf8Of(characters), place, kMaxNameCharacters);
    }

    // A text in the code page, at most `maxCharacters` long.
    std::optional<std::string> text(const std::string& utf8, const PresetPlace& place, size_t maxCharacters)
    {
        std::u32string characters;
        std::string ansi;
        std::string problem;
        if (!decodeUtf8(utf8, characters))
            problem = "not UTF-8";
        else if (utf8.find('\0') != std::string::npos)
            problem = "holds a zero character, which config.dat cannot store";
        else if (utf16Length(characters) > maxCharacters)
            problem = std::to_string(utf16Length(characters)) + " characters; the editor takes at most " +
                      std::to_string(maxCharacters);
        else if (!codePage_.fromUtf8(utf8, ansi, problem))
            problem = "holds " + problem;
        else
            return ansi;
        note(JoinNoteKind::unfitText, true, place, "", "", problem);
        return std::nullopt;
    }

    // A value given for one member of a family goes to the members given
    // without one. Members given with different values (a config.dat of
    // another program, exported) are taken as given and reported, or refused
    // when strict.
    template <typename Value>
    void share(Endpoints& endpoints, std::optional<Value> Endpoint::*field, bool (*inFamily)(const std::string&),
               PresetField presetField, int index)
    {
        int source = -1;
        for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
            const std::optional<Value>& value = endpoints[protocol].*field;
            if (!inFamily(protocolKeyword(protocol)) || !value)
                continue;
            if (source < 0)
                source = protocol;
            else if (*value != *(endpoints[source].*field))
                note(JoinNoteKind::differs, options_.strict, {true, index, presetField, protocol}, "", "", "",
                     {true, index, presetField, source});
        }
        for (int protocol = 0; source >= 0 && protocol < kProtocolCount; ++protocol) {
            if (inFamily(protocolKeyword(protocol)) && !(endpoints[protocol].*field))
                endpoints[protocol].*field = endpoints[source].*field;
        }
    }

    const JoinOptions& options_;
    const CodePage& codePage_;
    JoinReport& report_;
    std::u32string ellipsis_;
};

void refuseBeyondLimit(Joiner& joiner, size_t total, const JoinOptions& options)
{
    if (total > static_cast<size_t>(options.maxPresets))
        joiner.note(JoinNoteKind::tooMany, true, {}, std::to_string(total), std::to_string(options.maxPresets));
}

}  // namespace

bool JoinReport::refused() const
{
    for (const JoinNote& each : notes) {
        if (each.refused)
            return true;
    }
    return false;
}

bool joinPresets(StreamSettingsSet& presets, const std::vector<GivenPreset>& given, const JoinOptions& options,
                 const CodePage& codePage, JoinReport& report)
{
    // Everything is checked before anything is refused, so that the report
    // holds every problem at once.
    Joiner joiner(options, codePage, report);
    std::vector<Joined> joined;
    for (size_t index = 0; index < given.size(); ++index)
        joined.push_back(joiner.join(given[index], static_cast<int>(index)));

    StreamSettingsSet result = presets;
    // Where each preset of `result` came from, for the report of validation.
    std::vector<PresetPlace> places;
    const int baseCount = options.joining == Joining::replaceAll ? 0 : result.count();
    result.resize(baseCount);
    for (int index = 0; index < baseCount; ++index)
        places.push_back({false, index});
    std::vector<bool> replaced(static_cast<size_t>(baseCount), false);
    report.positions.assign(joined.size(), -1);
    for (size_t index = 0; index < joined.size(); ++index) {
        const PresetPlace place{true, static_cast<int>(index)};
        const std::string name = joined[index].preset.name();
        int position = result.count();
        if (options.joining == Joining::byName) {
            for (size_t earlier = 0; earlier < index; ++earlier) {
                if (joined[index].nameTaken && joined[earlier].nameTaken && joined[earlier].preset.name() == name)
                    joiner.note(JoinNoteKind::sameName, true, place, "", "", "", {true, static_cast<int>(earlier)});
            }
            position = 0;
            while (position < baseCount && (replaced[position] || result.at(position).name() != name))
                ++position;
            if (position == baseCount)
                position = result.count();
        } else if (options.joining == Joining::append) {
            joiner.nameUniquely(joined[index], result);
        }
        if (position == result.count()) {
            if (result.count() >= options.maxPresets)
                continue;  // counted and refused below
            result.resize(position + 1);
            places.push_back(place);
            ++report.added;
        } else {
            replaced[position] = true;
            places[position] = place;
            ++report.replaced;
        }
        result.at(position) = joined[index].preset;
        report.positions[index] = position;
    }
    refuseBeyondLimit(joiner, static_cast<size_t>(baseCount) + joined.size() - report.replaced, options);
    // The editor's own presets are validated at its Save.
    for (int index = options.joining == Joining::append ? baseCount : 0; index < result.count(); ++index)
        joiner.validate(result.at(index), places[index]);
    if (report.refused())
        return false;
    if (report.added > 0 || report.replaced > 0)
        result.changed_ = true;
    presets = result;
    return true;
}
