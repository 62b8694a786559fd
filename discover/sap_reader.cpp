#include "discover/sap_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "discover/network_text.h"
#include "probe/net_socket.h"
#include "probe/text_split.h"

namespace {

constexpr unsigned char kVersionMask = 0xE0;
constexpr unsigned char kVersion1 = 0x20;
constexpr unsigned char kIpv6Origin = 0x10;
constexpr unsigned char kDeletion = 0x04;
constexpr unsigned char kEncrypted = 0x02;
constexpr unsigned char kCompressed = 0x01;
constexpr char kSdpType[] = "application/sdp";

// An hour, and ten intervals: how long a session lives without announcements.
constexpr auto kLongestLife = std::chrono::hours(1);
constexpr int kIntervalsOfLife = 10;

// The zlib stream inflated, cut off at kMaxDescription bytes.
bool inflated(const unsigned char* bytes, size_t size, std::string& text)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    std::string output(kMaxDescription, '\0');
    stream.next_in = const_cast<unsigned char*>(bytes);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = reinterpret_cast<unsigned char*>(output.data());
    stream.avail_out = static_cast<uInt>(output.size());
    const int status = inflate(&stream, Z_FINISH);
    output.resize(output.size() - stream.avail_out);
    inflateEnd(&stream);
    if (status != Z_STREAM_END && status != Z_BUF_ERROR)
        return false;
    text = output;
    return true;
}

std::string ipv6Text(const unsigned char* bytes)
{
    std::string text;
    for (int group = 0; group < 8; ++group) {
        char digits[8];
        std::snprintf(digits, sizeof digits, group ? ":%x" : "%x", bytes[2 * group] << 8 | bytes[2 * group + 1]);
        text += digits;
    }
    return text;
}

}  // namespace

bool readSapMessage(const char* data, size_t size, SapMessage& message, std::string& problem)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    if (size < 4) {
        problem = "shorter than a SAP header";
        return false;
    }
    const unsigned char flags = bytes[0];
    if ((flags & kVersionMask) != kVersion1) {
        problem = "not SAP version 1";
        return false;
    }
    if (flags & kEncrypted) {
        problem = "encrypted";
        return false;
    }
    const size_t originLength = flags & kIpv6Origin ? 16 : 4;
    const size_t headerLength = 4 + originLength + 4 * size_t{bytes[1]};
    if (size < headerLength) {
        problem = "cut short in its header";
        return false;
    }
    message.deletion = (flags & kDeletion) != 0;
    message.hash = static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);
    const unsigned char* origin = bytes + 4;
    message.origin = originLength == 4 ? std::to_string(origin[0]) + "." + std::to_string(origin[1]) + "." +
                                             std::to_string(origin[2]) + "." + std::to_string(origin[3])
                                       : ipv6Text(origin);
    std::string payload;
    if (flags & kCompressed) {
        if (!inflated(bytes + headerLength, size - headerLength, payload)) {
            problem = "compressed, but not inflatable";
            return false;
        }
    } else {
        payload.assign(data + headerLength, std::min(size - headerLength, kMaxDescription));
    }
    // The payload type is optional: a description starts with "v=", that of
    // a deletion may be its origin line alone.
    if (payload.compare(0, 2, "v=") != 0 && !(message.deletion && payload.compare(0, 2, "o=") == 0)) {
        const size_t end = payload.find('\0');
        if (end == std::string::npos || payload.compare(0, end, kSdpType) != 0) {
            problem = "carries no session description";
            return false;
        }
        payload.erase(0, end + 1);
    }
    message.sdp = payload;
    return true;
}

