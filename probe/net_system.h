#pragma once

// The platform's sockets under one set of names: POSIX sockets, or Winsock 2
// on Windows. Only the network files of the probe include this header; the
// calls that differ between the two live in net_system_posix.cpp and
// net_system_win.cpp.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using NativeSocket = SOCKET;
constexpr NativeSocket kNoSocket = INVALID_SOCKET;
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
using NativeSocket = int;
constexpr NativeSocket kNoSocket = -1;
#endif

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Before the first socket of a probe (any number of times); false, with the
// reason, when this machine offers no sockets.
bool startNetworking(std::string& problem);

// A non-blocking IPv4 socket of `type` (SOCK_STREAM, SOCK_DGRAM) that
// programs started later do not inherit; kNoSocket on failure.
NativeSocket openNativeSocket(int type);
void closeNativeSocket(NativeSocket socket);

// How a socket may share its port with the sockets of other programs.
enum class PortUse {
    exclusive,  // bind fails while another program receives on the port
    listener,   // a TCP listener: exclusive, but a port in TIME_WAIT may be taken again
    group,      // a multicast receiver: shares the port with other receivers of groups,
                // and receives of the groups only those it joined itself
};
bool setPortUse(NativeSocket socket, PortUse use);

// What the last socket call of this thread failed with.
// accessDenied: Windows' answer for a port that another program holds
// exclusively, or that the system reserves.
enum class SocketFault { wouldBlock, interrupted, addressInUse, accessDenied, refused, other };
int lastSocketError();
SocketFault classifySocketError(int code);
// The system's text for an error code, in UTF-8.
std::string socketErrorText(int code);
// The text for a failed getaddrinfo, in UTF-8.
std::string resolverErrorText(int status);

// Waits up to `milliseconds` until the socket can be read, or written when
// `forWriting`; a wait for writing also ends when a connection attempt has
// failed. 1 when ready, 0 when the time ran out or a signal came, -1 on an error.
int waitOnSocket(NativeSocket socket, bool forWriting, int milliseconds);

// The next connection to a listener, non-blocking and not inherited like
// the sockets of openNativeSocket; kNoSocket when none is waiting or on failure.
NativeSocket acceptOnSocket(NativeSocket listener, sockaddr_in& peer);

// send and recv on one socket; a closed peer never raises a signal.
long sendOnSocket(NativeSocket socket, const char* bytes, size_t count);
long receiveOnSocket(NativeSocket socket, char* buffer, size_t size);

// One datagram: its size, where it came from, and where it was sent to and
// arrived (addresses in host byte order).
struct Datagram {
    size_t size = 0;
    uint32_t sender = 0;
    uint32_t destination = 0;
    unsigned interfaceIndex = 0;
};
// Makes each datagram of the socket carry its destination and interface.
bool askForDestination(NativeSocket socket);
long receiveDatagramOnSocket(NativeSocket socket, char* buffer, size_t size, Datagram& datagram);

// An IPv4 interface that is up.
struct LocalInterface {
    uint32_t address = 0;
    unsigned index = 0;
    std::string name;  // UTF-8: "eth1", "Ethernet 2"
};
std::vector<LocalInterface> localInterfaces();

// The program that holds a local port ("" when the system does not tell).
std::string portHolder(bool tcp, uint16_t port);
