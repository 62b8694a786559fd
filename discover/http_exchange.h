#pragma once

#include <cstdint>
#include <string>

#include "probe/net_socket.h"

// SOAP over HTTP/1.1 to a camera: one POST per connection, the reply read up
// to kMaxReply bytes, HTTP Digest when the camera asks for it.

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

struct HttpReply {
    int status = 0;
    std::string challenge;  // WWW-Authenticate
    std::string body;
};

// POSTs `body` to `address`:`url.port` for `url`; `authorization` is the
// header's value, or "".
NetResult postSoap(uint32_t address, const UrlParts& url, const std::string& body, const std::string& authorization,
                   const WaitLimit& limit, HttpReply& reply);

// The Authorization header that answers a Digest challenge (MD5, qop auth
// or none), as the `count`th use of its nonce; "" when the challenge is no
// Digest challenge we can answer.
std::string digestAuthorization(const std::string& challenge, const std::string& user, const std::string& password,
                                const std::string& method, const std::string& uri, const std::string& clientNonce,
                                unsigned count);
