#include "discover/onvif_camera.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "discover/crypto.h"
#include "discover/http_exchange.h"
#include "discover/network_text.h"
#include "model/protocol_table.h"
#include "model/stream_url.h"

namespace {

constexpr size_t kMaxAskedProfiles = 8;
// A clock further off than this is worth a note: it explains refused log-ins elsewhere.
constexpr long long kNotedOffsetSeconds = 5;

constexpr char kSoapType[] = "application/soap+xml; charset=utf-8";

// The time a camera named by its address has to tell its time, and then to
// answer the rest.
constexpr auto kAddressedTime = std::chrono::seconds(3);

// One camera's SOAP conversation: the log-in it asked for, and why the last
// call failed.
class CameraSession {
public:
    // `withheld`: why no log-in goes to this camera ("" when it may).
    CameraSession(uint32_t address, const CameraLogin& login, const std::string& withheld, const WaitLimit& limit)
        : address_(address), login_(login), withheld_(withheld), limit_(limit)
    {
    }

    // The camera's clock against ours; asked without log-in. The answer
    // tells whether the device is a camera at all.
    NetResult learnClock(const UrlParts& device, HttpReply& answer)
    {
        std::time_t cameraTime = 0;
        const NetResult result = post(device, getSystemDateAndTime(), nullptr, answer);
        if (result.ok() && answer.status == 200 && readSystemDateAndTime(answer.body, cameraTime))
            offset_ = cameraTime - std::time(nullptr);
        return result;
    }

    // POSTs a request; the reply's body when the camera answered it. The
    // log-in goes with it only once the camera asked for it.
    bool call(const UrlParts& url, const std::string& body, std::string& reply)
    {
        const HttpLogin* login = withheld_.empty() && !login_.user.empty() ? &login_ : nullptr;
        faulted_ = false;
        faultReason_.clear();
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
        faulted_ = readFault(answer.body, reason, notAuthorized);
        if (answer.status == 401 || (faulted_ && notAuthorized)) {
            problem_ = loginProblem(answer, login != nullptr);
            return false;
        }
        if (answer.status != 200) {
            problem_ = "answered HTTP " + std::to_string(answer.status) + (reason.empty() ? "" : ": " + reason);
            faultReason_ = reason;
            return false;
        }
        reply = std::move(answer.body);
        return true;
    }

