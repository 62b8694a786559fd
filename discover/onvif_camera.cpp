#include "discover/onvif_camera.h"

#include <chrono>
#include <cstdlib>

#include "discover/crypto.h"
#include "discover/http_exchange.h"
#include "model/protocol_table.h"
#include "model/stream_url.h"

namespace {

constexpr size_t kMaxAskedProfiles = 8;
// A clock further off than this is worth a note: it explains refused log-ins elsewhere.
constexpr long long kNotedOffsetSeconds = 5;

// One camera's SOAP conversation: the log-in that works, and why the last
// call failed.
class CameraSession {
public:
    CameraSession(uint32_t address, const CameraLogin& login, const WaitLimit& limit)
        : address_(address), login_(login), limit_(limit)
    {
    }

    // The camera's clock against ours; asked without log-in.
    void learnClock(const UrlParts& device)
    {
        std::string reply;
        std::time_t cameraTime = 0;
        if (call(device, getSystemDateAndTime(), false, reply) && readSystemDateAndTime(reply, cameraTime))
            offset_ = cameraTime - std::time(nullptr);
    }

    // POSTs a request; the reply's body when the camera answered it.
    bool call(const UrlParts& url, const std::string& body, bool logIn, std::string& reply)
    {
        const bool withLogin = logIn && !login_.user.empty();
        UsernameToken token;
        if (withLogin && !httpDigest_) {
            token = {login_.user, login_.password, "", utcText(std::time(nullptr) + offset_)};
            if (!randomBytes(16, token.nonce)) {
                problem_ = "no random bytes for the log-in";
                return false;
            }
        }
        const std::string envelope = soapEnvelope(body, withLogin && !httpDigest_ ? &token : nullptr);
        HttpReply answer;
        NetResult result = postSoap(address_, url, envelope, digestFor(url), limit_, answer);
        if (result.ok() && answer.status == 401 && withLogin && !httpDigest_ && !answer.challenge.empty()) {
            // The camera wants HTTP Digest instead of the token.
            if (!randomBytes(8, clientNonce_)) {
                problem_ = "no random bytes for the log-in";
                return false;
            }
            httpDigest_ = true;
            challenge_ = answer.challenge;
            answer = {};
            result = postSoap(address_, url, soapEnvelope(body, nullptr), digestFor(url), limit_, answer);
        }
        if (!result.ok()) {
            problem_ = "cannot be reached (" + (result.problem.empty() ? "no answer in time" : result.problem) + ")";
            return false;
        }
        std::string reason;
        bool notAuthorized = false;
        if (answer.status == 401 || (readFault(answer.body, reason, notAuthorized) && notAuthorized)) {
            problem_ = login_.user.empty() ? "needs a user name and password (--user, --password-stdin)"
                                           : "refused the user name or password";
            return false;
        }
        if (answer.status != 200) {
            problem_ = "answered HTTP " + std::to_string(answer.status) + (reason.empty() ? "" : ": " + reason);
            return false;
        }
        reply = std::move(answer.body);
        return true;
    }

    const std::string& problem() const { return problem_; }
    long long offsetSeconds() const { return static_cast<long long>(offset_); }

private:
    // The Authorization header of the next request, once the camera asked for HTTP Digest.
    std::string digestFor(const UrlParts& url)
    {
        if (!httpDigest_)
            return {};
        return digestAuthorization(challenge_, login_.user, login_.password, "POST", url.path, hexText(clientNonce_),
                                   ++nonceCount_);
    }

