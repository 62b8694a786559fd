#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "probe/media_timing.h"

// RTP packets as they arrive: the fixed header of each, and what they tell
// about the stream (payload type, lost packets, interarrival jitter).

struct RtpHeader {
    int payloadType = 0;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t source = 0;  // SSRC
};

// The fixed header of version 2; false for anything else or too short.
bool parseRtpHeader(const char* bytes, size_t count, RtpHeader& header);

class RtpStats {
public:
    // `clockRate`: of the time stamps (90000 for video).
    explicit RtpStats(int clockRate = 90000) : clockRate_(clockRate) {}

    // One datagram or interleaved frame; false when it is not RTP.
    bool add(const char* bytes, size_t count, double arrivalSeconds);

    uint64_t packets() const { return packets_; }
    std::optional<int> payloadType() const { return payloadType_; }
    // Packets whose sequence numbers never arrived.
    uint64_t lost() const;
    // The interarrival jitter of RFC 3550, in milliseconds.
    double jitterMs() const { return jitter_ / clockRate_ * 1000; }
    const TransitJitter& transit() const { return transit_; }

private:
    const double clockRate_;
    uint64_t packets_ = 0;
    std::optional<int> payloadType_;
    std::optional<uint32_t> source_;
    int64_t firstSequence_ = 0;
    int64_t highestSequence_ = 0;  // extended over wraps
    int64_t lastTimestamp_ = 0;    // extended over wraps
    double lastTransit_ = 0;
    double jitter_ = 0;
    TransitJitter transit_;
};
