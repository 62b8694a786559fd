#include "probe/source_probe.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "model/protocol_table.h"
#include "model/text_conversion.h"
#include "probe/mpeg_ts.h"
#include "probe/net_socket.h"
#include "probe/rtp_stats.h"
#include "probe/rtsp_exchange.h"
#include "probe/sdp_media.h"

namespace {

// The largest datagram, and a generous read of a stream.
constexpr size_t kReceiveBytes = 65536;
constexpr size_t kTsPacketSize = 188;
constexpr size_t kMaxSenders = 8;
// How long a transport of RTSP gets to deliver its first packet at most.
constexpr auto kTransportTrial = std::chrono::seconds(2);
constexpr auto kShortestTrial = std::chrono::milliseconds(500);
// TEARDOWN has a time of its own, which neither the probe's deadline nor a
// stop cuts short.
constexpr auto kTeardownTime = std::chrono::milliseconds(500);
const char* const kRtspTransports[] = {"rtsp-udp", "rtsp-multi", "rtsp-tcp"};

std::string joined(const std::vector<std::string>& texts, const char* separator = ", ")
{
    std::string result;
    for (const std::string& text : texts)
        result += (result.empty() ? "" : separator) + text;
    return result;
}

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string secondsText(Clock::duration duration)
{
    const double seconds = std::chrono::duration<double>(duration).count();
    const long tenths = std::lround(seconds * 10);
    return std::to_string(tenths / 10) + (tenths % 10 != 0 ? "." + std::to_string(tenths % 10) : "") + " s";
}

// "lo (127.0.0.1), eth1 (10.1.0.5)"
std::string interfaceList(const std::vector<LocalInterface>& interfaces)
{
    std::vector<std::string> names;
    for (const LocalInterface& each : interfaces)
        names.push_back(interfaceText(each));
    return names.empty() ? "no interface" : joined(names);
}

std::string displayName(const std::string& keyword)
{
    return protocolDisplayName(protocolIndexOfKeyword(keyword));
}

// How an RTSP transport is named where it failed to arrive.
std::string transportPhrase(const std::string& keyword)
{
    return keyword == "rtsp-udp" ? "RTP over UDP" : keyword == "rtsp-multi" ? "RTP over multicast" : "RTSP over TCP";
}

// The "name=value" parameter of a Transport header, or "".
std::string transportParameter(const std::string& transport, const std::string& name)
{
    size_t start = 0;
    while (start <= transport.size()) {
        const size_t end = std::min(transport.find(';', start), transport.size());
        const std::string part = transport.substr(start, end - start);
        if (part.compare(0, name.size() + 1, name + "=") == 0)
            return part.substr(name.size() + 1);
        start = end + 1;
    }
    return "";
}

// What arrives on one receiver: counted, and read as transport stream or RTP.
struct Reception {
    explicit Reception(Clock::time_point start) : start_(start) {}

    void addTs(const char* bytes, size_t count)
    {
        const double arrival = secondsSince(start_);
        noteArrival(count, arrival);
        ts.add(bytes, count, arrival);
        if (count % kTsPacketSize != 0)
            ++unalignedSizes[count];
    }
    bool addRtp(const char* bytes, size_t count)
    {
        const double arrival = secondsSince(start_);
        if (!rtp.add(bytes, count, arrival))
            return false;
        noteArrival(count, arrival);
        return true;
    }
    std::optional<double> bitrateKbps() const
    {
        if (lastArrival - firstArrival < 0.5)
            return std::nullopt;
        return std::round(static_cast<double>(bytes) * 8 / (lastArrival - firstArrival) / 100) / 10;
    }

    uint64_t packets = 0;
    uint64_t bytes = 0;
    // The sizes of datagrams that are no whole number of TS packets, and how often each came.
    std::map<size_t, uint64_t> unalignedSizes;
    TsAnalyzer ts;
    RtpStats rtp;

private:
    void noteArrival(size_t count, double arrival)
    {
        if (packets == 0)
            firstArrival = arrival;
        lastArrival = arrival;
        ++packets;
        bytes += count;
    }

