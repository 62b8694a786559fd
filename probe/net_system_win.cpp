// The sockets of Windows: Winsock 2 (ws2_32, a system library).
#include "probe/net_system.h"

#include <windows.h>
#include <iphlpapi.h>
#include <mswsock.h>

#include <memory>

namespace {

std::string utf8Of(const wchar_t* text, int length = -1)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), size, nullptr, nullptr);
    if (length < 0 && !result.empty())
        result.pop_back();  // the terminating zero
    return result;
}

// The file name of a process's program, with its id.
std::string programOf(DWORD processId)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    wchar_t path[MAX_PATH];
    DWORD length = MAX_PATH;
    const bool named = process != nullptr && QueryFullProcessImageNameW(process, 0, path, &length);
    if (process != nullptr)
        CloseHandle(process);
    std::string name = "process " + std::to_string(processId);
    if (!named)
        return name;
    const std::wstring full(path, length);
    return utf8Of(full.substr(full.find_last_of(L"\\/") + 1).c_str()) + " (" + name + ")";
}

// A table of GetExtendedUdpTable or GetExtendedTcpTable, grown until it fits.
template <typename Fetch>
std::unique_ptr<char[]> ownerTable(Fetch fetch)
{
    ULONG size = 0;
    std::unique_ptr<char[]> table;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD status = fetch(table.get(), &size);
        if (status == NO_ERROR)
            return table;
        if (status != ERROR_INSUFFICIENT_BUFFER)
            break;
        table.reset(new char[size]);
    }
    return nullptr;
}

// The process that owns `port` in a table of owners; 0 when none does.
template <typename Table>
DWORD ownerOfPort(const char* table, uint16_t port)
{
    const auto* rows = reinterpret_cast<const Table*>(table);
    for (DWORD row = 0; rows != nullptr && row < rows->dwNumEntries; ++row) {
        if (ntohs(static_cast<u_short>(rows->table[row].dwLocalPort)) == port)
            return rows->table[row].dwOwningPid;
    }
    return 0;
}

}  // namespace

bool startNetworking(std::string& problem)
{
    // Once per process; probes on several threads may ask at the same time.
    static const int status = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data);
    }();
    if (status != 0)
        problem = "Winsock cannot be started: " + socketErrorText(status);
    return status == 0;
}

NativeSocket openNativeSocket(int type)
{
    const SOCKET socket = ::socket(AF_INET, type, 0);
    u_long nonBlocking = 1;
    if (socket != INVALID_SOCKET &&
        (ioctlsocket(socket, FIONBIO, &nonBlocking) != 0 ||
         !SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0))) {
        closesocket(socket);
        return INVALID_SOCKET;
    }
    return socket;
}

void closeNativeSocket(NativeSocket socket)
{
    closesocket(socket);
}

bool setPortUse(NativeSocket socket, PortUse use)
{
    // Without SO_REUSEADDR a bind fails while another socket holds the port;
    // with it, a TCP or unicast socket could take the port from its owner.
    const BOOL on = TRUE;
    return use != PortUse::group ||
           setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

int lastSocketError()
{
    return WSAGetLastError();
}

SocketFault classifySocketError(int code)
{
    switch (code) {
    case WSAEWOULDBLOCK:
    case WSAEINPROGRESS:
        return SocketFault::wouldBlock;
    case WSAEINTR:
        return SocketFault::interrupted;
    case WSAEADDRINUSE:
        return SocketFault::addressInUse;
    case WSAEACCES:  // a port held with SO_EXCLUSIVEADDRUSE, or one the system reserves
        return SocketFault::accessDenied;
    case WSAECONNREFUSED:
        return SocketFault::refused;
    default:
        return SocketFault::other;
    }
}

std::string socketErrorText(int code)
{
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return utf8Of(message.c_str());
}

std::string resolverErrorText(int status)
{
    return socketErrorText(status);  // getaddrinfo answers with Winsock's error codes
}

int waitOnSocket(NativeSocket socket, bool forWriting, int milliseconds)
{
    // select rather than WSAPoll: WSAPoll of older Windows versions does not
    // report a failed connection attempt.
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval wait{milliseconds / 1000, milliseconds % 1000 * 1000};
    const int count = select(0, forWriting ? nullptr : &ready, forWriting ? &ready : nullptr, &failed, &wait);
    return count == SOCKET_ERROR ? -1 : count > 0 ? 1 : 0;
}

NativeSocket acceptOnSocket(NativeSocket listener, sockaddr_in& peer)
{
    // The connection takes over the listener's non-blocking mode.
    int length = sizeof peer;
    const SOCKET socket = accept(listener, reinterpret_cast<sockaddr*>(&peer), &length);
    if (socket != INVALID_SOCKET && !SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0)) {
        closesocket(socket);
        return INVALID_SOCKET;
    }
    return socket;
}

