#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "discover/found_source.h"
#include "discover/http_exchange.h"
#include "discover/onvif_messages.h"
#include "probe/net_socket.h"

// The cameras' log-in; kept only for the run and never printed. It goes
// only to cameras that answered this search's Probe, only once a camera
// asks for it (HTTP 401, a NotAuthorized fault), and, when `cameras` names
// some, only to those.
struct CameraLogin : HttpLogin {
    std::vector<uint32_t> cameras;  // addresses; empty: every camera

    bool allows(uint32_t camera) const;
};

// Asks the camera that answered from `responder` for its clock, media
// service, profiles and their stream URLs, and turns each profile into a
// found source. The camera is always reached at `responder`: an address
// it names for itself or its streams (loopback, another subnet) is rewritten
// to it, and the source's note says so. A device that only announced itself
// is listed as such and not asked at all.
std::vector<FoundSource> askCamera(const DeviceMatch& device, uint32_t responder, const std::string& interfaceName,
                                   const CameraLogin& login, const WaitLimit& limit);

// The preset that an RTSP URL makes, with its host replaced by `reachable`
// when it differs; false, with `source.reason`, when no preset can hold it.
bool presetOfStreamUri(const std::string& uri, const std::string& reachable, FoundSource& source);