    Clock::time_point start_;
    double firstArrival = 0;
    double lastArrival = 0;
};

class SourceProbe {
public:
    SourceProbe(const SourceEndpoint& source, std::chrono::milliseconds duration, const CancelToken& cancel,
                const ProbeProgress& progress)
        : source_(source),
          port_(static_cast<uint16_t>(source.port)),
          duration_(duration),
          start_(Clock::now()),
          limit_{start_ + duration, &cancel},
          progress_(progress)
    {
        report_.target = sourceTarget(source);
    }

    ProbeReport run()
    {
        const std::string& keyword = source_.keyword;
        std::string problem;
        if (source_.port < 1 || source_.port > 65535)
            fail("configuration error: port " + std::to_string(source_.port) + " is not in 1 to 65535");
        else if (!startNetworking(problem))
            fail(problem);
        else if (keyword == "ts-udp" || keyword == "cds-udp")
            receiveDatagrams(0);
        else if (keyword == "ts-multi" || keyword == "cds-multi")
            receiveGroup();
        else if (keyword == "ts-tcp")
            awaitConnection();
        else
            connectToSource();
        // Whatever failed once a stop was asked for may have failed by it.
        if (report_.verdict == ProbeVerdict::failed && limit_.cancel->cancelled())
            report_.verdict = ProbeVerdict::stopped;
        return report_;
    }

private:
    void tell(const std::string& news) const
    {
        if (progress_)
            progress_(news);
    }
    void fail(const std::string& detail)
    {
        report_.verdict = ProbeVerdict::failed;
        report_.detail = detail;
    }

    void receiveGroup()
    {
        uint32_t group = 0;
        if (parseIpv4(source_.host, group) && isMulticastAddress(group))
            receiveDatagrams(group);
        else
            fail("configuration error: \"" + source_.host +
                 "\" is not an IPv4 multicast address (224.0.0.0 to 239.255.255.255)");
    }

    // ts-udp, ts-multi, cds-udp, cds-multi: what arrives until the deadline.
    // Of a group, only datagrams sent to the group count.
    void receiveDatagrams(uint32_t group)
    {
        Socket socket;
        NetResult result = Socket::udpReceiver(port_, group != 0 ? PortUse::group : PortUse::exclusive, socket);
        if (!tookPort(result, false, "receives on"))
            return;
        std::vector<LocalInterface> joinedOn;
        if (group != 0 && !(result = joinEverywhere(socket, group, joinedOn)).ok()) {
            fail("cannot join group " + addressText(group) + ": " + result.problem);
            return;
        }
        tell(group != 0 ? "receiving from " + addressText(group) + "…" : "receiving on udp port " + std::to_string(port_) + "…");
        Reception reception(start_);
        std::set<uint32_t> senders;
        std::map<unsigned, uint64_t> perInterface;
        std::vector<char> buffer(kReceiveBytes);
        Datagram datagram;
        while ((result = socket.receiveDatagram(buffer.data(), buffer.size(), limit_, datagram)).ok()) {
            if (!sentTo(datagram, group))
                continue;
            if (senders.size() < kMaxSenders)
                senders.insert(datagram.sender);
            ++perInterface[datagram.interfaceIndex];
            reception.addTs(buffer.data(), datagram.size);
        }
        if (result.status != NetStatus::timedOut) {
            settle(result, "", "receiving failed: ");
            return;
        }
        report_.packets = reception.packets;
        report_.bytes = reception.bytes;
        for (uint32_t sender : senders)
            report_.senders.push_back(addressText(sender));
        if (group != 0)
            reportInterfaces(group, joinedOn, perInterface);
        if (reception.packets == 0) {
            fail(group != 0 ? "nothing arrived " + withinTime() + "; joined " + addressText(group) + " on " +
                                  interfaceList(joinedOn) + ": check the sender's group and port (" +
                                  addressText(group) + ":" + std::to_string(port_) +
                                  ") and whether a firewall on this machine drops udp port " + std::to_string(port_)
                            : "nothing arrived " + withinTime() + ": check that the sender sends to udp port " +
                                  std::to_string(port_) + " of this machine (" + interfaceList(localInterfaces()) +
                                  ") and whether a firewall on this machine drops it");
            return;
        }
        report_.verdict = ProbeVerdict::ok;
        report_.detail = counted(reception.packets, "packet") + ", " + counted(reception.bytes, "byte");
        report_.bitrateKbps = reception.bitrateKbps();
        if (carriesTs())
            judgeTs(reception);
        if (group != 0 && senders.size() > 1)
            report_.advice.push_back(std::to_string(senders.size()) + " senders send to " + addressText(group) + ": " +
                                     joined(report_.senders) + "; a receiver mixes their packets");
    }

