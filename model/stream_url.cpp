#include "model/stream_url.h"

#include "model/code_page.h"
#include "model/protocol_table.h"
#include "model/text_conversion.h"

#include <algorithm>

namespace {

constexpr int32_t kDefaultRtspPort = 554;
constexpr int32_t kMaxPort = 65535;
constexpr char kHexDigits[] = "0123456789ABCDEF";

const char kCredentials[] =
    "The plug-in has no place for a user name and password: set them on the camera or use an "
    "unauthenticated stream.";
const char kIpv6[] = "The plug-in takes host names and IPv4 addresses, not IPv6 addresses.";
const char kSourceSpecific[] =
    "Source-specific multicast cannot be set up: the plug-in joins the group and takes the stream from any "
    "source.";
const char kNoHost[] = "The URL names no host.";

// scheme://userinfo@host:port/path?query, taken apart without decoding anything.
struct UrlParts {
    std::string scheme;  // lower case
    bool hasUserInfo = false;  // an "@" before the host, perhaps with nothing before it
    std::string userInfo;
    bool hiddenCredentials = false;  // a user name and password that hold "/", "?" or "#"
    bool ipv6 = false;
    std::string host;
    std::string port;  // empty when the URL gives none
    std::string rest;   // everything after the authority: "/path?query", "?query" or ""
    std::string path;   // `rest` up to the "?"
    std::string query;  // after the "?"
};

bool isAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlankOrControl(char c)
{
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
}

// Space of any width and control characters end a URL: a text that holds
// one is more than one URL. Other invisible characters (zero-width ones,
// direction marks) are refused where they stand.
bool isSpaceOrControl(char32_t c)
{
    return c <= 0x20 || (c >= 0x7F && c <= 0xA0) || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
           c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The first invisible character of UTF-8 text; 0 when there is none.
char32_t firstInvisible(const std::string& utf8)
{
    std::u32string codePoints;
    decodeUtf8(utf8, codePoints);
    for (char32_t c : codePoints) {
        if (isInvisible(c))
            return c;
    }
    return 0;
}

bool allDigits(const std::string& text)
{
    for (char c : text) {
        if (!isAsciiDigit(c))
            return false;
    }
    return !text.empty();
}

std::string lowerCase(std::string text)
{
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// The stream name is what follows "host:port/".
std::string withoutLeadingSlash(const std::string& text)
{
    return text.compare(0, 1, "/") == 0 ? text.substr(1) : text;
}

bool isScheme(const std::string& text)
{
    if (text.empty() || !isAsciiLetter(text[0]))
        return false;
    for (char c : text) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '+' && c != '-' && c != '.')
            return false;
    }
    return true;
}

// Camera pages rarely percent-encode passwords: in user:pa/ss@host/path the
// authority seems to end at the first "/", and the password would become
// host, port and stream name. `text` follows "scheme://" and any "userinfo@"
// that the authority shows. Credentials hide in it when an "@" stands after
// the apparent authority, and either a ":" within that authority starts a
// password, or a "/" follows the host after the last "@".
bool hidesCredentials(const std::string& text)
{
    const size_t authorityEnd = text.find_first_of("/?#");
    const size_t lastAt = text.rfind('@');
    if (authorityEnd == std::string::npos || lastAt == std::string::npos || lastAt < authorityEnd)
        return false;
    return text.find(':') < authorityEnd || text.find('/', lastAt) != std::string::npos;
}

// False when `text` is not one URL and nothing else.
bool splitUrl(const std::string& text, UrlParts& parts)
{
    const size_t schemeEnd = text.find("://");
    if (schemeEnd == std::string::npos || !isScheme(text.substr(0, schemeEnd)))
        return false;
    std::u32string codePoints;
    if (!decodeUtf8(text, codePoints))
        return false;
    for (char32_t c : codePoints) {
        if (isSpaceOrControl(c))
            return false;
    }
    parts.scheme = lowerCase(text.substr(0, schemeEnd));

    const size_t authorityStart = schemeEnd + 3;
    const size_t authorityEnd = text.find_first_of("/?", authorityStart);
    std::string authority = text.substr(authorityStart, authorityEnd - authorityStart);
    parts.rest = authorityEnd == std::string::npos ? "" : text.substr(authorityEnd);
    const size_t queryStart = parts.rest.find('?');
    parts.path = parts.rest.substr(0, queryStart);
    if (queryStart != std::string::npos)
        parts.query = parts.rest.substr(queryStart + 1);

    // A password may hold an "@" of its own; the host follows the last one.
    const size_t at = authority.rfind('@');
    parts.hasUserInfo = at != std::string::npos;
    if (parts.hasUserInfo) {
        parts.userInfo = authority.substr(0, at);
        authority.erase(0, at + 1);
    }
    parts.hiddenCredentials = hidesCredentials(authority + parts.rest);
    const size_t colon = authority.find(':');
    parts.ipv6 = authority.compare(0, 1, "[") == 0 ||
                 (colon != std::string::npos && authority.find(':', colon + 1) != std::string::npos);
    parts.host = authority.substr(0, colon);
    if (colon != std::string::npos)
        parts.port = authority.substr(colon + 1);
    return true;
}

// Why an invisible character in the host, the port or the stream name
// cannot be taken; "" when there is none. The character is named: it
// cannot be seen.
std::string invisibleProblem(const UrlParts& parts)
{
    const std::string inHost = invisibleInHost(parts.host + parts.port);
    if (!inHost.empty())
        return inHost;
    if (const char32_t c = firstInvisible(parts.rest))
        return "The stream name holds an invisible character (" + codePointName(c) +
               "), which the source would not know: type the stream name without it.";
    return "";
}

// Whether the query holds the parameter `name`, with any value but "0".
bool hasParameter(const std::string& query, const std::string& name)
{
    size_t start = 0;
    while (start <= query.size()) {
        const size_t end = std::min(query.find('&', start), query.size());
        const std::string parameter = query.substr(start, end - start);
        if (parameter == name || (parameter.compare(0, name.size() + 1, name + "=") == 0 && parameter != name + "=0"))
            return true;
        start = end + 1;
    }
    return false;
}

// Four decimal numbers 0..255 separated by dots; `first` takes the first.
bool isIpv4Address(const std::string& text, int& first)
{
    size_t start = 0;
    for (int part = 0; part < 4; ++part) {
        const size_t end = part < 3 ? text.find('.', start) : text.size();
        if (end == std::string::npos)
            return false;
        const std::string number = text.substr(start, end - start);
        if (!allDigits(number) || number.size() > 3 || std::stoi(number) > 255)
            return false;
        if (part == 0)
            first = std::stoi(number);
        start = end + 1;
    }
    return true;
}

bool isMulticastGroup(const std::string& host)
{
    int first = 0;
    return isIpv4Address(host, first) && first >= 224 && first <= 239;
}

// No host, or the address that stands for every address of this machine.
bool isThisMachine(const std::string& host)
{
    return host.empty() || host == "0.0.0.0";
}

StreamUrl refused(const std::string& reason)
{
    StreamUrl url;
    url.reading = UrlReading::refused;
    url.refusal = reason;
    return url;
}

StreamUrl source(const char* keyword, const std::string& host, int32_t port, const std::string& streamName = "")
{
    StreamUrl url;
    url.reading = UrlReading::source;
    url.protocol = protocolIndexOfKeyword(keyword);
    url.host = host;
    url.port = port;
    url.streamName = streamName;
    return url;
}

// Reads the port into `port`, or `defaultPort` when the URL gives none (0:
// a port is needed). Returns why it cannot, or "".
std::string portProblem(const UrlParts& parts, int32_t defaultPort, int32_t& port)
{
    if (parts.port.empty()) {
        port = defaultPort;
        return defaultPort == 0 ? "A " + parts.scheme + ":// URL needs a port." : "";
    }
    if (!allDigits(parts.port))
        return "The port \"" + parts.port + "\" is not a number.";
    const size_t firstSignificant = std::min(parts.port.find_first_not_of('0'), parts.port.size());
    const std::string digits = parts.port.substr(firstSignificant);
    if (digits.empty() || digits.size() > 5 || std::stoi(digits) > kMaxPort)
        return "The port " + parts.port + " is out of range: ports go from 1 to 65535.";
    port = std::stoi(digits);
    return "";
}

std::string hostProblem(const std::string& host)
{
    if (host.empty())
        return kNoHost;
    if (host.size() > static_cast<size_t>(kMaxHostCharacters))
        return "The host is longer than the " + toDecimal(kMaxHostCharacters) + " characters that the host field takes.";
    for (char c : host) {
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '-' && c != '.' && c != '_')
            return "\"" + host + "\" is not a host name or an IPv4 address.";
    }
    return "";
}

