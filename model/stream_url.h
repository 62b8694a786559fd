#pragma once

#include <cstdint>
#include <string>

#include "model/stream_settings.h"

// Stream URLs as cameras, encoders and players write them
// (rtsp://10.0.0.5:554/stream1, udp://@239.1.1.1:1234): read into a preset's
// protocol, host, port and stream name, and written back from them.

enum class UrlReading {
    notAUrl,  // ordinary text
    source,   // a URL that a preset can hold
    refused,  // a URL that no preset can hold; `refusal` says why
};

struct StreamUrl {
    UrlReading reading = UrlReading::notAUrl;
    int32_t protocol = 0;
    // rtsp:// does not say which RTSP transport to use: a preset that already
    // receives RTSP keeps its own, any other takes `protocol`.
    bool anyRtspVariant = false;
    std::string host;  // empty where the protocol has none
    int32_t port = 0;
    std::string streamName;
    std::string refusal;  // a sentence for the user
};

// Reads UTF-8 text as a stream URL; invisible characters around it (white
// space of every kind, zero-width characters, a byte order mark) are
// ignored. Only a text that is one URL and nothing else is one. Host and
// stream name come out in UTF-8. A user name and password are refused
// wherever they stand, and no refusal holds any piece of them.
StreamUrl readStreamUrl(const std::string& text);

// Why a host (UTF-8) cannot be taken for an invisible character in it, with
// the character named; "" when it holds none.
std::string invisibleInHost(const std::string& host);

// A camera's address as a user gives it to find the camera where no search
// reaches: a host name or IPv4 address, perhaps with ":port", or the URL of
// its device service (http://10.1.0.23:8080/onvif/device_service). Read with
// the rules of a stream URL: invisible characters around it are ignored, and
// a user name and password are refused wherever they stand.
struct CameraAddress {
    bool read = false;  // false: `refusal` says why
    std::string host;   // UTF-8
    int32_t port = 80;
    std::string path = "/onvif/device_service";
    bool serviceGiven = false;  // a port or a URL was given, not the host alone
    std::string refusal;
};
CameraAddress readCameraAddress(const std::string& text);

// Sets protocol, host, port and stream name of `preset` to those of a URL
// read as a source, through the setters, as if the user had entered them.
// Its texts must be the model's: those of readStreamUrl converted.
void applyStreamUrl(StreamSettings& preset, const StreamUrl& url);

// The URL of the source that protocol `protocol` with `endpoint` receives, in
// the form players take; empty for "off" and for Corvane Streaming, which no
// player receives. Blanks and control characters are percent-encoded, other
// bytes kept, so the URL is in the encoding of the texts it is made from.
std::string streamUrl(int32_t protocol, const StreamEndpoint& endpoint);
// The same for the preset's selected protocol.
std::string sourceUrl(const StreamSettings& preset);
