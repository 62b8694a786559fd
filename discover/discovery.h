#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "discover/found_source.h"
#include "discover/onvif_camera.h"
#include "model/stream_url.h"
#include "probe/cancel_token.h"

// The search for sources on every IPv4 interface that is up: ONVIF cameras
// by WS-Discovery, multicast streams by their SAP announcements; and the
// cameras at addresses the user gave, which multicast does not reach (another
// subnet): a Probe of their own and their device service, asked whether or
// not they answer it. Runs on the caller's thread; a cancel ends it within a
// tenth of a second. Its own threads (one for SAP, one per camera, one per
// address) end with the search and never by an exception: a camera that
// cannot be read is listed with the reason ("could not be read: ..."), and
// one bad device never ends the search. Only running out of memory on the
// caller's thread throws (std::bad_alloc).

constexpr uint16_t kWsDiscoveryPort = 3702;
constexpr uint16_t kSapPort = 9875;

struct DiscoveryFindings {
    std::vector<FoundSource> sources;  // cameras by address, then sessions as announced
    std::vector<std::string> interfaces;  // where it searched: "eth1 (10.1.0.5)"
    std::vector<std::string> problems;  // what could not be searched: "SAP: port 9875 is held by ..."
};

// What a search covers.
struct SearchScope {
    bool multicast = true;  // every interface, for `duration`
    std::vector<CameraAddress> cameras;  // each asked once, found on kByAddress
};

// Cameras come first, by address (one found both ways is listed as found by
// address when that lists its profiles), then the announced sessions.
DiscoveryFindings discoverSources(std::chrono::milliseconds duration, const SearchScope& scope,
                                  const CameraLogin& login, const CancelToken& cancel);

// The sources of cameras asked at their addresses put into a list of others
// (those the search found, or listed before): cameras by address, before the
// sessions. A camera of the list that was not asked by its address gives way
// where one asked by it lists its profiles.
std::vector<FoundSource> withNamedCameras(std::vector<FoundSource> listed, const std::vector<FoundSource>& named);

// An address as the user gave it, for messages: "10.3.0.9", "cam-2:8080".
std::string cameraAddressText(const CameraAddress& address);

// Where a search searched: "lo (127.0.0.1), eth1 (10.1.0.5); and at
// 10.3.0.9", "only at 10.3.0.9", or "no interface".
std::string searchedText(const DiscoveryFindings& findings, const SearchScope& scope);