// udp://, rtp:// and tcp:// need a port and carry no stream name.
std::string portWithoutPathProblem(const UrlParts& parts, int32_t& port)
{
    if (!parts.path.empty() && parts.path != "/")
        return "A " + parts.scheme + ":// source has no path; the URL ends after the port.";
    return portProblem(parts, 0, port);
}

StreamUrl readRtsp(const UrlParts& parts)
{
    if (!parts.userInfo.empty())
        return refused(kCredentials);
    std::string problem = hostProblem(parts.host);
    int32_t port = 0;
    if (problem.empty())
        problem = portProblem(parts, kDefaultRtspPort, port);
    if (!problem.empty())
        return refused(problem);
    const std::string streamName = withoutLeadingSlash(parts.rest);
    std::u32string characters;
    decodeUtf8(streamName, characters);
    if (utf16Length(characters) > static_cast<size_t>(kMaxStreamNameCharacters))
        return refused("The stream name is longer than the " + toDecimal(kMaxStreamNameCharacters) +
                       " characters that the stream name field takes.");
    StreamUrl url = source("rtsp-tcp", parts.host, port, streamName);
    url.anyRtspVariant = parts.scheme == "rtsp";
    return url;
}

// VLC's "@" before the group marks where to receive, not a sender: with
// anything before it, the URL names a source of its own.
StreamUrl readUdp(const UrlParts& parts)
{
    if (!parts.userInfo.empty() || hasParameter(parts.query, "sources"))
        return refused(kSourceSpecific);
    int32_t port = 0;
    const std::string problem = portWithoutPathProblem(parts, port);
    if (!problem.empty())
        return refused(problem);
    const bool rtp = parts.scheme == "rtp";
    if (isThisMachine(parts.host) && !rtp)
        return source("ts-udp", "", port);
    if (isMulticastGroup(parts.host))
        return source("ts-multi", parts.host, port);
    if (rtp)
        return refused("An rtp:// source must be a multicast group, as in rtp://@239.1.1.1:" + toDecimal(port) + ".");
    return refused("The plug-in receives UDP on a port of this machine (udp://@:" + toDecimal(port) +
                   ") or from an IPv4 multicast group (udp://@239.1.1.1:" + toDecimal(port) + "), not from \"" +
                   parts.host + "\".");
}