    // Joins the group on every interface that is up, or lets the system
    // choose when none takes it.
    static NetResult joinEverywhere(Socket& socket, uint32_t group, std::vector<LocalInterface>& joinedOn)
    {
        for (const LocalInterface& local : localInterfaces()) {
            if (socket.join(group, local.address).ok())
                joinedOn.push_back(local);
        }
        return joinedOn.empty() ? socket.join(group, 0) : NetResult{};
    }

    // Whether a datagram counts: sent to the group, or for a unicast port
    // (group 0) to no group. Systems that do not tell the destination count all.
    static bool sentTo(const Datagram& datagram, uint32_t group)
    {
        if (datagram.destination == 0)
            return true;
        return group != 0 ? datagram.destination == group : !isMulticastAddress(datagram.destination);
    }

    void reportInterfaces(uint32_t group, const std::vector<LocalInterface>& joinedOn,
                          const std::map<unsigned, uint64_t>& perInterface)
    {
        uint32_t chosen = 0;
        const LocalInterface* systemChoice = nullptr;
        if (Socket::routeSource(group, port_, chosen).ok()) {
            for (const LocalInterface& local : joinedOn) {
                if (local.address == chosen)
                    systemChoice = &local;
            }
            report_.systemChoice = addressText(chosen);
        }
        std::vector<std::string> arrivals;
        bool onChoice = false;
        for (const LocalInterface& local : joinedOn) {
            const auto count = perInterface.find(local.index);
            if (count == perInterface.end())
                continue;
            report_.interfaces.push_back({addressText(local.address), local.name, count->second});
            arrivals.push_back(addressText(local.address) + " (" + local.name + ")");
            onChoice = onChoice || &local == systemChoice;
        }
        if (systemChoice == nullptr || arrivals.empty() || onChoice)
            return;
        const InterfaceReceipt& arrival = report_.interfaces.front();
        report_.advice.push_back("arrives on " + joined(arrivals) + " only; the system joins on " +
                                 addressText(systemChoice->address) + " (" + systemChoice->name +
                                 ") by default: give " + arrival.name +
                                 " the lower interface metric, or add a route for the group");
    }

    // The transport stream's findings; data that is not one fails a ts- preset.
    void judgeTs(const Reception& reception)
    {
        const TsAnalyzer& ts = reception.ts;
        report_.mpegTs = ts.isTs();
        if (!ts.isTs()) {
            fail("something arrives, but it is not MPEG-TS (" + report_.detail + "; " +
                 std::to_string(ts.packetPercent()) + " % of it in transport stream packets)");
            return;
        }
        report_.tsPackets = ts.packets();
        report_.ccErrors = ts.continuityErrors();
        const std::vector<std::string> media = ts.media();
        if (!media.empty())
            report_.media = media;
        report_.detail += ", MPEG-TS" + (media.empty() ? std::string() : ": " + joined(media));
        if (ts.continuityErrors() > 0)
            report_.detail += ", " + counted(ts.continuityErrors(), "continuity error");
        const auto commonest = std::max_element(
            reception.unalignedSizes.begin(), reception.unalignedSizes.end(),
            [](const auto& one, const auto& other) { return one.second < other.second; });
        // A stray datagram is no habit of the sender.
        if (commonest != reception.unalignedSizes.end() && commonest->second * 10 >= reception.packets)
            report_.advice.push_back("datagrams of " + std::to_string(commonest->first) +
                                     " bytes are not whole 188-byte packets; most receivers expect 1316 = 7 × 188");
        suggestBuffer(ts.transit());
    }

