#include "tool/preset_json.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <set>

#include "model/protocol_table.h"
#include "model/text_conversion.h"
#include "persist/config_file.h"

namespace {

// Objects keep their keys in the order they were set: the order export writes.
using Json = nlohmann::ordered_json;

const char kFormat[] = "riverra-presets";
const int kVersion = 1;

namespace key {
const char format[] = "format";
const char version[] = "version";
const char setFlag[] = "set_flag";
const char current[] = "current";
const char presets[] = "presets";
const char name[] = "name";
const char protocol[] = "protocol";
const char sync[] = "sync";
const char autoJitter[] = "auto_jitter";
const char jitterDelay[] = "jitter_delay_ms";
const char lipSync[] = "lip_sync_ms";
const char endpoints[] = "endpoints";
const char host[] = "host";
const char port[] = "port";
const char streamName[] = "stream_name";
}  // namespace key

const std::set<std::string> kDocumentKeys = {key::format, key::version, key::setFlag, key::current, key::presets};
const std::set<std::string> kPresetKeys = {key::name,        key::protocol,    key::sync,     key::autoJitter,
                                           key::jitterDelay, key::lipSync,     key::endpoints};
const std::set<std::string> kEndpointKeys = {key::host, key::port, key::streamName};

std::string presetPath(size_t index)
{
    return std::string(key::presets) + "[" + std::to_string(index) + "]";
}

std::string endpointPath(const std::string& presetPath, int protocol)
{
    return presetPath + "." + key::endpoints + "." + protocolKeyword(protocol);
}

// ---------------------------------------------------------------- export

bool exportText(const std::string& ansi, const std::string& where, const CodePage& codePage, Json& value,
                std::string& problem)
{
    std::string utf8;
    if (!codePage.toUtf8(ansi, utf8, problem)) {
        problem = where + ": " + problem;
        return false;
    }
    value = utf8;
    return true;
}

bool exportPreset(const StreamSettings& preset, const std::string& path, const CodePage& codePage, Json& out,
                  std::string& problem)
{
    out = Json::object();
    if (!exportText(preset.name(), path + "." + key::name, codePage, out[key::name], problem))
        return false;
    out[key::protocol] = preset.protocolKeyword();
    out[key::sync] = preset.sync();
    out[key::autoJitter] = preset.autoJitter();
    out[key::jitterDelay] = preset.jitterDelay();
    out[key::lipSync] = preset.lipSync();
    Json& endpoints = out[key::endpoints] = Json::object();
    for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
        const StreamEndpoint& endpoint = preset.endpoint(protocol);
        const std::string where = endpointPath(path, protocol);
        Json& entry = endpoints[protocolKeyword(protocol)] = Json::object();
        if (!exportText(endpoint.host_, where + "." + key::host, codePage, entry[key::host], problem))
            return false;
        entry[key::port] = endpoint.port_;
        if (!exportText(endpoint.streamName_, where + "." + key::streamName, codePage, entry[key::streamName],
                        problem))
            return false;
    }
    return true;
}

// The layout of dump(2), except that an object of plain values (an endpoint)
// takes one line, so that a preset reads as a screenful.
void layOut(const Json& value, const std::string& indent, std::string& out)
{
    const bool plainValues = std::none_of(value.begin(), value.end(), [](const Json& item) {
        return item.is_structured();
    });
    if (!value.is_structured() || value.empty()) {
        out += value.dump();
    } else if (value.is_object() && plainValues) {
        const char* separator = "{ ";
        for (const auto& item : value.items()) {
            out += separator + Json(item.key()).dump() + ": " + item.value().dump();
            separator = ", ";
        }
        out += " }";
    } else {
        const std::string inner = indent + "  ";
        out += value.is_object() ? "{" : "[";
        const char* separator = "\n";
        for (const auto& item : value.items()) {
            out += separator + inner;
            if (value.is_object())
                out += Json(item.key()).dump() + ": ";
            layOut(item.value(), inner, out);
            separator = ",\n";
        }
        out += "\n" + indent + (value.is_object() ? "}" : "]");
    }
}

// ---------------------------------------------------------------- parsing

// The parser keeps only the last of two equal keys in one object; a key given
// twice is refused instead, with the path of its object.
class DuplicateKeys {
public:
    struct Found {
        std::string path;
    };

