#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "discover/found_source.h"
#include "discover/onvif_messages.h"
#include "probe/net_socket.h"

// A camera's log-in; kept only for the run and never printed.
struct CameraLogin {
    std::string user;
    std::string password;
};

// Asks the camera that answered from `responder` for its clock, media
// service, profiles and their stream URLs, and turns each profile into a
// found source. The camera is always reached at `responder`: an address
// it names for itself or its streams (loopback, another subnet) is rewritten
// to it, and the source's note says so.
std::vector<FoundSource> askCamera(const DeviceMatch& device, uint32_t responder, const std::string& interfaceName,
                                   const CameraLogin& login, const WaitLimit& limit);

// The preset that an RTSP URL makes, with its host replaced by `reachable`
// when it differs; false, with `source.reason`, when no preset can hold it.
bool presetOfStreamUri(const std::string& uri, const std::string& reachable, FoundSource& source);
