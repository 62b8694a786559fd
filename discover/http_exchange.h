#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "probe/net_socket.h"

// HTTP/1.1 to a camera: a request on a connection of its own, its reply read
// as the bytes arrive and ended at its Content-Length, at its last chunk or
// at the close, within fixed bounds. A log-in goes only to a device that asks
// for one with a 401, only as an answer to the challenge it gave (Digest,
// MD5), and on the same connection while the device keeps it open.

// The largest reply body read unless a request says otherwise.
constexpr size_t kMaxReply = 256 * 1024;

// A URL read into its parts; `user` is set when it carries credentials.
struct UrlParts {
    std::string scheme;  // lower case: "http", "rtsp"
    std::string host;
    uint16_t port = 0;
    std::string path;  // from the first '/' on, "/" when none
    bool credentials = false;
};
// False when the text is no URL with a host.
bool readUrl(const std::string& text, uint16_t defaultPort, UrlParts& url);

struct HttpRequest {
    std::string method;  // "POST", "GET"
    UrlParts url;
    std::string contentType;  // of the body; "" for none
    std::string body;
    size_t maxReply = kMaxReply;  // the longest reply body taken
};

struct HttpReply {
    int status = 0;
    std::vector<std::string> challenges;  // one per scheme a 401 offers: "Digest realm=..."
    std::string contentType;
    bool closes = false;  // the connection ends with it
    std::string body;
    // Of a 401 to a log-in: the schemes offered that no log-in of ours
    // answers ("Basic", "Digest SHA-256"); "" when one could be answered.
    std::string unanswerable;
};

// The reply as its bytes arrive. Bounds: a head of 16 KiB with at most 64
// headers, a body of `maxBody` bytes; a size that cannot be read or cannot
// fit is malformed.
class HttpReplyReader {
public:
    enum class Progress { incomplete, complete, malformed, tooLong };

    explicit HttpReplyReader(size_t maxBody = kMaxReply) : maxBody_(maxBody) {}

    Progress add(const char* bytes, size_t count);
    // The peer closed the connection: a reply without a length ends here.
    Progress close();
    const HttpReply& reply() const { return reply_; }
    // Why the bytes are no reply, for a person.
    const std::string& problem() const { return problem_; }

private:
    enum class Part { head, body, chunkSize, chunkData, chunkEnd, trailer, done };

    // Each reads what it can of its part; false when bytes are missing.
    bool readHead();
    bool readBody();
    bool readChunkSize();
    bool readChunkData();
    bool readChunkEnd();
    bool readTrailer();
    void takeHeader(const std::string& name, const std::string& value);
    bool fail(Progress progress, std::string problem);
    bool tooLong();

    Part part_ = Part::head;
    Progress progress_ = Progress::incomplete;
    std::string problem_;
    size_t maxBody_;
    std::string pending_;
    size_t bodyLength_ = 0;  // of a body of known length
    bool lengthKnown_ = false;
    size_t chunkLeft_ = 0;
    size_t trailerLeft_ = 0;  // of the trailer's bound
    HttpReply reply_;
};

// A log-in for the devices that ask for one; kept only for the run and
// never printed.
struct HttpLogin {
    std::string user;
    std::string password;
};

// Sends the request to `address`:`request.url.port` and reads its reply.
// When the device answers 401 and `login` has a user, the request goes
// again with the answer to the challenge of that reply, and once more when
// the device calls that answer stale. Fails with NetStatus::malformed when
// the reply breaks HTTP.
NetResult httpExchange(uint32_t address, const HttpRequest& request, const HttpLogin* login, const WaitLimit& limit,
                       HttpReply& reply);

// The Authorization header that answers a Digest challenge (MD5, qop auth
// or none), as the `count`th use of its nonce; "" when the challenge is no
// Digest challenge we can answer.
std::string digestAuthorization(const std::string& challenge, const std::string& user, const std::string& password,
                                const std::string& method, const std::string& uri, const std::string& clientNonce,
                                unsigned count);
