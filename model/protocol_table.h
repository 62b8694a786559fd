#pragma once

#include <cstdint>
#include <string>

// The ten ways a preset can receive its stream. A protocol is identified by
// its index everywhere: in a preset, in config.dat and as the position in the
// editor's protocol list.
constexpr int kProtocolCount = 10;

struct ProtocolInfo {
    const char* keyword;
    const char* displayName;
    bool usesHost;
    bool usesPort;
    bool usesStreamName;
    const char* defaultHost;
    int32_t defaultPort;
    const char* defaultStreamName;
};

// Row `index` of the table; null when the index is outside 0..9.
const ProtocolInfo* protocolInfo(int index);

// The index of the protocol with that keyword; -1 when no protocol has it.
int protocolIndexOfKeyword(const std::string& keyword);

// "Error" for an index outside the table.
std::string protocolDisplayName(int index);
std::string protocolKeyword(int index);

// Family tests on a keyword, as the model and the page ask them.
bool isRtspKeyword(const std::string& keyword);
bool isPlainTsKeyword(const std::string& keyword);  // "ts-udp" and "ts-tcp" share one port
bool keywordUsesHost(const std::string& keyword);
bool keywordUsesPort(const std::string& keyword);
bool keywordUsesStreamName(const std::string& keyword);
