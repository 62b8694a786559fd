// The sockets of POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "probe/net_system.h"

namespace {

// The inode of the socket that holds `port` in a table of /proc/net ("" when none).
std::string socketInode(const char* table, uint16_t port)
{
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // the column names
    while (std::getline(in, line)) {
        // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        const size_t colon = local.find(':');
        if (colon != std::string::npos && std::strtoul(local.c_str() + colon + 1, nullptr, 16) == port &&
            inode != "0")
            return inode;
    }
    return "";
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
    // so only the multicast receiver and the listener ask for it. A receiver
    // of groups shares its port with every other one that allows it (either
    // option), and takes only the groups it joined itself, as on Windows.
    const int on = 1;
    const int off = 0;
    if (use == PortUse::exclusive)
        return true;
    if (setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0)
        return false;
    return use != PortUse::group || (setsockopt(socket, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) == 0 &&
                                     setsockopt(socket, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) == 0);
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

bool askForDestination(NativeSocket socket)
{
    const int on = 1;
    return setsockopt(socket, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) == 0;
}

long receiveDatagramOnSocket(NativeSocket socket, char* buffer, size_t size, Datagram& datagram)
{
    sockaddr_in from{};
    iovec part{buffer, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const long count = recvmsg(socket, &message, 0);
    if (count < 0)
        return count;
    datagram = {static_cast<size_t>(count), ntohl(from.sin_addr.s_addr), 0, 0};
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr; header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(header), sizeof info);
            datagram.destination = ntohl(info.ipi_addr.s_addr);
            datagram.interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
        }
    }
    return count;
}

std::vector<LocalInterface> localInterfaces()
{
    std::vector<LocalInterface> found;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return found;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP)) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            found.push_back({ntohl(address->sin_addr.s_addr), if_nametoindex(entry->ifa_name), entry->ifa_name});
        }
    }
    freeifaddrs(list);
    return found;
}

std::string portHolder(bool tcp, uint16_t port)
{
    const std::string inode = socketInode(tcp ? "/proc/net/tcp" : "/proc/net/udp", port);
    DIR* processes = inode.empty() ? nullptr : opendir("/proc");
    if (processes == nullptr)
        return "";
    const std::string wanted = "socket:[" + inode + "]";
    std::string holder;
    for (const dirent* process; holder.empty() && (process = readdir(processes)) != nullptr;) {
        const std::string folder = std::string("/proc/") + process->d_name;
        DIR* descriptors = process->d_name[0] >= '1' && process->d_name[0] <= '9'
                               ? opendir((folder + "/fd").c_str())
                               : nullptr;
        for (const dirent* descriptor; descriptors != nullptr && (descriptor = readdir(descriptors)) != nullptr;) {
            char target[64] = {};
            const std::string link = folder + "/fd/" + descriptor->d_name;
            if (readlink(link.c_str(), target, sizeof target - 1) > 0 && wanted == target) {
                std::ifstream comm(folder + "/comm");
                std::getline(comm, holder);
                holder += " (process " + std::string(process->d_name) + ")";
                break;
            }
        }
        if (descriptors != nullptr)
            closedir(descriptors);
    }
    closedir(processes);
    return holder;
}
