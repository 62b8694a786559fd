#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "discover/found_source.h"
#include "discover/onvif_camera.h"
#include "probe/cancel_token.h"

// The search for sources on every IPv4 interface that is up: ONVIF cameras
// by WS-Discovery, multicast streams by their SAP announcements. Runs on the
// caller's thread; a cancel ends it within a tenth of a second.

constexpr uint16_t kWsDiscoveryPort = 3702;
constexpr uint16_t kSapPort = 9875;

struct DiscoveryFindings {
    std::vector<FoundSource> sources;  // cameras by address, then sessions as announced
    std::vector<std::string> problems;  // what could not be searched: "SAP: port 9875 is held by ..."
};

DiscoveryFindings discoverSources(std::chrono::milliseconds duration, const CameraLogin& login,
                                  const CancelToken& cancel);
