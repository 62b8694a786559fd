#include "discover/http_exchange.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

#include "discover/crypto.h"
#include "discover/network_text.h"
#include "probe/text_split.h"

namespace {

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

constexpr size_t kMaxHead = 16 * 1024;
constexpr size_t kMaxHeaders = 64;
constexpr size_t kMaxChallenges = 8;
constexpr size_t kMaxChunkLine = 1024;
constexpr uint64_t kLargestSize = 0xFFFFFFFF;
constexpr char kMalformed[] = "the camera's reply is malformed";

// Whether a qop list ("auth,auth-int") offers plain "auth".
bool offersAuth(const std::string& qop)
{
    size_t at = 0;
    for (size_t comma; at <= qop.size(); at = comma + 1) {
        comma = std::min(qop.find(',', at), qop.size());
        if (lowerCase(trimmed(qop.substr(at, comma - at))) == "auth")
            return true;
    }
    return false;
}

// A decimal or hexadecimal size as a device announces it; false for one
// that is no number or larger than any reply could be (4 GiB): a protocol
// error, not a long reply.
bool readSize(const std::string& text, int base, size_t& size)
{
    if (text.empty())
        return false;
    uint64_t value = 0;
    for (const char c : text) {
        const int digit = std::isdigit(static_cast<unsigned char>(c))                     ? c - '0'
                          : base == 16 && std::isxdigit(static_cast<unsigned char>(c)) ? std::tolower(c) - 'a' + 10
                                                                                          : -1;
        if (digit < 0)
            return false;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (value > kLargestSize)
            return false;
    }
    size = static_cast<size_t>(value);
    return true;
}

// The challenges of a WWW-Authenticate value, one per scheme, however the
// device spreads them ("Digest realm=\"a\", nonce=\"b\", Basic realm=\"c\").
void addChallenges(const std::string& value, std::vector<std::string>& challenges)
{
    for (size_t at = 0; at < value.size();) {
        size_t end = at;
        for (bool quoted = false; end < value.size() && (quoted || value[end] != ','); ++end) {
            if (quoted && value[end] == '\\')
                ++end;
            else if (value[end] == '"')
                quoted = !quoted;
        }
        const std::string element = trimmed(value.substr(at, std::min(end, value.size()) - at));
        at = end + 1;
        if (element.empty())
            continue;
        const size_t space = element.find_first_of(" \t");
        const size_t equals = element.find('=');
        if (equals == std::string::npos || (space != std::string::npos && space < equals) || challenges.empty()) {
            if (challenges.size() < kMaxChallenges)
                challenges.push_back(element);
        } else {
            challenges.back() += ", " + element;
        }
    }
}

// The scheme of a challenge, with its algorithm: "Basic", "Digest SHA-256".
std::string schemeOf(const std::string& challenge)
{
    const std::string scheme = challenge.substr(0, challenge.find_first_of(" \t"));
    if (lowerCase(scheme) != "digest")
        return printableText(scheme, 24);
    std::map<std::string, std::string> parameters = challengeParameters(challenge.substr(scheme.size()));
    const std::string algorithm = parameters["algorithm"].empty() ? "MD5" : parameters["algorithm"];
    return "Digest " + printableText(algorithm, 24);
}

// Whether a challenge is one that a log-in of ours answers: Digest with a
// nonce, MD5, and qop "auth" or none.
bool answersDigest(const std::string& challenge)
{
    if (lowerCase(challenge).compare(0, 7, "digest ") != 0)
        return false;
    std::map<std::string, std::string> parameters = challengeParameters(challenge.substr(7));
    const std::string algorithm = lowerCase(parameters["algorithm"]);
    return !parameters["nonce"].empty() && (algorithm.empty() || algorithm == "md5") &&
           (parameters.count("qop") == 0 || offersAuth(parameters["qop"]));
}

// The first challenge that a log-in of ours answers; "", with what was
// offered in `offered`, when there is none.
std::string answerableChallenge(const std::vector<std::string>& challenges, std::string& offered)
{
    offered.clear();
    for (const std::string& challenge : challenges) {
        if (answersDigest(challenge))
            return challenge;
        offered += (offered.empty() ? "" : ", ") + schemeOf(challenge);
    }
    if (offered.empty())
        offered = "no scheme";
    return {};
}

bool isStale(const std::string& challenge)
{
    std::map<std::string, std::string> parameters = challengeParameters(challenge.substr(challenge.find(' ') + 1));
    return lowerCase(parameters["stale"]) == "true";
}

std::string requestText(const HttpRequest& request, const std::string& authorization)
{
    std::string text = request.method + " " + request.url.path + " HTTP/1.1\r\nHost: " + request.url.host + ":" +
                       std::to_string(request.url.port) + "\r\n";
    if (!request.contentType.empty())
        text += "Content-Type: " + request.contentType + "\r\nContent-Length: " + std::to_string(request.body.size()) +
                "\r\n";
    if (!authorization.empty())
        text += "Authorization: " + authorization + "\r\n";
    return text + "\r\n" + request.body;
}

// One connection to a device; it stays open between a challenge and its
// answer while the device keeps it open.
class HttpConnection {
public:
    HttpConnection(uint32_t address, const HttpRequest& request, const WaitLimit& limit)
        : address_(address), request_(request), limit_(limit)
    {
    }

