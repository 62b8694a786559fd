// riverra-presets probe against sources of the tests' own on the loopback
// interface, and its readers of bytes from the network.
#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <fstream>
#include <iterator>
#include <functional>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "model/protocol_table.h"
#include "persist/config_file.h"
#include "tests/config/config_test_support.h"
#include "probe/media_timing.h"
#include "probe/mpeg_ts.h"
#include "probe/rtp_stats.h"
#include "probe/rtsp_exchange.h"
#include "probe/source_probe.h"
#include "probe/sdp_media.h"
#include "tool/presets_tool.h"

namespace {

using testing::HasSubstr;
using Json = nlohmann::json;
using Seconds = std::chrono::duration<double>;

// The whole program runs in a network namespace of its own where the system
// lets it (as root): a loopback interface with a route for multicast and
// nothing else, so that nothing a test sends can leave the machine and no
// name server can be reached.
class OwnNetwork : public testing::Environment {
public:
    static bool available() { return available_; }

    void SetUp() override
    {
        const int original = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
        if (original < 0)
            return;
        if (unshare(CLONE_NEWNET) == 0) {
            available_ = loopbackWithMulticast();
            if (!available_)
                setns(original, CLONE_NEWNET);
        }
        close(original);
    }

private:
    static bool loopbackWithMulticast()
    {
        const int control = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq loopback{};
        std::snprintf(loopback.ifr_name, sizeof loopback.ifr_name, "lo");
        bool done = ioctl(control, SIOCGIFFLAGS, &loopback) == 0;
        loopback.ifr_flags |= IFF_UP;
        done = done && ioctl(control, SIOCSIFFLAGS, &loopback) == 0;
        rtentry route{};
        char device[] = "lo";
        reinterpret_cast<sockaddr_in&>(route.rt_dst) = {AF_INET, 0, {htonl(0xE0000000)}, {}};
        reinterpret_cast<sockaddr_in&>(route.rt_genmask) = {AF_INET, 0, {htonl(0xF0000000)}, {}};
        route.rt_flags = RTF_UP;
        route.rt_dev = device;
        done = done && ioctl(control, SIOCADDRT, &route) == 0;
        close(control);
        return done;
    }

    static inline bool available_ = false;
};
const auto* const ownNetwork = testing::AddGlobalTestEnvironment(new OwnNetwork);

constexpr uint32_t kLoopback = 0x7F000001;
constexpr char kGroup[] = "239.192.10.42";

sockaddr_in addressOf(uint32_t address, uint16_t port)
{
    return {AF_INET, htons(port), {htonl(address)}, {}};
}

// A socket of the test, bound to `port` of 127.0.0.1 (0: the kernel chooses).
int boundSocket(int type, uint16_t port = 0)
{
    const int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    const sockaddr_in local = addressOf(kLoopback, port);
    EXPECT_EQ(bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local), 0);
    return fd;
}

uint16_t portOf(int fd)
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    return ntohs(local.sin_port);
}

// A port that nothing uses now.
uint16_t freePort(int type)
{
    const int fd = boundSocket(type);
    const uint16_t port = portOf(fd);
    close(fd);
    return port;
}

bool readable(int fd, int milliseconds)
{
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, milliseconds) > 0;
}

// Transport stream packets of PID 0x100 with their continuity counter from
// `first` on; the first one carries a program clock of `pcr` (90 kHz) when given.
std::string tsCells(int count, int first = 0, std::optional<uint64_t> pcr = std::nullopt)
{
    std::string cells;
    for (int cell = 0; cell < count; ++cell) {
        std::string packet = "\x47\x01";
        packet += '\0';
        if (cell == 0 && pcr) {
            packet += static_cast<char>(0x30 | ((first + cell) & 0xF));  // adaptation field and payload
            packet += "\x07\x10";
            for (int shift : {25, 17, 9, 1})
                packet += static_cast<char>(*pcr >> shift & 0xFF);
            packet += static_cast<char>((*pcr & 1) << 7 | 0x7E);
            packet += '\0';
        } else {
            packet += static_cast<char>(0x10 | ((first + cell) & 0xF));
        }
        cells += packet + std::string(188 - packet.size(), static_cast<char>(cell));
    }
    return cells;
}

