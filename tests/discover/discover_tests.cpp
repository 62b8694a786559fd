// The search's readers of untrusted replies and announcements, and the
// log-in digests against known answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "discover/http_exchange.h"
#include "discover/onvif_camera.h"
#include "discover/onvif_messages.h"
#include "discover/sap_reader.h"

namespace {

using testing::HasSubstr;

std::string bytesOfHex(const std::string& hex)
{
    std::string bytes;
    for (size_t at = 0; at + 1 < hex.size(); at += 2)
        bytes += static_cast<char>(std::stoi(hex.substr(at, 2), nullptr, 16));
    return bytes;
}

// A SAP header from 10.0.0.9 with message hash `hash`.
std::string sapHeader(unsigned char flags, uint16_t hash)
{
    return std::string{static_cast<char>(0x20 | flags), 0, static_cast<char>(hash >> 8), static_cast<char>(hash),
                       10, 0, 0, 9};
}

const std::string kSdp = "v=0\r\ns=Studio feed\r\nc=IN IP4 239.1.1.1/16\r\nt=0 0\r\nm=video 1234 udp 33\r\n";

TEST(LoginDigests, MatchKnownAnswers)
{
    UsernameToken token{"admin", "pass", {}, "2026-12-08T07:00:00Z"};
    for (int byte = 0; byte < 16; ++byte)
        token.nonce += static_cast<char>(byte);
    const std::string envelope = soapEnvelope(getProfiles(), &token);
    EXPECT_THAT(envelope, HasSubstr("#PasswordDigest\">8K/mR7Ui5gZuZjSemVGEX0FkbYs=</wsse:Password>"));
    EXPECT_THAT(envelope, HasSubstr(">AAECAwQFBgcICQoLDA0ODw==</wsse:Nonce>"));

    // The example of RFC 2617, section 3.5.
    const std::string header = digestAuthorization(
        "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
        "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"",
        "Mufasa", "Circle Of Life", "GET", "/dir/index.html", "0a4f113b", 1);
    EXPECT_THAT(header, HasSubstr("response=\"6629fae49393a05397450978507c4ef1\""));
    EXPECT_THAT(header, HasSubstr("opaque=\"5ccc069c403ebaf9f0171e9517f40e41\""));
    EXPECT_EQ(digestAuthorization("Basic realm=\"x\"", "a", "b", "GET", "/", "c", 1), "");
    EXPECT_EQ(digestAuthorization("Digest realm=\"x\", nonce=\"a\r\nX-Injected: 1\"", "a", "b", "GET", "/", "c", 1), "");
}

TEST(SapReader, ReadsPlainAndCompressedAndRefusesWhatItCannotRead)
{
    SapMessage message;
    std::string problem;
    ASSERT_TRUE(readSapMessage((sapHeader(0, 7) + "application/sdp" + '\0' + kSdp).data(),
                               sapHeader(0, 7).size() + 16 + kSdp.size(), message, problem));
    EXPECT_EQ(message.origin, "10.0.0.9");
    EXPECT_EQ(message.hash, 7);
    EXPECT_EQ(message.sdp, kSdp);

    const std::string compressed = sapHeader(0x01, 8) + bytesOfHex("789c2bb335e0e52ab68de2e54ab6f5f453f00c30513032b6d4"
                                                                  "3304415eae5cdbb2cc94d47c054323631385d294020563635e"
                                                                  "2e0033cb0be3");
    ASSERT_TRUE(readSapMessage(compressed.data(), compressed.size(), message, problem)) << problem;
    SdpAnnouncement announcement;
    ASSERT_TRUE(readSdpAnnouncement(message.sdp, announcement, problem)) << problem;
    EXPECT_EQ(announcement.connection, "239.1.1.1");
    EXPECT_EQ(announcement.encoding, "MP2T");

    const std::string encrypted = sapHeader(0x02, 9) + kSdp;
    EXPECT_FALSE(readSapMessage(encrypted.data(), encrypted.size(), message, problem));
    EXPECT_EQ(problem, "encrypted");
    std::string longAuthentication = sapHeader(0, 9);
    longAuthentication[1] = 40;  // 160 bytes of authentication data that are not there
    EXPECT_FALSE(readSapMessage(longAuthentication.data(), longAuthentication.size(), message, problem));
}

TEST(SapReader, PresetsOnlyForTransportStreamsOverUdpInIpv4)
{
    const auto presetOf = [](const std::string& sdp) {
        SdpAnnouncement announcement;
        std::string problem;
        FoundSource source;
        if (readSdpAnnouncement(sdp, announcement, problem))
            presetOfAnnouncement(announcement, source);
        return source;
    };
    const FoundSource group = presetOf(kSdp);
    EXPECT_EQ(group.keyword, "ts-multi");
    EXPECT_EQ(group.host, "239.1.1.1");
    EXPECT_EQ(group.port, 1234);
    // The medium's own address counts; a unicast one is received on the port alone.
    const FoundSource unicast = presetOf("s=x\r\nc=IN IP4 239.9.9.9\r\nm=video 5000 udp 33\r\nc=IN IP4 10.0.0.2\r\n");
    EXPECT_EQ(unicast.keyword, "ts-udp");
    EXPECT_EQ(unicast.host, "");
    EXPECT_THAT(presetOf("c=IN IP4 239.1.1.1\r\nm=video 5000 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n").reason,
                HasSubstr("RTP"));
    EXPECT_THAT(presetOf("c=IN IP6 ff0e::1\r\nm=video 5000 udp 33\r\n").reason, HasSubstr("IPv6"));
}

TEST(SapSessions, FollowAnnouncementDeletionAndExpiry)
{
    const auto start = SapSessions::Clock::now();
    const std::string first = sapHeader(0, 1) + kSdp;
    const std::string second = sapHeader(0, 2) + kSdp;
    const std::string deletion = sapHeader(0x04, 2) + "o=x\r\n";
    SapSessions sessions;
    sessions.take(first.data(), first.size(), "eth0", start);
    sessions.take(second.data(), second.size(), "eth0", start);
    sessions.take(first.data(), first.size(), "eth0", start + std::chrono::seconds(5));
    EXPECT_EQ(sessions.sources(start + std::chrono::seconds(6)).size(), 2u);
    sessions.take(deletion.data(), deletion.size(), "eth0", start + std::chrono::seconds(6));
    EXPECT_EQ(sessions.sources(start + std::chrono::seconds(6)).size(), 1u);
    // Ten intervals of 5 s without an announcement.
    EXPECT_TRUE(sessions.sources(start + std::chrono::seconds(56)).empty());
}

const char kProbeMatches[] =
    "<?xml version=\"1.0\"?><e:Envelope xmlns:e=\"http://www.w3.org/2003/05/soap-envelope\" "
    "xmlns:w=\"http://schemas.xmlsoap.org/ws/2004/08/addressing\" "
    "xmlns:d=\"http://schemas.xmlsoap.org/ws/2005/04/discovery\"><e:Header><w:RelatesTo>urn:uuid:1</w:RelatesTo>"
    "</e:Header><e:Body><d:ProbeMatches><d:ProbeMatch><w:EndpointReference><w:Address>urn:uuid:c</w:Address>"
    "</w:EndpointReference><d:Types>tdn:NetworkVideoTransmitter</d:Types><d:Scopes>onvif://www.onvif.org/name/"
    "Hall%20%0Acam onvif://www.onvif.org/hardware/X1</d:Scopes><d:XAddrs>http://10.0.0.7/onvif/device_service "
    "http://[fe80::1]/onvif</d:XAddrs></d:ProbeMatch></d:ProbeMatches></e:Body></e:Envelope>";

TEST(DiscoveryReply, ReadsOurMatchesOnly)
{
    const std::string reply = kProbeMatches;
    const std::vector<DeviceMatch> devices = readDiscoveryReply(reply.data(), reply.size(), "urn:uuid:1");
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].name, "Hall  cam");  // the line break is no longer one
    EXPECT_EQ(devices[0].hardware, "X1");
    EXPECT_EQ(devices[0].xaddrs.size(), 2u);
    EXPECT_TRUE(readDiscoveryReply(reply.data(), reply.size(), "urn:uuid:2").empty());
}

