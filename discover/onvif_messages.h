#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "discover/http_exchange.h"  // kMaxReply

// The WS-Discovery and SOAP messages of the camera search: written here, and
// read from untrusted replies (no DTD, no entity expansion, bounded counts,
// short printable texts).

// A Probe for network video transmitters, with our message identifier.
std::string discoveryProbe(const std::string& messageId);
// A random "urn:uuid:..." for a Probe; "" when the system has no random source.
std::string newMessageId();

// A device that answered a Probe (ProbeMatch) or announced itself (Hello).
struct DeviceMatch {
    bool announced = false;           // by a Hello, not an answer to our Probe
    std::string endpoint;             // its EndpointReference address
    std::vector<std::string> xaddrs;  // its device service URLs
    std::string name;
    std::string location;
    std::string hardware;
};
// The video transmitters in a ProbeMatches that relates to `messageId`, or in
// a Hello; nothing for anything else. At most 16.
std::vector<DeviceMatch> readDiscoveryReply(const char* bytes, size_t size, const std::string& messageId);

// The log-in of a request: WS-Security UsernameToken with a password digest
// over the camera's time.
struct UsernameToken {
    std::string user;
    std::string password;
    std::string nonce;    // 16 random bytes
    std::string created;  // the camera's UTC time: "2026-12-08T06:58:01Z"
};
// A SOAP 1.2 envelope around `body`; with a Security header when `token` is given.
std::string soapEnvelope(const std::string& body, const UsernameToken* token);
std::string utcText(std::time_t time);

// The bodies of the requests.
std::string getSystemDateAndTime();
std::string getCapabilities();
std::string getProfiles();
std::string getStreamUri(const std::string& profileToken);
std::string getSnapshotUri(const std::string& profileToken);

// What a reply says. Each returns false when the reply is no such answer.
bool readSystemDateAndTime(const std::string& reply, std::time_t& utc);
bool readMediaAddress(const std::string& reply, std::string& address);
struct MediaProfile {
    std::string token;
    std::string name;
    std::string encoding;  // "H264"
    int width = 0;
    int height = 0;
};
bool readProfiles(const std::string& reply, std::vector<MediaProfile>& profiles);  // at most 16
bool readStreamUri(const std::string& reply, std::string& uri);
bool readSnapshotUri(const std::string& reply, std::string& uri);
// A SOAP fault: its reason, and whether it refuses the log-in.
bool readFault(const std::string& reply, std::string& reason, bool& notAuthorized);
