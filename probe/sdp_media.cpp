#include "probe/sdp_media.h"

#include "probe/text_split.h"

namespace {

constexpr size_t kMaxMedia = 16;
constexpr size_t kMaxNameLength = 32;
constexpr size_t kMaxControlLength = 512;

// A name from the network as it may be shown: "?" for any other character.
std::string shownName(const std::string& name)
{
    std::string shown;
    for (char character : name.substr(0, kMaxNameLength)) {
        const bool plain = (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
                           (character >= '0' && character <= '9') || character == '.' || character == '_' ||
                           character == '+' || character == '-';
        shown.push_back(plain ? character : '?');
    }
    return shown.empty() ? "?" : shown;
}

// A control URL as it may go into a request line: "" when it holds anything
// but printable ASCII without spaces.
std::string safeControl(const std::string& control)
{
    if (control.size() > kMaxControlLength)
        return "";
    for (char character : control) {
        if (character <= 0x20 || character >= 0x7F)
            return "";
    }
    return control;
}

// The codecs of the payload types with a fixed meaning that video sources use.
std::string staticCodec(const std::string& format)
{
    static const struct {
        const char* format;
        const char* codec;
    } kStatic[] = {{"0", "PCMU"}, {"8", "PCMA"}, {"14", "MPA"}, {"26", "JPEG"}, {"32", "MPV"}, {"33", "MP2T"}};
    for (const auto& entry : kStatic) {
        if (format == entry.format)
            return entry.codec;
    }
    return "payload " + format;
}

}  // namespace

SessionDescription parseSdp(const std::string& sdp)
{
    struct Parsed {
        SdpMedium medium;
        std::string format;  // the first format of the m= line
    };
    SessionDescription session;
    std::vector<Parsed> media;
    std::string line;
    for (size_t at = 0; nextLine(sdp, at, line);) {
        if (line.compare(0, 2, "m=") == 0) {
            // m=<type> <port> <transport> <format>...
            const std::vector<std::string> fields = splitWords(line.substr(2));
            media.push_back({{fields.empty() ? "" : fields[0], "", ""}, fields.size() > 3 ? fields[3] : ""});
        } else if (line.compare(0, 9, "a=rtpmap:") == 0 && !media.empty() && media.back().medium.codec.empty()) {
            // a=rtpmap:<format> <codec>/<clock rate>[/<channels>]
            const std::vector<std::string> fields = splitWords(line.substr(9));
            if (fields.size() >= 2 && fields[0] == media.back().format)
                media.back().medium.codec = fields[1].substr(0, fields[1].find('/'));
        } else if (line.compare(0, 10, "a=control:") == 0) {
            (media.empty() ? session.control : media.back().medium.control) = safeControl(line.substr(10));
        }
    }
    for (const Parsed& entry : media) {
        if (session.media.size() == kMaxMedia)
            break;
        SdpMedium medium = entry.medium;
        medium.type = shownName(medium.type);
        medium.codec = !medium.codec.empty()   ? shownName(medium.codec)
                       : !entry.format.empty() ? staticCodec(shownName(entry.format))
                                               : "?";
        session.media.push_back(medium);
    }
    return session;
}

std::vector<std::string> sdpMedia(const std::string& sdp)
{
    std::vector<std::string> names;
    for (const SdpMedium& medium : parseSdp(sdp).media)
        names.push_back(medium.name());
    return names;
}
