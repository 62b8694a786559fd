#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "discover/found_source.h"

// SAP announcements of multicast sessions, and the session descriptions they
// carry. Every datagram is untrusted: an inflated description is cut off at
// kMaxDescription bytes, and the table holds at most kMaxSessions sessions.

constexpr size_t kMaxDescription = 16 * 1024;
constexpr size_t kMaxSessions = 256;

struct SapMessage {
    bool deletion = false;
    std::string origin;  // the originating source's address, as text
    uint16_t hash = 0;   // the message identifier hash
    std::string sdp;
};

// False, with the reason, for a datagram that is no SAP announcement we can
// read (encrypted, another version, cut short, not SDP).
bool readSapMessage(const char* bytes, size_t size, SapMessage& message, std::string& problem);

// What a session description offers, with the preset it makes.
struct SdpAnnouncement {
    std::string name;        // s=
    std::string connection;  // the address of c=
    bool ipv6 = false;
    int32_t port = 0;        // of the first m=
    std::string media;       // "video", "audio"
    std::string transport;   // "udp", "RTP/AVP"
    std::string encoding;    // "MP2T", "H264", or the payload number
};
// False, with the reason, when it names no medium and address.
bool readSdpAnnouncement(const std::string& sdp, SdpAnnouncement& announcement, std::string& problem);

// The preset that an announced session makes, or why none can.
void presetOfAnnouncement(const SdpAnnouncement& announcement, FoundSource& source);

// The sessions announced so far: each (origin, hash) once, gone on its
// deletion, expired after ten announcement intervals or an hour.
class SapSessions {
public:
    using Clock = std::chrono::steady_clock;

    // Takes one datagram that arrived at `now` on `interfaceName`.
    void take(const char* bytes, size_t size, const std::string& interfaceName, Clock::time_point now);
    // The sessions alive at `now`, in the order they were first announced.
    std::vector<FoundSource> sources(Clock::time_point now) const;

private:
    struct Session {
        FoundSource source;
        Clock::time_point first;
        Clock::time_point last;
        Clock::duration interval{};
        uint64_t order = 0;
    };
    std::map<std::pair<std::string, uint16_t>, Session> sessions_;
    uint64_t announced_ = 0;
};