    const std::string& problem() const { return problem_; }
    // Whether the last call failed with a fault other than a refused log-in, and its reason.
    bool faulted() const { return faulted_; }
    const std::string& faultReason() const { return faultReason_; }
    long long offsetSeconds() const { return static_cast<long long>(offset_); }
    void setLimit(const WaitLimit& limit) { limit_ = limit; }

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
    bool faulted_ = false;
    std::string faultReason_;
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

// Why no log-in goes to the camera at `address`; "" when it may.
std::string withheldFrom(const CameraLogin& login, uint32_t address)
{
    return login.allows(address) ? "" : "needs a user name and password (not one of the cameras chosen for the log-in)";
}

// The camera as a source before its profiles are known.
FoundSource cameraOf(const DeviceMatch& device, uint32_t address, const std::string& interfaceName)
{
    FoundSource camera;
    camera.kind = "onvif";
    camera.name = device.name.empty() ? device.endpoint : device.name;
    camera.interfaceName = interfaceName;
    camera.address = addressText(address);
    camera.location = device.location + (device.location.empty() || device.hardware.empty() ? "" : ", ") +
                      device.hardware;
    camera.hardware = device.hardware;
    return camera;
}

// Why a device service that was asked for its time is no ONVIF camera, in
// the words of its answer; "" when it is one (its time, a fault, a log-in
// asked for).
std::string notOnvif(const NetResult& result, const HttpReply& answer, uint16_t port)
{
    const std::string on = "port " + std::to_string(port);
    switch (result.status) {
    case NetStatus::done:
        break;
    case NetStatus::timedOut:
        return "no answer on " + on + " in " + std::to_string(kAddressedTime.count()) + " s";
    case NetStatus::refused:
        return "nothing answers on " + on + " (the connection is refused)";
    case NetStatus::stopped:
        return "stopped";
    case NetStatus::malformed:
        return "could not be read: " + result.problem;
    default:
        return "cannot be reached on " + on + " (" + result.problem + ")";
    }
    std::time_t time = 0;
    std::string reason;
    bool notAuthorized = false;
    if ((answer.status == 200 && readSystemDateAndTime(answer.body, time)) || answer.status == 401 ||
        readFault(answer.body, reason, notAuthorized))
        return "";
    return "answers HTTP but not ONVIF";
}

// The camera's media service, profiles, stream URLs and snapshot URLs,
// asked through its device service; a source per profile, or the camera
// alone with why it has none.
std::vector<FoundSource> askServices(CameraSession& session, const FoundSource& camera, const UrlParts& deviceUrl)
{
    FoundSource failed = camera;
    std::string reply;
    std::string mediaAddress;
    UrlParts mediaUrl;
    if (!session.call(deviceUrl, getCapabilities(), reply) || !readMediaAddress(reply, mediaAddress) ||
        !readUrl(mediaAddress, 80, mediaUrl)) {
        failed.reason = session.problem().empty() ? "it names no media service" : "it " + session.problem();
        return {failed};
    }
    std::vector<MediaProfile> profiles;
    if (!session.call(mediaUrl, getProfiles(), reply) || !readProfiles(reply, profiles) || profiles.empty()) {
        failed.reason = session.problem().empty() ? "it offers no media profile" : "it " + session.problem();
        return {failed};
    }
    std::string note;
    if (std::abs(session.offsetSeconds()) > kNotedOffsetSeconds)
        note = "its clock is " + std::to_string(std::abs(session.offsetSeconds())) + " s " +
               (session.offsetSeconds() > 0 ? "ahead of" : "behind") + " this machine's; the log-in used the camera's";
    std::vector<FoundSource> sources;
    for (size_t index = 0; index < profiles.size() && index < kMaxAskedProfiles; ++index) {
        const MediaProfile& profile = profiles[index];
        FoundSource source = camera;
        source.note = note;
        source.name = camera.name + " / " + (profile.name.empty() ? profile.token : profile.name);
        source.stream = streamText(profile);
        source.profileToken = profile.token;
        std::string uri;
        if (!session.call(mediaUrl, getStreamUri(profile.token), reply) || !readStreamUri(reply, uri))
            source.reason = session.problem().empty() ? "it gave no stream URL" : "it " + session.problem();
        else
            presetOfStreamUri(uri, camera.address, source);
        sources.push_back(source);
    }
    // The pictures after the streams: a camera short of time loses its snapshots first.
    for (FoundSource& source : sources) {
        std::string uri;
        if (session.call(mediaUrl, getSnapshotUri(source.profileToken), reply) && readSnapshotUri(reply, uri))
            snapshotOfUri(uri, camera.address, source);
        else if (session.faulted())
            source.snapshotReason = "the camera has none" +
                                    (session.faultReason().empty() ? "" : " (" + session.faultReason() + ")");
        else
            source.snapshotReason = session.problem().empty() ? "it gave no snapshot URL" : "it " + session.problem();
    }
    return sources;
}

// "the camera named 127.0.0.1 in its stream URL; rewritten to 10.1.0.9"
std::string rewriteNote(const std::string& named, const char* where, const std::string& reachable)
{
    return "the camera named " + named + " in its " + where + "; rewritten to " + reachable;
}

void addNote(FoundSource& source, const std::string& note)
{
    source.note += (source.note.empty() ? "" : "; ") + note;
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
        addNote(source, rewriteNote(source.host, "stream URL", reachable));
        source.host = reachable;
    }
    // ONVIF's "RTSP" transport is RTP interleaved in the RTSP connection.
    source.keyword = "rtsp-tcp";
    source.port = url.port;
    source.streamName = url.streamName;
    return true;
}

bool snapshotOfUri(const std::string& uri, const std::string& reachable, FoundSource& source)
{
    UrlParts url;
    if (!readUrl(uri, 80, url) || url.scheme != "http") {
        source.snapshotReason = "its snapshot URL is no http:// URL";
        return false;
    }
    if (url.host != reachable) {
        // One note where the stream URL named the same host.
        const std::string streamNote = rewriteNote(url.host, "stream URL", reachable);
        const size_t noted = source.note.find(streamNote);
        if (noted != std::string::npos)
            source.note.replace(noted, streamNote.size(), rewriteNote(url.host, "stream and snapshot URLs", reachable));
        else
            addNote(source, rewriteNote(url.host, "snapshot URL", reachable));
    }
    // A user name and password in it are never sent: the camera asks, and gets the log-in.
    source.snapshotUrl = "http://" + reachable + ":" + std::to_string(url.port) + url.path;
    return true;
}

std::vector<FoundSource> askCamera(const DeviceMatch& device, uint32_t responder, const std::string& interfaceName,
                                   const CameraLogin& login, const WaitLimit& limit)
{
    FoundSource camera = cameraOf(device, responder, interfaceName);
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
    CameraSession session(responder, login, withheldFrom(login, responder), limit);
    HttpReply answer;
    session.learnClock(deviceUrl, answer);
    return askServices(session, camera, deviceUrl);
}

std::vector<FoundSource> askCameraAt(const CameraAddress& given, uint32_t address, const DeviceMatch* answered,
                                     const CameraLogin& login, const CancelToken& cancel)
{
    const DeviceMatch device = answered ? *answered : DeviceMatch();
    FoundSource camera = cameraOf(device, address, kByAddress);
    if (device.name.empty())
        camera.name = given.host;  // as the user knows it, rather than a uuid
    UrlParts deviceUrl;
    if (given.serviceGiven || !deviceService(device, deviceUrl))
        deviceUrl = {"http", given.host, static_cast<uint16_t>(given.port), given.path, false};
    CameraSession session(address, login, withheldFrom(login, address), {Clock::now() + kAddressedTime, &cancel});
    HttpReply answer;
    const std::string problem = notOnvif(session.learnClock(deviceUrl, answer), answer, deviceUrl.port);
    if (!problem.empty()) {
        camera.reason = problem;
        return {camera};
    }
    session.setLimit({Clock::now() + kAddressedTime, &cancel});
    return askServices(session, camera, deviceUrl);
}

bool fetchSnapshot(const FoundSource& source, const CameraLogin& login, const CancelToken& cancel, std::string& jpeg,
                   std::string& problem)
{
    UrlParts url;
    uint32_t address = 0;
    if (source.snapshotUrl.empty()) {
        problem = source.snapshotReason.empty() ? "the camera has none" : source.snapshotReason;
        return false;
    }
    // Only ever to the camera that the source was found at.
    if (!readUrl(source.snapshotUrl, 80, url) || url.host != source.address || !parseIpv4(url.host, address)) {
        problem = "its snapshot URL is not at the camera's address";
        return false;
    }
    const HttpLogin* httpLogin = !login.user.empty() && login.allows(address) ? &login : nullptr;
    const HttpRequest request{"GET", url, "", "", kMaxSnapshot};
    HttpReply reply;
    const NetResult result = httpExchange(address, request, httpLogin, {Clock::now() + kSnapshotTime, &cancel}, reply);
    const std::string type = lowerCase(printableText(reply.contentType.substr(0, reply.contentType.find(';'))));
    if (!result.ok())
        problem = result.status == NetStatus::timedOut  ? "no answer in " + std::to_string(kSnapshotTime.count()) + " s"
                  : result.status == NetStatus::stopped ? "stopped"
                  : result.status == NetStatus::malformed ? "could not be read: " + result.problem
                                                          : "cannot be reached (" + result.problem + ")";
    else if (reply.status == 401 && httpLogin == nullptr)
        problem = "it needs a user name and password";
    else if (reply.status == 401)
        problem = reply.unanswerable.empty() ? "it refused the user name or password"
                                             : "it asks for a log-in that this program cannot give (" +
                                                   reply.unanswerable + ")";
    else if (reply.status != 200)
        problem = "it answered HTTP " + std::to_string(reply.status);
    else if (type != "image/jpeg")
        problem = "it sent " + (type.empty() ? std::string("no content type") : type) + ", not a JPEG";
    else if (reply.body.compare(0, 3, "\xFF\xD8\xFF") != 0)
        problem = "what it sent as a JPEG is none";
    else
        problem.clear();
    if (!problem.empty())
        return false;
    jpeg = std::move(reply.body);
    return true;
}