StreamUrl readTcp(const UrlParts& parts)
{
    if (!parts.userInfo.empty())
        return refused(kCredentials);
    int32_t port = 0;
    std::string problem = portWithoutPathProblem(parts, port);
    if (!problem.empty())
        return refused(problem);
    if (isThisMachine(parts.host))
        return source("ts-tcp", "", port);
    // "@" marks an address to listen on, as with udp://.
    if (hasParameter(parts.query, "listen") || parts.hasUserInfo)
        return refused("The plug-in listens on every address of this machine: write tcp://@:" + toDecimal(port) + ".");
    problem = hostProblem(parts.host);
    if (!problem.empty())
        return refused(problem);
    return source("ts-tcp-pull", parts.host, port);
}

// Blanks and control characters as %XX; every other byte as it is.
std::string escaped(const std::string& text)
{
    std::string url;
    for (char c : text) {
        if (!isBlankOrControl(c)) {
            url.push_back(c);
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        url += {'%', kHexDigits[byte >> 4], kHexDigits[byte & 0xF]};
    }
    return url;
}

// A host typed as an IPv6 address goes into brackets, so that its colons do
// not read as the port's.
std::string urlHost(const std::string& host)
{
    return host.find(':') == std::string::npos ? escaped(host) : "[" + escaped(host) + "]";
}

}  // namespace

std::string invisibleInHost(const std::string& host)
{
    if (const char32_t c = firstInvisible(host))
        return "The host holds an invisible character (" + codePointName(c) +
               "), which no address has: type the host without it.";
    return "";
}

