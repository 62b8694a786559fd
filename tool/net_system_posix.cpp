// The sockets of POSIX systems.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "tool/net_socket.h"
#include "tool/net_system.h"

namespace {

struct sigaction previousInterrupt;

void onInterrupt(int)
{
    requestStop();
}

}  // namespace

bool startNetworking(std::string& /*problem*/)
{
    return true;
}

NativeSocket openNativeSocket(int type)
{
    return socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

void closeNativeSocket(NativeSocket socket)
{
    close(socket);
}

bool setPortUse(NativeSocket socket, PortUse use)
{
    // Two UDP sockets that both ask for SO_REUSEADDR share a unicast port,
    // so only the multicast receiver and the listener ask for it.
    const int on = 1;
    return use == PortUse::exclusive || setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0;
}

int lastSocketError()
{
    return errno;
}

SocketFault classifySocketError(int code)
{
    switch (code) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
        return SocketFault::wouldBlock;
    case EINTR:
        return SocketFault::interrupted;
    case EADDRINUSE:
        return SocketFault::addressInUse;
    case ECONNREFUSED:
        return SocketFault::refused;
    default:
        return SocketFault::other;
    }
}

std::string socketErrorText(int code)
{
    return std::strerror(code);
}

std::string resolverErrorText(int status)
{
    return status == EAI_SYSTEM ? socketErrorText(errno) : gai_strerror(status);
}

int waitOnSocket(NativeSocket socket, bool forWriting, int milliseconds)
{
    pollfd entry{socket, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    const int ready = poll(&entry, 1, milliseconds);
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    return ready;
}

NativeSocket acceptOnSocket(NativeSocket listener, sockaddr_in& peer)
{
    socklen_t length = sizeof peer;
    return accept4(listener, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

long sendOnSocket(NativeSocket socket, const char* bytes, size_t count)
{
    return send(socket, bytes, count, MSG_NOSIGNAL);
}

long receiveOnSocket(NativeSocket socket, char* buffer, size_t size)
{
    return recv(socket, buffer, size, 0);
}

void watchInterrupt()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInterrupt);
}

void stopWatchingInterrupt()
{
    sigaction(SIGINT, &previousInterrupt, nullptr);
}
