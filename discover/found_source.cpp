#include "discover/found_source.h"

std::string presetText(const FoundSource& source)
{
    if (source.keyword.empty())
        return "- (" + source.reason + ")";
    std::string text = source.keyword + " " + (source.host.empty() ? "port " : source.host + ":") +
                       std::to_string(source.port);
    return source.streamName.empty() ? text : text + " " + source.streamName;
}
