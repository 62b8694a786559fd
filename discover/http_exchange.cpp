#include "discover/http_exchange.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "discover/crypto.h"
#include "discover/onvif_messages.h"

namespace {

std::string lowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The parameters of a challenge: realm="x", nonce="y", qop="auth,auth-int".
std::map<std::string, std::string> challengeParameters(const std::string& text)
{
    std::map<std::string, std::string> parameters;
    size_t at = 0;
    while (at < text.size() && parameters.size() < 16) {
        while (at < text.size() && (text[at] == ' ' || text[at] == ','))
            ++at;
        const size_t equals = text.find('=', at);
        if (equals == std::string::npos)
            break;
        const std::string name = lowerCase(text.substr(at, equals - at));
        std::string value;
        at = equals + 1;
        if (at < text.size() && text[at] == '"') {
            const size_t close = text.find('"', at + 1);
            value = text.substr(at + 1, close == std::string::npos ? std::string::npos : close - at - 1);
            at = close == std::string::npos ? text.size() : close + 1;
        } else {
            const size_t comma = text.find(',', at);
            value = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            at = comma == std::string::npos ? text.size() : comma;
        }
        parameters[name] = value;
    }
    return parameters;
}

// Splits the reply into status, challenge and body; false when it is no HTTP reply.
bool readReply(const std::string& bytes, HttpReply& reply)
{
    const size_t headerEnd = bytes.find("\r\n\r\n");
    if (bytes.compare(0, 5, "HTTP/") != 0 || headerEnd == std::string::npos)
        return false;
    const size_t space = bytes.find(' ');
    reply.status = std::atoi(bytes.c_str() + space + 1);
    size_t contentLength = std::string::npos;
    bool chunked = false;
    for (size_t line = bytes.find("\r\n") + 2; line < headerEnd;) {
        const size_t end = bytes.find("\r\n", line);
        const std::string header = bytes.substr(line, end - line);
        const size_t colon = header.find(':');
        const std::string name = lowerCase(header.substr(0, colon));
        const std::string value = colon == std::string::npos ? "" : header.substr(header.find_first_not_of(' ', colon + 1));
        if (name == "www-authenticate" && lowerCase(value).compare(0, 6, "digest") == 0)
            reply.challenge = value;
        else if (name == "content-length")
            contentLength = std::strtoul(value.c_str(), nullptr, 10);
        else if (name == "transfer-encoding")
            chunked = lowerCase(value).find("chunked") != std::string::npos;
        line = end + 2;
    }
    std::string body = bytes.substr(headerEnd + 4);
    if (chunked) {
        std::string joined;
        for (size_t at = 0; at < body.size();) {
            const size_t lineEnd = body.find("\r\n", at);
            if (lineEnd == std::string::npos)
                break;
            const size_t size = std::strtoul(body.c_str() + at, nullptr, 16);
            if (size == 0 || lineEnd + 2 + size > body.size())
                break;
            joined += body.substr(lineEnd + 2, size);
            at = lineEnd + 2 + size + 2;
        }
        body = joined;
    } else if (contentLength < body.size()) {
        body.resize(contentLength);
    }
    reply.body = body;
    return true;
}

}  // namespace

bool readUrl(const std::string& text, uint16_t defaultPort, UrlParts& url)
{
    // A blank or control character would break the request line.
    if (std::any_of(text.begin(), text.end(), [](unsigned char c) { return c <= 0x20 || c == 0x7F; }))
        return false;
    const size_t schemeEnd = text.find("://");
    if (schemeEnd == std::string::npos || schemeEnd == 0)
        return false;
    url.scheme = lowerCase(text.substr(0, schemeEnd));
    const size_t start = schemeEnd + 3;
    const size_t pathStart = text.find_first_of("/?", start);
    std::string authority = text.substr(start, pathStart == std::string::npos ? std::string::npos : pathStart - start);
    url.path = pathStart == std::string::npos ? "/" : text.substr(pathStart);
    if (url.path[0] != '/')
        url.path.insert(0, "/");
    const size_t at = authority.rfind('@');
    url.credentials = at != std::string::npos;
    if (url.credentials)
        authority.erase(0, at + 1);
    if (!authority.empty() && authority[0] == '[')
        return false;  // IPv6
    const size_t colon = authority.find(':');
    url.host = authority.substr(0, colon);
    url.port = defaultPort;
    if (colon != std::string::npos) {
        const std::string port = authority.substr(colon + 1);
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
            return false;
        const unsigned long number = std::strtoul(port.c_str(), nullptr, 10);
        if (number == 0 || number > 65535)
            return false;
        url.port = static_cast<uint16_t>(number);
    }
    return !url.host.empty();
}

