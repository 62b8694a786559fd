#include "discover/discovery.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <system_error>
#include <thread>

#include "discover/onvif_messages.h"
#include "discover/sap_reader.h"
#include "probe/net_socket.h"
#include "probe/thread_end.h"

namespace {

constexpr uint32_t kWsDiscoveryGroup = 0xEFFFFFFA;  // 239.255.255.250
constexpr uint32_t kSapGroups[] = {0xE0027FFE, 0xEFFFFFFF, 0xEFC3FFFF};  // 224.2.127.254, 239.255.255.255, 239.195.255.255
constexpr int kProbeRounds = 3;
constexpr auto kProbeSpacing = std::chrono::milliseconds(400);
// The time a camera has to answer its SOAP calls after the search.
constexpr auto kCameraTime = std::chrono::seconds(3);
constexpr size_t kDatagramSize = 65536;
constexpr auto kReplySlice = std::chrono::milliseconds(50);
constexpr auto kHelloSlice = std::chrono::milliseconds(5);
constexpr auto kSapSlice = std::chrono::milliseconds(20);
constexpr size_t kMembershipsPerSocket = 15;
constexpr size_t kMaxCameras = 64;
// A camera named by its address answers its own Probe within this time, or
// is asked without (the Probe goes twice: a datagram may be lost).
constexpr auto kAddressProbeTime = std::chrono::milliseconds(1000);
constexpr auto kResolveTime = std::chrono::seconds(3);

// The interface a datagram arrived on.
std::string interfaceText(const std::vector<LocalInterface>& interfaces, unsigned index)
{
    for (const LocalInterface& each : interfaces)
        if (each.index == index)
            return interfaceText(each);
    return "interface " + std::to_string(index);
}

// The SAP sockets: memberships in batches, as a socket holds only so many
// (20 on Linux), each socket joined to the groups on some interfaces.
std::vector<Socket> sapSockets(const std::vector<LocalInterface>& interfaces, std::vector<std::string>& problems)
{
    std::vector<Socket> sockets;
    size_t memberships = kMembershipsPerSocket;
    for (const LocalInterface& each : interfaces) {
        if (memberships + std::size(kSapGroups) > kMembershipsPerSocket) {
            Socket socket;
            const NetResult opened = Socket::udpReceiver(kSapPort, PortUse::group, socket);
            if (!opened.ok()) {
                problems.push_back("SAP: port " + std::to_string(kSapPort) + " cannot be opened: " + opened.problem);
                return sockets;
            }
            sockets.push_back(std::move(socket));
            memberships = 0;
        }
        for (const uint32_t group : kSapGroups) {
            const NetResult joined = sockets.back().join(group, each.address);
            if (!joined.ok()) {
                problems.push_back("SAP: cannot join " + addressText(group) + " on " + interfaceText(each) + ": " +
                                   joined.problem);
                break;
            }
            ++memberships;
        }
    }
    return sockets;
}

void listenForSap(Deadline end, const CancelToken& cancel, const std::vector<LocalInterface>& interfaces,
                  std::vector<FoundSource>& sources, std::vector<std::string>& problems)
{
    std::vector<Socket> sockets = sapSockets(interfaces, problems);
    SapSessions sessions;
    std::vector<char> buffer(kDatagramSize);
    // With several sockets, a short wait on each in turn.
    const Clock::duration slice = sockets.size() > 1 ? Clock::duration(kSapSlice) : end - Clock::now();
    while (!sockets.empty() && !cancel.cancelled() && Clock::now() < end) {
        for (Socket& socket : sockets) {
            Datagram datagram;
            const WaitLimit limit{std::min(end, Clock::now() + slice), &cancel};
            while (socket.receiveDatagram(buffer.data(), buffer.size(), limit, datagram).ok())
                sessions.take(buffer.data(), datagram.size, interfaceText(interfaces, datagram.interfaceIndex),
                              SapSessions::Clock::now());
        }
    }
    sources = sessions.sources(SapSessions::Clock::now());
}

// The body of the SAP thread: it ends at the end of the search or at a
// stop, never with an exception.
void listenForSapSafely(Deadline end, const CancelToken& cancel, const std::vector<LocalInterface>& interfaces,
                        std::vector<FoundSource>& sources, std::vector<std::string>& problems) noexcept
{
    try {
        listenForSap(end, cancel, interfaces, sources, problems);
    } catch (const std::exception& error) {
        sources.clear();
        problems.clear();
        problems.push_back("SAP: the announcements " + couldNotBeRead(error));
    }
}

// Joins a thread however the scope that started it ends.
struct JoinAtEnd {
    std::thread& thread;
    ~JoinAtEnd()
    {
        if (thread.joinable())
            thread.join();
    }
};

// A device that answered, with where its answer came from.
struct Answer {
    DeviceMatch device;
    uint32_t responder = 0;
    std::string interfaceName;
};

// A device's answer, kept once per device: an answer to our Probe takes
// the place of a Hello of the same device.
void keepAnswer(Answer answer, std::map<std::string, size_t>& known, std::vector<Answer>& answers)
{
    const auto found = known.find(answer.device.endpoint);
    if (found != known.end()) {
        if (answers[found->second].device.announced && !answer.device.announced)
            answers[found->second] = std::move(answer);
        return;
    }
    if (answers.size() >= kMaxCameras)
        return;
    known.emplace(answer.device.endpoint, answers.size());
    answers.push_back(std::move(answer));
}

void searchCameras(Deadline searchEnd, const CancelToken& cancel, const std::vector<LocalInterface>& interfaces,
                   std::vector<Answer>& answers, std::string& problem)
{
    const std::string messageId = newMessageId();
    Socket socket;
    const NetResult opened = Socket::udpReceiver(0, PortUse::exclusive, socket);
    if (messageId.empty()) {
        problem = "WS-Discovery: the system gave no random bytes for a message identifier";
        return;
    }
    if (!opened.ok()) {
        problem = "WS-Discovery: no socket: " + opened.problem;
        return;
    }
    // Hello messages go to the group's port.
    Socket hellos;
    if (Socket::udpReceiver(kWsDiscoveryPort, PortUse::group, hellos).ok())
        for (const LocalInterface& each : interfaces)
            hellos.join(kWsDiscoveryGroup, each.address);
    const std::string probe = discoveryProbe(messageId);
    std::map<std::string, size_t> known;  // endpoint → position in answers
    std::vector<char> buffer(kDatagramSize);
    Deadline nextRound = Clock::now();
    int rounds = 0;
    while (!cancel.cancelled() && Clock::now() < searchEnd) {
        if (rounds < kProbeRounds && Clock::now() >= nextRound) {
            for (const LocalInterface& each : interfaces)
                socket.sendDatagram(probe, kWsDiscoveryGroup, kWsDiscoveryPort, each.address);
            ++rounds;
            nextRound += kProbeSpacing;
        }
        const Deadline waitEnd = rounds < kProbeRounds ? std::min(nextRound, searchEnd) : searchEnd;
        // Replies and Hellos in turns: a short wait on each.
        for (Socket* receiver : {&socket, &hellos}) {
            Datagram datagram;
            const Deadline slice = Clock::now() + (receiver == &socket ? kReplySlice : kHelloSlice);
            const WaitLimit limit{std::min(waitEnd, slice), &cancel};
            if (!receiver->receiveDatagram(buffer.data(), buffer.size(), limit, datagram).ok())
                continue;
            for (DeviceMatch& device : readDiscoveryReply(buffer.data(), datagram.size, messageId))
                keepAnswer({std::move(device), datagram.sender, interfaceText(interfaces, datagram.interfaceIndex)},
                           known, answers);
        }
    }
}

// A camera listed without its profiles, with why.
FoundSource cameraWithReason(const std::string& name, const std::string& interfaceName, const std::string& address,
                             const std::string& reason)
{
    FoundSource camera;
    camera.kind = "onvif";
    camera.name = name;
    camera.interfaceName = interfaceName;
    camera.address = address;
    camera.reason = reason;
    return camera;
}

// The body of a camera's thread: it ends when the camera has answered or
// the time is up, never with an exception; a camera that cannot be read is
// listed with the reason.
std::vector<FoundSource> askCameraSafely(const Answer& answer, const CameraLogin& login, const WaitLimit& limit) noexcept
{
    try {
        return askCamera(answer.device, answer.responder, answer.interfaceName, login, limit);
    } catch (const std::exception& error) {
        try {
            return {cameraWithReason(answer.device.name.empty() ? answer.device.endpoint : answer.device.name,
                                     answer.interfaceName, addressText(answer.responder), couldNotBeRead(error))};
        } catch (...) {
            return {};
        }
    }
}

// Each camera is asked on a thread of its own; when the system gives no
// more threads, the rest are asked here, one after the other.
template <typename Ask>
std::vector<std::vector<FoundSource>> askEach(size_t count, const Ask& ask)
{
    std::vector<std::vector<FoundSource>> cameras(count);
    std::vector<std::thread> askers;
    askers.reserve(count);  // no thread is left unjoined by a failed growth
    size_t index = 0;
    try {
        for (; index < count; ++index)
            askers.emplace_back([&, index] { cameras[index] = ask(index); });
    } catch (const std::exception&) {
        for (; index < count; ++index)
            cameras[index] = ask(index);
    }
    for (std::thread& asker : askers)
        asker.join();
    return cameras;
}

// The answer of the device at `address` to a Probe of its own, sent there.
bool probeAddress(uint32_t address, const CancelToken& cancel, DeviceMatch& device)
{
    const std::string messageId = newMessageId();
    Socket socket;
    if (messageId.empty() || !Socket::udpReceiver(0, PortUse::exclusive, socket).ok())
        return false;
    const std::string probe = discoveryProbe(messageId);
    std::vector<char> buffer(kDatagramSize);
    for (int round = 0; round < 2 && !cancel.cancelled(); ++round) {
        socket.sendDatagram(probe, address, kWsDiscoveryPort, 0);
        const WaitLimit limit{Clock::now() + kAddressProbeTime / 2, &cancel};
        Datagram datagram;
        while (socket.receiveDatagram(buffer.data(), buffer.size(), limit, datagram).ok()) {
            if (datagram.sender != address)
                continue;
            for (DeviceMatch& match : readDiscoveryReply(buffer.data(), datagram.size, messageId)) {
                if (!match.announced) {
                    device = std::move(match);
                    return true;
                }
            }
        }
    }
    return false;
}

// A camera that the user named by its address.
std::vector<FoundSource> askAddress(const CameraAddress& given, const CameraLogin& login, const CancelToken& cancel)
{
    uint32_t address = 0;
    const NetResult resolved = resolveIpv4(given.host, {Clock::now() + kResolveTime, &cancel}, address);
    if (!resolved.ok())
        return {cameraWithReason(given.host, kByAddress, given.host,
                                 resolved.status == NetStatus::timedOut
                                     ? "cannot be found: the name service gave no answer in " +
                                           std::to_string(kResolveTime.count()) + " s"
                                     : "cannot be found: " + resolved.problem)};
    DeviceMatch device;
    const bool answered = probeAddress(address, cancel, device);
    return askCameraAt(given, address, answered ? &device : nullptr, login, cancel);
}

// The body of an address's thread, as askCameraSafely.
std::vector<FoundSource> askAddressSafely(const CameraAddress& given, const CameraLogin& login,
                                          const CancelToken& cancel) noexcept
{
    try {
        return askAddress(given, login, cancel);
    } catch (const std::exception& error) {
        try {
            return {cameraWithReason(given.host, kByAddress, given.host, couldNotBeRead(error))};
        } catch (...) {
            return {};
        }
    }
}

// The place of a camera's address in the list: by address, unknown ones last.
uint64_t orderOf(const std::string& address)
{
    uint32_t parsed = 0;
    return parseIpv4(address, parsed) ? parsed : uint64_t(1) << 32;
}

}  // namespace

