#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// An interleaved frame ("$", channel, 16-bit length) at the front of
// `pending`: its channel and its payload, which it removes from `pending`;
// false while the frame is incomplete or when `pending` starts otherwise.
bool takeInterleavedFrame(std::string& pending, int& channel, std::string& payload);

// What comes next on an RTSP connection.
enum class RtspItemKind {
    incomplete,  // its bytes have not all arrived
    response,    // an answer of the server
    request,     // a request of the server (a keep-alive, an announcement)
    frame,       // an interleaved frame
    invalid,     // bytes that are no RTSP
};

struct RtspItem {
    RtspItemKind kind = RtspItemKind::incomplete;
    RtspResponse response;  // of a response
    int cseq = -1;          // of a response or request; -1 when it names none
    std::string answer;     // to a request: what goes back to the server
    int channel = 0;        // of a frame
    std::string payload;    // of a frame
    std::string problem;    // of invalid bytes
};

// The bytes of an RTSP connection as the network delivers them: answers,
// requests of the server, interleaved frames, and blank lines between
// messages, which are passed over. A request of the server gets its answer
// with its CSeq: 200 for GET_PARAMETER, OPTIONS and SET_PARAMETER, 501 for
// the rest. At most one message's bytes wait beyond what was taken.
class RtspStream {
public:
    void add(const char* bytes, size_t count) { pending_.append(bytes, count); }
    // The message at the front, taken from the bytes once it is complete.
    RtspItem next();
    size_t pendingSize() const { return pending_.size(); }

private:
    std::string pending_;
};

// One RTSP connection of the probe: its requests carry sequence numbers
// from 1 on, and each answer is matched to its request by its CSeq.
class RtspConnection {
public:
    using FrameHandler = std::function<void(int channel, const std::string& payload)>;

    explicit RtspConnection(Socket& socket) : socket_(socket) {}

    // Sends the request and reads until its answer. Interleaved frames
    // before it are passed over, requests of the server answered, answers
    // to other requests passed over. Bytes that are not RTSP fail with
    // the reason (NetStatus::malformed).
    NetResult exchange(const RtspRequest& request, const WaitLimit& limit, RtspResponse& response);
    // Takes what has arrived (frames to `onFrame`, requests of the server
    // answered), then waits for more once.
    NetResult receive(const WaitLimit& limit, const FrameHandler& onFrame);

private:
    // Takes the next complete item; false when there is none yet, or when
    // the bytes break off the connection (`result` says why).
    bool takeItem(const WaitLimit& limit, RtspItem& item, NetResult& result);
    NetResult readMore(const WaitLimit& limit);

    Socket& socket_;
    RtspStream stream_;
    int sequence_ = 0;
};