    bool operator()(int /*depth*/, Json::parse_event_t event, Json& parsed)
    {
        switch (event) {
        case Json::parse_event_t::object_start:
        case Json::parse_event_t::array_start:
            levels_.push_back({event == Json::parse_event_t::array_start, 0, {}, {}});
            break;
        case Json::parse_event_t::key:
            if (!levels_.back().keys.insert(parsed.get<std::string>()).second)
                throw Found{path() + (levels_.size() > 1 ? "." : "") + parsed.get<std::string>()};
            levels_.back().key = parsed.get<std::string>();
            break;
        case Json::parse_event_t::object_end:
        case Json::parse_event_t::array_end:
            levels_.pop_back();
            elementDone();
            break;
        case Json::parse_event_t::value:
            elementDone();
            break;
        }
        return true;
    }

private:
    struct Level {
        bool array;
        size_t index;
        std::string key;
        std::set<std::string> keys;
    };

    void elementDone()
    {
        if (!levels_.empty() && levels_.back().array)
            ++levels_.back().index;
    }

    // The path of the innermost open object.
    std::string path() const
    {
        std::string text;
        for (size_t level = 0; level + 1 < levels_.size(); ++level) {
            if (levels_[level].array)
                text += "[" + std::to_string(levels_[level].index) + "]";
            else
                text += (text.empty() ? "" : ".") + levels_[level].key;
        }
        return text;
    }

    std::vector<Level> levels_;
};

// The text of a parser's error without the library's prefix:
// "parse error at line 3, column 14: syntax error while parsing ..."
std::string syntaxError(const std::string& what)
{
    const size_t prefixEnd = what.find("] ");
    return prefixEnd == std::string::npos ? what : what.substr(prefixEnd + 2);
}

bool parseDocument(const std::string& text, Json& document, ImportReport& report)
{
    auto duplicates = std::make_shared<DuplicateKeys>();
    try {
        document = Json::parse(text, [duplicates](int depth, Json::parse_event_t event, Json& parsed) {
            return (*duplicates)(depth, event, parsed);
        });
        return true;
    } catch (const Json::exception& error) {  // a syntax error, or a number beyond what a double holds
        report.refusals.push_back(syntaxError(error.what()));
    } catch (const DuplicateKeys::Found& found) {
        report.refusals.push_back(found.path + ": given twice");
    }
    return false;
}

// ---------------------------------------------------------------- import

std::string describeValue(const Json& value)
{
    if (value.is_string())
        return "a text";
    if (value.is_number())
        return "the number " + value.dump();
    return std::string(value.is_object() || value.is_array() ? "an " : "") + value.type_name();
}

// One endpoint as the input gives it: what is left out is empty.
struct GivenEndpoint {
    std::optional<std::string> host;
    std::optional<int32_t> port;
    std::optional<std::string> streamName;
};
using GivenEndpoints = std::array<GivenEndpoint, kProtocolCount>;

// The values of one field that endpoints of a protocol family share.
struct SharedField {
    bool (*inFamily)(const std::string& keyword);
    const char* key;
    const char* family;
};

// Reads the document's values into model records, refusing with the path of
// every value that does not fit.
class DocumentReader {
public:
    DocumentReader(const CodePage& codePage, bool strict, ImportReport& report)
        : codePage_(codePage), strict_(strict), report_(report)
    {
    }

    bool refused() const { return !report_.refusals.empty(); }

    void refuse(const std::string& path, const std::string& what) { report_.refusals.push_back(path + ": " + what); }

    void refuseUnknownKeys(const Json& object, const std::string& path, const std::set<std::string>& known)
    {
        for (const auto& item : object.items()) {
            if (known.count(item.key()) == 0)
                refuse(join(path, item.key()), "unknown key");
        }
    }

    bool isObject(const Json& value, const std::string& path)
    {
        if (!value.is_object())
            refuse(path, "expected an object, found " + describeValue(value));
        return value.is_object();
    }

    static const Json* member(const Json& object, const char* name)
    {
        const auto found = object.find(name);
        return found == object.end() ? nullptr : &*found;
    }

    static std::string join(const std::string& path, const std::string& name)
    {
        return path.empty() ? name : path + "." + name;
    }

