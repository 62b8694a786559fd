#include "tool/preset_json.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <set>

#include "model/preset_joining.h"
#include "model/protocol_table.h"
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

// Reads the document's values into given presets, refusing with the path of
// every value that is not of its kind; the values themselves are the
// model's to check.
class DocumentReader {
public:
    explicit DocumentReader(ImportReport& report) : report_(report) {}

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

    std::optional<std::string> text(const Json& object, const std::string& path, const char* name)
    {
        const Json* value = member(object, name);
        if (value == nullptr)
            return std::nullopt;
        if (!value->is_string()) {
            refuse(join(path, name), "expected a text, found " + describeValue(*value));
            return std::nullopt;
        }
        return value->get<std::string>();
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

    void endpoints(const Json& preset, const std::string& path, GivenPreset& given)
    {
        const Json* endpoints = member(preset, key::endpoints);
        if (endpoints == nullptr || !isObject(*endpoints, join(path, key::endpoints)))
            return;
        for (int protocol = 0; protocol < kProtocolCount; ++protocol) {
            const Json* endpoint = member(*endpoints, protocolKeyword(protocol).c_str());
            const std::string where = endpointPath(path, protocol);
            if (endpoint == nullptr || !isObject(*endpoint, where))
                continue;
            refuseUnknownKeys(*endpoint, where, kEndpointKeys);
            given.endpoints[protocol].host = text(*endpoint, where, key::host);
            given.endpoints[protocol].port = integer32(*endpoint, where, key::port);
            given.endpoints[protocol].streamName = text(*endpoint, where, key::streamName);
        }
        for (const auto& item : endpoints->items()) {
            if (protocolIndexOfKeyword(item.key()) < 0)
                refuse(join(path, key::endpoints) + "." + item.key(), "not a protocol; " + keywordList());
        }
    }

    std::optional<GivenPreset> preset(const Json& value, const std::string& path)
    {
        if (!isObject(value, path))
            return std::nullopt;
        refuseUnknownKeys(value, path, kPresetKeys);
        GivenPreset given;
        if (member(value, key::name) == nullptr)
            refuse(join(path, key::name), "required");
        given.name = text(value, path, key::name).value_or("");
        given.protocol = protocol(value, path);
        given.sync = boolean(value, path, key::sync);
        given.autoJitter = boolean(value, path, key::autoJitter);
        given.jitterDelay = integer32(value, path, key::jitterDelay);
        given.lipSync = integer32(value, path, key::lipSync);
        endpoints(value, path, given);
        return given;
    }

private:
    static std::string keywordList()
    {
        std::string list = "one of";
        for (int index = 0; index < kProtocolCount; ++index)
            list += (index == 0 ? " " : ", ") + protocolKeyword(index);
        return list;
    }

    ImportReport& report_;
};

// The document as read: presets with the place each came from.
struct ImportedDocument {
    bool setFlag = false;
    int64_t current = 0;
    std::vector<GivenPreset> presets;
    std::vector<std::string> paths;
};

void readDocument(const Json& document, DocumentReader& reader, ImportedDocument& imported)
{
    if (!reader.isObject(document, "the document"))
        return;
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
    } else {
        for (size_t index = 0; index < presets->size(); ++index) {
            const std::string path = presetPath(index);
            if (auto preset = reader.preset((*presets)[index], path)) {
                imported.presets.push_back(*preset);
                imported.paths.push_back(path);
            }
        }
    }
}

// The model's notes as lines with their places in the input.
class NoteWriter {
public:
    NoteWriter(const std::vector<std::string>& places, bool merge, ImportReport& report)
        : places_(places), merge_(merge), report_(report)
    {
    }

