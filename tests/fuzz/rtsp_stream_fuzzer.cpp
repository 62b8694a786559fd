// Feeds arbitrary bytes to the reader of an RTSP connection as the network
// delivers them over TCP (answers, requests of the server, interleaved
// frames, blank lines), in pieces of a size the first byte chooses. Besides
// crashes and undefined behaviour it checks that the messages read in pieces
// are those read at once, that what waits stays bounded, that what is kept
// is printable, and that the answers to the server's requests are well formed.
#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "probe/rtsp_exchange.h"
#include "tests/fuzz/fuzz_failure.h"

namespace {

// A head, a content and a frame at most, and the piece that came last.
constexpr size_t kMostWaiting = 16 * 1024 + 64 * 1024 + 65535 + 4 + 256;

bool printable(const std::string& text)
{
    for (const char c : text)
        if (c < 0x20 || c >= 0x7F)
            return false;
    return true;
}

// The messages taken, one line each, until the bytes end or break off.
std::vector<std::string> readInPieces(const std::string& bytes, size_t piece)
{
    static const std::regex kAnswer("RTSP/1\\.0 (200 OK|501 Not Implemented)\r\n(CSeq: [0-9]{1,9}\r\n)?\r\n");
    RtspStream stream;
    std::vector<std::string> taken;
    for (size_t at = 0; at < bytes.size(); at += piece) {
        stream.add(bytes.data() + at, std::min(piece, bytes.size() - at));
        for (RtspItem item = stream.next(); item.kind != RtspItemKind::incomplete; item = stream.next()) {
            switch (item.kind) {
            case RtspItemKind::response:
                failIf(!printable(item.response.reason), "an unprintable reason");
                for (const auto& header : item.response.headers)
                    failIf(!printable(header.first) || !printable(header.second), "an unprintable header");
                taken.push_back("response " + std::to_string(item.response.status) + " " +
                                std::to_string(item.cseq) + " " + std::to_string(item.response.content.size()));
                break;
            case RtspItemKind::request:
                failIf(!std::regex_match(item.answer, kAnswer), "an answer that is not one");
                taken.push_back("request " + item.answer);
                break;
            case RtspItemKind::frame:
                failIf(item.payload.size() > 65535, "a frame beyond 16-bit length");
                taken.push_back("frame " + std::to_string(item.channel) + " " + std::to_string(item.payload.size()));
                break;
            default:
                failIf(!printable(item.problem), "an unprintable problem");
                taken.push_back("invalid");
                return taken;
            }
        }
        failIf(stream.pendingSize() > kMostWaiting, "more waits than one message");
    }
    return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    failIf(readInPieces(bytes, bytes.size() + 1) != readInPieces(bytes, 1 + data[0] % 97),
           "messages read in pieces differ from those read at once");
    return 0;
}
