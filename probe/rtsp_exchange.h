#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "probe/net_socket.h"

// The RTSP requests of the probe and the reading of their responses.
// Responses come from the network: their head and content are read only up
// to fixed sizes, lines may end in CRLF or LF alone, and every text kept from
// them is plain printable ASCII.

struct RtspResponse {
    int status = 0;      // 200, 401, ...
    std::string reason;  // "OK", as far as it is printable
    std::vector<std::pair<std::string, std::string>> headers;
    std::string content;

    // The value of the first header of that name (any case), or "".
    std::string header(const char* name) const;
};

enum class RtspParse { incomplete, complete, invalid };

// Looks for one response at the front of `received`: complete, with the
// number of its bytes in `used`; incomplete while bytes are missing; invalid,
// with the reason in `problem`, when the bytes are not an RTSP response or
// larger than the probe reads.
RtspParse parseRtspResponse(const std::string& received, RtspResponse& response, size_t& used,
                            std::string& problem);

// What bytes that are not RTSP look like, for a person: "looks like
// MPEG-TS", "an HTTP answer: \"HTTP/1.1 400 Bad Request\"", "binary data".
std::string describeBytes(const std::string& bytes);

// rtsp://host:port/stream, with spaces, control characters and characters
// beyond ASCII of the stream name percent-encoded.
std::string rtspUrl(const std::string& host, uint16_t port, const std::string& streamName);

// The URL of a medium: its a=control (absolute, relative to the base, or
// "*" for the base itself); the base is the Content-Base of DESCRIBE or the
// URL asked for.
std::string controlUrl(const std::string& base, const std::string& control);

// One request on an RTSP connection: the method, the URL, and header lines
// of its own ("Transport: ...\r\n").
struct RtspRequest {
    const char* method;
    std::string url;
    std::string headers;
};

// Sends the request with its sequence number, without waiting for an answer.
NetResult sendRtsp(Socket& socket, const RtspRequest& request, int sequence, const WaitLimit& limit);

// Sends the request with its sequence number and reads its response. Bytes
// that arrive beyond the response stay in `pending` for the next one;
// interleaved RTP frames before it are passed over. An answer that is not
// RTSP fails with the reason.
NetResult exchangeRtsp(Socket& socket, const RtspRequest& request, int sequence, const WaitLimit& limit,
                       std::string& pending, RtspResponse& response);

// An interleaved frame ("$", channel, 16-bit length) at the front of
// `pending`: its channel and its payload, which it removes from `pending`;
// false while the frame is incomplete or when `pending` starts otherwise.
bool takeInterleavedFrame(std::string& pending, int& channel, std::string& payload);