DiscoveryFindings discoverSources(std::chrono::milliseconds duration, const SearchScope& scope,
                                  const CameraLogin& login, const CancelToken& cancel)
{
    DiscoveryFindings findings;
    std::string problem;
    if (!startNetworking(problem)) {
        findings.problems.push_back(problem);
        return findings;
    }
    // The cameras named by their addresses are asked meanwhile.
    std::vector<std::vector<FoundSource>> named;
    std::thread addressed;
    // Ends with its cameras, never with an exception: short of memory, none is listed.
    const auto askNamed = [&]() noexcept {
        try {
            named = askEach(scope.cameras.size(),
                            [&](size_t index) { return askAddressSafely(scope.cameras[index], login, cancel); });
        } catch (const std::exception&) {
            named.clear();
        }
    };
    if (!scope.cameras.empty()) {
        try {
            addressed = std::thread(askNamed);
        } catch (const std::system_error&) {
            askNamed();
        }
    }
    const JoinAtEnd addressedJoined{addressed};

    std::vector<FoundSource> sessions;
    std::vector<std::string> sapProblems;
    std::vector<Answer> answers;
    std::vector<std::vector<FoundSource>> cameras;
    std::string cameraProblem;
    if (scope.multicast) {
        const std::vector<LocalInterface> interfaces = localInterfaces();
        if (interfaces.empty())
            findings.problems.push_back("no IPv4 interface is up: nothing to search");
        for (const LocalInterface& each : interfaces)
            findings.interfaces.push_back(interfaceText(each));
        const Deadline start = Clock::now();
        const Deadline end = start + duration;
        std::thread sap;
        try {
            sap = std::thread(listenForSapSafely, end, std::cref(cancel), std::cref(interfaces), std::ref(sessions),
                              std::ref(sapProblems));
        } catch (const std::system_error&) {
            sapProblems.push_back("SAP: not searched: the system gives no thread for it");
        }
        const JoinAtEnd sapJoined{sap};

        // Cameras answer within a second or two; the rest of the time is theirs
        // for the SOAP calls.
        searchCameras(std::max(start + duration / 2, start + std::chrono::seconds(1)), cancel, interfaces, answers,
                      cameraProblem);
        const WaitLimit limit{std::max(end, Clock::now() + kCameraTime), &cancel};
        cameras = askEach(answers.size(),
                          [&](size_t index) { return askCameraSafely(answers[index], login, limit); });
    }
    if (addressed.joinable())
        addressed.join();

    std::vector<size_t> order(answers.size());
    for (size_t index = 0; index < order.size(); ++index)
        order[index] = index;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return answers[a].responder < answers[b].responder; });
    for (const size_t index : order)
        findings.sources.insert(findings.sources.end(), cameras[index].begin(), cameras[index].end());
    std::vector<FoundSource> atAddresses;
    for (const std::vector<FoundSource>& camera : named)
        atAddresses.insert(atAddresses.end(), camera.begin(), camera.end());
    findings.sources = withNamedCameras(std::move(findings.sources), atAddresses);
    findings.sources.insert(findings.sources.end(), sessions.begin(), sessions.end());
    if (!cameraProblem.empty())
        findings.problems.push_back(cameraProblem);
    findings.problems.insert(findings.problems.end(), sapProblems.begin(), sapProblems.end());
    return findings;
}

