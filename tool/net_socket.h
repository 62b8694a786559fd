#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "tool/net_system.h"

// Sockets for the probe of sources: IPv4, non-blocking, and every operation
// bounded by a deadline. Each wait also ends within a tenth of a second of
// Ctrl+C.

using Clock = std::chrono::steady_clock;
using Deadline = Clock::time_point;

// How an operation ended.
enum class NetStatus {
    done,
    timedOut,  // the deadline passed
    closed,    // the peer ended the connection
    refused,   // nothing listens on the port
    busy,      // another program holds the port
    stopped,   // Ctrl+C
    failed,    // the system's reason is in `problem`
};

struct NetResult {
    NetStatus status = NetStatus::done;
    std::string problem;

    bool ok() const { return status == NetStatus::done; }
};

// Ctrl+C asks the operations to stop; the flag stays set until the next
// InterruptWatch. requestStop() is safe in a signal handler.
void requestStop();
bool stopRequested();

// Watches Ctrl+C while it exists.
class InterruptWatch {
public:
    InterruptWatch();
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;
};

// IPv4 addresses are held in host byte order.
std::string addressText(uint32_t address);
bool isMulticastAddress(uint32_t address);
// A dotted IPv4 address, without asking any resolver.
bool parseIpv4(const std::string& text, uint32_t& address);
// A host name or dotted address; the name service is asked on a thread of
// its own, so that a slow one costs no more than the deadline.
NetResult resolveIpv4(const std::string& host, Deadline deadline, uint32_t& address);

class Socket {
public:
    Socket() = default;
    Socket(Socket&& other) noexcept;
    Socket& operator=(Socket&& other) noexcept;
    ~Socket();

    // A UDP socket that receives on `port` of every local address; with a
    // group other than 0 it joins that multicast group.
    static NetResult udpReceiver(uint16_t port, uint32_t group, Socket& socket);
    static NetResult tcpListener(uint16_t port, Socket& socket);
    static NetResult tcpConnection(uint32_t address, uint16_t port, Deadline deadline, Socket& socket);

    // The next connection to a listener, and the address it came from.
    NetResult accept(Deadline deadline, Socket& connection, uint32_t& peer);
    // What arrives next: a datagram, or some bytes of a stream (`received`
    // is then more than 0); `closed` at the end of a stream.
    NetResult receive(char* buffer, size_t size, Deadline deadline, size_t& received);
    NetResult sendAll(const std::string& bytes, Deadline deadline);

private:
    Socket(NativeSocket native, bool datagram) : native_(native), datagram_(datagram) {}
    // Opens a socket of `type` with its port use and binds it to `port` of
    // every local address.
    static NetResult bound(int type, PortUse use, uint16_t port, Socket& socket);
    NetResult waitUntil(bool forWriting, Deadline deadline) const;

    NativeSocket native_ = kNoSocket;
    bool datagram_ = false;
};
