#include "probe/mpeg_ts.h"

#include <set>
#include <string>

namespace {

constexpr size_t kPacketSize = 188;
constexpr char kSyncByte = 0x47;
// Three sync bytes in a row are what a receiver needs to lock on; random
// bytes show them by chance once in about 90,000 streams.
constexpr size_t kSyncBytesNeeded = 3;
constexpr size_t kSyncSpan = (kSyncBytesNeeded - 1) * kPacketSize + 1;
constexpr uint16_t kNullPid = 0x1FFF;
constexpr size_t kMaxPrograms = 64;
constexpr size_t kMaxStreams = 64;

// The first position in `bytes` from which every 188th byte is the sync
// byte three times over; npos when there is none.
size_t syncOffset(const std::string& bytes)
{
    for (size_t position = bytes.find(kSyncByte); position != std::string::npos && bytes.size() - position >= kSyncSpan;
         position = bytes.find(kSyncByte, position + 1)) {
        size_t syncBytes = 1;
        while (syncBytes < kSyncBytesNeeded && bytes[position + syncBytes * kPacketSize] == kSyncByte)
            ++syncBytes;
        if (syncBytes == kSyncBytesNeeded)
            return position;
    }
    return std::string::npos;
}

// The kind of an elementary stream from its stream type, and from a
// descriptor of the AC-3 family for the private ones.
std::string streamKind(int streamType, bool ac3Descriptor)
{
    switch (streamType) {
    case 0x01:
    case 0x02:
        return "video MPEG-2";
    case 0x1B:
        return "video H264";
    case 0x24:
        return "video H265";
    case 0x03:
    case 0x04:
        return "audio MPEG";
    case 0x0F:
    case 0x11:
        return "audio AAC";
    case 0x81:
        return "audio AC-3";
    case 0x06:
        return ac3Descriptor ? "audio AC-3" : "data";
    default:
        return "stream type " + std::to_string(streamType);
    }
}

// AC-3 or E-AC-3 descriptors, or the registration "AC-3".
bool isAc3Descriptor(const unsigned char* descriptor)
{
    return descriptor[0] == 0x6A || descriptor[0] == 0x7A ||
           (descriptor[0] == 0x05 && descriptor[1] >= 4 &&
            std::string(reinterpret_cast<const char*>(descriptor) + 2, 4) == "AC-3");
}

}  // namespace

int TsAnalyzer::packetPercent() const
{
    const uint64_t inPackets = packets_ * kPacketSize;
    const uint64_t judged = inPackets + skippedBytes_;
    return judged == 0 ? 0 : static_cast<int>(inPackets * 100 / judged);
}

void TsAnalyzer::add(const char* bytes, size_t count, double arrivalSeconds)
{
    pending_.append(bytes, count);
    if (!locked_)
        lockOn();
    size_t position = 0;
    while (locked_ && pending_.size() - position >= kPacketSize) {
        if (pending_[position] != kSyncByte) {
            pending_.erase(0, position);
            position = 0;
            locked_ = false;
            lockOn();
            continue;
        }
        readPacket(reinterpret_cast<const unsigned char*>(pending_.data() + position), arrivalSeconds);
        position += kPacketSize;
    }
    if (locked_)
        pending_.erase(0, position);
}

void TsAnalyzer::lockOn()
{
    const size_t offset = syncOffset(pending_);
    if (offset == std::string::npos) {
        // What cannot start a run of sync bytes any more is judged and dropped.
        if (pending_.size() >= kSyncSpan) {
            const size_t dropped = pending_.size() - (kSyncSpan - 1);
            skippedBytes_ += dropped;
            pending_.erase(0, dropped);
        }
        return;
    }
    skippedBytes_ += offset;
    pending_.erase(0, offset);
    locked_ = true;
}