    std::optional<bool> boolean(const Json& object, const std::string& path, const char* name)
    {
        const Json* value = member(object, name);
        if (value == nullptr)
            return std::nullopt;
        if (!value->is_boolean()) {
            refuse(join(path, name), "expected true or false, found " + describeValue(*value));
            return std::nullopt;
        }
        return value->get<bool>();
    }

    std::optional<int64_t> integer(const Json& object, const std::string& path, const char* name, int64_t lowest,
                                   int64_t highest, const char* range)
    {
        const Json* value = member(object, name);
        if (value == nullptr)
            return std::nullopt;
        const bool inRange = value->is_number_unsigned() ? value->get<uint64_t>() <= static_cast<uint64_t>(highest)
                             : value->is_number_integer()
                                 ? value->get<int64_t>() >= lowest && value->get<int64_t>() <= highest
                                 : false;
        if (!inRange) {
            refuse(join(path, name), std::string("expected ") + range + ", found " + describeValue(*value));
            return std::nullopt;
        }
        return value->get<int64_t>();
    }

    std::optional<int32_t> integer32(const Json& object, const std::string& path, const char* name)
    {
        const auto value = integer(object, path, name, std::numeric_limits<int32_t>::min(),
                                   std::numeric_limits<int32_t>::max(), "a 32-bit integer");
        return value ? std::optional<int32_t>(static_cast<int32_t>(*value)) : std::nullopt;
    }

    // A text in the code page of config.dat, at most `maxCharacters` long.
    std::optional<std::string> text(const Json& object, const std::string& path, const char* name,
                                    size_t maxCharacters)
    {
        const Json* value = member(object, name);
        if (value == nullptr)
            return std::nullopt;
        const std::string where = join(path, name);
        if (!value->is_string()) {
            refuse(where, "expected a text, found " + describeValue(*value));
            return std::nullopt;
        }
        const std::string& utf8 = value->get_ref<const std::string&>();
        std::u32string codePoints;
        std::string ansi;
        std::string problem;
        if (!decodeUtf8(utf8, codePoints)) {
            refuse(where, "not UTF-8");
        } else if (utf8.find('\0') != std::string::npos) {
            refuse(where, "holds a zero character, which config.dat cannot store");
        } else if (utf16Length(codePoints) > maxCharacters) {
            refuse(where, std::to_string(utf16Length(codePoints)) + " characters; the editor takes at most " +
                              std::to_string(maxCharacters));
        } else if (!codePage_.fromUtf8(utf8, ansi, problem)) {
            refuse(where, "holds " + problem);
        } else {
            return ansi;
        }
        return std::nullopt;
    }

    std::optional<int32_t> protocol(const Json& object, const std::string& path)
    {
        const Json* value = member(object, key::protocol);
        if (value == nullptr)
            return std::nullopt;
        if (!value->is_string()) {
            refuse(join(path, key::protocol), "expected a protocol keyword, found " + describeValue(*value));
            return std::nullopt;
        }
        const int index = protocolIndexOfKeyword(value->get_ref<const std::string&>());
        if (index >= 0)
            return index;
        refuse(join(path, key::protocol), "\"" + value->get<std::string>() + "\" is not a protocol; " + keywordList());
        return std::nullopt;
    }

