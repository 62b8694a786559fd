// The search's readers of untrusted replies and announcements, and the
// log-in digests against known answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "discover/crypto.h"
#include "discover/discovery.h"
#include "discover/http_exchange.h"
#include "discover/onvif_camera.h"
#include "discover/onvif_messages.h"
#include "discover/sap_reader.h"
#include "probe/net_socket.h"

namespace {

using testing::HasSubstr;

std::string bytesOfHex(const std::string& hex)
{
    std::string bytes;
    for (size_t at = 0; at + 1 < hex.size(); at += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    return bytes;
}

// A SAP header from 10.0.0.9 with message hash `hash`.
std::string sapHeader(unsigned char flags, uint16_t hash)
{
    return std::string{static_cast<char>(0x20 | flags), 0, static_cast<char>(hash >> 8), static_cast<char>(hash),
                       10, 0, 0, 9};
}

const std::string kSdp = "v=0\r\ns=Studio feed\r\nc=IN IP4 239.1.1.1/16\r\nt=0 0\r\nm=video 1234 udp 33\r\n";

TEST(LoginDigests, MatchKnownAnswers)
{
    UsernameToken token{"admin", "pass", {}, "2026-12-08T07:00:00Z"};
    for (int byte = 0; byte < 16; ++byte)
        token.nonce += static_cast<char>(byte);
    const std::string envelope = soapEnvelope(getProfiles(), &token);
    EXPECT_THAT(envelope, HasSubstr("#PasswordDigest\">8K/mR7Ui5gZuZjSemVGEX0FkbYs=</wsse:Password>"));
    EXPECT_THAT(envelope, HasSubstr(">AAECAwQFBgcICQoLDA0ODw==</wsse:Nonce>"));

    // The example of RFC 2617, section 3.5.
    const std::string header = digestAuthorization(
        "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
        "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"",
        "Mufasa", "Circle Of Life", "GET", "/dir/index.html", "0a4f113b", 1);
    EXPECT_THAT(header, HasSubstr("response=\"6629fae49393a05397450978507c4ef1\""));
    EXPECT_THAT(header, HasSubstr("opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""));
    EXPECT_EQ(digestAuthorization("Basic realm=\"x\"", "a", "b", "GET", "/", "c", 1), "");
    EXPECT_EQ(digestAuthorization("Digest realm=\"x\", nonce=\"a\r\nX-Injected: 1\"", "a", "b", "GET", "/", "c", 1), "");
}

// The reader fed in one piece and byte by byte, which must agree.
HttpReplyReader::Progress readReply(const std::string& bytes, HttpReply& reply, std::string& problem,
                                    bool closeAfter = false)
{
    HttpReplyReader whole;
    HttpReplyReader::Progress progress = whole.add(bytes.data(), bytes.size());
    if (closeAfter)
        progress = whole.close();
    HttpReplyReader piecewise;
    for (const char byte : bytes)
        piecewise.add(&byte, 1);
    EXPECT_EQ(closeAfter ? piecewise.close() : piecewise.add("", 0), progress) << bytes;
    EXPECT_EQ(piecewise.reply().body, whole.reply().body);
    reply = whole.reply();
    problem = whole.problem();
    return progress;
}

TEST(HttpReplies, EndAtTheirLengthLastChunkOrCloseAndRefuseSizesThatCannotFit)
{
    using Progress = HttpReplyReader::Progress;
    HttpReply reply;
    std::string problem;
    // Empty header values, as many embedded servers send them; the bytes
    // after the reply are not its own.
    EXPECT_EQ(readReply("HTTP/1.1 401 Unauthorized\r\nServer: \r\nX-Empty:\r\nWWW-Authenticate: Digest realm=\"a\", "
                        "nonce=\"1\", Basic realm=\"b\"\r\nContent-Length: 5\r\n\r\nhelloHTTP/1.1",
                        reply, problem),
              Progress::complete);
    EXPECT_EQ(reply.body, "hello");
    EXPECT_EQ(reply.challenges, std::vector<std::string>({"Digest realm=\"a\", nonce=\"1\"", "Basic realm=\"b\""}));
    EXPECT_FALSE(reply.closes);
    EXPECT_EQ(readReply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5;name=x\r\nhello\r\n6\r\n world\r\n"
                        "0\r\nTrailer: x\r\n\r\n",
                        reply, problem),
              Progress::complete);
    EXPECT_EQ(reply.body, "hello world");
    EXPECT_EQ(readReply("HTTP/1.0 200 OK\r\n\r\nuntil the end", reply, problem, true), Progress::complete);
    EXPECT_EQ(reply.body, "until the end");

    std::string manyHeaders = "HTTP/1.1 200 OK\r\n";
    for (int header = 0; header < 65; ++header)
        manyHeaders += "X: 1\r\n";
    const struct {
        std::string bytes;
        Progress progress;
        std::string problem;
    } refused[] = {
        // A chunk size that wraps the arithmetic of a careless reader.
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\nFFFFFFFFFFFFFFEC\r\nhello again",
         Progress::malformed, "the camera's reply is malformed"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 18446744073709551617\r\n\r\n", Progress::malformed, "malformed"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 300000\r\n\r\n", Progress::tooLong, "longer than 256 KiB"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n40001\r\n", Progress::tooLong, "longer than 256 KiB"},
        {manyHeaders + "\r\n", Progress::malformed, "malformed"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\ncut", Progress::malformed, "closed the connection"},
        {"SSH-2.0-OpenSSH\r\n\r\n", Progress::malformed, "malformed"},
    };
    for (const auto& entry : refused) {
        SCOPED_TRACE(entry.bytes.substr(0, 60));
        EXPECT_EQ(readReply(entry.bytes, reply, problem, entry.problem == "closed the connection"), entry.progress);
        EXPECT_THAT(problem, HasSubstr(entry.problem));
    }
}

// The value of a header of a request's head; "" when it has none.
std::string headerValue(const std::string& head, const char* name)
{
    const size_t start = head.find(std::string("\r\n") + name + ": ");
    return start == std::string::npos ? "" : head.substr(start + std::strlen(name) + 4,
                                                         head.find("\r\n", start + 2) - start - std::strlen(name) - 4);
}

// A device of the test on 127.0.0.1 that keeps every connection open: each
// request (head and body) goes to `answer` with the number of its
// connection, and what that returns goes back.
class HttpDevice {
public:
    using Answer = std::function<std::string(const std::string& request, int connection)>;

    explicit HttpDevice(Answer answer) : answer_(std::move(answer))
    {
        std::string problem;
        startNetworking(problem);
        EXPECT_TRUE(Socket::tcpListener(0, listener_).ok());
        thread_ = std::thread([this] { serve(); });
    }
    ~HttpDevice()
    {
        stop_.cancel();
        thread_.join();
    }

    uint16_t port() const { return listener_.localPort(); }
    // The requests with their connections, in order.
    std::vector<std::pair<int, std::string>> requests() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void serve()
    {
        const WaitLimit limit{Clock::now() + std::chrono::seconds(30), &stop_};
        for (int connection = 0;; ++connection) {
            Socket socket;
            uint32_t peer = 0;
            if (!listener_.accept(limit, socket, peer).ok())
                return;
            std::string received;
            char buffer[4096];
            size_t count = 0;
            while (socket.receive(buffer, sizeof buffer, limit, count).ok()) {
                received.append(buffer, count);
                for (size_t end; (end = received.find("\r\n\r\n")) != std::string::npos;) {
                    const size_t length = std::strtoul(headerValue(received.substr(0, end), "Content-Length").c_str(), nullptr, 10);
                    if (received.size() < end + 4 + length)
                        break;
                    const std::string request = received.substr(0, end + 4 + length);
                    received.erase(0, request.size());
                    {
                        std::lock_guard<std::mutex> lock(mutex_);
                        requests_.emplace_back(connection, request);
                    }
                    socket.sendAll(answer_(request, connection), limit);
                }
            }
        }
    }

    Answer answer_;
    Socket listener_;
    CancelToken stop_;
    mutable std::mutex mutex_;
    std::vector<std::pair<int, std::string>> requests_;
    std::thread thread_;
};

// A request to the device, as the search sends one.
NetResult askDevice(const HttpDevice& device, const HttpLogin* login, HttpReply& reply)
{
    UrlParts url;
    readUrl("http://127.0.0.1:" + std::to_string(device.port()) + "/onvif/media", 80, url);
    const HttpRequest request{"POST", url, "application/soap+xml", "<Envelope/>"};
    return httpExchange(0x7F000001, request, login, {Clock::now() + std::chrono::seconds(5), nullptr}, reply);
}

// The Digest answer's field, e.g. nonce="..." of `Authorization`.
std::string digestField(const std::string& request, const std::string& field)
{
    const std::string authorization = headerValue(request, "Authorization");
    const size_t start = authorization.find(field + "=");
    if (start == std::string::npos)
        return "";
    const size_t value = start + field.size() + 1 + (authorization[start + field.size() + 1] == '"' ? 1 : 0);
    return authorization.substr(value, authorization.find_first_of("\",", value) - value);
}

std::string httpAnswer(const std::string& status, const std::string& headers = "", const std::string& body = "")
{
    return "HTTP/1.1 " + status + "\r\nServer: \r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

TEST(HttpExchange, TheLoginAnswersTheChallengeOfItsOwnConnectionAndAStaleOneOnce)
{
    // SHA-256 offered first, MD5 beside it; the nonce is the connection's
    // own, and the first answer to it is called stale. The device keeps the
    // connection open: each reply ends at its length.
    const HttpLogin login{"operator", "s3cret"};
    const HttpDevice device([&login](const std::string& request, int connection) {
        const std::string nonce = "c" + std::to_string(connection);
        const std::string given = digestField(request, "nonce");
        if (given.empty())
            return httpAnswer("401 Unauthorized",
                              "WWW-Authenticate: Digest realm=\"cam\", nonce=\"x\", algorithm=SHA-256\r\n"
                              "WWW-Authenticate: Digest realm=\"cam\", nonce=\"" + nonce + "\", qop=\"auth\"\r\n");
        if (given == nonce)
            return httpAnswer("401 Unauthorized",
                              "WWW-Authenticate: Digest realm=\"cam\", nonce=\"" + nonce + "-fresh\", qop=\"auth\", "
                              "stale=true\r\n");
        const std::string first = md5Hex(login.user + ":cam:" + login.password);
        const std::string expected = md5Hex(first + ":" + given + ":" + digestField(request, "nc") + ":" +
                                            digestField(request, "cnonce") + ":auth:" + md5Hex("POST:/onvif/media"));
        return given == nonce + "-fresh" && digestField(request, "response") == expected
                   ? httpAnswer("200 OK", "", "<Envelope/>")
                   : httpAnswer("403 Forbidden");
    });
    HttpReply reply;
    ASSERT_TRUE(askDevice(device, &login, reply).ok());
    EXPECT_EQ(reply.status, 200);
    const auto requests = device.requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const auto& request : requests)
        EXPECT_EQ(request.first, requests.front().first);  // one connection
    EXPECT_EQ(headerValue(requests[0].second, "Authorization"), "");  // nothing before the device asked
}

TEST(HttpExchange, AChallengeThatCannotBeAnsweredIsSaidAndGetsNoRequest)
{
    const HttpDevice device([](const std::string&, int) {
        return httpAnswer("401 Unauthorized", "WWW-Authenticate: Digest realm=\"cam\", nonce=\"x\", algorithm=SHA-256\r\n"
                                              "WWW-Authenticate: Basic realm=\"cam\"\r\n");
    });
    const HttpLogin login{"operator", "s3cret"};
    HttpReply reply;
    ASSERT_TRUE(askDevice(device, &login, reply).ok());
    EXPECT_EQ(reply.status, 401);
    EXPECT_EQ(reply.unanswerable, "Digest SHA-256, Basic");
    EXPECT_EQ(device.requests().size(), 1u);
}

// The path of a request's first line.
std::string requestPath(const std::string& request)
{
    const size_t start = request.find(' ') + 1;
    return request.substr(start, request.find(' ', start) - start);
}

TEST(Snapshots, ComeFromTheCameraAfterItAsksForTheLoginAndOnlyAsJpeg)
{
    const std::string jpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "picture";
    const HttpDevice device([&](const std::string& request, int) {
        const std::string path = requestPath(request);
        if (path == "/page")
            return httpAnswer("200 OK", "Content-Type: text/html; charset=utf-8\r\n", "<html></html>");
        if (path == "/large")
            return httpAnswer("200 OK", "Content-Type: image/jpeg\r\n", std::string(kMaxSnapshot + 1, 'x'));
        if (path == "/gif")
            return httpAnswer("200 OK", "Content-Type: image/jpeg\r\n", "GIF89a");
        if (headerValue(request, "Authorization").empty())
            return httpAnswer("401 Unauthorized", "WWW-Authenticate: Digest realm=\"cam\", nonce=\"n\", qop=\"auth\"\r\n");
        return httpAnswer("200 OK", "Content-Type: Image/JPEG\r\n", jpeg);
    });
    const std::string camera = "http://127.0.0.1:" + std::to_string(device.port());
    FoundSource source;
    source.address = "127.0.0.1";
    CameraLogin login;
    login.user = "operator";
    login.password = "s3cret";
    const CancelToken cancel;
    std::string fetched;
    std::string problem;
    source.snapshotUrl = camera + "/snapshot.jpg";
    ASSERT_TRUE(fetchSnapshot(source, login, cancel, fetched, problem)) << problem;
    EXPECT_EQ(fetched, jpeg);
    ASSERT_EQ(device.requests().size(), 2u);
    EXPECT_EQ(headerValue(device.requests()[0].second, "Authorization"), "");  // nothing before it asked

    const struct {
        std::string path;
        std::string problem;
    } refused[] = {{"/page", "it sent text/html, not a JPEG"},
                   {"/large", "longer than 2048 KiB"},
                   {"/gif", "what it sent as a JPEG is none"}};
    for (const auto& entry : refused) {
        source.snapshotUrl = camera + entry.path;
        EXPECT_FALSE(fetchSnapshot(source, login, cancel, fetched, problem));
        EXPECT_THAT(problem, HasSubstr(entry.problem));
    }
    // The log-in kept to another camera, and a URL of another host: no
    // password goes there, and nothing at all to the other host.
    login.cameras = {0x0A000001};
    source.snapshotUrl = camera + "/snapshot.jpg";
    EXPECT_FALSE(fetchSnapshot(source, login, cancel, fetched, problem));
    EXPECT_EQ(problem, "it needs a user name and password");
    EXPECT_EQ(headerValue(device.requests().back().second, "Authorization"), "");
    const size_t asked = device.requests().size();
    source.snapshotUrl = "http://10.0.0.1:" + std::to_string(device.port()) + "/snapshot.jpg";
    EXPECT_FALSE(fetchSnapshot(source, login, cancel, fetched, problem));
    EXPECT_EQ(device.requests().size(), asked);
}

// A camera that the user named, and that lists its profiles, takes the place
// of the same camera found by the search; a port of it that is no camera
// does not.
TEST(NamedCameras, TakeThePlaceOfTheSameCameraFoundOnlyWhenTheyListItsProfiles)
{
    const auto source = [](const char* address, const char* found, const char* token, const char* kind = "onvif") {
        FoundSource each;
        each.kind = kind;
        each.address = address;
        each.interfaceName = found;
        each.profileToken = token;
        return each;
    };
    const std::vector<FoundSource> listed = {source("10.1.0.2", "eth1", "main"), source("10.1.0.9", "eth1", "main"),
                                             source("239.1.1.1", "eth1", "", "sap")};
    const std::vector<FoundSource> named = {source("10.1.0.9", kByAddress, ""), source("cam.local", kByAddress, ""),
                                            source("10.1.0.5", kByAddress, "main")};
    std::vector<std::string> order;
    for (const FoundSource& each : withNamedCameras(listed, named))
        order.push_back(each.address + " " + each.interfaceName);
    EXPECT_EQ(order, std::vector<std::string>({"10.1.0.2 eth1", "10.1.0.5 by address", "10.1.0.9 eth1",
                                               "10.1.0.9 by address", "cam.local by address", "239.1.1.1 eth1"}));
    order.clear();
    for (const FoundSource& each : withNamedCameras(listed, {source("10.1.0.9", kByAddress, "main")}))
        order.push_back(each.address + " " + each.interfaceName);
    EXPECT_EQ(order, std::vector<std::string>({"10.1.0.2 eth1", "10.1.0.9 by address", "239.1.1.1 eth1"}));
}

TEST(SapReader, ReadsPlainAndCompressedAndRefusesWhatItCannotRead)
{
    SapMessage message;
    std::string problem;
    ASSERT_TRUE(readSapMessage((sapHeader(0, 7) + "application/sdp" + '\0' + kSdp).data(),
                               sapHeader(0, 7).size() + 16 + kSdp.size(), message, problem));
    EXPECT_EQ(message.origin, "10.0.0.9");
    EXPECT_EQ(message.hash, 7);
    EXPECT_EQ(message.sdp, kSdp);

    const std::string compressed = sapHeader(0x01, 8) + bytesOfHex("789c2bb335e0e52ab68de2e54ab6f5f453f00c30513032b6d4"
                                                                  "3304415eae5cdbb2cc94d47c054323631385d294020563635e"
                                                                  "2e0033cb0be3");
    ASSERT_TRUE(readSapMessage(compressed.data(), compressed.size(), message, problem)) << problem;
    SdpAnnouncement announcement;
    ASSERT_TRUE(readSdpAnnouncement(message.sdp, announcement, problem)) << problem;
    EXPECT_EQ(announcement.connection, "239.1.1.1");
    EXPECT_EQ(announcement.encoding, "MP2T");

    const std::string encrypted = sapHeader(0x02, 9) + kSdp;
    EXPECT_FALSE(readSapMessage(encrypted.data(), encrypted.size(), message, problem));
    EXPECT_EQ(problem, "encrypted");
    std::string longAuthentication = sapHeader(0, 9);
    longAuthentication[1] = 40;  // 160 bytes of authentication data that are not there
    EXPECT_FALSE(readSapMessage(longAuthentication.data(), longAuthentication.size(), message, problem));
}

TEST(SapReader, PresetsOnlyForTransportStreamsOverUdpInIpv4)
{
    const auto presetOf = [](const std::string& sdp) {
        SdpAnnouncement announcement;
        std::string problem;
        FoundSource source;
        if (readSdpAnnouncement(sdp, announcement, problem))
            presetOfAnnouncement(announcement, source);
        return source;
    };
    const FoundSource group = presetOf(kSdp);
    EXPECT_EQ(group.keyword, "ts-multi");
    EXPECT_EQ(group.host, "239.1.1.1");
    EXPECT_EQ(group.port, 1234);
    // The medium's own address counts; a unicast one is received on the port alone.
    const FoundSource unicast = presetOf("s=x\r\nc=IN IP4 239.9.9.9\r\nm=video 5000 udp 33\r\nc=IN IP4 10.0.0.2\r\n");
    EXPECT_EQ(unicast.keyword, "ts-udp");
    EXPECT_EQ(unicast.host, "");
    EXPECT_THAT(presetOf("c=IN IP4 239.1.1.1\r\nm=video 5000 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n").reason,
                HasSubstr("RTP"));
    EXPECT_THAT(presetOf("c=IN IP6 ff0e::1\r\nm=video 5000 udp 33\r\n").reason, HasSubstr("IPv6"));
    // How a widely used player announces a transport stream over plain UDP.
    EXPECT_EQ(presetOf("c=IN IP4 239.1.1.1\r\nm=video 5004 udp mpeg\r\n").keyword, "ts-multi");
    EXPECT_THAT(presetOf("c=IN IP4 239.1.1.1\r\nm=video 5004 RTP/AVP 33\r\n").reason, HasSubstr("RTP"));
}

TEST(SapSessions, FollowAnnouncementDeletionAndExpiry)
{
    const auto start = SapSessions::Clock::now();
    const std::string first = sapHeader(0, 1) + kSdp;
    const std::string second = sapHeader(0, 2) + kSdp;
    const std::string deletion = sapHeader(0x04, 2) + "o=x\r\n";
    SapSessions sessions;
    sessions.take(first.data(), first.size(), "eth0", start);
    sessions.take(second.data(), second.size(), "eth0", start);
    sessions.take(first.data(), first.size(), "eth0", start + std::chrono::seconds(5));
    EXPECT_EQ(sessions.sources(start + std::chrono::seconds(6)).size(), 2u);
    sessions.take(deletion.data(), deletion.size(), "eth0", start + std::chrono::seconds(6));
    EXPECT_EQ(sessions.sources(start + std::chrono::seconds(6)).size(), 1u);
    // Ten intervals of 5 s without an announcement.
    EXPECT_TRUE(sessions.sources(start + std::chrono::seconds(56)).empty());
}

const char kProbeMatches[] =
    "<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
    "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><e:Header><w:RelatesTo>urn:uuid:1</w:RelatesTo>"
    "</e:Header><e:Body><d:ProbeMatches><d:ProbeMatch><w:EndpointReference><w:Address>urn:uuid:c</w:Address>"
    "</w:EndpointReference><d:Types>tdn:NetworkVideoTransmitter</d:Types><d:Scopes>onvif://www.onvif.org/name/"
    "Hall%20%0Acam onvif://www.onvif.org/hardware/X1</d:Scopes><d:XAddrs>http://10.0.0.7/onvif/device_service "
    "http://[fe80::1]/onvif</d:XAddrs></d:ProbeMatch></d:ProbeMatches></e:Body></e:Envelope>";

TEST(DiscoveryReply, ReadsOurMatchesOnly)
{
    const std::string reply = kProbeMatches;
    const std::vector<DeviceMatch> devices = readDiscoveryReply(reply.data(), reply.size(), "urn:uuid:1");
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].name, "Hall  cam");  // the line break is no longer one
    EXPECT_EQ(devices[0].hardware, "X1");
    EXPECT_EQ(devices[0].xaddrs.size(), 2u);
    EXPECT_FALSE(devices[0].announced);
    EXPECT_TRUE(readDiscoveryReply(reply.data(), reply.size(), "urn:uuid:2").empty());
    // A Hello relates to no Probe: anyone may send one.
    std::string hello = reply;
    hello.replace(hello.find("<d:ProbeMatches><d:ProbeMatch>"), 30, "<d:Hello>");
    hello.replace(hello.find("</d:ProbeMatch></d:ProbeMatches>"), 32, "</d:Hello>");
    const std::vector<DeviceMatch> announced = readDiscoveryReply(hello.data(), hello.size(), "urn:uuid:2");
    ASSERT_EQ(announced.size(), 1u);
    EXPECT_TRUE(announced[0].announced);
}

TEST(SoapReplies, EntitiesOfADoctypeAreNotExpanded)
{
    const std::string reply =
        "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;\">]>"
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><GetStreamUriResponse><MediaUri>"
        "<Uri>rtsp://&b;/x</Uri></MediaUri></GetStreamUriResponse></s:Body></s:Envelope>";
    std::string uri;
    ASSERT_TRUE(readStreamUri(reply, uri));
    EXPECT_EQ(uri, "rtsp://&b;/x");
    EXPECT_FALSE(readStreamUri(std::string(kMaxReply + 1, ' '), uri));
}

TEST(SoapReplies, NotAuthorizedFaultIsALoginRefusal)
{
    const std::string reply =
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><s:Fault><s:Code><s:Value>s:Sender"
        "</s:Value><s:Subcode><s:Value>ter:NotAuthorized</s:Value></s:Subcode></s:Code><s:Reason><s:Text>Sender not "
        "authorized</s:Text></s:Reason></s:Fault></s:Body></s:Envelope>";
    std::string reason;
    bool notAuthorized = false;
    ASSERT_TRUE(readFault(reply, reason, notAuthorized));
    EXPECT_TRUE(notAuthorized);
    EXPECT_EQ(reason, "Sender not authorized");
}

TEST(StreamUris, MakeRtspPresetsAtTheReachableAddress)
{
    FoundSource source;
    ASSERT_TRUE(presetOfStreamUri("rtsp://192.168.1.64:8554/Streaming/Channels/101?transport=tcp", "10.0.0.7",
                                  source));
    EXPECT_EQ(source.keyword, "rtsp-tcp");
    EXPECT_EQ(source.host, "10.0.0.7");
    EXPECT_EQ(source.port, 8554);
    EXPECT_EQ(source.streamName, "Streaming/Channels/101?transport=tcp");
    EXPECT_THAT(source.note, HasSubstr("192.168.1.64"));

    FoundSource same;
    ASSERT_TRUE(presetOfStreamUri("RTSP://10.0.0.7/live", "10.0.0.7", same));
    EXPECT_EQ(same.port, 554);
    EXPECT_EQ(same.note, "");
    // The snapshot goes to the camera's own address too; one note for both.
    FoundSource both;
    ASSERT_TRUE(presetOfStreamUri("rtsp://127.0.0.1/live", "10.0.0.7", both));
    ASSERT_TRUE(snapshotOfUri("http://admin:pw@127.0.0.1:8080/snap.jpg?size=1", "10.0.0.7", both));
    EXPECT_EQ(both.snapshotUrl, "http://10.0.0.7:8080/snap.jpg?size=1");
    EXPECT_EQ(both.note, "the camera named 127.0.0.1 in its stream and snapshot URLs; rewritten to 10.0.0.7");
    EXPECT_FALSE(snapshotOfUri("https://10.0.0.7/snap.jpg", "10.0.0.7", both));
    FoundSource refused;
    EXPECT_FALSE(presetOfStreamUri("rtsp://user:pw@10.0.0.7/live", "10.0.0.7", refused));
    EXPECT_FALSE(presetOfStreamUri("rtsp://[fe80::1]/live", "10.0.0.7", refused));
    EXPECT_FALSE(presetOfStreamUri("rtsp://10.0.0.7:70000/live", "10.0.0.7", refused));
}

}  // namespace
