// Feeds arbitrary datagrams to the reader of SAP announcements and their
// session descriptions: the input is split into datagrams at each "\n--\n".
// Besides crashes and undefined behaviour it checks the table's bounds and
// that what is kept is free of control characters.
#include <chrono>
#include <cstdint>
#include <string>

#include "discover/sap_reader.h"
#include "tests/fuzz/fuzz_failure.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    SapSessions sessions;
    auto now = SapSessions::Clock::now();
    for (size_t start = 0; start <= input.size();) {
        size_t end = input.find("\n--\n", start);
        if (end == std::string::npos)
            end = input.size();
        const std::string datagram = input.substr(start, end - start);
        SapMessage message;
        std::string problem;
        if (readSapMessage(datagram.data(), datagram.size(), message, problem))
            failIf(message.sdp.size() > kMaxDescription, "a description beyond its bound");
        sessions.take(datagram.data(), datagram.size(), "eth0", now);
        now += std::chrono::milliseconds(500);
        start = end + 4;
    }
    const std::vector<FoundSource> sources = sessions.sources(now);
    failIf(sources.size() > kMaxSessions, "more sessions than the table holds");
    for (const FoundSource& source : sources) {
        failIf(!freeOfControls(source.name) || !freeOfControls(source.address) || !freeOfControls(source.stream), "an unprintable session text");
        failIf(!source.keyword.empty() && (source.port <= 0 || source.port > 65535), "a preset without a port");
    }
    return 0;
}
