#pragma once

#include <string>
#include <vector>

// The media that a session description (SDP) offers. The texts come from
// the network: names keep only letters, digits and ._+-, control URLs only
// printable ASCII without spaces, and the list holds at most 16 media.

struct SdpMedium {
    std::string type;     // "video", "audio", "application"
    std::string codec;    // of its first format: "H264", "MP2T", "payload 98"
    std::string control;  // its a=control, or ""

    // "video H264"
    std::string name() const { return type + " " + codec; }
    // What a video source can be rendered from: a video medium, or a transport stream.
    bool carriesVideo() const { return type == "video" || codec == "MP2T"; }
};

struct SessionDescription {
    std::string control;  // the session's a=control, or ""
    std::vector<SdpMedium> media;
};

SessionDescription parseSdp(const std::string& sdp);

// The names of the media: "video H264", "audio MPEG4-GENERIC".
std::vector<std::string> sdpMedia(const std::string& sdp);
