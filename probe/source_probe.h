#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "probe/cancel_token.h"

// Whether the source that a preset names reaches this machine, what it
// sends, and which settings will work. A probe runs on the caller's thread;
// several may run at once on threads of their own. Its only thread of its own
// asks the name service, and ends when that answers, never by an exception.
// What the network sends fails the probe with words; only running out of
// memory throws (std::bad_alloc), so a thread that probes catches it and
// reports the preset as "could not be read: ...".

// The endpoint of the preset's protocol; texts in UTF-8.
struct SourceEndpoint {
    std::string keyword;  // the protocol's keyword; not "off"
    std::string host;
    int32_t port = 0;
    std::string streamName;
};

enum class ProbeVerdict {
    ok,       // reachable, and sent what the preset can use
    failed,   // unreachable, misconfigured, or sent nothing usable
    busy,     // another program holds the port: nothing known of the source
    stopped,  // cancelled before the probe was done
};

// One RTSP transport as it was tried.
struct TransportTrial {
    std::string protocol;  // its keyword: "rtsp-udp", "rtsp-multi", "rtsp-tcp"
    bool delivered = false;
    std::string detail;  // "42 RTP packets", "did not arrive within 2 s", ...
};

// An interface that a multicast stream arrived on.
struct InterfaceReceipt {
    std::string address;
    std::string name;
    uint64_t packets = 0;
};

// What the probe of one source found. Counts and findings are set only where
// they apply to the protocol and something was measured.
struct ProbeReport {
    ProbeVerdict verdict = ProbeVerdict::failed;
    std::string target;  // where it looked: "rtsp://host:554/main", "udp port 9710"
    std::string detail;  // what failed, or what arrived, for a person
    std::vector<std::string> advice;  // what to change, or what to know
    std::string busyOwner;            // the program that holds the port, when known
    std::optional<uint64_t> packets;  // datagrams, or RTP packets
    std::optional<uint64_t> bytes;
    std::optional<uint64_t> tsPackets;
    std::optional<bool> mpegTs;
    std::optional<int> rtspStatus;  // of DESCRIBE
    std::optional<std::vector<std::string>> media;
    std::vector<std::string> senders;
    std::vector<InterfaceReceipt> interfaces;
    std::string systemChoice;  // the interface the system joins a group on
    std::vector<TransportTrial> transports;
    std::string recommendedProtocol;  // a keyword
    std::optional<double> bitrateKbps;
    std::optional<uint64_t> lost;
    std::optional<uint64_t> ccErrors;
    std::optional<double> jitterMs;
    std::optional<int> payloadType;
    std::optional<int> suggestedJitterBufferMs;
};

// Called on the probing thread with short news: "resolving camera…",
// "connected, DESCRIBE…", "receiving on 10.1.0.5…".
using ProbeProgress = std::function<void(const std::string& news)>;

// Where the probe looks, before it looks: "host:port", "udp port 9710", "tcp
// port 9710"; RTSP: the URL it asks for.
std::string sourceTarget(const SourceEndpoint& source);

// Probes the source for at most `duration`; a cancel ends it within 0.1 s.
ProbeReport probeSource(const SourceEndpoint& source, std::chrono::milliseconds duration,
                        const CancelToken& cancel, const ProbeProgress& progress = {});

// The verdict in a word: "OK", "FAILED", "BUSY", "STOPPED".
const char* verdictWord(ProbeVerdict verdict);
// The report in one sentence for a person: the detail, then the advice.
std::string verdictSentence(const ProbeReport& report);