    void write(const JoinNote& note)
    {
        const std::string where = path(note.place);
        switch (note.kind) {
        case JoinNoteKind::outOfRange:
            if (note.refused)
                line(note, where + ": " + note.before + " is out of range (" + note.after + " would be stored)");
            else
                line(note, where + ": " + note.before + " is out of range, stored as " + note.after);
            break;
        case JoinNoteKind::nameCut:
            line(note, where + ": " + note.before + " characters; the editor takes at most " +
                           std::to_string(kMaxNameCharacters) + ", stored as " + Json(note.after).dump());
            break;
        case JoinNoteKind::unfitText:
            line(note, where + ": " + note.detail);
            break;
        case JoinNoteKind::differs: {
            const std::string key = fieldKey(note.place.field);
            const bool rtsp = isRtspKeyword(protocolKeyword(note.place.protocol));
            line(note, where + ": differs from " + path(note.other) + "; " +
                           (rtsp ? "the RTSP endpoints" : "ts-udp and ts-tcp") + " share one " + key +
                           (note.refused ? "" : "; taken as given"));
            break;
        }
        case JoinNoteKind::sameName:
            line(note, where + ": the same as " + path(note.other) +
                           "; a merge replaces presets by name, so names must differ");
            break;
        case JoinNoteKind::tooMany:
            line(note, std::string(key::presets) + ": " + (merge_ ? "the merge gives " : "") + note.before +
                           " presets; config.dat holds at most " + note.after);
            break;
        }
    }

private:
    static const char* fieldKey(PresetField field)
    {
        switch (field) {
        case PresetField::name:
            return key::name;
        case PresetField::jitterDelay:
            return key::jitterDelay;
        case PresetField::lipSync:
            return key::lipSync;
        case PresetField::host:
            return key::host;
        case PresetField::port:
            return key::port;
        case PresetField::streamName:
            return key::streamName;
        }
        return "";
    }

    std::string path(const PresetPlace& place) const
    {
        const std::string preset = place.given ? places_[static_cast<size_t>(place.index)]
                                               : "config " + presetPath(static_cast<size_t>(place.index));
        const bool ofEndpoint = place.field == PresetField::host || place.field == PresetField::port ||
                                place.field == PresetField::streamName;
        return (ofEndpoint ? endpointPath(preset, place.protocol) : preset) + "." + fieldKey(place.field);
    }

    void line(const JoinNote& note, const std::string& text)
    {
        if (note.refused)
            report_.refusals.push_back(text);
        else if (note.kind == JoinNoteKind::differs)
            report_.notices.push_back(text);
        else
            report_.changes.push_back(text);
    }

    const std::vector<std::string>& places_;
    bool merge_;
    ImportReport& report_;
};

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

void describeJoinNotes(const JoinReport& joined, const std::vector<std::string>& places, bool merged,
                       ImportReport& report)
{
    NoteWriter writer(places, merged, report);
    for (const JoinNote& note : joined.notes)
        writer.write(note);
}

bool presetsFromJson(const std::string& json, const CodePage& codePage, const ImportOptions& options,
                     StreamSettingsSet& presets, ImportReport& report)
{
    Json document;
    if (!parseDocument(json, document, report))
        return false;
    DocumentReader reader(report);
    ImportedDocument imported;
    readDocument(document, reader, imported);

    const bool merge = options.mergeInto != nullptr;
    StreamSettingsSet result = merge ? *options.mergeInto : StreamSettingsSet(1);
    JoinOptions joining;
    joining.joining = merge ? Joining::byName : Joining::replaceAll;
    joining.strict = options.strict;
    JoinReport joined;
    joinPresets(result, imported.presets, joining, codePage, joined);
    describeJoinNotes(joined, imported.paths, merge, report);
    if (reader.refused() || joined.refused())
        return false;
    if (!merge) {
        result.setFlag_ = imported.setFlag;
        result.current_ = static_cast<uint8_t>(std::min<int64_t>(imported.current, 255));
    }

    // The writer's own check; it also stores the current index as the file will hold it.
    std::vector<uint8_t> bytes;
    if (!writeConfigBytes(result, bytes)) {
        reader.refuse(key::presets, "more than config.dat holds: its body takes at most 65,535 bytes");
        return false;
    }
    if (!merge && imported.current != result.current_)
        report.changes.push_back(std::string(key::current) + ": " + std::to_string(imported.current) +
                                 " is beyond the last preset, stored as " + std::to_string(result.current_));
    result.clearChanged();
    presets = result;
    return true;
}
