#include "probe/rtsp_exchange.h"

#include <algorithm>
#include <cctype>

#include "probe/mpeg_ts.h"
#include "riverra_version.h"

namespace {

constexpr size_t kMaxHeadBytes = 16 * 1024;
constexpr size_t kMaxContentBytes = 64 * 1024;
constexpr size_t kMaxShownText = 60;
constexpr size_t kMaxHeaderValue = 1024;
constexpr size_t kMaxHeaders = 64;
constexpr char kVersionPrefix[] = "RTSP/";

// Text from the network as it may be shown: printable ASCII, "?" for the rest.
std::string shownText(const std::string& text, size_t length = kMaxShownText)
{
    std::string shown;
    for (char character : text.substr(0, length))
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

// Where the head ends (the empty line), and where the content starts; either
// line end counts.
bool findHeadEnd(const std::string& received, size_t& headEnd, size_t& contentStart)
{
    for (size_t newline = received.find('\n'); newline != std::string::npos;
         newline = received.find('\n', newline + 1)) {
        size_t next = newline + 1;
        if (next < received.size() && received[next] == '\r')
            ++next;
        if (next < received.size() && received[next] == '\n') {
            headEnd = newline;
            contentStart = next + 1;
            return true;
        }
        if (newline > kMaxHeadBytes)
            break;
    }
    return false;
}

std::string requestText(const RtspRequest& request, int sequence)
{
    std::string text = std::string(request.method) + " " + request.url + " RTSP/1.0\r\n";
    text += "CSeq: " + std::to_string(sequence) + "\r\n";
    text += "User-Agent: riverra-presets/" RIVERRA_PRODUCT_VERSION "\r\n";
    if (std::string(request.method) == "DESCRIBE")
        text += "Accept: application/sdp\r\n";
    return text + request.headers + "\r\n";
}

}  // namespace

std::string RtspResponse::header(const char* name) const
{
    for (const auto& entry : headers) {
        if (sameName(entry.first, name))
            return entry.second;
    }
    return "";
}

std::string describeBytes(const std::string& bytes)
{
    TsAnalyzer check;
    check.add(bytes.data(), bytes.size());
    if (check.isTs())
        return "looks like MPEG-TS";
    const std::string line = bytes.substr(0, bytes.find_first_of("\r\n"));
    const bool printable = !line.empty() && std::all_of(line.begin(), line.end(), [](char character) {
        return character >= 0x20 && character < 0x7F;
    });
    if (!printable)
        return "binary data";
    if (line.compare(0, 5, "HTTP/") == 0)
        return "an HTTP answer: \"" + shownText(line) + "\"";
    return "text: \"" + shownText(line) + "\"";
}

RtspParse parseRtspResponse(const std::string& received, RtspResponse& response, size_t& used,
                            std::string& problem)
{
    const size_t prefix = std::min(received.size(), sizeof kVersionPrefix - 1);
    if (received.compare(0, prefix, kVersionPrefix, prefix) != 0) {
        problem = "the answer is not RTSP (" + describeBytes(received) + ")";
        return RtspParse::invalid;
    }
    size_t headEnd = 0;
    size_t contentStart = 0;
    if (!findHeadEnd(received, headEnd, contentStart) || headEnd > kMaxHeadBytes) {
        if (received.size() <= kMaxHeadBytes)
            return RtspParse::incomplete;
        problem = "the answer's head is longer than " + std::to_string(kMaxHeadBytes) + " bytes";
        return RtspParse::invalid;
    }

    const std::string head = received.substr(0, headEnd);
    RtspResponse parsed;
    size_t lineEnd = head.find('\n');
    if (!parseStatusLine(trimmed(head.substr(0, lineEnd)), parsed)) {
        problem = "the answer is not RTSP (" + describeBytes(received) + ")";
        return RtspParse::invalid;
    }
    size_t contentLength = 0;
    while (lineEnd != std::string::npos) {
        const size_t lineStart = lineEnd + 1;
        lineEnd = head.find('\n', lineStart);
        const std::string line = head.substr(lineStart, lineEnd == std::string::npos ? lineEnd : lineEnd - lineStart);
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = trimmed(line.substr(0, colon));
        if (sameName(name, "Content-Length") && !parseContentLength(line.substr(colon + 1), contentLength, problem))
            return RtspParse::invalid;
        if (parsed.headers.size() < kMaxHeaders)
            parsed.headers.emplace_back(shownText(name), shownText(trimmed(line.substr(colon + 1)), kMaxHeaderValue));
    }
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

std::string controlUrl(const std::string& base, const std::string& control)
{
    if (control.empty() || control == "*")
        return base;
    if (control.compare(0, 7, "rtsp://") == 0 || control.compare(0, 8, "rtsps://") == 0)
        return control;
    if (control[0] == '/') {
        const size_t authority = base.find("://");
        const size_t path = authority == std::string::npos ? std::string::npos : base.find('/', authority + 3);
        return base.substr(0, path) + control;
    }
    return base + (base.back() == '/' ? "" : "/") + control;
}

bool takeInterleavedFrame(std::string& pending, int& channel, std::string& payload)
{
    if (pending.size() < 4 || pending[0] != '$')
        return false;
    const size_t length = static_cast<unsigned char>(pending[2]) << 8 | static_cast<unsigned char>(pending[3]);
    if (pending.size() < 4 + length)
        return false;
    channel = static_cast<unsigned char>(pending[1]);
    payload = pending.substr(4, length);
    pending.erase(0, 4 + length);
    return true;
}

NetResult sendRtsp(Socket& socket, const RtspRequest& request, int sequence, const WaitLimit& limit)
{
    return socket.sendAll(requestText(request, sequence), limit);
}

NetResult exchangeRtsp(Socket& socket, const RtspRequest& request, int sequence, const WaitLimit& limit,
                       std::string& pending, RtspResponse& response)
{
    NetResult result = sendRtsp(socket, request, sequence, limit);
    char buffer[4096];
    while (result.ok()) {
        int channel = 0;
        std::string frame;
        while (takeInterleavedFrame(pending, channel, frame)) {
        }
        size_t used = 0;
        std::string problem;
        switch (pending.empty() || pending[0] == '$' ? RtspParse::incomplete
                                                     : parseRtspResponse(pending, response, used, problem)) {
        case RtspParse::complete:
            pending.erase(0, used);
            return result;
        case RtspParse::invalid:
            return {NetStatus::failed, problem};
        case RtspParse::incomplete:
            break;
        }
        size_t received = 0;
        result = socket.receive(buffer, sizeof buffer, limit, received);
        pending.append(buffer, received);
    }
    return result;
}
