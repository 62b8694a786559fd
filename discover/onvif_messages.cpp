#include "discover/onvif_messages.h"

#include <pugixml.hpp>

#include <cctype>
#include <cstring>

#include "discover/crypto.h"
#include "discover/network_text.h"
#include "probe/text_split.h"

namespace {

constexpr size_t kMaxDevices = 16;
constexpr size_t kMaxProfiles = 16;
constexpr size_t kMaxAddresses = 8;
constexpr size_t kMaxUrl = 512;

const char kEnvelopeStart[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
    " xmlns:tds=\"http://www.onvif.org/ver10/device/wsdl\""
    " xmlns:trt=\"http://www.onvif.org/ver10/media/wsdl\""
    " xmlns:tt=\"http://www.onvif.org/ver10/schema\">";

// The name of an element without its namespace prefix.
const char* localName(const pugi::xml_node& node)
{
    const char* name = node.name();
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

pugi::xml_node child(const pugi::xml_node& node, const char* name)
{
    for (pugi::xml_node each = node.first_child(); each; each = each.next_sibling())
        if (std::strcmp(localName(each), name) == 0)
            return each;
    return {};
}

// The element at the end of a path of local names, e.g. {"Body", "GetProfilesResponse"}.
pugi::xml_node path(pugi::xml_node node, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        node = child(node, name);
    return node;
}

// The first element of that local name at any depth.
pugi::xml_node descendant(const pugi::xml_node& node, const char* name)
{
    return node.find_node([name](const pugi::xml_node& each) { return std::strcmp(localName(each), name) == 0; });
}

std::string textOf(const pugi::xml_node& node, size_t limit = 120)
{
    return printableText(node.child_value(), limit);
}

// The body of a reply; empty when it is no SOAP envelope.
pugi::xml_node replyBody(pugi::xml_document& document, const char* bytes, size_t size)
{
    if (size > kMaxReply)
        return {};
    // No DOCTYPE node is kept and no entity of one is expanded.
    const pugi::xml_parse_result parsed = document.load_buffer(bytes, size, pugi::parse_default & ~pugi::parse_doctype);
    if (!parsed)
        return {};
    const pugi::xml_node envelope = document.first_child();
    if (std::strcmp(localName(envelope), "Envelope") != 0)
        return {};
    return child(envelope, "Body");
}

std::string escaped(const std::string& text)
{
    std::string result;
    for (const char c : text) {
        switch (c) {
        case '&': result += "&amp;"; break;
        case '<': result += "&lt;"; break;
        case '>': result += "&gt;"; break;
        case '"': result += "&quot;"; break;
        default: result += c;
        }
    }
    return result;
}

std::string percentDecoded(const std::string& text)
{
    std::string result;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '%' && at + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[at + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[at + 2]))) {
            result += static_cast<char>(std::stoi(text.substr(at + 1, 2), nullptr, 16));
            at += 2;
        } else {
            result += text[at];
        }
    }
    return result;
}

DeviceMatch deviceOf(const pugi::xml_node& match)
{
    DeviceMatch device;
    device.endpoint = textOf(path(match, {"EndpointReference", "Address"}), kMaxUrl);
    for (const std::string& address : splitWords(child(match, "XAddrs").child_value(), kMaxAddresses))
        device.xaddrs.push_back(printableText(address, kMaxUrl));
    for (const std::string& scope : splitWords(child(match, "Scopes").child_value(), 64)) {
        static const char kPrefix[] = "onvif://www.onvif.org/";
        if (scope.compare(0, sizeof kPrefix - 1, kPrefix) != 0)
            continue;
        const std::string rest = scope.substr(sizeof kPrefix - 1);
        const size_t slash = rest.find('/');
        const std::string key = rest.substr(0, slash);
        const std::string value = slash == std::string::npos ? "" : printableText(percentDecoded(rest.substr(slash + 1)));
        if (key == "name")
            device.name = value;
        else if (key == "location")
            device.location = value;
        else if (key == "hardware")
            device.hardware = value;
    }
    return device;
}

bool isVideoTransmitter(const pugi::xml_node& match)
{
    const std::string types = child(match, "Types").child_value();
    return types.find("NetworkVideoTransmitter") != std::string::npos;
}

}  // namespace