    void suggestBuffer(const TransitJitter& transit)
    {
        report_.suggestedJitterBufferMs = transit.suggestedBufferMs();
        if (report_.suggestedJitterBufferMs)
            report_.advice.push_back("suggested jitter buffer: " + std::to_string(*report_.suggestedJitterBufferMs) +
                                     " ms");
    }

    // ts-tcp: the source connects to this machine.
    void awaitConnection()
    {
        Socket listener;
        NetResult result = Socket::tcpListener(port_, listener);
        if (!tookPort(result, true, "listens on"))
            return;
        tell("waiting for a connection on tcp port " + std::to_string(port_) + "…");
        Socket connection;
        uint32_t peer = 0;
        result = listener.accept(limit_, connection, peer);
        if (!result.ok()) {
            settle(result,
                   "no connection came " + withinTime() + ": check that the sender connects to tcp port " +
                       std::to_string(port_) + " of this machine (" + interfaceList(localInterfaces()) +
                       ") and whether a firewall on this machine blocks it",
                   "accepting failed: ");
            return;
        }
        readStream(connection, "connection from " + addressText(peer) + ", ");
    }

    // The host's address, and a connection to it; false, with the reason
    // reported, when there is none.
    bool connect(Socket& socket, uint32_t& address)
    {
        if (source_.host.empty()) {
            fail("configuration error: no host given");
            return false;
        }
        const std::string host = "the host name \"" + source_.host + "\"";
        tell("resolving " + source_.host + "…");
        NetResult result = resolveIpv4(source_.host, limit_, address);
        if (!result.ok()) {
            settle(result, host + " did not resolve " + withinTime(), host + " does not resolve: ");
            return false;
        }
        tell("connecting to " + addressText(address) + ":" + std::to_string(port_) + "…");
        result = Socket::tcpConnection(address, port_, limit_, socket);
        if (result.status == NetStatus::refused) {
            fail("connection refused: nothing listens on port " + std::to_string(port_) + " of " +
                 addressText(address));
            return false;
        }
        if (!result.ok()) {
            settle(result,
                   "no connection " + withinTime() + ": check the address " + addressText(address) + " and port " +
                       std::to_string(port_) + ", and whether a firewall on the way drops the connection",
                   "cannot connect: ");
            return false;
        }
        return true;
    }

    // ts-tcp-pull and the RTSP protocols: this machine connects to the source.
    void connectToSource()
    {
        Socket socket;
        if (!connect(socket, address_))
            return;
        if (isRtspKeyword(source_.keyword))
            describeStream(socket);
        else
            readStream(socket, "connected, ");
    }

    // ts-tcp, ts-tcp-pull: what the connection carries until it ends or the deadline.
    void readStream(Socket& socket, const std::string& opening)
    {
        tell(opening + "receiving…");
        Reception reception(start_);
        std::vector<char> buffer(kReceiveBytes);
        size_t received = 0;
        NetResult result;
        while ((result = socket.receive(buffer.data(), buffer.size(), limit_, received)).ok())
            reception.addTs(buffer.data(), received);
        if (result.status == NetStatus::stopped) {
            report_.verdict = ProbeVerdict::stopped;
            return;
        }
        report_.bytes = reception.bytes;
        if (reception.bytes > 0) {
            report_.verdict = ProbeVerdict::ok;
            report_.detail = opening + counted(reception.bytes, "byte");
            report_.bitrateKbps = reception.bitrateKbps();
            judgeTs(reception);
        } else if (result.status == NetStatus::closed) {
            fail(opening + "closed without sending anything");
        } else {
            fail(opening + "nothing arrived " + withinTime());
        }
        if (result.status == NetStatus::failed)
            report_.detail += ", then: " + result.problem;
    }

