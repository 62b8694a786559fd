#pragma once

#include <string>
#include <vector>

// The media that a session description (SDP) offers, each as its type and
// the codec of its first format: "video H264", "audio MPEG4-GENERIC". The
// texts come from the network: only letters, digits and ._+- pass, and the
// list holds at most 16 media.
std::vector<std::string> sdpMedia(const std::string& sdp);