StreamUrl readStreamUrl(const std::string& text)
{
    std::u32string characters;
    if (!decodeUtf8(text, characters))
        return StreamUrl();
    UrlParts parts;
    if (!splitUrl(utf8Of(withoutInvisibleEdges(characters)), parts))
        return StreamUrl();
    const std::string& scheme = parts.scheme;
    const bool rtsp = scheme == "rtsp" || scheme == "rtspt";
    const bool udp = scheme == "udp" || scheme == "rtp";
    if (!rtsp && !udp && scheme != "tcp")
        return refused(scheme + ":// is not among the plug-in's protocols: it receives rtsp://, udp://, rtp:// and "
                                "tcp:// sources.");
    // Before anything that names a part of the URL: none may be a piece of a password.
    if (parts.hiddenCredentials)
        return refused(kCredentials);
    if (parts.ipv6)
        return refused(kIpv6);
    const std::string invisible = invisibleProblem(parts);
    if (!invisible.empty())
        return refused(invisible);
    if (rtsp)
        return readRtsp(parts);
    return udp ? readUdp(parts) : readTcp(parts);
}

CameraAddress readCameraAddress(const std::string& text)
{
    CameraAddress address;
    std::u32string characters;
    UrlParts parts;
    const std::string given = decodeUtf8(text, characters) ? utf8Of(withoutInvisibleEdges(characters)) : "";
    const bool url = given.find("://") != std::string::npos;
    if (given.empty() || !splitUrl(url ? given : "http://" + given, parts)) {
        address.refusal = "Type the camera's host name or IPv4 address, perhaps with :port, or its http:// device "
                          "service URL.";
        return address;
    }
    // Before anything that names a part of the address: none may be a piece
    // of a password. No device service has an "@" of its own.
    if (parts.hiddenCredentials || parts.hasUserInfo || given.find('@') != std::string::npos)
        address.refusal = kCredentials;
    else if (parts.scheme != "http")
        address.refusal = parts.scheme + ":// is no camera's device service: type its host, host:port or http:// URL.";
    else if (parts.ipv6)
        address.refusal = kIpv6;
    if (address.refusal.empty())
        address.refusal = invisibleProblem(parts);
    if (address.refusal.empty())
        address.refusal = hostProblem(parts.host);
    if (address.refusal.empty())
        address.refusal = portProblem(parts, address.port, address.port);
    if (!address.refusal.empty())
        return address;
    address.read = true;
    address.host = parts.host;
    const bool pathGiven = !parts.rest.empty() && parts.rest != "/";
    if (pathGiven)
        address.path = parts.rest[0] == '/' ? parts.rest : "/" + parts.rest;
    address.serviceGiven = url || pathGiven || !parts.port.empty();
    return address;
}

void applyStreamUrl(StreamSettings& preset, const StreamUrl& url)
{
    if (url.reading != UrlReading::source)
        return;
    if (!(url.anyRtspVariant && isRtspKeyword(preset.protocolKeyword())))
        preset.selectProtocol(url.protocol);
    const std::string keyword = preset.protocolKeyword();
    if (keywordUsesHost(keyword))
        preset.setHost(url.host);
    preset.setPort(url.port);
    if (keywordUsesStreamName(keyword))
        preset.setStreamName(url.streamName);
}

std::string streamUrl(int32_t protocol, const StreamEndpoint& endpoint)
{
    const std::string keyword = protocolKeyword(protocol);
    const std::string port = toDecimal(endpoint.port_);
    if (keyword == "ts-udp")
        return "udp://@:" + port;
    if (keyword == "ts-multi")
        return "udp://@" + urlHost(endpoint.host_) + ":" + port;
    if (keyword == "ts-tcp")
        return "tcp://0.0.0.0:" + port + "?listen";
    if (keyword == "ts-tcp-pull")
        return "tcp://" + urlHost(endpoint.host_) + ":" + port;
    if (isRtspKeyword(keyword)) {
        return "rtsp://" + urlHost(endpoint.host_) + ":" + port + "/" + escaped(withoutLeadingSlash(endpoint.streamName_));
    }
    return "";
}

std::string sourceUrl(const StreamSettings& preset)
{
    return streamUrl(preset.protocol(), preset.endpoint(preset.protocol()));
}
