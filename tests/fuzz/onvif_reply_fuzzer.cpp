// Feeds arbitrary bytes to the readers of what cameras send: WS-Discovery
// ProbeMatches and Hello, and the SOAP replies of the device and media
// services. The first byte chooses the reader. Besides crashes and undefined
// behaviour it checks that what is kept is bounded and free of control
// characters.
#include <cstdint>
#include <string>

#include "discover/http_exchange.h"
#include "discover/onvif_messages.h"
#include "tests/fuzz/fuzz_failure.h"

namespace {

bool shown(const std::string& text, size_t limit)
{
    return text.size() <= limit && freeOfControls(text);
}

void readDiscovery(const std::string& bytes)
{
    const std::vector<DeviceMatch> devices = readDiscoveryReply(bytes.data(), bytes.size(), "urn:uuid:1");
    failIf(devices.size() > 16, "more than 16 devices");
    for (const DeviceMatch& device : devices) {
        failIf(device.xaddrs.size() > 8, "more than 8 addresses");
        failIf(!shown(device.name, 120) || !shown(device.location, 120) || !shown(device.hardware, 120) ||
                   !shown(device.endpoint, 512),
               "an unbounded or unprintable device text");
        for (const std::string& address : device.xaddrs) {
            UrlParts url;
            failIf(!shown(address, 512), "an unbounded or unprintable address");
            if (readUrl(address, 80, url))
                failIf(url.host.empty() || url.path.empty() || url.path[0] != '/', "a URL without host or path");
        }
    }
}

void readService(const std::string& bytes)
{
    std::time_t utc = 0;
    readSystemDateAndTime(bytes, utc);
    std::string text;
    if (readMediaAddress(bytes, text))
        failIf(!shown(text, 512), "an unbounded media address");
    if (readStreamUri(bytes, text))
        failIf(!shown(text, 512), "an unbounded stream URL");
    std::vector<MediaProfile> profiles;
    readProfiles(bytes, profiles);
    failIf(profiles.size() > 16, "more than 16 profiles");
    for (const MediaProfile& profile : profiles)
        failIf(!shown(profile.token, 64) || !shown(profile.name, 120) || !shown(profile.encoding, 24),
               "an unbounded profile text");
    bool notAuthorized = false;
    if (readFault(bytes, text, notAuthorized))
        failIf(!shown(text, 120), "an unbounded fault reason");
}

void answerChallenge(const std::string& bytes)
{
    const std::string header = digestAuthorization(bytes, "user", "password", "POST", "/onvif", "0a4f113b", 1);
    failIf(header.find_first_of("\r\n") != std::string::npos, "an Authorization header that breaks the request");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0: readDiscovery(bytes); break;
    case 1: readService(bytes); break;
    default: answerChallenge(bytes); break;
    }
    return 0;
}
