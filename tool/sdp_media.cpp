#include "tool/sdp_media.h"

#include <sstream>

namespace {

constexpr size_t kMaxMedia = 16;
constexpr size_t kMaxNameLength = 32;

struct Media {
    std::string type;
    std::string format;  // the first format of the m= line
    std::string codec;   // from its a=rtpmap, when there is one
};

std::vector<std::string> words(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> result;
    for (std::string word; in >> word;)
        result.push_back(word);
    return result;
}

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

std::vector<std::string> sdpMedia(const std::string& sdp)
{
    std::vector<Media> media;
    std::istringstream lines(sdp);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, 2, "m=") == 0) {
            // m=<type> <port> <transport> <format>...
            const std::vector<std::string> fields = words(line.substr(2));
            media.push_back({fields.empty() ? "" : fields[0], fields.size() > 3 ? fields[3] : "", ""});
        } else if (line.compare(0, 9, "a=rtpmap:") == 0 && !media.empty() && media.back().codec.empty()) {
            // a=rtpmap:<format> <codec>/<clock rate>[/<channels>]
            const std::vector<std::string> fields = words(line.substr(9));
            if (fields.size() >= 2 && fields[0] == media.back().format)
                media.back().codec = fields[1].substr(0, fields[1].find('/'));
        }
    }
    std::vector<std::string> result;
    for (const Media& entry : media) {
        if (result.size() == kMaxMedia)
            break;
        const std::string codec = !entry.codec.empty()      ? shownName(entry.codec)
                                  : !entry.format.empty() ? staticCodec(shownName(entry.format))
                                                          : "?";
        result.push_back(shownName(entry.type) + " " + codec);
    }
    return result;
}