NetResult postSoap(uint32_t address, const UrlParts& url, const std::string& body, const std::string& authorization,
                   const WaitLimit& limit, HttpReply& reply)
{
    Socket socket;
    NetResult result = Socket::tcpConnection(address, url.port, limit, socket);
    if (!result.ok())
        return result;
    std::string request = "POST " + url.path + " HTTP/1.1\r\nHost: " + url.host + ":" + std::to_string(url.port) +
                          "\r\nContent-Type: application/soap+xml; charset=utf-8\r\nContent-Length: " +
                          std::to_string(body.size()) + "\r\nConnection: close\r\n";
    if (!authorization.empty())
        request += "Authorization: " + authorization + "\r\n";
    result = socket.sendAll(request + "\r\n" + body, limit);
    if (!result.ok())
        return result;
    std::string bytes;
    char buffer[8192];
    for (;;) {
        size_t received = 0;
        result = socket.receive(buffer, sizeof buffer, limit, received);
        if (result.status == NetStatus::closed)
            break;
        if (!result.ok())
            return result;
        bytes.append(buffer, received);
        if (bytes.size() > kMaxReply)
            return {NetStatus::failed, "the reply is longer than " + std::to_string(kMaxReply / 1024) + " KiB"};
    }
    if (!readReply(bytes, reply))
        return {NetStatus::failed, "the reply is no HTTP reply"};
    return {};
}

std::string digestAuthorization(const std::string& challenge, const std::string& user, const std::string& password,
                                const std::string& method, const std::string& uri, const std::string& clientNonce,
                                unsigned count)
{
    if (lowerCase(challenge).compare(0, 7, "digest ") != 0)
        return {};
    std::map<std::string, std::string> parameters = challengeParameters(challenge.substr(7));
    const std::string algorithm = lowerCase(parameters["algorithm"]);
    if (parameters["nonce"].empty() || (!algorithm.empty() && algorithm != "md5"))
        return {};
    const std::string realm = parameters["realm"];
    const std::string nonce = parameters["nonce"];
    const bool qopAuth = lowerCase(parameters["qop"]).find("auth") != std::string::npos;
    const std::string first = md5Hex(user + ":" + realm + ":" + password);
    const std::string second = md5Hex(method + ":" + uri);
    char countText[9];
    std::snprintf(countText, sizeof countText, "%08x", count);
    const std::string response = qopAuth ? md5Hex(first + ":" + nonce + ":" + countText + ":" + clientNonce + ":auth:" + second)
                                         : md5Hex(first + ":" + nonce + ":" + second);
    std::string header = "Digest username=\"" + user + "\", realm=\"" + realm + "\", nonce=\"" + nonce +
                         "\", uri=\"" + uri + "\", response=\"" + response + "\", algorithm=MD5";
    if (qopAuth)
        header += ", qop=auth, nc=" + std::string(countText) + ", cnonce=\"" + clientNonce + "\"";
    if (parameters.count("opaque"))
        header += ", opaque=\"" + parameters["opaque"] + "\"";
    // A challenge with a line break in it would add headers of the camera's choice.
    const bool control = std::any_of(header.begin(), header.end(),
                                     [](unsigned char c) { return c < 0x20 || c == 0x7F; });
    return control ? std::string() : header;
}
