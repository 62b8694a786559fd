#include "discover/onvif_camera.h"

#include <algorithm>
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

constexpr char kSoapType[] = "application/soap+xml; charset=utf-8";

// One camera's SOAP conversation: the log-in it asked for, and why the last
// call failed.
class CameraSession {
public:
    // `withheld`: why no log-in goes to this camera ("" when it may).
    CameraSession(uint32_t address, const CameraLogin& login, const std::string& withheld, const WaitLimit& limit)
        : address_(address), login_(login), withheld_(withheld), limit_(limit)
    {
    }

    // The camera's clock against ours; asked without log-in.
    void learnClock(const UrlParts& device)
    {
        HttpReply answer;
        std::time_t cameraTime = 0;
        if (post(device, getSystemDateAndTime(), nullptr, answer).ok() && answer.status == 200 &&
            readSystemDateAndTime(answer.body, cameraTime))
            offset_ = cameraTime - std::time(nullptr);
    }

    // POSTs a request; the reply's body when the camera answered it. The
    // log-in goes with it only once the camera asked for it.
    bool call(const UrlParts& url, const std::string& body, std::string& reply)
    {
        const HttpLogin* login = withheld_.empty() && !login_.user.empty() ? &login_ : nullptr;
        HttpReply answer;
        NetResult result = post(url, body, login, answer);
        if (result.ok() && login != nullptr && !tokenWanted_ && asksForToken(answer)) {
            tokenWanted_ = true;  // from now on with every request to this camera
            result = post(url, body, login, answer);
        }
        if (!result.ok()) {
            problem_ = result.status == NetStatus::malformed
                           ? "could not be read: " + result.problem
                           : "cannot be reached (" + (result.problem.empty() ? "no answer in time" : result.problem) + ")";
            return false;
        }
        std::string reason;
        bool notAuthorized = false;
        if (answer.status == 401 || (readFault(answer.body, reason, notAuthorized) && notAuthorized)) {
            problem_ = loginProblem(answer, login != nullptr);
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
    NetResult post(const UrlParts& url, const std::string& body, const HttpLogin* login, HttpReply& answer)
    {
        UsernameToken token;
        if (tokenWanted_) {
            token = {login_.user, login_.password, "", utcText(std::time(nullptr) + offset_)};
            if (!randomBytes(16, token.nonce))
                return {NetStatus::failed, "the system gave no random bytes for the log-in"};
        }
        const HttpRequest request{"POST", url, kSoapType, soapEnvelope(body, tokenWanted_ ? &token : nullptr)};
        return httpExchange(address_, request, login, limit_, answer);
    }

    // WS-Security's log-in, asked for with a NotAuthorized fault, or with a
    // 401 that offers no HTTP log-in.
    static bool asksForToken(const HttpReply& answer)
    {
        std::string reason;
        bool notAuthorized = false;
        return (answer.status == 401 && answer.challenges.empty()) ||
               (readFault(answer.body, reason, notAuthorized) && notAuthorized);
    }

    std::string loginProblem(const HttpReply& answer, bool loggedIn) const
    {
        if (!loggedIn)
            return withheld_.empty() ? "needs a user name and password (--user, --password-stdin)" : withheld_;
        if (answer.status == 401 && !answer.challenges.empty() && !answer.unanswerable.empty())
            return "asks for a log-in that this program cannot give (" + answer.unanswerable + ")";
        return "refused the user name or password";
    }

    uint32_t address_;
    const CameraLogin& login_;
    std::string withheld_;
    WaitLimit limit_;
    std::time_t offset_ = 0;
    bool tokenWanted_ = false;
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

bool CameraLogin::allows(uint32_t camera) const
{
    return cameras.empty() || std::find(cameras.begin(), cameras.end(), camera) != cameras.end();
}

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

    if (device.announced) {
        // Anyone can announce anything: no request, and no log-in, goes to it.
        camera.reason = "announced itself; search again to log in";
        return {camera};
    }
    UrlParts deviceUrl;
    if (!deviceService(device, deviceUrl)) {
        camera.reason = "it names no HTTP device service";
        return {camera};
    }
    const std::string withheld =
        login.allows(responder) ? "" : "needs a user name and password (not one of the cameras chosen for the log-in)";
    CameraSession session(responder, login, withheld, limit);
    session.learnClock(deviceUrl);
    std::string reply;
    std::string mediaAddress;
    UrlParts mediaUrl;
    if (!session.call(deviceUrl, getCapabilities(), reply) || !readMediaAddress(reply, mediaAddress) ||
        !readUrl(mediaAddress, 80, mediaUrl)) {
        camera.reason = session.problem().empty() ? "it names no media service" : "it " + session.problem();
        return {camera};
    }
    std::vector<MediaProfile> profiles;
    if (!session.call(mediaUrl, getProfiles(), reply) || !readProfiles(reply, profiles) || profiles.empty()) {
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
        if (!session.call(mediaUrl, getStreamUri(profile.token), reply) || !readStreamUri(reply, uri))
            source.reason = session.problem().empty() ? "it gave no stream URL" : "it " + session.problem();
        else
            presetOfStreamUri(uri, reachable, source);
        sources.push_back(source);
    }
    return sources;
}
