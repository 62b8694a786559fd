#pragma once

#include <cstdint>
#include <string>

#include "model/preset_joining.h"

// A source found on the network, and the preset it would make. Every text
// comes from the network: the readers keep them printable and short.
struct FoundSource {
    std::string kind;          // "onvif" or "sap"
    std::string name;          // the camera's or the session's name
    std::string interfaceName; // where it was found: "eth1 (10.1.0.5)"
    std::string address;       // the device's or the group's address
    std::string stream;        // what it is: "H264 1920x1080", "video MP2T"
    std::string location;      // the camera's location and hardware, when it tells
    std::string hardware;      // the camera's model, when it tells
    // The preset it makes; `keyword` is empty when no preset can express it,
    // and `reason` then says why.
    std::string keyword;
    std::string host;
    int32_t port = 0;
    std::string streamName;
    std::string reason;
    std::string note;  // what was done to it: "URL named 127.0.0.1; rewritten to 10.1.0.7"
    // A camera profile's picture: the http:// URL of its snapshot at the
    // camera's own address, or why it has none.
    std::string profileToken;
    std::string snapshotUrl;
    std::string snapshotReason;
};

// How a camera that the user named by its address is marked where others
// name the interface they were found on.
constexpr char kByAddress[] = "by address";

// The preset in a line: "rtsp-tcp 10.1.0.9:8554 live/main", "ts-multi
// 239.1.1.1:5004", or "- (why none)".
std::string presetText(const FoundSource& source);

// The preset that the source makes, named `name`; a source that makes none
// (`keyword` empty) gives a preset without a protocol.
GivenPreset givenPresetOf(const FoundSource& source, const std::string& name);
