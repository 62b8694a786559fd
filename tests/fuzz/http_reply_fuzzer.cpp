// Feeds arbitrary bytes to the reader of HTTP replies as the network
// delivers them: in pieces of a size the first byte chooses, then the close.
// Besides crashes, undefined behaviour and run-aways it checks that the reply
// read in pieces is the one read at once, that the body keeps its bound, and
// that no challenge is answered with a header that breaks the request.
#include <cstdint>
#include <string>

#include "discover/http_exchange.h"
#include "tests/fuzz/fuzz_failure.h"

namespace {

// A small bound, so that the fuzzer reaches it.
constexpr size_t kBodyLimit = 4096;

struct Reading {
    HttpReplyReader::Progress progress;
    HttpReply reply;
};

Reading readInPieces(const std::string& bytes, size_t piece)
{
    HttpReplyReader reader(kBodyLimit);
    HttpReplyReader::Progress progress = HttpReplyReader::Progress::incomplete;
    for (size_t at = 0; at < bytes.size() && progress == HttpReplyReader::Progress::incomplete; at += piece)
        progress = reader.add(bytes.data() + at, std::min(piece, bytes.size() - at));
    if (progress == HttpReplyReader::Progress::incomplete)
        progress = reader.close();
    failIf(progress != HttpReplyReader::Progress::complete && reader.problem().empty(), "a refusal without words");
    return {progress, reader.reply()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const Reading whole = readInPieces(bytes, bytes.size() + 1);
    const Reading pieces = readInPieces(bytes, 1 + data[0] % 97);
    failIf(whole.progress != pieces.progress, "pieces read otherwise than the whole");
    if (whole.progress != HttpReplyReader::Progress::complete)
        return 0;
    const HttpReply& reply = whole.reply;
    failIf(reply.body != pieces.reply.body || reply.challenges != pieces.reply.challenges ||
               reply.status != pieces.reply.status || reply.closes != pieces.reply.closes,
           "a reply read in pieces differs from the whole");
    failIf(reply.body.size() > kBodyLimit, "a body beyond its bound");
    failIf(reply.challenges.size() > 8 || !freeOfControls(reply.contentType) || reply.contentType.size() > 100,
           "unbounded or unprintable headers kept");
    for (const std::string& challenge : reply.challenges) {
        const std::string header = digestAuthorization(challenge, "user", "password", "POST", "/onvif", "0a4f113b", 1);
        failIf(!freeOfControls(header), "an Authorization header that breaks the request");
    }
    return 0;
}
