#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Whether the source that a preset names reaches this machine, and what it
// sends.

// The endpoint of the preset's protocol; texts in UTF-8.
struct SourceEndpoint {
    std::string keyword;  // the protocol's keyword; not "off"
    std::string host;
    int32_t port = 0;
    std::string streamName;
};

// What the probe of one source found. Counts and findings are set only where
// they apply to the protocol.
struct ProbeReport {
    bool ok = false;        // reachable, and sent something (for RTSP: a description with media)
    bool stopped = false;   // Ctrl+C came before the probe was done
    std::string detail;     // what failed, or what arrived, for a person
    bool busy = false;      // another program holds the port
    std::optional<uint64_t> packets;
    std::optional<uint64_t> bytes;
    std::optional<bool> mpegTs;
    std::optional<int> rtspStatus;  // of DESCRIBE
    std::optional<std::vector<std::string>> media;
};

// Where the probe looks: "host:port", "udp port 9710" or "tcp port 9710".
std::string sourceTarget(const SourceEndpoint& source);

// Probes the source for at most `seconds`.
ProbeReport probeSource(const SourceEndpoint& source, int seconds);