TEST(SoapReplies, EntitiesOfADoctypeAreNotExpanded)
{
    const std::string reply =
        "<?xml version=\"1.0\"?><!DOCTYPE e [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;\">]>"
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><GetStreamUriResponse><MediaUri>"
        "<Uri>rtsp://&b;/x</Uri></MediaUri></GetStreamUriResponse></s:Body></s:Envelope>";
    std::string uri;
    ASSERT_TRUE(readStreamUri(reply, uri));
    EXPECT_EQ(uri, "rtsp://&b;/x");
    EXPECT_FALSE(readStreamUri(std::string(kMaxReply + 1, ' '), uri));
}

TEST(SoapReplies, NotAuthorizedFaultIsALoginRefusal)
{
    const std::string reply =
        "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><s:Fault><s:Code><s:Value>s:Sender"
        "</s:Value><s:Subcode><s:Value>ter:NotAuthorized</s:Value></s:Subcode></s:Code><s:Reason><s:Text>Sender not "
        "authorized</s:Text></s:Reason></s:Fault></s:Body></s:Envelope>";
    std::string reason;
    bool notAuthorized = false;
    ASSERT_TRUE(readFault(reply, reason, notAuthorized));
    EXPECT_TRUE(notAuthorized);
    EXPECT_EQ(reason, "Sender not authorized");
}

TEST(StreamUris, MakeRtspPresetsAtTheReachableAddress)
{
    FoundSource source;
    ASSERT_TRUE(presetOfStreamUri("rtsp://192.168.1.64:8554/Streaming/Channels/101?transport=tcp", "10.0.0.7",
                                  source));
    EXPECT_EQ(source.keyword, "rtsp-tcp");
    EXPECT_EQ(source.host, "10.0.0.7");
    EXPECT_EQ(source.port, 8554);
    EXPECT_EQ(source.streamName, "Streaming/Channels/101?transport=tcp");
    EXPECT_THAT(source.note, HasSubstr("192.168.1.64"));

    FoundSource same;
    ASSERT_TRUE(presetOfStreamUri("RTSP://10.0.0.7/live", "10.0.0.7", same));
    EXPECT_EQ(same.port, 554);
    EXPECT_EQ(same.note, "");
    FoundSource refused;
    EXPECT_FALSE(presetOfStreamUri("rtsp://user:pw@10.0.0.7/live", "10.0.0.7", refused));
    EXPECT_FALSE(presetOfStreamUri("rtsp://[fe80::1]/live", "10.0.0.7", refused));
    EXPECT_FALSE(presetOfStreamUri("rtsp://10.0.0.7:70000/live", "10.0.0.7", refused));
}

}  // namespace