    uint32_t address_;
    const CameraLogin& login_;
    WaitLimit limit_;
    std::time_t offset_ = 0;
    bool httpDigest_ = false;
    std::string challenge_;
    std::string clientNonce_;
    unsigned nonceCount_ = 0;
    std::string problem_;
};

// The device service URL to use: the first http:// one.
bool deviceService(const DeviceMatch& device, UrlParts& url)
{
    for (const std::string& address : device.xaddrs) {
        if (readUrl(address, 80, url) && url.scheme == "http")
            return true;
    }
    return false;
}

std::string streamText(const MediaProfile& profile)
{
    std::string text = profile.encoding.empty() ? "video" : profile.encoding;
    if (profile.width > 0 && profile.height > 0)
        text += " " + std::to_string(profile.width) + "x" + std::to_string(profile.height);
    return text;
}

}  // namespace

bool presetOfStreamUri(const std::string& uri, const std::string& reachable, FoundSource& source)
{
    const StreamUrl url = readStreamUrl(uri);
    if (url.reading == UrlReading::refused) {
        source.reason = url.refusal;
        return false;
    }
    if (url.reading != UrlReading::source || !isRtspKeyword(protocolKeyword(url.protocol))) {
        source.reason = "its stream URL is no RTSP URL";
        return false;
    }
    source.host = url.host;
    if (source.host != reachable) {
        source.note += (source.note.empty() ? "" : "; ") + std::string("the camera named ") + source.host +
                       " in its stream URL; rewritten to " + reachable;
        source.host = reachable;
    }
    // ONVIF's "RTSP" transport is RTP interleaved in the RTSP connection.
    source.keyword = "rtsp-tcp";
    source.port = url.port;
    source.streamName = url.streamName;
    return true;
}

std::vector<FoundSource> askCamera(const DeviceMatch& device, uint32_t responder, const std::string& interfaceName,
                                   const CameraLogin& login, const WaitLimit& limit)
{
    const std::string reachable = addressText(responder);
    FoundSource camera;
    camera.kind = "onvif";
    camera.name = device.name.empty() ? device.endpoint : device.name;
    camera.interfaceName = interfaceName;
    camera.address = reachable;
    camera.location = device.location + (device.location.empty() || device.hardware.empty() ? "" : ", ") +
                      device.hardware;
    camera.hardware = device.hardware;

    UrlParts deviceUrl;
    if (!deviceService(device, deviceUrl)) {
        camera.reason = "it names no HTTP device service";
        return {camera};
    }
    CameraSession session(responder, login, limit);
    session.learnClock(deviceUrl);
    std::string reply;
    std::string mediaAddress;
    UrlParts mediaUrl;
    if (!session.call(deviceUrl, getCapabilities(), true, reply) || !readMediaAddress(reply, mediaAddress) ||
        !readUrl(mediaAddress, 80, mediaUrl)) {
        camera.reason = session.problem().empty() ? "it names no media service" : "it " + session.problem();
        return {camera};
    }
    std::vector<MediaProfile> profiles;
    if (!session.call(mediaUrl, getProfiles(), true, reply) || !readProfiles(reply, profiles) || profiles.empty()) {
        camera.reason = session.problem().empty() ? "it offers no media profile" : "it " + session.problem();
        return {camera};
    }
    if (std::abs(session.offsetSeconds()) > kNotedOffsetSeconds)
        camera.note = "its clock is " + std::to_string(std::abs(session.offsetSeconds())) + " s " +
                      (session.offsetSeconds() > 0 ? "ahead of" : "behind") + " this machine's; the log-in used the camera's";
    std::vector<FoundSource> sources;
    for (size_t index = 0; index < profiles.size() && index < kMaxAskedProfiles; ++index) {
        const MediaProfile& profile = profiles[index];
        FoundSource source = camera;
        source.name = camera.name + " / " + (profile.name.empty() ? profile.token : profile.name);
        source.stream = streamText(profile);
        std::string uri;
        if (!session.call(mediaUrl, getStreamUri(profile.token), true, reply) || !readStreamUri(reply, uri))
            source.reason = session.problem().empty() ? "it gave no stream URL" : "it " + session.problem();
        else
            presetOfStreamUri(uri, reachable, source);
        sources.push_back(source);
    }
    return sources;
}
