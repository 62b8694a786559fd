#include "model/protocol_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

std::vector<int> indicesWhere(bool (*test)(const std::string&))
{
    std::vector<int> found;
    for (int index = 0; index < kProtocolCount; ++index) {
        if (test(protocolKeyword(index)))
            found.push_back(index);
    }
    return found;
}

TEST(ProtocolTable, ListsTheTenProtocolsInIndexOrder)
{
    const std::vector<std::string> expected = {
        "Off",
        "Transport Stream over UDP",
        "Transport Stream over UDP Multicast",
        "Transport Stream over TCP",
        "Transport Stream over TCP Pull",
        "RTSP over UDP",
        "RTSP over UDP Multicast",
        "RTSP over TCP",
        "Corvane Streaming over UDP",
        "Corvane Streaming over UDP Multicast",
    };
    std::vector<std::string> listed;
    for (int index = 0; index < kProtocolCount; ++index)
        listed.push_back(protocolDisplayName(index));
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(protocolKeyword(0), "off");
    EXPECT_EQ(protocolKeyword(9), "cds-multi");
}

TEST(ProtocolTable, IndicesOutsideTheTableGiveError)
{
    for (int index : {-1, 10, INT_MIN, INT_MAX}) {
        EXPECT_EQ(protocolDisplayName(index), "Error") << index;
        EXPECT_EQ(protocolKeyword(index), "Error") << index;
        EXPECT_EQ(protocolInfo(index), nullptr) << index;
    }
}

TEST(ProtocolTable, FamiliesAndApplicableFields)
{
    EXPECT_EQ(indicesWhere(isRtspKeyword), (std::vector<int>{5, 6, 7}));
    EXPECT_EQ(indicesWhere(isPlainTsKeyword), (std::vector<int>{1, 3}));
    EXPECT_EQ(indicesWhere(keywordUsesHost), (std::vector<int>{2, 4, 5, 6, 7, 9}));
    EXPECT_EQ(indicesWhere(keywordUsesPort), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(indicesWhere(keywordUsesStreamName), (std::vector<int>{5, 6, 7}));
    // Neither the failed lookup nor a display name is a keyword.
    for (const std::string text : {"Error", "auto", "Off", "RTSP over UDP"}) {
        EXPECT_FALSE(keywordUsesPort(text)) << text;
        EXPECT_FALSE(isRtspKeyword(text)) << text;
    }
}

}  // namespace