    GivenEndpoints endpoints(const Json& preset, const std::string& path)
    {
        GivenEndpoints given;
        const Json* endpoints = member(preset, key::endpoints);
        if (endpoints == nullptr || !isObject(*endpoints, join(path, key::endpoints)))
            return given;
        for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
            const Json* endpoint = member(*endpoints, protocolKeyword(protocol).c_str());
            const std::string where = endpointPath(path, protocol);
            if (endpoint == nullptr || !isObject(*endpoint, where))
                continue;
            refuseUnknownKeys(*endpoint, where, kEndpointKeys);
            given[protocol].host = text(*endpoint, where, key::host, kMaxHostCharacters);
            given[protocol].port = integer32(*endpoint, where, key::port);
            given[protocol].streamName = text(*endpoint, where, key::streamName, kMaxStreamNameCharacters);
        }
        for (const auto& item : endpoints->items()) {
            if (protocolIndexOfKeyword(item.key()) < 0)
                refuse(join(path, key::endpoints) + "." + item.key(), "not a protocol; " + keywordList());
        }
        return given;
    }

    // A value given for one member of a family goes to the members given
    // without one. Members given with different values (a config.dat of
    // another program, exported) are taken as given and reported, or refused
    // when strict.
    template <typename Value>
    void share(GivenEndpoints& given, std::optional<Value> GivenEndpoint::*field, const SharedField& shared,
               const std::string& path)
    {
        int source = -1;
        for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
            const std::optional<Value>& value = given[protocol].*field;
            if (!shared.inFamily(protocolKeyword(protocol)) || !value)
                continue;
            if (source < 0)
                source = protocol;
            else if (*value != *(given[source].*field))
                differs(endpointPath(path, protocol) + "." + shared.key,
                        "differs from " + endpointPath(path, source) + "." + shared.key + "; " + shared.family +
                            " share one " + shared.key);
        }
        for (int protocol = 0; source >= 0 && protocol < kProtocolCount; ++protocol) {
            if (shared.inFamily(protocolKeyword(protocol)) && !(given[protocol].*field))
                given[protocol].*field = given[source].*field;
        }
    }

    // A preset with a new preset's values for what the input leaves out.
    std::optional<StreamSettings> preset(const Json& value, const std::string& path)
    {
        if (!isObject(value, path))
            return std::nullopt;
        const size_t refusalsBefore = report_.refusals.size();
        refuseUnknownKeys(value, path, kPresetKeys);
        const auto name = text(value, path, key::name, kMaxNameCharacters);
        if (member(value, key::name) == nullptr)
            refuse(join(path, key::name), "required");
        const auto protocolIndex = protocol(value, path);
        const auto sync = boolean(value, path, key::sync);
        const auto autoJitter = boolean(value, path, key::autoJitter);
        const auto jitterDelay = integer32(value, path, key::jitterDelay);
        const auto lipSync = integer32(value, path, key::lipSync);
        GivenEndpoints given = endpoints(value, path);
        // A preset whose values could all be read goes on to the range check
        // even when strict refuses its sharing groups.
        const bool read = report_.refusals.size() == refusalsBefore;
        share(given, &GivenEndpoint::host, {isRtspKeyword, key::host, "the RTSP endpoints"}, path);
        share(given, &GivenEndpoint::port, {isRtspKeyword, key::port, "the RTSP endpoints"}, path);
        share(given, &GivenEndpoint::port, {isPlainTsKeyword, key::port, "ts-udp and ts-tcp"}, path);
        share(given, &GivenEndpoint::streamName, {isRtspKeyword, key::streamName, "the RTSP endpoints"}, path);
        if (!read)
            return std::nullopt;

        StreamSettings preset;
        preset.setName(*name);
        for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
            const ProtocolInfo& info = *protocolInfo(protocol);
            StreamEndpoint endpoint;
            endpoint.host_ = given[protocol].host.value_or(info.defaultHost);
            endpoint.port_ = given[protocol].port.value_or(info.defaultPort);
            endpoint.streamName_ = given[protocol].streamName.value_or(info.defaultStreamName);
            preset.setEndpointAsGiven(protocol, endpoint);
        }
        preset.selectProtocol(protocolIndex.value_or(0));
        // The delay first: it is ignored while automatic buffering is on.
        preset.setJitterDelay(jitterDelay.value_or(0));
        preset.setAutoJitter(autoJitter.value_or(false));
        preset.setSync(sync.value_or(false));
        preset.setLipSyncText(toDecimal(lipSync.value_or(0)));
        return preset;
    }

private:
    void differs(const std::string& path, const std::string& what)
    {
        if (strict_)
            refuse(path, what);
        else
            report_.notices.push_back(path + ": " + what + "; taken as given");
    }

    static size_t utf16Length(const std::u32string& codePoints)
    {
        return codePoints.size() + static_cast<size_t>(std::count_if(codePoints.begin(), codePoints.end(),
                                                                     [](char32_t c) { return c > 0xFFFF; }));
    }

    static std::string keywordList()
    {
        std::string list = "one of";
        for (int index = 0; index < kProtocolCount; ++index)
            list += (index == 0 ? " " : ", ") + protocolKeyword(index);
        return list;
    }

    const CodePage& codePage_;
    bool strict_;
    ImportReport& report_;
};

