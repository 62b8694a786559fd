#include "discover/found_source.h"

#include "model/protocol_table.h"

std::string presetText(const FoundSource& source)
{
    if (source.keyword.empty())
        return "- (" + source.reason + ")";
    std::string text = source.keyword + " " + (source.host.empty() ? "port " : source.host + ":") +
                       std::to_string(source.port);
    return source.streamName.empty() ? text : text + " " + source.streamName;
}

GivenPreset givenPresetOf(const FoundSource& source, const std::string& name)
{
    GivenPreset preset;
    preset.name = name;
    const int protocol = protocolIndexOfKeyword(source.keyword);
    if (protocol < 0)
        return preset;
    preset.protocol = protocol;
    GivenEndpoint& endpoint = preset.endpoints[protocol];
    endpoint.port = source.port;
    if (!source.host.empty())
        endpoint.host = source.host;
    if (!source.streamName.empty())
        endpoint.streamName = source.streamName;
    return preset;
}
