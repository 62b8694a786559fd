#include "probe/net_socket.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace {

// How long one wait lasts at most before it looks at the cancel again.
constexpr auto kSlice = std::chrono::milliseconds(100);

NetResult failure(int code)
{
    switch (classifySocketError(code)) {
    case SocketFault::addressInUse:
        return {NetStatus::busy, socketErrorText(code)};
    case SocketFault::accessDenied:
        return {NetStatus::denied, socketErrorText(code)};
    case SocketFault::refused:
        return {NetStatus::refused, socketErrorText(code)};
    default:
        return {NetStatus::failed, socketErrorText(code)};
    }
}

NetResult lastFailure()
{
    return failure(lastSocketError());
}

// Whether the last call only found nothing to do yet.
bool mustWait()
{
    const SocketFault fault = classifySocketError(lastSocketError());
    return fault == SocketFault::wouldBlock || fault == SocketFault::interrupted;
}

// The wait of one slice: stopped, the deadline passed, or the milliseconds to wait.
bool nextSlice(const WaitLimit& limit, NetResult& end, int& milliseconds)
{
    if (limit.cancel != nullptr && limit.cancel->cancelled()) {
        end = {NetStatus::stopped, {}};
        return false;
    }
    const Clock::duration left = limit.deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
        end = {NetStatus::timedOut, {}};
        return false;
    }
    const Clock::duration slice = std::min<Clock::duration>(left, kSlice);
    milliseconds = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(slice).count());
    return true;
}

// One name service lookup, shared by the waiting caller and the thread that
// asks, which may outlive the wait.
struct Lookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    uint32_t address = 0;
    std::string problem;
};

void askNameService(Lookup& lookup, const std::string& host)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    std::lock_guard<std::mutex> lock(lookup.mutex);
    if (status == 0)
        lookup.address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
    if (found != nullptr)
        freeaddrinfo(found);
    if (status != 0)
        lookup.problem = resolverErrorText(status);
}

// The body of the lookup's thread: it ends when the name service answers,
// and never with an exception.
void lookUp(const std::shared_ptr<Lookup>& lookup, const std::string& host) noexcept
{
    try {
        askNameService(*lookup, host);
    } catch (...) {
        std::lock_guard<std::mutex> lock(lookup->mutex);
        lookup->problem = "the name service could not be asked";
    }
    std::lock_guard<std::mutex> lock(lookup->mutex);
    lookup->done = true;
    lookup->finished.notify_all();
}

sockaddr_in socketAddress(uint32_t address, uint16_t port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_addr.s_addr = htonl(address);
    result.sin_port = htons(port);
    return result;
}

}  // namespace

std::string addressText(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 0xFF) + "." +
           std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string interfaceText(const LocalInterface& local)
{
    return local.name + " (" + addressText(local.address) + ")";
}

bool isMulticastAddress(uint32_t address)
{
    return address >> 28 == 0xE;  // 224.0.0.0/4
}

bool parseIpv4(const std::string& text, uint32_t& address)
{
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1)
        return false;
    address = ntohl(parsed.s_addr);
    return true;
}

NetResult resolveIpv4(const std::string& host, const WaitLimit& limit, uint32_t& address)
{
    if (parseIpv4(host, address))
        return {};
    auto lookup = std::make_shared<Lookup>();
    std::thread(lookUp, lookup, host).detach();
    std::unique_lock<std::mutex> lock(lookup->mutex);
    NetResult end;
    int milliseconds = 0;
    while (!lookup->done) {
        if (!nextSlice(limit, end, milliseconds))
            return end;
        lookup->finished.wait_for(lock, std::chrono::milliseconds(milliseconds));
    }
    if (!lookup->problem.empty())
        return {NetStatus::failed, lookup->problem};
    address = lookup->address;
    return {};
}

Socket::Socket(Socket&& other) noexcept
    : native_(std::exchange(other.native_, kNoSocket)), datagram_(other.datagram_)
{
}

Socket& Socket::operator=(Socket&& other) noexcept
{
    if (this != &other) {
        if (native_ != kNoSocket)
            closeNativeSocket(native_);
        native_ = std::exchange(other.native_, kNoSocket);
        datagram_ = other.datagram_;
    }
    return *this;
}

Socket::~Socket()
{
    if (native_ != kNoSocket)
        closeNativeSocket(native_);
}