std::string newMessageId()
{
    std::string bytes;
    if (!randomBytes(16, bytes))
        return {};
    bytes[6] = static_cast<char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<char>((bytes[8] & 0x3F) | 0x80);
    const std::string hex = hexText(bytes);
    return "urn:uuid:" + hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" +
           hex.substr(16, 4) + "-" + hex.substr(20);
}

std::string discoveryProbe(const std::string& messageId)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
           "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
           " xmlns:a=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\""
           " xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\""
           " xmlns:dn=\"http://www.onvif.org/ver10/network/wsdl\">"
           "<s:Header><a:MessageID>" +
           escaped(messageId) +
           "</a:MessageID><a:To s:mustUnderstand=\"1\">urn:schemas-xmlsoap-org:ws:2005:04:discovery</a:To>"
           "<a:Action s:mustUnderstand=\"1\">http://schemas.xmlsoap.org/ws/2005/04/discovery/Probe</a:Action>"
           "</s:Header><s:Body><d:Probe><d:Types>dn:NetworkVideoTransmitter</d:Types></d:Probe></s:Body>"
           "</s:Envelope>";
}

std::vector<DeviceMatch> readDiscoveryReply(const char* bytes, size_t size, const std::string& messageId)
{
    pugi::xml_document document;
    const pugi::xml_node body = replyBody(document, bytes, size);
    std::vector<DeviceMatch> devices;
    if (!body)
        return devices;
    if (const pugi::xml_node hello = child(body, "Hello")) {
        if (isVideoTransmitter(hello)) {
            devices.push_back(deviceOf(hello));
            devices.back().announced = true;
        }
        return devices;
    }
    const pugi::xml_node header = child(document.first_child(), "Header");
    if (std::string(child(header, "RelatesTo").child_value()) != messageId)
        return devices;
    const pugi::xml_node matches = child(body, "ProbeMatches");
    for (pugi::xml_node match = matches.first_child(); match && devices.size() < kMaxDevices;
         match = match.next_sibling()) {
        if (std::strcmp(localName(match), "ProbeMatch") == 0 && isVideoTransmitter(match))
            devices.push_back(deviceOf(match));
    }
    return devices;
}