long sendOnSocket(NativeSocket socket, const char* bytes, size_t count)
{
    return send(socket, bytes, static_cast<int>(count > 65536 ? 65536 : count), 0);
}

long receiveOnSocket(NativeSocket socket, char* buffer, size_t size)
{
    return recv(socket, buffer, static_cast<int>(size > 65536 ? 65536 : size), 0);
}

bool askForDestination(NativeSocket socket)
{
    const DWORD on = 1;
    return setsockopt(socket, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

long receiveDatagramOnSocket(NativeSocket socket, char* buffer, size_t size, Datagram& datagram)
{
    LPFN_WSARECVMSG receiveMessage = nullptr;
    GUID wanted = WSAID_WSARECVMSG;
    DWORD returned = 0;
    if (WSAIoctl(socket, SIO_GET_EXTENSION_FUNCTION_POINTER, &wanted, sizeof wanted, &receiveMessage,
                 sizeof receiveMessage, &returned, nullptr, nullptr) != 0)
        return -1;
    sockaddr_in from{};
    WSABUF part{static_cast<ULONG>(size > 65536 ? 65536 : size), buffer};
    char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
    WSAMSG message{};
    message.name = reinterpret_cast<sockaddr*>(&from);
    message.namelen = sizeof from;
    message.lpBuffers = &part;
    message.dwBufferCount = 1;
    message.Control = {sizeof control, control};
    DWORD count = 0;
    if (receiveMessage(socket, &message, &count, nullptr, nullptr) != 0)
        return -1;
    datagram = {count, ntohl(from.sin_addr.s_addr), 0, 0};
    for (WSACMSGHDR* header = WSA_CMSG_FIRSTHDR(&message); header != nullptr;
         header = WSA_CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
            const auto* info = reinterpret_cast<const IN_PKTINFO*>(WSA_CMSG_DATA(header));
            datagram.destination = ntohl(info->ipi_addr.s_addr);
            datagram.interfaceIndex = info->ipi_ifindex;
        }
    }
    return static_cast<long>(count);
}

std::vector<LocalInterface> localInterfaces()
{
    std::vector<LocalInterface> found;
    ULONG size = 16 * 1024;
    std::unique_ptr<char[]> buffer;
    ULONG status = ERROR_BUFFER_OVERFLOW;
    for (int attempt = 0; attempt < 4 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
        buffer.reset(new char[size]);
        status = GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                                      nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
    }
    if (status != NO_ERROR)
        return found;
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter != nullptr;
         adapter = adapter->Next) {
        if (adapter->OperStatus != IfOperStatusUp)
            continue;
        for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
            found.push_back({ntohl(address->sin_addr.s_addr), adapter->IfIndex, utf8Of(adapter->FriendlyName)});
        }
    }
    return found;
}

std::string portHolder(bool tcp, uint16_t port)
{
    const DWORD owner =
        tcp ? ownerOfPort<MIB_TCPTABLE_OWNER_PID>(ownerTable([](void* into, ULONG* size) {
                  return GetExtendedTcpTable(into, size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0);
              }).get(), port)
            : ownerOfPort<MIB_UDPTABLE_OWNER_PID>(ownerTable([](void* into, ULONG* size) {
                  return GetExtendedUdpTable(into, size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0);
              }).get(), port);
    return owner != 0 ? programOf(owner) : "";
}