    // rtsp-udp, rtsp-multi, rtsp-tcp: OPTIONS, DESCRIBE of the stream, then
    // its first video medium through each transport until one delivers.
    void describeStream(Socket& socket)
    {
        const std::string url = report_.target;
        RtspConnection connection(socket);
        RtspResponse options;
        tell("connected, OPTIONS…");
        NetResult result = connection.exchange({"OPTIONS", url, ""}, limit_, options);
        if (!result.ok()) {
            settle(result, "connected, no answer to OPTIONS " + withinTime(), "OPTIONS: ");
            return;
        }
        const std::string said = "OPTIONS " + std::to_string(options.status) + ", ";
        RtspResponse describe;
        tell("connected, DESCRIBE…");
        result = connection.exchange({"DESCRIBE", url, ""}, limit_, describe);
        if (!result.ok()) {
            settle(result, said + "no answer to DESCRIBE " + withinTime(), said + "DESCRIBE: ");
            return;
        }
        report_.rtspStatus = describe.status;
        std::string detail = said + "DESCRIBE " + std::to_string(describe.status);
        if (describe.status == 401)
            return fail(detail + ": needs a user name and password");
        if (describe.status == 404)
            return fail(detail + ": no such stream");
        if (describe.status != 200)
            return fail(detail + (describe.reason.empty() ? "" : " " + describe.reason));
        const SessionDescription session = parseSdp(describe.content);
        std::vector<std::string> names;
        const SdpMedium* video = nullptr;
        for (const SdpMedium& medium : session.media) {
            names.push_back(medium.name());
            if (video == nullptr && medium.carriesVideo())
                video = &medium;
        }
        report_.media = names;
        if (names.empty())
            return fail(detail + ", but no media described");
        if (video == nullptr)
            return fail(detail + ", but the description holds no video: " + joined(names));
        report_.detail = detail + ": " + joined(names);

        std::string base = describe.header("Content-Base");
        if (base.empty())
            base = url;
        sessionUrl_ = controlUrl(base, session.control);
        tryTransports(connection, controlUrl(sessionUrl_, video->control));
    }

    // The preset's own transport first, then the other two while it delivers
    // nothing, each on a connection of its own.
    void tryTransports(RtspConnection& first, const std::string& mediumUrl)
    {
        std::vector<std::string> order = {source_.keyword};
        for (const char* keyword : kRtspTransports) {
            if (keyword != source_.keyword)
                order.push_back(keyword);
        }
        for (size_t index = 0; index < order.size(); ++index) {
            Socket fresh;
            if (index > 0) {
                const NetResult connected = Socket::tcpConnection(address_, port_, limit_, fresh);
                settleStop(connected);
                if (!connected.ok())
                    break;
            }
            RtspConnection freshConnection(fresh);
            const Clock::duration left = limit_.deadline - Clock::now();
            const Clock::duration trial =
                index == 0 ? std::min<Clock::duration>(kTransportTrial, left / 2)
                           : std::max<Clock::duration>(kShortestTrial, left / static_cast<long>(order.size() - index));
            TransportTrial tried = tryTransport(index == 0 ? first : freshConnection, order[index], mediumUrl, trial);
            report_.transports.push_back(tried);
            if (stopped() || tried.delivered)
                break;
        }
        if (!stopped())
            judgeTransports();
    }