    // Sends the request and reads its reply; a connection the device has
    // dropped since its last reply is made again once.
    NetResult exchange(const std::string& authorization, HttpReply& reply)
    {
        const bool reused = open_;
        NetResult result = exchangeOnce(authorization, reply);
        if (reused && (result.status == NetStatus::closed || result.status == NetStatus::failed)) {
            open_ = false;
            result = exchangeOnce(authorization, reply);
        }
        if (result.status == NetStatus::closed)
            return {NetStatus::malformed, "the camera closed the connection without a reply"};
        return result;
    }

private:
    NetResult exchangeOnce(const std::string& authorization, HttpReply& reply)
    {
        NetResult result;
        if (!open_) {
            socket_ = Socket();
            result = Socket::tcpConnection(address_, request_.url.port, limit_, socket_);
            if (!result.ok())
                return result;
            open_ = true;
        }
        result = socket_.sendAll(requestText(request_, authorization), limit_);
        HttpReplyReader reader(request_.maxReply);
        HttpReplyReader::Progress progress = HttpReplyReader::Progress::incomplete;
        char buffer[8192];
        for (bool anything = false; result.ok() && progress == HttpReplyReader::Progress::incomplete;) {
            size_t received = 0;
            result = socket_.receive(buffer, sizeof buffer, limit_, received);
            if (result.status == NetStatus::closed && anything) {
                result = {};
                progress = reader.close();
                open_ = false;
            } else if (result.ok()) {
                anything = true;
                progress = reader.add(buffer, received);
            }
        }
        if (!result.ok()) {
            open_ = false;
            return result;
        }
        if (progress != HttpReplyReader::Progress::complete) {
            open_ = false;
            return {NetStatus::malformed, reader.problem()};
        }
        reply = reader.reply();
        open_ = open_ && !reply.closes;
        return result;
    }