// The document as read: presets with the place each came from.
struct ImportedDocument {
    bool setFlag = false;
    int64_t current = 0;
    std::vector<StreamSettings> presets;
    std::vector<std::string> paths;
};

bool readDocument(const Json& document, DocumentReader& reader, ImportedDocument& imported)
{
    if (!reader.isObject(document, "the document"))
        return false;
    reader.refuseUnknownKeys(document, "", kDocumentKeys);
    const Json* format = DocumentReader::member(document, key::format);
    if (format == nullptr || *format != kFormat)
        reader.refuse(key::format, std::string("expected \"") + kFormat + "\"");
    const Json* version = DocumentReader::member(document, key::version);
    if (version == nullptr || !version->is_number_integer() || *version != kVersion)
        reader.refuse(key::version, "expected " + std::to_string(kVersion) + ", the version this program reads");
    imported.setFlag = reader.boolean(document, "", key::setFlag).value_or(false);
    imported.current = reader.integer(document, "", key::current, 0, std::numeric_limits<int64_t>::max(),
                                      "a preset index from 0")
                           .value_or(0);

    const Json* presets = DocumentReader::member(document, key::presets);
    if (presets == nullptr) {
        reader.refuse(key::presets, "required");
    } else if (!presets->is_array()) {
        reader.refuse(key::presets, "expected an array, found " + describeValue(*presets));
    } else if (presets->size() > static_cast<size_t>(StreamSettingsSet::kMaxPresets)) {
        reader.refuse(key::presets, std::to_string(presets->size()) + " presets; config.dat holds at most " +
                                        std::to_string(StreamSettingsSet::kMaxPresets));
    } else {
        for (size_t index = 0; index < presets->size(); ++index) {
            const std::string path = presetPath(index);
            if (auto preset = reader.preset((*presets)[index], path)) {
                imported.presets.push_back(*preset);
                imported.paths.push_back(path);
            }
        }
    }
    return !reader.refused();
}

// The imported presets in the order given.
StreamSettingsSet listedPresets(const ImportedDocument& imported)
{
    StreamSettingsSet presets(1);
    presets.resize(static_cast<int>(imported.presets.size()));
    for (size_t index = 0; index < imported.presets.size(); ++index)
        presets.at(static_cast<int>(index)) = imported.presets[index];
    return presets;
}

// Puts the imported presets into `base`: each takes the place of the first
// preset of the same name that came from `base`, the others are appended.
bool mergePresets(const ImportedDocument& imported, StreamSettingsSet& presets, std::vector<std::string>& paths,
                  DocumentReader& reader)
{
    const int baseCount = presets.count();
    for (int index = 0; index < baseCount; ++index)
        paths.push_back("config " + presetPath(static_cast<size_t>(index)));
    std::vector<bool> replaced(static_cast<size_t>(baseCount), false);
    std::vector<StreamSettings> appended;
    std::vector<std::string> appendedPaths;
    for (size_t index = 0; index < imported.presets.size(); ++index) {
        const StreamSettings& preset = imported.presets[index];
        for (size_t earlier = 0; earlier < index; ++earlier) {
            if (imported.presets[earlier].name() == preset.name())
                reader.refuse(imported.paths[index] + "." + key::name,
                              "the same as " + imported.paths[earlier] + "." + key::name +
                                  "; a merge replaces presets by name, so names must differ");
        }
        int place = 0;
        while (place < baseCount && (replaced[place] || presets.at(place).name() != preset.name()))
            ++place;
        if (place < baseCount) {
            presets.at(place) = preset;
            paths[place] = imported.paths[index];
            replaced[place] = true;
        } else {
            appended.push_back(preset);
            appendedPaths.push_back(imported.paths[index]);
        }
    }
    const size_t total = static_cast<size_t>(baseCount) + appended.size();
    if (total > static_cast<size_t>(StreamSettingsSet::kMaxPresets))
        reader.refuse(key::presets, "the merge gives " + std::to_string(total) + " presets; config.dat holds at most " +
                                        std::to_string(StreamSettingsSet::kMaxPresets));
    if (reader.refused())
        return false;
    presets.resize(static_cast<int>(total));
    for (size_t index = 0; index < appended.size(); ++index)
        presets.at(baseCount + static_cast<int>(index)) = appended[index];
    paths.insert(paths.end(), appendedPaths.begin(), appendedPaths.end());
    return true;
}