    TransportTrial tryTransport(RtspConnection& connection, const std::string& keyword, const std::string& mediumUrl,
                                Clock::duration trial)
    {
        TransportTrial tried{keyword, false, ""};
        Socket rtpSocket;
        Socket rtcpSocket;
        std::string transport;
        if (keyword == "rtsp-udp") {
            if (!Socket::udpReceiver(0, PortUse::exclusive, rtpSocket).ok() ||
                !Socket::udpReceiver(0, PortUse::exclusive, rtcpSocket).ok()) {
                tried.detail = "no local UDP port for RTP";
                return tried;
            }
            transport = "RTP/AVP;unicast;client_port=" + std::to_string(rtpSocket.localPort()) + "-" +
                        std::to_string(rtcpSocket.localPort());
        } else if (keyword == "rtsp-multi") {
            transport = "RTP/AVP;multicast";
        } else {
            transport = "RTP/AVP/TCP;unicast;interleaved=0-1";
        }
        tell("SETUP " + displayName(keyword) + "…");
        RtspResponse setup;
        const NetResult result = connection.exchange({"SETUP", mediumUrl, "Transport: " + transport + "\r\n"}, limit_,
                                                     setup);
        if (!result.ok()) {
            tried.detail = result.status == NetStatus::timedOut ? "no answer to SETUP" : "SETUP: " + result.problem;
            settleStop(result);
            return tried;
        }
        if (setup.status == 461) {
            tried.detail = "the server does not offer it (SETUP 461)";
            return tried;
        }
        if (setup.status != 200) {
            tried.detail = "SETUP " + std::to_string(setup.status) + " " + setup.reason;
            return tried;
        }
        const std::string session = setup.header("Session").substr(0, setup.header("Session").find(';'));
        const std::string sessionLine = session.empty() ? "" : "Session: " + session + "\r\n";
        playAndReceive(connection, keyword, setup.header("Transport"), sessionLine, rtpSocket, trial, tried);
        // A session left open would hold the camera's stream, and one of its
        // few sessions, until its timeout.
        if (!session.empty()) {
            RtspResponse ignored;
            connection.exchange({"TEARDOWN", sessionUrl_, sessionLine}, {Clock::now() + kTeardownTime, nullptr},
                                ignored);
        }
        return tried;
    }

    // PLAY of a session that SETUP made, and what arrives of it.
    void playAndReceive(RtspConnection& connection, const std::string& keyword, const std::string& transport,
                        const std::string& sessionLine, Socket& rtpSocket, Clock::duration trial, TransportTrial& tried)
    {
        uint32_t group = 0;
        if (keyword == "rtsp-multi" && !multicastReceiver(transport, rtpSocket, group, tried.detail))
            return;
        // No Range: without one a live stream plays on from where it is, all
        // that a probe needs. A Range asks for a seek, which a server whose
        // viewers share one stream (the renderer's among them) makes for all
        // of them: the stream restarts, and under load it stalls for seconds.
        RtspResponse play;
        tell("PLAY " + displayName(keyword) + "…");
        const NetResult result = connection.exchange({"PLAY", sessionUrl_, sessionLine}, limit_, play);
        if (!result.ok() || play.status != 200) {
            tried.detail = result.ok() ? "PLAY " + std::to_string(play.status) + " " + play.reason : "PLAY: no answer";
            settleStop(result);
            return;
        }
        tell("receiving " + displayName(keyword) + "…");
        Reception reception(start_);
        const Clock::time_point trialEnd = Clock::now() + trial;
        if (keyword == "rtsp-tcp")
            receiveInterleaved(connection, reception, trialEnd);
        else
            receiveRtp(rtpSocket, group, reception, trialEnd);
        tried.delivered = reception.packets > 0;
        tried.detail = tried.delivered ? counted(reception.packets, "RTP packet")
                                       : "did not arrive within " + secondsText(trial);
        if (tried.delivered)  // the first that delivers, which the probe recommends
            noteRtp(reception);
    }