// A source of the test: `act` runs on a thread of its own until it returns
// or the source is destroyed, which it checks through `stopping`.
class Source {
public:
    explicit Source(std::function<void(const std::atomic<bool>& stopping)> act)
        : thread_([this, act] { act(stopping_); })
    {
    }
    ~Source()
    {
        stopping_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// Sends `payload` to the port every 20 ms.
std::function<void(const std::atomic<bool>&)> datagrams(const char* address, uint16_t port, std::string payload)
{
    return [=](const std::atomic<bool>& stopping) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in target = addressOf(0, port);
        inet_pton(AF_INET, address, &target.sin_addr);
        while (!stopping) {
            sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        close(fd);
    };
}

int listeningSocket()
{
    const int fd = boundSocket(SOCK_STREAM);
    listen(fd, 1);
    return fd;
}

// A TCP server on 127.0.0.1 that hands its one connection to `serve`.
class Server {
public:
    explicit Server(std::function<void(int connection, const std::atomic<bool>& stopping)> serve)
        : listener_(listeningSocket()), source_([this, serve](const std::atomic<bool>& stopping) {
              while (!stopping && !readable(listener_, 20)) {
              }
              if (stopping)
                  return;
              const int connection = accept(listener_, nullptr, nullptr);
              serve(connection, stopping);
              close(connection);
          })
    {
    }
    ~Server() { close(listener_); }

    uint16_t port() const { return port_; }

private:
    int listener_;
    uint16_t port_ = portOf(listener_);
    Source source_;
};

// An RTSP server: each request's head goes to `answer`, which returns the
// response ("" for none).
Server rtspServer(std::function<std::string(const std::string& request)> answer,
                  std::vector<std::string>* requests = nullptr)
{
    return Server([=](int connection, const std::atomic<bool>& stopping) {
        std::string received;
        char buffer[4096];
        while (!stopping) {
            if (!readable(connection, 20))
                continue;
            const ssize_t count = recv(connection, buffer, sizeof buffer, 0);
            if (count <= 0)
                return;
            received.append(buffer, static_cast<size_t>(count));
            for (size_t end; (end = received.find("\r\n\r\n")) != std::string::npos; received.erase(0, end + 4)) {
                const std::string request = received.substr(0, end);
                if (requests != nullptr)
                    requests->push_back(request);
                const std::string response = answer(request);
                send(connection, response.data(), response.size(), MSG_NOSIGNAL);
            }
        }
    });
}

std::function<std::string(const std::string&)> describeAnswer(const std::string& status, const std::string& sdp = "")
{
    return [=](const std::string& request) -> std::string {
        const size_t cseqStart = request.find("CSeq:");
        const std::string cseq = request.substr(cseqStart, request.find("\r\n", cseqStart) - cseqStart);
        if (request.rfind("OPTIONS ", 0) == 0)
            return "RTSP/1.0 200 OK\r\n" + cseq + "\r\nPublic: OPTIONS, DESCRIBE\r\n\r\n";
        return "RTSP/1.0 " + status + "\r\n" + cseq + "\r\nContent-Type: application/sdp\r\nContent-Length: " +
               std::to_string(sdp.size()) + "\r\n\r\n" + sdp;
    };
}


// The line "CSeq: N" of a request, for its answer.
std::string cseqLine(const std::string& request)
{
    const size_t start = request.find("CSeq:");
    return request.substr(start, request.find("\r\n", start) - start);
}

std::string rtspAnswer(const std::string& status, const std::string& request, const std::string& headers = "")
{
    return "RTSP/1.0 " + status + "\r\n" + cseqLine(request) + "\r\n" + headers + "\r\n";
}

// An RTP packet of payload 96 in an interleaved frame of channel 0.
std::string rtpFrame(uint16_t sequence)
{
    const std::string packet = std::string{'\x80', '\x60', static_cast<char>(sequence >> 8),
                                           static_cast<char>(sequence & 0xFF)} +
                               std::string(8, '\0') + "payload";
    return std::string{'$', '\0', '\0', static_cast<char>(packet.size())} + packet;
}

// An RTSP server of the test that takes several connections at once, as the
// probe's transports do. Each head that arrives (requests, and the probe's
// answers to the server's own requests) goes to `answer`, whose bytes go
// back; while it has set `playing`, the connection gets an RTP frame every
// 20 ms, the first `pause` after it was set.
class RtspPeer {
public:
    using Answer = std::function<std::string(const std::string& head, bool& playing)>;

    explicit RtspPeer(Answer answer, std::chrono::milliseconds pause = {})
        : listener_(listeningSocket()), answer_(std::move(answer)), pause_(pause), thread_([this] { serve(); })
    {
    }
    ~RtspPeer()
    {
        stopping_ = true;
        thread_.join();
        close(listener_);
    }

    uint16_t port() const { return port_; }
    std::vector<std::string> heads() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return heads_;
    }
    // The heads that start with `start`, once they came (within a second).
    std::vector<std::string> headsStarting(const std::string& start, size_t expected) const
    {
        std::vector<std::string> found;
        for (int wait = 0; wait < 50 && found.size() < expected; ++wait) {
            if (wait > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            found.clear();
            for (const std::string& head : heads())
                if (head.rfind(start, 0) == 0)
                    found.push_back(head);
        }
        return found;
    }

private:
    struct Connection {
        int fd;
        std::string received;
        bool playing = false;
        uint16_t sequence = 0;
        std::chrono::steady_clock::time_point framesFrom;
    };

    void serve()
    {
        std::vector<Connection> connections;
        while (!stopping_) {
            std::vector<pollfd> waits = {{listener_, POLLIN, 0}};
            for (const Connection& connection : connections)
                waits.push_back({connection.fd, POLLIN, 0});
            poll(waits.data(), waits.size(), 20);
            for (size_t index = 0; index < connections.size(); ++index) {
                Connection& connection = connections[index];
                if ((waits[index + 1].revents & (POLLIN | POLLHUP)) && !take(connection)) {
                    close(connection.fd);
                    connection.fd = -1;
                } else if (connection.playing && std::chrono::steady_clock::now() >= connection.framesFrom) {
                    const std::string frame = rtpFrame(connection.sequence++);
                    send(connection.fd, frame.data(), frame.size(), MSG_NOSIGNAL);
                }
            }
            connections.erase(std::remove_if(connections.begin(), connections.end(),
                                             [](const Connection& connection) { return connection.fd < 0; }),
                              connections.end());
            if (waits[0].revents & POLLIN)
                connections.push_back({accept(listener_, nullptr, nullptr), "", false, 0, {}});
        }
        for (const Connection& connection : connections)
            close(connection.fd);
    }

    // What arrived on the connection, answered; false when it closed.
    bool take(Connection& connection)
    {
        char buffer[4096];
        const ssize_t count = recv(connection.fd, buffer, sizeof buffer, 0);
        if (count <= 0)
            return false;
        connection.received.append(buffer, static_cast<size_t>(count));
        for (size_t end; (end = connection.received.find("\r\n\r\n")) != std::string::npos;
             connection.received.erase(0, end + 4)) {
            const std::string head = connection.received.substr(0, end);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                heads_.push_back(head);
            }
            const bool wasPlaying = connection.playing;
            const std::string response = answer_(head, connection.playing);
            if (connection.playing && !wasPlaying)
                connection.framesFrom = std::chrono::steady_clock::now() + pause_;
            send(connection.fd, response.data(), response.size(), MSG_NOSIGNAL);
        }
        return true;
    }

    int listener_;
    uint16_t port_ = portOf(listener_);
    Answer answer_;
    std::chrono::milliseconds pause_;
    mutable std::mutex mutex_;
    std::vector<std::string> heads_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

const std::string kVideoSdp = "v=0\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\na=control:track1\r\n";

// OPTIONS and DESCRIBE of a video stream; "" for anything else.
std::string describedVideo(const std::string& head)
{
    if (head.rfind("OPTIONS ", 0) == 0)
        return rtspAnswer("200 OK", head);
    if (head.rfind("DESCRIBE ", 0) == 0)
        return rtspAnswer("200 OK", head,
                          "Content-Type: application/sdp\r\nContent-Length: " + std::to_string(kVideoSdp.size()) +
                              "\r\n") +
               kVideoSdp;
    return "";
}


struct WantedPreset {
    std::string name;
    std::string keyword;
    std::string host;
    int32_t port;
    std::string streamName = "live";
};

struct ProbeRun {
    int exitCode;
    std::string out;
    std::string err;
    double seconds;
    Json json() const { return Json::parse(out); }
};

class Probe : public testing::Test {
protected:
    ProbeRun probe(const std::vector<WantedPreset>& wanted, std::vector<std::string> options = {"--json"})
    {
        StreamSettingsSet presets(static_cast<int>(wanted.size()));
        for (size_t index = 0; index < wanted.size(); ++index) {
            StreamSettings& preset = presets.at(static_cast<int>(index));
            preset.setName(wanted[index].name);
            preset.selectProtocol(protocolIndexOfKeyword(wanted[index].keyword));
            preset.setHost(wanted[index].host);
            preset.setPort(wanted[index].port);
            preset.setStreamName(wanted[index].streamName);
        }
        EXPECT_TRUE(writeConfigFile(presets, directory_.file("config.dat")));
        std::vector<std::string> arguments = {"probe", (directory_.path() / "config.dat").string()};
        arguments.insert(arguments.end(), options.begin(), options.end());
        if (std::find(options.begin(), options.end(), "--seconds") == options.end())
            arguments.insert(arguments.end(), {"--seconds", "1"});
        return run(arguments);
    }

    static ProbeRun run(const std::vector<std::string>& arguments)
    {
        std::istringstream in;
        std::ostringstream out;
        std::ostringstream err;
        ToolIo io{in, out, err};
        const auto start = std::chrono::steady_clock::now();
        const int exitCode = runPresetsTool(arguments, io);
        return {exitCode, out.str(), err.str(), Seconds(std::chrono::steady_clock::now() - start).count()};
    }

    TemporaryDirectory directory_{"riverra-probe"};
};

TEST_F(Probe, RtspAnswersAreReadWithStatusAndMedia)
{
    const std::string sdp = "v=0\r\ns=Stage\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
                            "a=control:track1\r\nm=audio 0 RTP/AVP 14\r\n";
    std::vector<std::string> requests;
    // SETUP and PLAY are answered, but no RTP ever comes.
    const Server video = rtspServer(describeAnswer("200 OK", sdp), &requests);
    const Server locked = rtspServer(describeAnswer("401 Unauthorized"));
    const Server missing = rtspServer(describeAnswer("404 Not Found"));
    const Server audioOnly = rtspServer(describeAnswer("200 OK", "v=0\nm=audio 0 RTP/AVP 14\nm=application 0 RTP/AVP 107\n"));
    const ProbeRun run = probe({{"Video", "rtsp-tcp", "127.0.0.1", video.port(), "live/main stream"},
                                {"Locked", "rtsp-udp", "127.0.0.1", locked.port()},
                                {"Missing", "rtsp-multi", "127.0.0.1", missing.port()},
                                {"Audio", "rtsp-tcp", "127.0.0.1", audioOnly.port()}});
    ASSERT_EQ(run.exitCode, 1) << run.err;
    const Json found = run.json();
    ASSERT_EQ(found.size(), 4u) << run.out;
    const std::string url = "rtsp://127.0.0.1:" + std::to_string(video.port()) + "/live/main%20stream";
    EXPECT_EQ(found[0]["ok"], false);  // described, but nothing delivered
    EXPECT_EQ(found[0]["target"], url);
    EXPECT_EQ(found[0]["url"], url);
    EXPECT_EQ(found[0]["rtsp_status"], 200);
    EXPECT_EQ(found[0]["media"], Json({"video H264", "audio MPA"}));
    EXPECT_EQ(found[0]["transports"]["rtsp-tcp"]["delivered"], false) << found[0];
    EXPECT_THAT(found[0]["detail"].get<std::string>(), HasSubstr("RTSP over TCP did not arrive within"));
    EXPECT_FALSE(found[0].contains("recommended_protocol"));
    EXPECT_EQ(found[1]["ok"], false);
    EXPECT_EQ(found[1]["rtsp_status"], 401);
    EXPECT_THAT(found[1]["detail"].get<std::string>(), HasSubstr("needs a user name and password"));
    EXPECT_THAT(found[2]["detail"].get<std::string>(), HasSubstr("no such stream"));
    EXPECT_EQ(found[3]["ok"], false);
    EXPECT_THAT(found[3]["detail"].get<std::string>(),
                HasSubstr("but the description holds no video: audio MPA, application payload 107"));

    ASSERT_GE(requests.size(), 4u);
    EXPECT_EQ(requests[0].substr(0, requests[0].find("\r\n")), "OPTIONS " + url + " RTSP/1.0");
    EXPECT_THAT(requests[0], HasSubstr("\r\nCSeq: 1"));
    EXPECT_THAT(requests[1], HasSubstr("DESCRIBE " + url + " RTSP/1.0\r\nCSeq: 2\r\n"));
    EXPECT_THAT(requests[1], HasSubstr("\r\nAccept: application/sdp"));
    EXPECT_THAT(requests[1], HasSubstr("\r\nUser-Agent: riverra-presets/"));
    EXPECT_THAT(requests[2], HasSubstr("SETUP " + url + "/track1 RTSP/1.0\r\nCSeq: 3\r\n"));
    EXPECT_THAT(requests[2], HasSubstr("\r\nTransport: RTP/AVP/TCP;unicast;interleaved=0-1"));
    EXPECT_THAT(requests[3], HasSubstr("PLAY " + url + " RTSP/1.0\r\n"));
    // A Range would make a server whose viewers share one stream seek it for all of them.
    EXPECT_THAT(requests[3], testing::Not(HasSubstr("\r\nRange:")));
}

TEST_F(Probe, RtspAnswersWithBareLineFeedsAreRead)
{
    const auto lineFeeds = describeAnswer("404 Not Found");
    const Server server = rtspServer([&lineFeeds](const std::string& request) {
        std::string answer = lineFeeds(request);
        for (size_t at; (at = answer.find("\r\n")) != std::string::npos;)
            answer.erase(at, 1);
        return answer;
    });
    const Json found = probe({{"Bare", "rtsp-udp", "127.0.0.1", server.port()}}).json();
    EXPECT_EQ(found[0]["rtsp_status"], 404) << found[0];
    EXPECT_THAT(found[0]["detail"].get<std::string>(), HasSubstr("OPTIONS 200, DESCRIBE 404: no such stream"));
}

TEST_F(Probe, ASilentServerCostsNoMoreThanTheDeadline)
{
    const Server silent = rtspServer([](const std::string&) { return ""; });
    const ProbeRun run = probe({{"Silent", "rtsp-tcp", "127.0.0.1", silent.port()}}, {});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.out, HasSubstr("FAILED  connected, no answer to OPTIONS in 1 s"));
    EXPECT_GE(run.seconds, 0.9);
    EXPECT_LT(run.seconds, 1.5);
}

TEST_F(Probe, RtspMessagesAreReadAsServersSendThemAndEverySessionIsTornDown)
{
    // A blank line after the description, an answer to another request
    // before SETUP's own, and a keep-alive request of the server during PLAY.
    const RtspPeer loose([](const std::string& head, bool& playing) -> std::string {
        if (head.rfind("SETUP ", 0) == 0)
            return "RTSP/1.0 454 Session Not Found\r\nCSeq: 99\r\n\r\n" +
                   rtspAnswer("200 OK", head, "Session: 1234;timeout=60\r\nTransport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n");
        if (head.rfind("PLAY ", 0) == 0) {
            playing = true;
            return rtspAnswer("200 OK", head, "Session: 1234\r\n") +
                   "GET_PARAMETER rtsp://127.0.0.1/live RTSP/1.0\r\nCSeq: 7\r\nSession: 1234\r\n\r\n";
        }
        if (head.rfind("TEARDOWN ", 0) == 0) {
            playing = false;
            return rtspAnswer("200 OK", head);
        }
        return describedVideo(head) + (head.rfind("DESCRIBE ", 0) == 0 ? "\r\n" : "");
    });
    // Each transport gets a session that then fails: no RTP over UDP, a
    // multicast answer without a group, PLAY refused over TCP.
    int sessions = 0;
    const RtspPeer failing([&sessions](const std::string& head, bool&) -> std::string {
        if (head.rfind("SETUP ", 0) == 0)
            return rtspAnswer("200 OK", head,
                              "Session: " + std::to_string(++sessions) + "\r\nTransport: " +
                                  (head.find("multicast") != std::string::npos ? "RTP/AVP;multicast" : "RTP/AVP") +
                                  "\r\n");
        if (head.rfind("PLAY ", 0) == 0)
            return rtspAnswer(head.find("Session: 3") != std::string::npos ? "500 Internal Server Error" : "200 OK", head);
        if (head.rfind("TEARDOWN ", 0) == 0)
            return rtspAnswer("200 OK", head);
        return describedVideo(head);
    });
    const Json found = probe({{"Loose", "rtsp-tcp", "127.0.0.1", loose.port()},
                              {"Failing", "rtsp-udp", "127.0.0.1", failing.port()}},
                             {"--json", "--seconds", "2"})
                           .json();
    EXPECT_EQ(found[0]["ok"], true) << found[0];
    EXPECT_EQ(loose.headsStarting("TEARDOWN ", 1).size(), 1u);
    EXPECT_THAT(loose.heads(), testing::Contains("RTSP/1.0 200 OK\r\nCSeq: 7"));  // the keep-alive answered

    EXPECT_EQ(found[1]["ok"], false);
    EXPECT_THAT(found[1]["detail"].get<std::string>(), HasSubstr("no other transport delivers either"));
    const std::vector<std::string> teardowns = failing.headsStarting("TEARDOWN ", 3);
    ASSERT_EQ(teardowns.size(), 3u) << found[1];
    for (int session = 1; session <= 3; ++session)
        EXPECT_THAT(teardowns[session - 1], HasSubstr("\r\nSession: " + std::to_string(session)));
}

// Whether a socket is bound to the UDP port, as the system's table says.
bool udpPortInUse(uint16_t port)
{
    std::ifstream table("/proc/net/udp");
    std::string slot;
    std::string local;
    for (std::string line; std::getline(table, line);) {
        std::istringstream(line) >> slot >> local;  // "12:", "0100007F:D431"
        const size_t colon = local.find(':');
        if (colon != std::string::npos && std::strtoul(local.c_str() + colon + 1, nullptr, 16) == port)
            return true;
    }
    return false;
}

// A continuous transport stream cut into datagrams of `size` bytes, one
// every 20 ms.
std::function<void(const std::atomic<bool>&)> tsStream(uint16_t port, size_t size)
{
    return [=](const std::atomic<bool>& stopping) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const sockaddr_in target = addressOf(kLoopback, port);
        std::string stream;
        for (int counter = 0; !stopping; counter += 8) {
            stream += tsCells(8, counter);
            for (; stream.size() >= size && !stopping; stream.erase(0, size)) {
                sendto(fd, stream.data(), size, 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        close(fd);
    };
}

TEST_F(Probe, DatagramsAreCountedAndTestedForTransportStream)
{
    const uint16_t tsPort = freePort(SOCK_DGRAM);
    const uint16_t unalignedPort = freePort(SOCK_DGRAM);
    const uint16_t otherPort = freePort(SOCK_DGRAM);
    const int holder = boundSocket(SOCK_DGRAM);  // another program that receives there
    const Source ts(datagrams("127.0.0.1", tsPort, tsCells(7)));
    const Source unaligned(tsStream(unalignedPort, 1472));
    const Source other(datagrams("127.0.0.1", otherPort, "not a stream, but more than a few cells of it" + std::string(2000, '.')));
    const uint16_t strayPort = freePort(SOCK_DGRAM);
    const Source stray([strayPort](const std::atomic<bool>& stopping) {  // a stray datagram, then a stream
        while (!stopping && !udpPortInUse(strayPort))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const sockaddr_in target = addressOf(kLoopback, strayPort);
        const std::string junk(200, 'x');
        sendto(fd, junk.data(), junk.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
        close(fd);
        tsStream(strayPort, 1316)(stopping);
    });
    const ProbeRun run = probe({{"TS", "ts-udp", "", tsPort},
                                {"Unaligned", "ts-udp", "", unalignedPort},
                                {"Text", "ts-udp", "", otherPort},
                                {"Busy", "cds-udp", "", portOf(holder)},
                                {"Stray", "ts-udp", "", strayPort}});
    close(holder);
    ASSERT_EQ(run.exitCode, 1) << run.err;  // only the text fails: a busy port is no failure of its source
    const Json found = run.json();
    EXPECT_EQ(found[0]["target"], "udp port " + std::to_string(tsPort));
    EXPECT_EQ(found[0]["ok"], true);
    EXPECT_EQ(found[0]["mpeg_ts"], true);
    EXPECT_GE(found[0]["packets"].get<int>(), 10);
    EXPECT_EQ(found[0]["bytes"].get<int>(), found[0]["packets"].get<int>() * 7 * 188);
    EXPECT_EQ(found[0]["ts_packets"].get<int>(), found[0]["packets"].get<int>() * 7);
    EXPECT_EQ(found[0]["cc_errors"], found[0]["packets"].get<int>() - 1);  // each datagram starts again at 0
    EXPECT_EQ(found[1]["ok"], true) << found[1];
    EXPECT_EQ(found[1]["mpeg_ts"], true);
    EXPECT_EQ(found[1]["cc_errors"], 0);
    EXPECT_THAT(found[1]["detail"].get<std::string>(),
                HasSubstr("datagrams of 1472 bytes are not whole 188-byte packets; most receivers expect 1316 = 7 × 188"));
    EXPECT_EQ(found[2]["ok"], false);
    EXPECT_EQ(found[2]["mpeg_ts"], false);
    EXPECT_THAT(found[2]["detail"].get<std::string>(),
                HasSubstr("something arrives, but it is not MPEG-TS (" + std::to_string(found[2]["packets"].get<int>())));
    EXPECT_THAT(found[2]["detail"].get<std::string>(), HasSubstr("; 0 % of it in transport stream packets)"));
    EXPECT_EQ(found[3]["busy"], true);
    EXPECT_THAT(found[3]["busy_owner"].get<std::string>(), HasSubstr("probe_tests"));
    EXPECT_EQ(found[4]["mpeg_ts"], true) << found[4];
    EXPECT_EQ(found[4]["ok"], true);
    EXPECT_THAT(found[4]["detail"].get<std::string>(), testing::Not(HasSubstr("200 bytes")));
}

TEST_F(Probe, AJitteryStreamGetsABufferThatCoversItsDelays)
{
    // A datagram every 40 ms with its program clock; every fifth one leaves
    // 100 ms late.
    const uint16_t port = freePort(SOCK_DGRAM);
    const Source jittery([port](const std::atomic<bool>& stopping) {
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const sockaddr_in target = addressOf(kLoopback, port);
        const auto start = std::chrono::steady_clock::now();
        for (int index = 0; !stopping; ++index) {
            const auto late = std::chrono::milliseconds(index % 5 == 4 ? 100 : 0);
            std::this_thread::sleep_until(start + std::chrono::milliseconds(40 * index) + late);
            // Its clock is when it leaves, less the delay meant: a sender
            // woken late on a loaded machine adds no delay of its own.
            const auto clock = std::chrono::steady_clock::now() - start - late;
            const auto ticks = std::chrono::duration_cast<std::chrono::microseconds>(clock).count() * 90 / 1000;
            const std::string cells = tsCells(7, 7 * index, static_cast<uint64_t>(ticks));
            sendto(fd, cells.data(), cells.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target);
        }
        close(fd);
    });
    const Json found = probe({{"Jittery", "ts-udp", "", port}}, {"--json", "--seconds", "3"}).json();
    ASSERT_TRUE(found[0].contains("suggested_jitter_buffer_ms")) << found[0];
    EXPECT_GE(found[0]["suggested_jitter_buffer_ms"].get<int>(), 120);
    EXPECT_LE(found[0]["suggested_jitter_buffer_ms"].get<int>(), 160);
    EXPECT_EQ(found[0]["cc_errors"], 0);
}

TEST_F(Probe, PresetsAreProbedAtOnceExceptOnTheSamePort)
{
    std::vector<WantedPreset> silent;
    for (int index = 0; index < 20; ++index)
        silent.push_back({"Silent " + std::to_string(index), "ts-udp", "", freePort(SOCK_DGRAM)});
    silent.push_back({"Same port", "cds-udp", "", silent.back().port});
    const ProbeRun run = probe(silent, {});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.out, HasSubstr("\n0 of 21 sources OK\n"));  // none busy: the two on one port took turns
    EXPECT_GE(run.seconds, 1.9);
    EXPECT_LT(run.seconds, 3.0);
    EXPECT_LT(run.out.find("Silent 0 "), run.out.find("Silent 19 "));
}

TEST_F(Probe, StreamsArePulledAndAccepted)
{
    const Server pull([](int connection, const std::atomic<bool>&) {
        const std::string cells = tsCells(20).substr(100);  // the stream starts within a cell
        send(connection, cells.data(), cells.size(), MSG_NOSIGNAL);
    });
    const uint16_t listenPort = freePort(SOCK_STREAM);
    const Source pushing([listenPort](const std::atomic<bool>& stopping) {
        const sockaddr_in probe = addressOf(kLoopback, listenPort);
        while (!stopping) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (connect(fd, reinterpret_cast<const sockaddr*>(&probe), sizeof probe) == 0) {
                const std::string cells = tsCells(10);
                send(fd, cells.data(), cells.size(), MSG_NOSIGNAL);
                close(fd);
                return;
            }
            close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const ProbeRun run = probe({{"Pull", "ts-tcp-pull", "127.0.0.1", pull.port()}, {"Push", "ts-tcp", "", listenPort}});
    ASSERT_EQ(run.exitCode, 0) << run.out;
    const Json found = run.json();
    EXPECT_EQ(found[0]["bytes"], 20 * 188 - 100);
    EXPECT_EQ(found[0]["mpeg_ts"], true);
    EXPECT_EQ(found[1]["target"], "tcp port " + std::to_string(listenPort));
    EXPECT_EQ(found[1]["detail"], "connection from 127.0.0.1, 1880 bytes, MPEG-TS");
    EXPECT_LT(run.seconds, 1.5);  // both ended when the connection did
}

TEST_F(Probe, MisconfiguredPresetsFailAtOnceAndOffIsSkipped)
{
    const std::vector<WantedPreset> presets = {
        {"Off", "off", "", 0}, {"Unicast group", "ts-multi", "10.0.0.7", 2000}, {"No port", "ts-udp", "", 0}};
    const ProbeRun run = probe(presets, {});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.out, HasSubstr("0  Off            off       -              -       not probed"));
    EXPECT_THAT(run.out, HasSubstr("\"10.0.0.7\" is not an IPv4 multicast address"));
    EXPECT_THAT(run.out, HasSubstr("port 0 is not in 1 to 65535"));
    EXPECT_THAT(run.out, HasSubstr("\n0 of 2 sources OK\n"));
    EXPECT_LT(run.seconds, 0.5);

    const Json all = probe(presets).json();
    EXPECT_EQ(all[0]["probed"], false);  // listed, and marked
    EXPECT_TRUE(all[0]["url"].is_null());
    EXPECT_EQ(all[1]["url"], "udp://@10.0.0.7:2000");
    EXPECT_EQ(all.size(), 3u);
    const ProbeRun offOnly = probe(presets, {"--json", "--preset", "Off"});
    EXPECT_EQ(offOnly.exitCode, 1);  // asked for a check that cannot be made
    EXPECT_EQ(offOnly.json()[0]["detail"], "not probed: the protocol is off");
}

TEST_F(Probe, MulticastIsReceivedAndNamesWithoutServerDoNotResolve)
{
    if (!OwnNetwork::available())
        GTEST_SKIP() << "no network namespace of its own (unshare needs root): multicast reception and "
                        "unresolvable host names are not tested";
    const uint16_t port = freePort(SOCK_DGRAM);
    // Beside the group: unicast to its port, and another group on that port
    // that another program joined; neither may count.
    const int otherMember = boundSocket(SOCK_DGRAM, 0);
    ip_mreq other{};
    inet_pton(AF_INET, "239.192.10.43", &other.imr_multiaddr);
    ASSERT_EQ(setsockopt(otherMember, IPPROTO_IP, IP_ADD_MEMBERSHIP, &other, sizeof other), 0);
    // A player receives the group on the same port, and shares it.
    const int player = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(player, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
    const sockaddr_in playerPort = addressOf(INADDR_ANY, port);
    ASSERT_EQ(bind(player, reinterpret_cast<const sockaddr*>(&playerPort), sizeof playerPort), 0);
    ip_mreq membership{};
    inet_pton(AF_INET, kGroup, &membership.imr_multiaddr);
    ASSERT_EQ(setsockopt(player, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership), 0);
    const Source group(datagrams(kGroup, port, tsCells(7)));
    const Source unicast(datagrams("127.0.0.1", port, "unicast"));
    const Source otherGroup(datagrams("239.192.10.43", port, "other group"));
    const ProbeRun run =
        probe({{"Group", "ts-multi", kGroup, port}, {"Named", "ts-tcp-pull", "camera.invalid", 5000}});
    close(otherMember);
    EXPECT_TRUE(readable(player, 0));
    close(player);
    EXPECT_EQ(run.exitCode, 1);
    const Json found = run.json();
    EXPECT_EQ(found[0]["ok"], true) << found[0]["detail"];
    EXPECT_EQ(found[0]["mpeg_ts"], true);
    EXPECT_EQ(found[0]["bytes"].get<int>(), found[0]["packets"].get<int>() * 7 * 188);
    EXPECT_EQ(found[0]["senders"].size(), 1u) << found[0];  // the group's sender only
    EXPECT_EQ(found[0]["interfaces"][0]["name"], "lo");
    EXPECT_THAT(found[1]["detail"].get<std::string>(), HasSubstr("the host name \"camera.invalid\" does not resolve"));
}

TEST_F(Probe, CtrlCStopsAtOnce)
{
    // Ctrl+C until the probe has ended; one that comes before the probe
    // watches for it must not end the test program.
    std::signal(SIGINT, SIG_IGN);
    std::atomic<bool> ended{false};
    std::thread interrupt([&ended] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (; !ended; std::this_thread::sleep_for(std::chrono::milliseconds(100)))
            kill(getpid(), SIGINT);
    });
    const ProbeRun run = probe({{"Waiting", "ts-udp", "", freePort(SOCK_DGRAM)}}, {"--seconds", "30", "--json"});
    ended = true;
    interrupt.join();
    std::signal(SIGINT, SIG_DFL);
    EXPECT_EQ(run.exitCode, 130);
    EXPECT_THAT(run.err, HasSubstr("stopped by Ctrl+C"));
    EXPECT_EQ(run.json(), Json::array());
    EXPECT_LT(run.seconds, 1.0);
}

TEST_F(Probe, RtpOverTcpIsReceivedToTheDeadlineOnceTheFirstPacketCame)
{
    // The first packet comes with PLAY's answer, the next ones only after
    // the time a transport gets for its first packet has passed.
    const RtspPeer pausing(
        [](const std::string& head, bool& playing) -> std::string {
            if (head.rfind("SETUP ", 0) == 0)
                return rtspAnswer("200 OK", head, "Session: 5\r\nTransport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n");
            if (head.rfind("PLAY ", 0) == 0) {
                playing = true;
                return rtspAnswer("200 OK", head, "Session: 5\r\n") + rtpFrame(0);
            }
            if (head.rfind("TEARDOWN ", 0) == 0)
                return rtspAnswer("200 OK", head);
            return describedVideo(head);
        },
        std::chrono::milliseconds(1200));
    const Json found = probe({{"Pausing", "rtsp-tcp", "127.0.0.1", pausing.port()}}, {"--json", "--seconds", "2"}).json();
    EXPECT_EQ(found[0]["ok"], true) << found[0];
    EXPECT_GT(found[0].value("packets", 0), 5) << found[0];
}

TEST(ProbeLibrary, ACancelFromAnotherThreadEndsEveryWaitAtOnce)
{
    const Server silent = rtspServer([](const std::string&) { return ""; });
    const SourceEndpoint sources[] = {{"ts-udp", "", freePort(SOCK_DGRAM), ""},
                                      {"rtsp-tcp", "127.0.0.1", silent.port(), "live"}};
    for (const SourceEndpoint& source : sources) {
        CancelToken cancel;
        std::vector<std::string> news;
        std::chrono::steady_clock::time_point cancelled;
        std::thread canceller([&cancel, &cancelled] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cancelled = std::chrono::steady_clock::now();
            cancel.cancel();
        });
        const ProbeReport report = probeSource(source, std::chrono::seconds(30), cancel,
                                               [&news](const std::string& text) { news.push_back(text); });
        const auto ended = std::chrono::steady_clock::now();
        canceller.join();
        // From the cancel on, not from the start: a loaded machine may wake
        // the canceller late. A wait looks at the cancel every 0.1 s; the rest
        // is for a loaded machine to run the probe's thread again.
        EXPECT_EQ(report.verdict, ProbeVerdict::stopped) << verdictSentence(report);
        EXPECT_LT(Seconds(ended - cancelled).count(), 0.25);
        ASSERT_FALSE(news.empty());
        EXPECT_THAT(news.back(), testing::AnyOf(HasSubstr("receiving on udp port"), HasSubstr("connected, OPTIONS")));
    }
}

TEST(ProbeLibrary, AStopEndsTheSessionAndIsNeverAFailure)
{
    // While RTP arrives over TCP: the session is torn down all the same.
    const RtspPeer streaming([](const std::string& head, bool& playing) -> std::string {
        if (head.rfind("SETUP ", 0) == 0)
            return rtspAnswer("200 OK", head, "Session: 77\r\nTransport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n");
        if (head.rfind("PLAY ", 0) == 0 || head.rfind("TEARDOWN ", 0) == 0) {
            playing = head[0] == 'P';
            return rtspAnswer("200 OK", head);
        }
        return describedVideo(head);
    });
    CancelToken cancel;
    std::thread canceller([&cancel] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        cancel.cancel();
    });
    ProbeReport report = probeSource({"rtsp-tcp", "127.0.0.1", streaming.port(), "live"}, std::chrono::seconds(30), cancel);
    canceller.join();
    EXPECT_EQ(report.verdict, ProbeVerdict::stopped) << verdictSentence(report);
    EXPECT_EQ(streaming.headsStarting("TEARDOWN ", 1).size(), 1u);

    // Between two transports: the stop comes while the first one is torn down.
    CancelToken between;
    const RtspPeer silent([&between](const std::string& head, bool&) -> std::string {
        if (head.rfind("SETUP ", 0) == 0)
            return rtspAnswer("200 OK", head, "Session: 78\r\nTransport: RTP/AVP\r\n");
        if (head.rfind("TEARDOWN ", 0) == 0)
            between.cancel();
        return head.rfind("PLAY ", 0) == 0 || head.rfind("TEARDOWN ", 0) == 0 ? rtspAnswer("200 OK", head)
                                                                               : describedVideo(head);
    });
    report = probeSource({"rtsp-udp", "127.0.0.1", silent.port(), "live"}, std::chrono::seconds(1), between);
    EXPECT_EQ(report.verdict, ProbeVerdict::stopped) << verdictSentence(report);
}

TEST_F(Probe, UsageAndUnreadableConfigHaveTheirExitCodes)
{
    EXPECT_EQ(probe({{"One", "ts-udp", "", 9710}}, {"--seconds", "31"}).exitCode, 2);
    EXPECT_EQ(probe({{"One", "ts-udp", "", 9710}}, {"--preset", "Two"}).exitCode, 2);
    EXPECT_EQ(run({"probe", (directory_.path() / "missing.dat").string()}).exitCode, 3);
}

TEST(RtspResponse, OddAnswersAreRefusedOrAwaitedSafely)
{
    const std::string ok = "RTSP/1.0 200 OK\r\nCSeq: 2\r\ncontent-length: 5\r\n\r\nv=0\r\nRTSP/1.0 ";
    RtspResponse response;
    size_t used = 0;
    std::string problem;
    ASSERT_EQ(parseRtspResponse(ok, response, used, problem), RtspParse::complete);
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(response.content, "v=0\r\n");
    EXPECT_EQ(used, ok.size() - 9);  // the next response's start stays
    for (size_t cut = 0; cut < used; ++cut)
        EXPECT_EQ(parseRtspResponse(ok.substr(0, cut), response, used, problem), RtspParse::incomplete) << cut;

    const struct {
        std::string received;
        std::string problem;
    } refused[] = {
        {"HTTP/1.1 400 Bad Request\r\n", "not RTSP (an HTTP answer: \"HTTP/1.1 400 Bad Request\")"},
        {std::string("\x16\x03\x01\0\xff", 5), "not RTSP (binary data)"},
        {tsCells(4), "not RTSP (looks like MPEG-TS)"},
        {"RTSP/1.0 20\r\n\r\n", "not RTSP"},
        {"RTSP/1.0 200 OK\r\nContent-Length: 18446744073709551617\r\n\r\n", "\"18446744073709551617\" bytes"},
        {"RTSP/1.0 200 OK\r\nContent-Length: -5\r\n\r\n", "\"-5\" bytes"},
        {"RTSP/1.0 200 OK\r\nContent-Length: 65537\r\n\r\n", "reads up to 65536"},
        {"RTSP/1.0 200 OK\r\nX: " + std::string(20000, 'x'), "longer than 16384 bytes"},
    };
    for (const auto& answer : refused) {
        SCOPED_TRACE(answer.problem);
        EXPECT_EQ(parseRtspResponse(answer.received, response, used, problem), RtspParse::invalid);
        EXPECT_THAT(problem, HasSubstr(answer.problem));
    }
}

TEST(SdpMedia, CodecsComeFromRtpmapOrTheFixedPayloadTypes)
{
    std::string sdp = "v=0\nm=video 0 RTP/AVP 33\nm=video 0 RTP/AVP 96 97\na=rtpmap:97 H264/90000\n"
                      "a=rtpmap:96 H265/90000\nm=audio 0 RTP/AVP 98\nm=vid\"eo 0 RTP/AVP 99\na=rtpmap:99 <b>\n";
    EXPECT_EQ(sdpMedia(sdp),
              std::vector<std::string>({"video MP2T", "video H265", "audio payload 98", "vid?eo ?b?"}));
    for (int more = 0; more < 20; ++more)
        sdp += "m=video\n";
    EXPECT_EQ(sdpMedia(sdp).size(), 16u);
}

TEST(RtspResponse, ControlUrlsResolveAgainstTheBase)
{
    const std::string base = "rtsp://10.0.0.1:554/live/main/";
    EXPECT_EQ(controlUrl(base, "track1"), base + "track1");
    EXPECT_EQ(controlUrl(base, "*"), base);
    EXPECT_EQ(controlUrl(base, "/other/track2"), "rtsp://10.0.0.1:554/other/track2");
    EXPECT_EQ(controlUrl(base, "rtsp://10.0.0.2/x"), "rtsp://10.0.0.2/x");
    EXPECT_EQ(parseSdp("m=video 0 RTP/AVP 96\na=control:track 1\r\n").media[0].control, "");  // no spaces in a request line
}

TEST(TransportStream, ProgramsTellTheStreamsAndTheClock)
{
    // PAT, PMT of H.264, AAC and AC-3 (by its descriptor), a PCR: the fuzzer's seed.
    std::ifstream seed(RIVERRA_PROBE_CORPUS "/ts_pat_pmt_pcr", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(seed)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 1 + 4 * 188u);
    TsAnalyzer analyzer;
    analyzer.add(bytes.data() + 1, 300);
    analyzer.add(bytes.data() + 301, bytes.size() - 301);
    EXPECT_EQ(analyzer.packets(), 4u);
    EXPECT_EQ(analyzer.media(), std::vector<std::string>({"video H264", "audio AAC", "audio AC-3"}));
    EXPECT_EQ(analyzer.continuityErrors(), 0u);
}

TEST(JitterBuffer, SuggestedFromTwoSecondsOfTransitTimes)
{
    TransitJitter transit;
    for (int packet = 0; packet < 50; ++packet)  // 40 ms apart, every tenth 57 ms late
        transit.add(packet * 0.04, 5 + packet * 0.04 + (packet % 10 == 4 ? 0.057 : 0));
    EXPECT_FALSE(transit.suggestedBufferMs());  // 1.96 s measured
    transit.add(50 * 0.04, 5 + 50 * 0.04);
    EXPECT_EQ(transit.suggestedBufferMs(), 80);  // 57 + 20, rounded up to 10
    transit.add(51 * 0.04, 5 + 51 * 0.04 + 9);
    EXPECT_EQ(transit.suggestedBufferMs(), 4000);  // at most
}

TEST(Rtp, LostPacketsAndJitterFollowTheSequence)
{
    RtpStats stats;
    auto packet = [](uint16_t sequence, uint32_t timestamp) {
        std::string bytes = {'\x80', '\x60', static_cast<char>(sequence >> 8), static_cast<char>(sequence & 0xFF)};
        for (int shift : {24, 16, 8, 0})
            bytes += static_cast<char>(timestamp >> shift & 0xFF);
        return bytes + "SSRC" + "payload";
    };
    double arrival = 0;
    for (uint16_t sequence : {65533, 65534, 65535, 1, 2, 4}) {  // 0 and 3 lost, over the wrap
        const std::string bytes = packet(sequence, static_cast<uint32_t>(sequence) * 3600);
        EXPECT_TRUE(stats.add(bytes.data(), bytes.size(), arrival += 0.04));
    }
    EXPECT_EQ(stats.lost(), 2u);
    EXPECT_EQ(stats.payloadType(), 96);
    EXPECT_FALSE(stats.add("\x40\x60", 2, arrival));  // not version 2
}

TEST(TransportStream, CellsAreFoundFromAnyOffsetButNotByChance)
{
    const std::string cells = tsCells(8);
    const struct {
        std::string stream;
        bool isTs;
    } streams[] = {
        {cells, true},
        {cells.substr(187), true},
        {cells.substr(0, 2 * 188), false},  // two sync bytes could be chance
        {std::string(2000, 'x'), false},
        {std::string(200, 'x') + cells, true},                            // found again after a stray datagram
        {cells.substr(0, 3 * 188) + "x" + cells.substr(3 * 188 + 1), true},  // and after a lost sync byte
        {cells.substr(0, 3 * 188) + std::string(1000, 'x'), false},        // the bulk is not a stream
    };
    for (const auto& entry : streams) {
        TsAnalyzer check;
        for (size_t position = 0; position < entry.stream.size(); position += 100)
            check.add(entry.stream.data() + position, std::min<size_t>(100, entry.stream.size() - position));
        EXPECT_EQ(check.isTs(), entry.isTs) << entry.stream.size();
    }
}

}  // namespace