bool readSdpAnnouncement(const std::string& sdp, SdpAnnouncement& announcement, std::string& problem)
{
    bool inMedium = false;
    bool haveMedium = false;
    std::string payloadType;
    std::string line;
    for (size_t at = 0; nextLine(sdp, at, line);) {
        if (line.size() < 2 || line[1] != '=')
            continue;
        const std::string value = line.substr(2);
        const std::vector<std::string> parts = splitWords(value, 8);
        switch (line[0]) {
        case 's':
            announcement.name = printableText(value);
            break;
        case 'c':
            // The session's address, or the first medium's own.
            if (parts.size() >= 3 && (!haveMedium || inMedium)) {
                announcement.ipv6 = parts[1] == "IP6";
                announcement.connection = printableText(parts[2].substr(0, parts[2].find('/')), 64);
            }
            break;
        case 'm':
            inMedium = !haveMedium;
            if (haveMedium || parts.size() < 4)
                break;
            haveMedium = true;
            announcement.media = printableText(parts[0], 24);
            announcement.port = static_cast<int32_t>(std::strtol(parts[1].c_str(), nullptr, 10));
            announcement.transport = printableText(parts[2], 24);
            payloadType = parts[3];
            announcement.encoding = printableText(parts[3], 24);
            // RTP's payload 33, and plain UDP's "mpeg" as players announce it.
            if (payloadType == "33" || (announcement.transport == "udp" && lowerCase(payloadType) == "mpeg"))
                announcement.encoding = "MP2T";
            break;
        case 'a':
            if (inMedium && value.compare(0, 7, "rtpmap:") == 0 && parts.size() >= 2 &&
                parts[0].substr(7) == payloadType)
                announcement.encoding = printableText(parts[1].substr(0, parts[1].find('/')), 24);
            break;
        default:
            break;
        }
    }
    if (!haveMedium || announcement.connection.empty()) {
        problem = "names no medium or no address";
        return false;
    }
    if (announcement.port <= 0 || announcement.port > 65535) {
        problem = "names no port";
        return false;
    }
    return true;
}

void presetOfAnnouncement(const SdpAnnouncement& announcement, FoundSource& source)
{
    source.name = announcement.name.empty() ? "(unnamed session)" : announcement.name;
    source.address = announcement.connection + ":" + std::to_string(announcement.port);
    source.stream = announcement.media + " " + announcement.encoding + " over " + announcement.transport;
    if (announcement.ipv6) {
        source.reason = "IPv6: presets take IPv4 addresses only";
        return;
    }
    if (announcement.transport != "udp" || announcement.encoding != "MP2T") {
        source.reason = "not a transport stream over plain UDP: presets receive RTP only through RTSP";
        return;
    }
    uint32_t address = 0;
    if (!parseIpv4(announcement.connection, address)) {
        source.reason = "names no IPv4 address";
        return;
    }
    const bool multicast = isMulticastAddress(address);
    source.keyword = multicast ? "ts-multi" : "ts-udp";
    source.host = multicast ? announcement.connection : "";
    source.port = announcement.port;
}

void SapSessions::take(const char* bytes, size_t size, const std::string& interfaceName, Clock::time_point now)
{
    SapMessage message;
    std::string problem;
    if (!readSapMessage(bytes, size, message, problem))
        return;
    const auto key = std::make_pair(message.origin, message.hash);
    if (message.deletion) {
        sessions_.erase(key);
        return;
    }
    const auto found = sessions_.find(key);
    if (found != sessions_.end()) {
        found->second.interval = now - found->second.last;
        found->second.last = now;
        return;
    }
    if (sessions_.size() >= kMaxSessions)
        return;
    SdpAnnouncement announcement;
    Session session;
    session.source.kind = "sap";
    session.source.interfaceName = interfaceName;
    if (readSdpAnnouncement(message.sdp, announcement, problem))
        presetOfAnnouncement(announcement, session.source);
    else {
        session.source.name = "(unreadable session)";
        session.source.address = message.origin;
        session.source.reason = "its description " + problem;
    }
    session.first = session.last = now;
    session.order = announced_++;
    sessions_.emplace(key, session);
}

std::vector<FoundSource> SapSessions::sources(Clock::time_point now) const
{
    std::vector<const Session*> alive;
    for (const auto& entry : sessions_) {
        const Session& session = entry.second;
        const Clock::duration life = session.interval == Clock::duration::zero()
                                         ? Clock::duration(kLongestLife)
                                         : std::min<Clock::duration>(kLongestLife, session.interval * kIntervalsOfLife);
        if (now - session.last <= life)
            alive.push_back(&session);
    }
    std::sort(alive.begin(), alive.end(), [](const Session* a, const Session* b) { return a->order < b->order; });
    std::vector<FoundSource> result;
    for (const Session* session : alive)
        result.push_back(session->source);
    return result;
}