std::vector<FoundSource> withNamedCameras(std::vector<FoundSource> listed, const std::vector<FoundSource>& named)
{
    for (const FoundSource& source : named) {
        if (source.profileToken.empty())
            continue;
        listed.erase(std::remove_if(listed.begin(), listed.end(),
                                    [&](const FoundSource& other) {
                                        return other.kind == "onvif" && other.interfaceName != kByAddress &&
                                               other.address == source.address;
                                    }),
                     listed.end());
    }
    for (const FoundSource& source : named) {
        const uint64_t order = orderOf(source.address);
        listed.insert(std::find_if(listed.begin(), listed.end(),
                                   [&](const FoundSource& other) {
                                       return other.kind != "onvif" || orderOf(other.address) > order;
                                   }),
                      source);
    }
    return listed;
}

std::string cameraAddressText(const CameraAddress& address)
{
    return address.host + (address.serviceGiven ? ":" + std::to_string(address.port) : "");
}

std::string searchedText(const DiscoveryFindings& findings, const SearchScope& scope)
{
    std::string text;
    for (const std::string& each : findings.interfaces)
        text += (text.empty() ? "" : ", ") + each;
    if (scope.multicast && text.empty())
        text = "no interface";
    std::string addresses;
    for (const CameraAddress& each : scope.cameras)
        addresses += (addresses.empty() ? "" : ", ") + cameraAddressText(each);
    if (addresses.empty())
        return text;
    return scope.multicast ? text + "; and at " + addresses : "only at " + addresses;
}
