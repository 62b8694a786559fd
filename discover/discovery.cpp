#include "discover/discovery.h"

#include <algorithm>
#include <map>
#include <thread>

#include "discover/onvif_messages.h"
#include "discover/sap_reader.h"
#include "probe/net_socket.h"

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

// "eth1 (10.1.0.5)" for the interface a datagram arrived on.
std::string interfaceText(const std::vector<LocalInterface>& interfaces, unsigned index)
{
    for (const LocalInterface& each : interfaces)
        if (each.index == index)
            return each.name + " (" + addressText(each.address) + ")";
    return "interface " + std::to_string(index);
}

void listenForSap(Deadline end, const CancelToken& cancel, const std::vector<LocalInterface>& interfaces,
                  std::vector<FoundSource>& sources, std::string& problem)
{
    Socket socket;
    const NetResult opened = Socket::udpReceiver(kSapPort, PortUse::group, socket);
    if (!opened.ok()) {
        problem = "SAP: port " + std::to_string(kSapPort) + " cannot be opened: " + opened.problem;
        return;
    }
    for (const LocalInterface& each : interfaces)
        for (const uint32_t group : kSapGroups)
            socket.join(group, each.address);  // an interface without multicast keeps its silence
    SapSessions sessions;
    std::vector<char> buffer(kDatagramSize);
    for (;;) {
        Datagram datagram;
        const NetResult received = socket.receiveDatagram(buffer.data(), buffer.size(), {end, &cancel}, datagram);
        if (!received.ok())
            break;
        sessions.take(buffer.data(), datagram.size, interfaceText(interfaces, datagram.interfaceIndex),
                      SapSessions::Clock::now());
    }
    sources = sessions.sources(SapSessions::Clock::now());
}

// A device that answered, with where its answer came from.
struct Answer {
    DeviceMatch device;
    uint32_t responder = 0;
    std::string interfaceName;
};

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
            for (DeviceMatch& device : readDiscoveryReply(buffer.data(), datagram.size, messageId)) {
                if (known.count(device.endpoint) || answers.size() >= 64)
                    continue;
                known[device.endpoint] = answers.size();
                answers.push_back({device, datagram.sender, interfaceText(interfaces, datagram.interfaceIndex)});
            }
        }
    }
}

}  // namespace

DiscoveryFindings discoverSources(std::chrono::milliseconds duration, const CameraLogin& login,
                                  const CancelToken& cancel)
{
    DiscoveryFindings findings;
    std::string problem;
    if (!startNetworking(problem)) {
        findings.problems.push_back(problem);
        return findings;
    }
    const std::vector<LocalInterface> interfaces = localInterfaces();
    if (interfaces.empty())
        findings.problems.push_back("no IPv4 interface is up: nothing to search");
    const Deadline start = Clock::now();
    const Deadline end = start + duration;
    std::vector<FoundSource> sessions;
    std::string sapProblem;
    std::thread sap(listenForSap, end, std::cref(cancel), std::cref(interfaces), std::ref(sessions),
                    std::ref(sapProblem));

    // Cameras answer within a second or two; the rest of the time is theirs
    // for the SOAP calls.
    std::vector<Answer> answers;
    std::string cameraProblem;
    searchCameras(std::max(start + duration / 2, start + std::chrono::seconds(1)), cancel, interfaces, answers,
                  cameraProblem);
    std::vector<std::vector<FoundSource>> cameras(answers.size());
    {
        const WaitLimit limit{std::max(end, Clock::now() + kCameraTime), &cancel};
        std::vector<std::thread> askers;
        for (size_t index = 0; index < answers.size(); ++index)
            askers.emplace_back([&, index] {
                cameras[index] = askCamera(answers[index].device, answers[index].responder,
                                           answers[index].interfaceName, login, limit);
            });
        for (std::thread& asker : askers)
            asker.join();
    }
    sap.join();

    std::vector<size_t> order(answers.size());
    for (size_t index = 0; index < order.size(); ++index)
        order[index] = index;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return answers[a].responder < answers[b].responder; });
    for (const size_t index : order)
        findings.sources.insert(findings.sources.end(), cameras[index].begin(), cameras[index].end());
    findings.sources.insert(findings.sources.end(), sessions.begin(), sessions.end());
    for (const std::string& each : {cameraProblem, sapProblem})
        if (!each.empty())
            findings.problems.push_back(each);
    return findings;
}