    // The group and port of a multicast SETUP's answer, and a socket joined to it.
    bool multicastReceiver(const std::string& transport, Socket& socket, uint32_t& group, std::string& problem)
    {
        const std::string destination = transportParameter(transport, "destination");
        const std::string ports = transportParameter(transport, "port");
        const long port = std::strtol(ports.c_str(), nullptr, 10);
        if (!parseIpv4(destination, group) || !isMulticastAddress(group) || port < 1 || port > 65535) {
            problem = "the server's answer names no multicast group and port";
            return false;
        }
        std::vector<LocalInterface> joinedOn;
        NetResult result = Socket::udpReceiver(static_cast<uint16_t>(port), PortUse::group, socket);
        if (result.status == NetStatus::busy || result.status == NetStatus::denied) {
            const std::string holder = portHolder(false, static_cast<uint16_t>(port));
            problem = "busy: " + (holder.empty() ? std::string("another program") : holder) + " receives on udp port " +
                      std::to_string(port) + " and does not share it";
            return false;
        }
        if (result.ok())
            result = joinEverywhere(socket, group, joinedOn);
        if (!result.ok()) {
            problem = "cannot join " + destination + " port " + ports + ": " + result.problem;
            return false;
        }
        return true;
    }

    // RTP until the deadline; the first packet must come before `firstBy`.
    void receiveRtp(Socket& socket, uint32_t group, Reception& reception, Clock::time_point firstBy)
    {
        std::vector<char> buffer(kReceiveBytes);
        for (;;) {
            Datagram datagram;
            const NetResult result =
                socket.receiveDatagram(buffer.data(), buffer.size(), firstWait(reception, firstBy), datagram);
            if (!result.ok())
                return settleStop(result);
            if (group == 0 || datagram.destination == group)
                reception.addRtp(buffer.data(), datagram.size);
        }
    }

    // RTP interleaved in the RTSP connection (channel 0), likewise.
    void receiveInterleaved(RtspConnection& connection, Reception& reception, Clock::time_point firstBy)
    {
        const auto onFrame = [&reception](int channel, const std::string& frame) {
            if (channel == 0)
                reception.addRtp(frame.data(), frame.size());
        };
        for (;;) {
            const bool awaitingFirst = reception.packets == 0;
            const NetResult result = connection.receive(firstWait(reception, firstBy), onFrame);
            // The first packets came within that wait, which then ran out
            // while it waited for more: the reception goes on to the deadline.
            if (result.status == NetStatus::timedOut && awaitingFirst && reception.packets > 0)
                continue;
            if (!result.ok())
                return settleStop(result);
        }
    }

    WaitLimit firstWait(const Reception& reception, Clock::time_point firstBy) const
    {
        return reception.packets == 0 ? limit_.until(firstBy) : limit_;
    }

    void noteRtp(const Reception& reception)
    {
        report_.packets = reception.packets;
        report_.bytes = reception.bytes;
        report_.lost = reception.rtp.lost();
        report_.payloadType = reception.rtp.payloadType();
        report_.jitterMs = std::round(reception.rtp.jitterMs() * 10) / 10;
        report_.bitrateKbps = reception.bitrateKbps();
        suggestBuffer(reception.rtp.transit());
    }

    // OK when the preset's own transport delivered; else what to choose.
    void judgeTransports()
    {
        if (report_.transports.empty())
            return;
        const TransportTrial& own = report_.transports.front();
        const TransportTrial* delivering = nullptr;
        for (const TransportTrial& tried : report_.transports) {
            if (delivering == nullptr && tried.delivered)
                delivering = &tried;
        }
        if (delivering != nullptr)
            report_.recommendedProtocol = delivering->protocol;
        if (own.delivered) {
            report_.verdict = ProbeVerdict::ok;
            report_.detail += ", " + displayName(own.protocol) + " delivers " + own.detail;
            if (report_.lost && *report_.lost > 0)
                report_.detail += ", " + std::to_string(*report_.lost) + " lost";
            return;
        }
        const bool silent = own.detail.rfind("did not arrive", 0) == 0;
        std::string why = transportPhrase(own.protocol) + (silent ? " " : ": ") + own.detail;
        if (own.protocol == "rtsp-udp" && silent)
            why += " (a firewall or NAT drops it)";
        if (delivering != nullptr)
            fail(report_.detail + "; " + why + "; " + displayName(delivering->protocol) + " delivers: choose " +
                 displayName(delivering->protocol));
        else
            fail(report_.detail + "; " + why + "; no other transport delivers either");
    }

