#include "model/protocol_table.h"

namespace {

// Keyword, display name, which endpoint fields apply, and the endpoint values
// a new preset starts with. The row index is the protocol index.
constexpr ProtocolInfo kProtocols[kProtocolCount] = {
    {"off", "Off", false, false, false, "", 0, ""},
    {"ts-udp", "Transport Stream over UDP", false, true, false, "", 9710, ""},
    {"ts-multi", "Transport Stream over UDP Multicast", true, true, false, "239.192.10.40", 2000, ""},
    {"ts-tcp", "Transport Stream over TCP", false, true, false, "", 9710, ""},
    {"ts-tcp-pull", "Transport Stream over TCP Pull", true, true, false, "192.168.0.10", 5000, ""},
    {"rtsp-udp", "RTSP over UDP", true, true, true, "192.168.0.10", 554, "stream1"},
    {"rtsp-multi", "RTSP over UDP Multicast", true, true, true, "192.168.0.10", 554, "stream1"},
    {"rtsp-tcp", "RTSP over TCP", true, true, true, "192.168.0.10", 554, "stream1"},
    {"cds-udp", "Corvane Streaming over UDP", false, true, false, "", 9710, ""},
    {"cds-multi", "Corvane Streaming over UDP Multicast", true, true, false, "239.192.10.40", 5000, ""},
};

constexpr const char* kUnknown = "Error";

const ProtocolInfo* protocolWithKeyword(const std::string& keyword)
{
    for (const ProtocolInfo& info : kProtocols) {
        if (keyword == info.keyword)
            return &info;
    }
    return nullptr;
}

}  // namespace

const ProtocolInfo* protocolInfo(int index)
{
    if (index < 0 || index >= kProtocolCount)
        return nullptr;
    return &kProtocols[index];
}

int protocolIndexOfKeyword(const std::string& keyword)
{
    const ProtocolInfo* info = protocolWithKeyword(keyword);
    return info ? static_cast<int>(info - kProtocols) : -1;
}

std::string protocolDisplayName(int index)
{
    // Taken as unsigned: a negative index lands far above the table.
    const unsigned row = static_cast<unsigned>(index);
    return row < static_cast<unsigned>(kProtocolCount) ? kProtocols[row].displayName : kUnknown;
}

std::string protocolKeyword(int index)
{
    const ProtocolInfo* info = protocolInfo(index);
    return info ? info->keyword : kUnknown;
}

bool isRtspKeyword(const std::string& keyword)
{
    return keyword == "rtsp-udp" || keyword == "rtsp-multi" || keyword == "rtsp-tcp";
}

bool isPlainTsKeyword(const std::string& keyword)
{
    return keyword == "ts-udp" || keyword == "ts-tcp";
}

bool keywordUsesHost(const std::string& keyword)
{
    const ProtocolInfo* info = protocolWithKeyword(keyword);
    return info && info->usesHost;
}

bool keywordUsesPort(const std::string& keyword)
{
    const ProtocolInfo* info = protocolWithKeyword(keyword);
    return info && info->usesPort;
}

bool keywordUsesStreamName(const std::string& keyword)
{
    const ProtocolInfo* info = protocolWithKeyword(keyword);
    return info && info->usesStreamName;
}
