#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "probe/cancel_token.h"
#include "probe/net_system.h"

// Sockets for the probe of sources: IPv4, non-blocking, and every operation
// bounded by a deadline. Each wait also ends within a tenth of a second of a
// cancel.

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

// How long a wait may last: until the deadline, or the token is cancelled.
struct WaitLimit {
    Deadline deadline;
    const CancelToken* cancel;

    WaitLimit until(Deadline earlier) const { return {earlier < deadline ? earlier : deadline, cancel}; }
};

// How an operation ended.
enum class NetStatus {
    done,
    timedOut,  // the deadline passed
    closed,    // the peer ended the connection
    refused,   // nothing listens on the port
    busy,      // another program holds the port
    denied,    // the system refuses the port: held exclusively, or reserved
    stopped,   // cancelled
    malformed, // the peer's bytes break its protocol; `problem` says how
    failed,    // the system's reason is in `problem`
};

struct NetResult {
    NetStatus status = NetStatus::done;
    std::string problem;

    bool ok() const { return status == NetStatus::done; }
};

// IPv4 addresses are held in host byte order.
std::string addressText(uint32_t address);
// An interface as messages name it: "eth1 (10.1.0.5)".
std::string interfaceText(const LocalInterface& local);
bool isMulticastAddress(uint32_t address);
// A dotted IPv4 address, without asking any resolver.
bool parseIpv4(const std::string& text, uint32_t& address);
// A host name or dotted address; the name service is asked on a thread of
// its own, so that a slow one costs no more than the deadline.
NetResult resolveIpv4(const std::string& host, const WaitLimit& limit, uint32_t& address);

class Socket {
public:
    Socket() = default;
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    ~Socket();

    // A UDP socket that receives on `port` of every local address (PortUse::group:
    // shared with other receivers of multicast groups).
    // Each datagram then tells where it was sent to and on which interface
    // it arrived (receiveDatagram).
    static NetResult udpReceiver(uint16_t port, PortUse use, Socket& socket);
    // Joins a multicast group on the interface of `local` (0: the system chooses).
    NetResult join(uint32_t group, uint32_t local);
    static NetResult tcpListener(uint16_t port, Socket& socket);
    static NetResult tcpConnection(uint32_t address, uint16_t port, const WaitLimit& limit, Socket& socket);

    // The local port the socket is bound to; 0 when unknown.
    uint16_t localPort() const;

    // The next connection to a listener, and the address it came from.
    NetResult accept(const WaitLimit& limit, Socket& connection, uint32_t& peer);
    // What arrives next: a datagram, or some bytes of a stream (`received`
    // is then more than 0); `closed` at the end of a stream.
    NetResult receive(char* buffer, size_t size, const WaitLimit& limit, size_t& received);
    NetResult receiveDatagram(char* buffer, size_t size, const WaitLimit& limit, Datagram& datagram);
    NetResult sendAll(const std::string& bytes, const WaitLimit& limit);
    // One datagram to `address`:`port`; a multicast one leaves through the
    // interface of `local`.
    NetResult sendDatagram(const std::string& bytes, uint32_t address, uint16_t port, uint32_t local);
    // The local address that a datagram to `address` would leave from: the
    // interface of the system's route for it.
    static NetResult routeSource(uint32_t address, uint16_t port, uint32_t& local);

private:
    Socket(NativeSocket native, bool datagram) : native_(native), datagram_(datagram) {}
    // Opens a socket of `type` with its port use and binds it to `port` of
    // every local address.
    static NetResult bound(int type, PortUse use, uint16_t port, Socket& socket);
    NetResult waitUntil(bool forWriting, const WaitLimit& limit) const;

    NativeSocket native_ = kNoSocket;
    bool datagram_ = false;
};
