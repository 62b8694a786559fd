#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tool/net_socket.h"

// The RTSP requests of the probe (OPTIONS, DESCRIBE) and the reading of
// their responses. Responses come from the network: their head and content
// are read only up to fixed sizes, and every text kept from them is plain
// printable ASCII.

struct RtspResponse {
    int status = 0;      // 200, 401, ...
    std::string reason;  // "OK", as far as it is printable
    std::string content;
};

enum class RtspParse { incomplete, complete, invalid };

// Looks for one response at the front of `received`: complete, with the
// number of its bytes in `used`; incomplete while bytes are missing; invalid,
// with the reason in `problem`, when the bytes are not an RTSP response or
// larger than the probe reads.
RtspParse parseRtspResponse(const std::string& received, RtspResponse& response, size_t& used,
                            std::string& problem);

// rtsp://host:port/stream, with spaces, control characters and characters
// beyond ASCII of the stream name percent-encoded.
std::string rtspUrl(const std::string& host, uint16_t port, const std::string& streamName);

// Sends a request ("OPTIONS", "DESCRIBE") with its sequence number and reads
// its response. Bytes that arrive beyond the response stay in `pending` for
// the next one. An answer that is not RTSP fails with the reason.
NetResult exchangeRtsp(Socket& socket, const char* method, const std::string& url, int sequence,
                       Deadline deadline, std::string& pending, RtspResponse& response);
