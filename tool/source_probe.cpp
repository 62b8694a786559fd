#include "tool/source_probe.h"

#include <vector>

#include "model/protocol_table.h"
#include "tool/mpeg_ts.h"
#include "tool/net_socket.h"
#include "tool/rtsp_exchange.h"
#include "tool/sdp_media.h"
#include "tool/tool_files.h"

namespace {

// The largest datagram, and a generous read of a stream.
constexpr size_t kReceiveBytes = 65536;

std::string joined(const std::vector<std::string>& texts)
{
    std::string result;
    for (const std::string& text : texts)
        result += (result.empty() ? "" : ", ") + text;
    return result;
}

class SourceProbe {
public:
    SourceProbe(const SourceEndpoint& source, int seconds)
        : source_(source),
          port_(static_cast<uint16_t>(source.port)),
          seconds_(seconds),
          deadline_(Clock::now() + std::chrono::seconds(seconds))
    {
    }

    ProbeReport run()
    {
        const std::string& keyword = source_.keyword;
        if (source_.port < 1 || source_.port > 65535)
            report_.detail = "configuration error: port " + std::to_string(source_.port) + " is not in 1 to 65535";
        else if (keyword == "ts-udp" || keyword == "cds-udp")
            receiveDatagrams(0);
        else if (keyword == "ts-multi" || keyword == "cds-multi")
            receiveGroup();
        else if (keyword == "ts-tcp")
            awaitConnection();
        else
            connectToSource();
        return report_;
    }

private:
    void receiveGroup()
    {
        uint32_t group = 0;
        if (parseIpv4(source_.host, group) && isMulticastAddress(group))
            receiveDatagrams(group);
        else
            report_.detail = "configuration error: \"" + source_.host +
                             "\" is not an IPv4 multicast address (224.0.0.0 to 239.255.255.255)";
    }

    // ts-tcp-pull and the RTSP protocols: this machine connects to the source.
    void connectToSource()
    {
        Socket socket;
        if (!connect(socket))
            return;
        if (isRtspKeyword(source_.keyword))
            describeStream(socket);
        else
            readStream(socket, "connected, ");
    }

    // ts-udp, ts-multi, cds-udp, cds-multi: what arrives until the deadline.
    void receiveDatagrams(uint32_t group)
    {
        Socket socket;
        NetResult result = Socket::udpReceiver(port_, group, socket);
        if (!tookPort(result, "udp", "receives on"))
            return;
        uint64_t packets = 0;
        uint64_t bytes = 0;
        bool allTs = true;
        std::vector<char> buffer(kReceiveBytes);
        size_t received = 0;
        while ((result = socket.receive(buffer.data(), buffer.size(), deadline_, received)).ok()) {
            ++packets;
            bytes += received;
            allTs = allTs && isTsDatagram(buffer.data(), received);
        }
        if (result.status != NetStatus::timedOut) {
            settle(result, "", "receiving failed: ");
            return;
        }
        report_.packets = packets;
        report_.bytes = bytes;
        const bool checkTs = carriesTs();
        if (checkTs)
            report_.mpegTs = packets > 0 && allTs;
        report_.ok = packets > 0;
        if (packets == 0)
            report_.detail = "nothing arrived " + withinTime();
        else
            report_.detail = counted(packets, "packet") + ", " + counted(bytes, "byte") + tsVerdict(allTs);
    }

    // ts-tcp: the source connects to this machine.
    void awaitConnection()
    {
        Socket listener;
        NetResult result = Socket::tcpListener(port_, listener);
        if (!tookPort(result, "tcp", "listens on"))
            return;
        Socket connection;
        uint32_t peer = 0;
        result = listener.accept(deadline_, connection, peer);
        if (!result.ok()) {
            settle(result, "no connection came " + withinTime(), "accepting failed: ");
            return;
        }
        readStream(connection, "connection from " + addressText(peer) + ", ");
    }

    // The host's address, and a connection to it; false, with the reason
    // reported, when there is none.
    bool connect(Socket& socket)
    {
        if (source_.host.empty()) {
            report_.detail = "configuration error: no host given";
            return false;
        }
        const std::string host = "the host name \"" + source_.host + "\"";
        uint32_t address = 0;
        NetResult result = resolveIpv4(source_.host, deadline_, address);
        if (!result.ok()) {
            settle(result, host + " did not resolve " + withinTime(), host + " does not resolve: ");
            return false;
        }
        result = Socket::tcpConnection(address, port_, deadline_, socket);
        if (result.status == NetStatus::refused) {
            report_.detail = "connection refused: nothing listens on port " + std::to_string(port_) + " of " +
                             addressText(address);
            return false;
        }
        if (!result.ok()) {
            settle(result, "no connection " + withinTime(), "cannot connect: ");
            return false;
        }
        return true;
    }