void TsAnalyzer::readPacket(const unsigned char* packet, double arrivalSeconds)
{
    ++packets_;
    const uint16_t pid = static_cast<uint16_t>((packet[1] & 0x1F) << 8 | packet[2]);
    const bool unitStart = packet[1] & 0x40;
    const int control = packet[3] >> 4 & 0x3;
    const int counter = packet[3] & 0xF;
    size_t payloadStart = 4;
    bool discontinuity = false;
    if (control & 0x2) {
        const size_t adaptationLength = packet[4];
        if (adaptationLength > kPacketSize - 5)
            return;
        if (adaptationLength > 0) {
            discontinuity = packet[5] & 0x80;
            if ((packet[5] & 0x10) && adaptationLength >= 7) {
                const uint64_t base = static_cast<uint64_t>(packet[6]) << 25 | packet[7] << 17 | packet[8] << 9 |
                                      packet[9] << 1 | packet[10] >> 7;
                if (!pcrPid_)
                    pcrPid_ = pid;
                if (*pcrPid_ == pid)
                    transit_.add(static_cast<double>(base) / 90000.0, arrivalSeconds);
            }
        }
        payloadStart = 5 + adaptationLength;
    }
    if (pid == kNullPid || !(control & 0x1))
        return;
    const auto last = lastCounter_.find(pid);
    if (last != lastCounter_.end() && !discontinuity && counter != last->second && counter != ((last->second + 1) & 0xF))
        ++continuityErrors_;
    lastCounter_[pid] = counter;
    if (unitStart && (pid == 0 || programMaps_.count(pid) != 0))
        readSection(pid, packet + payloadStart, kPacketSize - payloadStart);
}

void TsAnalyzer::readSection(uint16_t pid, const unsigned char* payload, size_t size)
{
    if (size < 1 || size < 1u + payload[0] + 3)
        return;
    const unsigned char* section = payload + 1 + payload[0];
    size -= 1 + payload[0];
    const size_t sectionLength = static_cast<size_t>((section[1] & 0x0F) << 8 | section[2]);
    // table head of 8 bytes, CRC of 4 at the end
    if (sectionLength < 9 || 3 + sectionLength > size)
        return;
    const unsigned char* end = section + 3 + sectionLength - 4;
    if (pid == 0 && section[0] == 0x00) {
        for (const unsigned char* entry = section + 8; entry + 4 <= end && programMaps_.size() < kMaxPrograms;
             entry += 4) {
            const int program = entry[0] << 8 | entry[1];
            const uint16_t mapPid = static_cast<uint16_t>((entry[2] & 0x1F) << 8 | entry[3]);
            if (program != 0)
                programMaps_.emplace(mapPid, false);
        }
    } else if (section[0] == 0x02 && sectionLength >= 13) {
        programMaps_[pid] = true;
        const size_t infoLength = static_cast<size_t>((section[10] & 0x0F) << 8 | section[11]);
        for (const unsigned char* entry = section + 12 + infoLength; entry + 5 <= end && streams_.size() < kMaxStreams;) {
            const int streamType = entry[0];
            const uint16_t streamPid = static_cast<uint16_t>((entry[1] & 0x1F) << 8 | entry[2]);
            const size_t descriptorsLength = static_cast<size_t>((entry[3] & 0x0F) << 8 | entry[4]);
            const unsigned char* descriptors = entry + 5;
            if (descriptors + descriptorsLength > end)
                break;
            bool ac3 = false;
            for (const unsigned char* descriptor = descriptors;
                 descriptor + 2 <= descriptors + descriptorsLength &&
                 descriptor + 2 + descriptor[1] <= descriptors + descriptorsLength;
                 descriptor += 2 + descriptor[1])
                ac3 = ac3 || isAc3Descriptor(descriptor);
            streams_[streamPid] = streamKind(streamType, ac3);
            entry = descriptors + descriptorsLength;
        }
    }
}

std::vector<std::string> TsAnalyzer::media() const
{
    std::vector<std::string> result;
    std::set<std::string> seen;
    for (const auto& stream : streams_) {
        if (seen.insert(stream.second).second)
            result.push_back(stream.second);
    }
    return result;
}
