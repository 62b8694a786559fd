// The sockets of Windows: Winsock 2 (ws2_32, a system library).
#include "tool/net_system.h"

#include <windows.h>

#include "tool/net_socket.h"
#include "tool/utf16_win.h"

namespace {

BOOL WINAPI onConsoleControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    requestStop();
    return TRUE;
}

}  // namespace

bool startNetworking(std::string& problem)
{
    static int status = -1;
    if (status < 0) {
        WSADATA data;
        status = WSAStartup(MAKEWORD(2, 2), &data);
    }
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
    case WSAEACCES:  // what Windows answers for a port held with SO_EXCLUSIVEADDRUSE
        return SocketFault::addressInUse;
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
    return utf8FromUtf16(message);
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

void watchInterrupt()
{
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

void stopWatchingInterrupt()
{
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
}
