// Feeds arbitrary bytes to the probe's readers of network input, which come
// from any source a preset names. The first byte chooses the reader: the
// head of an RTSP answer, a session description, RTP packets, or a
// transport stream with its PSI. Besides crashes and undefined behaviour it
// checks that what is kept of the input is bounded and safe to show.
#include <algorithm>
#include <cstdint>
#include <string>

#include "probe/mpeg_ts.h"
#include "probe/rtp_stats.h"
#include "probe/rtsp_exchange.h"
#include "probe/sdp_media.h"
#include "tests/fuzz/fuzz_failure.h"

namespace {

bool printable(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char character) { return character >= 0x20 && character < 0x7F; });
}

void readRtsp(const std::string& bytes)
{
    RtspResponse response;
    size_t used = 0;
    std::string problem;
    if (parseRtspResponse(bytes, response, used, problem) == RtspParse::complete) {
        failIf(used > bytes.size() || response.content.size() > 64 * 1024, "a response beyond its bytes or bounds");
        failIf(!printable(response.reason), "an unprintable reason");
        for (const auto& header : response.headers)
            failIf(!printable(header.first) || !printable(header.second), "an unprintable header");
    }
    failIf(!printable(problem) || !printable(describeBytes(bytes)), "an unprintable description of the bytes");
    std::string pending = bytes;
    int channel = 0;
    std::string payload;
    while (takeInterleavedFrame(pending, channel, payload))
        failIf(payload.size() > 65535, "an interleaved frame beyond 16-bit length");
}

void readSdp(const std::string& bytes)
{
    const SessionDescription session = parseSdp(bytes);
    failIf(session.media.size() > 16, "more than 16 media");
    for (const SdpMedium& medium : session.media) {
        failIf(medium.control.find_first_of(" \r\n") != std::string::npos, "a control URL that breaks a request");
        failIf(!printable(medium.name()), "an unprintable medium");
    }
}

void readRtp(const std::string& bytes)
{
    RtpStats stats;
    // Packets of 4 to 67 bytes, a length byte before each, arriving 10 ms apart.
    double arrival = 0;
    for (size_t position = 0; position < bytes.size(); arrival += 0.01) {
        const size_t length = std::min<size_t>(4 + (static_cast<unsigned char>(bytes[position]) & 0x3F),
                                               bytes.size() - position - 1);
        stats.add(bytes.data() + position + 1, length, arrival);
        position += 1 + length;
    }
    failIf(stats.jitterMs() < 0, "a negative jitter");
    const auto suggested = stats.transit().suggestedBufferMs();
    failIf(suggested && (*suggested < 0 || *suggested > 4000), "a jitter buffer beyond 0..4000 ms");
}

void readTs(const std::string& bytes)
{
    // Packets that start with the sync byte wherever the input has 'G', so
    // that the PSI readers see the fuzzer's bytes; fed in uneven pieces.
    TsAnalyzer analyzer;
    for (size_t position = 0; position < bytes.size(); position += 700)
        analyzer.add(bytes.data() + position, std::min<size_t>(700, bytes.size() - position), position / 1e5);
    failIf(analyzer.packets() > bytes.size() / 188, "more packets than bytes");
    for (const std::string& medium : analyzer.media())
        failIf(!printable(medium), "an unprintable stream");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        readRtsp(bytes);
        break;
    case 1:
        readSdp(bytes);
        break;
    case 2:
        readRtp(bytes);
        break;
    default:
        readTs(bytes);
        break;
    }
    return 0;
}
