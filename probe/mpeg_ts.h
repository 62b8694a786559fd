#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "probe/media_timing.h"

// What an MPEG transport stream carries, read from the bytes as they arrive,
// whatever the size of the datagrams or reads: 188-byte packets, each
// starting with the sync byte 0x47. Whenever the sync is lost (a stray
// datagram, a gap) it is looked for again in the bytes that follow. Bytes
// from the network: only single-packet PSI sections are read, and every
// length is checked.
class TsAnalyzer {
public:
    // The next bytes of the stream, and when they arrived (seconds of any
    // steady clock).
    void add(const char* bytes, size_t count, double arrivalSeconds = 0);

    // Whether the bytes are a transport stream: packets were found (every
    // 188th byte the sync byte, at least three times over), and they hold
    // the bulk of the bytes that were judged.
    bool isTs() const { return packets_ > 0 && packetPercent() >= 50; }
    // The share of the judged bytes that lay in packets, in whole percent.
    int packetPercent() const;
    uint64_t packets() const { return packets_; }
    uint64_t continuityErrors() const { return continuityErrors_; }
    // The streams its programs describe: "video H264", "audio AAC".
    std::vector<std::string> media() const;
    // From the program clock against arrival.
    const TransitJitter& transit() const { return transit_; }

private:
    void lockOn();
    void readPacket(const unsigned char* packet, double arrivalSeconds);
    void readSection(uint16_t pid, const unsigned char* payload, size_t size);

    std::string pending_;  // bytes not yet read as packets
    bool locked_ = false;
    uint64_t packets_ = 0;
    uint64_t skippedBytes_ = 0;  // judged, and not in a packet
    uint64_t continuityErrors_ = 0;
    std::map<uint16_t, int> lastCounter_;
    std::map<uint16_t, bool> programMaps_;  // PMT PIDs, and whether read
    std::map<uint16_t, std::string> streams_;  // elementary PID: its stream
    std::optional<uint16_t> pcrPid_;
    TransitJitter transit_;
};
