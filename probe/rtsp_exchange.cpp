#include "probe/rtsp_exchange.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "probe/mpeg_ts.h"
#include "probe/text_split.h"
#include "riverra_version.h"

namespace {

constexpr size_t kMaxHeadBytes = 16 * 1024;
constexpr size_t kMaxContentBytes = 64 * 1024;
constexpr size_t kMaxShownText = 60;
constexpr size_t kMaxHeaderValue = 1024;
constexpr size_t kMaxHeaders = 64;
constexpr char kVersionPrefix[] = "RTSP/";
constexpr char kMethodCharacters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_-";
constexpr size_t kMaxMethod = 32;
constexpr size_t kReadBytes = 16 * 1024;

// Text from the network as it may be shown: printable ASCII, "?" for the rest.
std::string shownText(const std::string& text, size_t length = kMaxShownText)
{
    std::string shown;
    for (char character : text.substr(0, length))
        shown.push_back(character >= 0x20 && character < 0x7F ? character : '?');
    return shown;
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

// "the answer is not RTSP (binary data)"
std::string notRtsp(const std::string& received)
{
    return "the answer is not RTSP (" + describeBytes(received) + ")";
}

// Where the head of a message ends and its content starts; incomplete while
// the empty line has not come, invalid beyond the size the probe reads.
RtspParse findHead(const std::string& received, size_t& headEnd, size_t& contentStart, std::string& problem)
{
    if (findHeadEnd(received, headEnd, contentStart) && headEnd <= kMaxHeadBytes)
        return RtspParse::complete;
    // The empty line may still come, up to two bytes on from the end.
    if (received.size() < kMaxHeadBytes + 3)
        return RtspParse::incomplete;
    problem = "the answer's head is longer than " + std::to_string(kMaxHeadBytes) + " bytes";
    return RtspParse::invalid;
}

// The header lines of a head after its first line, printable and at most
// kMaxHeaders of them, and the length of the content they announce.
bool readHeaders(const std::string& head, size_t lineEnd, std::vector<std::pair<std::string, std::string>>& headers,
                 size_t& contentLength, std::string& problem)
{
    while (lineEnd != std::string::npos) {
        const size_t lineStart = lineEnd + 1;
        lineEnd = head.find('\n', lineStart);
        const std::string line = head.substr(lineStart, lineEnd == std::string::npos ? lineEnd : lineEnd - lineStart);
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = trimmed(line.substr(0, colon));
        if (sameName(name, "Content-Length") && !parseContentLength(line.substr(colon + 1), contentLength, problem))
            return false;
        if (headers.size() < kMaxHeaders)
            headers.emplace_back(shownText(name), shownText(trimmed(line.substr(colon + 1)), kMaxHeaderValue));
    }
    return true;
}

// The number of a CSeq header: up to nine digits; -1 for anything else.
int sequenceNumber(const std::string& value)
{
    if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoi(value);
}

std::string headerOf(const std::vector<std::pair<std::string, std::string>>& headers, const char* name)
{
    for (const auto& entry : headers) {
        if (sameName(entry.first, name))
            return entry.second;
    }
    return "";
}

// A message at the front of `received`, once all of it is there: its headers
// and where its content lies. Its first line, trimmed, must please
// `firstLineFits`.
struct RtspMessage {
    std::vector<std::pair<std::string, std::string>> headers;
    size_t contentStart = 0;
    size_t contentLength = 0;

    size_t end() const { return contentStart + contentLength; }
};

template <typename FirstLine>
RtspParse parseMessage(const std::string& received, const FirstLine& firstLineFits, RtspMessage& message,
                       std::string& problem)
{
    size_t headEnd = 0;
    const RtspParse headFound = findHead(received, headEnd, message.contentStart, problem);
    if (headFound != RtspParse::complete)
        return headFound;
    const std::string head = received.substr(0, headEnd);
    const size_t lineEnd = head.find('\n');
    if (!firstLineFits(trimmed(head.substr(0, lineEnd)))) {
        problem = notRtsp(received);
        return RtspParse::invalid;
    }
    if (!readHeaders(head, lineEnd, message.headers, message.contentLength, problem))
        return RtspParse::invalid;
    return received.size() - message.contentStart < message.contentLength ? RtspParse::incomplete
                                                                           : RtspParse::complete;
}

// A request of the server at the front of `received` ("GET_PARAMETER
// rtsp://... RTSP/1.0"): its method and CSeq, and the bytes it takes.
RtspParse parseRtspRequest(const std::string& received, std::string& method, int& cseq, size_t& used,
                           std::string& problem)
{
    const size_t methodEnd = received.find_first_not_of(kMethodCharacters);
    if (methodEnd == std::string::npos && received.size() <= kMaxMethod)
        return RtspParse::incomplete;
    if (methodEnd == 0 || methodEnd > kMaxMethod || received[methodEnd] != ' ') {
        problem = notRtsp(received);
        return RtspParse::invalid;
    }
    const auto requestLine = [](const std::string& line) {
        return line.size() >= 9 && line.compare(line.size() - 9, 9, " RTSP/1.0") == 0;
    };
    RtspMessage message;
    const RtspParse parse = parseMessage(received, requestLine, message, problem);
    if (parse != RtspParse::complete)
        return parse;
    method = received.substr(0, methodEnd);
    cseq = sequenceNumber(headerOf(message.headers, "CSeq"));
    used = message.end();
    return RtspParse::complete;
}

// What goes back to a request of the server: keep-alives and questions
// after the options are answered, the rest is not done here.
std::string answerTo(const std::string& method, int cseq)
{
    const bool done = method == "GET_PARAMETER" || method == "OPTIONS" || method == "SET_PARAMETER";
    return std::string(done ? "RTSP/1.0 200 OK\r\n" : "RTSP/1.0 501 Not Implemented\r\n") +
           (cseq >= 0 ? "CSeq: " + std::to_string(cseq) + "\r\n" : "") + "\r\n";
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
    return headerOf(headers, name);
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
        problem = notRtsp(received);
        return RtspParse::invalid;
    }
    RtspResponse parsed;
    RtspMessage message;
    const RtspParse parse = parseMessage(
        received, [&parsed](const std::string& line) { return parseStatusLine(line, parsed); }, message, problem);
    if (parse != RtspParse::complete)
        return parse;
    parsed.headers = std::move(message.headers);
    parsed.content = received.substr(message.contentStart, message.contentLength);
    response = parsed;
    used = message.end();
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

RtspItem RtspStream::next()
{
    RtspItem item;
    // Blank lines between messages carry nothing.
    pending_.erase(0, std::min(pending_.find_first_not_of("\r\n"), pending_.size()));
    if (pending_.empty())
        return item;
    if (pending_[0] == '$') {
        if (takeInterleavedFrame(pending_, item.channel, item.payload))
            item.kind = RtspItemKind::frame;
        return item;
    }
    const size_t prefix = std::min(pending_.size(), sizeof kVersionPrefix - 1);
    const bool response = pending_.compare(0, prefix, kVersionPrefix, prefix) == 0;
    size_t used = 0;
    std::string method;
    const RtspParse parse = response ? parseRtspResponse(pending_, item.response, used, item.problem)
                                     : parseRtspRequest(pending_, method, item.cseq, used, item.problem);
    if (parse == RtspParse::invalid)
        item.kind = RtspItemKind::invalid;
    if (parse != RtspParse::complete)
        return item;
    pending_.erase(0, used);
    if (response) {
        item.kind = RtspItemKind::response;
        item.cseq = sequenceNumber(item.response.header("CSeq"));
    } else {
        item.kind = RtspItemKind::request;
        item.answer = answerTo(method, item.cseq);
    }
    return item;
}

NetResult RtspConnection::exchange(const RtspRequest& request, const WaitLimit& limit, RtspResponse& response)
{
    const int sequence = ++sequence_;
    NetResult result = socket_.sendAll(requestText(request, sequence), limit);
    while (result.ok()) {
        RtspItem item;
        if (!takeItem(limit, item, result)) {
            if (result.ok())
                result = readMore(limit);
            continue;
        }
        // An answer without CSeq is taken as the answer to the request.
        if (item.kind == RtspItemKind::response && (item.cseq == sequence || item.cseq < 0)) {
            response = std::move(item.response);
            return result;
        }
    }
    return result;
}

NetResult RtspConnection::receive(const WaitLimit& limit, const FrameHandler& onFrame)
{
    NetResult result;
    RtspItem item;
    while (takeItem(limit, item, result)) {
        if (item.kind == RtspItemKind::frame && onFrame)
            onFrame(item.channel, item.payload);
    }
    return result.ok() ? readMore(limit) : result;
}

bool RtspConnection::takeItem(const WaitLimit& limit, RtspItem& item, NetResult& result)
{
    item = stream_.next();
    switch (item.kind) {
    case RtspItemKind::incomplete:
        return false;
    case RtspItemKind::invalid:
        result = {NetStatus::malformed, item.problem};
        return false;
    case RtspItemKind::request:
        result = socket_.sendAll(item.answer, limit);
        return result.ok();
    default:
        return true;
    }
}

NetResult RtspConnection::readMore(const WaitLimit& limit)
{
    char buffer[kReadBytes];
    size_t received = 0;
    const NetResult result = socket_.receive(buffer, sizeof buffer, limit, received);
    if (result.ok())
        stream_.add(buffer, received);
    return result;
}
