#include "tool/rtsp_exchange.h"

#include <algorithm>
#include <cctype>

#include "riverra_version.h"

namespace {

constexpr size_t kMaxHeadBytes = 16 * 1024;
constexpr size_t kMaxContentBytes = 64 * 1024;
constexpr size_t kMaxShownText = 60;
constexpr char kVersionPrefix[] = "RTSP/";

// Text from the network as it may be shown: printable ASCII, "?" for the rest.
std::string shownText(const std::string& text)
{
    std::string shown;
    for (char character : text.substr(0, kMaxShownText))
        shown.push_back(character >= 0x20 && character < 0x7F ? character : '?');
    return shown;
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    const size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

bool sameName(const std::string& name, const char* expected)
{
    const std::string other(expected);
    return name.size() == other.size() && std::equal(name.begin(), name.end(), other.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

// "RTSP/1.0 200 OK"
bool parseStatusLine(const std::string& line, RtspResponse& response)
{
    const size_t space = line.find(' ');
    if (line.compare(0, sizeof kVersionPrefix - 1, kVersionPrefix) != 0 || space == std::string::npos ||
        line.size() < space + 4)
        return false;
    int status = 0;
    for (size_t index = space + 1; index < space + 4; ++index) {
        if (!std::isdigit(static_cast<unsigned char>(line[index])))
            return false;
        status = status * 10 + (line[index] - '0');
    }
    if (line.size() > space + 4 && line[space + 4] != ' ')
        return false;
    response.status = status;
    response.reason = shownText(trimmed(line.substr(space + 4)));
    return true;
}

// The value of Content-Length: decimal digits, at most the content the probe reads.
bool parseContentLength(const std::string& value, size_t& length, std::string& problem)
{
    const std::string digits = trimmed(value);
    length = 0;
    for (char digit : digits) {
        if (!std::isdigit(static_cast<unsigned char>(digit)) || length > kMaxContentBytes) {
            length = kMaxContentBytes + 1;
            break;
        }
        length = length * 10 + static_cast<size_t>(digit - '0');
    }
    if (digits.empty() || length > kMaxContentBytes) {
        problem = "the answer announces a content of \"" + shownText(digits) + "\" bytes; the probe reads up to " +
                  std::to_string(kMaxContentBytes);
        return false;
    }
    return true;
}

std::string request(const char* method, const std::string& url, int sequence)
{
    std::string text = std::string(method) + " " + url + " RTSP/1.0\r\n";
    text += "CSeq: " + std::to_string(sequence) + "\r\n";
    text += "User-Agent: riverra-presets/" RIVERRA_PRODUCT_VERSION "\r\n";
    if (std::string(method) == "DESCRIBE")
        text += "Accept: application/sdp\r\n";
    return text + "\r\n";
}

}  // namespace

RtspParse parseRtspResponse(const std::string& received, RtspResponse& response, size_t& used,
                            std::string& problem)
{
    const size_t prefix = std::min(received.size(), sizeof kVersionPrefix - 1);
    if (received.compare(0, prefix, kVersionPrefix, prefix) != 0) {
        problem = "the answer is not RTSP: \"" + shownText(received.substr(0, received.find_first_of("\r\n"))) + "\"";
        return RtspParse::invalid;
    }
    const size_t headEnd = received.find("\r\n\r\n");
    if (headEnd == std::string::npos || headEnd > kMaxHeadBytes) {
        if (received.size() <= kMaxHeadBytes)
            return RtspParse::incomplete;
        problem = "the answer's head is longer than " + std::to_string(kMaxHeadBytes) + " bytes";
        return RtspParse::invalid;
    }

    const std::string head = received.substr(0, headEnd);
    RtspResponse parsed;
    size_t lineEnd = head.find("\r\n");
    if (!parseStatusLine(head.substr(0, lineEnd), parsed)) {
        problem = "the answer is not RTSP: \"" + shownText(head.substr(0, lineEnd)) + "\"";
        return RtspParse::invalid;
    }
    size_t contentLength = 0;
    while (lineEnd != std::string::npos) {
        const size_t lineStart = lineEnd + 2;
        lineEnd = head.find("\r\n", lineStart);
        const std::string line = head.substr(lineStart, lineEnd == std::string::npos ? lineEnd : lineEnd - lineStart);
        const size_t colon = line.find(':');
        if (colon != std::string::npos && sameName(trimmed(line.substr(0, colon)), "Content-Length") &&
            !parseContentLength(line.substr(colon + 1), contentLength, problem))
            return RtspParse::invalid;
    }
    const size_t contentStart = headEnd + 4;
    if (received.size() - contentStart < contentLength)
        return RtspParse::incomplete;
    parsed.content = received.substr(contentStart, contentLength);
    response = parsed;
    used = contentStart + contentLength;
    return RtspParse::complete;
}

std::string rtspUrl(const std::string& host, uint16_t port, const std::string& streamName)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = "rtsp://" + host + ":" + std::to_string(port) + "/";
    for (unsigned char character : streamName.substr(streamName.compare(0, 1, "/") == 0 ? 1 : 0)) {
        if (character > 0x20 && character < 0x7F) {
            url.push_back(static_cast<char>(character));
        } else {
            url.push_back('%');
            url.push_back(kHex[character >> 4]);
            url.push_back(kHex[character & 0xF]);
        }
    }
    return url;
}

NetResult exchangeRtsp(Socket& socket, const char* method, const std::string& url, int sequence,
                       Deadline deadline, std::string& pending, RtspResponse& response)
{
    NetResult result = socket.sendAll(request(method, url, sequence), deadline);
    char buffer[4096];
    while (result.ok()) {
        size_t used = 0;
        std::string problem;
        switch (parseRtspResponse(pending, response, used, problem)) {
        case RtspParse::complete:
            pending.erase(0, used);
            return result;
        case RtspParse::invalid:
            return {NetStatus::failed, problem};
        case RtspParse::incomplete:
            break;
        }
        size_t received = 0;
        result = socket.receive(buffer, sizeof buffer, deadline, received);
        pending.append(buffer, received);
    }
    return result;
}