NetResult Socket::bound(int type, PortUse use, uint16_t port, Socket& socket)
{
    Socket opened(openNativeSocket(type), type == SOCK_DGRAM);
    if (opened.native_ == kNoSocket || !setPortUse(opened.native_, use))
        return lastFailure();
    const sockaddr_in local = socketAddress(INADDR_ANY, port);
    if (bind(opened.native_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return lastFailure();
    socket = std::move(opened);
    return {};
}

NetResult Socket::udpReceiver(uint16_t port, PortUse use, Socket& socket)
{
    Socket opened;
    NetResult result = bound(SOCK_DGRAM, use, port, opened);
    if (!result.ok())
        return result;
    if (!askForDestination(opened.native_))
        return lastFailure();
    socket = std::move(opened);
    return {};
}

NetResult Socket::join(uint32_t group, uint32_t local)
{
    ip_mreq membership{};
    membership.imr_multiaddr.s_addr = htonl(group);
    membership.imr_interface.s_addr = htonl(local);
    if (setsockopt(native_, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&membership),
                   sizeof membership) != 0)
        return lastFailure();
    return {};
}

NetResult Socket::routeSource(uint32_t address, uint16_t port, uint32_t& local)
{
    Socket opened(openNativeSocket(SOCK_DGRAM), true);
    const sockaddr_in remote = socketAddress(address, port);
    if (opened.native_ == kNoSocket ||
        connect(opened.native_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0)
        return lastFailure();
    sockaddr_in chosen{};
    socklen_t length = sizeof chosen;
    if (getsockname(opened.native_, reinterpret_cast<sockaddr*>(&chosen), &length) != 0)
        return lastFailure();
    local = ntohl(chosen.sin_addr.s_addr);
    return {};
}

uint16_t Socket::localPort() const
{
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(native_, reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return 0;
    return ntohs(local.sin_port);
}

NetResult Socket::tcpListener(uint16_t port, Socket& socket)
{
    Socket opened;
    NetResult result = bound(SOCK_STREAM, PortUse::listener, port, opened);
    if (result.ok() && listen(opened.native_, 1) != 0)
        result = lastFailure();
    if (result.ok())
        socket = std::move(opened);
    return result;
}

NetResult Socket::tcpConnection(uint32_t address, uint16_t port, const WaitLimit& limit, Socket& socket)
{
    Socket opened(openNativeSocket(SOCK_STREAM), false);
    if (opened.native_ == kNoSocket)
        return lastFailure();
    const sockaddr_in remote = socketAddress(address, port);
    if (connect(opened.native_, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
        if (!mustWait())
            return lastFailure();
        const NetResult connected = opened.waitUntil(true, limit);
        if (!connected.ok())
            return connected;
        int error = 0;
        socklen_t length = sizeof error;
        if (getsockopt(opened.native_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0)
            return lastFailure();
        if (error != 0)
            return failure(error);
    }
    socket = std::move(opened);
    return {};
}

NetResult Socket::accept(const WaitLimit& limit, Socket& connection, uint32_t& peer)
{
    for (;;) {
        const NetResult ready = waitUntil(false, limit);
        if (!ready.ok())
            return ready;
        sockaddr_in from{};
        const NativeSocket accepted = acceptOnSocket(native_, from);
        if (accepted != kNoSocket) {
            connection = Socket(accepted, false);
            peer = ntohl(from.sin_addr.s_addr);
            return {};
        }
        if (!mustWait())
            return lastFailure();
    }
}

NetResult Socket::receive(char* buffer, size_t size, const WaitLimit& limit, size_t& received)
{
    for (;;) {
        const NetResult ready = waitUntil(false, limit);
        if (!ready.ok())
            return ready;
        const long count = receiveOnSocket(native_, buffer, size);
        if (count > 0 || (count == 0 && datagram_)) {
            received = static_cast<size_t>(count);
            return {};
        }
        if (count == 0)
            return {NetStatus::closed, {}};
        if (!mustWait())
            return lastFailure();
    }
}

NetResult Socket::receiveDatagram(char* buffer, size_t size, const WaitLimit& limit, Datagram& datagram)
{
    for (;;) {
        const NetResult ready = waitUntil(false, limit);
        if (!ready.ok())
            return ready;
        if (receiveDatagramOnSocket(native_, buffer, size, datagram) >= 0)
            return {};
        if (!mustWait())
            return lastFailure();
    }
}

NetResult Socket::sendAll(const std::string& bytes, const WaitLimit& limit)
{
    for (size_t done = 0; done < bytes.size();) {
        const NetResult ready = waitUntil(true, limit);
        if (!ready.ok())
            return ready;
        const long count = sendOnSocket(native_, bytes.data() + done, bytes.size() - done);
        if (count > 0)
            done += static_cast<size_t>(count);
        else if (!mustWait())
            return lastFailure();
    }
    return {};
}

NetResult Socket::sendDatagram(const std::string& bytes, uint32_t address, uint16_t port, uint32_t local)
{
    if (isMulticastAddress(address)) {
        in_addr outgoing{};
        outgoing.s_addr = htonl(local);
        if (setsockopt(native_, IPPROTO_IP, IP_MULTICAST_IF, reinterpret_cast<const char*>(&outgoing),
                       sizeof outgoing) != 0)
            return lastFailure();
    }
    const sockaddr_in remote = socketAddress(address, port);
    if (sendto(native_, bytes.data(), static_cast<int>(bytes.size()), 0, reinterpret_cast<const sockaddr*>(&remote),
               sizeof remote) < 0)
        return lastFailure();
    return {};
}

NetResult Socket::waitUntil(bool forWriting, const WaitLimit& limit) const
{
    NetResult end;
    int milliseconds = 0;
    while (nextSlice(limit, end, milliseconds)) {
        const int ready = waitOnSocket(native_, forWriting, milliseconds);
        if (ready > 0)
            return {};
        if (ready < 0)
            return lastFailure();
    }
    return end;
}