    // Whether the probe could take the port; one that another program holds
    // (`use`: "receives on", "listens on") is reported as busy, with the
    // program where the system tells it.
    bool tookPort(const NetResult& result, bool tcp, const char* use)
    {
        const std::string port = std::string(tcp ? "tcp" : "udp") + " port " + std::to_string(port_);
        if (result.status == NetStatus::busy || result.status == NetStatus::denied) {
            report_.busyOwner = portHolder(tcp, port_);
            if (result.status == NetStatus::denied && report_.busyOwner.empty()) {
                fail("cannot use " + port + ": the system reserves this port");
                return false;
            }
            report_.verdict = ProbeVerdict::busy;
            report_.detail = report_.busyOwner.empty()
                                 ? "busy: another program " + std::string(use) + " " + port +
                                       " (the renderer may be running)"
                                 : "busy: " + report_.busyOwner + " " + use + " " + port;
        } else if (!result.ok()) {
            settle(result, "", "cannot use " + port + ": ");
        }
        return result.ok();
    }

    // Reports an operation that ended before it was done: cancelled, the
    // deadline (`timedOutText`), or a failure (`failedPrefix` and why).
    void settle(const NetResult& result, const std::string& timedOutText, const std::string& failedPrefix)
    {
        if (result.status == NetStatus::stopped)
            report_.verdict = ProbeVerdict::stopped;
        else if (result.status == NetStatus::timedOut)
            fail(timedOutText);
        else if (result.status == NetStatus::closed)
            fail(failedPrefix + "the other side closed the connection");
        else
            fail(failedPrefix + result.problem);
    }
    void settleStop(const NetResult& result)
    {
        if (result.status == NetStatus::stopped)
            report_.verdict = ProbeVerdict::stopped;
    }
    bool stopped() const { return report_.verdict == ProbeVerdict::stopped; }

    bool carriesTs() const { return source_.keyword.compare(0, 3, "ts-") == 0; }
    std::string withinTime() const { return "in " + secondsText(duration_); }

    const SourceEndpoint& source_;
    const uint16_t port_;
    const std::chrono::milliseconds duration_;
    const Clock::time_point start_;
    const WaitLimit limit_;
    const ProbeProgress& progress_;
    uint32_t address_ = 0;
    std::string sessionUrl_;  // of PLAY and TEARDOWN
    ProbeReport report_;
};

}  // namespace

std::string sourceTarget(const SourceEndpoint& source)
{
    const std::string port = std::to_string(source.port);
    if (isRtspKeyword(source.keyword))
        return rtspUrl(source.host, static_cast<uint16_t>(source.port), source.streamName);
    if (keywordUsesHost(source.keyword))
        return source.host + ":" + port;
    return (source.keyword == "ts-tcp" ? "tcp port " : "udp port ") + port;
}

ProbeReport probeSource(const SourceEndpoint& source, std::chrono::milliseconds duration, const CancelToken& cancel,
                        const ProbeProgress& progress)
{
    return SourceProbe(source, duration, cancel, progress).run();
}

const char* verdictWord(ProbeVerdict verdict)
{
    switch (verdict) {
    case ProbeVerdict::ok:
        return "OK";
    case ProbeVerdict::busy:
        return "BUSY";
    case ProbeVerdict::stopped:
        return "STOPPED";
    default:
        return "FAILED";
    }
}

std::string verdictSentence(const ProbeReport& report)
{
    std::string sentence = report.detail;
    for (const std::string& advice : report.advice)
        sentence += "; " + advice;
    return sentence;
}