std::string utcText(std::time_t time)
{
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &time);
#else
    gmtime_r(&time, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

std::string soapEnvelope(const std::string& body, const UsernameToken* token)
{
    std::string header;
    if (token != nullptr) {
        const std::string digest = base64(sha1Digest(token->nonce + token->created + token->password));
        header = "<s:Header><wsse:Security s:mustUnderstand=\"1\""
                 " xmlns:wsse=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd\""
                 " xmlns:wsu=\"http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd\">"
                 "<wsse:UsernameToken><wsse:Username>" +
                 escaped(token->user) +
                 "</wsse:Username><wsse:Password Type=\"http://docs.oasis-open.org/wss/2004/01/"
                 "oasis-200401-wss-username-token-profile-1.0#PasswordDigest\">" +
                 digest +
                 "</wsse:Password><wsse:Nonce EncodingType=\"http://docs.oasis-open.org/wss/2004/01/"
                 "oasis-200401-wss-soap-message-security-1.0#Base64Binary\">" +
                 base64(token->nonce) + "</wsse:Nonce><wsu:Created>" + token->created +
                 "</wsu:Created></wsse:UsernameToken></wsse:Security></s:Header>";
    }
    return kEnvelopeStart + header + "<s:Body>" + body + "</s:Body></s:Envelope>";
}

std::string getSystemDateAndTime()
{
    return "<tds:GetSystemDateAndTime/>";
}

std::string getCapabilities()
{
    return "<tds:GetCapabilities><tds:Category>All</tds:Category></tds:GetCapabilities>";
}

std::string getProfiles()
{
    return "<trt:GetProfiles/>";
}

std::string getStreamUri(const std::string& profileToken)
{
    return "<trt:GetStreamUri><trt:StreamSetup><tt:Stream>RTP-Unicast</tt:Stream><tt:Transport>"
           "<tt:Protocol>RTSP</tt:Protocol></tt:Transport></trt:StreamSetup><trt:ProfileToken>" +
           escaped(profileToken) + "</trt:ProfileToken></trt:GetStreamUri>";
}

std::string getSnapshotUri(const std::string& profileToken)
{
    return "<trt:GetSnapshotUri><trt:ProfileToken>" + escaped(profileToken) + "</trt:ProfileToken></trt:GetSnapshotUri>";
}

bool readSystemDateAndTime(const std::string& reply, std::time_t& utc)
{
    pugi::xml_document document;
    const pugi::xml_node body = replyBody(document, reply.data(), reply.size());
    const pugi::xml_node dateTime =
        path(body, {"GetSystemDateAndTimeResponse", "SystemDateAndTime", "UTCDateTime"});
    const pugi::xml_node date = child(dateTime, "Date");
    const pugi::xml_node time = child(dateTime, "Time");
    if (!date || !time)
        return false;
    std::tm parts{};
    parts.tm_year = child(date, "Year").text().as_int() - 1900;
    parts.tm_mon = child(date, "Month").text().as_int() - 1;
    parts.tm_mday = child(date, "Day").text().as_int();
    parts.tm_hour = child(time, "Hour").text().as_int();
    parts.tm_min = child(time, "Minute").text().as_int();
    parts.tm_sec = child(time, "Second").text().as_int();
    if (parts.tm_year < 70 || parts.tm_year > 1100 || parts.tm_mon < 0 || parts.tm_mon > 11 || parts.tm_mday < 1 ||
        parts.tm_mday > 31 || parts.tm_hour < 0 || parts.tm_hour > 23 || parts.tm_min < 0 || parts.tm_min > 59 ||
        parts.tm_sec < 0 || parts.tm_sec > 60)
        return false;
#ifdef _WIN32
    utc = _mkgmtime(&parts);
#else
    utc = timegm(&parts);
#endif
    return utc != static_cast<std::time_t>(-1);
}

bool readMediaAddress(const std::string& reply, std::string& address)
{
    pugi::xml_document document;
    const pugi::xml_node body = replyBody(document, reply.data(), reply.size());
    address = textOf(path(body, {"GetCapabilitiesResponse", "Capabilities", "Media", "XAddr"}), kMaxUrl);
    return !address.empty();
}

bool readProfiles(const std::string& reply, std::vector<MediaProfile>& profiles)
{
    pugi::xml_document document;
    const pugi::xml_node response = child(replyBody(document, reply.data(), reply.size()), "GetProfilesResponse");
    if (!response)
        return false;
    for (pugi::xml_node node = response.first_child(); node && profiles.size() < kMaxProfiles;
         node = node.next_sibling()) {
        if (std::strcmp(localName(node), "Profiles") != 0)
            continue;
        MediaProfile profile;
        profile.token = printableText(node.attribute("token").value(), 64);
        profile.name = textOf(child(node, "Name"));
        const pugi::xml_node encoder = child(node, "VideoEncoderConfiguration");
        profile.encoding = textOf(child(encoder, "Encoding"), 24);
        profile.width = child(child(encoder, "Resolution"), "Width").text().as_int();
        profile.height = child(child(encoder, "Resolution"), "Height").text().as_int();
        if (!profile.token.empty())
            profiles.push_back(profile);
    }
    return true;
}

bool readStreamUri(const std::string& reply, std::string& uri)
{
    pugi::xml_document document;
    const pugi::xml_node body = replyBody(document, reply.data(), reply.size());
    uri = textOf(path(body, {"GetStreamUriResponse", "MediaUri", "Uri"}), kMaxUrl);
    return !uri.empty();
}

bool readSnapshotUri(const std::string& reply, std::string& uri)
{
    pugi::xml_document document;
    const pugi::xml_node body = replyBody(document, reply.data(), reply.size());
    uri = textOf(path(body, {"GetSnapshotUriResponse", "MediaUri", "Uri"}), kMaxUrl);
    return !uri.empty();
}

bool readFault(const std::string& reply, std::string& reason, bool& notAuthorized)
{
    pugi::xml_document document;
    const pugi::xml_node fault = child(replyBody(document, reply.data(), reply.size()), "Fault");
    if (!fault)
        return false;
    reason = textOf(descendant(fault, "Text"));
    notAuthorized = false;
    for (pugi::xml_node code = child(fault, "Code"); code; code = child(code, "Subcode")) {
        const std::string value = child(code, "Value").child_value();
        notAuthorized = notAuthorized || value.find("NotAuthorized") != std::string::npos;
    }
    return true;
}
