#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "discover/found_source.h"
#include "discover/http_exchange.h"
#include "discover/onvif_messages.h"
#include "model/stream_url.h"
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

// Asks the camera that the user named by its address (`given`, resolved to
// `address`), whether or not it answered a Probe (`answered`, its answer when
// it did): its device service is the one the user gave, else the one its
// answer names, else port 80. It has 3 s to answer GetSystemDateAndTime, and
// then 3 s for the rest; when it does not, or answers something other than
// ONVIF, the one source returned says so ("no answer on port 80 in 3 s",
// "answers HTTP but not ONVIF"). Its sources are found on kByAddress.
std::vector<FoundSource> askCameraAt(const CameraAddress& given, uint32_t address, const DeviceMatch* answered,
                                     const CameraLogin& login, const CancelToken& cancel);

// The preset that an RTSP URL makes, with its host replaced by `reachable`
// when it differs; false, with `source.reason`, when no preset can hold it.
bool presetOfStreamUri(const std::string& uri, const std::string& reachable, FoundSource& source);

// The snapshot of a source from its camera's snapshot URI: the URL at the
// camera's own address `reachable`, with a note when the camera named
// another host; false, with `source.snapshotReason`, when it is no http:// URL.
bool snapshotOfUri(const std::string& uri, const std::string& reachable, FoundSource& source);

// The largest snapshot taken, and the time its camera has to send it.
constexpr size_t kMaxSnapshot = 2 * 1024 * 1024;
constexpr std::chrono::seconds kSnapshotTime{3};

// Fetches the JPEG of a source's snapshot from its camera's own address,
// with the log-in only when the camera asks for one and `login` allows it
// that camera. False, with why in words ("no answer in 3 s", "the camera
// sent text/html, not a JPEG"), when there is none; a stop ends it at once.
bool fetchSnapshot(const FoundSource& source, const CameraLogin& login, const CancelToken& cancel, std::string& jpeg,
                   std::string& problem);