// The values that validation brings into range.
struct RangedValues {
    std::array<int32_t, kProtocolCount> ports{};
    int32_t jitterDelay = 0;
    int32_t lipSync = 0;
};

RangedValues rangedValues(const StreamSettings& preset)
{
    RangedValues values;
    for (int protocol = 0; protocol < kProtocolCount; ++protocol)
        values.ports[protocol] = preset.endpoint(protocol).port_;
    values.jitterDelay = preset.jitterDelay();
    values.lipSync = preset.lipSync();
    return values;
}

// Validates as Save does and reports each value it changed, or, when strict,
// refuses it.
void validateReporting(StreamSettingsSet& presets, const std::vector<std::string>& paths, bool strict,
                       DocumentReader& reader, ImportReport& report)
{
    auto note = [&](const std::string& path, int32_t before, int32_t after) {
        if (before == after)
            return;
        if (strict)
            reader.refuse(path, toDecimal(before) + " is out of range (" + toDecimal(after) + " would be stored)");
        else
            report.changes.push_back(path + ": " + toDecimal(before) + " is out of range, stored as " +
                                     toDecimal(after));
    };
    for (int index = 0; index < presets.count(); ++index) {
        const RangedValues before = rangedValues(presets.at(index));
        presets.at(index).validate();
        const RangedValues after = rangedValues(presets.at(index));
        const std::string& path = paths[static_cast<size_t>(index)];
        for (int protocol = 0; protocol < kProtocolCount; ++protocol)
            note(endpointPath(path, protocol) + "." + key::port, before.ports[protocol], after.ports[protocol]);
        note(path + "." + key::jitterDelay, before.jitterDelay, after.jitterDelay);
        note(path + "." + key::lipSync, before.lipSync, after.lipSync);
    }
}

}  // namespace

bool presetsToJson(const StreamSettingsSet& presets, const CodePage& codePage, std::string& json,
                   std::string& problem)
{
    Json document = Json::object();
    document[key::format] = kFormat;
    document[key::version] = kVersion;
    document[key::setFlag] = presets.setFlag_;
    document[key::current] = presets.current_;
    Json& list = document[key::presets] = Json::array();
    for (int index = 0; index < presets.count(); ++index) {
        const std::string path = presetPath(static_cast<size_t>(index));
        if (!exportPreset(presets.at(index), path, codePage, list.emplace_back(), problem))
            return false;
    }
    json.clear();
    layOut(document, "", json);
    json += "\n";
    return true;
}

bool presetsFromJson(const std::string& json, const CodePage& codePage, const ImportOptions& options,
                     StreamSettingsSet& presets, ImportReport& report)
{
    Json document;
    if (!parseDocument(json, document, report))
        return false;
    DocumentReader reader(codePage, options.strict, report);
    ImportedDocument imported;
    if (!readDocument(document, reader, imported)) {
        // When strict, values out of range are named too, so that one run
        // tells every problem.
        StreamSettingsSet read = listedPresets(imported);
        if (options.strict)
            validateReporting(read, imported.paths, options.strict, reader, report);
        return false;
    }

    StreamSettingsSet result(1);
    std::vector<std::string> paths;
    if (options.mergeInto != nullptr) {
        result = *options.mergeInto;
        if (!mergePresets(imported, result, paths, reader))
            return false;
    } else {
        result = listedPresets(imported);
        paths = imported.paths;
        result.setFlag_ = imported.setFlag;
        result.current_ = static_cast<uint8_t>(std::min<int64_t>(imported.current, 255));
    }
    validateReporting(result, paths, options.strict, reader, report);
    if (reader.refused())
        return false;

    // The writer's own check; it also stores the current index as the file will hold it.
    std::vector<uint8_t> bytes;
    if (!writeConfigBytes(result, bytes)) {
        reader.refuse(key::presets, "more than config.dat holds: its body takes at most 65,535 bytes");
        return false;
    }
    if (options.mergeInto == nullptr && imported.current != result.current_)
        report.changes.push_back(std::string(key::current) + ": " + std::to_string(imported.current) +
                                 " is beyond the last preset, stored as " + std::to_string(result.current_));
    result.clearChanged();
    presets = result;
    return true;
}