    // ts-tcp, ts-tcp-pull: what the connection carries until it ends or the deadline.
    void readStream(Socket& socket, const std::string& opening)
    {
        uint64_t bytes = 0;
        TsStreamCheck check;
        std::vector<char> buffer(kReceiveBytes);
        size_t received = 0;
        NetResult result;
        while ((result = socket.receive(buffer.data(), buffer.size(), deadline_, received)).ok()) {
            bytes += received;
            check.add(buffer.data(), received);
        }
        if (result.status == NetStatus::stopped) {
            report_.stopped = true;
            return;
        }
        const bool isTs = check.isTs();
        report_.bytes = bytes;
        report_.mpegTs = bytes > 0 && isTs;
        report_.ok = bytes > 0;
        if (bytes > 0)
            report_.detail = opening + counted(bytes, "byte") + tsVerdict(isTs);
        else if (result.status == NetStatus::closed)
            report_.detail = opening + "closed without sending anything";
        else
            report_.detail = opening + "nothing arrived " + withinTime();
        if (result.status == NetStatus::failed)
            report_.detail += ", then: " + result.problem;
    }

    // rtsp-udp, rtsp-multi, rtsp-tcp: OPTIONS, then DESCRIBE of the stream.
    void describeStream(Socket& socket)
    {
        const std::string url = rtspUrl(source_.host, port_, source_.streamName);
        std::string pending;
        RtspResponse options;
        NetResult result = exchangeRtsp(socket, "OPTIONS", url, 1, deadline_, pending, options);
        if (!result.ok()) {
            settle(result, "connected, no answer to OPTIONS " + withinTime(), "OPTIONS: ");
            return;
        }
        const std::string said = "OPTIONS " + std::to_string(options.status) + ", ";
        RtspResponse describe;
        result = exchangeRtsp(socket, "DESCRIBE", url, 2, deadline_, pending, describe);
        if (!result.ok()) {
            settle(result, said + "no answer to DESCRIBE " + withinTime(), said + "DESCRIBE: ");
            return;
        }
        report_.rtspStatus = describe.status;
        report_.detail = said + "DESCRIBE " + std::to_string(describe.status);
        if (describe.status == 200) {
            const std::vector<std::string> media = sdpMedia(describe.content);
            report_.media = media;
            report_.ok = !media.empty();
            report_.detail += media.empty() ? ", but no media described" : ": " + joined(media);
        } else if (describe.status == 401) {
            report_.detail += ": needs a user name and password";
        } else if (describe.status == 404) {
            report_.detail += ": no such stream";
        } else if (!describe.reason.empty()) {
            report_.detail += " " + describe.reason;
        }
    }

    // Whether the probe could take the port; one that another program holds
    // (`use`: "receives on", "listens on") is reported as busy.
    bool tookPort(const NetResult& result, const char* transport, const char* use)
    {
        const std::string port = std::string(transport) + " port " + std::to_string(port_);
        if (result.status == NetStatus::busy) {
            report_.busy = true;
            report_.detail =
                "busy: another program " + std::string(use) + " " + port + " (the renderer may be running)";
        } else if (!result.ok()) {
            settle(result, "", "cannot use " + port + ": ");
        }
        return result.ok();
    }

    // Reports an operation that ended before it was done: stopped by Ctrl+C,
    // the deadline (`timedOutText`), or a failure (`failedPrefix` and why).
    void settle(const NetResult& result, const std::string& timedOutText, const std::string& failedPrefix)
    {
        if (result.status == NetStatus::stopped)
            report_.stopped = true;
        else if (result.status == NetStatus::timedOut)
            report_.detail = timedOutText;
        else if (result.status == NetStatus::closed)
            report_.detail = failedPrefix + "the other side closed the connection";
        else
            report_.detail = failedPrefix + result.problem;
    }

    bool carriesTs() const { return source_.keyword.compare(0, 3, "ts-") == 0; }
    std::string tsVerdict(bool isTs) const
    {
        return !carriesTs() ? "" : isTs ? ", MPEG-TS" : ", not MPEG-TS";
    }
    std::string withinTime() const { return "in " + std::to_string(seconds_) + " s"; }

    const SourceEndpoint& source_;
    const uint16_t port_;
    const int seconds_;
    const Deadline deadline_;
    ProbeReport report_;
};

}  // namespace

std::string sourceTarget(const SourceEndpoint& source)
{
    const std::string port = std::to_string(source.port);
    if (keywordUsesHost(source.keyword))
        return source.host + ":" + port;
    return (source.keyword == "ts-tcp" ? "tcp port " : "udp port ") + port;
}

ProbeReport probeSource(const SourceEndpoint& source, int seconds)
{
    return SourceProbe(source, seconds).run();
}
