#include "probe/rtp_stats.h"

#include <cmath>

namespace {

// `value` of `bits` bits, extended to the one nearest `reference`.
int64_t extended(int64_t reference, uint32_t value, int bits)
{
    const int64_t cycle = int64_t{1} << bits;
    int64_t candidate = (reference & ~(cycle - 1)) | value;
    if (candidate - reference > cycle / 2)
        candidate -= cycle;
    else if (reference - candidate > cycle / 2)
        candidate += cycle;
    return candidate;
}

}  // namespace

bool parseRtpHeader(const char* bytes, size_t count, RtpHeader& header)
{
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    if (count < 12 || data[0] >> 6 != 2)
        return false;
    const size_t contributors = data[0] & 0x0F;
    if (count < 12 + 4 * contributors)
        return false;
    header.payloadType = data[1] & 0x7F;
    header.sequence = static_cast<uint16_t>(data[2] << 8 | data[3]);
    header.timestamp = static_cast<uint32_t>(data[4]) << 24 | data[5] << 16 | data[6] << 8 | data[7];
    header.source = static_cast<uint32_t>(data[8]) << 24 | data[9] << 16 | data[10] << 8 | data[11];
    return true;
}

bool RtpStats::add(const char* bytes, size_t count, double arrivalSeconds)
{
    RtpHeader header;
    // The first source is the one counted; RTCP (payload types 72 to 76 with the marker) is not RTP.
    if (!parseRtpHeader(bytes, count, header) || (header.payloadType >= 72 && header.payloadType <= 76) ||
        (source_ && *source_ != header.source))
        return false;
    const double arrival = arrivalSeconds * clockRate_;
    if (packets_ == 0) {
        source_ = header.source;
        payloadType_ = header.payloadType;
        firstSequence_ = highestSequence_ = header.sequence;
        lastTimestamp_ = header.timestamp;
        lastTransit_ = arrival - static_cast<double>(lastTimestamp_);
    } else {
        const int64_t sequence = extended(highestSequence_, header.sequence, 16);
        if (sequence > highestSequence_)
            highestSequence_ = sequence;
        lastTimestamp_ = extended(lastTimestamp_, header.timestamp, 32);
        const double transit = arrival - static_cast<double>(lastTimestamp_);
        jitter_ += (std::fabs(transit - lastTransit_) - jitter_) / 16;
        lastTransit_ = transit;
    }
    ++packets_;
    transit_.add(static_cast<double>(lastTimestamp_) / clockRate_, arrivalSeconds);
    return true;
}

uint64_t RtpStats::lost() const
{
    const int64_t expected = highestSequence_ - firstSequence_ + 1;
    return packets_ == 0 || expected <= static_cast<int64_t>(packets_) ? 0
                                                                       : static_cast<uint64_t>(expected) - packets_;
}