    uint32_t address_;
    const HttpRequest& request_;
    WaitLimit limit_;
    Socket socket_;
    bool open_ = false;
};

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

HttpReplyReader::Progress HttpReplyReader::add(const char* bytes, size_t count)
{
    if (progress_ != Progress::incomplete)
        return progress_;
    pending_.append(bytes, count);
    for (bool more = true; more && progress_ == Progress::incomplete;) {
        switch (part_) {
        case Part::head: more = readHead(); break;
        case Part::body: more = readBody(); break;
        case Part::chunkSize: more = readChunkSize(); break;
        case Part::chunkData: more = readChunkData(); break;
        case Part::chunkEnd: more = readChunkEnd(); break;
        case Part::trailer: more = readTrailer(); break;
        case Part::done: progress_ = Progress::complete; break;
        }
    }
    return progress_;
}

HttpReplyReader::Progress HttpReplyReader::close()
{
    if (progress_ != Progress::incomplete)
        return progress_;
    reply_.closes = true;
    if (part_ == Part::body && !lengthKnown_)
        progress_ = Progress::complete;
    else
        fail(Progress::malformed, "the camera closed the connection within its reply");
    return progress_;
}

bool HttpReplyReader::fail(Progress progress, std::string problem)
{
    progress_ = progress;
    problem_ = std::move(problem);
    return false;
}

bool HttpReplyReader::tooLong()
{
    return fail(Progress::tooLong, "the reply is longer than " + std::to_string(maxBody_ / 1024) + " KiB");
}

bool HttpReplyReader::readHead()
{
    // Each part fails only once no byte still to come could make it whole.
    const size_t end = pending_.find("\r\n\r\n");
    if (end == std::string::npos || end > kMaxHead)
        return pending_.size() >= kMaxHead + 4 ? fail(Progress::malformed, kMalformed) : false;
    const std::string head = pending_.substr(0, end);
    pending_.erase(0, end + 4);
    const size_t lineEnd = std::min(head.find("\r\n"), head.size());
    const std::string statusLine = head.substr(0, lineEnd);
    if (statusLine.compare(0, 5, "HTTP/") != 0 || statusLine.size() < 12 || statusLine[8] != ' ' ||
        !std::all_of(statusLine.begin() + 9, statusLine.begin() + 12,
                     [](unsigned char c) { return std::isdigit(c) != 0; }))
        return fail(Progress::malformed, kMalformed);
    reply_ = {};
    reply_.status = std::atoi(statusLine.c_str() + 9);
    reply_.closes = statusLine.compare(0, 8, "HTTP/1.0") == 0;
    lengthKnown_ = false;
    bool chunked = false;
    size_t headers = 0;
    for (size_t line = lineEnd + 2; line < head.size();) {
        const size_t next = std::min(head.find("\r\n", line), head.size());
        const std::string header = head.substr(line, next - line);
        line = next + 2;
        const size_t colon = header.find(':');
        if (++headers > kMaxHeaders || colon == std::string::npos || colon == 0)
            return fail(Progress::malformed, kMalformed);
        const std::string name = lowerCase(header.substr(0, colon));
        const std::string value = trimmed(header.substr(colon + 1));  // may be empty
        if (name == "transfer-encoding") {
            chunked = lowerCase(value).find("chunked") != std::string::npos;
        } else if (name == "content-length") {
            size_t length = 0;
            if (!readSize(value, 10, length) || (lengthKnown_ && length != bodyLength_))
                return fail(Progress::malformed, kMalformed);
            lengthKnown_ = true;
            bodyLength_ = length;
        } else {
            takeHeader(name, value);
        }
    }
    if (reply_.status >= 100 && reply_.status < 200)
        return true;  // an interim reply: the real one follows
    if (chunked) {
        lengthKnown_ = true;
        part_ = Part::chunkSize;
    } else if (lengthKnown_ && bodyLength_ > maxBody_) {
        return tooLong();
    } else {
        if (!lengthKnown_ && (reply_.status == 204 || reply_.status == 304)) {
            lengthKnown_ = true;
            bodyLength_ = 0;
        }
        part_ = Part::body;  // up to its length, or to the close
    }
    return true;
}

void HttpReplyReader::takeHeader(const std::string& name, const std::string& value)
{
    if (name == "www-authenticate")
        addChallenges(value, reply_.challenges);
    else if (name == "content-type")
        reply_.contentType = printableText(value, 100);
    else if (name == "connection")
        reply_.closes = lowerCase(value).find("close") != std::string::npos ||
                        (reply_.closes && lowerCase(value).find("keep-alive") == std::string::npos);
}

bool HttpReplyReader::readBody()
{
    const size_t wanted = lengthKnown_ ? bodyLength_ - reply_.body.size() : pending_.size();
    const size_t taken = std::min(wanted, pending_.size());
    if (reply_.body.size() + taken > maxBody_)
        return tooLong();
    reply_.body.append(pending_, 0, taken);
    pending_.erase(0, taken);
    if (lengthKnown_ && reply_.body.size() == bodyLength_) {
        part_ = Part::done;
        return true;
    }
    return false;
}

bool HttpReplyReader::readChunkSize()
{
    const size_t end = pending_.find("\r\n");
    if (end == std::string::npos || end > kMaxChunkLine)
        return pending_.size() >= kMaxChunkLine + 2 ? fail(Progress::malformed, kMalformed) : false;
    const std::string line = pending_.substr(0, std::min(end, pending_.find(';')));
    pending_.erase(0, end + 2);
    if (!readSize(trimmed(line), 16, chunkLeft_))
        return fail(Progress::malformed, kMalformed);
    if (chunkLeft_ > maxBody_ - reply_.body.size())
        return tooLong();
    part_ = chunkLeft_ == 0 ? Part::trailer : Part::chunkData;
    trailerLeft_ = kMaxHead;
    return true;
}

bool HttpReplyReader::readChunkData()
{
    const size_t taken = std::min(chunkLeft_, pending_.size());
    reply_.body.append(pending_, 0, taken);
    pending_.erase(0, taken);
    chunkLeft_ -= taken;
    if (chunkLeft_ > 0)
        return false;
    part_ = Part::chunkEnd;
    return true;
}

bool HttpReplyReader::readChunkEnd()
{
    if (pending_.size() < 2)
        return false;
    if (pending_.compare(0, 2, "\r\n") != 0)
        return fail(Progress::malformed, kMalformed);
    pending_.erase(0, 2);
    part_ = Part::chunkSize;
    return true;
}

bool HttpReplyReader::readTrailer()
{
    // Trailer fields until an empty line, as many as a head; none is kept.
    for (;;) {
        const size_t end = pending_.find("\r\n");
        if (end == std::string::npos || end + 2 > trailerLeft_)
            return pending_.size() >= trailerLeft_ ? fail(Progress::malformed, kMalformed) : false;
        pending_.erase(0, end + 2);
        trailerLeft_ -= end + 2;
        if (end == 0) {
            part_ = Part::done;
            return true;
        }
    }
}

NetResult httpExchange(uint32_t address, const HttpRequest& request, const HttpLogin* login, const WaitLimit& limit,
                       HttpReply& reply)
{
    HttpConnection connection(address, request, limit);
    NetResult result = connection.exchange("", reply);
    // Only a device that asked gets a log-in, and only as the answer to its
    // own challenge; a stale answer goes once more with the new one.
    for (int answers = 0; answers < 2 && result.ok() && reply.status == 401 && login != nullptr &&
                          !login->user.empty();
         ++answers) {
        if (answers > 0 && !std::any_of(reply.challenges.begin(), reply.challenges.end(), isStale))
            break;
        const std::string challenge = answerableChallenge(reply.challenges, reply.unanswerable);
        if (challenge.empty())
            break;
        std::string clientNonce;
        if (!randomBytes(8, clientNonce))
            return {NetStatus::failed, "the system gave no random bytes for the log-in"};
        const std::string authorization = digestAuthorization(challenge, login->user, login->password, request.method,
                                                              request.url.path, hexText(clientNonce), 1);
        if (authorization.empty()) {
            reply.unanswerable = "Digest with characters that break a request";
            break;
        }
        result = connection.exchange(authorization, reply);
    }
    return result;
}

std::string digestAuthorization(const std::string& challenge, const std::string& user, const std::string& password,
                                const std::string& method, const std::string& uri, const std::string& clientNonce,
                                unsigned count)
{
    if (!answersDigest(challenge))
        return {};
    std::map<std::string, std::string> parameters = challengeParameters(challenge.substr(7));
    const std::string realm = parameters["realm"];
    const std::string nonce = parameters["nonce"];
    const bool qopAuth = parameters.count("qop") != 0;
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
